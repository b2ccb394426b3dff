#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "document/generated_files.h"
#include "edit/url_entry_form.h"
#include "platform/prompter.h"

// One row of the URL file editor's list: the six fields of a URL table entry
// as the table reader gives them (URL, "yes"/"no", function, HSType function,
// size or "N/A", realm expression).
inline constexpr int kUrlColumnCount = 6;
using CUrlRow = std::array<std::string, kUrlColumnCount>;

// The list's columns, left to right: title and width in pixels.
struct CUrlColumn {
  const char* m_pszTitle;
  int m_nWidth;
};
inline constexpr std::array<CUrlColumn, kUrlColumnCount> kUrlColumns = {{{"URL", 200},
                                                                         {"HTML", 50},
                                                                         {"Function", 130},
                                                                         {"HSType function", 110},
                                                                         {"File Size", 60},
                                                                         {"Realm", 210}}};
// The column whose cells sort as numbers.
inline constexpr int kUrlSizeColumn = 4;

// How two cells of column compare (<0, 0, >0): the size column as decimal
// numbers (a text without digits, such as "N/A", counts as 0), every other
// column byte by byte with the letters A to Z folded to lower case.
int CompareUrlCells(int column, std::string_view a, std::string_view b);

// The sort state of the list: the column of the last header click (-1 before
// the first) and its direction. Sorting reorders the rows on the screen only.
class CUrlSortOrder {
 public:
  // A header click: a new column sorts ascending, the same column again flips.
  void Click(int column);
  int Column() const { return m_nColumn; }
  bool Ascending() const { return m_bAscending; }
  // Sorts rows by the current column and direction (rows with equal keys keep
  // their order); nothing happens before the first click.
  void Sort(std::vector<CUrlRow>& rows) const;
  // The same order as the rows' old places: element i is the old place of the
  // row that goes to place i (for a list that keeps its selection).
  std::vector<size_t> SortedPlaces(const std::vector<CUrlRow>& rows) const;

 private:
  int m_nColumn = -1;
  bool m_bAscending = true;
};

// A cell text fitted into its column: when the text is at least as wide as
// the column less a 4-pixel margin, it is cut from its end until the rest
// followed by "..." fits, and "..." is appended. width measures a text in
// pixels with the list's font.
std::string FitCellText(const std::string& text, int columnWidth,
                        const std::function<int(std::string_view)>& width);

// The rules of the URL file editor over one URL file. The editor keeps no copy
// of the table: each change goes into the file at once through a fresh
// CUrlTable, and the caller's rows are updated to match. File errors are
// shown and reported as false.
class CUrlFileEditor {
 public:
  CUrlFileEditor(Prompter& prompter, std::string urlFilePath);

  // Opening: a missing file is shown as "Error in Opening %s" and gives false;
  // a read-only file asks "File %s is Read-only !\r\nDo you want to continue?":
  // No gives false, Yes opens it view-only (IsReadOnly).
  bool Open();
  bool IsReadOnly() const { return m_bReadOnly; }
  const std::string& Path() const { return m_strPath; }

  // The entries in file order, one row each (at opening and on Refresh).
  std::vector<CUrlRow> ReadRows() const;

  // "Remove": removes the entry of every selected row (indexes into rows, in
  // any order) from the file, one write per entry, and the rows from rows.
  // Returns the row to select afterwards: the one now standing where the last
  // removed row stood, or the new last row; -1 when rows is empty, and when
  // nothing was removed (no selection, or view-only mode).
  int RemoveRows(std::vector<CUrlRow>& rows, std::vector<int> selected);
  // The row to select after the row at index was taken out of a list that now
  // holds count rows (also for the Delete key, which removes a row from the
  // list only).
  static int RowAfterRemoval(int index, int count);

  // "New ...": adds the entry of accepted form values behind the last entry,
  // with a prototype for its function if it has none. row is the row to append
  // at the bottom of the list. False when nothing was written.
  bool AddEntry(const CUrlEntryValues& values, CUrlRow& row);
  // "Edit ...": replaces the entry whose URL is oldUrl in its place (at the end
  // when the file no longer holds it). row is the row's new cells. A home page
  // "/" that sends the same function with the entry's old realm gets the new
  // realm too: the home page keeps the protection of its page.
  bool EditEntry(const std::string& oldUrl, const CUrlEntryValues& values, CUrlRow& row);

  // The form's starting values for editing row (its cells, read as the editor
  // reads them: at most 127 characters each).
  static CUrlEntryValues ValuesOfRow(const CUrlRow& row);

  static constexpr const char* kTitle = "Edit URL file";
  static constexpr const char* kOpenErrorText = "Error in Opening %s";
  static constexpr const char* kReadOnlyText = "File %s is Read-only !\r\nDo you want to continue?";
  static constexpr const char* kSelectRowText = "You must select a row";
  static constexpr const char* kHeaderTip = "click to Sort";
  static constexpr const char* kListTip = "Sort";

 private:
  // The row of written values, as the list shows a new or edited entry until
  // the next Refresh (the size as typed).
  static CUrlRow RowOfValues(const CUrlEntryValues& values);
  // Runs one change of the file; a file error is shown and gives false.
  bool Change(const std::function<bool()>& change);

  Prompter& m_prompter;
  // An editor's change is written at once; reading a file changes nothing.
  mutable CDirectFiles m_files;
  std::string m_strPath;
  bool m_bReadOnly = false;
};
