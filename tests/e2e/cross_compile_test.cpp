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
  const auto compile = [&](CFileKind kind, const std::string& source, const std::string& object) {
    std::vector<std::string> args = {compiler, "-mcpu=cortex-m4", "-mthumb"};
    for (const std::string& flag : StrictFlags(compiler, kind)) args.push_back(flag);
    args.insert(args.end(), {"-c", source, "-o", project.dir().File(object)});
    return RunOk(args);
  };
  EXPECT_TRUE(compile(CFileKind::kUrlFile, files.m_strUrlFile, "url.o"));
  EXPECT_TRUE(compile(CFileKind::kBinFile, files.m_strBinFile, "bindata.o"));
}

}  // namespace
