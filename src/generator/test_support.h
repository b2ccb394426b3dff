#pragma once

#include <string>

#include "generator/code_generator.h"
#include "testing/temp_dir.h"

// Shared pieces of the generator tests.

// The banner date the tests fix, so written files can be compared whole.
inline constexpr const char* kTestDate = "Sunday, December 06, 2026 04:33:09";

// Project locations with fixed values.
class FixedLocations : public CProjectLocations {
 public:
  FixedLocations(std::string dir, std::string urlFile, std::string binFile)
      : m_dir(std::move(dir)), m_url(std::move(urlFile)), m_bin(std::move(binFile)) {}
  std::string TargetDir() const override { return m_dir; }
  std::string UrlFileName() const override { return m_url; }
  std::string BinFileName() const override { return m_bin; }

 private:
  std::string m_dir, m_url, m_bin;
};

// "\n" -> "\r\n": the tests write expected file texts with "\n".
std::string CrLf(const std::string& text);

// Writes the skeleton of a URL file, binary data file or page file with the
// fixed date into dir under name, and returns its path.
std::string WriteUrlFile(const TempDir& dir, const std::string& name = "url.c");
std::string WriteBinFile(const TempDir& dir, const std::string& name = "bindata.c");
std::string WritePageFile(const TempDir& dir, const std::string& name = "page.c");

// Inserts insertion (with "\n" line ends) in the CR LF text before the first
// occurrence of anchor (also with "\n"); fails the test when anchor is missing.
std::string InsertBefore(const std::string& text, const std::string& anchor,
                         const std::string& insertion);
