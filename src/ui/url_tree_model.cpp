#include "ui/url_tree_model.h"

#include <QApplication>
#include <QBrush>
#include <QStyle>

#include "ui/tree_images.h"
#include "ui/ui_dialogs.h"

QModelIndex CUrlTreeModel::IndexOf(HTREEITEM item) const {
  return item ? createIndex(item->GetRow(), 0, item) : QModelIndex();
}

QModelIndex CUrlTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (column != 0 || row < 0) return {};
  if (!parent.isValid()) {
    return row < m_tree.GetTopLevelCount() ? createIndex(row, 0, m_tree.GetTopLevelItem(row))
                                           : QModelIndex();
  }
  HTREEITEM item = ItemOf(parent);
  return row < item->GetChildCount() ? createIndex(row, 0, item->GetChild(row)) : QModelIndex();
}

QModelIndex CUrlTreeModel::parent(const QModelIndex& child) const {
  if (!child.isValid()) return {};
  return IndexOf(ItemOf(child)->GetParent());
}

int CUrlTreeModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return m_tree.GetTopLevelCount();
  return ItemOf(parent)->GetChildCount();
}

QVariant CUrlTreeModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  HTREEITEM item = ItemOf(index);
  const bool file = item->GetImage() != ImageRoot && item->GetImage() != ImageFolder;
  switch (role) {
    case Qt::DisplayRole:
      return ToQt(file ? m_tree.GetItemUrl(item) : item->GetText());
    case Qt::EditRole:
      return ToQt(item->GetText());
    case Qt::ToolTipRole:
      if (IsMissing(item)) return ToQt(FormatText(kMissingTip, {item->GetText()}));
      return ToQt(file ? item->GetText() : m_tree.GetItemUrl(item));
    case Qt::DecorationRole:
      if (IsMissing(item)) {
        return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
      }
      return TreeIcon(item->GetImage());
    case Qt::ForegroundRole:
      if (IsMissing(item)) return QBrush(Qt::red);
      return {};
    default:
      return {};
  }
}

void CUrlTreeModel::SetMissing(const std::vector<HTREEITEM>& items) {
  std::unordered_set<HTREEITEM> changed(items.begin(), items.end());
  changed.insert(m_missing.begin(), m_missing.end());
  m_missing = std::unordered_set<HTREEITEM>(items.begin(), items.end());
  for (HTREEITEM item : changed) emit dataChanged(IndexOf(item), IndexOf(item));
}

bool CUrlTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::EditRole) return false;
  const std::string text = FromQt(value.toString());
  if (m_labelEditor ? !m_labelEditor(ItemOf(index), text)
                    : !m_tree.EndLabelEdit(ItemOf(index), text, m_pPrompter)) {
    return false;
  }
  emit dataChanged(index, index);
  return true;
}

Qt::ItemFlags CUrlTreeModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (m_tree.CanEditLabel(ItemOf(index))) flags |= Qt::ItemIsEditable;
  return flags;
}
