#include <gtest/gtest.h>

#include "generator/code_generator.h"
#include "generator/conv_test_support.h"
#include "generator/url_table.h"

namespace {

std::string Stub(const std::string& f) {
  return "/* @! Function: " + f + "  {{ */\nvoid " + f +
         "(unsigned long handle)\n{\n    /* add your implementation here: */\n}   /* @! "
         "Function: " +
         f + "  }} */\n";
}

std::string FormEntry(const std::string& url, const std::string& handler) {
  return "{\n   \"" + url + "\", 1, " + handler +
         ", (HSTypeFnHtml)HSTypeHtml, 0, Unprotected\n},\n";
}

std::string PageEntry(const std::string& url, int n) {
  return FormEntry(url, "Send_function_" + std::to_string(n));
}

std::string Prototype(const std::string& f) { return "extern void " + f + " (unsigned long);\n"; }

std::string BadAction(const std::string& name) {
  return " Form contains ACTION field: \"" + name +
         "\" which cannot be used in a valid C identifier.\r\n No handler for the form will be "
         "generated.";
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
  EXPECT_EQ(m_prompter.Texts(),
            (std::vector<std::string>{BadAction("/cgi/run"), BadAction("run.cgi")}));
  EXPECT_EQ(m_generator.PostHandlers(),
            (std::vector<std::string>{"Post_register", "Post_buy", "Post_"}));
  EXPECT_EQ(Text(m_urlFile),
            UrlFileWith(FormEntry("/shop/register", "Post_register") +
                            FormEntry("/shop/buy", "Post_buy") + FormEntry("/shop/", "Post_") +
                            PageEntry("/shop/order.htm", 1),
                        Prototype("Post_register") + Prototype("Post_buy") + Prototype("Post_") +
                            Prototype("Send_function_1")));
  const std::string text = Text(node.GetOutputFile());
  EXPECT_NE(text.find("/* @! Begin of post function */\n" + Stub("Post_register") +
                      Stub("Post_buy") + Stub("Post_") + "/* @! End of post function   */\n"),
            std::string::npos);
  // The form tags are sent as page text.
  EXPECT_EQ(SentText(SendBody(node.GetOutputFile())), source);
}

TEST_F(PageStubsTest, AHandlerIsRegisteredOnceInTheGeneratorsLife) {
  const CPageNode first = Page("/a/p.htm", "<form method=post action=go>\n", 1);
  const CPageNode second = Page("/b/q.htm", "<form method=post action=go>\n", 2);
  ASSERT_EQ(m_generator.ConvertPage(first), 1);
  ASSERT_EQ(m_generator.ConvertPage(second), 1);
  EXPECT_EQ(Text(m_urlFile), UrlFileWith(FormEntry("/a/go", "Post_go") + PageEntry("/a/p.htm", 1) +
                                             PageEntry("/b/q.htm", 2),
                                         Prototype("Post_go") + Prototype("Send_function_1") +
                                             Prototype("Send_function_2")));
  EXPECT_EQ(Count(Text(first.GetOutputFile()), "void Post_go("), 1);
  EXPECT_EQ(Count(Text(second.GetOutputFile()), "Post_go"), 0);
  EXPECT_TRUE(m_prompter.shown().empty());
}

TEST_F(PageStubsTest, NewSectionsAndStubsAreWrittenInPlace) {
  const CPageNode node = Page("/s.htm", "<form method=post action=x>_NZZA_d\n", 4);
  ASSERT_EQ(m_generator.ConvertPage(node), 1);
  const std::string src = SourceFor("/s.htm");
  const std::string expected =
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
      Stub("Post_x") +
      "/* @! End of post function   */\n\n\n/* @! Begin of dynamic functions */\n" + Stub("na_d") +
      "/* @! End of dynamic functions   */\n\n\n";
  EXPECT_EQ(Text(node.GetOutputFile()), expected);
}

TEST_F(PageStubsTest, ReconversionKeepsWhatTheUserTyped) {
  const CPageNode node = Page("/k.htm", "<form method=post action=x>_NZZA_d\n", 1);
  ASSERT_EQ(m_generator.ConvertPage(node), 1);
  // The user fills in both stubs.
  std::string text = m_dir.Read(node.GetOutputFile());
  for (const char* f : {"Post_x", "na_d"}) {
    const std::string open = std::string("void ") + f + "(unsigned long handle)\r\n{\r\n";
    text.insert(text.find(open) + open.size(), std::string("    typed_") + f + " ();\r\n");
  }
  m_dir.Write("out/_k.c", text);

  // Once by this generator (the handler is registered) and once by a fresh
  // one, as after reopening the project.
  m_dir.Write(SourceName("/k.htm"), "<form method=post action=x>_NZZA_d changed\n");
  ASSERT_EQ(m_generator.ConvertPage(node), 1);
  CCodeGenerator fresh(m_prompter, &m_project);
  ASSERT_EQ(fresh.ConvertPage(node), 1);

  const std::string after = m_dir.Read(node.GetOutputFile());
  const size_t end = text.find("/* @! End HTML page   */");
  EXPECT_EQ(after.substr(after.find("/* @! End HTML page   */")), text.substr(end));
  EXPECT_EQ(Count(after, "typed_Post_x ();\r\n"), 1);
  EXPECT_EQ(Count(after, "typed_na_d ();\r\n"), 1);
  EXPECT_EQ(Count(after, "static void na_d"), 1);
  EXPECT_EQ(SendBody(node.GetOutputFile()).back(), "    HSSend (handle, \" changed\\n\");");
  EXPECT_EQ(Count(Text(m_urlFile), "Post_x"), 2);  // its entry and its prototype
  EXPECT_TRUE(m_prompter.shown().empty());
}

TEST_F(PageStubsTest, NamesThatDifferOnlyInCaseShareOneStub) {
  const CPageNode node = Page("/c.htm", "_NZZA_Clock _NZZA_clock\n", 1);
  ASSERT_EQ(m_generator.ConvertPage(node), 1);
  const std::string text = Text(node.GetOutputFile());
  EXPECT_EQ(Count(text, "    na_clock (handle);\n"), 1);
  EXPECT_EQ(Count(text, "static void na_"), 1);
  EXPECT_EQ(Count(text, "void na_Clock(unsigned long handle)"), 1);
  EXPECT_EQ(Count(text, "na_clock(unsigned long handle)"), 0);
}

}  // namespace
