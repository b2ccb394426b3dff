#include "generator/url_table.h"

#include <gtest/gtest.h>

#include "document/generated_files.h"
#include "generator/convert_util.h"
#include "generator/field_text.h"
#include "generator/security_table.h"
#include "generator/test_support.h"
#include "testing/scripted_prompter.h"

namespace {

const std::string kEndPrototypes = "/* @! End Function Prototypes   */";
const std::string kTerminator = "{\n   NULL";

const std::string kIndex =
    "{\n   \"/index.htm\", 1, Send_function_1, (HSTypeFnHtml)HSTypeHtml, 0, Unprotected\n},\n";
const std::string kDeepGif =
    "{\n   \"/img/a.gif\" , 0, Send_function_2, (HSTypeFnBinary)HSTypeGif, 120, "
    "Realm1+Realm3\n},\n";
const std::string kGif =
    "{\n   \"/a.gif\" , 0, Send_function_3, (HSTypeFnBinary)HSTypeGif, 0, Unprotected\n},\n";

std::string Prototype(const std::string& name) {
  return "extern void " + name + " (unsigned long);\n";
}

class UrlTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_path = WriteUrlFile(m_dir);
    m_fresh = m_dir.Read(m_path);
  }
  std::string File() const { return m_dir.Read(m_path); }
  // Adds the three entries above, in order, with -1.
  void AddThree() {
    CUrlTable table(m_prompter, m_files, m_path);
    ASSERT_EQ(table.AddEntry(-1, kIndex, "Send_function_1"), 1);
    ASSERT_EQ(table.AddEntry(-1, kDeepGif, "Send_function_2"), 1);
    ASSERT_EQ(table.AddEntry(-1, kGif, "Send_function_3"), 1);
  }
  // The fresh file with these prototypes and entries.
  std::string Expected(const std::string& prototypes, const std::string& entries) const {
    return InsertBefore(InsertBefore(m_fresh, kEndPrototypes, prototypes), kTerminator, entries);
  }

  TempDir m_dir;
  ScriptedPrompter m_prompter;
  CDirectFiles m_files;
  std::string m_path;
  std::string m_fresh;
};

TEST_F(UrlTableTest, FreshFileHasNoEntries) {
  CDirectFiles files;
  CUrlTable table(m_prompter, files, m_path);
  EXPECT_EQ(table.GetEntryCount(), 0);
  EXPECT_TRUE(table.PrototypeNames().empty());
  EXPECT_EQ(table.FindUrl("/"), 0);
  EXPECT_TRUE(m_prompter.shown().empty());
}

TEST_F(UrlTableTest, AddedEntriesGoBeforeTheTerminatorAndReadBack) {
  CDirectFiles files;
  AddThree();
  {
    // A function that already has a prototype gets no second one.
    CUrlTable table(m_prompter, files, m_path);
    const std::string home =
        "{\n   \"/\", 1, Send_function_1, (HSTypeFnHtml)HSTypeHtml, 0, Unprotected\n},\n";
    ASSERT_EQ(table.AddEntry(-1, home, "Send_function_1"), 1);
    EXPECT_EQ(File(), Expected(Prototype("Send_function_1") + Prototype("Send_function_2") +
                                   Prototype("Send_function_3"),
                               kIndex + kDeepGif + kGif + home));
  }

  CUrlTable table(m_prompter, files, m_path);
  ASSERT_EQ(table.GetEntryCount(), 4);
  EXPECT_EQ(table.PrototypeNames(),
            (std::vector<std::string>{"Send_function_1", "Send_function_2", "Send_function_3"}));
  std::vector<std::string> deep;
  for (int f = 0; f < 6; ++f) deep.push_back(table.GetEntryField(1, f));
  EXPECT_EQ(deep, (std::vector<std::string>{"/img/a.gif", "no", "Send_function_2", "HSTypeGif",
                                            "120", "Realm1+Realm3"}));
  EXPECT_EQ(table.GetEntryField(0, 1), "yes");
  EXPECT_EQ(table.GetEntryField(0, 3), "HSTypeHtml");
  EXPECT_EQ(table.GetEntryField(2, 4), "N/A");
  EXPECT_EQ(table.GetEntryField(4, 0), "");
  EXPECT_EQ(table.GetEntryField(0, 6), "");

  int index = 7;
  EXPECT_EQ(table.FindUrlIndex("/a.gif", index), 1);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(table.FindUrlIndex("/img", index), 0);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(table.FindUrl("/"), 1);
  EXPECT_TRUE(m_prompter.shown().empty());
}

TEST_F(UrlTableTest, EditedEntryKeepsItsPlace) {
  CDirectFiles files;
  AddThree();
  const std::string edited =
      "{\n   \"/img/b.gif\", 0, Send_gif, (HSTypeFnBinary)HSTypeGif, 99, Realm2\n},\n";
  CUrlTable table(m_prompter, files, m_path);
  const int line = table.RemoveEntry("/img/a.gif");
  ASSERT_GT(line, 0);
  ASSERT_EQ(table.AddEntry(line, edited, "Send_gif"), 1);
  // The old function's prototype stays: other entries may still name it.
  EXPECT_EQ(File(), Expected(Prototype("Send_function_1") + Prototype("Send_function_2") +
                                 Prototype("Send_function_3") + Prototype("Send_gif"),
                             kIndex + edited + kGif));
  EXPECT_TRUE(m_prompter.shown().empty());
}

TEST_F(UrlTableTest, RemoveMatchesTheWholeQuotedUrlOnly) {
  CDirectFiles files;
  AddThree();
  const std::string before = File();
  CUrlTable table(m_prompter, files, m_path);
  // "/a.gif" ends the earlier entry of "/img/a.gif" too, but is not its URL.
  EXPECT_GT(table.RemoveEntry("/a.gif"), 0);
  const std::string prototypes =
      Prototype("Send_function_1") + Prototype("Send_function_2") + Prototype("Send_function_3");
  EXPECT_EQ(File(), Expected(prototypes, kIndex + kDeepGif));
  // Absent URLs, and a part of a URL, change nothing; -1 makes a following
  // AddEntry append.
  EXPECT_EQ(table.RemoveEntry("/a.gif"), -1);
  EXPECT_EQ(table.RemoveEntry("a.gif"), -1);
  EXPECT_EQ(table.RemoveEntry("/img/a"), -1);
  EXPECT_EQ(File(), Expected(prototypes, kIndex + kDeepGif));
  EXPECT_NE(before, File());
  EXPECT_TRUE(m_prompter.shown().empty());
}

TEST_F(UrlTableTest, UrlsAreReadAsTheirCStringsMean) {
  CDirectFiles files;
  // As HtmlEntry writes it: "/g?\?/p @!.htm" escaped, the blank encoded.
  const std::string entry = HtmlEntry("/g?\?/p%20@!.htm", "Send_function_4");
  EXPECT_EQ(entry,
            "{\n   \"/g?\\?/p%20@\"\"!.htm\", 1, Send_function_4, (HSTypeFnHtml)HSTypeHtml, 0, "
            "Unprotected\n},\n");
  {
    CUrlTable table(m_prompter, files, m_path);
    ASSERT_EQ(table.AddEntry(-1, kIndex, "Send_function_1"), 1);
    ASSERT_EQ(table.AddEntry(-1, entry, "Send_function_4"), 1);
  }
  CUrlTable table(m_prompter, files, m_path);
  EXPECT_EQ(table.GetEntryField(1, 0), "/g?\?/p%20@!.htm");
  EXPECT_EQ(table.FindUrl("/g?\?/p @!.htm"), 1);
  EXPECT_EQ(table.FindUrl("/g?\\?/p @!.htm"), 0);
  EXPECT_EQ(table.SetEntryField("/g?\?/p @!.htm", 5, "Realm2"), 1);
  EXPECT_EQ(CUrlTable(m_prompter, files, m_path).GetEntryField(1, 5), "Realm2");
  EXPECT_GT(table.RemoveEntry("/g?\?/p%20@!.htm"), 0);
  EXPECT_EQ(CUrlTable(m_prompter, files, m_path).GetEntryCount(), 1);
  EXPECT_TRUE(m_prompter.shown().empty());
}

TEST(CStringTextTest, WritesAndReadsBackWhatWasTyped) {
  for (const std::string text : {"", "plain", "?\?/", "?\?=?\?(?\?)?\?'?\?<?\?!?\?>?\?-", "?\?\?/",
                                 "a\"b\\c", "@!@!", "line\nend\r", "tab\tin", "\"\"", "\xe4\xff"}) {
    const std::string literal = CStringText(text);
    EXPECT_EQ(CStringValue(literal), text) << literal;
    for (size_t at = literal.find("??"); at != std::string::npos; at = literal.find("??", at + 1)) {
      EXPECT_EQ(std::string::npos, std::string("=(/)'<!>-").find(literal[at + 2])) << literal;
    }
    EXPECT_EQ(std::string::npos, literal.find("@!")) << literal;
  }
  EXPECT_EQ(CStringText("pw?\?/"), "pw?\\?/");
  // Literals of other hands: joined, and unknown escapes kept.
  EXPECT_EQ(CStringValue("a\" \"b\\x41"), "ab\\x41");
}

TEST_F(UrlTableTest, SetEntryFieldChangesOneFieldOfTheExactUrl) {
  CDirectFiles files;
  AddThree();
  const std::string longUrl = "/" + std::string(400, 'x') + " y.wav";
  const std::string longEntry = "{\n   \"/" + std::string(400, 'x') +
                                "%20y.wav\" , 0, Send_function_4, (HSTypeFnBinary)HSTypeWav, "
                                "5, Unprotected\n},\n";
  {
    CUrlTable table(m_prompter, files, m_path);
    ASSERT_EQ(table.AddEntry(-1, longEntry, "Send_function_4"), 1);
  }
  CUrlTable table(m_prompter, files, m_path);
  EXPECT_EQ(table.SetEntryField("/a.gif", 4, "2048"), 1);
  EXPECT_EQ(table.SetEntryField("/img/a.gif", 5, "Realm2"), 1);
  EXPECT_EQ(table.SetEntryField(longUrl, 4, "123456"), 1);
  // Nothing to change: an unknown URL, a URL inside another, a bad field.
  EXPECT_EQ(table.SetEntryField("/b.gif", 4, "1"), 0);
  EXPECT_EQ(table.SetEntryField("a.gif", 4, "1"), 0);
  EXPECT_EQ(table.SetEntryField("/a.gif", 0, "/c.gif"), 0);
  EXPECT_EQ(table.SetEntryField("/a.gif", 6, "1"), 0);

  const std::string gif =
      "{\n   \"/a.gif\" , 0, Send_function_3, (HSTypeFnBinary)HSTypeGif, 2048, Unprotected\n},\n";
  const std::string deepGif =
      "{\n   \"/img/a.gif\" , 0, Send_function_2, (HSTypeFnBinary)HSTypeGif, 120, Realm2\n},\n";
  std::string longChanged = longEntry;
  longChanged.replace(longChanged.find(" 5,"), 3, " 123456,");
  EXPECT_EQ(File(), Expected(Prototype("Send_function_1") + Prototype("Send_function_2") +
                                 Prototype("Send_function_3") + Prototype("Send_function_4"),
                             kIndex + deepGif + gif + longChanged));
  EXPECT_TRUE(m_prompter.shown().empty());
}

TEST_F(UrlTableTest, OddTableLinesGiveTheirDocumentedReading) {
  // Comment lines are skipped; a blank line and a short line are entries;
  // markers are found in another letter case.
  std::string text = m_fresh;
  text.replace(text.find("/* @! Begin of Table for all URLs */"), 36,
               "/* @! BEGIN OF TABLE FOR ALL URLS */");
  const std::string definition = CrLf("URLTableEntry URLTable[] = {\n");
  const std::string bare = CrLf("   \"/bare\", 1, f, (HSTypeFnHtml)HSTypeHtml, 0, Unprotected\n");
  text.insert(text.find(definition) + definition.size(), bare);
  text = InsertBefore(text, kTerminator,
                      "// old:\n{\n   /* \"/x\", 1, f, g, 0, Unprotected */\n\n},\n{\n"
                      "   \"/short\",, 1\n},\n");
  const std::string path = m_dir.Write("odd.c", text);
  CUrlTable table(m_prompter, m_files, path);
  ASSERT_EQ(table.GetEntryCount(), 3);
  EXPECT_EQ(table.GetEntryField(0, 0), "/bare");
  EXPECT_EQ(table.GetEntryField(1, 0), "");
  EXPECT_EQ(table.GetEntryField(1, 1), "no");
  EXPECT_EQ(table.GetEntryField(2, 0), "/short");
  EXPECT_EQ(table.GetEntryField(2, 1), "yes");  // a run of commas is one separator
  EXPECT_EQ(table.GetEntryField(2, 3), "");
  EXPECT_EQ(table.GetEntryField(2, 4), "N/A");
  EXPECT_GT(table.RemoveEntry("/short"), 0);
  std::string removed = text;
  removed.erase(removed.find(CrLf("{\n   \"/short\"")), CrLf("{\n   \"/short\",, 1\n},\n").size());
  EXPECT_EQ(m_dir.Read(path), removed);
  // An entry without brace lines goes alone; the array definition above it stays.
  EXPECT_GT(table.RemoveEntry("/bare"), 0);
  removed.erase(removed.find(bare), bare.size());
  EXPECT_EQ(m_dir.Read(path), removed);
  EXPECT_TRUE(m_prompter.shown().empty());
}

TEST_F(UrlTableTest, ATableWithoutItsTerminatorEndsAtItsEndMarker) {
  CDirectFiles files;
  // The NULL line was lost: the lines after the end marker (the security
  // table's realm calls among them) are no entries, so editing them changes
  // nothing the table holds.
  AddThree();
  std::string text = File();
  const size_t null = text.find(CrLf("   NULL"));
  ASSERT_NE(std::string::npos, null);
  text.replace(null, 7, "   junk");
  const std::string path = m_dir.Write("noterm.c", text);
  CUrlTable table(m_prompter, files, path);
  EXPECT_EQ(table.GetEntryCount(), 4);  // three entries and the junk line
  text.insert(text.rfind(CrLf("/* @! End   of HSSetRealm calls */")),
              CrLf("    HSSetRealm (REALM3, \"a\", \"b\", \"c\");\n"));
  m_dir.Write("noterm.c", text);
  EXPECT_EQ(CUrlTable(m_prompter, files, path).GetEntryCount(), 4);
}

TEST_F(UrlTableTest, MissingMarkersAreReportedAndChangeNothing) {
  CDirectFiles files;
  const std::string beginTable = "/* @! Begin of Table for all URLs */";
  const std::string endTable = "/* @! End of Table for all URLs   */";
  const std::string beginProto = "/* @! Begin Function Prototypes */";
  auto without = [&](const std::string& marker) {
    std::string text = m_fresh;
    text.erase(text.find(marker), marker.size());
    return text;
  };

  // Without the table the prototypes are given up too: two reports.
  const std::string noTable = m_dir.Write("no_table.c", without(beginTable));
  {
    CUrlTable table(m_prompter, files, noTable);
    EXPECT_EQ(table.GetEntryCount(), 0);
    EXPECT_EQ(table.RemoveEntry("/index.htm"), -1);
  }
  const std::string missing = m_dir.File("missing.c");
  { CUrlTable table(m_prompter, files, missing); }
  EXPECT_EQ(m_prompter.Texts(), (std::vector<std::string>{
                                    "Can't find " + beginTable + " in " + noTable,
                                    "Can't find " + beginProto + " in " + noTable,
                                    "Can't find " + beginTable + " in " + noTable,
                                    "Can't find " + beginTable + " in " + missing,
                                    "Can't find " + beginProto + " in " + missing,
                                }));
  EXPECT_EQ(m_dir.Read(noTable), without(beginTable));
  m_prompter.Clear();

  // Without the table's end no entry can be placed.
  const std::string noEnd = m_dir.Write("no_end.c", without(endTable));
  {
    CUrlTable table(m_prompter, files, noEnd);
    EXPECT_EQ(table.AddEntry(-1, kIndex, "Send_function_1"), 0);
  }
  EXPECT_EQ(m_dir.Read(noEnd), without(endTable));
  EXPECT_EQ(m_prompter.Texts(),
            (std::vector<std::string>{"Can't find " + endTable + " in " + noEnd}));
  m_prompter.Clear();

  // Without the prototypes' end the entry still goes in, the prototype not.
  const std::string noProtoEnd = m_dir.Write("no_proto_end.c", without(kEndPrototypes));
  {
    CUrlTable table(m_prompter, files, noProtoEnd);
    EXPECT_EQ(table.AddEntry(-1, kIndex, "Send_function_1"), 1);
  }
  EXPECT_EQ(m_dir.Read(noProtoEnd), InsertBefore(without(kEndPrototypes), kTerminator, kIndex));
  EXPECT_EQ(m_prompter.Texts(),
            (std::vector<std::string>{"Can't find " + kEndPrototypes + " in " + noProtoEnd}));
}

// The editors read and write only through the generated files they are
// given, so in a batch (each file read once, written once) and in memory they
// give the same bytes as step by step.
TEST(DocBatchTest, EditsInABatchOrInMemoryGiveTheSameBytesAsStepByStep) {
  auto edit = [](Prompter& prompter, CGeneratedFiles& files, const std::string& path) {
    CCodeGenerator generator(prompter, files);
    EXPECT_EQ(generator.IsUrlFile(path), 1);
    {
      CUrlTable table(prompter, files, path);
      table.AddEntry(-1, kIndex, "Send_function_1");
      table.AddEntry(-1, kDeepGif, "Send_function_2");
      table.AddEntry(-1, kGif, "Send_function_3");
    }
    CUrlTable table(prompter, files, path);
    EXPECT_EQ(table.GetEntryCount(), 3);
    table.AddEntry(table.RemoveEntry("/img/a.gif"), kDeepGif, "Send_function_9");
    table.SetEntryField("/a.gif", 4, "77");
    CSecurityTable realms(prompter, files, path);
    realms.ClearRealms();
    realms.AddRealm(4, "r", "u", "p");
    EXPECT_EQ(CSecurityTable(prompter, files, path).GetRealmCount(), 1);
  };
  TempDir plain;
  TempDir batched;
  ScriptedPrompter prompter;
  const std::string plainPath = WriteUrlFile(plain);
  const std::string batchedPath = WriteUrlFile(batched);
  CDirectFiles direct;
  edit(prompter, direct, plainPath);
  {
    CDocBatch batch;
    edit(prompter, batch, batchedPath);
    EXPECT_TRUE(batch.Flush());
  }
  std::string expected = plain.Read(plainPath);
  expected.replace(expected.find(plainPath), plainPath.size(), batchedPath);
  EXPECT_EQ(batched.Read(batchedPath), expected);

  // In memory the folder need not exist; the file's text is the skeleton's.
  CMemoryFiles memory;
  const std::string memoryPath = "/nowhere/url.c";
  std::string fresh = plain.Read(WriteUrlFile(plain, "fresh.c"));
  memory.Put(memoryPath, fresh.replace(fresh.find(plain.File("fresh.c")),
                                       plain.File("fresh.c").size(), memoryPath));
  edit(prompter, memory, memoryPath);
  expected.replace(expected.find(batchedPath), batchedPath.size(), memoryPath);
  EXPECT_EQ(memory.Text(memoryPath), expected);
  EXPECT_FALSE(PathExists(memoryPath));
  EXPECT_TRUE(prompter.shown().empty());
}

TEST(EncodeSpacesTest, EncodesEveryBlankAndNothingElse) {
  std::string url = " /my  pic\t.gif ";
  EncodeSpaces(url);
  EXPECT_EQ(url, "%20/my%20%20pic\t.gif%20");
  std::string plain = "/a%20b";
  EncodeSpaces(plain);
  EXPECT_EQ(plain, "/a%20b");
}

}  // namespace
