#pragma once

#include <functional>
#include <string>
#include <vector>

#include "document/generated_files.h"
#include "platform/prompter.h"

// What a press of "&Remove" did.
enum class BinaryRemoval {
  kNothingSelected,  // "No files selected"; the form stays open
  kDone,             // "Done."
  kFailed,           // the file could not be read or written (shown); unchanged
};

// The rules of the remove binary data dialog: the source files whose data the
// binary data file holds, and the removal of the data of some of them. The
// URL table is not touched (kNoteText tells the user).
class CBinaryDataRemover {
 public:
  // Reads the names (a missing "/* @! Begin Binary */" is reported with
  // "Can't find %s in %s" and leaves the list empty).
  CBinaryDataRemover(Prompter& prompter, std::string binFilePath);

  // Each name once, sorted byte by byte with the letters A to Z folded to
  // lower case.
  const std::vector<std::string>& Names() const { return m_names; }
  const std::string& Path() const { return m_strPath; }

  // Removes the data of every name, in the order given, with one load and one
  // save of the file. progress hears each name when it is done: its place
  // and the name (the dialog advances its bar and shows kRemovingText +
  // name). Shows "No files selected" without names and "Done." at the end.
  BinaryRemoval Remove(const std::vector<std::string>& names,
                       const std::function<void(int index, const std::string& name)>& progress);

  static constexpr const char* kTitle = "Remove Binary Data";
  static constexpr const char* kNoteText =
      "Remove does not delete the entries for the removed data in the URL Table. You have to do "
      "it using the \"Edit URL file button\" in the previous dialog.";
  static constexpr const char* kFileLabel = "Data included in :";
  static constexpr const char* kProgressTitle = " Progress ";
  static constexpr const char* kRemovingText = "Removing data: ";
  static constexpr const char* kNoFilesText = "No files selected";
  static constexpr const char* kDoneText = "Done.";

 private:
  Prompter& m_prompter;
  // An editor's change is written at once; reading a file changes nothing.
  mutable CDirectFiles m_files;
  std::string m_strPath;
  std::vector<std::string> m_names;
};
