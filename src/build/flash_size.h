#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "project/project_file.h"

// What each URL of a built project costs in the firmware's flash, read from the
// generated files: a page its send function's string literals (their bytes and
// each literal's terminating zero), a binary file its byte array.
struct CFlashEntry {
  std::string url;
  std::string kind;  // the content type suffix: "Html", "Gif", ...
  std::int64_t bytes = 0;
  bool found = false;  // false when the generated code of the URL is missing
};

// One entry per page and binary node, largest first (then by URL).
std::vector<CFlashEntry> MeasureFlash(const CPageNodeList& nodes, const std::string& binFile);

// The bytes the string literals in C text occupy: the characters as the
// compiler stores them (escapes decoded) plus one terminating zero per string,
// adjacent literals making one string. Comments and character constants are
// skipped.
std::int64_t StringLiteralBytes(const std::string& code);
// The size of every buffer: the elements of the initializer list of every
// "const char buffer_N [] =", or the SIZE of every "const char buffer_N [SIZE] =", in
// the text of a binary data file, by N, read in one pass over the text.
std::unordered_map<int, std::int64_t> ByteArraySizes(const std::string& code);
// The same for one array; -1 when there is no such array.
std::int64_t ByteArraySize(const std::string& code, int function);
// The text between "/* @! Begin HTML page */" and "/* @! End HTML page   */"
// of a page file (marker letter case ignored); empty without them.
std::string HtmlPageSection(const std::string& code);
