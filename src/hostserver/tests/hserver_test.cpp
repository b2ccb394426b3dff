// The host web server, run as a separate process: a server built from
// hand-written files in the shape the generator writes (tests/fixture) is
// started on a free loopback port and spoken to over HTTP.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "platform/text_format.h"
#include "testing/http_client.h"
#include "testing/server_process.h"

namespace {

using Clock = std::chrono::steady_clock;

// The fixture server, started with args.
class FixtureServer : public ServerProcess {
 public:
  FixtureServer(const std::vector<std::string>& args, bool bCaptureStderr)
      : ServerProcess(HSERVER_FIXTURE, args, bCaptureStderr) {}
};

// A source file of the fixture project, as the page conversion reads it (CR LF -> LF) or raw.
std::string Source(const std::string& name, bool bTextMode) {
  std::ifstream in(std::string(HSERVER_FIXTURE_DIR) + "/" + name, std::ios::binary);
  std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  return bTextMode ? CrLfToLf(text) : text;
}

class HostServerTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_pServer = new FixtureServer({"--port", "0", "--timeout", "1"}, false);
  }
  static void TearDownTestSuite() {
    // A clean stop frees everything, which the sanitizer build checks.
    EXPECT_EQ(s_pServer->Stop(), 0);
    delete s_pServer;
  }
  void SetUp() override { ASSERT_NE(s_pServer->port(), 0) << s_pServer->firstLine(); }

  static int Port() { return s_pServer->port(); }
  static FixtureServer* s_pServer;
};
FixtureServer* HostServerTest::s_pServer = nullptr;

TEST_F(HostServerTest, PagesArriveAsWrittenWithDynamicTextInPlace) {
  std::string index = Source("index.htm", true);
  index.replace(index.find("_NZZA_Clock"), 11, "12:34");
  for (const char* pTarget : {"/index.htm", "/", "/index.htm?x=1", "/%69ndex.htm"}) {
    HttpReply reply = Request(Port(), "GET", pTarget);
    EXPECT_EQ(reply.statusLine, "HTTP/1.1 200 OK") << pTarget;
    EXPECT_EQ(reply.headers["Content-Type"], "text/html") << pTarget;
    EXPECT_EQ(reply.headers["Content-Length"], std::to_string(index.size())) << pTarget;
    EXPECT_EQ(reply.body, index) << pTarget;
  }
  EXPECT_EQ(Request(Port(), "GET", "/my%20page.htm").body, Source("my page.htm", true));
  HttpReply empty = Request(Port(), "GET", "/empty.htm");
  EXPECT_EQ(empty.statusLine, "HTTP/1.1 200 OK");
  EXPECT_EQ(empty.body, "");

  HttpReply head = Request(Port(), "HEAD", "/index.htm");
  EXPECT_EQ(head.statusLine, "HTTP/1.1 200 OK");
  EXPECT_EQ(head.headers["Content-Length"], std::to_string(index.size()));
  EXPECT_EQ(head.body, "");
  HttpReply headMissing = Request(Port(), "HEAD", "/nope.htm");
  EXPECT_EQ(headMissing.statusLine, "HTTP/1.1 404 Not Found");
  EXPECT_EQ(headMissing.headers["Content-Length"], "14");
  EXPECT_EQ(headMissing.body, "");
}

TEST_F(HostServerTest, BinariesArriveExactly) {
  HttpReply logo = Request(Port(), "GET", "/logo.gif");
  EXPECT_EQ(logo.headers["Content-Type"], "image/gif");
  EXPECT_EQ(logo.body, Source("logo.gif", false));
  EXPECT_EQ(Request(Port(), "GET", "/row.png").body, Source("row.png", false));
  // An empty file is stored as one zero byte with size 0: nothing is sent.
  HttpReply empty = Request(Port(), "GET", "/empty.gif");
  EXPECT_EQ(empty.statusLine, "HTTP/1.1 200 OK");
  EXPECT_EQ(empty.headers["Content-Length"], "0");
  EXPECT_EQ(empty.body, "");
  // The size in the table is what the answer announces, as on the device.
  EXPECT_EQ(Request(Port(), "GET", "/stale.gif").body, Source("logo.gif", false).substr(0, 12));
}

TEST_F(HostServerTest, ContentTypeFollowsTheTypeFunction) {
  for (const char* pSuffix :
       {"Text", "Jpeg", "Gif", "Tiff", "Pict", "Png", "Applet", "Asf", "Xbm", "Wav", "Au"}) {
    const std::string suffix = pSuffix;
    for (const std::string& target : {"/t/" + suffix, "/t/Static" + suffix}) {
      HttpReply reply = Request(Port(), "GET", target);
      EXPECT_EQ(reply.headers["Content-Type"], ContentTypeOf("HSType" + suffix)) << target;
      EXPECT_EQ(reply.body, Source("row.png", false)) << target;
    }
  }
  EXPECT_EQ(Request(Port(), "GET", "/t/StaticHtml").headers["Content-Type"], "text/html");
}

TEST_F(HostServerTest, AppletTypeFollowsTheExtension) {
  const std::pair<const char*, const char*> cases[] = {
      {"/a/site.css", "text/css"},
      {"/a/static.css", "text/css"},
      {"/a/app.JS", "text/javascript"},
      {"/a/logo.svg", "image/svg+xml"},
      {"/a/data.json", "application/json"},
      {"/a/favicon.ico", "image/x-icon"},
      {"/a/font.woff2", "font/woff2"},
      {"/a/mod.wasm", "application/wasm"},
      {"/a/feed.xml", "application/xml"},
      {"/a/manual.pdf", "application/pdf"},
      {"/a/beep.mp3", "audio/mpeg"},
      {"/a/Main.class", "application/octet-stream"},
      {"/a/blob.bin", "application/octet-stream"},
      // A dot in a folder name is no extension.
      {"/a.css/noext", "application/octet-stream"},
  };
  for (const auto& [target, type] : cases) {
    HttpReply reply = Request(Port(), "GET", target);
    EXPECT_EQ(reply.headers["Content-Type"], type) << target;
    EXPECT_EQ(reply.headers["Content-Type"], ContentTypeOf("HSTypeApplet", target)) << target;
    EXPECT_EQ(reply.body, Source("row.png", false)) << target;
  }
}

TEST_F(HostServerTest, UnknownUrlsAre404) {
  for (const char* pTarget : {"/nope.htm", "/INDEX.HTM", "/index.htm/", "/my%20page.htm/"}) {
    HttpReply reply = Request(Port(), "GET", pTarget);
    EXPECT_EQ(reply.statusLine, "HTTP/1.1 404 Not Found") << pTarget;
    EXPECT_EQ(reply.body, "404 Not Found\n") << pTarget;
  }
}

TEST_F(HostServerTest, RealmsDemandTheirCredentials) {
  const std::string welcome = Source("admin.htm", true);
  HttpReply bare = Request(Port(), "GET", "/admin.htm");
  EXPECT_EQ(bare.statusLine, "HTTP/1.1 401 Unauthorized");
  EXPECT_EQ(bare.headers["WWW-Authenticate"], "Basic realm=\"Admin Area\"");
  EXPECT_EQ(bare.body, "401 Unauthorized\n");
  // Realm1+Realm3: either realm's user gets in, nobody else.
  for (const char* pRefused : {"admin:wrong", "admin:secretx", "admin", "guest:", "tech:t3ch"})
    EXPECT_EQ(Request(Port(), "GET", "/admin.htm", BasicAuthorization(pRefused)).statusLine,
              "HTTP/1.1 401 Unauthorized")
        << pRefused;
  EXPECT_EQ(Request(Port(), "GET", "/admin.htm", "Authorization: Basic !!!\r\n").statusLine,
            "HTTP/1.1 401 Unauthorized");
  EXPECT_EQ(Request(Port(), "GET", "/admin.htm", BasicAuthorization("admin:secret")).body, welcome);
  EXPECT_EQ(Request(Port(), "GET", "/admin.htm", BasicAuthorization("tech:t3ch:pw")).body, welcome);
  std::string lowerScheme = BasicAuthorization("admin:secret");
  lowerScheme.replace(lowerScheme.find("Basic"), 5, "basic");
  EXPECT_EQ(Request(Port(), "GET", "/admin.htm", lowerScheme).body, welcome);

  HttpReply quoted = Request(Port(), "GET", "/quoted.htm");
  EXPECT_EQ(quoted.headers["WWW-Authenticate"], "Basic realm=\"Say \\\"hi\\\"\"");
  EXPECT_EQ(Request(Port(), "GET", "/quoted.htm", BasicAuthorization("guest:")).body, welcome);
  // Realm8 was never set up, so no credentials open it.
  HttpReply locked = Request(Port(), "GET", "/locked.htm", BasicAuthorization("admin:secret"));
  EXPECT_EQ(locked.statusLine, "HTTP/1.1 401 Unauthorized");
  EXPECT_EQ(locked.headers["WWW-Authenticate"], "Basic realm=\"Protected\"");
}

TEST_F(HostServerTest, FormDataReachesItsHandler) {
  const std::string data("n=Ann&x=\0y", 10);
  HttpReply posted = Request(Port(), "POST", "/register", "Content-Length: 10\r\n", data);
  EXPECT_EQ(posted.statusLine, "HTTP/1.1 200 OK");
  EXPECT_EQ(posted.body, "post=" + data + ";query=");
  EXPECT_EQ(Request(Port(), "GET", "/register?n=Bob").body, "post=;query=n=Bob");

  // A client that waits for "100 Continue" before it sends its body.
  int nFd = ConnectLoopback(Port());
  SendAll(nFd, "POST /register HTTP/1.1\r\nContent-Length: 5\r\nExpect: 100-continue\r\n\r\n");
  char aBuf[64] = {};
  ASSERT_GT(recv(nFd, aBuf, sizeof aBuf - 1, 0), 0);
  EXPECT_STREQ(aBuf, "HTTP/1.1 100 Continue\r\n\r\n");
  SendAll(nFd, "n=Cy");
  SendAll(nFd, "!");
  EXPECT_EQ(ParseReply(ReadAll(nFd)).body, "post=n=Cy!;query=");
  close(nFd);
}

TEST_F(HostServerTest, OversizedAnswerIsRefusedAndTheServerGoesOn) {
  HttpReply flood = Request(Port(), "GET", "/flood.htm");
  EXPECT_EQ(flood.statusLine, "HTTP/1.1 500 Internal Server Error");
  EXPECT_EQ(flood.body, "500 Internal Server Error\n");
  EXPECT_EQ(Request(Port(), "GET", "/admin.htm").statusLine, "HTTP/1.1 401 Unauthorized");
}

TEST_F(HostServerTest, BadRequestsGetAnAnswer) {
  const std::string filler = "X-Filler: " + std::string(1000, 'a') + "\r\n";
  std::string tooManyHeaders = "GET /index.htm HTTP/1.1\r\n";
  for (int i = 0; i < 40; ++i) tooManyHeaders += filler;
  const std::pair<std::string, std::string> cases[] = {
      {"GARBAGE\r\n\r\n", "400 Bad Request"},
      {"GET /index.htm\r\n\r\n", "400 Bad Request"},
      {"GET index.htm HTTP/1.1\r\n\r\n", "400 Bad Request"},
      {"GET /my page.htm HTTP/1.1\r\n\r\n", "400 Bad Request"},
      {"GET /index.htm HTTP/2.0\r\n\r\n", "400 Bad Request"},
      {"GET /index.htm%00 HTTP/1.1\r\n\r\n", "400 Bad Request"},
      {"GET /index.htm HTTP/1.1\r\nNoColon\r\n\r\n", "400 Bad Request"},
      {"GET /index.htm HTTP/1.1\r\nHost: a\r\n folded\r\n\r\n", "400 Bad Request"},
      {"GET /index.htm HTTP/1.1\r\nBad Name: a\r\n\r\n", "400 Bad Request"},
      {"GET /index.htm HTTP/1.1\r\nX: a\x01z\r\n\r\n", "400 Bad Request"},
      {std::string("GET /ind\0ex.htm HTTP/1.1\r\n\r\n", 28), "400 Bad Request"},
      {std::string("GET /index.htm HTTP/1.1\r\nX: \0\r\n\r\n", 33), "400 Bad Request"},
      {"GET /index.htm HTTP/1.1\r\nContent-Length: 12x\r\n\r\n", "400 Bad Request"},
      {"GET /index.htm HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab",
       "400 Bad Request"},
      {"POST /register HTTP/1.1\r\nContent-Length: 2000000\r\n\r\n", "413 Content Too Large"},
      {"POST /register HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
       "501 Not Implemented"},
      {"DELETE /index.htm HTTP/1.1\r\n\r\n", "501 Not Implemented"},
      {"GET /" + std::string(9000, 'a') + " HTTP/1.1\r\n\r\n", "414 URI Too Long"},
      {tooManyHeaders + "\r\n", "431 Request Header Fields Too Large"},
      {"GET /index.htm HTTP/1.0\n\n", "200 OK"},
      {"GET http://127.0.0.1/index.htm HTTP/1.1\r\n\r\n", "200 OK"},
  };
  for (const auto& [request, status] : cases)
    EXPECT_EQ(ParseReply(Exchange(Port(), request)).statusLine, "HTTP/1.1 " + status)
        << request.substr(0, 60);
}

TEST_F(HostServerTest, SlowAndVanishingClientsDoNotHoldUpOthers) {
  Clock::time_point start = Clock::now();
  int nSlow = ConnectLoopback(Port());
  SendAll(nSlow, "GET /index.htm HTTP/1.1\r\nHo");
  int nSilent = ConnectLoopback(Port());
  close(ConnectLoopback(Port()));  // gone at once
  int nHalf = ConnectLoopback(Port());
  SendAll(nHalf, "GET /ind");
  close(nHalf);
  int nDeaf = ConnectLoopback(Port());
  SendAll(nDeaf, "GET /logo.gif HTTP/1.1\r\n\r\n");
  close(nDeaf);  // never reads its answer

  EXPECT_EQ(Request(Port(), "GET", "/row.png").statusLine, "HTTP/1.1 200 OK");
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(900));

  EXPECT_EQ(ParseReply(ReadAll(nSlow)).statusLine, "HTTP/1.1 408 Request Timeout");
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(900));
  EXPECT_EQ(ReadAll(nSilent), "");  // a connection that never spoke is just closed
  close(nSlow);
  close(nSilent);

  // More idle clients than connection slots: the others wait their turn, and are served.
  std::vector<int> idle;
  for (int i = 0; i < 20; ++i) idle.push_back(ConnectLoopback(Port()));
  EXPECT_EQ(Request(Port(), "GET", "/row.png").statusLine, "HTTP/1.1 200 OK");
  for (int nFd : idle) close(nFd);
}

TEST(HostServerStart, AnnouncesItsAddressOrSaysWhyNot) {
  FixtureServer first({"--port", "0"}, true);
  ASSERT_NE(first.port(), 0);
  EXPECT_EQ(first.firstLine(), "Serving on http://127.0.0.1:" + std::to_string(first.port()) + "/");

  FixtureServer second({"--port", std::to_string(first.port())}, true);
  EXPECT_EQ(second.Wait(), 1);
  EXPECT_EQ(second.Stderr(), std::string(HSERVER_FIXTURE) + ": cannot listen on 127.0.0.1:" +
                                 std::to_string(first.port()) + ": Address already in use\n");

  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--port"}, {"--port", "65536"}, {"--port", "-1"}, {"--timeout", "0"}, {"--bogus"}}) {
    FixtureServer refused(args, true);
    EXPECT_EQ(refused.Wait(), 2);
    EXPECT_EQ(refused.Stderr(),
              std::string("usage: ") + HSERVER_FIXTURE + " [--port N] [--timeout SECONDS] [--home URL]\n");
  }
}

}  // namespace
