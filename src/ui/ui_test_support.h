#pragma once

#include <deque>
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
