#include "cli/cli.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <ostream>

#include "build/flash_size.h"
#include "build/open_project.h"
#include "cli/cli_args.h"
#include "cli/cli_commands.h"
#include "cli/cli_edit.h"
#include "cli/preview.h"
#include "document/source_doc.h"
#include "pagoric_version.h"
#include "platform/file_util.h"
#include "platform/project_lock.h"
#include "platform/text_format.h"
#include "project/page_node.h"
#include "project/project_verify.h"
#include "project/url_names.h"

namespace {

constexpr const char* kVersion = "pagoric " PAGORIC_VERSION;

// Message boxes become lines on stderr, with the source path of the node they
// are about in front. Each question is answered Yes (or OK) only by its own
// flag: the long-line question by --wrap-long-lines (wrapping splits a line of
// C code), every other one by --yes.
class CCliPrompter : public Prompter {
 public:
  CCliPrompter(std::ostream& err, bool yes, bool wrapLongLines)
      : m_err(err), m_bYes(yes), m_bWrapLongLines(wrapLongLines) {}
  void ShowOk(const std::string& text) override { Print(text); }
  void ShowOkWithReason(const std::string& text, const std::string& reason) override {
    Print(reason.empty() ? text : text + ": " + reason);
  }
  void ShowStop(const std::string& text) override { Print(text); }
  bool AskYesNo(const std::string& text) override { return Ask(text, "Yes", "No", m_bYes, "yes"); }
  bool AskOkCancel(const std::string& text) override {
    if (text == CSourceDocMfc::kLongLineText) {
      return Ask(text, "OK", "Cancel", m_bWrapLongLines, "wrap-long-lines");
    }
    return Ask(text, "OK", "Cancel", m_bYes, "yes");
  }
  void SetContext(const std::string& context) override { m_strContext = context; }

 private:
  std::string Prefix() const { return m_strContext.empty() ? "" : m_strContext + ": "; }
  void Print(const std::string& text) { m_err << Prefix() << CrLfToLf(text) << '\n'; }
  bool Ask(const std::string& text, const char* yes, const char* no, bool answer,
           const std::string& flag) {
    m_err << Prefix() << CrLfToLf(text) << " [" << (answer ? yes : no)
          << (answer ? " (--" + flag + ")]\n"
                     : "; give --" + flag + " to answer " + std::string(yes) + "]\n");
    return answer;
  }
  std::ostream& m_err;
  bool m_bYes;
  bool m_bWrapLongLines;
  std::string m_strContext;
};

// Build log lines go to stdout as the log shows them, with CR LF written as
// LF; progress goes to a terminal's stderr.
class CCliLog : public CBuildLogSink {
 public:
  CCliLog(std::ostream& out, std::ostream& err, bool tty) : m_out(out), m_err(err), m_bTty(tty) {}
  ~CCliLog() override { ClearProgress(); }
  void LogAppended(const std::string&, const std::string& text) override {
    ClearProgress();
    m_out << CrLfToLf(text) << std::flush;
  }
  void Progress(int done, int total) override {
    if (!m_bTty || total < 20) return;
    m_err << "\r[" << done << '/' << total << "] converting..." << std::flush;
    m_bShown = true;
  }

 private:
  void ClearProgress() {
    if (m_bShown) m_err << "\r\033[K" << std::flush;
    m_bShown = false;
  }
  std::ostream& m_out;
  std::ostream& m_err;
  bool m_bTty;
  bool m_bShown = false;
};

bool ParseArgs(const Command& command, const std::vector<std::string>& argv, Args& args,
               std::ostream& err) {
  for (size_t i = 0; i < argv.size(); ++i) {
    const std::string& a = argv[i];
    if (a.size() > 2 && a.rfind("--", 0) == 0) {
      std::string name = a.substr(2);
      std::string value;
      bool hasValue = false;
      const size_t eq = name.find('=');
      if (eq != std::string::npos) {
        value = name.substr(eq + 1);
        name = name.substr(0, eq);
        hasValue = true;
      }
      const Option* option = FindOption(command, name);
      if (option && !option->value && !hasValue) {
        args.options[name];
      } else if (option && option->value) {
        if (!hasValue) {
          if (i + 1 >= argv.size()) {
            err << "pagoric " << command.name << ": option --" << name << " needs a value\n";
            return false;
          }
          value = argv[++i];
        }
        args.options[name].push_back(value);
      } else {
        err << "pagoric " << command.name << ": unknown option " << a << "\n";
        return false;
      }
    } else if (a == "--") {
      args.positional.insert(args.positional.end(), argv.begin() + static_cast<long>(i) + 1,
                             argv.end());
      break;
    } else {
      args.positional.push_back(a);
    }
  }
  if (args.positional.size() < command.minPositional ||
      args.positional.size() > command.maxPositional) {
    err << "usage: " << command.usage << "\n";
    return false;
  }
  return true;
}

// Reads --data-form into the settings: "array" (byte arrays, the default) or
// "literal" (string literals). False (message shown) for any other value.
bool DataFormArg(const Args& args, const char* command, CProjectSettings& settings,
                 std::ostream& err) {
  if (!args.Has("data-form")) return true;
  const std::string form = args.Get("data-form");
  if (form != "array" && form != "literal") {
    err << "pagoric " << command << ": --data-form is array or literal, not '" << form << "'\n";
    return false;
  }
  settings.m_bLiteralData = form == "literal";
  return true;
}

// A target directory as the project stores it: absolute, ending in a separator.
std::string TargetDirArg(const std::string& dir) {
  std::string abs = AbsolutePath(dir);
  if (!IsPathSeparator(abs.back())) abs += kPathSeparator;
  return abs;
}

// Opens an existing project for a subcommand that changes it, holding its
// lock; false (message shown) when the file is missing or invalid, or another
// process is changing it.
bool OpenProjectArg(COpenProject& project, CProjectLock& lock, const std::string& command,
                    const std::string& arg, Context& ctx) {
  return LockProject(lock, command, ctx) && project.OpenExisting(AbsolutePath(arg));
}

int CmdNew(const Args& args, Context& ctx, Prompter& prompter) {
  const std::string path = AbsolutePath(args.positional[0]);
  if (PathExists(path) && !args.Has("force")) {
    ctx.err << "pagoric new: " << path << " already exists; give --force to replace it\n";
    return kExitNotDone;
  }
  // Checked before anything is made, so a new that fails leaves nothing behind.
  if (!IsDirectory(FolderOf(path))) {
    ctx.err << "pagoric new: the folder " << FolderOf(path) << " does not exist\n";
    return kExitNotDone;
  }
  if (!CanWriteFile(path)) {
    ctx.err << "pagoric new: " << path << " cannot be written here\n";
    return kExitNotDone;
  }
  CProjectLock lock(path);
  if (!LockProject(lock, "new", ctx)) return kExitNotDone;
  COpenProject project(prompter, nullptr);
  project.StartNew(path);
  if (args.Has("target")) project.m_strTargetDirField = TargetDirArg(args.Get("target"));
  project.m_strUrlFileField = args.Get("url-file", project.m_strUrlFileField);
  project.m_strBinFileField = args.Get("bin-file", project.m_strBinFileField);
  if (!DataFormArg(args, "new", project.m_settings, ctx.err)) return kExitNotDone;
  if (!project.CheckFileNameFields()) return kExitNotDone;
  project.ApplyLocationFields();
  // The target directory is made now (one level, as a build would), so that
  // opening the project does not take it for a moved one.
  const std::string& target = project.m_settings.m_strTargetDir;
  if (!IsDirectory(target)) CreateOneDirectory(target.substr(0, target.size() - 1));
  // The tree edits save as the project window does when it closes after a
  // change: refreshed, nothing converted.
  if (!project.RefreshAndSaveUnbuilt()) return kExitNotDone;
  ctx.out << "Created " << path << "\n  target directory: " << project.m_settings.m_strTargetDir
          << "\n  URL file: " << project.m_settings.m_strUrlFile
          << "\n  binary data file: " << project.m_settings.m_strBinFile << "\n";
  return kExitOk;
}

int CmdMkdir(const Args& args, Context& ctx, Prompter& prompter) {
  COpenProject project(prompter, nullptr);
  CProjectLock lock(AbsolutePath(args.positional[0]));
  if (!OpenProjectArg(project, lock, "mkdir", args.positional[0], ctx)) return kExitNotDone;
  const std::string refused = RefusedUrlFolderText(args.positional[1]);
  if (!refused.empty()) {
    ctx.err << "pagoric mkdir: " << refused << "\n";
    return kExitNotDone;
  }
  if (!project.m_tree.FindFolderItem(args.positional[1], true)) return kExitNotDone;
  return project.RefreshAndSaveUnbuilt() ? kExitOk : kExitNotDone;
}

// The folder item named by --under (the root without it), created on the way;
// nullptr (message shown) when a folder name of it cannot be part of a URL.
HTREEITEM UnderArg(COpenProject& project, const Args& args, const char* command, Context& ctx) {
  const std::string under = args.Get("under", "/");
  const std::string refused = RefusedUrlFolderText(under);
  if (!refused.empty()) {
    ctx.err << "pagoric " << command << ": " << refused << "\n";
    return nullptr;
  }
  return project.m_tree.FindFolderItem(under, true);
}

int CmdAdd(const Args& args, Context& ctx, Prompter& prompter) {
  COpenProject project(prompter, nullptr);
  CProjectLock lock(AbsolutePath(args.positional[0]));
  if (!OpenProjectArg(project, lock, "add", args.positional[0], ctx)) return kExitNotDone;
  std::vector<std::string> files;
  for (size_t i = 1; i < args.positional.size(); ++i) {
    const std::string file = AbsolutePath(args.positional[i]);
    if (!IsRegularFile(file)) {
      ctx.err << "pagoric add: " << file << " is not a file\n";
      return kExitNotDone;
    }
    const std::string refused = RefusedFileText(file);
    if (!refused.empty()) {
      ctx.err << "pagoric add: " << refused << "\n";
      return kExitNotDone;
    }
    files.push_back(file);
  }
  HTREEITEM folder = UnderArg(project, args, "add", ctx);
  if (!folder) return kExitNotDone;
  for (const std::string& file : files) project.m_tree.InsertFileItem(folder, file);
  return project.RefreshAndSaveUnbuilt() ? kExitOk : kExitNotDone;
}

int CmdImport(const Args& args, Context& ctx, Prompter& prompter) {
  COpenProject project(prompter, nullptr);
  CProjectLock lock(AbsolutePath(args.positional[0]));
  if (!OpenProjectArg(project, lock, "import", args.positional[0], ctx)) return kExitNotDone;
  const std::string dir = AbsolutePath(args.positional[1]);
  if (!IsDirectory(dir)) {
    ctx.err << "pagoric import: " << dir << " is not a directory\n";
    return kExitNotDone;
  }
  int added = 0;
  int skipped = 0;
  HTREEITEM folder = UnderArg(project, args, "import", ctx);
  if (!folder) return kExitNotDone;
  try {
    added = project.ImportDirectory(folder, dir, args.Has("hidden"), &skipped);
  } catch (const std::filesystem::filesystem_error& e) {
    ctx.err << "pagoric import: " << e.what() << "\n";
    return kExitNotDone;
  }
  // A name that cannot be part of a URL refuses the whole import (shown).
  if (added < 0) return kExitNotDone;
  if (!project.RefreshAndSaveUnbuilt()) return kExitNotDone;
  ctx.out << "Imported " << added << " file(s) from " << dir << "\n";
  if (skipped > 0) {
    ctx.out << "Skipped " << skipped
            << " hidden file(s) and folder(s) (names starting with \".\"); give --hidden to "
               "import them\n";
  }
  return kExitOk;
}

// The item of a URL in the tree ("/" the root, "/docs" a folder,
// "/docs/index.htm" a file; a trailing "/" is allowed), or nullptr.
HTREEITEM FindUrlItem(CSTreeCtrl& tree, std::string url) {
  while (url.size() > 1 && url.back() == '/') url.pop_back();
  if (HTREEITEM folder = tree.FindFolderItem(url, false)) return folder;
  const size_t slash = url.rfind('/');
  if (slash == std::string::npos) return nullptr;
  HTREEITEM parent = tree.FindFolderItem(url.substr(0, slash), false);
  if (!parent) return nullptr;
  // Folders were looked for above; a file item's URL is the tree's own.
  for (HTREEITEM child = tree.GetChildItem(parent); child; child = tree.GetNextSiblingItem(child)) {
    if (tree.GetItemImage(child) >= ImagePage && tree.GetItemUrl(child) == url) return child;
  }
  return nullptr;
}

int CmdRemove(const Args& args, Context& ctx, Prompter& prompter) {
  COpenProject project(prompter, nullptr);
  CProjectLock lock(AbsolutePath(args.positional[0]));
  if (!OpenProjectArg(project, lock, "remove", args.positional[0], ctx)) return kExitNotDone;
  // Every URL is looked up before anything is taken out.
  std::vector<HTREEITEM> items;
  for (size_t i = 1; i < args.positional.size(); ++i) {
    HTREEITEM item = FindUrlItem(project.m_tree, args.positional[i]);
    if (!item) {
      ctx.err << "pagoric remove: the project has no URL " << args.positional[i] << "\n";
      return kExitNotDone;
    }
    if (std::find(items.begin(), items.end(), item) == items.end()) items.push_back(item);
  }
  // A folder given with one of its own items: the folder goes, with them.
  // The items inside are left out before anything is removed, as removing the
  // folder removes them too.
  std::vector<HTREEITEM> outermost;
  for (HTREEITEM item : items) {
    bool inside = false;
    for (HTREEITEM up = project.m_tree.GetParentItem(item); up && !inside;
         up = project.m_tree.GetParentItem(up)) {
      inside = std::find(items.begin(), items.end(), up) != items.end();
    }
    if (!inside) outermost.push_back(item);
  }
  for (HTREEITEM item : outermost) {
    if (!project.RemoveItem(item)) return kExitNotDone;
  }
  return project.RefreshAndSaveUnbuilt() ? kExitOk : kExitNotDone;
}

int CmdRename(const Args& args, Context& ctx, Prompter& prompter) {
  COpenProject project(prompter, nullptr);
  CProjectLock lock(AbsolutePath(args.positional[0]));
  if (!OpenProjectArg(project, lock, "rename", args.positional[0], ctx)) return kExitNotDone;
  HTREEITEM item = FindUrlItem(project.m_tree, args.positional[1]);
  if (!item) {
    ctx.err << "pagoric rename: the project has no URL " << args.positional[1] << "\n";
    return kExitNotDone;
  }
  const std::string& name = args.positional[2];
  if (!project.m_tree.CanEditLabel(item)) {
    ctx.err << "pagoric rename: only folders can be renamed; a page's URL is its source file's "
               "name (remove it and add it again under another folder or name)\n";
    return kExitNotDone;
  }
  if (name.empty() || name.find('/') != std::string::npos) {
    ctx.err << "pagoric rename: '" << name << "' is no folder name\n";
    return kExitNotDone;
  }
  project.m_tree.EndLabelEdit(item, name);
  project.m_bTreeChanged = 1;
  return project.RefreshAndSaveUnbuilt() ? kExitOk : kExitNotDone;
}

int CmdTree(const Args& args, Context& ctx, Prompter& prompter) {
  COpenProject project(prompter, nullptr);
  if (!project.OpenExisting(AbsolutePath(args.positional[0]))) return kExitNotDone;
  const CPageNodeList& nodes = project.m_tree.m_nodes;
  // Depths from the child and sibling links (a loaded list's links are valid).
  std::vector<int> depth(nodes.size(), 0);
  for (size_t i = 0; i < nodes.size(); ++i) {
    if (const int child = nodes[i]->GetFirstChild()) depth[child] = depth[i] + 1;
    if (const int sibling = nodes[i]->GetNextSibling()) depth[sibling] = depth[i];
  }
  for (size_t i = 0; i < nodes.size(); ++i) {
    const CPageNode& node = *nodes[i];
    ctx.out << std::string(static_cast<size_t>(depth[i]) * 2, ' ');
    if (i == 0) {
      ctx.out << "/\troot";
    } else if (node.GetFolder()) {
      ctx.out << node.GetPath() << "/\tfolder";
    } else {
      ctx.out << node.GetUrl() << '\t' << (node.IsPage() ? "page" : "binary") << '\t'
              << node.GetFunction() << '\t' << node.GetPath();
    }
    ctx.out << '\n';
  }
  return kExitOk;
}

// The hint for a path verification could not find.
std::string TargetHint(bool target) {
  return std::string(
             " cannot be found; if it moved, give --relocate OLD=NEW (OLD a leading part of "
             "its path, NEW where that part is now)") +
         (target ? ", or --target DIR" : "");
}

// A path as a Makefile rule names it: blanks, '#' and '$' escaped.
std::string MakeEscaped(const std::string& path) {
  std::string escaped;
  for (const char c : path) {
    if (c == ' ' || c == '\t' || c == '#') escaped += '\\';
    if (c == '$') escaped += '$';
    escaped += c;
  }
  return escaped;
}

// The Make rule of a build: every generated file (or the stamp, named as the
// user's rule names it, when the build keeps one) depends on the project file
// and on every source file of the project.
bool WriteDepfile(const std::string& depfile, const std::string& stamp, const COpenProject& project,
                  std::ostream& err) {
  std::string text;
  const std::vector<std::string> targets =
      stamp.empty() ? project.GeneratedFiles() : std::vector<std::string>{stamp};
  for (const std::string& file : targets) {
    if (!text.empty()) text += ' ';
    text += MakeEscaped(file);
  }
  text += ": " + MakeEscaped(project.m_strProjectPath);
  for (const std::string& file : project.SourceFiles()) text += " \\\n  " + MakeEscaped(file);
  text += "\n";
  if (ReplaceFileAtomically(AbsolutePath(depfile), text) != ReplaceResult::kOk) {
    err << "pagoric build: cannot write the dependency file " << depfile << "\n";
    return false;
  }
  return true;
}

// How long `build --no-save` waits for a project another run is building.
constexpr int kNoSaveLockWaitMs = 10 * 60 * 1000;

// Sets a file's time to now, creating it empty when it is missing.
bool TouchFile(const std::string& path) {
  if (!PathExists(path) && ReplaceFileAtomically(path, "") != ReplaceResult::kOk) return false;
  std::error_code ec;
  std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now(), ec);
  return !ec;
}

// The stamps a firmware build compiles by: --stamp-dir gets NAME.stamp for
// every generated file, touched when the build wrote that file (it is now newer
// than its stamp) or the stamp is missing, so only what changed recompiles;
// --stamp is touched after every build that succeeded, so a make rule whose
// target it is stays satisfied although unchanged files keep their times.
bool WriteStamps(const Args& args, const COpenProject& project, std::ostream& err) {
  if (args.Has("stamp-dir")) {
    const std::string dir = AbsolutePath(args.Get("stamp-dir"));
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    for (const std::string& file : project.GeneratedFiles()) {
      std::string folder, name;
      SplitPath(file, folder, name);
      const std::string stamp = dir + kPathSeparator + name + ".stamp";
      const std::uint64_t stampTime = LastWriteFileTime(stamp);
      if (stampTime != 0 && LastWriteFileTime(file) < stampTime) continue;
      if (!TouchFile(stamp)) {
        err << "pagoric build: cannot write the stamp " << stamp << "\n";
        return false;
      }
    }
  }
  if (args.Has("stamp") && !TouchFile(AbsolutePath(args.Get("stamp")))) {
    err << "pagoric build: cannot write the stamp " << args.Get("stamp") << "\n";
    return false;
  }
  return true;
}

int CmdBuild(const Args& args, Context& ctx, Prompter& prompter) {
  const bool check = args.Has("check");
  if (check && (args.Has("stamp") || args.Has("stamp-dir"))) {
    ctx.err << "pagoric build: --check writes nothing, so it keeps no stamps\n";
    return kExitNotDone;
  }
  if (check && args.Has("relocate")) {
    ctx.err << "pagoric build: --check writes nothing, so it cannot relocate; build with "
               "--relocate first\n";
    return kExitNotDone;
  }
  // A check prints only the files it would change.
  CCliLog log(ctx.out, ctx.err, ctx.tty);
  COpenProject project(prompter, check ? nullptr : &log);
  project.SetSaveProject(!args.Has("no-save"));
  const std::string path = AbsolutePath(args.positional[0]);
  CProjectLock lock(path);
  // A build system's runs write no project file: one of them waits for
  // another (two build trees built at once) instead of failing.
  const bool waited = args.Has("no-save") && lock.Lock(kNoSaveLockWaitMs);
  if (!waited && !LockProject(lock, "build", ctx)) return kExitNotDone;
  // Verification first: moved source files and a moved target directory are
  // answered from the --relocate mappings; a question none answers is an error.
  std::vector<CMappedRelocationAnswers::Mapping> mappings;
  auto relocate = args.options.find("relocate");
  if (relocate != args.options.end()) {
    for (const std::string& text : relocate->second) {
      CMappedRelocationAnswers::Mapping mapping;
      if (!CMappedRelocationAnswers::ParseMapping(text, mapping)) {
        ctx.err << "pagoric build: --relocate needs OLD=NEW, not '" << text << "'\n";
        return kExitNotDone;
      }
      mappings.push_back(mapping);
    }
  }
  CMappedRelocationAnswers answers(mappings);
  // A missing target directory is fine when --target names another one, and
  // when every source file is where it was it did not move: the build offers
  // to create it (a clean rebuild after the directory was removed).
  bool createTarget = false;
  auto answered = [&] {
    bool stop = false;
    const std::vector<std::string>& unanswered = answers.Unanswered();
    const bool onlyTarget = unanswered.size() == 1 && answers.UnansweredTargetIndex() == 0;
    for (size_t i = 0; i < unanswered.size(); ++i) {
      const std::string& missing = unanswered[i];
      const bool target = static_cast<int>(i) == answers.UnansweredTargetIndex();
      // A check takes a missing target directory as an empty one.
      if (target && (args.Has("target") || check)) continue;
      if (target && onlyTarget && !missing.empty()) {
        createTarget = true;
        continue;
      }
      ctx.err << "pagoric build: "
              << (missing.empty() ? std::string("the project has no target directory yet; give "
                                                "--target DIR")
                                  : missing + TargetHint(target))
              << "\n";
      stop = true;
    }
    return !stop;
  };
  if (!project.VerifyAndOpen(path, false, answers, answered)) return kExitNotDone;
  if (args.Has("target")) project.m_strTargetDirField = TargetDirArg(args.Get("target"));
  if (args.Has("url-file")) project.m_strUrlFileField = args.Get("url-file");
  if (args.Has("bin-file")) project.m_strBinFileField = args.Get("bin-file");
  if (!DataFormArg(args, "build", project.m_settings, ctx.err)) return kExitNotDone;
  const int all = args.Has("all") ? 1 : 0;
  std::vector<std::string> changed;
  const bool ran =
      check ? project.CheckBuild(all, changed) : (all ? project.OnBuildAll() : project.OnBuild());
  if (!ran) {
    if (createTarget && !IsDirectory(project.m_settings.m_strTargetDir)) {
      ctx.err << "pagoric build: " << project.m_settings.m_strTargetDir << TargetHint(true) << "\n";
    }
    return kExitNotDone;
  }
  if (args.Has("depfile") &&
      !WriteDepfile(args.Get("depfile"), args.Get("stamp"), project, ctx.err)) {
    return kExitNotDone;
  }
  if (check) {
    // A page that fails to convert cannot be checked: that is no answer.
    if (project.FailedCount() > 0) return kExitNotDone;
    for (const std::string& file : changed) ctx.out << file << "\n";
    return changed.empty() ? kExitOk : kExitFailed;
  }
  if (project.FailedCount() > 0 || project.LastSaveFailed()) return kExitFailed;
  return WriteStamps(args, project, ctx.err) ? kExitOk : kExitFailed;
}

// Reads a byte count of an option; false (message shown) when it is none.
bool ByteCountArg(const std::string& text, const char* option, std::int64_t& value,
                  std::ostream& err) {
  size_t used = 0;
  try {
    value = std::stoll(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != text.size() || value < 0) {
    err << "pagoric size: --" << option << " needs a number of bytes, not '" << text << "'\n";
    return false;
  }
  return true;
}

// A string as a JSON string literal.
std::string JsonString(const std::string& text) {
  std::string json = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      json += '\\';
      json += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      json += escaped;
    } else {
      json += c;
    }
  }
  return json + "\"";
}

// What every URL of the built project puts into flash, largest first, with
// totals per content kind.
int CmdSize(const Args& args, Context& ctx, Prompter& prompter) {
  std::int64_t maxBytes = -1;
  if (args.Has("max-bytes") &&
      !ByteCountArg(args.Get("max-bytes"), "max-bytes", maxBytes, ctx.err)) {
    return kExitNotDone;
  }
  COpenProject project(prompter, nullptr);
  if (!project.OpenExisting(AbsolutePath(args.positional[0]))) return kExitNotDone;
  const std::vector<CFlashEntry> entries = MeasureFlash(
      project.m_tree.m_nodes, project.m_settings.m_strTargetDir + project.m_settings.m_strBinFile);
  std::map<std::string, std::pair<std::int64_t, int>> kinds;  // bytes, URLs
  std::int64_t total = 0;
  int missing = 0;
  for (const CFlashEntry& entry : entries) {
    kinds[entry.kind].first += entry.bytes;
    ++kinds[entry.kind].second;
    total += entry.bytes;
    if (!entry.found) ++missing;
  }
  std::vector<std::pair<std::string, std::pair<std::int64_t, int>>> byKind(kinds.begin(),
                                                                           kinds.end());
  std::stable_sort(byKind.begin(), byKind.end(),
                   [](const auto& a, const auto& b) { return a.second.first > b.second.first; });
  if (args.Has("json")) {
    ctx.out << "{\n  \"urls\": [";
    for (size_t i = 0; i < entries.size(); ++i) {
      const CFlashEntry& e = entries[i];
      ctx.out << (i ? ",\n" : "\n") << "    {\"url\": " << JsonString(e.url)
              << ", \"kind\": " << JsonString(e.kind) << ", \"bytes\": " << e.bytes
              << ", \"built\": " << (e.found ? "true" : "false") << "}";
    }
    ctx.out << "\n  ],\n  \"kinds\": {";
    for (size_t i = 0; i < byKind.size(); ++i) {
      ctx.out << (i ? ",\n" : "\n") << "    " << JsonString(byKind[i].first)
              << ": {\"bytes\": " << byKind[i].second.first
              << ", \"urls\": " << byKind[i].second.second << "}";
    }
    ctx.out << "\n  },\n  \"total\": " << total;
    if (maxBytes >= 0) ctx.out << ",\n  \"max_bytes\": " << maxBytes;
    ctx.out << "\n}\n";
  } else {
    char line[64];
    for (const CFlashEntry& e : entries) {
      std::snprintf(line, sizeof line, "%10lld  %-7s ", static_cast<long long>(e.bytes),
                    e.kind.c_str());
      ctx.out << line << e.url << (e.found ? "" : "  (not built)") << "\n";
    }
    ctx.out << "\n";
    for (const auto& [kind, figures] : byKind) {
      std::snprintf(line, sizeof line, "%10lld  %-7s ", static_cast<long long>(figures.first),
                    kind.c_str());
      ctx.out << line << figures.second << " URL(s)\n";
    }
    std::snprintf(line, sizeof line, "%10lld  ", static_cast<long long>(total));
    ctx.out << line << "total, " << entries.size() << " URL(s)\n";
  }
  if (missing > 0) {
    ctx.err << "pagoric size: " << missing
            << " URL(s) have no generated code yet; run pagoric build first\n";
  }
  if (maxBytes >= 0 && total > maxBytes) {
    ctx.err << "pagoric size: " << total << " bytes exceed --max-bytes " << maxBytes << " by "
            << total - maxBytes << "\n";
    return kExitFailed;
  }
  return kExitOk;
}

// Builds as the build command does, then compiles and serves the project.
int CmdPreview(const Args& args, Context& ctx, Prompter& prompter) {
  return RunPreview(
      {args.positional[0], args.Get("port"), args.Get("cc")},
      [&] { return CmdBuild(args, ctx, prompter); }, ctx.out, ctx.err, prompter);
}

// Options several commands share, explained once.
const Option kYesEditor{"yes", nullptr,
                        "answer Yes to the questions: create a missing target directory, "
                        "change a read-only file"};
const Option kWrapLongLines{"wrap-long-lines", nullptr,
                            "let the build wrap lines of generated files longer than 1,023 "
                            "characters (they no longer compile)"};
const Option kUnder{"under", "URL-FOLDER",
                    "the URL folder to add to, made when missing (default: the root)"};
}  // namespace

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"new",
       "create a project that holds only the root",
       "pagoric new PROJECT.web [--target DIR] [--url-file NAME] [--bin-file NAME] "
       "[--data-form array|literal] [--force]",
       {{"target", "DIR",
         "the target directory of the generated files, made now (default: the project "
         "file's folder)"},
        {"url-file", "NAME", "the URL file's name (default: url.c)"},
        {"bin-file", "NAME", "the binary data file's name (default: bindata.c)"},
        {"data-form", "FORM",
         "how binary data is written: array (byte arrays, the default) or literal (string "
         "literals, faster to compile)"},
        {"force", nullptr, "replace an existing project file"}},
       1,
       1,
       CmdNew},
      {"mkdir",
       "add a URL folder (and the folders on its way)",
       "pagoric mkdir PROJECT.web URL-FOLDER",
       {},
       2,
       2,
       CmdMkdir},
      {"add",
       "add files to a URL folder",
       "pagoric add PROJECT.web [--under URL-FOLDER] FILE...",
       {kUnder},
       2,
       SIZE_MAX,
       CmdAdd},
      {"import",
       "mirror a directory into the URL tree",
       "pagoric import PROJECT.web DIR [--under URL-FOLDER] [--hidden]",
       {kUnder, {"hidden", nullptr, "also import files and folders whose names start with \".\""}},
       2,
       2,
       CmdImport},
      {"remove",
       "take items (files, or folders with all they hold) out of the URL tree",
       "pagoric remove PROJECT.web URL... [--yes]",
       {{"yes", nullptr, "answer Yes to the questions: remove a folder with all it holds"}},
       2,
       SIZE_MAX,
       CmdRemove},
      {"rename",
       "rename a URL folder",
       "pagoric rename PROJECT.web URL-FOLDER NEWNAME",
       {},
       3,
       3,
       CmdRename},
      {"tree", "print the project's URL tree", "pagoric tree PROJECT.web", {}, 1, 1, CmdTree},
      {"build",
       "generate the C files of what changed (everything with --all)",
       "pagoric build PROJECT.web [--all] [--yes] [--wrap-long-lines] [--target DIR] "
       "[--url-file NAME] [--bin-file NAME] [--relocate OLD=NEW]... [--check] [--no-save] "
       "[--depfile FILE] [--stamp FILE] [--stamp-dir DIR] [--data-form array|literal]",
       {{"all", nullptr, "convert every node, not only those whose source changed"},
        {"yes", nullptr, "answer Yes to the questions: create a missing target directory"},
        kWrapLongLines,
        {"target", "DIR", "the target directory of the generated files"},
        {"url-file", "NAME", "the URL file's name in the target directory"},
        {"bin-file", "NAME", "the binary data file's name in the target directory"},
        {"relocate", "OLD=NEW",
         "a moved source or target directory: paths that start with OLD are now under NEW "
         "(repeatable)"},
        {"check", nullptr,
         "write nothing; list the generated files a build would change (exit status 1 when "
         "there are any)"},
        {"no-save", nullptr, "build without writing the project file (for build systems)"},
        {"depfile", "FILE",
         "write a Make rule to FILE: the stamp (or the generated files) depend on the project "
         "file and every source file"},
        {"stamp", "FILE",
         "touched after every successful build; the depfile names it as its target"},
        {"stamp-dir", "DIR",
         "DIR/NAME.stamp per generated file, touched when that file was written"},
        {"data-form", "FORM",
         "array or literal: how binary data is written from now on (kept by the project)"}},
       1,
       1,
       CmdBuild},
      {"size",
       "show what each URL puts into flash, largest first",
       "pagoric size PROJECT.web [--json] [--max-bytes N]",
       {{"json", nullptr, "print the figures as JSON"},
        {"max-bytes", "N", "exit with status 1 when the total exceeds N bytes"}},
       1,
       1,
       CmdSize},
      {"preview",
       "build, then serve the pages on this machine through the host web server",
       "pagoric preview PROJECT.web [--port N] [--cc COMPILER] [--yes] [--wrap-long-lines]",
       {{"port", "N", "the port to serve on (default: 8080; 0 takes any free port)"},
        {"cc", "COMPILER", "the C compiler that builds the host web server (default: cc)"},
        {"yes", nullptr, "answer Yes to the questions: create a missing target directory"},
        kWrapLongLines},
       1,
       1,
       CmdPreview},
      {"urls",
       "list the URL table, or add, edit or remove entries",
       "pagoric urls PROJECT.web [--add URL FUNCTION | --edit URL | --remove URL...] [--url URL] "
       "[--function NAME] [--type HSTYPE] [--size N] [--realm EXPR] [--yes]",
       {{"add", nullptr, "add an entry for URL, sent by the function FUNCTION"},
        {"edit", nullptr, "change the entry of URL; fields not given keep their values"},
        {"remove", nullptr, "remove the entries of the URLs given"},
        {"url", "URL", "the entry's new URL (blanks are stored as %20)"},
        {"function", "NAME", "the C function that sends the URL"},
        {"type", "HSTYPE", "the entry's HSType function"},
        {"size", "N", "the entry's size in bytes"},
        {"realm", "EXPR", "the realms that protect the URL, such as Realm1+Realm3"},
        kYesEditor,
        kWrapLongLines},
       1,
       SIZE_MAX,
       CmdUrls},
      {"home",
       "list the pages with the home page marked, set it to a URL's page, or remove it",
       "pagoric home PROJECT.web [URL | --none] [--yes]",
       {{"none", nullptr, "remove the \"/\" entry: no page is served for \"/\""},
        kYesEditor,
        kWrapLongLines},
       1,
       2,
       CmdHome},
      {"realms",
       "list the eight security realms, set one, or clear them all",
       "pagoric realms PROJECT.web [--set N NAME USER [PASSWORD] | --clear] [--yes]",
       {{"set", nullptr, "set realm N (1 to 8) to NAME, USER and PASSWORD"},
        {"clear", nullptr, "empty all eight realms"},
        kYesEditor,
        kWrapLongLines},
       1,
       5,
       CmdRealms},
      {"bindata",
       "list the sources whose data the binary data file holds, or remove it",
       "pagoric bindata PROJECT.web [--remove SOURCE...] [--yes]",
       {{"remove", nullptr,
         "remove the data of the source files given (their URL entries stay: see urls "
         "--remove)"},
        kYesEditor,
        kWrapLongLines},
       1,
       SIZE_MAX,
       CmdBindata},
  };
  return commands;
}

const Option* FindOption(const Command& command, const std::string& name) {
  for (const Option& option : command.options) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

bool LockProject(CProjectLock& lock, const std::string& command, Context& ctx) {
  if (lock.TryLock()) return true;
  ctx.err << "pagoric " << command << ": " << lock.BusyMessage() << "\n";
  return false;
}

int RunPagoric(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               bool errIsTerminal) {
  if (args.empty()) {
    PrintUsage(err);
    return kExitNotDone;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    PrintUsage(out);
    return kExitOk;
  }
  if (args[0] == "--version") {
    out << kVersion << "\n";
    return kExitOk;
  }
  for (const Command& command : Commands()) {
    if (args[0] != command.name) continue;
    std::vector<std::string> rest(args.begin() + 1, args.end());
    if (std::find(rest.begin(), rest.end(), "--help") != rest.end() ||
        std::find(rest.begin(), rest.end(), "-h") != rest.end()) {
      PrintCommandHelp(command, out);
      return kExitOk;
    }
    Args parsed;
    if (!ParseArgs(command, rest, parsed, err)) return kExitNotDone;
    Context ctx{out, err, errIsTerminal};
    CCliPrompter prompter(err, parsed.Has("yes"), parsed.Has("wrap-long-lines"));
    return command.handler(parsed, ctx, prompter);
  }
  err << "pagoric: unknown command '" << args[0] << "'\n";
  PrintUsage(err);
  return kExitNotDone;
}
