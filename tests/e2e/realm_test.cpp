// A URL protected by realms, set up in the URL file as the security table and
// URL entry editors do, asks for the credentials of one of its realms.
#include <gtest/gtest.h>

#include "cli/preview.h"
#include "document/generated_files.h"
#include "generator/security_table.h"
#include "generator/url_table.h"
#include "testing/http_client.h"
#include "testing/scripted_prompter.h"
#include "testing/server_process.h"
#include "tests/e2e/e2e_support.h"

namespace {

TEST(RealmTest, ProtectedUrlAnswersOnlyItsRealmsUsers) {
  CDirectFiles files;
  if (!HaveTool("gcc")) GTEST_SKIP() << "gcc is not installed";
  TempDir sites;
  sites.Write("site/index.htm", "<p>Open to all</p>\n");
  sites.Write("site/staff.htm", "<p>Staff \"only\"</p>\n");
  TestProject project(sites.File("site"));
  ASSERT_TRUE(project.ok());
  const std::string urlFile = project.Files().m_strUrlFile;
  ScriptedPrompter prompter;
  {
    CSecurityTable realms(prompter, files, urlFile);
    ASSERT_GE(realms.ClearRealms(), 0);
    ASSERT_EQ(1, realms.AddRealm(0, "Staff Area", "staff", "s3cret"));
    ASSERT_EQ(1, realms.AddRealm(1, "Guests", "guest", "guest"));
    ASSERT_EQ(1, realms.AddRealm(2, "Service", "tech", "t3ch"));
    CUrlTable table(prompter, files, urlFile);
    ASSERT_EQ(1, table.SetEntryField("/staff.htm", 5, MakeRealmExpression(0x5)));  // 1 and 3
  }
  // A later build keeps the realms and the entry's realm field.
  ASSERT_TRUE(project.Build());
  EXPECT_EQ("Realm1+Realm3", CUrlTable(prompter, files, urlFile).GetEntryField(1, 5));
  EXPECT_EQ(3, CSecurityTable(prompter, files, urlFile).GetRealmCount());

  const std::string program = project.CompileServer("gcc");
  ASSERT_NE("", program);
  ServerProcess server(program, {"--port", "0"}, false);
  ASSERT_NE(0, server.port()) << server.output();
  const int port = server.port();

  EXPECT_EQ("HTTP/1.1 200 OK", Request(port, "GET", "/index.htm").statusLine);
  const HttpReply bare = Request(port, "GET", "/staff.htm");
  EXPECT_EQ("HTTP/1.1 401 Unauthorized", bare.statusLine);
  EXPECT_EQ("Basic realm=\"Staff Area\"", bare.headers.at("WWW-Authenticate"));
  for (const char* refused : {"staff:wrong", "staff:", "tech:s3cret", "guest:guest", "nobody:x"}) {
    EXPECT_EQ("HTTP/1.1 401 Unauthorized",
              Request(port, "GET", "/staff.htm", BasicAuthorization(refused)).statusLine)
        << refused;
  }
  for (const char* admitted : {"staff:s3cret", "tech:t3ch"}) {
    const HttpReply reply = Request(port, "GET", "/staff.htm", BasicAuthorization(admitted));
    EXPECT_EQ("HTTP/1.1 200 OK", reply.statusLine) << admitted;
    EXPECT_EQ("<p>Staff \"only\"</p>\n", reply.body) << admitted;
  }
  EXPECT_EQ(0, server.Stop());
}

// The home page "/" made from a protected page asks for the same realms.
TEST(RealmTest, HomePageKeepsThePagesProtection) {
  if (!HaveTool("gcc")) GTEST_SKIP() << "gcc is not installed";
  TempDir sites;
  sites.Write("site/index.htm", "<p>Open to all</p>\n");
  sites.Write("site/secret.htm", "<p>Secret</p>\n");
  TestProject project(sites.File("site"));
  ASSERT_TRUE(project.ok());
  const std::string pagoric = PagoricProgram();
  const std::string web = project.projectFile();
  ASSERT_TRUE(RunOk({pagoric, "realms", web, "--set", "2", "Vault", "boss", "b0ss"}));
  ASSERT_TRUE(RunOk({pagoric, "urls", web, "--edit", "/secret.htm", "--realm", "Realm2"}));
  ASSERT_TRUE(RunOk({pagoric, "home", web, "/secret.htm"}));
  // Protected further after it became the home page: "/" follows.
  ASSERT_TRUE(RunOk({pagoric, "urls", web, "--edit", "/secret.htm", "--realm", "Realm2+Realm3"}));
  ASSERT_TRUE(RunOk({pagoric, "realms", web, "--set", "3", "Other", "someone", "else"}));

  const std::string program = project.CompileServer("gcc");
  ASSERT_NE("", program);
  ServerProcess server(program, {"--port", "0"}, false);
  ASSERT_NE(0, server.port()) << server.output();
  const int port = server.port();
  for (const char* url : {"/secret.htm", "/"}) {
    EXPECT_EQ("HTTP/1.1 401 Unauthorized", Request(port, "GET", url).statusLine) << url;
    for (const char* user : {"boss:b0ss", "someone:else"}) {
      const HttpReply reply = Request(port, "GET", url, BasicAuthorization(user));
      EXPECT_EQ("HTTP/1.1 200 OK", reply.statusLine) << url;
      EXPECT_EQ("<p>Secret</p>\n", reply.body) << url;
    }
  }
  EXPECT_EQ("HTTP/1.1 200 OK", Request(port, "GET", "/index.htm").statusLine);
  EXPECT_EQ(0, server.Stop());
}

// Trigraphs, escapes and marker signs in a URL, a realm name, a user name and a
// password: the C strings of the URL file mean what was typed, in a strict C99
// compile, where trigraphs count.
TEST(RealmTest, TrigraphsInUrlsAndRealmValuesMeanWhatWasTyped) {
  CDirectFiles files;
  if (!HaveTool("gcc")) GTEST_SKIP() << "gcc is not installed";
  TempDir sites;
  sites.Write("site/index.htm", "<p>Open to all</p>\n");
  sites.Write("site/staff.htm", "<p>Staff only</p>\n");
  TestProject project(sites.File("site"));
  ASSERT_TRUE(project.ok());
  const std::string urlFile = project.Files().m_strUrlFile;
  ScriptedPrompter prompter;
  const std::string staff = CUrlTable(prompter, files, urlFile).GetEntryField(1, 2);
  ASSERT_EQ(0u, staff.rfind("Send_function_", 0)) << staff;
  const std::string pagoric = PagoricProgram();
  const std::string web = project.projectFile();
  ASSERT_TRUE(
      RunOk({pagoric, "realms", web, "--set", "1", "Staff?\?=Area@!", "st?\?-aff", "pw?\?/"}));
  ASSERT_TRUE(RunOk({pagoric, "urls", web, "--add", "/g?\?/p@!.htm", staff, "--realm", "Realm1"}));
  // Read back as typed, by the editors and by a later build.
  ASSERT_TRUE(project.Build());
  std::string listed;
  ASSERT_EQ(0, RunProgram({pagoric, "realms", web}, listed));
  EXPECT_EQ(0u, listed.find("Realm1\tStaff?\?=Area@!\tst?\?-aff\tpw?\?/\n")) << listed;
  ASSERT_EQ(0, RunProgram({pagoric, "urls", web}, listed));
  EXPECT_NE(std::string::npos,
            listed.find("\n/g?\?/p@!.htm\tyes\t" + staff + "\tHSTypeHtml\tN/A\tRealm1\n"))
      << listed;
  EXPECT_EQ(std::string::npos, project.dir().Read("gen/url.c").find("?\?/")) << "a trigraph";

  const std::string program = project.CompileServer("gcc");
  ASSERT_NE("", program);
  ServerProcess server(program, {"--port", "0"}, false);
  ASSERT_NE(0, server.port()) << server.output();
  const int port = server.port();
  const HttpReply bare = Request(port, "GET", "/g%3F%3F/p@!.htm");
  EXPECT_EQ("HTTP/1.1 401 Unauthorized", bare.statusLine);
  EXPECT_EQ("Basic realm=\"Staff?\?=Area@!\"", bare.headers.at("WWW-Authenticate"));
  const HttpReply reply =
      Request(port, "GET", "/g%3F%3F/p@!.htm", BasicAuthorization("st?\?-aff:pw?\?/"));
  EXPECT_EQ("HTTP/1.1 200 OK", reply.statusLine);
  EXPECT_EQ("<p>Staff only</p>\n", reply.body);
  EXPECT_EQ(0, server.Stop());
}

}  // namespace
