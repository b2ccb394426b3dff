// The tests of the file helpers that need what only POSIX systems have:
// permission bits and the creation mask, fork and signals. Built on POSIX
// systems only.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string_view>
#include <vector>

#include "platform/file_util.h"
#include "platform/project_lock.h"
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

TEST(ProjectLockTest, ADeadHolderHoldsNothing) {
  // A holder killed outright leaves the lock free.
  TempDir dir;
  const std::string project = dir.File("site.web");
  CProjectLock first(project);
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

}  // namespace
