#include "platform/ascii.h"

#include <cstring>

std::string AsciiLowerCopy(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

int CompareAsciiFolded(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(AsciiLower(a[i]));
    const auto y = static_cast<unsigned char>(AsciiLower(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

bool LessAsciiFolded(std::string_view a, std::string_view b) {
  const int folded = CompareAsciiFolded(a, b);
  return folded != 0 ? folded < 0 : a < b;
}

std::string AsciiUpperCopy(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiUpper(c);
  return out;
}

bool MatchesAt(std::string_view text, size_t pos, std::string_view needle, bool matchCase) {
  if (pos > text.size() || text.size() - pos < needle.size()) return false;
  const char* p = text.data() + pos;
  if (matchCase) return std::memcmp(p, needle.data(), needle.size()) == 0;
  for (size_t k = 0; k < needle.size(); ++k) {
    if (AsciiLower(p[k]) != AsciiLower(needle[k])) return false;
  }
  return true;
}

size_t FindForward(std::string_view text, std::string_view needle, size_t from, bool matchCase) {
  if (needle.empty() || needle.size() > text.size()) return std::string_view::npos;
  const size_t last = text.size() - needle.size();
  const bool exactFirst = matchCase || !IsAsciiLetter(needle[0]);
  for (size_t p = from; p <= last; ++p) {
    if (exactFirst) {
      const void* hit = std::memchr(text.data() + p, needle[0], last - p + 1);
      if (hit == nullptr) return std::string_view::npos;
      p = static_cast<size_t>(static_cast<const char*>(hit) - text.data());
    }
    if (MatchesAt(text, p, needle, matchCase)) return p;
  }
  return std::string_view::npos;
}
