// Binary data conversion: every file that is not a page becomes a byte array
// and a send function in the binary data file.
#include <cstring>

#include "document/doc_handle.h"
#include "document/markers.h"
#include "generator/code_generator.h"
#include "generator/convert_util.h"
#include "generator/field_text.h"
#include "generator/url_table.h"
#include "platform/file_util.h"
#include "platform/text_format.h"

namespace {

constexpr size_t kRowBytes = 20;
constexpr size_t kByteTextLength = 5;

// The text "0x%02x," of every byte value; array rows are copied together from
// it, as formatting each byte would cost most of a large conversion.
struct CByteTexts {
  char m_text[256][kByteTextLength];
  constexpr CByteTexts() : m_text{} {
    constexpr char kDigits[] = "0123456789abcdef";
    for (int b = 0; b < 256; ++b) {
      m_text[b][0] = '0';
      m_text[b][1] = 'x';
      m_text[b][2] = kDigits[b >> 4];
      m_text[b][3] = kDigits[b & 15];
      m_text[b][4] = ',';
    }
  }
};
constexpr CByteTexts kByteTexts;

std::string BeginFileMarker(const std::string& source) {
  return markers::kBeginFilePrefix + source + " */";
}

std::string EndFileMarker(const std::string& source) {
  return markers::kEndFilePrefix + source + " */";
}

// One array line of the bytes; the last byte of the file goes without its comma.
std::string ByteRow(const unsigned char* data, size_t count, bool last) {
  std::string row(count * kByteTextLength, '\0');
  char* out = row.data();
  for (size_t i = 0; i < count; ++i, out += kByteTextLength) {
    std::memcpy(out, kByteTexts.m_text[data[i]], kByteTextLength);
  }
  if (last) row.pop_back();
  return row;
}

// The array block of a source as lines, as InsertText would split its text.
std::vector<std::string> ArrayLines(const std::string& source, int function,
                                    const unsigned char* data, size_t size) {
  std::vector<std::string> lines;
  lines.reserve(size / kRowBytes + 8);
  lines.push_back(BeginFileMarker(source));
  lines.push_back("const char buffer_" + std::to_string(function) + " [] =");
  lines.emplace_back("{");
  if (size == 0) lines.emplace_back("0");
  const size_t rows = size / kRowBytes;
  for (size_t r = 0; r < rows; ++r)
    lines.push_back(ByteRow(data + r * kRowBytes, kRowBytes, false));
  const size_t rest = size % kRowBytes;
  if (rest > 0) {
    lines.push_back(ByteRow(data + rows * kRowBytes, rest, true));
  } else if (size > 0) {
    // A full last row ends with its comma and line end: an empty line follows.
    lines.emplace_back();
  }
  lines.push_back("};  " + EndFileMarker(source));
  lines.emplace_back();
  return lines;
}

}  // namespace

int CCodeGenerator::ConvertBinary(const CPageNode& node) {
  if (!CheckNodeTexts(node)) return 0;
  const std::string& path = node.GetPath();
  try {
    for (const std::string& file : {node.GetOutputFile(), UrlFilePath()}) {
      if (IsReadOnly(file)) {
        m_prompter.ShowOk(FormatText(kCannotWriteText, {file}));
        return 0;
      }
    }
    std::vector<std::string> arrayLines;
    {
      std::string data;
      if (!ReadWholeFile(path, data)) {
        m_prompter.ShowOk(FormatText(kSourceMissingText, {path}));
        return 0;
      }
      // The size was taken when the build started; a file that has shrunk since
      // cannot give that many bytes.
      if (data.size() < node.GetSize()) {
        m_prompter.ShowOk(FormatText(kSourceShorterText, {path, std::to_string(data.size()),
                                                          std::to_string(node.GetSize())}));
        return 0;
      }
      arrayLines = ArrayLines(path, node.GetFunction(),
                              reinterpret_cast<const unsigned char*>(data.data()), node.GetSize());
    }
    RemoveFileBlocks(node.GetOutputFile(), path);
    return AddBinaryCode(node, std::move(arrayLines));
  } catch (const CSourceException&) {
    m_prompter.ShowOk(FormatText(kConvertFileErrorText, {path}));
    return 0;
  }
}

void CCodeGenerator::RemoveFileBlocks(const std::string& binFile, const std::string& sourcePath) {
  const std::string begin = BeginFileMarker(sourcePath);
  const std::string end = EndFileMarker(sourcePath);
  // The first call removes the array, the second the send function.
  if (ClearSection(m_prompter, binFile, begin, end, 1) != -1) {
    ClearSection(m_prompter, binFile, begin, end, 1);
  }
}

int CCodeGenerator::InsertBufferData(const std::string& marker, const std::string& path,
                                     std::vector<std::string> lines) {
  CDocHandle doc = CDocHandle::Open(m_prompter, path);
  TextPos at;
  if (!FindLastMarkerPos(*doc, marker.c_str(), at)) {
    ReportMissingMarker(m_prompter, marker, path);
    return 0;
  }
  InsertTextLines(*doc, at, std::move(lines));
  return SaveOrReport(m_prompter, doc);
}

int CCodeGenerator::AddBinaryCode(const CPageNode& node, std::vector<std::string> arrayLines) {
  const std::string& binFile = node.GetOutputFile();
  const std::string& path = node.GetPath();
  if (!InsertBufferData(markers::kEndBufferData, binFile, std::move(arrayLines))) return 0;

  const std::string number = std::to_string(node.GetFunction());
  const std::string function = "Send_function_" + number;
  {
    CDocHandle doc = CDocHandle::Open(m_prompter, binFile);
    TextPos at;
    if (!FindMarkerPos(*doc, markers::kEndBinary, at)) {
      ReportMissingMarker(m_prompter, markers::kEndBinary, binFile);
      return 0;
    }
    InsertTextLines(*doc, at,
                    {BeginFileMarker(path), "void " + function + " (unsigned long handle)", "{",
                     "     HSSendBinary (handle, (char*) buffer_" + number + ", sizeof (buffer_" +
                         number + "));",
                     "}  " + EndFileMarker(path), ""});
    if (!SaveOrReport(m_prompter, doc)) return 0;
  }

  // An existing entry keeps everything but its size.
  const std::string size = std::to_string(node.GetSize());
  CUrlTable table(m_prompter, UrlFilePath());
  int index = -1;
  if (table.FindUrlIndex(node.GetUrl(), index)) {
    if (LeadingNumber(table.GetEntryField(index, 4)) != static_cast<long>(node.GetSize())) {
      table.SetEntryField(node.GetUrl(), 4, size);
    }
    return 1;
  }
  std::string url = node.GetUrl();
  EncodeSpaces(url);
  const std::string entry =
      FormatText("{\n   \"%s\" , 0, %s, (HSTypeFnBinary)HSType%s, %s, Unprotected\n},\n",
                 {url, function, GetTypeSuffix(path), size});
  return table.AddEntry(-1, entry, function);
}
