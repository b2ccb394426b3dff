#include "platform/path.h"

#include <vector>

namespace {

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool HasDrive(std::string_view path) {
  return path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':';
}

// "\\server\share" with at least a server and a share name.
size_t UncRootLength(std::string_view path) {
  constexpr PathFlavor kWin = PathFlavor::kWindows;
  if (path.size() < 3 || !IsPathSeparator(path[0], kWin) || !IsPathSeparator(path[1], kWin) ||
      IsPathSeparator(path[2], kWin)) {
    return 0;
  }
  size_t at = 2;
  for (int part = 0; part < 2; ++part) {
    const size_t start = at;
    while (at < path.size() && !IsPathSeparator(path[at], kWin)) ++at;
    if (at == start) return 0;
    if (part == 0) {
      if (at == path.size()) return 0;  // a server without a share
      ++at;
    }
  }
  return at < path.size() ? at + 1 : at;
}

}  // namespace

size_t PathRootLength(std::string_view path, PathFlavor flavor) {
  if (flavor == PathFlavor::kPosix) return !path.empty() && path[0] == '/' ? 1 : 0;
  if (HasDrive(path)) return path.size() > 2 && IsPathSeparator(path[2], flavor) ? 3 : 2;
  if (const size_t unc = UncRootLength(path)) return unc;
  return !path.empty() && IsPathSeparator(path[0], flavor) ? 1 : 0;
}

bool IsAbsolutePath(std::string_view path, PathFlavor flavor) {
  if (flavor == PathFlavor::kPosix) return PathRootLength(path, flavor) == 1;
  return (HasDrive(path) && PathRootLength(path, flavor) == 3) || UncRootLength(path) > 0;
}

PathFlavor FlavorOfPath(std::string_view path) {
  return HasDrive(path) || UncRootLength(path) > 0 ? PathFlavor::kWindows : PathFlavor::kPosix;
}

size_t FindLastSeparator(std::string_view path, PathFlavor flavor) {
  return flavor == PathFlavor::kWindows ? path.find_last_of("\\/") : path.rfind('/');
}

void SplitPath(const std::string& path, std::string& folder, std::string& name, PathFlavor flavor) {
  const size_t pos = FindLastSeparator(path, flavor);
  if (pos == std::string::npos) {
    folder.clear();
    name = path;
  } else {
    folder = path.substr(0, pos);
    name = path.substr(pos + 1);
  }
}

std::string FolderOf(const std::string& path, PathFlavor flavor) {
  std::string folder, name;
  SplitPath(path, folder, name, flavor);
  const size_t root = PathRootLength(path, flavor);
  // "C:\x" splits into "C:" and "x": the folder is the drive's root.
  if (root > 0 && folder.size() < root) return path.substr(0, root);
  if (!folder.empty()) return folder;
  return root > 0 ? path.substr(0, root) : std::string(".");
}

std::string AbsolutePathIn(const std::string& path, const std::string& cwd, PathFlavor flavor) {
  const char separator = PathSeparatorOf(flavor);
  std::string full;
  if (IsAbsolutePath(path, flavor)) {
    full = path;
  } else if (flavor == PathFlavor::kWindows && HasDrive(path)) {
    // "C:name": relative to the working directory when that is on drive C,
    // else to the drive's root.
    const bool sameDrive = HasDrive(cwd) && (cwd[0] | 0x20) == (path[0] | 0x20);
    full = (sameDrive ? cwd : path.substr(0, 2)) + separator + path.substr(2);
  } else if (PathRootLength(path, flavor) == 1) {
    // "\name" on Windows: the root of the working directory's drive or share.
    full = cwd.substr(0, PathRootLength(cwd, flavor)) + path;
  } else {
    full = cwd + separator + path;
  }
  size_t rootLength = PathRootLength(full, flavor);
  std::string root = full.substr(0, rootLength);
  if (flavor == PathFlavor::kWindows) {
    for (char& c : root) {
      if (IsPathSeparator(c, flavor)) c = separator;
    }
    if (!root.empty() && root.back() != separator) root += separator;
  }
  std::vector<std::string> parts;
  size_t start = rootLength;
  while (start <= full.size()) {
    size_t end = start;
    while (end < full.size() && !IsPathSeparator(full[end], flavor)) ++end;
    std::string part = full.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string result = root;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) result += separator;
    result += parts[i];
  }
  return result;
}

std::string ConvertSeparators(std::string_view tail, PathFlavor from, PathFlavor to) {
  std::string converted(tail);
  if (from == to) return converted;
  for (char& c : converted) {
    if (IsPathSeparator(c, from)) c = PathSeparatorOf(to);
  }
  return converted;
}
