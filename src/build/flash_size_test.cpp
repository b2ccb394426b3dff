#include "build/flash_size.h"

#include <gtest/gtest.h>

TEST(FlashSizeTest, StringLiteralsCountTheirStoredBytesAndOneZeroEach) {
  // "ab" 3, "\"\\\n" 4 (three escapes), "x\101y" 4 (an octal escape is one byte).
  EXPECT_EQ(3 + 4 + 4, StringLiteralBytes("HSSend (handle, \"ab\");\n"
                                          "HSSend (handle, \"\\\"\\\\\\n\");\n"
                                          "HSSend (handle, \"x\\101y\");\n"));
  // Adjacent literals are one string: "@" "!" stores "@!" and one zero.
  EXPECT_EQ(3, StringLiteralBytes("HSSend (handle, \"@\"\"!\");"));
  EXPECT_EQ(3, StringLiteralBytes("HSSend (handle, \"@\"  \r\n  \"!\");"));
  // Comments, character constants and "??" sequences.
  EXPECT_EQ(0, StringLiteralBytes("/* \"not a string\" */ // \"nor this\"\nchar c = '\"';"));
  EXPECT_EQ(4, StringLiteralBytes("f(\"?\\?=\", '\\'');"));
  EXPECT_EQ(1, StringLiteralBytes("f(\"\");"));
}

TEST(FlashSizeTest, ByteArraysCountTheirElements) {
  const std::string code =
      "/* @! Begin buffer data */\n"
      "const char buffer_3 [] =\n{\n0x47,0x49,0x46,\n0x38\n};\n"
      "const char buffer_31 [] =\n{\n0x00\n};\n";
  EXPECT_EQ(4, ByteArraySize(code, 3));
  EXPECT_EQ(1, ByteArraySize(code, 31));
  EXPECT_EQ(-1, ByteArraySize(code, 1));
}

TEST(FlashSizeTest, OnlyTheHtmlPageSectionOfAPageFileCounts) {
  const std::string page =
      "#define _PAGORIC_\n/* @! Begin HTML page */\n"
      "void Send_function_1(unsigned long handle)\n{\n    HSSend (handle, \"<p>\");\n}\n"
      "/* @! END html PAGE   */\n"
      "void Post_x(unsigned long handle)\n{\n    HSSend (handle, \"user's own text\");\n}\n";
  EXPECT_EQ(4, StringLiteralBytes(HtmlPageSection(page)));
  EXPECT_EQ("", HtmlPageSection("no markers"));
}
