#pragma once

#include <string>

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
  int m_fd = -1;
  bool m_bHeld = false;
};
