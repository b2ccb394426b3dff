#include "generator/code_generator.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <span>
#include <string_view>

#include "document/generated_files.h"
#include "document/markers.h"
#include "generator/field_text.h"
#include "generator/url_table.h"
#include "platform/ascii.h"
#include "platform/environment.h"
#include "platform/text_format.h"

namespace {

constexpr const char* kWeekdays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};
constexpr const char* kMonths[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};

void AppendTwoDigits(std::string& out, int value) {
  if (value < 0) value = 0;
  if (value < 10) out += '0';
  out += std::to_string(value);
}

// Seconds from SOURCE_DATE_EPOCH when it holds a plain non-negative number that
// fits a time_t.
bool SourceDateEpoch(std::time_t& out) {
  const char* text = std::getenv("SOURCE_DATE_EPOCH");
  if (text == nullptr || *text == '\0') return false;
  constexpr std::time_t kMax = std::numeric_limits<std::time_t>::max();
  std::time_t value = 0;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return false;
    const int digit = *p - '0';
    if (value > (kMax - digit) / 10) return false;
    value = value * 10 + digit;
  }
  out = value;
  return true;
}

// Generated files are text with CR LF line ends; the templates use "\n".
std::string WithCrLf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// A path ends up inside the banner comment: "*/" would close the comment early
// and a control character would break the banner line.
bool IsSafeInComment(const std::string& path) {
  return path.find("*/") == std::string::npos &&
         std::none_of(path.begin(), path.end(), IsAsciiControl);
}

// The HSType field of the URL table. Earlier URL files declared it
// "void (*hstype)();", which C23 reads as a function without parameters, so
// that both calls with arguments are errors. Now the two typedefs the entries
// cast to name one generic function pointer type, the field has that type,
// and AppPreprocessURL casts it back to the real signature it calls. The
// entries' text is what it always was.
constexpr std::string_view kHsTypeDeclaration[] = {
    "/* Every HSType function is kept as the one generic function pointer type",
    "   HSTypeFn and called through its real type, which the html flag tells. */",
    "typedef void (*HSTypeFn)(void);",
    "typedef HSTypeFn HSTypeFnHtml;",
    "typedef HSTypeFn HSTypeFnBinary;",
    "typedef void (*HSTypeHtmlCall)(unsigned long);",
    "typedef void (*HSTypeBinaryCall)(unsigned long, int);"};
constexpr std::string_view kHsTypeField =
    "    HSTypeFn       hstype;     /* HSType function to call */";
constexpr std::string_view kHsTypeCalls[] = {
    "           if (URLTable[i].html)",
    "              ((HSTypeHtmlCall)URLTable[i].hstype) (handle);",
    "           else",
    "              ((HSTypeBinaryCall)URLTable[i].hstype) (handle, URLTable[i].len);",
};
// The same three places as the skeletons of earlier versions wrote them.
constexpr std::string_view kOldHsTypeDeclaration[] = {
    "typedef void (*HSTypeFnHtml)(unsigned long);",
    "typedef void (*HSTypeFnBinary)(unsigned long, int);"};
constexpr std::string_view kOldHsTypeField =
    "    void           (*hstype)();/* HSType function to call */";
constexpr std::string_view kOldHsTypeCalls[] = {
    "           if (URLTable[i].html)",
    "              (*URLTable[i].hstype) (handle);",
    "           else",
    "              (*URLTable[i].hstype) (handle, URLTable[i].len);",
};

// The lines from first up to (not including) stop at which the lines of block
// stand one after the other; -1 when they stand nowhere or in more than one place.
int FindOnlyBlock(CCSrvDoc& doc, int first, int stop, std::span<const std::string_view> block) {
  int found = -1;
  for (int n = first; n + static_cast<int>(block.size()) <= stop; ++n) {
    bool same = true;
    for (size_t k = 0; k < block.size() && same; ++k) {
      same = doc.LineText(n + static_cast<int>(k)) == block[k];
    }
    if (!same) continue;
    if (found >= 0) return -1;
    found = n;
  }
  return found;
}

// True for a line that declares a function pointer named hstype with an empty
// parameter list, whatever blanks stand between the parts.
bool DeclaresOldHsType(std::string_view line) {
  std::string packed;
  for (char c : line) {
    if (!IsBlank(c)) packed += c;
  }
  return packed.find("(*hstype)()") != std::string::npos;
}

std::string UrlFileBody() {
  std::string s;
  s += "#include <string.h>\n";
  s += "#include \"hservapi.h\"\n\n";
  s += markers::kBeginPrototypes;
  s += "\n";
  s += markers::kEndPrototypes;
  s += "\n\n";
  s += "typedef void (*SendFn)(unsigned long handle);\n";
  for (std::string_view line : kHsTypeDeclaration) {
    s += line;
    s += '\n';
  }
  s += '\n';
  s += "#define\tUnprotected\t(0x0000)\n"
       "#define Realm1     (0x0001)\n"
       "#define Realm2     (Realm1 << 1)\n"
       "#define Realm3     (Realm2 << 1)\n"
       "#define Realm4     (Realm3 << 1)\n"
       "#define Realm5     (Realm4 << 1)\n"
       "#define Realm6     (Realm5 << 1)\n"
       "#define Realm7     (Realm6 << 1)\n"
       "#define Realm8     (Realm7 << 1)\n\n"
       "#define AllRealms  (0xFF)\n\n"
       "#define REALM1     0\n"
       "#define REALM2     1\n"
       "#define REALM3     2\n"
       "#define REALM4     3\n"
       "#define REALM5     4\n"
       "#define REALM6     5\n"
       "#define REALM7     6\n"
       "#define REALM8     7\n\n";
  s += "typedef struct {\n"
       "    char*          url;\n"
       "    unsigned       html;       /* use HSTypeHtml if 1 */\n"
       "    SendFn         fun;        /* Send_Function_XXX or Post_XXX */\n";
  s += kHsTypeField;
  s += "\n"
       "    int            len;        /* size of binary data */\n"
       "    unsigned short realm;     /* security realm */\n"
       "} URLTableEntry;\n\n";
  s += "/* Warning: each entry MUST be on the same line */";
  s += "\n";
  s += markers::kBeginUrlTable;
  s += "\nURLTableEntry URLTable[] = {\n{\n   NULL, 0, NULL, NULL, 0, 0  /* last entry MUST be "
       "NULL */\n}\n};\n";
  s += markers::kEndUrlTable;
  s += "\n\n";
  s += markers::kBeginSearchUrl;
  s += "\n";
  s += "/*\n"
       " * AppSearchURL\n"
       " *\n"
       " * This is an application URL search routine.\n"
       " * It will also send data back to the browser.\n"
       " *\n"
       " */\n";
  s += "void AppSearchURL (unsigned long handle, char *URLp)\n{\n";
  s += "    int i=0;\n"
       "    while (URLTable[i].url) {\n"
       "       if (strcmp(URLTable[i].url, URLp) == 0)\n"
       "       {\n"
       "           (*URLTable[i].fun) (handle);\n"
       "           goto lexit;\n"
       "       }\n"
       "       i++;\n"
       "    }\n"
       "lexit:\n"
       "    return;\n";
  s += "}  ";
  s += markers::kEndSearchUrl;
  s += "\n\n";
  s += markers::kBeginPreprocess;
  s += "\n";
  s += "/*\n"
       " * AppPreprocessURL\n"
       " *\n"
       " * This routine does all the pre-processing for the application's pages.\n"
       " *\n"
       " */\n";
  s += "void AppPreprocessURL (unsigned long handle, char *URLp)\n{\n";
  s += "    int i=0;\n"
       "    while ( URLTable[i].url ) {\n"
       "        if ( strcmp(URLTable[i].url, URLp) == 0)\n"
       "        {\n"
       "           HSPageAuthenticate (handle, URLTable[i].realm);\n";
  for (std::string_view line : kHsTypeCalls) {
    s += line;
    s += '\n';
  }
  s += "           goto lexit;\n"
       "        }\n"
       "        i++;\n"
       "    }\n";
  s += "    /* put your own pre-processing here: */";
  s += "\nlexit:\n    return;";
  s += "\n}  ";
  s += markers::kEndPreprocess;
  s += "\n\n";
  s += markers::kBeginPureSearch;
  s += "\n";
  s += "/*\n"
       " * SearchURL\n"
       " *\n"
       " * This is an application URL search routine.\n"
       " * Returns 1 if the url is found, 0 otherwise.\n"
       " *\n"
       " */\n";
  s += "int SearchURL (unsigned long handle, char *URLp)\n"
       "{\n"
       "    int i=0;\n"
       "    (void)handle;\n"
       "    while (URLTable[i].url) {\n"
       "       if (strcmp(URLTable[i].url, URLp) == 0)\n"
       "       {\n"
       "           return 1;\n"
       "       }\n"
       "       i++;\n"
       "    }\n"
       "\n"
       "    return 0;\n"
       "}  ";
  s += markers::kEndPureSearch;
  s += "\n\n";
  s += markers::kBeginSecurityTable;
  s += "\n";
  s += "/*\n"
       " * HSInitSecurityTable\n"
       " *\n"
       " * This will be called once when the web server starts. \n"
       " * You should setup realm's user/password here.\n"
       " *\n"
       " */\n";
  s += "int HSInitSecurityTable (void)\n";
  s += "{\n";
  s += markers::kBeginRealmCalls;
  s += "\n";
  s += "    /*HSSetRealm (REALM1, \"realmname\", \"user\", \"password\");*/\n";
  s += markers::kEndRealmCalls;
  s += "\n";
  s += "    return 0;\n";
  s += "}  ";
  s += markers::kEndSecurityTable;
  s += "\n\n";
  return s;
}

std::string BinFileBody() {
  std::string s = "#include \"hservapi.h\"\n\n";
  s += markers::kBeginBufferData;
  s += "\n";
  s += markers::kEndBufferData;
  s += "\n\n";
  s += markers::kBeginBinary;
  s += "\n";
  s += markers::kEndBinary;
  s += "\n\n";
  return s;
}

std::string PageFileBody() {
  std::string s = "#define _PAGORIC_\n";
  s += markers::kBeginHtmlPage;
  s += "\n";
  s += markers::kEndHtmlPage;
  s += "\n\n";
  return s;
}

}  // namespace

std::string FormatBannerDate(const std::tm& time) {
  std::string out;
  const int weekday = time.tm_wday;
  const int month = time.tm_mon;
  out += weekday >= 0 && weekday < 7 ? kWeekdays[weekday] : "?";
  out += ", ";
  out += month >= 0 && month < 12 ? kMonths[month] : "?";
  out += ' ';
  AppendTwoDigits(out, time.tm_mday);
  out += ", ";
  out += std::to_string(static_cast<long long>(time.tm_year) + 1900);
  out += ' ';
  AppendTwoDigits(out, time.tm_hour);
  out += ':';
  AppendTwoDigits(out, time.tm_min);
  out += ':';
  AppendTwoDigits(out, time.tm_sec);
  return out;
}

std::string CurrentBannerDate() {
  std::time_t when = 0;
  if (SourceDateEpoch(when)) return FormatBannerDate(UtcTimeOf(when));
  return FormatBannerDate(LocalTimeOf(std::time(nullptr)));
}

CCodeGenerator::CCodeGenerator(Prompter& prompter, CGeneratedFiles& files,
                               const CProjectLocations* project)
    : m_prompter(prompter),
      m_pFiles(&files),
      m_pProject(project),
      m_dateSource(CurrentBannerDate) {}

CCodeGenerator::~CCodeGenerator() = default;

void CCodeGenerator::SetFiles(CGeneratedFiles& files) {
  if (&files != m_pFiles) m_urlTable.reset();
  m_pFiles = &files;
}

std::string CCodeGenerator::Banner(const std::string& path) const {
  return FormatText("/* C file: %s created\n by Corvane Pagoric Utility on %s */\n\n\n",
                    {Recorded(path), m_dateSource()});
}

std::string CCodeGenerator::Recorded(const std::string& path) const {
  return m_pProject ? m_pProject->RecordedPath(path) : path;
}

int CCodeGenerator::WriteSkeleton(const std::string& path, const std::string& body) {
  if (!IsSafeInComment(path)) {
    m_prompter.ShowOk(FormatText(kUnsafePathText, {path}));
    return 0;
  }
  const std::string text = WithCrLf(Banner(path) + body);
  // Written atomically; a batch that holds an older copy of the file reads it afresh.
  if (std::string reason; m_pFiles->WriteNew(path, text, &reason) != 1) {
    m_prompter.ShowOkWithReason(FormatText(kCannotWriteText, {path}), reason);
    return 0;
  }
  return 1;
}

int CCodeGenerator::WriteUrlFileSkeleton(const std::string& path) {
  return WriteSkeleton(path, UrlFileBody());
}

int CCodeGenerator::WriteBinFileSkeleton(const std::string& path) {
  return WriteSkeleton(path, BinFileBody());
}

int CCodeGenerator::WritePageFileSkeleton(const std::string& path) {
  return WriteSkeleton(path, PageFileBody());
}

int CCodeGenerator::FindMarkerFrom(CCSrvDoc& doc, const std::string& marker, int& startLine) {
  const int line = FindMarker(doc, marker, startLine);
  if (line < 0) return 0;
  startLine = line;
  return 1;
}

int CCodeGenerator::HasMarkersInOrder(const std::string& path,
                                      const std::vector<const char*>& markerList, bool lookFirst) {
  if (lookFirst && !m_pFiles->IsHeld(path) && m_pFiles->Status(path).exists) {
    const int seen = MarkersInOrderInFile(path, markerList);
    if (seen >= 0) return seen;
  }
  try {
    CDocHandle doc = m_pFiles->Open(m_prompter, path);
    // A long line the user would not have wrapped: the refusal said so.
    if (doc.LoadResult() == 0 && doc->LongLine() > 0 && doc->LastError() == 3) {
      return kLongLineRefused;
    }
    int start = 0;
    // Each search runs from the line of the marker before it.
    for (const char* marker : markerList) {
      if (!FindMarkerFrom(*doc, marker, start)) return 0;
    }
    return 1;
  } catch (const CSourceException&) {
    return 0;  // a file the line document cannot read is not one of ours
  }
}

int CCodeGenerator::IsUrlFile(const std::string& path) {
  return HasMarkersInOrder(path, {markers::kBeginPrototypes, markers::kEndPrototypes,
                                  markers::kBeginUrlTable, markers::kEndUrlTable});
}

int CCodeGenerator::IsBinFile(const std::string& path) {
  // A build that converts no binary file never needs the binary data file's
  // document, the largest of all: it is only looked at here.
  return HasMarkersInOrder(path,
                           {markers::kBeginBufferData, markers::kEndBufferData,
                            markers::kBeginBinary, markers::kEndBinary},
                           true);
}

int CCodeGenerator::IsPageFile(const std::string& path) {
  return HasMarkersInOrder(path, {markers::kBeginHtmlPage, markers::kEndHtmlPage});
}

std::string CCodeGenerator::UrlFilePath() const {
  if (m_pProject == nullptr) return std::string();
  return m_pProject->TargetDir() + m_pProject->UrlFileName();
}

CCodeGenerator::UrlFileDeclaration CCodeGenerator::UpdateUrlFileDeclaration(
    const std::string& path) {
  CDocHandle doc = m_pFiles->Open(m_prompter, path);
  // The declarations stand between the prototypes and the table, the calls in
  // the pre-processing function.
  const int declFirst = FindMarker(*doc, markers::kEndPrototypes, 0);
  const int declStop = declFirst < 0 ? -1 : FindMarker(*doc, markers::kBeginUrlTable, declFirst);
  if (declStop < 0) return UrlFileDeclaration::kCurrent;  // not ours to judge
  bool old = false;
  for (int n = declFirst + 1; n < declStop && !old; ++n) old = DeclaresOldHsType(doc->LineText(n));
  if (!old) return UrlFileDeclaration::kCurrent;

  const int callFirst = FindMarker(*doc, markers::kBeginPreprocess, declStop);
  const int callStop = callFirst < 0 ? -1 : FindMarker(*doc, markers::kEndPreprocess, callFirst);
  const int typedefs = FindOnlyBlock(*doc, declFirst + 1, declStop, kOldHsTypeDeclaration);
  const int field = FindOnlyBlock(*doc, declFirst + 1, declStop,
                                  std::span<const std::string_view>(&kOldHsTypeField, 1));
  const int calls =
      callStop < 0 ? -1 : FindOnlyBlock(*doc, callFirst + 1, callStop, kOldHsTypeCalls);
  // Only the text earlier skeletons wrote is changed; anything else may be
  // the user's, who is told how to change it.
  bool onlyOld = typedefs >= 0 && field >= 0 && calls >= 0;
  for (int n = declFirst + 1; n < declStop && onlyOld; ++n) {
    onlyOld = n == field || !DeclaresOldHsType(doc->LineText(n));
  }
  if (!onlyOld) {
    m_prompter.ShowOk(FormatText(kOldHsTypeText, {path}));
    return UrlFileDeclaration::kOldKept;
  }
  // From the bottom up, so that the line numbers found stay true.
  for (size_t k = 0; k < std::size(kHsTypeCalls); ++k) {
    doc->SetLineText(calls + static_cast<int>(k), kHsTypeCalls[k]);
  }
  doc->SetLineText(field, kHsTypeField);
  doc->RemoveLines(typedefs, static_cast<int>(std::size(kOldHsTypeDeclaration)));
  doc->InsertLines(typedefs, kHsTypeDeclaration);
  if (std::string reason; !doc.Save(&reason)) {
    m_prompter.ShowOkWithReason(FormatText(kCannotWriteText, {path}), reason);
    return UrlFileDeclaration::kFailed;
  }
  return UrlFileDeclaration::kUpdated;
}
