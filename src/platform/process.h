#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Processes: the program's own arguments and terminal, the child processes of
// a preview (the C compiler, the preview server) and the stop requests
// (Ctrl+C) that a preview passes on to them. One implementation per system
// stands behind these declarations.

// The program's arguments after its name, UTF-8 on every system (Windows
// gives main() the ANSI code page; the wide command line is read instead).
std::vector<std::string> ProgramArguments(int argc, char** argv);

// True when the standard error output is a terminal.
bool StandardErrorIsTerminal();

// The C compiler a preview uses when none is given: "cc" on POSIX; on
// Windows $CC, else the first of gcc, clang and cl found in PATH ("gcc" when
// none is).
std::string DefaultCCompiler();

// The name a linked program gets from its base name ("preview.exe" on
// Windows).
std::string ExecutableName(const std::string& baseName);

// What a program built from the host web server's sources links besides its
// objects with a compiler of the gcc family (Winsock on Windows).
std::vector<std::string> HostServerLinkLibraries();

// A child process whose standard output (and, with mergeErrors, its error
// output) this process reads through a pipe; its standard input and error
// output are otherwise ours. The child ends with this process, however this
// one ends (a kill -9 included): PR_SET_PDEATHSIG on Linux, a job object that
// kills its processes when it closes on Windows.
class CChildProcess {
 public:
  CChildProcess() = default;
  // A child still running is stopped and waited for.
  ~CChildProcess();
  CChildProcess(const CChildProcess&) = delete;
  CChildProcess& operator=(const CChildProcess&) = delete;

  // Starts program (looked up in PATH unless it names a folder) with args as
  // its arguments, args[0] the name it runs under. False (errno set) when it
  // cannot be started; a program that cannot be run may also start and exit
  // with 127 after saying "cannot run PROGRAM: REASON" on its error output.
  bool Start(const std::string& program, const std::vector<std::string>& args, bool mergeErrors);
  // Reads its output: bytes read, 0 at the end, -1 on an error.
  std::int64_t Read(char* buffer, std::size_t size);
  // Waits for it to end (closing our end of its output first): its exit
  // status, 128 + the signal number when a signal ended it, 127 when it
  // cannot be waited for.
  int Wait();
  // Asks it to stop (SIGTERM; on Windows it is ended with exit status 1).
  void Stop();
  bool IsRunning() const { return m_nPid > 0; }
  // Its process id while it runs, else 0.
  std::int64_t ProcessId() const { return m_nPid; }

 private:
  std::int64_t m_nPid = 0;
  std::intptr_t m_nProcess = 0;  // the process handle on Windows, the process id on POSIX
  std::intptr_t m_nOutput = -1;  // the reading end of the pipe
};

// While an object lives, Ctrl+C (SIGINT, SIGTERM and SIGHUP on POSIX, the
// console's Ctrl+C, Ctrl+Break and close on Windows) does not end this
// process: the request is noted and passed on to the child set with ForwardTo
// (on Windows the console gives it to the child itself), and a closed standard
// output is ignored. The former handling comes back when the object goes.
class CStopRequests {
 public:
  CStopRequests();
  ~CStopRequests();
  CStopRequests(const CStopRequests&) = delete;
  CStopRequests& operator=(const CStopRequests&) = delete;

  // True once a stop was requested while an object lived.
  static bool Requested();
  // The child that a stop request is passed on to (nullptr: none). A request
  // that came before is passed on at once.
  static void ForwardTo(CChildProcess* child);
};

// For a child process made by a framework (QProcess): run in the child
// between fork and exec, it makes the child end with its parent where the
// system offers that (Linux); elsewhere it does nothing.
void EndWithParentInChild();
// Ties a started child to this process: on Windows it joins the job object
// that ends it with this process; elsewhere EndWithParentInChild did the work.
void EndWithParent(std::int64_t pid);
