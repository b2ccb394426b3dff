#include "document/doc_handle.h"

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

namespace {
CDocBatch* g_activeBatch = nullptr;

std::shared_ptr<CCSrvDoc> LoadDoc(Prompter& prompter, const std::string& path, int& result) {
  auto doc = std::make_shared<CCSrvDoc>(prompter);
  result = doc->LoadFile(path);
  if (result == 0 && doc->LastError() == 1) result = -1;
  return doc;
}
}  // namespace

CDocHandle CDocHandle::Open(Prompter& prompter, const std::string& path) {
  CDocHandle handle;
  handle.m_strPath = path;
  CDocBatch* batch = g_activeBatch;
  if (batch == nullptr) {
    handle.m_owned = LoadDoc(prompter, path, handle.m_nLoadResult);
    handle.m_pDoc = handle.m_owned.get();
    return handle;
  }
  batch->WaitFor(path);
  auto it = batch->m_docs.find(path);
  if (it != batch->m_docs.end() && it->second.stream != nullptr) {
    batch->Settle(path);
    it = batch->m_docs.find(path);
  }
  if (it == batch->m_docs.end()) {
    CDocBatch::Entry entry;
    entry.stamp = StampOf(path);
    entry.doc = LoadDoc(prompter, path, entry.loadResult);
    it = batch->m_docs.emplace(path, std::move(entry)).first;
  } else if (it->second.doc == nullptr) {
    // A file made in this batch: its lines as a load of the written file gives them.
    CDocBatch::Entry& entry = it->second;
    entry.doc = std::make_shared<CCSrvDoc>(prompter);
    entry.loadResult = entry.doc->LoadText(entry.newText);
    std::string().swap(entry.newText);
  }
  handle.m_owned = it->second.doc;
  handle.m_pDoc = handle.m_owned.get();
  handle.m_pBatch = batch;
  handle.m_nLoadResult = it->second.loadResult;
  return handle;
}

int CDocHandle::WriteNew(const std::string& path, std::string_view text) {
  CDocBatch* batch = g_activeBatch;
  if (batch != nullptr) {
    batch->WaitFor(path);
    batch->m_docs.erase(path);
  }
  if (batch != nullptr && batch->IsDryRun()) {
    // Nothing is written: the text stays the file's document, however it loads.
    CDocBatch::Entry entry;
    entry.newText.assign(text);
    entry.dirty = true;
    batch->m_docs.emplace(path, std::move(entry));
    return 1;
  }
  if (IsReadOnly(path)) return 0;
  // A text the line document would read differently (a NUL byte, a line it
  // wraps) is written at once, so that the next load meets it as it is.
  bool plain = true;
  for (size_t start = 0; plain && start < text.size();) {
    const size_t lf = std::min(text.find('\n', start), text.size());
    size_t end = lf;
    if (lf < text.size() && end > start && text[end - 1] == '\r') --end;
    plain = CSourceText::LoadsAsOneLine(text.substr(start, end - start));
    start = lf + 1;
  }
  if (batch == nullptr || !plain) {
    return ReplaceFileAtomically(path, text) == ReplaceResult::kOk ? 1 : 0;
  }
  // The write comes later; what would make it fail then fails now.
  if (!CanReplaceFile(path)) return 0;
  CDocBatch::Entry entry;
  entry.newText.assign(text);
  entry.dirty = true;
  entry.stamp = StampOf(path);
  batch->m_docs.emplace(path, std::move(entry));
  return 1;
}

std::int64_t CDocHandle::FileSize(const std::string& path) {
  if (g_activeBatch != nullptr) {
    g_activeBatch->WaitFor(path);
    auto it = g_activeBatch->m_docs.find(path);
    // The size of streamed edits is known once they are written.
    if (it != g_activeBatch->m_docs.end() && it->second.stream != nullptr) {
      g_activeBatch->Settle(path);
      it = g_activeBatch->m_docs.find(path);
    }
    if (it != g_activeBatch->m_docs.end() && it->second.dirty) {
      const CDocBatch::Entry& entry = it->second;
      if (entry.doc == nullptr) return static_cast<std::int64_t>(entry.newText.size());
      return static_cast<std::int64_t>(entry.doc->SavedSize());
    }
  }
  return ::FileSize(path);
}

bool CDocHandle::IsHeld(const std::string& path) {
  if (g_activeBatch == nullptr) return false;
  g_activeBatch->WaitFor(path);
  return g_activeBatch->m_docs.count(path) != 0;
}

int CDocHandle::Save() {
  if (m_pBatch != nullptr && m_pBatch == g_activeBatch) {
    auto it = m_pBatch->m_docs.find(m_strPath);
    if (it != m_pBatch->m_docs.end() && it->second.doc.get() == m_pDoc) {
      if (!m_pBatch->IsDryRun() && IsReadOnly(m_strPath)) return 0;
      it->second.dirty = true;
      return 1;
    }
    // The batch let the document go (Release): its write must end first.
    m_pBatch->WaitFor(m_strPath);
  }
  return m_pDoc->SaveFile(m_strPath);
}

namespace {

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
    reason = CDocBatch::kChangedOnDiskReason;
    return false;
  }
  bool ok = false;
  try {
    if (stream != nullptr) {
      // The new text is read from the file as it was scanned: a file saved
      // by someone else meanwhile is never replaced, however late it came.
      ok = StreamSavedIn(path, *stream) ||
           ReplaceFileAtomicallyInPieces(path, stream->Pieces(), [&] {
             return StampOf(path) == stamp;
           }) == ReplaceResult::kOk;
    } else if (doc != nullptr) {
      ok = doc->IsSavedIn(path) || doc->SaveFile(path) == 1;
    } else {
      ok = FileHolds(path, newText) || ReplaceFileAtomically(path, newText) == ReplaceResult::kOk;
    }
  } catch (const CStreamError& e) {
    // A source of the new text could not be read, or the file itself changed:
    // the file stays as it is.
    reason = StampOf(path) != stamp ? CDocBatch::kChangedOnDiskReason : e.what();
    return false;
  } catch (...) {
    // A write error, or no memory for the pieces: the file is reported as not
    // written (an exception must not leave the writer thread).
    ok = false;
  }
  if (!ok) {
    if (StampOf(path) != stamp) {
      reason = CDocBatch::kChangedOnDiskReason;
    } else if (IsReadOnly(path)) {
      reason = std::strerror(EACCES);
    } else if (LastReplaceError() != 0) {
      reason = std::strerror(LastReplaceError());
    } else {
      reason = "the file could not be written";
    }
  }
  return ok;
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

CDocBatch::CDocBatch(Mode mode) : m_pPrevious(g_activeBatch), m_mode(mode) { g_activeBatch = this; }

CDocBatch::~CDocBatch() {
  Flush();
  m_pWriter.reset();
  g_activeBatch = m_pPrevious;
}

CDocBatch* CDocBatch::Active() { return g_activeBatch; }

void CDocBatch::Write(const std::string& path, std::shared_ptr<CCSrvDoc> doc, std::string newText,
                      std::shared_ptr<CStreamedFile> stream, const FileStamp& stamp) {
  if (m_pWriter == nullptr) {
    try {
      m_pWriter = std::make_unique<CWriter>();
    } catch (const std::system_error&) {
      // No thread to be had: this one writes.
    }
  }
  if (m_pWriter != nullptr) {
    m_pWriter->Add(path, std::move(doc), std::move(newText), std::move(stream), stamp);
  } else if (std::string reason; !WriteEntry(path, doc, newText, stream, stamp, reason)) {
    m_unreported.push_back({path, reason});
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
  std::string reason;
  if (!WriteEntry(path, entry.doc, entry.newText, entry.stream, entry.stamp, reason)) {
    m_unreported.push_back({path, reason});
  }
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
  if (entry.dirty) {
    Write(path, std::move(entry.doc), std::move(entry.newText), std::move(entry.stream),
          entry.stamp);
  }
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
    const Entry& entry = *pending[i].second;
    if (i != big) Write(*pending[i].first, entry.doc, entry.newText, entry.stream, entry.stamp);
  }
  if (m_pWriter != nullptr) m_pWriter->Wake();
  if (big < pending.size()) {
    const Entry& entry = *pending[big].second;
    std::string reason;
    if (!WriteEntry(*pending[big].first, entry.doc, entry.newText, entry.stream, entry.stamp,
                    reason)) {
      m_unreported.push_back({*pending[big].first, reason});
    }
  }
  DrainWriter();
  std::vector<std::string> failed;
  for (Failure& failure : std::exchange(m_unreported, {})) {
    failed.push_back(failure.path);
    m_reasons[failure.path] = std::move(failure.reason);
  }
  std::sort(failed.begin(), failed.end());
  failed.erase(std::unique(failed.begin(), failed.end()), failed.end());
  // A document kept for later steps is compared with the file as written now;
  // a streamed file is scanned afresh by the next step that edits it.
  for (auto& [path, entry] : pending) {
    if (!std::binary_search(failed.begin(), failed.end(), *path)) entry->stamp = StampOf(*path);
  }
  std::erase_if(m_docs, [](const auto& item) { return item.second.stream != nullptr; });
  m_failed.insert(m_failed.end(), failed.begin(), failed.end());
  return failed.empty();
}

std::string CDocBatch::FailureReason(const std::string& path) const {
  const auto it = m_reasons.find(path);
  return it == m_reasons.end() ? std::string() : it->second;
}

CStreamHandle CStreamHandle::Open(const std::string& path) {
  CStreamHandle handle;
  CDocBatch* batch = g_activeBatch;
  if (batch != nullptr) {
    // Once a file is edited as a document in a batch, it stays one: it is
    // loaded, and any question about it asked, once.
    if (batch->m_unstreamable.count(path) != 0) return handle;
    batch->WaitFor(path);
    auto it = batch->m_docs.find(path);
    if (it != batch->m_docs.end() && it->second.stream != nullptr) {
      handle.m_pFile = it->second.stream;
      handle.m_pBatch = batch;
      return handle;
    }
    // Edits made to the file as a document go out before it is scanned; a
    // dry run, which writes nothing, streams a text made by WriteNew as
    // it stands and goes on with a document.
    if (it != batch->m_docs.end() && it->second.dirty && batch->IsDryRun()) {
      CDocBatch::Entry& entry = it->second;
      if (entry.doc != nullptr) return handle;
      auto file = std::make_shared<CStreamedFile>();
      if (!file->ScanText(path, entry.newText)) return handle;
      entry.newText.clear();
      entry.stream = file;
      handle.m_pFile = file;
      handle.m_pBatch = batch;
      return handle;
    }
    batch->Settle(path);
  }
  auto file = std::make_shared<CStreamedFile>();
  if (!file->Scan(path)) {
    if (batch != nullptr) batch->m_unstreamable.insert(path);
    return handle;
  }
  const FileStamp stamp = file->Stamp();
  handle.m_pFile = file;
  if (batch != nullptr) {
    CDocBatch::Entry entry;
    entry.stream = file;
    entry.stamp = stamp;
    batch->m_docs.emplace(path, std::move(entry));
    handle.m_pBatch = batch;
  } else {
    handle.m_stamp = stamp;
  }
  return handle;
}

int CStreamHandle::Save(std::string* reason) {
  const std::string& path = m_pFile->Path();
  if (m_pBatch != nullptr && m_pBatch == g_activeBatch) {
    const auto it = m_pBatch->m_docs.find(path);
    if (it != m_pBatch->m_docs.end() && it->second.stream == m_pFile) {
      if (!m_pBatch->IsDryRun() && IsReadOnly(path)) {
        if (reason) *reason = std::strerror(EACCES);
        return 0;
      }
      it->second.dirty = true;
      return 1;
    }
  }
  std::string why;
  if (WriteEntry(path, nullptr, std::string(), m_pFile, m_stamp, why)) return 1;
  if (reason) *reason = why;
  return 0;
}

void CStreamHandle::Decline() {
  if (m_pBatch != nullptr && m_pBatch == g_activeBatch) {
    m_pBatch->m_unstreamable.insert(m_pFile->Path());
  }
  m_pFile.reset();
  m_pBatch = nullptr;
}
