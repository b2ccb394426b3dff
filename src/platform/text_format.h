#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// Fills the "%s" places of one of our message or template texts, in order, with
// args (printf's "%s" without its buffer limits). A "%s" without an argument is
// left as it is; other '%' sequences are copied unchanged.
std::string FormatText(std::string_view format, std::initializer_list<std::string_view> args);

// The text with every CR LF read as LF, as a text-mode read gives it (a lone
// CR stays).
std::string CrLfToLf(std::string_view text);
