#pragma once

#include <cstdint>
#include <string>

class CArchive;
class CTreeItem;

// A handle of a tree item of CSTreeCtrl; nullptr is "no item".
using HTREEITEM = CTreeItem*;

// Tree images. Images come in pairs: the even index is the normal image, the
// next odd index the image of the selected item. Images 0 to 3 are the root and
// folders; the image decides how an item looks and whether it is a folder.
enum TreeImage : int {
  ImageRoot = 0,
  ImageFolder = 2,
  ImagePage = 4,
  ImageBinary = 6,
  ImageApplet = 8,
  ImageText = 10,
};

// The image of a file item added to the tree, from the lower-cased name:
// ".htm"/".html" ImagePage, ".class" ImageApplet, ".txt"/".text" ImageText,
// anything else ImageBinary.
int ImageFromFileName(const std::string& path);

// Content kinds, from a file's extension. Only KindHtml and KindText are pages;
// every other kind is sent as binary data.
enum ContentKind : int {
  KindHtml = 0,
  KindText = 1,
  KindJpeg = 2,
  KindGif = 3,
  KindTiff = 4,
  KindPict = 5,
  KindPng = 6,
  KindApplet = 7,
  KindAsf = 8,
  KindOther = 9,
  KindXbm = 10,
  KindWav = 11,
  KindAu = 12,
};

// The content kind of a path, from its lower-cased tail; never fails. Only the
// tail counts: "a.html.bak" is KindOther.
ContentKind GetContentKind(const std::string& path);
// The suffix of the web server's content type function for the path's kind
// ("Html", "Gif", ...); the generated code names "HSType" + suffix. Unknown
// extensions give "Applet".
std::string GetTypeSuffix(const std::string& path);

// One item of the URL tree (root, folder or file) as the node list holds it, in
// pre-order. Loaded from the project file (default construction + Serialize),
// or built afresh from the tree items before every build (the item
// constructor), which is when the unsaved fields matter.
class CPageNode {
 public:
  static constexpr const char* kClassName = "CPageNode";
  static constexpr std::uint16_t kSchema = 1;

  // For the project file reader: empty strings; the saved fields come from
  // Serialize.
  CPageNode() = default;
  // A node for a tree item. A binary node opens its source file to take its
  // size; a file that cannot be opened throws CFileError, which abandons the
  // refresh that builds the node.
  CPageNode(std::string path, int image, HTREEITEM item, int index, int parent);
  virtual ~CPageNode() = default;
  CPageNode(const CPageNode&) = default;
  CPageNode& operator=(const CPageNode&) = default;

  // Stores or loads the eleven saved fields (not the object tag in front).
  virtual void Serialize(CArchive& ar);

  const std::string& GetPath() const { return m_strPath; }
  void SetPath(std::string path) { m_strPath = std::move(path); }
  // The part of the path after its last separator; the whole text without one.
  std::string GetFileName() const;

  // 1 for a non-folder whose extension is a page kind (html, text), else 0.
  int IsPage() const;
  // 1 for a non-folder that is not a page, else 0.
  int IsBinary() const;

  int GetFolder() const { return m_bFolder; }
  void SetFolder(int folder) { m_bFolder = folder; }
  int GetChanged() const { return m_bChanged; }
  void SetChanged(int changed) { m_bChanged = changed; }
  // The source's size in bytes, 64 bits wide: sources may be larger than 4 GiB.
  std::uint64_t GetSize() const { return m_nSize; }
  std::uint64_t GetLastWrite() const { return m_ftLastWrite; }
  void SetLastWrite(std::uint64_t time) { m_ftLastWrite = time; }
  int GetImage() const { return m_nImage; }
  void SetImage(int image) { m_nImage = image; }
  int GetIndex() const { return m_nIndex; }
  void SetIndex(int index) { m_nIndex = index; }
  int GetParent() const { return m_nParent; }
  int GetFirstChild() const { return m_nFirstChild; }
  void SetFirstChild(int index) { m_nFirstChild = index; }
  int GetNextSibling() const { return m_nNextSibling; }
  void SetNextSibling(int index) { m_nNextSibling = index; }
  HTREEITEM GetItem() const { return m_hItem; }
  void SetItem(HTREEITEM item) { m_hItem = item; }
  const std::string& GetOutputFile() const { return m_strOutputFile; }
  void SetOutputFile(std::string path) { m_strOutputFile = std::move(path); }
  const std::string& GetUrl() const { return m_strUrl; }
  void SetUrl(std::string url) { m_strUrl = std::move(url); }
  int GetFunction() const { return m_nFunction; }
  void SetFunction(int number) { m_nFunction = number; }

 private:
  // Not saved.
  HTREEITEM m_hItem = nullptr;  // the item showing this node, while it exists
  int m_nParent = -1;           // list index of the parent; -1 for the root
  std::uint64_t m_nSize = 0;    // source size in bytes, binary nodes only
  int m_bChanged = 0;           // 1 = the next build must generate this node
  // Saved, in this order.
  std::string m_strPath;            // file: full source path; folder: its name; root: " / "
  int m_bFolder = 0;                // 1 for the root and folders (images 0..3)
  int m_nFirstChild = 0;            // list index of the first child; 0 = none
  int m_nNextSibling = 0;           // list index of the next sibling; 0 = none
  int m_nIndex = 0;                 // own position in the list; the root is 0
  int m_nImage = 0;                 // TreeImage
  std::uint64_t m_ftLastWrite = 0;  // FILETIME of the source at the last refresh
  std::string m_strOutputFile;      // generated C file of this node
  std::string m_strUrl;             // "/" + folders + file name, joined by "/"
  int m_nFunction = -1;             // "Send_function_%d" / "buffer_%d"; -1 = none yet
};
