// The binary data file in its compact form (every buffer one string literal
// of exactly the file's length) compiles with gcc and clang in strict modes
// and serves every byte as the byte arrays do; the size report reads it.
#include <gtest/gtest.h>

#include "cli/cli.h"
#include "testing/server_process.h"
#include "tests/e2e/e2e_support.h"

namespace {

TEST(LiteralDataTest, EveryUrlIsServedAsWrittenWithGccAndClang) {
  TempDir sites;
  WriteNastySite(sites, "site");
  // A served file that holds marker comments and a buffer head as text.
  sites.Write("site/bin/markers.bin",
              "/* @! End Binary   */\nconst char buffer_1 [3] =\n/* @! Begin File: x */\n");
  TestProject project(sites.File("site"));
  ASSERT_TRUE(project.ok());
  const std::string arraySizes = [&] {
    std::string out;
    RunProgram({PagoricProgram(), "size", project.projectFile()}, out);
    return out;
  }();
  ASSERT_TRUE(RunOk({PagoricProgram(), "build", project.projectFile(), "--data-form", "literal"}));
  std::string bin = project.dir().Read("gen/bindata.c");
  EXPECT_EQ(std::string::npos, bin.find(" [] =")) << "every buffer was written anew";
  EXPECT_NE(std::string::npos, bin.find("const char buffer_"));
  // The data that holds marker text is no marker: the real one stands once.
  size_t markers = 0;
  for (size_t at = bin.find("@! End Binary"); at != std::string::npos;
       at = bin.find("@! End Binary", at + 1)) {
    ++markers;
  }
  EXPECT_EQ(1u, markers) << bin.substr(0, 2000);
  // The same bytes in flash, whatever the form.
  std::string literalSizes;
  RunProgram({PagoricProgram(), "size", project.projectFile()}, literalSizes);
  EXPECT_EQ(arraySizes, literalSizes);
  project.FillStubs();
  for (const std::string compiler : {"gcc", "clang"}) {
    if (!HaveTool(compiler)) continue;
    SCOPED_TRACE(compiler);
    const std::string program = project.CompileServer(compiler);
    ASSERT_NE("", program);
    ServerProcess server(program, {"--port", "0"}, false);
    ASSERT_NE(0, server.port()) << server.output();
    EXPECT_GE(project.ExpectServesItsSources(server.port()), 10);
    EXPECT_EQ(0, server.Stop());
  }
  // The setting is the project's: a plain build keeps the form.
  ASSERT_TRUE(RunOk({PagoricProgram(), "build", project.projectFile(), "--all"}));
  EXPECT_EQ(std::string::npos, project.dir().Read("gen/bindata.c").find(" [] ="));
  std::string out;
  EXPECT_EQ(
      kExitNotDone,
      RunProgram({PagoricProgram(), "build", project.projectFile(), "--data-form", "hex"}, out));
}

}  // namespace
