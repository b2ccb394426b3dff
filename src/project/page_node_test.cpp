#include "project/page_node.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "project/archive.h"
#include "project/file_error.h"
#include "testing/temp_dir.h"

namespace {

TEST(ContentKindTest, ExtensionsInAnyCase) {
  struct Case {
    const char* path;
    ContentKind kind;
    const char* suffix;
  };
  const Case cases[] = {
      {"/site/INDEX.HTM", KindHtml, "Html"},
      {"/a/b.html", KindHtml, "Html"},
      {"/a/notes.TEXT", KindText, "Text"},
      {"/a/r.txt", KindText, "Text"},
      {"/a/p.JPEG", KindJpeg, "Jpeg"},
      {"/a/p.jpg", KindJpeg, "Jpeg"},
      {"/a/p.GIF", KindGif, "Gif"},
      {"/a/p.tif", KindTiff, "Tiff"},
      {"/a/p.tiff", KindTiff, "Tiff"},
      {"/a/p.pct", KindPict, "Pict"},
      {"/a/p.pict", KindPict, "Pict"},
      {"/a/p.png", KindPng, "Png"},
      {"/a/Main.class", KindApplet, "Applet"},
      {"/a/v.asf", KindAsf, "Asf"},
      {"/a/p.bmp", KindOther, "Applet"},
      {"/a/m.mpg", KindOther, "Applet"},
      {"/a/p.xbm", KindXbm, "Xbm"},
      {"/a/s.wav", KindWav, "Wav"},
      {"/a/s.AU", KindAu, "Au"},
      {"/a/s.snd", KindOther, "Applet"},
      {".au", KindAu, "Au"},
      {"au", KindOther, "Applet"},
      {"/a/p.html.bak", KindOther, "Applet"},
      {"", KindOther, "Applet"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GetContentKind(c.path), c.kind) << c.path;
    EXPECT_EQ(GetTypeSuffix(c.path), c.suffix) << c.path;
  }
}

TEST(ContentKindTest, ImageFromFileName) {
  EXPECT_EQ(ImageFromFileName("/a/INDEX.Htm"), ImagePage);
  EXPECT_EQ(ImageFromFileName("/a/x.html"), ImagePage);
  EXPECT_EQ(ImageFromFileName("/a/X.CLASS"), ImageApplet);
  EXPECT_EQ(ImageFromFileName("/a/r.txt"), ImageText);
  EXPECT_EQ(ImageFromFileName("/a/r.text"), ImageText);
  EXPECT_EQ(ImageFromFileName("/a/p.gif"), ImageBinary);
  EXPECT_EQ(ImageFromFileName("/a/s.wav"), ImageBinary);
  EXPECT_EQ(ImageFromFileName("/a/noext"), ImageBinary);
}

TEST(PageNodeTest, FolderIsNeitherPageNorBinary) {
  CPageNode folder("pages.htm", ImageFolder, nullptr, 1, 0);
  EXPECT_EQ(folder.GetFolder(), 1);
  EXPECT_EQ(folder.IsPage(), 0);
  EXPECT_EQ(folder.IsBinary(), 0);
  CPageNode root(" / ", ImageRoot, nullptr, 0, -1);
  EXPECT_EQ(root.GetFolder(), 1);
  EXPECT_EQ(root.GetFunction(), -1);
  EXPECT_EQ(root.GetParent(), -1);
}

TEST(PageNodeTest, KindDecidesPageOrBinaryNotImage) {
  // A page with the picture image is still a page; no file is opened for it.
  CPageNode page("/nowhere/index.htm", ImageBinary, nullptr, 2, 1);
  EXPECT_EQ(page.IsPage(), 1);
  EXPECT_EQ(page.IsBinary(), 0);
  EXPECT_EQ(page.GetFileName(), "index.htm");
  EXPECT_EQ(page.GetChanged(), 0);
}

TEST(PageNodeTest, BinaryNodeTakesSizeOrThrowsFileError) {
  TempDir dir;
  const std::string gif = dir.Write("img/logo.gif", std::string(1234, 'x'));
  CPageNode node(gif, ImagePage, nullptr, 3, 0);
  EXPECT_EQ(node.IsBinary(), 1);
  EXPECT_EQ(node.GetSize(), 1234u);

  const std::string missing = dir.File("img/gone.gif");
  try {
    CPageNode gone(missing, ImageBinary, nullptr, 4, 0);
    FAIL() << "no file error";
  } catch (const CFileError& error) {
    EXPECT_EQ(error.Message(), missing + " was not found.");
  }
  EXPECT_THROW(CPageNode(dir.File("img"), ImageBinary, nullptr, 4, 0), CFileError);
}

TEST(PageNodeTest, SizesBeyondFourGibibytesAreKeptWhole) {
  TempDir dir;
  const std::string big = dir.Write("big.bin", "");
  // A sparse file: no disk space, no bytes read.
  const std::uint64_t size = (std::uint64_t{1} << 32) + 100;
  std::filesystem::resize_file(big, size);
  CPageNode node(big, ImageBinary, nullptr, 1, 0);
  EXPECT_EQ(node.GetSize(), size);
}

TEST(PageNodeTest, GetFileNameWithoutSeparator) {
  CPageNode node;
  node.SetPath("plain.gif");
  EXPECT_EQ(node.GetFileName(), "plain.gif");
}

TEST(PageNodeTest, SerializeRestoresEverySavedField) {
  CPageNode node;
  node.SetPath("/src/site/a.gif");
  node.SetFolder(0);
  node.SetFirstChild(7);
  node.SetNextSibling(9);
  node.SetIndex(8);
  node.SetImage(ImageBinary);
  node.SetLastWrite(0x0123456789ABCDEFULL);
  node.SetOutputFile("/out/bindata.c");
  node.SetUrl("/site/a.gif");
  node.SetFunction(-1);
  CArchive out;
  node.Serialize(out);

  CArchive in(out.Buffer());
  CPageNode loaded;
  loaded.Serialize(in);
  EXPECT_EQ(in.BytesLeft(), 0u);
  EXPECT_EQ(loaded.GetPath(), node.GetPath());
  EXPECT_EQ(loaded.GetFolder(), 0);
  EXPECT_EQ(loaded.GetFirstChild(), 7);
  EXPECT_EQ(loaded.GetNextSibling(), 9);
  EXPECT_EQ(loaded.GetIndex(), 8);
  EXPECT_EQ(loaded.GetImage(), ImageBinary);
  EXPECT_EQ(loaded.GetLastWrite(), 0x0123456789ABCDEFULL);
  EXPECT_EQ(loaded.GetOutputFile(), "/out/bindata.c");
  EXPECT_EQ(loaded.GetUrl(), "/site/a.gif");
  EXPECT_EQ(loaded.GetFunction(), -1);
  // The file time is stored low half first.
  EXPECT_EQ(out.Buffer().substr(1 + 15 + 5 * 4, 8),
            std::string("\xEF\xCD\xAB\x89\x67\x45\x23\x01", 8));
}

TEST(FileErrorTest, Texts) {
  EXPECT_EQ(FileErrorText(ENOENT, "/a/b.gif"), "/a/b.gif was not found.");
  EXPECT_EQ(FileErrorText(EACCES, "/a/b.gif"), "Access to /a/b.gif was denied.");
  EXPECT_EQ(FileErrorText(ENOTDIR, "/a/b.gif"), "/a/b.gif contains an incorrect path.");
}

}  // namespace
