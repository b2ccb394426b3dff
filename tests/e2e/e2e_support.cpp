#include "tests/e2e/e2e_support.h"

#include <algorithm>
#include <cstdlib>
#include <random>

#include "build/open_project.h"
#include "document/generated_files.h"
#include "generator/url_table.h"
#include "platform/file_util.h"
#include "platform/text_format.h"
#include "project/page_node.h"
#include "testing/http_client.h"
#include "testing/scripted_prompter.h"

std::string PagoricProgram() {
  // Another build of the program may be put to the same tests (an earlier
  // version, to take the fingerprints of its output).
  const char* other = std::getenv("PAGORIC_E2E_PROGRAM");
  return other != nullptr && *other != '\0' ? other : PAGORIC_PROGRAM;
}
std::string HostServerDir() { return PAGORIC_HOSTSERVER_DIR; }
std::string DemoSite() { return PAGORIC_DEMO_SITE; }
std::string OutputDir() { return PAGORIC_E2E_OUTPUT_DIR; }

bool HaveTool(const std::string& program) {
  std::string output;
  return RunProgram({"sh", "-c", "command -v \"$0\"", program}, output) == 0;
}

bool RunOk(const std::vector<std::string>& args) {
  std::string output;
  const int status = RunProgram(args, output);
  std::string line;
  for (const std::string& arg : args) line += (line.empty() ? "" : " ") + arg;
  EXPECT_EQ(0, status) << line << "\n" << output;
  return status == 0;
}

void WriteNastySite(const TempDir& dir, const std::string& folder) {
  auto write = [&](const std::string& name, const std::string& bytes) {
    dir.Write(folder + "/" + name, bytes);
  };
  std::string dense, denseHigh;
  while (dense.size() < 5000) dense += "\"\\\"?\?/q\"\"";
  while (denseHigh.size() < 5000) denseHigh += "\xe4\"\xff?\?=\"\\";
  write("index.htm",
        "<html><head><title>N\"a\\sty</title></head>\r\n"
        "<body onload=\"go('x')\">quotes \"a\" \"\" and \\ back\\\\slashes \\n \\\"\n"
        "\ttabbed\t\tline\t\n"
        "lone\rcarriage\rreturns\r\r\n"
        "trigraphs ?\?/ ?\?= ?\?( ?\?) ?\?' ?\?< ?\?! ?\?> ?\?- ?\?\?/ ?\? end ?\n"
        "bytes above 127: \xe4\xf6\xfc \xff\x80 \xc3\xa9 \x9f\n"
        "<p>Now: _NZZA_Clock ok, twice _NZZA_Clock<br>\n"
        "<input name=\"v\" value=\"_NZZA_Value\"> <b>_NZZA_Bold</b>,_NZZA_Comma,\n"
        "\t_NZZA_Tabbed\tand at the end: _NZZA_Tail\n" +
            dense + "\n" + denseHigh + "\r\n" + std::string(5000, '"') +
            "\n<p>no final line end \\");
  write("my page.htm", "<p>A page whose URL holds a blank: \"my page\"</p>\n");
  write("notes.txt",
        "Plain\ttext\twith tabs, \\ and \"quotes\"\r\n" + std::string(1500, 'x') + "\n");
  write("empty.htm", "");
  write("forms/order.htm",
        "<form method=\"post\" action=\"order\">\n"
        "<input name=\"qty\" value=\"_NZZA_Qty\">\n"
        "</form>\n"
        "<FORM METHOD=GET ACTION=lookup><input name=\"q\"></FORM>\n");

  std::mt19937 random(20240501);
  auto bytes = [&](size_t size) {
    std::string data(size, '\0');
    for (char& c : data) c = static_cast<char>(random() & 0xff);
    return data;
  };
  write("bin/zero.gif", "");
  write("bin/one.png", "\xff");
  write("bin/twenty.jpg", bytes(20));
  write("bin/twentyone.wav", bytes(21));
  write("bin/my pic.gif", "GIF89a\"\\?\?/\x80");
  write("bin/clip.au", bytes(100));
  write("bin/scan.tif", bytes(40));
  write("bin/big.bin", bytes(3 * 1000 * 1000 + 7));
}

std::vector<std::string> StrictFlags(const std::string& compiler, CFileKind kind,
                                     const std::string& standard) {
  const bool clang = compiler.find("clang") != std::string::npos;
  // char is unsigned on the ARM targets the firmware is built for, and the
  // byte arrays of the binary data hold values above 127.
  std::vector<std::string> flags = {
      "-std=" + standard, "-pedantic",           "-Wall", "-Wextra", "-Werror",
      "-funsigned-char",  "-I" + HostServerDir()};
  // A binary written as one string literal is longer than the 4095
  // characters ISO C asks compilers to support; gcc and clang take any length.
  if (kind == CFileKind::kBinFile) flags.push_back("-Wno-overlength-strings");
  if (kind == CFileKind::kPageFile) {
    // Page files include no header: firmware builds force the interface in.
    flags.insert(flags.end(), {"-include", HostServerDir() + "/hservapi.h"});
    // Empty send functions and untouched stubs do not use their handle.
    flags.push_back("-Wno-unused-parameter");
    // Page bytes above 127 are copied raw into string literals.
    if (clang) flags.push_back("-Wno-invalid-source-encoding");
  }
  return flags;
}

TestProject::TestProject(const std::string& site) : m_strProject(m_dir.File("p.web")) {
  const std::string pagoric = PagoricProgram();
  m_bOk = RunOk({pagoric, "new", m_strProject, "--target", TargetDir()}) &&
          RunOk({pagoric, "import", m_strProject, site}) && Build();
}

bool TestProject::Build() {
  return RunOk({PagoricProgram(), "build", m_strProject, "--all", "--yes"});
}

CPreviewFiles TestProject::Files() const {
  ScriptedPrompter prompter;
  COpenProject project(prompter, nullptr);
  EXPECT_TRUE(project.OpenExisting(m_strProject));
  return PreviewFilesOf(project);
}

int TestProject::FillStubs() {
  // An untouched stub: its name, the handle parameter, and the comment that
  // invites the user's code as the only line between its braces.
  const std::string stub = "(unsigned long handle)\r\n{\r\n    /* add your implementation here: */";
  int filled = 0;
  for (const std::string& page : Files().m_pageFiles) {
    std::string text = m_dir.Read(page);
    for (size_t at = text.find(stub); at != std::string::npos; at = text.find(stub, at + 1)) {
      const size_t start = text.rfind("void ", at) + 5;
      const std::string name = text.substr(start, at - start);
      std::string body;
      if (name.rfind("Post_", 0) == 0) {
        body = "    HSSend (handle, \"[" + name +
               ":\");\r\n    HSSend (handle, HSGetPostData (handle, 0));\r\n"
               "    HSSend (handle, \"]\");\r\n";
      } else {
        body = "    HSSend (handle, \"[" + name + "]\");\r\n";
      }
      text.insert(text.find("{\r\n", at) + 3, body);
      m_stubs[page].push_back(name);
      ++filled;
    }
    EXPECT_EQ(ReplaceResult::kOk, ReplaceFileAtomically(page, text)) << page;
  }
  return filled;
}

std::string TestProject::CompileServer(const std::string& compiler, const std::string& standard,
                                       CServerKind server) {
  const CPreviewFiles files = Files();
  std::vector<std::pair<std::string, CFileKind>> sources;
  std::vector<std::string> serverFlags;
  std::vector<std::string> libraries;
  switch (server) {
    case CServerKind::kHostServer:
      sources = {{HostServerDir() + "/hserver.c", CFileKind::kServer}};
      break;
    case CServerKind::kLibraryPosix:
      sources = {{HostServerDir() + "/hsserver.c", CFileKind::kServer},
                 {HostServerDir() + "/hs_socket.c", CFileKind::kServer},
                 {HostServerDir() + "/tests/posix_main.c", CFileKind::kServer}};
      break;
    case CServerKind::kLibraryLwip:
      sources = {{HostServerDir() + "/hsserver.c", CFileKind::kServer},
                 {HostServerDir() + "/hs_socket.c", CFileKind::kServer},
                 {HostServerDir() + "/tests/lwip_bridge.c", CFileKind::kServer}};
      serverFlags = {"-DHS_TRANSPORT_LWIP", std::string("-I") + kLwipIncludeDir};
      libraries = {"-llwip", "-lpthread"};
      break;
  }
  sources.push_back({files.m_strUrlFile, CFileKind::kUrlFile});
  sources.push_back({files.m_strBinFile, CFileKind::kBinFile});
  for (const std::string& page : files.m_pageFiles) sources.push_back({page, CFileKind::kPageFile});
  const std::string program = m_dir.File(compiler + "-server");
  std::vector<std::string> link = {compiler, "-o", program};
  for (size_t i = 0; i < sources.size(); ++i) {
    const std::string object = m_dir.File(compiler + "-" + std::to_string(i) + ".o");
    std::vector<std::string> args = {compiler};
    for (const std::string& flag : StrictFlags(compiler, sources[i].second, standard)) {
      args.push_back(flag);
    }
    if (sources[i].second == CFileKind::kServer) {
      args.insert(args.end(), serverFlags.begin(), serverFlags.end());
    }
    args.insert(args.end(), {"-c", sources[i].first, "-o", object});
    if (!RunOk(args)) {
      ADD_FAILURE() << sources[i].first << " does not compile with " << compiler;
      return "";
    }
    link.push_back(object);
  }
  link.insert(link.end(), libraries.begin(), libraries.end());
  return RunOk(link) ? program : "";
}

int TestProject::ExpectServesItsSources(int port, const std::string& authorization) const {
  ScriptedPrompter prompter;
  COpenProject project(prompter, nullptr);
  EXPECT_TRUE(project.OpenExisting(m_strProject));
  const CUrlTable table(prompter, project.m_directFiles,
                        project.m_settings.m_strTargetDir + project.m_settings.m_strUrlFile);
  std::map<std::string, const CPageNode*> nodes;  // by URL as the table stores it
  for (const auto& node : project.m_tree.m_nodes) {
    if (node->GetFolder()) continue;
    std::string url = node->GetUrl();
    EncodeSpaces(url);
    nodes[url] = node.get();
  }
  int checked = 0;
  size_t nodesSeen = 0;
  for (int i = 0; i < table.GetEntryCount(); ++i) {
    const std::string url = table.GetEntryField(i, 0);
    const std::string function = table.GetEntryField(i, 2);
    const std::string type = ContentTypeOf(table.GetEntryField(i, 3), url);
    SCOPED_TRACE("URL " + url);
    EXPECT_NE("", type) << table.GetEntryField(i, 3);
    HttpReply reply;
    std::string expected;
    if (function.rfind("Post_", 0) == 0) {
      const std::string data = "qty=3&note=%22\xe4%22&x=\\";
      reply = Request(port, "POST", url,
                      "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                          std::to_string(data.size()) + "\r\n" + authorization,
                      data);
      expected = "[" + function + ":" + data + "]";
    } else {
      auto it = nodes.find(url);
      if (it == nodes.end()) {
        ADD_FAILURE() << "the table's URL belongs to no node of the project";
        continue;
      }
      ++nodesSeen;
      const CPageNode& node = *it->second;
      if (node.IsPage()) {
        auto stubs = m_stubs.find(node.GetOutputFile());
        expected =
            WithMarkersReplaced(TextModeRead(node.GetPath()),
                                stubs == m_stubs.end() ? std::vector<std::string>() : stubs->second,
                                [](const std::string& function) { return "[" + function + "]"; });
      } else {
        EXPECT_TRUE(ReadWholeFile(node.GetPath(), expected)) << node.GetPath();
      }
      reply = Request(port, "GET", url, authorization);
    }
    EXPECT_EQ("HTTP/1.1 200 OK", reply.statusLine);
    EXPECT_EQ(type, reply.headers["Content-Type"]);
    EXPECT_TRUE(SameBytes(expected, reply.body));
    ++checked;
  }
  EXPECT_EQ(nodes.size(), nodesSeen) << "every file of the project has its URL in the table";
  return checked;
}

std::string TextModeRead(const std::string& path) {
  std::string bytes;
  EXPECT_TRUE(ReadWholeFile(path, bytes)) << path;
  return CrLfToLf(bytes);
}

std::string WithMarkersReplaced(std::string text, std::vector<std::string> functions,
                                const std::function<std::string(const std::string&)>& replacement) {
  // A marker's name runs to a blank, tab, "<", ",", ">", a quote, a backslash
  // or the line end; longer names first, so that no name eats another's marker.
  const std::string ends = " \t<,>\"\\\n";
  std::sort(functions.begin(), functions.end(),
            [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  for (const std::string& function : functions) {
    if (function.rfind("na_", 0) != 0) continue;
    const std::string marker = "_NZZA_" + function.substr(3);
    for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at)) {
      const size_t after = at + marker.size();
      if (after < text.size() && ends.find(text[after]) == std::string::npos) {
        at = after;
        continue;
      }
      const std::string with = replacement(function);
      text.replace(at, marker.size(), with);
      at += with.size();
    }
  }
  return text;
}

::testing::AssertionResult SameBytes(const std::string& expected, const std::string& actual) {
  if (expected == actual) return ::testing::AssertionSuccess();
  size_t at = 0;
  while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
  auto around = [&](const std::string& text) {
    const size_t from = at < 20 ? 0 : at - 20;
    return ::testing::PrintToString(text.substr(from, 60));
  };
  return ::testing::AssertionFailure()
         << "bodies differ from byte " << at << " (expected " << expected.size() << " bytes, got "
         << actual.size() << ")\n  expected: ..." << around(expected) << "\n  actual:   ..."
         << around(actual);
}
