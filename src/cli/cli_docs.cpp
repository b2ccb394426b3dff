// The texts made from the command table: the help of the pagoric command, its
// manual page and its bash completion. Each lists every command and option
// the parser accepts, so none can miss one.
#include <cstdint>
#include <ostream>
#include <string>

#include "cli/cli_commands.h"
#include "pagoric_version.h"

namespace {

constexpr size_t kLineWidth = 79;
constexpr size_t kOptionColumn = 24;

constexpr const char* kDescription =
    "Turns a web project into C source for the web server in embedded firmware.";

// What each exit status means, for the help and the manual page.
struct ExitStatus {
  int status;
  const char* meaning;
};
const ExitStatus kExitStatuses[] = {
    {0, "done"},
    {1,
     "the command ran but did not fully succeed: a node failed to convert, a file could not "
     "be written, an editor command refused the change, the preview server did not start; "
     "build --check: generated files are out of date; size --max-bytes: the total is over"},
    {2,
     "nothing was done: bad arguments, an unusable project file or generated file, a project "
     "another process is changing, a target directory that is not there"},
};

// "--name" or "--name VALUE".
std::string OptionLabel(const Option& option) {
  std::string label = std::string("--") + option.name;
  if (option.value) label += std::string(" ") + option.value;
  return label;
}

// Writes text from column `indent` on, words wrapped before kLineWidth; the
// first line continues at column `column` where the caller left it.
void WriteWrapped(std::ostream& out, const std::string& text, size_t column, size_t indent) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find(' ', pos);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(pos, end - pos);
    if (column > indent && column + 1 + word.size() > kLineWidth) {
      out << '\n' << std::string(indent, ' ');
      column = indent;
    } else if (column > indent) {
      out << ' ';
      ++column;
    }
    out << word;
    column += word.size();
    pos = end + 1;
  }
  out << '\n';
}

// One "  LABEL  text" line of a list, the text in its column.
void WriteItem(std::ostream& out, const std::string& label, const std::string& text,
               size_t column) {
  out << "  " << label;
  size_t at = 2 + label.size();
  if (at + 2 > column) {
    out << '\n';
    at = 0;
  }
  out << std::string(column - at, ' ');
  WriteWrapped(out, text, column, column);
}

void WriteExitStatuses(std::ostream& out) {
  out << "exit status:\n";
  for (const ExitStatus& e : kExitStatuses) WriteItem(out, std::to_string(e.status), e.meaning, 5);
}

// Text as roff reads it literally: backslashes and hyphens escaped, and no
// line that starts with a control character.
std::string Roff(const std::string& text) {
  std::string roff;
  for (const char c : text) {
    if (c == '\\') {
      roff += "\\e";
    } else if (c == '-') {
      roff += "\\-";
    } else {
      roff += c;
    }
  }
  if (!roff.empty() && (roff[0] == '.' || roff[0] == '\'')) roff.insert(0, "\\&");
  return roff;
}

// The completion of an option's value by its placeholder: directories,
// files, programs, or nothing.
const char* ValueGenerator(const std::string& value) {
  if (value == "DIR") return "compgen -d";
  if (value == "FILE") return "compgen -f";
  if (value == "COMPILER") return "compgen -c";
  return "";
}

// A text of the table as a sentence of the manual page: capitalised, with a
// full stop.
std::string Sentence(const std::string& text) {
  std::string sentence = Roff(text);
  if (!sentence.empty() && sentence[0] >= 'a' && sentence[0] <= 'z') sentence[0] -= 'a' - 'A';
  return sentence.back() == '.' ? sentence : sentence + ".";
}

// The words a shell list holds: "a b c".
template <typename Range, typename Name>
std::string WordList(const Range& range, Name name) {
  std::string words;
  for (const auto& item : range) words += (words.empty() ? "" : " ") + std::string(name(item));
  return words;
}

}  // namespace

void PrintUsage(std::ostream& out) {
  out << "usage: pagoric COMMAND [ARGS]\n"
         "       pagoric --help | --version\n\n"
      << kDescription << "\n\ncommands:\n";
  for (const Command& c : Commands()) WriteItem(out, c.name, c.summary, 12);
  out << "\nRun 'pagoric COMMAND --help' for a command's arguments and options.\n\n";
  WriteExitStatuses(out);
}

void PrintCommandHelp(const Command& command, std::ostream& out) {
  out << "usage: " << command.usage << "\n\n" << command.summary << "\n\noptions:\n";
  for (const Option& option : command.options) {
    WriteItem(out, OptionLabel(option), option.help, kOptionColumn);
  }
  WriteItem(out, "-h, --help", "show this help", kOptionColumn);
  out << '\n';
  WriteExitStatuses(out);
}

void WriteManPage(std::ostream& out) {
  out << ".\\\" The manual page of pagoric, made from its command table at build time.\n"
         ".TH PAGORIC 1 \"\" \"pagoric " PAGORIC_VERSION
         "\" \"User Commands\"\n"
         ".SH NAME\n"
         "pagoric \\- turn a web project into C source for the web server of embedded "
         "firmware\n"
         ".SH SYNOPSIS\n"
         ".B pagoric\n"
         ".I COMMAND\n"
         "[\\fIARGS\\fR]\n"
         ".br\n"
         ".B pagoric\n"
         "\\fB\\-\\-help\\fR | \\fB\\-\\-version\\fR\n"
         ".SH DESCRIPTION\n"
      << Roff(kDescription)
      << "\n.PP\n"
         "A project (a\n.I .web\nfile) is a tree of URLs, each bound to a file on disk. A "
         "build generates one C file per HTML or text page, a binary data file with the "
         "bytes of every other file, and the URL file with the URL table the web server "
         "looks URLs up in. Code typed into the stubs of the generated files survives every "
         "build.\n"
         ".PP\n"
         "Paths are taken relative to the current directory. The build log goes to the "
         "standard output, messages to the standard error.\n"
         ".SH COMMANDS\n";
  for (const Command& c : Commands()) {
    out << ".SS " << c.name << "\n.B " << Roff(c.usage) << "\n.PP\n" << Sentence(c.summary) << "\n";
    for (const Option& option : c.options) {
      out << ".TP\n" << (option.value ? ".BI" : ".B") << " \\-\\-" << Roff(option.name);
      if (option.value) out << " \" " << Roff(option.value) << "\"";
      out << "\n" << Sentence(option.help) << "\n";
    }
  }
  out << ".SH OPTIONS\n"
         ".TP\n.B \\-h, \\-\\-help\n"
         "Show the commands, or with a command its arguments and options.\n"
         ".TP\n.B \\-\\-version\n"
         "Show the version.\n"
         ".SH \"EXIT STATUS\"\n";
  for (const ExitStatus& e : kExitStatuses) {
    out << ".TP\n.B " << e.status << "\n" << Sentence(e.meaning) << "\n";
  }
  out << ".SH \"SEE ALSO\"\n"
         ".BR pagoric\\-gui (1)\n";
}

void WriteBashCompletion(std::ostream& out) {
  const std::vector<Command>& commands = Commands();
  out << "# bash completion for pagoric, made from its command table at build time.\n"
         "_pagoric() {\n"
         "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
         "  if ((COMP_CWORD == 1)); then\n"
         "    COMPREPLY=($(compgen -W \""
      << WordList(commands, [](const Command& c) { return c.name; })
      << " --help --version\" -- \"$cur\"))\n"
         "    return\n"
         "  fi\n"
         "  local options\n"
         "  case ${COMP_WORDS[1]} in\n";
  for (const Command& c : commands) {
    out << "    " << c.name << ") options=\""
        << WordList(c.options, [](const Option& o) { return "--" + std::string(o.name); })
        << (c.options.empty() ? "" : " ") << "--help\" ;;\n";
  }
  out << "    *) return ;;\n"
         "  esac\n"
         "  # The value of an option: a directory, a file, a program, or none offered.\n"
         "  case \"${COMP_WORDS[1]} $prev\" in\n";
  // Options with a value, grouped by what completes their value.
  for (const char* generator : {"compgen -d", "compgen -f", "compgen -c", ""}) {
    std::string patterns;
    for (const Command& c : commands) {
      for (const Option& o : c.options) {
        if (!o.value || std::string(ValueGenerator(o.value)) != generator) continue;
        patterns += (patterns.empty() ? "\"" : "|\"") + std::string(c.name) + " --" + o.name + '"';
      }
    }
    if (patterns.empty()) continue;
    out << "    " << patterns << ")\n      COMPREPLY=("
        << (*generator ? std::string("$(") + generator + " -- \"$cur\")" : "")
        << ")\n      return ;;\n";
  }
  out << "  esac\n"
         "  if [[ $cur == -* ]]; then\n"
         "    COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
         "  else\n"
         "    COMPREPLY=($(compgen -f -- \"$cur\"))\n"
         "  fi\n"
         "}\n"
         "complete -o filenames -F _pagoric pagoric\n";
}
