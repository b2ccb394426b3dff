#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// A web server run by a test as a child process: the host server built from
// generated files, or `pagoric preview`. Its standard output is read until it
// announces its address with "Serving on http://127.0.0.1:PORT/"; its standard
// error goes to the test's own unless captured.
class ServerProcess {
 public:
  // Starts program with args and waits (up to two minutes, as a preview
  // compiles first) for the announcement or the end of its output.
  ServerProcess(const std::string& program, const std::vector<std::string>& args,
                bool captureStderr);
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // The announced port; 0 when the program ended or spoke otherwise.
  int port() const { return m_nPort; }
  // The announcement line, or the last line read when there was none.
  const std::string& firstLine() const { return m_strFirstLine; }
  // Everything read from standard output so far.
  const std::string& output() const { return m_strOutput; }

  // The next line of standard output without its line end; empty at its end.
  std::string ReadLine();
  // Asks the program to stop (SIGTERM) unless it has ended, and returns its exit
  // status (128 + the signal number when a signal ended it).
  int Stop();
  // Waits for the program to end and returns its exit status.
  int Wait();
  // Captured standard error up to its end (call after Wait).
  std::string Stderr();

 private:
  static ssize_t ReadSome(int fd, char* buffer, size_t length);

  pid_t m_pid = -1;
  int m_nOut = -1, m_nErr = -1, m_nPort = 0, m_nStatus = 0;
  bool m_bExited = false;
  std::string m_strFirstLine;
  std::string m_strOutput;
};
