#include "platform/file_util.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string_view>
#include <vector>

#include "document/generated_files.h"
#include "platform/project_lock.h"
#include "platform/text_format.h"
#include "testing/temp_dir.h"

namespace {

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

TEST(FileUtilTest, FailedReplaceTellsWhy) {
  TempDir dir;
  int error = 0;
  EXPECT_EQ(ReplaceResult::kCannotCreate, ReplaceFileAtomically(dir.File("none/f.c"), "x", &error));
  EXPECT_EQ(ENOENT, error);
}

TEST(ProjectLockTest, OneHolderAtATime) {
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
}

TEST(FileUtilTest, FileFacts) {
  TempDir dir;
  const std::string path = dir.Write("a.bin", std::string(10, 'x'));
  EXPECT_EQ(10, FileSize(path));
  EXPECT_EQ(-1, FileSize(dir.File("none")));
  EXPECT_TRUE(IsRegularFile(path));
  EXPECT_TRUE(IsDirectory(dir.path()));
  EXPECT_FALSE(IsReadOnly(path));
  std::filesystem::permissions(path, std::filesystem::perms::owner_read |
                                         std::filesystem::perms::group_read |
                                         std::filesystem::perms::others_read);
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
  if (kNativePathFlavor != PathFlavor::kPosix)
    GTEST_SKIP() << "expects POSIX path text (PathTest has the Windows rules)";
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
