#include "edit/home_page.h"

#include "document/source_text.h"
#include "generator/code_generator.h"
#include "generator/convert_util.h"
#include "generator/file_structure.h"
#include "generator/url_table.h"
#include "platform/file_util.h"
#include "platform/text_format.h"

CHomePageEditor::CHomePageEditor(Prompter& prompter, std::string urlFilePath)
    : m_prompter(prompter), m_strPath(std::move(urlFilePath)) {
  const CUrlTable table(m_prompter, m_files, m_strPath);
  for (int i = 0; i < table.GetEntryCount(); ++i) {
    CHomePageItem item{table.GetEntryField(i, 0), table.GetEntryField(i, 2),
                       table.GetEntryField(i, 5)};
    if (item.m_strUrl == "/") {
      m_strHome = std::move(item.m_strFunction);
      m_strHomeRealm = std::move(item.m_strRealm);
    } else {
      m_items.push_back(std::move(item));
    }
  }
}

HomePageResult CHomePageEditor::SetHome(const std::string& highlighted, const std::string& realm) {
  std::string homeRealm = realm;
  for (const CHomePageItem& item : m_items) {
    if (!homeRealm.empty()) break;
    if (item.m_strFunction == highlighted) homeRealm = item.m_strRealm;
  }
  if (homeRealm.empty()) homeRealm = "Unprotected";
  if (highlighted == m_strHome && homeRealm == m_strHomeRealm) return HomePageResult::kUnchanged;
  if (!WritableOrReport(m_prompter, m_strPath) ||
      !SoundOrReport(m_prompter, m_files, m_strPath, CFileStructure::Kind::kUrlFile)) {
    return HomePageResult::kFailed;
  }
  bool added = false;
  try {
    // The table as the file holds it now: another program may have set or
    // removed the home page since the list was read.
    CUrlTable table(m_prompter, m_files, m_strPath);
    // The page's realms as the file holds them now, too: "/" must never be
    // less protected than the page it shows.
    if (realm.empty()) {
      for (int i = 0; i < table.GetEntryCount(); ++i) {
        if (table.GetEntryField(i, 0) != "/" && table.GetEntryField(i, 2) == highlighted) {
          homeRealm = table.GetEntryField(i, 5);
          break;
        }
      }
    }
    added = !table.FindUrl("/");
    const int line = added ? -1 : table.RemoveEntry("/");
    if (table.AddEntry(line, HtmlEntry("/", highlighted, homeRealm), highlighted) != 1) {
      return HomePageResult::kFailed;
    }
  } catch (const CSrcFileException& e) {
    m_prompter.ShowOkWithReason(FormatText(CCodeGenerator::kCannotWriteText, {m_strPath}),
                                e.Reason());
    return HomePageResult::kFailed;
  }
  m_prompter.ShowInformation(added ? kAddedText : kChangedText);
  m_strHome = highlighted;
  m_strHomeRealm = homeRealm;
  return added ? HomePageResult::kAdded : HomePageResult::kChanged;
}

HomePageResult CHomePageEditor::RemoveHome() {
  if (m_strHome.empty()) {
    m_prompter.ShowOk(kNoHomeText);
    return HomePageResult::kNoHome;
  }
  if (!WritableOrReport(m_prompter, m_strPath) ||
      !SoundOrReport(m_prompter, m_files, m_strPath, CFileStructure::Kind::kUrlFile)) {
    return HomePageResult::kFailed;
  }
  try {
    CUrlTable(m_prompter, m_files, m_strPath).RemoveEntry("/");
  } catch (const CSrcFileException& e) {
    m_prompter.ShowOkWithReason(FormatText(CCodeGenerator::kCannotWriteText, {m_strPath}),
                                e.Reason());
    return HomePageResult::kFailed;
  }
  m_prompter.ShowInformation(kRemovedText);
  m_strHome.clear();
  m_strHomeRealm.clear();
  return HomePageResult::kRemoved;
}
