#pragma once

#include <QAbstractItemModel>

#include "project/tree_ctrl.h"

// Shows the URL tree of a CSTreeCtrl in a QTreeView: one column, the item's
// text and its image pair. The tree owns the items; label edits go to
// CSTreeCtrl::EndLabelEdit. Other edits change the tree between BeginChange
// and EndChange, which reset the view (the caller restores what was expanded).
class CUrlTreeModel : public QAbstractItemModel {
 public:
  explicit CUrlTreeModel(CSTreeCtrl& tree, QObject* parent = nullptr)
      : QAbstractItemModel(parent), m_tree(tree) {}
  // Where a refused folder name is shown (nowhere without one).
  void SetPrompter(Prompter* prompter) { m_pPrompter = prompter; }

  QModelIndex IndexOf(HTREEITEM item) const;
  static HTREEITEM ItemOf(const QModelIndex& index) {
    return static_cast<HTREEITEM>(index.internalPointer());
  }
  void BeginChange() { beginResetModel(); }
  void EndChange() { endResetModel(); }

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& = {}) const override { return 1; }
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  CSTreeCtrl& m_tree;
  Prompter* m_pPrompter = nullptr;
};
