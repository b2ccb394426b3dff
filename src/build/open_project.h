#pragma once

#include <functional>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "build/build_state.h"
#include "document/generated_files.h"
#include "generator/code_generator.h"
#include "platform/prompter.h"
#include "project/project_file.h"
#include "project/project_verify.h"
#include "project/tree_ctrl.h"

// Where the build log goes: the project window shows it in its log control,
// the command line prints it. Abstract so the build runs the same code for
// both; tests record it.
class CBuildLogSink {
 public:
  virtual ~CBuildLogSink() = default;
  // Called after every AppendBuildLog with the whole log and the new text.
  virtual void LogAppended(const std::string& log, const std::string& text) = 0;
  // Called before each node a build converts: done of total nodes so far.
  virtual void Progress(int /*done*/, int /*total*/) {}
  // Called once per converted node with its result, after its log line; a
  // node whose generated file then fails to be written is reported again
  // with ok false.
  virtual void NodeResult(const CPageNode& /*node*/, bool /*ok*/) {}
};

// The open project: its file, settings, URL tree and generator, the three
// file-location fields of the project window, the build log and the build
// driver. The desktop window and the command line both drive a project through
// this class, so a build is the same wherever it starts.
class COpenProject : public CProjectLocations {
 public:
  static constexpr const char* kMissingTargetText =
      "Target Directory: %s cannot be found !\r\nDo you want to create it?";
  static constexpr const char* kAccessDeniedText = "Access denied";
  static constexpr const char* kNoSpaceText = "Not enough disk space or mem";
  static constexpr const char* kNoPathText = "Can't found path";
  static constexpr const char* kCannotCreateText = "Cannot create file %s";
  static constexpr const char* kUnbuiltChangeText =
      "You have changed the tree, but the changes have not been reflected in the generated file "
      "because you didn't build it. Do you want to save the change?";
  static constexpr const char* kCloseUnsavedText =
      "The project file was not saved, so the changes to the tree would be lost.\r\nDo you "
      "want to close the window anyway?";
  static constexpr const char* kSelectFilesText = "Please select file(s) from list";
  static constexpr const char* kSelectRootOrFolderText =
      "Please select Root or a folder on the URL tree";
  static constexpr const char* kSelectNodeText =
      "Please select a node on the URL tree folder or root";
  static constexpr const char* kEditorUnbuiltText =
      "You have just changed the content of the Tree display and have not yet built. Your "
      "recent changes will not be shown in the next dialog\r\nDo you want to continue?";
  // "===>" adds at most this many files at once.
  static constexpr int kMaxFilesPerAdd = 100;
  // Added, selected, the limit.
  static constexpr const char* kAddLimitText =
      "Only the first %s of the %s selected files were added: \"===>\" adds at most %s files at "
      "a time.";
  static constexpr const char* kChangedDuringBuildText =
      "File %s was changed on disk during the build; it was not overwritten.";
  // The URL file or binary data file field names a folder (%s: "URL file" or
  // "binary data file", then the field).
  static constexpr const char* kPlainFileNameText =
      "The %s must be a file name in the target directory, without a folder: \"%s\" is not.";
  static constexpr const char* kDefaultUrlFile = "url.c";
  // A build's log line for an entry of the URL table that no item of the tree
  // has any more.
  static constexpr const char* kStrayEntryText =
      "The URL table's entry %s belongs to no item of the tree any more; remove it in the URL "
      "file editor (or with pagoric urls --remove).";
  static constexpr const char* kDefaultBinFile = "bindata.c";

  COpenProject(Prompter& prompter, CBuildLogSink* log);
  // Where the build log goes from now on (nullptr: nowhere).
  void SetLogSink(CBuildLogSink* log) { m_pLog = log; }

  // Opens an existing project file: reads the node list and the settings,
  // fills the three fields and creates the tree items. On a file that cannot be
  // used shows "Invalid .web file or file no longer exists" and returns false.
  bool OpenExisting(const std::string& projectPath);
  // Starts a new project at projectPath: only the root item; the target
  // directory field is the project file's folder, the file names the defaults.
  void StartNew(const std::string& projectPath);

  // What the window does when it opens a project: an existing one is verified
  // first (moved files and target directory answered by answers, the
  // corrected project file saved), then read; a new one starts with only the
  // root. goOn, when given, is asked after the verification whether to open
  // (the command line refuses what no --relocate answered). False (a message
  // was shown) when it is not opened.
  bool VerifyAndOpen(const std::string& projectPath, bool isNew, CRelocationAnswers& answers,
                     const std::function<bool()>& goOn = nullptr);

  // Takes the three location fields into the settings as they are, the target
  // directory with its trailing separator (PrepareTargetFiles does the same).
  void ApplyLocationFields();

  // Makes sure the target directory exists and that the URL file and the binary
  // data file are new (then their skeletons are written) or recognised as
  // generated by us, with sound markers. 1 = ready; 0 = a message was shown
  // and nothing may be built.
  int PrepareTargetFiles();
  // The URL file and binary data file fields must name files in the target
  // directory: a plain name, no folder, not "." or "..", no control
  // character. False after kPlainFileNameText for the first that does not.
  bool CheckFileNameFields();
  static bool IsPlainFileName(const std::string& name);
  // The build loop: converts every changed page and binary node (every one with
  // all) into the generator's generated files, logs a line per converted node
  // and the build number, saves the project and clears the tree-changed flag.
  void BuildNodes(int all);
  // The Build and Build All buttons: prepare, refresh, build. False when no
  // build ran (preparation or refresh failed).
  bool OnBuild() { return BuildFromButton(0); }
  bool OnBuildAll() { return BuildFromButton(1); }
  // The Close button. True when the window may close; with an unbuilt tree
  // change it asks whether to save it (Yes refreshes and saves, converting
  // nothing; No closes without saving). When the project file cannot be
  // saved it asks kCloseUnsavedText: No keeps the window open.
  bool OnCloseButton();
  // Writes the project file. False when it was not written (read-only, too
  // many items, write error: a message was shown).
  bool SaveProject();
  // Adds text to the build log and hands it to the log sink.
  void AppendBuildLog(const std::string& text);
  // Rebuilds the node list from the tree items with the stored settings. False
  // when a source file could not be opened (the stop box was shown and the
  // previous list kept).
  bool RefreshNodes() { return m_tree.RefreshNodes(m_settings, m_prompter); }
  // Refreshes the node list and saves the project without converting (Close
  // with Yes, and the command line's tree edits). A node the refresh marked
  // changed is saved with a zero source time, so the next Build converts it
  // even though its number and time are now on record. False when the refresh
  // failed or the project could not be saved.
  bool RefreshAndSaveUnbuilt();

  // --- Tree edits of the project window --------------------------------

  // "===>": inserts the first kMaxFilesPerAdd of the source paths as file items
  // under selected (the root or a folder), images from their extensions, and
  // marks the tree changed; of a larger selection kAddLimitText says how many
  // were added. Says kSelectFilesText without paths and
  // kSelectRootOrFolderText without a root or folder, and refuses them all
  // when the name of one of them cannot be part of a URL (RefusedFileText);
  // returns the count added.
  int AddFiles(HTREEITEM selected, const std::vector<std::string>& paths);
  // "<==": marks the tree changed (also when nothing is deleted) and deletes
  // the selected item as the Delete key does. True when an item was deleted.
  bool RemoveItem(HTREEITEM selected);
  // The new-folder button: a "New Folder" item under selected (the root or a
  // folder), returned for label editing; the tree is not marked changed.
  // nullptr after kSelectNodeText.
  HTREEITEM AddFolder(HTREEITEM selected);
  // Mirrors a directory under a folder item: subdirectories become folder items
  // (one of the same name is reused), files become file items (one already
  // there is not added twice), entries in byte order of their names. Hidden
  // files and folders (names starting with ".") are left out, and counted in
  // skipped, unless hidden is set. Returns the number of files added; marks the
  // tree changed when it added any. A folder or file name that cannot be part
  // of a URL refuses the whole import: its message is shown, nothing is added
  // and -1 is returned. Throws std::filesystem::filesystem_error when a
  // directory cannot be read.
  int ImportDirectory(HTREEITEM folder, const std::string& dir, bool hidden = false,
                      int* skipped = nullptr);
  // Paths dropped on the tree or a browser folder added with "===>": under
  // folder, each directory as a folder item of its name (reused when there)
  // that ImportDirectory fills, without hidden entries; each file as a file
  // item unless folder has one for it, also a hidden one (it was named). Paths
  // that are neither are ignored. Returns the number of files added and marks
  // the tree changed when any was; throws as ImportDirectory.
  int AddPaths(HTREEITEM folder, const std::vector<std::string>& paths, int* skipped = nullptr);
  // The report of an import: kImportedText with the count and the folder,
  // then kSkippedHiddenText when hidden entries were left out.
  static constexpr const char* kImportedText = "Imported %s file(s) from %s";
  static constexpr const char* kSkippedHiddenText =
      "Skipped %s hidden file(s) and folder(s) (names starting with \".\")";
  // The generated page files the tree's page items stand for now, in the
  // stored target directory: what a build would write, before the refresh.
  std::set<std::string> PageFilesOfTree() const;
  // After a tree edit (rename of a folder, removal of an item): the page files
  // of before (PageFilesOfTree) that the tree no longer stands for, that exist
  // and hold code of the user, which no build will look after any more.
  std::vector<std::string> UserCodeLeftBehind(const std::set<std::string>& before) const;
  // The file items whose source file is not there (a build refuses them).
  std::vector<HTREEITEM> MissingSources() const;
  // The first two steps of an editor button: PrepareTargetFiles, then, after
  // unbuilt tree changes, the kEditorUnbuiltText question. True when the
  // editor may open.
  bool PrepareEditor();

  // CProjectLocations: the stored settings that the refresh and the
  // generator use.
  std::string TargetDir() const override { return m_settings.m_strTargetDir; }
  std::string UrlFileName() const override { return m_settings.m_strUrlFile; }
  std::string BinFileName() const override { return m_settings.m_strBinFile; }

  // Results of the last BuildNodes, for the command line's exit status.
  int ConvertedCount() const { return m_nConverted; }
  int FailedCount() const { return m_nFailed; }
  // The project file or the target directory's build state of the last
  // build could not be written (the message was shown).
  bool LastSaveFailed() const { return m_bSaveFailed || m_bStateFailed; }

  // Build or Build All converted in memory only: nothing is written, neither a
  // generated file nor the project file, and a missing target directory is
  // taken as empty. changedFiles gets the generated files that the build would
  // create or change. False when no build ran.
  bool CheckBuild(int all, std::vector<std::string>& changedFiles);
  // What a build makes and what it reads, after the last refresh: the URL file,
  // the binary data file and every page file (in node order, each once); the
  // source file of every page and binary node.
  std::vector<std::string> GeneratedFiles() const;
  std::vector<std::string> SourceFiles() const;

  // Off, a build writes no project file (a firmware's build system: the
  // committed project stays as it is); the target directory's state file
  // still records what it built.
  void SetSaveProject(bool save) { m_bSaveProject = save; }

  // The RecordedPath of the generated files: under the project file's folder
  // as the folder the project was saved in has it.
  std::string RecordedPath(const std::string& path) const override;
  bool LiteralData() const override;

  // Within a build every generated file is read once, edited in memory and
  // written once at its end. Off, every step loads and saves the file itself
  // (the slower reference path; both write the same bytes).
  void SetBatchedWrites(bool batched) { m_bBatchedWrites = batched; }

  std::string m_strProjectPath;
  bool m_bNewProject = false;
  CProjectSettings m_settings;
  // The three file-location fields of the project window.
  std::string m_strTargetDirField;
  std::string m_strUrlFileField;
  std::string m_strBinFileField;

  CSTreeCtrl m_tree;
  // The generated files outside a build (an editor's preparation): written
  // at once. A build gives the generator its own for the build's length.
  CDirectFiles m_directFiles;
  CCodeGenerator m_generator;
  std::string m_strBuildLog;
  int m_nBuildNumber = 0;
  int m_bTreeChanged = 0;

 private:
  // The target directory field, ending in a separator, into the settings.
  void ApplyTargetField();
  bool BuildFromButton(int all);
  // Prepare, refresh, build, with files as the build's generated files.
  bool BuildInto(CGeneratedFiles& files, int all);
  // True while a check runs: nothing is written.
  bool IsCheckOnly() const { return m_generator.Files().IsDryRun(); }
  // Gives the nodes the times of what the target directory of this build
  // holds: its state file, else the project file's times when it is the
  // directory the project last built here, else none (everything converts).
  void ApplyTargetState();
  // After a build: the target directory's state file, and the times the
  // project file keeps from now on.
  void RecordTargetState();
  // Sets the source time of every page and binary node to the one times
  // holds for its URL, 0 for a URL it does not hold.
  void GiveNodesTimes(const CBuildTimes& times);
  // True when the project was opened from another folder than the one it was
  // saved in: its builds leave the project file's times and target alone.
  bool IsAway() const;
  // Gives every node the last refresh marked changed a zero source time.
  void KeepChangedForNextBuild();
  // A URL file or binary data file that PrepareTargetFiles had to start anew
  // (deleted, emptied) holds nothing of the nodes whose code it should hold:
  // they are marked changed although their own output files may exist. So
  // is a binary node whose sections the binary data file no longer holds.
  void MarkNodesOfFreshFiles();
  int PrepareFile(const std::string& path, bool urlFile);
  // Removes what a killed build left: temporary files of the generated files
  // in the target directory and of the project file beside it.
  void RemoveStaleTemporaryFiles();
  // Logs the URL table's entries of send functions whose URL no item of the
  // tree has any more (an item removed or renamed): kStrayEntryText each.
  void ReportStrayEntries();
  // Counts a node as failed and keeps it changed for the next build.
  void NodeFailed(CPageNode& node);
  // A generated file the build could not write at its end: the message, and
  // every converted node whose code it should hold fails after all (a
  // correction line in the log); the URL file holds every node's entry.
  void ReportUnwrittenFiles(const CGeneratedFiles& files, const std::vector<CPageNode*>& converted);

  Prompter& m_prompter;
  CBuildLogSink* m_pLog;
  bool m_bBatchedWrites = true;
  bool m_bFreshUrlFile = false;  // the last PrepareTargetFiles wrote a new URL file
  bool m_bFreshBinFile = false;  // ... a new binary data file
  // The sources (lower case) whose send functions the binary data file held
  // when PrepareTargetFiles checked it.
  std::unordered_set<std::string> m_binarySections;
  int m_nConverted = 0;
  int m_nFailed = 0;
  bool m_bSaveFailed = false;
  bool m_bStateFailed = false;
  bool m_bSaveProject = true;
  // The times the project file records, by URL, and the target directory they
  // belong to (empty when it is none this checkout builds).
  CBuildTimes m_ownTimes;
  std::string m_strOwnTarget;
};
