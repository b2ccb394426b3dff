#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "document/srv_doc.h"
#include "document/streamed_file.h"
#include "platform/file_util.h"

class CDocBatch;

// The one way generator code opens a generated file: a loaded CCSrvDoc for one
// update step. Outside a batch every Open loads the file afresh and Save writes
// it at once (the step-by-step path). Inside a CDocBatch, each file is loaded
// once, shared by every step that opens it, and written once when the batch
// ends, so a build does not re-read and re-write a file per node.
class CDocHandle {
 public:
  // Loads path into a document (LoadFile; a file that cannot be opened leaves
  // the document without lines, so every marker search fails).
  static CDocHandle Open(Prompter& prompter, const std::string& path);
  // Writes a whole new text to path (atomically, as given: the caller supplies
  // CR LF line ends). Returns 1 when written, 0 when the file cannot be created
  // or written. Inside a batch the text becomes the file's document for later
  // Opens and is written when the batch writes the file (Release or Flush),
  // after the file was checked to be creatable.
  static int WriteNew(const std::string& path, std::string_view text);
  // The size the file has for the steps of a build: inside a batch, a file the
  // batch has changed or made counts with the text it will be written with;
  // otherwise the size on disk. -1 when there is no such file.
  static std::int64_t FileSize(const std::string& path);
  // True when the active batch holds the file's document (or new text).
  static bool IsHeld(const std::string& path);

  CCSrvDoc& operator*() const { return *m_pDoc; }
  CCSrvDoc* operator->() const { return m_pDoc; }
  const std::string& Path() const { return m_strPath; }
  // The result of the load (LoadFile's result; -1 when the file could not be
  // opened at all).
  int LoadResult() const { return m_nLoadResult; }

  // Writes the document back to its path: SaveFile's result (1 written, 0 the
  // file cannot be created). In a batch the write is deferred to the batch's
  // end and 1 is returned. May raise CSrcFileException.
  int Save();

 private:
  CDocHandle() = default;
  std::shared_ptr<CCSrvDoc> m_owned;
  CCSrvDoc* m_pDoc = nullptr;
  CDocBatch* m_pBatch = nullptr;
  std::string m_strPath;
  int m_nLoadResult = 0;
};

// The one way generator code edits a file too large to hold (the binary data
// file) for one update step: a CStreamedFile of it. Outside a batch Open scans
// the file and Save writes it at once; inside a CDocBatch every step shares
// one scan and the file is written once, streamed, when the batch writes it.
// A file that some step has open as a document is written first and scanned
// afresh; a step that opens the file as a document after streamed edits gets
// it written first, so both kinds of edit follow each other as made.
class CStreamHandle {
 public:
  // Empty (false) when the file cannot be streamed: it cannot be read or is
  // not written as the line document writes files; edit it as a document.
  static CStreamHandle Open(const std::string& path);
  explicit operator bool() const { return m_pFile != nullptr; }
  CStreamedFile& operator*() const { return *m_pFile; }
  CStreamedFile* operator->() const { return m_pFile.get(); }

  // Writes the edits: 1 when the file holds the new text (left alone when it
  // already did), 0 when it was not written, with the reason in reason. In a
  // batch the write is deferred to the batch's end and 1 is returned.
  int Save(std::string* reason = nullptr);
  // Gives the file up for the rest of the batch, before this step edits it:
  // it is edited as a document (CDocHandle) from now on. The handle becomes
  // empty.
  void Decline();

 private:
  std::shared_ptr<CStreamedFile> m_pFile;
  CDocBatch* m_pBatch = nullptr;
  FileStamp m_stamp;  // outside a batch: the file as scanned
};

// A scope in which generated files are read once, edited in memory and
// written once (atomically): at Flush, or earlier when the steps are done with
// a file (Release). Writes go out on a second thread of the batch while the
// calling thread goes on. Only one batch is active at a time.
class CDocBatch {
 public:
  // kDryRun: nothing is ever written; Flush only notes which files the
  // writes would change (a check whether generated files are up to date).
  enum class Mode { kWrite, kDryRun };

  explicit CDocBatch(Mode mode = Mode::kWrite);
  ~CDocBatch();  // flushes what is still pending, swallowing errors
  CDocBatch(const CDocBatch&) = delete;
  CDocBatch& operator=(const CDocBatch&) = delete;

  // Writes every saved document and waits for every write, released ones
  // included. Returns false (and keeps going with the others) when a file
  // could not be written; failed paths are listed. A file that changed on disk
  // since the batch read it (a user saved it in an editor meanwhile) is not
  // written: its write fails, and the user's file stays.
  bool Flush();
  const std::vector<std::string>& FailedPaths() const { return m_failed; }
  // Why a listed path was not written: the system's reason ("No space left on
  // device") or kChangedOnDiskReason.
  std::string FailureReason(const std::string& path) const;
  static constexpr const char* kChangedOnDiskReason =
      "the file was changed on disk during the build; it was left as it is";

  // Forgets every change not yet written, so that neither Flush nor the end
  // of the batch writes it: for a series of edits that failed half way and
  // must leave its files as they were.
  void Discard();

  // No later step opens path: a saved document of it is written now, in the
  // background, and let go. Should a step open it after all, the open waits
  // for that write and reads the file afresh. A document that a handle still
  // holds is kept until Flush.
  void Release(const std::string& path);

  static CDocBatch* Active();
  bool IsDryRun() const { return m_mode == Mode::kDryRun; }
  // In a dry run: the files whose writes Flush held back because the file
  // does not exist yet or holds other bytes, in path order.
  const std::set<std::string>& WouldChange() const { return m_wouldChange; }

 private:
  friend class CDocHandle;
  friend class CStreamHandle;
  struct Entry {
    std::shared_ptr<CCSrvDoc> doc;  // null while only newText is known
    std::string newText;            // text of WriteNew, until a step opens the file
    std::shared_ptr<CStreamedFile> stream;  // streamed edits instead of a document
    int loadResult = 0;
    bool dirty = false;
    FileStamp stamp;  // the file as it was when the batch read it
  };
  struct Failure {
    std::string path;
    std::string reason;
  };
  class CWriter;

  // Writes path's text on the writer thread, or at once when there is none.
  void Write(const std::string& path, std::shared_ptr<CCSrvDoc> doc, std::string newText,
             std::shared_ptr<CStreamedFile> stream, const FileStamp& stamp);
  // A file held in one kind (document or stream) that a step wants in the
  // other: written now if changed, then let go, so the step reads it afresh.
  void Settle(const std::string& path);
  // In a dry run: notes path as one the writes would change unless it holds
  // the entry's text already.
  void NoteIfChanged(const std::string& path, const Entry& entry);
  // Waits until a write of path that is still under way has ended.
  void WaitFor(const std::string& path);
  // Waits for every write handed to the writer; its failures wait for Flush.
  void DrainWriter();

  std::map<std::string, Entry> m_docs;
  std::vector<std::string> m_failed;  // what Flush has reported
  std::map<std::string, std::string> m_reasons;
  std::vector<Failure> m_unreported;  // failed writes the next Flush reports
  std::unique_ptr<CWriter> m_pWriter;
  CDocBatch* m_pPrevious = nullptr;
  Mode m_mode = Mode::kWrite;
  std::set<std::string> m_wouldChange;
  std::set<std::string> m_unstreamable;  // files edited as documents in this batch
};
