#include "platform/project_lock.h"

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
  if (FindLastSeparator(projectPath) == std::string::npos) return lockName;
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

std::string InstanceLockPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string dir = runtime && *runtime ? runtime : TempDirectory();
  return dir + kPathSeparator + "pagoric-gui-" + CurrentUserId() + ".lock";
}

std::string CProjectLock::BusyMessage() const {
  return m_strProjectPath +
         " is being changed by another process (a build or an edit of its tree); try again when "
         "it has finished.";
}
