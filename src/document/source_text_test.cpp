#include "document/source_text.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "document/srv_doc.h"
#include "testing/scripted_prompter.h"
#include "testing/temp_dir.h"

namespace {

std::vector<std::string> Lines(CCSrvDoc& doc) {
  std::vector<std::string> lines;
  for (int i = 0; i < doc.GetLineCount(); ++i) lines.emplace_back(doc.LineText(i));
  return lines;
}

class SourceTextTest : public ::testing::Test {
 protected:
  // Loads text from a file and returns LoadFile's result.
  int Load(const std::string& text) { return doc.LoadFile(dir.Write("in.txt", text)); }
  std::string SaveAndRead() {
    EXPECT_EQ(1, doc.SaveFile(dir.File("out.txt")));
    return dir.Read("out.txt");
  }
  void SetText(const std::string& text) {
    ASSERT_EQ(1, Load(text));
  }

  TempDir dir;
  ScriptedPrompter prompter;
  CCSrvDoc doc{prompter};
};

using V = std::vector<std::string>;

TEST_F(SourceTextTest, LineEndsLoadAndSaveBackInCrLf) {
  EXPECT_EQ(1, Load(""));
  EXPECT_EQ(V{""}, Lines(doc));
  EXPECT_EQ("", SaveAndRead());

  EXPECT_EQ(1, Load("ab\ncd"));
  EXPECT_EQ((V{"ab", "cd"}), Lines(doc));
  EXPECT_EQ(1, Load("ab\ncd\n"));
  EXPECT_EQ((V{"ab", "cd", ""}), Lines(doc));
  EXPECT_EQ("ab\r\ncd\r\n", SaveAndRead());

  // CR LF is one line end; a lone CR stays in the line; CR CR LF keeps one CR.
  EXPECT_EQ(1, Load("a\r\nb\rc\r\r\nd"));
  EXPECT_EQ((V{"a", "b\rc\r", "d"}), Lines(doc));
  EXPECT_EQ("a\r\nb\rc\r\r\nd", SaveAndRead());
}

TEST_F(SourceTextTest, LongLinesWrapAfterOneWarning) {
  EXPECT_EQ(1, Load(std::string(1023, 'a') + "\n"));
  EXPECT_EQ(1023, doc.GetLineLength(0));

  prompter.QueueAnswer(true);
  EXPECT_EQ(0, Load(std::string(2500, 'b') + "\n" + std::string(1500, 'c')));
  EXPECT_EQ(4, doc.LastError());
  V lines = Lines(doc);
  ASSERT_EQ(5u, lines.size());
  EXPECT_EQ(1024u, lines[0].size());
  EXPECT_EQ(1024u, lines[1].size());
  EXPECT_EQ(452u, lines[2].size());
  EXPECT_EQ(1024u, lines[3].size());
  EXPECT_EQ(476u, lines[4].size());
  ASSERT_EQ(1u, prompter.shown().size());
  EXPECT_EQ(CSourceDocMfc::kLongLineText, prompter.shown()[0].text);
  EXPECT_EQ(ScriptedPrompter::Kind::kOkCancel, prompter.shown()[0].kind);

  // Exactly 1024 bytes with a line end: that line, the empty piece of its line
  // end, and the empty last line.
  prompter.QueueAnswer(true);
  EXPECT_EQ(0, Load(std::string(1024, 'x') + "\n"));
  EXPECT_EQ((V{std::string(1024, 'x'), "", ""}), Lines(doc));

  // Declining leaves one empty line.
  prompter.QueueAnswer(false);
  EXPECT_EQ(0, Load("short\n" + std::string(1024, 'y')));
  EXPECT_EQ(3, doc.LastError());
  EXPECT_EQ(V{""}, Lines(doc));
}

TEST_F(SourceTextTest, NulBytesAndMissingFiles) {
  SetText("keep\n");
  // A file that cannot be opened keeps the previous lines.
  EXPECT_EQ(0, doc.LoadFile(dir.File("missing.txt")));
  EXPECT_EQ(1, doc.LastError());
  EXPECT_EQ((V{"keep", ""}), Lines(doc));

  // A NUL inside a piece ends it; a piece that starts with one is an error,
  // and the lines read before it stay.
  EXPECT_EQ(1, Load(std::string("ab\0cd\nef", 8)));
  EXPECT_EQ((V{"ab", "ef"}), Lines(doc));
  try {
    Load(std::string("one\n\0two\n", 9));
    FAIL() << "expected a file error";
  } catch (const CSourceException& e) {
    EXPECT_EQ(2, e.Code());
    EXPECT_EQ("File error.", e.Message());
  }
  EXPECT_EQ((V{"one"}), Lines(doc));
}

TEST_F(SourceTextTest, ReadOnlyFileLoadsButRefusesCommandsAndSave) {
  const std::string path = dir.Write("ro.txt", "line\n");
  ASSERT_EQ(0, ::chmod(path.c_str(), 0444));
  EXPECT_EQ(1, doc.LoadFile(path));
  EXPECT_TRUE(doc.IsReadOnly());
  EXPECT_EQ(0, doc.Execute(std::make_unique<CDeleteTextCommand>(TextPos{0, 0}, TextPos{2, 0})));
  EXPECT_EQ(7, doc.LastError());
  doc.InsertText(0, 0, "x");
  EXPECT_EQ("xline", doc.LineText(0));
  EXPECT_EQ(0, doc.SaveFile(path));
  EXPECT_EQ("line\n", dir.Read("ro.txt"));
}

TEST_F(SourceTextTest, SaveIntoMissingFolderReturnsZeroAndKeepsOldFile) {
  SetText("a\nb");
  EXPECT_EQ(0, doc.SaveFile(dir.File("no/such/folder/x.c")));
  const std::string path = dir.Write("old.c", "old contents");
  EXPECT_EQ(1, doc.SaveFile(path));
  EXPECT_EQ("a\r\nb", dir.Read("old.c"));
}

TEST_F(SourceTextTest, FindText) {
  SetText("first Line\n  call(Marker)\nmarker here\nlast");
  SearchSpec spec;
  TextPos at{-1, -1};
  spec.text = "MARKER";
  spec.length = 6;
  ASSERT_EQ(1, doc.FindText(spec, at));
  EXPECT_EQ(7, at.column);
  EXPECT_EQ(1, at.line);

  spec.matchCase = 1;
  EXPECT_EQ(0, doc.FindText(spec, at));
  spec.matchCase = 0;

  // Whole word: not next to a parenthesis, but at the line's edge.
  spec.wholeWord = 1;
  ASSERT_EQ(1, doc.FindText(spec, at));
  EXPECT_EQ(0, at.column);
  EXPECT_EQ(2, at.line);
  spec.wholeWord = 0;

  // An empty text matches at column 0 of the start line.
  SearchSpec empty;
  empty.text = "";
  empty.line = 2;
  empty.column = 5;
  ASSERT_EQ(1, doc.FindText(empty, at));
  EXPECT_EQ(0, at.column);
  EXPECT_EQ(2, at.line);

  // A start line past the end searches the last line whole.
  SearchSpec past;
  past.text = "la";
  past.line = 40;
  past.column = 3;
  ASSERT_EQ(1, doc.FindText(past, at));
  EXPECT_EQ(3, at.line);

  // Backward: the start column's byte is included; other lines from the end.
  SearchSpec back;
  back.text = "e";
  back.backward = 1;
  back.line = 2;
  back.column = 10;
  ASSERT_EQ(1, doc.FindText(back, at));
  EXPECT_EQ(10, at.column);
  back.column = 0;
  ASSERT_EQ(1, doc.FindText(back, at));
  EXPECT_EQ(1, at.line);
  EXPECT_EQ(11, at.column);

  // Not found leaves the out position alone.
  SearchSpec none;
  none.text = "absent";
  at = {42, 43};
  EXPECT_EQ(0, doc.FindText(none, at));
  EXPECT_EQ(42, at.column);
}

TEST_F(SourceTextTest, InsertText) {
  SetText("abc\ndef\nghi");
  TextPos end = doc.InsertText(10, 0, "X");
  EXPECT_EQ("abc       X", doc.LineText(0));
  EXPECT_EQ(11, end.column);

  end = doc.InsertText(0, 7, "tail");
  EXPECT_EQ(8, doc.GetLineCount());
  EXPECT_EQ("tail", doc.LineText(7));

  SetText("one\ntwo");
  end = doc.InsertText(1, 0, "A\r\nB\nC\rD");
  EXPECT_EQ((V{"oA", "B", "C", "Dne", "two"}), Lines(doc));
  EXPECT_EQ(1, end.column);
  EXPECT_EQ(3, end.line);

  // A text ending in a line end, inserted at column 0, goes before the line.
  SetText("one\ntwo");
  end = doc.InsertText(0, 1, "new\n");
  EXPECT_EQ((V{"one", "new", "two"}), Lines(doc));
  EXPECT_EQ(0, end.column);
  EXPECT_EQ(2, end.line);
}

TEST_F(SourceTextTest, RangeTextAndDeleteRange) {
  SetText("abcd\nefgh\nijkl\nmnop");
  int size = 0;
  ASSERT_EQ(1, doc.GetRangeText({2, 0}, {1, 2}, nullptr, size, true));
  EXPECT_EQ(12, size);  // "cd\r\nefgh\r\ni" and the NUL
  std::string buffer(static_cast<size_t>(size), '?');
  int small = 3;
  EXPECT_EQ(0, doc.GetRangeText({2, 0}, {1, 2}, buffer.data(), small, true));
  ASSERT_EQ(1, doc.GetRangeText({2, 0}, {1, 2}, buffer.data(), size, true));
  EXPECT_STREQ("cd\r\nefgh\r\ni", buffer.c_str());

  doc.DeleteRange({2, 0}, {1, 2});
  EXPECT_EQ((V{"abjkl", "mnop"}), Lines(doc));

  SetText("abcd\nefgh\nijkl\nmnop");
  doc.DeleteRange({2, 0}, {9, 2});  // past the end of line 2: its line end goes too
  EXPECT_EQ((V{"abmnop"}), Lines(doc));
}

TEST_F(SourceTextTest, UndoRedoHistory) {
  SetText("hello world\nsecond");
  doc.SetModified(false);
  ASSERT_EQ(1, doc.Execute(std::make_unique<CDeleteTextCommand>(TextPos{5, 0}, TextPos{3, 1})));
  EXPECT_EQ("helloond", doc.LineText(0));
  EXPECT_TRUE(doc.IsModified());
  EXPECT_TRUE(doc.IsUndoEnabled());
  EXPECT_FALSE(doc.IsRedoEnabled());

  doc.Undo();
  EXPECT_EQ((V{"hello world", "second"}), Lines(doc));
  EXPECT_FALSE(doc.IsModified());
  EXPECT_FALSE(doc.IsUndoEnabled());
  EXPECT_TRUE(doc.IsRedoEnabled());
  doc.Redo();
  EXPECT_EQ("helloond", doc.LineText(0));

  // A new command after an undo drops the undone entries.
  doc.Undo();
  ASSERT_EQ(1, doc.Execute(std::make_unique<CDeleteTextCommand>(TextPos{0, 0}, TextPos{6, 0})));
  EXPECT_EQ(1, doc.HistorySize());
  EXPECT_FALSE(doc.IsRedoEnabled());

  // The history keeps the newest 256 commands.
  SetText(std::string(300, 'z'));
  for (int i = 0; i < 257; ++i)
    doc.Execute(std::make_unique<CDeleteTextCommand>(TextPos{0, 0}, TextPos{1, 0}));
  EXPECT_EQ(CSourceText::UndoLimit, doc.HistorySize());
  EXPECT_EQ(43, doc.GetLineLength(0));

  // A join longer than the maximum line length is refused.
  SetText(std::string(600, 'a') + "\n" + std::string(600, 'b'));
  EXPECT_EQ(0, doc.Execute(std::make_unique<CDeleteTextCommand>(TextPos{600, 0}, TextPos{0, 1})));
  EXPECT_EQ(5, doc.LastError());
  EXPECT_EQ(2, doc.GetLineCount());

  doc.DeleteAll();
  doc.Redo();  // nothing to redo on an empty history
  EXPECT_EQ(V{""}, Lines(doc));
}

TEST_F(SourceTextTest, DocumentLevelOpenAndSave) {
  prompter.QueueAnswer(true);
  EXPECT_TRUE(doc.OpenDocument(dir.Write("long.txt", std::string(1100, 'q'))));
  EXPECT_TRUE(doc.IsModified());  // wrapped lines leave it modified
  EXPECT_EQ(dir.File("long.txt"), doc.GetPathName());

  EXPECT_TRUE(doc.OpenDocument(dir.Write("ok.txt", "fine")));
  EXPECT_FALSE(doc.IsModified());
  EXPECT_FALSE(doc.OpenDocument(dir.File("absent.txt")));

  EXPECT_FALSE(doc.OpenDocument(dir.Write("zero.txt", std::string("\0x", 2))));
  EXPECT_EQ("File error.", prompter.Texts().back());

  doc.SetModified(true);
  EXPECT_TRUE(doc.SaveDocument(dir.File("saved.txt")));
  EXPECT_FALSE(doc.IsModified());
}

}  // namespace
