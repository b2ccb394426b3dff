#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_util.h"

// Why the new text of a streamed file could not be made: the file or a source
// of inserted text could not be read, or gave fewer bytes than it had. Raised
// by the pieces of the text, caught where the file is written.
class CStreamError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A text handed over piece by piece: each call gives the next piece (the view
// holds until the next call); an empty piece ends the text.
using TextPieces = std::function<std::string_view()>;
// Makes the pieces of one text from its start; called each time the text is
// needed (a comparison with the file on disk, then the write).
using TextMaker = std::function<TextPieces()>;

// A generated file too large to hold, edited by streaming it through: one scan
// notes the lines that hold "@!" (every marker holds one) with their places
// in the file; edits remove lines of the file as it was scanned or insert text
// before a place in one of those lines; the new text is the file copied
// through block by block, leaving out what was removed and putting in what
// was inserted, which is made only then. Memory stays the size of the marked
// lines, whatever the size of the file or of the text inserted into it.
//
// The new text is what the line document would write after the same edits:
// a file is taken only when the document would keep it byte for byte (CR LF
// line ends, no NUL byte, no line the document would wrap).
class CStreamedFile {
 public:
  // A line of the file that holds "@!": where it starts, where the line after
  // it starts, and its text without the line end.
  struct MarkedLine {
    std::uint64_t offset = 0;
    std::uint64_t next = 0;
    std::string text;
    bool removed = false;
  };
  static constexpr size_t npos = static_cast<size_t>(-1);

  // Reads path once. False when it cannot be read or is not written as the
  // line document writes files; the caller then edits it as a document.
  bool Scan(const std::string& path);
  // The same over a text that is to become path (a file made by this update
  // and not yet written): the new text is made from it instead of the file.
  bool ScanText(const std::string& path, std::string text);
  const std::string& Path() const { return m_strPath; }
  // The file as the scan found it (nothing for a text of ScanText).
  const FileStamp& Stamp() const { return m_stamp; }
  bool FromText() const { return m_pText != nullptr; }

  size_t MarkedCount() const { return m_lines.size(); }
  const MarkedLine& Marked(size_t n) const { return m_lines[n]; }
  // The first marked line from line from on that holds marker, compared as a
  // marker search compares (case does not matter); npos when none. column
  // receives the match's first byte within the line.
  size_t FindMarker(std::string_view marker, size_t from, size_t* column = nullptr) const;
  // The last marked line that holds marker, with its last match in column.
  size_t FindLastMarker(std::string_view marker, size_t* column = nullptr) const;
  // True when marked line second is the line right after marked line first
  // (nothing but removed text between them).
  bool IsNextLine(size_t first, size_t second) const;

  // Removes marked lines first to last and everything between them, text
  // inserted between them included.
  void RemoveLines(size_t first, size_t last);
  // Inserts a text before byte column of marked line at, after whatever was
  // inserted there before. tag is a line of the text that later edits may
  // look for (RemoveInserted).
  void Insert(size_t at, size_t column, std::string tag, TextMaker text);
  // Removes every inserted text whose tag is marker (case not mattering);
  // returns how many.
  int RemoveInserted(std::string_view marker);
  bool Changed() const { return !m_removed.empty() || !m_inserted.empty(); }

  // The file's new text, piece by piece, read afresh from the file and the
  // inserted texts. Raises CStreamError when a read fails, or when the file
  // is no longer the one scanned (kChangedText).
  TextPieces Pieces() const;
  static constexpr const char* kChangedText = "the file changed since it was read";

 private:
  struct Insertion {
    std::string tag;
    TextMaker text;
  };
  class CCursor;

  // Scans what read gives (the bytes from the start, into a buffer of the
  // given size; how many it gave, 0 at the end, -1 on an error).
  bool ScanBytes(const std::function<std::int64_t(char*, size_t)>& read);

  // Calls take(n) for the marked lines that may hold marker, in no order;
  // take returns false to stop.
  template <class Take>
  void ForCandidates(std::string_view marker, Take take) const;

  std::string m_strPath;
  std::uint64_t m_nSize = 0;
  std::shared_ptr<const std::string> m_pText;  // what ScanText was given
  std::vector<MarkedLine> m_lines;
  FileStamp m_stamp;
  // The removed ranges of the file, merged: where each begins, where it ends.
  std::map<std::uint64_t, std::uint64_t> m_removed;
  // The inserted texts by the place they go; at one place in the order made.
  std::multimap<std::uint64_t, Insertion> m_inserted;
  // Every "@!" of the marked lines, filed under the line's text from there on
  // in lower case, so that a search goes straight to the lines that can hold
  // its marker.
  std::multimap<std::string, size_t, std::less<>> m_index;
  // How many inserted texts have each tag, in lower case.
  std::map<std::string, int, std::less<>> m_tags;
};
