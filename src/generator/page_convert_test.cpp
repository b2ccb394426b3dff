#include <gtest/gtest.h>

#include "document/markers.h"
#include "document/srv_doc.h"
#include "generator/code_generator.h"
#include "generator/conv_test_support.h"
#include "generator/convert_util.h"
#include "generator/url_table.h"
#include "platform/file_util.h"
#include "platform/text_format.h"

namespace {

std::string Send(const std::string& literal) { return "    HSSend (handle, \"" + literal + "\");"; }

using PageConvertTest = ConversionTest;

TEST_F(PageConvertTest, EmptyPageGivesEmptySendFunctionAndUrlEntry) {
  const CPageNode node = Page("/e.htm", "", 3);
  ASSERT_EQ(m_generator.ConvertPage(node), 1);
  const std::string src = SourceFor("/e.htm");
  const std::string pageFile = m_target + "_e.c";
  const std::string expected =
      "/* C file: " + pageFile + " created\n by Corvane Pagoric Utility on " + kTestDate +
      " */\n\n\n#define _PAGORIC_\n/* @! Begin HTML page */\n/*  @! File: " + src +
      " {{ */\nvoid Send_function_3(unsigned long handle)\n{\n}    " + "/*  @! File: " + src +
      " }} */\n/* @! End HTML page   */\n\n";
  EXPECT_EQ(Text(pageFile), expected);
  const std::string url = UrlFileWith(
      "{\n   \"/e.htm\", 1, Send_function_3, (HSTypeFnHtml)HSTypeHtml, 0, Unprotected\n},\n",
      "extern void Send_function_3 (unsigned long);\n");
  EXPECT_EQ(Text(m_urlFile), url);

  // Converting again replaces the send function and leaves the URL file alone.
  m_dir.Write(SourceName("/e.htm"), "hi\n");
  ASSERT_EQ(m_generator.ConvertPage(node), 1);
  std::string again = expected;
  again.insert(again.find("}    /*"), Send("hi\\n") + "\n");
  EXPECT_EQ(Text(pageFile), again);
  EXPECT_EQ(Text(m_urlFile), url);
  EXPECT_TRUE(m_prompter.shown().empty());
}

TEST_F(PageConvertTest, LinesArePiecesOf799CharactersWithTheirLineEnds) {
  const std::string source = std::string(2000, 'a') + "\n" + std::string(798, 'b') + "\r\n" +
                             std::string(799, 'c') + "\r\n" + "x\ry\r\n" + "\rq\n" + "\r\n" +
                             "last";
  const CPageNode node = Page("/lines.htm", source, 1);
  ASSERT_EQ(m_generator.ConvertPage(node), 1);
  const std::vector<std::string> expected = {
      Send(std::string(799, 'a')), Send(std::string(799, 'a')), Send(std::string(402, 'a') + "\\n"),
      Send(std::string(798, 'b') + "\\n"), Send(std::string(799, 'c')), Send("\\n"),
      // A CR inside a piece is escaped; one that starts a piece is dropped.
      Send("x\\ry\\n"), Send("q\\n"), Send("\\n"), Send("last")};
  EXPECT_EQ(SendBody(node.GetOutputFile()), expected);
}

TEST(EscapeLineTest, EscapesWhatWouldBreakTheLiteral) {
  const auto escaped = [](std::string piece) {
    CCodeGenerator::EscapeLine(piece);
    return piece;
  };
  EXPECT_EQ(escaped("say \"hi\"\n"), "say \\\"hi\\\"\\n");
  EXPECT_EQ(escaped("C:\\dir\\"), "C:\\\\dir\\\\");
  EXPECT_EQ(escaped("\ttab \xe4\xff\x80"), "\ttab \xe4\xff\x80");
  EXPECT_EQ(escaped("\rfirst\rmiddle\r"), "first\\rmiddle\\r");
  EXPECT_EQ(escaped("\r"), "");
  // No "??" is left for a trigraph, however many question marks follow.
  EXPECT_EQ(escaped("what?\?/ ?\?= ?x? ?\?\?"), "what?\\?/ ?\\?= ?x? ?\\?\\?");
  EXPECT_EQ(escaped(std::string("a?\0?/b", 6)), "a?\\?/b");
}

TEST_F(PageConvertTest, LongTextIsSentInChunksThatNeverSplitAnEscape) {
  // 798 characters that escape to 998 bytes, then a quote: the first chunk
  // must end before the quote's backslash.
  std::string edge = std::string(200, '"') + std::string(598, 'a') + "\"z\n";
  std::string dense;
  for (int i = 0; dense.size() < 5000; ++i) dense += i % 3 ? "\"\\" : "x\"";
  dense += "\n";
  const CPageNode node = Page("/long.htm", edge + dense, 1);
  ASSERT_EQ(m_generator.ConvertPage(node), 1);

  const std::vector<std::string> body = SendBody(node.GetOutputFile());
  ASSERT_GE(body.size(), 3u);
  EXPECT_EQ(body[0].size(), Send("").size() + 998);
  EXPECT_EQ(body[1], Send("\\\""));
  EXPECT_EQ(body[2], Send("z\\n"));
  for (const std::string& line : body) EXPECT_LE(line.size(), Send("").size() + 999);
  const std::string text = Text(node.GetOutputFile());
  size_t start = 0;
  for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
    EXPECT_LT(end - start, 1024u);
    start = end + 1;
  }
  EXPECT_EQ(SentText(body), edge + dense);

  // The page file loads again without long lines (no question is asked).
  ASSERT_EQ(m_generator.ConvertPage(node), 1);
  EXPECT_EQ(SendBody(node.GetOutputFile()), body);
  EXPECT_TRUE(m_prompter.shown().empty());
}

TEST_F(PageConvertTest, DynamicMarkersCallTheirFunctions) {
  const std::string source =
      "Now: _NZZA_Clock ok\n"
      "a_NZZA_x b_NZZA_y c\n"
      "p_NZZA_NZZA_q\n"
      "lo _nzza_low\n"
      "_nzza_before _NZZA_up\n"
      "_NZZA_up _nzza_after\n"
      "<_NZZA_>\n"
      "<b value=\"_NZZA_Clock\">";
  const CPageNode node = Page("/dyn.htm", source, 7);
  ASSERT_EQ(m_generator.ConvertPage(node), 1);
  const std::vector<std::string> expected = {
      Send("Now: "), "    na_Clock (handle);", Send(" ok\\n"), Send("a"), "    na_x (handle);",
      Send(" b"), "    na_y (handle);", Send(" c\\n"),
      // The doubled marker sends the marker text itself.
      Send("p"), Send("_NZZA_"), Send("q\\n"), Send("lo "), "    na_low (handle);", Send("\\n"),
      // The lower-case marker counts only where no upper-case one is left.
      Send("_nzza_before "), "    na_up (handle);", Send("\\n"), Send(""), "    na_up (handle);",
      Send(" "), "    na_after (handle);", Send("\\n"), Send("<"), "    na_ (handle);",
      Send(">\\n"), Send("<b value=\\\""), "    na_Clock (handle);", Send("\\\">")};
  EXPECT_EQ(SendBody(node.GetOutputFile()), expected);

  // One declaration and one stub per name, in order of first use.
  const std::string text = Text(node.GetOutputFile());
  std::string declarations;
  for (const char* name : {"na_Clock", "na_x", "na_y", "na_low", "na_up", "na_after", "na_"}) {
    declarations += std::string("/*  @! File: ") + name + " */\nstatic void " + name +
                    " (unsigned long handle);\n";
    EXPECT_EQ(Count(text, std::string("void ") + name + "(unsigned long handle)\n"), 1) << name;
  }
  EXPECT_NE(text.find("/* @! Begin Function Prototype Forward Declaration */\n" + declarations +
                      "/* @! End Function Prototype Forward Declaration   */\n\n"
                      "/* @! Begin HTML page */\n"),
            std::string::npos);
  EXPECT_TRUE(m_prompter.shown().empty());
}

TEST_F(PageConvertTest, UrlWithBlankAndUrlThatHasAnEntry) {
  const CPageNode node = Page("/my page.htm", "x", 2);
  ASSERT_EQ(m_generator.ConvertPage(node), 1);
  EXPECT_EQ(node.GetOutputFile(), m_target + "_my page.c");
  EXPECT_EQ(
      Text(m_urlFile),
      UrlFileWith("{\n   \"/my%20page.htm\", 1, Send_function_2, (HSTypeFnHtml)HSTypeHtml, 0, "
                  "Unprotected\n},\n",
                  "extern void Send_function_2 (unsigned long);\n"));

  // A page whose URL has an entry already (even one the user edited) changes
  // only its page file.
  const std::string edited =
      "{\n   \"/t.txt\", 1, Send_function_9, (HSTypeFnHtml)HSTypeHtml, 0, Realm1\n},\n";
  const CPageNode text = Page("/t.txt", "plain text\n", 4);
  {
    CUrlTable table(m_prompter, m_urlFile);
    ASSERT_EQ(table.AddEntry(-1, edited, "Send_function_9"), 1);
  }
  const std::string before = m_dir.Read(m_urlFile);
  ASSERT_EQ(m_generator.ConvertPage(text), 1);
  EXPECT_EQ(m_dir.Read(m_urlFile), before);
  EXPECT_EQ(SendBody(text.GetOutputFile()), std::vector<std::string>{Send("plain text\\n")});
  EXPECT_TRUE(m_prompter.shown().empty());
}

TEST_F(PageConvertTest, FailuresShowTheirMessageAndReturn0) {
  // A foreign file under the page file's name is left alone.
  CPageNode node = Page("/f.htm", "x\n", 1);
  m_dir.Write("out/_f.c", "int x;\n");
  EXPECT_EQ(m_generator.ConvertPage(node), 0);
  EXPECT_EQ(m_dir.Read("out/_f.c"), "int x;\n");

  // A source that is gone leaves the page section empty.
  m_dir.Write("out/_f.c", "");
  ASSERT_EQ(m_generator.ConvertPage(node), 1);
  const std::string src = SourceFor("/f.htm");
  std::remove(src.c_str());
  EXPECT_EQ(m_generator.ConvertPage(node), 0);
  EXPECT_NE(Text(node.GetOutputFile()).find("/* @! Begin HTML page */\n/* @! End HTML page   */\n"),
            std::string::npos);

  // The page file's folder does not exist.
  node.SetOutputFile(m_dir.File("nowhere/_f.c"));
  EXPECT_EQ(m_generator.ConvertPage(node), 0);

  const std::string notRecognised = "File " + m_target +
                                    "_f.c already exists, but it cannot be  recognized as "
                                    "previously generated by this utility. Please rename the "
                                    "file and try again";
  EXPECT_EQ(m_prompter.Texts(),
            (std::vector<std::string>{notRecognised, "file: " + src + " not exist",
                                      "cannot create file"}));
}

TEST_F(PageConvertTest, UnsafeUrlsAndPathsAreRefusedBeforeAnythingIsWritten) {
  const std::string url = m_dir.Read(m_urlFile);
  const std::string src = SourceFor("/s.htm");
  for (const char* bad : {"/a\"b.htm", "/a\\b.htm", "/a,b.htm", "/a\tb.htm"}) {
    CPageNode node = Page("/s.htm", "x\n", 1);
    node.SetUrl(bad);
    EXPECT_EQ(m_generator.ConvertPage(node), 0) << bad;
  }
  CPageNode node = Page("/s.htm", "x\n", 1);
  node.SetPath(m_dir.File("a*/s.htm"));
  EXPECT_EQ(m_generator.ConvertPage(node), 0);
  node.SetPath(m_dir.File("a\nb.htm"));
  EXPECT_EQ(m_generator.ConvertBinary(node), 0);

  EXPECT_EQ(m_prompter.Texts(),
            (std::vector<std::string>{
                src + " is not converted: its URL /a\"b.htm holds a double quote (\"), which "
                      "cannot be written into the URL table.",
                src + " is not converted: its URL /a\\b.htm holds a backslash (\\), which cannot "
                      "be written into the URL table.",
                src + " is not converted: its URL /a,b.htm holds a comma (,), which cannot be "
                      "written into the URL table.",
                src + " is not converted: its URL /a\tb.htm holds the control character 0x09, "
                      "which cannot be written into the URL table.",
                m_dir.File("a*/s.htm") + " is not converted: its path holds \"*/\", which cannot "
                                         "be written into the C comment that names it.",
                m_dir.File("a\nb.htm") + " is not converted: its path holds the control "
                                         "character 0x0A, which cannot be written into the C "
                                         "comment that names it."}));
  EXPECT_FALSE(PathExists(m_target + "_s.c"));
  EXPECT_EQ(m_dir.Read(m_urlFile), url);
}

TEST_F(PageConvertTest, PagesSharingAPageFileAreRefused) {
  const CPageNode htm = Page("/x.htm", "htm\n", 1);
  const CPageNode html = Page("/x.html", "html\n", 2);
  const CPageNode ab = Page("/a_b/c.htm", "ab\n", 3);
  const CPageNode bc = Page("/a/b_c.htm", "bc\n", 4);
  ASSERT_EQ(htm.GetOutputFile(), html.GetOutputFile());
  ASSERT_EQ(ab.GetOutputFile(), bc.GetOutputFile());

  // In node-list order /x.htm comes first, so /x.html is refused even before
  // /x.htm was converted.
  CPageNodeList nodes;
  for (const CPageNode* node : {&htm, &html}) nodes.push_back(std::make_unique<CPageNode>(*node));
  m_generator.SetPageOrder(nodes);
  EXPECT_EQ(m_generator.ConvertPage(html), 0);
  EXPECT_FALSE(PathExists(html.GetOutputFile()));
  EXPECT_EQ(m_generator.ConvertPage(htm), 1);
  EXPECT_EQ(m_generator.ConvertPage(htm), 1);
  // Without a list, the page converted first keeps the file.
  EXPECT_EQ(m_generator.ConvertPage(ab), 1);
  EXPECT_EQ(m_generator.ConvertPage(bc), 0);
  EXPECT_EQ(SendBody(ab.GetOutputFile()), std::vector<std::string>{Send("ab\\n")});

  // A page file that is the URL file or the binary data file.
  CPageNode clash = Page("/url.htm", "u\n", 5);
  clash.SetOutputFile(m_urlFile);
  EXPECT_EQ(m_generator.ConvertPage(clash), 0);
  clash.SetOutputFile(m_binFile);
  EXPECT_EQ(m_generator.ConvertPage(clash), 0);
  EXPECT_EQ(Text(m_urlFile),
            UrlFileWith("{\n   \"/x.htm\", 1, Send_function_1, (HSTypeFnHtml)HSTypeHtml, 0, "
                        "Unprotected\n},\n{\n   \"/a_b/c.htm\", 1, Send_function_3, "
                        "(HSTypeFnHtml)HSTypeHtml, 0, Unprotected\n},\n",
                        "extern void Send_function_1 (unsigned long);\n"
                        "extern void Send_function_3 (unsigned long);\n"));
  EXPECT_EQ(Text(m_binFile), m_freshBin);

  EXPECT_EQ(
      m_prompter.Texts(),
      (std::vector<std::string>{
          "The page /x.html is not converted: its page file " + m_target +
              "_x.c is already the page file of the page /x.htm. Rename one of the two "
              "pages.",
          "The page /a/b_c.htm is not converted: its page file " + m_target +
              "_a_b_c.c is already the page file of the page /a_b/c.htm. Rename one of "
              "the two pages.",
          "The page /url.htm is not converted: its page file " + m_urlFile + " is the URL file.",
          "The page /url.htm is not converted: its page file " + m_binFile +
              " is the binary data file."}));
}

TEST_F(PageConvertTest, ReadOnlyPageFileIsReportedNotConverted) {
  const CPageNode node = Page("/r.htm", "one\n", 1);
  ASSERT_EQ(m_generator.ConvertPage(node), 1);
  const std::string before = m_dir.Read(node.GetOutputFile());
  ASSERT_EQ(::chmod(node.GetOutputFile().c_str(), 0444), 0);
  m_dir.Write(SourceName("/r.htm"), "two\n");
  EXPECT_EQ(m_generator.ConvertPage(node), 0);
  EXPECT_EQ(m_dir.Read(node.GetOutputFile()), before);
  EXPECT_EQ(m_prompter.Texts(),
            std::vector<std::string>{"File " + node.GetOutputFile() + " cannot be written."});
}

// The converters insert whole lines; the result must be InsertText's.
TEST(InsertTextLinesTest, GivesInsertTextsResult) {
  ScriptedPrompter prompter;
  TempDir dir;
  const std::string path = dir.Write("d.c", "first\nsecond line\n\nlast");
  const std::vector<std::string> texts = {"",        "one",     "one\n",
                                          "a\nb\nc", "\nx\n\n", "cr\rlf\n",
                                          "c\r\nd",  "tail\r",  std::string("n\0x", 3)};
  const std::vector<TextPos> positions = {{0, 0}, {3, 1}, {11, 1}, {15, 1}, {0, 3}, {2, 3}, {0, 6}};
  for (const std::string& text : texts) {
    for (const TextPos pos : positions) {
      CCSrvDoc expected(prompter);
      CCSrvDoc actual(prompter);
      expected.LoadFile(path);
      actual.LoadFile(path);
      const TextPos want = expected.InsertText(pos.column, pos.line, text.c_str());
      const TextPos got = InsertTextLines(actual, pos, SplitAtLineEnds(text));
      EXPECT_EQ(actual.JoinedText(), expected.JoinedText()) << text << " at " << pos.line;
      EXPECT_EQ(got.line, want.line);
      EXPECT_EQ(got.column, want.column);
    }
  }
}

}  // namespace
