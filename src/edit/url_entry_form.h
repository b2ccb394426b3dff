#pragma once

#include <array>
#include <string>

#include "platform/prompter.h"

// The values of one URL table entry as the URL entry form shows and hands them
// back: URL as typed (blanks not yet encoded), send function, size text,
// content type function ("HSTypeHtml", ...) and realm expression.
struct CUrlEntryValues {
  std::string m_strUrl = "/";
  std::string m_strFunction;
  std::string m_strSize = "0";
  std::string m_strHsType = "HSTypeHtml";
  std::string m_strRealm = "Unprotected";
};

// The content type functions the form offers, in the order of its list; any
// other text may be typed.
inline constexpr std::array<const char*, 20> kHsTypes = {
    "HSTypeHtml",         "HSTypeGif",        "HSTypeApplet",     "HSTypeJpeg",
    "HSTypePict",         "HSTypeTiff",       "HSTypePng",        "HSTypeXbm",
    "HSTypeWav",          "HSTypeAu",         "HSTypeStaticHtml", "HSTypeStaticGif",
    "HSTypeStaticApplet", "HSTypeStaticJpeg", "HSTypeStaticPict", "HSTypeStaticTiff",
    "HSTypeStaticPng",    "HSTypeStaticXbm",  "HSTypeStaticWav",  "HSTypeStaticAu"};

// The outcome of the form's checks at OK, in the order they run. The first
// four are the form's own; the others keep a value out of the file that
// would break the generated C or its reading back.
enum class UrlEntryCheck {
  kAccepted,
  kNoFunction,   // "Please enter function name"
  kBadSize,      // "The size field is not valid for a non-HTML url"
  kUrlExists,    // "URL already exists!" (new entries only)
  kNoRealm,      // "At least one realm number has to be checked"
  kSizeRange,    // kSizeRangeText
  kBadUrl,       // kBadUrlText
  kBadFunction,  // kBadNameText for the function
  // kKeywordText or kUrlFileNameText for the function: the URL file would
  // not compile.
  kReservedFunction,
  kBadHsType,    // kBadNameText or kKeywordText for the HSType
  kLineTooLong,  // kLineTooLongText
};

// The field that gets the keyboard focus after a failed check.
enum class UrlEntryField { kUnchanged, kUrl, kFunction, kSize, kHsType };

// The rules of the URL entry dialog, which types one URL table entry for the
// URL file editor, new or edited. The form never writes the file; the editor
// builds the entry from the values the form accepted.
class CUrlEntryForm {
 public:
  // New mode: starts with "/", no function, size "0", "HSTypeHtml",
  // "Unprotected". The URL file is read at OK to refuse a URL it already has.
  explicit CUrlEntryForm(std::string urlFilePath);
  // Edit mode: starts with the row's cells (the size cell may say "N/A").
  CUrlEntryForm(const CUrlEntryValues& row, std::string urlFilePath);

  bool IsNew() const { return m_bNew; }
  // "New URL" or "Edit URL".
  const char* Title() const { return m_bNew ? "New URL" : "Edit URL"; }
  // What the fields show when the form opens.
  const CUrlEntryValues& Initial() const { return m_initial; }
  // Whether "None (not protected)" starts checked (the eight realm boxes are
  // then disabled), and which realm boxes start checked (bit k-1 for box k).
  bool InitialUnprotected() const { return m_bInitialUnprotected; }
  unsigned InitialRealmMask() const { return m_nInitialMask; }

  // OK: runs the checks in order on the typed values (their realm text is not
  // used) and the boxes; the first that fails shows its message and the form
  // stays open. On kAccepted, Result() holds the values with the realm
  // expression made from the boxes.
  UrlEntryCheck Accept(Prompter& prompter, const CUrlEntryValues& typed, bool unprotected,
                       unsigned realmMask);
  const CUrlEntryValues& Result() const { return m_result; }

  static UrlEntryField FocusAfter(UrlEntryCheck check);

  static constexpr const char* kNoFunctionText = "Please enter function name";
  static constexpr const char* kBadSizeText = "The size field is not valid for a non-HTML url";
  static constexpr const char* kUrlExistsText = "URL already exists!";
  static constexpr const char* kNoRealmText = "At least one realm number has to be checked";
  static constexpr const char* kSizeRangeText =
      "The size field must be a number from 0 to 2147483647";
  static constexpr const char* kBadUrlText =
      "The URL must not be empty and must not contain a double quote, a backslash, a comma or "
      "a control character.";
  // "function" or "HSType".
  static constexpr const char* kBadNameText =
      "The %s must be a C name: letters, digits and underscores, not starting with a digit.";
  // "function" or "HSType", then the name.
  static constexpr const char* kKeywordText = "The %s must not be a C keyword, and %s is one.";
  // The function.
  static constexpr const char* kUrlFileNameText =
      "The function must not be named %s: the URL file declares or uses that name itself.";
  static constexpr const char* kLineTooLongText =
      "The entry is too long for one line of the URL file.";

 private:
  bool m_bNew;
  std::string m_strPath;
  CUrlEntryValues m_initial;
  bool m_bInitialUnprotected = true;
  unsigned m_nInitialMask = 0;
  CUrlEntryValues m_result;
};

// The html flag of an entry: 1 when its content type function is exactly
// "HSTypeHtml".
int UrlEntryHtmlFlag(const CUrlEntryValues& values);

// The complete three-line text of the URL table entry for accepted values, the
// URL with its blanks encoded as "%20" and written as a C string (CStringText),
// the size as its leading number:
// "{\n   \"%s\", %d, %s, (%s)%s, %d, %s\n},\n".
std::string MakeUrlEntryText(const CUrlEntryValues& values);
