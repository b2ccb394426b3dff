// Processes on POSIX systems: fork and exec with a pipe, signals.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <array>
#include <cerrno>
#include <cstring>

#include "platform/process.h"

namespace {

// The child's process id while a stop request is to be passed on to it, and
// whether a stop was requested.
volatile sig_atomic_t g_nForwardPid = 0;
volatile sig_atomic_t g_bStopRequested = 0;

void PassSignalOn(int signal) {
  g_bStopRequested = 1;
  if (g_nForwardPid > 0) ::kill(static_cast<pid_t>(g_nForwardPid), signal);
}

constexpr std::array<int, 3> kStopSignals = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_oldStop[3] = {};
struct sigaction g_oldPipe = {};

std::vector<char*> ArgvOf(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  return argv;
}

}  // namespace

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) != 0; }

std::string DefaultCCompiler() { return "cc"; }

std::string ExecutableName(const std::string& baseName) { return baseName; }

std::vector<std::string> HostServerLinkLibraries() { return {}; }

void EndWithParentInChild() {
#ifdef __linux__
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
}

void EndWithParent(std::int64_t) {}

CChildProcess::~CChildProcess() {
  if (m_nPid > 0) {
    ::kill(static_cast<pid_t>(m_nPid), SIGKILL);
    Wait();
  }
  if (m_nOutput >= 0) ::close(static_cast<int>(m_nOutput));
}

bool CChildProcess::Start(const std::string& program, const std::vector<std::string>& args,
                          bool mergeErrors) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return false;
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    // The child goes with us, however we end (kill -9 included); a parent
    // gone before this line leaves the child orphaned.
    EndWithParentInChild();
    if (::getppid() != parent) ::_exit(127);
    ::dup2(pipeFds[1], STDOUT_FILENO);
    if (mergeErrors) ::dup2(pipeFds[1], STDERR_FILENO);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    std::vector<char*> argv = ArgvOf(args);
    ::execvp(program.c_str(), argv.data());
    const std::string message = "cannot run " + program + ": " + std::strerror(errno) + "\n";
    ssize_t written = ::write(STDERR_FILENO, message.data(), message.size());
    (void)written;
    ::_exit(127);
  }
  const int error = errno;
  ::close(pipeFds[1]);
  if (pid < 0) {
    ::close(pipeFds[0]);
    errno = error;
    return false;
  }
  m_nPid = pid;
  m_nProcess = pid;  // no handle on POSIX: the process id names it
  m_nOutput = pipeFds[0];
  return true;
}

std::int64_t CChildProcess::Read(char* buffer, std::size_t size) {
  if (m_nOutput < 0) return 0;
  ssize_t n;
  do {
    n = ::read(static_cast<int>(m_nOutput), buffer, size);
  } while (n < 0 && errno == EINTR);
  return static_cast<std::int64_t>(n);
}

int CChildProcess::Wait() {
  if (m_nOutput >= 0) ::close(static_cast<int>(m_nOutput));
  m_nOutput = -1;
  if (m_nPid <= 0) return 127;
  const pid_t pid = static_cast<pid_t>(m_nProcess);
  m_nPid = 0;
  m_nProcess = 0;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return 127;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void CChildProcess::Stop() {
  if (m_nPid > 0) ::kill(static_cast<pid_t>(m_nPid), SIGTERM);
}

CStopRequests::CStopRequests() {
  g_bStopRequested = 0;
  struct sigaction forward {};
  forward.sa_handler = PassSignalOn;
  sigemptyset(&forward.sa_mask);
  for (size_t i = 0; i < kStopSignals.size(); ++i) {
    sigaction(kStopSignals[i], &forward, &g_oldStop[i]);
  }
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, &g_oldPipe);
}

CStopRequests::~CStopRequests() {
  g_nForwardPid = 0;
  for (size_t i = 0; i < kStopSignals.size(); ++i) {
    sigaction(kStopSignals[i], &g_oldStop[i], nullptr);
  }
  sigaction(SIGPIPE, &g_oldPipe, nullptr);
}

bool CStopRequests::Requested() { return g_bStopRequested != 0; }

void CStopRequests::ForwardTo(CChildProcess* child) {
  if (child == nullptr || !child->IsRunning()) {
    g_nForwardPid = 0;
    return;
  }
  g_nForwardPid = static_cast<sig_atomic_t>(child->ProcessId());
  if (g_bStopRequested) child->Stop();
}
