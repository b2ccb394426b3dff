// Times the desktop program on a large project, side by side with the command
// line in the same run (offscreen platform, no display needed):
//
//   QT_QPA_PLATFORM=offscreen bench_gui PAGORIC_BINARY [--dir PATH] [--runs N]
//
// The project is L of bench_build in shape: 2,000 pages of about 4 KiB and
// 2,000 binary files of about 25 KiB in 20 folders, imported and saved
// unbuilt. Measured: opening it in the project window until the whole tree
// is painted; Build All from the window against `pagoric build --all` (each
// into a fresh target directory); the source browser entering a folder of
// 10,000 files; the URL file editor opening the 4,000 entries and sorting
// them by a column. Medians of --runs (3).
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QApplication>
#include <QLineEdit>
#include <QTreeView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "build/open_project.h"
#include "platform/file_util.h"
#include "project/project_verify.h"
#include "ui/editor_dlgs.h"
#include "ui/project_dlg.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void WriteFile(const std::string& path, const std::string& data) {
  std::filesystem::create_directories(FolderOf(path));
  ReplaceFileAtomically(path, data);
}

std::string MakeProject(const std::string& root) {
  std::mt19937 rng(7);
  std::string page;
  for (int i = 0; i < 2000; ++i) {
    const std::string folder = root + "/site/f" + std::to_string(i % 20);
    page.clear();
    while (page.size() < 4000) page += "<p>word " + std::to_string(rng() % 100000) + " text</p>\n";
    WriteFile(folder + "/page" + std::to_string(i) + ".htm", page);
    std::string bytes(25000, '\0');
    for (char& c : bytes) c = static_cast<char>(rng());
    WriteFile(folder + "/pic" + std::to_string(i) + ".gif", bytes);
  }
  for (int i = 0; i < 10000; ++i) WriteFile(root + "/many/file" + std::to_string(i) + ".htm", "");
  CUnattendedPrompter prompter;
  COpenProject project(prompter, nullptr);
  const std::string path = root + "/large.web";
  project.StartNew(path);
  project.ApplyLocationFields();
  project.m_settings.m_strSourceDir = root;  // the window opens browsing here
  const int added = project.ImportDirectory(project.m_tree.GetRootItem(), root + "/site");
  if (added != 4000 || !project.RefreshAndSaveUnbuilt()) {
    std::fprintf(stderr, "the project was not made (%d files)\n", added);
    std::exit(1);
  }
  return path;
}

double RunCli(const std::string& pagoric, const std::string& project, const std::string& target) {
  std::vector<std::string> args = {pagoric, "build", project, "--all", "--yes", "--target", target};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  const auto start = Clock::now();
  pid_t pid;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  posix_spawn_file_actions_destroy(&actions);
  return Since(start);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_gui PAGORIC_BINARY [--dir PATH] [--runs N]\n");
    return 2;
  }
  const std::string pagoric = AbsolutePath(argv[1]);
  std::string dir;
  int runs = 3;
  for (int i = 2; i + 1 < argc; i += 2) {
    if (std::string(argv[i]) == "--dir") dir = argv[i + 1];
    if (std::string(argv[i]) == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
  }
  if (dir.empty()) dir = MakeTempDirectory("pagoric-bench-gui-");
  std::filesystem::create_directories(dir);
  std::fprintf(stderr, "making the project in %s\n", dir.c_str());
  const std::string path = MakeProject(dir);
  CUnattendedPrompter prompter;
  CUnattendedDialogs dialogs;
  std::vector<double> open, window, cli, browse, editor, sort;
  for (int run = 0; run < runs; ++run) {
    sync();
    auto start = Clock::now();
    COpenProject project(prompter, nullptr);
    CMappedRelocationAnswers answers({});
    project.VerifyAndOpen(path, false, answers);
    CProjectDlg dlg(nullptr, project, prompter, dialogs);
    dlg.show();
    dlg.TreeView()->expandAll();
    dlg.grab();  // paints the window with its tree
    open.push_back(Since(start));

    // The two builds take turns going first, so neither always meets the
    // page cache the other filled.
    const std::string suffix = std::to_string(run);
    auto runCli = [&] {
      cli.push_back(RunCli(pagoric, path, dir + "/gen-cli-" + suffix));
      sync();
    };
    if (run % 2 == 0) runCli();
    project.m_strTargetDirField = dir + "/gen-gui-" + suffix + "/";
    dlg.findChild<QLineEdit*>("targetDirEdit")
        ->setText(QString::fromStdString(project.m_strTargetDirField));
    start = Clock::now();
    dlg.OnBuildAll();
    window.push_back(Since(start));
    sync();
    if (run % 2 == 1) runCli();

    if (project.ConvertedCount() != 4000 || project.FailedCount() != 0) {
      std::fprintf(stderr, "the window's build converted %d, %d failed\n", project.ConvertedCount(),
                   project.FailedCount());
    }
    start = Clock::now();
    dlg.OnFolderActivated("[many]");
    QApplication::processEvents();
    browse.push_back(Since(start));
    if (dlg.Browser().m_files.size() != 10000) std::fprintf(stderr, "browser: wrong count\n");
    dlg.OnFolderActivated("[..]");

    // The URL file editor on the 4,000 entries the build wrote.
    start = Clock::now();
    {
      CUrlFileDlg urls(nullptr, project.m_settings.m_strTargetDir + project.m_settings.m_strUrlFile,
                       prompter);
      urls.show();
      urls.grab();
      editor.push_back(Since(start));
      if (urls.List()->topLevelItemCount() != 4000) std::fprintf(stderr, "editor: wrong count\n");
      start = Clock::now();
      urls.List()->SortBy(2);
      urls.grab();
      sort.push_back(Since(start));
    }
  }
  std::printf("| measurement | seconds (median of %d) |\n| --- | --- |\n", runs);
  std::printf("| open the 4,000-node project to a painted tree | %.3f |\n", Median(open));
  std::printf("| Build All from the window | %.3f |\n", Median(window));
  std::printf("| `pagoric build --all` | %.3f |\n", Median(cli));
  std::printf("| window / command line | %.2f |\n", Median(window) / Median(cli));
  std::printf("| browser enters a folder of 10,000 files | %.3f |\n", Median(browse));
  std::printf("| URL file editor opens 4,000 entries | %.3f |\n", Median(editor));
  std::printf("| URL file editor sorts a column | %.3f |\n", Median(sort));
  std::filesystem::remove_all(dir);
  return 0;
}
