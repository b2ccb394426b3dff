#pragma once

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/prompter.h"
#include "project/page_node.h"
#include "project/project_file.h"

class CArchive;
class CMatchIndex;

// One item of the URL tree: a text (the root " / ", a folder's name or a file's
// full source path), an image (TreeImage; the selected image is image + 1) and
// its children in order. Items are owned by their CSTreeCtrl.
class CTreeItem {
 public:
  CTreeItem(const CTreeItem&) = delete;
  CTreeItem& operator=(const CTreeItem&) = delete;
  // Destroys the subtree without recursion, so any depth is safe.
  ~CTreeItem();

  const std::string& GetText() const { return m_strText; }
  int GetImage() const { return m_nImage; }
  int GetSelectedImage() const { return m_nImage + 1; }
  // nullptr for a top-level item (the root).
  CTreeItem* GetParent() const { return m_pParent; }
  // Position among the parent's children (or among the top-level items).
  int GetRow() const { return m_nRow; }
  int GetChildCount() const { return static_cast<int>(m_children.size()); }
  CTreeItem* GetChild(int row) const { return m_children[static_cast<size_t>(row)].get(); }

 private:
  friend class CSTreeCtrl;
  CTreeItem(std::string text, int image, CTreeItem* parent, int row)
      : m_strText(std::move(text)), m_nImage(image), m_pParent(parent), m_nRow(row) {}

  std::string m_strText;
  int m_nImage;
  CTreeItem* m_pParent;
  int m_nRow;
  std::vector<std::unique_ptr<CTreeItem>> m_children;
};

// The URL tree of a project in plain C++: the tree items the user edits, and the
// project's node list (m_nodes), a pre-order snapshot of the items that is what
// the project file saves and the build walks. A GUI shows the items through a
// model adapter and forwards edits; selection belongs to the view, so
// operations on "the selected item" take the item. Project verification uses an
// instance without items, only as a node list holder.
class CSTreeCtrl {
 public:
  static constexpr const char* kRootText = " / ";
  static constexpr const char* kNewFolderText = "New Folder";
  static constexpr const char* kCannotDeleteRootText = "You can't delete root";
  static constexpr const char* kDeleteFolderText =
      "Do you want to delete the folder: %s and all its subdirectories/files ?";

  CSTreeCtrl() = default;
  ~CSTreeCtrl();
  CSTreeCtrl(const CSTreeCtrl&) = delete;
  CSTreeCtrl& operator=(const CSTreeCtrl&) = delete;

  // --- Tree items ---------------------------------------------------------

  // Inserts an item as the last child of parent (nullptr: the top level).
  HTREEITEM InsertItem(const std::string& text, int image, HTREEITEM parent = nullptr);
  // Deletes an item with its whole subtree. Nodes that showed a deleted item
  // lose their item handle (it becomes nullptr); the lists are not otherwise
  // touched.
  void DeleteItem(HTREEITEM item);
  void DeleteAllItems();

  // The first top-level item: the root " / ".
  HTREEITEM GetRootItem() const;
  HTREEITEM GetChildItem(HTREEITEM item) const;
  HTREEITEM GetNextSiblingItem(HTREEITEM item) const;
  HTREEITEM GetParentItem(HTREEITEM item) const { return item ? item->m_pParent : nullptr; }
  const std::string& GetItemText(HTREEITEM item) const { return item->m_strText; }
  int GetItemImage(HTREEITEM item) const { return item->m_nImage; }
  void SetItemText(HTREEITEM item, std::string text) { item->m_strText = std::move(text); }
  int GetTopLevelCount() const { return static_cast<int>(m_items.size()); }
  HTREEITEM GetTopLevelItem(int row) const { return m_items[static_cast<size_t>(row)].get(); }
  // Number of items in the whole tree.
  size_t GetCount() const { return m_nItemCount; }

  // Label editing: only folder items (ImageFolder) may be renamed in place; the
  // root and file items may not. Ending an edit accepts any name that can be
  // part of a URL (see UrlNameProblem); false (nothing changed) for an item
  // that may not be edited, and for a refused name, whose message is shown
  // when a prompter is given.
  bool CanEditLabel(HTREEITEM item) const;
  bool EndLabelEdit(HTREEITEM item, const std::string& text, Prompter* prompter = nullptr);

  // What the Delete key does to the selected item: nothing without one; the
  // root is refused with kCannotDeleteRootText (OK box); a folder is deleted
  // only after Yes to kDeleteFolderText. True when an item was deleted. The node
  // list is rebuilt by the next RefreshNodes.
  bool DeleteSelection(HTREEITEM item, Prompter& prompter);

  // Helpers of the command line and the project window's add buttons.
  // The first child of parent (nullptr: the top level) with exactly this text.
  HTREEITEM FindChildItem(HTREEITEM parent, const std::string& text) const;
  // A folder item (ImageFolder) as the last child of parent.
  HTREEITEM InsertFolderItem(HTREEITEM parent, const std::string& name = kNewFolderText);
  // A file item for a source path, its image from the extension, as the last child.
  HTREEITEM InsertFileItem(HTREEITEM parent, const std::string& path);
  // The folder item of a URL folder such as "/docs/img" ("" or "/" is the
  // root), following folder items by name from the root. With create, missing
  // folders on the way are inserted; otherwise nullptr when one is missing.
  // A name that cannot be part of a URL is never inserted: nullptr, and
  // nothing inserted (RefusedUrlFolderText tells why).
  HTREEITEM FindFolderItem(const std::string& urlFolder, bool create);
  // Visits every item in pre-order with its depth (the root has depth 0).
  void WalkItems(const std::function<void(HTREEITEM item, int depth)>& visit) const;

  // --- Node list ----------------------------------------------------------

  // Deletes every node of m_nodes and empties it.
  void DeleteAllNodes();
  // Stores m_nodes as the project file's count and records, or loads them
  // (appending to an empty m_nodes); see SerializeNodes.
  void Serialize(CArchive& ar);

  // Creates the items of a loaded m_nodes: the first node becomes a top-level
  // root item (image ImageRoot) and InsertChildItems builds the rest. A tree
  // that then has no item gets the root " / ". Call on a tree without items.
  void OpenNodeList();
  // Creates the items of node's children and following siblings from m_nodes;
  // node's item must exist. Iterative; stops at links outside the list.
  void InsertChildItems(CPageNode& node);
  // Appends nodes for the children and following siblings of node's item to
  // m_nodes in pre-order, setting the child and sibling links. Throws
  // CFileError when a binary node's source cannot be opened.
  void CollectNodes(CPageNode& node);

  // Rebuilds m_nodes from the items before a build or a save: URLs, function
  // numbers (new ones from settings.m_nNextFunction, which grows), output files
  // in settings.m_strTargetDir, source times and changed flags. A page keeps
  // its number while its URL stays; a binary file while its source path stays.
  // A node without a match in the previous list shares the number of an earlier
  // node of this refresh that matches it (two items for one picture share one
  // number). When a source file cannot be opened, the refresh is abandoned: the
  // file error is shown in a stop box, the previous list and counter are put
  // back, and false is returned.
  bool RefreshNodes(CProjectSettings& settings, Prompter& prompter);

  // The URL of the node at a list index: "/" + the folder names below the root
  // + the file name, joined by "/"; case and blanks kept. Empty for an index
  // outside the list.
  std::string GetNodeUrl(int index) const;

  // The URL of an item as GetNodeUrl gives it for its node after a refresh:
  // "/" for the root, else "/" + the folder names below the root + the item's
  // name (a file item's name is its source's file name).
  std::string GetItemUrl(HTREEITEM item) const;
  // The name of the generated page file of a page's URL in the target
  // directory: the URL without its extension, "/" turned into "_", and ".c".
  static std::string PageFileName(const std::string& url);

  // The current node list in pre-order (index i is element i; the root is 0),
  // and the previous one, alive only during RefreshNodes.
  CPageNodeList m_nodes;
  CPageNodeList m_oldNodes;

 private:
  static void Renumber(std::vector<std::unique_ptr<CTreeItem>>& siblings, size_t from);
  std::vector<std::unique_ptr<CTreeItem>>& SiblingsOf(HTREEITEM item);
  const std::vector<std::unique_ptr<CTreeItem>>& SiblingsOf(HTREEITEM item) const;
  std::unique_ptr<CPageNode> MakeNode(HTREEITEM item, int parent);
  // outputs remembers whether each output file exists, so that the binary
  // data file, which every binary node names, is looked up once per refresh.
  void PrepareNode(CPageNode& node, CProjectSettings& settings, const CMatchIndex& previous,
                   const CMatchIndex& current, std::unordered_map<std::string, bool>& outputs);

  std::vector<std::unique_ptr<CTreeItem>> m_items;  // top-level items
  size_t m_nItemCount = 0;
};
