#include "document/doc_handle.h"

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
  }
  handle.m_owned = it->second.doc;
  handle.m_pDoc = handle.m_owned.get();
  handle.m_pBatch = batch;
  handle.m_nLoadResult = it->second.loadResult;
  return handle;
}

int CDocHandle::WriteNew(const std::string& path, std::string_view text) {
  if (g_activeBatch != nullptr) g_activeBatch->m_docs.erase(path);
  if (IsReadOnly(path)) return 0;
  return ReplaceFileAtomically(path, text) == ReplaceResult::kOk ? 1 : 0;
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

CDocBatch::CDocBatch() : m_pPrevious(g_activeBatch) {
  g_activeBatch = this;
}

CDocBatch::~CDocBatch() {
  Flush();
  g_activeBatch = m_pPrevious;
}

CDocBatch* CDocBatch::Active() { return g_activeBatch; }

bool CDocBatch::Flush() {
  bool ok = true;
  for (auto& [path, entry] : m_docs) {
    if (!entry.dirty) continue;
    entry.dirty = false;
    int result = 0;
    try {
      result = entry.doc->SaveFile(path);
    } catch (const CSourceException&) {
      result = 0;
    }
    if (result != 1) {
      ok = false;
      m_failed.push_back(path);
    }
  }
  return ok;
}
