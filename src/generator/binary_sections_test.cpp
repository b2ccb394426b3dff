#include "generator/binary_sections.h"

#include <gtest/gtest.h>

#include <cctype>
#include <sys/stat.h>

#include "document/generated_files.h"
#include "generator/test_support.h"
#include "testing/scripted_prompter.h"

namespace {

const std::string kA = "/src/a.gif";
const std::string kB = "/src/b b.png";
const std::string kC = "/src/c.wav";

// The two sections one converted file leaves in the binary data file.
std::string ArraySection(const std::string& name, int n) {
  return "/* @! Begin File: " + name + " */\nconst char buffer_" + std::to_string(n) +
         " [] =\n{\n0x47,0x49\n};  /* @! End File: " + name + " */\n";
}
std::string SendSection(const std::string& name, int n) {
  const std::string b = "buffer_" + std::to_string(n);
  return "/* @! Begin File: " + name + " */\nvoid Send_function_" + std::to_string(n) +
         " (unsigned long handle)\n{\n     HSSendBinary (handle, (char*) " + b + ", sizeof (" + b +
         "));\n}  /* @! End File: " + name + " */\n";
}

class BinarySectionsTest : public ::testing::Test {
 protected:
  void SetUp() override { m_fresh = m_dir.Read(WriteBinFile(m_dir)); }
  std::string Text(const std::string& arrays, const std::string& sends) const {
    return InsertBefore(InsertBefore(m_fresh, "/* @! End buffer data   */", arrays),
                        "/* @! End Binary   */", sends);
  }
  std::vector<std::string> Names(const std::string& path) {
    CBinarySectionList list(m_prompter, m_files, path);
    std::vector<std::string> names;
    for (int i = 0; i < list.GetSectionCount(); ++i) names.push_back(list.GetSectionName(i));
    return names;
  }

  TempDir m_dir;
  ScriptedPrompter m_prompter;
  CDirectFiles m_files;
  std::string m_fresh;
};

TEST_F(BinarySectionsTest, ListsEachConvertedFileOnceInFileOrder) {
  // a.gif was converted twice without its old send function being removed.
  const std::string path = m_dir.Write(
      "bindata.c",
      Text(ArraySection(kA, 1) + ArraySection(kB, 2) + ArraySection(kC, 3),
           SendSection(kA, 1) + SendSection(kB, 2) + SendSection(kC, 3) + SendSection(kA, 1)));
  EXPECT_EQ(Names(path), (std::vector<std::string>{kA, kB, kC}));
  EXPECT_EQ(Names(m_dir.Write("empty.c", m_fresh)), std::vector<std::string>{});
  EXPECT_TRUE(m_prompter.shown().empty());
}

TEST_F(BinarySectionsTest, RemovingANameDeletesBothSectionsAndNothingElse) {
  CDirectFiles files;
  const std::string all = ArraySection(kA, 1) + ArraySection(kB, 2) + ArraySection(kC, 3);
  const std::string sends = SendSection(kA, 1) + SendSection(kB, 2) + SendSection(kC, 3);
  const std::string path = m_dir.Write("bindata.c", Text(all, sends));
  CBinarySectionList list(m_prompter, files, path);

  EXPECT_EQ(list.RemoveBinarySection(path, kB), 0);
  EXPECT_EQ(m_dir.Read(path), Text(ArraySection(kA, 1) + ArraySection(kC, 3),
                                   SendSection(kA, 1) + SendSection(kC, 3)));
  // Letter case does not tell names apart.
  EXPECT_EQ(list.RemoveBinarySection(path, "/SRC/A.GIF"), 0);
  EXPECT_EQ(m_dir.Read(path), Text(ArraySection(kC, 3), SendSection(kC, 3)));
  // A name with one section left loses it; a name not in the file changes nothing.
  m_dir.Write("bindata.c", Text("", SendSection(kC, 3)));
  EXPECT_EQ(list.RemoveBinarySection(path, kC), 1);
  EXPECT_EQ(list.RemoveBinarySection(path, kB), 1);
  EXPECT_EQ(m_dir.Read(path), Text("", ""));
  EXPECT_TRUE(m_prompter.shown().empty());
}

TEST_F(BinarySectionsTest, RemovalTakesTheStaleSendFunctionOfASecondConversionToo) {
  CDirectFiles files;
  // Left in place, the second send function would send a byte array that is gone.
  const std::string path =
      m_dir.Write("bindata.c", Text(ArraySection(kA, 1) + ArraySection(kB, 2),
                                    SendSection(kA, 1) + SendSection(kB, 2) + SendSection(kA, 1)));
  EXPECT_EQ(CBinarySectionList(m_prompter, files, path).RemoveBinarySection(path, kA), 0);
  EXPECT_EQ(m_dir.Read(path), Text(ArraySection(kB, 2), SendSection(kB, 2)));
  EXPECT_EQ(Names(path), std::vector<std::string>{kB});
}

TEST_F(BinarySectionsTest, LongAndIndentedNames) {
  CDirectFiles files;
  const std::string longName = "/src/" + std::string(300, 'n') + ".gif";
  const std::string indented = "  " + SendSection(kC, 3);
  const std::string path = m_dir.Write(
      "bindata.c", Text(ArraySection(longName, 1), SendSection(longName, 1) + indented));
  EXPECT_EQ(Names(path), (std::vector<std::string>{longName, kC}));
  CBinarySectionList list(m_prompter, files, path);
  EXPECT_EQ(list.RemoveBinarySection(path, longName), 0);
  EXPECT_EQ(m_dir.Read(path), Text("", indented));
}

TEST_F(BinarySectionsTest, BatchedRemovalWritesWhatOneByOneRemovalWrites) {
  CDirectFiles files;
  // Names converted twice, differing only in letter case, with one section
  // left, or not in the file at all.
  const std::string d = "/src/d.au";
  const std::string text =
      Text(ArraySection(kA, 1) + ArraySection(kB, 2) + ArraySection("/SRC/A.GIF", 5) +
               ArraySection(kC, 3),
           SendSection(kA, 1) + SendSection(kB, 2) + SendSection(d, 4) + SendSection(kA, 1) +
               SendSection("/SRC/A.GIF", 5) + SendSection(kC, 3));
  const std::vector<std::string> names = {kB, kA, "/src/none.gif", d, kC, kA, kB};
  for (size_t count = 0; count <= names.size(); ++count) {
    const std::vector<std::string> some(names.begin(), names.begin() + count);
    const std::string single = m_dir.Write("single.c", text);
    CBinarySectionList list(m_prompter, files, single);
    std::vector<int> expected;
    for (const std::string& name : some) expected.push_back(list.RemoveBinarySection(single, name));

    const std::string batched = m_dir.Write("batched.c", text);
    std::vector<int> heard;
    std::string order;
    EXPECT_EQ(1, RemoveBinarySections(m_prompter, batched, some,
                                      [&](int index, const std::string& name, int result) {
                                        EXPECT_EQ(static_cast<int>(heard.size()), index);
                                        order += name + ";";
                                        heard.push_back(result);
                                      }));
    EXPECT_EQ(m_dir.Read(single), m_dir.Read(batched)) << count << " names";
    EXPECT_EQ(expected, heard) << count << " names";
    std::string given;
    for (const std::string& name : some) given += name + ";";
    EXPECT_EQ(given, order);
  }
  EXPECT_TRUE(m_prompter.shown().empty());
}

TEST_F(BinarySectionsTest, DamagedMarkersStopTheRemovalBeforeAnythingIsRemoved) {
  // One flipped byte in an end line: its section would reach to the next
  // end line of that name and take everything between with it.
  std::string send = SendSection(kA, 1);
  send.replace(send.find("End File"), 8, "End Fi1e");
  const std::string text = Text(ArraySection(kA, 1) + ArraySection(kB, 2),
                                send + SendSection(kB, 2) + SendSection(kA, 1));
  const std::string path = m_dir.Write("bindata.c", text);
  EXPECT_EQ(0, RemoveBinarySections(m_prompter, path, {kA}, nullptr));
  EXPECT_EQ(text, m_dir.Read(path));
  EXPECT_EQ(
      m_prompter.Texts(),
      std::vector<std::string>{
          path + " is damaged at line 25: the marker comment is none of this file's. Nothing was "
                 "changed: repair its marker comments (/* @! ... */), or delete the file so that "
                 "the next build writes it anew."});
  // A NUL byte: the document would cut its line short when the file is written.
  m_prompter.Clear();
  std::string nul =
      Text(ArraySection(kA, 1) + ArraySection(kB, 2), SendSection(kA, 1) + SendSection(kB, 2));
  nul.insert(nul.find("0x47,0x49"), std::string("\0", 1));
  m_dir.Write("bindata.c", nul);
  EXPECT_EQ(0, RemoveBinarySections(m_prompter, path, {kB}, nullptr));
  EXPECT_EQ(nul, m_dir.Read(path));
  ASSERT_EQ(1u, m_prompter.Texts().size());
  EXPECT_EQ(0u, m_prompter.Texts()[0].find(path + " is damaged at line 11: the line holds a NUL "));
}

TEST_F(BinarySectionsTest, BatchedRemovalLeavesAFileItCannotWrite) {
  const std::string text = Text(ArraySection(kA, 1), SendSection(kA, 1));
  const std::string path = m_dir.Write("bindata.c", text);
  ASSERT_EQ(0, ::chmod(path.c_str(), 0444));
  int heard = 0;
  EXPECT_EQ(0, RemoveBinarySections(m_prompter, path, {kA},
                                    [&](int, const std::string&, int) { ++heard; }));
  EXPECT_EQ(0, heard);
  EXPECT_EQ(text, m_dir.Read(path));
  EXPECT_EQ(m_prompter.Texts(), std::vector<std::string>{"File " + path + " cannot be written."});
}

TEST_F(BinarySectionsTest, MissingBinaryMarkerIsReported) {
  std::string text = Text(ArraySection(kA, 1), SendSection(kA, 1));
  text.erase(text.find("/* @! Begin Binary */"), 21);
  const std::string path = m_dir.Write("bindata.c", text);
  const std::string missing = m_dir.File("none.c");
  EXPECT_TRUE(Names(path).empty());
  EXPECT_TRUE(Names(missing).empty());
  EXPECT_EQ(m_prompter.Texts(),
            (std::vector<std::string>{"Can't find /* @! Begin Binary */ in " + path,
                                      "Can't find /* @! Begin Binary */ in " + missing}));
}

// A file no build holds is listed by reading it line by line, never whole:
// the names, and any message, are those of the document's search.
TEST_F(BinarySectionsTest, ListingFromDiskFindsWhatTheDocumentFinds) {
  const std::string sends = SendSection(kA, 1) + SendSection(kB, 2);
  // A begin line two lines below a found one is searched from the found
  // one's column; one right below it is passed over.
  const std::string lowerColumn =
      "  /* @! Begin File: /src/c.wav */\nx\n/* @! Begin File: /src/b.png */\n" + sends;
  const std::string adjacent = "/* @! Begin File: /src/first.gif */\n" + SendSection(kC, 3);
  std::string twoBinaries = Text(ArraySection(kA, 1), sends);
  twoBinaries = InsertBefore(twoBinaries, "/* @! Begin Binary */",
                             "/* @! Begin Binary */\n" + SendSection("/src/early.gif", 9));
  std::string lastLine = Text("", sends) + "\r\n  /* @! Begin Binary */";
  std::string noBinary = Text("", sends);
  noBinary.erase(noBinary.find("/* @! Begin Binary */"), 21);
  std::string lf = Text("", sends);
  for (size_t at = lf.find("\r\n"); at != std::string::npos; at = lf.find("\r\n", at)) {
    lf.erase(at, 1);
  }
  std::string upper = Text("", sends);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::vector<std::string> texts = {Text("", sends),
                                          Text("", lowerColumn),
                                          Text("", adjacent),
                                          twoBinaries,
                                          lastLine,
                                          noBinary,
                                          lf,
                                          upper,
                                          ""};
  for (const std::string& text : texts) {
    const std::string path = m_dir.Write("bindata.c", text);
    const std::vector<std::string> streamed = Names(path);
    const std::vector<std::string> said = m_prompter.Texts();
    m_prompter.Clear();
    CDocBatch batch;
    batch.Open(m_prompter, path);  // held: read as the document
    const CBinarySectionList list(m_prompter, batch, path);
    std::vector<std::string> names;
    for (int i = 0; i < list.GetSectionCount(); ++i) names.push_back(list.GetSectionName(i));
    EXPECT_EQ(streamed, names) << text;
    EXPECT_EQ(said, m_prompter.Texts()) << text;
    m_prompter.Clear();
  }
}

}  // namespace
