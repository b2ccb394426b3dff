#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "generator/code_generator.h"
#include "generator/test_support.h"
#include "project/page_node.h"
#include "testing/scripted_prompter.h"
#include "testing/temp_dir.h"

// A target directory with a fresh URL file and binary data file, and a
// generator for it, for the conversion tests. Sources go under src/, generated
// files under out/.
class ConversionTest : public ::testing::Test {
 protected:
  ConversionTest();

  // Writes a page source and gives its node with the output file the URL tree
  // would give it (target directory + URL without extension, "/" -> "_", ".c").
  CPageNode Page(const std::string& url, const std::string& text, int function);
  // Writes a binary source and gives its node; the node takes the file's size.
  CPageNode Binary(const std::string& url, const std::string& bytes, int function);
  // The source of a URL: src/ + the URL's last name, within the test folder
  // (SourceName) or as a full path (SourceFor).
  static std::string SourceName(const std::string& url);
  std::string SourceFor(const std::string& url) const;
  // The page file of a URL.
  std::string PageFileFor(const std::string& url) const;

  // A generated file as "\n"-separated text (its CR LF turned into LF).
  std::string Text(const std::string& path) const;
  // The lines between the page's "{" after "void Send_function_" and its
  // closing "}    /*  @! File: " line.
  std::vector<std::string> SendBody(const std::string& pageFile) const;
  // The fresh URL file's text with entries (and prototypes) added, "\n"-separated.
  std::string UrlFileWith(const std::string& entries, const std::string& prototypes) const;

  TempDir m_dir;
  ScriptedPrompter m_prompter;
  std::string m_target;
  FixedLocations m_project;
  CCodeGenerator m_generator;
  std::string m_urlFile;
  std::string m_binFile;
  std::string m_freshUrl;  // the fresh URL file, "\n"-separated
  std::string m_freshBin;  // the fresh binary data file, "\n"-separated
};

// The page text that the HSSend calls of a send body put together, their
// escapes undone; calls of dynamic functions are left out.
std::string SentText(const std::vector<std::string>& body);

// The number of times needle occurs in text.
int Count(const std::string& text, const std::string& needle);
