#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "document/generated_files.h"
#include "generator/code_generator.h"
#include "generator/conv_test_support.h"
#include "generator/url_table.h"

namespace {

// Bytes with values across the whole range, high ones included.
std::string Bytes(size_t count) {
  std::string bytes;
  for (size_t i = 0; i < count; ++i) bytes += static_cast<char>((i * 37 + 0xa5) & 0xff);
  return bytes;
}

// The array block as the binary data file must hold it, formatted byte by byte
// with printf as an independent check of the row layout.
std::string ArrayBlock(const std::string& src, int n, const std::string& bytes) {
  std::string text =
      "/* @! Begin File: " + src + " */\nconst char buffer_" + std::to_string(n) + " [] =\n{\n";
  if (bytes.empty()) text += "0";
  for (size_t i = 0; i < bytes.size(); ++i) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02x,", static_cast<unsigned char>(bytes[i]));
    text += hex;
    if (i + 1 == bytes.size() && bytes.size() % 20 != 0) text.pop_back();
    if (i % 20 == 19) text += "\n";
  }
  return text + "\n};  /* @! End File: " + src + " */\n";
}

std::string SendBlock(const std::string& src, int n) {
  const std::string b = "buffer_" + std::to_string(n);
  return "/* @! Begin File: " + src + " */\nvoid Send_function_" + std::to_string(n) +
         " (unsigned long handle)\n{\n     HSSendBinary (handle, (char*) " + b + ", sizeof (" + b +
         "));\n}  /* @! End File: " + src + " */\n";
}

std::string Entry(const std::string& url, int n, const std::string& type, size_t size) {
  return "{\n   \"" + url + "\" , 0, Send_function_" + std::to_string(n) +
         ", (HSTypeFnBinary)HSType" + type + ", " + std::to_string(size) + ", Unprotected\n},\n";
}

std::string Prototype(int n) {
  return "extern void Send_function_" + std::to_string(n) + " (unsigned long);\n";
}

using BinaryConvertTest = ConversionTest;

TEST_F(BinaryConvertTest, RowsOfTwentyBytesForEverySize) {
  for (size_t size : {0, 1, 19, 20, 21, 40}) {
    const std::string url = "/f" + std::to_string(size) + ".png";
    const int n = static_cast<int>(size) + 1;
    ASSERT_EQ(m_generator.ConvertBinary(Binary(url, Bytes(size), n)), 1);
    EXPECT_EQ(Count(Text(m_binFile), ArrayBlock(SourceFor(url), n, Bytes(size))), 1) << size;
  }
  const std::string text = Text(m_binFile);
  // Spelled out: the empty file, and the empty line after a full last row.
  EXPECT_EQ(Count(text, " [] =\n{\n0\n};  /* @! End File: "), 1);
  EXPECT_EQ(Count(text, ",\n\n};  /* @! End File: "), 2);
  EXPECT_EQ(Count(text, "{\n0xa5\n};  /* @! End File: "), 1);
  EXPECT_EQ(Count(text, "{\n0xa5,0xca,"), 4);
}

TEST_F(BinaryConvertTest, ReconversionMovesBothBlocksToTheEnd) {
  const CPageNode a = Binary("/a.jpg", Bytes(3), 1);
  const CPageNode b = Binary("/b.wav", Bytes(4), 2);
  ASSERT_EQ(m_generator.ConvertBinary(a), 1);
  ASSERT_EQ(m_generator.ConvertBinary(b), 1);
  ASSERT_EQ(m_generator.ConvertBinary(a), 1);
  std::string expected = m_freshBin;
  expected.insert(
      expected.find("/* @! End buffer data   */"),
      ArrayBlock(SourceFor("/b.wav"), 2, Bytes(4)) + ArrayBlock(SourceFor("/a.jpg"), 1, Bytes(3)));
  expected.insert(expected.find("/* @! End Binary   */"),
                  SendBlock(SourceFor("/b.wav"), 2) + SendBlock(SourceFor("/a.jpg"), 1));
  EXPECT_EQ(Text(m_binFile), expected);
  EXPECT_EQ(Text(m_urlFile),
            UrlFileWith(Entry("/a.jpg", 1, "Jpeg", 3) + Entry("/b.wav", 2, "Wav", 4),
                        Prototype(1) + Prototype(2)));
}

TEST_F(BinaryConvertTest, ChangedSizeUpdatesOnlyTheSizeField) {
  ASSERT_EQ(m_generator.ConvertBinary(Binary("/a.au", Bytes(10), 1)), 1);
  {
    CUrlTable table(m_prompter, m_files, m_urlFile);
    ASSERT_EQ(table.SetEntryField("/a.au", 5, "Realm1+Realm3"), 1);
  }
  ASSERT_EQ(m_generator.ConvertBinary(Binary("/a.au", Bytes(30), 1)), 1);
  EXPECT_EQ(Text(m_urlFile),
            UrlFileWith("{\n   \"/a.au\" , 0, Send_function_1, (HSTypeFnBinary)HSTypeAu, 30, "
                        "Realm1+Realm3\n},\n",
                        Prototype(1)));
  // Back to nothing: the entry reads "N/A" and gets 0.
  ASSERT_EQ(m_generator.ConvertBinary(Binary("/a.au", "", 1)), 1);
  ASSERT_EQ(m_generator.ConvertBinary(Binary("/a.au", "", 1)), 1);
  EXPECT_EQ(Count(Text(m_urlFile), "HSTypeAu, 0, Realm1+Realm3\n"), 1);
  EXPECT_TRUE(m_prompter.shown().empty());
}

TEST_F(BinaryConvertTest, UnknownExtensionBlankInUrlAndSharedSource) {
  ASSERT_EQ(m_generator.ConvertBinary(Binary("/my pic.bmp", Bytes(2), 5)), 1);
  // Two URLs of one source share one function and one pair of blocks.
  ASSERT_EQ(m_generator.ConvertBinary(Binary("/x/s.gif", Bytes(1), 6)), 1);
  ASSERT_EQ(m_generator.ConvertBinary(Binary("/y/s.gif", Bytes(1), 6)), 1);
  EXPECT_EQ(Text(m_urlFile),
            UrlFileWith(Entry("/my%20pic.bmp", 5, "Applet", 2) + Entry("/x/s.gif", 6, "Gif", 1) +
                            Entry("/y/s.gif", 6, "Gif", 1),
                        Prototype(5) + Prototype(6)));
  EXPECT_EQ(Count(Text(m_binFile), "/* @! Begin File: " + SourceFor("/s.gif") + " */"), 2);
}

TEST_F(BinaryConvertTest, MissingOrShrunkSourceKeepsThePreviousBlocks) {
  ASSERT_EQ(m_generator.ConvertBinary(Binary("/a.gif", Bytes(40), 1)), 1);
  const std::string bin = m_dir.Read(m_binFile);
  const std::string url = m_dir.Read(m_urlFile);
  const std::string src = SourceFor("/a.gif");

  const CPageNode node = Binary("/a.gif", Bytes(40), 1);
  Binary("/a.gif", Bytes(10), 1);
  EXPECT_EQ(m_generator.ConvertBinary(node), 0);
  std::remove(src.c_str());
  EXPECT_EQ(m_generator.ConvertBinary(node), 0);

  EXPECT_EQ(m_dir.Read(m_binFile), bin);
  EXPECT_EQ(m_dir.Read(m_urlFile), url);
  EXPECT_EQ(m_prompter.Texts(),
            (std::vector<std::string>{src + " is not converted: it holds 10 bytes now, fewer than "
                                            "the 40 bytes it had when the build started.",
                                      "file: " + src + " not exist"}));
}

TEST_F(BinaryConvertTest, SourceLargerThanTheSizeFieldIsRefusedUnread) {
  ASSERT_EQ(m_generator.ConvertBinary(Binary("/a.gif", Bytes(40), 1)), 1);
  const std::string bin = m_dir.Read(m_binFile);
  const std::string url = m_dir.Read(m_urlFile);
  // Sparse files: one byte more than a C int can count, and 4 GiB + 100,
  // which a 32-bit size took for 100 bytes.
  for (const std::uint64_t size : {std::uint64_t{2147483648}, (std::uint64_t{1} << 32) + 100}) {
    m_prompter.Clear();
    const std::string src = m_dir.Write("src/big.bin", "");
    std::filesystem::resize_file(src, size);
    CPageNode node(src, ImageBinary, nullptr, 1, 0);
    node.SetUrl("/big.bin");
    node.SetOutputFile(m_binFile);
    node.SetFunction(2);
    ASSERT_EQ(node.GetSize(), size);
    EXPECT_EQ(m_generator.ConvertBinary(node), 0);
    EXPECT_EQ(m_prompter.Texts(),
              std::vector<std::string>{src + " is not converted: it holds " + std::to_string(size) +
                                       " bytes, more than the 2147483647 bytes the size field of "
                                       "the URL table can hold."});
    EXPECT_EQ(m_dir.Read(m_binFile), bin);
    EXPECT_EQ(m_dir.Read(m_urlFile), url);
  }
}

// Inside a batch every file is read once and written once; in memory no file
// is written at all, and no target folder is needed: the bytes must be those
// of the step-by-step path.
TEST_F(BinaryConvertTest, BatchAndMemoryGiveTheSameBytes) {
  const std::vector<CPageNode> nodes = {
      Page("/p.htm", "<form method=post action=go>_NZZA_d\n", 1),
      Binary("/a.gif", Bytes(45), 2),
      Page("/q/r.htm", "_NZZA_e text\n_NZZA_d\n", 3),
      Binary("/b.png", Bytes(20), 4),
      Binary("/a.gif", Bytes(45), 2),
      Page("/p.htm", "<form method=post action=go>_NZZA_d again\n", 1),
  };
  const auto files = [&] {
    std::vector<std::string> texts = {m_dir.Read(m_urlFile), m_dir.Read(m_binFile),
                                      m_dir.Read(nodes[0].GetOutputFile()),
                                      m_dir.Read(nodes[2].GetOutputFile())};
    return texts;
  };
  for (const CPageNode& node : nodes) {
    ASSERT_EQ(node.IsPage() ? m_generator.ConvertPage(node) : m_generator.ConvertBinary(node), 1);
  }
  const std::vector<std::string> stepByStep = files();

  WriteUrlFile(m_dir, "out/url.c");
  WriteBinFile(m_dir, "out/bindata.c");
  std::remove(nodes[0].GetOutputFile().c_str());
  std::remove(nodes[2].GetOutputFile().c_str());
  CCodeGenerator generator(m_prompter, m_files, &m_project);
  generator.SetDateSource([] { return std::string(kTestDate); });
  {
    CDocBatch batch;
    generator.SetFiles(batch);
    for (const CPageNode& node : nodes) {
      ASSERT_EQ(node.IsPage() ? generator.ConvertPage(node) : generator.ConvertBinary(node), 1);
    }
    ASSERT_TRUE(batch.Flush());
  }
  EXPECT_EQ(files(), stepByStep);

  // In memory: once where no folder exists, once over the real target whose
  // page files on disk hold junk that files in memory never see.
  const std::string urlFile = m_dir.Read(m_urlFile);
  m_dir.Write(nodes[0].GetOutputFile(), "junk");
  for (const std::string& target : {std::string("/nowhere/out/"), m_target}) {
    const auto there = [&](std::string path) { return path.replace(0, m_target.size(), target); };
    const FixedLocations project(target, "url.c", "bindata.c");
    CMemoryFiles memory;
    CCodeGenerator inMemory(m_prompter, memory, &project);
    inMemory.SetDateSource([] { return std::string(kTestDate); });
    ASSERT_EQ(1, inMemory.WriteUrlFileSkeleton(there(m_urlFile)));
    ASSERT_EQ(1, inMemory.WriteBinFileSkeleton(there(m_binFile)));
    for (CPageNode node : nodes) {
      node.SetOutputFile(there(node.GetOutputFile()));
      ASSERT_EQ(node.IsPage() ? inMemory.ConvertPage(node) : inMemory.ConvertBinary(node), 1);
    }
    std::vector<std::string> texts;
    for (const std::string& path :
         {m_urlFile, m_binFile, nodes[0].GetOutputFile(), nodes[2].GetOutputFile()}) {
      std::string text = memory.Text(there(path));
      for (size_t at = text.find(target); at != std::string::npos; at = text.find(target, at)) {
        text.replace(at, target.size(), m_target);
        at += m_target.size();
      }
      texts.push_back(text);
    }
    EXPECT_EQ(texts, stepByStep) << target;
  }
  EXPECT_EQ(m_dir.Read(m_urlFile), urlFile);
  EXPECT_EQ(m_dir.Read(nodes[0].GetOutputFile()), "junk");
  EXPECT_FALSE(PathExists("/nowhere"));
  EXPECT_TRUE(m_prompter.shown().empty());
}

}  // namespace

namespace {
// Generated files on a disk that has just filled up: every write fails, for
// the reason the system would give.
class CFullDiskFiles : public CMemoryFiles {
 public:
  static constexpr const char* kReason = "No space left on device";
  int WriteNew(const std::string&, std::string_view, std::string* reason) override {
    *reason = kReason;
    return 0;
  }

 protected:
  int SaveDocument(CDocHandle&, std::string* reason) override {
    *reason = kReason;
    return 0;
  }
};
}  // namespace

// The user hears why a generated file was not written, and the node fails.
TEST_F(BinaryConvertTest, AFailedWriteIsShownWithItsReason) {
  CFullDiskFiles full;
  full.Put(m_urlFile, m_dir.Read(m_urlFile));
  full.Put(m_binFile, m_dir.Read(m_binFile));
  CCodeGenerator generator(m_prompter, full, &m_project);
  EXPECT_EQ(0, generator.ConvertBinary(Binary("/a.gif", Bytes(45), 2)));
  const CPageNode page = Page("/p.htm", "text\n", 1);
  EXPECT_EQ(0, generator.ConvertPage(page));
  EXPECT_EQ(m_prompter.Texts(),
            (std::vector<std::string>{"File " + m_binFile + " cannot be written.",
                                      "File " + page.GetOutputFile() + " cannot be written."}));
  EXPECT_EQ(m_prompter.Reasons(),
            (std::vector<std::string>{CFullDiskFiles::kReason, CFullDiskFiles::kReason}));
}
