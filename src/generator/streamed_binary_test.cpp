#include <gtest/gtest.h>

#include <filesystem>

#include "document/generated_files.h"
#include "document/markers.h"
#include "generator/conv_test_support.h"
#include "generator/convert_util.h"
#include "platform/file_util.h"

namespace {

namespace fs = std::filesystem;

// A binary data file's text with blocks of the sources a, b and c in the
// shapes a hand-edited file can take: a source twice, markers in another
// case, a block whose end line is missing, one whose end follows at once.
std::string HandEditedBinFile() {
  return CrLf(
      "/* banner */\n"
      "/* @! Begin File: /s/a.png */\nconst char buffer_1 [] =\n{\n0x01\n};  /* @! End File: /s/a.png */\n"
      "/* @! Begin File: /s/b.png */\nconst char buffer_2 [] =\n{\n0x02\n"
      "/* @! BEGIN FILE: /S/A.PNG */\nconst char buffer_3 [] =\n{\n0x03\n};  /* @! end file: /s/a.png */\n"
      "/* @! Begin File: /s/c.png */\n/* @! End File: /s/c.png */\n"
      "/* @! Begin File: /s/e.png */\nconst char buffer_5 [] =\n{\n0x05\n};  /* @! End File: /s/e.png */\n"
      "user text /* @! End buffer data   */ after\n"
      "/* @! Begin Binary   */\n"
      "/* @! Begin File: /s/a.png */\nvoid Send_function_1 (unsigned long handle)\n{\n}  /* @! End File: /s/a.png */\n"
      "/* @! End Binary   */\n"
      "last line without end");
}

class StreamedBinaryTest : public ConversionTest {};

// The streamed edit writes what the line document writes for the same edits.
TEST_F(StreamedBinaryTest, StreamedAndDocumentEditsWriteTheSameBytes) {
  const std::vector<std::string> inserted = {"/* @! Begin File: /s/d.png */", "data",
                                             "/* @! End File: /s/d.png */", ""};
  for (const std::string source : {"/s/a.png", "/s/b.png", "/s/c.png", "/s/e.png", "/s/none.png"}) {
    SCOPED_TRACE(source);
    const std::string byDoc = m_dir.Write("doc.c", HandEditedBinFile());
    const std::string byStream = m_dir.Write("stream.c", HandEditedBinFile());

    const int docFound = RemoveSourceBlocks(m_prompter, m_files, byDoc, source);
    {
      CDocHandle doc = m_files.Open(m_prompter, byDoc);
      TextPos at;
      ASSERT_TRUE(FindLastMarkerPos(*doc, markers::kEndBufferData, at));
      InsertTextLines(*doc, at, {inserted.begin(), inserted.end()});
      ASSERT_EQ(1, doc.Save());
    }

    CStreamHandle stream = m_files.OpenStreamed(byStream);
    ASSERT_TRUE(stream);
    EXPECT_EQ(docFound, RemoveSourceBlocks(*stream, source));
    size_t column = 0;
    const size_t line = stream->FindLastMarker(markers::kEndBufferData, &column);
    ASSERT_NE(CStreamedFile::npos, line);
    EXPECT_EQ(10u, column);  // after "user text "
    stream->Insert(line, column, inserted[0], [] {
      return [done = false]() mutable {
        return std::exchange(done, true) ? std::string_view()
                                         : std::string_view(
                                               "/* @! Begin File: /s/d.png */\r\ndata\r\n"
                                               "/* @! End File: /s/d.png */\r\n");
      };
    });
    ASSERT_EQ(1, stream.Save());
    const std::string streamed = m_dir.Read("stream.c");
    EXPECT_EQ(m_dir.Read("doc.c"), streamed);
    // A block written by an earlier update goes as any block of the file.
    CStreamHandle again = m_files.OpenStreamed(byStream);
    ASSERT_TRUE(again);
    EXPECT_EQ(RemoveSourceBlocks(m_prompter, m_files, byDoc, "/s/d.png"),
              RemoveSourceBlocks(*again, "/s/d.png"));
    ASSERT_EQ(1, again.Save());
    EXPECT_EQ(m_dir.Read("doc.c"), m_dir.Read("stream.c"));
    EXPECT_NE(streamed, m_dir.Read("stream.c"));
  }
}

TEST_F(StreamedBinaryTest, OnlyFilesTheDocumentWritesBackAreStreamed) {
  CStreamedFile file;
  EXPECT_FALSE(file.Scan(m_dir.Write("lf.c", "one\r\ntwo\nthree\r\n")));
  EXPECT_FALSE(file.Scan(m_dir.Write("zero.c", std::string("one\r\nt\0o\r\n", 10))));
  EXPECT_FALSE(file.Scan(m_dir.Write("long.c", "a\r\n" + std::string(1024, 'x') + "\r\n")));
  EXPECT_FALSE(file.Scan(m_dir.File("missing.c")));
  EXPECT_TRUE(file.Scan(m_dir.Write("ok.c", "a\r\n" + std::string(1023, 'x') + "\r\nend")));
  EXPECT_TRUE(file.Scan(m_dir.Write("empty.c", "")));

  // A file left as it was keeps its time, and one changed since the scan is
  // never written over.
  const std::string path = m_dir.Write("same.c", HandEditedBinFile());
  const auto time = fs::last_write_time(path) - std::chrono::seconds(5);
  fs::last_write_time(path, time);
  CStreamHandle unchanged = m_files.OpenStreamed(path);
  ASSERT_TRUE(unchanged);
  ASSERT_EQ(1, unchanged.Save());
  EXPECT_EQ(time, fs::last_write_time(path));
  CStreamHandle edited = m_files.OpenStreamed(path);
  RemoveSourceBlocks(*edited, "/s/a.png");
  m_dir.Write("same.c", "changed by the user\r\n");
  std::string reason;
  EXPECT_EQ(0, edited.Save(&reason));
  EXPECT_EQ(CDocBatch::kChangedOnDiskReason, reason);
  EXPECT_EQ("changed by the user\r\n", m_dir.Read("same.c"));
}

// In a batch, streamed edits and document edits of one file follow each other
// as made, and the file is written once at the end.
TEST_F(StreamedBinaryTest, ABatchKeepsStreamedAndDocumentEditsInOrder) {
  const std::string path = m_dir.Write("bin.c", HandEditedBinFile());
  CDocBatch batch;
  {
    CStreamHandle stream = batch.OpenStreamed(path);
    ASSERT_TRUE(stream);
    RemoveSourceBlocks(*stream, "/s/e.png");
    ASSERT_EQ(1, stream.Save());
  }
  EXPECT_EQ(HandEditedBinFile(), m_dir.Read("bin.c"));  // not yet
  {
    CDocHandle doc = batch.Open(m_prompter, path);  // sees the removal
    EXPECT_EQ(-1, FindMarker(*doc, "/* @! Begin File: /s/e.png */"));
    doc->SetLineText(0, "/* banner, edited */");
    ASSERT_EQ(1, doc.Save());
  }
  {
    CStreamHandle stream = batch.OpenStreamed(path);  // sees the document's edit
    ASSERT_TRUE(stream);
    EXPECT_EQ(1, RemoveSourceBlocks(*stream, "/s/e.png"));  // gone already
    RemoveSourceBlocks(*stream, "/s/a.png");
    ASSERT_EQ(1, stream.Save());
  }
  ASSERT_TRUE(batch.Flush());
  const std::string text = m_dir.Read("bin.c");
  EXPECT_TRUE(text.starts_with("/* banner, edited */\r\n"));
  EXPECT_EQ(std::string::npos, text.find("/s/e.png"));
  EXPECT_EQ(std::string::npos, text.find("Send_function_1"));
}

// The bytes of a binary file are read when the binary data file is written:
// a source that shrank meanwhile fails that write with the reason, and the
// binary data file stays as it was, with no temporary file beside it.
TEST_F(StreamedBinaryTest, ASourceThatShrankBeforeTheWriteLeavesTheFileWhole) {
  const CPageNode node = Binary("/pic.png", std::string(5000, 'p'), 7);
  const std::string before = m_dir.Read("out/bindata.c");
  {
    CDocBatch batch;
    m_generator.SetFiles(batch);
    ASSERT_EQ(1, m_generator.ConvertBinary(node));
    m_dir.Write(SourceFor("/pic.png"), "short");
    EXPECT_FALSE(batch.Flush());
    ASSERT_EQ(1u, batch.FailedPaths().size());
    EXPECT_EQ(m_binFile, batch.FailedPaths()[0]);
    EXPECT_NE(std::string::npos, batch.FailureReason(m_binFile).find("ended before its 5000 bytes"))
        << batch.FailureReason(m_binFile);
    m_generator.SetFiles(m_files);
  }
  EXPECT_EQ(before, m_dir.Read("out/bindata.c"));
  for (const auto& entry : fs::directory_iterator(m_dir.File("out"))) {
    EXPECT_FALSE(entry.path().filename().string().find(".tmp") != std::string::npos)
        << entry.path();
  }

  // A check writes nothing and says the file would change.
  m_dir.Write(SourceFor("/pic.png"), std::string(5000, 'p'));
  CDocBatch check(CDocBatch::Mode::kDryRun);
  m_generator.SetFiles(check);
  ASSERT_EQ(1, m_generator.ConvertBinary(node));
  ASSERT_TRUE(check.Flush());
  EXPECT_EQ(1u, check.WouldChange().count(m_binFile));
  EXPECT_EQ(before, m_dir.Read("out/bindata.c"));
}

// A check never writes, even for edits whose file it let go meanwhile (asking
// a streamed file's size settles it): they are noted as changes.
TEST_F(StreamedBinaryTest, ACheckNeverWritesEditsItLetGo) {
  const std::string path = m_dir.Write("bin.c", HandEditedBinFile());
  CDocBatch check(CDocBatch::Mode::kDryRun);
  CStreamHandle stream = check.OpenStreamed(path);
  ASSERT_TRUE(stream);
  RemoveSourceBlocks(*stream, "/s/a.png");
  check.FileSize(path);
  ASSERT_EQ(1, stream.Save());
  CDocHandle doc = check.Open(m_prompter, path);
  ASSERT_EQ(1, check.WriteNew(path, "new\r\n"));
  doc->SetLineText(0, "/* edited */");
  ASSERT_EQ(1, doc.Save());
  ASSERT_TRUE(check.Flush());
  EXPECT_EQ(HandEditedBinFile(), m_dir.Read("bin.c"));
  EXPECT_EQ(1u, check.WouldChange().count(path));
}

// A source that gives fewer bytes than its size fails its own node before
// anything is edited; the other nodes' data is written.
TEST_F(StreamedBinaryTest, ASourceShorterThanItsSizeFailsOnlyItsNode) {
  const CPageNode shrunk = Binary("/shrunk.png", std::string(300, 's'), 5);
  m_dir.Write(SourceFor("/shrunk.png"), "23 bytes and no more...");
  const std::string url = m_dir.Read("out/url.c");
  CDocBatch batch;
  m_generator.SetFiles(batch);
  EXPECT_EQ(0, m_generator.ConvertBinary(shrunk));
  EXPECT_EQ(1, m_generator.ConvertBinary(Binary("/fine.png", "fine", 6)));
  ASSERT_TRUE(batch.Flush());
  EXPECT_NE(std::string::npos, m_prompter.Texts().at(0).find("holds 23 bytes now, fewer than the 300"))
      << m_prompter.Texts().at(0);
  const std::string text = Text(m_binFile);
  EXPECT_EQ(0, Count(text, "buffer_5"));
  EXPECT_EQ(3, Count(text, "buffer_6"));
  EXPECT_EQ(std::string::npos, Text(m_urlFile).find("Send_function_5"));
}

// The binary data file changed by someone else while the build writes it is
// not replaced: the write fails with the reason, the other file stays.
TEST_F(StreamedBinaryTest, AFileSavedDuringTheWriteIsNotReplaced) {
  const std::string path = m_dir.Write("bin.c", HandEditedBinFile());
  CStreamHandle stream = m_files.OpenStreamed(path);
  ASSERT_TRUE(stream);
  size_t column = 0;
  const size_t line = stream->FindMarker(markers::kEndBinary, 0, &column);
  stream->Insert(line, column, "/* @! Begin File: /s/x.png */", [this] {
    return [this, done = false]() mutable {
      if (std::exchange(done, true)) return std::string_view();
      // Saved by an editor while the new text is being written.
      m_dir.Write("bin.c", "saved meanwhile\r\n");
      return std::string_view("/* @! Begin File: /s/x.png */\r\n");
    };
  });
  std::string reason;
  EXPECT_EQ(0, stream.Save(&reason));
  EXPECT_EQ(CDocBatch::kChangedOnDiskReason, reason);
  EXPECT_EQ("saved meanwhile\r\n", m_dir.Read("bin.c"));
}

// A binary data file that must be edited as a document (a line too long for
// the line document) is loaded, and asked about, once per build.
TEST_F(StreamedBinaryTest, AFileEditedAsADocumentIsAskedAboutOnce) {
  const std::string bin = m_dir.Read("out/bindata.c");
  m_dir.Write("out/bindata.c", "/* " + std::string(1100, 'x') + " */\r\n" + bin);
  m_prompter.QueueAnswer(true);  // wrap the long line
  CDocBatch batch;
  m_generator.SetFiles(batch);
  for (int n = 1; n <= 3; ++n) {
    ASSERT_EQ(1, m_generator.ConvertBinary(Binary("/p" + std::to_string(n) + ".png", "abc", n)));
  }
  ASSERT_TRUE(batch.Flush());
  EXPECT_EQ(1u, m_prompter.Texts().size());
  EXPECT_EQ(3, Count(Text(m_binFile), "HSSendBinary"));
}

// Insertion markers that do not start their lines: the file is edited as a
// document, so two items of one source leave no text of the first behind.
TEST_F(StreamedBinaryTest, IndentedMarkersAreEditedAsADocument) {
  std::string bin = m_dir.Read("out/bindata.c");
  for (const auto& [marker, indent] :
       {std::pair{markers::kEndBufferData, "   "}, std::pair{markers::kEndBinary, "  "}}) {
    bin.insert(bin.find(marker), indent);
  }
  m_dir.Write("out/bindata.c", bin);
  CDocBatch batch;
  m_generator.SetFiles(batch);
  ASSERT_EQ(1, m_generator.ConvertBinary(Binary("/a/pic.png", "abc", 3)));
  ASSERT_EQ(1, m_generator.ConvertBinary(Binary("/b/pic.png", "abc", 4)));
  ASSERT_TRUE(batch.Flush());
  const std::string text = Text(m_binFile);
  EXPECT_EQ(0, Count(text, "buffer_3"));
  EXPECT_EQ(0, Count(text, "   /* @! Begin File"));
  EXPECT_EQ(0, Count(text, "  /* @! Begin File"));
}

// Two items of one source in one build: the second takes the place of the
// blocks the first put in, as it would take the place of blocks on disk.
TEST_F(StreamedBinaryTest, TheLastItemOfASourceKeepsItsBlocks) {
  CDocBatch batch;
  m_generator.SetFiles(batch);
  ASSERT_EQ(1, m_generator.ConvertBinary(Binary("/a/pic.png", "abc", 3)));
  ASSERT_EQ(1, m_generator.ConvertBinary(Binary("/b/pic.png", "abc", 4)));
  ASSERT_TRUE(batch.Flush());
  const std::string text = Text(m_binFile);
  EXPECT_EQ(2, Count(text, "/* @! Begin File: " + SourceFor("/a/pic.png") + " */"));
  EXPECT_EQ(0, Count(text, "buffer_3"));
  EXPECT_EQ(3, Count(text, "buffer_4"));
}

}  // namespace
