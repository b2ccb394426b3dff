#include "generator/conv_test_support.h"

#include "platform/file_util.h"

namespace {
std::string LfOnly(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}
}  // namespace

ConversionTest::ConversionTest()
    : m_target(m_dir.path() + "/out/"),
      m_project(m_target, "url.c", "bindata.c"),
      m_generator(m_prompter, &m_project) {
  m_generator.SetDateSource([] { return std::string(kTestDate); });
  CreateOneDirectory(m_dir.File("out"));
  CreateOneDirectory(m_dir.File("src"));
  m_urlFile = WriteUrlFile(m_dir, "out/url.c");
  m_binFile = WriteBinFile(m_dir, "out/bindata.c");
  m_freshUrl = Text(m_urlFile);
  m_freshBin = Text(m_binFile);
}

std::string ConversionTest::SourceFor(const std::string& url) const {
  return m_dir.File(SourceName(url));
}

std::string ConversionTest::SourceName(const std::string& url) {
  return "src/" + url.substr(url.rfind('/') + 1);
}

std::string ConversionTest::PageFileFor(const std::string& url) const {
  std::string name = url.substr(0, url.rfind('.'));
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  return m_target + name + ".c";
}

CPageNode ConversionTest::Page(const std::string& url, const std::string& text, int function) {
  const std::string source = m_dir.Write(SourceName(url), text);
  CPageNode node(source, ImagePage, nullptr, 1, 0);
  node.SetUrl(url);
  node.SetOutputFile(PageFileFor(url));
  node.SetFunction(function);
  return node;
}

CPageNode ConversionTest::Binary(const std::string& url, const std::string& bytes, int function) {
  const std::string source = m_dir.Write(SourceName(url), bytes);
  CPageNode node(source, ImageBinary, nullptr, 1, 0);
  node.SetUrl(url);
  node.SetOutputFile(m_binFile);
  node.SetFunction(function);
  return node;
}

std::string ConversionTest::Text(const std::string& path) const { return LfOnly(m_dir.Read(path)); }

std::vector<std::string> ConversionTest::SendBody(const std::string& pageFile) const {
  const std::string text = Text(pageFile);
  std::vector<std::string> body;
  size_t at = text.find("\nvoid Send_function_");
  if (at == std::string::npos) return body;
  at = text.find("\n{\n", at);
  for (size_t pos = at + 3; pos < text.size();) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    if (line.rfind("}    /*  @! File: ", 0) == 0) break;
    body.push_back(line);
    pos = end + 1;
  }
  return body;
}

std::string ConversionTest::UrlFileWith(const std::string& entries,
                                        const std::string& prototypes) const {
  std::string text = m_freshUrl;
  text.insert(text.find("{\n   NULL  /* last entry MUST be NULL */"), entries);
  text.insert(text.find("/* @! End Function Prototypes   */"), prototypes);
  return text;
}

std::string SentText(const std::vector<std::string>& body) {
  const std::string open = "    HSSend (handle, \"";
  std::string text;
  for (const std::string& line : body) {
    if (line.rfind(open, 0) != 0) continue;
    EXPECT_GE(line.size(), open.size() + 3) << line;
    EXPECT_EQ(line.substr(line.size() - 3), "\");") << line;
    const std::string literal = line.substr(open.size(), line.size() - open.size() - 3);
    for (size_t i = 0; i < literal.size(); ++i) {
      if (literal[i] != '\\') {
        EXPECT_NE(literal[i], '"') << "unescaped quote in " << line;
        text += literal[i];
        continue;
      }
      ++i;
      EXPECT_LT(i, literal.size()) << "a literal ends inside an escape: " << line;
      if (i >= literal.size()) break;
      switch (literal[i]) {
        case 'n':
          text += '\n';
          break;
        case 'r':
          text += '\r';
          break;
        default:
          text += literal[i];
          break;
      }
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
