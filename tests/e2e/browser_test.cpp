// A real browser on the preview: headless Chromium loads the demo's home page
// from `pagoric preview`, and every picture on it must decode. The browser is
// driven over its DevTools pipe, so the test needs nothing but Chromium.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/file_util.h"
#include "testing/server_process.h"
#include "tests/e2e/e2e_support.h"

namespace {

using Clock = std::chrono::steady_clock;

// Headless Chromium with a fresh profile, spoken to over --remote-debugging-pipe:
// it reads commands from its fd 3 and writes answers to its fd 4, each a JSON
// text ended by a NUL byte. Its own output goes to a log file.
class Chromium {
 public:
  Chromium(const std::string& profile, const std::string& log) {
    int toBrowser[2], fromBrowser[2];
    if (::pipe(toBrowser) != 0) return;
    if (::pipe(fromBrowser) != 0) {
      ::close(toBrowser[0]);
      ::close(toBrowser[1]);
      return;
    }
    const std::vector<std::string> args = {"chromium",
                                           "--headless",
                                           "--no-sandbox",
                                           "--disable-gpu",
                                           "--disable-quic",
                                           "--no-first-run",
                                           "--disable-background-networking",
                                           "--disable-component-update",
                                           "--disable-sync",
                                           "--disable-dev-shm-usage",
                                           "--user-data-dir=" + profile,
                                           "--remote-debugging-pipe",
                                           "about:blank"};
    m_pid = ::fork();
    if (m_pid == 0) {
      // Out of the way of fds 3 and 4 first, then into place.
      const int commands = ::fcntl(toBrowser[0], F_DUPFD, 10);
      const int answers = ::fcntl(fromBrowser[1], F_DUPFD, 10);
      ::dup2(commands, 3);
      ::dup2(answers, 4);
      const int logFd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(logFd, STDOUT_FILENO);
      ::dup2(logFd, STDERR_FILENO);
      for (int fd = 5; fd < 1024; ++fd) ::close(fd);
      std::vector<char*> argv;
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      ::execvp(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(toBrowser[0]);
    ::close(fromBrowser[1]);
    m_nToBrowser = toBrowser[1];
    m_nFromBrowser = fromBrowser[0];
  }

  ~Chromium() {
    if (m_pid > 0) {
      Send("{\"id\":0,\"method\":\"Browser.close\"}");
      const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
      int status = 0;
      while (::waitpid(m_pid, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
          ::kill(m_pid, SIGKILL);
          ::waitpid(m_pid, &status, 0);
          break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
    }
    if (m_nToBrowser >= 0) ::close(m_nToBrowser);
    if (m_nFromBrowser >= 0) ::close(m_nFromBrowser);
  }
  Chromium(const Chromium&) = delete;
  Chromium& operator=(const Chromium&) = delete;

  // Runs a DevTools command (params as JSON text) in session, or on the
  // browser itself when session is empty, and returns the answer's JSON text;
  // empty after a test failure when no answer came within the time limit.
  std::string Call(const std::string& method, const std::string& params = "{}",
                   const std::string& session = "") {
    const int id = m_nNextId++;
    std::string message =
        "{\"id\":" + std::to_string(id) + ",\"method\":\"" + method + "\",\"params\":" + params;
    if (!session.empty()) message += ",\"sessionId\":\"" + session + "\"";
    Send(message + "}");
    const std::string prefix = "{\"id\":" + std::to_string(id) + ",";
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(60);
    for (;;) {
      for (size_t end; (end = m_strPending.find('\0')) != std::string::npos;) {
        const std::string answer = m_strPending.substr(0, end);
        m_strPending.erase(0, end + 1);
        if (answer.rfind(prefix, 0) == 0) return answer;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      pollfd poller{m_nFromBrowser, POLLIN, 0};
      char buffer[65536];
      ssize_t n = 0;
      if (left <= 0 || ::poll(&poller, 1, static_cast<int>(left)) != 1 ||
          (n = ::read(m_nFromBrowser, buffer, sizeof buffer)) <= 0) {
        ADD_FAILURE() << "Chromium gave no answer to " << method;
        return "";
      }
      m_strPending.append(buffer, static_cast<size_t>(n));
    }
  }

 private:
  void Send(const std::string& message) {
    const std::string data = message + '\0';
    for (size_t sent = 0; sent < data.size();) {
      const ssize_t n = ::write(m_nToBrowser, data.data() + sent, data.size() - sent);
      if (n <= 0) return;
      sent += static_cast<size_t>(n);
    }
  }

  pid_t m_pid = -1;
  int m_nToBrowser = -1, m_nFromBrowser = -1;
  int m_nNextId = 1;
  std::string m_strPending;
};

// The first string value of key in a JSON text, with its simple escapes undone.
std::string JsonString(const std::string& json, const std::string& key) {
  const std::string open = "\"" + key + "\":\"";
  size_t at = json.find(open);
  if (at == std::string::npos) return "";
  std::string value;
  for (at += open.size(); at < json.size() && json[at] != '"'; ++at) {
    if (json[at] == '\\' && at + 1 < json.size()) {
      const char c = json[++at];
      value += c == 'n' ? '\n' : c == 't' ? '\t' : c;
    } else {
      value += json[at];
    }
  }
  return value;
}

std::string Base64Decode(const std::string& text) {
  static const std::string kDigits =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string bytes;
  unsigned bits = 0;
  int count = 0;
  for (char c : text) {
    const size_t digit = kDigits.find(c);
    if (digit == std::string::npos) continue;  // padding
    bits = (bits << 6) | static_cast<unsigned>(digit);
    count += 6;
    if (count >= 8) {
      count -= 8;
      bytes += static_cast<char>((bits >> count) & 0xff);
    }
  }
  return bytes;
}

// A JavaScript expression evaluated in the page, as a string.
std::string Evaluate(Chromium& browser, const std::string& session, const std::string& expression) {
  return JsonString(
      browser.Call("Runtime.evaluate",
                   "{\"expression\":\"" + expression + "\",\"returnByValue\":true}", session),
      "value");
}

// Loads url in session and waits until the document is complete.
void Navigate(Chromium& browser, const std::string& session, const std::string& url) {
  browser.Call("Page.navigate", "{\"url\":\"" + url + "\"}", session);
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(30);
  // A new document replaces about:blank or the previous page first.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  while (Evaluate(browser, session, "document.readyState") != "complete") {
    ASSERT_LT(Clock::now(), deadline) << "the page did not finish loading: " << url;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

// A browser page of its own in a fresh Chromium; empty after a test failure.
std::string OpenPage(Chromium& browser) {
  const std::string target =
      JsonString(browser.Call("Target.createTarget", "{\"url\":\"about:blank\"}"), "targetId");
  EXPECT_NE("", target) << "see " << OutputDir() << "/chromium.log";
  if (target.empty()) return "";
  return JsonString(
      browser.Call("Target.attachToTarget", "{\"targetId\":\"" + target + "\",\"flatten\":true}"),
      "sessionId");
}

// A standards-mode page (<!DOCTYPE html>) uses a style sheet only when it comes
// as text/css: the preview must send it so, and point "/" to the first page.
TEST(BrowserTest, StyleSheetAppliesToAStandardsModePage) {
  if (!HaveTool("cc")) GTEST_SKIP() << "cc is not installed";
  if (!HaveTool("chromium")) GTEST_SKIP() << "chromium is not installed";
  ::signal(SIGPIPE, SIG_IGN);
  TempDir sites;
  sites.Write("site/index.html",
              "<!DOCTYPE html>\n<html><head><title>Styled</title>\n"
              "<link rel=\"stylesheet\" href=\"/css/site.css\">\n"
              "<script src=\"/js/app.js\"></script></head>\n"
              "<body><h1>Pump</h1></body></html>\n");
  sites.Write("site/css/site.css", "body { color: rgb(1, 2, 3); }\nh1 { margin-left: 37px; }\n");
  sites.Write("site/js/app.js", "document.documentElement.dataset.script = 'ran';\n");
  TestProject project(sites.File("site"));
  ASSERT_TRUE(project.ok());
  ServerProcess preview(PagoricProgram(), {"preview", project.projectFile(), "--port", "0"}, false);
  ASSERT_NE(0, preview.port()) << preview.output();
  const std::string address = "http://127.0.0.1:" + std::to_string(preview.port());
  EXPECT_EQ("Open " + address + "/index.html in your browser; Ctrl+C stops the server.",
            preview.ReadLine());

  Chromium browser(project.dir().File("profile"), OutputDir() + "/chromium-style.log");
  const std::string session = OpenPage(browser);
  ASSERT_NE("", session);
  // "/" has no entry: its answer points to the first page.
  Navigate(browser, session, address + "/");
  EXPECT_EQ("/index.html",
            Evaluate(browser, session, "document.querySelector('a').getAttribute('href')"));

  Navigate(browser, session, address + "/index.html");
  EXPECT_EQ("Styled", Evaluate(browser, session, "document.title"));
  EXPECT_EQ("CSS1Compat", Evaluate(browser, session, "document.compatMode"));
  EXPECT_EQ("rgb(1, 2, 3)", Evaluate(browser, session, "getComputedStyle(document.body).color"));
  EXPECT_EQ("37px", Evaluate(browser, session,
                             "getComputedStyle(document.querySelector('h1')).marginLeft"));
  EXPECT_EQ("ran", Evaluate(browser, session, "document.documentElement.dataset.script || ''"));
  EXPECT_EQ(0, preview.Stop());
}

TEST(BrowserTest, DemoHomePageShowsEveryPicture) {
  if (!HaveTool("cc")) GTEST_SKIP() << "cc is not installed";
  if (!HaveTool("chromium")) GTEST_SKIP() << "chromium is not installed";
  ::signal(SIGPIPE, SIG_IGN);  // a browser that dies must fail the test, not end it
  TestProject project(DemoSite());
  ASSERT_TRUE(project.ok());
  ServerProcess preview(PagoricProgram(), {"preview", project.projectFile(), "--port", "0"}, false);
  ASSERT_NE(0, preview.port()) << preview.output();
  const std::string open = preview.ReadLine();  // "Open URL in your browser; ..."
  ASSERT_EQ(0u, open.find("Open http://")) << open;
  const std::string home = open.substr(5, open.find(' ', 5) - 5);

  Chromium browser(project.dir().File("profile"), OutputDir() + "/chromium.log");
  const std::string target =
      JsonString(browser.Call("Target.createTarget", "{\"url\":\"about:blank\"}"), "targetId");
  ASSERT_NE("", target) << "see " << OutputDir() << "/chromium.log";
  const std::string session = JsonString(
      browser.Call("Target.attachToTarget", "{\"targetId\":\"" + target + "\",\"flatten\":true}"),
      "sessionId");
  ASSERT_NE("", session);
  browser.Call("Page.navigate", "{\"url\":\"" + home + "\"}", session);
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(30);
  while (Evaluate(browser, session, "document.readyState") != "complete") {
    ASSERT_LT(Clock::now(), deadline) << "the page did not finish loading";
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_EQ("Pump Controller", Evaluate(browser, session, "document.title"));

  // One "width src" line per picture of the page.
  const std::string pictures =
      Evaluate(browser, session,
               "Array.from(document.images).map(i => i.naturalWidth + ' ' + i.getAttribute('src'))"
               ".join('\\\\n')");
  const std::string source = TextModeRead(DemoSite() + "/index.htm");
  size_t expected = 0;
  for (size_t at = source.find("<img "); at != std::string::npos; at = source.find("<img ", at + 1))
    ++expected;
  size_t shown = 0;
  for (size_t start = 0; start < pictures.size();) {
    size_t end = pictures.find('\n', start);
    if (end == std::string::npos) end = pictures.size();
    const std::string line = pictures.substr(start, end - start);
    EXPECT_GT(std::atoi(line.c_str()), 0) << "picture does not decode: " << line;
    ++shown;
    start = end + 1;
  }
  EXPECT_EQ(expected, shown) << pictures;
  EXPECT_EQ(3u, expected);

  const std::string png = Base64Decode(
      JsonString(browser.Call("Page.captureScreenshot", "{\"format\":\"png\"}", session), "data"));
  EXPECT_EQ(0u, png.find("\x89PNG\r\n\x1a\n"));
  EXPECT_EQ(ReplaceResult::kOk, ReplaceFileAtomically(OutputDir() + "/demo-home.png", png));
  EXPECT_EQ(0, preview.Stop());
}

}  // namespace
