#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "document/source_text.h"

// Small text helpers shared by the readers of the URL table, the realm calls and
// the binary sections. They work on bytes in the "C" locale, whatever the
// process locale is, so a generated file reads the same everywhere.

// True for the C locale's white space: blank, tab, LF, VT, FF and CR.
bool IsBlank(char c);
// The text without its leading white space.
std::string_view SkipLeadingBlanks(std::string_view text);
// The text without white space at either end.
std::string_view TrimBlanks(std::string_view text);
// True when the text starts with "//" or "/*": the readers skip such lines as
// comments (marker lines and commented-out code included).
bool IsCommentStart(std::string_view text);
// Token number index of text split at any of the separator bytes, a run of
// separators counting as one and leading separators ignored (the C library's
// strtok); empty when there are fewer tokens.
std::string_view NthToken(std::string_view text, std::string_view separators, int index);
// A field value as the readers return it: white space removed at both ends,
// then one double quote removed at the start and one at the end.
std::string FieldValue(std::string_view token);
// The contents of a C string literal for text, so that the C string means
// exactly text: escaped as page text is (CCodeGenerator::EscapeLine: a "?"
// after a "?" becomes "\?", so that no trigraph forms, "@!" becomes "@" "!",
// quotes and backslashes are escaped). Every URL, realm name, user name and
// password goes into the URL file this way.
std::string CStringText(std::string_view text);
// What the contents of a C string literal mean, as far as the generated
// files write them: the escapes \\ \" \' \? \n \r \t are undone, and a
// literal closed and opened again (with only blanks between) is joined; any
// other text stays as it is. CStringValue(CStringText(t)) == t for a text
// without NUL bytes and without a CR at its start.
std::string CStringValue(std::string_view literal);

// The leading decimal number of a text as the C library's atoi reads it
// (white space, optional sign, digits); 0 when there is none.
std::int64_t LeadingNumber(std::string_view text);

class CCSrvDoc;
// Finds a marker like FindMarker (forward, case-insensitive, anywhere in a
// line) from column 0 of startLine, giving its column as well as its line,
// for the edits that insert text right at a marker.
bool FindMarkerPos(CCSrvDoc& doc, const char* marker, TextPos& found, int startLine = 0);
