#include "project/tree_ctrl.h"

#include <cerrno>
#include <unordered_map>
#include <unordered_set>

#include "platform/file_util.h"
#include "platform/text_format.h"
#include "project/archive.h"
#include "project/file_error.h"
#include "project/project_verify.h"
#include "project/url_names.h"

namespace {

// Checks a node's source (it opens, it is a regular file) and takes its
// last-write time; throws the file error otherwise.
std::uint64_t ReadSourceTime(const std::string& path) {
  CheckSourceFile(path);
  return LastWriteFileTime(path);
}

}  // namespace

// The candidates a node can inherit its function number from, indexed so a
// refresh stays linear in the number of nodes. Matching walks the candidates
// in list order: a page matches the first numbered node of the same URL; a
// binary node matches the first numbered node of the same source path, and on
// the way a node of that path under another URL flags it as changed.
class CMatchIndex {
 public:
  // Candidates must be added in list order, with their final URL and number.
  void Add(const CPageNode& l) {
    if (l.GetFunction() >= 0) m_byUrl.emplace(l.GetUrl(), &l);
    m_byPath[l.GetPath()].push_back(&l);
  }

  const CPageNode* FindMatch(CPageNode& f) const {
    if (f.IsPage()) {
      auto it = m_byUrl.find(f.GetUrl());
      return it == m_byUrl.end() ? nullptr : it->second;
    }
    auto it = m_byPath.find(f.GetPath());
    if (it == m_byPath.end()) return nullptr;
    for (const CPageNode* l : it->second) {
      if (l->GetUrl() != f.GetUrl()) f.SetChanged(1);
      if (l->GetFunction() >= 0) return l;
    }
    return nullptr;
  }

 private:
  std::unordered_map<std::string, const CPageNode*> m_byUrl;
  std::unordered_map<std::string, std::vector<const CPageNode*>> m_byPath;
};

CTreeItem::~CTreeItem() {
  std::vector<std::unique_ptr<CTreeItem>> pending = std::move(m_children);
  while (!pending.empty()) {
    std::unique_ptr<CTreeItem> item = std::move(pending.back());
    pending.pop_back();
    for (auto& child : item->m_children) pending.push_back(std::move(child));
    item->m_children.clear();
  }
}

CSTreeCtrl::~CSTreeCtrl() {
  DeleteAllNodes();
  m_oldNodes.clear();
}

std::vector<std::unique_ptr<CTreeItem>>& CSTreeCtrl::SiblingsOf(HTREEITEM item) {
  return item->m_pParent ? item->m_pParent->m_children : m_items;
}

const std::vector<std::unique_ptr<CTreeItem>>& CSTreeCtrl::SiblingsOf(HTREEITEM item) const {
  return item->m_pParent ? item->m_pParent->m_children : m_items;
}

void CSTreeCtrl::Renumber(std::vector<std::unique_ptr<CTreeItem>>& siblings, size_t from) {
  for (size_t i = from; i < siblings.size(); ++i) siblings[i]->m_nRow = static_cast<int>(i);
}

HTREEITEM CSTreeCtrl::InsertItem(const std::string& text, int image, HTREEITEM parent) {
  auto& siblings = parent ? parent->m_children : m_items;
  siblings.push_back(std::unique_ptr<CTreeItem>(
      new CTreeItem(text, image, parent, static_cast<int>(siblings.size()))));
  ++m_nItemCount;
  return siblings.back().get();
}

void CSTreeCtrl::DeleteItem(HTREEITEM item) {
  if (!item) return;
  std::unordered_set<const CTreeItem*> gone;
  std::vector<const CTreeItem*> pending{item};
  while (!pending.empty()) {
    const CTreeItem* current = pending.back();
    pending.pop_back();
    gone.insert(current);
    for (const auto& child : current->m_children) pending.push_back(child.get());
  }
  for (CPageNodeList* list : {&m_nodes, &m_oldNodes}) {
    for (auto& node : *list) {
      if (gone.count(node->GetItem())) node->SetItem(nullptr);
    }
  }
  auto& siblings = SiblingsOf(item);
  const size_t row = static_cast<size_t>(item->m_nRow);
  siblings.erase(siblings.begin() + static_cast<std::ptrdiff_t>(row));
  Renumber(siblings, row);
  m_nItemCount -= gone.size();
}

void CSTreeCtrl::DeleteAllItems() {
  for (CPageNodeList* list : {&m_nodes, &m_oldNodes}) {
    for (auto& node : *list) node->SetItem(nullptr);
  }
  m_items.clear();
  m_nItemCount = 0;
}

HTREEITEM CSTreeCtrl::GetRootItem() const { return m_items.empty() ? nullptr : m_items[0].get(); }

HTREEITEM CSTreeCtrl::GetChildItem(HTREEITEM item) const {
  if (!item || item->m_children.empty()) return nullptr;
  return item->m_children[0].get();
}

HTREEITEM CSTreeCtrl::GetNextSiblingItem(HTREEITEM item) const {
  if (!item) return nullptr;
  const auto& siblings = SiblingsOf(item);
  const size_t next = static_cast<size_t>(item->m_nRow) + 1;
  return next < siblings.size() ? siblings[next].get() : nullptr;
}

bool CSTreeCtrl::CanEditLabel(HTREEITEM item) const {
  return item && item->m_nImage == ImageFolder;
}

bool CSTreeCtrl::EndLabelEdit(HTREEITEM item, const std::string& text, Prompter* prompter) {
  if (!CanEditLabel(item)) return false;
  const std::string refused = RefusedFolderNameText(text);
  if (!refused.empty()) {
    if (prompter) prompter->ShowOk(refused);
    return false;
  }
  item->m_strText = text;
  return true;
}

bool CSTreeCtrl::DeleteSelection(HTREEITEM item, Prompter& prompter) {
  if (!item) return false;
  if (!item->m_pParent) {
    prompter.ShowOk(kCannotDeleteRootText);
    return false;
  }
  if (item->m_nImage == ImageFolder) {
    if (!prompter.AskYesNo(FormatText(kDeleteFolderText, {item->m_strText}))) return false;
  }
  DeleteItem(item);
  return true;
}

HTREEITEM CSTreeCtrl::FindChildItem(HTREEITEM parent, const std::string& text) const {
  const auto& children = parent ? parent->m_children : m_items;
  for (const auto& child : children) {
    if (child->m_strText == text) return child.get();
  }
  return nullptr;
}

HTREEITEM CSTreeCtrl::InsertFolderItem(HTREEITEM parent, const std::string& name) {
  return InsertItem(name, ImageFolder, parent);
}

HTREEITEM CSTreeCtrl::InsertFileItem(HTREEITEM parent, const std::string& path) {
  return InsertItem(path, ImageFromFileName(path), parent);
}

HTREEITEM CSTreeCtrl::FindFolderItem(const std::string& urlFolder, bool create) {
  if (create && !RefusedUrlFolderText(urlFolder).empty()) return nullptr;
  HTREEITEM current = GetRootItem();
  if (!current) {
    if (!create) return nullptr;
    current = InsertItem(kRootText, ImageRoot);
  }
  size_t start = 0;
  while (start < urlFolder.size()) {
    size_t end = urlFolder.find('/', start);
    if (end == std::string::npos) end = urlFolder.size();
    const std::string name = urlFolder.substr(start, end - start);
    start = end + 1;
    if (name.empty()) continue;
    HTREEITEM next = nullptr;
    for (const auto& child : current->m_children) {
      if (child->m_nImage == ImageFolder && child->m_strText == name) {
        next = child.get();
        break;
      }
    }
    if (!next) {
      if (!create) return nullptr;
      next = InsertFolderItem(current, name);
    }
    current = next;
  }
  return current;
}

void CSTreeCtrl::WalkItems(const std::function<void(HTREEITEM, int)>& visit) const {
  std::vector<std::pair<HTREEITEM, int>> pending;
  for (auto it = m_items.rbegin(); it != m_items.rend(); ++it) pending.emplace_back(it->get(), 0);
  while (!pending.empty()) {
    auto [item, depth] = pending.back();
    pending.pop_back();
    visit(item, depth);
    for (auto it = item->m_children.rbegin(); it != item->m_children.rend(); ++it) {
      pending.emplace_back(it->get(), depth + 1);
    }
  }
}

void CSTreeCtrl::DeleteAllNodes() { m_nodes.clear(); }

void CSTreeCtrl::Serialize(CArchive& ar) { SerializeNodes(ar, m_nodes); }

void CSTreeCtrl::OpenNodeList() {
  if (!m_nodes.empty()) {
    CPageNode& root = *m_nodes[0];
    root.SetItem(InsertItem(root.GetPath(), ImageRoot));
    InsertChildItems(root);
  }
  if (m_items.empty()) InsertItem(kRootText, ImageRoot);
}

void CSTreeCtrl::InsertChildItems(CPageNode& node) {
  const int count = static_cast<int>(m_nodes.size());
  std::vector<char> done(m_nodes.size(), 0);
  std::vector<CPageNode*> pending{&node};
  while (!pending.empty()) {
    CPageNode& n = *pending.back();
    pending.pop_back();
    if (!n.GetItem()) continue;
    // Each parent's children are appended in link order: a sibling is inserted
    // when its predecessor is processed.
    const int child = n.GetFirstChild();
    if (child > 0 && child < count && !done[static_cast<size_t>(child)]) {
      done[static_cast<size_t>(child)] = 1;
      CPageNode& c = *m_nodes[static_cast<size_t>(child)];
      c.SetItem(InsertItem(c.GetPath(), c.GetImage(), n.GetItem()));
      pending.push_back(&c);
    }
    const int sibling = n.GetNextSibling();
    if (sibling > 0 && sibling < count && !done[static_cast<size_t>(sibling)]) {
      done[static_cast<size_t>(sibling)] = 1;
      CPageNode& s = *m_nodes[static_cast<size_t>(sibling)];
      s.SetItem(InsertItem(s.GetPath(), s.GetImage(), GetParentItem(n.GetItem())));
      pending.push_back(&s);
    }
  }
}

std::unique_ptr<CPageNode> CSTreeCtrl::MakeNode(HTREEITEM item, int parent) {
  return std::make_unique<CPageNode>(item->m_strText, item->m_nImage, item,
                                     static_cast<int>(m_nodes.size()), parent);
}

void CSTreeCtrl::CollectNodes(CPageNode& start) {
  // Pre-order without recursion: a node's sibling step waits on the stack
  // until its child's whole chain is collected.
  std::vector<int> pending;
  int n = start.GetIndex();
  for (;;) {
    CPageNode& node = *m_nodes[static_cast<size_t>(n)];
    if (HTREEITEM child = GetChildItem(node.GetItem())) {
      node.SetFirstChild(static_cast<int>(m_nodes.size()));
      m_nodes.push_back(MakeNode(child, node.GetIndex()));
      pending.push_back(n);
      n = node.GetFirstChild();
      continue;
    }
    node.SetFirstChild(0);
    for (;;) {
      CPageNode& current = *m_nodes[static_cast<size_t>(n)];
      if (HTREEITEM sibling = GetNextSiblingItem(current.GetItem())) {
        current.SetNextSibling(static_cast<int>(m_nodes.size()));
        m_nodes.push_back(MakeNode(sibling, current.GetParent()));
        n = current.GetNextSibling();
        break;
      }
      current.SetNextSibling(0);
      if (pending.empty()) return;
      n = pending.back();
      pending.pop_back();
    }
  }
}

void CSTreeCtrl::PrepareNode(CPageNode& f, CProjectSettings& settings, const CMatchIndex& previous,
                             const CMatchIndex& current,
                             std::unordered_map<std::string, bool>& outputs) {
  f.SetUrl(GetNodeUrl(f.GetIndex()));
  // Without a match in the previous list, an earlier node of this refresh
  // (the same picture or page added twice) lends its number, so both items
  // name one function.
  const CPageNode* match = previous.FindMatch(f);
  if (!match) match = current.FindMatch(f);
  if (match) {
    f.SetFunction(match->GetFunction());
  } else {
    f.SetFunction(settings.m_nNextFunction);
    // The counter only grows; wrap instead of overflowing on a hostile file.
    settings.m_nNextFunction =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(settings.m_nNextFunction) + 1u);
    f.SetChanged(1);
  }

  std::string output;
  if (f.IsPage()) {
    output = settings.m_strTargetDir + PageFileName(f.GetUrl());
  } else {
    output = settings.m_strTargetDir + settings.m_strBinFile;
  }
  f.SetOutputFile(output);
  const auto known = outputs.try_emplace(output, false);
  if (known.second) known.first->second = FileExists(output) != 0;
  if (!known.first->second) f.SetChanged(1);

  f.SetLastWrite(ReadSourceTime(f.GetPath()));
  // Compared at the full resolution the project file keeps, so an edit within
  // the second of the last build counts; a source that became older is not
  // flagged.
  if (match && match->GetLastWrite() < f.GetLastWrite()) {
    f.SetChanged(1);
  }
}

bool CSTreeCtrl::RefreshNodes(CProjectSettings& settings, Prompter& prompter) {
  const std::int32_t savedNext = settings.m_nNextFunction;
  m_oldNodes = std::move(m_nodes);
  m_nodes.clear();
  try {
    if (HTREEITEM root = GetRootItem()) {
      m_nodes.push_back(MakeNode(root, -1));
      CollectNodes(*m_nodes[0]);
    }
    CMatchIndex previous;
    for (const auto& node : m_oldNodes) previous.Add(*node);
    // Only nodes before f can lend it a number, so the current index grows
    // behind the walk.
    CMatchIndex current;
    std::unordered_map<std::string, bool> outputs;
    for (auto& node : m_nodes) {
      if (node->IsPage() || node->IsBinary()) {
        PrepareNode(*node, settings, previous, current, outputs);
      }
      current.Add(*node);
    }
  } catch (const CFileError& error) {
    // Never leave a half-built list for a later save.
    m_nodes = std::move(m_oldNodes);
    m_oldNodes.clear();
    settings.m_nNextFunction = savedNext;
    prompter.ShowStop(error.Message());
    return false;
  }
  m_oldNodes.clear();
  return true;
}

std::string CSTreeCtrl::GetNodeUrl(int index) const {
  const int count = static_cast<int>(m_nodes.size());
  if (index < 0 || index >= count) return std::string();
  const CPageNode& q = *m_nodes[static_cast<size_t>(index)];
  std::vector<const std::string*> folders;
  int s = q.GetParent();
  // Bounded by the list's length, so a damaged parent chain cannot loop.
  for (int steps = 0; s >= 0 && s < count && steps < count; ++steps) {
    const CPageNode& folder = *m_nodes[static_cast<size_t>(s)];
    if (folder.GetParent() == -1) break;  // the root is never part of a URL
    folders.push_back(&folder.GetPath());
    s = folder.GetParent();
  }
  std::string url;
  for (auto it = folders.rbegin(); it != folders.rend(); ++it) url += "/" + **it;
  return url + "/" + q.GetFileName();
}

std::string CSTreeCtrl::GetItemUrl(HTREEITEM item) const {
  if (!item || !item->m_pParent) return "/";
  std::string url;
  for (HTREEITEM at = item; at->m_pParent; at = at->m_pParent) {
    std::string name = at->m_strText;
    if (at->m_nImage != ImageFolder) name.erase(0, FindLastSeparator(name) + 1);
    url.insert(0, "/" + name);
  }
  return url;
}

std::string CSTreeCtrl::PageFileName(const std::string& url) {
  std::string name = url;
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  name += ".c";
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  return name;
}
