// The server library (hsserver.c) driven directly through in-memory streams,
// with the fixture project's generated files: requests arriving in pieces,
// the limits of its static buffers, HEAD, authentication, binaries cut to
// the size the URL table records, a connection that breaks while the answer
// goes out, and more requests at once than it has slots for.
#include "hsserver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "testing/http_client.h"

namespace {

// One connection in memory: the request is handed out piece by piece, the
// answer collected; sending fails once failAfter bytes have gone out.
struct MemoryStream {
  std::string request;
  size_t piece = 1 << 20;  // the most a receive hands out
  size_t taken = 0;
  std::string answer;
  size_t failAfter = std::string::npos;
  std::function<void()> onReceive;  // runs before each receive

  HSStream Stream() { return {Recv, Send, this}; }

  static int Recv(void* pContext, char* pBuffer, unsigned nLen) {
    auto* self = static_cast<MemoryStream*>(pContext);
    if (self->onReceive) self->onReceive();
    const size_t n =
        std::min({static_cast<size_t>(nLen), self->piece, self->request.size() - self->taken});
    self->request.copy(pBuffer, n, self->taken);
    self->taken += n;
    return static_cast<int>(n);
  }
  static int Send(void* pContext, const char* pData, unsigned nLen) {
    auto* self = static_cast<MemoryStream*>(pContext);
    if (self->answer.size() + nLen > self->failAfter) return -1;
    self->answer.append(pData, nLen);
    return 0;
  }
};

class HsServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { HSServerInit(); }
  // Serves one request; its status and the parsed answer.
  static HttpReply Serve(const std::string& request, int* status = nullptr,
                         size_t piece = 1 << 20) {
    MemoryStream stream;
    stream.request = request;
    stream.piece = piece;
    const HSStream s = stream.Stream();
    const int served = HSServeStream(&s);
    if (status) *status = served;
    return ParseReply(stream.answer);
  }
  static std::string Get(const std::string& target, const std::string& headers = "") {
    return "GET " + target + " HTTP/1.1\r\nHost: device\r\n" + headers + "\r\n";
  }
};

TEST_F(HsServerTest, RequestsInPiecesOfAnySizeGetTheSameAnswer) {
  const HttpReply whole = Serve(Get("/index.htm"));
  EXPECT_EQ("HTTP/1.1 200 OK", whole.statusLine);
  EXPECT_EQ("text/html", whole.headers.at("Content-Type"));
  EXPECT_EQ(0u, whole.headers.count("Content-Length")) << "a page's answer ends with the close";
  EXPECT_NE(std::string::npos, whole.body.find("12:34"));
  for (size_t piece : {1u, 2u, 7u}) {
    EXPECT_EQ(whole.body, Serve(Get("/index.htm"), nullptr, piece).body) << piece;
  }
  // A form's POST body arrives behind the head, also split.
  const std::string post = "POST /register?src=a HTTP/1.1\r\nContent-Length: 9\r\n\r\nname=x&y=";
  EXPECT_EQ("post=name=x&y=;query=src=a", Serve(post, nullptr, 3).body);
}

TEST_F(HsServerTest, LimitsAndBadRequestsAreAnswered) {
  int status = 0;
  Serve("GET /" + std::string(3000, 'a') + " HTTP/1.1\r\n\r\n", &status);
  EXPECT_EQ(414, status);
  Serve("GET / HTTP/1.1\r\nX: " + std::string(3000, 'a') + "\r\n\r\n", &status);
  EXPECT_EQ(431, status);
  Serve("POST /register HTTP/1.1\r\nContent-Length: 5000\r\n\r\n", &status);
  EXPECT_EQ(413, status);
  EXPECT_EQ("HTTP/1.1 400 Bad Request", Serve("nonsense\r\n\r\n", &status).statusLine);
  EXPECT_EQ("HTTP/1.1 501 Not Implemented",
            Serve("PUT /index.htm HTTP/1.1\r\n\r\n", &status).statusLine);
  EXPECT_EQ("HTTP/1.1 404 Not Found", Serve(Get("/nope.htm"), &status).statusLine);
  EXPECT_EQ(404, status);
  // A peer that goes away before its head is complete gets nothing.
  Serve("GET /index.htm HTTP/1.1\r\n", &status);
  EXPECT_EQ(400, status);
  Serve("", &status);
  EXPECT_EQ(0, status);
}

TEST_F(HsServerTest, BinariesCarryTheirTableSizeAndHeadCarriesNoBody) {
  const HttpReply logo = Serve(Get("/logo.gif"));
  EXPECT_EQ("21", logo.headers.at("Content-Length"));
  EXPECT_EQ(21u, logo.body.size());
  EXPECT_EQ("12", Serve(Get("/stale.gif")).headers.at("Content-Length"));
  EXPECT_EQ(12u, Serve(Get("/stale.gif")).body.size());
  const HttpReply empty = Serve(Get("/empty.gif"));
  EXPECT_EQ("0", empty.headers.at("Content-Length"));
  EXPECT_EQ("", empty.body);
  const HttpReply head = Serve("HEAD /logo.gif HTTP/1.1\r\n\r\n");
  EXPECT_EQ("HTTP/1.1 200 OK", head.statusLine);
  EXPECT_EQ("", head.body);
  EXPECT_EQ("text/css", Serve(Get("/a/site.css")).headers.at("Content-Type"));
}

TEST_F(HsServerTest, ProtectedUrlsAskForTheirRealmsUsers) {
  const HttpReply bare = Serve(Get("/admin.htm"));
  EXPECT_EQ("HTTP/1.1 401 Unauthorized", bare.statusLine);
  EXPECT_EQ("Basic realm=\"Admin Area\"", bare.headers.at("WWW-Authenticate"));
  EXPECT_EQ("Basic realm=\"Say \\\"hi\\\"\"",
            Serve(Get("/quoted.htm")).headers.at("WWW-Authenticate"));
  for (const char* refused : {"admin:secre", "admin:secretx", "guest:", "x", "tech:t3ch"}) {
    EXPECT_EQ("HTTP/1.1 401 Unauthorized",
              Serve(Get("/admin.htm", BasicAuthorization(refused))).statusLine)
        << refused;
  }
  EXPECT_EQ("HTTP/1.1 401 Unauthorized",
            Serve(Get("/admin.htm", "Authorization: Basic !!!\r\n")).statusLine);
  for (const char* admitted : {"admin:secret", "tech:t3ch:pw"}) {
    EXPECT_EQ("HTTP/1.1 200 OK", Serve(Get("/admin.htm", BasicAuthorization(admitted))).statusLine)
        << admitted;
  }
  EXPECT_EQ("HTTP/1.1 200 OK", Serve(Get("/quoted.htm", BasicAuthorization("guest:"))).statusLine);
}

TEST_F(HsServerTest, ABrokenConnectionStopsTheAnswerAndFreesItsSlot) {
  MemoryStream stream;
  stream.request = Get("/flood.htm");
  stream.failAfter = 100;
  const HSStream s = stream.Stream();
  HSServeStream(&s);
  EXPECT_LE(stream.answer.size(), 100u);
  // Every slot is free again: a full round of requests is served.
  for (int i = 0; i < 8; ++i) EXPECT_EQ("HTTP/1.1 200 OK", Serve(Get("/empty.htm")).statusLine);
}

TEST_F(HsServerTest, MoreRequestsThanSlotsAreTurnedAway) {
  // Each receive of a connection opens the next one before it answers, so
  // the requests are all in progress at once, as with one task per
  // connection.
  std::vector<MemoryStream> streams(5);
  std::vector<int> statuses(streams.size(), -1);
  std::vector<HSStream> handles;
  for (MemoryStream& stream : streams) handles.push_back(stream.Stream());
  for (size_t i = 0; i < streams.size(); ++i) {
    streams[i].request = Get("/empty.htm");
    if (i + 1 < streams.size()) {
      streams[i].onReceive = [&, i] {
        if (statuses[i + 1] == -1) statuses[i + 1] = HSServeStream(&handles[i + 1]);
      };
    }
  }
  statuses[0] = HSServeStream(&handles[0]);
  // Four slots: the first four are answered, the fifth hears 503.
  EXPECT_EQ((std::vector<int>{200, 200, 200, 200, 503}), statuses);
  EXPECT_EQ(0u, streams[4].answer.find("HTTP/1.1 503 Service Unavailable\r\n"));
}

TEST_F(HsServerTest, CallsWithAHandleOfNoRequestAreIgnored) {
  HSSend(0, "x");
  HSSend(1, "x");  // slot 1 exists but answers no request now
  HSSendBinary(99, "x", 1);
  EXPECT_EQ(0, HSPageAuthenticate(3, 1));
  unsigned long len = 7;
  EXPECT_STREQ("", HSGetPostData(2, &len));
  EXPECT_EQ(0u, len);
  EXPECT_STREQ("", HSGetQuery(2));
  EXPECT_EQ(-1, HSSetRealm(8, "a", "b", "c"));
  EXPECT_EQ(-1, HSSetRealm(7, std::string(64, 'n').c_str(), "b", "c"));
}

}  // namespace
