// Directory listing on POSIX systems.
#include <dirent.h>
#include <sys/stat.h>

#include "platform/dir_list.h"

bool ListDirectory(const std::string& dir, std::vector<CDirEntry>& entries) {
  entries.clear();
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return false;
  const int dirFd = ::dirfd(d);
  while (const dirent* e = ::readdir(d)) {
    const std::string_view name = e->d_name;
    if (name == "." || name == "..") continue;
    bool folder = e->d_type == DT_DIR;
    if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
      struct stat st;
      folder = ::fstatat(dirFd, e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
    }
    entries.push_back({std::string(name), folder});
  }
  ::closedir(d);
  return true;
}

std::vector<std::string> FileSystemRoots() { return {"/"}; }
