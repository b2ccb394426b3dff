#include "platform/dir_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

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
  std::error_code linked;
  std::filesystem::create_directory_symlink(dir.File("sub"), dir.File("link"), linked);
  if (linked) GTEST_SKIP() << "no symbolic link can be made here: " << linked.message();
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

}  // namespace
