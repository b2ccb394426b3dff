#include "project/url_names.h"

#include "platform/ascii.h"
#include "platform/file_util.h"

std::string CharacterText(char c) {
  switch (c) {
    case '"':
      return "a double quote (\")";
    case '\\':
      return "a backslash (\\)";
    case ',':
      return "a comma (,)";
    case '?':
      return "a question mark (?)";
    case '/':
      return "a slash (/)";
    default:
      break;
  }
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const auto u = static_cast<unsigned char>(c);
  return std::string("the control character 0x") + kDigits[u >> 4] + kDigits[u & 15];
}

std::string UrlNameProblem(std::string_view name, bool folder) {
  if (folder) {
    if (name.empty()) return "is empty";
    if (name == "." || name == "..") return "is \"" + std::string(name) + "\"";
  }
  for (char c : name) {
    // A query starts at "?": the server never sees it as part of the URL.
    if (c == '"' || c == '\\' || c == ',' || c == '?' || IsAsciiControl(c) ||
        (folder && c == '/')) {
      return "holds " + CharacterText(c);
    }
  }
  return std::string();
}

namespace {

// A name as the messages quote it: control characters as "^" and their letter.
std::string Shown(std::string_view name) {
  std::string shown;
  for (char c : name) {
    if (IsAsciiControl(c)) {
      shown += '^';
      shown += c == 0x7f ? '?' : static_cast<char>(c + '@');
    } else {
      shown += c;
    }
  }
  return shown;
}

}  // namespace

std::string RefusedFolderNameText(std::string_view name) {
  const std::string problem = UrlNameProblem(name, true);
  if (problem.empty()) return problem;
  return "The folder name \"" + Shown(name) + "\" cannot be part of a URL: it " + problem + ".";
}

std::string RefusedFileText(const std::string& path) {
  std::string folder, name;
  SplitPath(path, folder, name);
  const std::string problem = UrlNameProblem(name, false);
  if (problem.empty()) return problem;
  return "The file " + Shown(path) + " cannot be part of a URL: its name " + problem + ".";
}

std::string RefusedUrlFolderText(std::string_view urlFolder) {
  size_t start = 0;
  while (start < urlFolder.size()) {
    size_t end = urlFolder.find('/', start);
    if (end == std::string_view::npos) end = urlFolder.size();
    const std::string_view name = urlFolder.substr(start, end - start);
    start = end + 1;
    if (name.empty()) continue;
    std::string text = RefusedFolderNameText(name);
    if (!text.empty()) return text;
  }
  return std::string();
}
