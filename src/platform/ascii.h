#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Letter case and white space as the C library sees them in the "C" locale,
// whatever the process's locale is: marker searches, extension tests and form
// keywords compare ASCII letters only.

inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
inline char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
inline bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
inline bool IsAsciiSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
// The control characters: below blank, and DEL.
inline bool IsAsciiControl(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u < 0x20 || u == 0x7f;
}

std::string AsciiLowerCopy(std::string_view text);
// Orders two texts byte by byte (as unsigned bytes) with the letters A to Z
// folded to lower case: <0, 0 or >0. The editors sort their lists by it.
int CompareAsciiFolded(std::string_view a, std::string_view b);
// The order of sorted name lists: CompareAsciiFolded, and byte order between
// names that differ only in letter case.
bool LessAsciiFolded(std::string_view a, std::string_view b);
std::string AsciiUpperCopy(std::string_view text);

// True when text holds needle at pos (pos + needle's length inside text);
// without matchCase, letters compare in either case.
bool MatchesAt(std::string_view text, size_t pos, std::string_view needle, bool matchCase);

// The first occurrence of a non-empty needle in text that starts at or after
// from, or npos. Candidates for the first byte are found with memchr whenever
// that byte cannot differ in case.
size_t FindForward(std::string_view text, std::string_view needle, size_t from, bool matchCase);
