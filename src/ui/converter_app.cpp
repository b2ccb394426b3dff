#include "ui/converter_app.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

#include "build/open_project.h"
#include "platform/file_util.h"
#include "ui/project_dlg.h"
#include "ui/relocation_dlgs.h"
#include "ui/tree_images.h"
#include "ui/window_placement.h"

CRecentProjectsDlg::CRecentProjectsDlg(QWidget* parent, const CRecentList& recent,
                                       Prompter& prompter, CUiDialogs& dialogs)
    : QDialog(parent), m_prompter(prompter), m_dialogs(dialogs) {
  setWindowTitle("Pagoric");
  setWindowIcon(AppIcon());
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("Recent Projects: (Double Click on selected project to Open it)"));
  auto* row = new QHBoxLayout;
  m_pList = new QListWidget(this);
  m_pList->setObjectName("recentList");
  for (const std::string& path : recent.NonEmptyEntries()) m_pList->addItem(ToQt(path));
  m_pList->setMinimumWidth(440);
  row->addWidget(m_pList, 1);
  auto* buttons = new QVBoxLayout;
  QPushButton* newProject = MakeButton("&New Project", "newProjectButton", this);
  QPushButton* openSelected = MakeButton("Open &Selected", "openSelectedButton", this);
  QPushButton* openOthers = MakeButton("&Open Others ...", "openOthersButton", this);
  QPushButton* close = MakeButton("&Close", "closeButton", this);
  QPushButton* about = MakeButton("&About Pagoric...", "aboutButton", this);
  for (QPushButton* button : {newProject, openSelected, openOthers, close}) {
    buttons->addWidget(button);
  }
  buttons->addStretch();
  buttons->addWidget(about);
  row->addLayout(buttons);
  layout->addLayout(row);
  window_placement::Place(*this, nullptr, "StartDialog", QSize(640, 300));

  connect(newProject, &QPushButton::clicked, this, &CRecentProjectsDlg::OnNewProject);
  connect(openSelected, &QPushButton::clicked, this, &CRecentProjectsDlg::OnOpenSelected);
  connect(openOthers, &QPushButton::clicked, this, &CRecentProjectsDlg::OnOpenOthers);
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  connect(about, &QPushButton::clicked, this, &CRecentProjectsDlg::OnAbout);
  connect(m_pList, &QListWidget::itemDoubleClicked, this, [this] {
    if (m_pList->currentRow() >= 0) OnOpenSelected();
  });
}

void CRecentProjectsDlg::OnNewProject() {
  const std::string path = m_dialogs.ChooseNewProject();
  if (path.empty()) return;
  // The new project replaces the file when it is saved.
  if (PathExists(path) && !m_prompter.AskYesNo(FormatText(kReplaceProjectText, {path}))) return;
  m_choice = {Choice::kNew, path, -1};
  accept();
}

void CRecentProjectsDlg::OnOpenOthers() {
  const std::string path = m_dialogs.ChooseExistingProject();
  if (path.empty()) return;
  m_choice = {Choice::kOther, path, -1};
  accept();
}

void CRecentProjectsDlg::OnOpenSelected() {
  QListWidgetItem* item = m_pList->currentItem();
  if (!item || !item->isSelected()) {
    m_prompter.ShowOk(kSelectProjectText);
    return;
  }
  m_choice = {Choice::kSelected, FromQt(item->text()), m_pList->row(item)};
  accept();
}

void CRecentProjectsDlg::OnAbout() { CAboutDlg(this).exec(); }

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle("About Pagoric");
  auto* layout = new QHBoxLayout(this);
  auto* icon = new QLabel(this);
  icon->setPixmap(AppIcon().pixmap(32, 32));
  layout->addWidget(icon, 0, Qt::AlignTop);
  auto* right = new QVBoxLayout;
  auto* text = new QLabel("Pagoric Version 1.0", this);
  text->setObjectName("aboutText");
  right->addWidget(text);
  auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(ok, &QDialogButtonBox::accepted, this, &QDialog::accept);
  right->addWidget(ok);
  layout->addLayout(right);
}

CConverterApp::CConverterApp(Prompter& prompter, CUiDialogs& dialogs, QSettings& settings,
                             std::string lockPath)
    : m_prompter(prompter),
      m_dialogs(dialogs),
      m_settings(settings),
      m_strLockPath(std::move(lockPath)),
      // Linux file systems tell names apart by letter case.
      m_recent(true) {
  m_opener = [this](const std::string& path, bool isNew) { return OpenProject(path, isNew); };
}

bool CConverterApp::Start() {
  if (m_lock.TryLock(m_strLockPath) == CFileLock::kTaken) return true;
  m_dialogs.ShowInformation(kRunningTitle, kRunningText);
  return false;
}

void CConverterApp::LoadRecentList() {
  m_settings.beginGroup(kRecentGroup);
  std::vector<std::string> values;
  for (int i = 0; i < CRecentList::kMaxEntries; ++i) {
    values.push_back(FromQt(m_settings.value(ToQt(CRecentList::ValueName(i))).toString()));
  }
  m_settings.endGroup();
  m_recent.Load(values);
}

void CConverterApp::SaveRecentList() {
  m_settings.remove(kRecentGroup);
  m_settings.beginGroup(kRecentGroup);
  const std::vector<std::string> entries = m_recent.NonEmptyEntries();
  for (size_t i = 0; i < entries.size(); ++i) {
    m_settings.setValue(ToQt(CRecentList::ValueName(static_cast<int>(i))), ToQt(entries[i]));
  }
  m_settings.endGroup();
  m_settings.sync();
}

void CConverterApp::OpenChoice(const CRecentProjectsDlg::Choice& choice) {
  using Choice = CRecentProjectsDlg::Choice;
  if (choice.kind == Choice::kNone) return;
  const int opened = m_opener(choice.path, choice.kind == Choice::kNew);
  // A project whose file was never saved could not be opened from the list.
  if (opened > 0 && PathExists(choice.path)) {
    m_recent.AddToRecentList(choice.path);
  } else if (opened == 0 && choice.kind == Choice::kSelected) {
    m_recent.RemoveFromRecentList(choice.index);
  }
}

int CConverterApp::OpenProject(const std::string& path, bool isNew) {
  // One writer per project: a build or tree edit of another process waits.
  CProjectLock lock(path);
  if (!lock.TryLock()) {
    m_prompter.ShowOk(lock.BusyMessage());
    return -1;
  }
  COpenProject project(m_prompter, nullptr);
  CDialogRelocationAnswers answers(nullptr, m_prompter, m_dialogs);
  if (!project.VerifyAndOpen(path, isNew, answers)) return 0;
  CProjectDlg window(nullptr, project, m_prompter, m_dialogs);
  window.SetPlacementSettings(&m_settings);
  return window.exec() == QDialog::Accepted ? 1 : 0;
}

int CConverterApp::Run(const std::string& projectPath) {
  if (!Start()) return 0;
  LoadRecentList();
  using Choice = CRecentProjectsDlg::Choice;
  if (!projectPath.empty()) OpenChoice({Choice::kOther, AbsolutePath(projectPath), -1});
  for (;;) {
    Choice choice;
    {
      CRecentProjectsDlg dialog(nullptr, m_recent, m_prompter, m_dialogs);
      dialog.exec();
      choice = dialog.GetChoice();
    }
    if (choice.kind == Choice::kNone) break;
    OpenChoice(choice);
  }
  SaveRecentList();
  return 0;
}
