#include "document/srv_doc.h"

void CCSrvDoc::Extend(int n) {
  if (n >= static_cast<int>(m_lines.size())) m_lines.resize(static_cast<size_t>(n) + 1);
}

const char* CCSrvDoc::GetLine(int n) {
  Extend(n);
  return m_lines[static_cast<size_t>(n)].c_str();
}

int CCSrvDoc::GetLineLength(int n) {
  Extend(n);
  return static_cast<int>(m_lines[static_cast<size_t>(n)].size());
}

void CCSrvDoc::RemoveLines(int n, int count) {
  if (count <= 0) return;
  auto first = m_lines.begin() + n;
  m_lines.erase(first, first + count);
}

void CCSrvDoc::InsertEmptyLine(int n) {
  if (n < static_cast<int>(m_lines.size())) {
    m_lines.insert(m_lines.begin() + n, std::string());
  } else {
    Extend(n);
  }
}

char* CCSrvDoc::GetLineBuffer(int n, int len) {
  Extend(n);
  std::string& line = m_lines[static_cast<size_t>(n)];
  if (static_cast<int>(line.size()) < len) line.resize(static_cast<size_t>(len));
  return line.data();
}

void CCSrvDoc::ReleaseLineBuffer(int n, int len) {
  Extend(n);
  m_lines[static_cast<size_t>(n)].resize(static_cast<size_t>(len));
}

void CCSrvDoc::SetLineText(int n, std::string text) {
  Extend(n);
  m_lines[static_cast<size_t>(n)] = std::move(text);
}

void CCSrvDoc::InsertLines(int n, std::vector<std::string> lines) {
  if (lines.empty()) return;
  if (n >= static_cast<int>(m_lines.size())) {
    if (n > static_cast<int>(m_lines.size())) m_lines.resize(static_cast<size_t>(n));
    m_lines.insert(m_lines.end(), std::make_move_iterator(lines.begin()),
                   std::make_move_iterator(lines.end()));
    return;
  }
  m_lines.insert(m_lines.begin() + n, std::make_move_iterator(lines.begin()),
                 std::make_move_iterator(lines.end()));
}
