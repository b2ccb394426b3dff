#include "document/srv_doc.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <initializer_list>
#include <random>

#include "document/generated_files.h"
#include "document/markers.h"
#include "platform/file_util.h"
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
  EXPECT_EQ(
      "a\r\nb\r\nc" + std::string(8 * 2, '\0').replace(0, 16, "\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n"),
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
  CDirectFiles files;
  TempDir dir;
  ScriptedPrompter prompter;
  std::string text = Numbered(5) + "BEGIN\r\n" + Numbered(3) + "END\r\n" + "after";
  const std::string path = dir.Write("s.c", text);

  EXPECT_EQ(6, ClearSection(prompter, files, path, "begin", "end", 0));
  EXPECT_EQ(Numbered(5) + "BEGIN\r\nEND\r\nafter", dir.Read("s.c"));

  dir.Write("s.c", text);
  EXPECT_EQ(6, ClearSection(prompter, files, path, "begin", "end", 1));
  EXPECT_EQ(Numbered(5) + "after", dir.Read("s.c"));

  // Adjacent markers or a missing end marker: nothing removed, nothing saved.
  dir.Write("s.c", "x\nBEGIN\nEND\n");
  EXPECT_EQ(2, ClearSection(prompter, files, path, "begin", "end", 1));
  EXPECT_EQ("x\nBEGIN\nEND\n", dir.Read("s.c"));
  dir.Write("s.c", "BEGIN\nkeep\n");
  EXPECT_EQ(1, ClearSection(prompter, files, path, "begin", "end", 0));
  EXPECT_EQ("BEGIN\nkeep\n", dir.Read("s.c"));
  EXPECT_EQ(-1, ClearSection(prompter, files, path, "nothing", "end", 0));
  EXPECT_EQ(-1, ClearSection(prompter, files, dir.File("absent.c"), "begin", "end", 0));

  // Two sections of one name: only the first from the top goes.
  dir.Write("s.c",
            "/* @! Begin File: A */\r\n1\r\n/* @! End File: A */\r\n"
            "/* @! Begin File: a */\r\n2\r\n/* @! End File: a */");
  ClearSection(prompter, files, path, "/* @! Begin File: a */", "/* @! End File: a */", 1);
  EXPECT_EQ("/* @! Begin File: a */\r\n2\r\n/* @! End File: a */", dir.Read("s.c"));
  EXPECT_TRUE(prompter.shown().empty());
}

// The plainest line storage: one string per line in one array. The engine
// searches it line by line, so it is the reference for the chunked storage and
// its marker index.
class PlainDoc : public CSourceText {
 public:
  int GetLineCount() override { return static_cast<int>(lines.size()); }
  const char* GetLine(int n) override { return Line(n).c_str(); }
  int GetLineLength(int n) override { return static_cast<int>(Line(n).size()); }
  void RemoveLines(int n, int count) override {
    if (count <= 0 || n >= GetLineCount()) return;
    count = std::min(count, GetLineCount() - n);
    lines.erase(lines.begin() + n, lines.begin() + n + count);
  }
  void InsertEmptyLine(int n) override {
    if (n < GetLineCount()) {
      lines.insert(lines.begin() + n, std::string());
    } else {
      Line(n);
    }
  }
  char* GetLineBuffer(int n, int len) override {
    std::string& line = Line(n);
    if (static_cast<int>(line.size()) < len) line.resize(static_cast<size_t>(len));
    return line.data();
  }
  void ReleaseLineBuffer(int n, int len) override { Line(n).resize(static_cast<size_t>(len)); }
  bool LongLineWarning() override { return true; }

  std::string& Line(int n) {
    if (n >= GetLineCount()) lines.resize(static_cast<size_t>(n) + 1);
    return lines[static_cast<size_t>(n)];
  }
  std::vector<std::string> lines;
};

// Random edits through every storage operation, mirrored on the plain storage:
// after each, both hold the same lines and every search finds the same place,
// whether the marker index answers it or the line-by-line search does.
TEST(SrvDocTest, StorageAndIndexedSearchMatchThePlainStorage) {
  ScriptedPrompter prompter;
  CCSrvDoc doc(prompter);
  PlainDoc plain;
  std::mt19937 rng(20240611);
  auto pick = [&](int below) { return below <= 0 ? 0 : static_cast<int>(rng() % below); };
  const std::vector<std::string> pieces = {"x",
                                           "ab",
                                           " ",
                                           "\t",
                                           "@",
                                           "!",
                                           "@!",
                                           "@!@!",
                                           "/* @! Begin File: a */",
                                           "/* @! BEGIN file: A */",
                                           "/* @! End Binary   */",
                                           "(",
                                           "@! e",
                                           "code;",
                                           "/*  @! File: p {{ */"};
  auto lineText = [&]() {
    std::string text;
    // Few lines hold a marker sign, as in a generated file, so that most
    // searches for one are answered from the index.
    const int parts = pick(6);
    for (int i = 0; i < parts; ++i) {
      text += pieces[static_cast<size_t>(pick(60) == 0 ? 6 + pick(9) : pick(6))];
    }
    return text;
  };
  const std::vector<std::string> queries = {"@!",
                                            "/* @! Begin File: a */",
                                            "@! begin file: a",
                                            "@!@",
                                            "!@!",
                                            "b @! e",
                                            " @! End Binary",
                                            "x@!",
                                            "@! e",
                                            "file: a */",
                                            "ab",
                                            "@",
                                            "File: p {{",
                                            "/* @! Begin File: a */x"};
  auto compareSearches = [&]() {
    for (int q = 0; q < 8; ++q) {
      SearchSpec spec;
      const std::string& text =
          queries[static_cast<size_t>(pick(static_cast<int>(queries.size())))];
      spec.text = text.c_str();
      spec.length = pick(5) == 0 ? pick(6) : static_cast<int>(text.size());
      spec.line = pick(plain.GetLineCount() + 4) - 2;
      spec.column = pick(40) - 2;
      spec.backward = pick(2);
      spec.matchCase = pick(3) == 0;
      spec.wholeWord = pick(4) == 0;
      TextPos a{-7, -7}, b{-7, -7};
      const int found = doc.FindText(spec, a);
      ASSERT_EQ(plain.FindText(spec, b), found) << text << " from " << spec.line;
      ASSERT_EQ(b.line, a.line) << text;
      ASSERT_EQ(b.column, a.column) << text;
    }
  };
  auto compareLines = [&]() {
    ASSERT_EQ(plain.GetLineCount(), doc.GetLineCount());
    for (int i = 0; i < plain.GetLineCount(); ++i) ASSERT_EQ(plain.lines[i], doc.LineText(i)) << i;
  };

  for (int step = 0; step < 1500; ++step) {
    const int count = plain.GetLineCount();
    const int n = pick(count + 3);
    switch (pick(10)) {
      case 0: {  // many whole lines at once, enough to split chunks
        std::vector<std::string> texts(static_cast<size_t>(1 + pick(pick(3) == 0 ? 3000 : 20)));
        for (std::string& t : texts) t = lineText();
        std::vector<std::string_view> views(texts.begin(), texts.end());
        doc.InsertLines(n, views);
        if (n > count) plain.lines.resize(static_cast<size_t>(n));
        plain.lines.insert(plain.lines.begin() + n, texts.begin(), texts.end());
        break;
      }
      case 1: {
        const int removed = pick(3) == 0 ? pick(2500) : pick(4);
        doc.RemoveLines(n, removed);
        plain.RemoveLines(n, removed);
        break;
      }
      case 2:
        doc.InsertEmptyLine(n);
        plain.InsertEmptyLine(n);
        break;
      case 3: {
        const std::string text = lineText();
        doc.SetLineText(n, text);
        plain.Line(n) = text;
        break;
      }
      case 4: {  // write through the buffer, as a load does
        const std::string text = lineText();
        const int len = static_cast<int>(text.size());
        for (CSourceText* engine :
             {static_cast<CSourceText*>(&doc), static_cast<CSourceText*>(&plain)}) {
          char* buffer = engine->GetLineBuffer(n, len);
          std::memcpy(buffer, text.data(), text.size());
          engine->ReleaseLineBuffer(n, len);
        }
        break;
      }
      case 5: {  // cut or lengthen a line without writing
        const int len = pick(12);
        doc.ReleaseLineBuffer(n, len);
        plain.ReleaseLineBuffer(n, len);
        break;
      }
      case 6: {
        const std::string text = lineText() + (pick(2) ? "\r\n" : "\n") + lineText();
        const int column = pick(8);
        EXPECT_EQ(plain.InsertText(column, n, text.c_str()).line,
                  doc.InsertText(column, n, text.c_str()).line);
        break;
      }
      case 7:
        if (count > 0) {
          const TextPos from{pick(6), pick(count)};
          const TextPos to{pick(8), std::min(count - 1, from.line + pick(4))};
          doc.DeleteRange(from, to);
          plain.DeleteRange(from, to);
        }
        break;
      case 8:
        EXPECT_EQ(plain.GetLineLength(n), doc.GetLineLength(n));  // may lengthen both
        break;
      default:
        if (pick(20) == 0) {
          doc.DeleteAll();
          plain.DeleteAll();
        }
        break;
    }
    compareSearches();
    if (step % 25 == 0 || HasFailure()) compareLines();
    if (HasFailure()) return;
  }
  compareLines();
  EXPECT_EQ(plain.JoinedText(), doc.JoinedText());
  {
    TempDir saved;
    EXPECT_TRUE(doc.IsSavedIn(saved.Write("doc.c", plain.JoinedText())));
    EXPECT_FALSE(doc.IsSavedIn(saved.Write("other.c", plain.JoinedText() + " ")));
  }

  // A load replaces everything, index included.
  TempDir dir;
  std::string text;
  for (int i = 0; i < 5000; ++i) text += lineText() + (pick(4) ? "\r\n" : "\n");
  const std::string path = dir.Write("load.c", text);
  ASSERT_EQ(1, doc.LoadFile(path));
  ASSERT_EQ(1, plain.LoadFile(path));
  compareLines();
  for (int q = 0; q < 200 && !HasFailure(); ++q) compareSearches();
  ASSERT_EQ(1, doc.SaveFile(dir.File("saved.c")));
  EXPECT_EQ(plain.JoinedText(), dir.Read("saved.c"));
}

// Looking at a file without loading it agrees with searching its document,
// and declines the files whose document would not hold the file's own lines.
TEST(SrvDocTest, MarkersInOrderInFileAgreesWithTheDocument) {
  TempDir dir;
  ScriptedPrompter prompter;
  const std::vector<const char*> order = {"/* @! One */", "/* @! Two */", "/* @! Three */"};
  auto byDocument = [&](const std::string& path) {
    CCSrvDoc doc(prompter);
    doc.LoadFile(path);
    int start = 0;
    int all = 1;
    for (const char* marker : order) {
      const int line = FindMarker(doc, marker, start);
      if (line < 0) all = 0;
      if (line >= 0) start = line;
    }
    return all;
  };
  const std::string one = order[0], two = order[1], three = order[2];
  const std::string longLine(1500, 'x');
  const std::vector<std::pair<std::string, int>> cases = {
      {one + "\r\n" + two + "\r\nx\r\n" + three + "\r\n", 1},
      {two + "\r\n" + one + "\r\n" + three, 0},
      {"/* @! ONE */ " + three + " " + two + "\n", 1},    // one line, any order
      {two + "\n" + one + "\n" + two + "\n" + three, 1},  // a later second one counts
      {one + "\n" + three + "\n" + two, 0},
      {one + "\n" + two + "\n" + three.substr(0, 8), 0},
      {std::string(1023, 'y') + "\r\n" + one + two + three, 1},  // the longest short line
      {one + "\n" + longLine + "\n" + two + three, -1},          // a load would wrap it
      {one + two + three + "\n" + std::string(1024, 'z'), -1},
      {one + "\n" + std::string("a\0b", 3) + "\n" + two + three, -1}};
  for (const auto& [text, expected] : cases) {
    const std::string path = dir.Write("m.c", text);
    EXPECT_EQ(expected, MarkersInOrderInFile(path, order)) << text.substr(0, 60);
    if (expected >= 0) {
      EXPECT_EQ(expected, byDocument(path)) << text.substr(0, 60);
    }
  }
  EXPECT_EQ(-1, MarkersInOrderInFile(dir.File("missing.c"), order));
}

TEST(SrvDocTest, BatchReadsOnceAndWritesAtFlush) {
  CDirectFiles files;
  TempDir dir;
  ScriptedPrompter prompter;
  const std::string path = dir.Write("b.c", "one\r\ntwo");
  {
    CDocBatch batch;
    CDocHandle first = batch.Open(prompter, path);
    first->InsertText(0, 2, "three");
    EXPECT_EQ(1, first.Save());
    EXPECT_EQ("one\r\ntwo", dir.Read("b.c"));  // not yet written
    CDocHandle second = batch.Open(prompter, path);
    EXPECT_EQ(&*first, &*second);
    EXPECT_EQ(3, second->GetLineCount());

    // A file written anew is read again by the next Open.
    batch.WriteNew(dir.File("n.c"), "fresh\r\n");
    batch.Open(prompter, dir.File("n.c"));
    EXPECT_EQ(1, batch.WriteNew(dir.File("n.c"), "newer"));
    EXPECT_EQ("newer", batch.Open(prompter, dir.File("n.c"))->LineText(0));
  }
  EXPECT_EQ("one\r\ntwo\r\nthree", dir.Read("b.c"));

  // Outside a batch every Open reads the file afresh.
  CDocHandle a = files.Open(prompter, path);
  CDocHandle b = files.Open(prompter, path);
  EXPECT_NE(&*a, &*b);
  EXPECT_EQ(-1, files.Open(prompter, dir.File("none.c")).LoadResult());
}

TEST(SrvDocTest, FlushWritesABigFileBesideTheOthersAndReportsFailures) {
  TempDir dir;
  ScriptedPrompter prompter;
  std::string big;
  // Over 1 MiB, so that it goes out in more than one piece.
  for (int i = 0; i < 120000; ++i) big += "0x" + std::to_string(i % 100) + ",0x55,\r\n";
  const std::string bigPath = dir.Write("big.c", big);
  const std::string small = dir.Write("small.c", "a");
  const std::string locked = dir.Write("locked.c", "b");
  std::vector<std::string> failed;
  {
    CDocBatch batch;
    CDocHandle doc = batch.Open(prompter, bigPath);
    doc->InsertText(0, 0, "/* head */");
    ASSERT_EQ(1, doc.Save());
    for (const std::string& path : {small, locked}) {
      CDocHandle other = batch.Open(prompter, path);
      other->InsertText(1, 0, "+");
      ASSERT_EQ(1, other.Save());
    }
    ASSERT_EQ(1, batch.WriteNew(dir.File("new.c"), "new\r\n"));
    ::chmod(locked.c_str(), 0444);
    EXPECT_FALSE(batch.Flush());
    failed = batch.FailedPaths();
  }
  EXPECT_EQ("/* head */" + big, dir.Read("big.c"));
  EXPECT_EQ("a+", dir.Read("small.c"));
  EXPECT_EQ("new\r\n", dir.Read("new.c"));
  EXPECT_EQ("b", dir.Read("locked.c"));
  EXPECT_EQ(std::vector<std::string>{locked}, failed);
}

TEST(SrvDocTest, BatchAnswersSizesAndRefusesWhatItCouldNotWriteLater) {
  TempDir dir;
  ScriptedPrompter prompter;
  const std::string path = dir.Write("b.c", "one\r\ntwo");
  CDocBatch batch;
  EXPECT_FALSE(batch.IsHeld(path));
  EXPECT_EQ(8, batch.FileSize(path));
  CDocHandle doc = batch.Open(prompter, path);
  doc->InsertText(3, 1, "three");
  ASSERT_EQ(1, doc.Save());
  EXPECT_TRUE(batch.IsHeld(path));
  EXPECT_EQ(13, batch.FileSize(path));  // as it will be written
  ASSERT_EQ(1, batch.WriteNew(dir.File("n.c"), "new\r\n"));
  EXPECT_EQ(5, batch.FileSize(dir.File("n.c")));
  EXPECT_FALSE(PathExists(dir.File("n.c")));

  // Refused at once, each with the system's reason, by the batch as by a
  // direct write.
  const std::string locked = dir.Write("locked.c", "old");
  ::chmod(locked.c_str(), 0444);
  CDirectFiles direct;
  for (CGeneratedFiles* files : std::initializer_list<CGeneratedFiles*>{&batch, &direct}) {
    std::string reason;
    EXPECT_EQ(0, files->WriteNew(dir.File("none/n.c"), "x", &reason));  // no such folder
    EXPECT_EQ(std::strerror(ENOENT), reason);
    EXPECT_EQ(0, files->WriteNew(dir.path(), "x", &reason));  // a folder
    EXPECT_EQ(std::strerror(EISDIR), reason);
    EXPECT_EQ(0, files->WriteNew(locked, "x", &reason));
    EXPECT_EQ(std::strerror(EACCES), reason);
  }
  // A line a load would wrap is written at once, as it is.
  const std::string longLine(CSourceText::MaxLineLength, 'x');
  ASSERT_EQ(1, batch.WriteNew(dir.File("long.c"), longLine));
  EXPECT_EQ(longLine, dir.Read("long.c"));
  EXPECT_TRUE(batch.Flush());
  EXPECT_EQ("one\r\ntwothree", dir.Read("b.c"));
  EXPECT_EQ("new\r\n", dir.Read("n.c"));
}

// A build asks the system about a file once; what it learnt holds until the
// batch writes the file itself. (A change made meanwhile by someone else is
// caught when the file is written: see the stamp checks.)
TEST(SrvDocTest, BatchAsksAboutAFileOnceAndAgainAfterWritingIt) {
  TempDir dir;
  const std::string path = dir.Write("f.c", "one");
  CDocBatch batch;
  EXPECT_EQ(3, batch.Status(path).size);
  EXPECT_FALSE(batch.IsReadOnly(path));
  dir.Write("f.c", "longer");
  ::chmod(path.c_str(), 0444);
  EXPECT_EQ(3, batch.Status(path).size);
  EXPECT_FALSE(batch.IsReadOnly(path));
  ::chmod(path.c_str(), 0644);
  ASSERT_EQ(1, batch.WriteNew(path, "new\r\n"));
  batch.Release(path);
  EXPECT_EQ(5, batch.Status(path).size);
  EXPECT_TRUE(batch.Flush());
  EXPECT_FALSE(batch.Status(dir.File("none.c")).exists);
}

TEST(SrvDocTest, ReleasedFilesAreWrittenAndReadAfreshWhenOpenedAgain) {
  TempDir dir;
  ScriptedPrompter prompter;
  const std::string page = dir.Write("page.c", "one");
  const std::string locked = dir.Write("locked.c", "two");
  CDocBatch batch;
  for (const std::string& path : {page, locked}) {
    CDocHandle doc = batch.Open(prompter, path);
    doc->InsertText(3, 0, "+");
    ASSERT_EQ(1, doc.Save());
  }
  ::chmod(locked.c_str(), 0444);
  batch.Release(page);
  batch.Release(locked);
  batch.Release(dir.File("never-opened.c"));

  // A step that opens a released file after all sees what was written.
  CDocHandle again = batch.Open(prompter, page);
  EXPECT_EQ("one+", dir.Read("page.c"));
  EXPECT_EQ("one+", again->LineText(0));
  again->InsertText(4, 0, "!");
  ASSERT_EQ(1, again.Save());

  // A document that a handle still holds is not let go.
  batch.Release(page);
  again->InsertText(5, 0, "?");
  ASSERT_EQ(1, again.Save());
  EXPECT_EQ("one+", dir.Read("page.c"));
  EXPECT_EQ(&*again, &*batch.Open(prompter, page));

  // The failed write of a released file is reported by the next Flush.
  EXPECT_FALSE(batch.Flush());
  EXPECT_EQ(std::vector<std::string>{locked}, batch.FailedPaths());
  EXPECT_EQ("one+!?", dir.Read("page.c"));
  EXPECT_EQ("two", dir.Read("locked.c"));
  EXPECT_FALSE(PathExists(dir.File("never-opened.c")));
  EXPECT_TRUE(batch.Flush());  // nothing new went wrong
}

}  // namespace

// More released files than the writer's queue holds: the build's thread
// writes the oldest itself, and every file is written once.
TEST(SrvDocTest, BatchWritesEveryFileWhenTheWriterFallsBehind) {
  TempDir dir;
  std::vector<std::string> paths;
  for (int i = 0; i < 300; ++i) paths.push_back(dir.Write("f" + std::to_string(i) + ".c", "old"));
  CDocBatch batch;
  for (const std::string& path : paths) {
    ASSERT_EQ(1, batch.WriteNew(path, "new " + path + "\r\n"));
    batch.Release(path);
  }
  EXPECT_TRUE(batch.Flush());
  EXPECT_TRUE(batch.FailedPaths().empty());
  for (const std::string& path : paths) {
    std::string text;
    ASSERT_TRUE(ReadWholeFile(path, text));
    EXPECT_EQ("new " + path + "\r\n", text);
  }
}
