// C23 compilers (GCC 15 by default, clang -std=c2x) read "()" in a declaration
// as "(void)". The URL file of a project that an earlier Pagoric built
// declared its HSType field that way; a build brings it up to date when it is
// the skeleton's text, and says how to change it when it is not.
#include <gtest/gtest.h>

#include "cli/cli.h"
#include "tests/e2e/e2e_support.h"

namespace {

// The declarations of the URL file as the skeletons before C23 wrote them.
// A file that holds them already stays as it is.
std::string AsEarlierVersionWroteIt(std::string text) {
  const auto replace = [&](const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
  };
  const std::string last = "typedef void (*HSTypeBinaryCall)(unsigned long, int);\r\n";
  const size_t from = text.find("/* Every HSType function");
  const size_t to = text.find(last);
  if (from != std::string::npos && to != std::string::npos) {
    text.replace(from, to + last.size() - from,
                 "typedef void (*HSTypeFnHtml)(unsigned long);\r\n"
                 "typedef void (*HSTypeFnBinary)(unsigned long, int);\r\n");
  }
  replace("    HSTypeFn       hstype;     /* HSType function to call */",
          "    void           (*hstype)();/* HSType function to call */");
  replace("((HSTypeHtmlCall)URLTable[i].hstype) (handle);", "(*URLTable[i].hstype) (handle);");
  replace("((HSTypeBinaryCall)URLTable[i].hstype) (handle, URLTable[i].len);",
          "(*URLTable[i].hstype) (handle, URLTable[i].len);");
  return text;
}

// Compiles the URL file with clang 16 in C23 mode; the rest of an old
// skeleton may draw warnings, but no error.
bool CompilesAsC23(const TestProject& project) {
  std::vector<std::string> args = {"clang-16"};
  for (const std::string& flag : StrictFlags("clang-16", CFileKind::kUrlFile, "c2x")) {
    args.push_back(flag);
  }
  args.insert(args.end(), {"-Wno-error", "-fsyntax-only", project.dir().File("gen/url.c")});
  return RunOk(args);
}

TEST(C23Test, BuildUpdatesTheUrlFileOfAnEarlierVersion) {
  if (!HaveTool("clang-16")) GTEST_SKIP() << "clang-16 is not installed";
  TestProject project(DemoSite());
  ASSERT_TRUE(project.ok());
  const std::string old = AsEarlierVersionWroteIt(project.dir().Read("gen/url.c"));
  ASSERT_NE(std::string::npos, old.find("(*hstype)();"));
  project.dir().Write("gen/url.c", old);

  std::string output;
  ASSERT_EQ(kExitOk, RunProgram({PagoricProgram(), "build", project.projectFile()}, output))
      << output;
  EXPECT_EQ(std::string::npos, output.find("Warning")) << output;
  const std::string updated = project.dir().Read("gen/url.c");
  EXPECT_EQ(std::string::npos, updated.find("(*hstype)();"));
  EXPECT_NE(std::string::npos, updated.find("    HSTypeFn       hstype;"));
  EXPECT_TRUE(CompilesAsC23(project));
}

TEST(C23Test, BuildWarnsOnceAboutAnOldDeclarationTheUserChanged) {
  TestProject project(DemoSite());
  ASSERT_TRUE(project.ok());
  std::string old = AsEarlierVersionWroteIt(project.dir().Read("gen/url.c"));
  const std::string call = "              (*URLTable[i].hstype) (handle);\r\n";
  const size_t at = old.find(call);
  ASSERT_NE(std::string::npos, at);
  old.insert(at + call.size(), "              /* my own line */\r\n");
  project.dir().Write("gen/url.c", old);

  std::string output;
  ASSERT_EQ(kExitOk,
            RunProgram({PagoricProgram(), "build", project.projectFile(), "--all"}, output))
      << output;
  const std::string warning = "Warning: " + project.dir().File("gen/url.c") + " declares";
  const size_t first = output.find(warning);
  EXPECT_NE(std::string::npos, first) << output;
  EXPECT_EQ(std::string::npos, output.find(warning, first + 1)) << output;
  EXPECT_NE(std::string::npos, output.find("\"HSTypeFn hstype;\"")) << output;
  // The build changed the table, nothing of the user's.
  const std::string after = project.dir().Read("gen/url.c");
  EXPECT_NE(std::string::npos, after.find("(*URLTable[i].hstype) (handle);\r\n"
                                          "              /* my own line */\r\n"));
  EXPECT_NE(std::string::npos, after.find("(*hstype)();"));
}

}  // namespace
