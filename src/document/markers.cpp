#include "document/markers.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <string_view>

#include "document/generated_files.h"
#include "platform/ascii.h"
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

int ForEachLineOfFile(const std::string& path,
                      const std::function<bool(std::string_view line)>& take) {
  // The file is streamed through one buffer, line by line, never mapped: a
  // program that shortens it meanwhile cannot crash us, and a big file costs
  // no more memory than a small one.
  // Opened without waiting, then asked what it is: a pipe or a device is
  // never read.
  const int fd = OpenFileDescriptor(path, FileOpen::kReadNoWait);
  if (fd < 0) return -1;
  if (FileStatus status; !StatusOfDescriptor(fd, status) || !status.regular) {
    CloseFileDescriptor(fd);
    return -1;
  }
  const size_t bufferSize = size_t{1} << 20;
  const std::unique_ptr<char[]> buffer(new char[bufferSize]);  // not cleared: read fills it
  size_t filled = 0;
  int result = 0;
  bool going = true;
  for (;;) {
    const std::int64_t n = ReadFileDescriptor(fd, buffer.get() + filled, bufferSize - filled);
    if (n < 0) {
      result = -1;
      break;
    }
    if (n > 0) result = 1;
    const size_t end = filled + static_cast<size_t>(n);
    size_t start = 0;
    while (going) {
      const void* lf = std::memchr(buffer.get() + start, '\n', end - start);
      if (lf == nullptr) break;
      size_t stop = static_cast<size_t>(static_cast<const char*>(lf) - buffer.get());
      const size_t nextStart = stop + 1;
      if (stop > start && buffer[stop - 1] == '\r') --stop;
      going = take(std::string_view(buffer.get() + start, stop - start));
      start = nextStart;
    }
    if (!going) break;
    if (n == 0) {
      if (end > start) take(std::string_view(buffer.get() + start, end - start));
      break;
    }
    // Keep the unfinished line; a line that fills the buffer is far too long.
    if (start == 0 && end == bufferSize) {
      result = -1;
      break;
    }
    std::memmove(buffer.get(), buffer.get() + start, end - start);
    filled = end - start;
  }
  CloseFileDescriptor(fd);
  return result;
}

int MarkersInOrderInFile(const std::string& path, const std::vector<const char*>& markerList) {
  for (const char* marker : markerList) {
    const std::string_view m(marker);
    if (m.empty() || m.find_first_of("\r\n") != std::string_view::npos) return -1;
  }
  size_t next = 0;  // the marker sought, each from the line of the one before
  bool judged = true;
  // One line of the document (without its line end): it must be a whole line
  // of the file, with no NUL byte; the markers still sought are looked for in it.
  const int read = ForEachLineOfFile(path, [&](std::string_view line) {
    if (!CSourceText::LoadsAsOneLine(line)) {
      judged = false;
      return false;
    }
    while (next < markerList.size() &&
           FindForward(line, markerList[next], 0, false) != std::string_view::npos) {
      ++next;
    }
    return true;
  });
  if (!judged || read <= 0) return -1;
  return next == markerList.size() ? 1 : 0;
}

std::string MissingMarkerText(const std::string& marker, const std::string& path) {
  return "Can't find " + marker + " in " + path;
}

void ReportMissingMarker(Prompter& prompter, const std::string& marker, const std::string& path) {
  prompter.ShowOk(MissingMarkerText(marker, path));
}

int ClearSection(Prompter& prompter, CGeneratedFiles& files, const std::string& path,
                 const std::string& beginMarker, const std::string& endMarker, int includeMarkers) {
  CDocHandle doc = files.Open(prompter, path);
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
