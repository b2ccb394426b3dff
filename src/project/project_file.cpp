#include "project/project_file.h"

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

namespace {

// The trailer behind the six settings: pairs of a tag and its value.
constexpr const char* kSavedFolderTag = "Pagoric saved folder";
constexpr const char* kDataFormTag = "Pagoric data form";
constexpr const char* kLiteralForm = "literal";

}  // namespace

void SerializeProject(CArchive& ar, CPageNodeList& nodes, CProjectSettings& settings) {
  SerializeNodes(ar, nodes);
  ar.Exchange(settings.m_nProjectMark);
  ar.Exchange(settings.m_strSourceDir);
  ar.Exchange(settings.m_nNextFunction);
  ar.Exchange(settings.m_strTargetDir);
  ar.Exchange(settings.m_strUrlFile);
  ar.Exchange(settings.m_strBinFile);
  if (ar.IsStoring()) {
    if (!settings.m_strSavedFolder.empty()) {
      ar.WriteString(kSavedFolderTag);
      ar.WriteString(settings.m_strSavedFolder);
    }
    if (settings.m_bLiteralData) {
      ar.WriteString(kDataFormTag);
      ar.WriteString(kLiteralForm);
    }
    return;
  }
  // Tags this version does not know, and anything that is not a pair, end
  // the trailer: the rest is ignored.
  settings.m_strSavedFolder.clear();
  settings.m_bLiteralData = false;
  try {
    while (ar.BytesLeft() > 0) {
      const std::string tag = ar.ReadString();
      if (tag != kSavedFolderTag && tag != kDataFormTag) break;
      const std::string value = ar.ReadString();
      if (tag == kSavedFolderTag) settings.m_strSavedFolder = value;
      if (tag == kDataFormTag) settings.m_bLiteralData = value == kLiteralForm;
    }
  } catch (const CArchiveException&) {
  }
}

namespace {

// path with its leading from replaced by to, when path is from itself or lies
// under it; empty otherwise. The rest of the path takes the separators of to:
// a project made on Windows and opened on Linux, or the other way round,
// names the files beside it in the form of the system it is opened on.
std::string MovedPath(const std::string& path, const std::string& from, const std::string& to) {
  if (from.empty() || !path.starts_with(from)) return std::string();
  const PathFlavor fromFlavor = FlavorOfPath(from);
  if (path.size() > from.size() && !IsPathSeparator(path[from.size()], fromFlavor)) {
    return std::string();
  }
  return to + ConvertSeparators(std::string_view(path).substr(from.size()), fromFlavor,
                                FlavorOfPath(to));
}

// The folder the stored paths were made in, for a project file without one on
// record: a leading part of the first missing source's path that, replaced by
// here, finds every missing source under it. Empty when there is none.
std::string DeriveSavedFolder(const CPageNodeList& nodes, const std::string& here) {
  std::vector<const std::string*> missing;
  for (const auto& node : nodes) {
    if (!node->GetFolder() && !PathExists(node->GetPath())) missing.push_back(&node->GetPath());
  }
  if (missing.empty()) return std::string();
  const std::string& first = *missing.front();
  const PathFlavor flavor = FlavorOfPath(first);
  for (size_t cut = FindLastSeparator(first, flavor); cut != std::string::npos && cut > 0;
       cut = FindLastSeparator(std::string_view(first).substr(0, cut), flavor)) {
    const std::string folder = first.substr(0, cut);
    // The old folder must be gone (a move leaves it missing) and be neither
    // here nor around or inside it.
    if (folder == here || !MovedPath(folder, here, "").empty() ||
        !MovedPath(here, folder, "").empty() || IsDirectory(folder)) {
      continue;
    }
    // Sources outside that folder are no part of the tree that moved.
    const bool all = std::all_of(missing.begin(), missing.end(), [&](const std::string* path) {
      const std::string moved = MovedPath(*path, folder, here);
      return moved.empty() || PathExists(moved);
    });
    if (all) return folder;
  }
  return std::string();
}

}  // namespace

void LocateProject(const std::string& projectPath, CPageNodeList& nodes,
                   CProjectSettings& settings) {
  const std::string here = FolderOf(projectPath);
  std::string& saved = settings.m_strSavedFolder;
  if (saved.empty()) saved = DeriveSavedFolder(nodes, here);
  // One folder inside the other: which paths moved cannot be told, and the
  // inverse mapping would not give the stored paths back. Nothing moves.
  if (saved.empty() || saved == here || !MovedPath(here, saved, "").empty() ||
      !MovedPath(saved, here, "").empty()) {
    saved = here;
    return;
  }
  for (auto& node : nodes) {
    if (node->GetFolder()) continue;
    const std::string source = MovedPath(node->GetPath(), saved, here);
    if (!source.empty() && PathExists(source)) node->SetPath(source);
    const std::string output = MovedPath(node->GetOutputFile(), saved, here);
    if (!output.empty()) node->SetOutputFile(output);
  }
  std::string target = settings.m_strTargetDir;
  if (!target.empty() && IsPathSeparator(target.back(), FlavorOfPath(target))) target.pop_back();
  const std::string movedTarget = MovedPath(target, saved, here);
  if (!movedTarget.empty()) settings.m_strTargetDir = movedTarget + kPathSeparator;
}

std::string RecordedPath(const std::string& path, const std::string& projectPath,
                         const std::string& savedFolder) {
  const std::string here = FolderOf(projectPath);
  if (savedFolder.empty() || savedFolder == here) return path;
  const std::string recorded = MovedPath(path, here, savedFolder);
  return recorded.empty() ? path : recorded;
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
  CPageNodeList loadedNodes;
  CProjectSettings loadedSettings;
  if (!ReadProject(data, loadedNodes, loadedSettings)) return false;
  LocateProject(path, loadedNodes, loadedSettings);
  nodes = std::move(loadedNodes);
  settings = std::move(loadedSettings);
  return true;
}

SaveProjectResult SaveProjectFile(const std::string& path, const CPageNodeList& nodes,
                                  const CProjectSettings& settings, Prompter& prompter) {
  if (IsReadOnly(path)) {
    prompter.ShowOk(FormatText(kReadOnlyProjectText, {path}));
    return SaveProjectResult::kReadOnly;
  }
  // Paths go back into the form of the folder they were saved in.
  const std::string here = FolderOf(path);
  const std::string& saved = settings.m_strSavedFolder.empty() ? here : settings.m_strSavedFolder;
  CPageNodeList recordedNodes;
  const CPageNodeList* toWrite = &nodes;
  CProjectSettings recordedSettings = settings;
  recordedSettings.m_strSavedFolder = saved;
  if (saved != here) {
    recordedNodes.reserve(nodes.size());
    for (const auto& node : nodes) {
      auto copy = std::make_unique<CPageNode>(*node);
      if (!copy->GetFolder()) {
        copy->SetPath(RecordedPath(copy->GetPath(), path, saved));
        copy->SetOutputFile(RecordedPath(copy->GetOutputFile(), path, saved));
      }
      recordedNodes.push_back(std::move(copy));
    }
    toWrite = &recordedNodes;
    std::string target = settings.m_strTargetDir;
    if (!target.empty() && IsPathSeparator(target.back())) target.pop_back();
    recordedSettings.m_strTargetDir =
        RecordedPath(target, path, saved) + PathSeparatorOf(FlavorOfPath(saved));
  }
  std::string data;
  if (!WriteProject(*toWrite, recordedSettings, data)) {
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
