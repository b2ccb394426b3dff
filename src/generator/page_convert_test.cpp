#include <sys/stat.h>

#include <cstdio>

#include "document/generated_files.h"
#include "document/srv_doc.h"
#include "generator/conv_test_support.h"
#include "generator/convert_util.h"
#include "generator/url_table.h"
#include "platform/file_util.h"

namespace {

std::string Send(const std::string& literal) { return "    HSSend (handle, \"" + literal + "\");"; }
std::string Call(const std::string& f) { return "    " + f + " (handle);"; }
std::string PageEntry(const std::string& url, int n) {
  return "{\n   \"" + url + "\", 1, Send_function_" + std::to_string(n) +
         ", (HSTypeFnHtml)HSTypeHtml, 0, Unprotected\n},\n";
}
std::string Prototype(int n) {
  return "extern void Send_function_" + std::to_string(n) + " (unsigned long);\n";
}

using PageConvertTest = ConversionTest;

TEST_F(PageConvertTest, EmptyPageThenReconversion) {
  ASSERT_EQ(m_generator.ConvertPage(Page("/e.htm", "", 3)), 1);
  const std::string src = SourceFor("/e.htm");
  const std::string file = m_target + "_e.c";
  std::string expected = "/* C file: " + file + " created\n by Corvane Pagoric Utility on " +
                         kTestDate + " */\n\n\n#define _PAGORIC_\n/* @! Begin HTML page */\n" +
                         "/*  @! File: " + src + " {{ */\nvoid Send_function_3(unsigned long " +
                         "handle)\n{\n}    /*  @! File: " + src +
                         " }} */\n/* @! End HTML page   */\n\n";
  EXPECT_EQ(Text(file), expected);
  const std::string url = UrlFileWith(PageEntry("/e.htm", 3), Prototype(3));
  EXPECT_EQ(Text(m_urlFile), url);

  // One send function, the new one; the URL file has its entry already.
  ASSERT_EQ(m_generator.ConvertPage(Page("/e.htm", "hi\n", 3)), 1);
  expected.insert(expected.find("}    /*"), Send("hi\\n") + "\n");
  EXPECT_EQ(Text(file), expected);
  EXPECT_EQ(Text(m_urlFile), url);
  EXPECT_TRUE(m_prompter.shown().empty());
}

TEST_F(PageConvertTest, LinesArePiecesOf799CharactersWithTheirLineEnds) {
  const CPageNode node = Page("/l.htm",
                              std::string(2000, 'a') + "\n" + std::string(798, 'b') + "\r\n" +
                                  std::string(799, 'c') + "\r\nx\ry\r\n\rq\n\r\nlast",
                              1);
  ASSERT_EQ(m_generator.ConvertPage(node), 1);
  EXPECT_EQ(SendBody(node.GetOutputFile()),
            (std::vector<std::string>{
                Send(std::string(799, 'a')), Send(std::string(799, 'a')),
                Send(std::string(402, 'a') + "\\n"), Send(std::string(798, 'b') + "\\n"),
                Send(std::string(799, 'c')), Send("\\n"),
                // A CR inside a piece is escaped; one that starts a piece is dropped.
                Send("x\\ry\\n"), Send("q\\n"), Send("\\n"), Send("last")}));
}

TEST(EscapeLineTest, EscapesWhatWouldBreakTheLiteral) {
  const auto escaped = [](std::string piece) {
    CCodeGenerator::EscapeLine(piece);
    return piece;
  };
  EXPECT_EQ(escaped("\"hi\" C:\\d\n"), "\\\"hi\\\" C:\\\\d\\n");
  EXPECT_EQ(escaped("\ttab \xe4\xff\x80"), "\ttab \xe4\xff\x80");
  EXPECT_EQ(escaped("\rfirst\rmiddle\r"), "first\\rmiddle\\r");
  // No "??" is left for a trigraph, however many question marks follow.
  EXPECT_EQ(escaped("a?\?/ ?x? ?\?\?"), "a?\\?/ ?x? ?\\?\\?");
  EXPECT_EQ(escaped(std::string("a?\0?/", 5)), "a?\\?/");
}

TEST_F(PageConvertTest, LongTextIsCutIntoLiteralsThatNeverSplitAnEscape) {
  // 798 characters that escape to 998 bytes, then a quote: the first chunk
  // must end before the quote's backslash.
  std::string text = std::string(200, '"') + std::string(598, 'a') + "\"z\n";
  for (int i = 0; i < 2500; ++i) text += i % 3 ? "\"\\" : "x\"";
  const CPageNode node = Page("/long.htm", text, 1);
  ASSERT_EQ(m_generator.ConvertPage(node), 1);

  const std::vector<std::string> body = SendBody(node.GetOutputFile());
  ASSERT_GE(body.size(), 3u);
  std::string quotes;
  for (int i = 0; i < 200; ++i) quotes += "\\\"";
  EXPECT_EQ(body[0], Send(quotes + std::string(598, 'a')));
  EXPECT_EQ(body[1], Send("\\\""));
  for (const std::string& line : body) EXPECT_LE(line.size(), Send("").size() + 999);
  EXPECT_EQ(SentText(body), text);
  // The page file loads again without a long-line question.
  ASSERT_EQ(m_generator.ConvertPage(node), 1);
  EXPECT_TRUE(m_prompter.shown().empty());
}

TEST_F(PageConvertTest, DynamicMarkersCallTheirFunctions) {
  const CPageNode node = Page("/dyn.htm",
                              "Now: _NZZA_Clock ok\n"
                              "a_NZZA_x b_NZZA_y c\n"
                              "p_NZZA_NZZA_q\n"
                              "lo _nzza_low\n"
                              "_nzza_before _NZZA_up\n"
                              "_NZZA_up _nzza_after\n"
                              "<_NZZA_>\n"
                              "<b value=\"_NZZA_Clock\"> _NZZA_clock",
                              7);
  ASSERT_EQ(m_generator.ConvertPage(node), 1);
  EXPECT_EQ(SendBody(node.GetOutputFile()), (std::vector<std::string>{Send("Now: "),
                                                                      Call("na_Clock"),
                                                                      Send(" ok\\n"),  //
                                                                      Send("a"),
                                                                      Call("na_x"),
                                                                      Send(" b"),
                                                                      Call("na_y"),
                                                                      Send(" c\\n"),  //
                                                                      Send("p"),
                                                                      Send("_NZZA_"),
                                                                      Send("q\\n"),  //
                                                                      Send("lo "),
                                                                      Call("na_low"),
                                                                      Send("\\n"),  //
                                                                      Send("_nzza_before "),
                                                                      Call("na_up"),
                                                                      Send("\\n"),  //
                                                                      Send(""),
                                                                      Call("na_up"),
                                                                      Send(" "),
                                                                      Call("na_after"),
                                                                      Send("\\n"),  //
                                                                      Send("<"),
                                                                      Call("na_"),
                                                                      Send(">\\n"),  //
                                                                      Send("<b value=\\\""),
                                                                      Call("na_Clock"),
                                                                      Send("\\\"> "),
                                                                      Call("na_clock")}));

  // One declaration and one stub per name in order of first use; na_clock
  // finds na_Clock's stub, as the search ignores letter case.
  const std::string text = Text(node.GetOutputFile());
  std::string declarations;
  for (const char* f : {"na_Clock", "na_x", "na_y", "na_low", "na_up", "na_after", "na_"}) {
    declarations +=
        std::string("/*  @! File: ") + f + " */\nstatic void " + f + " (unsigned long handle);\n";
    EXPECT_EQ(Count(text, std::string("void ") + f + "(unsigned long handle)\n"), 1) << f;
  }
  EXPECT_NE(text.find("#define _PAGORIC_\n/* @! Begin Function Prototype Forward Declaration */\n" +
                      declarations + "/* @! End Function Prototype Forward Declaration   */\n\n" +
                      "/* @! Begin HTML page */\n"),
            std::string::npos);
  EXPECT_EQ(Count(text, "na_clock(unsigned"), 0);
}

TEST_F(PageConvertTest, UrlWithBlankAndUrlWithAnEntry) {
  const CPageNode node = Page("/my page.htm", "x", 2);
  ASSERT_EQ(m_generator.ConvertPage(node), 1);
  EXPECT_TRUE(PathExists(m_target + "_my page.c"));
  EXPECT_EQ(Text(m_urlFile), UrlFileWith(PageEntry("/my%20page.htm", 2), Prototype(2)));

  // An entry the user edited stays as it is.
  CUrlTable(m_prompter, m_files, m_urlFile)
      .AddEntry(-1,
                "{\n   \"/t.txt\", 1, Send_function_9, (HSTypeFnHtml)HSTypeHtml, 0, Realm1\n},\n",
                "Send_function_9");
  const std::string before = m_dir.Read(m_urlFile);
  ASSERT_EQ(m_generator.ConvertPage(Page("/t.txt", "text\n", 4)), 1);
  EXPECT_EQ(m_dir.Read(m_urlFile), before);
  EXPECT_EQ(SendBody(m_target + "_t.c"), std::vector<std::string>{Send("text\\n")});
  EXPECT_TRUE(m_prompter.shown().empty());
}

TEST_F(PageConvertTest, FailuresAreReportedAndChangeNothingMore) {
  CPageNode node = Page("/f.htm", "x\n", 1);
  const std::string file = node.GetOutputFile();
  m_dir.Write("out/_f.c", "int x;\n");
  EXPECT_EQ(m_generator.ConvertPage(node), 0);
  EXPECT_EQ(m_dir.Read(file), "int x;\n");

  // A source that is gone leaves the page section empty.
  m_dir.Write("out/_f.c", "");
  ASSERT_EQ(m_generator.ConvertPage(node), 1);
  std::remove(node.GetPath().c_str());
  EXPECT_EQ(m_generator.ConvertPage(node), 0);
  EXPECT_NE(Text(file).find("/* @! Begin HTML page */\n/* @! End HTML page   */\n"),
            std::string::npos);

  // A read-only page file is refused before anything changes.
  node = Page("/f.htm", "y\n", 1);
  const std::string before = m_dir.Read(file);
  ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
  EXPECT_EQ(m_generator.ConvertPage(node), 0);
  EXPECT_EQ(m_dir.Read(file), before);

  node.SetOutputFile(m_dir.File("nowhere/_f.c"));
  EXPECT_EQ(m_generator.ConvertPage(node), 0);
  EXPECT_EQ(m_prompter.Texts(),
            (std::vector<std::string>{
                "File " + file +
                    " already exists, but it cannot be  recognized as previously generated by this "
                    "utility. Please rename the file and try again",
                "file: " + node.GetPath() + " not exist", "File " + file + " cannot be written.",
                "cannot create file"}));
}

TEST_F(PageConvertTest, UnsafeUrlOrPathIsRefusedBeforeAnythingIsWritten) {
  if (kNativePathFlavor != PathFlavor::kPosix)
    GTEST_SKIP() << "Windows file names cannot hold the quotes and control characters tested here";
  const std::string src = SourceFor("/s.htm");
  for (const char* bad : {"/a\"b.htm", "/a,b.htm", "/a\tb.htm"}) {
    CPageNode node = Page("/s.htm", "x\n", 1);
    node.SetUrl(bad);
    EXPECT_EQ(m_generator.ConvertPage(node), 0) << bad;
  }
  CPageNode node = Page("/s.htm", "x\n", 1);
  node.SetPath(m_dir.File("a*/s.htm"));
  EXPECT_EQ(m_generator.ConvertPage(node), 0);
  node.SetPath(m_dir.File("a\nb.gif"));
  EXPECT_EQ(m_generator.ConvertBinary(node), 0);
  const std::string table = ", which cannot be written into the URL table.";
  const std::string comment = ", which cannot be written into the C comment that names it.";
  EXPECT_EQ(
      m_prompter.Texts(),
      (std::vector<std::string>{
          src + " is not converted: its URL /a\"b.htm holds a double quote (\")" + table,
          src + " is not converted: its URL /a,b.htm holds a comma (,)" + table,
          src + " is not converted: its URL /a\tb.htm holds the control character 0x09" + table,
          m_dir.File("a*/s.htm") + " is not converted: its path holds \"*/\"" + comment,
          m_dir.File("a\nb.gif") + " is not converted: its path holds the control character 0x0A" +
              comment}));
  EXPECT_FALSE(PathExists(m_target + "_s.c"));
  EXPECT_EQ(Text(m_urlFile), m_freshUrl);
  EXPECT_EQ(Text(m_binFile), m_freshBin);
}

// Every generated line stays under the line document's maximum length, or the
// next load would wrap it and cut the C code in two.
TEST_F(PageConvertTest, NamesTooLongForOneLineAreRefused) {
  // Built in place: GCC 12 at -O3 warns (-Wrestrict) about "/" + std::string(...).
  std::string longUrl(CCodeGenerator::kMaxUrlLength + 5, 'u');
  longUrl.front() = '/';
  longUrl.replace(longUrl.size() - 4, 4, ".htm");
  CPageNode node = Page("/s.htm", "x\n", 1);
  node.SetUrl(longUrl);
  EXPECT_EQ(m_generator.ConvertPage(node), 0);

  // An action as long as one read piece allows: URL and handler name it twice.
  const std::string action(700, 'a');
  EXPECT_EQ(
      m_generator.ConvertPage(Page("/f.htm", "<form method=post action=" + action + ">\n", 3)), 1);
  EXPECT_EQ(Text(m_target + "_f.c").find("Post_a"), std::string::npos);
  EXPECT_EQ(Text(m_urlFile).find("Post_a"), std::string::npos);

  ASSERT_EQ(m_prompter.Texts().size(), 2u);
  EXPECT_EQ(m_prompter.Texts()[0],
            SourceFor("/s.htm") +
                " is not converted: its URL is 905 "
                "bytes long, more than the 900 bytes that fit on one line of "
                "the generated files.");
  EXPECT_EQ(m_prompter.Texts()[1], " Form contains ACTION field: \"" + action +
                                       "\" which is too long for one line of the generated "
                                       "files.\r\n No handler for the form will be generated.");
  for (const std::string& file : {m_urlFile, m_target + "_f.c"}) {
    std::istringstream lines(Text(file));
    for (std::string line; std::getline(lines, line);) EXPECT_LT(line.size(), 1024u);
  }
}

TEST_F(PageConvertTest, PagesSharingAPageFileAreRefused) {
  const CPageNode htm = Page("/x.htm", "htm\n", 1);
  const CPageNode html = Page("/x.html", "html\n", 2);
  // In node-list order /x.htm comes first, so /x.html is refused even before
  // /x.htm was converted.
  CPageNodeList nodes;
  nodes.push_back(std::make_unique<CPageNode>(htm));
  nodes.push_back(std::make_unique<CPageNode>(html));
  m_generator.SetPageOrder(nodes);
  EXPECT_EQ(m_generator.ConvertPage(html), 0);
  EXPECT_FALSE(PathExists(html.GetOutputFile()));
  EXPECT_EQ(m_generator.ConvertPage(htm), 1);
  // Without a list, the page converted first keeps its file.
  EXPECT_EQ(m_generator.ConvertPage(Page("/a_b/c.htm", "ab\n", 3)), 1);
  EXPECT_EQ(m_generator.ConvertPage(Page("/a/b_c.htm", "bc\n", 4)), 0);
  EXPECT_EQ(SendBody(m_target + "_a_b_c.c"), std::vector<std::string>{Send("ab\\n")});

  CPageNode clash = Page("/u.htm", "u\n", 5);
  clash.SetOutputFile(m_urlFile);
  EXPECT_EQ(m_generator.ConvertPage(clash), 0);
  clash.SetOutputFile(m_binFile);
  EXPECT_EQ(m_generator.ConvertPage(clash), 0);
  EXPECT_EQ(Text(m_urlFile), UrlFileWith(PageEntry("/x.htm", 1) + PageEntry("/a_b/c.htm", 3),
                                         Prototype(1) + Prototype(3)));
  EXPECT_EQ(Text(m_binFile), m_freshBin);
  const std::string shared = " is already the page file of the page ";
  EXPECT_EQ(
      m_prompter.Texts(),
      (std::vector<std::string>{
          "The page /x.html is not converted: its page file " + m_target + "_x.c" + shared +
              "/x.htm. Rename one of the two pages.",
          "The page /a/b_c.htm is not converted: its page file " + m_target + "_a_b_c.c" + shared +
              "/a_b/c.htm. Rename one of the two pages.",
          "The page /u.htm is not converted: its page file " + m_urlFile + " is the URL file.",
          "The page /u.htm is not converted: its page file " + m_binFile +
              " is the binary data file."}));
}

// The converters insert whole lines; the result must be InsertText's.
TEST(InsertTextLinesTest, GivesInsertTextsResult) {
  ScriptedPrompter prompter;
  TempDir dir;
  const std::string path = dir.Write("d.c", "first\nsecond line\n\nlast");
  for (const std::string text : {"", "one", "a\nb\n", "\nx\n\n", "cr\rlf\r\nz"}) {
    for (const TextPos pos :
         {TextPos{0, 0}, TextPos{3, 1}, TextPos{15, 1}, TextPos{2, 3}, TextPos{0, 6}}) {
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

TEST_F(PageConvertTest, PageFileWithANulByteIsLeftAsItIs) {
  ASSERT_EQ(m_generator.ConvertPage(Page("/n.htm", "a\n", 4)), 1);
  // Code typed into the file after a NUL byte would be cut off its line.
  const std::string file = m_target + "_n.c";
  std::string text = m_dir.Read(file);
  text += std::string("int user_code = 1; /* \0 */ int more = 2;\r\n", 42);
  m_dir.Write(file, text);
  EXPECT_EQ(m_generator.ConvertPage(Page("/n.htm", "b\n", 4)), 0);
  EXPECT_EQ(text, m_dir.Read(file));
  EXPECT_EQ(m_prompter.Texts(),
            std::vector<std::string>{file + " holds a NUL byte at line 14 and was not "
                                            "changed: remove the NUL byte, then build "
                                            "again."});
}
