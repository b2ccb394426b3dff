#include "document/srv_doc.h"

#include <gtest/gtest.h>

#include "document/doc_handle.h"
#include "document/markers.h"
#include "testing/scripted_prompter.h"
#include "testing/temp_dir.h"

namespace {

std::string Numbered(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "line " + std::to_string(i) + "\r\n";
  return text;
}

TEST(SrvDocTest, ReadingPastTheEndLengthensTheDocument) {
  TempDir dir;
  ScriptedPrompter prompter;
  CCSrvDoc doc(prompter);
  EXPECT_EQ(0, doc.GetLineCount());
  ASSERT_EQ(1, doc.LoadFile(dir.Write("a.c", "a\nb\nc")));
  EXPECT_STREQ("", doc.GetLine(10));
  EXPECT_EQ(11, doc.GetLineCount());
  ASSERT_EQ(1, doc.SaveFile(dir.File("a.c")));
  EXPECT_EQ("a\r\nb\r\nc" + std::string(8 * 2, '\0').replace(0, 16, "\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n"),
            dir.Read("a.c"));
}

TEST(SrvDocTest, MarkersAreFoundAnywhereInAnyCase) {
  TempDir dir;
  ScriptedPrompter prompter;
  CCSrvDoc doc(prompter);
  doc.LoadFile(dir.Write("m.c", "int x; /* @! BEGIN html PAGE */\n/* @! Begin HTML page */\n"));
  EXPECT_EQ(0, FindMarker(doc, markers::kBeginHtmlPage));
  EXPECT_EQ(1, FindMarker(doc, markers::kBeginHtmlPage, 1));
  EXPECT_EQ(-1, FindMarker(doc, markers::kEndHtmlPage));
  EXPECT_EQ("Can't find /* @! End HTML page   */ in /x/url.c",
            MissingMarkerText(markers::kEndHtmlPage, "/x/url.c"));
  ReportMissingMarker(prompter, markers::kBeginBinary, "b.c");
  EXPECT_EQ("Can't find /* @! Begin Binary */ in b.c", prompter.Texts().at(0));
}

TEST(SrvDocTest, ClearSection) {
  TempDir dir;
  ScriptedPrompter prompter;
  std::string text = Numbered(5) + "BEGIN\r\n" + Numbered(3) + "END\r\n" + "after";
  const std::string path = dir.Write("s.c", text);

  EXPECT_EQ(6, ClearSection(prompter, path, "begin", "end", 0));
  EXPECT_EQ(Numbered(5) + "BEGIN\r\nEND\r\nafter", dir.Read("s.c"));

  dir.Write("s.c", text);
  EXPECT_EQ(6, ClearSection(prompter, path, "begin", "end", 1));
  EXPECT_EQ(Numbered(5) + "after", dir.Read("s.c"));

  // Adjacent markers or a missing end marker: nothing removed, nothing saved.
  dir.Write("s.c", "x\nBEGIN\nEND\n");
  EXPECT_EQ(2, ClearSection(prompter, path, "begin", "end", 1));
  EXPECT_EQ("x\nBEGIN\nEND\n", dir.Read("s.c"));
  dir.Write("s.c", "BEGIN\nkeep\n");
  EXPECT_EQ(1, ClearSection(prompter, path, "begin", "end", 0));
  EXPECT_EQ("BEGIN\nkeep\n", dir.Read("s.c"));
  EXPECT_EQ(-1, ClearSection(prompter, path, "nothing", "end", 0));
  EXPECT_EQ(-1, ClearSection(prompter, dir.File("absent.c"), "begin", "end", 0));

  // Two sections of one name: only the first from the top goes.
  dir.Write("s.c", "/* @! Begin File: A */\r\n1\r\n/* @! End File: A */\r\n"
                   "/* @! Begin File: a */\r\n2\r\n/* @! End File: a */");
  ClearSection(prompter, path, "/* @! Begin File: a */", "/* @! End File: a */", 1);
  EXPECT_EQ("/* @! Begin File: a */\r\n2\r\n/* @! End File: a */", dir.Read("s.c"));
  EXPECT_TRUE(prompter.shown().empty());
}

TEST(SrvDocTest, BatchReadsOnceAndWritesAtFlush) {
  TempDir dir;
  ScriptedPrompter prompter;
  const std::string path = dir.Write("b.c", "one\r\ntwo");
  {
    CDocBatch batch;
    CDocHandle first = CDocHandle::Open(prompter, path);
    first->InsertText(0, 2, "three");
    EXPECT_EQ(1, first.Save());
    EXPECT_EQ("one\r\ntwo", dir.Read("b.c"));  // not yet written
    CDocHandle second = CDocHandle::Open(prompter, path);
    EXPECT_EQ(&*first, &*second);
    EXPECT_EQ(3, second->GetLineCount());

    // A file written anew is read again by the next Open.
    CDocHandle::WriteNew(dir.File("n.c"), "fresh\r\n");
    CDocHandle::Open(prompter, dir.File("n.c"));
    EXPECT_EQ(1, CDocHandle::WriteNew(dir.File("n.c"), "newer"));
    EXPECT_EQ("newer", CDocHandle::Open(prompter, dir.File("n.c"))->LineText(0));
  }
  EXPECT_EQ("one\r\ntwo\r\nthree", dir.Read("b.c"));
  EXPECT_EQ(nullptr, CDocBatch::Active());

  // Outside a batch every Open reads the file afresh.
  CDocHandle a = CDocHandle::Open(prompter, path);
  CDocHandle b = CDocHandle::Open(prompter, path);
  EXPECT_NE(&*a, &*b);
  EXPECT_EQ(-1, CDocHandle::Open(prompter, dir.File("none.c")).LoadResult());
}

}  // namespace
