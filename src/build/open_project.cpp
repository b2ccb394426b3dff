#include "build/open_project.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "build/page_files.h"
#include "document/generated_files.h"
#include "document/source_text.h"
#include "generator/file_structure.h"
#include "generator/url_table.h"
#include "platform/ascii.h"
#include "platform/file_util.h"
#include "platform/text_format.h"
#include "project/file_error.h"
#include "project/project_verify.h"
#include "project/url_names.h"

COpenProject::COpenProject(Prompter& prompter, CBuildLogSink* log)
    : m_generator(prompter, m_directFiles, this), m_prompter(prompter), m_pLog(log) {}

bool COpenProject::OpenExisting(const std::string& projectPath) {
  m_strProjectPath = projectPath;
  m_bNewProject = false;
  CPageNodeList nodes;
  CProjectSettings settings;
  if (!LoadProjectFile(projectPath, nodes, settings)) {
    m_prompter.ShowOk(kInvalidProjectText);
    return false;
  }
  m_tree.DeleteAllItems();
  m_tree.DeleteAllNodes();
  m_tree.m_nodes = std::move(nodes);
  m_settings = std::move(settings);
  m_ownTimes = TimesOf(m_tree.m_nodes);
  m_strOwnTarget = IsAway() ? std::string() : m_settings.m_strTargetDir;
  m_strTargetDirField = m_settings.m_strTargetDir;
  // A project saved before its first build has no file names yet: the fields
  // offer the defaults a new project starts with, not an empty name that no
  // build could use.
  m_strUrlFileField = m_settings.m_strUrlFile.empty() ? kDefaultUrlFile : m_settings.m_strUrlFile;
  m_strBinFileField = m_settings.m_strBinFile.empty() ? kDefaultBinFile : m_settings.m_strBinFile;
  m_tree.OpenNodeList();
  return true;
}

bool COpenProject::VerifyAndOpen(const std::string& projectPath, bool isNew,
                                 CRelocationAnswers& answers, const std::function<bool()>& goOn) {
  if (isNew) {
    StartNew(projectPath);
    return true;
  }
  if (!VerifyProject(projectPath, m_prompter, answers)) return false;
  if (goOn && !goOn()) return false;
  return OpenExisting(projectPath);
}

void COpenProject::StartNew(const std::string& projectPath) {
  m_strProjectPath = projectPath;
  m_bNewProject = true;
  m_settings = CProjectSettings();
  m_settings.m_nProjectMark = 1;
  m_settings.m_nNextFunction = 0;
  std::string folder, name;
  SplitPath(projectPath, folder, name);
  m_strTargetDirField = folder + kPathSeparator;
  m_ownTimes.clear();
  m_strOwnTarget.clear();
  m_strUrlFileField = kDefaultUrlFile;
  m_strBinFileField = kDefaultBinFile;
  m_tree.DeleteAllItems();
  m_tree.DeleteAllNodes();
  m_tree.OpenNodeList();
}

int COpenProject::PrepareFile(const std::string& path, bool urlFile) {
  // Open for reading, creating an empty file but never truncating one (a
  // check only notes that the file is missing).
  bool opened = !IsDirectory(path);
  // A dangling symbolic link is replaced by the skeleton below, never
  // followed: creating through it would make a file wherever it points.
  if (opened && !IsCheckOnly() && !IsDanglingLink(path)) {
    const int fd = OpenFileDescriptor(path, FileOpen::kReadCreate);
    opened = fd >= 0;
    if (opened) CloseFileDescriptor(fd);
  }
  if (!opened) {
    m_prompter.ShowOk(FormatText(kCannotCreateText, {path}));
    return 0;
  }
  if (FileSize(path) <= 0) {
    (urlFile ? m_bFreshUrlFile : m_bFreshBinFile) = true;
    return urlFile ? m_generator.WriteUrlFileSkeleton(path)
                   : m_generator.WriteBinFileSkeleton(path);
  }
  // A file of ours is edited by its markers only when they are sound.
  bool recognised = false;
  std::vector<std::string> binaryNames;
  int dataForms = 0;
  const std::string damage =
      CheckFileStructure(m_prompter, m_generator.Files(), path,
                         urlFile ? CFileStructure::Kind::kUrlFile : CFileStructure::Kind::kBinFile,
                         &recognised, &binaryNames, &dataForms);
  if (!damage.empty()) {
    m_prompter.ShowOk(damage);
    return 0;
  }
  if (!recognised) {
    m_prompter.ShowOk(FormatText(CCodeGenerator::kNotRecognizedText, {path}));
    return 0;
  }
  if (!urlFile) {
    // Buffers written in the other data form are all written anew.
    const int otherForm =
        m_settings.m_bLiteralData ? CFileStructure::kArrayForm : CFileStructure::kLiteralForm;
    if (dataForms & otherForm) m_bFreshBinFile = true;
    for (const std::string& name : binaryNames) m_binarySections.insert(AsciiLowerCopy(name));
  }
  return 1;
}

void COpenProject::ApplyTargetField() {
  if (m_strTargetDirField.empty() || !IsPathSeparator(m_strTargetDirField.back())) {
    m_strTargetDirField += kPathSeparator;
  }
  m_settings.m_strTargetDir = m_strTargetDirField;
}

void COpenProject::ApplyLocationFields() {
  ApplyTargetField();
  m_settings.m_strUrlFile = m_strUrlFileField;
  m_settings.m_strBinFile = m_strBinFileField;
}

int COpenProject::PrepareTargetFiles() {
  m_bFreshUrlFile = false;
  m_bFreshBinFile = false;
  m_binarySections.clear();
  // An empty field would make the file-system root the target directory.
  if (m_strTargetDirField.empty()) {
    m_prompter.ShowOk(kReenterTargetDirText);
    return 0;
  }
  if (!CheckFileNameFields()) return 0;
  ApplyTargetField();
  const std::string target = m_settings.m_strTargetDir;
  // The working directory is left alone: nothing in a build depends on it.
  if (!IsDirectory(target) && !IsCheckOnly()) {
    if (!m_prompter.AskYesNo(FormatText(kMissingTargetText, {target}))) return 0;
    if (!CreateOneDirectory(target)) {
      const int error = errno;
      const char* text = kNoPathText;
      if (error == EACCES || error == EPERM || error == EROFS) {
        text = kAccessDeniedText;
      } else if (error == ENOMEM || error == ENOSPC || error == kDiskQuotaError) {
        text = kNoSpaceText;
      }
      m_prompter.ShowOk(text);
      return 0;
    }
  }
  m_settings.m_strUrlFile = m_strUrlFileField;
  m_settings.m_strBinFile = m_strBinFileField;
  RemoveStaleTemporaryFiles();
  if (!PrepareFile(target + m_settings.m_strUrlFile, true)) return 0;
  return PrepareFile(target + m_settings.m_strBinFile, false);
}

bool COpenProject::IsPlainFileName(const std::string& name) {
  if (name.empty() || name == "." || name == ".." || FindLastSeparator(name) != std::string::npos) {
    return false;
  }
  return std::none_of(name.begin(), name.end(), IsAsciiControl);
}

bool COpenProject::CheckFileNameFields() {
  const struct {
    const std::string& name;
    const char* what;
  } fields[] = {{m_strUrlFileField, "URL file"}, {m_strBinFileField, "binary data file"}};
  for (const auto& field : fields) {
    if (IsPlainFileName(field.name)) continue;
    m_prompter.ShowOk(FormatText(kPlainFileNameText, {field.what, field.name}));
    return false;
  }
  return true;
}

void COpenProject::RemoveStaleTemporaryFiles() {
  // Page files are named from URLs, which begin with a slash.
  const CProjectSettings& s = m_settings;
  ::RemoveStaleTemporaryFiles(s.m_strTargetDir, [&s](const std::string& name) {
    return name == s.m_strUrlFile || name == s.m_strBinFile ||
           (name.starts_with('_') && name.ends_with(".c"));
  });
  std::string folder, projectName;
  SplitPath(m_strProjectPath, folder, projectName);
  ::RemoveStaleTemporaryFiles(FolderOf(m_strProjectPath), [&projectName](const std::string& name) {
    return name == projectName;
  });
}

bool COpenProject::BuildFromButton(int all) {
  if (!m_bBatchedWrites) return BuildInto(m_directFiles, all);
  // One batch for the whole build, so that the skeletons the preparation
  // writes are edited in memory too and every file is written once.
  CDocBatch batch;
  return BuildInto(batch, all);
}

bool COpenProject::BuildInto(CGeneratedFiles& files, int all) {
  // Whatever ends the build, the generator goes back to writing at once.
  struct CFilesOfBuild {
    CCodeGenerator& generator;
    CGeneratedFiles& after;
    ~CFilesOfBuild() { generator.SetFiles(after); }
  } scope{m_generator, m_generator.Files()};
  m_generator.SetFiles(files);
  if (!PrepareTargetFiles()) return false;
  ApplyTargetState();
  // A URL file of an earlier version gets the declarations C23 compilers take.
  // A file that could not be updated (the message was shown) is not built
  // into: the build would report success over a URL file C23 refuses.
  if (!m_bFreshUrlFile &&
      m_generator.UpdateUrlFileDeclaration(m_settings.m_strTargetDir + m_settings.m_strUrlFile) ==
          CCodeGenerator::UrlFileDeclaration::kFailed) {
    return false;
  }
  if (!m_tree.RefreshNodes(m_settings, m_prompter)) return false;
  MarkNodesOfFreshFiles();
  BuildNodes(all);
  return true;
}

bool COpenProject::IsAway() const {
  return !m_bNewProject && !m_settings.m_strSavedFolder.empty() &&
         m_settings.m_strSavedFolder != FolderOf(m_strProjectPath);
}

bool COpenProject::LiteralData() const { return m_settings.m_bLiteralData; }

std::string COpenProject::RecordedPath(const std::string& path) const {
  return ::RecordedPath(path, m_strProjectPath, m_settings.m_strSavedFolder);
}

void COpenProject::ApplyTargetState() {
  const std::string& target = m_settings.m_strTargetDir;
  CBuildTimes state;
  const CBuildTimes* times = &state;
  if (!LoadBuildState(BuildStatePath(target, m_strProjectPath), state) &&
      target == m_strOwnTarget) {
    times = &m_ownTimes;
  }
  GiveNodesTimes(*times);
}

void COpenProject::GiveNodesTimes(const CBuildTimes& times) {
  for (const auto& node : m_tree.m_nodes) {
    if (!node->IsPage() && !node->IsBinary()) continue;
    const auto it = times.find(node->GetUrl());
    node->SetLastWrite(it == times.end() ? 0 : it->second);
  }
}

void COpenProject::RecordTargetState() {
  const std::string& target = m_settings.m_strTargetDir;
  const std::string stateFile = BuildStatePath(target, m_strProjectPath);
  // A file the build could not write is a failure the exit status tells,
  // though the generated files are sound (the next build converts more).
  m_bStateFailed = IsDirectory(target) && !SaveBuildState(stateFile, m_tree.m_nodes);
  if (m_bStateFailed) m_prompter.ShowOk(FormatText(kCannotCreateText, {stateFile}));
  // Away from the folder it was saved in, the project file keeps the times of
  // the target directory it records; at home it follows the last build.
  if (m_bSaveProject && !IsAway()) {
    m_ownTimes = TimesOf(m_tree.m_nodes);
    m_strOwnTarget = target;
  }
}

void COpenProject::MarkNodesOfFreshFiles() {
  for (const auto& node : m_tree.m_nodes) {
    // A binary node whose data was removed from the binary data file (by
    // the removal editor or by hand) is converted again, or the URL table
    // would name a send function the firmware no longer has.
    const bool dataGone =
        node->IsBinary() &&
        m_binarySections.count(AsciiLowerCopy(RecordedPath(node->GetPath()))) == 0;
    if ((m_bFreshUrlFile && (node->IsPage() || node->IsBinary())) ||
        (m_bFreshBinFile && node->IsBinary()) || dataGone) {
      node->SetChanged(1);
    }
  }
}

void COpenProject::BuildNodes(int all) {
  m_strBuildLog.clear();
  ++m_nBuildNumber;
  m_nConverted = 0;
  m_nFailed = 0;
  m_generator.SetPageOrder(m_tree.m_nodes);
  std::vector<CPageNode*> todo;
  for (const auto& node : m_tree.m_nodes) {
    if (!all && !node->GetChanged()) continue;
    if (node->IsPage() || node->IsBinary()) todo.push_back(node.get());
  }
  {
    CGeneratedFiles& files = m_generator.Files();
    // A generated file is written as soon as the last node that converts into
    // it is done, while the next nodes convert; the URL file, which every node
    // touches, waits for the end.
    std::unordered_map<std::string, size_t> lastUse;
    for (size_t i = 0; i < todo.size(); ++i) lastUse[todo[i]->GetOutputFile()] = i;
    const std::string urlFile = m_generator.UrlFilePath();
    size_t index = 0;
    int done = 0;
    for (CPageNode* node : todo) {
      if (m_pLog) m_pLog->Progress(done++, static_cast<int>(todo.size()));
      m_prompter.SetContext(node->GetPath());
      int ok = 0;
      try {
        ok = node->IsPage() ? m_generator.ConvertPage(*node) : m_generator.ConvertBinary(*node);
      } catch (const CSourceException& e) {
        // A generated file could not be read or written: this node fails, the
        // build goes on with the next one.
        m_prompter.ShowOkWithReason(e.Message() + " " + node->GetOutputFile(), e.Reason());
        ok = 0;
      }
      m_prompter.SetContext(std::string());
      ++m_nConverted;
      if (!ok) NodeFailed(*node);
      AppendBuildLog(node->GetPath() + " ---> " + node->GetOutputFile() +
                     (ok ? "    o.k.\r\n" : "  failed.\r\n"));
      for (const std::string& note : m_generator.TakeNotes()) {
        AppendBuildLog("    " + note + "\r\n");
      }
      if (m_pLog) m_pLog->NodeResult(*node, ok != 0);
      const std::string& output = node->GetOutputFile();
      if (lastUse[output] == index && output != urlFile) files.Release(output);
      ++index;
    }
    if (m_pLog && !todo.empty()) m_pLog->Progress(done, done);
    ReportStrayEntries();
    if (!files.Flush()) ReportUnwrittenFiles(files, todo);
  }
  std::string number = std::to_string(m_nBuildNumber);
  if (number.size() < 5) number.insert(0, 5 - number.size(), ' ');
  AppendBuildLog("Build number:" + number + " Done\r\n");
  if (!IsCheckOnly()) {
    RecordTargetState();
    SaveProject();
  }
  m_bTreeChanged = 0;
}

void COpenProject::ReportStrayEntries() {
  std::unordered_set<std::string> urls;
  for (const auto& node : m_tree.m_nodes) {
    if (!node->IsPage() && !node->IsBinary()) continue;
    std::string url = node->GetUrl();
    EncodeSpaces(url);
    urls.insert(std::move(url));
  }
  const std::string urlFile = m_generator.UrlFilePath();
  CGeneratedFiles& files = m_generator.Files();
  if (!files.IsHeld(urlFile) && !files.Status(urlFile).exists) return;
  const CUrlTable table(m_prompter, files, urlFile);
  for (int i = 0; i < table.GetEntryCount(); ++i) {
    // Entries made by hand (other functions) and the home page are the
    // user's own; a send function's entry belongs to an item of the tree.
    const std::string url = table.GetEntryField(i, 0);
    if (url == "/" || !table.GetEntryField(i, 2).starts_with("Send_function_")) continue;
    if (urls.count(url) == 0) AppendBuildLog(FormatText(kStrayEntryText, {url}) + "\r\n");
  }
}

void COpenProject::NodeFailed(CPageNode& node) {
  ++m_nFailed;
  // Saved with a zero source time, the node is converted again by the next
  // build, as a node marked changed but not built is.
  node.SetLastWrite(0);
}

void COpenProject::ReportUnwrittenFiles(const CGeneratedFiles& files,
                                        const std::vector<CPageNode*>& converted) {
  const std::string urlFile = m_generator.UrlFilePath();
  std::vector<char> failed(converted.size(), 0);
  for (const std::string& path : files.FailedPaths()) {
    const std::string reason = files.FailureReason(path);
    if (reason == CGeneratedFiles::kChangedOnDiskReason) {
      m_prompter.ShowOk(FormatText(kChangedDuringBuildText, {path}));
    } else {
      m_prompter.ShowOkWithReason(FormatText(kCannotCreateText, {path}), reason);
    }
    // Every converted node has its entry in the URL file.
    int count = 0;
    for (size_t i = 0; i < converted.size(); ++i) {
      CPageNode& node = *converted[i];
      if (path != urlFile && node.GetOutputFile() != path) continue;
      ++count;
      if (failed[i] || node.GetLastWrite() == 0) continue;  // already failed
      failed[i] = 1;
      NodeFailed(node);
      AppendBuildLog(node.GetPath() + " ---> " + node.GetOutputFile() + "  failed: " + path +
                     " was not written.\r\n");
      if (m_pLog) m_pLog->NodeResult(node, false);
    }
    if (count == 0) ++m_nFailed;
  }
}

void COpenProject::AppendBuildLog(const std::string& text) {
  m_strBuildLog += text;
  if (m_pLog) m_pLog->LogAppended(m_strBuildLog, text);
}

bool COpenProject::SaveProject() {
  m_bSaveFailed = false;
  if (!m_bSaveProject) return true;
  // Away from home the project file keeps the times it had (those of the
  // target directory it records); the nodes keep this build's.
  std::vector<std::uint64_t> times;
  if (IsAway()) {
    for (const auto& node : m_tree.m_nodes) times.push_back(node->GetLastWrite());
    GiveNodesTimes(m_ownTimes);
  }
  const SaveProjectResult result =
      SaveProjectFile(m_strProjectPath, m_tree.m_nodes, m_settings, m_prompter);
  for (size_t i = 0; i < times.size(); ++i) m_tree.m_nodes[i]->SetLastWrite(times[i]);
  m_bSaveFailed = result != SaveProjectResult::kSaved;
  return !m_bSaveFailed;
}

bool COpenProject::RefreshAndSaveUnbuilt() {
  if (!RefreshNodes()) return false;
  KeepChangedForNextBuild();
  return SaveProject();
}

void COpenProject::KeepChangedForNextBuild() {
  for (const auto& node : m_tree.m_nodes) {
    if (node->GetChanged()) node->SetLastWrite(0);
  }
}

bool COpenProject::OnCloseButton() {
  if (m_bTreeChanged) {
    if (!m_prompter.AskYesNo(kUnbuiltChangeText)) return true;
    if (!PrepareTargetFiles()) return false;
    // A refresh that fails keeps the window open and saves nothing.
    if (!RefreshNodes()) return false;
    MarkNodesOfFreshFiles();
    KeepChangedForNextBuild();
  }
  // The save said why it failed; closing now would lose the tree's edits.
  return SaveProject() || m_prompter.AskYesNo(kCloseUnsavedText);
}

namespace {

bool IsFolderOrRoot(const CSTreeCtrl& tree, HTREEITEM item) {
  return item && (tree.GetItemImage(item) == ImageRoot || tree.GetItemImage(item) == ImageFolder);
}

}  // namespace

int COpenProject::AddFiles(HTREEITEM selected, const std::vector<std::string>& paths) {
  if (paths.empty()) {
    m_prompter.ShowOk(kSelectFilesText);
    return 0;
  }
  if (!IsFolderOrRoot(m_tree, selected)) {
    m_prompter.ShowOk(kSelectRootOrFolderText);
    return 0;
  }
  const size_t count = std::min(paths.size(), static_cast<size_t>(kMaxFilesPerAdd));
  // A file whose name cannot be part of a URL refuses the whole selection.
  for (size_t i = 0; i < count; ++i) {
    const std::string refused = RefusedFileText(paths[i]);
    if (refused.empty()) continue;
    m_prompter.ShowOk(refused);
    return 0;
  }
  for (size_t i = 0; i < count; ++i) m_tree.InsertFileItem(selected, paths[i]);
  m_bTreeChanged = 1;
  if (count < paths.size()) {
    m_prompter.ShowOk(FormatText(
        kAddLimitText,
        {std::to_string(count), std::to_string(paths.size()), std::to_string(kMaxFilesPerAdd)}));
  }
  return static_cast<int>(count);
}

bool COpenProject::RemoveItem(HTREEITEM selected) {
  m_bTreeChanged = 1;
  return m_tree.DeleteSelection(selected, m_prompter);
}

HTREEITEM COpenProject::AddFolder(HTREEITEM selected) {
  if (!IsFolderOrRoot(m_tree, selected)) {
    m_prompter.ShowOk(kSelectNodeText);
    return nullptr;
  }
  return m_tree.InsertFolderItem(selected);
}

namespace {

// The entries of a directory that an import takes, in byte order of their
// names; hidden ones (names starting with ".") only with hidden, else counted
// in skipped.
std::vector<std::filesystem::directory_entry> ImportedEntries(const std::filesystem::path& dir,
                                                              bool hidden, int& skipped) {
  std::vector<std::filesystem::directory_entry> entries;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (!hidden && entry.path().filename().string()[0] == '.') {
      ++skipped;
      continue;
    }
    entries.push_back(entry);
  }
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    return a.path().filename().string() < b.path().filename().string();
  });
  return entries;
}

// The message for the first entry below dir that an import would take and
// whose name cannot be part of a URL; empty when there is none.
std::string RefusedImportText(const std::filesystem::path& dir, bool hidden) {
  int skipped = 0;
  for (const auto& entry : ImportedEntries(dir, hidden, skipped)) {
    std::string refused;
    if (entry.is_directory()) {
      refused = RefusedFolderNameText(entry.path().filename().string());
      if (refused.empty()) refused = RefusedImportText(entry.path(), hidden);
    } else if (entry.is_regular_file()) {
      refused = RefusedFileText(entry.path().string());
    }
    if (!refused.empty()) return refused;
  }
  return std::string();
}

void ImportInto(CSTreeCtrl& tree, HTREEITEM folder, const std::filesystem::path& dir, bool hidden,
                int& added, int& skipped);

// One entry of a directory being imported, or one path given to AddPaths: a
// directory becomes a folder item of its name (one already there is reused)
// and is imported; a file becomes a file item unless folder has one for it.
void ImportEntry(CSTreeCtrl& tree, HTREEITEM folder, const std::filesystem::path& path,
                 bool isDirectory, bool hidden, int& added, int& skipped) {
  if (isDirectory) {
    const std::string name = path.filename().string();
    HTREEITEM sub = tree.FindChildItem(folder, name);
    if (!sub || tree.GetItemImage(sub) != ImageFolder) sub = tree.InsertFolderItem(folder, name);
    ImportInto(tree, sub, path, hidden, added, skipped);
    return;
  }
  const std::string file = AbsolutePath(path.string());
  if (!tree.FindChildItem(folder, file)) {
    tree.InsertFileItem(folder, file);
    ++added;
  }
}

void ImportInto(CSTreeCtrl& tree, HTREEITEM folder, const std::filesystem::path& dir, bool hidden,
                int& added, int& skipped) {
  for (const auto& entry : ImportedEntries(dir, hidden, skipped)) {
    if (entry.is_directory() || entry.is_regular_file()) {
      ImportEntry(tree, folder, entry.path(), entry.is_directory(), hidden, added, skipped);
    }
  }
}

}  // namespace

int COpenProject::ImportDirectory(HTREEITEM folder, const std::string& dir, bool hidden,
                                  int* skipped) {
  const std::string refused = RefusedImportText(dir, hidden);
  if (!refused.empty()) {
    m_prompter.ShowOk(refused);
    return -1;
  }
  int added = 0, hiddenCount = 0;
  ImportInto(m_tree, folder, dir, hidden, added, hiddenCount);
  if (skipped) *skipped = hiddenCount;
  if (added > 0) m_bTreeChanged = 1;
  return added;
}

int COpenProject::AddPaths(HTREEITEM folder, const std::vector<std::string>& paths, int* skipped) {
  int added = 0, hiddenCount = 0;
  // Names that can never be served refuse the whole drop, as they refuse an
  // import, before anything is added.
  for (const std::string& path : paths) {
    std::string refused;
    if (IsDirectory(path)) {
      std::string parent, name;
      SplitPath(AbsolutePath(path), parent, name);
      refused = RefusedFolderNameText(name);
      if (refused.empty()) refused = RefusedImportText(path, false);
    } else if (IsRegularFile(path)) {
      refused = RefusedFileText(path);
    }
    if (!refused.empty()) {
      m_prompter.ShowOk(refused);
      if (skipped) *skipped = 0;
      return 0;
    }
  }
  for (const std::string& path : paths) {
    // Trailing separators would leave the folder item without a name.
    std::filesystem::path entry(path);
    while (entry.has_relative_path() && !entry.has_filename()) entry = entry.parent_path();
    if (IsDirectory(path) || IsRegularFile(path)) {
      ImportEntry(m_tree, folder, entry, IsDirectory(path), false, added, hiddenCount);
    }
  }
  if (skipped) *skipped = hiddenCount;
  if (added > 0) m_bTreeChanged = 1;
  return added;
}

std::set<std::string> COpenProject::PageFilesOfTree() const {
  std::set<std::string> files;
  if (m_settings.m_strTargetDir.empty()) return files;  // never built: no page file yet
  m_tree.WalkItems([&](HTREEITEM item, int) {
    const int image = item->GetImage();
    if (image == ImagePage || image == ImageText) {
      files.insert(m_settings.m_strTargetDir + CSTreeCtrl::PageFileName(m_tree.GetItemUrl(item)));
    }
  });
  return files;
}

std::vector<std::string> COpenProject::UserCodeLeftBehind(
    const std::set<std::string>& before) const {
  const std::set<std::string> now = PageFilesOfTree();
  std::vector<std::string> left;
  for (const std::string& file : before) {
    if (!now.count(file) && PageFileHoldsUserCode(file)) left.push_back(file);
  }
  return left;
}

std::vector<HTREEITEM> COpenProject::MissingSources() const {
  std::vector<HTREEITEM> missing;
  m_tree.WalkItems([&](HTREEITEM item, int) {
    const int image = item->GetImage();
    if (image != ImageRoot && image != ImageFolder && !IsRegularFile(item->GetText())) {
      missing.push_back(item);
    }
  });
  return missing;
}

bool COpenProject::PrepareEditor() {
  if (!PrepareTargetFiles()) return false;
  return !m_bTreeChanged || m_prompter.AskYesNo(kEditorUnbuiltText);
}

bool COpenProject::CheckBuild(int all, std::vector<std::string>& changedFiles) {
  changedFiles.clear();
  CDocBatch batch(CDocBatch::Mode::kDryRun);
  const bool ran = BuildInto(batch, all);
  batch.Flush();
  changedFiles.assign(batch.WouldChange().begin(), batch.WouldChange().end());
  return ran;
}

std::vector<std::string> COpenProject::GeneratedFiles() const {
  std::vector<std::string> files = {m_settings.m_strTargetDir + m_settings.m_strUrlFile,
                                    m_settings.m_strTargetDir + m_settings.m_strBinFile};
  std::unordered_set<std::string> listed(files.begin(), files.end());
  for (const auto& node : m_tree.m_nodes) {
    if (node->IsPage() && listed.insert(node->GetOutputFile()).second) {
      files.push_back(node->GetOutputFile());
    }
  }
  return files;
}

std::vector<std::string> COpenProject::SourceFiles() const {
  std::vector<std::string> files;
  for (const auto& node : m_tree.m_nodes) {
    if (node->IsPage() || node->IsBinary()) files.push_back(node->GetPath());
  }
  return files;
}
