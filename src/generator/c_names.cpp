#include "generator/c_names.h"

#include <algorithm>
#include <iterator>

#include "platform/ascii.h"

namespace {

constexpr std::string_view kKeywords[] = {
    // C89
    "auto", "break", "case", "char", "const", "continue", "default", "do", "double", "else", "enum",
    "extern", "float", "for", "goto", "if", "int", "long", "register", "return", "short", "signed",
    "sizeof", "static", "struct", "switch", "typedef", "union", "unsigned", "void", "volatile",
    "while",
    // C99, C11
    "inline", "restrict", "_Bool", "_Complex", "_Imaginary", "_Alignas", "_Alignof", "_Atomic",
    "_Generic", "_Noreturn", "_Static_assert", "_Thread_local",
    // C23
    "alignas", "alignof", "bool", "constexpr", "false", "nullptr", "static_assert", "thread_local",
    "true", "typeof", "typeof_unqual", "_BitInt", "_Decimal32", "_Decimal64", "_Decimal128",
    // GNU C
    "asm", "__asm__"};

constexpr std::string_view kUrlFileNames[] = {
    // The URL file's own types, macros and functions.
    "URLTable", "URLTableEntry", "SendFn", "HSTypeFn", "HSTypeFnHtml", "HSTypeFnBinary",
    "HSTypeHtmlCall", "HSTypeBinaryCall", "Unprotected", "AllRealms", "Realm1", "Realm2", "Realm3",
    "Realm4", "Realm5", "Realm6", "Realm7", "Realm8", "REALM1", "REALM2", "REALM3", "REALM4",
    "REALM5", "REALM6", "REALM7", "REALM8", "AppSearchURL", "AppPreprocessURL", "SearchURL",
    "HSInitSecurityTable", "main",
    // The web server interface.
    "HSSend", "HSSendBinary", "HSPageAuthenticate", "HSSetRealm", "HSGetPostData", "HSGetQuery",
    "HSTypeHtml", "HSTypeText", "HSTypeJpeg", "HSTypeGif", "HSTypeTiff", "HSTypePict", "HSTypePng",
    "HSTypeApplet", "HSTypeAsf", "HSTypeXbm", "HSTypeWav", "HSTypeAu", "HSTypeStaticHtml",
    "HSTypeStaticText", "HSTypeStaticJpeg", "HSTypeStaticGif", "HSTypeStaticTiff",
    "HSTypeStaticPict", "HSTypeStaticPng", "HSTypeStaticApplet", "HSTypeStaticAsf",
    "HSTypeStaticXbm", "HSTypeStaticWav", "HSTypeStaticAu",
    // <string.h>.
    "NULL", "size_t", "memcpy", "memmove", "memcmp", "memchr", "memset", "strcpy", "strncpy",
    "strcat", "strncat", "strcmp", "strncmp", "strcoll", "strxfrm", "strchr", "strrchr", "strcspn",
    "strspn", "strpbrk", "strstr", "strtok", "strerror", "strlen", "memccpy", "strdup", "strndup",
    "memset_explicit"};

template <size_t N>
bool Contains(const std::string_view (&list)[N], std::string_view name) {
  return std::find(std::begin(list), std::end(list), name) != std::end(list);
}

}  // namespace

bool IsCIdentifier(std::string_view name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  return std::all_of(name.begin(), name.end(),
                     [](char c) { return IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '_'; });
}

bool IsCKeyword(std::string_view name) { return Contains(kKeywords, name); }

bool IsUrlFileName(std::string_view name) { return Contains(kUrlFileNames, name); }
