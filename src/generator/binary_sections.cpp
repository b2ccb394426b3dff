#include "generator/binary_sections.h"

#include <cstring>
#include <unordered_set>

#include "document/generated_files.h"
#include "document/markers.h"
#include "document/source_text.h"
#include "generator/code_generator.h"
#include "generator/convert_util.h"
#include "generator/field_text.h"
#include "generator/file_structure.h"
#include "platform/ascii.h"
#include "platform/file_util.h"
#include "platform/text_format.h"

namespace {
// The name of the section whose begin line is line, the prefix at column.
std::string_view SectionName(std::string_view line, size_t column) {
  const std::string_view prefix = markers::kBeginFilePrefix;
  std::string_view name = SkipLeadingBlanks(line.substr(column + prefix.size()));
  const size_t close = name.find(" */");
  return close == std::string_view::npos ? std::string_view() : name.substr(0, close);
}
}  // namespace

CBinarySectionList::CBinarySectionList(Prompter& prompter, CGeneratedFiles& files, std::string path)
    : m_prompter(prompter), m_files(files), m_strPath(std::move(path)) {
  // A file the files do not hold is read line by line, never held whole.
  if (!m_files.IsHeld(m_strPath) && ReadFromFile()) return;
  CDocHandle doc = m_files.Open(m_prompter, m_strPath);
  const int count = doc->GetLineCount();

  // The last "/* @! Begin Binary */" of the file opens the send functions.
  SearchSpec spec;
  spec.text = markers::kBeginBinary;
  spec.length = static_cast<int>(std::strlen(markers::kBeginBinary));
  spec.line = count > 0 ? count - 1 : 0;
  spec.backward = 1;
  TextPos binary;
  if (count == 0 || !doc->FindText(spec, binary)) {
    ReportMissingMarker(m_prompter, markers::kBeginBinary, m_strPath);
    return;
  }

  const std::string_view prefix = markers::kBeginFilePrefix;
  std::unordered_set<std::string> seen;
  SearchSpec next;
  next.text = markers::kBeginFilePrefix;
  next.length = static_cast<int>(prefix.size());
  next.column = binary.column;
  next.line = binary.line + 1;
  TextPos found;
  // After each section's begin line the next one skips the line below it.
  while (next.line < count && doc->FindText(next, found)) {
    const std::string_view name =
        SectionName(doc->LineText(found.line), static_cast<size_t>(found.column));
    if (seen.emplace(name).second) m_names.emplace_back(name);
    next.column = found.column;
    next.line = found.line + 2;
  }
}

bool CBinarySectionList::ReadFromFile() {
  // The same search as over the document, line by line: every
  // "/* @! Begin Binary */" starts the list afresh, so the last one counts.
  const std::string_view binary = markers::kBeginBinary;
  const std::string_view prefix = markers::kBeginFilePrefix;
  bool asDocument = true;  // every line as the line document reads it
  bool binarySeen = false;
  bool binaryLast = false;
  std::unordered_set<std::string> seen;
  size_t n = 0;
  size_t startLine = 0;
  size_t startColumn = 0;
  const int read = ForEachLineOfFile(m_strPath, [&](std::string_view line) {
    if (!CSourceText::LoadsAsOneLine(line)) {
      asDocument = false;
      return false;
    }
    const size_t at = n++;
    // The search for the sections starts on the line after the marker, at
    // the marker's column (its last match in the line).
    binaryLast = false;
    for (size_t c = FindForward(line, binary, 0, false); c != std::string_view::npos;
         c = FindForward(line, binary, c + 1, false)) {
      binaryLast = true;
      startColumn = c;
    }
    if (binaryLast) {
      binarySeen = true;
      m_names.clear();
      seen.clear();
      startLine = at + 1;
      return true;
    }
    if (!binarySeen || at < startLine) return true;
    const size_t column = FindForward(line, prefix, at == startLine ? startColumn : 0, false);
    if (column == std::string_view::npos) return true;
    const std::string_view name = SectionName(line, column);
    if (seen.emplace(name).second) m_names.emplace_back(name);
    // After each section's begin line the next one skips the line below it.
    startLine = at + 2;
    startColumn = column;
    return true;
  });
  // The document's backward search takes a marker on the last line only at
  // its start: such a file, and one the document reads otherwise, is read
  // as a document.
  if (read < 0 || !asDocument || binaryLast) {
    m_names.clear();
    return false;
  }
  if (!binarySeen) ReportMissingMarker(m_prompter, markers::kBeginBinary, m_strPath);
  return true;
}

std::string CBinarySectionList::GetSectionName(int index) const {
  if (index < 0 || index >= GetSectionCount()) return std::string();
  return m_names[static_cast<size_t>(index)];
}

int CBinarySectionList::RemoveBinarySection(const std::string& path, const std::string& name) {
  return RemoveSourceBlocks(m_prompter, m_files, path, name);
}

int RemoveBinarySections(Prompter& prompter, const std::string& path,
                         const std::vector<std::string>& names,
                         const BinaryRemovalProgress& progress) {
  // A batch saves into memory; whether the file can take the result is known
  // before anything is removed, and told when the one write fails.
  const bool writable = CanWriteFile(path);
  // Checked on disk, before a document cuts a line at a NUL byte.
  CDocBatch batch;
  if (writable && !SoundOrReport(prompter, batch, path, CFileStructure::Kind::kBinFile)) return 0;
  bool written = writable;
  if (writable) {
    // A file written as the line document writes files is streamed through,
    // never held whole; any other is edited as a document.
    CStreamHandle stream = batch.OpenStreamed(path);
    for (size_t i = 0; i < names.size(); ++i) {
      const int result = stream ? RemoveSourceBlocks(*stream, names[i])
                                : RemoveSourceBlocks(prompter, batch, path, names[i]);
      if (progress) progress(static_cast<int>(i), names[i], result);
    }
    written = (!stream || stream.Save() == 1) && batch.Flush();
  }
  if (!written) {
    prompter.ShowOkWithReason(FormatText(CCodeGenerator::kCannotWriteText, {path}),
                              batch.FailureReason(path));
  }
  return written ? 1 : 0;
}
