#include "document/doc_handle.h"

#include <unistd.h>

#include <algorithm>
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
  auto it = batch->m_docs.find(path);
  if (it == batch->m_docs.end()) {
    CDocBatch::Entry entry;
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
  if (batch != nullptr) batch->m_docs.erase(path);
  if (IsReadOnly(path)) return 0;
  // A text the line document would read differently (a NUL byte, a line it
  // wraps) is written at once, so that the next load meets it as it is.
  bool plain = text.find('\0') == std::string_view::npos;
  for (size_t start = 0; plain && start < text.size();) {
    const size_t lf = std::min(text.find('\n', start), text.size());
    size_t end = lf;
    if (lf < text.size() && end > start && text[end - 1] == '\r') --end;
    plain = end - start < static_cast<size_t>(CSourceText::MaxLineLength);
    start = lf + 1;
  }
  if (batch == nullptr || !plain) {
    return ReplaceFileAtomically(path, text) == ReplaceResult::kOk ? 1 : 0;
  }
  // The write comes at Flush; what would make it fail now fails now.
  std::string folder, name;
  SplitPath(path, folder, name);
  const char* dir = !folder.empty() ? folder.c_str() : path.starts_with(kPathSeparator) ? "/" : ".";
  if (IsDirectory(path) || !IsDirectory(dir) || ::access(dir, W_OK | X_OK) != 0) {
    return 0;
  }
  CDocBatch::Entry entry;
  entry.newText.assign(text);
  entry.dirty = true;
  batch->m_docs.emplace(path, std::move(entry));
  return 1;
}

std::int64_t CDocHandle::FileSize(const std::string& path) {
  if (g_activeBatch != nullptr) {
    const auto it = g_activeBatch->m_docs.find(path);
    if (it != g_activeBatch->m_docs.end() && it->second.dirty) {
      const CDocBatch::Entry& entry = it->second;
      if (entry.doc == nullptr) return static_cast<std::int64_t>(entry.newText.size());
      return static_cast<std::int64_t>(entry.doc->SavedSize());
    }
  }
  return ::FileSize(path);
}

bool CDocHandle::IsHeld(const std::string& path) {
  return g_activeBatch != nullptr && g_activeBatch->m_docs.count(path) != 0;
}

int CDocHandle::Save() {
  if (m_pBatch != nullptr && m_pBatch == g_activeBatch) {
    auto it = m_pBatch->m_docs.find(m_strPath);
    if (it != m_pBatch->m_docs.end() && it->second.doc.get() == m_pDoc) {
      if (IsReadOnly(m_strPath)) return 0;
      it->second.dirty = true;
      return 1;
    }
  }
  return m_pDoc->SaveFile(m_strPath);
}

CDocBatch::CDocBatch() : m_pPrevious(g_activeBatch) { g_activeBatch = this; }

CDocBatch::~CDocBatch() {
  Flush();
  g_activeBatch = m_pPrevious;
}

CDocBatch* CDocBatch::Active() { return g_activeBatch; }

namespace {

// Writes one pending file; true when it holds its text afterwards. A file that
// already holds the text is left as it is (and keeps its time).
bool WriteEntry(const std::string& path, const std::shared_ptr<CCSrvDoc>& doc,
                const std::string& newText) {
  try {
    if (doc != nullptr) return doc->IsSavedIn(path) || doc->SaveFile(path) == 1;
    return FileHolds(path, newText) || ReplaceFileAtomically(path, newText) == ReplaceResult::kOk;
  } catch (const CSourceException&) {
    return false;
  }
}

// A file of at least this many lines is written by a thread of its own.
constexpr int kOwnThreadLines = 100000;

}  // namespace

bool CDocBatch::Flush() {
  std::vector<std::pair<const std::string*, Entry*>> pending;
  for (auto& [path, entry] : m_docs) {
    if (!entry.dirty) continue;
    entry.dirty = false;
    pending.emplace_back(&path, &entry);
  }
  std::vector<char> written(pending.size(), 0);
  const auto write = [&](size_t i) {
    const Entry& entry = *pending[i].second;
    written[i] = WriteEntry(*pending[i].first, entry.doc, entry.newText) ? 1 : 0;
  };
  // Writing is mostly the kernel copying into the page cache: a big binary
  // data file goes out on a second thread while this one writes the rest.
  size_t big = pending.size();
  for (size_t i = 0; i < pending.size(); ++i) {
    const Entry& entry = *pending[i].second;
    if (entry.doc != nullptr && entry.doc->GetLineCount() >= kOwnThreadLines &&
        (big == pending.size() ||
         entry.doc->GetLineCount() > pending[big].second->doc->GetLineCount())) {
      big = i;
    }
  }
  std::thread helper;
  if (big < pending.size() && pending.size() > 1) {
    try {
      helper = std::thread(write, big);
    } catch (const std::system_error&) {
      // No thread to be had: this one writes everything.
    }
  }
  for (size_t i = 0; i < pending.size(); ++i) {
    if (i != big || !helper.joinable()) write(i);
  }
  if (helper.joinable()) helper.join();

  bool ok = true;
  for (size_t i = 0; i < pending.size(); ++i) {
    if (written[i]) continue;
    ok = false;
    m_failed.push_back(*pending[i].first);
  }
  return ok;
}
