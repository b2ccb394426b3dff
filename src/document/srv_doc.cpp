#include "document/srv_doc.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "platform/ascii.h"

namespace {

// Lines per chunk: a chunk is split when it would grow past kMaxChunk lines,
// and chunks are filled to kChunkFill when made, so an edit shifts at most a
// few thousand line records.
constexpr std::size_t kMaxChunk = 2048;
constexpr std::size_t kChunkFill = 1024;
// Text of new lines goes into blocks of this size; a larger text gets a block
// of its own.
constexpr std::size_t kBlockSize = std::size_t{1} << 20;
// Bytes of a line from its "@!" on that file it in the index; a longer search
// text is compared in full on each line the first bytes lead to.
constexpr std::size_t kKeyLength = 512;
// A search text that leads to more lines than this (a bare marker prefix that
// every section shares) is searched line by line instead.
constexpr int kMaxCandidates = 32;

// The text of every empty line that owns no storage. Writing through it is
// never needed: an empty line's buffer has no room before its NUL.
char g_empty[1] = {'\0'};

std::atomic<std::uint64_t> g_lastRevision{0};

// Calls visit(column) for every "@!" of a line.
template <typename Visit>
void ForEachMark(const char* text, std::size_t length, Visit visit) {
  if (length < 2) return;
  const char* end = text + length - 1;  // the "!" needs one more byte
  for (const char* p = text; p < end;) {
    const void* at = std::memchr(p, '@', static_cast<std::size_t>(end - p));
    if (at == nullptr) return;
    p = static_cast<const char*>(at);
    if (p[1] == '!') visit(static_cast<int>(p - text));
    ++p;
  }
}

std::string KeyOf(const char* text, std::size_t length) {
  return AsciiLowerCopy(std::string_view(text, std::min(length, kKeyLength)));
}

}  // namespace

CCSrvDoc::CCSrvDoc(Prompter& prompter) : CSourceDocMfc(prompter) {}

CCSrvDoc::~CCSrvDoc() = default;

std::uint64_t CCSrvDoc::Revision() const {
  if (m_revision == 0) m_revision = ++g_lastRevision;
  return m_revision;
}

// ---- chunks ----

std::size_t CCSrvDoc::ChunkOf(int n) const {
  std::size_t c = m_hint;
  if (c < m_chunks.size() && n >= m_starts[c]) {
    if (n < m_starts[c] + static_cast<int>(m_chunks[c]->lines.size())) return c;
    // Lines are mostly visited in order: try the next chunk before searching.
    if (c + 1 < m_chunks.size() &&
        n < m_starts[c + 1] + static_cast<int>(m_chunks[c + 1]->lines.size())) {
      m_hint = c + 1;
      return c + 1;
    }
  }
  c = static_cast<std::size_t>(std::upper_bound(m_starts.begin(), m_starts.end(), n) -
                               m_starts.begin()) -
      1;
  m_hint = c;
  return c;
}

CCSrvDoc::Line& CCSrvDoc::At(int n) {
  const std::size_t c = ChunkOf(n);
  return m_chunks[c]->lines[static_cast<std::size_t>(n - m_starts[c])];
}

const CCSrvDoc::Line& CCSrvDoc::At(int n) const {
  const std::size_t c = ChunkOf(n);
  return m_chunks[c]->lines[static_cast<std::size_t>(n - m_starts[c])];
}

void CCSrvDoc::RestartFrom(std::size_t chunk) {
  m_starts.resize(m_chunks.size());
  for (std::size_t i = chunk; i < m_chunks.size(); ++i) {
    m_chunks[i]->index = i;
    m_starts[i] = i == 0 ? 0 : m_starts[i - 1] + static_cast<int>(m_chunks[i - 1]->lines.size());
  }
  m_hint = 0;
}

void CCSrvDoc::MoveMarks(Chunk& chunk, std::size_t from) {
  for (std::size_t i = from; i < chunk.lines.size(); ++i) {
    const Line& line = chunk.lines[i];
    if (line.marks == 0) continue;
    ForEachMark(line.text, line.length, [&](int column) {
      const auto it = FindMark(line, column);
      if (it != m_marks.end()) it->second.chunk = &chunk;
    });
  }
}

void CCSrvDoc::InsertRecords(int n, std::vector<Line> records) {
  if (records.empty()) return;
  Changed();
  const int added = static_cast<int>(records.size());
  if (m_chunks.empty()) {
    m_chunks.push_back(std::make_unique<Chunk>());
    m_chunks.back()->index = 0;
    m_starts.assign(1, 0);
  }
  std::size_t c;
  std::size_t local;
  if (n >= m_nLines) {
    c = m_chunks.size() - 1;
    local = m_chunks[c]->lines.size();
  } else {
    c = ChunkOf(n);
    local = static_cast<std::size_t>(n - m_starts[c]);
  }
  Chunk& chunk = *m_chunks[c];
  m_nLines += added;
  if (chunk.lines.size() + records.size() <= kMaxChunk) {
    chunk.lines.insert(chunk.lines.begin() + static_cast<std::ptrdiff_t>(local), records.begin(),
                       records.end());
    for (std::size_t i = local; i < local + records.size(); ++i) IndexLine(chunk, chunk.lines[i]);
    for (std::size_t i = c + 1; i < m_starts.size(); ++i) m_starts[i] += added;
    return;
  }
  // Too many for one chunk: the new lines and the lines after them fill this
  // chunk up and then new chunks.
  std::vector<Line> tail(chunk.lines.begin() + static_cast<std::ptrdiff_t>(local),
                         chunk.lines.end());
  chunk.lines.resize(local);
  std::vector<std::unique_ptr<Chunk>> made;
  Chunk* into = &chunk;
  auto room = [&]() -> Chunk& {
    if (into->lines.size() >= kChunkFill) {
      made.push_back(std::make_unique<Chunk>());
      into = made.back().get();
      into->lines.reserve(kChunkFill);
    }
    return *into;
  };
  for (const Line& line : records) {
    Chunk& target = room();
    target.lines.push_back(line);
    IndexLine(target, target.lines.back());
  }
  for (const Line& line : tail) {
    Chunk& target = room();
    target.lines.push_back(line);
    if (line.marks > 0 && &target != &chunk) MoveMarks(target, target.lines.size() - 1);
  }
  m_chunks.insert(m_chunks.begin() + static_cast<std::ptrdiff_t>(c + 1),
                  std::make_move_iterator(made.begin()), std::make_move_iterator(made.end()));
  RestartFrom(c);
}

void CCSrvDoc::MergeSmallChunk(std::size_t chunk) {
  // Joins a chunk with its neighbours while together they stay small, so that
  // removals do not leave many tiny chunks behind.
  for (std::size_t c : {chunk, chunk > 0 ? chunk - 1 : chunk}) {
    if (c + 1 >= m_chunks.size()) continue;
    Chunk& into = *m_chunks[c];
    Chunk& from = *m_chunks[c + 1];
    if (into.lines.size() + from.lines.size() > kChunkFill) continue;
    const std::size_t first = into.lines.size();
    into.lines.insert(into.lines.end(), from.lines.begin(), from.lines.end());
    MoveMarks(into, first);
    m_chunks.erase(m_chunks.begin() + static_cast<std::ptrdiff_t>(c + 1));
    RestartFrom(c);
  }
}

void CCSrvDoc::Extend(int n) {
  if (n < m_nLines) return;
  const std::size_t count = static_cast<std::size_t>(n - m_nLines) + 1;
  const Line empty{g_empty, 0, 0, kNoBlock, 0};
  // A load appends line by line: the last chunk takes them while it has room.
  if (!m_chunks.empty() && m_chunks.back()->lines.size() + count <= kMaxChunk) {
    std::vector<Line>& last = m_chunks.back()->lines;
    last.resize(last.size() + count, empty);
    m_nLines += static_cast<int>(count);
    Changed();
    return;
  }
  InsertRecords(m_nLines, std::vector<Line>(count, empty));
}

// ---- text blocks ----

char* CCSrvDoc::Allocate(std::size_t bytes, std::uint32_t& block) {
  if (m_current != kNoBlock) {
    Block& current = m_blocks[m_current];
    if (current.size - current.used >= bytes) {
      char* p = current.data.get() + current.used;
      current.used += bytes;
      current.live += bytes;
      block = m_current;
      return p;
    }
  }
  std::uint32_t slot;
  if (!m_freeBlocks.empty()) {
    slot = m_freeBlocks.back();
    m_freeBlocks.pop_back();
  } else {
    slot = static_cast<std::uint32_t>(m_blocks.size());
    m_blocks.emplace_back();
  }
  Block& fresh = m_blocks[slot];
  fresh.size = std::max(kBlockSize, bytes);
  fresh.data.reset(new char[fresh.size]);
  fresh.used = bytes;
  fresh.live = bytes;
  // A large text gets a block of its own; the current block keeps its room.
  if (bytes <= kBlockSize / 4 || m_current == kNoBlock) m_current = slot;
  block = slot;
  return fresh.data.get();
}

void CCSrvDoc::Free(const Line& line) {
  if (line.block == kNoBlock) return;
  Block& block = m_blocks[line.block];
  block.live -= line.capacity + 1;
  if (block.live != 0) return;
  if (line.block == m_current) {
    block.used = 0;
  } else {
    block.data.reset();
    block.size = block.used = 0;
    m_freeBlocks.push_back(line.block);
  }
}

void CCSrvDoc::Store(Line& line, std::string_view text) {
  if (text.size() > line.capacity) {
    Line old = line;
    line.text = Allocate(text.size() + 1, line.block);
    line.capacity = static_cast<std::uint32_t>(text.size());
    std::memcpy(line.text, text.data(), text.size());  // text may lie in the old storage
    Free(old);
  } else if (!text.empty()) {
    std::memmove(line.text, text.data(), text.size());
  }
  line.text[text.size()] = '\0';
  line.length = static_cast<std::uint32_t>(text.size());
}

// ---- marker index ----

void CCSrvDoc::IndexLine(Chunk& chunk, Line& line) {
  ForEachMark(line.text, line.length, [&](int column) {
    m_marks.emplace(KeyOf(line.text + column, line.length - column),
                    Mark{&chunk, line.text, column});
    ++line.marks;
  });
}

CCSrvDoc::MarkIndex::iterator CCSrvDoc::FindMark(const Line& line, int column) {
  const auto range = m_marks.equal_range(KeyOf(line.text + column, line.length - column));
  for (auto it = range.first; it != range.second; ++it) {
    if (it->second.text == line.text && it->second.column == column) return it;
  }
  return m_marks.end();
}

void CCSrvDoc::UnindexLine(Line& line) {
  if (line.marks == 0) return;
  ForEachMark(line.text, line.length, [&](int column) {
    const auto it = FindMark(line, column);
    if (it != m_marks.end()) m_marks.erase(it);
  });
  line.marks = 0;
}

void CCSrvDoc::Settle() {
  if (m_nPending < 0) return;
  const int n = m_nPending;
  m_nPending = -1;
  if (n < m_nLines) IndexLine(*m_chunks[ChunkOf(n)], At(n));
}

int CCSrvDoc::LineNumberOf(const Mark& mark) const {
  const std::vector<Line>& lines = mark.chunk->lines;
  std::size_t local = 0;
  while (lines[local].text != mark.text) ++local;
  return m_starts[mark.chunk->index] + static_cast<int>(local);
}

bool CCSrvDoc::FindIndexed(const SearchSpec& spec, TextPos& out, int& result) {
  const std::string_view text(spec.text);
  const std::size_t k = text.find("@!");
  if (k == std::string_view::npos || m_nLines == 0) return false;
  Settle();
  const int first = std::clamp(spec.line, 0, m_nLines - 1);
  const bool backward = spec.backward != 0;
  const int firstLength = static_cast<int>(At(first).length);
  // Where the search starts on its first line, as the line-by-line search has it.
  int start = StartColumn(spec, first, firstLength);
  if (backward) start = std::min(start, firstLength - 1);

  // Every match holds the text's first "@!" at its own column plus k, so the
  // index lists every line and column where it can start.
  const std::string key = KeyOf(text.data() + k, text.size() - k);
  int candidates = 0;
  bool found = false;
  TextPos best;
  for (auto it = m_marks.lower_bound(key);
       it != m_marks.end() && it->first.compare(0, key.size(), key) == 0; ++it) {
    if (++candidates > kMaxCandidates) return false;
    const int column = it->second.column - static_cast<int>(k);
    if (column < 0) continue;
    const int n = LineNumberOf(it->second);
    if (backward ? (n > first || (n == first && column > start))
                 : (n < first || (n == first && column < start))) {
      continue;
    }
    const Line& line = At(n);
    const int length = static_cast<int>(line.length);
    if (!MatchesAt(std::string_view(line.text, line.length), static_cast<size_t>(column), text,
                   spec.matchCase != 0)) {
      continue;
    }
    if (spec.wholeWord && !BoundedAsWord(line.text, length, column, spec.length)) continue;
    const bool better = backward ? (n > best.line || (n == best.line && column > best.column))
                                 : (n < best.line || (n == best.line && column < best.column));
    if (!found || better) {
      best = {column, n};
      found = true;
    }
  }
  result = found ? 1 : 0;
  if (found) out = best;
  return true;
}

// ---- line storage ----

const char* CCSrvDoc::GetLine(int n) {
  if (n >= m_nLines) Extend(n);
  return At(n).text;
}

int CCSrvDoc::GetLineLength(int n) {
  if (n >= m_nLines) Extend(n);
  return static_cast<int>(At(n).length);
}

int CCSrvDoc::AppendSavedLines(int first, std::string& out, std::size_t limit) {
  int next = first;
  if (next >= m_nLines) return next;
  std::size_t c = ChunkOf(next);
  std::size_t i = static_cast<std::size_t>(next - m_starts[c]);
  while (next < m_nLines && out.size() < limit) {
    const std::vector<Line>& lines = m_chunks[c]->lines;
    for (; i < lines.size() && out.size() < limit; ++i) {
      out.append(lines[i].text, lines[i].length);
      if (++next < m_nLines) out.append("\r\n", 2);
    }
    if (i == lines.size()) {
      ++c;
      i = 0;
    }
  }
  return next;
}

std::string_view CCSrvDoc::LineText(int n) const {
  const Line& line = At(n);
  return {line.text, line.length};
}

void CCSrvDoc::RemoveLines(int n, int count) {
  if (count <= 0 || n < 0 || n >= m_nLines) return;
  count = std::min(count, m_nLines - n);
  Settle();
  Changed();
  std::size_t c = ChunkOf(n);
  const std::size_t firstChunk = c;
  std::size_t local = static_cast<std::size_t>(n - m_starts[c]);
  int left = count;
  while (left > 0) {
    Chunk& chunk = *m_chunks[c];
    const std::size_t take = std::min(static_cast<std::size_t>(left), chunk.lines.size() - local);
    for (std::size_t i = local; i < local + take; ++i) {
      UnindexLine(chunk.lines[i]);
      Free(chunk.lines[i]);
    }
    const auto from = chunk.lines.begin() + static_cast<std::ptrdiff_t>(local);
    chunk.lines.erase(from, from + static_cast<std::ptrdiff_t>(take));
    left -= static_cast<int>(take);
    if (chunk.lines.empty()) {
      m_chunks.erase(m_chunks.begin() + static_cast<std::ptrdiff_t>(c));
    } else {
      ++c;
    }
    local = 0;
  }
  m_nLines -= count;
  RestartFrom(firstChunk);
  if (!m_chunks.empty()) MergeSmallChunk(std::min(firstChunk, m_chunks.size() - 1));
}

void CCSrvDoc::InsertEmptyLine(int n) {
  Settle();
  if (n < m_nLines) {
    InsertRecords(n, {Line{g_empty, 0, 0, kNoBlock, 0}});
  } else {
    Extend(n);
  }
}

void CCSrvDoc::Grow(Line& line, std::uint32_t capacity) {
  const Line old = line;
  line.text = Allocate(std::size_t{capacity} + 1, line.block);
  line.capacity = capacity;
  std::memcpy(line.text, old.text, old.length);
  Free(old);
}

char* CCSrvDoc::GetLineBuffer(int n, int len) {
  Settle();
  Extend(n);
  Changed();
  Line& line = At(n);
  UnindexLine(line);
  const std::uint32_t wanted = len > 0 ? static_cast<std::uint32_t>(len) : 0;
  if (wanted > line.capacity) {
    // Room to grow by half again, as a line built up piece by piece needs.
    Grow(line, std::max(wanted, line.capacity + line.capacity / 2));
  }
  if (wanted > line.length) {
    std::memset(line.text + line.length, 0, wanted - line.length);
    line.length = wanted;
    line.text[wanted] = '\0';
  }
  m_nPending = n;
  return line.text;
}

void CCSrvDoc::ReleaseLineBuffer(int n, int len) {
  if (m_nPending == n) {
    m_nPending = -1;  // indexed below
  } else {
    Settle();
  }
  Extend(n);
  Changed();
  Line& line = At(n);
  UnindexLine(line);
  const std::uint32_t wanted = len > 0 ? static_cast<std::uint32_t>(len) : 0;
  if (wanted > line.capacity) Grow(line, wanted);
  // A line set longer than its text ends in NUL bytes.
  if (wanted > line.length) std::memset(line.text + line.length, 0, wanted - line.length);
  line.length = wanted;
  if (line.text != g_empty) line.text[wanted] = '\0';
  IndexLine(*m_chunks[ChunkOf(n)], line);
}

void CCSrvDoc::SetLineText(int n, std::string_view text) {
  Settle();
  Extend(n);
  Changed();
  Line& line = At(n);
  UnindexLine(line);
  Store(line, text);
  IndexLine(*m_chunks[ChunkOf(n)], line);
}

void CCSrvDoc::InsertLines(int n, std::span<const std::string_view> lines) {
  if (lines.empty()) return;
  Settle();
  if (n > m_nLines) Extend(n - 1);
  std::vector<Line> records(lines.size(), Line{g_empty, 0, 0, kNoBlock, 0});
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (!lines[i].empty()) Store(records[i], lines[i]);
  }
  InsertRecords(n, std::move(records));
}
