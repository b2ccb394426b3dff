#include "generator/url_table.h"

#include <algorithm>
#include <unordered_set>

#include "document/generated_files.h"
#include "document/markers.h"
#include "generator/field_text.h"
#include "platform/text_format.h"

namespace {

enum class TableLine { kEntry, kSkipped, kTerminator };

// How the reader takes one line of the table: the NULL terminator ends it;
// brace lines and comments are passed over; anything else (a blank line too)
// is an entry.
TableLine KindOfTableLine(std::string_view line) {
  const std::string_view rest = SkipLeadingBlanks(line);
  if (rest.starts_with("NULL")) return TableLine::kTerminator;
  if (rest.starts_with('{') || rest.starts_with('}') || IsCommentStart(rest)) {
    return TableLine::kSkipped;
  }
  return TableLine::kEntry;
}

// The entry lines of the table whose begin marker stands on line begin: every
// line from the one after the array definition up to the NULL terminator that
// is not a brace line or a comment. A table without its terminator ends at its
// end marker, never past it: the lines after it are no entries. stop, when
// given, receives the line where the scan ended (the terminator's, the end
// marker's, or the line count).
std::vector<int> EntryLines(CCSrvDoc& doc, int begin, int* stop = nullptr) {
  std::vector<int> lines;
  const int end = FindMarker(doc, markers::kEndUrlTable, begin);
  const int count = end >= 0 ? end : doc.GetLineCount();
  int n = begin + 2;
  for (; n < count; ++n) {
    const TableLine kind = KindOfTableLine(doc.LineText(n));
    if (kind == TableLine::kTerminator) break;
    if (kind == TableLine::kEntry) lines.push_back(n);
  }
  if (stop != nullptr) *stop = n;
  return lines;
}

// The URL of an entry line: what its string literal means.
std::string UrlField(std::string_view entryLine) {
  return CStringValue(FieldValue(NthToken(entryLine, ",", 0)));
}

// The name declared by one line of the prototype section ("extern void NAME (...);"),
// or empty when the line declares none.
std::string PrototypeName(std::string_view line) {
  if (line.empty() || IsCommentStart(line)) return std::string();
  const size_t v = line.find("void");
  if (v == std::string_view::npos || v + 5 > line.size()) return std::string();
  std::string_view name = SkipLeadingBlanks(line.substr(v + 5));
  const size_t paren = name.find('(');
  name = paren == std::string_view::npos ? std::string_view() : name.substr(0, paren);
  return std::string(TrimBlanks(name));
}

bool HoldsMarkerSign(std::string_view line) { return line.find("@!") != std::string_view::npos; }

}  // namespace

void EncodeSpaces(std::string& url) {
  if (url.find(' ') == std::string::npos) return;
  std::string encoded;
  encoded.reserve(url.size() + 8);
  for (char c : url) {
    if (c == ' ') {
      encoded += "%20";
    } else {
      encoded += c;
    }
  }
  url = std::move(encoded);
}

CUrlTable::CUrlTable(Prompter& prompter, CGeneratedFiles& files, std::string path)
    : m_prompter(prompter), m_files(files), m_strPath(std::move(path)) {
  CDocHandle doc = m_files.Open(m_prompter, m_strPath);
  const int begin = FindMarker(*doc, markers::kBeginUrlTable, 0);
  if (begin < 0) {
    // Without its table the file is given up as a whole, so the prototype
    // section is reported missing as well.
    ReportMissingMarker(m_prompter, markers::kBeginUrlTable, m_strPath);
    ReportMissingMarker(m_prompter, markers::kBeginPrototypes, m_strPath);
    return;
  }
  int stop = 0;
  for (int n : EntryLines(*doc, begin, &stop)) AddToLists(doc->LineText(n));

  const int protoBegin = FindMarker(*doc, markers::kBeginPrototypes, 0);
  if (protoBegin < 0) {
    ReportMissingMarker(m_prompter, markers::kBeginPrototypes, m_strPath);
    return;
  }
  const int protoEnd = FindMarker(*doc, markers::kEndPrototypes, 0);
  if (protoEnd < 0) {
    ReportMissingMarker(m_prompter, markers::kEndPrototypes, m_strPath);
    return;
  }
  for (int n = protoBegin + 1; n < protoEnd; ++n) {
    std::string name = PrototypeName(doc->LineText(n));
    if (!name.empty() && m_prototypeSet.insert(name).second)
      m_prototypes.push_back(std::move(name));
  }
  m_nBegin = begin;
  m_nStop = stop;
  m_nProtoBegin = protoBegin;
  m_nProtoEnd = protoEnd;
  m_nRevision = doc->Revision();
}

void CUrlTable::AddToLists(std::string_view entryLine) {
  const std::string_view entry = SkipLeadingBlanks(entryLine);
  m_urlIndex.emplace(UrlField(entry), GetEntryCount());
  m_entries.emplace_back(entry);
}

bool CUrlTable::InSync(CCSrvDoc& doc) const {
  return m_bFollow && m_nRevision != 0 && m_nRevision == doc.Revision();
}

bool CUrlTable::InSyncWithFile() {
  if (!m_bFollow || m_nRevision == 0) return false;
  CDocHandle doc = m_files.Open(m_prompter, m_strPath);
  return InSync(*doc);
}

bool CUrlTable::FollowEntryInsert(CCSrvDoc& doc, int at, int lineCount) {
  // A fresh reading would list the new entries last when they went in right
  // at the terminator, or just above it after a line that is no entry, below
  // the table's begin and the prototype section.
  const int added = doc.GetLineCount() - lineCount;
  if (added <= 0 || at >= lineCount || at < m_nBegin + 2 || m_nProtoEnd >= m_nBegin) return false;
  if (at != m_nStop &&
      (at != m_nStop - 1 || KindOfTableLine(doc.LineText(at + added)) != TableLine::kSkipped)) {
    return false;
  }
  std::vector<std::string_view> entries;
  for (int n = at; n < at + added; ++n) {
    const std::string_view line = doc.LineText(n);
    const TableLine kind = KindOfTableLine(line);
    if (kind == TableLine::kTerminator || HoldsMarkerSign(line)) return false;
    if (kind == TableLine::kEntry) entries.push_back(line);
  }
  for (std::string_view entry : entries) AddToLists(entry);
  m_nStop += added;
  return true;
}

bool CUrlTable::FollowPrototypeInsert(CCSrvDoc& doc, TextPos at, const std::string& function) {
  // One new line just above the first end marker of the prototypes, inside
  // the section and above the table.
  if (at.column != 0 || at.line != m_nProtoEnd || m_nProtoBegin >= at.line || at.line >= m_nBegin) {
    return false;
  }
  const std::string_view line = doc.LineText(at.line);
  if (HoldsMarkerSign(line) || PrototypeName(line) != function ||
      !FindMarkerPos(doc, markers::kEndPrototypes, at, at.line) || at.line != m_nProtoEnd + 1) {
    return false;
  }
  ++m_nProtoEnd;
  ++m_nBegin;
  ++m_nStop;
  return true;
}

std::string CUrlTable::GetEntryField(int entry, int field) const {
  if (entry < 0 || entry >= GetEntryCount() || field < 0 || field > 5) return std::string();
  std::string text = FieldValue(NthToken(m_entries[static_cast<size_t>(entry)], ",", field));
  switch (field) {
    case 0:
      return CStringValue(text);
    case 1:
      return LeadingNumber(text) != 0 ? "yes" : "no";
    case 3: {
      // "(HSTypeFnBinary)HSTypeGif" -> "HSTypeGif": skip the cast's own
      // "HSType", then keep the function name.
      const size_t cast = text.find("HSTypeFn");
      if (cast != std::string::npos) text.erase(0, cast + 7);
      const size_t name = text.find("HSType");
      if (name != std::string::npos) text.erase(0, name);
      return text;
    }
    case 4:
      return LeadingNumber(text) == 0 ? "N/A" : text;
    default:
      return text;
  }
}

int CUrlTable::FindUrl(const std::string& url) const {
  int index = -1;
  return FindUrlIndex(url, index);
}

int CUrlTable::FindUrlIndex(const std::string& url, int& index) const {
  std::string encoded = url;
  EncodeSpaces(encoded);
  const auto it = m_urlIndex.find(encoded);
  index = it == m_urlIndex.end() ? -1 : it->second;
  return index >= 0 ? 1 : 0;
}

int CUrlTable::SetEntryField(const std::string& url, int field, const std::string& value) {
  if (field < 1 || field > 5) return 0;
  std::string encoded = url;
  EncodeSpaces(encoded);
  CDocHandle doc = m_files.Open(m_prompter, m_strPath);
  const bool follow = InSync(*doc);
  const int begin = FindMarker(*doc, markers::kBeginUrlTable, 0);
  if (begin < 0) return 0;
  int entry = 0;
  for (int n : EntryLines(*doc, begin)) {
    const std::string_view line = doc->LineText(n);
    if (UrlField(SkipLeadingBlanks(line)) != encoded) {
      ++entry;
      continue;
    }
    // The field runs from after the field-th comma to the next comma.
    size_t comma = line.size() - SkipLeadingBlanks(line).size();
    for (int k = 0; k < field; ++k) {
      comma = line.find(',', k == 0 ? comma : comma + 1);
      if (comma == std::string_view::npos) return 0;
    }
    const size_t fieldEnd = line.find(',', comma + 1);
    std::string changed(line.substr(0, comma + 1));
    changed += ' ';
    changed += value;
    if (fieldEnd != std::string_view::npos) changed += line.substr(fieldEnd);
    doc->SetLineText(n, changed);
    // The entry keeps its place and, unless its URL field moved, its URL.
    const std::string_view changedEntry = SkipLeadingBlanks(changed);
    if (follow && UrlField(changedEntry) == encoded) {
      m_entries[static_cast<size_t>(entry)] = std::string(changedEntry);
      m_nRevision = doc->Revision();
    }
    return doc.Save();
  }
  return 0;
}

int CUrlTable::RemoveEntry(const std::string& url) {
  CDocHandle doc = m_files.Open(m_prompter, m_strPath);
  const int begin = FindMarker(*doc, markers::kBeginUrlTable, 0);
  if (begin < 0) {
    ReportMissingMarker(m_prompter, markers::kBeginUrlTable, m_strPath);
    return -1;
  }
  for (int n : EntryLines(*doc, begin)) {
    if (UrlField(SkipLeadingBlanks(doc->LineText(n))) != url) continue;
    // The entry's brace lines go with it; a neighbour that is not a brace
    // line belongs to something else and stays.
    int first = n;
    int last = n;
    if (SkipLeadingBlanks(doc->LineText(n - 1)).starts_with('{')) first = n - 1;
    if (n + 1 < doc->GetLineCount() && SkipLeadingBlanks(doc->LineText(n + 1)).starts_with('}')) {
      last = n + 1;
    }
    doc->RemoveLines(first, last - first + 1);
    return doc.Save() ? first : -1;
  }
  return -1;
}

int CUrlTable::AddEntry(int line, const std::string& text, const std::string& function) {
  CDocHandle doc = m_files.Open(m_prompter, m_strPath);
  TextPos at;
  if (line < 0) {
    // The terminator's four lines "{", "NULL ...", "}", "};" stand right above
    // the end marker; the new entry goes before them.
    TextPos end;
    if (!FindMarkerPos(*doc, markers::kEndUrlTable, end) || end.line < 4) {
      ReportMissingMarker(m_prompter, markers::kEndUrlTable, m_strPath);
      return 0;
    }
    at = {end.column, end.line - 4};
  } else {
    at = {0, line};
  }
  bool follow = InSync(*doc);
  const int lineCount = doc->GetLineCount();
  doc->InsertText(at.column, at.line, text.c_str());
  // Only whole lines keep the line below as it was.
  const std::string_view inserted = text.c_str();
  follow = follow && at.column == 0 && !inserted.empty() &&
           (inserted.back() == '\n' || inserted.back() == '\r') &&
           FollowEntryInsert(*doc, at.line, lineCount);

  const bool known = function.empty() || m_prototypeSet.count(function) != 0;
  TextPos protoEnd;
  if (!known && FindMarkerPos(*doc, markers::kEndPrototypes, protoEnd)) {
    const std::string prototype = FormatText("extern void %s (unsigned long);\n", {function});
    doc->InsertText(protoEnd.column, protoEnd.line, prototype.c_str());
    m_prototypes.push_back(function);
    m_prototypeSet.insert(function);
    follow = follow && FollowPrototypeInsert(*doc, protoEnd, function);
  }
  if (follow) m_nRevision = doc->Revision();
  return doc.Save();
}
