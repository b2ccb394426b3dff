#pragma once

#include <string>
#include <vector>

// The recently used projects, most recent first: at most kMaxEntries full
// project file paths, empty places only at the end. The desktop program reads
// it from its settings at start and writes it back at exit.
class CRecentList {
 public:
  static constexpr int kMaxEntries = 10;

  // caseSensitive: paths compare as the file system compares them (exactly on
  // a case-sensitive one, ignoring letter case elsewhere).
  explicit CRecentList(bool caseSensitive = true);

  // Makes path absolute; moves an entry naming the same file to the top, or
  // inserts the path at the top and drops the last entry of a full list.
  void AddToRecentList(const std::string& path);
  // Removes the entry at index; the entries after it move up one place.
  void RemoveFromRecentList(int index);

  // The place's path ("" when empty), for index 0 .. kMaxEntries - 1.
  const std::string& GetEntry(int index) const { return m_entries[static_cast<size_t>(index)]; }
  // Takes the stored values of places 1 .. kMaxEntries in order; empty ones
  // are closed up, so list-box positions are list places.
  void Load(const std::vector<std::string>& values);
  // The non-empty entries in list order.
  std::vector<std::string> NonEmptyEntries() const;

  // The settings value name of a place: "Project1" for index 0.
  static std::string ValueName(int index);

 private:
  bool SamePath(const std::string& a, const std::string& b) const;

  bool m_bCaseSensitive;
  std::vector<std::string> m_entries;
};
