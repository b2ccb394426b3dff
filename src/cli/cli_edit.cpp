#include "cli/cli_edit.h"

#include <ostream>

#include "build/open_project.h"
#include "cli/cli.h"
#include "edit/binary_removal.h"
#include "edit/home_page.h"
#include "edit/security_form.h"
#include "edit/url_file_editor.h"
#include "generator/url_table.h"
#include "platform/file_util.h"
#include "platform/project_lock.h"

namespace {

// Takes the project's lock (held by lock until the command ends, as a build
// holds it), opens the project and prepares its target files; the URL file's
// or the binary data file's path, or "" (with the message shown) when that
// failed.
std::string EditedFile(const Args& args, Context& ctx, const char* command, Prompter& prompter,
                       bool binFile, CProjectLock& lock) {
  if (!LockProject(lock, command, ctx)) return "";
  COpenProject project(prompter, nullptr);
  if (!project.OpenExisting(AbsolutePath(args.positional[0]))) return "";
  if (!project.PrepareTargetFiles()) return "";
  return project.TargetDir() + (binFile ? project.BinFileName() : project.UrlFileName());
}

// The one action flag given among actions; "" for none. More than one is
// reported and gives "-".
std::string ActionOf(const Args& args, const char* command,
                     std::initializer_list<const char*> actions, Context& ctx) {
  std::string action;
  for (const char* a : actions) {
    if (!args.Has(a)) continue;
    if (!action.empty()) {
      ctx.err << "pagoric " << command << ": give only one of --" << action << " and --" << a
              << "\n";
      return "-";
    }
    action = a;
  }
  return action;
}

bool PositionalCount(const Args& args, size_t min, size_t max, const char* usage, Context& ctx) {
  if (args.positional.size() >= min && args.positional.size() <= max) return true;
  ctx.err << "usage: " << usage << "\n";
  return false;
}

// A realm expression as --realm takes it: "Unprotected", or realm names
// Realm1 to Realm8 joined by "+" in any order. False for anything else.
bool ParseRealmArg(const std::string& text, bool& unprotected, unsigned& mask) {
  unprotected = text == "Unprotected";
  mask = 0;
  if (unprotected) return true;
  size_t start = 0;
  for (;;) {
    const size_t plus = std::min(text.find('+', start), text.size());
    const std::string name = text.substr(start, plus - start);
    if (name.size() != 6 || name.compare(0, 5, "Realm") != 0 || name[5] < '1' || name[5] > '8') {
      return false;
    }
    mask |= 1u << (name[5] - '1');
    if (plus == text.size()) return true;
    start = plus + 1;
  }
}

// The row of the entry whose URL is url (blanks encoded first), or -1.
int RowOfUrl(const std::vector<CUrlRow>& rows, std::string url) {
  EncodeSpaces(url);
  for (size_t i = 0; i < rows.size(); ++i) {
    if (rows[i][0] == url) return static_cast<int>(i);
  }
  return -1;
}

constexpr const char* kUrlsUsage =
    "pagoric urls PROJECT.web [--add URL FUNCTION | --edit URL | --remove URL...] "
    "[--url URL] [--function NAME] [--type HSTYPE] [--size N] [--realm EXPR] [--yes]";

// The entry form's OK on the values of the command line.
int AcceptEntry(CUrlEntryForm& form, CUrlEntryValues values, const Args& args, Context& ctx,
                Prompter& prompter, CUrlEntryValues& accepted) {
  if (args.Has("url")) values.m_strUrl = args.Get("url");
  if (args.Has("function")) values.m_strFunction = args.Get("function");
  if (args.Has("type")) values.m_strHsType = args.Get("type");
  if (args.Has("size")) values.m_strSize = args.Get("size");
  bool unprotected = form.InitialUnprotected();
  unsigned mask = form.InitialRealmMask();
  if (args.Has("realm") && !ParseRealmArg(args.Get("realm"), unprotected, mask)) {
    ctx.err << "pagoric urls: --realm takes Unprotected or realm names Realm1 to Realm8 joined "
               "by +, such as Realm1+Realm3\n";
    return kExitNotDone;
  }
  if (form.Accept(prompter, values, unprotected, mask) != UrlEntryCheck::kAccepted) {
    return kExitFailed;
  }
  accepted = form.Result();
  return kExitOk;
}

}  // namespace

int CmdUrls(const Args& args, Context& ctx, Prompter& prompter) {
  const std::string action = ActionOf(args, "urls", {"add", "edit", "remove"}, ctx);
  if (action == "-") return kExitNotDone;
  const size_t min = action == "add" ? 3 : action.empty() ? 1 : 2;
  const size_t max = action == "add" || action == "edit" ? min : action.empty() ? 1 : SIZE_MAX;
  if (!PositionalCount(args, min, max, kUrlsUsage, ctx)) return kExitNotDone;
  if (action != "edit" && action != "add") {
    for (const char* option : {"url", "function", "type", "size", "realm"}) {
      if (!args.Has(option)) continue;
      ctx.err << "pagoric urls: --" << option << " goes with --add or --edit\n";
      return kExitNotDone;
    }
  }
  CProjectLock lock(AbsolutePath(args.positional[0]));
  const std::string path = EditedFile(args, ctx, "urls", prompter, false, lock);
  if (path.empty()) return kExitNotDone;
  CUrlFileEditor editor(prompter, path);
  std::vector<CUrlRow> rows = editor.ReadRows();

  if (action.empty()) {
    for (const CUrlRow& row : rows) {
      for (size_t i = 0; i < row.size(); ++i) ctx.out << (i ? "\t" : "") << row[i];
      ctx.out << '\n';
    }
    return kExitOk;
  }
  if (action == "remove") {
    std::vector<int> selected;
    for (size_t i = 1; i < args.positional.size(); ++i) {
      const int row = RowOfUrl(rows, args.positional[i]);
      if (row < 0) {
        ctx.err << "pagoric urls: the URL table has no entry " << args.positional[i] << "\n";
        return kExitFailed;
      }
      selected.push_back(row);
    }
    const size_t before = rows.size();
    editor.RemoveRows(rows, selected);
    return before - rows.size() == selected.size() ? kExitOk : kExitFailed;
  }

  CUrlRow row;
  CUrlEntryValues accepted;
  if (action == "add") {
    CUrlEntryForm form(path);
    CUrlEntryValues values = form.Initial();
    values.m_strUrl = args.positional[1];
    values.m_strFunction = args.positional[2];
    const int status = AcceptEntry(form, values, args, ctx, prompter, accepted);
    if (status != kExitOk) return status;
    return editor.AddEntry(accepted, row) ? kExitOk : kExitFailed;
  }
  const int index = RowOfUrl(rows, args.positional[1]);
  if (index < 0) {
    ctx.err << "pagoric urls: the URL table has no entry " << args.positional[1] << "\n";
    return kExitFailed;
  }
  const CUrlRow& old = rows[static_cast<size_t>(index)];
  CUrlEntryForm form(CUrlFileEditor::ValuesOfRow(old), path);
  const int status = AcceptEntry(form, form.Initial(), args, ctx, prompter, accepted);
  if (status != kExitOk) return status;
  return editor.EditEntry(old[0], accepted, row) ? kExitOk : kExitFailed;
}

int CmdHome(const Args& args, Context& ctx, Prompter& prompter) {
  const bool none = args.Has("none");
  if (!PositionalCount(args, 1, none ? 1 : 2, "pagoric home PROJECT.web [URL | --none] [--yes]",
                       ctx)) {
    return kExitNotDone;
  }
  CProjectLock lock(AbsolutePath(args.positional[0]));
  const std::string path = EditedFile(args, ctx, "home", prompter, false, lock);
  if (path.empty()) return kExitNotDone;
  CHomePageEditor editor(prompter, path);
  if (none) return editor.RemoveHome() == HomePageResult::kRemoved ? kExitOk : kExitFailed;
  if (args.positional.size() == 1) {
    // The list of the dialog, the highlighted URLs marked with "*".
    for (const CHomePageItem& item : editor.Items()) {
      ctx.out << (CHomePageEditor::IsHighlighted(item, editor.CurrentHome()) ? "* " : "  ")
              << item.m_strUrl << '\t' << item.m_strFunction << '\n';
    }
    return kExitOk;
  }
  std::string url = args.positional[1];
  EncodeSpaces(url);
  for (const CHomePageItem& item : editor.Items()) {
    if (item.m_strUrl != url) continue;
    // "/" is protected as the URL it is made from.
    const HomePageResult result = editor.SetHome(item.m_strFunction, item.m_strRealm);
    return result == HomePageResult::kFailed ? kExitFailed : kExitOk;
  }
  ctx.err << "pagoric home: the URL table has no entry " << args.positional[1]
          << (url == "/" ? " other than the home page itself" : "") << "\n";
  return kExitFailed;
}

int CmdRealms(const Args& args, Context& ctx, Prompter& prompter) {
  const std::string action = ActionOf(args, "realms", {"set", "clear"}, ctx);
  if (action == "-") return kExitNotDone;
  const size_t min = action == "set" ? 4 : 1;
  const size_t max = action == "set" ? 5 : 1;
  if (!PositionalCount(
          args, min, max,
          "pagoric realms PROJECT.web [--set N NAME USER [PASSWORD] | --clear] [--yes]", ctx)) {
    return kExitNotDone;
  }
  int realm = 0;
  if (action == "set") {
    const std::string& n = args.positional[1];
    realm = n.size() == 1 && n[0] >= '1' && n[0] <= '8' ? n[0] - '0' : 0;
    if (realm == 0) {
      ctx.err << "pagoric realms: the realm number is 1 to 8, not '" << n << "'\n";
      return kExitNotDone;
    }
  }
  CProjectLock lock(AbsolutePath(args.positional[0]));
  const std::string path = EditedFile(args, ctx, "realms", prompter, false, lock);
  if (path.empty()) return kExitNotDone;
  CSecurityTableForm form(prompter, path);
  CRealmRows rows = form.ReadRows();
  if (action.empty()) {
    for (size_t r = 0; r < rows.size(); ++r) {
      ctx.out << "Realm" << r + 1 << "\t" << rows[r].m_strName << '\t' << rows[r].m_strUser << '\t'
              << rows[r].m_strPassword << '\n';
    }
    return kExitOk;
  }
  if (action == "clear") {
    CSecurityTableForm::ClearAll(rows);
  } else {
    const std::string password = args.positional.size() > 4 ? args.positional[4] : "";
    rows[static_cast<size_t>(realm - 1)] = {args.positional[2], args.positional[3], password};
  }
  return form.Write(rows) == RealmWrite::kWritten ? kExitOk : kExitFailed;
}

int CmdBindata(const Args& args, Context& ctx, Prompter& prompter) {
  const bool remove = args.Has("remove");
  if (!PositionalCount(args, remove ? 2 : 1, remove ? SIZE_MAX : 1,
                       "pagoric bindata PROJECT.web [--remove SOURCE...] [--yes]", ctx)) {
    return kExitNotDone;
  }
  CProjectLock lock(AbsolutePath(args.positional[0]));
  const std::string path = EditedFile(args, ctx, "bindata", prompter, true, lock);
  if (path.empty()) return kExitNotDone;
  CBinaryDataRemover remover(prompter, path);
  if (!remove) {
    for (const std::string& name : remover.Names()) ctx.out << name << '\n';
    return kExitOk;
  }
  const std::vector<std::string> names(args.positional.begin() + 1, args.positional.end());
  for (const std::string& name : names) {
    if (std::find(remover.Names().begin(), remover.Names().end(), name) != remover.Names().end()) {
      continue;
    }
    ctx.err << "pagoric bindata: " << path << " holds no data of " << name << "\n";
    return kExitFailed;
  }
  const BinaryRemoval result = remover.Remove(names, [&](int, const std::string& name) {
    ctx.out << CBinaryDataRemover::kRemovingText << name << '\n';
  });
  return result == BinaryRemoval::kDone ? kExitOk : kExitFailed;
}
