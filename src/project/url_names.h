#pragma once

#include <string>
#include <string_view>

// A URL of the project is "/" + the names of its folder items + the file name
// of its source, joined by "/". Some names make a URL that the web server can
// never be asked for, or that the URL table cannot hold: those are refused
// when they enter the tree (mkdir, add, import and the window's tree edits),
// not later by the build.

// How the messages name a character: "a double quote (\")", "a backslash (\)",
// "a comma (,)", "a question mark (?)", "a slash (/)", or "the control
// character 0x09".
std::string CharacterText(char c);

// Why name cannot be part of a served URL, as the end of a sentence ("holds a
// comma (,)", "is \"..\""); empty when it can. No name may hold a double
// quote, a backslash, a comma, a question mark or a control character; a
// folder's name may moreover not be empty, "." or "..", nor hold a slash.
std::string UrlNameProblem(std::string_view name, bool folder);

// The message for a folder name or a source file whose name is refused
// (empty when it is not): "The folder name \"a?b\" cannot be part of a URL:
// it holds a question mark (?)." / "The file /x/a,b.gif cannot be part of a
// URL: its name holds a comma (,)."
std::string RefusedFolderNameText(std::string_view name);
std::string RefusedFileText(const std::string& path);

// The message of the first refused folder name of a URL folder such as
// "/docs/img" (empty names between slashes are skipped, as the tree's
// folder lookup skips them); empty when every name is accepted.
std::string RefusedUrlFolderText(std::string_view urlFolder);
