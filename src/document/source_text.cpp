#include "document/source_text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "platform/ascii.h"
#include "platform/file_util.h"

namespace {

// Reads the whole open file into one buffer, without the copy through a
// smaller one. False on a read error.
bool ReadOpenFile(int fd, std::unique_ptr<char[]>& data, size_t& size) {
  FileStatus status;
  size_t capacity =
      StatusOfDescriptor(fd, status) && status.size > 0 ? static_cast<size_t>(status.size) : 0;
  capacity += 1 << 16;  // room to see the end of the file, or for a file that grows
  data.reset(new char[capacity]);
  size = 0;
  for (;;) {
    if (size == capacity) {
      std::unique_ptr<char[]> larger(new char[capacity * 2]);
      std::memcpy(larger.get(), data.get(), size);
      data = std::move(larger);
      capacity *= 2;
    }
    const std::int64_t n = ReadFileDescriptor(fd, data.get() + size, capacity - size);
    if (n < 0) return false;
    if (n == 0) return true;
    size += static_cast<size_t>(n);
  }
}

// Bytes written to a file at a time when a document is saved.
constexpr std::size_t kSavePiece = std::size_t{1} << 20;

}  // namespace

CSourceText::~CSourceText() = default;

void CSourceText::ClearHistory() {
  m_history.clear();
  m_nCurrent = -1;
}

void CSourceText::DeleteAll() {
  ClearHistory();
  int count = GetLineCount();
  if (count > 0) RemoveLines(0, count);
  InsertEmptyLine(0);
}

int CSourceText::LoadFile(const std::string& path) {
  m_nLastError = 0;
  m_strLoadPath = path;
  const FileStatus status = StatusOf(path);
  if (status.directory) {
    m_nLastError = 1;
    return 0;
  }
  // A file without any write permission bit counts as read-only even for a
  // privileged user, like a read-only file attribute.
  bool readOnly = false;
  int fd = -1;
  if (status.writeBit) fd = OpenFileDescriptor(path, FileOpen::kReadWrite);
  if (fd < 0) {
    fd = OpenFileDescriptor(path, FileOpen::kRead);
    if (fd < 0) {
      m_nLastError = 1;
      return 0;
    }
    readOnly = true;
  }
  if (readOnly) m_bReadOnly = 1;
  std::unique_ptr<char[]> text;
  size_t size = 0;
  bool readOk = ReadOpenFile(fd, text, size);
  CloseFileDescriptor(fd);
  if (!readOk) {
    // Nothing has been replaced yet: the document keeps its lines.
    throw CSrcFileException();
  }
  return LoadText(std::string_view(text.get(), size));
}

int CSourceText::LoadText(std::string_view text) {
  DeleteAll();
  m_nLongLine = 0;
  int result = 1;
  bool wrapped = false;
  bool endedWithLineEnd = true;
  int n = 0;
  const char* data = text.data();
  const size_t size = text.size();
  size_t pos = 0;
  // Lines arrive in pieces of at most MaxLineLength bytes of the text stream,
  // in which CR LF reads as one LF; a longer line arrives as several pieces.
  while (pos < size) {
    const char* lf = static_cast<const char*>(std::memchr(data + pos, '\n', size - pos));
    size_t lineEnd = lf ? static_cast<size_t>(lf - data) : size;
    size_t contentEnd = lineEnd;
    if (lf && contentEnd > pos && data[contentEnd - 1] == '\r') --contentEnd;
    size_t next = lf ? lineEnd + 1 : size;
    size_t start = pos;
    for (;;) {
      size_t remaining = contentEnd - start;
      bool hasLineEnd;
      size_t take;
      if (remaining >= static_cast<size_t>(MaxLineLength)) {
        take = static_cast<size_t>(MaxLineLength);
        hasLineEnd = false;
      } else if (lf) {
        take = remaining;
        hasLineEnd = true;
      } else {
        if (remaining == 0) break;
        take = remaining;
        hasLineEnd = false;
      }
      // The piece is a C string: a NUL byte ends it, and a piece that starts
      // with one cannot be read at all.
      const char* piece = data + start;
      const void* nul = std::memchr(piece, '\0', take);
      size_t len = nul ? static_cast<size_t>(static_cast<const char*>(nul) - piece) : take;
      if (nul && len == 0) throw CSrcFileException();
      const bool pieceHasLineEnd = hasLineEnd;
      endedWithLineEnd = hasLineEnd && !nul;
      char* buffer = GetLineBuffer(n, static_cast<int>(len));
      if (buffer && len) std::memcpy(buffer, piece, len);
      ReleaseLineBuffer(n, static_cast<int>(len));
      start += take;
      if (len >= static_cast<size_t>(MaxLineLength) && !wrapped) {
        m_nLongLine = n + 1;
        if (LongLineWarning()) {
          wrapped = true;
          m_nLastError = 4;
          result = 0;
        } else {
          DeleteAll();
          m_nLastError = 3;
          return 0;
        }
      }
      ++n;
      if (pieceHasLineEnd) break;
      if (start >= contentEnd && !lf) break;
    }
    pos = next;
  }
  if (endedWithLineEnd) {
    GetLineBuffer(n, 0);
    ReleaseLineBuffer(n, 0);
  }
  return result;
}

std::string CSourceText::JoinedText() {
  std::string out;
  out.reserve(SavedSize());
  AppendSavedLines(0, out, std::numeric_limits<std::size_t>::max());
  return out;
}

std::uint64_t CSourceText::SavedSize() {
  const int count = GetLineCount();
  std::uint64_t size = count > 1 ? 2 * static_cast<std::uint64_t>(count - 1) : 0;
  for (int i = 0; i < count; ++i) size += static_cast<std::uint64_t>(GetLineLength(i));
  return size;
}

std::function<std::string_view()> CSourceText::SavePieces(std::string& buffer) {
  // The text goes out through one reused buffer rather than being joined first.
  buffer.clear();
  buffer.reserve(kSavePiece + MaxLineLength + 2);
  return [this, &buffer, next = 0]() mutable -> std::string_view {
    buffer.clear();
    next = AppendSavedLines(next, buffer, kSavePiece);
    return buffer;
  };
}

int CSourceText::AppendSavedLines(int first, std::string& out, std::size_t limit) {
  const int count = GetLineCount();
  int next = first;
  while (next < count && out.size() < limit) {
    out.append(GetLine(next), static_cast<size_t>(GetLineLength(next)));
    if (++next < count) out.append("\r\n", 2);
  }
  return next;
}

bool CSourceText::IsSavedIn(const std::string& path) {
  if (::FileSize(path) < 0) return false;  // spares the size count for a new file
  std::string buffer;
  return FileHoldsPieces(path, SavedSize(), SavePieces(buffer));
}

std::string CSrcFileException::Reason() const {
  return m_nError != 0 ? std::strerror(m_nError) : std::string();
}

int CSourceText::SaveFile(const std::string& path, int* error) {
  int number = 0;
  const FileStatus status = StatusOf(path);
  if (::IsReadOnly(path)) {
    number = EACCES;
  } else if (status.exists && !status.regular) {
    number = EISDIR;
  } else {
    std::string buffer;
    switch (ReplaceFileAtomicallyInPieces(path, SavePieces(buffer), nullptr, &number)) {
      case ReplaceResult::kOk:
        return 1;
      case ReplaceResult::kCannotCreate:
        break;
      case ReplaceResult::kWriteFailed:
        throw CSrcFileException(number);
    }
  }
  if (error != nullptr) *error = number;
  return 0;
}

bool CSourceText::LoadsAsOneLine(std::string_view line) {
  return line.size() < static_cast<size_t>(MaxLineLength) &&
         std::memchr(line.data(), '\0', line.size()) == nullptr;
}

int CSourceText::StartColumn(const SearchSpec& spec, int n, int length) {
  if (n == spec.line) return std::min(std::max(spec.column, 0), length);
  return spec.backward ? length : 0;
}

bool CSourceText::BoundedAsWord(const char* line, int length, int column, int matchLength) {
  const int end = column + matchLength;
  const bool before = column == 0 || IsAsciiSpace(line[column - 1]);
  const bool after = end >= length || IsAsciiSpace(line[end]);
  return before && after;
}

int CSourceText::SearchLine(const char* q, int len, int start, const SearchSpec& spec, size_t tlen,
                            int& found) {
  if (tlen == 0) {
    found = 0;
    return 1;
  }
  const std::string_view text(spec.text, tlen);
  const std::string_view line(q, static_cast<size_t>(len));
  const bool matchCase = spec.matchCase != 0;
  if (!spec.backward) {
    const size_t at = FindForward(line, text, static_cast<size_t>(start), matchCase);
    if (at == std::string_view::npos) return 0;
    found = static_cast<int>(at);
    return 1;
  }
  for (int s = std::min(start, len - 1); s >= 0; --s) {
    if (MatchesAt(line, static_cast<size_t>(s), text, matchCase)) {
      found = s;
      return 1;
    }
  }
  return 0;
}

int CSourceText::FindText(const SearchSpec& spec, TextPos& out) {
  const int count = GetLineCount();
  if (count <= 0 || spec.text == nullptr) return 0;
  int indexed = 0;
  if (FindIndexed(spec, out, indexed)) return indexed;
  const size_t tlen = std::strlen(spec.text);
  int n = std::clamp(spec.line, 0, count - 1);
  const bool backward = spec.backward != 0;
  while (n >= 0 && n < count) {
    const char* q = GetLine(n);
    const int len = GetLineLength(n);
    const int start = StartColumn(spec, n, len);
    int s = 0;
    bool searching = SearchLine(q, len, start, spec, tlen, s) != 0;
    while (searching) {
      if (!spec.wholeWord || BoundedAsWord(q, len, s, spec.length)) {
        out.column = s;
        out.line = n;
        return 1;
      }
      if (!backward) {
        searching = SearchLine(q, len, s + 1, spec, tlen, s) != 0;
      } else {
        if (s == 0) break;
        searching = SearchLine(q, len, s - 1, spec, tlen, s) != 0;
      }
    }
    n += backward ? -1 : 1;
  }
  return 0;
}

TextPos CSourceText::InsertText(int column, int line, const char* text) {
  if (line >= GetLineCount()) InsertEmptyLine(line);
  int len = GetLineLength(line);
  std::string tail;
  if (column < len) {
    tail.assign(GetLine(line) + column, static_cast<size_t>(len - column));
    ReleaseLineBuffer(line, column);
  } else if (column > len) {
    char* buffer = GetLineBuffer(line, column);
    std::memset(buffer + len, ' ', static_cast<size_t>(column - len));
    ReleaseLineBuffer(line, column);
  }
  int current = line;
  const char* p = text;
  for (;;) {
    const char* segEnd = p;
    while (*segEnd != '\0' && *segEnd != '\n' && *segEnd != '\r') ++segEnd;
    const int segLen = static_cast<int>(segEnd - p);
    const int curLen = GetLineLength(current);
    if (segLen > 0) {
      char* buffer = GetLineBuffer(current, curLen + segLen);
      std::memcpy(buffer + curLen, p, static_cast<size_t>(segLen));
      ReleaseLineBuffer(current, curLen + segLen);
    }
    if (*segEnd == '\0') {
      const int endColumn = curLen + segLen;
      if (!tail.empty()) {
        char* buffer = GetLineBuffer(current, endColumn + static_cast<int>(tail.size()));
        std::memcpy(buffer + endColumn, tail.data(), tail.size());
        ReleaseLineBuffer(current, endColumn + static_cast<int>(tail.size()));
      }
      return TextPos{endColumn, current};
    }
    InsertEmptyLine(current + 1);
    ++current;
    p = segEnd + 1;
    if (*segEnd == '\r' && *p == '\n') ++p;
  }
}

int CSourceText::GetRangeText(TextPos from, TextPos to, char* buffer, int& size, bool measureOnly) {
  std::string text;
  const int count = GetLineCount();
  for (int i = from.line; i <= to.line && i < count; ++i) {
    if (i < 0) continue;
    const int len = GetLineLength(i);
    int first = (i == from.line) ? from.column : 0;
    int last = (i == to.line) ? to.column : len;
    first = std::clamp(first, 0, len);
    last = std::clamp(last, 0, len);
    if (last > first) text.append(GetLine(i) + first, static_cast<size_t>(last - first));
    if (i < to.line) {
      text.append("\r\n");
    } else if (to.column > len) {
      text.append("\r\n");
    }
  }
  const int needed = static_cast<int>(text.size()) + 1;
  if (measureOnly && buffer == nullptr) {
    size = needed;
    return 1;
  }
  if (measureOnly && size < needed) return 0;
  if (buffer) std::memcpy(buffer, text.c_str(), static_cast<size_t>(needed));
  return 1;
}

void CSourceText::DeleteRange(TextPos from, TextPos to) {
  if (from.line >= GetLineCount()) return;
  const int fromLen = GetLineLength(from.line);
  std::string head(GetLine(from.line), static_cast<size_t>(std::min(from.column, fromLen)));
  if (to.line > from.line) RemoveLines(from.line, to.line - from.line);
  const int endLen = GetLineLength(from.line);
  std::string joined;
  if (to.column > endLen) {
    RemoveLines(from.line, 1);
    joined = head + GetLine(from.line);
  } else {
    joined = head + std::string(GetLine(from.line) + to.column);
  }
  const int newLen = static_cast<int>(joined.size());
  char* buffer = GetLineBuffer(from.line, newLen);
  std::memcpy(buffer, joined.data(), joined.size());
  ReleaseLineBuffer(from.line, newLen);
}

int CSourceText::Execute(std::unique_ptr<CTextCommand> command) {
  m_nLastError = 0;
  if (m_bReadOnly) {
    m_nLastError = 7;
    return 0;
  }
  const int ok = command->Do(*this);
  if (ok && m_bHistoryEnabled) {
    m_history.erase(m_history.begin() + (m_nCurrent + 1), m_history.end());
    m_history.push_back(std::move(command));
    m_nCurrent = static_cast<int>(m_history.size()) - 1;
    while (static_cast<int>(m_history.size()) > UndoLimit) {
      m_history.erase(m_history.begin());
      --m_nCurrent;
    }
  }
  return ok;
}

void CSourceText::Undo() {
  if (m_nCurrent < 0) return;
  m_history[static_cast<size_t>(m_nCurrent)]->Undo(*this);
  --m_nCurrent;
}

void CSourceText::Redo() {
  if (!CanRedo()) return;
  ++m_nCurrent;
  m_history[static_cast<size_t>(m_nCurrent)]->Do(*this);
}

CInsertTextCommand::CInsertTextCommand(TextPos at, std::string text)
    : m_at(at), m_strText(std::move(text)) {}

int CInsertTextCommand::Do(CSourceText& engine) {
  m_bSavedModified = engine.IsModified() ? 1 : 0;
  const int count = engine.GetLineCount();
  m_nOldLastLine = count - 1;
  m_nOldLastLength = count > 0 ? engine.GetLineLength(count - 1) : 0;
  m_end = engine.InsertText(m_at.column, m_at.line, m_strText.c_str());
  engine.SetModified(true);
  engine.NotifyChange(m_at, m_end);
  return 1;
}

void CInsertTextCommand::Undo(CSourceText& engine) {
  if (m_at.line > m_nOldLastLine) {
    // The insertion extended the document: drop what it added.
    const int count = engine.GetLineCount();
    if (count > m_nOldLastLine + 1)
      engine.RemoveLines(m_nOldLastLine + 1, count - m_nOldLastLine - 1);
  } else {
    engine.DeleteRange(m_at, m_end);
  }
  if (m_nOldLastLine >= 0 && m_nOldLastLine < engine.GetLineCount() &&
      engine.GetLineLength(m_nOldLastLine) > m_nOldLastLength && m_at.line >= m_nOldLastLine) {
    engine.ReleaseLineBuffer(m_nOldLastLine, m_nOldLastLength);
  }
  engine.SetModified(m_bSavedModified != 0);
  engine.NotifyChange(m_at, m_at);
}

CDeleteTextCommand::CDeleteTextCommand(TextPos from, TextPos to) : m_from(from), m_to(to) {}

int CDeleteTextCommand::Do(CSourceText& engine) {
  m_bSavedModified = engine.IsModified() ? 1 : 0;
  const int fromLen = m_from.line < engine.GetLineCount() ? engine.GetLineLength(m_from.line) : 0;
  long joined = std::min(m_from.column, fromLen);
  if (m_to.line < engine.GetLineCount()) {
    const int toLen = engine.GetLineLength(m_to.line);
    if (m_to.column <= toLen) joined += toLen - m_to.column;
  }
  if (joined > CSourceText::MaxLineLength) {
    engine.SetLastError(5);
    return 0;
  }
  int size = 0;
  engine.GetRangeText(m_from, m_to, nullptr, size, true);
  std::string saved(static_cast<size_t>(size), '\0');
  engine.GetRangeText(m_from, m_to, saved.data(), size, true);
  saved.resize(static_cast<size_t>(size - 1));
  m_strSaved = std::move(saved);
  engine.DeleteRange(m_from, m_to);
  engine.SetModified(true);
  engine.NotifyChange(m_from, m_from);
  return 1;
}

void CDeleteTextCommand::Undo(CSourceText& engine) {
  m_to = engine.InsertText(m_from.column, m_from.line, m_strSaved.c_str());
  engine.SetModified(m_bSavedModified != 0);
  engine.NotifyChange(m_from, m_to);
}
