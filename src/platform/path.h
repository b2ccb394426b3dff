#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The path model: how a path is rooted and where it separates. The rules of
// both systems are pure functions of the text, so the Windows rules (drive
// letters, UNC shares, both separators) are tested on every system; the file
// functions use the native flavour.

enum class PathFlavor {
  kPosix,    // "/" separates; "/" is the one root
  kWindows,  // "\" and "/" separate; roots "C:\", "\\server\share\" and "\"
};

#ifdef _WIN32
inline constexpr PathFlavor kNativePathFlavor = PathFlavor::kWindows;
#else
inline constexpr PathFlavor kNativePathFlavor = PathFlavor::kPosix;
#endif

// The separator a path of the flavour is written with ("\" on Windows).
constexpr char PathSeparatorOf(PathFlavor flavor) {
  return flavor == PathFlavor::kWindows ? '\\' : '/';
}

// The native path separator; used wherever a stored directory must end in a
// separator or a path is joined from folder and name.
inline constexpr char kPathSeparator = PathSeparatorOf(kNativePathFlavor);

// True for a character that separates path components in the flavour.
constexpr bool IsPathSeparator(char c, PathFlavor flavor = kNativePathFlavor) {
  return c == '/' || (flavor == PathFlavor::kWindows && c == '\\');
}

// The length of the root a path starts with, its separator included: "/" (1);
// on Windows also "C:\" or "C:/" (3), "C:" alone (2, relative to that drive's
// working directory), "\\server\share\" (the whole share) and "\" (1, the
// working drive's root). 0 for a relative path.
size_t PathRootLength(std::string_view path, PathFlavor flavor = kNativePathFlavor);

// True when path names the same file whatever the working directory is: "/..."
// on POSIX; "C:\...", "C:/..." or "\\server\share..." on Windows.
bool IsAbsolutePath(std::string_view path, PathFlavor flavor = kNativePathFlavor);

// The flavour a stored absolute path was made in: Windows for a drive letter
// or a UNC share, POSIX otherwise. A project file made on one system names its
// files in that system's form.
PathFlavor FlavorOfPath(std::string_view path);

// The position of the last separator in path, or npos.
size_t FindLastSeparator(std::string_view path, PathFlavor flavor = kNativePathFlavor);

// Splits a path at its last separator: folder (without the separator) and name.
void SplitPath(const std::string& path, std::string& folder, std::string& name,
               PathFlavor flavor = kNativePathFlavor);

// The folder a file lies in: the root for a file right below it ("/", "C:\"),
// "." for a bare name.
std::string FolderOf(const std::string& path, PathFlavor flavor = kNativePathFlavor);

// path made absolute against the working directory cwd (an absolute path of
// the flavour), with "." and ".." removed lexically and the flavour's own
// separator between components; symbolic links are not resolved.
std::string AbsolutePathIn(const std::string& path, const std::string& cwd,
                           PathFlavor flavor = kNativePathFlavor);

// The part of a path below a folder with every separator of the from flavour
// written as the to flavour writes it, so that a path moved from a project made
// on one system to another names the same file there.
std::string ConvertSeparators(std::string_view tail, PathFlavor from, PathFlavor to);
