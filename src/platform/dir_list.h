#pragma once

#include <string>
#include <string_view>
#include <vector>

// Directory listing and name patterns for the project window's source browser.

// True when name matches a file-name pattern: "*" any run, "?" one character,
// letters in either case, against the whole name. "*.*" matches every name,
// also one without a dot, as the "all files" filter is meant.
bool MatchesWildcard(std::string_view name, std::string_view pattern);

// One entry of a directory: its name and whether it is a folder (a link to a
// folder counts as one).
struct CDirEntry {
  std::string m_strName;
  bool m_bFolder = false;
};

// Every entry of a directory but "." and "..", in the order the file system
// gives them. False when the directory cannot be read.
bool ListDirectory(const std::string& dir, std::vector<CDirEntry>& entries);

// The file-system roots a drive list offers: "/" here.
std::vector<std::string> FileSystemRoots();
