#include "platform/dir_list.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "platform/instance_lock.h"
#include "testing/temp_dir.h"

namespace {

TEST(WildcardTest, MatchesWholeNamesInEitherCase) {
  EXPECT_TRUE(MatchesWildcard("index.htm", "*.htm*"));
  EXPECT_TRUE(MatchesWildcard("INDEX.HTML", "*.htm*"));
  EXPECT_FALSE(MatchesWildcard("index.htm.bak", "*.txt"));
  EXPECT_TRUE(MatchesWildcard("a.b.c.jpg", "*.jpg"));
  EXPECT_FALSE(MatchesWildcard("x.jpeg", "*.jpg"));
  EXPECT_TRUE(MatchesWildcard("ab", "a?"));
  EXPECT_FALSE(MatchesWildcard("abc", "a?"));
  // The all-files filter also lists names without a dot.
  EXPECT_TRUE(MatchesWildcard("Makefile", "*.*"));
  EXPECT_TRUE(MatchesWildcard("", "*"));
  EXPECT_FALSE(MatchesWildcard("", "?"));
}

TEST(DirListTest, TellsFoldersAndLinkedFoldersFromFiles) {
  TempDir dir;
  dir.Write("a.txt", "x");
  std::filesystem::create_directory(dir.File("sub"));
  std::filesystem::create_directory_symlink(dir.File("sub"), dir.File("link"));
  std::vector<CDirEntry> entries;
  ASSERT_TRUE(ListDirectory(dir.path(), entries));
  std::sort(entries.begin(), entries.end(),
            [](const CDirEntry& a, const CDirEntry& b) { return a.m_strName < b.m_strName; });
  ASSERT_EQ(3u, entries.size());
  EXPECT_EQ("a.txt", entries[0].m_strName);
  EXPECT_FALSE(entries[0].m_bFolder);
  EXPECT_TRUE(entries[1].m_bFolder);  // link
  EXPECT_TRUE(entries[2].m_bFolder);  // sub
  EXPECT_FALSE(ListDirectory(dir.File("missing"), entries));
}

// The lock is per process and the kernel lets it go when its holder dies,
// even by SIGKILL.
TEST(FileLockTest, OneHolderAtATimeAndFreedByDeath) {
  TempDir dir;
  const std::string path = dir.File("instance.lock");
  int ready[2];
  ASSERT_EQ(0, ::pipe(ready));
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    CFileLock lock;
    char c = lock.TryLock(path) ? '1' : '0';
    (void)!::write(ready[1], &c, 1);
    ::pause();
    ::_exit(0);
  }
  char c = 0;
  ASSERT_EQ(1, ::read(ready[0], &c, 1));
  ASSERT_EQ('1', c);
  CFileLock lock;
  EXPECT_FALSE(lock.TryLock(path));
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_TRUE(lock.TryLock(path));
  EXPECT_TRUE(lock.IsLocked());
  ::close(ready[0]);
  ::close(ready[1]);
}

}  // namespace
