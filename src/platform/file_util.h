#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/path.h"

// File system helpers of the platform layer. Paths are native (absolute or
// relative to the working directory) and UTF-8 on every system; every function
// reports failure through its result and never throws. One implementation per
// system (posix/, windows/) stands behind these declarations.

bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);
bool IsRegularFile(const std::string& path);
// True when the file exists and may not be written: no write permission bit
// is set (a read-only file, whoever asks) or this process lacks the right.
bool IsReadOnly(const std::string& path);
struct FileStatus;
// The same for a file whose status the caller has already taken.
bool IsReadOnly(const std::string& path, const FileStatus& status);
// Size in bytes, or -1 when the file cannot be examined.
std::int64_t FileSize(const std::string& path);

// Last-write time as a Windows FILETIME: 100-ns units since 1601-01-01 UTC.
// Returns 0 when the file cannot be examined.
std::uint64_t LastWriteFileTime(const std::string& path);
inline constexpr std::uint64_t kFileTimeUnixEpoch = 116444736000000000ULL;
// Sets the last-write (and last-access) time to unixSeconds + nanoseconds, as
// precisely as the file system keeps it. False when it cannot.
bool SetLastWriteTime(const std::string& path, std::int64_t unixSeconds, long nanoseconds);

// What identifies one version of a file: a file replaced, rewritten or
// touched since its stamp was taken has another stamp. exists is false for a
// path that holds nothing.
struct FileStamp {
  bool exists = false;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t mtimeNs = 0;
  bool operator==(const FileStamp&) const = default;
};
FileStamp StampOf(const std::string& path);

// What a path or an open file is, as far as the layers above ask.
struct FileStatus {
  bool exists = false;
  bool directory = false;
  bool regular = false;
  // Some write permission bit is set (on Windows: no read-only attribute).
  bool writeBit = false;
  std::int64_t size = 0;
};
FileStatus StatusOf(const std::string& path);

// The ways a file is opened through a descriptor. Every one is binary (bytes
// come as they are on disk) and none is inherited by a child process.
enum class FileOpen {
  kRead,
  kReadNoWait,  // also for a FIFO or device that would block the open
  kReadWrite,
  kReadCreate,  // creates an empty file, never truncates one
};
// A file descriptor, or -1 with errno set.
int OpenFileDescriptor(const std::string& path, FileOpen how);
// Reads up to size bytes, going on after an interruption: bytes read, 0 at the
// end, -1 with errno set on an error.
std::int64_t ReadFileDescriptor(int fd, char* buffer, std::size_t size);
void CloseFileDescriptor(int fd);
// Moves the descriptor to offset from the file's start; false (errno set) on an error.
bool SeekFileDescriptor(int fd, std::uint64_t offset);

// A file open for reading (binary, shared for deletion and renaming where the
// system asks for that), closed when it goes.
class CReadFile {
 public:
  explicit CReadFile(const std::string& path) : m_fd(OpenFileDescriptor(path, FileOpen::kRead)) {}
  ~CReadFile() {
    if (m_fd >= 0) CloseFileDescriptor(m_fd);
  }
  CReadFile(const CReadFile&) = delete;
  CReadFile& operator=(const CReadFile&) = delete;
  bool IsOpen() const { return m_fd >= 0; }
  // Reads size bytes, fewer only at the end of the file; -1 on an error.
  std::int64_t Read(char* buffer, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
      const std::int64_t n = ReadFileDescriptor(m_fd, buffer + got, size - got);
      if (n < 0) return -1;
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(got);
  }
  bool Seek(std::uint64_t offset) { return SeekFileDescriptor(m_fd, offset); }

 private:
  int m_fd;
};
// What the open file is; false (errno set) when it cannot be examined.
bool StatusOfDescriptor(int fd, FileStatus& status);

// The errno of an exceeded disk quota where the system has one; elsewhere a
// value that no call sets, so that a switch may name it beside ENOSPC.
#ifdef EDQUOT
inline constexpr int kDiskQuotaError = EDQUOT;
#else
inline constexpr int kDiskQuotaError = -1000;
#endif

// True when path is a symbolic link whose target does not exist.
bool IsDanglingLink(const std::string& path);

// Reads the whole file into out. False when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& out);

enum class ReplaceResult {
  kOk,
  kCannotCreate,  // the temporary file beside the target could not be created
  kWriteFailed,   // writing, flushing or renaming failed; the old file is whole
};

// Replaces path with data atomically: writes a temporary file in the same
// folder and renames it over the target once every byte is written, so a full
// disk or a crash never leaves a half-written file. An existing file keeps its mode.
// error, when given, receives the system's error number of a failure (0 when
// beforeRename refused), so the caller can tell the user why ("No space left
// on device").
ReplaceResult ReplaceFileAtomically(const std::string& path, std::string_view data,
                                    int* error = nullptr);
// The same with the data given in pieces: next is called again after each piece
// is written, until it returns an empty piece, so a large file can be written
// from one reused buffer instead of being assembled in memory first. When next
// raises, the temporary file is removed, the target left whole and the
// exception passed on. beforeRename, when given, is asked once every byte is
// written: false leaves the target as it is (kWriteFailed), for a caller
// that must not replace a file changed meanwhile.
ReplaceResult ReplaceFileAtomicallyInPieces(const std::string& path,
                                            const std::function<std::string_view()>& next,
                                            const std::function<bool()>& beforeRename = nullptr,
                                            int* error = nullptr);

// The temporary files of ReplaceFileAtomically* are named "." + name + ".tmp"
// + six letters or digits, beside the file they replace. True for such a
// temporary name; name is then the replaced file's name.
bool IsTemporaryFileName(const std::string& fileName, std::string& name);
// Removes the temporary files in folder that a process killed while replacing
// a file left behind, for the replaced names that ours accepts. A temporary
// file is locked by its writer while it is written, so one that a live
// process (this one included) is writing stays. Returns how many were removed.
int RemoveStaleTemporaryFiles(const std::string& folder,
                              const std::function<bool(const std::string& name)>& ours);
// Removes the temporary files being written right now. Async-signal-safe: it
// is what the handler of RemoveTemporaryFilesOnSignals calls.
void RemoveLiveTemporaryFiles();
// Installs handlers of SIGINT, SIGTERM and SIGHUP (on Windows: of Ctrl+C,
// Ctrl+Break and the console's closing) that remove the temporary files being
// written and then end the process as the signal would have.
void RemoveTemporaryFilesOnSignals();

// True when ReplaceFileAtomically could make path now: it is no directory and
// its folder exists and may be written. error, when given, receives the
// system's error number of why not (0 when it could).
bool CanReplaceFile(const std::string& path, int* error = nullptr);
// True when an edit of path could be written now: CanReplaceFile, and the file
// (if it exists) is not read-only.
bool CanWriteFile(const std::string& path);

// True when path is a regular file of exactly size bytes that are the pieces
// next gives (called until it returns an empty piece or a difference shows).
// A build uses it to leave a file alone that would be written unchanged, so
// that its time stays and the firmware build does not compile it again.
// kUnknownSize compares pieces whose total is known only at their end.
// Whatever next raises passes through, the file closed.
inline constexpr std::uint64_t kUnknownSize = ~std::uint64_t{0};
bool FileHoldsPieces(const std::string& path, std::uint64_t size,
                     const std::function<std::string_view()>& next);
bool FileHolds(const std::string& path, std::string_view data);

// The system's folder for temporary files: $TMPDIR (/tmp without it) on
// POSIX, GetTempPath on Windows without its trailing separator.
std::string TempDirectory();

// Makes a new private folder named prefix plus six random characters in
// TempDirectory(); its path, or "" when it cannot be made.
std::string MakeTempDirectory(const std::string& prefix);

// Creates one directory level. True when it exists afterwards; on false, errno
// says why the directory could not be made.
bool CreateOneDirectory(const std::string& path);

// Removes a file (not a directory). False with errno set when it cannot.
bool RemoveFile(const std::string& path);

// The working directory, without a trailing separator.
std::string CurrentDirectory();

// Makes path absolute against the working directory and removes "." and ".."
// components lexically; symbolic links are not resolved (AbsolutePathIn).
std::string AbsolutePath(const std::string& path);

// An id of the user running this process, for names that must differ between
// users sharing a machine (the uid on POSIX, the user name on Windows).
std::string CurrentUserId();
