// The URL file and the binary data file compile for the firmware's own target,
// an ARM Cortex-M4, with the compiler the users build their firmware with.
#include <gtest/gtest.h>

#include "tests/e2e/e2e_support.h"

namespace {

TEST(CrossCompileTest, UrlAndBinaryDataFilesCompileForCortexM4) {
  const std::string compiler = "arm-none-eabi-gcc";
  if (!HaveTool(compiler)) GTEST_SKIP() << compiler << " is not installed";
  TempDir sites;
  WriteNastySite(sites, "site");
  TestProject project(sites.File("site"));
  ASSERT_TRUE(project.ok());
  const CPreviewFiles files = project.Files();
  const std::vector<std::string> strict = {compiler,   "-mcpu=cortex-m4", "-mthumb",
                                           "-std=c99", "-pedantic",       "-Wall",
                                           "-Wextra",  "-Werror",         "-I" + HostServerDir()};
  std::vector<std::string> url = strict;
  // SearchURL does not use its handle.
  url.insert(url.end(), {"-Wno-unused-parameter", "-c", files.m_strUrlFile, "-o",
                         project.dir().File("url.o")});
  EXPECT_TRUE(RunOk(url));
  std::vector<std::string> bin = strict;
  bin.insert(bin.end(), {"-c", files.m_strBinFile, "-o", project.dir().File("bindata.o")});
  EXPECT_TRUE(RunOk(bin));
}

}  // namespace
