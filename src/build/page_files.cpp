#include "build/page_files.h"

#include <string_view>

#include "document/markers.h"
#include "platform/ascii.h"
#include "platform/file_util.h"

namespace {

std::string_view Trimmed(std::string_view line) {
  const size_t first = line.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return line.substr(first, line.find_last_not_of(" \t") - first + 1);
}

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

}  // namespace

bool PageFileHoldsUserCode(const std::string& path) {
  // Inside a stub: the line after its opening marker is its signature, then
  // come "{", the placeholder and the closing line "}   <marker>".
  enum { kOutside, kSignature, kBody } state = kOutside;
  const std::string_view placeholder = Trimmed(markers::kStubPlaceholder);
  bool found = false;
  // Markers are found in any letter case, as a build finds them.
  const std::string prefix = AsciiLowerCopy(markers::kFunctionPrefix);
  const std::string open = AsciiLowerCopy(Trimmed(markers::kOpenSuffix));
  const int read = ForEachLineOfFile(path, [&](std::string_view line) {
    const std::string text = AsciiLowerCopy(Trimmed(line));
    const bool marker = text.find(prefix) != std::string::npos;
    const bool opening = marker && EndsWith(text, open);
    if (state == kOutside) {
      if (opening) state = kSignature;
    } else if (state == kSignature) {
      state = kBody;
    } else if (marker) {
      // A stub whose closing line is gone ends at the next stub's opening.
      state = opening ? kSignature : kOutside;
    } else if (!text.empty() && text != "{" && text != AsciiLowerCopy(placeholder)) {
      found = true;
    }
    return !found;
  });
  // A file that cannot be read through may hold code: it is never offered
  // for deletion as one without.
  return found || (read < 0 && PathExists(path));
}

bool PageFileHoldsFormHandler(const std::string& path) {
  const std::string handler = AsciiLowerCopy(std::string(markers::kFunctionPrefix) + "Post_");
  bool found = false;
  const int read = ForEachLineOfFile(path, [&](std::string_view line) {
    found = AsciiLowerCopy(line).find(handler) != std::string::npos;
    return !found;
  });
  return found || (read < 0 && PathExists(path));
}
