#pragma once

#include <string>
#include <vector>

#include "platform/prompter.h"

// The source browser of the project window in plain C++: the folder it shows,
// the file-name filter, and the three lists (folders, files, drives). It never
// changes the process's working directory; every folder name is resolved
// against the folder it shows.
class CSourceBrowser {
 public:
  static constexpr const char* kCannotChangeDriveText = "Can't change drive !";
  static constexpr const char* kCannotChangeDirText = "Can't change directory !";
  static constexpr const char* kAllFiles = "*.*";
  // The filter list's entries in their order.
  static const std::vector<std::string>& Filters();

  // Lists folder (absolute). False (lists unchanged) when it cannot be read.
  bool Fill(const std::string& folder);
  // The filter list's choice: lists the same folder again with the pattern.
  bool SetFilter(const std::string& filter);
  // A drive list entry ("[-/-]"): shows that file-system root, or says
  // kCannotChangeDriveText and keeps the lists.
  bool ChangeDrive(const std::string& driveEntry, Prompter& prompter);
  // A folder list entry ("[name]", "[..]" for the parent): enters it, or says
  // kCannotChangeDirText and keeps the lists.
  bool EnterFolder(const std::string& folderEntry, Prompter& prompter);

  // The full path of a file of the shown folder: the folder, one separator,
  // the name.
  std::string FullPath(const std::string& fileName) const;

  // The shown folder without a trailing separator ("/" for the root).
  std::string m_strSourceDir;
  std::string m_strFilter = kAllFiles;
  // Subfolders in brackets, "[..]" first unless the folder is a root, the
  // others in name order.
  std::vector<std::string> m_folders;
  // The names of the files matching the filter, sorted with letter case
  // folded (byte order between names that differ only in case).
  std::vector<std::string> m_files;
  // One entry per file-system root: "[-/-]".
  std::vector<std::string> m_drives;
};
