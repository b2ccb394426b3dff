#pragma once

#include <cstdint>
#include <map>
#include <exception>
#include <string>
#include <string_view>

// Why a project file could not be read (or, for kTooManyNodes, written).
// Every load failure reaches the user as the same message; the cause is for
// tests and diagnostics.
class CArchiveException : public std::exception {
 public:
  enum Cause {
    kEndOfFile,     // the data ends inside an item
    kBadTag,        // an object tag that is not allowed here
    kBadClass,      // a class name other than the expected one, or too long
    kBadSchema,     // a schema number other than the expected one
    kBadLength,     // a length prefix asks for more bytes than are left
    kBadStructure,  // the node list's links or indices are inconsistent
    kTooManyNodes,  // storing: the count does not fit its 16-bit word
  };
  explicit CArchiveException(Cause cause) : m_cause(cause) {}
  Cause GetCause() const { return m_cause; }
  const char* what() const noexcept override { return "Invalid .web file"; }

 private:
  Cause m_cause;
};

// The object stream of project files: little-endian 16- and 32-bit words,
// length-prefixed 8-bit strings, and object records headed by a class tag. One
// archive either stores (into Buffer()) or loads (from a byte range it does not
// own). Loading trusts nothing: every read is checked against the bytes left and
// throws CArchiveException, so no length is ever used unchecked.
class CArchive {
 public:
  // A storing archive with an empty buffer.
  CArchive() = default;
  // A loading archive over data, which must outlive the archive.
  explicit CArchive(std::string_view data) : m_bLoading(true), m_input(data) {}
  // A temporary would not outlive the archive.
  explicit CArchive(std::string&& data) = delete;
  CArchive(const CArchive&) = delete;
  CArchive& operator=(const CArchive&) = delete;

  bool IsStoring() const { return !m_bLoading; }
  bool IsLoading() const { return m_bLoading; }

  void WriteWord(std::uint16_t value);
  void WriteDword(std::uint32_t value);
  // One length prefix (1, 3 or 7 bytes) and the bytes, no terminator.
  void WriteString(std::string_view text);

  std::uint16_t ReadWord();
  std::uint32_t ReadDword();
  // Reads every length form, including the wide (UTF-16LE) form, which is
  // converted to UTF-8, the 8-bit encoding of paths here.
  std::string ReadString();

  // Store or load, by the archive's direction, so a Serialize is written once.
  void Exchange(std::int32_t& value);
  void Exchange(std::uint32_t& value);
  void Exchange(std::string& text);

  // The tag in front of an object record. Storing: the first object of a class
  // gets the tag 0xFFFF and the class description (schema, name), every later
  // one a short reference to the class number. Loading: accepts a description
  // of exactly this class and schema, or a reference (short or long form) to a
  // number given to this class; anything else throws.
  void WriteObjectTag(std::string_view className, std::uint16_t schema);
  void ReadObjectTag(std::string_view className, std::uint16_t schema);

  // Storing: the bytes written so far.
  const std::string& Buffer() const { return m_output; }
  // Loading: the bytes not yet read.
  size_t BytesLeft() const { return m_input.size() - m_nPos; }

 private:
  const char* Take(size_t count);
  std::string ReadWide(size_t units);
  size_t ReadLength(bool& wide);

  bool m_bLoading = false;
  std::string m_output;
  std::string_view m_input;
  size_t m_nPos = 0;
  // Numbers are handed out in order of appearance, starting at 1, one to each
  // class description and one to each object.
  std::uint32_t m_nMapCount = 1;
  std::map<std::string, std::uint32_t, std::less<>> m_storedClasses;  // name -> number
  std::map<std::uint32_t, std::string> m_loadedClasses;               // number -> name
};
