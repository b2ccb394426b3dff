// The application, the start dialog and the relocation dialogs, driven on the
// offscreen platform.
#include "ui/converter_app.h"

#include <unistd.h>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QtTest>
#include <csignal>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <functional>

#include "build/open_project.h"
#include "platform/file_util.h"
#include "project/project_file.h"
#include "testing/temp_dir.h"
#include "ui/gui_args.h"
#include "ui/project_dlg.h"
#include "ui/relocation_dlgs.h"
#include "ui/ui_test_support.h"

namespace {}  // namespace

class ConverterAppTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { InstallScriptFailureHandler(); }
  void cleanup() { QCOMPARE(TakeScriptFailures(), std::vector<std::string>()); }

  // The stored values are exactly Project1 .. Projectn after a write, whatever
  // a longer earlier list left.
  void recentListIsWrittenBackExactly() {
    TempDir dir;
    QSettings settings(QString::fromStdString(dir.File("settings.ini")), QSettings::IniFormat);
    for (int i = 1; i <= 10; ++i) {
      settings.setValue(QString("Recent Project List/Project%1").arg(i),
                        QString("/p/%1.web").arg(i));
    }
    settings.setValue("Recent Project List/Stray", "x");
    settings.setValue("Other/Keep", "y");
    ScriptedPrompter prompter;
    CScriptedDialogs dialogs;
    CConverterApp app(prompter, dialogs, settings, dir.File("lock"));
    app.LoadRecentList();
    QCOMPARE(app.RecentList().GetEntry(9), std::string("/p/10.web"));
    for (int i = 0; i < 7; ++i) app.RecentList().RemoveFromRecentList(0);
    app.SaveRecentList();
    settings.beginGroup("Recent Project List");
    QCOMPARE(settings.childKeys(), QStringList({"Project1", "Project2", "Project3"}));
    QCOMPARE(settings.value("Project1").toString(), QString("/p/8.web"));
    settings.endGroup();
    QCOMPARE(settings.value("Other/Keep").toString(), QString("y"));
  }

  // A second instance is refused while the first runs, and starts once the
  // first was killed outright.
  void secondInstanceRefusedUntilTheFirstDies() {
    const QString binary = qEnvironmentVariable("PAGORIC_GUI_BINARY");
    if (binary.isEmpty()) QSKIP("PAGORIC_GUI_BINARY is not set");
    TempDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir.path()));
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(dir.File("config")));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess first;
    first.setProcessEnvironment(env);
    first.start(binary, {});
    QVERIFY(first.waitForStarted());
    const std::string lockPath = dir.File("pagoric-gui-" + std::to_string(::getuid()) + ".lock");
    QTRY_VERIFY_WITH_TIMEOUT(PathExists(lockPath), 20000);
    QTest::qWait(300);  // the lock is taken right after the file is made

    QSettings settings(QString::fromStdString(dir.File("s.ini")), QSettings::IniFormat);
    ScriptedPrompter prompter;
    CScriptedDialogs dialogs;
    CConverterApp second(prompter, dialogs, settings, lockPath);
    QVERIFY(!second.Start());
    QCOMPARE(dialogs.m_shown,
             std::vector<std::string>{
                 "Multiple Instance Error: Application is already running - Terminate this "
                 "instance."});
    ::kill(static_cast<pid_t>(first.processId()), SIGKILL);
    QVERIFY(first.waitForFinished());
    QVERIFY(second.Start());
  }

  void startDialogChoices() {
    CRecentList recent;
    recent.AddToRecentList("/p/b.web");
    recent.AddToRecentList("/p/a.web");
    ScriptedPrompter prompter;
    CScriptedDialogs dialogs;
    {
      CRecentProjectsDlg dialog(nullptr, recent, prompter, dialogs);
      auto* list = dialog.findChild<QListWidget*>("recentList");
      QCOMPARE(list->count(), 2);
      ClickButton(&dialog, "openSelectedButton");
      QCOMPARE(prompter.Texts(), std::vector<std::string>{"Please select a project!"});
      QCOMPARE(dialog.GetChoice().kind, CRecentProjectsDlg::Choice::kNone);
      dialogs.QueueAnswer("");  // Cancel in the file dialog keeps the dialog
      ClickButton(&dialog, "newProjectButton");
      QCOMPARE(dialog.GetChoice().kind, CRecentProjectsDlg::Choice::kNone);
      list->setCurrentRow(1);
      ClickButton(&dialog, "openSelectedButton");
      QCOMPARE(dialog.GetChoice().kind, CRecentProjectsDlg::Choice::kSelected);
      QCOMPARE(dialog.GetChoice().path, std::string("/p/b.web"));
      QCOMPARE(dialog.GetChoice().index, 1);
      QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }
    {
      CRecentProjectsDlg dialog(nullptr, recent, prompter, dialogs);
      dialogs.QueueAnswer("/p/new.web");
      ClickButton(&dialog, "newProjectButton");
      QCOMPARE(dialog.GetChoice().kind, CRecentProjectsDlg::Choice::kNew);
      QCOMPARE(dialog.GetChoice().path, std::string("/p/new.web"));
    }
  }

  void aboutBox() {
    ScriptedPrompter prompter;
    CScriptedDialogs dialogs;
    CRecentProjectsDlg dialog(nullptr, CRecentList(), prompter, dialogs);
    bool seen = false;
    WhenModal<CAboutDlg>([&](CAboutDlg* about) {
      seen = about->windowTitle() == "About Pagoric" &&
             about->findChild<QLabel*>("aboutText")->text() == "Pagoric Version 1.0";
      about->accept();
    });
    ClickButton(&dialog, "aboutButton");
    QVERIFY(seen);
  }

  // What happens to the recent list after a choice: an opened project goes to
  // the top; a selected entry that cannot be opened goes; a failed "Open
  // Others" leaves the list alone.
  void recentListAfterOpening() {
    TempDir dir;
    QSettings settings(QString::fromStdString(dir.File("s.ini")), QSettings::IniFormat);
    ScriptedPrompter prompter;
    CScriptedDialogs dialogs;
    CConverterApp app(prompter, dialogs, settings, dir.File("lock"));
    app.RecentList().Load({"/p/a.web", "/p/b.web", "/p/c.web"});
    int result = 0;
    app.SetProjectOpener([&](const std::string&, bool) { return result; });
    using Choice = CRecentProjectsDlg::Choice;
    app.OpenChoice({Choice::kOther, "/p/x.web", -1});
    QCOMPARE(app.RecentList().NonEmptyEntries().size(), size_t(3));
    app.OpenChoice({Choice::kSelected, "/p/b.web", 1});
    QCOMPARE(app.RecentList().NonEmptyEntries(),
             (std::vector<std::string>{"/p/a.web", "/p/c.web"}));
    result = 1;
    const std::string saved = dir.Write("c.web", "a project");
    app.OpenChoice({Choice::kSelected, saved, 1});
    QCOMPARE(app.RecentList().GetEntry(0), saved);
    // A new project whose file could not be saved is not listed.
    app.OpenChoice({Choice::kNew, dir.File("unsaved.web"), -1});
    QCOMPARE(app.RecentList().GetEntry(0), saved);
  }

  void newProjectOverAnExistingFileAsksFirst() {
    TempDir dir;
    const std::string existing = dir.Write("old.web", "a project");
    ScriptedPrompter prompter;
    CScriptedDialogs dialogs;
    CRecentProjectsDlg dialog(nullptr, CRecentList(), prompter, dialogs);
    dialogs.QueueAnswer(existing);
    prompter.QueueAnswer(false);  // No: the dialog stays
    ClickButton(&dialog, "newProjectButton");
    QCOMPARE(dialog.GetChoice().kind, CRecentProjectsDlg::Choice::kNone);
    QCOMPARE(prompter.Texts(),
             std::vector<std::string>{existing +
                                      " already exists.\r\nDo you want to replace it with a new "
                                      "project when it is saved?"});
    dialogs.QueueAnswer(existing);
    prompter.QueueAnswer(true);
    ClickButton(&dialog, "newProjectButton");
    QCOMPARE(dialog.GetChoice().kind, CRecentProjectsDlg::Choice::kNew);
    QCOMPARE(dialog.GetChoice().path, existing);
  }

  // An unreadable project is refused before any window opens.
  void unreadableProjectIsNotOpened() {
    TempDir dir;
    const std::string path = dir.Write("bad.web", "not a project");
    QSettings settings(QString::fromStdString(dir.File("s.ini")), QSettings::IniFormat);
    ScriptedPrompter prompter;
    CScriptedDialogs dialogs;
    CConverterApp app(prompter, dialogs, settings, dir.File("lock"));
    QCOMPARE(app.OpenProject(path, false), 0);
    QCOMPARE(prompter.Texts(),
             std::vector<std::string>{"Invalid .web file or file no longer exists"});
  }

  void fileNotFoundDialogAcceptsOnlyAnExistingFile() {
    TempDir dir;
    dir.Write("new/logo.gif", "GIF");
    ScriptedPrompter prompter;
    CScriptedDialogs dialogs;
    CFileNotFoundDlg dialog(nullptr, "/old", "/old/logo.gif", "/logo.gif", prompter, dialogs);
    QCOMPARE(dialog.windowTitle(), QString("Warning: file not found"));
    auto* field = dialog.findChild<QLineEdit*>("newLocationEdit");
    QCOMPARE(field->text().toStdString(), CurrentDirectory());  // starts in the working directory
    dialog.show();
    field->setText(QString::fromStdString(dir.File("old")));
    ClickButton(&dialog, "okButton");
    QVERIFY(dialog.isVisible());
    QCOMPARE(prompter.Texts(), std::vector<std::string>{"File: " + dir.File("old") +
                                                        "/logo.gif still couldn't be found"});
    // "..." fills the field without a trailing separator.
    dialogs.QueueAnswer(dir.File("new") + kPathSeparator);
    ClickButton(&dialog, "chooseFolderButton");
    QCOMPARE(dialog.NewLocation(), dir.File("new"));
    ClickButton(&dialog, "okButton");
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
  }

  void targetDirDialogAcceptsDirectoriesOnly() {
    TempDir dir;
    dir.Write("out/file.c", "");
    ScriptedPrompter prompter;
    CScriptedDialogs dialogs;
    CTargetDirDlg dialog(nullptr, "/gone/", prompter, dialogs);
    QCOMPARE(dialog.windowTitle(), QString("Warning: Invalid Target Directory"));
    auto* field = dialog.findChild<QLineEdit*>("newDirectoryEdit");
    dialog.show();
    field->setText(QString::fromStdString(dir.File("out/file.c")));
    ClickButton(&dialog, "okButton");
    QVERIFY(dialog.isVisible());
    field->setText(QString::fromStdString(dir.File("out")));
    ClickButton(&dialog, "okButton");
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.NewDirectory(), dir.File("out") + kPathSeparator);
    QCOMPARE(prompter.Texts().size(), size_t(1));
  }

  // A moved project opens after the user names the new place of its first
  // missing file; the learned prefix moves the others without a question.
  void movedProjectOpensThroughTheDialogs() {
    TempDir dir;
    dir.Write("old/site/index.htm", "<p>hi</p>\n");
    dir.Write("old/site/img/logo.gif", "GIF");
    const std::string project = dir.File("p.web");
    {
      ScriptedPrompter prompter;
      COpenProject open(prompter, nullptr);
      open.StartNew(project);
      QVERIFY(open.ImportDirectory(open.m_tree.GetRootItem(), dir.File("old/site")) == 2);
      QVERIFY(open.OnBuildAll());
    }
    std::filesystem::rename(dir.File("old"), dir.File("new"));
    QSettings settings(QString::fromStdString(dir.File("s.ini")), QSettings::IniFormat);
    ScriptedPrompter prompter;
    CScriptedDialogs dialogs;
    CConverterApp app(prompter, dialogs, settings, dir.File("lock"));
    int asked = 0;
    WhenModal<CFileNotFoundDlg>([&](CFileNotFoundDlg* dialog) {
      ++asked;
      dialog->findChild<QLineEdit*>("newLocationEdit")
          ->setText(QString::fromStdString(dir.File("new/site/img")));
      ClickButton(dialog, "okButton");
      if (dialog->isVisible()) dialog->reject();  // refused: end the test instead of hanging
      WhenModal<CProjectDlg>([&](CProjectDlg* window) { ClickButton(window, "closeButton"); });
    });
    QCOMPARE(app.OpenProject(project, false), 1);
    QCOMPARE(asked, 1);
    CPageNodeList nodes;
    CProjectSettings stored;
    QVERIFY(LoadProjectFile(project, nodes, stored));
    int moved = 0;
    for (const auto& node : nodes) {
      if (!node->GetFolder() && node->GetPath().rfind(dir.File("new/site/"), 0) == 0) ++moved;
    }
    QCOMPARE(moved, 2);
  }

  // Closing a project, or a recent entry that cannot be opened, brings the
  // start dialog back (the dead entry gone from it); "&Close" there ends.
  void startDialogComesBackUntilItIsClosed() {
    TempDir dir;
    QSettings settings(QString::fromStdString(dir.File("s.ini")), QSettings::IniFormat);
    settings.setValue("Recent Project List/Project1", "/p/live.web");
    settings.setValue("Recent Project List/Project2", "/p/dead.web");
    ScriptedPrompter prompter;
    CScriptedDialogs dialogs;
    CConverterApp app(prompter, dialogs, settings, dir.File("lock"));
    std::vector<std::string> opened;
    app.SetProjectOpener([&](const std::string& path, bool) {
      opened.push_back(path);
      return path == "/p/live.web" ? 1 : 0;
    });
    // What each start dialog shows, and the row chosen in it (-1: "&Close").
    QList<QStringList> shown;
    std::deque<int> rows{1, 0, -1};
    std::function<void(CRecentProjectsDlg*)> act = [&](CRecentProjectsDlg* dialog) {
      if (!dialog->isVisible() || dialog->result() != 0) {  // the last one, closing
        WhenModal<CRecentProjectsDlg>(act);
        return;
      }
      auto* list = dialog->findChild<QListWidget*>("recentList");
      QStringList entries;
      for (int i = 0; i < list->count(); ++i) entries << list->item(i)->text();
      shown << entries;
      const int row = rows.front();
      rows.pop_front();
      if (!rows.empty()) WhenModal<CRecentProjectsDlg>(act);
      if (row < 0) {
        ClickButton(dialog, "closeButton");
      } else {
        list->setCurrentRow(row);
        ClickButton(dialog, "openSelectedButton");
      }
    };
    WhenModal<CRecentProjectsDlg>(act);
    QCOMPARE(app.Run(), 0);
    QVERIFY(rows.empty());
    QCOMPARE(opened, (std::vector<std::string>{"/p/dead.web", "/p/live.web"}));
    QCOMPARE(shown, (QList<QStringList>{
                        {"/p/live.web", "/p/dead.web"}, {"/p/live.web"}, {"/p/live.web"}}));
    QCOMPARE(settings.value("Recent Project List/Project1").toString(), QString("/p/live.web"));
    QVERIFY(!settings.contains("Recent Project List/Project2"));
  }

  // A project named on the command line opens before the start dialog shows,
  // its relative path made absolute, and goes to the top of the list.
  void projectFromTheCommandLineOpensFirst() {
    TempDir dir;
    QSettings settings(QString::fromStdString(dir.File("s.ini")), QSettings::IniFormat);
    ScriptedPrompter prompter;
    CScriptedDialogs dialogs;
    CConverterApp app(prompter, dialogs, settings, dir.File("lock"));
    std::vector<std::string> opened;
    app.SetProjectOpener([&](const std::string& path, bool isNew) {
      opened.push_back(path + (isNew ? " new" : ""));
      // As the real opener does: only a project whose file exists is listed.
      ReplaceFileAtomically(path, "");
      return 1;
    });
    QStringList listed;
    WhenModal<CRecentProjectsDlg>([&](CRecentProjectsDlg* dialog) {
      auto* list = dialog->findChild<QListWidget*>("recentList");
      for (int i = 0; i < list->count(); ++i) listed << list->item(i)->text();
      ClickButton(dialog, "closeButton");
    });
    QCOMPARE(app.Run("site.web"), 0);
    std::remove((CurrentDirectory() + "/site.web").c_str());
    QCOMPARE(opened, std::vector<std::string>{CurrentDirectory() + "/site.web"});
    QCOMPARE(listed, QStringList{QString::fromStdString(CurrentDirectory() + "/site.web")});
  }

  void commandLineArguments() {
    using Args = std::vector<std::string>;
    QCOMPARE(ParseGuiArguments({}).action, CGuiArguments::kRun);
    QCOMPARE(ParseGuiArguments({}).project, std::string());
    QCOMPARE(ParseGuiArguments({"a.web"}).project, std::string("a.web"));
    QCOMPARE(ParseGuiArguments({"--", "-odd.web"}).project, std::string("-odd.web"));
    QCOMPARE(ParseGuiArguments({"a.web", "--help"}).action, CGuiArguments::kHelp);
    QCOMPARE(ParseGuiArguments({"-h"}).action, CGuiArguments::kHelp);
    QCOMPARE(ParseGuiArguments({"-platform", "xcb", "--version"}).action, CGuiArguments::kVersion);
    QCOMPARE(ParseGuiArguments({"--version"}).action, CGuiArguments::kVersion);
    QVERIFY(!AsksForHelpOrVersion(Args{"--", "--help"}));
    const CGuiArguments unknown = ParseGuiArguments({"--bogus"});
    QCOMPARE(unknown.action, CGuiArguments::kUsageError);
    QCOMPARE(unknown.error, std::string("unknown option --bogus"));
    QCOMPARE(ParseGuiArguments({"a.web", "b.web"}).error,
             std::string("only one project file can be opened"));
  }

  // --help and --version answer without a display; a wrong option ends with
  // status 2.
  void programAnswersHelpAndVersionWithoutADisplay() {
    const QString binary = qEnvironmentVariable("PAGORIC_GUI_BINARY");
    if (binary.isEmpty()) QSKIP("PAGORIC_GUI_BINARY is not set");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    auto run = [&](const QStringList& args, int& status) {
      QProcess process;
      process.setProcessEnvironment(env);
      process.start(binary, args);
      process.waitForFinished(20000);
      status = process.exitCode();
      return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    };
    int status = -1;
    QCOMPARE(run({"--version"}, status), QString::fromStdString(GuiVersionText()));
    QCOMPARE(status, 0);
    QCOMPARE(run({"--help"}, status), QString::fromStdString(GuiHelpText()));
    QCOMPARE(status, 0);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    QCOMPARE(run({"--bogus"}, status).contains("pagoric-gui: unknown option --bogus"), true);
    QCOMPARE(status, kGuiUsageExit);
  }
};

QTEST_MAIN(ConverterAppTest)
#include "converter_app_test.moc"
