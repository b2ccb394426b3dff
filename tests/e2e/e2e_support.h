#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "cli/preview.h"
#include "testing/temp_dir.h"

// Shared pieces of the end-to-end tests: the real pagoric program makes and
// builds a project in a scratch folder, real C compilers compile what it
// generated together with the host web server, and the pages are fetched over
// loopback and compared with their sources.

// The pagoric program of this build, and folders of the source tree.
std::string PagoricProgram();
std::string HostServerDir();
std::string DemoSite();
// The test's output folder in the build tree (screenshots land here).
std::string OutputDir();

// True when the program can be found in PATH. Missing tools make a test skip
// with the reason; the CI setup script installs every one.
bool HaveTool(const std::string& program);

// Runs a program; a failure to run or a non-zero status becomes a test failure
// carrying the program's output. Returns whether it succeeded.
bool RunOk(const std::vector<std::string>& args);

// Writes a site that holds everything hard for the generated C: quotes,
// backslashes, tabs, lone CRs, trigraph sequences, bytes above 127, long lines
// dense with quotes, a URL with a blank, forms, dynamic markers, and binaries
// of 0, 1, 20, 21 bytes and about 3 MB.
void WriteNastySite(const TempDir& dir, const std::string& folder);

// The flags of a strict firmware-style compile with gcc or clang, for one kind
// of file, in one C standard ("c99", "c2x", ...). Only the warnings that the
// fixed generated text of page files raises are off.
enum class CFileKind { kServer, kUrlFile, kBinFile, kPageFile };
enum class CServerKind { kHostServer, kLibraryPosix, kLibraryLwip };
// Where Debian's liblwip-dev keeps lwIP's headers.
inline constexpr const char* kLwipIncludeDir = "/usr/include/lwip";
std::vector<std::string> StrictFlags(const std::string& compiler, CFileKind kind,
                                     const std::string& standard = "c99");

// A project made by the pagoric program from a site folder: p.web with its
// target directory gen/ in a scratch folder.
class TestProject {
 public:
  // pagoric new, import and build --all. Check ok() before going on.
  explicit TestProject(const std::string& site);

  bool ok() const { return m_bOk; }
  const TempDir& dir() const { return m_dir; }
  const std::string& projectFile() const { return m_strProject; }
  std::string TargetDir() const { return m_dir.File("gen"); }

  // pagoric build --all --yes; false (with a test failure) when it failed.
  bool Build();
  // The generated files, from the project's node list.
  CPreviewFiles Files() const;

  // Gives every empty form handler and dynamic function stub a body, as a
  // user would type it between its braces: a dynamic function "na_X" sends
  // "[na_X]", a form handler "Post_X" sends "[Post_X:" + its POST data + "]".
  // Returns the number of stubs filled.
  int FillStubs();
  // The names of the stubs FillStubs filled, per page file.
  const std::map<std::string, std::vector<std::string>>& filledStubs() const { return m_stubs; }

  // Compiles the generated files and the host server with compiler and the
  // strict flags of standard into one program; its path, or "" after a test
  // failure that names the file that did not compile.
  // server chooses the web server: the preview's host server, or the server
  // library a firmware links, on POSIX sockets or on lwIP (run in-process
  // behind a bridge that carries host connections through lwIP's TCP).
  std::string CompileServer(const std::string& compiler, const std::string& standard = "c99",
                            CServerKind server = CServerKind::kHostServer);

  // Fetches every URL of the URL table from a server on port and compares
  // the bodies with the sources (pages as a text-mode read gives them, with
  // each dynamic marker replaced by what its filled stub sends; binaries
  // exactly) and the Content-Type with the entry's type function. A form
  // handler's URL is posted to. Returns the number of URLs checked.
  // authorization, when given, is an Authorization header line sent with
  // every request (protected URLs then answer too).
  int ExpectServesItsSources(int port, const std::string& authorization = "") const;

 private:
  TempDir m_dir;
  std::string m_strProject;
  bool m_bOk = false;
  std::map<std::string, std::vector<std::string>> m_stubs;
};

// A source file as the page conversion reads it: in text mode, CR LF -> LF.
std::string TextModeRead(const std::string& path);
// A page's expected body: its text-mode source with each "_NZZA_" marker of the
// given dynamic functions ("na_X") replaced by replacement(name).
std::string WithMarkersReplaced(std::string text, std::vector<std::string> functions,
                                const std::function<std::string(const std::string&)>& replacement);
// Byte-for-byte equality that reports the first difference instead of
// printing whole (possibly megabyte) bodies.
::testing::AssertionResult SameBytes(const std::string& expected, const std::string& actual);
