#include "build/source_browser.h"

#include <algorithm>

#include "platform/ascii.h"
#include "platform/dir_list.h"
#include "platform/file_util.h"

const std::vector<std::string>& CSourceBrowser::Filters() {
  static const std::vector<std::string> filters = {"*.*",     "*.htm*", "*.jpg", "*.gif",
                                                   "*.class", "*.wav",  "*.au",  "*.txt"};
  return filters;
}

bool CSourceBrowser::Fill(const std::string& folder) {
  std::string dir = AbsolutePath(folder);
  if (dir.size() > PathRootLength(dir) && IsPathSeparator(dir.back())) dir.pop_back();
  std::vector<CDirEntry> entries;
  if (!IsDirectory(dir) || !ListDirectory(dir, entries)) return false;
  if (m_strFilter.empty()) m_strFilter = kAllFiles;
  m_strSourceDir = dir;
  m_folders.clear();
  m_files.clear();
  for (const CDirEntry& entry : entries) {
    if (entry.m_bFolder) {
      m_folders.push_back("[" + entry.m_strName + "]");
    } else if (MatchesWildcard(entry.m_strName, m_strFilter)) {
      m_files.push_back(entry.m_strName);
    }
  }
  std::sort(m_folders.begin(), m_folders.end());
  std::sort(m_files.begin(), m_files.end(), LessAsciiFolded);
  const std::vector<std::string> roots = FileSystemRoots();
  if (std::find(roots.begin(), roots.end(), m_strSourceDir) == roots.end()) {
    m_folders.insert(m_folders.begin(), "[..]");
  }
  m_drives.clear();
  for (const std::string& root : roots) m_drives.push_back("[-" + root + "-]");
  std::sort(m_drives.begin(), m_drives.end());
  return true;
}

bool CSourceBrowser::SetFilter(const std::string& filter) {
  const std::string previous = m_strFilter;
  m_strFilter = filter;
  if (Fill(m_strSourceDir)) return true;
  m_strFilter = previous;  // the lists still show what the old filter let through
  return false;
}

bool CSourceBrowser::ChangeDrive(const std::string& driveEntry, Prompter& prompter) {
  const bool bracketed =
      driveEntry.size() > 4 && driveEntry.rfind("[-", 0) == 0 && driveEntry.ends_with("-]");
  if (!bracketed || !Fill(driveEntry.substr(2, driveEntry.size() - 4))) {
    prompter.ShowOk(kCannotChangeDriveText);
    return false;
  }
  return true;
}

bool CSourceBrowser::EnterFolder(const std::string& folderEntry, Prompter& prompter) {
  const bool bracketed =
      folderEntry.size() > 2 && folderEntry.front() == '[' && folderEntry.back() == ']';
  if (!bracketed ||
      !Fill(m_strSourceDir + kPathSeparator + folderEntry.substr(1, folderEntry.size() - 2))) {
    prompter.ShowOk(kCannotChangeDirText);
    return false;
  }
  return true;
}

std::string CSourceBrowser::FullPath(const std::string& fileName) const {
  if (!m_strSourceDir.empty() && IsPathSeparator(m_strSourceDir.back())) {
    return m_strSourceDir + fileName;
  }
  return m_strSourceDir + kPathSeparator + fileName;
}
