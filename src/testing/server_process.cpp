#include "testing/server_process.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace {

constexpr const char* kAnnouncement = "Serving on http://127.0.0.1:";
constexpr int kReadTimeoutMillis = 120000;

}  // namespace

ServerProcess::ServerProcess(const std::string& program, const std::vector<std::string>& args,
                             bool captureStderr) {
  int aOut[2], aErr[2];
  if (pipe(aOut) != 0) return;
  if (pipe(aErr) != 0) {
    close(aOut[0]);
    close(aOut[1]);
    return;
  }
  m_pid = fork();
  if (m_pid == 0) {
    dup2(aOut[1], 1);
    if (captureStderr) dup2(aErr[1], 2);
    for (int nFd : {aOut[0], aOut[1], aErr[0], aErr[1]}) close(nFd);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(aOut[1]);
  close(aErr[1]);
  m_nOut = aOut[0];
  m_nErr = aErr[0];
  if (m_pid < 0) {
    m_bExited = true;
    return;
  }
  for (;;) {
    const size_t nBefore = m_strOutput.size();
    std::string line = ReadLine();
    if (line.rfind(kAnnouncement, 0) == 0) {
      m_strFirstLine = line;
      m_nPort = std::atoi(line.c_str() + std::char_traits<char>::length(kAnnouncement));
      return;
    }
    if (m_strOutput.size() == nBefore) return;  // the output ended
    m_strFirstLine = line;
  }
}

ServerProcess::~ServerProcess() {
  if (m_pid > 0 && !m_bExited) Stop();
  if (m_nOut >= 0) close(m_nOut);
  if (m_nErr >= 0) close(m_nErr);
}

std::string ServerProcess::ReadLine() {
  std::string line;
  for (char c; ReadSome(m_nOut, &c, 1) == 1;) {
    m_strOutput += c;
    if (c == '\n') break;
    line += c;
  }
  return line;
}

int ServerProcess::Stop() {
  if (!m_bExited) kill(m_pid, SIGTERM);
  return Wait();
}

int ServerProcess::Wait() {
  if (!m_bExited) waitpid(m_pid, &m_nStatus, 0);
  m_bExited = true;
  return WIFEXITED(m_nStatus) ? WEXITSTATUS(m_nStatus) : 128 + WTERMSIG(m_nStatus);
}

std::string ServerProcess::Stderr() {
  std::string text;
  char aBuf[4096];
  for (ssize_t n; (n = ReadSome(m_nErr, aBuf, sizeof aBuf)) > 0;) text.append(aBuf, size_t(n));
  return text;
}

ssize_t ServerProcess::ReadSome(int fd, char* buffer, size_t length) {
  pollfd poller{fd, POLLIN, 0};
  return poll(&poller, 1, kReadTimeoutMillis) == 1 ? read(fd, buffer, length) : -1;
}
