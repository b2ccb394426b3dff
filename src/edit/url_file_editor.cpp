#include "edit/url_file_editor.h"

#include <algorithm>

#include "document/source_text.h"
#include "generator/code_generator.h"
#include "generator/field_text.h"
#include "generator/file_structure.h"
#include "generator/url_table.h"
#include "platform/ascii.h"
#include "platform/file_util.h"
#include "platform/text_format.h"

int CompareUrlCells(int column, std::string_view a, std::string_view b) {
  if (column == kUrlSizeColumn) {
    const std::int64_t x = LeadingNumber(a);
    const std::int64_t y = LeadingNumber(b);
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  return CompareAsciiFolded(a, b);
}

void CUrlSortOrder::Click(int column) {
  m_bAscending = column == m_nColumn ? !m_bAscending : true;
  m_nColumn = column;
}

std::vector<size_t> CUrlSortOrder::SortedPlaces(const std::vector<CUrlRow>& rows) const {
  std::vector<size_t> places(rows.size());
  for (size_t i = 0; i < places.size(); ++i) places[i] = i;
  if (m_nColumn < 0 || m_nColumn >= kUrlColumnCount) return places;
  const size_t c = static_cast<size_t>(m_nColumn);
  std::stable_sort(places.begin(), places.end(), [&](size_t x, size_t y) {
    const int order = CompareUrlCells(m_nColumn, rows[x][c], rows[y][c]);
    return m_bAscending ? order < 0 : order > 0;
  });
  return places;
}

void CUrlSortOrder::Sort(std::vector<CUrlRow>& rows) const {
  std::vector<CUrlRow> sorted;
  sorted.reserve(rows.size());
  for (size_t place : SortedPlaces(rows)) sorted.push_back(std::move(rows[place]));
  rows = std::move(sorted);
}

std::string FitCellText(const std::string& text, int columnWidth,
                        const std::function<int(std::string_view)>& width) {
  const int room = columnWidth - 4;
  if (width(text) < room) return text;
  std::string rest = text;
  while (!rest.empty() && width(rest + "...") >= room) rest.pop_back();
  return rest + "...";
}

CUrlFileEditor::CUrlFileEditor(Prompter& prompter, std::string urlFilePath)
    : m_prompter(prompter), m_strPath(std::move(urlFilePath)) {}

bool CUrlFileEditor::Open() {
  if (!PathExists(m_strPath)) {
    m_prompter.ShowOk(FormatText(kOpenErrorText, {m_strPath}));
    return false;
  }
  m_bReadOnly = ::IsReadOnly(m_strPath);
  return !m_bReadOnly || m_prompter.AskYesNo(FormatText(kReadOnlyText, {m_strPath}));
}

std::vector<CUrlRow> CUrlFileEditor::ReadRows() const {
  std::vector<CUrlRow> rows;
  try {
    const CUrlTable table(m_prompter, m_files, m_strPath);
    rows.resize(static_cast<size_t>(table.GetEntryCount()));
    for (int i = 0; i < table.GetEntryCount(); ++i) {
      for (int f = 0; f < kUrlColumnCount; ++f) {
        rows[static_cast<size_t>(i)][static_cast<size_t>(f)] = table.GetEntryField(i, f);
      }
    }
  } catch (const CSrcFileException&) {
    m_prompter.ShowOk(FormatText(kOpenErrorText, {m_strPath}));
    rows.clear();
  }
  return rows;
}

bool CUrlFileEditor::Change(const std::function<bool()>& change) {
  bool done = false;
  std::string reason;
  if (!m_bReadOnly && CanWriteFile(m_strPath)) {
    if (!SoundOrReport(m_prompter, m_files, m_strPath, CFileStructure::Kind::kUrlFile))
      return false;
    try {
      done = change();
    } catch (const CSrcFileException& e) {
      done = false;
      reason = e.Reason();
    }
  }
  if (!done) {
    m_prompter.ShowOkWithReason(FormatText(CCodeGenerator::kCannotWriteText, {m_strPath}), reason);
  }
  return done;
}

int CUrlFileEditor::RemoveRows(std::vector<CUrlRow>& rows, std::vector<int> selected) {
  std::sort(selected.begin(), selected.end());
  selected.erase(std::unique(selected.begin(), selected.end()), selected.end());
  std::erase_if(selected, [&](int i) { return i < 0 || i >= static_cast<int>(rows.size()); });
  if (selected.empty() || m_bReadOnly) return -1;
  // The lowest selected row goes first; each removal writes the file.
  int last = -1;
  for (size_t k = 0; k < selected.size(); ++k) {
    const int index = selected[k] - static_cast<int>(k);
    const std::string url = rows[static_cast<size_t>(index)][0];
    // An entry the file no longer holds is simply gone.
    const auto remove = [&] {
      CUrlTable(m_prompter, m_files, m_strPath).RemoveEntry(url);
      return true;
    };
    if (!Change(remove)) break;  // the row stays: the file still holds its entry
    rows.erase(rows.begin() + index);
    last = index;
  }
  if (last < 0) return -1;
  return RowAfterRemoval(last, static_cast<int>(rows.size()));
}

int CUrlFileEditor::RowAfterRemoval(int index, int count) {
  if (count <= 0) return -1;
  return std::min(index, count - 1);
}

CUrlRow CUrlFileEditor::RowOfValues(const CUrlEntryValues& values) {
  std::string url = values.m_strUrl;
  EncodeSpaces(url);
  return {url,
          UrlEntryHtmlFlag(values) ? "yes" : "no",
          values.m_strFunction,
          values.m_strHsType,
          values.m_strSize,
          values.m_strRealm};
}

bool CUrlFileEditor::AddEntry(const CUrlEntryValues& values, CUrlRow& row) {
  const bool done = Change([&] {
    return CUrlTable(m_prompter, m_files, m_strPath)
               .AddEntry(-1, MakeUrlEntryText(values), values.m_strFunction) == 1;
  });
  if (done) row = RowOfValues(values);
  return done;
}

bool CUrlFileEditor::EditEntry(const std::string& oldUrl, const CUrlEntryValues& values,
                               CUrlRow& row) {
  const bool done = Change([&] {
    CUrlTable table(m_prompter, m_files, m_strPath);
    // The home page "/" keeps the protection of its page: made from this
    // entry with its realm, it follows the entry's new realm.
    int edited = -1;
    int home = -1;
    bool follows = table.FindUrlIndex(oldUrl, edited) && table.FindUrlIndex("/", home) &&
                   edited != home &&
                   table.GetEntryField(home, 2) == table.GetEntryField(edited, 2) &&
                   table.GetEntryField(home, 2) == values.m_strFunction &&
                   table.GetEntryField(home, 5) == table.GetEntryField(edited, 5) &&
                   table.GetEntryField(home, 5) != values.m_strRealm;
    const int line = table.RemoveEntry(oldUrl);
    if (table.AddEntry(line, MakeUrlEntryText(values), values.m_strFunction) != 1) return false;
    return !follows || table.SetEntryField("/", 5, values.m_strRealm) == 1;
  });
  if (done) row = RowOfValues(values);
  return done;
}

CUrlEntryValues CUrlFileEditor::ValuesOfRow(const CUrlRow& row) {
  auto cell = [&](int column) { return row[static_cast<size_t>(column)].substr(0, 127); };
  CUrlEntryValues values;
  values.m_strUrl = cell(0);
  values.m_strFunction = cell(2);
  values.m_strHsType = cell(3);
  values.m_strSize = cell(4);
  values.m_strRealm = cell(5);
  return values;
}
