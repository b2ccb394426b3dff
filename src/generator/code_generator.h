#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "document/source_text.h"
#include "document/streamed_file.h"
#include "platform/prompter.h"
#include "project/project_file.h"

class CCSrvDoc;
class CGeneratedFiles;
class CUrlTable;

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
  // A source or generated file's path as the generated files record it in
  // their markers and banners: the same in every checkout of a project that
  // travels with its repository, so a clone finds the blocks another made.
  virtual std::string RecordedPath(const std::string& path) const { return path; }
  // True when binary data is written as string literals of exactly the
  // file's length instead of byte arrays (a project setting).
  virtual bool LiteralData() const { return false; }
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
// generated file is read and written through the CGeneratedFiles it is given
// (written at once, batched for a build, compared in a check, or kept in
// memory); each change opens the file there and finds its sections again by
// marker text; nothing remembers line numbers between steps.
class CCodeGenerator {
 public:
  // Gives the banner date of a file being written; tests fix it.
  using DateSource = std::function<std::string()>;

  // project may be set later with SetProject, but before UrlFilePath is used.
  CCodeGenerator(Prompter& prompter, CGeneratedFiles& files,
                 const CProjectLocations* project = nullptr);
  ~CCodeGenerator();

  // The project whose target directory and URL file name UrlFilePath reads.
  void SetProject(const CProjectLocations* project) { m_pProject = project; }
  // The generated files that the following steps read and write (a build
  // gives its batch for the build's length).
  // A URL table read from other files is read again.
  void SetFiles(CGeneratedFiles& files);
  CGeneratedFiles& Files() const { return *m_pFiles; }
  // Replaces the banner date source (CurrentBannerDate by default).
  void SetDateSource(DateSource source) { m_dateSource = std::move(source); }

  // Create or truncate the file at path (target directory + name) and write the
  // skeleton of its kind, with CR LF line ends, atomically. 1 = written; 0 = not
  // written (a message was shown and the file is as before).
  int WriteUrlFileSkeleton(const std::string& path);
  int WriteBinFileSkeleton(const std::string& path);
  int WritePageFileSkeleton(const std::string& path);

  // 1 when the file holds the markers of its kind in order (letter case and
  // text around them do not matter), else 0; an unreadable file gives 0, and
  // one with a line too long that the user would not wrap kLongLineRefused. This is
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
  // was created or last given the page order; a registered name is never
  // registered again.
  const std::vector<std::string>& PostHandlers() const { return m_postHandlers; }

  // URL files written by earlier versions declare the table's HSType field
  // "void (*hstype)();", which C23 compilers (GCC 15 by default, clang
  // -std=c2x) read as a function without parameters: every call of it is an
  // error. When the file at path declares it so and its declarations and the
  // two calls in AppPreprocessURL are the text an earlier skeleton wrote,
  // they are changed into the current skeleton's and the file is saved
  // (kUpdated); when the text is not the skeleton's, kOldHsTypeText tells how
  // to change it and nothing is written (kOldKept). kCurrent: nothing to do;
  // kFailed: the file could not be written (shown).
  enum class UrlFileDeclaration { kCurrent, kUpdated, kOldKept, kFailed };
  UrlFileDeclaration UpdateUrlFileDeclaration(const std::string& path);
  // The URL file's path.
  static constexpr const char* kOldHsTypeText =
      "Warning: %s declares the URL table's HSType field as \"void (*hstype)();\", which C23 "
      "compilers (GCC 15, clang -std=c2x) reject. The file was left as it is, because its "
      "declarations differ from those Pagoric wrote. To fix it, declare \"typedef void "
      "(*HSTypeFn)(void);\", \"typedef HSTypeFn HSTypeFnHtml;\" and \"typedef HSTypeFn "
      "HSTypeFnBinary;\" in place of the two HSTypeFn typedefs, declare the field as "
      "\"HSTypeFn hstype;\", and in AppPreprocessURL call \"((void (*)(unsigned "
      "long))URLTable[i].hstype) (handle);\" and \"((void (*)(unsigned long, "
      "int))URLTable[i].hstype) (handle, URLTable[i].len);\".";

  // Messages of the skeleton writers, with the file's path for %s.
  static constexpr const char* kCannotWriteText = "File %s cannot be written.";
  static constexpr const char* kUnsafePathText =
      "File %s cannot be generated: its path holds \"*/\" or a control character, which would "
      "break the C comment that names it.";

  // Page conversion with its form and dynamic function stubs, and binary data
  // conversion, are declared below by the files that implement them.

  // ---- Page and binary data conversion: page_convert.cpp, page_stubs.cpp and
  // binary_convert.cpp ----

  // Converts one page node (an HTML or text page) into its page file: the send
  // function "Send_function_%d" between the HTML page markers, URL table entries
  // for the page and its forms, and stubs for its forms and dynamic markers that
  // keep whatever the user typed into them. 1 = converted; 0 = not converted,
  // after a message (the build logs the node as failed and goes on).
  int ConvertPage(const CPageNode& node);
  // Tells ConvertPage the node list before a build, so that a page whose page
  // file is already the page file of an earlier page with another URL is
  // refused instead of wiping that page's send function. Without it, "earlier"
  // means converted earlier by this generator. It also starts the build's
  // list of form handlers afresh: the page files of the project (those of the
  // list, and those converted since) are the record of the handlers made.
  void SetPageOrder(const CPageNodeList& nodes);
  // Escapes one read piece of page text in place for a C string literal: LF,
  // CR, double quote, backslash and a "?" after a "?" become escapes, "@!" is
  // written as "@" "!" (so page text never reads as a marker comment), NUL
  // bytes (which HSSend cannot send) are dropped, and a CR that starts the
  // piece is skipped.
  static void EscapeLine(std::string& piece);
  // Inserts text just before the End HTML page marker of the node's page file
  // and saves it. 1 = saved; 0 = not, after a message.
  int InsertPageCode(const CPageNode& node, const std::string& text);

  // 1 and the action in name when the escaped piece holds a form tag with
  // METHOD and an ACTION that can name a C handler; a refused ACTION shows a
  // message, a mailto: ACTION is passed over silently, and an empty one (or
  // an ACTION without a value) adds kEmptyActionNote to the notes.
  int ParseFormAction(const std::string& piece, std::string& name);
  static constexpr const char* kEmptyActionNote =
      "A form with an empty ACTION is skipped: it gets no URL and no handler.";
  // What the conversions since the last call noted for the build log (no
  // message box: nothing is wrong), in order; the list is emptied.
  std::vector<std::string> TakeNotes() { return std::exchange(m_notes, {}); }
  // Add the stub of a form handler, or the forward declaration and the stub of a
  // dynamic function, to a page file unless a stub of that name is there. The
  // sections they need are created below the HTML page section (above it for
  // the declarations). 1 = done or present; 0 = not, after a message.
  int AddPostFunction(const std::string& function, const std::string& pageFile);
  int AddDynamicFunction(const std::string& function, const std::string& pageFile);

  // Converts one binary node into the binary data file: its byte array and its
  // send function, each fenced by markers naming the source path and moved to
  // the end of its section, and its URL table entry (or the entry's size).
  // 1 = converted; 0 = not converted, after a message, and the binary data file
  // keeps what it had for that source.
  int ConvertBinary(const CPageNode& node);
  // Removes both blocks (array and send function) of one source from the
  // binary data file.
  void RemoveFileBlocks(const std::string& binFile, const std::string& sourcePath);
  // A text handed over in pieces, so that a large one never has to be held
  // whole: each call fills lines with the next piece (whole lines followed by
  // an empty element, as SplitAtLineEnds splits a text that ends with a line
  // end; the views hold until the next call) and returns false when none is left.
  using LinePieces = std::function<bool(std::vector<std::string_view>& lines)>;
  // Inserts a text before the last occurrence of marker in the file and saves
  // it. 1 = saved; 0 = not, after a message.
  int InsertBufferData(const std::string& marker, const std::string& path,
                       const LinePieces& pieces);
  // The text of the buffer block of the source at path (recorded as the
  // markers name it) for send function number function: the array (or, with
  // literal, the string literal) of its first size bytes with CR LF line
  // ends, made from the source as it is read, block by block. Its pieces raise
  // CStreamError when the source cannot be read or ends early.
  static TextMaker BufferText(bool literal, const std::string& path, const std::string& recorded,
                              int function, std::uint64_t size);
  // Inserts the node's buffer block (bufferText makes its text with CR LF line
  // ends) and its send function into the binary data file, in place of the
  // source's old blocks, and adds or updates its URL table entry. 1 = done.
  int AddBinaryCode(const CPageNode& node, const TextMaker& bufferText);

  // Messages of the conversions; %s places are filled in order.
  static constexpr const char* kCannotCreateText = "cannot create file";
  // What the recognition returns for a file with a line too long for the
  // line document that the user did not let the build wrap (the refusal was
  // shown already, so no "not recognized" message follows).
  static constexpr int kLongLineRefused = -2;
  static constexpr const char* kNotRecognizedText =
      "File %s already exists, but it cannot be  recognized as previously generated by this "
      "utility. Please rename the file and try again";
  static constexpr const char* kSourceMissingText = "file: %s not exist";
  static constexpr const char* kBadActionText =
      " Form contains ACTION field: \"%s\" which cannot be used in a valid C identifier.\r\n No "
      "handler for the form will be generated.";
  // Source path, URL, character.
  static constexpr const char* kUnsafeUrlText =
      "%s is not converted: its URL %s holds %s, which cannot be written into the URL table.";
  // Source path, character or "*/".
  static constexpr const char* kUnsafeSourceText =
      "%s is not converted: its path holds %s, which cannot be written into the C comment that "
      "names it.";
  // Source path, "URL" or "path", the length, the longest length allowed.
  static constexpr const char* kTooLongText =
      "%s is not converted: its %s is %s bytes long, more than the %s bytes that fit on one "
      "line of the generated files.";
  // The action.
  static constexpr const char* kLongActionText =
      " Form contains ACTION field: \"%s\" which is too long for one line of the generated "
      "files.\r\n No handler for the form will be generated.";
  // Longest URL and source path whose generated lines (URL table entry,
  // prototype, the comments that name the source) stay under the line
  // document's MaxLineLength, so no file is wrapped, and its C cut, when it is
  // loaded again. Dynamic function names cannot get that long: a page is read
  // in pieces of 799 characters.
  static constexpr size_t kMaxUrlLength = 900;
  static constexpr size_t kMaxPathLength = 960;
  // URL, page file, the other page's URL.
  static constexpr const char* kSharedPageFileText =
      "The page %s is not converted: its page file %s is already the page file of the page %s. "
      "Rename one of the two pages.";
  // Handler, the two page files.
  static constexpr const char* kDuplicateHandlerText =
      "The form handler %s has a stub in %s and another in %s: the firmware will not link "
      "(multiple definition). Neither is removed, as both may hold your code; remove one of "
      "them.";
  // URL, page file.
  static constexpr const char* kPageFileIsUrlFileText =
      "The page %s is not converted: its page file %s is the URL file.";
  static constexpr const char* kPageFileIsBinFileText =
      "The page %s is not converted: its page file %s is the binary data file.";
  // Source path, the name after the dynamic marker.
  static constexpr const char* kBadDynamicNameText =
      "%s is not converted: its dynamic content name \"%s\" cannot be the name of a C "
      "function. The name after _NZZA_ must be letters, digits and underscores.";
  // Source path, its size now, the size the build recorded.
  static constexpr const char* kSourceShorterText =
      "%s is not converted: it holds %s bytes now, fewer than the %s bytes it had when the "
      "build started.";
  // Source path.
  static constexpr const char* kConvertFileErrorText = "File error: %s is not converted.";
  // The largest source a binary node may have: the URL table's size field
  // (len) is a C int.
  static constexpr std::uint64_t kMaxBinarySize = 2147483647;
  // Source path, its size, kMaxBinarySize.
  static constexpr const char* kTooLargeText =
      "%s is not converted: it holds %s bytes, more than the %s bytes the size field of the "
      "URL table can hold.";

 private:
  // Where a page file came from: the URL of the first page that uses it.
  struct CPageFileOwner {
    std::string m_strFile;
    std::string m_strUrl;
  };

  // ConvertPage for a node that passed its checks; file errors arrive as
  // CSourceException.
  int ConvertPageSteps(const CPageNode& node);
  // Shows the message and returns false when the node's URL or source path
  // cannot be written into generated C text.
  bool CheckNodeTexts(const CPageNode& node);
  // Shows the message and returns false when the page's page file belongs to
  // another page, the URL file or the binary data file.
  bool CheckPageFile(const CPageNode& node);
  // The send function of a page from its source text, running the form step
  // on every piece; the dynamic functions met are added to dynamicList, the
  // ACTIONs of the forms met to actions. Nothing is written.
  std::string PageFunctionText(const CPageNode& node, const std::string& source,
                               std::vector<std::string>& dynamicList,
                               std::vector<std::string>& actions);
  // Escapes one read piece, runs the form step on it and appends its HSSend
  // lines and dynamic function calls to out. A piece of a line read in several
  // pieces is not given the form step: its escaped text is appended to
  // longLine instead, for FormStepOnLine after the line's last piece.
  void ConvertPiece(std::string& piece, std::string& out, std::vector<std::string>& dynamicList,
                    std::vector<std::string>& actions, std::string* longLine);
  // The form step of a line read in several pieces, on its whole escaped text:
  // once per "<FORM " (any case), on the text from it to the next one or the
  // end of the line, in their order. A form tag cut by a piece boundary is
  // found this way.
  void FormStepOnLine(const std::string& line, std::vector<std::string>& actions);
  // Registers the handler of a form's ACTION: its URL table entry and its place
  // in postList. A handler is made once in the whole project: one registered
  // before, or whose stub stands in another page file of the project, gets
  // nothing. 0 when the entry could not be added.
  int RegisterFormHandler(const CPageNode& node, const std::string& action,
                          std::vector<std::string>& postList);
  // The page file whose stub of a form handler the project's page files hold
  // (the first one found), or nullptr. Page files not yet looked at are read
  // first; a handler found with stubs in two files is reported with both names.
  const std::string* PostStubFile(const std::string& handler);
  // Notes the form handler stubs in the text of one page file.
  void NotePostStubs(const std::string& pageFile, std::string_view text);
  // Adds the URL table entry of a URL unless the table has one. 0 when it could
  // not be added.
  int AddUrlEntry(const std::string& url, const std::string& entry, const std::string& function);
  // The binary data file of the open project; empty while no project is set.
  std::string BinFilePath() const;
  // The URL table of the URL file. With generated files that keep their
  // documents (a build's batch) one table, read once, follows the
  // conversions' own edits for the whole build; it is read again whenever
  // anything else changed the file. Otherwise every call reads the table
  // afresh, as each step loads the file afresh.
  CUrlTable& UrlTable();

  std::vector<CPageFileOwner> m_pageFileOwners;  // sorted by file
  std::unique_ptr<CUrlTable> m_urlTable;
  // Buffers that every binary conversion reuses: the source's bytes and the
  // array text formatted from them.

  // ---- end of page and binary data conversion ----

 private:
  int WriteSkeleton(const std::string& path, const std::string& body);
  std::string Banner(const std::string& path) const;
  // path as the markers record it (CProjectLocations::RecordedPath).
  std::string Recorded(const std::string& path) const;
  // The recognition of IsUrlFile, IsBinFile and IsPageFile. It opens the file
  // in the generated files, where the build's next steps find it; with
  // lookFirst, a file they do not hold yet is first only looked at
  // (MarkersInOrderInFile).
  int HasMarkersInOrder(const std::string& path, const std::vector<const char*>& markerList,
                        bool lookFirst = false);
  // False, after a message, when file or the URL file is read-only: a
  // conversion that writes both refuses before it changes anything.
  bool CanWriteWithUrlFile(const std::string& file);
  // Finds the end marker of a stub section of a page file, making the empty
  // section below the HTML page section when there is none (false, after a
  // message, when that section is missing too).
  bool FindSectionEndBelowPage(CCSrvDoc& doc, const std::string& pageFile, const char* begin,
                               const char* end, TextPos& at);

  Prompter& m_prompter;
  CGeneratedFiles* m_pFiles;
  const CProjectLocations* m_pProject;
  DateSource m_dateSource;
  std::vector<std::string> m_postHandlers;           // in the order they were added
  std::unordered_set<std::string> m_postHandlerSet;  // the same names, for lookups
  // The form handlers whose stubs stand in the project's page files: the page
  // file of each, and the page files already looked at.
  std::unordered_map<std::string, std::string> m_postStubFiles;
  std::unordered_set<std::string> m_stubScannedFiles;
  std::vector<std::string> m_notes;  // for TakeNotes
};
