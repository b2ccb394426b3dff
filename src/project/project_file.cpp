#include "project/project_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "platform/file_util.h"
#include "platform/text_format.h"
#include "project/archive.h"
#include "project/file_error.h"

namespace {

void Reject() { throw CArchiveException(CArchiveException::kBadStructure); }

}  // namespace

void CheckNodeList(const CPageNodeList& nodes) {
  const int count = static_cast<int>(nodes.size());
  for (int i = 0; i < count; ++i) {
    const CPageNode& node = *nodes[static_cast<size_t>(i)];
    if (node.GetIndex() != i) Reject();
    for (int link : {node.GetFirstChild(), node.GetNextSibling()}) {
      // 0 is "none"; the root is never a child or a sibling.
      if (link < 0 || link >= count) Reject();
    }
  }
  if (count == 0) return;
  const CPageNode& root = *nodes[0];
  if (!root.GetFolder() || root.GetNextSibling() != 0) Reject();
  // Walk the links from the root; each node may be reached once.
  std::vector<char> seen(static_cast<size_t>(count), 0);
  std::vector<int> pending{0};
  seen[0] = 1;
  while (!pending.empty()) {
    const CPageNode& node = *nodes[static_cast<size_t>(pending.back())];
    pending.pop_back();
    for (int link : {node.GetFirstChild(), node.GetNextSibling()}) {
      if (link == 0) continue;
      if (seen[static_cast<size_t>(link)]) Reject();
      seen[static_cast<size_t>(link)] = 1;
      pending.push_back(link);
    }
  }
  // A node the walk does not reach belongs to no item: the next refresh would
  // drop it without a word.
  if (std::find(seen.begin(), seen.end(), 0) != seen.end()) Reject();
}

void SerializeNodes(CArchive& ar, CPageNodeList& nodes) {
  if (ar.IsStoring()) {
    if (nodes.size() > kMaxProjectNodes) throw CArchiveException(CArchiveException::kTooManyNodes);
    ar.WriteWord(static_cast<std::uint16_t>(nodes.size()));
    for (const auto& node : nodes) {
      ar.WriteObjectTag(CPageNode::kClassName, CPageNode::kSchema);
      node->Serialize(ar);
    }
    return;
  }
  const std::uint16_t count = ar.ReadWord();
  for (std::uint16_t i = 0; i < count; ++i) {
    ar.ReadObjectTag(CPageNode::kClassName, CPageNode::kSchema);
    auto node = std::make_unique<CPageNode>();
    node->Serialize(ar);
    nodes.push_back(std::move(node));
  }
  CheckNodeList(nodes);
}

void SerializeProject(CArchive& ar, CPageNodeList& nodes, CProjectSettings& settings) {
  SerializeNodes(ar, nodes);
  ar.Exchange(settings.m_nProjectMark);
  ar.Exchange(settings.m_strSourceDir);
  ar.Exchange(settings.m_nNextFunction);
  ar.Exchange(settings.m_strTargetDir);
  ar.Exchange(settings.m_strUrlFile);
  ar.Exchange(settings.m_strBinFile);
}

bool ReadProject(std::string_view data, CPageNodeList& nodes, CProjectSettings& settings) {
  CPageNodeList loadedNodes;
  CProjectSettings loadedSettings;
  try {
    CArchive ar(data);
    SerializeProject(ar, loadedNodes, loadedSettings);
  } catch (const CArchiveException&) {
    return false;
  }
  nodes = std::move(loadedNodes);
  settings = std::move(loadedSettings);
  return true;
}

bool WriteProject(const CPageNodeList& nodes, const CProjectSettings& settings, std::string& out) {
  try {
    CArchive ar;
    // Storing reads the list and the settings only.
    SerializeProject(ar, const_cast<CPageNodeList&>(nodes),
                     const_cast<CProjectSettings&>(settings));
    out = ar.Buffer();
  } catch (const CArchiveException&) {
    return false;
  }
  return true;
}

bool LoadProjectFile(const std::string& path, CPageNodeList& nodes, CProjectSettings& settings) {
  std::string data;
  if (!IsRegularFile(path) || !ReadWholeFile(path, data)) return false;
  return ReadProject(data, nodes, settings);
}

SaveProjectResult SaveProjectFile(const std::string& path, const CPageNodeList& nodes,
                                  const CProjectSettings& settings, Prompter& prompter) {
  if (IsReadOnly(path)) {
    prompter.ShowOk(FormatText(kReadOnlyProjectText, {path}));
    return SaveProjectResult::kReadOnly;
  }
  std::string data;
  if (!WriteProject(nodes, settings, data)) {
    prompter.ShowOk(FormatText(kTooManyItemsText, {path}));
    return SaveProjectResult::kTooManyNodes;
  }
  // A file that already holds these bytes keeps its time, so that a firmware
  // build that depends on the project file does not run again for nothing.
  if (FileHolds(path, data)) return SaveProjectResult::kSaved;
  errno = 0;
  const ReplaceResult result = ReplaceFileAtomically(path, data);
  if (result == ReplaceResult::kOk) return SaveProjectResult::kSaved;
  int cause = errno;
  std::string folder, name;
  SplitPath(path, folder, name);
  if (IsDirectory(path)) {
    cause = EISDIR;
  } else if (!folder.empty() && !IsDirectory(folder)) {
    cause = ENOTDIR;  // the folder is gone: "contains an incorrect path"
  }
  prompter.ShowStop(FileErrorText(cause, path));
  return SaveProjectResult::kWriteFailed;
}
