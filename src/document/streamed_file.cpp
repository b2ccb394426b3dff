#include "document/streamed_file.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "document/source_text.h"
#include "platform/ascii.h"

namespace {

// The file is read this much at a time, by the scan and by the copy.
constexpr size_t kBlockBytes = size_t{1} << 20;

// Paths are UTF-8; the stream takes them as such on every system.
bool OpenForReading(const std::string& path, std::ifstream& in) {
  const std::u8string name(path.begin(), path.end());
  in.open(std::filesystem::path(name), std::ios::binary);
  return in.is_open();
}

// Reads up to size bytes; how many it got (fewer only at the end or on an error).
size_t ReadSome(std::ifstream& in, char* buffer, size_t size) {
  in.read(buffer, static_cast<std::streamsize>(size));
  return static_cast<size_t>(in.gcount());
}

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
  std::ifstream in;
  if (!OpenForReading(path, in)) return false;
  return ScanBytes([&in](char* buffer, size_t size) -> std::int64_t {
    const size_t got = ReadSome(in, buffer, size);
    return got == 0 && in.bad() ? -1 : static_cast<std::int64_t>(got);
  });
}

bool CStreamedFile::ScanText(const std::string& path, std::string text) {
  m_strPath = path;
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
  const std::uint64_t target = m_lines[second].offset;
  // Removed ranges may follow one another or overlap: step over them until
  // none starts where the walk stands.
  for (bool moved = true; moved && at < target;) {
    moved = false;
    for (const Removal& r : m_removed) {
      if (r.begin <= at && at < r.end) {
        at = r.end;
        moved = true;
      }
    }
  }
  return at == target;
}

void CStreamedFile::RemoveLines(size_t first, size_t last) {
  const Removal removal{m_lines[first].offset, m_lines[last].next};
  for (size_t n = first; n <= last; ++n) m_lines[n].removed = true;
  // Text inserted inside the range (before a line after its first) goes with it.
  std::erase_if(m_inserted, [&](const Insertion& i) {
    if (i.offset <= removal.begin || i.offset >= removal.end) return false;
    const auto tag = m_tags.find(AsciiLowerCopy(i.tag));
    if (tag != m_tags.end() && --tag->second == 0) m_tags.erase(tag);
    return true;
  });
  m_removed.push_back(removal);
}

void CStreamedFile::Insert(size_t at, size_t column, std::string tag, TextMaker text) {
  ++m_tags[AsciiLowerCopy(tag)];
  m_inserted.push_back({m_lines[at].offset + column, std::move(tag), std::move(text)});
}

int CStreamedFile::RemoveInserted(std::string_view marker) {
  // Mostly no text of this update has the tag: then nothing is walked.
  const auto tag = m_tags.find(AsciiLowerCopy(marker));
  if (tag == m_tags.end()) return 0;
  m_tags.erase(tag);
  const size_t before = m_inserted.size();
  std::erase_if(m_inserted, [&](const Insertion& i) {
    return i.tag.size() == marker.size() && FindForward(i.tag, marker, 0, false) == 0;
  });
  return static_cast<int>(before - m_inserted.size());
}

// Walks the file from its start: copies what stays, skips what was removed
// and hands over the inserted texts where they stand.
class CStreamedFile::CCursor {
 public:
  explicit CCursor(const CStreamedFile& file) : m_file(file), m_buffer(new char[kBlockBytes]) {
    // Ranges in file order, merged where they touch or overlap.
    std::vector<Removal> ranges = file.m_removed;
    std::sort(ranges.begin(), ranges.end(),
              [](const Removal& a, const Removal& b) { return a.begin < b.begin; });
    for (const Removal& r : ranges) {
      if (!m_ranges.empty() && r.begin <= m_ranges.back().end) {
        m_ranges.back().end = std::max(m_ranges.back().end, r.end);
      } else {
        m_ranges.push_back(r);
      }
    }
    // Texts at one place keep the order they were inserted in.
    for (const Insertion& i : file.m_inserted) m_order.push_back(&i);
    std::stable_sort(m_order.begin(), m_order.end(),
                     [](const Insertion* a, const Insertion* b) { return a->offset < b->offset; });
    if (!file.m_pText && !OpenForReading(file.m_strPath, m_in)) {
      throw CStreamError("the file " + file.m_strPath + " could not be read again");
    }
  }

  std::string_view Next() {
    for (;;) {
      if (m_text) {
        const std::string_view piece = m_text();
        if (!piece.empty()) return piece;
        m_text = nullptr;
        ++m_nInsertion;
        continue;
      }
      if (m_nInsertion < m_order.size() && m_order[m_nInsertion]->offset <= m_pos) {
        m_text = m_order[m_nInsertion]->text();
        continue;
      }
      if (m_nRange < m_ranges.size() && m_ranges[m_nRange].begin <= m_pos) {
        m_pos = std::max(m_pos, m_ranges[m_nRange].end);
        ++m_nRange;
        m_bSeek = true;
        continue;
      }
      std::uint64_t stop = m_file.m_nSize;
      if (m_nInsertion < m_order.size()) stop = std::min(stop, m_order[m_nInsertion]->offset);
      if (m_nRange < m_ranges.size()) stop = std::min(stop, m_ranges[m_nRange].begin);
      if (m_pos >= stop) return std::string_view();
      const size_t want = static_cast<size_t>(std::min<std::uint64_t>(stop - m_pos, kBlockBytes));
      if (m_file.m_pText) {
        const std::string_view text(*m_file.m_pText);
        const std::string_view piece = text.substr(static_cast<size_t>(m_pos), want);
        m_pos += piece.size();
        return piece;
      }
      if (m_bSeek) {
        m_in.seekg(static_cast<std::streamoff>(m_pos));
        m_bSeek = false;
      }
      const size_t got = ReadSome(m_in, m_buffer.get(), want);
      if (got != want) {
        throw CStreamError("the file " + m_file.m_strPath + " could not be read again");
      }
      m_pos += got;
      return std::string_view(m_buffer.get(), got);
    }
  }

 private:
  const CStreamedFile& m_file;
  std::unique_ptr<char[]> m_buffer;
  std::ifstream m_in;
  std::vector<Removal> m_ranges;
  std::vector<const Insertion*> m_order;
  size_t m_nRange = 0;
  size_t m_nInsertion = 0;
  TextPieces m_text;
  std::uint64_t m_pos = 0;
  bool m_bSeek = false;
};

TextPieces CStreamedFile::Pieces() const {
  auto cursor = std::make_shared<CCursor>(*this);
  return [cursor] { return cursor->Next(); };
}
