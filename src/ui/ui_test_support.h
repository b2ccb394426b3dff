#pragma once

#include <QApplication>
#include <QTimer>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "testing/scripted_prompter.h"
#include "ui/ui_dialogs.h"

// Test double of the common dialogs: answers from a queue, records the
// information boxes. A chooser nobody queued an answer for answers Cancel and
// is recorded as a failure.
class CScriptedDialogs : public CUiDialogs {
 public:
  void QueueAnswer(const std::string& answer) { m_answers.push_back(answer); }
  std::string ChooseFolder(const std::string& start) override;
  std::string ChooseNewProject() override { return Next("new project"); }
  std::string ChooseExistingProject() override { return Next("open project"); }
  void ShowInformation(const std::string& title, const std::string& text) override {
    m_shown.push_back(title + ": " + text);
  }

  std::vector<std::string> m_shown;
  std::string m_strLastStart;

 private:
  std::string Next(const char* what);
  std::deque<std::string> m_answers;
};

// Makes ScriptedPrompter failures visible to Qt Test: they are gathered and
// TakeScriptFailures hands them over (tests check it empty in cleanup()).
void InstallScriptFailureHandler();
std::vector<std::string> TakeScriptFailures();

// Runs act on the next modal dialog of type T once it shows; the caller then
// opens whatever runs it modally. Gives up after about four seconds.
template <typename T>
void WhenModal(std::function<void(T*)> act, int triesLeft = 200) {
  QTimer::singleShot(20, [act, triesLeft] {
    if (T* dialog = dynamic_cast<T*>(QApplication::activeModalWidget())) {
      act(dialog);
    } else if (triesLeft > 0) {
      WhenModal<T>(act, triesLeft - 1);
    }
  });
}

// Clicks the push button called name inside parent (the test fails without it).
void ClickButton(QWidget* parent, const char* name);
// Types text into the line edit called name inside parent (the test fails
// without it).
void SetText(QWidget* parent, const char* name, const QString& text);
