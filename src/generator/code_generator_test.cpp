#include "generator/code_generator.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "generator/security_table.h"
#include "generator/test_support.h"
#include "generator/url_table.h"
#include "platform/file_util.h"
#include "testing/scripted_prompter.h"

namespace {

const std::string kTestData = PAGORIC_GENERATOR_TESTDATA;

std::string Golden(const std::string& name) {
  std::string text;
  EXPECT_TRUE(ReadWholeFile(kTestData + "/" + name, text)) << name;
  return text;
}

// The written file with its path put back to the golden files' placeholder.
std::string Normalised(const TempDir& dir, const std::string& path) {
  std::string text = dir.Read(path);
  const size_t at = text.find(path);
  if (at != std::string::npos) text.replace(at, path.size(), "@PATH@");
  return text;
}

TEST(SkeletonTest, WrittenFilesMatchTheirTemplatesAndAreRecognised) {
  TempDir dir;
  ScriptedPrompter prompter;
  CCodeGenerator generator(prompter);
  const std::string url = WriteUrlFile(dir);
  const std::string bin = WriteBinFile(dir);
  const std::string page = WritePageFile(dir);

  EXPECT_EQ(Normalised(dir, url), CrLf(Golden("url_file.golden")));
  EXPECT_EQ(Normalised(dir, bin), CrLf(Golden("bin_file.golden")));
  EXPECT_EQ(Normalised(dir, page), CrLf(Golden("page_file.golden")));
  EXPECT_EQ(dir.Read(url).rfind("/* C file: " + url + " created\r\n", 0), 0u);

  EXPECT_EQ(generator.IsUrlFile(url), 1);
  EXPECT_EQ(generator.IsBinFile(bin), 1);
  EXPECT_EQ(generator.IsPageFile(page), 1);
  // Each kind is told from the others.
  EXPECT_EQ(generator.IsUrlFile(bin), 0);
  EXPECT_EQ(generator.IsUrlFile(page), 0);
  EXPECT_EQ(generator.IsBinFile(url), 0);
  EXPECT_EQ(generator.IsPageFile(url), 0);
  EXPECT_TRUE(prompter.shown().empty());
}

TEST(SkeletonTest, WriterRefusesPathsItCannotWriteIntoTheBanner) {
  TempDir dir;
  ScriptedPrompter prompter;
  CCodeGenerator generator(prompter);
  generator.SetDateSource([] { return std::string(kTestDate); });

  const std::string commentEnd = dir.File("a*/url.c");
  ASSERT_TRUE(CreateOneDirectory(dir.File("a*")));
  EXPECT_EQ(generator.WriteUrlFileSkeleton(commentEnd), 0);
  EXPECT_FALSE(PathExists(commentEnd));

  const std::string missingDir = dir.File("missing/url.c");
  EXPECT_EQ(generator.WriteUrlFileSkeleton(missingDir), 0);

  const std::string readOnly = dir.Write("ro.c", "");
  ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
  const bool canDetect = IsReadOnly(readOnly);  // not when the tests run as root
  EXPECT_EQ(generator.WriteBinFileSkeleton(readOnly), canDetect ? 0 : 1);

  std::vector<std::string> expected = {
      "File " + commentEnd +
          " cannot be generated: its path holds \"*/\" or a control character, which would "
          "break the C comment that names it.",
      "File " + missingDir + " cannot be written."};
  if (canDetect) expected.push_back("File " + readOnly + " cannot be written.");
  EXPECT_EQ(prompter.Texts(), expected);
}

TEST(BannerDateTest, UsesCLocaleNamesAndTwoDigitFields) {
  std::tm time{};
  time.tm_year = 2026 - 1900;
  time.tm_mon = 8;
  time.tm_mday = 6;
  time.tm_wday = 3;
  time.tm_hour = 4;
  time.tm_sec = 9;
  EXPECT_EQ(FormatBannerDate(time), "Wednesday, September 06, 2026 04:00:09");
}

TEST(BannerDateTest, SourceDateEpochGivesThatTimeInUtc) {
  const char* old = std::getenv("SOURCE_DATE_EPOCH");
  const std::string saved = old ? old : "";
  ::setenv("TZ", "XYZ+7", 1);  // a local time seven hours behind UTC must not matter
  ::tzset();
  ::setenv("SOURCE_DATE_EPOCH", "1796531589", 1);
  EXPECT_EQ(CurrentBannerDate(), "Sunday, December 06, 2026 04:33:09");
  ::setenv("SOURCE_DATE_EPOCH", "0", 1);
  EXPECT_EQ(CurrentBannerDate(), "Thursday, January 01, 1970 00:00:00");
  // Not a number of seconds: the local time now.
  auto localNow = [] {
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    return FormatBannerDate(parts);
  };
  for (const char* bad : {"-5", "12x", "", "99999999999999999999999"}) {
    ::setenv("SOURCE_DATE_EPOCH", bad, 1);
    const std::string before = localNow();
    const std::string got = CurrentBannerDate();
    const std::string after = localNow();
    EXPECT_TRUE(got == before || got == after) << bad << ": " << got;
  }
  if (old) {
    ::setenv("SOURCE_DATE_EPOCH", saved.c_str(), 1);
  } else {
    ::unsetenv("SOURCE_DATE_EPOCH");
  }
  ::unsetenv("TZ");
  ::tzset();
}

TEST(RecognitionTest, FindsMarkersInAnyCaseAndPlaceButOnlyInOrder) {
  TempDir dir;
  ScriptedPrompter prompter;
  CCodeGenerator generator(prompter);
  const std::string fresh = dir.Read(WriteUrlFile(dir));
  auto urlVariant = [&](const std::string& from, const std::string& to) {
    std::string text = fresh;
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return dir.Write("variant.c", text);
  };

  EXPECT_EQ(generator.IsUrlFile(urlVariant("/* @! Begin of Table for all URLs */",
                                           "/* @! begin OF table FOR all urls */")),
            1);
  EXPECT_EQ(generator.IsUrlFile(urlVariant("/* @! End Function Prototypes   */",
                                           "int x; /* @! End Function Prototypes   */")),
            1);
  EXPECT_EQ(generator.IsUrlFile(urlVariant("/* @! End of Table for all URLs   */", "")), 0);
  // Retyped with one blank less, the marker is another text.
  EXPECT_EQ(generator.IsUrlFile(urlVariant("/* @! End of Table for all URLs   */",
                                           "/* @! End of Table for all URLs  */")),
            0);

  const std::string begin = "/* @! Begin HTML page */";
  const std::string end = "/* @! End HTML page   */";
  EXPECT_EQ(generator.IsPageFile(dir.Write("p.c", end + "\r\n" + begin + "\r\n")), 0);
  EXPECT_EQ(generator.IsPageFile(dir.Write("p.c", begin + " " + end + "\n")), 1);
  // Order counts by lines: each search starts at column 0 of the last find's line.
  EXPECT_EQ(generator.IsPageFile(dir.Write("p.c", end + " " + begin + "\n")), 1);
  EXPECT_EQ(generator.IsPageFile(dir.File("none.c")), 0);
  // A file the line document cannot read counts as foreign.
  EXPECT_EQ(generator.IsPageFile(dir.Write("p.c", std::string("\0", 1) + begin + "\n" + end)), 0);
  EXPECT_TRUE(prompter.shown().empty());
}

TEST(CodeGeneratorTest, UrlFilePathJoinsTargetDirectoryAndUrlFileName) {
  ScriptedPrompter prompter;
  CCodeGenerator generator(prompter);
  EXPECT_EQ(generator.UrlFilePath(), "");
  FixedLocations project("/fw/web/", "urls.c", "bin.c");
  generator.SetProject(&project);
  EXPECT_EQ(generator.UrlFilePath(), "/fw/web/urls.c");
  EXPECT_TRUE(generator.PostHandlers().empty());
}

// Compiles the generated C with a real compiler in a strict mode.
class CompileTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    const std::string probe = std::string("command -v ") + GetParam() + " >/dev/null 2>&1";
    if (std::system(probe.c_str()) != 0) GTEST_SKIP() << GetParam() << " is not installed";
  }

  // Empty when the file compiles, else the compiler's complaint.
  std::string Compile(const std::string& file, const std::string& extra = "") {
    const std::string compiler = GetParam();
    std::string flags = "-std=c99 -pedantic -Wall -Wextra -Werror -funsigned-char -fsyntax-only";
    flags += " -I'" + std::string(PAGORIC_HOSTSERVER_DIR) + "'";
    // SearchURL of the URL file never uses its handle.
    flags += " -Wno-unused-parameter";
    // The table's NULL terminator leaves the other fields of its entry to zero.
    if (compiler == "clang") flags += " -Wno-missing-field-initializers";
    const std::string log = m_dir.File("compile.log");
    const std::string command =
        compiler + " " + flags + " " + extra + " '" + file + "' >'" + log + "' 2>&1";
    if (std::system(command.c_str()) == 0) return std::string();
    return m_dir.Read(log) + "(" + command + ")";
  }

  TempDir m_dir;
};

TEST_P(CompileTest, FreshFilesCompileAsC99) {
  EXPECT_EQ(Compile(WriteUrlFile(m_dir)), "");
  EXPECT_EQ(Compile(WriteBinFile(m_dir)), "");
  // Page files include no header: firmware builds give them the server
  // interface as a forced include.
  EXPECT_EQ(Compile(WritePageFile(m_dir), "-include hservapi.h"), "");
}

TEST_P(CompileTest, UrlFileWithEntriesAndRealmsCompiles) {
  ScriptedPrompter prompter;
  const std::string url = WriteUrlFile(m_dir);
  {
    CUrlTable table(prompter, url);
    ASSERT_EQ(table.AddEntry(-1,
                             "{\n   \"/a b.htm\", 1, Send_function_1, (HSTypeFnHtml)HSTypeHtml, 0, "
                             "Realm1+Realm3\n},\n",
                             "Send_function_1"),
              1);
    ASSERT_EQ(table.AddEntry(-1,
                             "{\n   \"/p.gif\" , 0, Send_function_2, (HSTypeFnBinary)HSTypeGif, "
                             "120, Unprotected\n},\n",
                             "Send_function_2"),
              1);
  }
  CSecurityTable realms(prompter, url);
  ASSERT_GE(realms.ClearRealms(), 0);
  ASSERT_EQ(realms.AddRealm(0, "Admin area", "admin", ""), 1);
  ASSERT_EQ(realms.AddRealm(7, "Service", "svc", "s3cret!"), 1);
  EXPECT_EQ(Compile(url), "");
  EXPECT_TRUE(prompter.shown().empty());
}

INSTANTIATE_TEST_SUITE_P(Compilers, CompileTest, ::testing::Values("gcc", "clang"));

}  // namespace
