#pragma once

#include <string>

// 1 if a file search for the path finds anything (a file or a directory).
int FileExists(const std::string& path);
// Removes the last character of the path (its trailing separator) and returns 1
// if the rest names an existing directory. The file-system root "/" counts.
int DirectoryExists(const std::string& path);
// Cuts both strings at the end while their last characters are equal (exact
// comparison), so only the differing beginnings remain: /web/site/img and
// /work/site/img leave /web and /work.
void TrimCommonTail(std::string& oldText, std::string& newText);
