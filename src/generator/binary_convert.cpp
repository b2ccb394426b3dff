// Binary data conversion: every file that is not a page becomes a byte array
// and a send function in the binary data file.
#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

#include "document/generated_files.h"
#include "document/markers.h"
#include "document/streamed_file.h"
#include "generator/code_generator.h"
#include "generator/convert_util.h"
#include "generator/field_text.h"
#include "generator/url_table.h"
#include "platform/file_util.h"
#include "platform/text_format.h"

namespace {

constexpr size_t kRowBytes = 20;
constexpr size_t kByteTextLength = 5;
constexpr size_t kLiteralRowBytes = 64;
// The source is read this much at a time: whole rows of both forms (a
// multiple of 20 and of 64), and the text of one block is one piece.
constexpr size_t kSourceBlockBytes = 320 * 2048;
// Room for the text of one block in either form: a row of 20 bytes takes 102
// characters with its line end and 8 of padding at most; a literal row of 64
// bytes at most 4 * 64 + 4.
constexpr size_t kTextRoom = kSourceBlockBytes / kRowBytes * 110 + 4096;

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

// The text of every byte value inside a C string literal: printable ASCII as
// itself, except the quote, the backslash, the question mark (which could
// start a trigraph) and the at sign (no "@!" of the data may look like a
// marker comment to the next build), and every other byte as a three-digit
// octal escape, so that no digit after it can be taken into it.
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

// Writes the array rows of count bytes at out (CR LF after each row); returns
// the end. The last row of the data (last) goes without its final comma.
char* PutArrayRows(char* out, const unsigned char* bytes, size_t count, bool last) {
  while (count > 0) {
    const size_t n = std::min(count, kRowBytes);
    for (size_t i = 0; i < n; ++i, out += kByteTextLength) {
      std::memcpy(out, kByteTexts.m_text[bytes[i]], 8);
    }
    if (last && n == count && n < kRowBytes) --out;
    *out++ = '\r';
    *out++ = '\n';
    bytes += n;
    count -= n;
  }
  return out;
}

// Writes the literal rows of count bytes at out, 64 bytes to a row.
char* PutLiteralRows(char* out, const unsigned char* bytes, size_t count) {
  while (count > 0) {
    const size_t n = std::min(count, kLiteralRowBytes);
    *out++ = '"';
    for (size_t i = 0; i < n; ++i) {
      std::memcpy(out, kLiteralTexts.m_text[bytes[i]], 4);
      out += kLiteralTexts.m_length[bytes[i]];
    }
    *out++ = '"';
    *out++ = '\r';
    *out++ = '\n';
    bytes += n;
    count -= n;
  }
  return out;
}

// The buffer block of one source as text with CR LF line ends, made from the
// source as it is read, block by block: the begin marker line, the buffer's
// head, the data and the closing line with the end marker.
//
// As an array, one line per 20 bytes; a file whose size is a multiple of 20
// ends with a full row and its comma, so an empty line follows it; the last
// byte of any other file goes without its comma. As a literal, the head
// gives the size, one string literal per 64 bytes follows (adjacent literals
// join), and the array has exactly the file's length, so the literal's
// terminating zero is not stored; an empty file, like an empty array, is one
// zero byte.
class CBufferText {
 public:
  CBufferText(bool literal, const std::string& path, const std::string& recorded, int function,
              std::uint64_t size)
      : m_bLiteral(literal), m_strPath(path), m_nSize(size) {
    const std::string name = "const char buffer_" + std::to_string(function);
    if (literal) {
      m_strHead = BeginFileMarker(recorded) + "\r\n" + name + " [" +
                  std::to_string(size == 0 ? 1 : size) + "] =\r\n" + (size == 0 ? "\"\"\r\n" : "");
      m_strClose = ";  " + EndFileMarker(recorded) + "\r\n";
    } else {
      m_strHead = BeginFileMarker(recorded) + "\r\n" + name + " [] =\r\n{\r\n" +
                  (size == 0 ? "0\r\n" : "");
      m_strClose = std::string(size > 0 && size % kRowBytes == 0 ? "\r\n" : "") + "};  " +
                   EndFileMarker(recorded) + "\r\n";
    }
  }

  // The next piece; empty at the end. Raises CStreamError when the source
  // cannot be read or ends before its size.
  std::string_view Next() {
    switch (m_nStage++) {
      case 0:
        return m_strHead;
      case 1:
        break;
      case 2:
        return m_strClose;
      default:
        return std::string_view();
    }
    if (m_nSize == 0) return Next();  // no data: the closing line
    if (m_nDone == 0) {
      m_in = std::make_unique<CReadFile>(m_strPath);
      if (!m_in->IsOpen()) throw CStreamError("the file " + m_strPath + " could not be read");
      m_data.reset(new unsigned char[kSourceBlockBytes]);
      m_text.reset(new char[kTextRoom]);
    }
    const size_t want = static_cast<size_t>(std::min<std::uint64_t>(m_nSize - m_nDone, kSourceBlockBytes));
    if (m_in->Read(reinterpret_cast<char*>(m_data.get()), want) != static_cast<std::int64_t>(want)) {
      throw CStreamError("the file " + m_strPath + " ended before its " +
                         std::to_string(m_nSize) + " bytes");
    }
    m_nDone += want;
    const bool last = m_nDone == m_nSize;
    char* end = m_bLiteral ? PutLiteralRows(m_text.get(), m_data.get(), want)
                           : PutArrayRows(m_text.get(), m_data.get(), want, last);
    if (!last) --m_nStage;  // more data to come
    return std::string_view(m_text.get(), static_cast<size_t>(end - m_text.get()));
  }

 private:
  bool m_bLiteral;
  std::string m_strPath;
  std::uint64_t m_nSize;
  std::string m_strHead;
  std::string m_strClose;
  std::unique_ptr<CReadFile> m_in;
  std::unique_ptr<unsigned char[]> m_data;
  std::unique_ptr<char[]> m_text;
  std::uint64_t m_nDone = 0;
  int m_nStage = 0;
};

// How many bytes the file at path gives when read, up to limit (read in
// blocks, never held); -1 when it cannot be opened. A size taken from the
// file system can promise more than a read gives (a file that shrank, a
// device's pseudo file).
std::int64_t ReadableBytes(const std::string& path, std::uint64_t limit) {
  CReadFile in(path);
  if (!in.IsOpen()) return -1;
  const std::unique_ptr<char[]> block(new char[kSourceBlockBytes]);
  std::uint64_t total = 0;
  while (total < limit) {
    const size_t want =
        static_cast<size_t>(std::min<std::uint64_t>(limit - total, kSourceBlockBytes));
    const std::int64_t got = in.Read(block.get(), want);
    if (got < 0) return -1;
    total += static_cast<std::uint64_t>(got);
    if (static_cast<size_t>(got) < want) break;
  }
  return static_cast<std::int64_t>(total);
}

// Pieces of a text made whole beforehand.
TextMaker FixedText(std::string text) {
  return [text = std::make_shared<const std::string>(std::move(text))]() -> TextPieces {
    return [text, done = false]() mutable {
      return std::exchange(done, true) ? std::string_view() : std::string_view(*text);
    };
  };
}

// The pieces of a text as the line document takes them: whole lines and an
// empty element after the last line end (each piece of a text above ends
// with one).
CCodeGenerator::LinePieces LinesOf(TextPieces pieces) {
  return [pieces = std::move(pieces)](std::vector<std::string_view>& lines) {
    const std::string_view piece = pieces();
    if (piece.empty()) return false;
    lines = SplitAtLineEnds(piece);
    return true;
  };
}

}  // namespace

TextMaker CCodeGenerator::BufferText(bool literal, const std::string& path,
                                     const std::string& recorded, int function,
                                     std::uint64_t size) {
  return [=]() -> TextPieces {
    auto text = std::make_shared<CBufferText>(literal, path, recorded, function, size);
    return [text] { return text->Next(); };
  };
}

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
    // The bytes are formatted when the binary data file is written, block by
    // block; here the source must give at least its size, or this node
    // fails on its own instead of the whole binary data file's write.
    const std::int64_t size = IsRegularFile(path) ? ReadableBytes(path, node.GetSize()) : -1;
    if (size < 0) {
      m_prompter.ShowOk(FormatText(kSourceMissingText, {path}));
      return 0;
    }
    // The size was taken when the build started; a file that has shrunk since
    // cannot give that many bytes.
    if (static_cast<std::uint64_t>(size) < node.GetSize()) {
      m_prompter.ShowOk(FormatText(
          kSourceShorterText, {path, std::to_string(size), std::to_string(node.GetSize())}));
      return 0;
    }
    const bool literal = m_pProject && m_pProject->LiteralData();
    return AddBinaryCode(
        node, BufferText(literal, path, Recorded(path), node.GetFunction(), node.GetSize()));
  } catch (const CSourceException&) {
    m_prompter.ShowOk(FormatText(kConvertFileErrorText, {path}));
    return 0;
  } catch (const CStreamError&) {
    m_prompter.ShowOk(FormatText(kConvertFileErrorText, {path}));
    return 0;
  }
}

void CCodeGenerator::RemoveFileBlocks(const std::string& binFile, const std::string& sourcePath) {
  RemoveSourceBlocks(m_prompter, *m_pFiles, binFile, sourcePath);
}

int CCodeGenerator::InsertBufferData(const std::string& marker, const std::string& path,
                                     const LinePieces& pieces) {
  CDocHandle doc = m_pFiles->Open(m_prompter, path);
  TextPos at;
  if (!FindLastMarkerPos(*doc, marker.c_str(), at)) {
    ReportMissingMarker(m_prompter, marker, path);
    return 0;
  }
  std::vector<std::string_view> lines;
  while (pieces(lines)) at = InsertTextLines(*doc, at, lines);
  return SaveOrReport(m_prompter, doc);
}

int CCodeGenerator::AddBinaryCode(const CPageNode& node, const TextMaker& bufferText) {
  const std::string& binFile = node.GetOutputFile();
  const std::string path = Recorded(node.GetPath());
  const std::string number = std::to_string(node.GetFunction());
  const std::string function = "Send_function_" + number;
  const std::vector<std::string> sendLines = {
      BeginFileMarker(path), "void " + function + " (unsigned long handle)", "{",
      "     HSSendBinary (handle, (char*) buffer_" + number + ", sizeof (buffer_" + number + "));",
      "}  " + EndFileMarker(path)};

  // A binary data file written as the line document writes files is streamed
  // through, so that neither it nor the source is ever held whole; any other
  // is edited as a document. So is one whose insertion markers do not start
  // their lines, where the document's edits of the text before them cannot
  // be followed.
  CStreamHandle stream = m_pFiles->OpenStreamed(binFile);
  if (stream) {
    size_t dataColumn = 0, sendColumn = 0;
    if (stream->FindLastMarker(markers::kEndBufferData, &dataColumn) != CStreamedFile::npos &&
        stream->FindMarker(markers::kEndBinary, 0, &sendColumn) != CStreamedFile::npos &&
        (dataColumn != 0 || sendColumn != 0)) {
      stream.Decline();
    }
  }
  if (stream) {
    RemoveSourceBlocks(*stream, path);
    size_t column = 0;
    const size_t data = stream->FindLastMarker(markers::kEndBufferData, &column);
    if (data == CStreamedFile::npos) {
      ReportMissingMarker(m_prompter, markers::kEndBufferData, binFile);
      return 0;
    }
    stream->Insert(data, column, BeginFileMarker(path), bufferText);
    const size_t send = stream->FindMarker(markers::kEndBinary, 0, &column);
    if (send == CStreamedFile::npos) {
      ReportMissingMarker(m_prompter, markers::kEndBinary, binFile);
      return 0;
    }
    std::string text;
    for (const std::string& line : sendLines) text += line + "\r\n";
    stream->Insert(send, column, BeginFileMarker(path), FixedText(std::move(text)));
    if (std::string reason; !stream.Save(&reason)) {
      m_prompter.ShowOkWithReason(FormatText(kCannotWriteText, {binFile}), reason);
      return 0;
    }
  } else {
    // The document holds the whole file anyway: the buffer's text is made
    // before anything is edited, so a source that fails leaves the file as it was.
    std::string text;
    try {
      const TextPieces pieces = bufferText();
      for (std::string_view piece = pieces(); !piece.empty(); piece = pieces()) text += piece;
    } catch (const CStreamError&) {
      m_prompter.ShowOk(FormatText(kConvertFileErrorText, {node.GetPath()}));
      return 0;
    }
    RemoveFileBlocks(binFile, path);
    if (!InsertBufferData(markers::kEndBufferData, binFile, LinesOf(FixedText(std::move(text))())))
      return 0;
    CDocHandle doc = m_pFiles->Open(m_prompter, binFile);
    TextPos at;
    if (!FindMarkerPos(*doc, markers::kEndBinary, at)) {
      ReportMissingMarker(m_prompter, markers::kEndBinary, binFile);
      return 0;
    }
    std::vector<std::string_view> lines(sendLines.begin(), sendLines.end());
    lines.emplace_back();
    InsertTextLines(*doc, at, lines);
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
