#include "ui/gui_args.h"

#include "pagoric_version.h"

CGuiArguments ParseGuiArguments(const std::vector<std::string>& args) {
  // --help and --version win wherever they stand before "--", also after an
  // option of Qt's that only QApplication knows.
  for (const std::string& arg : args) {
    if (arg == "--") break;
    if (arg == "-h" || arg == "--help") return {CGuiArguments::kHelp, "", ""};
    if (arg == "--version") return {CGuiArguments::kVersion, "", ""};
  }
  CGuiArguments parsed;
  bool optionsEnded = false;
  for (const std::string& arg : args) {
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      return {CGuiArguments::kUsageError, "", "unknown option " + arg};
    } else if (!parsed.project.empty()) {
      return {CGuiArguments::kUsageError, "", "only one project file can be opened"};
    } else {
      parsed.project = arg;
    }
  }
  return parsed;
}

bool AsksForHelpOrVersion(const std::vector<std::string>& args) {
  const CGuiArguments::Action action = ParseGuiArguments(args).action;
  return action == CGuiArguments::kHelp || action == CGuiArguments::kVersion;
}

std::string GuiHelpText() {
  return "Usage: pagoric-gui [OPTION] [PROJECT.web]\n"
         "The desktop program of Pagoric: turns a web project into C source for the web\n"
         "server of an embedded firmware. Without PROJECT.web it shows the start dialog\n"
         "with the recent projects; with it, that project opens at once. Closing a\n"
         "project returns to the start dialog; closing the start dialog ends the program.\n"
         "\n"
         "Options:\n"
         "  -h, --help     show this help and exit\n"
         "      --version  show the version and exit\n"
         "Qt's own options, such as -platform NAME or -style NAME, are accepted too.\n"
         "\n"
         "Exit status: 0 when the program ran (also when a project could not be opened),\n"
         "2 when the command line was not understood.\n";
}

std::string GuiVersionText() { return "pagoric-gui " PAGORIC_VERSION "\n"; }
