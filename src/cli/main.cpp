#include <iostream>

#include "cli/cli.h"
#include "platform/file_util.h"
#include "platform/process.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  // An interrupted build leaves no temporary file behind.
  RemoveTemporaryFilesOnSignals();
  const std::vector<std::string> args = ProgramArguments(argc, argv);
  return RunPagoric(args, std::cout, std::cerr, StandardErrorIsTerminal());
}
