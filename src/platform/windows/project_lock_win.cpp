// The file lock on Windows: LockFileEx on the lock file's handle, which the
// system drops when the handle closes or its process ends.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "platform/project_lock.h"
#include "platform/windows/wide_path.h"

CFileLock::Result CFileLock::TryLock(const std::string& path) {
  Unlock();
  const HANDLE file =
      ::CreateFileW(platform_detail::Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return kCannotOpen;
  OVERLAPPED at{};
  if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    ::CloseHandle(file);
    return kBusy;
  }
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_NOINHERIT);
  if (fd < 0) {
    ::CloseHandle(file);
    return kCannotOpen;
  }
  m_nFd = fd;
  return kTaken;
}

void CFileLock::Unlock() {
  if (m_nFd < 0) return;
  ::_close(m_nFd);  // closing the handle drops the lock
  m_nFd = -1;
}
