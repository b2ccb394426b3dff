#include "platform/file_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
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

ReplaceResult ReplaceFileAtomicallyInPieces(const std::string& path,
                                            const std::function<std::string_view()>& next) {
  if (IsDirectory(path)) return ReplaceResult::kCannotCreate;
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
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    tempPath = prefix + TempSuffix();
    fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return ReplaceResult::kCannotCreate;
  struct stat st;
  if (StatPath(path, st)) (void)::fchmod(fd, st.st_mode & 07777);  // not fatal
  // The data is complete in the temporary file before the rename, so a full
  // disk or a crash of this process leaves the old file whole.
  bool ok = true;
  for (std::string_view piece = next(); ok && !piece.empty(); piece = next()) {
    ok = WriteAll(fd, piece);
  }
  if (::close(fd) != 0) ok = false;
  if (ok && ::rename(tempPath.c_str(), path.c_str()) == 0) return ReplaceResult::kOk;
  ::unlink(tempPath.c_str());
  return ReplaceResult::kWriteFailed;
}

ReplaceResult ReplaceFileAtomically(const std::string& path, std::string_view data) {
  return ReplaceFileAtomicallyInPieces(path, OnePiece(data));
}

bool FileHoldsPieces(const std::string& path, std::uint64_t size,
                     const std::function<std::string_view()>& next) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool same = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
              static_cast<std::uint64_t>(st.st_size) == size;
  std::vector<char> buffer;
  std::uint64_t compared = 0;
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
  ::close(fd);
  return same && compared == size;
}

bool CanReplaceFile(const std::string& path) {
  const std::string folder = FolderOf(path);
  return !IsDirectory(path) && IsDirectory(folder) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

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
