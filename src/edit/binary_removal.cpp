#include "edit/binary_removal.h"

#include <algorithm>

#include "document/source_text.h"
#include "edit/url_file_editor.h"
#include "generator/binary_sections.h"
#include "platform/ascii.h"
#include "platform/text_format.h"

CBinaryDataRemover::CBinaryDataRemover(Prompter& prompter, std::string binFilePath)
    : m_prompter(prompter), m_strPath(std::move(binFilePath)) {
  try {
    const CBinarySectionList list(m_prompter, m_files, m_strPath);
    for (int i = 0; i < list.GetSectionCount(); ++i) m_names.push_back(list.GetSectionName(i));
  } catch (const CSrcFileException&) {
    m_prompter.ShowOk(FormatText(CUrlFileEditor::kOpenErrorText, {m_strPath}));
  }
  // The list reads distinct names; equal keys keep byte order.
  std::sort(m_names.begin(), m_names.end(), LessAsciiFolded);
}

BinaryRemoval CBinaryDataRemover::Remove(
    const std::vector<std::string>& names,
    const std::function<void(int index, const std::string& name)>& progress) {
  if (names.empty()) {
    m_prompter.ShowOk(kNoFilesText);
    return BinaryRemoval::kNothingSelected;
  }
  int written = 0;
  try {
    written = RemoveBinarySections(m_prompter, m_strPath, names,
                                   [&](int index, const std::string& name, int) {
                                     if (progress) progress(index, name);
                                   });
  } catch (const CSrcFileException&) {
    // Only reading the file can raise: the batch writes without raising.
    m_prompter.ShowOk(FormatText(CUrlFileEditor::kOpenErrorText, {m_strPath}));
  }
  if (written != 1) return BinaryRemoval::kFailed;
  m_prompter.ShowInformation(kDoneText);
  return BinaryRemoval::kDone;
}
