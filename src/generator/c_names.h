#pragma once

#include <string>
#include <string_view>

// The names the generated C gives to functions the user chooses or the pages
// name: send functions typed into the URL entry form, form handlers
// ("Post_" + ACTION) and dynamic functions ("na_" + the name after a dynamic
// marker). A name that is not a C identifier, or that C or the URL file
// already gives a meaning, would make C that does not compile.

// True for a C identifier: ASCII letters, digits and underscores, not
// starting with a digit, not empty.
bool IsCIdentifier(std::string_view name);

// True for a keyword of any C standard from C89 to C23 (and GNU C's "asm"),
// in the letter case C spells it.
bool IsCKeyword(std::string_view name);

// True for a name that the URL file declares, defines or uses besides the
// send functions of its table: its own types, macros and functions, the web
// server interface (hservapi.h) it includes, <string.h>, and main.
bool IsUrlFileName(std::string_view name);
