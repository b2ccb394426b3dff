#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/prompter.h"

// Test double of Prompter: records every text shown and answers questions from
// a queue. A question nobody queued an answer for, or an answer left unused when
// the prompter is destroyed, fails the running test.
class ScriptedPrompter : public Prompter {
 public:
  enum class Kind { kOk, kYesNo, kOkCancel, kStop, kInformation };
  struct Shown {
    Kind kind;
    std::string text;
  };

  ~ScriptedPrompter() override;

  // How an unexpected question or an unused answer fails the running test:
  // a GoogleTest failure unless a suite of another framework sets its own.
  using FailureHandler = void (*)(const std::string& what);
  static void SetFailureHandler(FailureHandler handler);

  // Queues the answer for the next question (Yes/No or OK/Cancel).
  void QueueAnswer(bool answer) { m_answers.push_back(answer); }

  void ShowOk(const std::string& text) override;
  // Shown as an OK box; the reason is kept in Reasons.
  void ShowOkWithReason(const std::string& text, const std::string& reason) override;
  bool AskYesNo(const std::string& text) override;
  bool AskOkCancel(const std::string& text) override;
  void ShowStop(const std::string& text) override;
  void ShowInformation(const std::string& text) override;

  const std::vector<Shown>& shown() const { return m_shown; }
  // The texts shown so far, in order, whatever their kind.
  std::vector<std::string> Texts() const;
  void Clear() { m_shown.clear(); }
  // The reasons of the OK boxes of failed writes, in order.
  const std::vector<std::string>& Reasons() const { return m_reasons; }

 private:
  bool Answer(Kind kind, const std::string& text);

  std::deque<bool> m_answers;
  std::vector<Shown> m_shown;
  std::vector<std::string> m_reasons;
};
