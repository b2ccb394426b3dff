#pragma once

#include <string>

#include "document/source_text.h"
#include "platform/prompter.h"

// The document half of the line document: modified flag, document-level open
// and save, the Undo/Redo command handlers and the long-line warning. It has no
// line storage of its own; CCSrvDoc supplies it.
class CSourceDocMfc : public CSourceText {
 public:
  static constexpr const char* kLongLineText =
      "The file contains a line which exceeds the maximum allowable length. This line (and "
      "all other long lines) will be wrapped onto following lines.";

  // Shown when the long-line question is answered Cancel: the file is left
  // as it is, since a line split in two would no longer compile.
  static constexpr const char* kLongLineRefusedText =
      "File %s: line %s is longer than %s characters, the longest line a generated file may "
      "hold. The file was left unchanged; shorten that line, or let the build wrap long lines.";

  explicit CSourceDocMfc(Prompter& prompter) : m_prompter(prompter) {}

  bool LongLineWarning() override;
  bool IsModified() override { return m_bModified; }
  void SetModified(bool modified) override { m_bModified = modified; }

  // Document-level open: loads the file; a load with wrapped lines (LastError 4)
  // still succeeds. A CSourceException is shown as a message and fails.
  bool OpenDocument(const std::string& path);
  // Document-level save: on success clears the modified flag.
  bool SaveDocument(const std::string& path);
  void DeleteContents() { DeleteAll(); }

  // Edit Undo / Edit Redo command handlers and their enable rules.
  void OnEditUndo() { Undo(); }
  void OnEditRedo() { Redo(); }
  bool IsUndoEnabled() const { return CanUndo(); }
  bool IsRedoEnabled() const { return CanRedo(); }

  const std::string& GetPathName() const { return m_strPathName; }

 protected:
  Prompter& m_prompter;

 private:
  bool m_bModified = false;
  std::string m_strPathName;
};
