// The file helpers on Windows: Win32 calls on wide paths, every file opened
// in binary mode and shared for reading, writing and deleting (so that an
// atomic replace can rename over a file another reader holds open).
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/file_util.h"
#include "platform/file_util_internal.h"
#include "platform/windows/wide_path.h"

using platform_detail::ErrnoFromWin32;
using platform_detail::Narrow;
using platform_detail::PublishLiveTemp;
using platform_detail::Widen;
using platform_detail::WithdrawLiveTemp;

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The byte a writer of a temporary file locks while it writes, far beyond any
// data, so the lock never stands in the way of the writes themselves.
constexpr DWORD kOwnerLockLow = 0xFFFFFFFEu;
constexpr DWORD kOwnerLockHigh = 0x7FFFFFFFu;

std::uint64_t FromFileTime(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

bool AttributesOf(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA& data) {
  return !path.empty() &&
         ::GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data) != 0;
}

void SetErrnoFromLastError() { errno = ErrnoFromWin32(::GetLastError()); }

bool IsSharingError(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
         error == ERROR_LOCK_VIOLATION;
}

bool WriteAll(HANDLE file, std::string_view data) {
  while (!data.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size(), 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(file, data.data(), chunk, &written, nullptr)) return false;
    data.remove_prefix(written);
  }
  return true;
}

bool LockOwner(HANDLE file) {
  OVERLAPPED at{};
  at.Offset = kOwnerLockLow;
  at.OffsetHigh = kOwnerLockHigh;
  return ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) != 0;
}

void DeletePath(const char* path) { ::DeleteFileW(Widen(path).c_str()); }

BOOL WINAPI RemoveTemporariesAndEnd(DWORD) {
  platform_detail::MarkEnding();
  RemoveLiveTemporaryFiles();
  ::Sleep(20);
  RemoveLiveTemporaryFiles();
  return FALSE;  // the next handler (the default one) ends the process
}

// Renames temp over path, retrying a little while another program (a virus
// scanner, an indexer) holds the target open without sharing it.
bool MoveOver(const std::wstring& temp, const std::wstring& path) {
  for (int attempt = 0;; ++attempt) {
    if (::MoveFileExW(temp.c_str(), path.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    if (attempt == 20 || !IsSharingError(::GetLastError())) return false;
    ::Sleep(25);
  }
}

}  // namespace

FileStatus StatusOf(const std::string& path) {
  FileStatus status;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!AttributesOf(path, data)) return status;
  status.exists = true;
  status.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  status.regular = !status.directory && (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) == 0;
  status.writeBit = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) == 0;
  status.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
                                          data.nFileSizeLow);
  return status;
}

int OpenFileDescriptor(const std::string& path, FileOpen how) {
  DWORD access = GENERIC_READ;
  DWORD disposition = OPEN_EXISTING;
  int flags = _O_RDONLY | _O_BINARY | _O_NOINHERIT;
  if (how == FileOpen::kReadWrite) {
    access |= GENERIC_WRITE;
    flags = _O_RDWR | _O_BINARY | _O_NOINHERIT;
  } else if (how == FileOpen::kReadCreate) {
    disposition = OPEN_ALWAYS;
  }
  // Backup semantics open a directory too, which a caller then tells apart
  // (as open() does on POSIX).
  const HANDLE file = ::CreateFileW(Widen(path).c_str(), access, kShareAll, nullptr, disposition,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    SetErrnoFromLastError();
    return -1;
  }
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), flags);
  if (fd < 0) {
    ::CloseHandle(file);
    errno = EMFILE;
  }
  return fd;
}

std::int64_t ReadFileDescriptor(int fd, char* buffer, std::size_t size) {
  const HANDLE file = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  DWORD got = 0;
  const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
  if (!::ReadFile(file, buffer, chunk, &got, nullptr)) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) return 0;
    errno = ErrnoFromWin32(error);
    return -1;
  }
  return static_cast<std::int64_t>(got);
}

void CloseFileDescriptor(int fd) { ::_close(fd); }

bool SeekFileDescriptor(int fd, std::uint64_t offset) {
  const HANDLE file = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(offset);
  if (file == INVALID_HANDLE_VALUE || !::SetFilePointerEx(file, to, nullptr, FILE_BEGIN)) {
    SetErrnoFromLastError();
    return false;
  }
  return true;
}

bool StatusOfDescriptor(int fd, FileStatus& status) {
  const HANDLE file = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  BY_HANDLE_FILE_INFORMATION info;
  if (file == INVALID_HANDLE_VALUE || !::GetFileInformationByHandle(file, &info)) {
    if (file != INVALID_HANDLE_VALUE && ::GetFileType(file) != FILE_TYPE_DISK) {
      status = FileStatus();
      status.exists = true;  // a pipe or a device: neither folder nor file
      return true;
    }
    SetErrnoFromLastError();
    return false;
  }
  status = FileStatus();
  status.exists = true;
  status.directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  status.regular = !status.directory && ::GetFileType(file) == FILE_TYPE_DISK;
  status.writeBit = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) == 0;
  status.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) |
                                          info.nFileSizeLow);
  return true;
}

bool IsReadOnly(const std::string&, const FileStatus& status) {
  return status.exists && !status.directory && !status.writeBit;
}

std::uint64_t LastWriteFileTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  return AttributesOf(path, data) ? FromFileTime(data.ftLastWriteTime) : 0;
}

bool SetLastWriteTime(const std::string& path, std::int64_t unixSeconds, long nanoseconds) {
  const std::uint64_t ticks = static_cast<std::uint64_t>(unixSeconds) * 10000000ULL +
                              static_cast<std::uint64_t>(nanoseconds) / 100 + kFileTimeUnixEpoch;
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(ticks);
  time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  const HANDLE file = ::CreateFileW(Widen(path).c_str(), FILE_WRITE_ATTRIBUTES, kShareAll, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool set = ::SetFileTime(file, nullptr, &time, &time) != 0;
  ::CloseHandle(file);
  return set;
}

FileStamp StampOf(const std::string& path) {
  FileStamp stamp;
  if (path.empty()) return stamp;
  const HANDLE file = ::CreateFileW(Widen(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return stamp;
  BY_HANDLE_FILE_INFORMATION info;
  if (::GetFileInformationByHandle(file, &info)) {
    stamp.exists = true;
    stamp.device = info.dwVolumeSerialNumber;
    stamp.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    stamp.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) |
                                           info.nFileSizeLow);
    stamp.mtimeNs = static_cast<std::int64_t>(FromFileTime(info.ftLastWriteTime) * 100);
  }
  ::CloseHandle(file);
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
      (FindLastSeparator(path) == std::string::npos ? std::string() : folder + kPathSeparator) +
      "." + name + ".tmp";
  std::string tempPath;
  HANDLE file = INVALID_HANDLE_VALUE;
  int slot = -1;
  for (int attempt = 0; file == INVALID_HANDLE_VALUE && attempt < 100; ++attempt) {
    tempPath = prefix + platform_detail::TempSuffix();
    // Published before it exists, so Ctrl+C can never leave it behind.
    slot = PublishLiveTemp(tempPath);
    file = ::CreateFileW(Widen(tempPath).c_str(), GENERIC_WRITE | DELETE, kShareAll, nullptr,
                         CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE && LockOwner(file)) break;
    const DWORD error = file != INVALID_HANDLE_VALUE ? ERROR_FILE_EXISTS : ::GetLastError();
    if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
    WithdrawLiveTemp(slot);
    slot = -1;
    SetError(ErrnoFromWin32(error));
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  if (file == INVALID_HANDLE_VALUE) return ReplaceResult::kCannotCreate;
  const std::wstring wideTemp = Widen(tempPath);
  if (platform_detail::IsEnding()) {
    ::CloseHandle(file);
    ::DeleteFileW(wideTemp.c_str());
    WithdrawLiveTemp(slot);
    for (;;) ::Sleep(INFINITE);
  }
  bool ok = true;
  int error = 0;
  try {
    for (std::string_view piece = next(); ok && !piece.empty(); piece = next()) {
      ok = WriteAll(file, piece);
      if (!ok) error = ErrnoFromWin32(::GetLastError());
    }
  } catch (...) {
    // The pieces could not be made: the old file stays, the half-written one goes.
    ::CloseHandle(file);
    ::DeleteFileW(wideTemp.c_str());
    WithdrawLiveTemp(slot);
    throw;
  }
  if (ok && !::FlushFileBuffers(file)) {
    ok = false;
    error = ErrnoFromWin32(::GetLastError());
  }
  if (ok && beforeRename && !beforeRename()) {
    ok = false;
    error = 0;
  }
  // Renamed while still open and locked, so no cleanup takes it meanwhile;
  // where the system refuses that, closed first.
  const std::wstring widePath = Widen(path);
  bool renamed = ok && MoveOver(wideTemp, widePath);
  DWORD renameError = renamed ? 0 : ::GetLastError();
  ::CloseHandle(file);
  if (ok && !renamed && IsSharingError(renameError)) {
    renamed = MoveOver(wideTemp, widePath);
    renameError = renamed ? 0 : ::GetLastError();
  }
  if (!renamed) {
    if (ok) error = ErrnoFromWin32(renameError);
    ::DeleteFileW(wideTemp.c_str());
  }
  WithdrawLiveTemp(slot);
  if (renamed) return ReplaceResult::kOk;
  SetError(error);
  return ReplaceResult::kWriteFailed;
}

bool IsDanglingLink(const std::string& path) {
  const std::wstring wide = Widen(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return false;
  }
  const HANDLE file = ::CreateFileW(wide.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    ::CloseHandle(file);
    return false;
  }
  const DWORD error = ::GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

int RemoveStaleTemporaryFiles(const std::string& folder,
                              const std::function<bool(const std::string& name)>& ours) {
  const std::string base =
      folder.empty() ? std::string()
                     : (IsPathSeparator(folder.back()) ? folder : folder + kPathSeparator);
  WIN32_FIND_DATAW entry;
  const HANDLE find = ::FindFirstFileW(Widen(base + "*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return 0;
  std::vector<std::string> stale;
  do {
    const std::string fileName = Narrow(entry.cFileName);
    std::string name;
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        IsTemporaryFileName(fileName, name) && ours(name)) {
      stale.push_back(fileName);
    }
  } while (::FindNextFileW(find, &entry));
  ::FindClose(find);
  int removed = 0;
  for (const std::string& fileName : stale) {
    const std::wstring path = Widen(base + fileName);
    // A file whose writer still lives is locked by it.
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ | DELETE, kShareAll, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) continue;
    if (LockOwner(file) && ::DeleteFileW(path.c_str())) ++removed;
    ::CloseHandle(file);
  }
  return removed;
}

void RemoveLiveTemporaryFiles() { platform_detail::ForEachLiveTemp(DeletePath); }

void RemoveTemporaryFilesOnSignals() { ::SetConsoleCtrlHandler(RemoveTemporariesAndEnd, TRUE); }

bool CanReplaceFile(const std::string& path, int* error) {
  int number = 0;
  if (IsDirectory(path)) {
    number = EISDIR;
  } else if (const FileStatus status = StatusOf(FolderOf(path)); !status.directory) {
    number = status.exists ? ENOTDIR : ENOENT;
  }
  if (error != nullptr) *error = number;
  return number == 0;
}

std::string TempDirectory() {
  wchar_t buffer[MAX_PATH + 2];
  const DWORD length = ::GetTempPathW(MAX_PATH + 2, buffer);
  std::wstring dir(buffer, length > 0 && length <= MAX_PATH + 1 ? length : 0);
  while (dir.size() > 3 && (dir.back() == L'\\' || dir.back() == L'/')) dir.pop_back();
  return dir.empty() ? std::string("C:\\Windows\\Temp") : Narrow(dir);
}

bool CreateOneDirectory(const std::string& path) {
  if (::CreateDirectoryW(Widen(path).c_str(), nullptr)) return true;
  const int error = ErrnoFromWin32(::GetLastError());
  if (IsDirectory(path)) return true;
  errno = error;
  return false;
}

bool RemoveFile(const std::string& path) {
  if (::DeleteFileW(Widen(path).c_str())) return true;
  SetErrnoFromLastError();
  return false;
}

std::string CurrentUserId() {
  wchar_t buffer[257];
  DWORD length = 257;
  if (!::GetUserNameW(buffer, &length) || length == 0) return "user";
  return Narrow(std::wstring(buffer, length - 1));
}

namespace platform_detail {

std::string SystemCurrentDirectory() {
  const DWORD length = ::GetCurrentDirectoryW(0, nullptr);
  if (length == 0) return std::string();
  std::wstring buffer(length, L'\0');
  const DWORD got = ::GetCurrentDirectoryW(length, buffer.data());
  if (got == 0 || got >= length) return std::string();
  buffer.resize(got);
  return Narrow(buffer);
}

bool MakePrivateDirectory(const std::string& path) {
  if (::CreateDirectoryW(Widen(path).c_str(), nullptr)) return true;
  SetErrnoFromLastError();
  return false;
}

}  // namespace platform_detail
