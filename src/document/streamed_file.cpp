#include "document/streamed_file.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>

#include "document/source_text.h"
#include "platform/ascii.h"

namespace {

// The file is read this much at a time, by the scan and by the copy.
constexpr size_t kBlockBytes = size_t{1} << 20;

// The last match of marker in a line, case not mattering.
size_t LastMatch(std::string_view line, std::string_view marker) {
  size_t found = std::string_view::npos;
  for (size_t at = FindForward(line, marker, 0, false); at != std::string_view::npos;
       at = FindForward(line, marker, at + 1, false)) {
    found = at;
  }
  return found;
}

}  // namespace

bool CStreamedFile::Scan(const std::string& path) {
  m_strPath = path;
  m_pText.reset();
  m_stamp = StampOf(path);
  CReadFile in(path);
  if (!in.IsOpen()) return false;
  return ScanBytes([&in](char* buffer, size_t size) { return in.Read(buffer, size); });
}

bool CStreamedFile::ScanText(const std::string& path, std::string text) {
  m_strPath = path;
  m_stamp = FileStamp();
  m_pText = std::make_shared<const std::string>(std::move(text));
  size_t at = 0;
  return ScanBytes([this, &at](char* buffer, size_t size) -> std::int64_t {
    const size_t got = m_pText->copy(buffer, size, at);
    at += got;
    return static_cast<std::int64_t>(got);
  });
}

bool CStreamedFile::ScanBytes(const std::function<std::int64_t(char*, size_t)>& ReadBlock) {
  m_nSize = 0;
  m_lines.clear();
  m_removed.clear();
  m_inserted.clear();
  m_index.clear();
  m_tags.clear();
  // A line never reaches the document's longest line, so the unfinished line
  // carried from one block to the next is short.
  const std::unique_ptr<char[]> buffer(new char[kBlockBytes]);
  size_t carried = 0;
  std::uint64_t carriedOffset = 0;  // where the buffer's first byte lies in the file
  for (;;) {
    const std::int64_t read = ReadBlock(buffer.get() + carried, kBlockBytes - carried);
    if (read < 0) return false;
    const size_t got = static_cast<size_t>(read);
    const size_t end = carried + got;
    if (std::memchr(buffer.get() + carried, '\0', got) != nullptr) return false;
    size_t start = 0;
    for (;;) {
      const void* lf = std::memchr(buffer.get() + start, '\n', end - start);
      if (lf == nullptr) break;
      const size_t stop = static_cast<size_t>(static_cast<const char*>(lf) - buffer.get());
      // Only CR LF ends a line the document writes back as it was.
      if (stop == start || buffer[stop - 1] != '\r') return false;
      const std::string_view line(buffer.get() + start, stop - 1 - start);
      if (!CSourceText::LoadsAsOneLine(line)) return false;
      if (line.find("@!") != std::string_view::npos) {
        m_lines.push_back({carriedOffset + start, carriedOffset + stop + 1, std::string(line)});
      }
      start = stop + 1;
    }
    if (got == 0) {
      // The last line, without a line end.
      const std::string_view line(buffer.get() + start, end - start);
      if (!CSourceText::LoadsAsOneLine(line)) return false;
      if (line.find("@!") != std::string_view::npos) {
        m_lines.push_back({carriedOffset + start, carriedOffset + end, std::string(line)});
      }
      m_nSize = carriedOffset + end;
      for (size_t n = 0; n < m_lines.size(); ++n) {
        const std::string& text = m_lines[n].text;
        for (size_t at = text.find("@!"); at != std::string::npos; at = text.find("@!", at + 1)) {
          m_index.emplace(AsciiLowerCopy(std::string_view(text).substr(at)), n);
        }
      }
      return true;
    }
    if (end - start >= static_cast<size_t>(CSourceText::MaxLineLength) + 1) return false;
    std::memmove(buffer.get(), buffer.get() + start, end - start);
    carried = end - start;
    carriedOffset += start;
  }
}

template <class Take>
void CStreamedFile::ForCandidates(std::string_view marker, Take take) const {
  const size_t mark = marker.find("@!");
  if (mark == std::string_view::npos) {
    // Only a marker holds "@!"; other text may stand in any marked line.
    for (size_t n = 0; n < m_lines.size(); ++n) {
      if (!take(n)) return;
    }
    return;
  }
  const std::string key = AsciiLowerCopy(marker.substr(mark));
  for (auto it = m_index.lower_bound(key);
       it != m_index.end() && std::string_view(it->first).starts_with(key); ++it) {
    if (!take(it->second)) return;
  }
}

size_t CStreamedFile::FindMarker(std::string_view marker, size_t from, size_t* column) const {
  size_t found = npos;
  size_t foundAt = 0;
  ForCandidates(marker, [&](size_t n) {
    if (n < from || n >= found || m_lines[n].removed) return true;
    const size_t at = FindForward(m_lines[n].text, marker, 0, false);
    if (at != std::string_view::npos) {
      found = n;
      foundAt = at;
    }
    return true;
  });
  if (found != npos && column) *column = foundAt;
  return found;
}

size_t CStreamedFile::FindLastMarker(std::string_view marker, size_t* column) const {
  size_t found = npos;
  size_t foundAt = 0;
  ForCandidates(marker, [&](size_t n) {
    if ((found != npos && n <= found) || m_lines[n].removed) return true;
    const size_t at = LastMatch(m_lines[n].text, marker);
    if (at != std::string_view::npos) {
      found = n;
      foundAt = at;
    }
    return true;
  });
  if (found != npos && column) *column = foundAt;
  return found;
}

bool CStreamedFile::IsNextLine(size_t first, size_t second) const {
  std::uint64_t at = m_lines[first].next;
  // Step over the removed range that holds the place, if any.
  auto it = m_removed.upper_bound(at);
  if (it != m_removed.begin() && std::prev(it)->second > at) at = std::prev(it)->second;
  return at == m_lines[second].offset;
}

void CStreamedFile::RemoveLines(size_t first, size_t last) {
  std::uint64_t begin = m_lines[first].offset;
  std::uint64_t end = m_lines[last].next;
  for (size_t n = first; n <= last; ++n) m_lines[n].removed = true;
  // Text inserted inside the range (before a line after its first) goes with it.
  for (auto it = m_inserted.upper_bound(begin); it != m_inserted.end() && it->first < end;) {
    const auto tag = m_tags.find(AsciiLowerCopy(it->second.tag));
    if (tag != m_tags.end() && --tag->second == 0) m_tags.erase(tag);
    it = m_inserted.erase(it);
  }
  // Merged with the ranges it touches, so that every place lies in one range.
  auto it = m_removed.upper_bound(begin);
  if (it != m_removed.begin() && std::prev(it)->second >= begin) {
    --it;
    begin = it->first;
    end = std::max(end, it->second);
    it = m_removed.erase(it);
  }
  while (it != m_removed.end() && it->first <= end) {
    end = std::max(end, it->second);
    it = m_removed.erase(it);
  }
  m_removed.emplace(begin, end);
}

void CStreamedFile::Insert(size_t at, size_t column, std::string tag, TextMaker text) {
  ++m_tags[AsciiLowerCopy(tag)];
  m_inserted.emplace(m_lines[at].offset + column, Insertion{std::move(tag), std::move(text)});
}

int CStreamedFile::RemoveInserted(std::string_view marker) {
  // Mostly no text of this update has the tag: then nothing is walked.
  const auto tag = m_tags.find(AsciiLowerCopy(marker));
  if (tag == m_tags.end()) return 0;
  m_tags.erase(tag);
  const size_t before = m_inserted.size();
  std::erase_if(m_inserted, [&](const auto& item) {
    const std::string& text = item.second.tag;
    return text.size() == marker.size() && FindForward(text, marker, 0, false) == 0;
  });
  return static_cast<int>(before - m_inserted.size());
}

// Walks the file from its start: copies what stays, skips what was removed
// and hands over the inserted texts where they stand.
class CStreamedFile::CCursor {
 public:
  explicit CCursor(const CStreamedFile& file)
      : m_file(file),
        m_buffer(new char[kBlockBytes]),
        m_range(file.m_removed.begin()),
        m_insertion(file.m_inserted.begin()) {
    if (file.m_pText) return;
    m_in = std::make_unique<CReadFile>(file.m_strPath);
    if (!m_in->IsOpen()) {
      throw CStreamError("the file " + file.m_strPath + " could not be read again");
    }
    // Taken after the open: a file replaced before it is seen here, one
    // replaced after it is no longer the one read.
    if (StampOf(file.m_strPath) != file.m_stamp) throw CStreamError(kChangedText);
  }

  std::string_view Next() {
    for (;;) {
      if (m_text) {
        const std::string_view piece = m_text();
        if (!piece.empty()) return piece;
        m_text = nullptr;
        ++m_insertion;
        continue;
      }
      if (m_insertion != m_file.m_inserted.end() && m_insertion->first <= m_pos) {
        m_text = m_insertion->second.text();
        continue;
      }
      if (m_range != m_file.m_removed.end() && m_range->first <= m_pos) {
        m_pos = std::max(m_pos, m_range->second);
        ++m_range;
        m_bSeek = true;
        continue;
      }
      std::uint64_t stop = m_file.m_nSize;
      if (m_insertion != m_file.m_inserted.end()) stop = std::min(stop, m_insertion->first);
      if (m_range != m_file.m_removed.end()) stop = std::min(stop, m_range->first);
      if (m_pos >= stop) {
        // Done: the file is let go before it is replaced (Windows refuses to
        // replace a file that is open).
        m_in.reset();
        return std::string_view();
      }
      const size_t want = static_cast<size_t>(std::min<std::uint64_t>(stop - m_pos, kBlockBytes));
      if (m_file.m_pText) {
        const std::string_view text(*m_file.m_pText);
        const std::string_view piece = text.substr(static_cast<size_t>(m_pos), want);
        m_pos += piece.size();
        return piece;
      }
      if (m_bSeek && !m_in->Seek(m_pos)) {
        throw CStreamError("the file " + m_file.m_strPath + " could not be read again");
      }
      m_bSeek = false;
      const std::int64_t got = m_in->Read(m_buffer.get(), want);
      if (got != static_cast<std::int64_t>(want)) {
        throw CStreamError("the file " + m_file.m_strPath + " could not be read again");
      }
      m_pos += want;
      return std::string_view(m_buffer.get(), want);
    }
  }

 private:
  const CStreamedFile& m_file;
  std::unique_ptr<char[]> m_buffer;
  std::unique_ptr<CReadFile> m_in;  // none for a text of ScanText
  std::map<std::uint64_t, std::uint64_t>::const_iterator m_range;
  std::multimap<std::uint64_t, Insertion>::const_iterator m_insertion;
  TextPieces m_text;
  std::uint64_t m_pos = 0;
  bool m_bSeek = false;
};

TextPieces CStreamedFile::Pieces() const {
  auto cursor = std::make_shared<CCursor>(*this);
  return [cursor] { return cursor->Next(); };
}
