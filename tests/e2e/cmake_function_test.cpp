// pagoric_add_web in a firmware's own CMake project: a host "firmware" made of
// the host web server and a Pagoric project is configured, built and served;
// one page is edited, and the rebuild runs Pagoric and compiles that page's
// file only.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

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

TEST(CmakeFunctionTest, FirmwareBuildRunsPagoricOnlyForWhatChanged) {
  if (!HaveTool("cmake") || !HaveTool("cc")) GTEST_SKIP() << "cmake or cc is not installed";
  const bool ninja = HaveTool("ninja");
  TempDir dir;
  dir.Write("site/index.htm", "<p>Home</p>\n");
  dir.Write("site/about.htm", "<p>About, first edition</p>\n");
  dir.Write("site/img/dot.gif", "GIF89a\x01\x00\x01\x00");
  const std::string project = dir.File("web.web");
  ASSERT_TRUE(RunOk({PagoricProgram(), "new", project}));
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
  const std::string build = dir.File("firmware/build");
  Cmake({"-S", dir.File("firmware"), "-B", build, "-G", ninja ? "Ninja" : "Unix Makefiles",
         "-DPAGORIC_EXECUTABLE=" + PagoricProgram()});
  // Configuring wrote nothing into the target directory.
  EXPECT_FALSE(PathExists(build + "/generated/url.c"));
  std::string output = Cmake({"--build", build});
  const std::string program = build + "/firmware";
  EXPECT_EQ("<p>About, first edition</p>\n", Fetch(program, "/about.htm"));
  EXPECT_EQ(0u, Fetch(program, "/index.htm").find("<p>Home</p>"));

  // Nothing changed: neither Pagoric nor the compiler runs.
  output = Cmake({"--build", build});
  EXPECT_EQ(0u, LinesWith(output, "Building C object").size()) << output;

  // One page edited: Pagoric runs, and only that page's file is compiled.
  dir.Write("site/about.htm", "<p>About, second edition</p>\n");
  std::filesystem::last_write_time(
      dir.File("site/about.htm"),
      std::filesystem::file_time_type::clock::now() + std::chrono::seconds(5));
  output = Cmake({"--build", build});
  EXPECT_EQ(1u, LinesWith(output, "Generating the web pages").size()) << output;
  const std::vector<std::string> compiled = LinesWith(output, "Building C object");
  ASSERT_EQ(1u, compiled.size()) << output;
  EXPECT_NE(std::string::npos, compiled[0].find("_about.c")) << output;
  EXPECT_EQ("<p>About, second edition</p>\n", Fetch(program, "/about.htm"));

  // And the build after that has nothing to compile again.
  output = Cmake({"--build", build});
  EXPECT_EQ(0u, LinesWith(output, "Building C object").size()) << output;
}

}  // namespace
