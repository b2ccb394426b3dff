#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "build/open_project.h"
#include "build/source_browser.h"
#include "ui/ui_dialogs.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProcess;
class QProgressBar;
class QPushButton;
class QSettings;
class QTreeView;
class CPreviewProgram;
class CUrlTreeModel;

// The working window of one open project: the source browser on the left, the
// URL tree on the right, the buttons between them, the file-location fields,
// the build log and the build and editor buttons. It shows an open project
// (COpenProject) and forwards every action to it; only "&Close" ends it.
//
// A build runs on the window's thread: the project's log sink appends each
// line as it comes and lets the window paint, with every control but the log
// disabled until the build ends, so a second click cannot start another.
class CProjectDlg : public QDialog, private CBuildLogSink {
 public:
  // Asked for each generated page file holding user code that a rename or
  // removal leaves behind: Yes keeps the file, No deletes it.
  static constexpr const char* kUserCodeLeftText =
      "The page file %s holds your own code (form handlers or dynamic functions), and no item "
      "of the tree stands for it any more.\r\nDo you want to keep the file?\r\n(No deletes it.)";
  static constexpr const char* kCannotRemoveText = "Cannot remove %s";
  // Said instead of the question for a left-behind file that holds a form
  // handler: other pages may post to it, so it is kept.
  static constexpr const char* kFormHandlerKeptText =
      "The page file %s holds your own code and a form handler that other pages of the project "
      "may post to; no item of the tree stands for it any more, and it was kept.";
  // The log line of a running preview (%s: the page's address), and the
  // messages when its server cannot be built or does not start.
  static constexpr const char* kPreviewRunningText =
      "Preview: %s (the server stops with this window)";
  static constexpr const char* kPreviewNotBuiltText = "The preview server cannot be built:\r\n%s";
  static constexpr const char* kPreviewNotStartedText = "The preview server did not start:\r\n%s";
  // The C compiler of the preview server.
  static constexpr const char* kPreviewCompiler = "cc";
  // Where the window keeps its size and position in the settings.
  static constexpr const char* kPlacementKey = "ProjectWindow";

  // Which editor an editor button opens on its file.
  enum class Editor { kUrlFile, kRemoveBinData, kHomePage };
  using EditorOpener = std::function<void(Editor editor, const std::string& path)>;
  // Opens an address in the browser (the system's browser; tests replace it).
  using UrlOpener = std::function<void(const std::string& url)>;

  // project is open (VerifyAndOpen) and outlives the window; it gets the
  // window as its build log.
  CProjectDlg(QWidget* parent, COpenProject& project, Prompter& prompter, CUiDialogs& dialogs);
  ~CProjectDlg() override;

  // What the editor buttons open once their checks pass (the editor dialogs;
  // tests replace it).
  void SetEditorOpener(EditorOpener opener) { m_editorOpener = std::move(opener); }
  void SetUrlOpener(UrlOpener opener) { m_urlOpener = std::move(opener); }

  // The window opens where it was closed last time (settings, nullptr: in
  // the middle of the screen), never larger than the screen allows, and "&Close"
  // remembers the place.
  void SetPlacementSettings(QSettings* settings);

  // Handlers of the controls; tests call them as the buttons do. "===>" adds
  // the selected files, or, with no file but a folder of the browser
  // selected, that folder with everything below it.
  void OnAddFiles();
  void OnRemove();
  void OnNewFolder();
  void OnChooseTarget();
  void OnBuild();
  void OnBuildAll();
  void OnClose();
  void OnEditor(Editor editor);
  // "Pre&view": builds, compiles the host web server with the generated
  // files, starts it on a free port of 127.0.0.1 and opens the home page in
  // the browser. A running preview is stopped first; the window stops it
  // when it closes.
  void OnPreview();
  void StopPreview();
  bool IsPreviewRunning() const { return m_pServer != nullptr; }
  void OnFilterChanged(int index);
  void OnDriveChanged(int index);
  void OnFolderActivated(const QString& entry);
  // The path field above the folder list: a folder (absolute, or relative to
  // the shown one) is shown; a file's folder is shown with the file selected.
  void OnPathEntered(const QString& path);
  // Files and folders dropped on the tree: under target (a file item's
  // folder), folders with everything below them.
  void OnDropPaths(HTREEITEM target, const std::vector<std::string>& paths);
  // The end of a folder label edit.
  bool OnRenameFolder(HTREEITEM item, const std::string& text);

  COpenProject& Project() { return m_project; }
  const CSourceBrowser& Browser() const { return m_browser; }
  QTreeView* TreeView() const { return m_pTree; }
  bool IsBuilding() const { return m_bBuilding; }
  // The tree item selected in the view, or nullptr.
  HTREEITEM SelectedItem() const;
  void SelectItem(HTREEITEM item);

  // Enter and Escape do nothing here; only "&Close" ends the window.
  void reject() override {}
  void accept() override {}

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // CBuildLogSink
  void LogAppended(const std::string& log, const std::string& text) override;
  void Progress(int done, int total) override;

  void BuildLayout();
  // The three file-location fields: from the widgets into the project, and
  // back into the widgets.
  void TakeFields();
  void ShowFields();
  // Shows the browser's lists; remembers the folder for the project file.
  void ShowBrowser();
  // Changes the tree through edit, keeping what was expanded and selected (a
  // deleted selection moves to a neighbour).
  void ChangeTree(const std::function<void()>& edit);
  // A removal through ChangeTree, then OfferToRemoveUserCode.
  void RemoveKeepingUserCode(const std::function<void()>& edit);
  // Asks kUserCodeLeftText for each page file with user code that the tree
  // stood for before (PageFilesOfTree) and no longer does.
  void OfferToRemoveUserCode(const std::set<std::string>& before);
  // Adds paths under folder (AddPaths) and reports the import in the log.
  void AddPaths(HTREEITEM folder, const std::vector<std::string>& paths);
  // True when the build ran and converted every node it took up.
  bool RunBuild(bool all);
  void SetBusy(bool busy);
  // Shows the log text gathered since the last paint and lets the window paint.
  void FlushLog(bool force);

  COpenProject& m_project;
  Prompter& m_prompter;
  CUiDialogs& m_dialogs;
  CSourceBrowser m_browser;
  EditorOpener m_editorOpener;
  UrlOpener m_urlOpener;
  std::unique_ptr<CPreviewProgram> m_preview;
  QProcess* m_pServer = nullptr;
  bool m_bBuilding = false;
  std::string m_strPendingLog;
  bool m_bLogFromBuild = true;  // the log shows this build's lines (false: still the last one's)
  int m_nProgressDone = 0;
  int m_nProgressTotal = 0;
  QElapsedTimer m_paintTimer;
  QSettings* m_pSettings = nullptr;

  QComboBox* m_pFilter = nullptr;
  QLabel* m_pFolderLabel = nullptr;
  QLineEdit* m_pPath = nullptr;
  QListWidget* m_pFolders = nullptr;
  QListWidget* m_pFiles = nullptr;
  QComboBox* m_pDrives = nullptr;
  QPushButton* m_pNewFolder = nullptr;
  QPushButton* m_pAdd = nullptr;
  QPushButton* m_pRemove = nullptr;
  QTreeView* m_pTree = nullptr;
  CUrlTreeModel* m_pModel = nullptr;
  QLineEdit* m_pTargetDir = nullptr;
  QPushButton* m_pChooseTarget = nullptr;
  QLineEdit* m_pUrlFile = nullptr;
  QLineEdit* m_pBinFile = nullptr;
  QComboBox* m_pDataForm = nullptr;
  QPlainTextEdit* m_pLog = nullptr;
  QProgressBar* m_pProgress = nullptr;
  QList<QWidget*> m_busyDisabled;
};
