#include "build/page_files.h"

#include <string_view>

#include "document/markers.h"

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
  ForEachLineOfFile(path, [&](std::string_view line) {
    const std::string_view text = Trimmed(line);
    const bool marker = text.find(markers::kFunctionPrefix) != std::string_view::npos;
    if (state == kOutside) {
      if (marker && EndsWith(text, Trimmed(markers::kOpenSuffix))) state = kSignature;
    } else if (state == kSignature) {
      state = kBody;
    } else if (marker) {
      state = kOutside;
    } else if (!text.empty() && text != "{" && text != placeholder) {
      found = true;
    }
    return !found;
  });
  return found;
}
