#pragma once

#include <string>
#include <vector>

#include "document/source_doc.h"

// The document over a generated C file: a CSourceDocMfc that stores its lines
// itself. Every operation that reads or rewrites a generated file loads it into
// one of these, finds its sections by marker text, edits and saves it.
class CCSrvDoc : public CSourceDocMfc {
 public:
  explicit CCSrvDoc(Prompter& prompter) : CSourceDocMfc(prompter) {}

  int GetLineCount() override { return static_cast<int>(m_lines.size()); }
  // Reading a line at or past the end first extends the document with empty
  // lines so that the line exists.
  const char* GetLine(int n) override;
  int GetLineLength(int n) override;
  void RemoveLines(int n, int count) override;
  void InsertEmptyLine(int n) override;
  char* GetLineBuffer(int n, int len) override;
  void ReleaseLineBuffer(int n, int len) override;

  // Direct access for the generator: the text of an existing line (n must be
  // inside the document), replacing it, and inserting whole lines before line
  // n (at or past the end appends, extending with empty lines first).
  const std::string& LineText(int n) const { return m_lines[static_cast<size_t>(n)]; }
  void SetLineText(int n, std::string text);
  void InsertLines(int n, std::vector<std::string> lines);

 private:
  void Extend(int n);

  std::vector<std::string> m_lines;
};
