#include "build/recent_list.h"

#include <algorithm>

#include "platform/ascii.h"
#include "platform/file_util.h"

CRecentList::CRecentList(bool caseSensitive)
    : m_bCaseSensitive(caseSensitive), m_entries(kMaxEntries) {}

bool CRecentList::SamePath(const std::string& a, const std::string& b) const {
  return m_bCaseSensitive ? a == b : AsciiLowerCopy(a) == AsciiLowerCopy(b);
}

void CRecentList::AddToRecentList(const std::string& path) {
  const std::string absolute = AbsolutePath(path);
  auto found = std::find_if(m_entries.begin(), m_entries.end(), [&](const std::string& entry) {
    return !entry.empty() && SamePath(entry, absolute);
  });
  // An entry already there moves to the top; otherwise the last place goes.
  if (found == m_entries.end()) found = m_entries.end() - 1;
  std::rotate(m_entries.begin(), found, found + 1);
  m_entries.front() = absolute;
}

void CRecentList::RemoveFromRecentList(int index) {
  if (index < 0 || index >= kMaxEntries) return;
  m_entries.erase(m_entries.begin() + index);
  m_entries.emplace_back();
}

void CRecentList::Load(const std::vector<std::string>& values) {
  m_entries.assign(kMaxEntries, "");
  size_t place = 0;
  for (const std::string& value : values) {
    if (!value.empty() && place < m_entries.size()) m_entries[place++] = value;
  }
}

std::vector<std::string> CRecentList::NonEmptyEntries() const {
  std::vector<std::string> out;
  for (const std::string& entry : m_entries) {
    if (!entry.empty()) out.push_back(entry);
  }
  return out;
}

std::string CRecentList::ValueName(int index) { return "Project" + std::to_string(index + 1); }
