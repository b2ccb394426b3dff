#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/prompter.h"

class CGeneratedFiles;

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
  CBinarySectionList(Prompter& prompter, CGeneratedFiles& files, std::string path);

  int GetSectionCount() const { return static_cast<int>(m_names.size()); }
  // The name of section index in file order (empty when there is none).
  std::string GetSectionName(int index) const;

  // Removes every section of name from the binary data file at path (its
  // byte array and its send function, and a stale send function left by an
  // earlier conversion), marker lines included, with one load and one save.
  // 0 = at least two sections were found (one without its end line stays in
  // place); 1 = fewer, and with none nothing changed. Names are matched
  // ignoring letter case. May raise CSrcFileException.
  int RemoveBinarySection(const std::string& path, const std::string& name);

 private:
  // Reads the names from the file on disk, streamed; false (nothing read)
  // when the file must be read as a document.
  bool ReadFromFile();

  Prompter& m_prompter;
  CGeneratedFiles& m_files;
  std::string m_strPath;
  std::vector<std::string> m_names;  // distinct, case-sensitive, in file order
};

// Called after each name of a batched removal: its place in the list, the name,
// and what RemoveBinarySection would have returned for it (0 or 1).
using BinaryRemovalProgress = std::function<void(int index, const std::string& name, int result)>;

// Removes the sections of every name, in order, from the binary data file at
// path with one load and one save of the file: the bytes written are those that
// RemoveBinarySection called name by name would leave. progress (may be empty)
// hears each name as soon as it is handled. 1 = written, or nothing to change;
// 0 = the file cannot be written (shown as "File %s cannot be written.", the
// file unchanged) or its markers are damaged (shown, see CFileStructure). May raise
// CSrcFileException when the file cannot be read.
int RemoveBinarySections(Prompter& prompter, const std::string& path,
                         const std::vector<std::string>& names,
                         const BinaryRemovalProgress& progress);
