#include <gtest/gtest.h>
#include <sys/stat.h>

#include "document/generated_files.h"
#include "edit/binary_removal.h"
#include "edit/home_page.h"
#include "edit/security_form.h"
#include "generator/convert_util.h"
#include "generator/test_support.h"
#include "generator/url_table.h"
#include "testing/scripted_prompter.h"

namespace {

class SecurityTableFormTest : public ::testing::Test {
 protected:
  void SetUp() override { m_path = WriteUrlFile(m_dir); }
  // The lines between the HSSetRealm markers.
  std::string Calls() const {
    const std::string text = m_dir.Read(m_path);
    const std::string begin = "/* @! Begin of HSSetRealm calls */\r\n";
    const size_t from = text.find(begin) + begin.size();
    return text.substr(from, text.find("/* @! End   of HSSetRealm calls */") - from);
  }

  TempDir m_dir;
  ScriptedPrompter m_prompter;
  std::string m_path;
};

TEST_F(SecurityTableFormTest, RowsReadBackAndPartlyFilledRowsAreDropped) {
  CSecurityTableForm form(m_prompter, m_path);
  CRealmRows rows = form.ReadRows();
  for (const CRealmRow& row : rows) EXPECT_EQ("", row.m_strName + row.m_strUser);

  rows[1] = {"Guests", "guest", ""};  // no password: written with ""
  rows[4] = {"Service", "tech", "t3ch"};
  rows[6] = {"Half", "", "pw"};    // no user: dropped
  rows[7] = {"", "nobody", "pw"};  // no name: dropped
  ASSERT_EQ(RealmWrite::kWritten, form.Write(rows));
  EXPECT_EQ(
      "    HSSetRealm (REALM2, \"Guests\", \"guest\", \"\");\r\n"
      "    HSSetRealm (REALM5, \"Service\", \"tech\", \"t3ch\");\r\n",
      Calls());
  const CRealmRows again = CSecurityTableForm(m_prompter, m_path).ReadRows();
  EXPECT_EQ("Guests", again[1].m_strName);
  EXPECT_EQ("", again[1].m_strPassword);
  EXPECT_EQ("t3ch", again[4].m_strPassword);
  EXPECT_EQ("", again[6].m_strName);
  EXPECT_EQ("", again[7].m_strUser);

  CSecurityTableForm::ClearAll(rows);
  ASSERT_EQ(RealmWrite::kWritten, form.Write(rows));
  EXPECT_EQ("", Calls());
  EXPECT_TRUE(m_prompter.shown().empty());
}

TEST_F(SecurityTableFormTest, ValueTheFileCannotCarryIsRefusedNamingRowAndField) {
  CRealmRows rows;
  rows[0] = {"Staff", "staff", "pw"};
  ASSERT_EQ(RealmWrite::kWritten, CSecurityTableForm(m_prompter, m_path).Write(rows));
  const std::string before = m_dir.Read(m_path);
  for (const char* bad : {"a\"b", "a\\b", "a,b", "a)b", "a\tb", "a\x7f"}) {
    CRealmRows edited = rows;
    edited[0] = {"New staff", "staff", "pw"};  // an edit before the bad row is not written
    edited[2] = {"Service", bad, "pw"};
    int row = -1, field = -1;
    m_prompter.Clear();
    EXPECT_EQ(RealmWrite::kRefused,
              CSecurityTableForm(m_prompter, m_path).Write(edited, &row, &field));
    EXPECT_EQ(2, row);
    EXPECT_EQ(1, field);
    EXPECT_EQ(m_prompter.Texts(),
              std::vector<std::string>{"The user name of Realm3 must not contain a double quote, "
                                       "a backslash, a comma, a closing parenthesis or a control "
                                       "character."});
    EXPECT_EQ(before, m_dir.Read(m_path)) << bad;
  }
}

TEST_F(SecurityTableFormTest, ValuesTooLongForOneLineAreRefusedAtTheLongest) {
  const std::string before = m_dir.Read(m_path);
  CRealmRows rows;
  rows[3] = {"Staff", "staff", std::string(1000, 'p')};
  int badRow = -1, badField = -1;
  EXPECT_EQ(RealmWrite::kRefused,
            CSecurityTableForm(m_prompter, m_path).Write(rows, &badRow, &badField));
  EXPECT_EQ(3, badRow);
  EXPECT_EQ(2, badField);
  EXPECT_EQ(before, m_dir.Read(m_path));
  EXPECT_EQ(m_prompter.Texts(),
            std::vector<std::string>{"The realm name, user name and password of Realm4 are too "
                                     "long for one line of the URL file: together they may hold "
                                     "at most 987 characters."});
}

TEST_F(SecurityTableFormTest, FileWithoutTheCallsSectionStaysAsItWas) {
  std::string text = m_dir.Read(m_path);
  text.erase(text.find("/* @! End   of HSSetRealm calls */"), 34);
  m_dir.Write("url.c", text);
  CRealmRows rows;
  rows[0] = {"Staff", "staff", "pw"};
  EXPECT_EQ(RealmWrite::kFailed, CSecurityTableForm(m_prompter, m_path).Write(rows));
  EXPECT_EQ(text, m_dir.Read(m_path));  // the calls were not cleared either
  EXPECT_EQ(
      m_prompter.Texts(),
      std::vector<std::string>{
          m_path + " is damaged at line 146: \"/* @! End   of Setup Security Table */\" comes "
                   "without \"/* @! End   of HSSetRealm calls */\" before it. Nothing was changed: "
                   "repair its marker comments (/* @! ... */), or delete the file so that the next "
                   "build writes it anew."});
}

class HomePageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_path = WriteUrlFile(m_dir);
    CUrlTable table(m_prompter, m_files, m_path);
    table.AddEntry(-1, HtmlEntry("/index.htm", "Send_function_1"), "Send_function_1");
    table.AddEntry(-1, HtmlEntry("/logo.gif", "Send_function_2"), "Send_function_2");
    table.AddEntry(-1, HtmlEntry("/again.htm", "Send_function_1"), "Send_function_1");
  }
  std::vector<std::string> Urls() const {
    CUrlTable table(m_prompter, m_files, m_path);
    std::vector<std::string> urls;
    for (int i = 0; i < table.GetEntryCount(); ++i) {
      urls.push_back(table.GetEntryField(i, 0) + ":" + table.GetEntryField(i, 2));
    }
    return urls;
  }

  TempDir m_dir;
  mutable ScriptedPrompter m_prompter;
  mutable CDirectFiles m_files;
  std::string m_path;
};

TEST_F(HomePageTest, HomeSetMeanwhileByAnotherProgramIsReplacedNotDoubled) {
  CHomePageEditor editor(m_prompter, m_path);  // the dialog opens: no home page yet
  CHomePageEditor(m_prompter, m_path).SetHome("Send_function_2");
  EXPECT_EQ(HomePageResult::kChanged, editor.SetHome("Send_function_1"));
  EXPECT_EQ(Urls(),
            (std::vector<std::string>{"/index.htm:Send_function_1", "/logo.gif:Send_function_2",
                                      "/again.htm:Send_function_1", "/:Send_function_1"}));
  EXPECT_EQ(m_prompter.Texts(),
            (std::vector<std::string>{"Home Page added.", "Home Page changed."}));
  // Success is told with the information icon, not the warning icon.
  for (const ScriptedPrompter::Shown& shown : m_prompter.shown()) {
    EXPECT_EQ(ScriptedPrompter::Kind::kInformation, shown.kind) << shown.text;
  }
}

TEST_F(HomePageTest, AddedThenChangedInPlaceThenRemoved) {
  CDirectFiles files;
  {
    CHomePageEditor editor(m_prompter, m_path);
    EXPECT_EQ("", editor.CurrentHome());
    ASSERT_EQ(3u, editor.Items().size());
    for (const CHomePageItem& item : editor.Items()) {
      EXPECT_FALSE(CHomePageEditor::IsHighlighted(item, editor.CurrentHome()));
    }
    EXPECT_EQ(HomePageResult::kAdded, editor.SetHome(editor.Items()[0].m_strFunction));
  }
  EXPECT_EQ(Urls(),
            (std::vector<std::string>{"/index.htm:Send_function_1", "/logo.gif:Send_function_2",
                                      "/again.htm:Send_function_1", "/:Send_function_1"}));
  {
    CHomePageEditor editor(m_prompter, m_path);
    EXPECT_EQ("Send_function_1", editor.CurrentHome());
    ASSERT_EQ(3u, editor.Items().size());  // "/" is not listed
    std::vector<bool> lit;
    for (const CHomePageItem& item : editor.Items()) {
      lit.push_back(CHomePageEditor::IsHighlighted(item, editor.CurrentHome()));
    }
    EXPECT_EQ(lit, (std::vector<bool>{true, false, true}));
    // Set Home without another choice writes nothing.
    EXPECT_EQ(HomePageResult::kUnchanged, editor.SetHome(editor.CurrentHome()));
  }
  // /logo.gif moves behind "/", which then stands in the middle of the table.
  ASSERT_GE(CUrlTable(m_prompter, files, m_path).RemoveEntry("/logo.gif"), 0);
  CUrlTable(m_prompter, files, m_path)
      .AddEntry(-1, HtmlEntry("/logo.gif", "Send_function_2"), "Send_function_2");
  EXPECT_EQ(HomePageResult::kChanged,
            CHomePageEditor(m_prompter, m_path).SetHome("Send_function_2"));
  EXPECT_EQ(Urls(),
            (std::vector<std::string>{"/index.htm:Send_function_1", "/again.htm:Send_function_1",
                                      "/:Send_function_2", "/logo.gif:Send_function_2"}));
  EXPECT_EQ(HomePageResult::kRemoved, CHomePageEditor(m_prompter, m_path).RemoveHome());
  EXPECT_EQ(HomePageResult::kNoHome, CHomePageEditor(m_prompter, m_path).RemoveHome());
  EXPECT_EQ(3u, Urls().size());
  EXPECT_EQ(m_prompter.Texts(), (std::vector<std::string>{"Home Page added.", "Home Page changed.",
                                                          "Home page removed", "No page is Home"}));
}

TEST_F(HomePageTest, HomeKeepsTheProtectionOfItsPage) {
  CDirectFiles files;
  ASSERT_EQ(1,
            CUrlTable(m_prompter, files, m_path).SetEntryField("/index.htm", 5, "Realm1+Realm3"));
  EXPECT_EQ(HomePageResult::kAdded, CHomePageEditor(m_prompter, m_path).SetHome("Send_function_1"));
  CUrlTable table(m_prompter, m_files, m_path);
  ASSERT_EQ(4, table.GetEntryCount());
  EXPECT_EQ("/", table.GetEntryField(3, 0));
  EXPECT_EQ("Realm1+Realm3", table.GetEntryField(3, 5));

  // The page's protection changed since: Set Home again takes it over.
  ASSERT_EQ(1, CUrlTable(m_prompter, files, m_path).SetEntryField("/index.htm", 5, "Realm2"));
  EXPECT_EQ(HomePageResult::kChanged,
            CHomePageEditor(m_prompter, m_path).SetHome("Send_function_1"));
  EXPECT_EQ("Realm2", CUrlTable(m_prompter, files, m_path).GetEntryField(3, 5));
  EXPECT_EQ(HomePageResult::kUnchanged,
            CHomePageEditor(m_prompter, m_path).SetHome("Send_function_1"));
  // A realm given goes with it: the one of the URL the command line names.
  EXPECT_EQ(HomePageResult::kChanged,
            CHomePageEditor(m_prompter, m_path).SetHome("Send_function_1", "Unprotected"));
  EXPECT_EQ("Unprotected", CUrlTable(m_prompter, files, m_path).GetEntryField(3, 5));
  EXPECT_EQ(m_prompter.Texts(), (std::vector<std::string>{"Home Page added.", "Home Page changed.",
                                                          "Home Page changed."}));
  // The page was protected while the dialog stood open: "/" takes the
  // protection the file gives the page now, not what the dialog read.
  CHomePageEditor open(m_prompter, m_path);
  ASSERT_EQ(1, CUrlTable(m_prompter, files, m_path).SetEntryField("/index.htm", 5, "Realm4"));
  ASSERT_EQ(1, CUrlTable(m_prompter, files, m_path).SetEntryField("/again.htm", 5, "Realm4"));
  open.SetHome("Send_function_1");
  EXPECT_EQ("Realm4", CUrlTable(m_prompter, files, m_path).GetEntryField(3, 5));
}

class BinaryDataRemoverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string arrays, sends;
    int n = 0;
    for (const char* name : {"c:/web/b.jpg", "c:/web/a.gif", "c:/web/B.png", "c:/web/a.gif"}) {
      ++n;
      arrays += BeginFileMarker(name) + "\nconst char buffer_" + std::to_string(n) +
                " [] = {1};\n" + EndFileMarker(name) + "\n";
      sends += BeginFileMarker(name) + "\nvoid Send_function_" + std::to_string(n) +
               " (unsigned long h) {}\n" + EndFileMarker(name) + "\n";
    }
    const std::string fresh = m_dir.Read(WriteBinFile(m_dir));
    m_path = m_dir.Write("bindata.c",
                         InsertBefore(InsertBefore(fresh, "/* @! End buffer data   */", arrays),
                                      "/* @! End Binary   */", sends));
  }

  TempDir m_dir;
  ScriptedPrompter m_prompter;
  std::string m_path;
};

TEST_F(BinaryDataRemoverTest, ListsEachSourceOnceSortedAndForgetsRemovedOnes) {
  CBinaryDataRemover remover(m_prompter, m_path);
  EXPECT_EQ(remover.Names(),
            (std::vector<std::string>{"c:/web/a.gif", "c:/web/b.jpg", "c:/web/B.png"}));
  const std::string before = m_dir.Read(m_path);
  EXPECT_EQ(BinaryRemoval::kNothingSelected, remover.Remove({}, nullptr));
  EXPECT_EQ(before, m_dir.Read(m_path));

  std::vector<std::string> status;
  EXPECT_EQ(
      BinaryRemoval::kDone,
      remover.Remove({"c:/web/a.gif", "c:/web/B.png"}, [&](int index, const std::string& name) {
        status.push_back(std::to_string(index) + " " + CBinaryDataRemover::kRemovingText + name);
      }));
  EXPECT_EQ(status, (std::vector<std::string>{"0 Removing data: c:/web/a.gif",
                                              "1 Removing data: c:/web/B.png"}));
  EXPECT_EQ(CBinaryDataRemover(m_prompter, m_path).Names(),
            std::vector<std::string>{"c:/web/b.jpg"});
  EXPECT_EQ(std::string::npos, m_dir.Read(m_path).find("a.gif"));
  EXPECT_EQ(m_prompter.Texts(), (std::vector<std::string>{"No files selected", "Done."}));
  EXPECT_EQ(ScriptedPrompter::Kind::kOk, m_prompter.shown()[0].kind);
  EXPECT_EQ(ScriptedPrompter::Kind::kInformation, m_prompter.shown()[1].kind);
}

}  // namespace
