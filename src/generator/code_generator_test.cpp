#include "generator/code_generator.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "document/generated_files.h"
#include "generator/security_table.h"
#include "generator/test_support.h"
#include "generator/url_table.h"
#include "platform/environment.h"
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
  CDirectFiles files;
  TempDir dir;
  ScriptedPrompter prompter;
  CCodeGenerator generator(prompter, files);
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
  CDirectFiles files;
  TempDir dir;
  ScriptedPrompter prompter;
  CCodeGenerator generator(prompter, files);
  generator.SetDateSource([] { return std::string(kTestDate); });

  const std::string commentEnd = dir.File("a*/url.c");
  if (!CreateOneDirectory(dir.File("a*"))) GTEST_SKIP() << "no '*' can be in a file name here";
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
  SetEnvironmentValue("TZ", "XYZ+7");  // a local time seven hours behind UTC must not matter
  ReloadTimeZone();
  SetEnvironmentValue("SOURCE_DATE_EPOCH", "1796531589");
  EXPECT_EQ(CurrentBannerDate(), "Sunday, December 06, 2026 04:33:09");
  SetEnvironmentValue("SOURCE_DATE_EPOCH", "0");
  EXPECT_EQ(CurrentBannerDate(), "Thursday, January 01, 1970 00:00:00");
  // Not a number of seconds: the local time now.
  auto localNow = [] {
    std::time_t now = std::time(nullptr);
    return FormatBannerDate(LocalTimeOf(now));
  };
  for (const char* bad : {"-5", "12x", "", "99999999999999999999999"}) {
    SetEnvironmentValue("SOURCE_DATE_EPOCH", bad);
    const std::string before = localNow();
    const std::string got = CurrentBannerDate();
    const std::string after = localNow();
    EXPECT_TRUE(got == before || got == after) << bad << ": " << got;
  }
  if (old) {
    SetEnvironmentValue("SOURCE_DATE_EPOCH", saved);
  } else {
    RemoveEnvironmentValue("SOURCE_DATE_EPOCH");
  }
  RemoveEnvironmentValue("TZ");
  ReloadTimeZone();
}

TEST(RecognitionTest, FindsMarkersInAnyCaseAndPlaceButOnlyInOrder) {
  CDirectFiles files;
  TempDir dir;
  ScriptedPrompter prompter;
  CCodeGenerator generator(prompter, files);
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
  CDirectFiles files;
  ScriptedPrompter prompter;
  CCodeGenerator generator(prompter, files);
  EXPECT_EQ(generator.UrlFilePath(), "");
  FixedLocations project("/fw/web/", "urls.c", "bin.c");
  generator.SetProject(&project);
  EXPECT_EQ(generator.UrlFilePath(), "/fw/web/urls.c");
  EXPECT_TRUE(generator.PostHandlers().empty());
}

// A URL file as the skeleton of earlier versions wrote it, with the fixed
// date, in dir under name.
std::string WriteOldUrlFile(const TempDir& dir, const std::string& name = "url.c") {
  const std::string path = dir.File(name);
  std::string text = CrLf(Golden("url_file_v1.golden"));
  text.replace(text.find("@PATH@"), 6, path);
  return dir.Write(name, text);
}

// The text of an old URL file as the update leaves it: the HSType typedefs,
// the field and the two calls of the current skeleton, the rest as it was.
std::string AsUpdated(std::string text) {
  const auto replace = [&](const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
  };
  const std::string current = Golden("url_file.golden");
  const size_t from = current.find("/* Every HSType");
  const size_t to = current.find("\n\n", from);
  replace(CrLf("typedef void (*HSTypeFnHtml)(unsigned long);\n"
               "typedef void (*HSTypeFnBinary)(unsigned long, int);"),
          CrLf(current.substr(from, to - from)));
  replace("    void           (*hstype)();/* HSType function to call */",
          "    HSTypeFn       hstype;     /* HSType function to call */");
  replace("(*URLTable[i].hstype) (handle);", "((HSTypeHtmlCall)URLTable[i].hstype) (handle);");
  replace("(*URLTable[i].hstype) (handle, URLTable[i].len);",
          "((HSTypeBinaryCall)URLTable[i].hstype) (handle, URLTable[i].len);");
  return text;
}

TEST(UrlFileDeclarationTest, OldSkeletonTextIsUpdatedInPlace) {
  CDirectFiles files;
  TempDir dir;
  ScriptedPrompter prompter;
  CCodeGenerator generator(prompter, files);
  const std::string url = WriteOldUrlFile(dir);
  {
    CUrlTable table(prompter, files, url);
    ASSERT_EQ(table.AddEntry(-1,
                             "{\n   \"/a.htm\", 1, Send_function_1, (HSTypeFnHtml)HSTypeHtml, 0, "
                             "Unprotected\n},\n",
                             "Send_function_1"),
              1);
  }
  const std::string before = dir.Read(url);
  EXPECT_EQ(generator.UpdateUrlFileDeclaration(url), CCodeGenerator::UrlFileDeclaration::kUpdated);
  EXPECT_EQ(dir.Read(url), AsUpdated(before));
  EXPECT_EQ(generator.IsUrlFile(url), 1);
  // The entries read as before.
  CUrlTable table(prompter, files, url);
  ASSERT_EQ(table.GetEntryCount(), 1);
  EXPECT_EQ(table.GetEntryField(0, 3), "HSTypeHtml");
  // Once updated there is nothing more to do.
  EXPECT_EQ(generator.UpdateUrlFileDeclaration(url), CCodeGenerator::UrlFileDeclaration::kCurrent);
  EXPECT_TRUE(prompter.shown().empty());

  // A file of the current skeleton is left alone.
  const std::string fresh = WriteUrlFile(dir, "fresh.c");
  const std::string freshText = dir.Read(fresh);
  EXPECT_EQ(generator.UpdateUrlFileDeclaration(fresh),
            CCodeGenerator::UrlFileDeclaration::kCurrent);
  EXPECT_EQ(dir.Read(fresh), freshText);
  EXPECT_TRUE(prompter.shown().empty());
}

TEST(UrlFileDeclarationTest, OldDeclarationTheUserChangedIsKeptWithOneWarning) {
  CDirectFiles files;
  TempDir dir;
  ScriptedPrompter prompter;
  CCodeGenerator generator(prompter, files);
  // The user's own pre-processing between the two calls, and a declaration
  // with other blanks: neither is the skeleton's text.
  const std::string edited = WriteOldUrlFile(dir, "edited.c");
  dir.Write("edited.c",
            InsertBefore(dir.Read(edited), "           else\n", "           my_log (URLp);\n"));
  const std::string blanks = WriteOldUrlFile(dir, "blanks.c");
  std::string text = dir.Read(blanks);
  const std::string field = "void           (*hstype)();";
  text.replace(text.find(field), field.size(), "void (* hstype) ( );         ");
  dir.Write("blanks.c", text);

  for (const std::string& url : {edited, blanks}) {
    prompter.Clear();
    const std::string before = dir.Read(url);
    EXPECT_EQ(generator.UpdateUrlFileDeclaration(url),
              CCodeGenerator::UrlFileDeclaration::kOldKept);
    EXPECT_EQ(dir.Read(url), before);
    ASSERT_EQ(prompter.Texts().size(), 1u) << url;
    const std::string warning = prompter.Texts()[0];
    EXPECT_EQ(warning.find("Warning: " + url + " declares"), 0u) << warning;
    EXPECT_NE(warning.find("\"HSTypeFn hstype;\""), std::string::npos) << warning;
  }
}

// How a generated file is compiled: the compiler and the C standard.
struct CompileCase {
  const char* compiler;
  const char* standard;
};

void PrintTo(const CompileCase& c, std::ostream* os) {
  *os << c.compiler << " -std=" << c.standard;
}

// Compiles the generated C with a real compiler in a strict mode. A URL file
// and a binary data file compile without a single warning in every C
// standard from C89 to C23.
class CompileTest : public ::testing::TestWithParam<CompileCase> {
 protected:
  void SetUp() override {
    const std::string probe = std::string("command -v ") + GetParam().compiler + " >/dev/null 2>&1";
    if (std::system(probe.c_str()) != 0) GTEST_SKIP() << GetParam().compiler << " is not installed";
  }

  // Empty when the file compiles, else the compiler's complaint.
  std::string Compile(const std::string& file, const std::string& extra = "") {
    const std::string compiler = GetParam().compiler;
    std::string flags = std::string("-std=") + GetParam().standard +
                        " -pedantic -Wall -Wextra -Werror -funsigned-char -fsyntax-only";
    flags += " -I'" + std::string(PAGORIC_HOSTSERVER_DIR) + "'";
    const std::string log = m_dir.File("compile.log");
    const std::string command =
        compiler + " " + flags + " " + extra + " '" + file + "' >'" + log + "' 2>&1";
    if (std::system(command.c_str()) == 0) return std::string();
    return m_dir.Read(log) + "(" + command + ")";
  }

  TempDir m_dir;
};

TEST_P(CompileTest, FreshFilesCompile) {
  EXPECT_EQ(Compile(WriteUrlFile(m_dir)), "");
  EXPECT_EQ(Compile(WriteBinFile(m_dir)), "");
  // Page files include no header: firmware builds give them the server
  // interface as a forced include.
  EXPECT_EQ(Compile(WritePageFile(m_dir), "-include hservapi.h"), "");
}

TEST_P(CompileTest, UrlFileWithEntriesAndRealmsCompiles) {
  CDirectFiles files;
  ScriptedPrompter prompter;
  const std::string url = WriteUrlFile(m_dir);
  {
    CUrlTable table(prompter, files, url);
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
  CSecurityTable realms(prompter, files, url);
  ASSERT_GE(realms.ClearRealms(), 0);
  ASSERT_EQ(realms.AddRealm(0, "Admin area", "admin", ""), 1);
  ASSERT_EQ(realms.AddRealm(7, "Service", "svc", "s3cret!"), 1);
  EXPECT_EQ(Compile(url), "");
  EXPECT_TRUE(prompter.shown().empty());
}

TEST_P(CompileTest, OldUrlFileCompilesOnceUpdated) {
  CDirectFiles files;
  ScriptedPrompter prompter;
  CCodeGenerator generator(prompter, files);
  const std::string url = WriteOldUrlFile(m_dir);
  {
    CUrlTable table(prompter, files, url);
    ASSERT_EQ(table.AddEntry(-1,
                             "{\n   \"/p.gif\" , 0, Send_function_2, (HSTypeFnBinary)HSTypeGif, "
                             "120, Unprotected\n},\n",
                             "Send_function_2"),
              1);
  }
  ASSERT_EQ(generator.UpdateUrlFileDeclaration(url), CCodeGenerator::UrlFileDeclaration::kUpdated);
  // The rest of the old skeleton draws warnings that are not errors: an
  // unused parameter, the terminator's missing fields and the old-style
  // definition of HSInitSecurityTable.
  EXPECT_EQ(Compile(url, "-Wno-error"), "");
  EXPECT_TRUE(prompter.shown().empty());
}

INSTANTIATE_TEST_SUITE_P(Compilers, CompileTest,
                         ::testing::Values(CompileCase{"gcc", "c89"}, CompileCase{"gcc", "c99"},
                                           CompileCase{"gcc", "c2x"}, CompileCase{"clang", "c99"},
                                           CompileCase{"clang-16", "c89"},
                                           CompileCase{"clang-16", "c17"},
                                           CompileCase{"clang-16", "c2x"}),
                         [](const ::testing::TestParamInfo<CompileCase>& info) {
                           std::string name =
                               std::string(info.param.compiler) + "_" + info.param.standard;
                           for (char& c : name) {
                             if (c == '-') c = '_';
                           }
                           return name;
                         });

}  // namespace
