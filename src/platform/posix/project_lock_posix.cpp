// The advisory file lock on POSIX systems: flock, which the kernel drops
// with the last descriptor of the open file.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/project_lock.h"

CFileLock::Result CFileLock::TryLock(const std::string& path) {
  Unlock();
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return kCannotOpen;
  int rc;
  do {
    rc = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    ::close(fd);
    return kBusy;
  }
  m_nFd = fd;
  return kTaken;
}

void CFileLock::Unlock() {
  if (m_nFd < 0) return;
  ::close(m_nFd);  // closing the descriptor drops the lock
  m_nFd = -1;
}
