#include "cli/preview.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ostream>

#include "build/open_project.h"
#include "cli/cli.h"
#include "generator/url_table.h"
#include "platform/file_util.h"
#include "project/page_node.h"

namespace {

constexpr const char* kAnnouncement = "Serving on http://127.0.0.1:";

// The server's process id while a preview waits for it, for the signal handler
// that passes Ctrl+C and SIGTERM on to it; and whether a stop signal came.
volatile sig_atomic_t g_nServerPid = 0;
volatile sig_atomic_t g_bStopRequested = 0;

void PassSignalOn(int signal) {
  g_bStopRequested = 1;
  if (g_nServerPid > 0) ::kill(static_cast<pid_t>(g_nServerPid), signal);
}

// While a preview compiles and serves, a stop signal is noted (the preview then
// ends after the running compiler, removing its scratch folder) and passed on
// to the server, and a closed standard output is ignored; the old dispositions
// come back when the object goes.
class CSignalForwarding {
 public:
  CSignalForwarding() {
    g_bStopRequested = 0;
    struct sigaction forward {};
    forward.sa_handler = PassSignalOn;
    sigemptyset(&forward.sa_mask);
    for (size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &forward, &m_old[i]);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &m_oldPipe);
  }
  ~CSignalForwarding() {
    g_nServerPid = 0;
    for (size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &m_old[i], nullptr);
    sigaction(SIGPIPE, &m_oldPipe, nullptr);
  }
  CSignalForwarding(const CSignalForwarding&) = delete;
  CSignalForwarding& operator=(const CSignalForwarding&) = delete;

 private:
  static constexpr std::array<int, 3> kSignals = {SIGINT, SIGTERM, SIGHUP};
  struct sigaction m_old[3] = {};
  struct sigaction m_oldPipe = {};
};

std::vector<char*> ArgvOf(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  return argv;
}

// Starts program (looked up in PATH unless it names a folder) with args as its
// argv, args[0] the name it runs under, its standard output - and its error
// output with mergeErrors - on a pipe whose reading end goes to outFd; -1
// (errno set) when it cannot be started. A program that cannot be run exits
// with 127 after saying so on its error output.
pid_t StartPiped(const std::string& program, const std::vector<std::string>& args, bool mergeErrors,
                 int& outFd) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return -1;
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    // The child goes with the preview, however the preview ends (kill -9
    // included); a preview gone before this line leaves the child orphaned.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
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
    return -1;
  }
  outFd = pipeFds[0];
  return pid;
}

// read() that goes on after an interrupting signal.
ssize_t ReadRetrying(int fd, char* buffer, size_t length) {
  ssize_t n;
  do {
    n = ::read(fd, buffer, length);
  } while (n < 0 && errno == EINTR);
  return n;
}

int ExitStatusOf(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return 127;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool WriteFile(const std::string& path, std::string_view bytes) {
  return ReplaceFileAtomically(path, bytes) == ReplaceResult::kOk;
}

// A --port value: empty, or a decimal number from 0 to 65535.
bool IsPortText(const std::string& text) {
  if (text.empty()) return true;
  if (text.size() > 5 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  return std::stoi(text) <= 65535;
}

// Starts the compiled server with its standard output on a pipe; -1 when it
// cannot be started. argv[0] is the command's name, which the server's own
// messages then carry.
pid_t StartServer(const std::string& program, const std::string& port, const std::string& home,
                  int& outFd) {
  std::vector<std::string> args = {"pagoric preview"};
  const std::vector<std::string> options = PreviewServerOptions(port, home);
  args.insert(args.end(), options.begin(), options.end());
  return StartPiped(program, args, false, outFd);
}

// Serves the compiled program until it stops; see RunPreview.
int Serve(const std::string& program, const CPreviewRequest& request, const std::string& home,
          std::ostream& out, std::ostream& err) {
  int serverOut = -1;
  const pid_t pid = StartServer(program, request.m_strPort, home, serverOut);
  if (pid < 0) {
    err << "pagoric preview: cannot start the server: " << std::strerror(errno) << "\n";
    return kExitFailed;
  }
  g_nServerPid = pid;
  if (g_bStopRequested) ::kill(pid, SIGTERM);
  // The server announces its address on the first line of its output; when it
  // cannot listen it says why on its standard error, which is ours.
  std::string head;
  bool announced = false;
  char buffer[4096];
  for (ssize_t n; (n = ReadRetrying(serverOut, buffer, sizeof buffer)) > 0;) {
    if (announced) {
      out.write(buffer, n).flush();
      continue;
    }
    head.append(buffer, static_cast<size_t>(n));
    const size_t end = head.find('\n');
    if (end == std::string::npos) continue;
    announced = true;
    const std::string first = head.substr(0, end);
    out << first << "\n";
    const std::string address = PreviewAddress(first);
    if (!address.empty()) {
      out << "Open " << address << home << " in your browser; Ctrl+C stops the server.\n";
    }
    out << head.substr(end + 1) << std::flush;
  }
  ::close(serverOut);
  const int status = ExitStatusOf(pid);
  g_nServerPid = 0;
  if (!announced) {
    out << head << std::flush;
    err << "pagoric preview: the server did not start";
    if (request.m_strPort != "0")
      err << "; --port N serves on another port, --port 0 on any free one";
    err << "\n";
    return kExitFailed;
  }
  return status == 0 ? kExitOk : kExitFailed;
}

}  // namespace

CPreviewFiles PreviewFilesOf(const COpenProject& project) {
  CPreviewFiles files;
  const CProjectSettings& settings = project.m_settings;
  files.m_strUrlFile = settings.m_strTargetDir + settings.m_strUrlFile;
  files.m_strBinFile = settings.m_strTargetDir + settings.m_strBinFile;
  for (const auto& node : project.m_tree.m_nodes) {
    if (node->GetFolder() || !node->IsPage()) continue;
    const std::string& file = node->GetOutputFile();
    if (std::find(files.m_pageFiles.begin(), files.m_pageFiles.end(), file) ==
        files.m_pageFiles.end()) {
      files.m_pageFiles.push_back(file);
    }
  }
  return files;
}

std::vector<CCompileStep> PreviewCompileSteps(const std::string& compiler,
                                              const CPreviewFiles& files,
                                              const std::string& scratch) {
  const std::string folder = scratch + kPathSeparator;
  std::vector<CCompileStep> steps;
  std::vector<std::string> link = {compiler};
  auto add = [&](const std::string& file, bool page) {
    const std::string object = folder + std::to_string(steps.size()) + ".o";
    CCompileStep step{file, {compiler, "-c", "-funsigned-char", "-I" + scratch}};
    if (page) step.m_args.insert(step.m_args.end(), {"-include", folder + "hservapi.h"});
    step.m_args.insert(step.m_args.end(), {file, "-o", object});
    steps.push_back(step);
    link.push_back(object);
  };
  add(folder + "hserver.c", false);
  add(files.m_strUrlFile, false);
  add(files.m_strBinFile, false);
  for (const std::string& page : files.m_pageFiles) add(page, true);
  link.insert(link.end(), {"-o", folder + "preview"});
  steps.push_back({"", link});
  return steps;
}

std::string PreviewHomeUrl(const CUrlTable& table) {
  std::string firstPage;
  bool hasIndexHtm = false;
  bool hasIndexHtml = false;
  for (int i = 0; i < table.GetEntryCount(); ++i) {
    const std::string url = table.GetEntryField(i, 0);
    if (url == "/") return url;
    if (url == "/index.htm") hasIndexHtm = true;
    if (url == "/index.html") hasIndexHtml = true;
    // A form handler's URL answers a POST; opened by itself it shows nothing.
    const bool formHandler = table.GetEntryField(i, 2).rfind("Post_", 0) == 0;
    if (firstPage.empty() && table.GetEntryField(i, 1) == "yes" && !formHandler) firstPage = url;
  }
  if (hasIndexHtm) return "/index.htm";
  if (hasIndexHtml) return "/index.html";
  return firstPage.empty() ? "/" : firstPage;
}

int RunProgram(const std::vector<std::string>& args, std::string& output) {
  output.clear();
  if (args.empty()) return 127;
  int fd = -1;
  const pid_t pid = StartPiped(args[0], args, true, fd);
  if (pid < 0) {
    output = "cannot run " + args[0] + ": " + std::strerror(errno) + "\n";
    return 127;
  }
  char buffer[4096];
  for (ssize_t n; (n = ReadRetrying(fd, buffer, sizeof buffer)) > 0;)
    output.append(buffer, static_cast<size_t>(n));
  ::close(fd);
  return ExitStatusOf(pid);
}

int RunPreview(const CPreviewRequest& request, const std::function<int()>& build, std::ostream& out,
               std::ostream& err, Prompter& prompter) {
  if (!IsPortText(request.m_strPort)) {
    err << "pagoric preview: --port needs a number from 0 to 65535, not '" << request.m_strPort
        << "'\n";
    return kExitNotDone;
  }
  const int built = build();
  if (built != kExitOk) return built;

  COpenProject project(prompter, nullptr);
  if (!project.OpenExisting(AbsolutePath(request.m_strProject))) return kExitNotDone;

  const std::string compiler = request.m_strCompiler.empty() ? "cc" : request.m_strCompiler;
  CSignalForwarding forwarding;
  CPreviewProgram preview;
  std::string error;
  switch (preview.Compile(project, compiler, error, err, [] { return g_bStopRequested != 0; })) {
    case CPreviewProgram::kCompiled:
      break;
    case CPreviewProgram::kStopped:
      return kExitFailed;
    case CPreviewProgram::kNoCompiler:
      err << "pagoric preview: " << error << "Give --cc COMPILER to use another C compiler.\n";
      return kExitFailed;
    case CPreviewProgram::kFailed:
      err << "pagoric preview: " << error;
      return kExitFailed;
  }
  return Serve(preview.Program(), request, preview.HomeUrl(prompter), out, err);
}

CPreviewProgram::CPreviewProgram() : m_strScratch(MakeTempDirectory("pagoric-preview-")) {}

CPreviewProgram::~CPreviewProgram() {
  std::error_code ec;
  if (!m_strScratch.empty()) std::filesystem::remove_all(m_strScratch, ec);
}

CPreviewProgram::Result CPreviewProgram::Compile(const COpenProject& project,
                                                 const std::string& compiler, std::string& error,
                                                 std::ostream& warnings,
                                                 const std::function<bool()>& stopRequested) {
  error.clear();
  if (m_strScratch.empty()) {
    error = std::string("cannot create a scratch folder: ") + std::strerror(errno) + "\n";
    return kFailed;
  }
  for (const CEmbeddedFile& source : HostServerSources()) {
    const std::string path = m_strScratch + kPathSeparator + source.name;
    if (!WriteFile(path, source.bytes)) {
      error = "cannot write " + path + "\n";
      return kFailed;
    }
  }
  m_files = PreviewFilesOf(project);
  for (const CCompileStep& step : PreviewCompileSteps(compiler, m_files, m_strScratch)) {
    if (stopRequested && stopRequested()) return kStopped;
    std::string output;
    const int status = RunProgram(step.m_args, output);
    if (status != 0) {
      if (stopRequested && stopRequested()) return kStopped;
      if (status == 127 && output.rfind("cannot run " + compiler + ":", 0) == 0) {
        error = output;
        return kNoCompiler;
      }
      error = (step.m_strFile.empty() ? "cannot link the preview server:\n"
                                      : "cannot compile " + step.m_strFile + ":\n") +
              output;
      return kFailed;
    }
    warnings << output;
  }
  return kCompiled;
}

std::string CPreviewProgram::Program() const { return m_strScratch + kPathSeparator + "preview"; }

std::string CPreviewProgram::HomeUrl(Prompter& prompter) const {
  return PreviewHomeUrl(CUrlTable(prompter, m_files.m_strUrlFile));
}

std::vector<std::string> PreviewServerOptions(const std::string& port, const std::string& home) {
  std::vector<std::string> options;
  if (!port.empty()) options.insert(options.end(), {"--port", port});
  // Without a "/" entry, "/" answers with a pointer to the first page.
  if (home != "/") options.insert(options.end(), {"--home", home});
  return options;
}

std::string PreviewAddress(const std::string& firstLine) {
  if (firstLine.rfind(kAnnouncement, 0) != 0) return "";
  std::string address = firstLine.substr(std::strlen("Serving on "));
  while (!address.empty() && (address.back() == '/' || address.back() == '\r')) address.pop_back();
  return address;
}
