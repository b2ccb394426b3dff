#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

// A position in a line document: byte column and 0-based line.
struct TextPos {
  int column = 0;
  int line = 0;
};

// A search request for CSourceText::FindText. A zeroed request is a forward,
// case-insensitive substring search from column 0 of line 0; callers zero it
// and set text and length (and column and line where a search continues).
struct SearchSpec {
  const char* text = nullptr;
  int length = 0;     // length of text; used only by the whole-word test
  int column = 0;     // start column on the start line
  int line = 0;       // start line
  int backward = 0;   // 1 = towards the start of the document
  int matchCase = 0;  // 1 = bytes compare exactly
  int wholeWord = 0;  // 1 = a match must be bounded by white space or the line's edges
};

// Failure of a line document. Handlers catch this base kind.
class CSourceException : public std::exception {
 public:
  CSourceException(int code, std::string message)
      : m_nCode(code), m_strMessage(std::move(message)) {}
  virtual ~CSourceException() = default;
  int Code() const { return m_nCode; }
  const std::string& Message() const { return m_strMessage; }
  const char* what() const noexcept override { return m_strMessage.c_str(); }
  // The system's reason for the failure ("No space left on device"), or "".
  virtual std::string Reason() const { return std::string(); }

 private:
  int m_nCode;
  std::string m_strMessage;
};

// The only kind raised: a file could not be read or written.
class CSrcFileException : public CSourceException {
 public:
  explicit CSrcFileException(int error = 0) : CSourceException(2, "File error."), m_nError(error) {}
  // The system's error number of a failed write (0 when not known).
  int Error() const { return m_nError; }
  std::string Reason() const override;

 private:
  int m_nError;
};

class CSourceText;

// An undoable edit. Do returns 1 when the edit was made.
class CTextCommand {
 public:
  virtual ~CTextCommand() = default;
  virtual int Do(CSourceText& engine) = 0;
  virtual void Undo(CSourceText& engine) = 0;

 protected:
  int m_bSavedModified = 0;
};

// Inserts a text at a position; Undo removes it and any lines or padding the
// insertion added at the end of the document.
class CInsertTextCommand : public CTextCommand {
 public:
  CInsertTextCommand(TextPos at, std::string text);
  int Do(CSourceText& engine) override;
  void Undo(CSourceText& engine) override;

 protected:
  CInsertTextCommand() = default;
  TextPos m_at;
  std::string m_strText;
  TextPos m_end;
  int m_nOldLastLine = 0;
  int m_nOldLastLength = 0;
};

// Deletes the text between two positions; Undo inserts it again.
class CDeleteTextCommand : public CInsertTextCommand {
 public:
  CDeleteTextCommand(TextPos from, TextPos to);
  int Do(CSourceText& engine) override;
  void Undo(CSourceText& engine) override;

 private:
  TextPos m_from;
  TextPos m_to;
  std::string m_strSaved;
};

// The line-oriented text engine. It stores no lines itself: its algorithms
// reach the lines only through the seven line-storage operations, which a
// derived class (CCSrvDoc) supplies.
class CSourceText {
 public:
  static constexpr int MaxLineLength = 1024;
  static constexpr int UndoLimit = 256;

  CSourceText() = default;
  virtual ~CSourceText();
  CSourceText(const CSourceText&) = delete;
  CSourceText& operator=(const CSourceText&) = delete;

  // Line storage; the engine's defaults hold no lines.
  virtual int GetLineCount() { return 0; }
  virtual const char* GetLine(int) { return ""; }
  virtual int GetLineLength(int) { return 0; }
  virtual void RemoveLines(int, int) {}
  virtual void InsertEmptyLine(int) {}
  virtual char* GetLineBuffer(int, int) { return nullptr; }
  virtual void ReleaseLineBuffer(int, int) {}

  // Destroys the history and leaves exactly one empty line.
  virtual void DeleteAll();
  // Runs a command and records it in the history. 1 = done; 0 = refused
  // (LastError 7 when read-only); a refused command is destroyed.
  virtual int Execute(std::unique_ptr<CTextCommand> command);
  // Asked once per load when a line reaches MaxLineLength; true = wrap it.
  // LongLine() and LoadPath() tell which line of which file it is.
  virtual bool LongLineWarning() = 0;
  // The 1-based number of the first line a load found too long (0: none),
  // and the file the last LoadFile read.
  int LongLine() const { return m_nLongLine; }
  const std::string& LoadPath() const { return m_strLoadPath; }
  // Called after each command's Do and Undo with the affected range.
  virtual void NotifyChange(TextPos, TextPos) {}
  // The document's modified flag; the bare engine always reports modified.
  virtual bool IsModified() { return true; }
  virtual void SetModified(bool) {}

  // Loads a file as lines (CR LF or LF end a line). 1 = loaded completely;
  // 0 = not loaded, or loaded with wrapped lines (see LastError). Raises
  // CSrcFileException on a read error or a piece that starts with a NUL byte.
  int LoadFile(const std::string& path);
  // Writes the lines joined by CR LF (none after the last), replacing the file
  // atomically. 1 = written; 0 = the file cannot be created. Raises
  // CSrcFileException when a write fails; the previous file is then left whole.
  // error, when given, receives the system's error number when 0 is returned.
  int SaveFile(const std::string& path, int* error = nullptr);
  // The whole text as SaveFile writes it, and its size in bytes.
  std::string JoinedText();
  std::uint64_t SavedSize();
  // True when path already holds exactly what SaveFile would write to it.
  bool IsSavedIn(const std::string& path);

  // True when a load keeps line (without its line end) as one line as it is:
  // no NUL byte, and shorter than MaxLineLength.
  static bool LoadsAsOneLine(std::string_view line);

  // Finds the request's text from its start line and column (see SearchSpec).
  // 1 = found, with the match's first byte in out; 0 = not found, out unchanged.
  int FindText(const SearchSpec& spec, TextPos& out);
  TextPos InsertText(int column, int line, const char* text);
  int GetRangeText(TextPos from, TextPos to, char* buffer, int& size, bool measureOnly);
  void DeleteRange(TextPos from, TextPos to);

  void Undo();
  void Redo();
  // Enable rules of Edit Undo and Edit Redo.
  bool CanUndo() const { return m_nCurrent >= 0; }
  bool CanRedo() const { return m_nCurrent + 1 < static_cast<int>(m_history.size()); }

  int LastError() const { return m_nLastError; }
  void SetLastError(int code) { m_nLastError = code; }
  bool IsReadOnly() const { return m_bReadOnly != 0; }
  void SetHistoryEnabled(bool enabled) { m_bHistoryEnabled = enabled ? 1 : 0; }
  int HistorySize() const { return static_cast<int>(m_history.size()); }

  // Replaces all lines with the text's lines as LoadFile splits a file that
  // holds it (asking about long lines the same way); returns LoadFile's result.
  int LoadText(std::string_view text);

 protected:
  // A storage that indexes its text may answer FindText itself: it returns true
  // with FindText's result in result (and out set when found), exactly as the
  // line-by-line search would; false leaves the search to the engine.
  virtual bool FindIndexed(const SearchSpec&, TextPos&, int&) { return false; }
  // Appends the saved text of the lines from first on (each but the last line
  // of the document followed by CR LF) until out holds limit bytes or more or
  // the lines end; returns the next line to append. A storage may walk its
  // lines faster than one GetLine call per line.
  virtual int AppendSavedLines(int first, std::string& out, std::size_t limit);
  // The column at which a search starts on line n of length bytes.
  static int StartColumn(const SearchSpec& spec, int n, int length);
  // The whole-word test of the search, for such a storage: whether a match of
  // length bytes at column is bounded by white space or the line's edges.
  static bool BoundedAsWord(const char* line, int length, int column, int matchLength);

 private:
  void ClearHistory();
  // The saved text piece by piece (about 1 MiB each) in buffer.
  std::function<std::string_view()> SavePieces(std::string& buffer);
  int SearchLine(const char* q, int len, int start, const SearchSpec& spec, std::size_t tlen,
                 int& found);

  int m_bReadOnly = 0;
  int m_bHistoryEnabled = 1;
  std::vector<std::unique_ptr<CTextCommand>> m_history;
  int m_nCurrent = -1;  // index of the current history entry, -1 = none
  int m_nLastError = 0;
  int m_nLongLine = 0;
  std::string m_strLoadPath;
};
