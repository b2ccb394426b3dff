#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "build/recent_list.h"
#include "platform/project_lock.h"
#include "ui/ui_dialogs.h"

class QListWidget;
class QSettings;

// The start dialog: the recent projects, and the buttons that create a
// project, open the selected one or open any other project file. It closes as
// soon as a project is chosen and says which (Choice); the application opens it.
class CRecentProjectsDlg : public QDialog {
 public:
  static constexpr const char* kSelectProjectText = "Please select a project!";
  // "&New Project" on a file that exists: Yes goes on, No stays in the dialog.
  static constexpr const char* kReplaceProjectText =
      "%s already exists.\r\nDo you want to replace it with a new project when it is saved?";

  // What the user chose before the dialog closed.
  struct Choice {
    enum Kind { kNone, kNew, kOther, kSelected } kind = kNone;
    std::string path;
    int index = -1;  // kSelected: the entry's place in the recent list
  };

  CRecentProjectsDlg(QWidget* parent, const CRecentList& recent, Prompter& prompter,
                     CUiDialogs& dialogs);
  const Choice& GetChoice() const { return m_choice; }

  void OnNewProject();
  void OnOpenOthers();
  void OnOpenSelected();
  void OnAbout();

 private:
  Prompter& m_prompter;
  CUiDialogs& m_dialogs;
  QListWidget* m_pList;
  Choice m_choice;
};

// The About box: the application's icon, "Pagoric Version 1.0" and OK.
class CAboutDlg : public QDialog {
 public:
  explicit CAboutDlg(QWidget* parent);
};

// The application: one running instance, the recent-project list kept in the
// settings (organisation "Brindmoor", application "Pagoric", group "Recent
// Project List", values Project1 .. Project10, written back only at exit), the
// start dialog, then the project window of the chosen project. Closing the
// project window, or a project that cannot be opened, brings the start dialog
// back; the program ends when the start dialog is closed.
class CConverterApp {
 public:
  static constexpr const char* kRunningText =
      "Application is already running - Terminate this instance.";
  static constexpr const char* kRunningTitle = "Multiple Instance Error";
  static constexpr const char* kRecentGroup = "Recent Project List";

  // Opens a project in the project window and runs it: 1 when it ended with
  // "&Close", 0 when it could not be opened, -1 when another process is
  // changing it (the recent list keeps it).
  using ProjectOpener = std::function<int(const std::string& path, bool isNew)>;

  CConverterApp(Prompter& prompter, CUiDialogs& dialogs, QSettings& settings, std::string lockPath);

  // Start-up, the start dialog and the chosen projects until the start dialog
  // is closed, and the exit steps; the process's exit status. A project path
  // (from the command line) is opened first, as "&Open Others ..." would.
  int Run(const std::string& projectPath = "");

  // The single-instance check: false (the box was shown) when another instance
  // runs.
  bool Start();
  void LoadRecentList();
  // Replaces the stored list: every old value goes, the non-empty entries are
  // written as Project1 upwards.
  void SaveRecentList();
  // Opens what the start dialog chose and keeps the recent list: a project
  // that opened goes to the top, unless its file was never saved; a selected
  // entry that could not be opened is removed.
  void OpenChoice(const CRecentProjectsDlg::Choice& choice);
  // The project window modally, after verifying an existing project, while
  // holding the project's lock.
  int OpenProject(const std::string& path, bool isNew);

  void SetProjectOpener(ProjectOpener opener) { m_opener = std::move(opener); }
  CRecentList& RecentList() { return m_recent; }

 private:
  Prompter& m_prompter;
  CUiDialogs& m_dialogs;
  QSettings& m_settings;
  std::string m_strLockPath;
  CFileLock m_lock;
  CRecentList m_recent;
  ProjectOpener m_opener;
};
