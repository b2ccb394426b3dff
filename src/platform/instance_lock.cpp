#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

bool CFileLock::TryLock(const std::string& path) {
  Unlock();
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  int rc;
  do rc = ::flock(fd, LOCK_EX | LOCK_NB);
  while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    ::close(fd);
    return false;
  }
  m_nFd = fd;
  return true;
}

void CFileLock::Unlock() {
  if (m_nFd < 0) return;
  ::close(m_nFd);  // closing the last descriptor releases the lock
  m_nFd = -1;
}

std::string InstanceLockPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string dir = runtime && *runtime ? runtime : "";
  if (dir.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    dir = tmp && *tmp ? tmp : "/tmp";
  }
  return dir + "/pagoric-gui-" + std::to_string(::getuid()) + ".lock";
}
