#include "platform/file_util.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <utility>
#include <vector>

namespace {

bool StatPath(const std::string& path, struct stat& st) {
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
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

// Six random letters and digits for a temporary file's name.
std::string TempSuffix() {
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937_64 random{std::random_device{}()};
  std::string suffix(6, ' ');
  for (char& c : suffix) c = kChars[random() % (sizeof kChars - 1)];
  return suffix;
}

thread_local int t_lastReplaceError = 0;

// The temporary files being written, for a signal handler to remove: a slot
// is claimed (1), filled, then published (2); the handler reads published
// slots only, so it never sees a half-written path.
struct LiveTemp {
  std::atomic<int> state{0};
  char path[4096];
};
constexpr int kLiveTemps = 16;
LiveTemp g_liveTemps[kLiveTemps];
// Set by the signal handler: the process is ending, and a temporary file that
// another thread makes now must not outlive it.
std::atomic<int> g_nEnding{0};
static_assert(std::atomic<int>::is_always_lock_free);

// The slot that publishes path, or -1 when every slot is taken or the path
// does not fit (the file is then only not removed on a signal).
int PublishLiveTemp(const std::string& path) {
  if (path.size() >= sizeof g_liveTemps[0].path) return -1;
  for (int i = 0; i < kLiveTemps; ++i) {
    int expected = 0;
    if (!g_liveTemps[i].state.compare_exchange_strong(expected, 1)) continue;
    std::memcpy(g_liveTemps[i].path, path.c_str(), path.size() + 1);
    g_liveTemps[i].state.store(2);
    return i;
  }
  return -1;
}

void WithdrawLiveTemp(int slot) {
  if (slot >= 0) g_liveTemps[slot].state.store(0);
}

void RemoveTemporariesAndDie(int signal) {
  g_nEnding.store(1);
  RemoveLiveTemporaryFiles();
  // A thread that was creating a file during the first pass has it published
  // by now (or removes it itself, seeing the process end).
  const struct timespec pause = {0, 20 * 1000 * 1000};
  ::nanosleep(&pause, nullptr);
  RemoveLiveTemporaryFiles();
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

// Gives data as the only piece, then the empty piece that ends the pieces.
std::function<std::string_view()> OnePiece(std::string_view data) {
  return [data]() mutable { return std::exchange(data, std::string_view()); };
}

}  // namespace

bool PathExists(const std::string& path) {
  struct stat st;
  return StatPath(path, st);
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return StatPath(path, st) && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return StatPath(path, st) && S_ISREG(st.st_mode);
}

bool IsReadOnly(const std::string& path) {
  // A file without any write permission bit is read-only even for a privileged
  // user, like a file carrying a read-only attribute.
  struct stat st;
  if (!StatPath(path, st)) return false;
  return (st.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0;
}

std::int64_t FileSize(const std::string& path) {
  struct stat st;
  if (!StatPath(path, st)) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

std::uint64_t LastWriteFileTime(const std::string& path) {
  struct stat st;
  if (!StatPath(path, st)) return 0;
  const std::int64_t seconds = st.st_mtim.tv_sec;
  if (seconds < -11644473600LL) return 0;
  return static_cast<std::uint64_t>(seconds) * 10000000ULL +
         static_cast<std::uint64_t>(st.st_mtim.tv_nsec) / 100ULL + kFileTimeUnixEpoch;
}

FileStamp StampOf(const std::string& path) {
  struct stat st;
  FileStamp stamp;
  if (!StatPath(path, st)) return stamp;
  stamp.exists = true;
  stamp.device = static_cast<std::uint64_t>(st.st_dev);
  stamp.inode = static_cast<std::uint64_t>(st.st_ino);
  stamp.size = static_cast<std::int64_t>(st.st_size);
  stamp.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
  return stamp;
}

bool ReadWholeFile(const std::string& path, std::string& out) {
  out.clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      ::close(fd);
      return false;
    }
    if (S_ISREG(st.st_mode) && st.st_size > 0) out.reserve(static_cast<size_t>(st.st_size));
  }
  std::vector<char> buffer(1 << 16);
  for (;;) {
    ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      out.clear();
      return false;
    }
    if (n == 0) break;
    out.append(buffer.data(), static_cast<size_t>(n));
  }
  ::close(fd);
  return true;
}

namespace {

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

ReplaceResult ReplaceFileAtomicallyInPieces(const std::string& path,
                                            const std::function<std::string_view()>& next) {
  if (IsDirectory(path)) {
    t_lastReplaceError = EISDIR;
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
    tempPath = prefix + TempSuffix();
    // Published before it exists, so a signal can never leave it behind.
    slot = PublishLiveTemp(tempPath);
    fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 && OwnTemporary(fd, tempPath)) break;
    const int error = fd >= 0 ? EEXIST : errno;
    if (fd >= 0) ::close(fd);
    fd = -1;
    WithdrawLiveTemp(slot);
    slot = -1;
    if (error != EEXIST) {
      t_lastReplaceError = error;
      break;
    }
    t_lastReplaceError = error;
  }
  if (fd < 0) return ReplaceResult::kCannotCreate;
  if (g_nEnding.load() != 0) {
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
  const bool renamed = ok && ::rename(tempPath.c_str(), path.c_str()) == 0;
  if (!renamed) {
    if (ok) error = errno;
    ::unlink(tempPath.c_str());
  }
  if (owner >= 0) ::close(owner);
  WithdrawLiveTemp(slot);
  if (renamed) return ReplaceResult::kOk;
  t_lastReplaceError = error;
  return ReplaceResult::kWriteFailed;
}

bool IsDanglingLink(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && ::stat(path.c_str(), &st) != 0;
}

int LastReplaceError() { return t_lastReplaceError; }

bool IsTemporaryFileName(const std::string& fileName, std::string& name) {
  constexpr size_t kSuffix = 4 + 6;  // ".tmp" and six letters or digits
  if (fileName.size() < 1 + 1 + kSuffix || fileName[0] != '.') return false;
  const size_t tmp = fileName.size() - kSuffix;
  if (fileName.compare(tmp, 4, ".tmp") != 0) return false;
  for (size_t i = tmp + 4; i < fileName.size(); ++i) {
    const char c = fileName[i];
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) {
      return false;
    }
  }
  name = fileName.substr(1, tmp - 1);
  return true;
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

void RemoveLiveTemporaryFiles() {
  for (LiveTemp& temp : g_liveTemps) {
    if (temp.state.load() == 2) ::unlink(temp.path);
  }
}

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

ReplaceResult ReplaceFileAtomically(const std::string& path, std::string_view data) {
  return ReplaceFileAtomicallyInPieces(path, OnePiece(data));
}

bool FileHoldsPieces(const std::string& path, std::uint64_t size,
                     const std::function<std::string_view()>& next) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool same = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  // Of pieces whose total is not known beforehand, the file's size is the total.
  if (same && size == kUnknownSize) size = static_cast<std::uint64_t>(st.st_size);
  same = same && static_cast<std::uint64_t>(st.st_size) == size;
  std::vector<char> buffer;
  std::uint64_t compared = 0;
  try {
    for (std::string_view piece = same ? next() : std::string_view(); same && !piece.empty();
         piece = next()) {
      compared += piece.size();
      if (compared > size) {
        same = false;
        break;
      }
      buffer.resize(piece.size());
      size_t got = 0;
      while (got < piece.size()) {
        const ssize_t n = ::read(fd, buffer.data() + got, piece.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
      }
      same = got == piece.size() && std::memcmp(buffer.data(), piece.data(), got) == 0;
    }
  } catch (...) {
    ::close(fd);
    throw;
  }
  ::close(fd);
  return same && compared == size;
}

bool CanReplaceFile(const std::string& path) {
  const std::string folder = FolderOf(path);
  return !IsDirectory(path) && IsDirectory(folder) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

bool CanWriteFile(const std::string& path) { return CanReplaceFile(path) && !IsReadOnly(path); }

bool FileHolds(const std::string& path, std::string_view data) {
  return FileHoldsPieces(path, data.size(), OnePiece(data));
}

std::string MakeTempDirectory(const std::string& prefix) {
  const char* base = std::getenv("TMPDIR");
  std::string templ = std::string(base && *base ? base : "/tmp") + "/" + prefix + "XXXXXX";
  return ::mkdtemp(templ.data()) != nullptr ? templ : std::string();
}

bool CreateOneDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  return IsDirectory(path);
}

std::string CurrentDirectory() {
  std::vector<char> buffer(PATH_MAX + 1);
  if (::getcwd(buffer.data(), buffer.size()) == nullptr) return ".";
  return std::string(buffer.data());
}

std::string AbsolutePath(const std::string& path) {
  std::string full = (!path.empty() && path[0] == kPathSeparator)
                         ? path
                         : CurrentDirectory() + kPathSeparator + path;
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= full.size()) {
    size_t end = full.find(kPathSeparator, start);
    if (end == std::string::npos) end = full.size();
    std::string part = full.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string result;
  for (const std::string& part : parts) result += kPathSeparator + part;
  return result.empty() ? std::string(1, kPathSeparator) : result;
}

std::string FolderOf(const std::string& path) {
  std::string folder, name;
  SplitPath(path, folder, name);
  if (!folder.empty()) return folder;
  return path.starts_with(kPathSeparator) ? std::string(1, kPathSeparator) : std::string(".");
}

void SplitPath(const std::string& path, std::string& folder, std::string& name) {
  size_t pos = path.rfind(kPathSeparator);
  if (pos == std::string::npos) {
    folder.clear();
    name = path;
  } else {
    folder = path.substr(0, pos);
    name = path.substr(pos + 1);
  }
}
