#include "edit/url_file_editor.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "document/generated_files.h"
#include "generator/test_support.h"
#include "generator/url_table.h"
#include "testing/scripted_prompter.h"

namespace {

CUrlRow Row(const std::string& url, const std::string& function, const std::string& size) {
  return {url, "no", function, "HSTypeGif", size, "Unprotected"};
}

std::vector<std::string> Column(const std::vector<CUrlRow>& rows, int column) {
  std::vector<std::string> cells;
  for (const CUrlRow& row : rows) cells.push_back(row[static_cast<size_t>(column)]);
  return cells;
}

CUrlEntryValues Values(const std::string& url, const std::string& function,
                       const std::string& hsType, const std::string& size,
                       const std::string& realm = "Unprotected") {
  CUrlEntryValues values;
  values.m_strUrl = url;
  values.m_strFunction = function;
  values.m_strHsType = hsType;
  values.m_strSize = size;
  values.m_strRealm = realm;
  return values;
}

TEST(UrlSortTest, SizesSortAsNumbersOtherColumnsIgnoringCase) {
  std::vector<CUrlRow> rows = {Row("/b.gif", "Send_b", "300"), Row("/A.gif", "send_c", "N/A"),
                               Row("/c.gif", "Send_a", "5"), Row("/a.GIF", "Send_d", "40")};
  CUrlSortOrder order;
  order.Sort(rows);  // no click yet: file order stays
  EXPECT_EQ(Column(rows, 0), (std::vector<std::string>{"/b.gif", "/A.gif", "/c.gif", "/a.GIF"}));

  order.Click(kUrlSizeColumn);
  order.Sort(rows);
  EXPECT_EQ(Column(rows, 4), (std::vector<std::string>{"N/A", "5", "40", "300"}));
  order.Click(kUrlSizeColumn);  // the same column flips
  order.Sort(rows);
  EXPECT_FALSE(order.Ascending());
  EXPECT_EQ(Column(rows, 4), (std::vector<std::string>{"300", "40", "5", "N/A"}));

  order.Click(2);  // another column starts ascending
  order.Sort(rows);
  EXPECT_TRUE(order.Ascending());
  EXPECT_EQ(Column(rows, 2), (std::vector<std::string>{"Send_a", "Send_b", "send_c", "Send_d"}));

  // URLs that differ only in letter case are equal keys; letters compare as
  // lower case, so '_' (0x5f) comes before them.
  EXPECT_EQ(0, CompareUrlCells(0, "/A.gif", "/a.GIF"));
  EXPECT_LT(CompareUrlCells(0, "/a.gif", "/B.gif"), 0);
  EXPECT_LT(CompareUrlCells(0, "/_x", "/a"), 0);
  EXPECT_GT(CompareUrlCells(0, "/a\xe4", "/a~"), 0);  // bytes compare unsigned
  EXPECT_LT(CompareUrlCells(kUrlSizeColumn, " -3", "N/A"), 0);
  EXPECT_EQ(0, CompareUrlCells(kUrlSizeColumn, "12kB", " 12"));
}

TEST(UrlSortTest, CellTextIsShortenedWithDotsInsideTheMargin) {
  const auto width = [](std::string_view text) { return static_cast<int>(text.size()) * 7; };
  EXPECT_EQ("/index.htm", FitCellText("/index.htm", 200, width));
  // 10 characters are 70 pixels: they fit into 75 (71 usable), not into 74.
  EXPECT_EQ("abcdefghij", FitCellText("abcdefghij", 75, width));
  EXPECT_EQ("abcdef...", FitCellText("abcdefghij", 74, width));
  EXPECT_EQ("...", FitCellText("abcdefghij", 10, width));
}

class UrlFileEditorTest : public ::testing::Test {
 protected:
  void SetUp() override { m_path = WriteUrlFile(m_dir); }
  std::string File() const { return m_dir.Read(m_path); }
  CUrlRow Add(CUrlFileEditor& editor, const CUrlEntryValues& values) {
    CUrlRow row;
    EXPECT_TRUE(editor.AddEntry(values, row));
    return row;
  }

  TempDir m_dir;
  ScriptedPrompter m_prompter;
  std::string m_path;
};

TEST_F(UrlFileEditorTest, NewEntriesAreWrittenAndListedAsTyped) {
  CUrlFileEditor editor(m_prompter, m_path);
  ASSERT_TRUE(editor.Open());
  EXPECT_TRUE(editor.ReadRows().empty());
  const std::string fresh = File();

  const CUrlRow logo = Add(editor, Values("/logo.gif", "Send_gif", "HSTypeGif", "1200"));
  EXPECT_EQ(logo, (CUrlRow{"/logo.gif", "no", "Send_gif", "HSTypeGif", "1200", "Unprotected"}));
  EXPECT_EQ(File(),
            InsertBefore(InsertBefore(fresh, "/* @! End Function Prototypes   */",
                                      "extern void Send_gif (unsigned long);\n"),
                         "{\n   NULL",
                         "{\n   \"/logo.gif\", 0, Send_gif, (HSTypeFnBinary)HSTypeGif, 1200, "
                         "Unprotected\n},\n"));

  // A blank is stored as "%20"; the size cell shows what was typed until the
  // list is read again.
  const CUrlRow page =
      Add(editor, Values("/my page.htm", "Send_gif", "HSTypeHtml", "0", "Realm1+Realm3"));
  EXPECT_EQ(page,
            (CUrlRow{"/my%20page.htm", "yes", "Send_gif", "HSTypeHtml", "0", "Realm1+Realm3"}));
  EXPECT_NE(std::string::npos, File().find("   \"/my%20page.htm\", 1, Send_gif, "
                                           "(HSTypeFnHtml)HSTypeHtml, 0, Realm1+Realm3\r\n"));
  EXPECT_EQ(
      editor.ReadRows(),
      (std::vector<CUrlRow>{
          logo, {"/my%20page.htm", "yes", "Send_gif", "HSTypeHtml", "N/A", "Realm1+Realm3"}}));
  EXPECT_TRUE(m_prompter.shown().empty());
}

TEST_F(UrlFileEditorTest, EditKeepsThePlaceAndRemoveTakesEverySelectedRow) {
  CUrlFileEditor editor(m_prompter, m_path);
  ASSERT_TRUE(editor.Open());
  for (const char* name : {"a", "b", "c", "d", "e"}) {
    Add(editor,
        Values(std::string("/") + name + ".gif", std::string("Send_") + name, "HSTypeGif", "10"));
  }
  std::vector<CUrlRow> rows = editor.ReadRows();
  CUrlEntryValues values = CUrlFileEditor::ValuesOfRow(rows[2]);
  EXPECT_EQ("/c.gif", values.m_strUrl);
  values.m_strUrl = "/c2.png";
  values.m_strHsType = "HSTypePng";
  ASSERT_TRUE(editor.EditEntry(rows[2][0], values, rows[2]));
  EXPECT_EQ(rows, editor.ReadRows());
  EXPECT_EQ("/c2.png", editor.ReadRows()[2][0]);

  // Rows 1, 3 and 4 are selected: three entries go, and the row now at the
  // place of the last removed one (none: the new last row) is selected.
  EXPECT_EQ(1, editor.RemoveRows(rows, {4, 1, 3}));
  EXPECT_EQ(Column(rows, 0), (std::vector<std::string>{"/a.gif", "/c2.png"}));
  EXPECT_EQ(rows, editor.ReadRows());
  EXPECT_EQ(0, editor.RemoveRows(rows, {0}));
  EXPECT_EQ(-1, editor.RemoveRows(rows, {}));
  EXPECT_EQ(Column(editor.ReadRows(), 0), std::vector<std::string>{"/c2.png"});

  // A row the Delete key took from the list only is back after a refresh;
  // an edited entry the file no longer holds goes to the end.
  CUrlRow gone = Row("/gone.gif", "Send_gone", "1");
  ASSERT_TRUE(editor.EditEntry("/gone.gif", CUrlFileEditor::ValuesOfRow(gone), gone));
  EXPECT_EQ(Column(editor.ReadRows(), 0), (std::vector<std::string>{"/c2.png", "/gone.gif"}));
  EXPECT_EQ(1, CUrlFileEditor::RowAfterRemoval(1, 2));
  EXPECT_EQ(1, CUrlFileEditor::RowAfterRemoval(2, 2));
  EXPECT_EQ(-1, CUrlFileEditor::RowAfterRemoval(0, 0));
  EXPECT_TRUE(m_prompter.shown().empty());
}

// A removal the file refuses (it became read-only after opening) leaves the
// row on the list: the list never hides an entry the file still holds.
TEST_F(UrlFileEditorTest, HomePageFollowsTheProtectionOfItsPage) {
  CUrlFileEditor editor(m_prompter, m_path);
  ASSERT_TRUE(editor.Open());
  Add(editor, Values("/secret.htm", "Send_function_1", "HSTypeHtml", "0"));
  Add(editor, Values("/", "Send_function_1", "HSTypeHtml", "0"));
  Add(editor, Values("/other.htm", "Send_function_2", "HSTypeHtml", "0"));
  std::vector<CUrlRow> rows = editor.ReadRows();
  CUrlEntryValues values = CUrlFileEditor::ValuesOfRow(rows[0]);
  values.m_strRealm = "Realm2+Realm4";
  ASSERT_TRUE(editor.EditEntry(rows[0][0], values, rows[0]));
  rows = editor.ReadRows();
  EXPECT_EQ("Realm2+Realm4", rows[0][5]);
  EXPECT_EQ("/", rows[1][0]);
  EXPECT_EQ("Realm2+Realm4", rows[1][5]);

  // A home page the user protected otherwise, and the page of another
  // function, stay as they are.
  values = CUrlFileEditor::ValuesOfRow(rows[1]);
  values.m_strRealm = "Realm1";
  ASSERT_TRUE(editor.EditEntry("/", values, rows[1]));
  values = CUrlFileEditor::ValuesOfRow(rows[0]);
  values.m_strRealm = "Unprotected";
  ASSERT_TRUE(editor.EditEntry(rows[0][0], values, rows[0]));
  values = CUrlFileEditor::ValuesOfRow(rows[2]);
  values.m_strRealm = "Realm3";
  ASSERT_TRUE(editor.EditEntry(rows[2][0], values, rows[2]));
  rows = editor.ReadRows();
  EXPECT_EQ("Unprotected", rows[0][5]);
  EXPECT_EQ("Realm1", rows[1][5]);
  EXPECT_EQ("Realm3", rows[2][5]);
  EXPECT_TRUE(m_prompter.shown().empty());
}

TEST_F(UrlFileEditorTest, RefusedRemovalKeepsTheRow) {
  CUrlFileEditor editor(m_prompter, m_path);
  ASSERT_TRUE(editor.Open());
  Add(editor, Values("/a.gif", "Send_a", "HSTypeGif", "10"));
  std::vector<CUrlRow> rows = editor.ReadRows();
  ::chmod(m_path.c_str(), 0444);
  EXPECT_EQ(-1, editor.RemoveRows(rows, {0}));
  ::chmod(m_path.c_str(), 0644);
  EXPECT_EQ(rows, editor.ReadRows());
  EXPECT_EQ(1u, m_prompter.shown().size());
}

TEST_F(UrlFileEditorTest, MissingAndReadOnlyFiles) {
  CUrlFileEditor missing(m_prompter, m_dir.File("none.c"));
  EXPECT_FALSE(missing.Open());

  ASSERT_EQ(0, ::chmod(m_path.c_str(), 0444));
  const std::string before = File();
  CUrlFileEditor declined(m_prompter, m_path);
  m_prompter.QueueAnswer(false);
  EXPECT_FALSE(declined.Open());
  CUrlFileEditor viewOnly(m_prompter, m_path);
  m_prompter.QueueAnswer(true);
  ASSERT_TRUE(viewOnly.Open());
  EXPECT_TRUE(viewOnly.IsReadOnly());
  CUrlRow row;
  EXPECT_FALSE(viewOnly.AddEntry(Values("/x.htm", "Send_x", "HSTypeHtml", "0"), row));
  std::vector<CUrlRow> rows = {Row("/x.htm", "Send_x", "0")};
  EXPECT_EQ(-1, viewOnly.RemoveRows(rows, {0}));
  EXPECT_EQ(1u, rows.size());
  EXPECT_EQ(before, File());
  const std::string question = "File " + m_path + " is Read-only !\r\nDo you want to continue?";
  EXPECT_EQ(m_prompter.Texts(),
            (std::vector<std::string>{"Error in Opening " + m_dir.File("none.c"), question,
                                      question, "File " + m_path + " cannot be written."}));
}

class UrlEntryFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_path = WriteUrlFile(m_dir);
    CUrlTable table(m_prompter, m_files, m_path);
    table.AddEntry(
        -1, "{\n   \"/\", 1, Send_function_1, (HSTypeFnHtml)HSTypeHtml, 0, Unprotected\n},\n",
        "Send_function_1");
    table.AddEntry(-1, MakeUrlEntryText(Values("/my page.htm", "Send_p", "HSTypeHtml", "0")),
                   "Send_p");
  }
  // Runs OK on a new form; the message shown, or "" when accepted.
  std::string NewOk(const CUrlEntryValues& typed, bool unprotected = true, unsigned mask = 0) {
    CUrlEntryForm form(m_path);
    m_prompter.Clear();
    m_last = form.Accept(m_prompter, typed, unprotected, mask);
    m_result = form.Result();
    return m_prompter.shown().empty() ? "" : m_prompter.Texts().back();
  }

  TempDir m_dir;
  ScriptedPrompter m_prompter;
  CDirectFiles m_files;
  std::string m_path;
  UrlEntryCheck m_last = UrlEntryCheck::kAccepted;
  CUrlEntryValues m_result;
};

TEST_F(UrlEntryFormTest, ChecksRunInOrderWithTheirMessagesAndFocus) {
  CUrlEntryForm fresh(m_path);
  EXPECT_STREQ("New URL", fresh.Title());
  EXPECT_TRUE(fresh.InitialUnprotected());
  CUrlEntryValues typed = fresh.Initial();  // "/", no function, "0", HTML
  EXPECT_EQ("/", typed.m_strUrl);

  // Everything wrong at once: the function is missing first.
  typed.m_strHsType = "HSTypeGif";
  EXPECT_EQ("Please enter function name", NewOk(typed, false, 0));
  EXPECT_EQ(UrlEntryField::kFunction, CUrlEntryForm::FocusAfter(m_last));
  typed.m_strFunction = "Send_x";
  EXPECT_EQ("The size field is not valid for a non-HTML url", NewOk(typed, false, 0));
  EXPECT_EQ(UrlEntryField::kUnchanged, CUrlEntryForm::FocusAfter(m_last));
  typed.m_strSize = "12kB";  // reads as 12
  EXPECT_EQ("URL already exists!", NewOk(typed, false, 0));
  typed.m_strUrl = "/my page.htm";  // compared in its stored form, with "%20"
  EXPECT_EQ("URL already exists!", NewOk(typed, false, 0));
  typed.m_strUrl = "/new.gif";
  EXPECT_EQ("At least one realm number has to be checked", NewOk(typed, false, 0));
  EXPECT_EQ("", NewOk(typed, false, 0x5));
  EXPECT_EQ("Realm1+Realm3", m_result.m_strRealm);
  EXPECT_EQ("", NewOk(typed, true, 0x2));  // the boxes do not count while "None" is checked
  EXPECT_EQ("Unprotected", m_result.m_strRealm);

  // Size 0 passes only with exactly "HSTypeHtml"; a typed HSType is taken as it is.
  typed.m_strSize = "0";
  typed.m_strHsType = "HSTypeStaticHtml";
  EXPECT_EQ("The size field is not valid for a non-HTML url", NewOk(typed));
  typed.m_strHsType = "HSTypeHtml";
  EXPECT_EQ("", NewOk(typed));
  typed.m_strSize = "7";
  typed.m_strHsType = "HSTypeMine";
  EXPECT_EQ("", NewOk(typed));
  EXPECT_EQ("HSTypeMine", m_result.m_strHsType);
}

TEST_F(UrlEntryFormTest, ValuesThatWouldBreakTheTableAreRefused) {
  const CUrlEntryValues good = Values("/ok.gif", "Send_ok", "HSTypeGif", "10");
  struct Case {
    CUrlEntryValues typed;
    UrlEntryCheck check;
    UrlEntryField focus;
  } cases[] = {
      {Values("/a\"b.gif", "Send_ok", "HSTypeGif", "10"), UrlEntryCheck::kBadUrl,
       UrlEntryField::kUrl},
      {Values("/a,b.gif", "Send_ok", "HSTypeGif", "10"), UrlEntryCheck::kBadUrl,
       UrlEntryField::kUrl},
      {Values("", "Send_ok", "HSTypeGif", "10"), UrlEntryCheck::kBadUrl, UrlEntryField::kUrl},
      {Values("/ok.gif", "Send ok", "HSTypeGif", "10"), UrlEntryCheck::kBadFunction,
       UrlEntryField::kFunction},
      {Values("/ok.gif", "9fn", "HSTypeGif", "10"), UrlEntryCheck::kBadFunction,
       UrlEntryField::kFunction},
      {Values("/ok.gif", "Send_ok", "HSType,Gif", "10"), UrlEntryCheck::kBadHsType,
       UrlEntryField::kHsType},
      {Values("/ok.gif", "Send_ok", "HSTypeGif", "-5"), UrlEntryCheck::kSizeRange,
       UrlEntryField::kSize},
      {Values("/ok.gif", "Send_ok", "HSTypeGif", "3000000000"), UrlEntryCheck::kSizeRange,
       UrlEntryField::kSize},
      {Values("/" + std::string(1000, 'x'), "Send_ok", "HSTypeGif", "10"),
       UrlEntryCheck::kLineTooLong, UrlEntryField::kUnchanged},
  };
  for (const Case& c : cases) {
    NewOk(c.typed);
    EXPECT_EQ(c.check, m_last) << c.typed.m_strUrl << " " << c.typed.m_strFunction;
    EXPECT_EQ(c.focus, CUrlEntryForm::FocusAfter(m_last));
    EXPECT_EQ(1u, m_prompter.shown().size());
  }
  EXPECT_EQ(
      "The function must be a C name: letters, digits and underscores, not starting with "
      "a digit.",
      NewOk(Values("/ok.gif", "a-b", "HSTypeGif", "10")));
  EXPECT_EQ("", NewOk(good));
  EXPECT_EQ("", NewOk(Values("/" + std::string(900, 'x'), "Send_ok", "HSTypeGif", "10")));
}

TEST_F(UrlEntryFormTest, FunctionsThatAreKeywordsOrTheUrlFilesOwnNamesAreRefused) {
  for (const char* keyword : {"int", "while", "_Bool", "bool", "typeof", "constexpr", "asm"}) {
    EXPECT_EQ(std::string("The function must not be a C keyword, and ") + keyword + " is one.",
              NewOk(Values("/ok.gif", keyword, "HSTypeGif", "10")));
    EXPECT_EQ(UrlEntryCheck::kReservedFunction, m_last);
    EXPECT_EQ(UrlEntryField::kFunction, CUrlEntryForm::FocusAfter(m_last));
  }
  for (const char* own : {"main",         "URLTable",       "URLTableEntry",
                          "SendFn",       "HSTypeFn",       "Realm1",
                          "REALM8",       "AllRealms",      "Unprotected",
                          "AppSearchURL", "SearchURL",      "HSInitSecurityTable",
                          "HSSend",       "HSSendBinary",   "HSSetRealm",
                          "HSTypeGif",    "HSTypeStaticAu", "HSGetQuery",
                          "strcmp",       "strlen",         "NULL"}) {
    EXPECT_EQ(std::string("The function must not be named ") + own +
                  ": the URL file declares or uses that name itself.",
              NewOk(Values("/ok.gif", own, "HSTypeGif", "10")));
    EXPECT_EQ(UrlEntryCheck::kReservedFunction, m_last);
  }
  EXPECT_EQ("The HSType must not be a C keyword, and int is one.",
            NewOk(Values("/ok.gif", "Send_ok", "int", "10")));
  EXPECT_EQ(UrlEntryCheck::kBadHsType, m_last);
  // Names that only look alike are fine: C is case-sensitive.
  EXPECT_EQ("", NewOk(Values("/ok.gif", "Main", "HSTypeGif", "10")));
  EXPECT_EQ("", NewOk(Values("/ok.gif", "INT", "HSTypeGif", "10")));
  EXPECT_EQ("", NewOk(Values("/ok.gif", "Send_function_3", "HSTypeMine", "10")));
}

TEST_F(UrlEntryFormTest, EditModeStartsFromTheRowAndMayKeepItsUrl) {
  CUrlEntryForm form(Values("/", "Send_function_1", "HSTypeHtml", "N/A", "Realm2+Realm5"), m_path);
  EXPECT_STREQ("Edit URL", form.Title());
  EXPECT_FALSE(form.InitialUnprotected());
  EXPECT_EQ(0x12u, form.InitialRealmMask());
  EXPECT_EQ("N/A", form.Initial().m_strSize);
  // "N/A" reads as 0, which an HTML entry may have; the URL is another
  // entry's, which editing does not mind.
  EXPECT_EQ(UrlEntryCheck::kAccepted, form.Accept(m_prompter, form.Initial(), false, 0x12));
  EXPECT_EQ("{\n   \"/\", 1, Send_function_1, (HSTypeFnHtml)HSTypeHtml, 0, Realm2+Realm5\n},\n",
            MakeUrlEntryText(form.Result()));

  CUrlEntryForm open(Values("/", "f", "HSTypeHtml", "0", "Unprotected"), m_path);
  EXPECT_TRUE(open.InitialUnprotected());
  EXPECT_EQ(0u, open.InitialRealmMask());
  EXPECT_EQ("HSTypeHtml", std::string(kHsTypes.front()));
  EXPECT_EQ("HSTypeStaticAu", std::string(kHsTypes.back()));
  EXPECT_TRUE(m_prompter.shown().empty());
}

}  // namespace
