// A build holds neither a binary source nor the binary data file whole: a
// source of the largest size a URL table entry can give (2 GiB less one byte,
// sparse on disk) builds under an address-space limit far below the file's
// size, and the peak memory of the build stays small.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>

#include "tests/e2e/e2e_support.h"

#if defined(__SANITIZE_ADDRESS__)
#define PAGORIC_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PAGORIC_UNDER_ASAN 1
#endif
#endif

namespace {

TEST(BoundedMemoryTest, ATwoGibibyteSourceBuildsInLittleMemory) {
#ifdef PAGORIC_UNDER_ASAN
  GTEST_SKIP() << "the sanitizer's shadow memory does not run under an address-space limit";
#else
  namespace fs = std::filesystem;
  constexpr std::uintmax_t kSourceBytes = 2147483647;  // the largest a build converts
  // The array text takes five characters per byte and a line end per 20.
  constexpr std::uintmax_t kDiskNeeded = kSourceBytes / 20 * 102 + (std::uintmax_t{2} << 30);
  TempDir dir;
  if (fs::space(dir.path()).available < kDiskNeeded) {
    GTEST_SKIP() << "needs " << kDiskNeeded / (1 << 20) << " MiB free in " << dir.path();
  }
  dir.Write("site/index.htm", "<p>big</p>\n");
  dir.Write("site/big.bin", "");
  fs::resize_file(dir.File("site/big.bin"), kSourceBytes);
  const std::string project = dir.File("p.web");
  ASSERT_TRUE(RunOk({PagoricProgram(), "new", project, "--target", dir.File("gen")}));
  ASSERT_TRUE(RunOk({PagoricProgram(), "import", project, dir.File("site")}));
  // 1 GiB of address space: a build that held the source alone would not fit,
  // let alone its 10 GiB of array text.
  ASSERT_TRUE(RunOk({"sh", "-c", "ulimit -v 1048576 && exec \"$0\" build \"$1\" --all --yes",
                     PagoricProgram(), project}));
  rusage usage{};
  ASSERT_EQ(0, ::getrusage(RUSAGE_CHILDREN, &usage));
  EXPECT_LE(usage.ru_maxrss, 128 * 1024) << "peak resident memory of the build, KiB";

  const std::string bin = dir.File("gen/bindata.c");
  EXPECT_GT(fs::file_size(bin), kSourceBytes / 20 * 102);
  // The last row holds the last 7 bytes, without a comma after the last.
  std::ifstream in(bin, std::ios::binary);
  in.seekg(-65536, std::ios::end);
  const std::string tail((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(std::string::npos,
            tail.find("0x00,0x00,0x00,0x00,0x00,0x00,0x00\r\n};  /* @! End File: " +
                      dir.File("site/big.bin") + " */"))
      << tail.substr(0, 400);
  EXPECT_NE(std::string::npos, dir.Read("gen/url.c").find(", 2147483647, Unprotected"));
  fs::remove(bin);
#endif
}

}  // namespace
