#include "document/markers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "document/doc_handle.h"
#include "platform/file_util.h"

int FindMarker(CCSrvDoc& doc, const std::string& marker, int startLine) {
  SearchSpec spec;
  spec.text = marker.c_str();
  spec.length = static_cast<int>(marker.size());
  spec.line = startLine;
  TextPos found;
  if (!doc.FindText(spec, found)) return -1;
  return found.line;
}

namespace {

inline char LowerC(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool MatchesHere(const char* p, std::string_view marker) {
  for (size_t k = 0; k < marker.size(); ++k) {
    if (LowerC(p[k]) != LowerC(marker[k])) return false;
  }
  return true;
}

// Candidates for a match's first byte: that byte exactly, or in either case.
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The first match of marker (case-insensitive) that starts at or after from,
// or npos.
size_t FindForward(std::string_view text, std::string_view marker, size_t from) {
  if (marker.size() > text.size()) return std::string_view::npos;
  const size_t last = text.size() - marker.size();
  for (size_t p = from; p <= last; ++p) {
    if (!IsLetter(marker[0])) {
      const void* hit = std::memchr(text.data() + p, marker[0], last - p + 1);
      if (hit == nullptr) return std::string_view::npos;
      p = static_cast<size_t>(static_cast<const char*>(hit) - text.data());
    }
    if (MatchesHere(text.data() + p, marker)) return p;
  }
  return std::string_view::npos;
}

// The last match of marker that ends at or before end, or npos.
size_t FindBackward(std::string_view text, std::string_view marker, size_t end) {
  if (marker.size() > end) return std::string_view::npos;
  for (size_t p = end - marker.size() + 1; p-- > 0;) {
    if (!IsLetter(marker[0])) {
      const void* hit = ::memrchr(text.data(), marker[0], p + 1);
      if (hit == nullptr) return std::string_view::npos;
      p = static_cast<size_t>(static_cast<const char*>(hit) - text.data());
    }
    if (MatchesHere(text.data() + p, marker)) return p;
  }
  return std::string_view::npos;
}

// True when every line of the text is one line of its document as loaded:
// no line (without its line end) reaches the length at which a load wraps it.
bool NoLongLine(std::string_view text) {
  const size_t limit = static_cast<size_t>(CSourceText::MaxLineLength);
  size_t start = 0;
  while (start < text.size()) {
    // Every line that ends within limit bytes of start is short enough; go on
    // after the last of them.
    const size_t window = std::min(text.size() - start, limit);
    const void* lf = ::memrchr(text.data() + start, '\n', window);
    if (lf != nullptr) {
      start = static_cast<size_t>(static_cast<const char*>(lf) - text.data()) + 1;
      continue;
    }
    if (text.size() - start < limit) return true;  // a short last line without a line end
    // A line of limit - 1 bytes still fits when a CR LF follows it.
    if (text.size() - start > limit && text[start + limit] == '\n' &&
        text[start + limit - 1] == '\r') {
      start += limit + 1;
      continue;
    }
    return false;
  }
  return true;
}

// Where the line holding offset p ends (its LF, or the end of the text).
size_t LineEnd(std::string_view text, size_t p) {
  const size_t lf = text.find('\n', p);
  return lf == std::string_view::npos ? text.size() : lf;
}

}  // namespace

int MarkersInOrderInFile(const std::string& path, const std::vector<const char*>& markerList) {
  for (const char* marker : markerList) {
    const std::string_view m(marker);
    if (m.empty() || m.find_first_of("\r\n") != std::string_view::npos) return -1;
  }
  // The file is read, not mapped: another program that shortens it meanwhile
  // must not be able to crash us.
  if (!IsRegularFile(path)) return -1;
  std::string data;
  if (!ReadWholeFile(path, data) || data.empty()) return -1;
  const std::string_view text(data);
  int result = -1;
  if (std::memchr(text.data(), '\0', text.size()) == nullptr && NoLongLine(text)) {
    // The markers were found in order exactly when the first one's first
    // occurrence lies on a line at or above the last possible line of the
    // second, found from the end: the last one's last occurrence, the one
    // before it last on that line or above, and so on.
    result = 0;
    const size_t first = FindForward(text, markerList.front(), 0);
    if (first != std::string_view::npos) {
      size_t end = text.size();
      size_t at = first;
      bool found = true;
      for (size_t i = markerList.size(); found && i-- > 1;) {
        at = FindBackward(text, markerList[i], end);
        found = at != std::string_view::npos;
        if (found) end = LineEnd(text, at);
      }
      // The second marker's line must not start above the first one's line.
      if (found &&
          (markerList.size() == 1 || text.rfind('\n', at) + 1 >= text.rfind('\n', first) + 1)) {
        result = 1;
      }
    }
  }
  return result;
}

std::string MissingMarkerText(const std::string& marker, const std::string& path) {
  return "Can't find " + marker + " in " + path;
}

void ReportMissingMarker(Prompter& prompter, const std::string& marker, const std::string& path) {
  prompter.ShowOk(MissingMarkerText(marker, path));
}

int ClearSection(Prompter& prompter, const std::string& path, const std::string& beginMarker,
                 const std::string& endMarker, int includeMarkers) {
  CDocHandle doc = CDocHandle::Open(prompter, path);
  const int a = FindMarker(*doc, beginMarker, 0);
  if (a < 0) return -1;
  int b = FindMarker(*doc, endMarker, a + 1);
  if (b < 0) b = a;
  if (a + 1 < b) {
    if (includeMarkers) {
      doc->RemoveLines(a, b - a + 1);
    } else {
      doc->RemoveLines(a + 1, b - a - 1);
    }
    doc.Save();
  }
  return a + 1;
}
