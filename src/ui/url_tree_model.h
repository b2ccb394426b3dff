#pragma once

#include <QAbstractItemModel>
#include <functional>
#include <unordered_set>

#include "project/tree_ctrl.h"

// Shows the URL tree of a CSTreeCtrl in a QTreeView: one column, the root and
// folders by their text, file items by the URL the firmware serves them at
// with their source path as tooltip, each with its image pair; an item whose
// source is missing is marked. The tree owns the items; label edits go to the
// label editor (CSTreeCtrl::EndLabelEdit unless replaced). Other edits change
// the tree between BeginChange and EndChange, which reset the view (the
// caller restores what was expanded).
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

  // Ends a label edit: true when the text was taken.
  using LabelEditor = std::function<bool(HTREEITEM item, const std::string& text)>;
  void SetLabelEditor(LabelEditor editor) { m_labelEditor = std::move(editor); }
  // The items shown as missing their source (replaces the previous set). The
  // items must be alive: a change of the tree clears the set first.
  void SetMissing(const std::vector<HTREEITEM>& items);
  bool IsMissing(HTREEITEM item) const { return m_missing.count(item) != 0; }
  static constexpr const char* kMissingTip = "Source file not found: %s";

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& = {}) const override { return 1; }
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  CSTreeCtrl& m_tree;
  LabelEditor m_labelEditor;
  std::unordered_set<HTREEITEM> m_missing;
  Prompter* m_pPrompter = nullptr;
};
