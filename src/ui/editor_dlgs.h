#pragma once

#include <QDialog>
#include <QTreeWidget>
#include <string>
#include <vector>

#include "edit/binary_removal.h"
#include "edit/home_page.h"
#include "edit/security_form.h"
#include "edit/url_entry_form.h"
#include "edit/url_file_editor.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;

// The dialogs that edit the generated files after a build. Each shows what a
// core class of src/edit reads and forwards the user's actions to it; the
// rules (sorting, checks, texts) live there.

// The URL file editor's list: one row per URL table entry, six columns, whole
// rows selected (several at once). A header click sorts the rows on the
// screen only; the Delete key takes the first selected row off the list (the
// file keeps it); the navigation keys do nothing; the right mouse button acts
// as the left one; a cell too wide for its column ends in "...".
class CSortListCtrl : public QTreeWidget {
 public:
  explicit CSortListCtrl(QWidget* parent);

  // Shows rows in their order and selects selectRow (-1: none).
  void SetRows(std::vector<CUrlRow> rows, int selectRow);
  const std::vector<CUrlRow>& Rows() const { return m_rows; }
  std::vector<CUrlRow>& MutableRows() { return m_rows; }
  // The selected rows' places, in list order.
  std::vector<int> SelectedRows() const;
  void SelectRow(int row);
  const CUrlSortOrder& SortOrder() const { return m_order; }
  // A header click on column.
  void SortBy(int column);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  std::vector<CUrlRow> m_rows;
  CUrlSortOrder m_order;
};

// The URL file editor ("Edit URL file") over one URL file.
class CUrlFileDlg : public QDialog {
 public:
  CUrlFileDlg(QWidget* parent, const std::string& urlFilePath, Prompter& prompter);
  // Closes at once with Cancel when the file could not be opened (or the user
  // declined a read-only one).
  int exec() override;
  bool IsOpen() const { return m_bOpen; }
  CSortListCtrl* List() const { return m_pList; }

  void OnNew();
  void OnEdit();
  void OnRemove();
  void OnSecurity();
  void OnRefresh();

 private:
  Prompter& m_prompter;
  CUrlFileEditor m_editor;
  bool m_bOpen = false;
  CSortListCtrl* m_pList;
};

// The URL entry form ("New URL" / "Edit URL").
class CUrlEntryDlg : public QDialog {
 public:
  CUrlEntryDlg(QWidget* parent, CUrlEntryForm form, Prompter& prompter);
  void accept() override;
  const CUrlEntryValues& Result() const { return m_form.Result(); }

 private:
  CUrlEntryForm m_form;
  Prompter& m_prompter;
  QLineEdit* m_pUrl;
  QLineEdit* m_pFunction;
  QLineEdit* m_pSize;
  QComboBox* m_pHsType;
  QCheckBox* m_pNone;
  std::vector<QCheckBox*> m_realms;
};

// The eight realms of a URL file ("Security Table").
class CSecurityTableDlg : public QDialog {
 public:
  CSecurityTableDlg(QWidget* parent, const std::string& urlFilePath, Prompter& prompter);
  void accept() override;
  void OnClearAll();

 private:
  // Reads the realms from the file into the fields.
  void ShowRows();

  CSecurityTableForm m_form;
  QLineEdit* m_fields[kRealmCount][3];
};

// The home page ("Set Home Page"): every URL but "/", the ones sharing the
// highlighted function on light yellow.
class CHomePageDlg : public QDialog {
 public:
  CHomePageDlg(QWidget* parent, const std::string& urlFilePath, Prompter& prompter);
  // A click on the item at row: its function becomes the highlighted one.
  void Highlight(int row);
  const std::string& Highlighted() const { return m_strHighlighted; }
  QListWidget* List() const { return m_pList; }
  void OnSetHome();
  void OnNoHomePage();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Repaint();

  CHomePageEditor m_editor;
  std::string m_strHighlighted;
  QListWidget* m_pList;
};

// "Remove Binary Data": the source files whose data the binary data file
// holds; the selected ones' data is removed in one pass.
class CRemoveBinDlg : public QDialog {
 public:
  CRemoveBinDlg(QWidget* parent, const std::string& binFilePath, Prompter& prompter);
  QListWidget* List() const { return m_pList; }
  void OnRemove();

 private:
  CBinaryDataRemover m_remover;
  QListWidget* m_pList;
  QLabel* m_pStatus;
  QProgressBar* m_pProgress;
};
