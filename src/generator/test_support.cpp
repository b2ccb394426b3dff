#include "generator/test_support.h"

#include <gtest/gtest.h>

#include "document/generated_files.h"
#include "testing/scripted_prompter.h"

std::string CrLf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

namespace {
std::string WriteSkeleton(const TempDir& dir, const std::string& name,
                          int (CCodeGenerator::*writer)(const std::string&)) {
  ScriptedPrompter prompter;
  CDirectFiles files;
  CCodeGenerator generator(prompter, files);
  generator.SetDateSource([] { return std::string(kTestDate); });
  const std::string path = dir.File(name);
  EXPECT_EQ((generator.*writer)(path), 1) << path;
  EXPECT_TRUE(prompter.shown().empty());
  return path;
}
}  // namespace

std::string WriteUrlFile(const TempDir& dir, const std::string& name) {
  return WriteSkeleton(dir, name, &CCodeGenerator::WriteUrlFileSkeleton);
}

std::string WriteBinFile(const TempDir& dir, const std::string& name) {
  return WriteSkeleton(dir, name, &CCodeGenerator::WriteBinFileSkeleton);
}

std::string WritePageFile(const TempDir& dir, const std::string& name) {
  return WriteSkeleton(dir, name, &CCodeGenerator::WritePageFileSkeleton);
}

std::string InsertBefore(const std::string& text, const std::string& anchor,
                         const std::string& insertion) {
  const size_t at = text.find(CrLf(anchor));
  if (at == std::string::npos) {
    ADD_FAILURE() << "anchor not found: " << anchor;
    return text;
  }
  std::string out = text;
  out.insert(at, CrLf(insertion));
  return out;
}
