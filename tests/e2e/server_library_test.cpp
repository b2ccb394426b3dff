// The server library a firmware links (hsserver.c with the socket transport)
// serves the demo project's generated files byte for byte: on POSIX sockets,
// and on lwIP, inside lwIP's own TCP/IP stack (Debian's liblwip, a loopback
// interface in the test's process). A protected URL answers only with its
// realm's credentials, and a form's POST data reaches its handler. The server
// and its lwIP transport also compile for a Cortex-M4; the test reports their
// sizes.
#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

#include "document/generated_files.h"
#include "generator/security_table.h"
#include "generator/url_table.h"
#include "platform/file_util.h"
#include "testing/http_client.h"
#include "testing/scripted_prompter.h"
#include "testing/server_process.h"
#include "tests/e2e/e2e_support.h"

namespace {

bool HaveLwip() { return PathExists(std::string(kLwipIncludeDir) + "/lwip/sockets.h"); }

class ServerLibraryTest : public ::testing::TestWithParam<CServerKind> {};

TEST_P(ServerLibraryTest, ServesEveryUrlOfTheDemoAsWritten) {
  CDirectFiles files;
  if (!HaveTool("gcc")) GTEST_SKIP() << "gcc is not installed";
  if (GetParam() == CServerKind::kLibraryLwip && !HaveLwip()) {
    GTEST_SKIP() << "lwIP's headers (liblwip-dev) are not installed";
  }
  TestProject project(DemoSite());
  ASSERT_TRUE(project.ok());
  ASSERT_GT(project.FillStubs(), 0);
  // The status page is protected by the first realm.
  ScriptedPrompter prompter;
  const std::string urlFile = project.Files().m_strUrlFile;
  {
    CSecurityTable realms(prompter, files, urlFile);
    ASSERT_EQ(1, realms.AddRealm(0, "Plant A", "op", "pump5"));
    CUrlTable table(prompter, files, urlFile);
    ASSERT_EQ(1, table.SetEntryField("/index.htm", 5, "Realm1"));
  }
  const std::string program = project.CompileServer("gcc", "c99", GetParam());
  ASSERT_NE("", program);
  ServerProcess server(program, {"--port", "0"}, false);
  ASSERT_NE(0, server.port()) << server.output();
  const int port = server.port();

  const HttpReply bare = Request(port, "GET", "/index.htm");
  EXPECT_EQ("HTTP/1.1 401 Unauthorized", bare.statusLine);
  EXPECT_EQ("Basic realm=\"Plant A\"", bare.headers.at("WWW-Authenticate"));
  EXPECT_EQ("HTTP/1.1 401 Unauthorized",
            Request(port, "GET", "/index.htm", BasicAuthorization("op:pump")).statusLine);
  EXPECT_EQ("HTTP/1.1 404 Not Found", Request(port, "GET", "/nothing.htm").statusLine);
  // Every URL of the table, the form handlers posted to, with the realm's
  // credentials.
  EXPECT_GE(project.ExpectServesItsSources(port, BasicAuthorization("op:pump5")), 8);
  EXPECT_EQ(0, server.Stop()) << server.output();
}

INSTANTIATE_TEST_SUITE_P(Transports, ServerLibraryTest,
                         ::testing::Values(CServerKind::kLibraryPosix, CServerKind::kLibraryLwip),
                         [](const auto& info) {
                           return info.param == CServerKind::kLibraryLwip ? "Lwip" : "Posix";
                         });

TEST(ServerLibraryCrossTest, ServerAndLwipTransportCompileForCortexM4) {
  const std::string compiler = "arm-none-eabi-gcc";
  if (!HaveTool(compiler) || !HaveLwip()) GTEST_SKIP() << compiler << " or liblwip-dev missing";
  TestProject project(DemoSite());
  ASSERT_TRUE(project.ok());
  const CPreviewFiles files = project.Files();
  std::vector<std::string> objects;
  const auto compile = [&](CFileKind kind, const std::string& source,
                           const std::vector<std::string>& extra) {
    std::vector<std::string> args = {compiler, "-mcpu=cortex-m4", "-mthumb", "-Os"};
    for (const std::string& flag : StrictFlags(compiler, kind)) args.push_back(flag);
    args.insert(args.end(), extra.begin(), extra.end());
    objects.push_back(project.dir().File("arm" + std::to_string(objects.size()) + ".o"));
    args.insert(args.end(), {"-c", source, "-o", objects.back()});
    return RunOk(args);
  };
  const std::vector<std::string> lwip = {"-DHS_TRANSPORT_LWIP",
                                         "-I" + HostServerDir() + "/port/cortex-m4",
                                         std::string("-I") + kLwipIncludeDir};
  ASSERT_TRUE(compile(CFileKind::kServer, HostServerDir() + "/hsserver.c", lwip));
  ASSERT_TRUE(compile(CFileKind::kServer, HostServerDir() + "/hs_socket.c", lwip));
  const size_t serverObjects = objects.size();
  ASSERT_TRUE(compile(CFileKind::kUrlFile, files.m_strUrlFile, {}));
  ASSERT_TRUE(compile(CFileKind::kBinFile, files.m_strBinFile, {}));
  for (const std::string& page : files.m_pageFiles) {
    ASSERT_TRUE(compile(CFileKind::kPageFile, page, {}));
  }
  // The sizes, for the README's table: the server and its transport, then
  // the demo's generated files.
  std::vector<std::string> size = {"arm-none-eabi-size", "-t"};
  size.insert(size.end(), objects.begin(), objects.begin() + static_cast<long>(serverObjects));
  std::string output;
  ASSERT_EQ(0, RunProgram(size, output)) << output;
  std::cout << "Server library for Cortex-M4 (text data bss):\n" << output;
  size.resize(2);
  size.insert(size.end(), objects.begin() + static_cast<long>(serverObjects), objects.end());
  ASSERT_EQ(0, RunProgram(size, output)) << output;
  std::cout << "The demo's generated files:\n" << output;
  RecordProperty("server_sizes", output);
}

}  // namespace
