#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

// The command table of the pagoric command: the one source of its argument
// parsing, its help texts, its manual page and its shell completion.

struct Args;
struct Context;
class Prompter;

// One option of a subcommand: its name without "--", the placeholder of its
// value (nullptr for an option without a value) and the line its help gives.
struct Option {
  const char* name;
  const char* value;
  const char* help;
};

struct Command {
  const char* name;
  const char* summary;
  const char* usage;
  std::vector<Option> options;
  size_t minPositional;
  size_t maxPositional;  // SIZE_MAX for any number
  int (*handler)(const Args&, Context&, Prompter&);
};

const std::vector<Command>& Commands();

// The option of a command by its name, or nullptr.
const Option* FindOption(const Command& command, const std::string& name);

// "pagoric --help": the commands with their summaries and the exit statuses.
void PrintUsage(std::ostream& out);
// "pagoric COMMAND --help": usage, summary, every option explained.
void PrintCommandHelp(const Command& command, std::ostream& out);
// The manual page pagoric(1) in roff, from the same table.
void WriteManPage(std::ostream& out);
// A bash completion script for the commands and their options.
void WriteBashCompletion(std::ostream& out);
