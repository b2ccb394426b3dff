#include "generator/binary_sections.h"

#include <cstring>
#include <unordered_set>

#include "document/generated_files.h"
#include "document/markers.h"
#include "generator/code_generator.h"
#include "generator/convert_util.h"
#include "generator/field_text.h"
#include "generator/file_structure.h"
#include "platform/file_util.h"
#include "platform/text_format.h"

CBinarySectionList::CBinarySectionList(Prompter& prompter, CGeneratedFiles& files, std::string path)
    : m_prompter(prompter), m_files(files), m_strPath(std::move(path)) {
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
    // The name follows the prefix and ends before " */".
    std::string_view name = doc->LineText(found.line);
    name = SkipLeadingBlanks(name.substr(static_cast<size_t>(found.column) + prefix.size()));
    const size_t close = name.find(" */");
    name = close == std::string_view::npos ? std::string_view() : name.substr(0, close);
    if (seen.emplace(name).second) m_names.emplace_back(name);
    next.column = found.column;
    next.line = found.line + 2;
  }
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
    for (size_t i = 0; i < names.size(); ++i) {
      const int result = RemoveSourceBlocks(prompter, batch, path, names[i]);
      if (progress) progress(static_cast<int>(i), names[i], result);
    }
    written = batch.Flush();
  }
  if (!written) {
    prompter.ShowOkWithReason(FormatText(CCodeGenerator::kCannotWriteText, {path}),
                              batch.FailureReason(path));
  }
  return written ? 1 : 0;
}
