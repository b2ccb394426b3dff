#pragma once

#include <cstdint>
#include <exception>
#include <string>

// The file error that abandons a refresh of the node list: a source file could
// not be opened. It carries the errno of the failing call and the path, and its
// Message() is the text shown in the stop box ("%1 was not found." for a missing
// file).
class CFileError : public std::exception {
 public:
  CFileError(int cause, std::string path)
      : m_nCause(cause), m_strPath(std::move(path)), m_strWhat(Message()) {}

  int Cause() const { return m_nCause; }
  const std::string& Path() const { return m_strPath; }
  std::string Message() const;
  const char* what() const noexcept override { return m_strWhat.c_str(); }

 private:
  int m_nCause;
  std::string m_strPath;
  std::string m_strWhat;
};

// The cause of a source that is no regular file (a directory, a FIFO, a
// device): nothing to read from it.
inline constexpr int kNotRegularFileCause = -1;

// Opens a source file for reading without waiting (a FIFO must not block a
// refresh) and returns its size; throws the file error when it cannot be
// opened or is no regular file.
std::uint64_t CheckSourceFile(const std::string& path);

// The platform's file error text for an errno value and a path, in the wording
// users know from the desktop program ("%1 was not found.", "Access to %1 was
// denied.", ...). The platform layer reports failures only as results, so the
// texts live here.
std::string FileErrorText(int cause, const std::string& path);
