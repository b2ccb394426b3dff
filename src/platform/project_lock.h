#pragma once

#include <string>

// An exclusive advisory lock on a file, held until the object goes away or the
// process ends: the kernel releases it when its holder dies, so a crashed
// process never locks anybody out. Projects and the desktop program's single
// instance are guarded with it.
class CFileLock {
 public:
  enum Result { kTaken, kBusy, kCannotOpen };
  CFileLock() = default;
  ~CFileLock() { Unlock(); }
  CFileLock(const CFileLock&) = delete;
  CFileLock& operator=(const CFileLock&) = delete;

  // Takes the lock on path (the file is created if missing) without waiting.
  Result TryLock(const std::string& path);
  void Unlock();
  bool IsLocked() const { return m_nFd >= 0; }

 private:
  int m_nFd = -1;
};

// Where the desktop program's instance lock lives: $XDG_RUNTIME_DIR, else the
// temporary directory, with the user's id in the name.
std::string InstanceLockPath();

// One writer per project: a process that changes a project (a build, a tree
// edit saved, a new project) holds this lock for the time it works. It is an
// advisory lock on a hidden lock file beside the project file
// (".NAME.lock"); the kernel releases it when the process ends, however it
// ends, so a crashed process never locks anyone out. The project file itself
// cannot carry the lock: every save replaces it with a new file.
class CProjectLock {
 public:
  explicit CProjectLock(std::string projectPath);
  ~CProjectLock();
  CProjectLock(const CProjectLock&) = delete;
  CProjectLock& operator=(const CProjectLock&) = delete;

  // Takes the lock without waiting. False when another process (or another
  // CProjectLock of this one) holds it. Where no lock file can be made (a
  // read-only or missing folder) nobody can save the project either, so the
  // lock then counts as taken.
  bool TryLock();
  // Waits up to timeoutMs milliseconds for the lock.
  bool Lock(int timeoutMs);
  void Unlock();
  bool IsHeld() const { return m_bHeld; }

  // The message for a project that another process holds.
  std::string BusyMessage() const;
  static std::string LockFilePath(const std::string& projectPath);

 private:
  std::string m_strProjectPath;
  CFileLock m_lock;
  bool m_bHeld = false;
};
