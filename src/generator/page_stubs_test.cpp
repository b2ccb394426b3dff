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
                            Entry("/shop/", "Post_") + Entry("/shop/order.htm", "Send_function_1"),
                        Prototypes({"Post_register", "Post_buy", "Post_", "Send_function_1"})));
  EXPECT_NE(Text(node.GetOutputFile())
                .find("/* @! Begin of post function */\n" + Stub("Post_register") +
                      Stub("Post_buy") + Stub("Post_") + "/* @! End of post function   */\n"),
            std::string::npos);
  // The form tags are sent as page text.
  EXPECT_EQ(SentText(SendBody(node.GetOutputFile())), source);

  // Another folder's form with a registered ACTION gets nothing.
  const CPageNode other = Page("/b/q.htm", "<form method=post action=buy>\n", 2);
  ASSERT_EQ(m_generator.ConvertPage(other), 1);
  EXPECT_EQ(Count(Text(m_urlFile), "Post_buy"), 2);  // its one entry and prototype
  EXPECT_EQ(Count(Text(other.GetOutputFile()), "Post_buy"), 0);
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
  CCodeGenerator fresh(m_prompter, &m_project);
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
