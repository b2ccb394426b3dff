#include "platform/path.h"

#include <gtest/gtest.h>

namespace {

constexpr PathFlavor kPosix = PathFlavor::kPosix;
constexpr PathFlavor kWin = PathFlavor::kWindows;

TEST(PathTest, RootsAndAbsolutePathsOfBothFlavours) {
  struct Case {
    const char* path;
    size_t posixRoot;
    bool posixAbsolute;
    size_t winRoot;
    bool winAbsolute;
  };
  const Case cases[] = {
      {"/home/a", 1, true, 1, false},  // on Windows: the working drive's root
      {"home/a", 0, false, 0, false},
      {"", 0, false, 0, false},
      {"C:\\web\\a.htm", 0, false, 3, true},
      {"c:/web/a.htm", 0, false, 3, true},
      {"C:", 0, false, 2, false},
      {"C:web", 0, false, 2, false},  // relative to drive C's working directory
      {"\\\\server\\share\\web", 0, false, 15, true},
      {"//server/share", 1, true, 14, true},
      {"\\\\server", 0, false, 1, false},  // no share: no UNC root
      {"\\web", 0, false, 1, false},
      {"1:\\x", 0, false, 0, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.posixRoot, PathRootLength(c.path, kPosix)) << c.path;
    EXPECT_EQ(c.posixAbsolute, IsAbsolutePath(c.path, kPosix)) << c.path;
    EXPECT_EQ(c.winRoot, PathRootLength(c.path, kWin)) << c.path;
    EXPECT_EQ(c.winAbsolute, IsAbsolutePath(c.path, kWin)) << c.path;
  }
  EXPECT_EQ(kWin, FlavorOfPath("D:\\p"));
  EXPECT_EQ(kWin, FlavorOfPath("\\\\nas\\web\\p"));
  EXPECT_EQ(kPosix, FlavorOfPath("/home/p"));
  EXPECT_EQ('\\', PathSeparatorOf(kWin));
  EXPECT_EQ('/', PathSeparatorOf(kPosix));
}

TEST(PathTest, SplitAndFolderKnowBothSeparatorsOnWindowsOnly) {
  std::string folder, name;
  SplitPath("C:\\web/pages\\a b.htm", folder, name, kWin);
  EXPECT_EQ("C:\\web/pages", folder);
  EXPECT_EQ("a b.htm", name);
  SplitPath("/home/u/back\\slash.htm", folder, name, kPosix);
  EXPECT_EQ("/home/u", folder);
  EXPECT_EQ("back\\slash.htm", name);  // a POSIX file name may hold a backslash

  EXPECT_EQ("C:\\", FolderOf("C:\\a.htm", kWin));
  EXPECT_EQ("C:/", FolderOf("C:/a.htm", kWin));
  EXPECT_EQ("C:\\web", FolderOf("C:\\web\\a.htm", kWin));
  EXPECT_EQ("\\\\nas\\share\\", FolderOf("\\\\nas\\share\\a.htm", kWin));
  EXPECT_EQ("\\\\nas\\share\\web", FolderOf("\\\\nas\\share\\web\\a.htm", kWin));
  EXPECT_EQ(".", FolderOf("a.htm", kWin));
  EXPECT_EQ("/", FolderOf("/a.htm", kPosix));
  EXPECT_EQ("/home", FolderOf("/home/a.htm", kPosix));
  EXPECT_EQ(".", FolderOf("a.htm", kPosix));
  EXPECT_EQ(".", FolderOf("C:\\a.htm", kPosix));  // one name on POSIX
}

TEST(PathTest, AbsolutePathsAreMadeLexically) {
  EXPECT_EQ("/home/u/web/a.htm", AbsolutePathIn("web/./x/../a.htm", "/home/u", kPosix));
  EXPECT_EQ("/a", AbsolutePathIn("/../../a/", "/home", kPosix));
  EXPECT_EQ("/", AbsolutePathIn("..", "/", kPosix));
  EXPECT_EQ("/home/u/C:\\x", AbsolutePathIn("C:\\x", "/home/u", kPosix));

  EXPECT_EQ("C:\\work\\web\\a.htm", AbsolutePathIn("web/a.htm", "C:\\work", kWin));
  EXPECT_EQ("D:\\a.htm", AbsolutePathIn("D:/x/../a.htm", "C:\\work", kWin));
  EXPECT_EQ("C:\\", AbsolutePathIn("C:/..", "C:\\work", kWin));
  EXPECT_EQ("C:\\top\\a", AbsolutePathIn("\\top\\a", "C:\\work", kWin));
  EXPECT_EQ("C:\\work\\a", AbsolutePathIn("c:a", "C:\\work", kWin));
  EXPECT_EQ("D:\\a", AbsolutePathIn("D:a", "C:\\work", kWin));
  // ".." never climbs above a share.
  EXPECT_EQ("\\\\nas\\web\\a", AbsolutePathIn("//nas/web/x/../../a", "C:\\", kWin));
  EXPECT_EQ("\\\\nas\\web\\top", AbsolutePathIn("\\top", "\\\\nas\\web\\x", kWin));
}

TEST(PathTest, SeparatorsConvertBetweenFlavours) {
  EXPECT_EQ("\\site\\a.htm", ConvertSeparators("/site/a.htm", kPosix, kWin));
  EXPECT_EQ("/site/a b.htm", ConvertSeparators("\\site/a b.htm", kWin, kPosix));
  EXPECT_EQ("/x\\y", ConvertSeparators("/x\\y", kPosix, kPosix));
}

}  // namespace
