#include "cli/preview.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ostream>

#include "build/open_project.h"
#include "cli/cli.h"
#include "document/generated_files.h"
#include "generator/url_table.h"
#include "platform/ascii.h"
#include "platform/file_util.h"
#include "platform/process.h"
#include "project/page_node.h"

namespace {

constexpr const char* kAnnouncement = "Serving on http://127.0.0.1:";

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

// Starts the compiled server with its standard output on a pipe; false when it
// cannot be started. argv[0] is the command's name, which the server's own
// messages then carry.
bool StartServer(CChildProcess& server, const std::string& program, const std::string& port,
                 const std::string& home) {
  std::vector<std::string> args = {"pagoric preview"};
  const std::vector<std::string> options = PreviewServerOptions(port, home);
  args.insert(args.end(), options.begin(), options.end());
  return server.Start(program, args, false);
}

// Serves the compiled program until it stops; see RunPreview.
int Serve(const std::string& program, const CPreviewRequest& request, const std::string& home,
          std::ostream& out, std::ostream& err) {
  CChildProcess server;
  if (!StartServer(server, program, request.m_strPort, home)) {
    err << "pagoric preview: cannot start the server: " << std::strerror(errno) << "\n";
    return kExitFailed;
  }
  CStopRequests::ForwardTo(&server);
  // The server announces its address on the first line of its output; when it
  // cannot listen it says why on its standard error, which is ours.
  std::string head;
  bool announced = false;
  char buffer[4096];
  for (std::int64_t n; (n = server.Read(buffer, sizeof buffer)) > 0;) {
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
  CStopRequests::ForwardTo(nullptr);
  const int status = server.Wait();
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

namespace {

bool IsMsvcCompiler(const std::string& compiler) {
  std::string folder, name;
  SplitPath(compiler, folder, name, PathFlavor::kWindows);
  name = AsciiLowerCopy(name);
  if (name.ends_with(".exe")) name.resize(name.size() - 4);
  return name == "cl" || name == "clang-cl";
}

}  // namespace

std::vector<CCompileStep> PreviewCompileSteps(const std::string& compiler,
                                              const CPreviewFiles& files,
                                              const std::string& scratch) {
  const std::string folder = scratch + kPathSeparator;
  const bool msvc = IsMsvcCompiler(compiler);
  std::vector<CCompileStep> steps;
  std::vector<std::string> link = {compiler};
  if (msvc) link.push_back("/nologo");
  auto add = [&](const std::string& file, bool page) {
    const std::string object = folder + std::to_string(steps.size()) + (msvc ? ".obj" : ".o");
    CCompileStep step{file, {compiler}};
    if (msvc) {
      // /J: char is unsigned; /FI: the forced include.
      step.m_args.insert(step.m_args.end(), {"/nologo", "/c", "/J", "/I" + scratch});
      if (page) step.m_args.push_back("/FI" + folder + "hservapi.h");
      step.m_args.insert(step.m_args.end(), {file, "/Fo" + object});
    } else {
      step.m_args.insert(step.m_args.end(), {"-c", "-funsigned-char", "-I" + scratch});
      if (page) step.m_args.insert(step.m_args.end(), {"-include", folder + "hservapi.h"});
      step.m_args.insert(step.m_args.end(), {file, "-o", object});
    }
    steps.push_back(step);
    link.push_back(object);
  };
  add(folder + "hserver.c", false);
  add(files.m_strUrlFile, false);
  add(files.m_strBinFile, false);
  for (const std::string& page : files.m_pageFiles) add(page, true);
  if (msvc) {
    link.insert(link.end(), {"/Fe" + folder + "preview.exe", "ws2_32.lib"});
  } else {
    link.insert(link.end(), {"-o", folder + ExecutableName("preview")});
    const std::vector<std::string> libraries = HostServerLinkLibraries();
    link.insert(link.end(), libraries.begin(), libraries.end());
  }
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
  CChildProcess child;
  if (!child.Start(args[0], args, true)) {
    output = "cannot run " + args[0] + ": " + std::strerror(errno) + "\n";
    return 127;
  }
  char buffer[4096];
  for (std::int64_t n; (n = child.Read(buffer, sizeof buffer)) > 0;)
    output.append(buffer, static_cast<size_t>(n));
  return child.Wait();
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

  const std::string compiler =
      request.m_strCompiler.empty() ? DefaultCCompiler() : request.m_strCompiler;
  CStopRequests stopRequests;
  CPreviewProgram preview;
  std::string error;
  switch (
      preview.Compile(project, compiler, error, err, [] { return CStopRequests::Requested(); })) {
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

std::string CPreviewProgram::Program() const {
  return m_strScratch + kPathSeparator + ExecutableName("preview");
}

std::string CPreviewProgram::HomeUrl(Prompter& prompter) const {
  CDirectFiles generated;
  return PreviewHomeUrl(CUrlTable(prompter, generated, m_files.m_strUrlFile));
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
