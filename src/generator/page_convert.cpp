// Page conversion: a page's text becomes the send function of its page file.
#include <algorithm>
#include <string_view>

#include "document/generated_files.h"
#include "document/markers.h"
#include "generator/c_names.h"
#include "generator/code_generator.h"
#include "generator/convert_util.h"
#include "generator/field_text.h"
#include "generator/file_structure.h"
#include "generator/url_table.h"
#include "platform/ascii.h"
#include "platform/file_util.h"
#include "platform/text_format.h"
#include "project/url_names.h"

namespace {

// A source line is read in pieces of at most this many characters, its line
// end included; a longer line is sent by several HSSend calls.
constexpr size_t kPieceLength = 799;
// The most bytes of escaped page text that one HSSend line carries. With the
// call around it the line stays below the 1,024 bytes at which the line
// document wraps lines when the page file is loaded again.
constexpr size_t kMaxSendText = 999;

constexpr std::string_view kSendOpen = "    HSSend (handle, \"";
constexpr std::string_view kSendClose = "\");\n";
constexpr std::string_view kUpperMarker = "_NZZA_";
constexpr std::string_view kLowerMarker = "_nzza_";
// The characters that end the name after a dynamic marker.
constexpr std::string_view kNameEnd = "\\ \t<,>";

// The bytes EscapeLine does more with than copy them.
struct CEscapedBytes {
  bool m_is[256];
  constexpr CEscapedBytes() : m_is{} {
    for (const char c : {'\n', '\r', '"', '\\', '\0', '!', '?'}) {
      m_is[static_cast<unsigned char>(c)] = true;
    }
  }
  constexpr bool operator[](unsigned char c) const { return m_is[c]; }
};
constexpr CEscapedBytes kEscaped;

// "@!" of page text as its escaped form writes it: two adjacent literals.
constexpr std::string_view kBrokenMarkerSign = "@\"\"!";

// Appends the HSSend lines that send escaped page text: one line, or for a text
// longer than kMaxSendText several, each cut greedily but never between a
// backslash and the character it escapes. An empty text still gives one call.
void AppendSendLines(std::string& out, std::string_view text) {
  size_t start = 0;
  do {
    // A rest that fits goes whole; only a longer one is walked unit by unit.
    size_t end = text.size() - start <= kMaxSendText ? text.size() : start;
    while (end < text.size()) {
      size_t unit = text[end] == '\\' && end + 1 < text.size() ? 2 : 1;
      // A broken-up marker sign stays in one piece: cut between its quotes it
      // would end one literal and open none.
      if (text.substr(end, kBrokenMarkerSign.size()) == kBrokenMarkerSign) {
        unit = kBrokenMarkerSign.size();
      }
      if (end + unit - start > kMaxSendText) break;
      end += unit;
    }
    out += kSendOpen;
    out += text.substr(start, end - start);
    out += kSendClose;
    start = end;
  } while (start < text.size());
}

bool Contains(const std::vector<std::string>& list, const std::string& name) {
  return std::find(list.begin(), list.end(), name) != list.end();
}

}  // namespace

bool CCodeGenerator::CheckNodeTexts(const CPageNode& node) {
  const std::string& url = node.GetUrl();
  for (char c : url) {
    if (c == '"' || c == '\\' || c == ',' || IsAsciiControl(c)) {
      m_prompter.ShowOk(FormatText(kUnsafeUrlText, {node.GetPath(), url, CharacterText(c)}));
      return false;
    }
  }
  const std::string& path = node.GetPath();
  // The URL counts as the table stores it: blanks as "%20", escaped as a C string.
  std::string stored = url;
  EncodeSpaces(stored);
  const size_t urlLength = CStringText(stored).size();
  if (urlLength > kMaxUrlLength || path.size() > kMaxPathLength) {
    const bool longUrl = urlLength > kMaxUrlLength;
    m_prompter.ShowOk(FormatText(
        kTooLongText,
        {path, longUrl ? "URL" : "path", std::to_string(longUrl ? urlLength : path.size()),
         std::to_string(longUrl ? kMaxUrlLength : kMaxPathLength)}));
    return false;
  }
  const auto control = std::find_if(path.begin(), path.end(), IsAsciiControl);
  std::string problem;
  if (control != path.end()) {
    problem = CharacterText(*control);
  } else if (path.find("*/") != std::string::npos) {
    problem = "\"*/\"";
  }
  if (problem.empty()) return true;
  m_prompter.ShowOk(FormatText(kUnsafeSourceText, {path, problem}));
  return false;
}

std::string CCodeGenerator::BinFilePath() const {
  if (m_pProject == nullptr) return std::string();
  return m_pProject->TargetDir() + m_pProject->BinFileName();
}

void CCodeGenerator::SetPageOrder(const CPageNodeList& nodes) {
  m_pageFileOwners.clear();
  m_postHandlers.clear();
  m_postHandlerSet.clear();
  m_postStubFiles.clear();
  m_stubScannedFiles.clear();
  for (const auto& node : nodes) {
    if (node && node->IsPage()) m_pageFileOwners.push_back({node->GetOutputFile(), node->GetUrl()});
  }
  const auto byFile = [](const CPageFileOwner& a, const CPageFileOwner& b) {
    return a.m_strFile < b.m_strFile;
  };
  // The first page of a file in list order owns it.
  std::stable_sort(m_pageFileOwners.begin(), m_pageFileOwners.end(), byFile);
  const auto last = std::unique(
      m_pageFileOwners.begin(), m_pageFileOwners.end(),
      [](const CPageFileOwner& a, const CPageFileOwner& b) { return a.m_strFile == b.m_strFile; });
  m_pageFileOwners.erase(last, m_pageFileOwners.end());
}

bool CCodeGenerator::CheckPageFile(const CPageNode& node) {
  const std::string& file = node.GetOutputFile();
  const std::string& url = node.GetUrl();
  if (m_pProject != nullptr) {
    if (file == UrlFilePath()) {
      m_prompter.ShowOk(FormatText(kPageFileIsUrlFileText, {url, file}));
      return false;
    }
    if (file == BinFilePath()) {
      m_prompter.ShowOk(FormatText(kPageFileIsBinFileText, {url, file}));
      return false;
    }
  }
  const auto it = std::lower_bound(
      m_pageFileOwners.begin(), m_pageFileOwners.end(), file,
      [](const CPageFileOwner& owner, const std::string& f) { return owner.m_strFile < f; });
  if (it != m_pageFileOwners.end() && it->m_strFile == file) {
    if (it->m_strUrl == url) return true;
    m_prompter.ShowOk(FormatText(kSharedPageFileText, {url, file, it->m_strUrl}));
    return false;
  }
  m_pageFileOwners.insert(it, {file, url});
  return true;
}

int CCodeGenerator::ConvertPage(const CPageNode& node) {
  if (!CheckNodeTexts(node) || !CheckPageFile(node)) return 0;
  try {
    return ConvertPageSteps(node);
  } catch (const CSourceException&) {
    m_prompter.ShowOk(FormatText(kConvertFileErrorText, {node.GetPath()}));
    return 0;
  }
}

bool CCodeGenerator::CanWriteWithUrlFile(const std::string& file) {
  for (const std::string& path : {file, UrlFilePath()}) {
    if (m_pFiles->IsReadOnly(path)) {
      m_prompter.ShowOk(FormatText(kCannotWriteText, {path}));
      return false;
    }
  }
  return true;
}

int CCodeGenerator::ConvertPageSteps(const CPageNode& node) {
  const std::string& pageFile = node.GetOutputFile();
  // The page file as this build has it so far: a batch may hold it unwritten.
  const std::int64_t size = m_pFiles->FileSize(pageFile);
  const FileStatus status = m_pFiles->Status(pageFile);
  const bool exists = size >= 0 || status.exists;
  // A check, or files in memory, may convert into a target directory that
  // is not there.
  if (status.directory ||
      (!exists && m_pFiles->NeedsFolders() && !m_pFiles->Status(FolderOf(pageFile)).directory)) {
    m_prompter.ShowOk(kCannotCreateText);
    return 0;
  }
  // Refuse before anything is changed rather than leave a half-converted page.
  if (!CanWriteWithUrlFile(pageFile)) return 0;
  std::string source;
  const bool read = ReadWholeFile(node.GetPath(), source);
  // The page's text is converted first: a name that would not compile stops
  // the page before any file is written.
  std::vector<std::string> dynamicList;
  std::vector<std::string> actions;
  const std::string text = read ? PageFunctionText(node, source, dynamicList, actions) : "";
  for (const std::string& f : dynamicList) {
    if (IsCIdentifier(f)) continue;
    m_prompter.ShowOk(FormatText(kBadDynamicNameText, {node.GetPath(), f.substr(3)}));
    return 0;
  }
  if (!exists || size == 0) {
    if (!WritePageFileSkeleton(pageFile)) return 0;
  } else if (const int nul = m_pFiles->IsHeld(pageFile) ? 0 : FirstNulLine(pageFile)) {
    m_prompter.ShowOk(FormatText(kNulByteText, {pageFile, std::to_string(nul)}));
    return 0;
  } else if (const int recognised = IsPageFile(pageFile); recognised != 1) {
    if (recognised != kLongLineRefused) {
      m_prompter.ShowOk(FormatText(kNotRecognizedText, {pageFile}));
    }
    return 0;
  }

  ClearSection(m_prompter, *m_pFiles, pageFile, markers::kBeginHtmlPage, markers::kEndHtmlPage, 0);
  // A source that is gone leaves the page section empty.
  if (!read) {
    m_prompter.ShowOk(FormatText(kSourceMissingText, {node.GetPath()}));
    return 0;
  }
  if (!InsertPageCode(node, text)) return 0;

  int ok = 1;
  std::vector<std::string> postList;
  for (const std::string& action : actions) {
    if (!RegisterFormHandler(node, action, postList)) ok = 0;
  }
  std::string url = node.GetUrl();
  EncodeSpaces(url);
  const std::string function = "Send_function_" + std::to_string(node.GetFunction());
  const std::string entry = HtmlEntry(url, function);
  if (!AddUrlEntry(node.GetUrl(), entry, function)) ok = 0;

  for (const std::string& f : dynamicList) {
    if (!AddDynamicFunction(f, pageFile)) ok = 0;
  }
  for (const std::string& f : postList) {
    if (!AddPostFunction(f, pageFile)) ok = 0;
  }
  return ok;
}

CUrlTable& CCodeGenerator::UrlTable() {
  const std::string path = UrlFilePath();
  const bool keeps = m_pFiles->KeepsDocuments();
  if (keeps && m_urlTable && m_urlTable->Path() == path && m_urlTable->InSyncWithFile()) {
    return *m_urlTable;
  }
  m_urlTable = std::make_unique<CUrlTable>(m_prompter, *m_pFiles, path);
  if (keeps) m_urlTable->FollowOwnEdits();
  return *m_urlTable;
}

int CCodeGenerator::AddUrlEntry(const std::string& url, const std::string& entry,
                                const std::string& function) {
  CUrlTable& table = UrlTable();
  if (table.FindUrl(url)) return 1;
  return table.AddEntry(-1, entry, function);
}

std::string CCodeGenerator::PageFunctionText(const CPageNode& node, const std::string& source,
                                             std::vector<std::string>& dynamicList,
                                             std::vector<std::string>& actions) {
  const std::string path = Recorded(node.GetPath());
  std::string out;
  out.reserve(source.size() + source.size() / 4 + 256);
  out += markers::kFilePrefix;
  out += path;
  out += " {{ */\nvoid Send_function_";
  out += std::to_string(node.GetFunction());
  out += "(unsigned long handle)\n{\n";

  // The source is a text stream: CR LF reads as one LF.
  std::string piece;
  std::string longLine;        // escaped text of a line read in several pieces
  bool continuesLine = false;  // the piece goes on with a line begun before it
  size_t pos = 0;
  while (pos < source.size()) {
    piece.clear();
    while (pos < source.size() && piece.size() < kPieceLength) {
      // The bytes up to the next CR or LF go over as they are.
      const size_t limit = std::min(source.size(), pos + (kPieceLength - piece.size()));
      size_t run = pos;
      while (run < limit && source[run] != '\r' && source[run] != '\n') ++run;
      piece.append(source, pos, run - pos);
      pos = run;
      if (pos == limit) continue;
      char c = source[pos++];
      if (c == '\r' && pos < source.size() && source[pos] == '\n') {
        c = '\n';
        ++pos;
      }
      piece += c;
      if (c == '\n') break;
    }
    const bool endsLine = piece.back() == '\n' || pos >= source.size();
    const bool wholeLine = !continuesLine && endsLine;
    ConvertPiece(piece, out, dynamicList, actions, wholeLine ? nullptr : &longLine);
    if (!wholeLine && endsLine) {
      FormStepOnLine(longLine, actions);
      longLine.clear();
    }
    continuesLine = !endsLine;
  }

  out += "}    ";
  out += markers::kFilePrefix;
  out += path;
  out += " }} */\n";
  return out;
}

void CCodeGenerator::ConvertPiece(std::string& piece, std::string& out,
                                  std::vector<std::string>& dynamicList,
                                  std::vector<std::string>& actions, std::string* longLine) {
  EscapeLine(piece);
  if (piece.empty()) return;
  std::string action;
  if (longLine) {
    longLine->append(piece);
  } else if (ParseFormAction(piece, action)) {
    actions.push_back(std::move(action));
  }

  std::string_view t = piece;
  for (;;) {
    // The lower-case marker counts only in text without an upper-case one.
    size_t g = t.find(kUpperMarker);
    if (g == std::string_view::npos) g = t.find(kLowerMarker);
    if (g == std::string_view::npos) break;
    AppendSendLines(out, t.substr(0, g));
    // Two markers sharing an underscore send the marker text itself.
    if (t.substr(g + kUpperMarker.size() - 1, kUpperMarker.size()) == kUpperMarker) {
      AppendSendLines(out, kUpperMarker);
      t.remove_prefix(g + 2 * kUpperMarker.size() - 1);
      continue;
    }
    t.remove_prefix(g + kUpperMarker.size());
    const size_t end = std::min(t.find_first_of(kNameEnd), t.size());
    const std::string function = "na_" + std::string(t.substr(0, end));
    if (!Contains(dynamicList, function)) dynamicList.push_back(function);
    out += "    ";
    out += function;
    out += " (handle);\n";
    t.remove_prefix(end);
  }
  if (!t.empty()) AppendSendLines(out, t);
}

void CCodeGenerator::FormStepOnLine(const std::string& line, std::vector<std::string>& actions) {
  static constexpr std::string_view kFormTag = "<FORM ";
  const std::string upper = AsciiUpperCopy(line);
  size_t start = upper.find(kFormTag);
  while (start != std::string::npos) {
    const size_t next = upper.find(kFormTag, start + 1);
    const size_t end = next == std::string::npos ? line.size() : next;
    std::string action;
    if (ParseFormAction(line.substr(start, end - start), action)) {
      actions.push_back(std::move(action));
    }
    start = next;
  }
}

void CCodeGenerator::EscapeLine(std::string& piece) {
  std::string out;
  out.reserve(piece.size() * 2);
  const size_t first = !piece.empty() && piece[0] == '\r' ? 1 : 0;
  for (size_t i = first; i < piece.size(); ++i) {
    // A run of bytes that need no escape goes over in one append.
    size_t run = i;
    while (run < piece.size() && !kEscaped[static_cast<unsigned char>(piece[run])]) ++run;
    out.append(piece, i, run - i);
    i = run;
    if (i == piece.size()) break;
    const char c = piece[i];
    switch (c) {
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\0':
        break;
      case '!':
        // Every marker comment holds "@!": page text that did would pass for a
        // marker the next time the page file is searched. "@" "!" sends the
        // same bytes.
        if (!out.empty() && out.back() == '@') {
          out.pop_back();
          out += kBrokenMarkerSign;
        } else {
          out += '!';
        }
        break;
      case '?':
        // "??" followed by one of =(/)'<!>- would be a trigraph.
        if (!out.empty() && out.back() == '?') out += '\\';
        out += '?';
        break;
      default:
        out += c;
        break;
    }
  }
  piece.swap(out);
}

int CCodeGenerator::InsertPageCode(const CPageNode& node, const std::string& text) {
  const std::string& pageFile = node.GetOutputFile();
  CDocHandle doc = m_pFiles->Open(m_prompter, pageFile);
  TextPos end;
  if (!FindMarkerPos(*doc, markers::kEndHtmlPage, end)) {
    ReportMissingMarker(m_prompter, markers::kEndHtmlPage, pageFile);
    return 0;
  }
  InsertTextLines(*doc, end, SplitAtLineEnds(text));
  return SaveOrReport(m_prompter, doc);
}
