#include "project/project_verify.h"

#include <algorithm>
#include <filesystem>
#include <unordered_map>

#include "document/markers.h"
#include "document/srv_doc.h"
#include "platform/file_util.h"
#include "platform/text_format.h"
#include "project/project_file.h"
#include "project/tree_ctrl.h"

namespace {

// Tries the map on text: for the first entry whose key begins test (text
// itself, or the folder part of a source path), the key's characters at the
// start of text are replaced by the value; the candidate is taken if it passes
// exists. Empty when no entry gives one.
template <typename Exists>
std::string Relocate(const std::string& test, const std::string& text, const CRelocationMap& map,
                     Exists exists) {
  for (const auto& [key, value] : map) {
    if (!test.starts_with(key)) continue;
    std::string candidate = value + text.substr(key.size());
    if (exists(candidate)) return candidate;
  }
  return std::string();
}

// The line document of a generated file for relocation. It declines to wrap
// long lines: wrapping would split C code, so such a file is not loaded and
// stays as it is, and the long-line question never reaches the user.
class CRelocationDoc : public CCSrvDoc {
 public:
  using CCSrvDoc::CCSrvDoc;
  bool LongLineWarning() override { return false; }
};

// The generated C files of the target directory, in name order.
std::vector<std::string> GeneratedFiles(const std::string& targetDir) {
  std::vector<std::string> names;
  std::error_code ec;
  std::filesystem::directory_iterator it(targetDir, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code typeError;
    if (name.ends_with(".c") && it->is_regular_file(typeError)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

bool CMappedRelocationAnswers::ParseMapping(const std::string& text, Mapping& mapping) {
  const size_t equals = text.find('=');
  if (equals == std::string::npos || equals == 0) return false;
  mapping = {text.substr(0, equals), text.substr(equals + 1)};
  return true;
}

bool CMappedRelocationAnswers::AskNewFileLocation(const std::string& missingFile,
                                                  const std::string& /*oldLocation*/,
                                                  const std::string& name,
                                                  std::string& newLocation) {
  for (const auto& [from, to] : m_mappings) {
    if (!missingFile.starts_with(from)) continue;
    const std::string candidate = to + missingFile.substr(from.size());
    // The mapping must move the folder, not rename the file.
    if (!candidate.ends_with(name) || !FileExists(candidate)) continue;
    newLocation = candidate.substr(0, candidate.size() - name.size());
    return true;
  }
  m_unanswered.push_back(missingFile);
  return false;
}

bool CMappedRelocationAnswers::AskNewTargetDirectory(const std::string& invalidDirectory,
                                                     std::string& newDirectory) {
  for (const auto& [from, to] : m_mappings) {
    if (!invalidDirectory.starts_with(from)) continue;
    std::string candidate = to + invalidDirectory.substr(from.size());
    if (candidate.empty() || !IsPathSeparator(candidate.back())) candidate += kPathSeparator;
    if (!DirectoryExists(candidate)) continue;
    newDirectory = candidate;
    return true;
  }
  m_nUnansweredTarget = static_cast<int>(m_unanswered.size());
  m_unanswered.push_back(invalidDirectory);
  return false;
}

int FileExists(const std::string& path) { return PathExists(path) ? 1 : 0; }

int DirectoryExists(const std::string& path) {
  if (path.empty()) return 0;
  std::string rest = path.substr(0, path.size() - 1);
  if (rest.empty()) rest = path;  // "/" stays the root
  return IsDirectory(rest) ? 1 : 0;
}

void TrimCommonTail(std::string& oldText, std::string& newText) {
  while (!oldText.empty() && !newText.empty() && oldText.back() == newText.back()) {
    oldText.pop_back();
    newText.pop_back();
  }
}

bool RelocateMarkers(const std::string& file, const CRelocationMap& map, Prompter& prompter) {
  CRelocationDoc doc(prompter);
  try {
    if (doc.LoadFile(file) != 1) return false;
  } catch (const CSourceException&) {
    return false;
  }
  const int lineCount = doc.GetLineCount();
  if (lineCount == 0) return false;
  std::vector<char> treated(static_cast<size_t>(lineCount), 0);
  bool changed = false;
  auto treat = [&](int line) {
    if (treated[static_cast<size_t>(line)]) return;  // one replacement per line
    treated[static_cast<size_t>(line)] = 1;
    const std::string text = doc.GetLine(line);
    for (const auto& [key, value] : map) {
      const size_t column = text.find(key);
      if (key.empty() || column == std::string::npos || column == 0) continue;
      const int from = static_cast<int>(column);
      const int deleted = doc.Execute(std::make_unique<CDeleteTextCommand>(
          TextPos{from, line}, TextPos{from + static_cast<int>(key.size()), line}));
      if (deleted != 1) return;  // a read-only document: the file stays as it is
      doc.InsertText(from, line, value.c_str());
      changed = true;
      return;
    }
  };
  // The banner names the file's own path whatever it looks like.
  treat(0);
  for (const char* marker :
       {markers::kFilePrefix, markers::kBeginFilePrefix, markers::kEndFilePrefix}) {
    for (int line = FindMarker(doc, marker, 0); line >= 0;) {
      treat(line);
      if (line + 1 >= lineCount) break;
      line = FindMarker(doc, marker, line + 1);
    }
  }
  if (!changed) return false;
  try {
    return doc.SaveFile(file) == 1;
  } catch (const CSourceException&) {
    return false;  // the save is atomic: the old file is whole
  }
}

int VerifyProject(const std::string& path, Prompter& prompter, CRelocationAnswers& answers) {
  CSTreeCtrl tree;
  CProjectSettings settings;
  if (!LoadProjectFile(path, tree.m_nodes, settings)) {
    prompter.ShowOk(kInvalidProjectText);
    return 0;
  }
  CRelocationMap map;
  bool modified = false;
  bool targetChanged = false;

  // Source files.
  for (auto& node : tree.m_nodes) {
    if (node->GetFolder()) continue;
    const std::string source = node->GetPath();
    if (FileExists(source)) continue;
    const size_t cut = FindLastSeparator(source);
    const std::string dir = cut == std::string::npos ? std::string() : source.substr(0, cut);
    const std::string name = cut == std::string::npos ? source : source.substr(cut);
    const std::string relocated =
        Relocate(dir, source, map, [](const std::string& p) { return FileExists(p) != 0; });
    if (!relocated.empty()) {
      node->SetPath(relocated);
      modified = true;
      continue;
    }
    std::string newLocation;
    if (!answers.AskNewFileLocation(source, dir, name, newLocation)) {
      prompter.ShowOk(kDeleteMissingFileText);
      continue;
    }
    modified = true;
    node->SetPath(newLocation + name);
    std::string oldPrefix = dir;
    std::string newPrefix = newLocation;
    TrimCommonTail(oldPrefix, newPrefix);
    map[oldPrefix] = newPrefix;
  }

  // Target directory.
  std::string& target = settings.m_strTargetDir;
  if (!DirectoryExists(target)) {
    const std::string relocated =
        Relocate(target, target, map, [](const std::string& p) { return DirectoryExists(p) != 0; });
    if (!relocated.empty()) {
      target = relocated;
      targetChanged = true;
    } else {
      std::string newDirectory;
      if (!answers.AskNewTargetDirectory(target, newDirectory)) {
        prompter.ShowOk(kReenterTargetDirText);
      } else {
        modified = true;
        targetChanged = true;
        std::string oldPrefix = target;
        std::string newPrefix = newDirectory;
        TrimCommonTail(oldPrefix, newPrefix);
        map[oldPrefix] = newPrefix;
        target = newDirectory;
      }
    }
  }

  // Markers of the generated files in the (new) target directory.
  if (targetChanged) {
    for (const std::string& name : GeneratedFiles(target)) {
      RelocateMarkers(target + name, map, prompter);
    }
  }

  // Output files; the binary data file, named by every binary node, is
  // looked up once.
  std::unordered_map<std::string, bool> outputs;
  for (auto& node : tree.m_nodes) {
    if (node->GetFolder()) continue;
    const auto known = outputs.try_emplace(node->GetOutputFile(), false);
    if (known.second) known.first->second = FileExists(node->GetOutputFile()) != 0;
    if (known.first->second) continue;
    const std::string relocated = Relocate(node->GetOutputFile(), node->GetOutputFile(), map,
                                           [](const std::string& p) { return FileExists(p) != 0; });
    if (!relocated.empty()) {
      node->SetOutputFile(relocated);
      modified = true;
    }
  }

  // The save says why it failed. Opening the old file would drop the answers
  // while the generated files already carry the new paths; the next open asks
  // again and finds those paths in place.
  if (modified &&
      SaveProjectFile(path, tree.m_nodes, settings, prompter) != SaveProjectResult::kSaved) {
    return 0;
  }
  return 1;
}

bool AcceptFileLocation(const std::string& location, const std::string& name, Prompter& prompter) {
  const std::string candidate = location + name;
  if (FileExists(candidate)) return true;
  prompter.ShowOk(FormatText(kStillNotFoundText, {candidate}));
  return false;
}

bool AcceptTargetDirectory(std::string& directory, Prompter& prompter) {
  std::string bare = directory;
  if (!bare.empty() && IsPathSeparator(bare.back())) bare.pop_back();
  if (bare.empty() ? directory.empty() : !IsDirectory(bare)) {
    prompter.ShowOk(FormatText(kStillNotFoundText, {directory}));
    return false;
  }
  if (!IsPathSeparator(directory.back())) directory += kPathSeparator;
  return true;
}

void ReportChosenFolder(const std::string& folder, Prompter& prompter) {
  if (!PathExists(folder)) {
    prompter.ShowOk(kFolderUnreadableText);
  } else if (IsReadOnly(folder)) {
    prompter.ShowOk(kFolderReadOnlyText);
  }
}
