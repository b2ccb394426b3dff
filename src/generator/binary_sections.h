#pragma once

#include <string>
#include <vector>

#include "platform/prompter.h"

// The files that have code in a binary data file, for the dialog that removes
// binary data. Each converted file leaves two sections there, its byte array and
// its send function, each fenced by the lines "/* @! Begin File: " name " */" and
// "/* @! End File: " name " */". The list is read from the send functions (the
// region after the last "/* @! Begin Binary */"), so each file is listed once.
class CBinarySectionList {
 public:
  // Reads the section names of the binary data file at path. A missing
  // "/* @! Begin Binary */" is reported with "Can't find %s in %s" and leaves
  // the list empty. May raise CSrcFileException when the file cannot be read.
  CBinarySectionList(Prompter& prompter, std::string path);

  int GetSectionCount() const { return static_cast<int>(m_names.size()); }
  // The name of section index in file order (empty when there is none).
  std::string GetSectionName(int index) const;

  // Removes both sections of name from the binary data file at path, marker
  // lines included, saving after each. 0 = both begin lines were found (a
  // section without its end line stays in place); 1 = a begin line was
  // missing, and when the first was, nothing changed. Names are matched
  // ignoring letter case. May raise CSrcFileException.
  int RemoveBinarySection(const std::string& path, const std::string& name);

 private:
  Prompter& m_prompter;
  std::string m_strPath;
  std::vector<std::string> m_names;  // distinct, case-sensitive, in file order
};
