// pagoric_add_web in a firmware's own CMake project: a host "firmware" made of
// the host web server and a Pagoric project is configured, built and served;
// one page is edited, and the rebuild runs Pagoric and compiles that page's
// file only; clean keeps the code typed into stubs; two build trees of one
// project stay fresh; the committed project file is never written.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/file_util.h"
#include "testing/http_client.h"
#include "testing/server_process.h"
#include "tests/e2e/e2e_support.h"

namespace {

// The lines of text that contain what.
std::vector<std::string> LinesWith(const std::string& text, const std::string& what) {
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    if (line.find(what) != std::string::npos) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// Runs cmake with args; its output, after a test failure when it failed.
std::string Cmake(const std::vector<std::string>& args) {
  std::vector<std::string> command = {"cmake"};
  command.insert(command.end(), args.begin(), args.end());
  std::string output;
  EXPECT_EQ(0, RunProgram(command, output)) << output;
  return output;
}

std::string Fetch(const std::string& program, const std::string& url) {
  ServerProcess server(program, {"--port", "0"}, false);
  EXPECT_NE(0, server.port()) << server.output();
  if (server.port() == 0) return "";
  const std::string body = Request(server.port(), "GET", url).body;
  EXPECT_EQ(0, server.Stop());
  return body;
}

// Reads a whole file ("" when missing).
std::string Slurp(const std::string& path) {
  std::string text;
  ReadWholeFile(path, text);
  return text;
}

// Edits a source file: it is newer than anything a build made before (file
// times here have sub-second resolution, as make and ninja read them).
void Edit(TempDir& dir, const std::string& file, const std::string& text) {
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  dir.Write(file, text);
}

class CmakeFunctionTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (!HaveTool("cmake") || !HaveTool("cc")) GTEST_SKIP() << "cmake or cc is not installed";
    if (std::string(GetParam()) == "Ninja" && !HaveTool("ninja")) GTEST_SKIP() << "no ninja";
    dir.Write("site/index.htm", "<p>Home</p>\n");
    dir.Write("site/about.htm", "<p>About, first edition</p>\n<b>_NZZA_clock</b>\n");
    dir.Write("site/img/dot.gif", "GIF89a\x01\x00\x01\x00\xff\x80");
    project = dir.File("web.web");
    ASSERT_TRUE(RunOk({PagoricProgram(), "new", project, "--target", dir.File("gen")}));
    ASSERT_TRUE(RunOk({PagoricProgram(), "import", project, dir.File("site")}));
    dir.Write("firmware/CMakeLists.txt",
              "cmake_minimum_required(VERSION 3.20)\n"
              "project(firmware C)\n"
              "include(" PAGORIC_SOURCE_DIR
              "/cmake/PagoricConfig.cmake)\n"
              "add_executable(firmware " PAGORIC_HOSTSERVER_DIR
              "/hserver.c)\n"
              "target_include_directories(firmware PRIVATE " PAGORIC_HOSTSERVER_DIR
              ")\n"
              "pagoric_add_web(firmware PROJECT ${CMAKE_SOURCE_DIR}/../web.web"
              " TARGET_DIR generated)\n");
  }

  // Configures a build tree of the firmware with the generator under test.
  std::string Configure(const std::string& name) {
    const std::string build = dir.File(name);
    Cmake({"-S", dir.File("firmware"), "-B", build, "-G", GetParam(),
           "-DPAGORIC_EXECUTABLE=" + PagoricProgram()});
    return build;
  }

  TempDir dir;
  std::string project;
};

TEST_P(CmakeFunctionTest, FirmwareBuildRunsPagoricOnlyForWhatChanged) {
  const std::string webBytes = Slurp(project);
  const std::string build = Configure("build");
  std::string output = Cmake({"--build", build});
  const std::string program = build + "/firmware";
  EXPECT_EQ(0u, Fetch(program, "/about.htm").find("<p>About, first edition</p>"));
  EXPECT_EQ(0u, Fetch(program, "/index.htm").find("<p>Home</p>"));

  // Nothing changed: neither Pagoric, nor CMake, nor the compiler runs.
  output = Cmake({"--build", build});
  EXPECT_EQ(0u, LinesWith(output, "Building C object").size()) << output;
  EXPECT_EQ(0u, LinesWith(output, "Generating the web pages").size()) << output;
  EXPECT_EQ(0u, LinesWith(output, "Configuring").size()) << output;

  // One page edited: Pagoric runs once, and only that page's file compiles.
  Edit(dir, "site/about.htm", "<p>About, second edition</p>\n");
  output = Cmake({"--build", build});
  EXPECT_EQ(1u, LinesWith(output, "Generating the web pages").size()) << output;
  const std::vector<std::string> compiled = LinesWith(output, "Building C object");
  ASSERT_EQ(1u, compiled.size()) << output;
  EXPECT_NE(std::string::npos, compiled[0].find("_about.c")) << output;
  EXPECT_EQ("<p>About, second edition</p>\n", Fetch(program, "/about.htm"));
  output = Cmake({"--build", build});
  EXPECT_EQ(0u, LinesWith(output, "Building C object").size()) << output;
  EXPECT_EQ(0u, LinesWith(output, "Generating the web pages").size()) << output;

  // The committed project file was never written.
  EXPECT_EQ(webBytes, Slurp(project));
}

TEST_P(CmakeFunctionTest, CleanKeepsTheCodeTypedIntoStubs) {
  const std::string build = Configure("build");
  Cmake({"--build", build});
  const std::string page = build + "/generated/_about.c";
  std::string text = Slurp(page);
  const std::string stub = "void na_clock(unsigned long handle)\r\n{\r\n";
  const size_t at = text.find(stub);
  ASSERT_NE(std::string::npos, at) << text;
  text.insert(at + stub.size(), "    HSSend(handle, \"[typed]\");\r\n");
  ASSERT_EQ(ReplaceResult::kOk, ReplaceFileAtomically(page, text));

  Cmake({"--build", build, "--target", "clean"});
  EXPECT_EQ(text, Slurp(page)) << "clean deleted or changed a file that holds user code";
  Cmake({"--build", build});
  EXPECT_NE(std::string::npos, Fetch(build + "/firmware", "/about.htm").find("[typed]"));
}

TEST_P(CmakeFunctionTest, TwoBuildTreesOfOneProjectBothStayFresh) {
  const std::string webBytes = Slurp(project);
  const std::string debug = Configure("debug");
  const std::string release = Configure("release");
  Cmake({"--build", debug});
  Cmake({"--build", release});
  Edit(dir, "site/about.htm", "<p>About, third edition</p>\n");
  Cmake({"--build", debug});
  Cmake({"--build", release});
  EXPECT_EQ("<p>About, third edition</p>\n", Fetch(debug + "/firmware", "/about.htm"));
  EXPECT_EQ("<p>About, third edition</p>\n", Fetch(release + "/firmware", "/about.htm"));
  EXPECT_EQ(webBytes, Slurp(project));
}

INSTANTIATE_TEST_SUITE_P(Generators, CmakeFunctionTest,
                         ::testing::Values("Ninja", "Unix Makefiles"), [](const auto& info) {
                           return std::string(info.param) == "Ninja" ? "Ninja" : "Make";
                         });

}  // namespace
