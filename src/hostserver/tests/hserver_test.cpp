// The host web server, run as a separate process: a server built from
// hand-written files in the shape the generator writes (tests/fixture) is
// started on a free loopback port and spoken to over HTTP.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The fixture server as a child process whose stdout (and optionally stderr) we read.
class ServerProcess {
 public:
  ServerProcess(const std::vector<std::string>& args, bool bCaptureStderr) {
    int aOut[2], aErr[2];
    if (pipe(aOut) != 0 || pipe(aErr) != 0) return;
    m_pid = fork();
    if (m_pid == 0) {
      dup2(aOut[1], 1);
      if (bCaptureStderr) dup2(aErr[1], 2);
      for (int nFd : {aOut[0], aOut[1], aErr[0], aErr[1]}) close(nFd);
      std::vector<char*> argv{const_cast<char*>(HSERVER_FIXTURE)};
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(aOut[1]);
    close(aErr[1]);
    m_nOut = aOut[0];
    m_nErr = aErr[0];
    // The first line announces the address; anything else means the start failed.
    for (char c; ReadSome(m_nOut, &c, 1) == 1 && c != '\n';) m_strFirstLine += c;
    const std::string prefix = "Serving on http://127.0.0.1:";
    if (m_strFirstLine.rfind(prefix, 0) == 0)
      m_nPort = std::atoi(m_strFirstLine.c_str() + prefix.size());
  }
  ~ServerProcess() {
    if (m_pid > 0 && !m_bExited) Stop();
    close(m_nOut);
    close(m_nErr);
  }

  int port() const { return m_nPort; }
  const std::string& firstLine() const { return m_strFirstLine; }

  // Asks the server to stop (SIGTERM) unless it has ended, and returns its exit status.
  int Stop() {
    if (!m_bExited) kill(m_pid, SIGTERM);
    return Wait();
  }
  int Wait() {
    if (!m_bExited) waitpid(m_pid, &m_nStatus, 0);
    m_bExited = true;
    return WIFEXITED(m_nStatus) ? WEXITSTATUS(m_nStatus) : 128 + WTERMSIG(m_nStatus);
  }
  std::string Stderr() {
    std::string text;
    char aBuf[4096];
    for (ssize_t n; (n = ReadSome(m_nErr, aBuf, sizeof aBuf)) > 0;) text.append(aBuf, size_t(n));
    return text;
  }

 private:
  static ssize_t ReadSome(int nFd, char* pBuf, size_t nLen) {
    pollfd fd{nFd, POLLIN, 0};
    return poll(&fd, 1, 10000) == 1 ? read(nFd, pBuf, nLen) : -1;
  }

  pid_t m_pid = -1;
  int m_nOut = -1, m_nErr = -1, m_nPort = 0, m_nStatus = 0;
  bool m_bExited = false;
  std::string m_strFirstLine;
};

int Connect(int nPort) {
  int nFd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(uint16_t(nPort));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  timeval limit{10, 0};
  setsockopt(nFd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  EXPECT_EQ(connect(nFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  return nFd;
}

void SendAll(int nFd, const std::string& data) {
  for (size_t nSent = 0; nSent < data.size();) {
    ssize_t n = send(nFd, data.data() + nSent, data.size() - nSent, MSG_NOSIGNAL);
    if (n <= 0) return;  // the server may answer and close before taking everything
    nSent += size_t(n);
  }
}

// Everything the server sends until it closes the connection.
std::string ReadAll(int nFd) {
  std::string text;
  char aBuf[65536];
  for (ssize_t n; (n = recv(nFd, aBuf, sizeof aBuf, 0)) > 0;) text.append(aBuf, size_t(n));
  return text;
}

std::string Exchange(int nPort, const std::string& request) {
  int nFd = Connect(nPort);
  SendAll(nFd, request);
  std::string reply = ReadAll(nFd);
  close(nFd);
  return reply;
}

struct Reply {
  std::string statusLine;
  std::map<std::string, std::string> headers;
  std::string body;
};

Reply Parse(const std::string& raw) {
  Reply reply;
  size_t nHeadEnd = raw.find("\r\n\r\n");
  if (nHeadEnd == std::string::npos) return reply;
  size_t nLineEnd = raw.find("\r\n");
  reply.statusLine = raw.substr(0, nLineEnd);
  for (size_t nPos = nLineEnd + 2; nPos < nHeadEnd;) {
    size_t nEnd = raw.find("\r\n", nPos);
    std::string line = raw.substr(nPos, nEnd - nPos);
    size_t nColon = line.find(": ");
    reply.headers[line.substr(0, nColon)] = line.substr(nColon + 2);
    nPos = nEnd + 2;
  }
  reply.body = raw.substr(nHeadEnd + 4);
  return reply;
}

Reply Request(int nPort, const std::string& method, const std::string& target,
              const std::string& headers = "", const std::string& body = "") {
  return Parse(Exchange(
      nPort, method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "\r\n" + body));
}

std::string Basic(const std::string& credentials) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out = "Authorization: Basic ";
  for (size_t i = 0; i < credentials.size(); i += 3) {
    unsigned nBits = unsigned(uint8_t(credentials[i])) << 16;
    if (i + 1 < credentials.size()) nBits |= unsigned(uint8_t(credentials[i + 1])) << 8;
    if (i + 2 < credentials.size()) nBits |= uint8_t(credentials[i + 2]);
    out += kDigits[nBits >> 18];
    out += kDigits[(nBits >> 12) & 63];
    out += i + 1 < credentials.size() ? kDigits[(nBits >> 6) & 63] : '=';
    out += i + 2 < credentials.size() ? kDigits[nBits & 63] : '=';
  }
  return out + "\r\n";
}

// A source file of the fixture project, as the page conversion reads it (CR LF -> LF) or raw.
std::string Source(const std::string& name, bool bTextMode) {
  std::ifstream in(std::string(HSERVER_FIXTURE_DIR) + "/" + name, std::ios::binary);
  std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  for (size_t nPos; bTextMode && (nPos = text.find("\r\n")) != std::string::npos;)
    text.erase(nPos, 1);
  return text;
}

class HostServerTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_pServer = new ServerProcess({"--port", "0", "--timeout", "1"}, false);
  }
  static void TearDownTestSuite() {
    // A clean stop frees everything, which the sanitizer build checks.
    EXPECT_EQ(s_pServer->Stop(), 0);
    delete s_pServer;
  }
  void SetUp() override { ASSERT_NE(s_pServer->port(), 0) << s_pServer->firstLine(); }

  static int Port() { return s_pServer->port(); }
  static ServerProcess* s_pServer;
};
ServerProcess* HostServerTest::s_pServer = nullptr;

TEST_F(HostServerTest, PagesArriveAsWrittenWithDynamicTextInPlace) {
  std::string index = Source("index.htm", true);
  index.replace(index.find("_NZZA_Clock"), 11, "12:34");
  for (const char* pTarget : {"/index.htm", "/", "/index.htm?x=1", "/%69ndex.htm"}) {
    Reply reply = Request(Port(), "GET", pTarget);
    EXPECT_EQ(reply.statusLine, "HTTP/1.1 200 OK") << pTarget;
    EXPECT_EQ(reply.headers["Content-Type"], "text/html") << pTarget;
    EXPECT_EQ(reply.headers["Content-Length"], std::to_string(index.size())) << pTarget;
    EXPECT_EQ(reply.body, index) << pTarget;
  }
  EXPECT_EQ(Request(Port(), "GET", "/my%20page.htm").body, Source("my page.htm", true));
  Reply empty = Request(Port(), "GET", "/empty.htm");
  EXPECT_EQ(empty.statusLine, "HTTP/1.1 200 OK");
  EXPECT_EQ(empty.body, "");

  Reply head = Request(Port(), "HEAD", "/index.htm");
  EXPECT_EQ(head.statusLine, "HTTP/1.1 200 OK");
  EXPECT_EQ(head.headers["Content-Length"], std::to_string(index.size()));
  EXPECT_EQ(head.body, "");
  Reply headMissing = Request(Port(), "HEAD", "/nope.htm");
  EXPECT_EQ(headMissing.statusLine, "HTTP/1.1 404 Not Found");
  EXPECT_EQ(headMissing.headers["Content-Length"], "14");
  EXPECT_EQ(headMissing.body, "");
}

TEST_F(HostServerTest, BinariesArriveExactly) {
  Reply logo = Request(Port(), "GET", "/logo.gif");
  EXPECT_EQ(logo.headers["Content-Type"], "image/gif");
  EXPECT_EQ(logo.body, Source("logo.gif", false));
  EXPECT_EQ(Request(Port(), "GET", "/row.png").body, Source("row.png", false));
  // An empty file is stored as one zero byte with size 0: nothing is sent.
  Reply empty = Request(Port(), "GET", "/empty.gif");
  EXPECT_EQ(empty.statusLine, "HTTP/1.1 200 OK");
  EXPECT_EQ(empty.headers["Content-Length"], "0");
  EXPECT_EQ(empty.body, "");
  // The size in the table is what the answer announces, as on the device.
  EXPECT_EQ(Request(Port(), "GET", "/stale.gif").body, Source("logo.gif", false).substr(0, 12));
}

TEST_F(HostServerTest, ContentTypeFollowsTheTypeFunction) {
  const std::map<std::string, std::string> types = {{"Text", "text/plain"},
                                                    {"Jpeg", "image/jpeg"},
                                                    {"Gif", "image/gif"},
                                                    {"Tiff", "image/tiff"},
                                                    {"Pict", "image/x-pict"},
                                                    {"Png", "image/png"},
                                                    {"Applet", "application/octet-stream"},
                                                    {"Asf", "video/x-ms-asf"},
                                                    {"Xbm", "image/x-xbitmap"},
                                                    {"Wav", "audio/wav"},
                                                    {"Au", "audio/basic"}};
  for (const auto& [suffix, type] : types) {
    for (const std::string& target : {"/t/" + suffix, "/t/Static" + suffix}) {
      Reply reply = Request(Port(), "GET", target);
      EXPECT_EQ(reply.headers["Content-Type"], type) << target;
      EXPECT_EQ(reply.body, Source("row.png", false)) << target;
    }
  }
  EXPECT_EQ(Request(Port(), "GET", "/t/StaticHtml").headers["Content-Type"], "text/html");
}

TEST_F(HostServerTest, UnknownUrlsAre404) {
  for (const char* pTarget : {"/nope.htm", "/INDEX.HTM", "/index.htm/", "/my%20page.htm/"}) {
    Reply reply = Request(Port(), "GET", pTarget);
    EXPECT_EQ(reply.statusLine, "HTTP/1.1 404 Not Found") << pTarget;
    EXPECT_EQ(reply.body, "404 Not Found\n") << pTarget;
  }
}

TEST_F(HostServerTest, RealmsDemandTheirCredentials) {
  const std::string welcome = Source("admin.htm", true);
  Reply bare = Request(Port(), "GET", "/admin.htm");
  EXPECT_EQ(bare.statusLine, "HTTP/1.1 401 Unauthorized");
  EXPECT_EQ(bare.headers["WWW-Authenticate"], "Basic realm=\"Admin Area\"");
  EXPECT_EQ(bare.body, "401 Unauthorized\n");
  // Realm1+Realm3: either realm's user gets in, nobody else.
  for (const char* pRefused : {"admin:wrong", "admin:secretx", "admin", "guest:", "tech:t3ch"})
    EXPECT_EQ(Request(Port(), "GET", "/admin.htm", Basic(pRefused)).statusLine,
              "HTTP/1.1 401 Unauthorized")
        << pRefused;
  EXPECT_EQ(Request(Port(), "GET", "/admin.htm", "Authorization: Basic !!!\r\n").statusLine,
            "HTTP/1.1 401 Unauthorized");
  EXPECT_EQ(Request(Port(), "GET", "/admin.htm", Basic("admin:secret")).body, welcome);
  EXPECT_EQ(Request(Port(), "GET", "/admin.htm", Basic("tech:t3ch:pw")).body, welcome);
  std::string lowerScheme = Basic("admin:secret");
  lowerScheme.replace(lowerScheme.find("Basic"), 5, "basic");
  EXPECT_EQ(Request(Port(), "GET", "/admin.htm", lowerScheme).body, welcome);

  Reply quoted = Request(Port(), "GET", "/quoted.htm");
  EXPECT_EQ(quoted.headers["WWW-Authenticate"], "Basic realm=\"Say \\\"hi\\\"\"");
  EXPECT_EQ(Request(Port(), "GET", "/quoted.htm", Basic("guest:")).body, welcome);
  // Realm8 was never set up, so no credentials open it.
  Reply locked = Request(Port(), "GET", "/locked.htm", Basic("admin:secret"));
  EXPECT_EQ(locked.statusLine, "HTTP/1.1 401 Unauthorized");
  EXPECT_EQ(locked.headers["WWW-Authenticate"], "Basic realm=\"Protected\"");
}

TEST_F(HostServerTest, FormDataReachesItsHandler) {
  const std::string data("n=Ann&x=\0y", 10);
  Reply posted = Request(Port(), "POST", "/register", "Content-Length: 10\r\n", data);
  EXPECT_EQ(posted.statusLine, "HTTP/1.1 200 OK");
  EXPECT_EQ(posted.body, "post=" + data + ";query=");
  EXPECT_EQ(Request(Port(), "GET", "/register?n=Bob").body, "post=;query=n=Bob");

  // A client that waits for "100 Continue" before it sends its body.
  int nFd = Connect(Port());
  SendAll(nFd, "POST /register HTTP/1.1\r\nContent-Length: 5\r\nExpect: 100-continue\r\n\r\n");
  char aBuf[64] = {};
  ASSERT_GT(recv(nFd, aBuf, sizeof aBuf - 1, 0), 0);
  EXPECT_STREQ(aBuf, "HTTP/1.1 100 Continue\r\n\r\n");
  SendAll(nFd, "n=Cy");
  SendAll(nFd, "!");
  EXPECT_EQ(Parse(ReadAll(nFd)).body, "post=n=Cy!;query=");
  close(nFd);
}

TEST_F(HostServerTest, OversizedAnswerIsRefusedAndTheServerGoesOn) {
  Reply flood = Request(Port(), "GET", "/flood.htm");
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
    EXPECT_EQ(Parse(Exchange(Port(), request)).statusLine, "HTTP/1.1 " + status)
        << request.substr(0, 60);
}

TEST_F(HostServerTest, SlowAndVanishingClientsDoNotHoldUpOthers) {
  Clock::time_point start = Clock::now();
  int nSlow = Connect(Port());
  SendAll(nSlow, "GET /index.htm HTTP/1.1\r\nHo");
  int nSilent = Connect(Port());
  close(Connect(Port()));  // gone at once
  int nHalf = Connect(Port());
  SendAll(nHalf, "GET /ind");
  close(nHalf);
  int nDeaf = Connect(Port());
  SendAll(nDeaf, "GET /logo.gif HTTP/1.1\r\n\r\n");
  close(nDeaf);  // never reads its answer

  EXPECT_EQ(Request(Port(), "GET", "/row.png").statusLine, "HTTP/1.1 200 OK");
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(900));

  EXPECT_EQ(Parse(ReadAll(nSlow)).statusLine, "HTTP/1.1 408 Request Timeout");
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(900));
  EXPECT_EQ(ReadAll(nSilent), "");  // a connection that never spoke is just closed
  close(nSlow);
  close(nSilent);

  // More idle clients than connection slots: the others wait their turn, and are served.
  std::vector<int> idle;
  for (int i = 0; i < 20; ++i) idle.push_back(Connect(Port()));
  EXPECT_EQ(Request(Port(), "GET", "/row.png").statusLine, "HTTP/1.1 200 OK");
  for (int nFd : idle) close(nFd);
}

TEST(HostServerStart, AnnouncesItsAddressOrSaysWhyNot) {
  ServerProcess first({"--port", "0"}, true);
  ASSERT_NE(first.port(), 0);
  EXPECT_EQ(first.firstLine(), "Serving on http://127.0.0.1:" + std::to_string(first.port()) + "/");

  ServerProcess second({"--port", std::to_string(first.port())}, true);
  EXPECT_EQ(second.Wait(), 1);
  EXPECT_EQ(second.Stderr(), std::string(HSERVER_FIXTURE) + ": cannot listen on 127.0.0.1:" +
                                 std::to_string(first.port()) + ": Address already in use\n");

  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--port"}, {"--port", "65536"}, {"--port", "-1"}, {"--timeout", "0"}, {"--bogus"}}) {
    ServerProcess refused(args, true);
    EXPECT_EQ(refused.Wait(), 2);
    EXPECT_EQ(refused.Stderr(),
              std::string("usage: ") + HSERVER_FIXTURE + " [--port N] [--timeout SECONDS]\n");
  }
}

}  // namespace
