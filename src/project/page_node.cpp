#include "project/page_node.h"

#include <cerrno>

#include "platform/ascii.h"
#include "platform/file_util.h"
#include "project/archive.h"
#include "project/file_error.h"

int ImageFromFileName(const std::string& path) {
  const std::string lower = AsciiLowerCopy(path);
  if (lower.ends_with(".htm") || lower.ends_with(".html")) return ImagePage;
  if (lower.ends_with(".class")) return ImageApplet;
  if (lower.ends_with(".txt") || lower.ends_with(".text")) return ImageText;
  return ImageBinary;
}

ContentKind GetContentKind(const std::string& path) {
  const std::string lower = AsciiLowerCopy(path);
  if (lower.ends_with(".htm") || lower.ends_with(".html")) return KindHtml;
  if (lower.ends_with(".jpg") || lower.ends_with(".jpeg")) return KindJpeg;
  if (lower.ends_with(".gif")) return KindGif;
  if (lower.ends_with(".asf")) return KindAsf;
  if (lower.ends_with(".class")) return KindApplet;
  if (lower.ends_with(".pct") || lower.ends_with(".pict")) return KindPict;
  if (lower.ends_with(".tif") || lower.ends_with(".tiff")) return KindTiff;
  if (lower.ends_with(".png")) return KindPng;
  if (lower.ends_with(".txt") || lower.ends_with(".text")) return KindText;
  if (lower.ends_with(".xbm")) return KindXbm;
  if (lower.ends_with(".wav")) return KindWav;
  if (lower.ends_with(".au")) return KindAu;
  return KindOther;
}

std::string GetTypeSuffix(const std::string& path) {
  static const char* const kSuffixes[] = {"Html",   "Text", "Jpeg",   "Gif", "Tiff", "Pict", "Png",
                                          "Applet", "Asf",  "Applet", "Xbm", "Wav",  "Au"};
  return kSuffixes[GetContentKind(path)];
}

CPageNode::CPageNode(std::string path, int image, HTREEITEM item, int index, int parent)
    : m_hItem(item),
      m_nParent(parent),
      m_strPath(std::move(path)),
      m_bFolder(image >= 0 && image <= 3 ? 1 : 0),
      m_nIndex(index),
      m_nImage(image) {
  if (!IsBinary()) return;
  m_nSize = CheckSourceFile(m_strPath);
}

void CPageNode::Serialize(CArchive& ar) {
  ar.Exchange(m_strPath);
  ar.Exchange(m_bFolder);
  ar.Exchange(m_nFirstChild);
  ar.Exchange(m_nNextSibling);
  ar.Exchange(m_nIndex);
  ar.Exchange(m_nImage);
  std::uint32_t low = static_cast<std::uint32_t>(m_ftLastWrite);
  std::uint32_t high = static_cast<std::uint32_t>(m_ftLastWrite >> 32);
  ar.Exchange(low);
  ar.Exchange(high);
  if (ar.IsLoading()) m_ftLastWrite = (static_cast<std::uint64_t>(high) << 32) | low;
  ar.Exchange(m_strOutputFile);
  ar.Exchange(m_strUrl);
  ar.Exchange(m_nFunction);
}

std::string CPageNode::GetFileName() const {
  const size_t pos = FindLastSeparator(m_strPath);
  return pos == std::string::npos ? m_strPath : m_strPath.substr(pos + 1);
}

int CPageNode::IsPage() const {
  if (m_bFolder) return 0;
  const ContentKind kind = GetContentKind(m_strPath);
  return kind == KindHtml || kind == KindText ? 1 : 0;
}

int CPageNode::IsBinary() const { return !m_bFolder && !IsPage() ? 1 : 0; }
