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

class CGeneratedFiles;

// A generated file opened as a document for one update step, from the
// CGeneratedFiles that opened it. Save hands the edits back to them: written
// at once, kept for a later write, or only compared, as they decide.
class CDocHandle {
 public:
  CCSrvDoc& operator*() const { return *m_pDoc; }
  CCSrvDoc* operator->() const { return m_pDoc; }
  const std::string& Path() const { return m_strPath; }
  // The result of the load (LoadFile's result; -1 when the file could not be
  // opened at all).
  int LoadResult() const { return m_nLoadResult; }

  // Hands the edited document back: 1 when it is written (or will be, or in a
  // check counts as written), 0 when the file cannot be created, with the
  // reason in reason. May raise CSrcFileException.
  int Save(std::string* reason = nullptr);

 private:
  friend class CGeneratedFiles;
  CDocHandle() = default;
  std::shared_ptr<CCSrvDoc> m_owned;
  CCSrvDoc* m_pDoc = nullptr;
  CGeneratedFiles* m_pFiles = nullptr;
  std::string m_strPath;
  int m_nLoadResult = 0;
};

// A file too large to hold (the binary data file) opened for one update step
// as a CStreamedFile: its edits are kept as places and texts, and the new file
// is streamed from the old one when it is written.
class CStreamHandle {
 public:
  // False when the file cannot be streamed: edit it as a document.
  explicit operator bool() const { return m_pFile != nullptr; }
  CStreamedFile& operator*() const { return *m_pFile; }
  CStreamedFile* operator->() const { return m_pFile.get(); }

  // Hands the edits back: 1 when the file holds the new text (or will, or in
  // a check counts as written), 0 when it was not written, with the reason in
  // reason.
  int Save(std::string* reason = nullptr);
  // Gives the file up before this step edits it: it is edited as a document
  // from now on. The handle becomes empty.
  void Decline();

 private:
  friend class CGeneratedFiles;
  std::shared_ptr<CStreamedFile> m_pFile;
  CGeneratedFiles* m_pFiles = nullptr;
  FileStamp m_stamp;  // the file as scanned
};

// Where the generated files of a build or an editor's step are read from and
// written to. Every function that reads or changes a generated file is given
// one: the generator, the URL and security tables, the section editors and the
// build. Which one decides what an edit does:
//   CDirectFiles  each Open loads the file afresh and each Save writes it at once;
//   CDocBatch     a build's files, each read once, edited in memory and written
//                 once (kWrite), or never written but compared (kDryRun, a check);
//   CMemoryFiles  files that live in memory only, for tests.
class CGeneratedFiles {
 public:
  virtual ~CGeneratedFiles() = default;

  // Opens path as a document (a file that cannot be opened gives a document
  // without lines and load result -1, so every marker search fails).
  virtual CDocHandle Open(Prompter& prompter, const std::string& path) = 0;
  // Opens path for streamed edits; an empty handle when it cannot be
  // streamed (it cannot be read, or is not written as the line document
  // writes files).
  virtual CStreamHandle OpenStreamed(const std::string& path) = 0;
  // Makes path hold text (CR LF line ends, as given). 1 when done (or will
  // be), 0 when the file cannot be created or written, with the reason in
  // reason.
  virtual int WriteNew(const std::string& path, std::string_view text,
                       std::string* reason = nullptr) = 0;
  // The size the file has for the steps that follow: counting the edits
  // these files hold for it. -1 when there is no such file.
  virtual std::int64_t FileSize(const std::string& path);
  // True when these files hold the file's document or new text, so that it
  // must be read through Open rather than from disk.
  virtual bool IsHeld(const std::string& path) = 0;
  // The file as it stands where these files keep it (on disk: StatusOf),
  // and whether it is read-only there. A batch asks the system once per
  // file and build, and again only after it wrote the file itself.
  virtual FileStatus Status(const std::string& path) { return StatusOf(path); }
  virtual bool IsReadOnly(const std::string& path) { return ::IsReadOnly(path); }
  // True when nothing is written (a check).
  virtual bool IsDryRun() const { return false; }
  // True when a new file is made on disk, so that its folder must exist
  // (false in a check and in memory, where a missing target directory does
  // not stop a step).
  virtual bool NeedsFolders() const { return true; }
  // True when every Open of a path gives the same document until it is
  // written, so that what a step learnt from it holds for the next step
  // while the document's revision is unchanged.
  virtual bool KeepsDocuments() const { return false; }

  // No later step opens path: what is held of it may be written now.
  virtual void Release(const std::string& path) { (void)path; }
  // Writes everything held. False when a file could not be written (see
  // FailedPaths).
  virtual bool Flush() { return true; }
  // Forgets every change not yet written: for a series of edits that failed
  // half way and must leave its files as they were.
  virtual void Discard() {}

  // The files that Flush could not write, and why (the system's reason, such
  // as "No space left on device", or kChangedOnDiskReason).
  const std::vector<std::string>& FailedPaths() const { return m_failed; }
  std::string FailureReason(const std::string& path) const;
  static constexpr const char* kChangedOnDiskReason =
      "the file was changed on disk during the build; it was left as it is";

 protected:
  friend class CDocHandle;
  friend class CStreamHandle;
  virtual int SaveDocument(CDocHandle& handle, std::string* reason) = 0;
  virtual int SaveStream(CStreamHandle& handle, std::string* reason) = 0;
  virtual void DeclineStream(const std::string& path) { (void)path; }

  CDocHandle MakeHandle(std::shared_ptr<CCSrvDoc> doc, const std::string& path, int loadResult);
  CStreamHandle MakeHandle(std::shared_ptr<CStreamedFile> file, const FileStamp& stamp);
  static CCSrvDoc& DocOf(const CDocHandle& handle) { return *handle.m_pDoc; }
  static const std::shared_ptr<CStreamedFile>& FileOf(const CStreamHandle& handle) {
    return handle.m_pFile;
  }
  static const FileStamp& ScanStampOf(const CStreamHandle& handle) { return handle.m_stamp; }
  // Loads path into a new document: LoadFile's result, -1 when the file
  // cannot be opened at all.
  static std::shared_ptr<CCSrvDoc> LoadDoc(Prompter& prompter, const std::string& path,
                                           int& result);
  void NoteFailure(const std::string& path, std::string reason);

 private:
  std::vector<std::string> m_failed;
  std::map<std::string, std::string> m_reasons;
};

// Files read from and written to disk step by step: the path of a single edit
// (an editor's change) and of a build that is not batched.
class CDirectFiles : public CGeneratedFiles {
 public:
  CDocHandle Open(Prompter& prompter, const std::string& path) override;
  CStreamHandle OpenStreamed(const std::string& path) override;
  int WriteNew(const std::string& path, std::string_view text,
               std::string* reason = nullptr) override;
  bool IsHeld(const std::string&) override { return false; }

 protected:
  int SaveDocument(CDocHandle& handle, std::string* reason) override;
  int SaveStream(CStreamHandle& handle, std::string* reason) override;
};

// Files that never touch the disk: Put gives a file its text, Text reads what
// the steps made of it. Every Open of a path shares one document, as in a batch.
class CMemoryFiles : public CGeneratedFiles {
 public:
  void Put(const std::string& path, std::string_view text);
  // The file's text, or "" when there is none.
  std::string Text(const std::string& path) const;

  CDocHandle Open(Prompter& prompter, const std::string& path) override;
  CStreamHandle OpenStreamed(const std::string&) override { return CStreamHandle(); }
  int WriteNew(const std::string& path, std::string_view text,
               std::string* reason = nullptr) override;
  bool IsHeld(const std::string& path) override;
  FileStatus Status(const std::string& path) override;
  bool IsReadOnly(const std::string&) override { return false; }
  bool KeepsDocuments() const override { return true; }
  bool NeedsFolders() const override { return false; }

 protected:
  int SaveDocument(CDocHandle& handle, std::string* reason) override;
  int SaveStream(CStreamHandle&, std::string*) override { return 0; }

 private:
  struct File {
    std::string text;               // as last given or saved
    bool exists = false;            // given or saved, not only opened
    std::shared_ptr<CCSrvDoc> doc;  // the document of the steps, once opened
    int loadResult = 1;
  };
  std::map<std::string, File> m_files;
};

// A build's generated files: each read once, shared by every step that opens
// it, edited in memory and written once (atomically): at Flush, or earlier
// when the steps are done with it (Release). Writes go out on a second thread
// while the build goes on. A file too large to hold is streamed (OpenStreamed)
// and written streamed; a file one step has open as a document and another
// wants streamed is written first and read afresh, so both kinds of edit
// follow each other as made.
class CDocBatch : public CGeneratedFiles {
 public:
  // kDryRun: nothing is ever written; Flush only notes which files the
  // writes would change (a check whether generated files are up to date).
  enum class Mode { kWrite, kDryRun };

  explicit CDocBatch(Mode mode = Mode::kWrite);
  ~CDocBatch() override;  // flushes what is still pending, swallowing errors
  CDocBatch(const CDocBatch&) = delete;
  CDocBatch& operator=(const CDocBatch&) = delete;

  CDocHandle Open(Prompter& prompter, const std::string& path) override;
  // Once a file is edited as a document in a batch it stays one: it is
  // loaded, and any question about it asked, once.
  CStreamHandle OpenStreamed(const std::string& path) override;
  // The text becomes the file's document for later Opens and is written when
  // the batch writes the file, after it was checked to be creatable. A text
  // the line document would read otherwise (a NUL byte, a line it wraps) is
  // written at once.
  int WriteNew(const std::string& path, std::string_view text,
               std::string* reason = nullptr) override;
  std::int64_t FileSize(const std::string& path) override;
  bool IsHeld(const std::string& path) override;
  FileStatus Status(const std::string& path) override;
  bool IsReadOnly(const std::string& path) override;
  bool IsDryRun() const override { return m_mode == Mode::kDryRun; }
  bool NeedsFolders() const override { return !IsDryRun(); }
  bool KeepsDocuments() const override { return true; }

  // A saved document of path is written now, in the background, and let go.
  // Should a step open it after all, the open waits for that write and reads
  // the file afresh. A document that a handle still holds is kept until Flush.
  void Release(const std::string& path) override;
  // Writes every saved document and waits for every write, released ones
  // included; keeps going past a file that cannot be written. A file that
  // changed on disk since the batch read it (a user saved it in an editor
  // meanwhile) is not written: its write fails, and the user's file stays.
  bool Flush() override;
  void Discard() override;

  // In a dry run: the files whose writes Flush held back because the file
  // does not exist yet or holds other bytes, in path order.
  const std::set<std::string>& WouldChange() const { return m_wouldChange; }

 protected:
  int SaveDocument(CDocHandle& handle, std::string* reason) override;
  int SaveStream(CStreamHandle& handle, std::string* reason) override;
  void DeclineStream(const std::string& path) override { m_unstreamable.insert(path); }

 private:
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

  // Writes the entry's text to path on the writer thread, or at once when
  // there is none.
  void Write(const std::string& path, Entry entry);
  // Writes it on this thread now; a failure waits for the next Flush.
  void WriteHere(const std::string& path, const Entry& entry);
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
  // What Status and IsReadOnly know of path, and the entry to fill.
  struct Facts {
    bool known = false;
    FileStatus status;
    int readOnly = -1;  // -1 not asked yet
  };
  Facts& FactsOf(const std::string& path);

  std::map<std::string, Entry> m_docs;
  std::vector<Failure> m_unreported;  // failed writes the next Flush reports
  std::unique_ptr<CWriter> m_pWriter;
  Mode m_mode = Mode::kWrite;
  std::set<std::string> m_wouldChange;
  std::set<std::string> m_unstreamable;  // files edited as documents in this batch
  // The files as the system told them, until the batch writes them.
  std::map<std::string, Facts> m_facts;
};
