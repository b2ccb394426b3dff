#include "platform/file_util.h"

#include <atomic>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "platform/file_util_internal.h"

namespace platform_detail {

std::string TempSuffix() {
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937_64 random{std::random_device{}()};
  std::string suffix(6, ' ');
  for (char& c : suffix) c = kChars[random() % (sizeof kChars - 1)];
  return suffix;
}

namespace {

// The temporary files being written, for a signal handler to remove: a slot
// is claimed (1), filled, then published (2); the handler reads published
// slots only, so it never sees a half-written path.
struct LiveTemp {
  std::atomic<int> state{0};
  char path[4096];
};
constexpr int kLiveTemps = 16;
LiveTemp g_liveTemps[kLiveTemps];
std::atomic<int> g_nEnding{0};
static_assert(std::atomic<int>::is_always_lock_free);

}  // namespace

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

void ForEachLiveTemp(void (*remove)(const char* path)) {
  for (LiveTemp& temp : g_liveTemps) {
    if (temp.state.load() == 2) remove(temp.path);
  }
}

void MarkEnding() { g_nEnding.store(1); }
bool IsEnding() { return g_nEnding.load() != 0; }

}  // namespace platform_detail

namespace {

// Gives data as the only piece, then the empty piece that ends the pieces.
std::function<std::string_view()> OnePiece(std::string_view data) {
  return [data]() mutable { return std::exchange(data, std::string_view()); };
}

}  // namespace

bool PathExists(const std::string& path) { return StatusOf(path).exists; }

bool IsDirectory(const std::string& path) { return StatusOf(path).directory; }

bool IsRegularFile(const std::string& path) { return StatusOf(path).regular; }

bool IsReadOnly(const std::string& path) { return IsReadOnly(path, StatusOf(path)); }

std::int64_t FileSize(const std::string& path) {
  const FileStatus status = StatusOf(path);
  return status.exists ? status.size : -1;
}

bool ReadWholeFile(const std::string& path, std::string& out) {
  out.clear();
  const int fd = OpenFileDescriptor(path, FileOpen::kRead);
  if (fd < 0) return false;
  FileStatus status;
  if (StatusOfDescriptor(fd, status)) {
    if (status.directory) {
      CloseFileDescriptor(fd);
      return false;
    }
    if (status.regular && status.size > 0) out.reserve(static_cast<size_t>(status.size));
  }
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const std::int64_t n = ReadFileDescriptor(fd, buffer.data(), buffer.size());
    if (n < 0) {
      CloseFileDescriptor(fd);
      out.clear();
      return false;
    }
    if (n == 0) break;
    out.append(buffer.data(), static_cast<size_t>(n));
  }
  CloseFileDescriptor(fd);
  return true;
}

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

ReplaceResult ReplaceFileAtomically(const std::string& path, std::string_view data, int* error) {
  return ReplaceFileAtomicallyInPieces(path, OnePiece(data), nullptr, error);
}

bool FileHoldsPieces(const std::string& path, std::uint64_t size,
                     const std::function<std::string_view()>& next) {
  const int fd = OpenFileDescriptor(path, FileOpen::kRead);
  if (fd < 0) return false;
  FileStatus status;
  bool same = StatusOfDescriptor(fd, status) && status.regular;
  // Of pieces whose total is not known beforehand, the file's size is the total.
  if (same && size == kUnknownSize) size = static_cast<std::uint64_t>(status.size);
  same = same && static_cast<std::uint64_t>(status.size) == size;
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
        const std::int64_t n = ReadFileDescriptor(fd, buffer.data() + got, piece.size() - got);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
      }
      same = got == piece.size() && std::memcmp(buffer.data(), piece.data(), got) == 0;
    }
  } catch (...) {
    CloseFileDescriptor(fd);
    throw;
  }
  CloseFileDescriptor(fd);
  return same && compared == size;
}

bool CanWriteFile(const std::string& path) { return CanReplaceFile(path) && !IsReadOnly(path); }

bool FileHolds(const std::string& path, std::string_view data) {
  return FileHoldsPieces(path, data.size(), OnePiece(data));
}

std::string MakeTempDirectory(const std::string& prefix) {
  const std::string base = TempDirectory() + kPathSeparator + prefix;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string path = base + platform_detail::TempSuffix();
    if (platform_detail::MakePrivateDirectory(path)) return path;
    if (errno != EEXIST) break;
  }
  return std::string();
}

std::string CurrentDirectory() {
  const std::string cwd = platform_detail::SystemCurrentDirectory();
  return cwd.empty() ? std::string(".") : cwd;
}

std::string AbsolutePath(const std::string& path) {
  return AbsolutePathIn(path, IsAbsolutePath(path) ? std::string() : CurrentDirectory());
}
