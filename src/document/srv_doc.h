#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "document/source_doc.h"

// The document over a generated C file: a CSourceDocMfc that stores its lines
// itself. Every operation that reads or rewrites a generated file loads it into
// one of these, finds its sections by marker text, edits and saves it.
//
// Generated files reach hundreds of megabytes and millions of lines, and a build
// edits them near any line, so the storage is built for that: lines sit in
// chunks of at most a few thousand, which an insertion or removal shifts
// instead of the whole file; their bytes live in large shared blocks rather
// than in one allocation per line; and every "@!" in the text (every marker
// holds one) is kept in an index, so a search for a marker goes straight to the
// lines that can hold it instead of reading the file from the top.
class CCSrvDoc : public CSourceDocMfc {
 public:
  explicit CCSrvDoc(Prompter& prompter);
  ~CCSrvDoc() override;

  int GetLineCount() override { return m_nLines; }
  // Reading a line at or past the end first extends the document with empty
  // lines so that the line exists.
  const char* GetLine(int n) override;
  int GetLineLength(int n) override;
  void RemoveLines(int n, int count) override;
  void InsertEmptyLine(int n) override;
  // The buffer may be written until the next call on the document.
  char* GetLineBuffer(int n, int len) override;
  void ReleaseLineBuffer(int n, int len) override;

  // Direct access for the generator: the text of an existing line (n must be
  // inside the document; the view holds until the document next changes),
  // replacing it, and inserting whole lines before line n (at or past the end
  // appends, extending with empty lines first). The texts are copied.
  std::string_view LineText(int n) const;
  void SetLineText(int n, std::string_view text);
  void InsertLines(int n, std::span<const std::string_view> lines);

  // A number that changes whenever the lines change and that no other document
  // of the process ever gives, so a reader can tell whether what it learnt
  // from the document still holds.
  std::uint64_t Revision() const;

 protected:
  bool FindIndexed(const SearchSpec& spec, TextPos& out, int& result) override;
  int AppendSavedLines(int first, std::string& out, std::size_t limit) override;

 private:
  // One line: its bytes with a NUL after them, in a block of the document
  // (kNoBlock for an empty line without storage).
  struct Line {
    char* text;
    std::uint32_t length;
    std::uint32_t capacity;  // bytes that fit before the NUL
    std::uint32_t block;
    std::uint32_t marks;  // how many "@!" of the line are in the index
  };
  struct Chunk {
    std::vector<Line> lines;
    std::size_t index;  // position in m_chunks
  };
  struct Block {
    std::unique_ptr<char[]> data;
    std::size_t size = 0;
    std::size_t used = 0;
    std::size_t live = 0;  // bytes still held by lines
  };
  // One "@!" of a line, filed under the line's text from there on.
  struct Mark {
    Chunk* chunk;
    const char* text;  // the line's text, which tells the line within its chunk
    int column;
  };
  using MarkIndex = std::multimap<std::string, Mark>;

  static constexpr std::uint32_t kNoBlock = 0xffffffffu;

  Line& At(int n);
  const Line& At(int n) const;
  std::size_t ChunkOf(int n) const;
  void Extend(int n);
  void Changed() { m_revision = 0; }
  // Splices new line records in before line n (n <= m_nLines).
  void InsertRecords(int n, std::vector<Line> records);
  void RestartFrom(std::size_t chunk);
  void MergeSmallChunk(std::size_t chunk);
  void MoveMarks(Chunk& chunk, std::size_t from);

  char* Allocate(std::size_t bytes, std::uint32_t& block);
  void Free(const Line& line);
  // Moves a line's text into new room for capacity bytes (and a NUL).
  void Grow(Line& line, std::uint32_t capacity);
  void Store(Line& line, std::string_view text);

  void IndexLine(Chunk& chunk, Line& line);
  void UnindexLine(Line& line);
  // The index entry of the "@!" at column of line (end() when there is none).
  MarkIndex::iterator FindMark(const Line& line, int column);
  // Brings the index up to date with a line handed out by GetLineBuffer.
  void Settle();
  int LineNumberOf(const Mark& mark) const;

  std::vector<std::unique_ptr<Chunk>> m_chunks;
  std::vector<int> m_starts;  // first line of each chunk
  mutable std::size_t m_hint = 0;
  int m_nLines = 0;
  std::vector<Block> m_blocks;
  std::vector<std::uint32_t> m_freeBlocks;
  std::uint32_t m_current = kNoBlock;  // block that new text goes into
  MarkIndex m_marks;
  int m_nPending = -1;  // line handed out by GetLineBuffer, not yet indexed
  mutable std::uint64_t m_revision = 0;
};
