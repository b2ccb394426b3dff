#pragma once

#include <string>
#include <vector>

// The command line of pagoric-gui: an optional project file to open at once
// (the file manager passes the file a user opened), --help and --version.
// Options of Qt itself (-platform NAME, -style NAME, ...) are taken away by
// QApplication before the arguments are read; --help and --version are
// looked for before it starts, so they work without a display.
struct CGuiArguments {
  enum Action { kRun, kHelp, kVersion, kUsageError } action = kRun;
  std::string project;  // kRun: the project file, empty for the start dialog
  std::string error;    // kUsageError: what was wrong, for stderr
};

// Reads the arguments after the program's name.
CGuiArguments ParseGuiArguments(const std::vector<std::string>& args);

// True when the arguments ask for --help or --version, which need no display.
bool AsksForHelpOrVersion(const std::vector<std::string>& args);

// The text of --help, and of --version.
std::string GuiHelpText();
std::string GuiVersionText();

// The exit status of a command line that could not be understood.
inline constexpr int kGuiUsageExit = 2;
