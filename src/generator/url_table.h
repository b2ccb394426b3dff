#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "document/srv_doc.h"
#include "platform/prompter.h"

class CGeneratedFiles;

// Turns each blank of a URL into "%20", in place. Every URL written into the URL
// table or compared with its entries goes through it, so a URL with blanks is
// found again under the form the table stores.
void EncodeSpaces(std::string& url);

// Reader and editor of the URL table `URLTable[]` in a URL file. Construction
// reads the table's entry lines and the names of the send-function prototypes;
// the lists keep what the file held then. The editing operations open the file
// afresh from the generated files the table was made with, find the table by
// its marker comments, change it and save it.
//
// One entry is three lines: "{", one line with all six fields, "},". The fields
// are, in order: the URL in double quotes, the html flag, the send function, the
// content type function with its cast, the size and the realm expression.
//
// The editing operations may raise CSrcFileException when the file cannot be
// read or written; the file is then left as it was.
class CUrlTable {
 public:
  // Reads the entries and prototype names of the URL file at path. A missing
  // marker is reported with "Can't find %s in %s" and leaves the list it
  // fences empty.
  CUrlTable(Prompter& prompter, CGeneratedFiles& files, std::string path);

  // Number of entry lines read (the NULL terminator is not counted).
  int GetEntryCount() const { return static_cast<int>(m_entries.size()); }

  // Field 0..5 of entry index, as the URL file editor shows it: the URL that
  // its string literal means (CStringValue); "yes"/"no" for the html flag; the send function; the
  // content type function without its cast; the size, or "N/A" for 0; the realm expression. Empty
  // for an index or field that does not exist.
  std::string GetEntryField(int entry, int field) const;

  // 1 when an entry's URL equals url (blanks encoded first), byte for byte.
  int FindUrl(const std::string& url) const;
  // Like FindUrl, and sets index to the first equal entry, or -1 (returning 0).
  int FindUrlIndex(const std::string& url, int& index) const;

  // Replaces field number field (1..5; 0 is the URL) of the entry whose URL
  // equals url (blanks encoded first) with value, written after one blank and
  // keeping everything else on the line. 1 = changed and saved; 0 = no such
  // entry or field, nothing written.
  int SetEntryField(const std::string& url, int field, const std::string& value);

  // Removes the first entry whose URL (what its string literal means) equals
  // url (in the form the table stores it, blanks already encoded), with its brace
  // lines, and saves the file. Returns the line where the entry began, which
  // AddEntry takes to put an edited entry back in its place; -1 when no entry
  // matched or the table's begin marker is missing (reported), with the file
  // unchanged. AddEntry(-1, ...) then appends, so remove-then-add stays sound.
  int RemoveEntry(const std::string& url);

  // Inserts the complete entry text (its three lines, ending in a line end) at
  // column 0 of line, or with -1 as the last entry before the NULL terminator;
  // and, unless function already has a prototype, adds
  // "extern void %s (unsigned long);" for it just above the prototypes' end
  // marker. 1 = saved; 0 = with -1 the table's end marker is missing (reported,
  // file unchanged) or the file could not be written.
  int AddEntry(int line, const std::string& text, const std::string& function);

  const std::string& Path() const { return m_strPath; }
  // The send-function names that have a prototype, in file order.
  const std::vector<std::string>& PrototypeNames() const { return m_prototypes; }

  // Makes the lists follow this object's own AddEntry and SetEntryField, so that
  // a build that adds thousands of entries reads the table once instead of once
  // per entry. Such a table stays true to the file only while nothing else
  // changes the file's document; InSyncWithFile tells whether it still is
  // (never for a table whose reading reported a missing marker).
  void FollowOwnEdits() { m_bFollow = true; }
  bool InSyncWithFile();

 private:
  bool InSync(CCSrvDoc& doc) const;
  // After AddEntry inserted text at column 0 of line at, which was lineCount
  // lines before: takes the new entries into the lists. False when the edit
  // was not of the plain shape a fresh reading could be foreseen for.
  bool FollowEntryInsert(CCSrvDoc& doc, int at, int lineCount);
  bool FollowPrototypeInsert(CCSrvDoc& doc, TextPos at, const std::string& function);
  void AddToLists(std::string_view entryLine);

  Prompter& m_prompter;
  CGeneratedFiles& m_files;
  std::string m_strPath;
  std::vector<std::string> m_entries;               // entry lines without leading white space
  std::vector<std::string> m_prototypes;            // distinct names, case-sensitive
  std::unordered_set<std::string> m_prototypeSet;   // the same names, for lookups
  std::unordered_map<std::string, int> m_urlIndex;  // URL field -> first entry with it
  // What a following table knows of the file: the document revision its lists
  // match (0 = none), the table's begin marker line, the line the entry scan
  // stops at, and the prototype section's marker lines.
  bool m_bFollow = false;
  std::uint64_t m_nRevision = 0;
  int m_nBegin = -1;
  int m_nStop = -1;
  int m_nProtoBegin = -1;
  int m_nProtoEnd = -1;
};
