#include "document/generated_files.h"
#include "generator/conv_test_support.h"
#include "platform/file_util.h"

namespace {

std::string Stub(const std::string& f) {
  const std::string key = "/* @! Function: " + f + " ";
  return key + " {{ */\nvoid " + f +
         "(unsigned long handle)\n{\n    /* add your implementation here: */\n}   " + key +
         " }} */\n";
}

std::string Entry(const std::string& url, const std::string& f) {
  return "{\n   \"" + url + "\", 1, " + f + ", (HSTypeFnHtml)HSTypeHtml, 0, Unprotected\n},\n";
}

std::string Prototypes(std::initializer_list<const char*> names) {
  std::string text;
  for (const char* f : names) text += std::string("extern void ") + f + " (unsigned long);\n";
  return text;
}

using PageStubsTest = ConversionTest;

TEST_F(PageStubsTest, FormsGetHandlersWhenTheirActionCanNameOne) {
  const std::string source =
      "<form method=\"post\" action=\"register\">\n"
      "<FORM METHOD=GET ACTION=buy>\n"
      "<form method=post action=\"MailTo:x@y.z\">\n"
      "<form method=post action=\"/cgi/run\">\n"
      "<form method=post action=run.cgi>\n"
      "<form method=post\naction=split>\n"
      "<form method=post action=\"\">\n"
      "<form method=post action=register>\n";
  const CPageNode node = Page("/shop/order.htm", source, 1);
  ASSERT_EQ(m_generator.ConvertPage(node), 1);
  const std::string refused =
      "\" which cannot be used in a valid C identifier.\r\n No handler "
      "for the form will be generated.";
  EXPECT_EQ(m_prompter.Texts(),
            (std::vector<std::string>{" Form contains ACTION field: \"/cgi/run" + refused,
                                      " Form contains ACTION field: \"run.cgi" + refused}));
  EXPECT_EQ(Text(m_urlFile),
            UrlFileWith(Entry("/shop/register", "Post_register") + Entry("/shop/buy", "Post_buy") +
                            Entry("/shop/order.htm", "Send_function_1"),
                        Prototypes({"Post_register", "Post_buy", "Send_function_1"})));
  EXPECT_NE(Text(node.GetOutputFile())
                .find("/* @! Begin of post function */\n" + Stub("Post_register") +
                      Stub("Post_buy") + "/* @! End of post function   */\n"),
            std::string::npos);
  // The form with an empty ACTION posts to its own page: it is noted as skipped.
  EXPECT_EQ(m_generator.TakeNotes(), std::vector<std::string>{CCodeGenerator::kEmptyActionNote});
  EXPECT_TRUE(m_generator.TakeNotes().empty());
  // The form tags are sent as page text.
  EXPECT_EQ(SentText(SendBody(node.GetOutputFile())), source);

  // Another folder's form with a registered ACTION gets nothing.
  const CPageNode other = Page("/b/q.htm", "<form method=post action=buy>\n", 2);
  ASSERT_EQ(m_generator.ConvertPage(other), 1);
  EXPECT_EQ(Count(Text(m_urlFile), "Post_buy"), 2);  // its one entry and prototype
  EXPECT_EQ(Count(Text(other.GetOutputFile()), "Post_buy"), 0);
}

TEST_F(PageStubsTest, AnEmptyActionMakesNoUrlAndNoHandler) {
  // Today's and yesterday's ways to write it; the attribute after it is no
  // action of the form.
  const std::string source =
      "<form action=\"\" method=\"post\">\n"
      "<form action='' method=post>\n"
      "<FORM ACTION = \"  \" METHOD=GET>\n"
      "<form action method=post>\n"
      "<form method=post action='quoted' >\n"
      "<form method=post action = \"spaced\">\n"
      "<p>Transaction</p><form class=transaction method=post action=pay>\n";
  const CPageNode node = Page("/e/page.htm", source, 1);
  ASSERT_EQ(m_generator.ConvertPage(node), 1);
  EXPECT_TRUE(m_prompter.shown().empty());
  EXPECT_EQ(m_generator.TakeNotes(), std::vector<std::string>(4, CCodeGenerator::kEmptyActionNote));
  EXPECT_EQ(Text(m_urlFile),
            UrlFileWith(Entry("/e/quoted", "Post_quoted") + Entry("/e/spaced", "Post_spaced") +
                            Entry("/e/pay", "Post_pay") + Entry("/e/page.htm", "Send_function_1"),
                        Prototypes({"Post_quoted", "Post_spaced", "Post_pay", "Send_function_1"})));
  EXPECT_EQ(Count(Text(node.GetOutputFile()), "Post_method"), 0);
  EXPECT_EQ(Count(Text(node.GetOutputFile()), "Post_"), 9);  // three stubs, three lines each
}

TEST_F(PageStubsTest, FormsOnLinesOfSeveralPiecesAreFoundOnTheWholeLine) {
  // The first tag is cut by the 799-character piece boundary; the line also
  // holds a second form, and a refused one between them; a form tag whose
  // METHOD stands only in the next form's text does not borrow it.
  const std::string longLine =
      std::string(760, 'x') + "<form method=\"POST\" action=\"setup\"></form>" +
      std::string(900, 'y') + "<FORM ACTION=nomethod>" + "<form method=get action=\"a.b\">" +
      std::string(300, 'z') + "<form method=get action=more>\n";
  const CPageNode node = Page("/cfg/long.htm", longLine + "<form method=post action=short>\n", 1);
  ASSERT_EQ(m_generator.ConvertPage(node), 1);
  EXPECT_EQ(m_prompter.Texts(), (std::vector<std::string>{
                                    " Form contains ACTION field: \"a.b\" which cannot be used in "
                                    "a valid C identifier.\r\n No handler for the form will be "
                                    "generated."}));
  EXPECT_EQ(
      Text(m_urlFile),
      UrlFileWith(Entry("/cfg/setup", "Post_setup") + Entry("/cfg/more", "Post_more") +
                      Entry("/cfg/short", "Post_short") + Entry("/cfg/long.htm", "Send_function_1"),
                  Prototypes({"Post_setup", "Post_more", "Post_short", "Send_function_1"})));
  const std::string page = Text(node.GetOutputFile());
  EXPECT_LT(page.find(Stub("Post_setup")), page.find(Stub("Post_more")));
  EXPECT_LT(page.find(Stub("Post_more")), page.find(Stub("Post_short")));
  EXPECT_EQ(Count(page, "Post_nomethod"), 0);
  EXPECT_EQ(SentText(SendBody(node.GetOutputFile())),
            longLine + "<form method=post action=short>\n");
}

TEST_F(PageStubsTest, DynamicNamesThatAreNotCIdentifiersRefuseThePageBeforeAnythingIsWritten) {
  const auto refusal = [&](const std::string& name) {
    return SourceFor("/d.htm") + " is not converted: its dynamic content name \"" + name +
           "\" cannot be the name of a C function. The name after _NZZA_ must be letters, digits "
           "and underscores.";
  };
  CPageNode node = Page("/d.htm", "<p>load: _NZZA_cpu-load</p>\n", 1);
  EXPECT_EQ(m_generator.ConvertPage(node), 0);
  EXPECT_EQ(m_prompter.Texts(), std::vector<std::string>{refusal("cpu-load")});
  EXPECT_FALSE(PathExists(node.GetOutputFile()));
  EXPECT_EQ(Text(m_urlFile), m_freshUrl);

  // A page converted before keeps its page file as it was.
  node = Page("/d.htm", "<form method=post action=go>_NZZA_ok\n", 1);
  ASSERT_EQ(m_generator.ConvertPage(node), 1);
  const std::string page = m_dir.Read(node.GetOutputFile());
  const std::string url = m_dir.Read(m_urlFile);
  for (const std::string name : {"Clock.", "a?\?x", "\xe4rger"}) {
    m_prompter.Clear();
    node = Page("/d.htm", "<form method=post action=new>_NZZA_ok _NZZA_" + name + "\n", 1);
    EXPECT_EQ(m_generator.ConvertPage(node), 0) << name;
    EXPECT_EQ(m_dir.Read(node.GetOutputFile()), page);
    EXPECT_EQ(m_dir.Read(m_urlFile), url);
  }
  EXPECT_EQ(m_prompter.Texts(), std::vector<std::string>{refusal("\xe4rger")});
}

TEST_F(PageStubsTest, ActionsThatCannotNameAHandlerGetNone) {
  const CPageNode node =
      Page("/f.htm", "<form method=post action=caf\xe9>\n<form method=post action=a$b>\n", 1);
  ASSERT_EQ(m_generator.ConvertPage(node), 1);
  const std::string refused =
      "\" which cannot be used in a valid C identifier.\r\n No handler for the form will be "
      "generated.";
  EXPECT_EQ(m_prompter.Texts(),
            (std::vector<std::string>{" Form contains ACTION field: \"caf\xe9" + refused,
                                      " Form contains ACTION field: \"a$b" + refused}));
  EXPECT_EQ(Text(m_urlFile),
            UrlFileWith(Entry("/f.htm", "Send_function_1"), Prototypes({"Send_function_1"})));
}

TEST_F(PageStubsTest, AHandlerSharedByPagesIsMadeOnceInTheProjectAcrossBuilds) {
  const CPageNode a = Page("/a.htm", "<form method=post action=search>\n", 1);
  const CPageNode b = Page("/b.htm", "<FORM METHOD=GET ACTION=search>_NZZA_x\n", 2);
  CPageNodeList nodes;
  nodes.push_back(std::make_unique<CPageNode>(a));
  nodes.push_back(std::make_unique<CPageNode>(b));
  m_generator.SetPageOrder(nodes);
  ASSERT_EQ(m_generator.ConvertPage(a), 1);
  ASSERT_EQ(m_generator.ConvertPage(b), 1);
  EXPECT_EQ(Count(Text(a.GetOutputFile()), "void Post_search("), 1);
  EXPECT_EQ(Count(Text(b.GetOutputFile()), "Post_search"), 0);

  // A later build that converts only the second page, by a generator that
  // has not seen the first (a plain build in another run).
  for (int round = 0; round < 2; ++round) {
    CCodeGenerator next(m_prompter, m_files, &m_project);
    next.SetPageOrder(nodes);
    ASSERT_EQ(next.ConvertPage(b), 1);
    EXPECT_EQ(next.PostHandlers(), std::vector<std::string>{"Post_search"});
    EXPECT_EQ(Count(Text(b.GetOutputFile()), "Post_search"), 0);
    EXPECT_EQ(Count(Text(a.GetOutputFile()), "void Post_search("), 1);
  }
  EXPECT_EQ(Count(Text(m_urlFile), "Post_search"), 2);  // its one entry and prototype

  // Once the first page has left the project, the second page gets the stub.
  nodes.erase(nodes.begin());
  m_generator.SetPageOrder(nodes);
  ASSERT_EQ(m_generator.ConvertPage(b), 1);
  EXPECT_EQ(Count(Text(b.GetOutputFile()), "void Post_search("), 1);
  EXPECT_TRUE(m_prompter.shown().empty());
}

TEST_F(PageStubsTest, AStubMadeTwiceIsReportedWithBothFilesAndKept) {
  const CPageNode a = Page("/a.htm", "<form method=post action=search>\n", 1);
  const CPageNode b = Page("/b.htm", "<form method=post action=search>\n", 2);
  // As two builds before this version made it: a stub in each page file,
  // the user's code in one of them.
  ASSERT_EQ(m_generator.ConvertPage(a), 1);
  ASSERT_EQ(CCodeGenerator(m_prompter, m_files, &m_project).ConvertPage(b), 1);
  std::string text = m_dir.Read(b.GetOutputFile());
  const std::string body = "void Post_search(unsigned long handle)\r\n{\r\n";
  ASSERT_NE(text.find(body), std::string::npos);
  text.insert(text.find(body) + body.size(), "    my_search (handle);\r\n");
  m_dir.Write("out/_b.c", text);
  const std::string before = m_dir.Read(a.GetOutputFile());

  CPageNodeList nodes;
  nodes.push_back(std::make_unique<CPageNode>(a));
  nodes.push_back(std::make_unique<CPageNode>(b));
  CCodeGenerator next(m_prompter, m_files, &m_project);
  next.SetPageOrder(nodes);
  ASSERT_EQ(next.ConvertPage(a), 1);
  ASSERT_EQ(next.ConvertPage(b), 1);
  EXPECT_EQ(m_prompter.Texts(),
            std::vector<std::string>{
                "The form handler Post_search has a stub in " + a.GetOutputFile() +
                " and another in " + b.GetOutputFile() +
                ": the firmware will not link (multiple definition). Neither is removed, as both "
                "may hold your code; remove one of them."});
  EXPECT_EQ(m_dir.Read(a.GetOutputFile()), before);
  EXPECT_EQ(m_dir.Read(b.GetOutputFile()), text);
}

TEST_F(PageStubsTest, NewSectionsAndStubsAreWrittenInPlace) {
  const CPageNode node = Page("/s.htm", "<form method=post action=x>_NZZA_d\n", 4);
  ASSERT_EQ(m_generator.ConvertPage(node), 1);
  const std::string src = SourceFor("/s.htm");
  EXPECT_EQ(Text(node.GetOutputFile()),
            "/* C file: " + node.GetOutputFile() + " created\n by Corvane Pagoric Utility on " +
                kTestDate +
                " */\n\n\n#define _PAGORIC_\n"
                "/* @! Begin Function Prototype Forward Declaration */\n"
                "/*  @! File: na_d */\nstatic void na_d (unsigned long handle);\n"
                "/* @! End Function Prototype Forward Declaration   */\n\n"
                "/* @! Begin HTML page */\n/*  @! File: " +
                src + " {{ */\nvoid Send_function_4(unsigned long handle)\n{\n" +
                "    HSSend (handle, \"<form method=post action=x>\");\n    na_d (handle);\n" +
                "    HSSend (handle, \"\\n\");\n}    /*  @! File: " + src +
                " }} */\n/* @! End HTML page   */\n\n"
                // Created second, the post function section lands above the other.
                "/* @! Begin of post function */\n" +
                Stub("Post_x") + "/* @! End of post function   */\n\n\n" +
                "/* @! Begin of dynamic functions */\n" + Stub("na_d") +
                "/* @! End of dynamic functions   */\n\n\n");
}

TEST_F(PageStubsTest, ReconversionKeepsWhatTheUserTyped) {
  const CPageNode node = Page("/k.htm", "<form method=post action=x>_NZZA_d\n", 1);
  ASSERT_EQ(m_generator.ConvertPage(node), 1);
  std::string text = m_dir.Read(node.GetOutputFile());
  for (const char* f : {"Post_x", "na_d"}) {
    const std::string open = std::string("void ") + f + "(unsigned long handle)\r\n{\r\n";
    text.insert(text.find(open) + open.size(), std::string("    typed_") + f + " ();\r\n");
  }
  m_dir.Write("out/_k.c", text);

  // By this generator, which has the handler registered, and by a fresh one,
  // as after the project was opened again.
  // Page text that quotes our markers does not pass for them on the next run.
  ASSERT_EQ(m_generator.ConvertPage(Page(
                "/k.htm", "_NZZA_d /* @! End HTML page   */ /* @! Function: na_d  {{ */\n", 1)),
            1);
  CCodeGenerator fresh(m_prompter, m_files, &m_project);
  ASSERT_EQ(fresh.ConvertPage(Page("/k.htm", "<form method=post action=x>_NZZA_d\n", 1)), 1);
  const std::string after = m_dir.Read(node.GetOutputFile());
  const std::string end = "/* @! End HTML page   */";
  EXPECT_EQ(after.substr(after.find(end)), text.substr(text.find(end)));
  EXPECT_EQ(after.substr(0, after.find("/*  @! File: /")),
            text.substr(0, text.find("/*  @! File: /")));
  EXPECT_EQ(Count(Text(m_urlFile), "Post_x"), 2);  // its one entry and prototype
  EXPECT_TRUE(m_prompter.shown().empty());
}

}  // namespace
