#include "ui/ui_test_support.h"

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {

std::vector<std::string>& Failures() {
  static std::vector<std::string> failures;
  return failures;
}

void Record(const std::string& what) { Failures().push_back(what); }

}  // namespace

std::string CScriptedDialogs::ChooseFolder(const std::string& start) {
  m_strLastStart = start;
  return Next("folder");
}

std::string CScriptedDialogs::Next(const char* what) {
  if (m_answers.empty()) {
    Record(std::string("unexpected ") + what + " dialog");
    return "";
  }
  std::string answer = m_answers.front();
  m_answers.pop_front();
  return answer;
}

void InstallScriptFailureHandler() { ScriptedPrompter::SetFailureHandler(Record); }

std::vector<std::string> TakeScriptFailures() {
  std::vector<std::string> out;
  out.swap(Failures());
  return out;
}

void ClickButton(QWidget* parent, const char* name) {
  auto* button = parent->findChild<QPushButton*>(name);
  QVERIFY2(button, name);
  QTest::mouseClick(button, Qt::LeftButton);
}

void SetText(QWidget* parent, const char* name, const QString& text) {
  auto* edit = parent->findChild<QLineEdit*>(name);
  QVERIFY2(edit, name);
  edit->setText(text);
}
