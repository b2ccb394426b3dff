#pragma once

#include <QDialog>
#include <string>

#include "project/project_verify.h"
#include "ui/ui_dialogs.h"

class QLineEdit;

// Asks where a missing source file of a moved project is now. Closes with OK
// only when the typed location followed by the file's name exists.
class CFileNotFoundDlg : public QDialog {
 public:
  CFileNotFoundDlg(QWidget* parent, const std::string& oldLocation, const std::string& missingFile,
                   const std::string& name, Prompter& prompter, CUiDialogs& dialogs);
  std::string NewLocation() const;
  void accept() override;

 private:
  void ChooseFolder();

  std::string m_strName;
  Prompter& m_prompter;
  CUiDialogs& m_dialogs;
  QLineEdit* m_pLocation;
};

// Asks for the target directory of a project whose recorded one is gone.
// Closes with OK only on an existing directory, then ending in a separator.
class CTargetDirDlg : public QDialog {
 public:
  CTargetDirDlg(QWidget* parent, const std::string& invalidDirectory, Prompter& prompter,
                CUiDialogs& dialogs);
  std::string NewDirectory() const;
  void accept() override;

 private:
  void ChooseFolder();

  Prompter& m_prompter;
  CUiDialogs& m_dialogs;
  QLineEdit* m_pDirectory;
};

// The relocation questions of project verification, answered by the two
// dialogs above.
class CDialogRelocationAnswers : public CRelocationAnswers {
 public:
  CDialogRelocationAnswers(QWidget* parent, Prompter& prompter, CUiDialogs& dialogs)
      : m_pParent(parent), m_prompter(prompter), m_dialogs(dialogs) {}
  bool AskNewFileLocation(const std::string& missingFile, const std::string& oldLocation,
                          const std::string& name, std::string& newLocation) override;
  bool AskNewTargetDirectory(const std::string& invalidDirectory,
                             std::string& newDirectory) override;

 private:
  QWidget* m_pParent;
  Prompter& m_prompter;
  CUiDialogs& m_dialogs;
};
