#include "generator/file_structure.h"

#include <cstring>

#include "document/generated_files.h"
#include "document/markers.h"
#include "platform/ascii.h"
#include "platform/text_format.h"

namespace {

// The markers nobody edits by: they may be missing or repeated without harm.
constexpr const char* kUncheckedUrlMarkers[] = {
    markers::kBeginSearchUrl, markers::kEndSearchUrl,    markers::kBeginPreprocess,
    markers::kEndPreprocess,  markers::kBeginPureSearch, markers::kEndPureSearch,
};

std::string Quoted(std::string_view text) {
  std::string quoted;
  quoted.reserve(text.size() + 2);
  quoted += '"';
  quoted += text;
  quoted += '"';
  return quoted;
}

bool Holds(std::string_view line, const char* marker) {
  return FindForward(line, marker, 0, false) != std::string_view::npos;
}

// How many marker comments line holds: "@!" right after "/*" and blanks.
int MarkerComments(std::string_view line) {
  int count = 0;
  for (size_t at = line.find("@!"); at != std::string_view::npos; at = line.find("@!", at + 1)) {
    size_t q = at;
    while (q > 0 && (line[q - 1] == ' ' || line[q - 1] == '\t')) --q;
    if (q >= 2 && line.compare(q - 2, 2, "/*") == 0) ++count;
  }
  return count;
}

// The name of a file section line after its prefix, up to " */"; false when
// the line does not close the comment.
bool SectionName(std::string_view line, const char* prefix, std::string& name) {
  const size_t at = FindForward(line, prefix, 0, false);
  std::string_view rest = line.substr(at + std::strlen(prefix));
  while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
  const size_t close = rest.find(" */");
  if (close == std::string_view::npos) return false;
  name.assign(rest.substr(0, close));
  return true;
}

}  // namespace

CFileStructure::CFileStructure(Kind kind) : m_kind(kind) {
  if (kind == Kind::kUrlFile) {
    m_fixed = {markers::kBeginPrototypes, markers::kEndPrototypes,      markers::kBeginUrlTable,
               markers::kEndUrlTable,     markers::kBeginSecurityTable, markers::kBeginRealmCalls,
               markers::kEndRealmCalls,   markers::kEndSecurityTable};
    m_recognition = {markers::kBeginPrototypes, markers::kEndPrototypes, markers::kBeginUrlTable,
                     markers::kEndUrlTable};
  } else {
    m_fixed = {markers::kBeginBufferData, markers::kEndBufferData, markers::kBeginBinary,
               markers::kEndBinary};
    m_recognition = m_fixed;
  }
  m_fixedLines.assign(m_fixed.size(), 0);
}

bool CFileStructure::Recognised() const { return m_nRecognised == m_recognition.size(); }

void CFileStructure::Fault(int line, std::string text) {
  if (!m_strFault.empty()) return;
  m_nFaultLine = line;
  m_strFault = std::move(text);
}

namespace {

// How every buffer of the binary data file begins.
constexpr std::string_view kBufferHead = "const char buffer_";

}  // namespace

void CFileStructure::TakeLine(std::string_view line) {
  ++m_nLine;
  // Every marker holds "@!"; lines without one are skipped at memchr speed.
  const bool marked = line.find("@!") != std::string_view::npos;
  while (marked && m_nRecognised < m_recognition.size() &&
         Holds(line, m_recognition[m_nRecognised])) {
    ++m_nRecognised;
  }
  if (m_kind == Kind::kBinFile && line.starts_with(kBufferHead)) {
    const size_t open = line.find('[');
    if (open != std::string_view::npos && open + 1 < line.size()) {
      m_nDataForms |= line[open + 1] == ']' ? kArrayForm : kLiteralForm;
    }
  }
  const int comments = marked ? MarkerComments(line) : 0;
  m_bMarkerSeen = m_bMarkerSeen || comments > 0;
  if (!m_strFault.empty()) return;
  if (std::memchr(line.data(), '\0', line.size()) != nullptr) {
    Fault(m_nLine, "the line holds a NUL byte");
  } else if (comments > 1) {
    // The edits take a marker's whole line: two on one line cannot be told apart.
    Fault(m_nLine, "the line holds more than one marker comment");
  } else if (comments == 1) {
    TakeMarkerLine(line);
  }
}

void CFileStructure::TakeMarkerLine(std::string_view line) {
  for (size_t i = 0; i < m_fixed.size(); ++i) {
    if (!Holds(line, m_fixed[i])) continue;
    if (m_nOpenLine != 0) {
      Fault(m_nOpenLine, "the section of " + m_strOpenName + " has no end line before line " +
                             std::to_string(m_nLine));
    } else if (m_fixedLines[i] != 0) {
      Fault(m_nLine,
            Quoted(m_fixed[i]) + " repeats the marker of line " + std::to_string(m_fixedLines[i]));
    } else if (i != m_nNextFixed) {
      Fault(m_nLine,
            Quoted(m_fixed[i]) + " comes without " + Quoted(m_fixed[m_nNextFixed]) + " before it");
    } else {
      m_fixedLines[i] = m_nLine;
      ++m_nNextFixed;
    }
    return;
  }
  if (m_kind == Kind::kUrlFile) {
    for (const char* marker : kUncheckedUrlMarkers) {
      if (Holds(line, marker)) return;
    }
  } else if (Holds(line, markers::kBeginFilePrefix)) {
    TakeSectionLine(line, true);
    return;
  } else if (Holds(line, markers::kEndFilePrefix)) {
    TakeSectionLine(line, false);
    return;
  }
  Fault(m_nLine, "the marker comment is none of this file's");
}

void CFileStructure::TakeSectionLine(std::string_view line, bool begin) {
  std::string name;
  if (!SectionName(line, begin ? markers::kBeginFilePrefix : markers::kEndFilePrefix, name)) {
    Fault(m_nLine, "the marker comment is not closed with \" */\"");
    return;
  }
  if (begin) {
    // Sections stand inside the buffer data region or the Binary region.
    const bool inRegion = m_nNextFixed == 1 || m_nNextFixed == 3;
    if (m_nOpenLine != 0) {
      Fault(m_nOpenLine, "the section of " + m_strOpenName + " has no end line before line " +
                             std::to_string(m_nLine));
    } else if (!inRegion) {
      Fault(m_nLine,
            "the section of " + name + " stands outside the buffer data and Binary regions");
    } else {
      m_strOpenName = std::move(name);
      m_nOpenLine = m_nLine;
      if (m_nNextFixed == 3) m_binaryNames.push_back(m_strOpenName);
    }
    return;
  }
  if (m_nOpenLine == 0) {
    Fault(m_nLine, "the end line of " + name + " has no begin line");
  } else if (CompareAsciiFolded(name, m_strOpenName) != 0) {
    Fault(m_nLine, "the end line of " + name + " closes the section of " + m_strOpenName +
                       " begun at line " + std::to_string(m_nOpenLine));
  } else {
    m_nOpenLine = 0;
    m_strOpenName.clear();
  }
}

std::string CFileStructure::Finish() {
  if (m_nOpenLine != 0) {
    Fault(m_nOpenLine, "the section of " + m_strOpenName + " has no end line");
  }
  if (m_nNextFixed < m_fixed.size()) {
    Fault(m_nLine, "the file ends without " + Quoted(m_fixed[m_nNextFixed]));
  }
  if (m_strFault.empty()) return std::string();
  return "line " + std::to_string(m_nFaultLine) + ": " + m_strFault;
}

namespace {

std::string Damaged(const std::string& path, const std::string& fault) {
  return fault.empty() ? fault : FormatText(CFileStructure::kDamagedText, {path, fault});
}

}  // namespace

std::string CheckFileStructure(Prompter& prompter, CGeneratedFiles& files, const std::string& path,
                               CFileStructure::Kind kind, bool* recognised,
                               std::vector<std::string>* binaryNames, int* dataForms) {
  CFileStructure check(kind);
  if (recognised) *recognised = false;
  if (binaryNames) binaryNames->clear();
  if (dataForms) *dataForms = 0;
  // A file a build holds is checked as the build will write it; any other is
  // read from disk, where a NUL byte stands as it is.
  const bool held = files.IsHeld(path);
  if (!held && !files.Status(path).exists) return std::string();
  int read = -1;
  if (!held) {
    read = ForEachLineOfFile(path, [&](std::string_view line) {
      check.TakeLine(line);
      return true;
    });
  }
  if (read == 0) return std::string();  // an empty file is started anew
  if (read < 0) {
    try {
      CDocHandle doc = files.Open(prompter, path);
      const int count = doc->GetLineCount();
      for (int n = 0; n < count; ++n) check.TakeLine(doc->LineText(n));
    } catch (const CSourceException&) {
      return std::string();  // a file the line document cannot read is not one of ours
    }
  }
  if (recognised) *recognised = check.Recognised();
  if (binaryNames) *binaryNames = check.BinaryNames();
  if (dataForms) *dataForms = check.DataForms();
  // A file without any marker comment is not ours at all, not a damaged one.
  return check.MarkerSeen() ? Damaged(path, check.Finish()) : std::string();
}

bool SoundOrReport(Prompter& prompter, CGeneratedFiles& files, const std::string& path,
                   CFileStructure::Kind kind) {
  const std::string damage = CheckFileStructure(prompter, files, path, kind);
  if (damage.empty()) return true;
  prompter.ShowOk(damage);
  return false;
}

int FirstNulLine(const std::string& path) {
  int line = 0;
  int found = 0;
  ForEachLineOfFile(path, [&](std::string_view text) {
    ++line;
    if (std::memchr(text.data(), '\0', text.size()) != nullptr) found = line;
    return found == 0;
  });
  return found;
}
