#include "platform/project_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
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
  if (m_fd < 0) {
    m_fd = ::open(LockFilePath(m_strProjectPath).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (m_fd < 0) {
      // No lock file to be had (a read-only or missing folder): nobody can
      // save the project there either, and the save reports that itself.
      m_bHeld = true;
      return true;
    }
  }
  int result;
  do {
    result = ::flock(m_fd, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  m_bHeld = result == 0;
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
  // Closing the file drops the lock; the lock file stays for the next one.
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
  m_bHeld = false;
}

std::string CProjectLock::BusyMessage() const {
  return m_strProjectPath +
         " is being changed by another process (a build or an edit of its tree); try again when "
         "it has finished.";
}
