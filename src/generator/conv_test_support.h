#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/generated_files.h"
#include "generator/code_generator.h"
#include "generator/test_support.h"
#include "testing/scripted_prompter.h"
#include "testing/temp_dir.h"

// A target folder out/ with a fresh URL file and binary data file, and a
// generator for it; sources go under src/.
class ConversionTest : public ::testing::Test {
 protected:
  ConversionTest();

  // Writes src/ + the URL's last name and gives its node, with the output file
  // the URL tree gives a page (out/ + URL without extension, "/" -> "_", ".c")
  // or a binary file (the binary data file); a binary node takes the size.
  CPageNode Page(const std::string& url, const std::string& text, int function);
  CPageNode Binary(const std::string& url, const std::string& bytes, int function);
  std::string SourceFor(const std::string& url) const;

  // A generated file with LF line ends.
  std::string Text(const std::string& path) const;
  // The lines of a page's send function between "{" and its closing line.
  std::vector<std::string> SendBody(const std::string& pageFile) const;
  // The fresh URL file with entries and prototypes added, with LF line ends.
  std::string UrlFileWith(const std::string& entries, const std::string& prototypes) const;

  TempDir m_dir;
  ScriptedPrompter m_prompter;
  std::string m_target;
  FixedLocations m_project;
  CDirectFiles m_files;
  CCodeGenerator m_generator;
  std::string m_urlFile, m_binFile;
  std::string m_freshUrl, m_freshBin;  // with LF line ends
};

// The page text sent by the HSSend lines of a send body, escapes undone.
std::string SentText(const std::vector<std::string>& body);
int Count(const std::string& text, const std::string& needle);
