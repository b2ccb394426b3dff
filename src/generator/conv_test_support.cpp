#include "generator/conv_test_support.h"

#include "document/generated_files.h"
#include "platform/file_util.h"

ConversionTest::ConversionTest()
    : m_target(m_dir.File("out/")),
      m_project(m_target, "url.c", "bindata.c"),
      m_generator(m_prompter, m_files, &m_project) {
  m_generator.SetDateSource([] { return std::string(kTestDate); });
  CreateOneDirectory(m_dir.File("out"));
  m_urlFile = WriteUrlFile(m_dir, "out/url.c");
  m_binFile = WriteBinFile(m_dir, "out/bindata.c");
  m_freshUrl = Text(m_urlFile);
  m_freshBin = Text(m_binFile);
}

namespace {
std::string SourceName(const std::string& url) { return "src/" + url.substr(url.rfind('/') + 1); }
}  // namespace

std::string ConversionTest::SourceFor(const std::string& url) const {
  return m_dir.File(SourceName(url));
}

CPageNode ConversionTest::Page(const std::string& url, const std::string& text, int function) {
  CPageNode node(m_dir.Write(SourceName(url), text), ImagePage, nullptr, 1, 0);
  std::string name = url.substr(0, url.rfind('.'));
  for (char& c : name) c = c == '/' ? '_' : c;
  node.SetUrl(url);
  node.SetOutputFile(m_target + name + ".c");
  node.SetFunction(function);
  return node;
}

CPageNode ConversionTest::Binary(const std::string& url, const std::string& bytes, int function) {
  CPageNode node(m_dir.Write(SourceName(url), bytes), ImageBinary, nullptr, 1, 0);
  node.SetUrl(url);
  node.SetOutputFile(m_binFile);
  node.SetFunction(function);
  return node;
}

std::string ConversionTest::Text(const std::string& path) const {
  std::string text = m_dir.Read(path);
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
    text.erase(at, 1);
  }
  return text;
}

std::vector<std::string> ConversionTest::SendBody(const std::string& pageFile) const {
  const std::string text = Text(pageFile);
  std::vector<std::string> body;
  size_t pos = text.find("\n{\n", text.find("\nvoid Send_function_"));
  if (pos == std::string::npos) return body;
  for (pos += 3; text.compare(pos, 18, "}    /*  @! File: ") != 0;) {
    const size_t end = text.find('\n', pos);
    body.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return body;
}

std::string ConversionTest::UrlFileWith(const std::string& entries,
                                        const std::string& prototypes) const {
  std::string text = m_freshUrl;
  text.insert(text.find("{\n   NULL, 0, NULL, NULL, 0, 0  /* last entry MUST be NULL */"), entries);
  text.insert(text.find("/* @! End Function Prototypes   */"), prototypes);
  return text;
}

std::string SentText(const std::vector<std::string>& body) {
  const std::string open = "    HSSend (handle, \"";
  std::string text;
  for (const std::string& line : body) {
    if (line.rfind(open, 0) != 0) continue;
    const std::string literal = line.substr(open.size(), line.size() - open.size() - 3);
    for (size_t i = 0; i < literal.size(); ++i) {
      const bool escape = literal[i] == '\\' && ++i < literal.size();
      const char c = literal[i];
      text += !escape ? c : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
  }
  return text;
}

int Count(const std::string& text, const std::string& needle) {
  int count = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
    ++count;
  }
  return count;
}
