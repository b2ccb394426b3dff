#include "platform/text_format.h"

std::string CrLfToLf(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

std::string FormatText(std::string_view format, std::initializer_list<std::string_view> args) {
  std::string out;
  size_t total = format.size();
  for (std::string_view a : args) total += a.size();
  out.reserve(total);
  auto next = args.begin();
  size_t pos = 0;
  while (pos < format.size()) {
    size_t at = format.find("%s", pos);
    if (at == std::string_view::npos || next == args.end()) {
      out.append(format.substr(pos));
      break;
    }
    out.append(format.substr(pos, at - pos));
    out.append(*next++);
    pos = at + 2;
  }
  return out;
}
