#include "platform/file_util.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string_view>
#include <vector>

#include "platform/project_lock.h"
#include "platform/text_format.h"
#include "testing/temp_dir.h"

namespace {

TEST(FileUtilTest, AtomicReplaceKeepsModeAndLeavesNoTemporaryFile) {
  TempDir dir;
  const std::string path = dir.Write("f.c", "old");
  ASSERT_EQ(0, ::chmod(path.c_str(), 0640));
  EXPECT_EQ(ReplaceResult::kOk, ReplaceFileAtomically(path, "new"));
  EXPECT_EQ("new", dir.Read("f.c"));
  struct stat st;
  ASSERT_EQ(0, ::stat(path.c_str(), &st));
  EXPECT_EQ(0640u, st.st_mode & 07777);
  // A new file takes the creation mask in force when it is made.
  const mode_t mask = ::umask(027);
  EXPECT_EQ(ReplaceResult::kOk, ReplaceFileAtomically(dir.File("g.c"), "new"));
  ::umask(mask);
  ASSERT_EQ(0, ::stat(dir.File("g.c").c_str(), &st));
  EXPECT_EQ(0640u, st.st_mode & 07777);
  EXPECT_EQ(ReplaceResult::kCannotCreate, ReplaceFileAtomically(dir.File("none/f.c"), "x"));
  EXPECT_EQ(ReplaceResult::kCannotCreate, ReplaceFileAtomically(dir.path(), "x"));
  int entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    entries += entry.path().filename().string()[0] == '.' ? 100 : 1;
  }
  EXPECT_EQ(2, entries);  // f.c and g.c, no temporary file left
}

// The names in dir that are temporary files of an atomic replace.
std::vector<std::string> TemporaryFiles(const TempDir& dir) {
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    std::string name;
    if (IsTemporaryFileName(entry.path().filename().string(), name)) found.push_back(name);
  }
  return found;
}

TEST(FileUtilTest, StaleTemporaryFilesOfChosenNamesAreRemoved) {
  std::string name;
  EXPECT_TRUE(IsTemporaryFileName(".bindata.c.tmpAb3dE9", name));
  EXPECT_EQ("bindata.c", name);
  for (const char* other : {"bindata.c.tmpAb3dE9", ".bindata.c.tmpAb3dE", ".x.tmpAb3d-9",
                            ".tmpAb3dE9", ".c.tmpAb3dE9x"}) {
    EXPECT_FALSE(IsTemporaryFileName(other, name)) << other;
  }
  TempDir dir;
  dir.Write(".url.c.tmpQQQQQQ", "half");
  dir.Write(".mine.txt.tmpQQQQQQ", "not ours");
  dir.Write("url.c", "whole");
  std::filesystem::create_directory(dir.File(".dir.c.tmpQQQQQQ"));
  EXPECT_EQ(1, RemoveStaleTemporaryFiles(dir.path(),
                                         [](const std::string& n) { return n.ends_with(".c"); }));
  EXPECT_FALSE(PathExists(dir.File(".url.c.tmpQQQQQQ")));
  EXPECT_TRUE(PathExists(dir.File(".mine.txt.tmpQQQQQQ")));
  EXPECT_TRUE(IsDirectory(dir.File(".dir.c.tmpQQQQQQ")));
  EXPECT_EQ("whole", dir.Read("url.c"));
}

TEST(FileUtilTest, TemporaryFileBeingWrittenIsNotStale) {
  // A cleanup (another command on the same target) runs while a write is
  // half done: the live temporary file stays and the write completes.
  TempDir dir;
  const std::string path = dir.Write("bindata.c", "old");
  dir.Write(".bindata.c.tmpQQQQQQ", "left by a killed build");
  int piece = 0;
  int removed = -1;
  const ReplaceResult result = ReplaceFileAtomicallyInPieces(path, [&]() -> std::string_view {
    if (++piece == 2) {
      removed = RemoveStaleTemporaryFiles(dir.path(), [](const std::string&) { return true; });
    }
    return piece <= 3 ? "new;" : "";
  });
  EXPECT_EQ(ReplaceResult::kOk, result);
  EXPECT_EQ(1, removed);  // only the stale one
  EXPECT_EQ("new;new;new;", dir.Read("bindata.c"));
  EXPECT_FALSE(PathExists(dir.File(".bindata.c.tmpQQQQQQ")));
}

TEST(FileUtilTest, TerminatedWriteLeavesNoTemporaryFile) {
  TempDir dir;
  const std::string path = dir.Write("big.c", "old");
  int ready[2];
  ASSERT_EQ(0, ::pipe(ready));
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    RemoveTemporaryFilesOnSignals();
    int calls = 0;
    ReplaceFileAtomicallyInPieces(path, [&]() -> std::string_view {
      if (calls++ == 0) return "first piece";
      // Half written: tell the test, then wait for its signal.
      if (::write(ready[1], "x", 1) != 1) ::_exit(3);
      for (;;) ::pause();
    });
    ::_exit(4);
  }
  ::close(ready[1]);
  char byte;
  ASSERT_EQ(1, ::read(ready[0], &byte, 1));
  ::close(ready[0]);
  EXPECT_EQ(std::vector<std::string>{"big.c"}, TemporaryFiles(dir));
  ASSERT_EQ(0, ::kill(pid, SIGTERM));
  int status = 0;
  ASSERT_EQ(pid, ::waitpid(pid, &status, 0));
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  EXPECT_TRUE(TemporaryFiles(dir).empty());
  EXPECT_EQ("old", dir.Read("big.c"));
}

TEST(FileUtilTest, FailedReplaceTellsWhy) {
  TempDir dir;
  EXPECT_EQ(ReplaceResult::kCannotCreate, ReplaceFileAtomically(dir.File("none/f.c"), "x"));
  EXPECT_EQ(ENOENT, LastReplaceError());
}

TEST(ProjectLockTest, OneHolderAtATimeAndADeadOneHoldsNothing) {
  TempDir dir;
  const std::string project = dir.File("site.web");
  CProjectLock first(project);
  CProjectLock second(project);
  ASSERT_TRUE(first.TryLock());
  EXPECT_EQ(dir.File(".site.web.lock"), CProjectLock::LockFilePath(project));
  EXPECT_FALSE(second.TryLock());
  EXPECT_FALSE(second.Lock(100));
  EXPECT_EQ(0u, second.BusyMessage().find(project + " is being changed by another process"));
  first.Unlock();
  EXPECT_TRUE(second.TryLock());
  second.Unlock();

  // A holder killed outright leaves the lock free.
  int ready[2];
  ASSERT_EQ(0, ::pipe(ready));
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    CProjectLock held(project);
    if (!held.TryLock() || ::write(ready[1], "x", 1) != 1) ::_exit(3);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char byte;
  ASSERT_EQ(1, ::read(ready[0], &byte, 1));
  ::close(ready[0]);
  EXPECT_FALSE(first.TryLock());
  ASSERT_EQ(0, ::kill(pid, SIGKILL));
  ASSERT_EQ(pid, ::waitpid(pid, nullptr, 0));
  EXPECT_TRUE(first.TryLock());
}

TEST(FileUtilTest, FileFacts) {
  TempDir dir;
  const std::string path = dir.Write("a.bin", std::string(10, 'x'));
  EXPECT_EQ(10, FileSize(path));
  EXPECT_EQ(-1, FileSize(dir.File("none")));
  EXPECT_TRUE(IsRegularFile(path));
  EXPECT_TRUE(IsDirectory(dir.path()));
  EXPECT_FALSE(IsReadOnly(path));
  ::chmod(path.c_str(), 0444);
  EXPECT_TRUE(IsReadOnly(path));
  // 100-ns units since 1601: a file written now lies after 2020.
  EXPECT_GT(LastWriteFileTime(path), 132223104000000000ULL);
  EXPECT_EQ(0u, LastWriteFileTime(dir.File("none")));
}

TEST(FileUtilTest, FileHoldsComparesSizeAndEveryPiece) {
  TempDir dir;
  const std::string path = dir.Write("f.c", "abcdef");
  auto pieces = [](std::vector<std::string_view> parts) {
    return [parts, next = size_t{0}]() mutable {
      return next < parts.size() ? parts[next++] : std::string_view();
    };
  };
  EXPECT_TRUE(FileHolds(path, "abcdef"));
  EXPECT_TRUE(FileHoldsPieces(path, 6, pieces({"ab", "cde", "f"})));
  EXPECT_FALSE(FileHoldsPieces(path, 6, pieces({"ab", "cdx", "f"})));
  EXPECT_FALSE(FileHoldsPieces(path, 6, pieces({"ab", "cde"})));  // fewer bytes than said
  EXPECT_FALSE(FileHoldsPieces(path, 6, pieces({"abcdef", "g"})));
  EXPECT_FALSE(FileHolds(path, "abcde"));
  EXPECT_FALSE(FileHolds(path, "abcdefg"));
  EXPECT_FALSE(FileHolds(dir.File("none"), ""));
  EXPECT_FALSE(FileHolds(dir.path(), ""));
  EXPECT_TRUE(FileHolds(dir.Write("empty", ""), ""));
}

TEST(FileUtilTest, Paths) {
  EXPECT_EQ("/a/c", AbsolutePath("/a/b/../c/./"));
  EXPECT_EQ("/", AbsolutePath("/.."));
  EXPECT_EQ(CurrentDirectory() + "/x", AbsolutePath("x"));
  std::string folder, name;
  SplitPath("/site/docs/index.htm", folder, name);
  EXPECT_EQ("/site/docs", folder);
  EXPECT_EQ("index.htm", name);
  EXPECT_EQ("/site/docs", FolderOf("/site/docs/index.htm"));
  EXPECT_EQ("/", FolderOf("/index.htm"));
  EXPECT_EQ(".", FolderOf("index.htm"));
  SplitPath("plain", folder, name);
  EXPECT_EQ("", folder);
  EXPECT_EQ("plain", name);
}

TEST(TextFormatTest, CrLfReadsAsLf) {
  EXPECT_EQ("a\nb\rc\r\nd\r", CrLfToLf("a\r\nb\rc\r\r\nd\r"));
  EXPECT_EQ("", CrLfToLf(""));
}

TEST(TextFormatTest, FillsPlacesInOrder) {
  EXPECT_EQ("Can't find A in B", FormatText("Can't find %s in %s", {"A", "B"}));
  EXPECT_EQ("x %s", FormatText("%s %s", {"x"}));
  EXPECT_EQ("100% %d y", FormatText("100% %d %s", {"y"}));
}

}  // namespace
