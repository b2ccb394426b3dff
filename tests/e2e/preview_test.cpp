// `pagoric preview` run as users run it: the real program builds, compiles
// with the system's C compiler and serves until it is stopped.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "platform/file_util.h"
#include "testing/http_client.h"
#include "testing/server_process.h"
#include "tests/e2e/e2e_support.h"

namespace {

// Points TMPDIR, where a preview makes its scratch folder, at a folder of the
// test while it lives.
class ScopedTmpDir {
 public:
  explicit ScopedTmpDir(const std::string& path) {
    if (const char* old = std::getenv("TMPDIR")) m_old = old, m_hadOld = true;
    ::setenv("TMPDIR", path.c_str(), 1);
  }
  ~ScopedTmpDir() {
    if (m_hadOld) {
      ::setenv("TMPDIR", m_old.c_str(), 1);
    } else {
      ::unsetenv("TMPDIR");
    }
  }

 private:
  std::string m_old;
  bool m_hadOld = false;
};

TEST(PreviewCommandTest, ServesTheProjectUntilStoppedAndCleansUp) {
  if (!HaveTool("cc")) GTEST_SKIP() << "cc is not installed";
  TestProject project(DemoSite());
  ASSERT_TRUE(project.ok());
  // A C file of the user's own beside the generated ones is not compiled.
  project.dir().Write(project.TargetDir() + "/stray.c", "#error not part of the project\n");

  TempDir scratch;
  ScopedTmpDir tmp(scratch.path());
  ServerProcess preview(PagoricProgram(), {"preview", project.projectFile(), "--port", "0"}, false);
  ASSERT_NE(0, preview.port()) << preview.output();
  const std::string address = "http://127.0.0.1:" + std::to_string(preview.port());
  EXPECT_EQ("Serving on " + address + "/", preview.firstLine());
  EXPECT_EQ("Open " + address + "/index.htm in your browser; Ctrl+C stops the server.",
            preview.ReadLine());

  const HttpReply home = Request(preview.port(), "GET", "/index.htm");
  EXPECT_EQ("HTTP/1.1 200 OK", home.statusLine);
  // Untouched dynamic function stubs send nothing.
  EXPECT_EQ(
      WithMarkersReplaced(TextModeRead(DemoSite() + "/index.htm"), {"na_Uptime", "na_PumpState"},
                          [](const std::string&) { return ""; }),
      home.body);
  std::string logo;
  ASSERT_TRUE(ReadWholeFile(DemoSite() + "/img/logo.gif", logo));
  EXPECT_TRUE(SameBytes(logo, Request(preview.port(), "GET", "/img/logo.gif").body));

  // SIGTERM to pagoric reaches the server, which stops cleanly; the scratch
  // folder goes with it.
  EXPECT_EQ(0, preview.Stop());
  EXPECT_TRUE(std::filesystem::is_empty(scratch.path()));
}

TEST(PreviewCommandTest, CompileErrorShowsTheCompilersMessageAndTheFile) {
  if (!HaveTool("cc")) GTEST_SKIP() << "cc is not installed";
  TempDir sites;
  sites.Write("site/index.htm", "<p>_NZZA_Broken</p>\n");
  TestProject project(sites.File("site"));
  ASSERT_TRUE(project.ok());
  const std::string page = project.Files().m_pageFiles.at(0);
  std::string text = project.dir().Read(page);
  const std::string comment = "    /* add your implementation here: */";
  ASSERT_NE(std::string::npos, text.find(comment));
  const size_t at = text.find(comment);
  text.replace(at, comment.size(), "    this is not C;");
  project.dir().Write(page, text);
  const auto line = std::count(text.begin(), text.begin() + static_cast<long>(at), '\n') + 1;

  TempDir scratch;
  ScopedTmpDir tmp(scratch.path());
  std::string output;
  EXPECT_EQ(
      1, RunProgram({PagoricProgram(), "preview", project.projectFile(), "--port", "0"}, output));
  EXPECT_NE(std::string::npos, output.find("pagoric preview: cannot compile " + page + ":\n"))
      << output;
  // The compiler's own words, which point at the line.
  EXPECT_NE(std::string::npos, output.find(page + ":" + std::to_string(line) + ":")) << output;
  EXPECT_EQ(std::string::npos, output.find("Serving on")) << output;
  EXPECT_TRUE(std::filesystem::is_empty(scratch.path()));
}

}  // namespace
