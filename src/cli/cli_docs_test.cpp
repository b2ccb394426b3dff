#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "cli/cli.h"
#include "cli/cli_commands.h"
#include "pagoric_version.h"

namespace {

std::string Help(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  EXPECT_EQ(kExitOk, RunPagoric(args, out, err));
  EXPECT_EQ("", err.str());
  return out.str();
}

// The text with every run of blanks and line ends made one blank, so a
// wrapped line reads as the one line it was.
std::string Unwrapped(const std::string& text) {
  return std::regex_replace(text, std::regex("\\s+"), " ");
}

TEST(CliDocsTest, CommandHelpExplainsEveryOptionAndTheExitStatuses) {
  EXPECT_EQ(
      "usage: pagoric size PROJECT.web [--json] [--max-bytes N]\n"
      "\n"
      "show what each URL puts into flash, largest first\n"
      "\n"
      "options:\n"
      "  --json                print the figures as JSON\n"
      "  --max-bytes N         exit with status 1 when the total exceeds N bytes\n"
      "  -h, --help            show this help\n"
      "\n"
      "exit status:\n"
      "  0  done\n"
      "  1  the command ran but did not fully succeed: a node failed to convert, a\n"
      "     file could not be written, an editor command refused the change, the\n"
      "     preview server did not start; build --check: generated files are out of\n"
      "     date; size --max-bytes: the total is over\n"
      "  2  nothing was done: bad arguments, an unusable project file or generated\n"
      "     file, a project another process is changing, a target directory that is\n"
      "     not there\n",
      Help({"size", "--help"}));

  const std::string build = Unwrapped(Help({"build", "-h"}));
  for (const char* line :
       {"--no-save build without writing the project file (for build systems)",
        "--stamp FILE touched after every successful build; the depfile names it as its target",
        "--stamp-dir DIR DIR/NAME.stamp per generated file, touched when that file was written",
        "--wrap-long-lines let the build wrap lines of generated files longer than 1,023 "
        "characters (they no longer compile)"}) {
    EXPECT_NE(std::string::npos, build.find(line)) << line;
  }
}

TEST(CliDocsTest, EveryOptionIsExplainedAndEveryOptionOfTheUsageExists) {
  for (const Command& command : Commands()) {
    const std::string help = Help({command.name, "--help"});
    const std::string unwrapped = Unwrapped(help);
    for (const Option& option : command.options) {
      std::string label = std::string("--") + option.name;
      if (option.value) label += std::string(" ") + option.value;
      EXPECT_NE(std::string::npos, unwrapped.find(" " + label + " " + option.help))
          << command.name << " " << label;
    }
    // An option the usage line shows is one the parser takes.
    const std::string usage = command.usage;
    const std::regex named("--([a-z-]+)");
    for (auto it = std::sregex_iterator(usage.begin(), usage.end(), named);
         it != std::sregex_iterator(); ++it) {
      EXPECT_NE(nullptr, FindOption(command, (*it)[1])) << command.name << " " << it->str();
    }
    std::istringstream lines(help);
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("usage:", 0) == 0) continue;  // the usage is one line to copy
      EXPECT_LE(line.size(), 79u) << command.name << ": " << line;
    }
  }
}

TEST(CliDocsTest, UsageListsTheCommandsAndTheExitStatuses) {
  const std::string help = Help({"--help"});
  EXPECT_EQ(0u, help.find("usage: pagoric COMMAND [ARGS]\n       pagoric --help | --version\n"));
  // Each command on a line of its own, its summary from column 13 on.
  const std::string unwrapped = Unwrapped(help);
  for (const Command& command : Commands()) {
    std::string line = std::string("\n  ") + command.name;
    line.resize(13, ' ');
    EXPECT_NE(std::string::npos, help.find(line + std::string(command.summary).substr(0, 20)))
        << command.name;
    EXPECT_NE(std::string::npos, unwrapped.find(std::string(" ") + command.summary + " "))
        << command.name;
  }
  EXPECT_NE(std::string::npos, help.find("\nexit status:\n  0  done\n  1  the command ran"));
  EXPECT_NE(std::string::npos, help.find("\n  2  nothing was done:"));
  // Without a command the same text goes to stderr, with status 2.
  std::ostringstream out, err;
  EXPECT_EQ(kExitNotDone, RunPagoric({}, out, err));
  EXPECT_EQ(help, err.str());
}

TEST(CliDocsTest, OptionsParseByTheirKind) {
  std::ostringstream out, err;
  EXPECT_EQ(kExitNotDone, RunPagoric({"size", "p.web", "--json=1"}, out, err));
  EXPECT_EQ("pagoric size: unknown option --json=1\n", err.str());
  err.str("");
  EXPECT_EQ(kExitNotDone, RunPagoric({"size", "p.web", "--max-bytes"}, out, err));
  EXPECT_EQ("pagoric size: option --max-bytes needs a value\n", err.str());
}

TEST(CliDocsTest, ManPageNamesEveryCommandAndOptionInValidRoff) {
  std::ostringstream out;
  WriteManPage(out);
  const std::string man = out.str();
  EXPECT_NE(std::string::npos, man.find(".TH PAGORIC 1 \"\" \"pagoric " PAGORIC_VERSION "\""));
  for (const Command& command : Commands()) {
    EXPECT_NE(std::string::npos, man.find(std::string("\n.SS ") + command.name + "\n"));
    for (const Option& option : command.options) {
      std::string name = option.name;
      name = std::regex_replace(name, std::regex("-"), "\\-");
      EXPECT_NE(std::string::npos, man.find(" \\-\\-" + name)) << option.name;
    }
  }
  EXPECT_NE(std::string::npos, man.find(".SH \"EXIT STATUS\"\n.TP\n.B 0\nDone.\n"));
  // Every hyphen is escaped (a bare one may print as a dash), and no text line
  // starts with a control character.
  std::istringstream lines(man);
  for (std::string line; std::getline(lines, line);) {
    for (size_t i = line.find('-'); i != std::string::npos; i = line.find('-', i + 1)) {
      EXPECT_TRUE(i > 0 && line[i - 1] == '\\') << line;
    }
    if (!line.empty() && (line[0] == '.' || line[0] == '\'')) {
      EXPECT_TRUE(std::regex_match(line, std::regex("\\.(\\\\\"|[A-Za-z]{1,2})( .*)?"))) << line;
    }
  }
}

}  // namespace
