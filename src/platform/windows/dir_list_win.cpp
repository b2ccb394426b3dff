// Directory listing and drives on Windows.
#include <windows.h>

#include "platform/dir_list.h"
#include "platform/path.h"
#include "platform/windows/wide_path.h"

using platform_detail::Narrow;
using platform_detail::Widen;

bool ListDirectory(const std::string& dir, std::vector<CDirEntry>& entries) {
  entries.clear();
  std::string pattern = dir.empty() ? std::string(".") : dir;
  if (!IsPathSeparator(pattern.back())) pattern += kPathSeparator;
  pattern += '*';
  WIN32_FIND_DATAW entry;
  const HANDLE find = ::FindFirstFileW(Widen(pattern).c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    const std::string name = Narrow(entry.cFileName);
    if (name == "." || name == "..") continue;
    bool folder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      // A link to a folder counts as one when its target is one.
      const DWORD target =
          ::GetFileAttributesW(Widen(pattern.substr(0, pattern.size() - 1) + name).c_str());
      folder = target != INVALID_FILE_ATTRIBUTES && (target & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
    entries.push_back({name, folder});
  } while (::FindNextFileW(find, &entry));
  ::FindClose(find);
  return true;
}

std::vector<std::string> FileSystemRoots() {
  std::vector<std::string> roots;
  wchar_t buffer[512];
  const DWORD length = ::GetLogicalDriveStringsW(511, buffer);
  if (length == 0 || length > 511) return {"C:\\"};
  for (const wchar_t* drive = buffer; *drive != L'\0'; drive += wcslen(drive) + 1) {
    roots.push_back(Narrow(drive));
  }
  return roots;
}
