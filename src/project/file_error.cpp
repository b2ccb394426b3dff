#include "project/file_error.h"

#include <cerrno>

#include "platform/file_util.h"

namespace {

std::string Fill(const char* pattern, const std::string& path) {
  std::string text(pattern);
  const size_t at = text.find("%1");
  if (at != std::string::npos) text.replace(at, 2, path);
  return text;
}

}  // namespace

std::string FileErrorText(int cause, const std::string& path) {
  switch (cause) {
    case kNotRegularFileCause:
      return Fill("%1 is not a regular file (a directory, a pipe or a device) and cannot be read.",
                  path);
    case ENOENT:
      return Fill("%1 was not found.", path);
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return Fill("%1 contains an incorrect path.", path);
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return Fill("Access to %1 was denied.", path);
    case EMFILE:
    case ENFILE:
      return Fill("%1 could not be opened because there are too many open files.", path);
    case ENOSPC:
    case kDiskQuotaError:
      return Fill("Disk full while accessing %1.", path);
    case EIO:
      return Fill("A hardware I/O error was reported while accessing %1.", path);
    default:
      return Fill("An unknown error occurred while accessing %1.", path);
  }
}

std::string CFileError::Message() const { return FileErrorText(m_nCause, m_strPath); }

std::uint64_t CheckSourceFile(const std::string& path) {
  const int fd = OpenFileDescriptor(path, FileOpen::kReadNoWait);
  if (fd < 0) throw CFileError(errno, path);
  FileStatus status;
  const bool ok = StatusOfDescriptor(fd, status);
  const int cause = ok ? kNotRegularFileCause : errno;
  CloseFileDescriptor(fd);
  if (!ok || !status.regular) throw CFileError(cause, path);
  return static_cast<std::uint64_t>(status.size);
}
