// Processes on Windows: CreateProcessW with a pipe, children in a job object
// that kills them when this process ends, console control handlers.
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "platform/path.h"
#include "platform/process.h"
#include "platform/windows/wide_path.h"

using platform_detail::ErrnoFromWin32;
using platform_detail::Narrow;
using platform_detail::Widen;

namespace {

std::atomic<int> g_nStopRequested{0};
std::atomic<CChildProcess*> g_pForward{nullptr};

BOOL WINAPI NoteStop(DWORD) {
  // The console gives Ctrl+C to every process attached to it, the child
  // included: it stops by itself, and so this process waits for it.
  g_nStopRequested.store(1);
  return TRUE;
}

// The job object every child joins: closed when this process ends, however it
// ends, and then its processes are killed.
HANDLE ChildJob() {
  static const HANDLE job = [] {
    const HANDLE made = ::CreateJobObjectW(nullptr, nullptr);
    if (made != nullptr) {
      JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
      limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
      ::SetInformationJobObject(made, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
    return made;
  }();
  return job;
}

// One argument as the C runtime's command-line parser reads it back.
std::wstring QuoteArgument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring quoted = L"\"";
  for (size_t i = 0;; ++i) {
    size_t backslashes = 0;
    while (i < arg.size() && arg[i] == L'\\') {
      ++i;
      ++backslashes;
    }
    if (i == arg.size()) {
      quoted.append(backslashes * 2, L'\\');
      break;
    }
    quoted.append(arg[i] == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    quoted.push_back(arg[i]);
  }
  quoted.push_back(L'"');
  return quoted;
}

// The program file to run: a name without a folder is looked up in PATH, and
// ".exe" is tried after the name as given. Empty when there is none.
std::wstring FindProgram(const std::string& program) {
  const std::wstring wide = Widen(program);
  wchar_t found[MAX_PATH * 4];
  if (FindLastSeparator(program) == std::string::npos) {
    const DWORD length =
        ::SearchPathW(nullptr, wide.c_str(), L".exe", MAX_PATH * 4, found, nullptr);
    return length > 0 && length < MAX_PATH * 4 ? std::wstring(found, length) : std::wstring();
  }
  for (const std::wstring& candidate : {wide, wide + L".exe"}) {
    const DWORD attributes = ::GetFileAttributesW(candidate.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      return candidate;
    }
  }
  return std::wstring();
}

// An inheritable copy of one of our standard handles, or null.
HANDLE InheritableCopy(DWORD which) {
  const HANDLE handle = ::GetStdHandle(which);
  HANDLE copy = nullptr;
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
      !::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), &copy, 0, TRUE,
                         DUPLICATE_SAME_ACCESS)) {
    return nullptr;
  }
  return copy;
}

}  // namespace

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr || count != argc) {
    if (wide != nullptr) ::LocalFree(wide);
    return std::vector<std::string>(argv + 1, argv + argc);
  }
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) args.push_back(Narrow(wide[i]));
  ::LocalFree(wide);
  return args;
}

bool StandardErrorIsTerminal() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

std::string DefaultCCompiler() {
  const char* cc = std::getenv("CC");
  if (cc != nullptr && *cc != '\0') return cc;
  for (const char* compiler : {"gcc", "clang", "cl"}) {
    if (!FindProgram(compiler).empty()) return compiler;
  }
  return "gcc";
}

std::string ExecutableName(const std::string& baseName) { return baseName + ".exe"; }

std::vector<std::string> HostServerLinkLibraries() { return {"-lws2_32"}; }

void EndWithParentInChild() {}

void EndWithParent(std::int64_t pid) {
  const HANDLE process =
      ::OpenProcess(PROCESS_SET_QUOTA | PROCESS_TERMINATE, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) return;
  if (ChildJob() != nullptr) ::AssignProcessToJobObject(ChildJob(), process);
  ::CloseHandle(process);
}

CChildProcess::~CChildProcess() {
  if (m_nPid > 0) {
    ::TerminateProcess(reinterpret_cast<HANDLE>(m_nProcess), 1);
    Wait();
  }
  if (m_nOutput != -1) ::CloseHandle(reinterpret_cast<HANDLE>(m_nOutput));
}

bool CChildProcess::Start(const std::string& program, const std::vector<std::string>& args,
                          bool mergeErrors) {
  const std::wstring file = FindProgram(program);
  if (file.empty()) {
    errno = ENOENT;
    return false;
  }
  std::wstring commandLine;
  for (const std::string& arg : args) {
    if (!commandLine.empty()) commandLine += L' ';
    commandLine += QuoteArgument(Widen(arg));
  }
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
    errno = ErrnoFromWin32(::GetLastError());
    return false;
  }
  ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  const HANDLE input = InheritableCopy(STD_INPUT_HANDLE);
  const HANDLE errors = mergeErrors ? nullptr : InheritableCopy(STD_ERROR_HANDLE);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = writeEnd;
  startup.hStdError = mergeErrors ? writeEnd : errors;
  PROCESS_INFORMATION started{};
  // Suspended until it is in the job, so not even its first instructions run
  // unbound to us.
  const BOOL ok = ::CreateProcessW(file.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                   CREATE_SUSPENDED, nullptr, nullptr, &startup, &started);
  const DWORD error = ::GetLastError();
  ::CloseHandle(writeEnd);
  if (input != nullptr) ::CloseHandle(input);
  if (errors != nullptr) ::CloseHandle(errors);
  if (!ok) {
    ::CloseHandle(readEnd);
    errno = ErrnoFromWin32(error);
    return false;
  }
  if (ChildJob() != nullptr) ::AssignProcessToJobObject(ChildJob(), started.hProcess);
  ::ResumeThread(started.hThread);
  ::CloseHandle(started.hThread);
  m_nPid = static_cast<std::int64_t>(started.dwProcessId);
  m_nProcess = reinterpret_cast<std::intptr_t>(started.hProcess);
  m_nOutput = reinterpret_cast<std::intptr_t>(readEnd);
  return true;
}

std::int64_t CChildProcess::Read(char* buffer, std::size_t size) {
  if (m_nOutput == -1) return 0;
  DWORD got = 0;
  if (!::ReadFile(reinterpret_cast<HANDLE>(m_nOutput), buffer, static_cast<DWORD>(size), &got,
                  nullptr)) {
    return ::GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
  }
  return static_cast<std::int64_t>(got);
}

int CChildProcess::Wait() {
  if (m_nOutput != -1) ::CloseHandle(reinterpret_cast<HANDLE>(m_nOutput));
  m_nOutput = -1;
  if (m_nPid <= 0) return 127;
  const HANDLE process = reinterpret_cast<HANDLE>(m_nProcess);
  m_nPid = 0;
  m_nProcess = 0;
  DWORD status = 127;
  if (::WaitForSingleObject(process, INFINITE) != WAIT_OBJECT_0 ||
      !::GetExitCodeProcess(process, &status)) {
    status = 127;
  }
  ::CloseHandle(process);
  return static_cast<int>(status);
}

void CChildProcess::Stop() {
  if (m_nPid > 0) ::TerminateProcess(reinterpret_cast<HANDLE>(m_nProcess), 1);
}

CStopRequests::CStopRequests() {
  g_nStopRequested.store(0);
  ::SetConsoleCtrlHandler(NoteStop, TRUE);
}

CStopRequests::~CStopRequests() {
  g_pForward.store(nullptr);
  ::SetConsoleCtrlHandler(NoteStop, FALSE);
}

bool CStopRequests::Requested() { return g_nStopRequested.load() != 0; }

void CStopRequests::ForwardTo(CChildProcess* child) {
  g_pForward.store(child);
  if (child != nullptr && g_nStopRequested.load() != 0) child->Stop();
}
