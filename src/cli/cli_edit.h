#pragma once

#include "cli/cli_args.h"
#include "platform/prompter.h"

// The editor commands of the pagoric command: the edits of the URL file
// editor, the home page, the security table and binary data removal dialogs,
// on the same core code, with their checks and messages. Each takes the
// project's lock for as long as it runs (as a build does), opens the project,
// prepares its target files as the project window does before it opens an
// editor (a generated file with damaged markers stops it there), and returns
// 0 (done), 1 (refused or not written) or 2 (bad arguments, a project another
// process is changing, unusable project or file).

// pagoric urls PROJECT.web [--add URL FUNCTION | --edit URL | --remove URL...]
int CmdUrls(const Args& args, Context& ctx, Prompter& prompter);
// pagoric home PROJECT.web [URL | --none]
int CmdHome(const Args& args, Context& ctx, Prompter& prompter);
// pagoric realms PROJECT.web [--set N NAME USER [PASSWORD] | --clear]
int CmdRealms(const Args& args, Context& ctx, Prompter& prompter);
// pagoric bindata PROJECT.web [--remove SOURCE...]
int CmdBindata(const Args& args, Context& ctx, Prompter& prompter);
