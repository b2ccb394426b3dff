#include "generator/code_generator.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "document/doc_handle.h"
#include "document/markers.h"
#include "generator/url_table.h"
#include "platform/ascii.h"
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

std::string UrlFileBody() {
  std::string s;
  s += "#include <string.h>\n";
  s += "#include \"hservapi.h\"\n\n";
  s += markers::kBeginPrototypes;
  s += "\n";
  s += markers::kEndPrototypes;
  s += "\n\n";
  s += "typedef void (*SendFn)(unsigned long handle);\n"
       "typedef void (*HSTypeFnHtml)(unsigned long);\n"
       "typedef void (*HSTypeFnBinary)(unsigned long, int);\n\n";
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
       "    SendFn         fun;        /* Send_Function_XXX or Post_XXX */\n"
       "    void           (*hstype)();/* HSType function to call */\n"
       "    int            len;        /* size of binary data */\n"
       "    unsigned short realm;     /* security realm */\n"
       "} URLTableEntry;\n\n";
  s += "/* Warning: each entry MUST be on the same line */";
  s += "\n";
  s += markers::kBeginUrlTable;
  s += "\nURLTableEntry URLTable[] = {\n{\n   NULL  /* last entry MUST be NULL */\n}\n};\n";
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
       "           HSPageAuthenticate (handle, URLTable[i].realm);\n"
       "           if (URLTable[i].html)\n"
       "              (*URLTable[i].hstype) (handle);\n"
       "           else\n"
       "              (*URLTable[i].hstype) (handle, URLTable[i].len);\n"
       "           goto lexit;\n"
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
  s += "int HSInitSecurityTable ()\n";
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
  std::tm parts{};
  std::time_t when = 0;
  if (SourceDateEpoch(when)) {
#ifdef _WIN32
    gmtime_s(&parts, &when);
#else
    gmtime_r(&when, &parts);
#endif
  } else {
    when = std::time(nullptr);
#ifdef _WIN32
    localtime_s(&parts, &when);
#else
    localtime_r(&when, &parts);
#endif
  }
  return FormatBannerDate(parts);
}

CCodeGenerator::CCodeGenerator(Prompter& prompter, const CProjectLocations* project)
    : m_prompter(prompter), m_pProject(project), m_dateSource(CurrentBannerDate) {}

CCodeGenerator::~CCodeGenerator() = default;

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
  if (CDocHandle::WriteNew(path, text) != 1) {
    m_prompter.ShowOk(FormatText(kCannotWriteText, {path}));
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
  if (lookFirst && !CDocHandle::IsHeld(path)) {
    const int seen = MarkersInOrderInFile(path, markerList);
    if (seen >= 0) return seen;
  }
  try {
    CDocHandle doc = CDocHandle::Open(m_prompter, path);
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
