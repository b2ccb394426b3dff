#include "project/project_verify.h"

#include "platform/file_util.h"

int FileExists(const std::string& path) { return PathExists(path) ? 1 : 0; }

int DirectoryExists(const std::string& path) {
  if (path.empty()) return 0;
  std::string rest = path.substr(0, path.size() - 1);
  if (rest.empty()) rest = path;  // "/" stays the root
  return IsDirectory(rest) ? 1 : 0;
}

void TrimCommonTail(std::string& oldText, std::string& newText) {
  while (!oldText.empty() && !newText.empty() && oldText.back() == newText.back()) {
    oldText.pop_back();
    newText.pop_back();
  }
}
