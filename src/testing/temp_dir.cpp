#include "testing/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/file_util.h"

TempDir::TempDir() : m_path(MakeTempDirectory("pagoric-test-")) {
  if (m_path.empty()) std::abort();
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(m_path, ec);
}

std::string TempDir::File(std::string_view name) const {
  return m_path + kPathSeparator + ConvertSeparators(name, PathFlavor::kPosix, kNativePathFlavor);
}

std::string TempDir::Write(std::string_view name, std::string_view data) const {
  std::string path = IsAbsolutePath(name) ? std::string(name) : File(name);
  const std::filesystem::path file = std::filesystem::path(std::u8string(path.begin(), path.end()));
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  return path;
}

std::string TempDir::Read(std::string_view name) const {
  std::string data;
  std::string path = IsAbsolutePath(name) ? std::string(name) : File(name);
  if (!ReadWholeFile(path, data)) return "<missing>";
  return data;
}
