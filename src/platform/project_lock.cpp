#include "platform/project_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <utility>

#include "platform/file_util.h"

CProjectLock::CProjectLock(std::string projectPath) : m_strProjectPath(std::move(projectPath)) {}

CProjectLock::~CProjectLock() { Unlock(); }

std::string CProjectLock::LockFilePath(const std::string& projectPath) {
  std::string folder, name;
  SplitPath(projectPath, folder, name);
  const std::string lockName = "." + name + ".lock";
  if (folder.empty() && projectPath.find(kPathSeparator) == std::string::npos) return lockName;
  return folder + kPathSeparator + lockName;
}

bool CProjectLock::TryLock() {
  if (m_bHeld) return true;
  // Without a lock file (a read-only or missing folder) nobody can save the
  // project there either, and the save reports that itself.
  m_bHeld = m_lock.TryLock(LockFilePath(m_strProjectPath)) != CFileLock::kBusy;
  return m_bHeld;
}

bool CProjectLock::Lock(int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!TryLock()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

void CProjectLock::Unlock() {
  // The lock file stays for the next one.
  m_lock.Unlock();
  m_bHeld = false;
}

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

std::string InstanceLockPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string dir = runtime && *runtime ? runtime : "";
  if (dir.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    dir = tmp && *tmp ? tmp : "/tmp";
  }
  return dir + "/pagoric-gui-" + std::to_string(::getuid()) + ".lock";
}

std::string CProjectLock::BusyMessage() const {
  return m_strProjectPath +
         " is being changed by another process (a build or an edit of its tree); try again when "
         "it has finished.";
}
