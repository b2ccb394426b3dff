#include "project/project_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>

#include "platform/file_util.h"
#include "project/archive.h"
#include "testing/scripted_prompter.h"
#include "testing/temp_dir.h"

namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>(v);
  return out;
}

std::unique_ptr<CPageNode> Node(const std::string& path, int folder, int child, int sibling,
                                int index, int image, int function = -1) {
  auto node = std::make_unique<CPageNode>();
  node->SetPath(path);
  node->SetFolder(folder);
  node->SetFirstChild(child);
  node->SetNextSibling(sibling);
  node->SetIndex(index);
  node->SetImage(image);
  node->SetFunction(function);
  return node;
}

// root -> a (folder) -> x.htm, y.gif; z.txt under the root.
CPageNodeList SampleTree() {
  CPageNodeList nodes;
  nodes.push_back(Node(" / ", 1, 1, 0, 0, ImageRoot));
  nodes.push_back(Node("a", 1, 2, 4, 1, ImageFolder));
  nodes.push_back(Node("/src/x.htm", 0, 0, 3, 2, ImagePage, 0));
  nodes.push_back(Node("/src/y.gif", 0, 0, 0, 3, ImageBinary, 1));
  nodes.push_back(Node("/src/z.txt", 0, 0, 0, 4, ImageText, 2));
  nodes[2]->SetLastWrite(133000000000000000ULL);
  nodes[2]->SetUrl("/a/x.htm");
  nodes[2]->SetOutputFile("/out/_a_x.c");
  return nodes;
}

std::string Write(const CPageNodeList& nodes, const CProjectSettings& settings) {
  std::string out;
  EXPECT_TRUE(WriteProject(nodes, settings, out));
  return out;
}

TEST(ProjectFileTest, EmptyProjectBytes) {
  CProjectSettings settings;
  settings.m_strSourceDir = "/home/dev";
  const std::string bytes = Write({}, settings);
  EXPECT_EQ(bytes, Bytes({0, 0, 1, 0, 0, 0, 9}) + "/home/dev" + Bytes({0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(bytes.size(), 14u + 9u);

  CPageNodeList nodes;
  CProjectSettings loaded;
  ASSERT_TRUE(ReadProject(bytes, nodes, loaded));
  EXPECT_TRUE(nodes.empty());
  EXPECT_EQ(loaded.m_strSourceDir, "/home/dev");
}

TEST(ProjectFileTest, RootOnlyProjectBytes) {
  CPageNodeList nodes;
  nodes.push_back(Node(" / ", 1, 0, 0, 0, ImageRoot));
  const std::string bytes = Write(nodes, CProjectSettings());
  const std::string expected = Bytes({1, 0, 0xFF, 0xFF, 1, 0, 9, 0}) + "CPageNode" + Bytes({3}) +
                               " / " + Bytes({1, 0, 0, 0}) + std::string(16 + 8 + 2, '\0') +
                               Bytes({0xFF, 0xFF, 0xFF, 0xFF});
  EXPECT_EQ(bytes.substr(0, expected.size()), expected);
  EXPECT_EQ(bytes.substr(expected.size()), Bytes({1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(ProjectFileTest, LaterRecordsReferToTheClass) {
  const std::string bytes = Write(SampleTree(), CProjectSettings());
  size_t tags = 0;
  for (size_t at = bytes.find(Bytes({0x01, 0x80})); at != std::string::npos;
       at = bytes.find(Bytes({0x01, 0x80}), at + 1)) {
    ++tags;
  }
  EXPECT_EQ(tags, 4u);
  EXPECT_EQ(bytes.find("CPageNode"), bytes.rfind("CPageNode"));

  CPageNodeList nodes;
  CProjectSettings settings;
  ASSERT_TRUE(ReadProject(bytes, nodes, settings));
  ASSERT_EQ(nodes.size(), 5u);
  EXPECT_EQ(nodes[2]->GetUrl(), "/a/x.htm");
  EXPECT_EQ(nodes[2]->GetLastWrite(), 133000000000000000ULL);
  EXPECT_EQ(Write(nodes, settings), bytes);
}

TEST(ProjectFileTest, StringLengthForms) {
  struct Case {
    size_t length;
    std::string prefix;
  };
  const Case cases[] = {
      {0, Bytes({0})},
      {254, Bytes({254})},
      {255, Bytes({0xFF, 0xFF, 0x00})},
      {65533, Bytes({0xFF, 0xFD, 0xFF})},
      {65534, Bytes({0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0, 0})},
      {70000, Bytes({0xFF, 0xFF, 0xFF, 0x70, 0x11, 1, 0})},
  };
  for (const Case& c : cases) {
    CArchive out;
    out.WriteString(std::string(c.length, 'p'));
    EXPECT_EQ(out.Buffer().substr(0, c.prefix.size()), c.prefix) << c.length;
    EXPECT_EQ(out.Buffer().size(), c.prefix.size() + c.length);
    CArchive in(out.Buffer());
    EXPECT_EQ(in.ReadString(), std::string(c.length, 'p'));
    EXPECT_EQ(in.BytesLeft(), 0u);
  }
}

TEST(ProjectFileTest, ReadsWideStrings) {
  // "dir" + e-acute, + a surrogate pair (U+1F600), + a lone surrogate.
  const std::string wide = Bytes(
      {0xFF, 0xFE, 0xFF, 7, 'd', 0, 'i', 0, 'r', 0, 0xE9, 0, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0xD8});
  CArchive in(wide);
  EXPECT_EQ(in.ReadString(), "dir\xC3\xA9\xF0\x9F\x98\x80?");
  // Long forms after the wide mark count 16-bit units.
  const std::string longBytes = Bytes({0xFF, 0xFE, 0xFF, 0xFF, 2, 0, 'a', 0, 'b', 0});
  CArchive longForm(longBytes);
  EXPECT_EQ(longForm.ReadString(), "ab");
  // Units the data does not hold are refused before anything is read.
  const std::string shortBytes = Bytes({0xFF, 0xFE, 0xFF, 3, 'a', 0, 'b', 0});
  CArchive shortData(shortBytes);
  EXPECT_THROW(shortData.ReadString(), CArchiveException);
}

// One table of bad inputs, each a small change to a good file.
TEST(ProjectFileTest, RejectsBadFiles) {
  const std::string good = Write(SampleTree(), CProjectSettings());
  const size_t firstRecord = 2 + 2 + 4 + 9;  // count, tag, schema, name length, name

  auto withNode = [](int which, const std::function<void(CPageNode&)>& change) {
    CPageNodeList nodes = SampleTree();
    change(*nodes[static_cast<size_t>(which)]);
    std::string out;
    WriteProject(nodes, CProjectSettings(), out);
    return out;
  };
  auto patched = [&](size_t at, const std::string& bytes) {
    std::string out = good;
    out.replace(at, bytes.size(), bytes);
    return out;
  };
  struct Case {
    const char* what;
    std::string data;
  };
  const Case cases[] = {
      {"empty file", ""},
      {"first tag is a class reference", patched(2, Bytes({0x01, 0x80}))},
      {"null object tag", patched(2, Bytes({0x00, 0x00}))},
      {"reference to an earlier object", patched(2, Bytes({0x02, 0x00}))},
      {"schema 2", patched(4, Bytes({2, 0}))},
      {"class name", patched(8, "CPageNodX")},
      {"class name too long", patched(6, Bytes({64, 0}))},
      {"reference to an unknown class",
       patched(good.find(Bytes({0x01, 0x80})), Bytes({0x02, 0x80}))},
      {"long-form reference to an object",
       patched(good.find(Bytes({0x01, 0x80})), Bytes({0xFF, 0x7F}))},
      {"length past the end",
       patched(firstRecord, Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}))},
      {"child outside the list", withNode(1, [](CPageNode& n) { n.SetFirstChild(5); })},
      {"negative sibling", withNode(2, [](CPageNode& n) { n.SetNextSibling(-1); })},
      {"links reach a node twice", withNode(3, [](CPageNode& n) { n.SetNextSibling(4); })},
      {"links form a cycle", withNode(3, [](CPageNode& n) { n.SetNextSibling(2); })},
      {"a node no link reaches", withNode(1, [](CPageNode& n) { n.SetNextSibling(0); })},
      {"child link back up", withNode(2, [](CPageNode& n) { n.SetFirstChild(1); })},
      {"index differs from position", withNode(3, [](CPageNode& n) { n.SetIndex(2); })},
      {"root is not a folder", withNode(0, [](CPageNode& n) { n.SetFolder(0); })},
      {"root has a sibling", withNode(0, [](CPageNode& n) { n.SetNextSibling(4); })},
  };
  for (const Case& c : cases) {
    CPageNodeList nodes;
    nodes.push_back(Node("kept", 1, 0, 0, 0, 0));
    CProjectSettings settings;
    settings.m_strTargetDir = "/kept/";
    EXPECT_FALSE(ReadProject(c.data, nodes, settings)) << c.what;
    // Nothing of a rejected file is used.
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(nodes[0]->GetPath(), "kept");
    EXPECT_EQ(settings.m_strTargetDir, "/kept/");
  }
}

TEST(ProjectFileTest, LongFormClassReferenceIsAccepted) {
  std::string bytes = Write(SampleTree(), CProjectSettings());
  const size_t at = bytes.find(Bytes({0x01, 0x80}));
  bytes.replace(at, 2, Bytes({0xFF, 0x7F, 0x01, 0x00, 0x00, 0x80}));
  CPageNodeList nodes;
  CProjectSettings settings;
  EXPECT_TRUE(ReadProject(bytes, nodes, settings));
  EXPECT_EQ(nodes.size(), 5u);
}

TEST(ProjectFileTest, TruncatedAnywhereIsRejectedAndTrailingBytesIgnored) {
  CProjectSettings settings;
  settings.m_strTargetDir = "/out/";
  settings.m_strUrlFile = "url.c";
  const std::string good = Write(SampleTree(), settings);
  for (size_t length = 0; length < good.size(); ++length) {
    CPageNodeList nodes;
    CProjectSettings loaded;
    EXPECT_FALSE(ReadProject(good.substr(0, length), nodes, loaded)) << length;
  }
  CPageNodeList nodes;
  CProjectSettings loaded;
  EXPECT_TRUE(ReadProject(good + "trailing", nodes, loaded));
  EXPECT_EQ(Write(nodes, loaded), good);
}

TEST(ProjectFileTest, SeedCorpusLoadsAsNamed) {
  size_t seen = 0;
  for (const auto& entry : std::filesystem::directory_iterator(PAGORIC_PROJECT_CORPUS)) {
    const std::string name = entry.path().filename().string();
    std::string data;
    ASSERT_TRUE(ReadWholeFile(entry.path().string(), data));
    CPageNodeList nodes;
    CProjectSettings settings;
    const bool loaded = ReadProject(data, nodes, settings);
    ++seen;
    if (name.rfind("bad-", 0) == 0) {
      EXPECT_FALSE(loaded) << name;
    } else {
      ASSERT_TRUE(loaded) << name;
      // Whatever this program writes reads back and writes the same bytes.
      const std::string written = Write(nodes, settings);
      if (name.rfind("ok-", 0) == 0) {
        EXPECT_EQ(written, data) << name;
      }
      CPageNodeList again;
      ASSERT_TRUE(ReadProject(written, again, settings)) << name;
      EXPECT_EQ(Write(again, settings), written) << name;
    }
  }
  EXPECT_GE(seen, 6u);
}

TEST(ProjectFileTest, SaveAndLoadRoundTripThroughTheFile) {
  TempDir dir;
  const std::string path = dir.File("site.web");
  CProjectSettings settings;
  settings.m_nNextFunction = 3;
  settings.m_strTargetDir = dir.path() + "/out/";
  ScriptedPrompter prompter;
  ASSERT_EQ(SaveProjectFile(path, SampleTree(), settings, prompter), SaveProjectResult::kSaved);
  const std::string first = dir.Read("site.web");

  CPageNodeList nodes;
  CProjectSettings loaded;
  ASSERT_TRUE(LoadProjectFile(path, nodes, loaded));
  EXPECT_EQ(loaded.m_nNextFunction, 3);
  // Saving the same bytes again leaves the file, and its time, alone.
  const auto earlier = std::filesystem::last_write_time(path) - std::chrono::seconds(10);
  std::filesystem::last_write_time(path, earlier);
  ASSERT_EQ(SaveProjectFile(path, nodes, loaded, prompter), SaveProjectResult::kSaved);
  EXPECT_EQ(dir.Read("site.web"), first);
  EXPECT_EQ(std::filesystem::last_write_time(path), earlier);
  EXPECT_TRUE(prompter.shown().empty());

  EXPECT_FALSE(LoadProjectFile(dir.File("missing.web"), nodes, loaded));
  EXPECT_FALSE(LoadProjectFile(dir.path(), nodes, loaded));
}

TEST(ProjectFileTest, ReadOnlyFileIsNotWritten) {
  TempDir dir;
  const std::string path = dir.Write("site.web", "old bytes");
  ::chmod(path.c_str(), 0444);
  ScriptedPrompter prompter;
  EXPECT_EQ(SaveProjectFile(path, SampleTree(), CProjectSettings(), prompter),
            SaveProjectResult::kReadOnly);
  EXPECT_EQ(prompter.Texts(), std::vector<std::string>{"File " + path +
                                                       " is Read-only !\r\nYou cannot save "
                                                       "changed to file !"});
  EXPECT_EQ(dir.Read("site.web"), "old bytes");
}

TEST(ProjectFileTest, TooManyItemsLeaveTheFileUnchanged) {
  TempDir dir;
  const std::string path = dir.Write("site.web", "old bytes");
  CPageNodeList nodes;
  nodes.push_back(Node(" / ", 1, 1, 0, 0, ImageRoot));
  for (int i = 1; i <= 0xFFFF; ++i) {
    nodes.push_back(Node("f", 1, 0, i < 0xFFFF ? i + 1 : 0, i, ImageFolder));
  }
  ScriptedPrompter prompter;
  EXPECT_EQ(SaveProjectFile(path, nodes, CProjectSettings(), prompter),
            SaveProjectResult::kTooManyNodes);
  EXPECT_EQ(prompter.Texts(),
            std::vector<std::string>{"File " + path +
                                     " cannot be saved: a project file holds at most 65535 tree "
                                     "items."});
  EXPECT_EQ(dir.Read("site.web"), "old bytes");

  // The largest project that fits round-trips.
  nodes.pop_back();
  nodes.back()->SetNextSibling(0);
  std::string bytes;
  ASSERT_TRUE(WriteProject(nodes, CProjectSettings(), bytes));
  EXPECT_EQ(bytes.substr(0, 2), Bytes({0xFF, 0xFF}));
  CPageNodeList loaded;
  CProjectSettings settings;
  ASSERT_TRUE(ReadProject(bytes, loaded, settings));
  EXPECT_EQ(loaded.size(), 0xFFFFu);
}

TEST(ProjectFileTest, SaveIntoAMissingFolderIsAFileError) {
  TempDir dir;
  const std::string path = dir.File("gone/site.web");
  ScriptedPrompter prompter;
  EXPECT_EQ(SaveProjectFile(path, {}, CProjectSettings(), prompter),
            SaveProjectResult::kWriteFailed);
  ASSERT_EQ(prompter.shown().size(), 1u);
  EXPECT_EQ(prompter.shown()[0].kind, ScriptedPrompter::Kind::kStop);
  EXPECT_EQ(prompter.shown()[0].text, path + " contains an incorrect path.");
}

TEST(ProjectFileTest, SavedFolderTravelsBehindTheSettingsAndOlderBytesStillRead) {
  CProjectSettings settings;
  settings.m_strTargetDir = "/a/gen/";
  const std::string plain = Write(SampleTree(), settings);
  settings.m_strSavedFolder = "/a";
  const std::string withFolder = Write(SampleTree(), settings);
  // The six settings come first, byte for byte; what follows an older reader
  // never reads.
  ASSERT_EQ(0u, withFolder.find(plain));
  CPageNodeList nodes;
  CProjectSettings read;
  ASSERT_TRUE(ReadProject(withFolder, nodes, read));
  EXPECT_EQ("/a", read.m_strSavedFolder);
  ASSERT_TRUE(ReadProject(plain, nodes, read));
  EXPECT_EQ("", read.m_strSavedFolder);
  // Trailing bytes that are not ours are ignored, as before.
  ASSERT_TRUE(ReadProject(plain + "junk", nodes, read));
  EXPECT_EQ("", read.m_strSavedFolder);
  // The data form travels in the same trailer, only when it is not the default.
  settings.m_bLiteralData = true;
  const std::string literal = Write(SampleTree(), settings);
  ASSERT_EQ(0u, literal.find(withFolder));
  ASSERT_TRUE(ReadProject(literal, nodes, read));
  EXPECT_TRUE(read.m_bLiteralData);
  EXPECT_EQ("/a", read.m_strSavedFolder);
  ASSERT_TRUE(ReadProject(withFolder, nodes, read));
  EXPECT_FALSE(read.m_bLiteralData);
  // Cut anywhere inside the trailer, the file still reads; the six settings
  // are whole.
  for (size_t cut = plain.size(); cut < literal.size(); ++cut) {
    ASSERT_TRUE(ReadProject(literal.substr(0, cut), nodes, read)) << cut;
    EXPECT_EQ("/a/gen/", read.m_strTargetDir);
  }
}

TEST(ProjectFileTest, AMissingSourceAtHomeMovesNothing) {
  // A project file without the saved folder on record, at home, with one of
  // its sources deleted: no folder inside its own is taken for the old place
  // of the project, so no source is swapped for a file of the same name.
  TempDir home;
  home.Write("index.htm", "top");
  home.Write("sub/style.css", "sub");
  CPageNodeList nodes = SampleTree();
  nodes[2]->SetPath(home.File("sub/index.htm"));  // deleted
  nodes[3]->SetPath(home.File("sub/style.css"));
  nodes[4]->SetPath(home.File("index.htm"));
  home.Write("p.web", Write(nodes, CProjectSettings()));
  CPageNodeList opened;
  CProjectSettings settings;
  ASSERT_TRUE(LoadProjectFile(home.File("p.web"), opened, settings));
  EXPECT_EQ(home.File("sub/index.htm"), opened[2]->GetPath());
  EXPECT_EQ(home.File("sub/style.css"), opened[3]->GetPath());
  EXPECT_EQ(home.path(), settings.m_strSavedFolder);
}

TEST(ProjectFileTest, AProjectOpenedElsewhereUsesTheFilesBesideItAndSavesAsItWas) {
  TempDir home, clone;
  for (const TempDir* dir : {&home, &clone}) {
    dir->Write("site/x.htm", "x");
    dir->Write("site/y.gif", "y");
  }
  CPageNodeList nodes = SampleTree();
  nodes[2]->SetPath(home.File("site/x.htm"));
  nodes[3]->SetPath(home.File("site/y.gif"));
  nodes[4]->SetPath("/elsewhere/z.txt");  // outside the project's folder: stays
  nodes[2]->SetOutputFile(home.File("gen/_a_x.c"));
  CProjectSettings settings;
  settings.m_strTargetDir = home.File("gen") + kPathSeparator;
  ScriptedPrompter prompter;
  ASSERT_EQ(SaveProjectResult::kSaved,
            SaveProjectFile(home.File("p.web"), nodes, settings, prompter));
  const std::string bytes = home.Read("p.web");
  clone.Write("p.web", bytes);

  CPageNodeList opened;
  CProjectSettings openedSettings;
  // The home checkout still exists: the clone reads its own files anyway.
  ASSERT_TRUE(LoadProjectFile(clone.File("p.web"), opened, openedSettings));
  EXPECT_EQ(clone.File("site/x.htm"), opened[2]->GetPath());
  EXPECT_EQ(clone.File("site/y.gif"), opened[3]->GetPath());
  EXPECT_EQ("/elsewhere/z.txt", opened[4]->GetPath());
  EXPECT_EQ(clone.File("gen/_a_x.c"), opened[2]->GetOutputFile());
  EXPECT_EQ(clone.File("gen") + kPathSeparator, openedSettings.m_strTargetDir);
  EXPECT_EQ(home.path(), openedSettings.m_strSavedFolder);
  ASSERT_EQ(SaveProjectResult::kSaved,
            SaveProjectFile(clone.File("p.web"), opened, openedSettings, prompter));
  EXPECT_EQ(bytes, clone.Read("p.web"));

  // A file saved before the folder was recorded: the folder is derived from
  // the missing sources when every one of them stands beside the project.
  CProjectSettings old = settings;
  std::string oldBytes = Write(nodes, old);
  TempDir moved;
  moved.Write("site/x.htm", "x");
  moved.Write("site/y.gif", "y");
  moved.Write("p.web", oldBytes);
  std::filesystem::remove_all(home.path());  // the old checkout is gone
  ASSERT_TRUE(LoadProjectFile(moved.File("p.web"), opened, openedSettings));
  EXPECT_EQ(moved.File("site/x.htm"), opened[2]->GetPath());
  EXPECT_EQ(home.path(), openedSettings.m_strSavedFolder);
  // One missing source not beside it: nothing is guessed.
  std::filesystem::remove(moved.File("site/y.gif"));
  ASSERT_TRUE(LoadProjectFile(moved.File("p.web"), opened, openedSettings));
  EXPECT_EQ(home.File("site/x.htm"), opened[2]->GetPath());
  EXPECT_EQ(moved.path(), openedSettings.m_strSavedFolder);
}

}  // namespace
