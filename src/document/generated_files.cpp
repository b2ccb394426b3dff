#include "document/generated_files.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/file_util.h"

std::int64_t CGeneratedFiles::FileSize(const std::string& path) {
  const FileStatus status = Status(path);
  return status.exists ? status.size : -1;
}

std::string CGeneratedFiles::FailureReason(const std::string& path) const {
  const auto it = m_reasons.find(path);
  return it == m_reasons.end() ? std::string() : it->second;
}

void CGeneratedFiles::NoteFailure(const std::string& path, std::string reason) {
  m_failed.push_back(path);
  m_reasons[path] = std::move(reason);
}

CDocHandle CGeneratedFiles::MakeHandle(std::shared_ptr<CCSrvDoc> doc, const std::string& path,
                                       int loadResult) {
  CDocHandle handle;
  handle.m_owned = std::move(doc);
  handle.m_pDoc = handle.m_owned.get();
  handle.m_pFiles = this;
  handle.m_strPath = path;
  handle.m_nLoadResult = loadResult;
  return handle;
}

CStreamHandle CGeneratedFiles::MakeHandle(std::shared_ptr<CStreamedFile> file,
                                          const FileStamp& stamp) {
  CStreamHandle handle;
  handle.m_pFile = std::move(file);
  handle.m_pFiles = this;
  handle.m_stamp = stamp;
  return handle;
}

std::shared_ptr<CCSrvDoc> CGeneratedFiles::LoadDoc(Prompter& prompter, const std::string& path,
                                                   int& result) {
  auto doc = std::make_shared<CCSrvDoc>(prompter);
  result = doc->LoadFile(path);
  if (result == 0 && doc->LastError() == 1) result = -1;
  return doc;
}

int CDocHandle::Save(std::string* reason) {
  std::string why;
  const int saved = m_pFiles->SaveDocument(*this, &why);
  if (saved != 1 && reason != nullptr) *reason = why;
  return saved;
}

int CStreamHandle::Save(std::string* reason) {
  std::string why;
  const int saved = m_pFiles->SaveStream(*this, &why);
  if (saved != 1 && reason != nullptr) *reason = why;
  return saved;
}

void CStreamHandle::Decline() {
  if (m_pFile != nullptr) m_pFiles->DeclineStream(m_pFile->Path());
  m_pFile.reset();
}

namespace {

// The system's reason for error, or a plain one when there is none.
std::string ReasonOf(int error) {
  return error != 0 ? std::strerror(error) : "the file could not be written";
}

// True when a text loads into the line document exactly as it stands (no
// NUL byte, no line the document would wrap).
bool LoadsAsItStands(std::string_view text) {
  for (size_t start = 0; start < text.size();) {
    const size_t lf = std::min(text.find('\n', start), text.size());
    size_t end = lf;
    if (lf < text.size() && end > start && text[end - 1] == '\r') --end;
    if (!CSourceText::LoadsAsOneLine(text.substr(start, end - start))) return false;
    start = lf + 1;
  }
  return true;
}

// True when path already holds the streamed file's new text.
bool StreamSavedIn(const std::string& path, const CStreamedFile& stream) {
  return !stream.Changed() || FileHoldsPieces(path, kUnknownSize, stream.Pieces());
}

// Writes one pending file; true when it holds its text afterwards, else
// reason says why not. A file that already holds the text is left as it is
// (and keeps its time); one that changed since it was read is never written.
bool WriteEntry(const std::string& path, const std::shared_ptr<CCSrvDoc>& doc,
                const std::string& newText, const std::shared_ptr<CStreamedFile>& stream,
                const FileStamp& stamp, std::string& reason) {
  if (StampOf(path) != stamp) {
    reason = CGeneratedFiles::kChangedOnDiskReason;
    return false;
  }
  bool ok = false;
  int error = 0;
  try {
    if (stream != nullptr) {
      // The new text is read from the file as it was scanned: a file saved
      // by someone else meanwhile is never replaced, however late it came.
      ok = StreamSavedIn(path, *stream) ||
           ReplaceFileAtomicallyInPieces(
               path, stream->Pieces(), [&] { return StampOf(path) == stamp; }, &error) ==
               ReplaceResult::kOk;
    } else if (doc != nullptr) {
      ok = doc->IsSavedIn(path) || doc->SaveFile(path, &error) == 1;
    } else {
      ok = FileHolds(path, newText) ||
           ReplaceFileAtomically(path, newText, &error) == ReplaceResult::kOk;
    }
  } catch (const CStreamError& e) {
    // A source of the new text could not be read, or the file itself changed:
    // the file stays as it is.
    reason = StampOf(path) != stamp ? CGeneratedFiles::kChangedOnDiskReason : e.what();
    return false;
  } catch (const CSrcFileException& e) {
    error = e.Error();
  } catch (...) {
    // No memory for the pieces: the file is reported as not written (an
    // exception must not leave the writer thread).
  }
  if (!ok) {
    if (StampOf(path) != stamp) {
      reason = CGeneratedFiles::kChangedOnDiskReason;
    } else if (error == 0 && IsReadOnly(path)) {
      reason = std::strerror(EACCES);
    } else {
      reason = ReasonOf(error);
    }
  }
  return ok;
}

// Writes a document to path at once: 1, or 0 with the reason.
int SaveDocumentNow(CCSrvDoc& doc, const std::string& path, std::string* reason) {
  int error = 0;
  if (doc.SaveFile(path, &error) == 1) return 1;
  if (reason) *reason = ReasonOf(error);
  return 0;
}

// Writes a streamed file's edits at once, unless the file changed since the
// scan that stamp records: 1, or 0 with the reason.
int SaveStreamNow(const std::shared_ptr<CStreamedFile>& file, const FileStamp& stamp,
                  std::string* reason) {
  std::string why;
  if (WriteEntry(file->Path(), nullptr, std::string(), file, stamp, why)) return 1;
  if (reason) *reason = why;
  return 0;
}

// Files handed over that wake the writer thread.
constexpr size_t kWakeJobs = 16;
// Files handed over and not yet taken beyond which the build's thread
// writes the oldest itself.
constexpr size_t kMaxQueuedJobs = 64;

// A file of at least this many lines (a binary data file, mostly) is worth
// writing at once: handed to the writer it wakes it, and at Flush the
// flushing thread writes it itself while the writer takes the others.
constexpr int kBigFileLines = 100000;

int LinesOf(const std::shared_ptr<CCSrvDoc>& doc, const std::shared_ptr<CStreamedFile>& stream) {
  // A streamed file is streamed because it is big.
  if (stream != nullptr) return kBigFileLines;
  return doc ? doc->GetLineCount() : 0;
}

}  // namespace

// The batch's second thread: writes files in the order they are handed over.
// Writing is mostly the kernel copying into the page cache and making files,
// which goes on here while the build converts the next nodes.
class CDocBatch::CWriter {
 public:
  CWriter() : m_thread([this] { Run(); }) {}
  ~CWriter() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_bStop = true;
    }
    m_work.notify_one();
    m_thread.join();
  }

  void Add(std::string path, std::shared_ptr<CCSrvDoc> doc, std::string newText,
           std::shared_ptr<CStreamedFile> stream, const FileStamp& stamp) {
    // Waking the thread for every small file would cost more than many a
    // write: it is woken for a big file, when a few have gathered, or by Wake.
    const bool big = LinesOf(doc, stream) >= kBigFileLines;
    bool wake = false;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_pending.insert(path);
      m_jobs.push_back(
          {std::move(path), std::move(doc), std::move(newText), std::move(stream), stamp});
      wake = big || m_jobs.size() >= kWakeJobs;
    }
    if (wake) m_work.notify_one();
    // Documents must not pile up in memory when the disk is slower than the
    // conversions; nor may the build stop while the writer is busy with a big
    // file. Beyond a bound this thread writes the oldest waiting file itself.
    for (;;) {
      Job job;
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_jobs.size() < kMaxQueuedJobs) return;
        job = std::move(m_jobs.front());
        m_jobs.pop_front();
      }
      Finish(job);
    }
  }
  // Starts the thread on what it has been given.
  void Wake() { m_work.notify_one(); }
  bool IsPending(const std::string& path) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pending.count(path) != 0;
  }
  // Waits until every file handed over is written; returns the paths that
  // could not be, since the last call.
  std::vector<Failure> Drain() {
    Wake();
    std::unique_lock<std::mutex> lock(m_mutex);
    m_idle.wait(lock, [this] { return m_pending.empty(); });
    return std::exchange(m_failed, {});
  }

 private:
  struct Job {
    std::string path;
    std::shared_ptr<CCSrvDoc> doc;
    std::string newText;
    std::shared_ptr<CStreamedFile> stream;
    FileStamp stamp;
  };

  void Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
      m_work.wait(lock, [this] { return m_bStop || !m_jobs.empty(); });
      if (m_jobs.empty()) return;
      Job job = std::move(m_jobs.front());
      m_jobs.pop_front();
      lock.unlock();
      Finish(job);
      lock.lock();
    }
  }

  // Writes a job taken off the queue (by either thread) and accounts for it.
  void Finish(Job& job) {
    std::string reason;
    const bool ok = WriteEntry(job.path, job.doc, job.newText, job.stream, job.stamp, reason);
    job.doc.reset();  // a released document goes where it was written
    job.stream.reset();
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!ok) m_failed.push_back({job.path, reason});
    m_pending.erase(m_pending.find(job.path));
    if (m_pending.empty()) m_idle.notify_all();
  }

  std::mutex m_mutex;
  std::condition_variable m_work;
  std::condition_variable m_idle;
  std::deque<Job> m_jobs;
  std::multiset<std::string> m_pending;  // paths handed over and not yet written
  std::vector<Failure> m_failed;
  bool m_bStop = false;
  std::thread m_thread;  // last: starts when everything it uses is made
};

CDocBatch::CDocBatch(Mode mode) : m_mode(mode) {}

CDocBatch::~CDocBatch() {
  Flush();
  m_pWriter.reset();
}

CDocBatch::Facts& CDocBatch::FactsOf(const std::string& path) {
  // A file being written is asked about once its write has ended.
  WaitFor(path);
  return m_facts[path];
}

FileStatus CDocBatch::Status(const std::string& path) {
  Facts& facts = FactsOf(path);
  if (!facts.known) {
    facts.status = StatusOf(path);
    facts.known = true;
  }
  return facts.status;
}

bool CDocBatch::IsReadOnly(const std::string& path) {
  Facts& facts = FactsOf(path);
  if (facts.readOnly < 0) facts.readOnly = ::IsReadOnly(path, Status(path)) ? 1 : 0;
  return facts.readOnly != 0;
}

void CDocBatch::WriteHere(const std::string& path, const Entry& entry) {
  m_facts.erase(path);
  std::string reason;
  if (!WriteEntry(path, entry.doc, entry.newText, entry.stream, entry.stamp, reason)) {
    m_unreported.push_back({path, reason});
  }
}

void CDocBatch::Write(const std::string& path, Entry entry) {
  m_facts.erase(path);
  if (m_pWriter == nullptr) {
    try {
      m_pWriter = std::make_unique<CWriter>();
    } catch (const std::system_error&) {
      // No thread to be had: this one writes.
    }
  }
  if (m_pWriter != nullptr) {
    m_pWriter->Add(path, std::move(entry.doc), std::move(entry.newText), std::move(entry.stream),
                   entry.stamp);
  } else {
    WriteHere(path, entry);
  }
}

void CDocBatch::NoteIfChanged(const std::string& path, const Entry& entry) {
  bool same = false;
  try {
    same = entry.stream ? StreamSavedIn(path, *entry.stream)
           : entry.doc  ? entry.doc->IsSavedIn(path)
                        : FileHolds(path, entry.newText);
  } catch (const CStreamError&) {
    // A source that cannot be read: the file cannot be up to date.
  }
  if (!same) m_wouldChange.insert(path);
}

void CDocBatch::Settle(const std::string& path) {
  WaitFor(path);
  const auto it = m_docs.find(path);
  if (it == m_docs.end()) return;
  if (IsDryRun() && it->second.stream && it->second.stream->FromText()) {
    // A file this check made and did not write: its text is all there is of it.
    Entry& entry = it->second;
    const TextPieces pieces = entry.stream->Pieces();
    for (std::string_view piece = pieces(); !piece.empty(); piece = pieces()) {
      entry.newText.append(piece);
    }
    entry.stream.reset();
    return;
  }
  Entry entry = std::move(it->second);
  m_docs.erase(it);
  if (!entry.dirty) return;
  if (IsDryRun()) {
    // Nothing is written: whether the file would change is noted now.
    NoteIfChanged(path, entry);
    return;
  }
  WriteHere(path, entry);
}

void CDocBatch::WaitFor(const std::string& path) {
  if (m_pWriter != nullptr && m_pWriter->IsPending(path)) DrainWriter();
}

void CDocBatch::DrainWriter() {
  if (m_pWriter == nullptr) return;
  std::vector<Failure> failed = m_pWriter->Drain();
  m_unreported.insert(m_unreported.end(), failed.begin(), failed.end());
}

void CDocBatch::Release(const std::string& path) {
  // A dry run keeps every document: there is no write to hand it to.
  if (IsDryRun()) return;
  WaitFor(path);
  const auto it = m_docs.find(path);
  if (it == m_docs.end()) return;
  // A handle that is still open may edit the document again: it stays for Flush.
  if (it->second.doc.use_count() > 1 || it->second.stream.use_count() > 1) return;
  Entry entry = std::move(it->second);
  m_docs.erase(it);
  if (entry.dirty) Write(path, std::move(entry));
}

void CDocBatch::Discard() {
  DrainWriter();
  m_docs.clear();
}

bool CDocBatch::Flush() {
  if (IsDryRun()) {
    for (auto& [path, entry] : m_docs) {
      if (!entry.dirty) continue;
      entry.dirty = false;
      NoteIfChanged(path, entry);
    }
    return true;
  }
  std::vector<std::pair<const std::string*, Entry*>> pending;
  for (auto& [path, entry] : m_docs) {
    if (!entry.dirty) continue;
    entry.dirty = false;
    pending.emplace_back(&path, &entry);
  }
  // A big binary data file is written on this thread while the writer takes
  // the others.
  size_t big = pending.size();
  int bigLines = kBigFileLines - 1;
  for (size_t i = 0; i < pending.size(); ++i) {
    const int lines = LinesOf(pending[i].second->doc, pending[i].second->stream);
    if (lines > bigLines) {
      big = i;
      bigLines = lines;
    }
  }
  for (size_t i = 0; i < pending.size(); ++i) {
    if (i != big) Write(*pending[i].first, *pending[i].second);
  }
  if (m_pWriter != nullptr) m_pWriter->Wake();
  if (big < pending.size()) WriteHere(*pending[big].first, *pending[big].second);
  DrainWriter();
  std::map<std::string, std::string> reasons;
  for (Failure& failure : std::exchange(m_unreported, {})) {
    reasons[failure.path] = std::move(failure.reason);
  }
  std::vector<std::string> failed;
  for (auto& [path, reason] : reasons) {
    failed.push_back(path);
    NoteFailure(path, std::move(reason));
  }
  // A document kept for later steps is compared with the file as written now;
  // a streamed file is scanned afresh by the next step that edits it.
  for (auto& [path, entry] : pending) {
    if (!std::binary_search(failed.begin(), failed.end(), *path)) entry->stamp = StampOf(*path);
  }
  std::erase_if(m_docs, [](const auto& item) { return item.second.stream != nullptr; });
  return failed.empty();
}

CDocHandle CDocBatch::Open(Prompter& prompter, const std::string& path) {
  WaitFor(path);
  auto it = m_docs.find(path);
  if (it != m_docs.end() && it->second.stream != nullptr) {
    Settle(path);
    it = m_docs.find(path);
  }
  if (it == m_docs.end()) {
    Entry entry;
    entry.stamp = StampOf(path);
    entry.doc = LoadDoc(prompter, path, entry.loadResult);
    it = m_docs.emplace(path, std::move(entry)).first;
  } else if (it->second.doc == nullptr) {
    // A file made in this batch: its lines as a load of the written file gives them.
    Entry& entry = it->second;
    entry.doc = std::make_shared<CCSrvDoc>(prompter);
    entry.loadResult = entry.doc->LoadText(entry.newText);
    std::string().swap(entry.newText);
  }
  return MakeHandle(it->second.doc, path, it->second.loadResult);
}

int CDocBatch::WriteNew(const std::string& path, std::string_view text, std::string* reason) {
  WaitFor(path);
  m_docs.erase(path);
  if (IsDryRun()) {
    // Nothing is written: the text stays the file's document, however it loads.
    Entry entry;
    entry.newText.assign(text);
    entry.dirty = true;
    m_docs.emplace(path, std::move(entry));
    return 1;
  }
  m_facts.erase(path);
  if (!LoadsAsItStands(text)) {
    // Written at once, so that the next load meets it as it is.
    CDirectFiles direct;
    return direct.WriteNew(path, text, reason);
  }
  // The write comes later; what would make it fail then fails now.
  int error = IsReadOnly(path) ? EACCES : 0;
  if (error != 0 || !CanReplaceFile(path, &error)) {
    if (reason) *reason = std::strerror(error);
    return 0;
  }
  Entry entry;
  entry.newText.assign(text);
  entry.dirty = true;
  entry.stamp = StampOf(path);
  m_docs.emplace(path, std::move(entry));
  return 1;
}

std::int64_t CDocBatch::FileSize(const std::string& path) {
  WaitFor(path);
  auto it = m_docs.find(path);
  // The size of streamed edits is known once they are written.
  if (it != m_docs.end() && it->second.stream != nullptr) {
    Settle(path);
    it = m_docs.find(path);
  }
  if (it != m_docs.end() && it->second.dirty) {
    const Entry& entry = it->second;
    if (entry.doc == nullptr) return static_cast<std::int64_t>(entry.newText.size());
    return static_cast<std::int64_t>(entry.doc->SavedSize());
  }
  return CGeneratedFiles::FileSize(path);
}

bool CDocBatch::IsHeld(const std::string& path) {
  WaitFor(path);
  return m_docs.count(path) != 0;
}

int CDocBatch::SaveDocument(CDocHandle& handle, std::string* reason) {
  const std::string& path = handle.Path();
  auto it = m_docs.find(path);
  if (it != m_docs.end() && it->second.doc.get() == &DocOf(handle)) {
    if (!IsDryRun() && IsReadOnly(path)) {
      if (reason) *reason = std::strerror(EACCES);
      return 0;
    }
    it->second.dirty = true;
    return 1;
  }
  // The batch let the document go (Release): its write must end first.
  WaitFor(path);
  if (IsDryRun()) {
    // A check never writes, whatever became of the document's entry.
    if (!DocOf(handle).IsSavedIn(path)) m_wouldChange.insert(path);
    return 1;
  }
  m_facts.erase(path);
  return SaveDocumentNow(DocOf(handle), path, reason);
}

CStreamHandle CDocBatch::OpenStreamed(const std::string& path) {
  if (m_unstreamable.count(path) != 0) return CStreamHandle();
  WaitFor(path);
  auto it = m_docs.find(path);
  if (it != m_docs.end() && it->second.stream != nullptr) {
    return MakeHandle(it->second.stream, it->second.stamp);
  }
  // Edits made to the file as a document go out before it is scanned; a
  // dry run, which writes nothing, streams a text made by WriteNew as it
  // stands and goes on with a document.
  if (it != m_docs.end() && it->second.dirty && IsDryRun()) {
    Entry& entry = it->second;
    if (entry.doc != nullptr) return CStreamHandle();
    auto file = std::make_shared<CStreamedFile>();
    if (!file->ScanText(path, entry.newText)) return CStreamHandle();
    entry.newText.clear();
    entry.stream = file;
    return MakeHandle(file, entry.stamp);
  }
  Settle(path);
  auto file = std::make_shared<CStreamedFile>();
  if (!file->Scan(path)) {
    m_unstreamable.insert(path);
    return CStreamHandle();
  }
  Entry entry;
  entry.stream = file;
  entry.stamp = file->Stamp();
  m_docs.emplace(path, std::move(entry));
  return MakeHandle(file, file->Stamp());
}

int CDocBatch::SaveStream(CStreamHandle& handle, std::string* reason) {
  const std::shared_ptr<CStreamedFile>& file = FileOf(handle);
  const std::string& path = file->Path();
  const auto it = m_docs.find(path);
  if (it != m_docs.end() && it->second.stream == file) {
    if (!IsDryRun() && IsReadOnly(path)) {
      if (reason) *reason = std::strerror(EACCES);
      return 0;
    }
    it->second.dirty = true;
    return 1;
  }
  if (IsDryRun()) {
    // A check never writes, whatever became of the file's entry.
    Entry entry;
    entry.stream = file;
    NoteIfChanged(path, entry);
    return 1;
  }
  m_facts.erase(path);
  return SaveStreamNow(file, ScanStampOf(handle), reason);
}

CDocHandle CDirectFiles::Open(Prompter& prompter, const std::string& path) {
  int result = 0;
  std::shared_ptr<CCSrvDoc> doc = LoadDoc(prompter, path, result);
  return MakeHandle(std::move(doc), path, result);
}

CStreamHandle CDirectFiles::OpenStreamed(const std::string& path) {
  auto file = std::make_shared<CStreamedFile>();
  if (!file->Scan(path)) return CStreamHandle();
  const FileStamp stamp = file->Stamp();
  return MakeHandle(std::move(file), stamp);
}

int CDirectFiles::WriteNew(const std::string& path, std::string_view text, std::string* reason) {
  int error = 0;
  if (IsReadOnly(path)) {
    error = EACCES;
  } else if (ReplaceFileAtomically(path, text, &error) == ReplaceResult::kOk) {
    return 1;
  }
  if (reason) *reason = ReasonOf(error);
  return 0;
}

int CDirectFiles::SaveDocument(CDocHandle& handle, std::string* reason) {
  return SaveDocumentNow(DocOf(handle), handle.Path(), reason);
}

int CDirectFiles::SaveStream(CStreamHandle& handle, std::string* reason) {
  return SaveStreamNow(FileOf(handle), ScanStampOf(handle), reason);
}

void CMemoryFiles::Put(const std::string& path, std::string_view text) {
  File& file = m_files[path];
  file.text.assign(text);
  file.exists = true;
  file.doc.reset();
}

std::string CMemoryFiles::Text(const std::string& path) const {
  const auto it = m_files.find(path);
  return it == m_files.end() ? std::string() : it->second.text;
}

CDocHandle CMemoryFiles::Open(Prompter& prompter, const std::string& path) {
  File& file = m_files[path];
  if (file.doc == nullptr) {
    file.doc = std::make_shared<CCSrvDoc>(prompter);
    if (file.exists) {
      file.loadResult = file.doc->LoadText(file.text);
    } else {
      // No such file: a document without lines, as a load of a missing file
      // gives; saving it makes the file.
      file.doc->SetLastError(1);
      file.loadResult = -1;
    }
  }
  return MakeHandle(file.doc, path, file.loadResult);
}

int CMemoryFiles::WriteNew(const std::string& path, std::string_view text, std::string*) {
  Put(path, text);
  return 1;
}

bool CMemoryFiles::IsHeld(const std::string& path) { return m_files.count(path) != 0; }

FileStatus CMemoryFiles::Status(const std::string& path) {
  FileStatus status;
  const auto it = m_files.find(path);
  if (it == m_files.end() || !it->second.exists) return status;
  status.exists = status.regular = status.writeBit = true;
  status.size = static_cast<std::int64_t>(it->second.text.size());
  return status;
}

int CMemoryFiles::SaveDocument(CDocHandle& handle, std::string*) {
  File& file = m_files[handle.Path()];
  // A document of a text given since is outdone by that text, as a batch
  // writes a file's newest text last.
  if (file.doc.get() != &DocOf(handle)) return 1;
  file.text = DocOf(handle).JoinedText();
  file.exists = true;
  return 1;
}
