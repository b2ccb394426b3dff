#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// The pagoric command: a table of subcommands, each writing to injected
// streams so tests check the exact text. Returns the process exit status:
// 0 = done (every converted node succeeded), 1 = a build ran but something
// failed, 2 = nothing was done (bad arguments, unusable project, target not
// ready, refresh failed).
int RunPagoric(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               bool errIsTerminal = false);

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitNotDone = 2;
