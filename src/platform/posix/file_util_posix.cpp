// The file helpers on POSIX systems (Linux, macOS).
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "platform/file_util.h"
#include "platform/file_util_internal.h"

using platform_detail::PublishLiveTemp;
using platform_detail::WithdrawLiveTemp;

namespace {

bool StatPath(const std::string& path, struct stat& st) {
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

// The modification time of st in seconds and nanoseconds.
#ifdef __APPLE__
const struct timespec& ModificationTime(const struct stat& st) { return st.st_mtimespec; }
#else
const struct timespec& ModificationTime(const struct stat& st) { return st.st_mtim; }
#endif

FileStatus StatusFromStat(const struct stat& st) {
  FileStatus status;
  status.exists = true;
  status.directory = S_ISDIR(st.st_mode);
  status.regular = S_ISREG(st.st_mode);
  status.writeBit = (st.st_mode & 0222) != 0;
  status.size = static_cast<std::int64_t>(st.st_size);
  return status;
}

// Writes all of data to fd, retrying short writes and interruptions.
bool WriteAll(int fd, std::string_view data) {
  const char* p = data.data();
  size_t left = data.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

void UnlinkPath(const char* path) { ::unlink(path); }

void RemoveTemporariesAndDie(int signal) {
  platform_detail::MarkEnding();
  RemoveLiveTemporaryFiles();
  // A thread that was creating a file during the first pass has it published
  // by now (or removes it itself, seeing the process end).
  const struct timespec pause = {0, 20 * 1000 * 1000};
  ::nanosleep(&pause, nullptr);
  RemoveLiveTemporaryFiles();
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

// Marks a temporary file just made as this process's own: an exclusive lock
// that RemoveStaleTemporaryFiles of any process respects, held until the
// file is renamed or removed. False when a cleanup took the name away
// between the creation and the lock (a new name is then tried).
bool OwnTemporary(int fd, const std::string& tempPath) {
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return errno != EWOULDBLOCK;
  struct stat made, named;
  return ::fstat(fd, &made) == 0 && ::stat(tempPath.c_str(), &named) == 0 &&
         made.st_dev == named.st_dev && made.st_ino == named.st_ino;
}

}  // namespace

FileStatus StatusOf(const std::string& path) {
  struct stat st;
  return StatPath(path, st) ? StatusFromStat(st) : FileStatus();
}

int OpenFileDescriptor(const std::string& path, FileOpen how) {
  switch (how) {
    case FileOpen::kRead:
      return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    case FileOpen::kReadNoWait:
      return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    case FileOpen::kReadWrite:
      return ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    case FileOpen::kReadCreate:
      return ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
  }
  errno = EINVAL;
  return -1;
}

std::int64_t ReadFileDescriptor(int fd, char* buffer, std::size_t size) {
  ssize_t n;
  do {
    n = ::read(fd, buffer, size);
  } while (n < 0 && errno == EINTR);
  return static_cast<std::int64_t>(n);
}

void CloseFileDescriptor(int fd) { ::close(fd); }

bool SeekFileDescriptor(int fd, std::uint64_t offset) {
  return ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) != static_cast<off_t>(-1);
}

bool StatusOfDescriptor(int fd, FileStatus& status) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return false;
  status = StatusFromStat(st);
  return true;
}

bool IsReadOnly(const std::string& path, const FileStatus& status) {
  // A file without any write permission bit is read-only even for a privileged
  // user, like a file carrying a read-only attribute.
  return status.exists && (!status.writeBit || ::access(path.c_str(), W_OK) != 0);
}

std::uint64_t LastWriteFileTime(const std::string& path) {
  struct stat st;
  if (!StatPath(path, st)) return 0;
  const struct timespec& mtime = ModificationTime(st);
  const std::int64_t seconds = mtime.tv_sec;
  if (seconds < -11644473600LL) return 0;
  return static_cast<std::uint64_t>(seconds) * 10000000ULL +
         static_cast<std::uint64_t>(mtime.tv_nsec) / 100ULL + kFileTimeUnixEpoch;
}

bool SetLastWriteTime(const std::string& path, std::int64_t unixSeconds, long nanoseconds) {
  const struct timespec times[2] = {{static_cast<time_t>(unixSeconds), nanoseconds},
                                    {static_cast<time_t>(unixSeconds), nanoseconds}};
  return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

FileStamp StampOf(const std::string& path) {
  struct stat st;
  FileStamp stamp;
  if (!StatPath(path, st)) return stamp;
  const struct timespec& mtime = ModificationTime(st);
  stamp.exists = true;
  stamp.device = static_cast<std::uint64_t>(st.st_dev);
  stamp.inode = static_cast<std::uint64_t>(st.st_ino);
  stamp.size = static_cast<std::int64_t>(st.st_size);
  stamp.mtimeNs = static_cast<std::int64_t>(mtime.tv_sec) * 1000000000LL + mtime.tv_nsec;
  return stamp;
}

ReplaceResult ReplaceFileAtomicallyInPieces(const std::string& path,
                                            const std::function<std::string_view()>& next,
                                            const std::function<bool()>& beforeRename,
                                            int* errorOut) {
  // The system's error number of the failure, for the caller's message.
  const auto SetError = [errorOut](int number) {
    if (errorOut != nullptr) *errorOut = number;
  };
  if (IsDirectory(path)) {
    SetError(EISDIR);
    return ReplaceResult::kCannotCreate;
  }
  std::string folder, name;
  SplitPath(path, folder, name);
  const std::string prefix =
      (folder.empty() && path.find(kPathSeparator) == std::string::npos ? std::string()
                                                                        : folder + kPathSeparator) +
      "." + name + ".tmp";
  // A new file gets the mode the creation mask (or a default ACL) gives, as
  // any file made here would; a replaced file keeps its mode.
  std::string tempPath;
  int fd = -1;
  int slot = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    tempPath = prefix + platform_detail::TempSuffix();
    // Published before it exists, so a signal can never leave it behind.
    slot = PublishLiveTemp(tempPath);
    fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 && OwnTemporary(fd, tempPath)) break;
    const int error = fd >= 0 ? EEXIST : errno;
    if (fd >= 0) ::close(fd);
    fd = -1;
    WithdrawLiveTemp(slot);
    slot = -1;
    SetError(error);
    if (error != EEXIST) break;
  }
  if (fd < 0) return ReplaceResult::kCannotCreate;
  if (platform_detail::IsEnding()) {
    // A signal is ending the process: this file is not to be left behind.
    ::close(fd);
    ::unlink(tempPath.c_str());
    WithdrawLiveTemp(slot);
    for (;;) ::pause();
  }
  struct stat st;
  if (StatPath(path, st)) (void)::fchmod(fd, st.st_mode & 07777);  // not fatal
  // The data is complete in the temporary file before the rename, so a full
  // disk or a crash of this process leaves the old file whole.
  bool ok = true;
  int error = 0;
  try {
    for (std::string_view piece = next(); ok && !piece.empty(); piece = next()) {
      ok = WriteAll(fd, piece);
      if (!ok) error = errno;
    }
  } catch (...) {
    // The pieces could not be made: the old file stays, the half-written one goes.
    ::close(fd);
    ::unlink(tempPath.c_str());
    WithdrawLiveTemp(slot);
    throw;
  }
  // A second descriptor keeps the lock past the close that reports a late
  // write error, until the file has its final name.
  const int owner = ::dup(fd);
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok && beforeRename && !beforeRename()) {
    ok = false;
    error = 0;
  }
  const bool renamed = ok && ::rename(tempPath.c_str(), path.c_str()) == 0;
  if (!renamed) {
    if (ok) error = errno;
    ::unlink(tempPath.c_str());
  }
  if (owner >= 0) ::close(owner);
  WithdrawLiveTemp(slot);
  if (renamed) return ReplaceResult::kOk;
  SetError(error);
  return ReplaceResult::kWriteFailed;
}

bool IsDanglingLink(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && ::stat(path.c_str(), &st) != 0;
}

int RemoveStaleTemporaryFiles(const std::string& folder,
                              const std::function<bool(const std::string& name)>& ours) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return 0;
  std::vector<std::string> stale;
  while (const dirent* entry = ::readdir(dir)) {
    std::string name;
    if (IsTemporaryFileName(entry->d_name, name) && ours(name)) stale.push_back(entry->d_name);
  }
  ::closedir(dir);
  int removed = 0;
  for (const std::string& fileName : stale) {
    const std::string path =
        folder.empty()
            ? fileName
            : (folder.back() == kPathSeparator ? folder : folder + kPathSeparator) + fileName;
    // A file whose writer still lives is locked by it (see OwnTemporary).
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) continue;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && IsRegularFile(path) && ::unlink(path.c_str()) == 0) {
      ++removed;
    }
    ::close(fd);
  }
  return removed;
}

void RemoveLiveTemporaryFiles() { platform_detail::ForEachLiveTemp(UnlinkPath); }

void RemoveTemporaryFilesOnSignals() {
  struct sigaction action {};
  action.sa_handler = RemoveTemporariesAndDie;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    // A signal the caller chose to ignore stays ignored.
    if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    ::sigaction(signal, &action, nullptr);
  }
}

bool CanReplaceFile(const std::string& path, int* error) {
  const std::string folder = FolderOf(path);
  int number = 0;
  if (IsDirectory(path)) {
    number = EISDIR;
  } else if (const FileStatus status = StatusOf(folder); !status.directory) {
    number = status.exists ? ENOTDIR : ENOENT;
  } else if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    number = errno;
  }
  if (error != nullptr) *error = number;
  return number == 0;
}

std::string TempDirectory() {
  const char* base = std::getenv("TMPDIR");
  return base && *base ? base : "/tmp";
}

bool CreateOneDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  const int error = errno;
  if (IsDirectory(path)) return true;
  errno = error;
  return false;
}

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

std::string CurrentUserId() { return std::to_string(::getuid()); }

namespace platform_detail {

std::string SystemCurrentDirectory() {
  std::vector<char> buffer(PATH_MAX + 1);
  if (::getcwd(buffer.data(), buffer.size()) == nullptr) return std::string();
  return std::string(buffer.data());
}

bool MakePrivateDirectory(const std::string& path) { return ::mkdir(path.c_str(), 0700) == 0; }

}  // namespace platform_detail
