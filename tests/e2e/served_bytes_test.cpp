// The demo project and a nasty one, built by pagoric, compiled with gcc and
// clang in a strict mode together with the host web server, and fetched URL by
// URL: every body must be its source, byte for byte.
#include <gtest/gtest.h>

#include <tuple>

#include "testing/server_process.h"
#include "tests/e2e/e2e_support.h"

namespace {

struct ServedCase {
  const char* site;  // "demo" or "nasty"
  const char* compiler;
  int stubs;  // dynamic functions and form handlers of the site
  int urls;   // entries of its URL table
  const char* standard = "c99";
};

void PrintTo(const ServedCase& c, std::ostream* os) {
  *os << c.site << " with " << c.compiler << " -std=" << c.standard;
}

class ServedAsWrittenTest : public ::testing::TestWithParam<ServedCase> {};

TEST_P(ServedAsWrittenTest, EveryUrlOfTheTable) {
  const ServedCase& c = GetParam();
  if (!HaveTool(c.compiler)) GTEST_SKIP() << c.compiler << " is not installed";
  TempDir sites;
  std::string site = DemoSite();
  if (std::string(c.site) == "nasty") {
    WriteNastySite(sites, "site");
    site = sites.File("site");
  }
  TestProject project(site);
  ASSERT_TRUE(project.ok());

  // The user's code in the stubs survives the next build.
  EXPECT_EQ(c.stubs, project.FillStubs());
  ASSERT_TRUE(project.Build());
  for (const auto& [page, names] : project.filledStubs()) {
    const std::string text = project.dir().Read(page);
    for (const std::string& name : names)
      EXPECT_NE(std::string::npos, text.find("HSSend (handle, \"[" + name)) << page << " " << name;
  }

  const std::string program = project.CompileServer(c.compiler, c.standard);
  ASSERT_NE("", program);
  ServerProcess server(program, {"--port", "0"}, false);
  ASSERT_NE(0, server.port()) << server.output();
  EXPECT_EQ(c.urls, project.ExpectServesItsSources(server.port()));
  EXPECT_EQ(0, server.Stop());
}

INSTANTIATE_TEST_SUITE_P(, ServedAsWrittenTest,
                         ::testing::Values(ServedCase{"demo", "gcc", 4, 10},
                                           ServedCase{"demo", "clang", 4, 10},
                                           ServedCase{"nasty", "gcc", 9, 15},
                                           ServedCase{"nasty", "clang", 9, 15},
                                           // C23, where "()" declares no parameters.
                                           ServedCase{"demo", "clang-16", 4, 10, "c2x"},
                                           ServedCase{"nasty", "clang-16", 9, 15, "c2x"}),
                         [](const ::testing::TestParamInfo<ServedCase>& info) {
                           std::string name = std::string(info.param.site) + "_" +
                                              info.param.compiler + "_" + info.param.standard;
                           for (char& c : name) {
                             if (c == '-') c = '_';
                           }
                           return name;
                         });

}  // namespace
