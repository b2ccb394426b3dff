#pragma once

#include <string>

// Every message box and question the core shows goes through a Prompter, so no
// core code ever blocks on a real dialog. The GUI implements it with message
// boxes carrying the application's title, the command line prints to stderr and
// answers from its flags, and tests use ScriptedPrompter (src/testing).
class Prompter {
 public:
  virtual ~Prompter() = default;

  // The OK box with a warning icon.
  virtual void ShowOk(const std::string& text) = 0;
  // The Yes/No question with a warning icon; true means Yes.
  virtual bool AskYesNo(const std::string& text) = 0;
  // The OK/Cancel question with an information icon (the long-line warning);
  // true means OK.
  virtual bool AskOkCancel(const std::string& text) = 0;
  // The stop box of file errors.
  virtual void ShowStop(const std::string& text) = 0;
  // The OK box with the information icon: what went well ("Done."). Where
  // icons mean nothing (the command line) it is an OK box.
  virtual void ShowInformation(const std::string& text) { ShowOk(text); }

  // The OK box of a failed write, with the system's reason ("No space left on
  // device"). A window shows the text as it is; the command line adds the reason.
  virtual void ShowOkWithReason(const std::string& text, const std::string& /*reason*/) {
    ShowOk(text);
  }
  // What the following messages are about (the source path of the node a build
  // converts), until it is set again; empty for nothing in particular. The
  // window's texts stay as they are; the command line prints the context in front.
  virtual void SetContext(const std::string& /*context*/) {}
};
