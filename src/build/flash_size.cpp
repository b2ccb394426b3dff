#include "build/flash_size.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "document/markers.h"
#include "platform/ascii.h"
#include "platform/file_util.h"

namespace {

// Decodes one escape sequence starting after the backslash at code[i]; i ends
// on its last character. One stored byte either way.
void SkipEscape(const std::string& code, size_t& i) {
  if (i >= code.size()) return;
  const char c = code[i];
  if (c >= '0' && c <= '7') {
    for (int n = 1; n < 3 && i + 1 < code.size() && code[i + 1] >= '0' && code[i + 1] <= '7'; ++n) {
      ++i;
    }
  } else if (c == 'x') {
    while (i + 1 < code.size() && std::isxdigit(static_cast<unsigned char>(code[i + 1]))) ++i;
  }
}

}  // namespace

std::int64_t StringLiteralBytes(const std::string& code) {
  std::int64_t bytes = 0;
  bool inString = false;  // the last token was a string literal
  for (size_t i = 0; i < code.size(); ++i) {
    const char c = code[i];
    if (c == '/' && i + 1 < code.size() && code[i + 1] == '*') {
      const size_t end = code.find("*/", i + 2);
      i = end == std::string::npos ? code.size() : end + 1;
      continue;
    }
    if (c == '/' && i + 1 < code.size() && code[i + 1] == '/') {
      i = std::min(code.find('\n', i), code.size());
      continue;
    }
    if (IsAsciiSpace(c)) continue;
    if (c == '\'' || c == '"') {
      std::int64_t characters = 0;
      for (++i; i < code.size() && code[i] != c; ++i) {
        if (code[i] == '\\') SkipEscape(code, ++i);
        ++characters;
      }
      if (c == '"') {
        // A literal that follows another is joined to it: one zero for both.
        bytes += characters + (inString ? 0 : 1);
        inString = true;
      }
      continue;
    }
    inString = false;
  }
  return bytes;
}

std::unordered_map<int, std::int64_t> ByteArraySizes(const std::string& code) {
  static constexpr std::string_view kHead = "const char buffer_";
  std::unordered_map<int, std::int64_t> sizes;
  for (size_t at = code.find(kHead); at != std::string::npos; at = code.find(kHead, at + 1)) {
    // A head begins its line; the same text inside a literal's bytes is data.
    if (at > 0 && code[at - 1] != '\n') continue;
    // "const char buffer_N [] =" and the initializer list after it.
    size_t i = at + kHead.size();
    const size_t digits = i;
    while (i < code.size() && code[i] >= '0' && code[i] <= '9') ++i;
    if (i == digits) continue;
    const int function = std::atoi(code.c_str() + digits);
    // The literal form: "const char buffer_N [SIZE] =" and string literals.
    if (code.compare(i, 2, " [") == 0 && i + 2 < code.size() && code[i + 2] != ']') {
      char* end = nullptr;
      const long long size = std::strtoll(code.c_str() + i + 2, &end, 10);
      if (end && std::string_view(end).starts_with("] =")) sizes.emplace(function, size);
      continue;
    }
    if (code.compare(i, 5, " [] =") != 0) continue;
    const size_t open = code.find('{', i);
    const size_t close = code.find('}', i);
    if (open == std::string::npos || close == std::string::npos || close < open) continue;
    std::int64_t elements = 0;
    bool inElement = false;
    for (size_t k = open + 1; k < close; ++k) {
      if (code[k] == ',') {
        inElement = false;
      } else if (!IsAsciiSpace(code[k]) && !inElement) {
        inElement = true;
        ++elements;
      }
    }
    sizes.emplace(function, elements);
    at = close;
  }
  return sizes;
}

std::int64_t ByteArraySize(const std::string& code, int function) {
  const auto sizes = ByteArraySizes(code);
  const auto it = sizes.find(function);
  return it == sizes.end() ? -1 : it->second;
}

std::string HtmlPageSection(const std::string& code) {
  const std::string_view begin = markers::kBeginHtmlPage;
  const size_t from = FindForward(code, begin, 0, false);
  if (from == std::string::npos) return std::string();
  const size_t to = FindForward(code, markers::kEndHtmlPage, from, false);
  if (to == std::string::npos) return std::string();
  return code.substr(from + begin.size(), to - from - begin.size());
}

std::vector<CFlashEntry> MeasureFlash(const CPageNodeList& nodes, const std::string& binFile) {
  std::vector<CFlashEntry> entries;
  // The binary data file is read and its arrays counted once, whatever the
  // number of binary nodes.
  // (A file that cannot be read counts no array.)
  std::string binCode;
  ReadWholeFile(binFile, binCode);
  const std::unordered_map<int, std::int64_t> arraySizes = ByteArraySizes(binCode);
  for (const auto& node : nodes) {
    if (!node->IsPage() && !node->IsBinary()) continue;
    CFlashEntry entry;
    entry.url = node->GetUrl();
    entry.kind = GetTypeSuffix(node->GetPath());
    if (node->IsPage()) {
      std::string code;
      const std::string section =
          ReadWholeFile(node->GetOutputFile(), code) ? HtmlPageSection(code) : std::string();
      entry.found = !section.empty();
      entry.bytes = entry.found ? StringLiteralBytes(section) : 0;
    } else {
      const auto size = arraySizes.find(node->GetFunction());
      entry.found = size != arraySizes.end();
      entry.bytes = entry.found ? size->second : 0;
    }
    entries.push_back(entry);
  }
  std::stable_sort(entries.begin(), entries.end(), [](const CFlashEntry& a, const CFlashEntry& b) {
    return a.bytes != b.bytes ? a.bytes > b.bytes : a.url < b.url;
  });
  return entries;
}
