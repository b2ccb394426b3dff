#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "platform/prompter.h"

class COpenProject;
class CUrlTable;

// `pagoric preview`: builds a project, compiles its generated files together
// with the host web server using the system's C compiler in a scratch folder,
// and serves the pages on 127.0.0.1 until the server is stopped, so that a
// developer sees the firmware's pages in a desktop browser before flashing.

// A file carried inside the program: its name and its bytes.
struct CEmbeddedFile {
  const char* name;
  std::string_view bytes;
};

// The host web server's sources, hserver.c and its interface header
// hservapi.h, built into the program (by a source generated at build time) so
// that an installed pagoric previews without any file beside it.
const std::vector<CEmbeddedFile>& HostServerSources();

// The generated files of a project: its URL file, its binary data file and the
// page file of each page node, in node order and each once. They come from the
// project's settings and node list, so other C files that sit in the target
// directory are never compiled.
struct CPreviewFiles {
  std::string m_strUrlFile;
  std::string m_strBinFile;
  std::vector<std::string> m_pageFiles;
};
CPreviewFiles PreviewFilesOf(const COpenProject& project);

// One run of the compiler: the file it compiles (empty for the link) and its
// arguments, the compiler first.
struct CCompileStep {
  std::string m_strFile;
  std::vector<std::string> m_args;
};

// The compiler runs of a preview whose scratch folder holds the host server's
// sources: hserver.c, the URL file, the binary data file and every page file,
// each into its own object file so that a failure names its file, then the link
// of scratch/preview. Page files include no header and get the interface header
// as a forced include, as firmware builds give it to them; char is unsigned, as
// on the ARM targets the firmware is built for. A compiler named cl (or
// clang-cl) gets the same in Microsoft's flags (/FI, /J, /Fo).
std::vector<CCompileStep> PreviewCompileSteps(const std::string& compiler,
                                              const CPreviewFiles& files,
                                              const std::string& scratch);

// The URL a browser should open first: "/" when the table has a home page
// entry, else "/index.htm", else "/index.html" when the table has it, else the
// first page entry (html flag set) that is no form handler, else "/".
std::string PreviewHomeUrl(const CUrlTable& table);

// Runs a program (args[0], looked up in PATH) and waits for it; its standard
// output and standard error together land in output. Returns its exit status,
// 128 + the signal number when a signal ended it, or 127 when it could not be
// started (output then says why).
int RunProgram(const std::vector<std::string>& args, std::string& output);

// The host web server compiled with a project's generated files, in a
// scratch folder of its own that goes with the object. The preview command
// serves it until it is stopped; the desktop program starts it beside its
// window.
class CPreviewProgram {
 public:
  enum Result { kCompiled, kStopped, kNoCompiler, kFailed };

  CPreviewProgram();
  ~CPreviewProgram();
  CPreviewProgram(const CPreviewProgram&) = delete;
  CPreviewProgram& operator=(const CPreviewProgram&) = delete;

  // Writes the host server's sources into the scratch folder and compiles
  // them with the generated files of the built project (PreviewCompileSteps);
  // the compiler's warnings go to warnings. stopRequested, asked before and
  // after each compiler run, ends it early (kStopped). kNoCompiler when the
  // compiler cannot be run, kFailed otherwise; error then says why, one or
  // more lines ending in "\n", and names the file that did not compile.
  Result Compile(const COpenProject& project, const std::string& compiler, std::string& error,
                 std::ostream& warnings, const std::function<bool()>& stopRequested = nullptr);
  // The compiled server, and the page a browser should open first
  // (PreviewHomeUrl of the compiled URL file).
  std::string Program() const;
  std::string HomeUrl(Prompter& prompter) const;

 private:
  std::string m_strScratch;
  CPreviewFiles m_files;
};

// The server's options after its name: "--port" port unless port is empty,
// "--home" home unless home is "/".
std::vector<std::string> PreviewServerOptions(const std::string& port, const std::string& home);

// The address ("http://127.0.0.1:PORT", no trailing "/") a server announced
// on the first line of its output, or "" when the line is no announcement.
std::string PreviewAddress(const std::string& firstLine);

// What the preview command was asked for.
struct CPreviewRequest {
  std::string m_strProject;   // the project file as given on the command line
  std::string m_strPort;      // --port; empty for the server's default, "0" for any free port
  std::string m_strCompiler;  // --cc; empty for DefaultCCompiler() ("cc" on POSIX)
};

// The preview command. build is the build command on the same arguments (so a
// preview builds exactly as `pagoric build` does) and gives its exit status.
// Prints the compiler's message and the file's name when a file does not
// compile, else the server's address and the page to open, then forwards the
// server's output until it stops (Ctrl+C or SIGTERM, which are passed on to
// it). The scratch folder is removed at the end. Exit status as RunPagoric.
int RunPreview(const CPreviewRequest& request, const std::function<int()>& build, std::ostream& out,
               std::ostream& err, Prompter& prompter);
