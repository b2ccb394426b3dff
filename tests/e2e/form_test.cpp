// Forms as the firmware gets them: an ACTION that several pages post to has
// one handler in the whole project, whatever the builds convert, so the
// firmware links; a form without an ACTION makes no URL and no handler.
#include <gtest/gtest.h>

#include "cli/cli.h"
#include "testing/http_client.h"
#include "testing/server_process.h"
#include "tests/e2e/e2e_support.h"

namespace {

int CountIn(const std::string& text, const std::string& needle) {
  int count = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
    ++count;
  }
  return count;
}

TEST(FormTest, SharedActionHasOneHandlerAcrossBuildsAndEmptyActionNone) {
  if (!HaveTool("gcc")) GTEST_SKIP() << "gcc is not installed";
  TempDir sites;
  sites.Write("site/a.htm", "<form method=\"post\" action=\"search\"><input name=q></form>\n");
  sites.Write("site/b.htm", "<form method=post action=search><input name=q></form>\n");
  sites.Write("site/c.htm", "<form action=\"\" method=\"post\"><input name=q></form>\n");
  TestProject project(sites.File("site"));
  ASSERT_TRUE(project.ok());

  // The log says which form was skipped.
  std::string output;
  ASSERT_EQ(kExitOk,
            RunProgram({PagoricProgram(), "build", project.projectFile(), "--all"}, output))
      << output;
  EXPECT_NE(std::string::npos,
            output.find("_c.c    o.k.\n    A form with an empty ACTION is skipped: it gets no URL "
                        "and no handler.\n"))
      << output;

  // A plain build that converts the second page alone.
  sites.Write("site/b.htm", "<p>Changed</p><form method=post action=search></form>\n");
  ASSERT_EQ(kExitOk, RunProgram({PagoricProgram(), "build", project.projectFile()}, output))
      << output;
  EXPECT_NE(std::string::npos, output.find("b.htm ---> ")) << output;
  EXPECT_EQ(std::string::npos, output.find("a.htm ---> ")) << output;
  int stubs = 0;
  for (const std::string& page : project.Files().m_pageFiles) {
    const std::string text = project.dir().Read(page);
    stubs += CountIn(text, "void Post_search(");
    EXPECT_EQ(0, CountIn(text, "Post_method")) << page;
  }
  EXPECT_EQ(1, stubs);
  const std::string url = project.dir().Read("gen/url.c");
  EXPECT_EQ(1, CountIn(url, "\"/search\""));
  EXPECT_EQ(0, CountIn(url, "\"/method\""));

  // The firmware links, and the one handler answers the form.
  EXPECT_EQ(1, project.FillStubs());
  const std::string program = project.CompileServer("gcc");
  ASSERT_NE("", program);
  ServerProcess server(program, {"--port", "0"}, false);
  ASSERT_NE(0, server.port()) << server.output();
  const HttpReply reply =
      Request(server.port(), "POST", "/search",
              "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 3\r\n", "q=1");
  EXPECT_EQ("HTTP/1.1 200 OK", reply.statusLine);
  EXPECT_EQ("[Post_search:q=1]", reply.body);
  EXPECT_EQ("HTTP/1.1 404 Not Found", Request(server.port(), "GET", "/method").statusLine);
  EXPECT_EQ(0, server.Stop());
}

}  // namespace
