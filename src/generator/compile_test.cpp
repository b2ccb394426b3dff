// Converts nasty pages and files, compiles everything generated with real C
// compilers in a strict mode, links it with a stand-in web server and checks
// that each URL serves exactly what its source holds.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>

#include "generator/code_generator.h"
#include "generator/conv_test_support.h"
#include "platform/file_util.h"

namespace {

const std::string kTestData = PAGORIC_GENERATOR_TESTDATA;
const std::string kInterfaceDir = PAGORIC_HOSTSERVER_DIR;

std::string NastyPage() {
  std::string page =
      "<html><body onload=\"go('x')\">quotes \"a\" \"\" and \\ back\\\\slashes \\n \\\"\n"
      "\ttabbed\t\tline\n"
      "lone\rcarriage\rreturns\r\n"
      "trigraphs ?\?/ ?\?= ?\?( ?\?) ?\?' ?\?< ?\?! ?\?> ?\?- ?\?\?/ ?\? end ?\n"
      "bytes above 127: \xe4\xf6\xfc \xff\x80 \xc3\xa9 \x9f\n"
      "markers as text: /* @! End HTML page   */ /* @! Function: Post_x  {{ */ @!@!\n";
  std::string dense;
  while (dense.size() < 5000) dense += "\"\\\"?\?/q@!";
  page += dense;
  page += "\r\n<p>no final line end \\";
  return page;
}

// The page as a text stream reads it: CR LF is one line end.
std::string AsTextStream(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

class ConvertedCodeCompileTest : public ConversionTest,
                                 public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override {
    const std::string probe = std::string("command -v ") + GetParam() + " >/dev/null 2>&1";
    if (std::system(probe.c_str()) != 0) GTEST_SKIP() << GetParam() << " is not installed";
  }

  // Runs a shell command with its standard output going to output (when given)
  // and its errors to a log; empty when it succeeds, else the log.
  std::string Run(const std::string& command, const std::string& output = "") {
    const std::string log = m_dir.File("run.log");
    const std::string out = output.empty() ? log : output;
    const std::string line = command + " >" + Quoted(out) + " 2>>" + Quoted(log);
    std::remove(log.c_str());
    if (std::system(line.c_str()) == 0) return std::string();
    return m_dir.Read(log) + "(" + command + ")";
  }

  // Compiles one C file into an object beside it; empty on success.
  std::string Compile(const std::string& file, const std::string& extra = "") {
    const std::string compiler = GetParam();
    std::string flags = "-std=c99 -pedantic -Wall -Wextra -Werror -funsigned-char";
    flags += " -I" + Quoted(kInterfaceDir);
    // Empty stubs, the send function of an empty page and SearchURL of the URL
    // file do not use their handle.
    flags += " -Wno-unused-parameter";
    if (compiler == "clang") {
      // The table's NULL terminator leaves the other fields of its entry to zero.
      flags += " -Wno-missing-field-initializers";
      // Page bytes above 127 are copied into the literals as they are.
      flags += " -Wno-invalid-source-encoding";
    }
    const std::string object = m_dir.File("obj/" + std::to_string(m_objects.size()) + ".o");
    m_objects.push_back(object);
    return Run(compiler + " " + flags + " " + extra + " -c " + Quoted(file) + " -o " +
               Quoted(object));
  }

  std::vector<std::string> m_objects;
};

TEST_P(ConvertedCodeCompileTest, NastyPagesCompileLinkAndServeTheirBytes) {
  std::mt19937 random(5);
  std::string big;
  for (int i = 0; i < 5000; ++i) big += static_cast<char>(random() & 0xff);
  const std::vector<CPageNode> nodes = {
      Page("/nasty.htm", NastyPage(), 1),
      Page("/forms/f.htm",
           "<form method=post action=register>\n_NZZA_Clock and _nzza_date\n"
           "<input value=\"_NZZA_Clock\">_NZZA_NZZA_ doubled\n",
           2),
      Page("/sub dir/empty.htm", "", 3),
      Page("/notes.txt", "plain text \"file\"\n", 4),
      Binary("/b0.gif", "", 5),
      Binary("/b1.jpg", "\xff", 6),
      Binary("/b20.png", std::string(20, '\x80'), 7),
      Binary("/img/b21.bmp", std::string("\0\x7f\x80\xff", 4) + std::string(17, 'a'), 8),
      Binary("/big.class", big, 9),
  };
  for (const CPageNode& node : nodes) {
    ASSERT_EQ(node.IsPage() ? m_generator.ConvertPage(node) : m_generator.ConvertBinary(node), 1)
        << node.GetUrl();
  }
  ASSERT_TRUE(m_prompter.shown().empty());

  CreateOneDirectory(m_dir.File("obj"));
  EXPECT_EQ(Compile(m_urlFile), "");
  EXPECT_EQ(Compile(m_binFile), "");
  for (const CPageNode& node : nodes) {
    // Page files include no header: firmware builds give them the server
    // interface as a forced include.
    if (node.IsPage()) {
      EXPECT_EQ(Compile(node.GetOutputFile(), "-include hservapi.h"), "");
    }
  }
  EXPECT_EQ(Compile(kTestData + "/conv_host.c"), "");
  std::string objects;
  for (const std::string& object : m_objects) objects += " " + Quoted(object);
  const std::string program = m_dir.File("obj/server");
  ASSERT_EQ(Run(std::string(GetParam()) + objects + " -o " + Quoted(program)), "");

  for (const CPageNode& node : nodes) {
    std::string url = node.GetUrl();
    if (url.find(' ') != std::string::npos) url.replace(url.find(' '), 1, "%20");
    const std::string served = m_dir.File("served");
    ASSERT_EQ(Run(Quoted(program) + " " + Quoted(url), served), "") << url;
    std::string source;
    ASSERT_TRUE(ReadWholeFile(node.GetPath(), source));
    if (node.GetUrl() == "/forms/f.htm") {
      // The dynamic functions' stubs are empty: their markers send nothing.
      source = "<form method=post action=register>\n and \n<input value=\"\">_NZZA_ doubled\n";
    } else if (node.IsPage()) {
      source = AsTextStream(source);
    } else if (source.empty()) {
      source = std::string(1, '\0');  // an empty file's array holds one zero byte
    }
    const std::string bytes = m_dir.Read(served);
    EXPECT_TRUE(bytes == source) << url << ": " << bytes.size() << " bytes served, "
                                 << source.size() << " expected";
  }
  // The form's handler is in the table.
  EXPECT_EQ(Run(Quoted(program) + " /forms/register"), "");
}

INSTANTIATE_TEST_SUITE_P(Compilers, ConvertedCodeCompileTest, ::testing::Values("gcc", "clang"));

}  // namespace
