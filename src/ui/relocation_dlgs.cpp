#include "ui/relocation_dlgs.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/file_util.h"

namespace {

QLabel* Label(const std::string& text, QWidget* parent, const char* name = nullptr) {
  auto* label = new QLabel(ToQtText(text), parent);
  if (name) label->setObjectName(name);
  return label;
}

// The entry field with its "..." button, OK (the default) and Cancel.
QLineEdit* AddEntryAndButtons(QDialog* dialog, QVBoxLayout* layout, const char* fieldName,
                              const std::function<void()>& choose) {
  auto* row = new QHBoxLayout;
  auto* field = new QLineEdit(ToQt(CurrentDirectory()), dialog);
  field->setObjectName(fieldName);
  field->setMinimumWidth(360);
  auto* browse = new QPushButton("...", dialog);
  browse->setObjectName("chooseFolderButton");
  browse->setAutoDefault(false);
  QObject::connect(browse, &QPushButton::clicked, dialog, choose);
  row->addWidget(field, 1);
  row->addWidget(browse);
  layout->addLayout(row);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("okButton");
  buttons->button(QDialogButtonBox::Ok)->setDefault(true);
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancelButton");
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  layout->addWidget(buttons);
  return field;
}

// "..." of both dialogs: the chosen folder without a trailing separator, and
// a word about a folder that cannot be read or written.
void ChooseInto(QLineEdit* field, Prompter& prompter, CUiDialogs& dialogs) {
  std::string folder = dialogs.ChooseFolder(CurrentDirectory());
  if (folder.empty()) return;
  if (folder.size() > PathRootLength(folder) && IsPathSeparator(folder.back())) folder.pop_back();
  field->setText(ToQt(folder));
  ReportChosenFolder(folder, prompter);
}

}  // namespace

CFileNotFoundDlg::CFileNotFoundDlg(QWidget* parent, const std::string& oldLocation,
                                   const std::string& missingFile, const std::string& name,
                                   Prompter& prompter, CUiDialogs& dialogs)
    : QDialog(parent), m_strName(name), m_prompter(prompter), m_dialogs(dialogs) {
  setWindowTitle("Warning: file not found");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Label("It appears that file:", this));
  layout->addWidget(Label(missingFile, this, "missingFileLabel"));
  layout->addWidget(
      Label("no longer exists. One possible reason is that the project has been moved\r\nto a new "
            "location which is different from the time it was created. \r\nUnfortunately the .web "
            "file still registers the old file name. \r\n",
            this));
  layout->addWidget(Label("Please tell me the new location of the above file :", this));
  layout->addWidget(Label("Original Location:", this));
  layout->addWidget(Label(oldLocation, this, "oldLocationLabel"));
  layout->addWidget(Label("New Location :", this));
  m_pLocation = AddEntryAndButtons(this, layout, "newLocationEdit",
                                   [this] { ChooseInto(m_pLocation, m_prompter, m_dialogs); });
}

std::string CFileNotFoundDlg::NewLocation() const { return FromQt(m_pLocation->text()); }

void CFileNotFoundDlg::accept() {
  if (AcceptFileLocation(NewLocation(), m_strName, m_prompter)) QDialog::accept();
}

CTargetDirDlg::CTargetDirDlg(QWidget* parent, const std::string& invalidDirectory,
                             Prompter& prompter, CUiDialogs& dialogs)
    : QDialog(parent), m_prompter(prompter), m_dialogs(dialogs) {
  setWindowTitle("Warning: Invalid Target Directory");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Label("The Directory  :", this));
  layout->addWidget(Label(invalidDirectory, this, "invalidDirectoryLabel"));
  layout->addWidget(Label("is not valid.", this));
  layout->addWidget(Label("Please enter the correct directory for target C files:", this));
  m_pDirectory = AddEntryAndButtons(this, layout, "newDirectoryEdit",
                                    [this] { ChooseInto(m_pDirectory, m_prompter, m_dialogs); });
}

std::string CTargetDirDlg::NewDirectory() const { return FromQt(m_pDirectory->text()); }

void CTargetDirDlg::accept() {
  std::string directory = NewDirectory();
  if (!AcceptTargetDirectory(directory, m_prompter)) return;
  m_pDirectory->setText(ToQt(directory));
  QDialog::accept();
}

bool CDialogRelocationAnswers::AskNewFileLocation(const std::string& missingFile,
                                                  const std::string& oldLocation,
                                                  const std::string& name,
                                                  std::string& newLocation) {
  CFileNotFoundDlg dialog(m_pParent, oldLocation, missingFile, name, m_prompter, m_dialogs);
  if (dialog.exec() != QDialog::Accepted) return false;
  newLocation = dialog.NewLocation();
  return true;
}

bool CDialogRelocationAnswers::AskNewTargetDirectory(const std::string& invalidDirectory,
                                                     std::string& newDirectory) {
  CTargetDirDlg dialog(m_pParent, invalidDirectory, m_prompter, m_dialogs);
  if (dialog.exec() != QDialog::Accepted) return false;
  newDirectory = dialog.NewDirectory();
  return true;
}
