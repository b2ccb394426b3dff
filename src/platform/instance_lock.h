#pragma once

#include <string>

// An exclusive advisory lock on a file, held until the object goes away or the
// process ends: the kernel releases it when its holder dies, so a crashed
// process never locks anybody out. The desktop program admits one running
// instance with it.
class CFileLock {
 public:
  CFileLock() = default;
  ~CFileLock() { Unlock(); }
  CFileLock(const CFileLock&) = delete;
  CFileLock& operator=(const CFileLock&) = delete;

  // Takes the lock on path (created if missing) without waiting. False when
  // another process holds it or the file cannot be opened.
  bool TryLock(const std::string& path);
  void Unlock();
  bool IsLocked() const { return m_nFd >= 0; }

 private:
  int m_nFd = -1;
};

// Where the desktop program's instance lock lives: $XDG_RUNTIME_DIR, else the
// temporary directory, with the user's id in the name.
std::string InstanceLockPath();
