#include "platform/file_util.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string_view>
#include <vector>

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
