#include "testing/scripted_prompter.h"

#include <gtest/gtest.h>

namespace {

void FailInGoogleTest(const std::string& what) { ADD_FAILURE() << what; }

ScriptedPrompter::FailureHandler g_fail = FailInGoogleTest;

}  // namespace

void ScriptedPrompter::SetFailureHandler(FailureHandler handler) {
  g_fail = handler ? handler : FailInGoogleTest;
}

ScriptedPrompter::~ScriptedPrompter() {
  if (!m_answers.empty()) {
    g_fail(std::to_string(m_answers.size()) + " queued answer(s) were never asked for");
  }
}

void ScriptedPrompter::ShowOk(const std::string& text) { m_shown.push_back({Kind::kOk, text}); }

void ScriptedPrompter::ShowOkWithReason(const std::string& text, const std::string& reason) {
  ShowOk(text);
  m_reasons.push_back(reason);
}

void ScriptedPrompter::ShowStop(const std::string& text) { m_shown.push_back({Kind::kStop, text}); }

void ScriptedPrompter::ShowInformation(const std::string& text) {
  m_shown.push_back({Kind::kInformation, text});
}

bool ScriptedPrompter::AskYesNo(const std::string& text) { return Answer(Kind::kYesNo, text); }

bool ScriptedPrompter::AskOkCancel(const std::string& text) {
  return Answer(Kind::kOkCancel, text);
}

bool ScriptedPrompter::Answer(Kind kind, const std::string& text) {
  m_shown.push_back({kind, text});
  if (m_answers.empty()) {
    g_fail("unexpected question: " + text);
    return false;
  }
  bool answer = m_answers.front();
  m_answers.pop_front();
  return answer;
}

std::vector<std::string> ScriptedPrompter::Texts() const {
  std::vector<std::string> texts;
  for (const Shown& s : m_shown) texts.push_back(s.text);
  return texts;
}
