#include "ui/ui_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <cstdio>

namespace {

QMessageBox::StandardButton Box(QMessageBox::Icon icon, const std::string& title,
                                const std::string& text, QMessageBox::StandardButtons buttons,
                                const std::string& detail = std::string()) {
  QMessageBox box(icon, ToQt(title), ToQtText(text), buttons, QApplication::activeWindow());
  if (!detail.empty()) box.setInformativeText(ToQtText(detail));
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

void CQtPrompter::ShowOk(const std::string& text) {
  Box(QMessageBox::Warning, kTitle, text, QMessageBox::Ok);
}

void CQtPrompter::ShowOkWithReason(const std::string& text, const std::string& reason) {
  Box(QMessageBox::Warning, kTitle, text, QMessageBox::Ok, reason);
}

bool CQtPrompter::AskYesNo(const std::string& text) {
  return Box(QMessageBox::Warning, kTitle, text, QMessageBox::Yes | QMessageBox::No) ==
         QMessageBox::Yes;
}

bool CQtPrompter::AskOkCancel(const std::string& text) {
  return Box(QMessageBox::Information, kTitle, text, QMessageBox::Ok | QMessageBox::Cancel) ==
         QMessageBox::Ok;
}

void CQtPrompter::ShowStop(const std::string& text) {
  Box(QMessageBox::Critical, kTitle, text, QMessageBox::Ok);
}

void CQtPrompter::ShowInformation(const std::string& text) {
  Box(QMessageBox::Information, kTitle, text, QMessageBox::Ok);
}

std::string CQtDialogs::ChooseFolder(const std::string& start) {
  return FromQt(QFileDialog::getExistingDirectory(QApplication::activeWindow(), "Change Directory",
                                                  ToQt(start), QFileDialog::DontUseNativeDialog));
}

std::string CQtDialogs::ChooseNewProject() {
  QFileDialog dialog(QApplication::activeWindow(), "New Web Project");
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setNameFilter("Project file (*.web)");
  dialog.setDefaultSuffix("web");
  dialog.setLabelText(QFileDialog::Accept, "&Create");
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return "";
  return FromQt(dialog.selectedFiles().front());
}

std::string CQtDialogs::ChooseExistingProject() {
  QFileDialog dialog(QApplication::activeWindow(), "Open Project");
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters({"Project file (*.web)", "All Files (*)"});
  dialog.setDefaultSuffix("web");
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return "";
  return FromQt(dialog.selectedFiles().front());
}

void CQtDialogs::ShowInformation(const std::string& title, const std::string& text) {
  Box(QMessageBox::Information, title, text, QMessageBox::Ok);
}

QPushButton* MakeButton(const char* text, const char* name, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  button->setAutoDefault(false);
  return button;
}

void CUnattendedPrompter::ShowOk(const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
}

bool CUnattendedPrompter::AskYesNo(const std::string& text) {
  ShowOk(text);
  return true;
}

void CUnattendedDialogs::ShowInformation(const std::string&, const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
}

CWaitCursor::CWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }

CWaitCursor::~CWaitCursor() { QApplication::restoreOverrideCursor(); }
