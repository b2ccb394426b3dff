#include "generator/convert_util.h"

#include <cstring>
#include <span>

#include "document/markers.h"
#include "generator/code_generator.h"
#include "generator/field_text.h"
#include "platform/file_util.h"
#include "platform/text_format.h"

std::vector<std::string_view> SplitAtLineEnds(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  std::vector<std::string_view> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n' && text[i] != '\r') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  lines.push_back(text.substr(start));
  return lines;
}

TextPos InsertTextLines(CCSrvDoc& doc, TextPos pos, const std::vector<std::string_view>& lines) {
  const int line = pos.line;
  if (line >= doc.GetLineCount()) doc.InsertEmptyLine(line);
  std::string head(doc.LineText(line));
  const size_t column = pos.column > 0 ? static_cast<size_t>(pos.column) : 0;
  std::string tail;
  if (column < head.size()) tail = head.substr(column);
  head.resize(column, ' ');

  const int count = lines.empty() ? 1 : static_cast<int>(lines.size());
  if (!lines.empty()) head += lines.front();
  if (count == 1) {
    const TextPos end{static_cast<int>(head.size()), line};
    head += tail;
    doc.SetLineText(line, head);
    return end;
  }
  doc.SetLineText(line, head);
  const std::span<const std::string_view> rest(lines.data() + 1, lines.size() - 1);
  const TextPos end{static_cast<int>(rest.back().size()), line + count - 1};
  if (tail.empty()) {
    doc.InsertLines(line + 1, rest);
  } else {
    // The rest of the line follows the last inserted line.
    doc.InsertLines(line + 1, rest.first(rest.size() - 1));
    const std::string last = std::string(rest.back()) + tail;
    const std::string_view lastView = last;
    doc.InsertLines(end.line, std::span<const std::string_view>(&lastView, 1));
  }
  return end;
}

bool FindLastMarkerPos(CCSrvDoc& doc, const char* marker, TextPos& found) {
  const int count = doc.GetLineCount();
  if (count == 0) return false;
  SearchSpec spec;
  spec.text = marker;
  spec.length = static_cast<int>(std::strlen(marker));
  spec.backward = 1;
  spec.line = count - 1;
  spec.column = doc.GetLineLength(count - 1);
  return doc.FindText(spec, found) != 0;
}

std::string BeginFileMarker(const std::string& source) {
  return markers::kBeginFilePrefix + source + " */";
}

std::string EndFileMarker(const std::string& source) {
  return markers::kEndFilePrefix + source + " */";
}

int RemoveSourceBlocks(Prompter& prompter, CGeneratedFiles& files, const std::string& binFile,
                       const std::string& source) {
  const std::string begin = BeginFileMarker(source);
  const std::string end = EndFileMarker(source);
  CDocHandle doc = files.Open(prompter, binFile);
  int found = 0;
  bool changed = false;
  for (int from = 0;;) {
    const int a = FindMarker(*doc, begin, from);
    if (a < 0) break;
    ++found;
    const int b = FindMarker(*doc, end, a + 1);
    if (b > a + 1) {
      doc->RemoveLines(a, b - a + 1);
      changed = true;
      from = a;
    } else {
      from = a + 1;  // a block without its end line stays, with what follows it
    }
  }
  if (changed) doc.Save();
  return found >= 2 ? 0 : 1;
}

int RemoveSourceBlocks(CStreamedFile& file, const std::string& source) {
  const std::string begin = BeginFileMarker(source);
  const std::string end = EndFileMarker(source);
  // Blocks this build put in already go first; then those the file held.
  int found = file.RemoveInserted(begin);
  for (size_t from = 0;;) {
    const size_t a = file.FindMarker(begin, from);
    if (a == CStreamedFile::npos) break;
    ++found;
    const size_t b = file.FindMarker(end, a + 1);
    if (b != CStreamedFile::npos && !file.IsNextLine(a, b)) {
      file.RemoveLines(a, b);
      from = b + 1;
    } else {
      from = a + 1;  // a block without its end line stays, with what follows it
    }
  }
  return found >= 2 ? 0 : 1;
}

std::string HtmlEntry(const std::string& url, const std::string& function,
                      const std::string& realm) {
  return FormatText("{\n   \"%s\", 1, %s, (HSTypeFnHtml)HSTypeHtml, 0, %s\n},\n",
                    {CStringText(url), function, realm});
}

bool WritableOrReport(Prompter& prompter, const std::string& path) {
  if (CanWriteFile(path)) return true;
  prompter.ShowOk(FormatText(CCodeGenerator::kCannotWriteText, {path}));
  return false;
}

int SaveOrReport(Prompter& prompter, CDocHandle& doc) {
  std::string reason;
  if (doc.Save(&reason) == 1) return 1;
  prompter.ShowOkWithReason(FormatText(CCodeGenerator::kCannotWriteText, {doc.Path()}), reason);
  return 0;
}
