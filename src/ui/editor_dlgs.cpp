#include "ui/editor_dlgs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>

#include "ui/ui_dialogs.h"

namespace {

// Draws a cell's text shortened with "..." to fit its column.
class CFitTextDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    const QFontMetrics metrics(option->font);
    const int width = option->rect.width();
    option->text = ToQt(FitCellText(FromQt(option->text), width, [&](std::string_view text) {
      return metrics.horizontalAdvance(QString::fromUtf8(text.data(), qsizetype(text.size())));
    }));
    option->textElideMode = Qt::ElideNone;
  }
};

// The same mouse event with the right button turned into the left one.
QMouseEvent AsLeftButton(const QMouseEvent& event) {
  auto buttons = event.buttons();
  if (buttons & Qt::RightButton) buttons = (buttons & ~Qt::RightButton) | Qt::LeftButton;
  const Qt::MouseButton button =
      event.button() == Qt::RightButton ? Qt::LeftButton : event.button();
  return QMouseEvent(event.type(), event.position(), event.scenePosition(), event.globalPosition(),
                     button, buttons, event.modifiers());
}

// The security button's picture: a padlock.
QIcon PadlockIcon() {
  QPixmap pixmap(20, 20);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(90, 90, 90), 2));
  p.drawArc(QRectF(5, 2, 10, 12), 0, 180 * 16);
  p.setPen(QPen(QColor(120, 90, 10), 1));
  p.setBrush(QColor(230, 180, 40));
  p.drawRoundedRect(QRectF(3.5, 8.5, 13, 10), 2, 2);
  return QIcon(pixmap);
}

}  // namespace

// --- CSortListCtrl ------------------------------------------------------

CSortListCtrl::CSortListCtrl(QWidget* parent) : QTreeWidget(parent) {
  setObjectName("urlList");
  setColumnCount(kUrlColumnCount);
  QStringList titles;
  for (const CUrlColumn& column : kUrlColumns) titles << column.m_pszTitle;
  setHeaderLabels(titles);
  for (int c = 0; c < kUrlColumnCount; ++c) setColumnWidth(c, kUrlColumns[size_t(c)].m_nWidth);
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setItemDelegate(new CFitTextDelegate(this));
  header()->setSectionsClickable(true);
  header()->setToolTip(CUrlFileEditor::kHeaderTip);
  viewport()->setToolTip(CUrlFileEditor::kListTip);
  connect(header(), &QHeaderView::sectionClicked, this, &CSortListCtrl::SortBy);
}

void CSortListCtrl::SetRows(std::vector<CUrlRow> rows, int selectRow) {
  m_rows = std::move(rows);
  clear();
  QList<QTreeWidgetItem*> items;
  items.reserve(qsizetype(m_rows.size()));
  for (const CUrlRow& row : m_rows) {
    QStringList cells;
    for (const std::string& cell : row) cells << ToQt(cell);
    items << new QTreeWidgetItem(cells);
  }
  addTopLevelItems(items);
  SelectRow(selectRow);
}

std::vector<int> CSortListCtrl::SelectedRows() const {
  std::vector<int> rows;
  for (int row = 0; row < topLevelItemCount(); ++row) {
    if (topLevelItem(row)->isSelected()) rows.push_back(row);
  }
  return rows;
}

void CSortListCtrl::SelectRow(int row) {
  clearSelection();
  if (row < 0 || row >= topLevelItemCount()) return;
  setCurrentItem(topLevelItem(row));
  topLevelItem(row)->setSelected(true);
  scrollToItem(topLevelItem(row));
}

void CSortListCtrl::SortBy(int column) {
  m_order.Click(column);
  // The selected rows stay selected at their new places.
  const std::vector<int> selected = SelectedRows();
  const std::vector<size_t> places = m_order.SortedPlaces(m_rows);
  std::vector<CUrlRow> rows;
  rows.reserve(places.size());
  for (size_t place : places) rows.push_back(m_rows[place]);
  SetRows(std::move(rows), -1);
  for (size_t i = 0; i < places.size(); ++i) {
    if (std::binary_search(selected.begin(), selected.end(), static_cast<int>(places[i]))) {
      topLevelItem(static_cast<int>(i))->setSelected(true);
    }
  }
}

void CSortListCtrl::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_End:
    case Qt::Key_Home:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
      event->accept();  // the navigation keys do nothing here
      return;
    case Qt::Key_Delete: {
      // Off the list only: "Refresh" shows the entry again.
      const std::vector<int> selected = SelectedRows();
      if (selected.empty()) return;
      std::vector<CUrlRow> rows = m_rows;
      rows.erase(rows.begin() + selected.front());
      const int count = static_cast<int>(rows.size());
      SetRows(std::move(rows), CUrlFileEditor::RowAfterRemoval(selected.front(), count));
      return;
    }
    default:
      QTreeWidget::keyPressEvent(event);
  }
}

void CSortListCtrl::mousePressEvent(QMouseEvent* event) {
  QMouseEvent left = AsLeftButton(*event);
  QTreeWidget::mousePressEvent(&left);
}

void CSortListCtrl::mouseReleaseEvent(QMouseEvent* event) {
  QMouseEvent left = AsLeftButton(*event);
  QTreeWidget::mouseReleaseEvent(&left);
}

void CSortListCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
  QMouseEvent left = AsLeftButton(*event);
  QTreeWidget::mouseDoubleClickEvent(&left);
}

// --- CUrlFileDlg --------------------------------------------------------

CUrlFileDlg::CUrlFileDlg(QWidget* parent, const std::string& urlFilePath, Prompter& prompter)
    : QDialog(parent), m_prompter(prompter), m_editor(prompter, urlFilePath) {
  setWindowTitle(CUrlFileEditor::kTitle);
  auto* layout = new QVBoxLayout(this);
  m_pList = new CSortListCtrl(this);
  layout->addWidget(m_pList, 1);
  auto* buttons = new QHBoxLayout;
  QPushButton* exit = MakeButton("E&xit", "exitButton", this);
  QPushButton* add = MakeButton("&New ...", "newButton", this);
  QPushButton* edit = MakeButton("&Edit ...", "editButton", this);
  QPushButton* remove = MakeButton("&Remove", "removeButton", this);
  QPushButton* security = MakeButton("SECURITY", "securityButton", this);
  security->setIcon(PadlockIcon());
  QPushButton* refresh = MakeButton("Re&fresh", "refreshButton", this);
  for (QPushButton* b : {exit, add, edit, remove, security, refresh}) buttons->addWidget(b);
  layout->addLayout(buttons);
  resize(820, 460);
  connect(exit, &QPushButton::clicked, this, &QDialog::reject);
  connect(add, &QPushButton::clicked, this, &CUrlFileDlg::OnNew);
  connect(edit, &QPushButton::clicked, this, &CUrlFileDlg::OnEdit);
  connect(remove, &QPushButton::clicked, this, &CUrlFileDlg::OnRemove);
  connect(security, &QPushButton::clicked, this, &CUrlFileDlg::OnSecurity);
  connect(refresh, &QPushButton::clicked, this, &CUrlFileDlg::OnRefresh);

  m_bOpen = m_editor.Open();
  if (!m_bOpen) return;
  if (m_editor.IsReadOnly()) {
    for (QPushButton* b : {add, edit, remove, security}) b->setEnabled(false);
  }
  OnRefresh();
}

int CUrlFileDlg::exec() { return m_bOpen ? QDialog::exec() : QDialog::Rejected; }

void CUrlFileDlg::OnRefresh() {
  std::vector<CUrlRow> rows = m_editor.ReadRows();
  const int last = static_cast<int>(rows.size()) - 1;
  m_pList->SetRows(std::move(rows), last);
  m_pList->setFocus();
}

void CUrlFileDlg::OnNew() {
  CUrlEntryDlg entry(this, CUrlEntryForm(m_editor.Path()), m_prompter);
  if (entry.exec() != QDialog::Accepted) return;
  CUrlRow row;
  if (!m_editor.AddEntry(entry.Result(), row)) return;
  std::vector<CUrlRow> rows = m_pList->Rows();
  rows.push_back(row);
  const int last = static_cast<int>(rows.size()) - 1;
  m_pList->SetRows(std::move(rows), last);
}

void CUrlFileDlg::OnEdit() {
  const std::vector<int> selected = m_pList->SelectedRows();
  if (selected.empty()) {
    m_prompter.ShowOk(CUrlFileEditor::kSelectRowText);
    return;
  }
  const int place = selected.front();
  const CUrlRow old = m_pList->Rows()[size_t(place)];
  CUrlEntryDlg entry(this, CUrlEntryForm(CUrlFileEditor::ValuesOfRow(old), m_editor.Path()),
                     m_prompter);
  if (entry.exec() != QDialog::Accepted) return;
  CUrlRow row;
  if (!m_editor.EditEntry(old[0], entry.Result(), row)) return;
  std::vector<CUrlRow> rows = m_pList->Rows();
  rows[size_t(place)] = row;
  m_pList->SetRows(std::move(rows), place);
}

void CUrlFileDlg::OnRemove() {
  std::vector<CUrlRow> rows = m_pList->Rows();
  const int select = m_editor.RemoveRows(rows, m_pList->SelectedRows());
  if (select < 0 && rows.size() == m_pList->Rows().size()) return;
  m_pList->SetRows(std::move(rows), select);
}

void CUrlFileDlg::OnSecurity() { CSecurityTableDlg(this, m_editor.Path(), m_prompter).exec(); }

// --- CUrlEntryDlg -------------------------------------------------------

CUrlEntryDlg::CUrlEntryDlg(QWidget* parent, CUrlEntryForm form, Prompter& prompter)
    : QDialog(parent), m_form(std::move(form)), m_prompter(prompter) {
  setWindowTitle(m_form.Title());
  const CUrlEntryValues& initial = m_form.Initial();
  auto* layout = new QVBoxLayout(this);
  auto* fields = new QFormLayout;
  auto field = [this](const std::string& text, const char* name) {
    auto* edit = new QLineEdit(ToQt(text), this);
    edit->setObjectName(name);
    return edit;
  };
  m_pUrl = field(initial.m_strUrl, "urlEdit");
  m_pFunction = field(initial.m_strFunction, "functionEdit");
  m_pSize = field(initial.m_strSize, "sizeEdit");
  m_pHsType = new QComboBox(this);
  m_pHsType->setObjectName("hsTypeCombo");
  m_pHsType->setEditable(true);
  m_pHsType->setInsertPolicy(QComboBox::NoInsert);  // the list keeps its entries
  for (const char* type : kHsTypes) m_pHsType->addItem(type);
  m_pHsType->setCurrentText(ToQt(initial.m_strHsType));
  fields->addRow("URL:", m_pUrl);
  fields->addRow("Function:", m_pFunction);
  fields->addRow("File Size (for binary data):", m_pSize);
  fields->addRow("HSType:", m_pHsType);
  layout->addLayout(fields);

  auto* realm = new QGroupBox("Realm:", this);
  auto* grid = new QGridLayout(realm);
  m_pNone = new QCheckBox("None (not protected)", realm);
  m_pNone->setObjectName("noneCheck");
  grid->addWidget(m_pNone, 0, 0, 1, 4);
  for (int k = 0; k < kRealmCount; ++k) {
    auto* box = new QCheckBox(QString::number(k + 1), realm);
    box->setObjectName(QString("realmCheck%1").arg(k + 1));
    box->setChecked((m_form.InitialRealmMask() >> k) & 1u);
    grid->addWidget(box, 1 + k / 4, k % 4);
    m_realms.push_back(box);
  }
  auto enableBoxes = [this] {
    for (QCheckBox* box : m_realms) box->setEnabled(!m_pNone->isChecked());
  };
  m_pNone->setChecked(m_form.InitialUnprotected());
  enableBoxes();
  connect(m_pNone, &QCheckBox::toggled, this, enableBoxes);
  layout->addWidget(realm);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("okButton");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  setMinimumWidth(420);
}

void CUrlEntryDlg::accept() {
  CUrlEntryValues typed;
  typed.m_strUrl = FromQt(m_pUrl->text());
  typed.m_strFunction = FromQt(m_pFunction->text());
  typed.m_strSize = FromQt(m_pSize->text());
  typed.m_strHsType = FromQt(m_pHsType->currentText());
  unsigned mask = 0;
  for (int k = 0; k < kRealmCount; ++k) {
    if (m_realms[size_t(k)]->isChecked()) mask |= 1u << k;
  }
  const UrlEntryCheck check = m_form.Accept(m_prompter, typed, m_pNone->isChecked(), mask);
  if (check == UrlEntryCheck::kAccepted) {
    QDialog::accept();
    return;
  }
  switch (CUrlEntryForm::FocusAfter(check)) {
    case UrlEntryField::kUrl:
      m_pUrl->setFocus();
      break;
    case UrlEntryField::kFunction:
      m_pFunction->setFocus();
      break;
    case UrlEntryField::kSize:
      m_pSize->setFocus();
      break;
    case UrlEntryField::kHsType:
      m_pHsType->setFocus();
      break;
    case UrlEntryField::kUnchanged:
      break;
  }
}

// --- CSecurityTableDlg --------------------------------------------------

CSecurityTableDlg::CSecurityTableDlg(QWidget* parent, const std::string& urlFilePath,
                                     Prompter& prompter)
    : QDialog(parent), m_form(prompter, urlFilePath) {
  setWindowTitle(CSecurityTableForm::kTitle);
  auto* layout = new QVBoxLayout(this);
  auto* grid = new QGridLayout;
  const char* titles[] = {"Realm Name", "User name", "Password"};
  const char* names[] = {"realmName%1", "realmUser%1", "realmPassword%1"};
  for (int f = 0; f < 3; ++f) grid->addWidget(new QLabel(titles[f], this), 0, f + 1);
  for (int r = 0; r < kRealmCount; ++r) {
    grid->addWidget(new QLabel(QString("Realm%1:").arg(r + 1), this), r + 1, 0);
    for (int f = 0; f < 3; ++f) {
      m_fields[r][f] = new QLineEdit(this);
      m_fields[r][f]->setObjectName(QString(names[f]).arg(r + 1));
      grid->addWidget(m_fields[r][f], r + 1, f + 1);
    }
  }
  ShowRows();
  layout->addLayout(grid);
  // Realm passwords are not hidden anywhere: the user is told so where they are typed.
  auto* note = new QLabel(CSecurityTableForm::kPlainTextNote, this);
  note->setObjectName("plainTextNoteLabel");
  note->setWordWrap(true);
  layout->addWidget(note);
  auto* buttons = new QHBoxLayout;
  QPushButton* ok = MakeButton("OK", "okButton", this);
  ok->setDefault(true);
  QPushButton* clear = MakeButton("&Clear All", "clearAllButton", this);
  QPushButton* cancel = MakeButton("Cancel", "cancelButton", this);
  buttons->addStretch();
  for (QPushButton* b : {ok, clear, cancel}) buttons->addWidget(b);
  layout->addLayout(buttons);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(clear, &QPushButton::clicked, this, &CSecurityTableDlg::OnClearAll);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CSecurityTableDlg::ShowRows() {
  const CRealmRows rows = m_form.ReadRows();
  for (int r = 0; r < kRealmCount; ++r) {
    const CRealmRow& row = rows[size_t(r)];
    const std::string* values[] = {&row.m_strName, &row.m_strUser, &row.m_strPassword};
    for (int f = 0; f < 3; ++f) m_fields[r][f]->setText(ToQt(*values[f]));
  }
}

void CSecurityTableDlg::OnClearAll() {
  for (auto& row : m_fields) {
    for (QLineEdit* field : row) field->clear();
  }
}

void CSecurityTableDlg::accept() {
  CRealmRows rows;
  for (int r = 0; r < kRealmCount; ++r) {
    rows[size_t(r)] = {FromQt(m_fields[r][0]->text()), FromQt(m_fields[r][1]->text()),
                       FromQt(m_fields[r][2]->text())};
  }
  int badRow = 0, badField = 0;
  switch (m_form.Write(rows, &badRow, &badField)) {
    case RealmWrite::kWritten:
      QDialog::accept();
      break;
    case RealmWrite::kRefused:
      m_fields[badRow][badField]->setFocus();
      break;
    case RealmWrite::kChanged:
      ShowRows();  // shown; what the file holds now
      break;
    case RealmWrite::kFailed:
      break;  // shown; the user may try again or cancel
  }
}

// --- CHomePageDlg -------------------------------------------------------

namespace {

// Draws every URL sharing the highlighted function on light yellow, the
// others on white; the selection colours are not used.
class CHighlightDelegate : public QStyledItemDelegate {
 public:
  CHighlightDelegate(QObject* parent, const CHomePageEditor& editor, const std::string& highlighted)
      : QStyledItemDelegate(parent), m_editor(editor), m_highlighted(highlighted) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    const CHomePageItem& item = m_editor.Items()[size_t(index.row())];
    const bool lit = CHomePageEditor::IsHighlighted(item, m_highlighted);
    painter->fillRect(option.rect, lit ? QColor(kHomeHighlight.m_nRed, kHomeHighlight.m_nGreen,
                                                kHomeHighlight.m_nBlue)
                                       : QColor(Qt::white));
    painter->setPen(Qt::black);
    painter->drawText(option.rect.adjusted(2, 1, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                      ToQt(item.m_strUrl));
  }
  // Room below the text for its descenders, since it starts 1 pixel down.
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(std::max(size.height(), option.fontMetrics.height() + 3));
    return size;
  }

 private:
  const CHomePageEditor& m_editor;
  const std::string& m_highlighted;
};

}  // namespace

CHomePageDlg::CHomePageDlg(QWidget* parent, const std::string& urlFilePath, Prompter& prompter)
    : QDialog(parent), m_editor(prompter, urlFilePath) {
  setWindowTitle(CHomePageEditor::kTitle);
  m_strHighlighted = m_editor.CurrentHome();
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(CHomePageEditor::kListLabel, this));
  m_pList = new QListWidget(this);
  m_pList->setObjectName("homeList");
  m_pList->setUniformItemSizes(true);
  for (const CHomePageItem& item : m_editor.Items()) m_pList->addItem(ToQt(item.m_strUrl));
  m_pList->setItemDelegate(new CHighlightDelegate(m_pList, m_editor, m_strHighlighted));
  layout->addWidget(m_pList, 1);
  auto* buttons = new QHBoxLayout;
  QPushButton* set = MakeButton("Set &Home", "setHomeButton", this);
  set->setDefault(true);
  QPushButton* none = MakeButton("&No Home Page", "noHomeButton", this);
  QPushButton* cancel = MakeButton("Cancel", "cancelButton", this);
  for (QPushButton* b : {set, none, cancel}) buttons->addWidget(b);
  layout->addLayout(buttons);
  resize(420, 380);
  m_pList->viewport()->installEventFilter(this);
  connect(set, &QPushButton::clicked, this, &CHomePageDlg::OnSetHome);
  connect(none, &QPushButton::clicked, this, &CHomePageDlg::OnNoHomePage);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CHomePageDlg::Highlight(int row) {
  if (row < 0 || row >= static_cast<int>(m_editor.Items().size())) return;
  m_strHighlighted = m_editor.Items()[size_t(row)].m_strFunction;
  Repaint();
}

void CHomePageDlg::Repaint() { m_pList->viewport()->update(); }

bool CHomePageDlg::eventFilter(QObject* watched, QEvent* event) {
  // A left press anywhere in the list picks the item nearest to it.
  if (watched == m_pList->viewport() && event->type() == QEvent::MouseButtonPress &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && m_pList->count() > 0) {
    const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
    QListWidgetItem* item = m_pList->itemAt(at);
    if (!item) {
      item = at.y() < m_pList->visualItemRect(m_pList->item(0)).top()
                 ? m_pList->item(0)
                 : m_pList->item(m_pList->count() - 1);
    }
    Highlight(m_pList->row(item));
  }
  return QDialog::eventFilter(watched, event);
}

void CHomePageDlg::OnSetHome() {
  if (m_editor.SetHome(m_strHighlighted) != HomePageResult::kNoHome) QDialog::accept();
}

void CHomePageDlg::OnNoHomePage() {
  if (m_editor.RemoveHome() != HomePageResult::kNoHome) QDialog::accept();
}

// --- CRemoveBinDlg ------------------------------------------------------

namespace {

// The names of a binary data file, read under the wait cursor.
CBinaryDataRemover ReadNames(Prompter& prompter, const std::string& path) {
  CWaitCursor wait;
  return CBinaryDataRemover(prompter, path);
}

}  // namespace

CRemoveBinDlg::CRemoveBinDlg(QWidget* parent, const std::string& binFilePath, Prompter& prompter)
    : QDialog(parent), m_remover(ReadNames(prompter, binFilePath)) {
  setWindowTitle(CBinaryDataRemover::kTitle);
  auto* layout = new QVBoxLayout(this);
  auto* note = new QLabel(CBinaryDataRemover::kNoteText, this);
  note->setWordWrap(true);
  layout->addWidget(note);
  auto* file = new QHBoxLayout;
  file->addWidget(new QLabel(CBinaryDataRemover::kFileLabel, this));
  auto* path = new QLabel(ToQt(binFilePath), this);
  path->setObjectName("binFileLabel");
  file->addWidget(path, 1);
  layout->addLayout(file);
  m_pList = new QListWidget(this);
  m_pList->setObjectName("nameList");
  m_pList->setSelectionMode(QAbstractItemView::MultiSelection);
  m_pList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  m_pList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  for (const std::string& name : m_remover.Names()) m_pList->addItem(ToQt(name));
  layout->addWidget(m_pList, 1);
  auto* progress = new QGroupBox(CBinaryDataRemover::kProgressTitle, this);
  auto* progressLayout = new QVBoxLayout(progress);
  m_pStatus = new QLabel(progress);
  m_pStatus->setObjectName("statusLabel");
  m_pProgress = new QProgressBar(progress);
  m_pProgress->setObjectName("removeProgress");
  m_pProgress->setValue(0);
  m_pProgress->setTextVisible(false);
  progressLayout->addWidget(m_pStatus);
  progressLayout->addWidget(m_pProgress);
  layout->addWidget(progress);
  auto* buttons = new QHBoxLayout;
  QPushButton* remove = MakeButton("&Remove", "removeButton", this);
  remove->setDefault(true);
  QPushButton* cancel = MakeButton("Cancel", "cancelButton", this);
  buttons->addStretch();
  buttons->addWidget(remove);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  resize(560, 420);
  connect(remove, &QPushButton::clicked, this, &CRemoveBinDlg::OnRemove);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CRemoveBinDlg::OnRemove() {
  std::vector<std::string> names;
  for (int row = 0; row < m_pList->count(); ++row) {
    if (m_pList->item(row)->isSelected()) names.push_back(FromQt(m_pList->item(row)->text()));
  }
  std::optional<CWaitCursor> wait;
  if (!names.empty()) {
    m_pProgress->setRange(0, static_cast<int>(names.size()));
    m_pProgress->setValue(0);
    wait.emplace();
  }
  const BinaryRemoval result = m_remover.Remove(names, [this](int index, const std::string& name) {
    m_pStatus->setText(ToQt(CBinaryDataRemover::kRemovingText + name));
    m_pProgress->setValue(index + 1);
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  });
  wait.reset();
  if (result == BinaryRemoval::kDone) QDialog::accept();
}
