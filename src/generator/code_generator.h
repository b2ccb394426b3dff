#pragma once

#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "platform/prompter.h"

class CCSrvDoc;

// Where the open project keeps its generated files. Abstract so that the
// generator does not depend on the build layer: the real implementation is the
// build layer's open project; tests use a small fixed one.
class CProjectLocations {
 public:
  virtual ~CProjectLocations() = default;
  // The target directory, ending in the path separator.
  virtual std::string TargetDir() const = 0;
  // The URL file's name within the target directory (for example "url.c").
  virtual std::string UrlFileName() const = 0;
  // The binary data file's name within the target directory (for example "bindata.c").
  virtual std::string BinFileName() const = 0;
};

// The date written into the banner of a new file, "%A, %B %d, %Y %H:%M:%S" with
// the English day and month names of the "C" locale, whatever the process
// locale is (for example "Sunday, December 06, 2026 04:33:09").
std::string FormatBannerDate(const std::tm& time);

// The banner date of a file written now: the local time, or, when the
// environment variable SOURCE_DATE_EPOCH holds a number of seconds since 1970,
// that time in UTC, so that a reproducible build writes the same bytes.
std::string CurrentBannerDate();

// The generator of one open project: it writes the skeletons of the URL file,
// the binary data file and the page files, recognises those files as its own by
// their marker comments, and converts pages and binary files into them. Every
// change to an existing generated file opens it through CDocHandle and finds its
// sections again by marker text; nothing remembers line numbers between steps.
class CCodeGenerator {
 public:
  // Gives the banner date of a file being written; tests fix it.
  using DateSource = std::function<std::string()>;

  // project may be set later with SetProject, but before UrlFilePath is used.
  explicit CCodeGenerator(Prompter& prompter, const CProjectLocations* project = nullptr);

  // The project whose target directory and URL file name UrlFilePath reads.
  void SetProject(const CProjectLocations* project) { m_pProject = project; }
  // Replaces the banner date source (CurrentBannerDate by default).
  void SetDateSource(DateSource source) { m_dateSource = std::move(source); }

  // Create or truncate the file at path (target directory + name) and write the
  // skeleton of its kind, with CR LF line ends, atomically. 1 = written; 0 = not
  // written (a message was shown and the file is as before).
  int WriteUrlFileSkeleton(const std::string& path);
  int WriteBinFileSkeleton(const std::string& path);
  int WritePageFileSkeleton(const std::string& path);

  // 1 when the file holds the markers of its kind in order (letter case and
  // text around them do not matter), else 0; an unreadable file gives 0. This is
  // how a build tells its own files from foreign files it must not touch.
  int IsUrlFile(const std::string& path);
  int IsBinFile(const std::string& path);
  int IsPageFile(const std::string& path);

  // The search step of the recognition: finds marker from column 0 of
  // startLine (case-insensitive, anywhere in a line). On success sets
  // startLine to the marker's line and returns 1; otherwise leaves it and returns 0.
  static int FindMarkerFrom(CCSrvDoc& doc, const std::string& marker, int& startLine);

  // The URL file of the open project: its target directory followed by its URL
  // file name; empty while no project is set.
  std::string UrlFilePath() const;

  // The form handler names ("Post_" + action) registered since the generator
  // was created; a registered name is never registered again.
  const std::vector<std::string>& PostHandlers() const { return m_postHandlers; }

  // Messages of the skeleton writers, with the file's path for %s.
  static constexpr const char* kCannotWriteText = "File %s cannot be written.";
  static constexpr const char* kUnsafePathText =
      "File %s cannot be generated: its path holds \"*/\" or a control character, which would "
      "break the C comment that names it.";

  // Page conversion with its form and dynamic function stubs, and binary data
  // conversion, are declared below by the files that implement them.

 private:
  int WriteSkeleton(const std::string& path, const std::string& body);
  std::string Banner(const std::string& path) const;
  int HasMarkersInOrder(const std::string& path, const std::vector<const char*>& markerList);

  Prompter& m_prompter;
  const CProjectLocations* m_pProject;
  DateSource m_dateSource;
  std::vector<std::string> m_postHandlers;
};
