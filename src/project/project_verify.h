#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/prompter.h"

// Learned relocations: old path prefix -> new path prefix. Entries may be tried
// in any order.
using CRelocationMap = std::map<std::string, std::string>;

// The two questions project verification asks when a moved project's paths no
// longer exist. A GUI answers them with the file-not-found and the
// invalid-target-directory dialogs, the command line from its OLD=NEW mappings
// (CMappedRelocationAnswers), tests from a script.
class CRelocationAnswers {
 public:
  virtual ~CRelocationAnswers() = default;

  // A source file is missing. missingFile is its full path, oldLocation the
  // folder it was in (up to its last separator, without it) and name the
  // separator followed by the file name. Returns true (OK) with newLocation set
  // so that newLocation + name exists, or false (Cancel).
  virtual bool AskNewFileLocation(const std::string& missingFile, const std::string& oldLocation,
                                  const std::string& name, std::string& newLocation) = 0;
  // The target directory (ending in a separator, or empty) is not a directory.
  // Returns true (OK) with newDirectory an existing directory ending in a
  // separator, or false (Cancel).
  virtual bool AskNewTargetDirectory(const std::string& invalidDirectory,
                                     std::string& newDirectory) = 0;
};

// Answers the relocation questions from OLD=NEW prefix mappings given up front
// (the command line's --relocate), trying them in order; an answer is given
// only when the relocated file or directory exists. A question no mapping
// answers is answered Cancel and recorded, so the caller can fail.
class CMappedRelocationAnswers : public CRelocationAnswers {
 public:
  using Mapping = std::pair<std::string, std::string>;

  explicit CMappedRelocationAnswers(std::vector<Mapping> mappings)
      : m_mappings(std::move(mappings)) {}

  // Splits "OLD=NEW" at its first '='. False when there is no '=' or OLD is empty.
  static bool ParseMapping(const std::string& text, Mapping& mapping);

  bool AskNewFileLocation(const std::string& missingFile, const std::string& oldLocation,
                          const std::string& name, std::string& newLocation) override;
  bool AskNewTargetDirectory(const std::string& invalidDirectory,
                             std::string& newDirectory) override;

  // The missing files and the target directory that no mapping answered, in
  // the order asked.
  const std::vector<std::string>& Unanswered() const { return m_unanswered; }
  // Where in that list the target directory stands; -1 when it was answered.
  int UnansweredTargetIndex() const { return m_nUnansweredTarget; }

 private:
  std::vector<Mapping> m_mappings;
  std::vector<std::string> m_unanswered;
  int m_nUnansweredTarget = -1;
};

// Texts of project verification (OK boxes).
inline constexpr const char* kDeleteMissingFileText =
    "You have to delete the file from the tree structure";
inline constexpr const char* kReenterTargetDirText = "You have re-enter your target directory";

// The answers of the relocation dialogs, checked before a dialog may close
// with OK; both say kStillNotFoundText with what they tried and stay open.
inline constexpr const char* kStillNotFoundText = "File: %s still couldn't be found";
// The file-not-found dialog: the typed location followed by name (a separator
// and the file name) must exist.
bool AcceptFileLocation(const std::string& location, const std::string& name, Prompter& prompter);
// The invalid-target-directory dialog: the text, less one trailing separator,
// must name a directory; on acceptance it ends in a separator.
bool AcceptTargetDirectory(std::string& directory, Prompter& prompter);

// What a folder chooser's answer is worth telling: kFolderUnreadableText when
// its attributes cannot be read, kFolderReadOnlyText when it may not be
// written. The chosen folder is used in every case.
inline constexpr const char* kFolderUnreadableText = "Target directory has been changed";
inline constexpr const char* kFolderReadOnlyText = "Warning: directory is read only";
void ReportChosenFolder(const std::string& folder, Prompter& prompter);

// 1 if a file search for the path finds anything (a file or a directory).
int FileExists(const std::string& path);
// Removes the last character of the path (its trailing separator) and returns 1
// if the rest names an existing directory. The file-system root "/" counts.
int DirectoryExists(const std::string& path);
// Cuts both strings at the end while their last characters are equal (exact
// comparison), so only the differing beginnings remain: /web/site/img and
// /work/site/img leave /web and /work.
void TrimCommonTail(std::string& oldText, std::string& newText);

// Carries the source paths recorded in one generated C file over to their new
// places: the banner line and every line holding one of the file markers
// ("/*  @! File: ", "/* @! Begin File: ", "/* @! End File: ", found in any
// letter case) get the first map key that occurs in them after the first column
// replaced by its value; one replacement per line at most. The file is saved
// (atomically) only if a line changed. A file that cannot be loaded, or holds a
// line too long for the line document, is left unchanged. True when saved.
bool RelocateMarkers(const std::string& file, const CRelocationMap& map, Prompter& prompter);

// Verifies a project file before the project opens: reads it (failure:
// "Invalid .web file or file no longer exists" and 0), relocates missing source
// files and an invalid target directory through answers, learning old -> new
// prefixes from each answer so one answer serves every file of a moved folder,
// rewrites the markers of the generated files when the target directory moved,
// relocates output files, and saves the project file if anything changed.
// Returns 1 when the project may be opened; 0 also when the corrected project
// file could not be saved.
int VerifyProject(const std::string& path, Prompter& prompter, CRelocationAnswers& answers);
