// The editor commands (urls, home, realms, bindata) of the real pagoric
// program on the built demo project: what they print, their exit status, what
// they leave in the generated files, and that the firmware still compiles and
// serves what they set up.
#include <gtest/gtest.h>

#include <algorithm>

#include "cli/cli.h"
#include "testing/http_client.h"
#include "testing/server_process.h"
#include "tests/e2e/e2e_support.h"

namespace {

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

class EditCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_project.ok()); }
  // Runs pagoric on the project with args, standard output and error apart.
  Outcome Pagoric(const std::string& command, const std::vector<std::string>& args = {}) {
    const std::string errFile = m_scratch.File("stderr.txt");
    std::vector<std::string> line = {"sh",
                                     "-c",
                                     "\"$0\" \"$@\" 2>'" + errFile + "'",
                                     PagoricProgram(),
                                     command,
                                     m_project.projectFile()};
    line.insert(line.end(), args.begin(), args.end());
    Outcome run;
    run.status = RunProgram(line, run.out);
    run.err = m_scratch.Read("stderr.txt");
    return run;
  }
  std::string UrlFile() const { return m_project.dir().Read("gen/url.c"); }
  std::string Site(const std::string& name) const { return DemoSite() + "/" + name; }

  TempDir m_scratch;
  TestProject m_project{DemoSite()};
};

TEST_F(EditCommandsTest, UrlsListsAddsEditsAndRemovesEntries) {
  Outcome run = Pagoric("urls");
  ASSERT_EQ(kExitOk, run.status) << run.err;
  EXPECT_EQ(0u, run.out.find("/docs/guide/wiring.htm\tyes\tSend_function_0\tHSTypeHtml\tN/A\t"
                             "Unprotected\n"));
  EXPECT_NE(std::string::npos,
            run.out.find("\n/img/logo.gif\tno\tSend_function_4\tHSTypeGif\t128\tUnprotected\n"));
  const size_t entries = static_cast<size_t>(std::count(run.out.begin(), run.out.end(), '\n'));

  run = Pagoric("urls", {"--add", "/my page.htm", "Send_mine", "--realm", "Realm3+Realm1"});
  ASSERT_EQ(kExitOk, run.status) << run.err;
  EXPECT_NE(std::string::npos, UrlFile().find("{\r\n   \"/my%20page.htm\", 1, Send_mine, "
                                              "(HSTypeFnHtml)HSTypeHtml, 0, Realm1+Realm3\r\n},"));
  EXPECT_NE(std::string::npos, UrlFile().find("extern void Send_mine (unsigned long);\r\n"));

  // Refused by the entry form's checks: nothing changes.
  const std::string before = UrlFile();
  const struct {
    std::vector<std::string> args;
    int status;
    std::string err;
  } refused[] = {
      {{"--add", "/my page.htm", "Send_x"}, kExitFailed, "URL already exists!\n"},
      {{"--add", "/x.gif", "Send_x", "--type", "HSTypeGif"},
       kExitFailed,
       "The size field is not valid for a non-HTML url\n"},
      {{"--edit", "/index.htm", "--realm", "Realm9"},
       kExitNotDone,
       "pagoric urls: --realm takes Unprotected or realm names Realm1 to Realm8 joined by +, such "
       "as Realm1+Realm3\n"},
      {{"--remove", "/index.htm", "/nothing.htm"},
       kExitFailed,
       "pagoric urls: the URL table has no entry /nothing.htm\n"},
      {{"--add", "/x.htm"}, kExitNotDone, ""},
      {{"--add", "/x.htm", "f", "--edit"}, kExitNotDone, ""},
  };
  for (const auto& r : refused) {
    run = Pagoric("urls", r.args);
    EXPECT_EQ(r.status, run.status) << r.args[1];
    if (!r.err.empty()) {
      EXPECT_EQ(r.err, run.err) << r.args[1];
    }
    EXPECT_EQ(before, UrlFile()) << r.args[1];
  }

  // An edit keeps the entry's place and the fields it does not name.
  run =
      Pagoric("urls", {"--edit", "/img/logo.gif", "--url", "/img/brand.gif", "--realm", "Realm2"});
  ASSERT_EQ(kExitOk, run.status) << run.err;
  run = Pagoric("urls");
  EXPECT_NE(std::string::npos,
            run.out.find("\n/img/brand.gif\tno\tSend_function_4\tHSTypeGif\t128\tRealm2\n"
                         "/img/photo.jpg\t"));
  ASSERT_EQ(kExitOk, Pagoric("urls", {"--remove", "/setup.htm", "/my page.htm"}).status);
  run = Pagoric("urls");
  EXPECT_EQ(entries - 1, static_cast<size_t>(std::count(run.out.begin(), run.out.end(), '\n')));
  EXPECT_EQ(std::string::npos, run.out.find("/setup.htm"));
}

TEST_F(EditCommandsTest, HomePageAndRealmsReachTheServedFirmware) {
  Outcome run = Pagoric("home", {"--none"});
  EXPECT_EQ(kExitFailed, run.status);
  EXPECT_EQ("No page is Home\n", run.err);
  run = Pagoric("home", {"/index.htm"});
  ASSERT_EQ(kExitOk, run.status) << run.err;
  EXPECT_EQ("Home Page added.\n", run.err);
  run = Pagoric("home");
  EXPECT_NE(std::string::npos, run.out.find("* /index.htm\tSend_function_6\n"));
  EXPECT_NE(std::string::npos, run.out.find("  /setup.htm\tSend_function_7\n"));
  EXPECT_EQ(kExitFailed, Pagoric("home", {"/"}).status);  // "/" itself is no choice
  run = Pagoric("home", {"/setup.htm"});
  EXPECT_EQ("Home Page changed.\n", run.err);

  run = Pagoric("realms", {"--set", "2", "Staff Area", "staff", "s3cret"});
  ASSERT_EQ(kExitOk, run.status) << run.err;
  const std::string before = UrlFile();
  run = Pagoric("realms", {"--set", "3", "Service", "tech\"", "x"});
  EXPECT_EQ(kExitFailed, run.status);
  EXPECT_EQ(
      "The user name of Realm3 must not contain a double quote, a backslash, a comma, a "
      "closing parenthesis or a control character.\n",
      run.err);
  EXPECT_EQ(before, UrlFile());
  EXPECT_EQ(kExitNotDone, Pagoric("realms", {"--set", "9", "a", "b"}).status);
  run = Pagoric("realms");
  EXPECT_EQ(0u, run.out.find("Realm1\t\t\t\nRealm2\tStaff Area\tstaff\ts3cret\nRealm3\t\t\t\n"));
  ASSERT_EQ(kExitOk, Pagoric("urls", {"--edit", "/docs/manual.htm", "--realm", "Realm2"}).status);

  if (!HaveTool("gcc")) GTEST_SKIP() << "gcc is not installed";
  const std::string program = m_project.CompileServer("gcc");
  ASSERT_NE("", program);
  ServerProcess server(program, {"--port", "0"}, false);
  ASSERT_NE(0, server.port()) << server.output();
  const HttpReply home = Request(server.port(), "GET", "/");
  EXPECT_EQ("HTTP/1.1 200 OK", home.statusLine);
  EXPECT_EQ(Request(server.port(), "GET", "/setup.htm").body, home.body);
  EXPECT_EQ("HTTP/1.1 401 Unauthorized",
            Request(server.port(), "GET", "/docs/manual.htm").statusLine);
  EXPECT_EQ("HTTP/1.1 200 OK",
            Request(server.port(), "GET", "/docs/manual.htm", BasicAuthorization("staff:s3cret"))
                .statusLine);
  EXPECT_EQ(0, server.Stop());

  ASSERT_EQ(kExitOk, Pagoric("realms", {"--clear"}).status);
  EXPECT_EQ(std::string::npos, UrlFile().find("HSSetRealm (REALM"));
}

TEST_F(EditCommandsTest, BindataListsAndRemovesSources) {
  Outcome run = Pagoric("bindata");
  ASSERT_EQ(kExitOk, run.status) << run.err;
  EXPECT_EQ(Site("img/icon.gif") + "\n" + Site("img/logo.gif") + "\n" + Site("img/photo.jpg") +
                "\n" + Site("status/ok.png") + "\n",
            run.out);
  const std::string before = m_project.dir().Read("gen/bindata.c");
  run = Pagoric("bindata", {"--remove", Site("img/icon.gif"), Site("nothing.gif")});
  EXPECT_EQ(kExitFailed, run.status);
  EXPECT_EQ(before, m_project.dir().Read("gen/bindata.c"));

  run = Pagoric("bindata", {"--remove", Site("status/ok.png"), Site("img/icon.gif")});
  ASSERT_EQ(kExitOk, run.status) << run.err;
  EXPECT_EQ(
      "Removing data: " + Site("status/ok.png") + "\nRemoving data: " + Site("img/icon.gif") + "\n",
      run.out);
  EXPECT_EQ("Done.\n", run.err);
  EXPECT_EQ(Site("img/logo.gif") + "\n" + Site("img/photo.jpg") + "\n", Pagoric("bindata").out);
  // The URL table keeps the entries; the URL file editor removes them.
  EXPECT_NE(std::string::npos, UrlFile().find("\"/img/icon.gif\""));
}

TEST_F(EditCommandsTest, UnusableProjectAndHelp) {
  m_project.dir().Write("bad.web", "garbage");
  for (const char* command : {"urls", "home", "realms", "bindata"}) {
    std::string output;
    EXPECT_EQ(kExitNotDone,
              RunProgram({PagoricProgram(), command, m_project.dir().File("bad.web")}, output))
        << command;
    EXPECT_EQ("Invalid .web file or file no longer exists\n", output) << command;
    EXPECT_EQ(0, RunProgram({PagoricProgram(), command, "--help"}, output)) << command;
    EXPECT_EQ(0u, output.find(std::string("usage: pagoric ") + command + " PROJECT.web"));
  }
}

}  // namespace
