#include <unistd.h>

#include <iostream>

#include "cli/cli.h"
#include "platform/file_util.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  // An interrupted build leaves no temporary file behind.
  RemoveTemporaryFilesOnSignals();
  std::vector<std::string> args(argv + 1, argv + argc);
  return RunPagoric(args, std::cout, std::cerr, ::isatty(STDERR_FILENO) != 0);
}
