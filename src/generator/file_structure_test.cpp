#include "generator/file_structure.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "document/generated_files.h"
#include "generator/test_support.h"
#include "testing/scripted_prompter.h"

namespace {

// The fault CFileStructure finds in text (lines split at "\n").
std::string Fault(CFileStructure::Kind kind, const std::string& text) {
  CFileStructure check(kind);
  size_t start = 0;
  for (;;) {
    const size_t lf = text.find('\n', start);
    check.TakeLine(std::string_view(text).substr(start, lf - start));
    if (lf == std::string::npos) break;
    start = lf + 1;
  }
  return check.Finish();
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(std::string::npos, at) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

class FileStructureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_url = m_dir.Read(WriteUrlFile(m_dir));
    m_bin = m_dir.Read(WriteBinFile(m_dir));
  }
  std::string Bin(const std::string& arrays, const std::string& sends) const {
    return InsertBefore(InsertBefore(m_bin, "/* @! End buffer data   */", arrays),
                        "/* @! End Binary   */", sends);
  }
  static std::string Section(const std::string& name, const std::string& end = "") {
    return "/* @! Begin File: " + name +
           " */\n0x47\n};  /* @! End File: " + (end.empty() ? name : end) + " */\n";
  }

  TempDir m_dir;
  ScriptedPrompter m_prompter;
  std::string m_url;
  std::string m_bin;
};

TEST_F(FileStructureTest, SkeletonsAndConvertedFilesAreSound) {
  using Kind = CFileStructure::Kind;
  EXPECT_EQ("", Fault(Kind::kUrlFile, m_url));
  EXPECT_EQ("", Fault(Kind::kBinFile, m_bin));
  // Letter case does not matter to the markers; a file converted twice may
  // leave two send functions of one name.
  EXPECT_EQ("", Fault(Kind::kBinFile,
                      Bin(Section("/s/a.gif") + Section("/s/b.gif", "/S/B.GIF"),
                          Section("/s/a.gif") + Section("/s/b.gif") + Section("/s/a.gif"))));
  CFileStructure check(Kind::kBinFile);
  const std::string text = Bin(Section("/s/a.gif"), Section("/s/a.gif") + Section("/s/c.wav"));
  size_t start = 0;
  for (size_t lf; (lf = text.find('\n', start)) != std::string::npos; start = lf + 1) {
    check.TakeLine(std::string_view(text).substr(start, lf - start));
  }
  EXPECT_TRUE(check.Recognised());
  EXPECT_EQ((std::vector<std::string>{"/s/a.gif", "/s/c.wav"}), check.BinaryNames());
}

TEST_F(FileStructureTest, UrlFileFaultsNameTheirLine) {
  using Kind = CFileStructure::Kind;
  const struct {
    std::string text;
    std::string fault;
  } cases[] = {
      {Replace(m_url, "/* @! Begin of Setup Security Table */", "/* Setup Security Table */"),
       "line 142: \"/* @! Begin of HSSetRealm calls */\" comes without \"/* @! Begin of Setup "
       "Security Table */\" before it"},
      {Replace(m_url, "/* @! End of Table for all URLs   */",
               "/* @! End of Table for all URLs   */\r\n/* @! End of Table for all URLs   */"),
       "line 58: \"/* @! End of Table for all URLs   */\" repeats the marker of line 57"},
      {Replace(m_url, "/* @! Begin of HSSetRealm calls */", "/* @! Begin of HSSetRea1m calls */"),
       "line 142: the marker comment is none of this file's"},
      {Replace(m_url, "}  /* @! End   of Setup Security Table */", "}"),
       "line 148: the file ends without \"/* @! End   of Setup Security Table */\""},
      {Replace(m_url, "AppSearchURL", std::string("App\0SearchURL", 13)),
       "line 61: the line holds a NUL byte"},
      {Replace(m_url, "/* @! End   of HSSetRealm calls */",
               "/* @! End   of HSSetRealm calls */ /* @! End   of HSSetRealm calls */"),
       "line 144: the line holds more than one marker comment"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.fault, Fault(Kind::kUrlFile, c.text));
}

TEST_F(FileStructureTest, BinaryDataFaultsNameTheirLine) {
  using Kind = CFileStructure::Kind;
  const std::string a = Section("/s/a.gif");
  const std::string b = Section("/s/b.gif");
  const struct {
    std::string text;
    std::string fault;
  } cases[] = {
      // One flipped byte in an end line.
      {Bin(a + Replace(b, "End File:", "End Fi1e:"), a + b),
       "line 13: the marker comment is none of this file's"},
      {Bin(a + Replace(b, "/s/b.gif */\n0x47", "/s/b.gif\n0x47"), a + b),
       "line 11: the marker comment is not closed with \" */\""},
      {Bin(a + Section("/s/b.gif", "/s/c.gif"), a + b),
       "line 13: the end line of /s/c.gif closes the section of /s/b.gif begun at line 11"},
      {Bin(a + Replace(b, "};  /* @! End File: /s/b.gif */\n", ""), a + b),
       "line 11: the section of /s/b.gif has no end line before line 13"},
      {Bin(a + "};  /* @! End File: /s/x.gif */\n", a),
       "line 11: the end line of /s/x.gif has no begin line"},
      {Replace(Bin(a, a), "/* @! Begin buffer data */", a + "/* @! Begin buffer data */"),
       "line 7: the section of /s/a.gif stands outside the buffer data and Binary regions"},
      {Bin(a, "/* @! Begin Binary */\n" + a),
       "line 14: \"/* @! Begin Binary */\" repeats the marker of line 13"},
      {Replace(Bin(a, a), "/* @! End buffer data   */", ""),
       "line 13: \"/* @! Begin Binary */\" comes without \"/* @! End buffer data   */\" before "
       "it"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.fault, Fault(Kind::kBinFile, c.text)) << c.text;
}

TEST_F(FileStructureTest, FilesAreCheckedFromDiskWithTheirPath) {
  CDirectFiles files;
  const std::string url = m_dir.Write(
      "url.c", Replace(m_url, "/* @! Begin of Setup Security Table */", "/* Security Table */"));
  bool recognised = false;
  EXPECT_EQ(
      url +
          " is damaged at line 142: \"/* @! Begin of HSSetRealm calls */\" comes without "
          "\"/* @! Begin of Setup Security Table */\" before it. Nothing was changed: repair "
          "its marker comments (/* @! ... */), or delete the file so that the next build "
          "writes it anew.",
      CheckFileStructure(m_prompter, files, url, CFileStructure::Kind::kUrlFile, &recognised));
  EXPECT_TRUE(recognised);
  // A NUL byte before the first marker: the file is still one of ours.
  const std::string nul = m_dir.Write("zero.c", std::string("\0", 1) + m_url);
  EXPECT_EQ(0u, CheckFileStructure(m_prompter, files, nul, CFileStructure::Kind::kUrlFile)
                    .find(nul + " is damaged at line 1: the line holds a NUL byte."));
  // A file that is not ours is not damaged, merely not recognised.
  const std::string other = m_dir.Write("other.c", "int main(void) { return 0; }\n");
  EXPECT_EQ("", CheckFileStructure(m_prompter, files, other, CFileStructure::Kind::kBinFile,
                                   &recognised));
  EXPECT_FALSE(recognised);
  EXPECT_EQ("", CheckFileStructure(m_prompter, files, m_dir.File("none.c"),
                                   CFileStructure::Kind::kBinFile, &recognised));
  EXPECT_TRUE(m_prompter.shown().empty());
}

TEST_F(FileStructureTest, SeedCorpusOfTheFuzzerIsJudgedByItsNames) {
  CDirectFiles files;
  // ok-url-*, ok-bin-*: sound files of their kind; bad-*: damaged ones.
  size_t seen = 0;
  for (const auto& entry : std::filesystem::directory_iterator(PAGORIC_GENERATED_CORPUS)) {
    const std::string name = entry.path().filename().string();
    const auto kind = name.find("-url-") != std::string::npos ? CFileStructure::Kind::kUrlFile
                                                              : CFileStructure::Kind::kBinFile;
    bool recognised = false;
    const std::string damage =
        CheckFileStructure(m_prompter, files, entry.path().string(), kind, &recognised);
    EXPECT_EQ(recognised, name.starts_with("ok-") || name.find("altered") == std::string::npos)
        << name;
    EXPECT_EQ(name.starts_with("ok-"), damage.empty()) << name << ": " << damage;
    ++seen;
  }
  EXPECT_GE(seen, 10u);
  EXPECT_TRUE(m_prompter.shown().empty());
}

}  // namespace
