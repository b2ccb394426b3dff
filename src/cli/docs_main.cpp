// Writes the manual page or the bash completion of pagoric, made from its
// command table, at build time:  pagoric-docs man|completion OUTPUT
#include <fstream>
#include <iostream>
#include <string>

#include "cli/cli_commands.h"

int main(int argc, char** argv) {
  const std::string what = argc == 3 ? argv[1] : "";
  if (what != "man" && what != "completion") {
    std::cerr << "usage: pagoric-docs man|completion OUTPUT\n";
    return 2;
  }
  std::ofstream out(argv[2], std::ios::binary);
  if (what == "man") {
    WriteManPage(out);
  } else {
    WriteBashCompletion(out);
  }
  out.close();
  if (!out) {
    std::cerr << "pagoric-docs: cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}
