// Times loading and saving a large generated-style file through the line
// document: prints the seconds each step takes.
#include <chrono>
#include <cstdio>
#include <string>

#include "document/srv_doc.h"
#include "platform/file_util.h"

namespace {
class SilentPrompter : public Prompter {
 public:
  void ShowOk(const std::string&) override {}
  bool AskYesNo(const std::string&) override { return false; }
  bool AskOkCancel(const std::string&) override { return true; }
  void ShowStop(const std::string&) override {}
};

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}
}  // namespace

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : "/tmp/pagoric-bench-document.c";
  const int lines = 1000000;
  std::string text;
  text.reserve(52u << 20);
  for (int i = 0; i < lines; ++i) {
    text += "    0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc, 0xde, 0xf0, ";
    text += std::to_string(i);
    text += "\r\n";
  }
  ReplaceFileAtomically(path, text);
  SilentPrompter prompter;
  CCSrvDoc doc(prompter);
  auto start = std::chrono::steady_clock::now();
  doc.LoadFile(path);
  const double load = Seconds(start);
  start = std::chrono::steady_clock::now();
  doc.SaveFile(path + ".out");
  const double save = Seconds(start);
  std::printf("file: %.1f MB, %d lines\nload: %.3f s\nsave: %.3f s\n",
              static_cast<double>(text.size()) / 1e6, doc.GetLineCount(), load, save);
  std::remove((path + ".out").c_str());
  std::remove(path.c_str());
  return 0;
}
