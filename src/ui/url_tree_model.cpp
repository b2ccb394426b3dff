#include "ui/url_tree_model.h"

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
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
    case Qt::ToolTipRole:
      return ToQt(item->GetText());
    case Qt::DecorationRole:
      return TreeIcon(item->GetImage());
    default:
      return {};
  }
}

bool CUrlTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::EditRole) return false;
  if (!m_tree.EndLabelEdit(ItemOf(index), FromQt(value.toString()), m_pPrompter)) return false;
  emit dataChanged(index, index);
  return true;
}

Qt::ItemFlags CUrlTreeModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (m_tree.CanEditLabel(ItemOf(index))) flags |= Qt::ItemIsEditable;
  return flags;
}
