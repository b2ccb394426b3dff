#include "ui/project_dlg.h"

#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <filesystem>
#include <sstream>
#include <system_error>
#include <unordered_set>

#include "build/page_files.h"
#include "cli/preview.h"
#include "platform/file_util.h"
#include "platform/process.h"
#include "project/project_verify.h"
#include "ui/editor_dlgs.h"
#include "ui/tree_images.h"
#include "ui/url_tree_model.h"
#include "ui/window_placement.h"

namespace {

// How often a running build lets the window paint (milliseconds).
constexpr qint64 kPaintInterval = 40;
// The size the window would like, when the screen has room for it.
constexpr QSize kWantedSize(980, 720);

// The local files and folders a drag from a file manager carries.
std::vector<std::string> LocalPaths(const QMimeData* data) {
  std::vector<std::string> paths;
  if (!data || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) paths.push_back(FromQt(QFileInfo(url.toLocalFile()).absoluteFilePath()));
  }
  return paths;
}

bool IsEnterKey(QEvent* event) {
  if (event->type() != QEvent::KeyPress) return false;
  const int key = static_cast<QKeyEvent*>(event)->key();
  return key == Qt::Key_Return || key == Qt::Key_Enter;
}

QLineEdit* Field(const char* name, QWidget* parent) {
  auto* field = new QLineEdit(parent);
  field->setObjectName(name);
  return field;
}

}  // namespace

CProjectDlg::CProjectDlg(QWidget* parent, COpenProject& project, Prompter& prompter,
                         CUiDialogs& dialogs)
    : QDialog(parent), m_project(project), m_prompter(prompter), m_dialogs(dialogs) {
  setWindowTitle(ToQt(m_project.m_strProjectPath));
  setWindowIcon(AppIcon());
  // A caption but no close box: only "&Close" ends the window.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  m_project.SetLogSink(this);
  BuildLayout();
  m_editorOpener = [this](Editor editor, const std::string& path) {
    switch (editor) {
      case Editor::kUrlFile:
        CUrlFileDlg(this, path, m_prompter).exec();
        break;
      case Editor::kRemoveBinData:
        CRemoveBinDlg(this, path, m_prompter).exec();
        break;
      case Editor::kHomePage:
        CHomePageDlg(this, path, m_prompter).exec();
        break;
    }
  };
  m_urlOpener = [](const std::string& url) { QDesktopServices::openUrl(QUrl(ToQt(url))); };

  // The browser starts in the folder the project remembers, else in the
  // working directory.
  const std::string& remembered = m_project.m_settings.m_strSourceDir;
  if (remembered.empty() || !m_browser.Fill(remembered)) m_browser.Fill(CurrentDirectory());
  ShowBrowser();
  ShowFields();

  if (HTREEITEM root = m_project.m_tree.GetRootItem()) {
    m_pTree->expand(m_pModel->IndexOf(root));
    SelectItem(root);
  }
}

CProjectDlg::~CProjectDlg() {
  StopPreview();
  m_project.SetLogSink(nullptr);
}

void CProjectDlg::BuildLayout() {
  auto* top = new QHBoxLayout;

  // Source browser.
  auto* source = new QGroupBox(" Source ", this);
  auto* sourceLayout = new QGridLayout(source);
  m_pFilter = new QComboBox(source);
  m_pFilter->setObjectName("filterCombo");
  for (const std::string& filter : CSourceBrowser::Filters()) m_pFilter->addItem(ToQt(filter));
  m_pFolderLabel = new QLabel(source);
  m_pFolderLabel->setObjectName("currentFolderLabel");
  m_pFolderLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
  m_pFolderLabel->setMinimumWidth(10);
  m_pPath = Field("pathEdit", source);
  m_pPath->setPlaceholderText("a folder or file, then Enter");
  m_pPath->setToolTip("Shows a folder (absolute, or relative to the folder shown)");
  m_pFolders = new QListWidget(source);
  m_pFolders->setObjectName("folderList");
  m_pFiles = new QListWidget(source);
  m_pFiles->setObjectName("fileList");
  m_pFiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
  m_pFiles->setUniformItemSizes(true);
  m_pFolders->setUniformItemSizes(true);
  m_pDrives = new QComboBox(source);
  m_pDrives->setObjectName("driveCombo");
  m_pDrives->setPlaceholderText("(choose a drive)");
  sourceLayout->addWidget(new QLabel("Filter :", source), 0, 0);
  sourceLayout->addWidget(m_pFilter, 0, 1);
  sourceLayout->addWidget(m_pFolderLabel, 1, 0, 1, 2);
  sourceLayout->addWidget(new QLabel("Go to :", source), 2, 0);
  sourceLayout->addWidget(m_pPath, 2, 1);
  sourceLayout->addWidget(m_pFolders, 3, 0, 1, 2);
  sourceLayout->addWidget(m_pFiles, 4, 0, 1, 2);
  sourceLayout->addWidget(new QLabel("Drives :", source), 5, 0);
  sourceLayout->addWidget(m_pDrives, 5, 1);
  sourceLayout->setColumnStretch(1, 1);
  sourceLayout->setRowStretch(3, 2);
  sourceLayout->setRowStretch(4, 3);
  m_pFolders->setToolTip(
      "Double click or Enter opens a folder; \"===>\" adds the selected "
      "folder with everything below it");
  m_pFolders->installEventFilter(this);
  top->addWidget(source, 4);

  // The buttons between browser and tree.
  auto* middle = new QVBoxLayout;
  m_pNewFolder = MakeButton("", "newFolderButton", this);
  m_pNewFolder->setIcon(QIcon(NewFolderPixmap()));
  m_pNewFolder->setIconSize(QSize(48, 40));
  m_pNewFolder->setToolTip("New folder in the URL tree");
  m_pAdd = MakeButton("===>", "addFilesButton", this);
  m_pRemove = MakeButton("<==", "removeButton", this);
  middle->addStretch();
  middle->addWidget(m_pNewFolder);
  middle->addSpacing(12);
  middle->addWidget(m_pAdd);
  middle->addWidget(m_pRemove);
  middle->addStretch();
  top->addLayout(middle);

  // The URL tree.
  m_pTree = new QTreeView(this);
  m_pTree->setObjectName("urlTreeView");
  m_pModel = new CUrlTreeModel(m_project.m_tree, this);
  m_pModel->SetPrompter(&m_prompter);
  m_pTree->setModel(m_pModel);
  m_pTree->setHeaderHidden(true);
  m_pTree->setRootIsDecorated(false);  // no lines at the root
  m_pTree->setUniformRowHeights(true);
  m_pTree->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
  m_pTree->installEventFilter(this);
  // Files and folders dragged from a file manager land in the tree.
  m_pTree->setAcceptDrops(true);
  m_pTree->setDropIndicatorShown(true);
  m_pTree->viewport()->installEventFilter(this);
  m_pModel->SetLabelEditor(
      [this](HTREEITEM item, const std::string& text) { return OnRenameFolder(item, text); });
  top->addWidget(m_pTree, 5);

  // File locations, log, build and edit buttons.
  auto* bottom = new QHBoxLayout;
  auto* left = new QVBoxLayout;
  auto* location = new QGroupBox("File Location", this);
  auto* locationLayout = new QGridLayout(location);
  m_pTargetDir = Field("targetDirEdit", location);
  m_pChooseTarget = MakeButton("...", "chooseTargetButton", location);
  m_pUrlFile = Field("urlFileEdit", location);
  m_pBinFile = Field("binFileEdit", location);
  locationLayout->addWidget(new QLabel("Target Directory :", location), 0, 0);
  locationLayout->addWidget(m_pTargetDir, 0, 1, 1, 3);
  locationLayout->addWidget(m_pChooseTarget, 0, 4);
  locationLayout->addWidget(new QLabel("URL file :", location), 1, 0);
  locationLayout->addWidget(m_pUrlFile, 1, 1);
  locationLayout->addWidget(new QLabel("Binary data file name :", location), 1, 2);
  locationLayout->addWidget(m_pBinFile, 1, 3, 1, 2);
  // How buffers are written: the arrays every compiler knows, or string
  // literals, which firmware compilers take many times faster.
  m_pDataForm = new QComboBox(location);
  m_pDataForm->setObjectName("dataFormBox");
  m_pDataForm->addItems({"Byte arrays", "String literals"});
  m_pDataForm->setToolTip(
      "How the binary data file holds each file's bytes: as byte arrays, or as string "
      "literals of exactly the file's length, which compile several times faster and in far "
      "less memory");
  locationLayout->addWidget(new QLabel("Binary data :", location), 2, 0);
  locationLayout->addWidget(m_pDataForm, 2, 1);
  locationLayout->setColumnStretch(1, 1);
  locationLayout->setColumnStretch(3, 1);
  left->addWidget(location);
  m_pLog = new QPlainTextEdit(this);
  m_pLog->setObjectName("buildLog");
  m_pLog->setReadOnly(true);
  m_pLog->setLineWrapMode(QPlainTextEdit::NoWrap);
  m_pLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  m_pLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  m_pLog->setMinimumHeight(90);
  left->addWidget(m_pLog, 1);
  m_pProgress = new QProgressBar(this);
  m_pProgress->setObjectName("buildProgress");
  m_pProgress->setFormat("node %v of %m");
  m_pProgress->setVisible(false);
  left->addWidget(m_pProgress);
  bottom->addLayout(left, 1);

  auto* group = new QGroupBox(" Build and Edit ", this);
  auto* groupLayout = new QVBoxLayout(group);
  struct ButtonSpec {
    const char* text;
    const char* name;
    std::function<void()> handler;
  };
  const ButtonSpec specs[] = {
      {"&Build", "buildButton", [this] { OnBuild(); }},
      {"Build &All", "buildAllButton", [this] { OnBuildAll(); }},
      {"Edit &URL file", "editUrlFileButton", [this] { OnEditor(Editor::kUrlFile); }},
      {"&Remove Bin data ", "removeBinDataButton", [this] { OnEditor(Editor::kRemoveBinData); }},
      {"&Home Page", "homePageButton", [this] { OnEditor(Editor::kHomePage); }},
      {"Pre&view", "previewButton", [this] { OnPreview(); }},
      {"&Close", "closeButton", [this] { OnClose(); }},
  };
  for (const ButtonSpec& spec : specs) {
    QPushButton* button = MakeButton(spec.text, spec.name, group);
    connect(button, &QPushButton::clicked, this, spec.handler);
    groupLayout->addWidget(button);
    m_busyDisabled << button;
  }
  groupLayout->addStretch();
  bottom->addWidget(group);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 3);
  layout->addLayout(bottom, 2);
  window_placement::Place(*this, nullptr, kPlacementKey, kWantedSize);

  m_busyDisabled << source << m_pNewFolder << m_pAdd << m_pRemove << m_pTree << location;

  connect(m_pFilter, &QComboBox::activated, this, &CProjectDlg::OnFilterChanged);
  connect(m_pDrives, &QComboBox::activated, this, &CProjectDlg::OnDriveChanged);
  connect(m_pFolders, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { OnFolderActivated(item->text()); });
  connect(m_pAdd, &QPushButton::clicked, this, &CProjectDlg::OnAddFiles);
  connect(m_pRemove, &QPushButton::clicked, this, &CProjectDlg::OnRemove);
  connect(m_pNewFolder, &QPushButton::clicked, this, &CProjectDlg::OnNewFolder);
  connect(m_pChooseTarget, &QPushButton::clicked, this, &CProjectDlg::OnChooseTarget);
  connect(m_pPath, &QLineEdit::returnPressed, this, [this] { OnPathEntered(m_pPath->text()); });
  // The hidden "&Refresh" command: lists the folder again.
  auto* refresh = new QShortcut(QKeySequence::Refresh, this);
  connect(refresh, &QShortcut::activated, this,
          [this] { OnFilterChanged(m_pFilter->currentIndex()); });
}

void CProjectDlg::SetPlacementSettings(QSettings* settings) {
  m_pSettings = settings;
  window_placement::Place(*this, settings, kPlacementKey, kWantedSize);
}

void CProjectDlg::TakeFields() {
  m_project.m_strTargetDirField = FromQt(m_pTargetDir->text());
  m_project.m_strUrlFileField = FromQt(m_pUrlFile->text());
  m_project.m_strBinFileField = FromQt(m_pBinFile->text());
  // A new form is a change of the project: it is saved, and the next build
  // writes every buffer anew.
  const bool literal = m_pDataForm->currentIndex() == 1;
  if (literal != m_project.m_settings.m_bLiteralData) {
    m_project.m_settings.m_bLiteralData = literal;
    m_project.m_bTreeChanged = 1;
  }
}

void CProjectDlg::ShowFields() {
  m_pTargetDir->setText(ToQt(m_project.m_strTargetDirField));
  m_pUrlFile->setText(ToQt(m_project.m_strUrlFileField));
  m_pBinFile->setText(ToQt(m_project.m_strBinFileField));
  m_pDataForm->setCurrentIndex(m_project.m_settings.m_bLiteralData ? 1 : 0);
}

void CProjectDlg::ShowBrowser() {
  m_project.m_settings.m_strSourceDir = m_browser.m_strSourceDir;
  m_pFolderLabel->setText(ToQt(m_browser.m_strSourceDir));
  m_pFolderLabel->setToolTip(m_pFolderLabel->text());
  const int filter = m_pFilter->findText(ToQt(m_browser.m_strFilter));
  if (filter >= 0) m_pFilter->setCurrentIndex(filter);
  auto toList = [](const std::vector<std::string>& items) {
    QStringList list;
    list.reserve(static_cast<qsizetype>(items.size()));
    for (const std::string& item : items) list << ToQt(item);
    return list;
  };
  m_pFolders->clear();
  m_pFolders->addItems(toList(m_browser.m_folders));
  m_pFiles->clear();
  m_pFiles->addItems(toList(m_browser.m_files));
  m_pDrives->clear();
  m_pDrives->addItems(toList(m_browser.m_drives));
  m_pDrives->setCurrentIndex(-1);
}

HTREEITEM CProjectDlg::SelectedItem() const {
  const QModelIndex current = m_pTree->selectionModel()->currentIndex();
  if (!current.isValid() || !m_pTree->selectionModel()->isSelected(current)) return nullptr;
  return CUrlTreeModel::ItemOf(current);
}

void CProjectDlg::SelectItem(HTREEITEM item) {
  m_pTree->selectionModel()->setCurrentIndex(m_pModel->IndexOf(item),
                                             QItemSelectionModel::ClearAndSelect);
}

void CProjectDlg::ChangeTree(const std::function<void()>& edit) {
  // Items of the tree may be deleted: the view lets go of them all, and what
  // was expanded is expanded again afterwards where it still exists.
  std::unordered_set<HTREEITEM> expanded;
  m_project.m_tree.WalkItems([&](HTREEITEM item, int) {
    if (m_pTree->isExpanded(m_pModel->IndexOf(item))) expanded.insert(item);
  });
  HTREEITEM selected = SelectedItem();
  // Where the selection goes if the selected item is deleted, as a tree view
  // moves it: the next sibling, else the previous one, else the parent.
  std::vector<HTREEITEM> fallbacks;
  if (selected) {
    HTREEITEM parent = selected->GetParent();
    const int row = selected->GetRow();
    const int count = parent ? parent->GetChildCount() : m_project.m_tree.GetTopLevelCount();
    auto sibling = [&](int r) {
      return parent ? parent->GetChild(r) : m_project.m_tree.GetTopLevelItem(r);
    };
    if (row + 1 < count) fallbacks.push_back(sibling(row + 1));
    if (row > 0) fallbacks.push_back(sibling(row - 1));
    if (parent) fallbacks.push_back(parent);
  }
  const bool marked = !m_project.MissingSources().empty();
  m_pModel->SetMissing({});
  m_pModel->BeginChange();
  edit();
  m_pModel->EndChange();
  if (marked) m_pModel->SetMissing(m_project.MissingSources());
  std::unordered_set<HTREEITEM> alive;
  m_project.m_tree.WalkItems([&](HTREEITEM item, int) {
    if (expanded.count(item)) m_pTree->expand(m_pModel->IndexOf(item));
    alive.insert(item);
  });
  if (alive.count(selected)) {
    SelectItem(selected);
  } else {
    for (HTREEITEM fallback : fallbacks) {
      if (alive.count(fallback)) {
        SelectItem(fallback);
        break;
      }
    }
  }
}

void CProjectDlg::OnAddFiles() {
  std::vector<std::string> paths;
  for (int row = 0; row < m_pFiles->count(); ++row) {
    if (m_pFiles->item(row)->isSelected()) {
      paths.push_back(m_browser.FullPath(FromQt(m_pFiles->item(row)->text())));
    }
  }
  HTREEITEM selected = SelectedItem();
  QListWidgetItem* folder = m_pFolders->currentItem();
  if (paths.empty() && folder && folder->isSelected() && folder->text() != "[..]") {
    if (!selected || (selected->GetImage() != ImageRoot && selected->GetImage() != ImageFolder)) {
      m_prompter.ShowOk(COpenProject::kSelectRootOrFolderText);
      return;
    }
    const QString name = folder->text().mid(1, folder->text().size() - 2);
    AddPaths(selected, {m_browser.FullPath(FromQt(name))});
    return;
  }
  ChangeTree([&] { m_project.AddFiles(selected, paths); });
  if (selected) m_pTree->expand(m_pModel->IndexOf(selected));
}

void CProjectDlg::OnRemove() {
  HTREEITEM selected = SelectedItem();
  RemoveKeepingUserCode([&] { m_project.RemoveItem(selected); });
}

void CProjectDlg::RemoveKeepingUserCode(const std::function<void()>& edit) {
  const std::set<std::string> before = m_project.PageFilesOfTree();
  ChangeTree(edit);
  OfferToRemoveUserCode(before);
}

void CProjectDlg::OfferToRemoveUserCode(const std::set<std::string>& before) {
  for (const std::string& file : m_project.UserCodeLeftBehind(before)) {
    if (PageFileHoldsFormHandler(file)) {
      m_prompter.ShowOk(FormatText(kFormHandlerKeptText, {file}));
      continue;
    }
    if (m_prompter.AskYesNo(FormatText(kUserCodeLeftText, {file}))) continue;
    std::error_code error;
    if (!std::filesystem::remove(file, error)) {
      m_prompter.ShowOk(FormatText(kCannotRemoveText, {file}));
    }
  }
}

bool CProjectDlg::OnRenameFolder(HTREEITEM item, const std::string& text) {
  const std::set<std::string> before = m_project.PageFilesOfTree();
  if (!m_project.m_tree.EndLabelEdit(item, text, &m_prompter)) return false;
  // The URLs below the folder changed with it.
  m_pTree->viewport()->update();
  // Asked once the label editor has closed.
  QTimer::singleShot(0, this, [this, before] { OfferToRemoveUserCode(before); });
  return true;
}

void CProjectDlg::AddPaths(HTREEITEM folder, const std::vector<std::string>& paths) {
  int added = 0;
  int skipped = 0;
  std::string error;
  ChangeTree([&] {
    try {
      added = m_project.AddPaths(folder, paths, &skipped);
    } catch (const std::filesystem::filesystem_error& e) {
      error = e.what();
    }
  });
  if (!error.empty()) {
    m_prompter.ShowOk(error);
    return;
  }
  m_pTree->expand(m_pModel->IndexOf(folder));
  std::string from;
  for (const std::string& path : paths) from += (from.empty() ? "" : ", ") + path;
  QString report = ToQt(FormatText(COpenProject::kImportedText, {std::to_string(added), from}));
  if (skipped > 0) {
    report += "\n" + ToQt(FormatText(COpenProject::kSkippedHiddenText, {std::to_string(skipped)}));
  }
  m_pLog->appendPlainText(report);
}

void CProjectDlg::OnDropPaths(HTREEITEM target, const std::vector<std::string>& paths) {
  if (m_bBuilding || paths.empty()) return;
  if (!target) target = m_project.m_tree.GetRootItem();
  if (target->GetImage() != ImageRoot && target->GetImage() != ImageFolder) {
    target = target->GetParent();
  }
  AddPaths(target, paths);
}

void CProjectDlg::OnPathEntered(const QString& entered) {
  if (m_bBuilding || entered.trimmed().isEmpty()) return;
  QString path = entered.trimmed();
  if (path == "~" || path.startsWith("~/")) path.replace(0, 1, QDir::homePath());
  QFileInfo info(QDir(ToQt(m_browser.m_strSourceDir)), path);
  const QString folder = info.isFile() ? info.absolutePath() : info.absoluteFilePath();
  if (!m_browser.Fill(FromQt(QDir::cleanPath(folder)))) {
    m_prompter.ShowOk(CSourceBrowser::kCannotChangeDirText);
    return;
  }
  TakeFields();
  ShowBrowser();
  ShowFields();
  m_pPath->clear();
  if (info.isFile()) {
    const QList<QListWidgetItem*> found = m_pFiles->findItems(info.fileName(), Qt::MatchExactly);
    if (!found.isEmpty()) {
      m_pFiles->setCurrentItem(found.first());
      m_pFiles->scrollToItem(found.first());
    }
  }
}

void CProjectDlg::OnNewFolder() {
  HTREEITEM selected = SelectedItem();
  HTREEITEM folder = nullptr;
  ChangeTree([&] { folder = m_project.AddFolder(selected); });
  if (!folder) return;
  m_pTree->expand(m_pModel->IndexOf(selected));
  SelectItem(folder);
  m_pTree->edit(m_pModel->IndexOf(folder));
}

void CProjectDlg::OnChooseTarget() {
  const std::string folder = m_dialogs.ChooseFolder(m_browser.m_strSourceDir);
  if (folder.empty()) return;
  m_pTargetDir->setText(ToQt(IsPathSeparator(folder.back()) ? folder : folder + kPathSeparator));
  ReportChosenFolder(folder, m_prompter);
}

void CProjectDlg::OnFilterChanged(int index) {
  if (m_bBuilding || index < 0) return;
  // Unlike a folder change, the fields are not taken back: they show their
  // stored values again.
  if (!m_browser.SetFilter(FromQt(m_pFilter->itemText(index)))) {
    m_prompter.ShowOk(CSourceBrowser::kCannotChangeDirText);
  }
  ShowBrowser();
  ShowFields();
}

void CProjectDlg::OnDriveChanged(int index) {
  if (m_bBuilding || index < 0) return;
  if (!m_browser.ChangeDrive(FromQt(m_pDrives->itemText(index)), m_prompter)) return;
  TakeFields();
  ShowBrowser();
  ShowFields();
}

void CProjectDlg::OnFolderActivated(const QString& entry) {
  if (m_bBuilding) return;
  if (!m_browser.EnterFolder(FromQt(entry), m_prompter)) return;
  TakeFields();
  ShowBrowser();
  ShowFields();
}

void CProjectDlg::OnBuild() { RunBuild(false); }
void CProjectDlg::OnBuildAll() { RunBuild(true); }

bool CProjectDlg::RunBuild(bool all) {
  if (m_bBuilding) return false;
  SetBusy(true);
  TakeFields();
  // The log is replaced when the build logs its first line: a build refused
  // before it converts anything leaves the last build's log to read.
  m_bLogFromBuild = false;
  m_strPendingLog.clear();
  m_nProgressDone = m_nProgressTotal = 0;
  m_paintTimer.start();
  const bool ran = all ? m_project.OnBuildAll() : m_project.OnBuild();
  FlushLog(true);
  ShowFields();
  SetBusy(false);
  // A build refuses a source that is not there: the tree shows which.
  m_pModel->SetMissing(m_project.MissingSources());
  return ran && m_project.FailedCount() == 0;
}

void CProjectDlg::SetBusy(bool busy) {
  m_bBuilding = busy;
  for (QWidget* widget : m_busyDisabled) widget->setEnabled(!busy);
  m_pProgress->setVisible(busy);
  if (busy) {
    m_pProgress->setRange(0, 0);
    QApplication::setOverrideCursor(Qt::BusyCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void CProjectDlg::LogAppended(const std::string&, const std::string& text) {
  if (!m_bLogFromBuild) {
    m_pLog->clear();
    m_bLogFromBuild = true;
  }
  m_strPendingLog += text;
  FlushLog(false);
}

void CProjectDlg::Progress(int done, int total) {
  m_nProgressDone = done;
  m_nProgressTotal = total;
  FlushLog(false);
}

void CProjectDlg::FlushLog(bool force) {
  if (!force && m_paintTimer.isValid() && m_paintTimer.elapsed() < kPaintInterval) return;
  // The bar repaints itself whenever its text changes: it follows the build
  // at the pace of the log, not node by node.
  if (m_nProgressTotal > 0) {
    if (m_pProgress->maximum() != m_nProgressTotal) m_pProgress->setRange(0, m_nProgressTotal);
    m_pProgress->setValue(m_nProgressDone);
  }
  if (!m_strPendingLog.empty()) {
    QString text = ToQtText(m_strPendingLog);
    m_strPendingLog.clear();
    if (text.endsWith('\n')) text.chop(1);
    m_pLog->appendPlainText(text);
    m_pLog->verticalScrollBar()->setValue(m_pLog->verticalScrollBar()->maximum());
  }
  // Let the window paint and stay responsive; its controls are disabled, so
  // nothing can start another build meanwhile.
  if (m_bBuilding) QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  m_paintTimer.restart();
}

void CProjectDlg::OnClose() {
  if (m_bBuilding) return;
  TakeFields();
  const bool close = m_project.OnCloseButton();
  ShowFields();
  if (!close) return;
  StopPreview();
  window_placement::Remember(*this, m_pSettings, kPlacementKey);
  done(QDialog::Accepted);
}

void CProjectDlg::OnEditor(Editor editor) {
  if (m_bBuilding) return;
  TakeFields();
  const bool ready = m_project.PrepareEditor();
  ShowFields();
  if (!ready) return;
  const std::string file =
      m_project.TargetDir() +
      (editor == Editor::kRemoveBinData ? m_project.BinFileName() : m_project.UrlFileName());
  if (m_editorOpener) m_editorOpener(editor, file);
}

void CProjectDlg::OnPreview() {
  if (m_bBuilding) return;
  StopPreview();
  if (!RunBuild(false)) return;
  auto preview = std::make_unique<CPreviewProgram>();
  std::string error;
  std::ostringstream warnings;
  SetBusy(true);
  const CPreviewProgram::Result compiled =
      preview->Compile(m_project, kPreviewCompiler, error, warnings, [] {
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        return false;
      });
  SetBusy(false);
  if (compiled != CPreviewProgram::kCompiled) {
    m_prompter.ShowOk(FormatText(kPreviewNotBuiltText, {error}));
    return;
  }
  const std::string home = preview->HomeUrl(m_prompter);
  auto* server = new QProcess(this);
  server->setProgram(ToQt(preview->Program()));
  QStringList args;
  for (const std::string& arg : PreviewServerOptions("0", home)) args << ToQt(arg);
  server->setArguments(args);
  server->setProcessChannelMode(QProcess::MergedChannels);
  // The server goes with the program, however the program ends.
#ifdef Q_OS_UNIX
  server->setChildProcessModifier(&EndWithParentInChild);
#endif
  server->start();
  if (server->processId() > 0) EndWithParent(server->processId());
  // The server announces its address on its first line.
  QElapsedTimer waited;
  waited.start();
  while (!server->canReadLine() && server->state() != QProcess::NotRunning &&
         waited.elapsed() < 10000) {
    server->waitForReadyRead(100);
  }
  const std::string first = FromQt(QString::fromUtf8(server->readLine()).trimmed());
  const std::string address = PreviewAddress(first);
  if (address.empty()) {
    const std::string rest = FromQt(QString::fromUtf8(server->readAll()));
    server->kill();
    server->waitForFinished();
    delete server;
    m_prompter.ShowOk(FormatText(kPreviewNotStartedText, {first + "\r\n" + rest}));
    return;
  }
  // What the server logs afterwards is not kept.
  connect(server, &QProcess::readyRead, server, [server] { server->readAll(); });
  m_pServer = server;
  m_preview = std::move(preview);
  m_pLog->appendPlainText(ToQt(FormatText(kPreviewRunningText, {address + home})));
  if (m_urlOpener) m_urlOpener(address + home);
}

void CProjectDlg::StopPreview() {
  if (m_pServer) {
    m_pServer->terminate();
    if (!m_pServer->waitForFinished(3000)) {
      m_pServer->kill();
      m_pServer->waitForFinished();
    }
    delete m_pServer;
    m_pServer = nullptr;
  }
  m_preview.reset();
}

void CProjectDlg::keyPressEvent(QKeyEvent* event) {
  // Enter and Escape must not end or trigger anything.
  if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return ||
      event->key() == Qt::Key_Enter) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

bool CProjectDlg::eventFilter(QObject* watched, QEvent* event) {
  // The Delete key in the tree deletes as "<==" does, without marking the
  // tree changed.
  if (watched == m_pTree && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
    HTREEITEM selected = SelectedItem();
    RemoveKeepingUserCode([&] { m_project.m_tree.DeleteSelection(selected, m_prompter); });
    return true;
  }
  // Enter in the folder list opens the selected folder.
  if (watched == m_pFolders && IsEnterKey(event)) {
    if (QListWidgetItem* item = m_pFolders->currentItem()) OnFolderActivated(item->text());
    return true;
  }
  if (watched == m_pTree->viewport()) {
    switch (event->type()) {
      case QEvent::DragEnter:
      case QEvent::DragMove: {
        auto* drag = static_cast<QDropEvent*>(event);
        if (!m_bBuilding && !LocalPaths(drag->mimeData()).empty()) {
          drag->acceptProposedAction();
        } else {
          drag->ignore();
        }
        return true;
      }
      case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QModelIndex at = m_pTree->indexAt(drop->position().toPoint());
        OnDropPaths(at.isValid() ? CUrlTreeModel::ItemOf(at) : nullptr,
                    LocalPaths(drop->mimeData()));
        drop->acceptProposedAction();
        return true;
      }
      default:
        break;
    }
  }
  return QDialog::eventFilter(watched, event);
}
