#pragma once

#include <string>
#include <string_view>

// A scratch folder under the system's temporary directory, removed with all it
// holds when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder's absolute path, without a trailing separator.
  const std::string& path() const { return m_path; }
  // path() + the native separator + name, whose "/" become native separators.
  std::string File(std::string_view name) const;
  // Writes data to the named file (a name inside the folder, or an absolute
  // path), creating folders on the way, and returns its path.
  std::string Write(std::string_view name, std::string_view data) const;
  // The bytes of the named file, or "<missing>" when it cannot be read.
  std::string Read(std::string_view name) const;

 private:
  std::string m_path;
};
