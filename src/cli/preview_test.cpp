#include "cli/preview.h"

#include <gtest/gtest.h>

#include <sstream>

#include "build/open_project.h"
#include "cli/cli.h"
#include "document/generated_files.h"
#include "generator/url_table.h"
#include "platform/file_util.h"
#include "platform/process.h"
#include "testing/scripted_prompter.h"
#include "testing/temp_dir.h"

namespace {

int Pagoric(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = RunPagoric(args, out, err);
  EXPECT_EQ(kExitOk, status) << err.str();
  return status;
}

TEST(PreviewTest, CompilesTheProjectsOwnFilesOnly) {
  TempDir dir;
  dir.Write("site/index.htm", "<p>Hi</p>\n");
  dir.Write("site/docs/my page.htm", "<p>Blank</p>\n");
  dir.Write("site/docs/notes.txt", "plain\n");
  dir.Write("site/img/a.gif", "GIF89a");
  const std::string project = dir.File("p.web");
  const std::string gen = dir.File("gen") + kPathSeparator;
  Pagoric({"new", project, "--target", gen, "--url-file", "table.c"});
  Pagoric({"import", project, dir.File("site")});
  Pagoric({"build", project, "--all"});
  // A C file of the user's own beside the generated ones is not the project's.
  dir.Write("gen/extra.c", "#error not part of the project\n");

  ScriptedPrompter prompter;
  COpenProject open(prompter, nullptr);
  ASSERT_TRUE(open.OpenExisting(project));
  const CPreviewFiles files = PreviewFilesOf(open);
  EXPECT_EQ(gen + "table.c", files.m_strUrlFile);
  EXPECT_EQ(gen + "bindata.c", files.m_strBinFile);
  EXPECT_EQ(
      (std::vector<std::string>{gen + "_docs_my page.c", gen + "_docs_notes.c", gen + "_index.c"}),
      files.m_pageFiles);
  for (const std::string& page : files.m_pageFiles) EXPECT_TRUE(IsRegularFile(page)) << page;

  const std::vector<CCompileStep> steps = PreviewCompileSteps("gcc-12", files, "/s");
  const std::vector<std::string> common = {"gcc-12", "-c", "-funsigned-char", "-I/s"};
  const std::string s = std::string("/s") + kPathSeparator;
  auto compile = [&](const std::string& file, int object, bool page) {
    std::vector<std::string> args = common;
    if (page) args.insert(args.end(), {"-include", s + "hservapi.h"});
    args.insert(args.end(), {file, "-o", s + std::to_string(object) + ".o"});
    return args;
  };
  ASSERT_EQ(7u, steps.size());
  EXPECT_EQ(s + "hserver.c", steps[0].m_strFile);
  EXPECT_EQ(compile(s + "hserver.c", 0, false), steps[0].m_args);
  EXPECT_EQ(compile(gen + "table.c", 1, false), steps[1].m_args);
  EXPECT_EQ(compile(gen + "bindata.c", 2, false), steps[2].m_args);
  EXPECT_EQ(gen + "_docs_my page.c", steps[3].m_strFile);
  EXPECT_EQ(compile(gen + "_docs_my page.c", 3, true), steps[3].m_args);
  EXPECT_EQ(compile(gen + "_index.c", 5, true), steps[5].m_args);
  EXPECT_EQ("", steps[6].m_strFile);
  std::vector<std::string> link = {"gcc-12",  s + "0.o", s + "1.o",
                                   s + "2.o", s + "3.o", s + "4.o",
                                   s + "5.o", "-o",      s + ExecutableName("preview")};
  for (const std::string& library : HostServerLinkLibraries()) link.push_back(library);
  EXPECT_EQ(link, steps[6].m_args);

  // Microsoft's compiler (and clang-cl) gets the same in its own flags.
  const std::vector<CCompileStep> cl = PreviewCompileSteps("C:\\VS\\bin\\CL.EXE", files, "/s");
  ASSERT_EQ(7u, cl.size());
  EXPECT_EQ(
      (std::vector<std::string>{"C:\\VS\\bin\\CL.EXE", "/nologo", "/c", "/J", "/I/s",
                                "/FI" + s + "hservapi.h", gen + "_index.c", "/Fo" + s + "5.obj"}),
      cl[5].m_args);
  EXPECT_EQ((std::vector<std::string>{"C:\\VS\\bin\\CL.EXE", "/nologo", s + "0.obj", s + "1.obj",
                                      s + "2.obj", s + "3.obj", s + "4.obj", s + "5.obj",
                                      "/Fe" + s + "preview.exe", "ws2_32.lib"}),
            cl[6].m_args);
  EXPECT_EQ("-funsigned-char", PreviewCompileSteps("clang", files, "/s")[0].m_args[2]);
}

TEST(PreviewTest, CarriesTheHostServerSources) {
  const std::vector<CEmbeddedFile>& sources = HostServerSources();
  ASSERT_EQ(3u, sources.size());  // the server, its interface and its HTTP helpers
  for (const CEmbeddedFile& source : sources) {
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(std::string(PAGORIC_HOSTSERVER_DIR) + "/" + source.name, bytes))
        << source.name;
    EXPECT_TRUE(bytes == source.bytes) << source.name << " differs from its embedded copy";
  }
  EXPECT_STREQ("hserver.c", sources[0].name);
  EXPECT_STREQ("hservapi.h", sources[1].name);
}

TEST(PreviewTest, HomeUrlPrefersTheHomeEntryThenIndexThenTheFirstPage) {
  CDirectFiles files;
  TempDir dir;
  auto homeOf = [&](const std::string& entries) {
    const std::string path =
        dir.Write("url.c",
                  "/* @! Begin Function Prototypes */\n/* @! End Function Prototypes   */\n"
                  "/* @! Begin of Table for all URLs */\nURLTableEntry URLTable[] = {\n" +
                      entries + "{\n   NULL  /* last entry MUST be NULL */\n}\n};\n" +
                      "/* @! End of Table for all URLs   */\n");
    ScriptedPrompter prompter;
    return PreviewHomeUrl(CUrlTable(prompter, files, path));
  };
  const std::string gif =
      "{\n   \"/a.gif\" , 0, Send_function_0, (HSTypeFnBinary)HSTypeGif, 6, Unprotected\n},\n";
  const std::string about =
      "{\n   \"/about.htm\", 1, Send_function_1, (HSTypeFnHtml)HSTypeHtml, 0, Unprotected\n},\n";
  const std::string index =
      "{\n   \"/index.htm\", 1, Send_function_2, (HSTypeFnHtml)HSTypeHtml, 0, Unprotected\n},\n";
  const std::string home =
      "{\n   \"/\", 1, Send_function_1, (HSTypeFnHtml)HSTypeHtml, 0, Unprotected\n},\n";
  const std::string indexHtml =
      "{\n   \"/index.html\", 1, Send_function_3, (HSTypeFnHtml)HSTypeHtml, 0, Unprotected\n},\n";
  const std::string form =
      "{\n   \"/set.cgi\", 1, Post_set, (HSTypeFnHtml)HSTypeHtml, 0, Unprotected\n},\n";
  EXPECT_EQ("/", homeOf(gif + about + index + home));
  EXPECT_EQ("/index.htm", homeOf(gif + about + indexHtml + index));
  EXPECT_EQ("/index.html", homeOf(gif + about + indexHtml));
  EXPECT_EQ("/about.htm", homeOf(gif + form + about));
  EXPECT_EQ("/", homeOf(gif + form));
}

TEST(PreviewTest, RefusesABadPortBeforeBuilding) {
  for (const char* port : {"x", "-1", "65536", "123456", "8o80"}) {
    std::ostringstream out, err;
    ScriptedPrompter prompter;
    bool built = false;
    auto build = [&] {
      built = true;
      return kExitOk;
    };
    EXPECT_EQ(kExitNotDone, RunPreview({"p.web", port, ""}, build, out, err, prompter));
    EXPECT_FALSE(built);
    EXPECT_EQ(
        std::string("pagoric preview: --port needs a number from 0 to 65535, not '") + port + "'\n",
        err.str());
  }
  // A failed build ends the preview with the build's status.
  std::ostringstream out, err;
  ScriptedPrompter prompter;
  EXPECT_EQ(kExitFailed, RunPreview(
                             {"p.web", "0", ""}, [] { return kExitFailed; }, out, err, prompter));
  EXPECT_EQ("", out.str() + err.str());
}

TEST(PreviewTest, RunProgramGathersOutputAndStatus) {
  std::string output;
  EXPECT_EQ(127, RunProgram({"pagoric-no-such-program"}, output));
  EXPECT_EQ("cannot run pagoric-no-such-program: No such file or directory\n", output);
  if (RunProgram({"sh", "-c", "exit 0"}, output) == 127) GTEST_SKIP() << "no sh in PATH";
  EXPECT_EQ(3, RunProgram({"sh", "-c", "echo out; echo err >&2; exit 3"}, output));
  EXPECT_EQ("out\nerr\n", output);
}

}  // namespace
