#include "document/source_doc.h"

#include "platform/text_format.h"

bool CSourceDocMfc::LongLineWarning() {
  if (m_prompter.AskOkCancel(kLongLineText)) return true;
  m_prompter.ShowOk(FormatText(kLongLineRefusedText, {LoadPath(), std::to_string(LongLine()),
                                                      std::to_string(MaxLineLength - 1)}));
  return false;
}

bool CSourceDocMfc::OpenDocument(const std::string& path) {
  SetModified(true);
  try {
    const int result = LoadFile(path);
    if (result == 1) {
      SetModified(false);
      m_strPathName = path;
      return true;
    }
    if (LastError() == 4) {
      m_strPathName = path;
      return true;
    }
    return false;
  } catch (const CSourceException& e) {
    SetModified(true);
    m_prompter.ShowOk(e.Message());
    return false;
  }
}

bool CSourceDocMfc::SaveDocument(const std::string& path) {
  try {
    const int result = SaveFile(path);
    if (result == 1) SetModified(false);
    return result == 1;
  } catch (const CSourceException& e) {
    SetModified(true);
    m_prompter.ShowOk(e.Message());
    return false;
  }
}
