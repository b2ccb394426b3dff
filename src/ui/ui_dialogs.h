#pragma once

#include <QString>
#include <string>

#include "platform/prompter.h"
#include "platform/text_format.h"

class QPushButton;
class QWidget;

// The common dialogs the desktop program needs besides message boxes: the
// folder chooser and the two project file dialogs, and the information box of
// a refused start. Abstract so the windows never call QFileDialog or
// QMessageBox themselves; CQtDialogs is the real one, tests script answers.
class CUiDialogs {
 public:
  virtual ~CUiDialogs() = default;
  // The "Change Directory" folder chooser starting in start; "" on Cancel.
  virtual std::string ChooseFolder(const std::string& start) = 0;
  // "New Web Project": a .web file that need not exist; "" on Cancel.
  virtual std::string ChooseNewProject() = 0;
  // "Open Project": an existing file; "" on Cancel.
  virtual std::string ChooseExistingProject() = 0;
  // A box with the information icon and its own title.
  virtual void ShowInformation(const std::string& title, const std::string& text) = 0;
};

// Message boxes of the desktop program: every one carries the title
// "Pagoric"; OK boxes and Yes/No questions show the warning icon, the long-line
// OK/Cancel question and the messages of success the information icon, file
// errors the stop icon. Boxes
// are modal to the active window.
class CQtPrompter : public Prompter {
 public:
  static constexpr const char* kTitle = "Pagoric";
  void ShowOk(const std::string& text) override;
  // The text as it is, the system's reason under it in the box's smaller text.
  void ShowOkWithReason(const std::string& text, const std::string& reason) override;
  bool AskYesNo(const std::string& text) override;
  bool AskOkCancel(const std::string& text) override;
  void ShowStop(const std::string& text) override;
  void ShowInformation(const std::string& text) override;
};

// The real common dialogs (Qt's own widgets, the same on every desktop).
class CQtDialogs : public CUiDialogs {
 public:
  std::string ChooseFolder(const std::string& start) override;
  std::string ChooseNewProject() override;
  std::string ChooseExistingProject() override;
  void ShowInformation(const std::string& title, const std::string& text) override;
};

// For the programs that render or time the windows with nobody at them
// (screenshots, benchmarks): every message goes to stderr, every question is
// answered Yes, every chooser is cancelled.
class CUnattendedPrompter : public Prompter {
 public:
  void ShowOk(const std::string& text) override;
  bool AskYesNo(const std::string& text) override;
  bool AskOkCancel(const std::string& text) override { return AskYesNo(text); }
  void ShowStop(const std::string& text) override { ShowOk(text); }
};
class CUnattendedDialogs : public CUiDialogs {
 public:
  std::string ChooseFolder(const std::string&) override { return ""; }
  std::string ChooseNewProject() override { return ""; }
  std::string ChooseExistingProject() override { return ""; }
  void ShowInformation(const std::string&, const std::string& text) override;
};

// The wait cursor for as long as the object lives.
class CWaitCursor {
 public:
  CWaitCursor();
  ~CWaitCursor();
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;
};

// Our 8-bit strings shown in widgets and back. Paths and texts are taken as
// UTF-8, which is what file names on this platform are.
inline QString ToQt(const std::string& text) { return QString::fromStdString(text); }
inline std::string FromQt(const QString& text) { return text.toStdString(); }
// A message or log text of the core, whose lines end in CR LF, as a widget
// shows it.
inline QString ToQtText(const std::string& text) { return ToQt(CrLfToLf(text)); }

// A push button with its object name (tests find it by that) that Enter does
// not press unless it is made the default.
QPushButton* MakeButton(const char* text, const char* name, QWidget* parent);
