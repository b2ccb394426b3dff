#include "document/streamed_file.h"

#include <gtest/gtest.h>

#include <string>

#include "testing/temp_dir.h"

namespace {

std::string Joined(const CStreamedFile& file) {
  std::string text;
  const TextPieces pieces = file.Pieces();
  for (std::string_view piece = pieces(); !piece.empty(); piece = pieces()) text += piece;
  return text;
}

TextMaker Fixed(std::string text) {
  return [text] {
    return [text, done = false]() mutable {
      return std::exchange(done, true) ? std::string_view() : std::string_view(text);
    };
  };
}

// Lines of about 1,000 characters up to exactly size bytes.
std::string FilledTo(std::string text, size_t size) {
  const std::string filler(1000, 'f');
  while (text.size() + 1002 + 2 <= size) text += filler + "\r\n";
  return text + std::string(size - text.size() - 2, 'p') + "\r\n";
}

constexpr size_t kBlock = size_t{1} << 20;  // what the scan reads at a time

// A line of the longest length a document keeps whole, across the end of
// the scan's first block, is taken as one line.
TEST(StreamedFileTest, ALongLineAcrossTheScansBlockIsOneLine) {
  TempDir dir;
  const std::string text = FilledTo("", kBlock - 500) + std::string(1023, 'L') + "\r\n" +
                           "/* @! End Binary   */\r\n";
  CStreamedFile file;
  ASSERT_TRUE(file.Scan(dir.Write("bin.c", text)));
  ASSERT_EQ(1u, file.MarkedCount());
  EXPECT_EQ(kBlock - 500 + 1025, file.Marked(0).offset);
  EXPECT_EQ(text, Joined(file));
  EXPECT_FALSE(file.Scan(dir.Write("long.c", FilledTo("", kBlock - 500) +
                                                 std::string(1024, 'L') + "\r\n")));
}

// A marker line across the end of the scan's first block keeps its place:
// a block removed from there and a text put in elsewhere give the bytes the
// same edits give the whole text.
TEST(StreamedFileTest, AMarkerLineAcrossTheScansBlockKeepsItsPlace) {
  TempDir dir;
  const size_t markerAt = kBlock - 10;
  const std::string block = "/* @! Begin File: /a.bin */\r\ndata\r\n/* @! End File: /a.bin */\r\n";
  const std::string text = FilledTo("", markerAt) + block + "/* @! End Binary   */";
  CStreamedFile file;
  ASSERT_TRUE(file.Scan(dir.Write("bin.c", text)));
  ASSERT_EQ(3u, file.MarkedCount());
  EXPECT_EQ(markerAt, file.Marked(0).offset);
  EXPECT_EQ("/* @! Begin File: /a.bin */", file.Marked(0).text);
  EXPECT_EQ(text.size(), file.Marked(2).next);
  EXPECT_EQ(text, Joined(file));

  const size_t begin = file.FindMarker("/* @! BEGIN FILE: /A.BIN */", 0);
  const size_t end = file.FindMarker("/* @! End File: /a.bin */", begin + 1);
  ASSERT_EQ(0u, begin);
  ASSERT_EQ(1u, end);
  EXPECT_FALSE(file.IsNextLine(begin, end));
  file.RemoveLines(begin, end);
  EXPECT_TRUE(file.IsNextLine(begin, 2));  // only removed text between them
  size_t column = 0;
  const size_t binary = file.FindLastMarker("/* @! End Binary   */", &column);
  ASSERT_EQ(2u, binary);
  file.Insert(binary, column, "/* @! Begin File: /b.bin */", Fixed("/* @! Begin File: /b.bin */\r\n"));
  EXPECT_EQ(FilledTo("", markerAt) + "/* @! Begin File: /b.bin */\r\n/* @! End Binary   */",
            Joined(file));
  EXPECT_EQ(CStreamedFile::npos, file.FindMarker("/* @! Begin File: /a.bin */", 0));
  EXPECT_EQ(1, file.RemoveInserted("/* @! BEGIN File: /b.bin */"));
  EXPECT_EQ(0, file.RemoveInserted("/* @! Begin File: /b.bin */"));
  EXPECT_EQ(FilledTo("", markerAt) + "/* @! End Binary   */", Joined(file));
}

// A text to become a file is streamed over as a file would be.
TEST(StreamedFileTest, AnUnwrittenTextIsStreamedAsItStands) {
  CStreamedFile file;
  ASSERT_TRUE(file.ScanText("/nowhere/bin.c", "a\r\n/* @! End buffer data   */\r\nb"));
  EXPECT_TRUE(file.FromText());
  const size_t at = file.FindMarker("/* @! End buffer data   */", 0);
  ASSERT_EQ(0u, at);
  file.Insert(at, 0, "x", Fixed("x\r\n"));
  EXPECT_EQ("a\r\nx\r\n/* @! End buffer data   */\r\nb", Joined(file));
  EXPECT_FALSE(file.ScanText("/nowhere/bin.c", "a\nb"));
}

}  // namespace
