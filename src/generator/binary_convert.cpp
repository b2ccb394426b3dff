// Binary data conversion: every file that is not a page becomes a byte array
// and a send function in the binary data file.
#include <algorithm>
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
constexpr size_t kRowTextLength = kRowBytes * kByteTextLength;
// Array text is formatted this much at a time into one buffer that every piece
// of every file reuses, and handed to the document piece by piece.
constexpr size_t kPieceBytes = size_t{1} << 20;

// The text "0x%02x," of every byte value, padded to eight bytes: a row goes out
// as one eight-byte copy per byte, each overwriting the padding of the one
// before, as formatting each byte would cost most of a large conversion.
struct CByteTexts {
  char m_text[256][8];
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

// The array block of one source as line pieces (see CCodeGenerator::LinePieces):
// the begin marker line, the array's head, one line per 20 bytes, the closing
// line with the end marker. A file whose size is a multiple of 20 ends with a
// full row and its comma, so an empty line follows it; the last byte of any
// other file goes without its comma.
class CArrayText {
 public:
  CArrayText(std::string& buffer, const std::string& source, int function,
             const unsigned char* data, size_t size)
      : m_buffer(buffer), m_data(data), m_size(size) {
    if (m_buffer.size() < kPieceBytes) m_buffer.resize(kPieceBytes);
    m_head = {BeginFileMarker(source),
              "const char buffer_" + std::to_string(function) + " [] =", "{"};
    if (size == 0) m_head.emplace_back("0");
    m_close = "};  " + EndFileMarker(source);
  }

  bool Next(std::vector<std::string_view>& lines) {
    if (m_bDone) return false;
    m_spans.clear();
    m_used = 0;
    for (; m_nHead < m_head.size(); ++m_nHead) Put(m_head[m_nHead]);
    const size_t rows = m_size / kRowBytes;
    // Room for a row and the padding of its last byte's copy.
    while (m_nRow < rows && m_used + kRowTextLength + 8 <= m_buffer.size()) {
      PutRow(m_data + m_nRow * kRowBytes, kRowBytes, false);
      ++m_nRow;
    }
    if (m_nRow == rows) {
      const size_t rest = m_size % kRowBytes;
      if (rest > 0) {
        PutRow(m_data + rows * kRowBytes, rest, true);
      } else if (m_size > 0) {
        Put(std::string_view());
      }
      Put(m_close);
      m_bDone = true;
    }
    lines.clear();
    for (const auto& [offset, length] : m_spans)
      lines.emplace_back(m_buffer.data() + offset, length);
    lines.emplace_back();  // the piece ends with a line end
    return true;
  }

 private:
  // Room for bytes more; the buffer grows only for a line that does not fit
  // the reused size, which moves no view because views are made at the end.
  char* Room(size_t bytes) {
    if (m_used + bytes > m_buffer.size()) m_buffer.resize(m_used + bytes);
    return m_buffer.data() + m_used;
  }
  void Put(std::string_view text) {
    if (!text.empty()) std::memcpy(Room(text.size()), text.data(), text.size());
    m_spans.emplace_back(m_used, text.size());
    m_used += text.size();
  }
  void PutRow(const unsigned char* bytes, size_t count, bool last) {
    char* out = Room(count * kByteTextLength + 8);
    for (size_t i = 0; i < count; ++i, out += kByteTextLength) {
      std::memcpy(out, kByteTexts.m_text[bytes[i]], 8);
    }
    const size_t length = count * kByteTextLength - (last ? 1 : 0);
    m_spans.emplace_back(m_used, length);
    m_used += length;
  }

  std::string& m_buffer;
  const unsigned char* m_data;
  size_t m_size;
  std::vector<std::string> m_head;
  std::string m_close;
  std::vector<std::pair<size_t, size_t>> m_spans;  // offset and length of each line
  size_t m_used = 0;
  size_t m_nHead = 0;
  size_t m_nRow = 0;
  bool m_bDone = false;
};

// The text of every byte value inside a C string literal: printable ASCII as
// itself, except the quote, the backslash, the question mark (which could
// start a trigraph) and the at sign (no "@!" of the data may look like a
// marker comment to the next build), and every other byte as a three-digit octal escape, so
// that no digit after it can be taken into it.
struct CLiteralTexts {
  char m_text[256][4];
  unsigned char m_length[256];
  constexpr CLiteralTexts() : m_text{}, m_length{} {
    for (int b = 0; b < 256; ++b) {
      if (b >= 0x20 && b < 0x7f && b != '"' && b != '\\' && b != '?' && b != '@') {
        m_text[b][0] = static_cast<char>(b);
        m_length[b] = 1;
      } else {
        m_text[b][0] = '\\';
        m_text[b][1] = static_cast<char>('0' + (b >> 6));
        m_text[b][2] = static_cast<char>('0' + ((b >> 3) & 7));
        m_text[b][3] = static_cast<char>('0' + (b & 7));
        m_length[b] = 4;
      }
    }
  }
};
constexpr CLiteralTexts kLiteralTexts;
constexpr size_t kLiteralRowBytes = 64;

// The literal block of one source as line pieces: the begin marker line, the
// buffer's head with its size, one string literal per 64 bytes (adjacent
// literals join), and the closing line with the end marker. The array has
// exactly the file's length, so the literal's terminating zero is not
// stored; an empty file, like an empty array, is one zero byte.
class CLiteralText {
 public:
  CLiteralText(std::string& buffer, const std::string& source, int function,
               const unsigned char* data, size_t size)
      : m_buffer(buffer), m_data(data), m_size(size) {
    if (m_buffer.size() < kPieceBytes) m_buffer.resize(kPieceBytes);
    m_head = {BeginFileMarker(source), "const char buffer_" + std::to_string(function) + " [" +
                                           std::to_string(size == 0 ? 1 : size) + "] ="};
    if (size == 0) m_head.emplace_back("\"\"");
    m_close = ";  " + EndFileMarker(source);
  }

  bool Next(std::vector<std::string_view>& lines) {
    if (m_bDone) return false;
    std::vector<std::pair<size_t, size_t>> spans;
    size_t used = 0;
    auto put = [&](std::string_view text) {
      if (used + text.size() > m_buffer.size()) m_buffer.resize(used + text.size());
      text.copy(m_buffer.data() + used, text.size());
      spans.emplace_back(used, text.size());
      used += text.size();
    };
    for (; m_nHead < m_head.size(); ++m_nHead) put(m_head[m_nHead]);
    constexpr size_t kRowRoom = kLiteralRowBytes * 4 + 2;
    while (m_nDone < m_size && used + kRowRoom <= m_buffer.size()) {
      const size_t count = std::min(kLiteralRowBytes, m_size - m_nDone);
      char* out = m_buffer.data() + used;
      size_t length = 0;
      out[length++] = '"';
      for (size_t i = 0; i < count; ++i) {
        const unsigned char b = m_data[m_nDone + i];
        std::memcpy(out + length, kLiteralTexts.m_text[b], 4);
        length += kLiteralTexts.m_length[b];
      }
      out[length++] = '"';
      spans.emplace_back(used, length);
      used += length;
      m_nDone += count;
    }
    if (m_nDone == m_size) {
      put(m_close);
      m_bDone = true;
    }
    lines.clear();
    for (const auto& [offset, length] : spans) lines.emplace_back(m_buffer.data() + offset, length);
    lines.emplace_back();  // the piece ends with a line end
    return true;
  }

 private:
  std::string& m_buffer;
  const unsigned char* m_data;
  size_t m_size;
  std::vector<std::string> m_head;
  std::string m_close;
  size_t m_nHead = 0;
  size_t m_nDone = 0;
  bool m_bDone = false;
};

}  // namespace

int CCodeGenerator::ConvertBinary(const CPageNode& node) {
  if (!CheckNodeTexts(node)) return 0;
  const std::string& path = node.GetPath();
  // The URL table's size field is a C int, and the web server sends as many
  // bytes as it says: a larger source cannot be served whole.
  if (node.GetSize() > kMaxBinarySize) {
    m_prompter.ShowOk(FormatText(
        kTooLargeText, {path, std::to_string(node.GetSize()), std::to_string(kMaxBinarySize)}));
    return 0;
  }
  try {
    if (!CanWriteWithUrlFile(node.GetOutputFile())) return 0;
    std::string& data = m_sourceBuffer;
    if (!ReadWholeFile(path, data)) {
      m_prompter.ShowOk(FormatText(kSourceMissingText, {path}));
      return 0;
    }
    // The size was taken when the build started; a file that has shrunk since
    // cannot give that many bytes.
    if (data.size() < node.GetSize()) {
      m_prompter.ShowOk(FormatText(
          kSourceShorterText, {path, std::to_string(data.size()), std::to_string(node.GetSize())}));
      return 0;
    }
    RemoveFileBlocks(node.GetOutputFile(), Recorded(path));
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    if (m_pProject && m_pProject->LiteralData()) {
      CLiteralText literal(m_arrayBuffer, Recorded(path), node.GetFunction(), bytes,
                           node.GetSize());
      return AddBinaryCode(
          node, [&](std::vector<std::string_view>& lines) { return literal.Next(lines); });
    }
    CArrayText array(m_arrayBuffer, Recorded(path), node.GetFunction(), bytes, node.GetSize());
    return AddBinaryCode(node,
                         [&](std::vector<std::string_view>& lines) { return array.Next(lines); });
  } catch (const CSourceException&) {
    m_prompter.ShowOk(FormatText(kConvertFileErrorText, {path}));
    return 0;
  }
}

void CCodeGenerator::RemoveFileBlocks(const std::string& binFile, const std::string& sourcePath) {
  RemoveSourceBlocks(m_prompter, binFile, sourcePath);
}

int CCodeGenerator::InsertBufferData(const std::string& marker, const std::string& path,
                                     const LinePieces& pieces) {
  CDocHandle doc = CDocHandle::Open(m_prompter, path);
  TextPos at;
  if (!FindLastMarkerPos(*doc, marker.c_str(), at)) {
    ReportMissingMarker(m_prompter, marker, path);
    return 0;
  }
  std::vector<std::string_view> lines;
  while (pieces(lines)) at = InsertTextLines(*doc, at, lines);
  return SaveOrReport(m_prompter, doc);
}

int CCodeGenerator::AddBinaryCode(const CPageNode& node, const LinePieces& arrayPieces) {
  const std::string& binFile = node.GetOutputFile();
  const std::string path = Recorded(node.GetPath());
  if (!InsertBufferData(markers::kEndBufferData, binFile, arrayPieces)) return 0;

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
  CUrlTable& table = UrlTable();
  int index = -1;
  if (table.FindUrlIndex(node.GetUrl(), index)) {
    // The size fits a long: it is at most kMaxBinarySize.
    if (LeadingNumber(table.GetEntryField(index, 4)) != static_cast<long>(node.GetSize())) {
      table.SetEntryField(node.GetUrl(), 4, size);
    }
    return 1;
  }
  std::string url = node.GetUrl();
  EncodeSpaces(url);
  const std::string entry =
      FormatText("{\n   \"%s\" , 0, %s, (HSTypeFnBinary)HSType%s, %s, Unprotected\n},\n",
                 {CStringText(url), function, GetTypeSuffix(path), size});
  return table.AddEntry(-1, entry, function);
}
