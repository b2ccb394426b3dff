#pragma once

#include <iosfwd>
#include <map>
#include <string>
#include <vector>

// What the subcommand handlers of the pagoric command get: their parsed
// arguments and the streams they write to.

// The arguments of one subcommand: positionals, flags, and options with values
// (repeatable options keep every value).
struct Args {
  std::vector<std::string> positional;
  std::map<std::string, std::vector<std::string>> options;
  bool Has(const std::string& name) const { return options.count(name) != 0; }
  std::string Get(const std::string& name, const std::string& fallback = "") const {
    auto it = options.find(name);
    return it == options.end() || it->second.empty() ? fallback : it->second.back();
  }
};

struct Context {
  std::ostream& out;
  std::ostream& err;
  bool tty;
};

class CProjectLock;

// Takes the one-writer lock of a project a subcommand changes; false (message
// shown) when another process holds it.
bool LockProject(CProjectLock& lock, const std::string& command, Context& ctx);
