// `pagoric size` on the demo: every figure equals what the built firmware
// really holds for the URL, a binary's array being its file and a page's
// literals the bytes the page sends plus one terminating zero per HSSend.
#include <gtest/gtest.h>

#include <regex>

#include "build/flash_size.h"
#include "platform/file_util.h"
#include "testing/http_client.h"
#include "testing/server_process.h"
#include "tests/e2e/e2e_support.h"

namespace {

TEST(SizeCommandTest, DemoFiguresAreTheArraysAndLiteralsItHolds) {
  if (!HaveTool("gcc")) GTEST_SKIP() << "gcc is not installed";
  TestProject project(DemoSite());
  ASSERT_TRUE(project.ok());
  std::string json;
  ASSERT_EQ(0, RunProgram({PagoricProgram(), "size", project.projectFile(), "--json"}, json))
      << json;
  const std::string program = project.CompileServer("gcc");
  ASSERT_NE("", program);
  ServerProcess server(program, {"--port", "0"}, true);
  ASSERT_NE(0, server.port()) << server.output();

  const std::regex entry(
      "\\{\"url\": \"([^\"]+)\", \"kind\": \"([A-Za-z]+)\", \"bytes\": ([0-9]+), \"built\": "
      "true\\}");
  long long total = 0, previous = -1;
  int urls = 0;
  for (auto it = std::sregex_iterator(json.begin(), json.end(), entry);
       it != std::sregex_iterator(); ++it, ++urls) {
    const std::string url = (*it)[1];
    const std::string kind = (*it)[2];
    const long long bytes = std::stoll((*it)[3]);
    SCOPED_TRACE(url);
    if (previous >= 0) {
      EXPECT_LE(bytes, previous) << "largest first";
    }
    previous = bytes;
    total += bytes;
    const std::string body = Request(server.port(), "GET", url).body;
    if (kind == "Html" || kind == "Text") {
      std::string page;
      const std::string file =
          project.TargetDir() + "/_" + std::regex_replace(url.substr(1), std::regex("/"), "_");
      ASSERT_TRUE(ReadWholeFile(file.substr(0, file.rfind('.')) + ".c", page));
      const std::string section = HtmlPageSection(page);
      long long sends = 0;
      for (size_t at = section.find("HSSend (handle, "); at != std::string::npos;
           at = section.find("HSSend (handle, ", at + 1))
        ++sends;
      // The demo's dynamic functions are empty stubs: the page sends its literals only.
      EXPECT_EQ(static_cast<long long>(body.size()) + sends, bytes);
    } else {
      EXPECT_EQ(FileSize(DemoSite() + url), bytes);
      EXPECT_EQ(static_cast<long long>(body.size()), bytes);
    }
  }
  EXPECT_EQ(9, urls) << json;
  EXPECT_NE(std::string::npos, json.find("\"total\": " + std::to_string(total))) << json;
  server.Stop();

  // A budget below the total fails; at the total it passes.
  std::string output;
  EXPECT_EQ(1, RunProgram({PagoricProgram(), "size", project.projectFile(), "--max-bytes",
                           std::to_string(total - 1)},
                          output));
  EXPECT_NE(std::string::npos, output.find("exceed --max-bytes")) << output;
  EXPECT_EQ(0, RunProgram({PagoricProgram(), "size", project.projectFile(), "--max-bytes",
                           std::to_string(total)},
                          output))
      << output;
}

}  // namespace
