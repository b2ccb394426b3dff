#include "generator/field_text.h"

#include <cstring>
#include <limits>

#include "document/srv_doc.h"
#include "generator/code_generator.h"

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view SkipLeadingBlanks(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  return text.substr(i);
}

std::string_view TrimBlanks(std::string_view text) {
  text = SkipLeadingBlanks(text);
  size_t end = text.size();
  while (end > 0 && IsBlank(text[end - 1])) --end;
  return text.substr(0, end);
}

bool IsCommentStart(std::string_view text) {
  return text.starts_with("//") || text.starts_with("/*");
}

std::string_view NthToken(std::string_view text, std::string_view separators, int index) {
  size_t pos = 0;
  for (int i = 0;; ++i) {
    pos = text.find_first_not_of(separators, pos);
    if (pos == std::string_view::npos) return {};
    size_t end = text.find_first_of(separators, pos);
    if (end == std::string_view::npos) end = text.size();
    if (i == index) return text.substr(pos, end - pos);
    pos = end;
  }
}

std::string FieldValue(std::string_view token) {
  token = TrimBlanks(token);
  if (token.starts_with('"')) token.remove_prefix(1);
  if (token.ends_with('"')) token.remove_suffix(1);
  return std::string(token);
}

std::string CStringText(std::string_view text) {
  std::string escaped(text);
  CCodeGenerator::EscapeLine(escaped);
  return escaped;
}

std::string CStringValue(std::string_view literal) {
  std::string value;
  value.reserve(literal.size());
  for (size_t i = 0; i < literal.size(); ++i) {
    const char c = literal[i];
    if (c == '\\' && i + 1 < literal.size()) {
      const char next = literal[++i];
      switch (next) {
        case 'n':
          value += '\n';
          break;
        case 'r':
          value += '\r';
          break;
        case 't':
          value += '\t';
          break;
        case '\\':
        case '"':
        case '\'':
        case '?':
          value += next;
          break;
        default:
          value += c;
          value += next;
          break;
      }
      continue;
    }
    if (c == '"') {
      // "a" "b" is "ab": skip to the opening quote of the next literal.
      size_t next = i + 1;
      while (next < literal.size() && IsBlank(literal[next])) ++next;
      if (next < literal.size() && literal[next] == '"') {
        i = next;
        continue;
      }
    }
    value += c;
  }
  return value;
}

std::int64_t LeadingNumber(std::string_view text) {
  text = SkipLeadingBlanks(text);
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    const int digit = c - '0';
    value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
  }
  return negative ? -value : value;
}

bool FindMarkerPos(CCSrvDoc& doc, const char* marker, TextPos& found, int startLine) {
  SearchSpec spec;
  spec.text = marker;
  spec.length = static_cast<int>(std::strlen(marker));
  spec.line = startLine;
  return doc.FindText(spec, found) != 0;
}
