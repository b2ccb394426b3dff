#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/prompter.h"

class CGeneratedFiles;

// The marker structure of the URL file and of the binary data file, checked
// line by line before anything changes them. Every edit finds its section by
// marker text; with a marker missing, doubled, out of order or altered it
// would find the wrong one and delete what lies between. So a file that is
// not sound is never edited: the check names its first fault and the line.
//
// The URL file: each of its fixed markers once, in the order its skeleton
// writes them. The binary data file: the buffer data and Binary regions in
// that order, and inside them only whole file sections, each "Begin File:"
// line closed by the "End File:" line of the same name before any other
// marker. In both, every marker comment must be one of the file's own, and no
// line may hold a NUL byte (the line document would cut the line there).
class CFileStructure {
 public:
  enum class Kind { kUrlFile, kBinFile };
  explicit CFileStructure(Kind kind);

  // The next line of the file, without its line end.
  void TakeLine(std::string_view line);
  // After the last line: the first fault as "line N: what", or "" when sound.
  std::string Finish();

  // Whether the file holds its recognition markers in order (as the build
  // recognises a file of ours before it writes into it).
  bool Recognised() const;
  // Binary data file: the names of the file sections in the Binary region
  // (the send functions), in file order; a name may repeat.
  const std::vector<std::string>& BinaryNames() const { return m_binaryNames; }
  // Binary data file: the forms its buffers are written in, kArrayForm and
  // kLiteralForm or'ed ("[] =" then bytes, or "[SIZE] =" then a string).
  static constexpr int kArrayForm = 1;
  static constexpr int kLiteralForm = 2;
  int DataForms() const { return m_nDataForms; }
  // Whether any line held a marker comment: a file without one is no
  // generated file of ours, damaged or not.
  bool MarkerSeen() const { return m_bMarkerSeen; }

  // The message for a damaged file: its path, the line and the fault.
  static constexpr const char* kDamagedText =
      "%s is damaged at %s. Nothing was changed: repair its marker comments (/* @! ... */), "
      "or delete the file so that the next build writes it anew.";

 private:
  void Fault(int line, std::string text);
  void TakeMarkerLine(std::string_view line);
  void TakeSectionLine(std::string_view line, bool begin);

  Kind m_kind;
  std::vector<const char*> m_fixed;        // the fixed markers in order
  std::vector<int> m_fixedLines;           // where each was seen (0 = not yet)
  std::vector<const char*> m_recognition;  // the markers a file of ours shows
  size_t m_nNextFixed = 0;
  bool m_bMarkerSeen = false;
  size_t m_nRecognised = 0;
  int m_nLine = 0;
  int m_nFaultLine = 0;
  std::string m_strFault;
  // The open file section: its name and line (0 = none).
  std::string m_strOpenName;
  int m_nOpenLine = 0;
  std::vector<std::string> m_binaryNames;
  int m_nDataForms = 0;
};

// Checks the URL file or binary data file at path: the file as a build in
// progress holds it, or else as it stands on disk (streamed, so a NUL byte is
// seen where it is). "" when sound (or when there is no file, an empty one or
// one without any marker comment), else the
// message to show (CFileStructure::kDamagedText). recognised, when given, says
// whether the file carries its recognition markers; binaryNames and
// dataForms, when given, receive CFileStructure::BinaryNames and DataForms.
std::string CheckFileStructure(Prompter& prompter, CGeneratedFiles& files, const std::string& path,
                               CFileStructure::Kind kind, bool* recognised = nullptr,
                               std::vector<std::string>* binaryNames = nullptr,
                               int* dataForms = nullptr);

// CheckFileStructure for a step that is about to change the file: true when
// it is sound; else the message is shown and false returned.
bool SoundOrReport(Prompter& prompter, CGeneratedFiles& files, const std::string& path,
                   CFileStructure::Kind kind);

// The first line (counted from 1) of the file at path that holds a NUL byte,
// or 0. The line document cuts a line at a NUL byte, so a generated file
// that holds one is never rewritten: the rest of that line would be lost.
int FirstNulLine(const std::string& path);
// The message for a page file that holds a NUL byte: its path and the line.
inline constexpr const char* kNulByteText =
    "%s holds a NUL byte at line %s and was not changed: remove the NUL byte, then build again.";
