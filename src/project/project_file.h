#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/prompter.h"
#include "project/page_node.h"

class CArchive;

// The six settings stored behind the node list of a project file, in file order.
struct CProjectSettings {
  std::int32_t m_nProjectMark = 1;   // 1 from creation on; carried through unchanged
  std::string m_strSourceDir;        // the source browser's last directory
  std::int32_t m_nNextFunction = 0;  // the next free function number
  std::string m_strTargetDir;        // receives the generated files; ends in a separator
  std::string m_strUrlFile;          // URL file name inside the target directory
  std::string m_strBinFile;          // binary data file name inside the target directory
  // Not one of the six: the folder the project file stood in when it was
  // saved, kept behind them where older readers stop reading. A project
  // opened from another folder (a clone, a moved checkout) finds its files
  // beside it from this; empty when the file does not say.
  std::string m_strSavedFolder;
  // Also behind the six: how the binary data file writes its buffers, byte
  // arrays (the default) or string literals (compiles faster).
  bool m_bLiteralData = false;
};

using CPageNodeList = std::vector<std::unique_ptr<CPageNode>>;

// The one message for a project file that cannot be used, whatever is wrong.
inline constexpr const char* kInvalidProjectText = "Invalid .web file or file no longer exists";
// Shown (OK box) with the project path when the file is read-only; nothing is written.
inline constexpr const char* kReadOnlyProjectText =
    "File %s is Read-only !\r\nYou cannot save changed to file !";
// Shown (OK box) with the project path when the tree has more items than the
// file's 16-bit count can hold; nothing is written.
inline constexpr const char* kTooManyItemsText =
    "File %s cannot be saved: a project file holds at most 65535 tree items.";
inline constexpr size_t kMaxProjectNodes = 0xFFFF;

// The node list as a project file holds it: a 16-bit count and one object
// record per node, in list order. Loading appends to nodes (an empty list, as
// indices are positions) and then checks the list's structure (CheckNodeList); storing more than
// kMaxProjectNodes nodes throws kTooManyNodes. Load failures throw CArchiveException.
void SerializeNodes(CArchive& ar, CPageNodeList& nodes);
// The whole project: the node list, then the six settings in file order.
void SerializeProject(CArchive& ar, CPageNodeList& nodes, CProjectSettings& settings);

// Throws CArchiveException(kBadStructure) unless the loaded list is a tree the
// rest of the program can walk: every node's index is its position; the root
// (if any) is a folder with no sibling; every non-zero child or sibling index
// lies inside the list and is not the root; and the walk from the root along
// the links reaches no node twice (so it has no cycle) and every node once.
void CheckNodeList(const CPageNodeList& nodes);

// Parses project file bytes. False when they are rejected; nodes and settings
// are then untouched (nothing of a partly read file is used). Bytes after the
// last setting are ignored.
bool ReadProject(std::string_view data, CPageNodeList& nodes, CProjectSettings& settings);
// The bytes of a project file. False (out untouched) when the list has more than
// kMaxProjectNodes nodes.
bool WriteProject(const CPageNodeList& nodes, const CProjectSettings& settings, std::string& out);

// Reads a project file. False when it cannot be read or is rejected; nodes and
// settings are then untouched. The caller shows kInvalidProjectText. A project
// file read from another folder than the one it was saved in is located
// (LocateProject) as it is read.
bool LoadProjectFile(const std::string& path, CPageNodeList& nodes, CProjectSettings& settings);

// A project saved in one folder and opened from another (a clone of the
// repository, a moved checkout) uses the tree of files that stands beside it
// where it stood beside the saved one: a source under the saved folder is
// taken from the same place under the project file's folder when it exists
// there, even if the old one still exists (a clone never reads another
// clone's files); the target directory and output files under the saved folder
// always move (a clone never writes into another). Without a recorded folder,
// one is derived when sources are missing: the leading part of a missing
// source's path that, replaced by the project file's folder, finds every
// missing source under it. m_strSavedFolder keeps the folder the stored paths are
// relative to; SaveProjectFile writes paths back in that form, so a project
// that only travelled is saved byte for byte as it was.
void LocateProject(const std::string& projectPath, CPageNodeList& nodes,
                   CProjectSettings& settings);
// A path as the project file records it: under the project file's folder it
// is written relative to the saved folder (the inverse of LocateProject).
std::string RecordedPath(const std::string& path, const std::string& projectPath,
                         const std::string& savedFolder);

enum class SaveProjectResult {
  kSaved,
  kReadOnly,      // the file is read-only: kReadOnlyProjectText was shown
  kTooManyNodes,  // kTooManyItemsText was shown
  kWriteFailed,   // the file could not be created or written: a file error in a stop box
};

// Writes a project file atomically (a temporary file beside it renamed over
// it), so a failure leaves the previous file whole. Every refusal and failure
// is reported through the prompter.
SaveProjectResult SaveProjectFile(const std::string& path, const CPageNodeList& nodes,
                                  const CProjectSettings& settings, Prompter& prompter);
