#include "project/archive.h"

#include <cstring>

namespace {

constexpr std::uint16_t kNewClassTag = 0xFFFF;
constexpr std::uint16_t kClassTag = 0x8000;
constexpr std::uint16_t kBigObjectTag = 0x7FFF;
constexpr std::uint32_t kBigClassTag = 0x80000000u;
constexpr std::uint16_t kMaxClassNameLength = 63;

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

void CArchive::WriteWord(std::uint16_t value) {
  m_output += static_cast<char>(value & 0xFF);
  m_output += static_cast<char>(value >> 8);
}

void CArchive::WriteDword(std::uint32_t value) {
  WriteWord(static_cast<std::uint16_t>(value & 0xFFFF));
  WriteWord(static_cast<std::uint16_t>(value >> 16));
}

void CArchive::WriteString(std::string_view text) {
  const size_t n = text.size();
  if (n < 0xFF) {
    m_output += static_cast<char>(n);
  } else if (n < 0xFFFE) {
    m_output += '\xFF';
    WriteWord(static_cast<std::uint16_t>(n));
  } else {
    // 0xFFFE announces a wide string and 0xFFFFFFFF a 64-bit length; we never
    // write either.
    if (n >= 0xFFFFFFFFu) throw CArchiveException(CArchiveException::kBadLength);
    m_output += '\xFF';
    WriteWord(0xFFFF);
    WriteDword(static_cast<std::uint32_t>(n));
  }
  m_output.append(text);
}

const char* CArchive::Take(size_t count) {
  if (count > BytesLeft()) throw CArchiveException(CArchiveException::kEndOfFile);
  const char* p = m_input.data() + m_nPos;
  m_nPos += count;
  return p;
}

std::uint16_t CArchive::ReadWord() {
  const auto* p = reinterpret_cast<const unsigned char*>(Take(2));
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t CArchive::ReadDword() {
  const std::uint32_t low = ReadWord();
  const std::uint32_t high = ReadWord();
  return low | (high << 16);
}

size_t CArchive::ReadLength(bool& wide) {
  wide = false;
  auto byte = static_cast<unsigned char>(*Take(1));
  if (byte < 0xFF) return byte;
  std::uint16_t word = ReadWord();
  if (word == 0xFFFE) {
    // Wide string: the length starts again, counted in 16-bit units.
    wide = true;
    byte = static_cast<unsigned char>(*Take(1));
    if (byte < 0xFF) return byte;
    word = ReadWord();
  }
  if (word < 0xFFFF) return word;
  return ReadDword();
}

std::string CArchive::ReadString() {
  bool wide = false;
  const size_t length = ReadLength(wide);
  // Check the length against what is left before anything is allocated.
  if (wide ? length > BytesLeft() / 2 : length > BytesLeft()) {
    throw CArchiveException(CArchiveException::kBadLength);
  }
  if (wide) return ReadWide(length);
  return std::string(Take(length), length);
}

std::string CArchive::ReadWide(size_t units) {
  const auto* p = reinterpret_cast<const unsigned char*>(Take(units * 2));
  std::string out;
  out.reserve(units);
  for (size_t i = 0; i < units; ++i) {
    std::uint32_t unit = p[2 * i] | (p[2 * i + 1] << 8);
    if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < units) {
      const std::uint32_t next = p[2 * i + 2] | (p[2 * i + 3] << 8);
      if (next >= 0xDC00 && next < 0xE000) {
        AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
        ++i;
        continue;
      }
    }
    // A lone surrogate has no 8-bit form: it becomes the default character.
    if (unit >= 0xD800 && unit < 0xE000) unit = '?';
    AppendUtf8(out, unit);
  }
  return out;
}

void CArchive::Exchange(std::int32_t& value) {
  if (m_bLoading) {
    value = static_cast<std::int32_t>(ReadDword());
  } else {
    WriteDword(static_cast<std::uint32_t>(value));
  }
}

void CArchive::Exchange(std::uint32_t& value) {
  if (m_bLoading) {
    value = ReadDword();
  } else {
    WriteDword(value);
  }
}

void CArchive::Exchange(std::string& text) {
  if (m_bLoading) {
    text = ReadString();
  } else {
    WriteString(text);
  }
}

void CArchive::WriteObjectTag(std::string_view className, std::uint16_t schema) {
  auto it = m_storedClasses.find(className);
  if (it == m_storedClasses.end()) {
    WriteWord(kNewClassTag);
    WriteWord(schema);
    WriteWord(static_cast<std::uint16_t>(className.size()));
    m_output.append(className);
    m_storedClasses.emplace(std::string(className), m_nMapCount++);
  } else if (it->second < kBigObjectTag) {
    WriteWord(static_cast<std::uint16_t>(kClassTag | it->second));
  } else {
    WriteWord(kBigObjectTag);
    WriteDword(kBigClassTag | it->second);
  }
  ++m_nMapCount;  // the object's own number
}

void CArchive::ReadObjectTag(std::string_view className, std::uint16_t schema) {
  const std::uint16_t tag = ReadWord();
  if (tag == kNewClassTag) {
    const std::uint16_t loadedSchema = ReadWord();
    const std::uint16_t length = ReadWord();
    if (length > kMaxClassNameLength) throw CArchiveException(CArchiveException::kBadClass);
    const std::string_view name(Take(length), length);
    if (name != className) throw CArchiveException(CArchiveException::kBadClass);
    if (loadedSchema != schema) throw CArchiveException(CArchiveException::kBadSchema);
    m_loadedClasses.emplace(m_nMapCount++, std::string(name));
  } else {
    std::uint32_t number = 0;
    if (tag == kBigObjectTag) {
      const std::uint32_t big = ReadDword();
      // Without the class bit the tag refers to an earlier object.
      if ((big & kBigClassTag) == 0) throw CArchiveException(CArchiveException::kBadTag);
      number = big & ~kBigClassTag;
    } else if ((tag & kClassTag) != 0) {
      number = tag & ~kClassTag;
    } else {
      // The null object or a reference to an earlier object.
      throw CArchiveException(CArchiveException::kBadTag);
    }
    auto it = m_loadedClasses.find(number);
    if (it == m_loadedClasses.end() || it->second != className) {
      throw CArchiveException(CArchiveException::kBadTag);
    }
  }
  ++m_nMapCount;  // the object's own number
}
