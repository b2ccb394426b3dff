#include "build/open_project.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>

#include "platform/environment.h"
#include "platform/file_util.h"
#include "platform/text_format.h"
#include "project/project_verify.h"
#include "testing/named_pipe.h"
#include "testing/scripted_prompter.h"
#include "testing/temp_dir.h"

namespace {

class RecordingLog : public CBuildLogSink {
 public:
  void LogAppended(const std::string&, const std::string& text) override { lines.push_back(text); }
  void NodeResult(const CPageNode& node, bool ok) override {
    results.push_back(node.GetPath() + (ok ? " ok" : " failed"));
    if (afterNode) afterNode(node);
  }
  std::vector<std::string> lines;
  std::vector<std::string> results;
  // Runs after each node's result, before the build writes its file: what a
  // user or a full disk does meanwhile.
  std::function<void(const CPageNode&)> afterNode;
};

// Moves a file's last-write time forward, as an edit a while later would.
void Touch(const std::string& path, int seconds) {
  struct stat st;
  ASSERT_EQ(0, ::stat(path.c_str(), &st));
  struct utimbuf times {
    st.st_atime, st.st_mtime + seconds
  };
  ASSERT_EQ(0, ::utime(path.c_str(), &times));
}

class OpenProjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetEnvironmentValue("SOURCE_DATE_EPOCH", "1700000000");
    index = dir.Write("site/index.htm", "<p>Hello _NZZA_Clock</p>\n");
    logo = dir.Write("site/img/logo.gif", "GIF89a-bytes");
    notes = dir.Write("site/notes.txt", "plain text\n");
    projectPath = dir.File("demo.web");
    target = dir.File("out") + kPathSeparator;
  }

  // A new project with index.htm and notes.txt under the root and logo.gif in
  // the folder img, saved once.
  void CreateProject() {
    COpenProject project(prompter, nullptr);
    project.StartNew(projectPath);
    project.m_strTargetDirField = target;
    HTREEITEM root = project.m_tree.GetRootItem();
    project.m_tree.InsertFileItem(root, index);
    HTREEITEM img = project.m_tree.InsertFolderItem(root, "img");
    project.m_tree.InsertFileItem(img, logo);
    project.m_tree.InsertFileItem(root, notes);
    project.m_bTreeChanged = 1;
    prompter.QueueAnswer(true);  // save the unbuilt change
    prompter.QueueAnswer(true);  // create the target directory
    ASSERT_TRUE(project.OnCloseButton());
    prompter.Clear();
  }

  std::unique_ptr<COpenProject> Open() {
    auto project = std::make_unique<COpenProject>(prompter, &log);
    EXPECT_TRUE(project->OpenExisting(projectPath));
    return project;
  }

  std::string LogLine(const std::string& source, const std::string& output) {
    return source + " ---> " + output + "    o.k.\r\n";
  }

  TempDir dir;
  ScriptedPrompter prompter;
  RecordingLog log;
  std::string index, logo, notes, projectPath, target;
};

TEST_F(OpenProjectTest, BuildAllConvertsEveryNodeInPreOrderAndSaves) {
  CreateProject();
  auto project = Open();
  ASSERT_TRUE(project->OnBuildAll());
  const std::string bin = target + "bindata.c";
  EXPECT_EQ((std::vector<std::string>{LogLine(index, target + "_index.c"), LogLine(logo, bin),
                                      LogLine(notes, target + "_notes.c"),
                                      "Build number:    1 Done\r\n"}),
            log.lines);
  EXPECT_TRUE(prompter.shown().empty());
  EXPECT_EQ(0, project->FailedCount());
  EXPECT_TRUE(IsRegularFile(target + "_index.c"));
  EXPECT_TRUE(IsRegularFile(target + "_notes.c"));
  EXPECT_NE(std::string::npos, dir.Read(target + "url.c").find("\"/img/logo.gif\" , 0"));

  // The numbers were taken on the close that saved the change, in pre-order.
  auto reopened = Open();
  const CPageNodeList& nodes = reopened->m_tree.m_nodes;
  ASSERT_EQ(5u, nodes.size());
  EXPECT_EQ(0, nodes[1]->GetFunction());
  EXPECT_EQ(1, nodes[3]->GetFunction());
  EXPECT_EQ(2, nodes[4]->GetFunction());
  EXPECT_EQ(3, reopened->m_settings.m_nNextFunction);
}

TEST_F(OpenProjectTest, BuildConvertsOnlyWhatChanged) {
  CreateProject();
  auto project = Open();
  // The close saved the new nodes unbuilt: everything converts, the picture
  // too, although the binary data file already exists.
  ASSERT_TRUE(project->OnBuild());
  EXPECT_EQ(4u, log.lines.size());
  const std::string url = dir.Read(target + "url.c");

  log.lines.clear();
  ASSERT_TRUE(project->OnBuild());
  EXPECT_EQ(std::vector<std::string>{"Build number:    2 Done\r\n"}, log.lines);
  EXPECT_EQ(url, dir.Read(target + "url.c"));

  Touch(notes, 10);
  log.lines.clear();
  ASSERT_TRUE(project->OnBuild());
  EXPECT_EQ((std::vector<std::string>{LogLine(notes, target + "_notes.c"),
                                      "Build number:    3 Done\r\n"}),
            log.lines);
}

TEST_F(OpenProjectTest, GeneratedFilesThatWouldNotChangeKeepTheirTime) {
  CreateProject();
  auto project = Open();
  ASSERT_TRUE(project->OnBuild());
  const std::vector<std::string> files = {"url.c", "bindata.c", "_index.c", "_notes.c"};
  for (const std::string& name : files) Touch(target + name, -1000);
  auto times = [&]() {
    std::map<std::string, std::uint64_t> result;
    for (const std::string& name : files) result[name] = LastWriteFileTime(target + name);
    return result;
  };
  const auto before = times();

  // A firmware build compiles a C file again when its time moves: a Build All
  // that writes the same bytes must leave every file alone.
  ASSERT_TRUE(project->OnBuildAll());
  EXPECT_EQ(before, times());

  dir.Write("site/notes.txt", "other text\n");
  Touch(notes, 10);
  ASSERT_TRUE(project->OnBuild());
  auto after = times();
  EXPECT_NE(before.at("_notes.c"), after.at("_notes.c"));
  EXPECT_NE(std::string::npos, dir.Read(target + "_notes.c").find("other text"));
  after.erase("_notes.c");
  auto unchanged = before;
  unchanged.erase("_notes.c");
  EXPECT_EQ(unchanged, after);
}

TEST_F(OpenProjectTest, DeletedTargetFolderIsRebuiltWhole) {
  CreateProject();
  auto project = Open();
  ASSERT_TRUE(project->OnBuild());
  const std::string url = dir.Read(target + "url.c");
  const std::string bin = dir.Read(target + "bindata.c");
  // Losing the generated files must not lose the pictures: the new binary data
  // file and URL file get every node again, not just the missing page files.
  ASSERT_GT(std::filesystem::remove_all(target), 0u);
  prompter.QueueAnswer(true);
  log.lines.clear();
  ASSERT_TRUE(project->OnBuild());
  EXPECT_EQ(4u, log.lines.size());
  EXPECT_EQ(url, dir.Read(target + "url.c"));
  EXPECT_EQ(bin, dir.Read(target + "bindata.c"));
}

TEST_F(OpenProjectTest, ForeignUrlFileStopsTheBuild) {
  CreateProject();
  const std::string foreign = "int main(void) { return 0; }\n";
  dir.Write(target + "url.c", foreign);
  auto project = Open();
  EXPECT_FALSE(project->OnBuildAll());
  EXPECT_EQ(std::vector<std::string>{"File " + target +
                                     "url.c already exists, but it cannot be  recognized as "
                                     "previously generated by this utility. Please rename the "
                                     "file and try again"},
            prompter.Texts());
  EXPECT_EQ(foreign, dir.Read(target + "url.c"));
  EXPECT_TRUE(log.lines.empty());
  EXPECT_FALSE(PathExists(target + "_index.c"));
}

TEST_F(OpenProjectTest, MissingTargetDirectoryIsCreatedOnlyOnYes) {
  CreateProject();
  auto project = Open();
  const std::string other = dir.File("other");
  project->m_strTargetDirField = other;  // typed without its separator
  prompter.QueueAnswer(false);
  EXPECT_EQ(0, project->PrepareTargetFiles());
  EXPECT_EQ("Target Directory: " + other + kPathSeparator +
                " cannot be found !\r\nDo you want to create it?",
            prompter.Texts().at(0));
  EXPECT_FALSE(PathExists(other));
  EXPECT_EQ(other + kPathSeparator, project->m_strTargetDirField);

  prompter.QueueAnswer(true);
  EXPECT_EQ(1, project->PrepareTargetFiles());
  EXPECT_TRUE(IsRegularFile(other + kPathSeparator + "url.c"));
  EXPECT_TRUE(IsRegularFile(other + kPathSeparator + "bindata.c"));

  project->m_strTargetDirField = dir.File("no/such/parent");
  prompter.QueueAnswer(true);
  EXPECT_EQ(0, project->PrepareTargetFiles());
  EXPECT_EQ("Can't found path", prompter.Texts().back());
}

TEST_F(OpenProjectTest, CloseAfterAChange) {
  CreateProject();
  const std::string before = dir.Read("demo.web");
  {
    auto project = Open();
    project->m_tree.InsertFileItem(project->m_tree.GetRootItem(), notes);
    project->m_bTreeChanged = 1;
    prompter.QueueAnswer(false);
    EXPECT_TRUE(project->OnCloseButton());
    EXPECT_EQ(before, dir.Read("demo.web"));
  }
  auto project = Open();
  project->m_tree.InsertFileItem(project->m_tree.GetRootItem(), notes);
  project->m_bTreeChanged = 1;
  prompter.QueueAnswer(true);
  EXPECT_TRUE(project->OnCloseButton());
  EXPECT_TRUE(log.lines.empty());  // nothing converted
  EXPECT_FALSE(PathExists(target + "_index.c"));
  auto reopened = Open();
  ASSERT_EQ(6u, reopened->m_tree.m_nodes.size());
  // The second item of notes.txt shares the first one's number.
  EXPECT_EQ(2, reopened->m_tree.m_nodes[5]->GetFunction());
}

// Every file below a folder, by its path relative to the folder.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    std::string data;
    EXPECT_TRUE(ReadWholeFile(entry.path().string(), data));
    files[entry.path().string().substr(folder.size())] = std::move(data);
  }
  return files;
}

void SetMtime(const std::string& path, time_t when) {
  struct utimbuf times {
    when, when
  };
  ASSERT_EQ(0, ::utime(path.c_str(), &times));
}

std::string Bytes(size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (char& b : bytes) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<char>(seed >> 16);
  }
  return bytes;
}

// The same builds, once with every file read and written once per build and
// once step by step (each step loading and saving the file), must leave the
// same bytes in every generated file and the project file: pages with forms
// and dynamic markers, binary files of the sizes the array rows care about and
// one large enough to be formatted in several pieces, a source used twice, a
// rebuild after edits and a second Build All over the existing files, and
// sources whose URLs an earlier node of the same build has taken.
TEST(BuildWaysTest, BatchedBuildWritesTheSameBytesAsStepByStep) {
  SetEnvironmentValue("SOURCE_DATE_EPOCH", "1700000000");
  TempDir dir;
  const std::string site = dir.File("site") + kPathSeparator;
  const std::string target = dir.File("out") + kPathSeparator;
  const std::string projectPath = dir.File("demo.web");
  const std::string formPage =
      "<p>_NZZA_Clock and _nzza_Date</p>\r\n<FORM METHOD=post ACTION=\"set_time\">\r\n"
      "<input name=t> _NZZA_Clock ?? \"quoted\" \\ done</form>\r\n" +
      std::string(1500, 'x') + "\r\n";
  struct Source {
    std::string name;
    std::string text;
  };
  const std::vector<Source> sources = {
      {"index.htm", formPage},
      {"img/logo.gif", Bytes(1234, 1)},
      {"img/big.bin", Bytes(300000, 2)},
      {"docs/a.htm",
       "<form method=\"GET\" action=\"find\">_NZZA_Hits</form>\n"
       "<form method=\"post\" action=\"mailto:x@y\"></form>\n"},
      {"docs/empty.gif", ""},
      {"docs/row.png", Bytes(20, 3)},
      {"docs/odd.wav", Bytes(21, 4)},
      {"docs/deep/b.htm", "plain page /* @! Begin File: not a marker */\n"},
      {"notes.txt", "notes\n"},
      {"other/index.htm", "<p>_NZZA_Other</p>\n"},
      {"other/row.png", Bytes(77, 6)}};

  using Snapshots = std::vector<std::map<std::string, std::string>>;
  auto run = [&](bool batched) {
    std::filesystem::remove_all(site);
    std::filesystem::remove_all(target);
    std::filesystem::remove(projectPath);
    time_t when = 1600000000;
    for (const Source& source : sources)
      SetMtime(dir.Write("site/" + source.name, source.text), when);
    ScriptedPrompter prompter;
    {
      COpenProject project(prompter, nullptr);
      project.StartNew(projectPath);
      project.m_strTargetDirField = target;
      CSTreeCtrl& tree = project.m_tree;
      HTREEITEM root = tree.GetRootItem();
      HTREEITEM img = tree.InsertFolderItem(root, "img");
      HTREEITEM docs = tree.InsertFolderItem(root, "docs");
      HTREEITEM deep = tree.InsertFolderItem(docs, "deep");
      tree.InsertFileItem(root, site + "index.htm");
      tree.InsertFileItem(img, site + "img/logo.gif");
      tree.InsertFileItem(img, site + "img/big.bin");
      tree.InsertFileItem(docs, site + "docs/a.htm");
      tree.InsertFileItem(docs, site + "docs/empty.gif");
      tree.InsertFileItem(docs, site + "docs/row.png");
      tree.InsertFileItem(docs, site + "img/logo.gif");  // the same source twice
      tree.InsertFileItem(docs, site + "docs/odd.wav");
      tree.InsertFileItem(deep, site + "docs/deep/b.htm");
      tree.InsertFileItem(root, site + "notes.txt");
      // Other sources under URLs already taken: their entries exist by then.
      tree.InsertFileItem(root, site + "other/index.htm");
      tree.InsertFileItem(docs, site + "other/row.png");
      prompter.QueueAnswer(true);  // create the target directory
      EXPECT_TRUE(project.PrepareTargetFiles());
      EXPECT_TRUE(project.RefreshAndSaveUnbuilt());
    }
    Snapshots snapshots;
    auto build = [&](bool all) {
      COpenProject project(prompter, nullptr);
      EXPECT_TRUE(project.OpenExisting(projectPath));
      project.SetBatchedWrites(batched);
      EXPECT_TRUE(all ? project.OnBuildAll() : project.OnBuild());
      EXPECT_EQ(0, project.FailedCount());
      auto files = Snapshot(target);
      files["log"] = project.m_strBuildLog;
      files["project"] = dir.Read(projectPath);
      snapshots.push_back(std::move(files));
    };
    build(false);
    // Edits: a page gains a form and a marker, a binary file grows, another is
    // only touched.
    when += 100;
    SetMtime(dir.Write("site/docs/deep/b.htm", "<form method=post action=more>_NZZA_New\n"), when);
    SetMtime(dir.Write("site/docs/row.png", Bytes(40, 5)), when);
    SetMtime(site + "docs/odd.wav", when);
    build(false);
    build(true);
    // Only the question that created the target directory.
    EXPECT_EQ(1u, prompter.Texts().size()) << prompter.Texts().back();
    return snapshots;
  };
  const Snapshots batched = run(true);
  const Snapshots stepwise = run(false);
  ASSERT_EQ(3u, batched.size());
  ASSERT_EQ(3u, stepwise.size());
  for (size_t i = 0; i < batched.size(); ++i) {
    EXPECT_EQ(batched[i].size(), stepwise[i].size()) << "build " << i;
    for (const auto& [name, bytes] : stepwise[i]) {
      const auto it = batched[i].find(name);
      ASSERT_TRUE(it != batched[i].end()) << name << " after build " << i;
      EXPECT_TRUE(it->second == bytes) << name << " differs after build " << i;
    }
  }
  // The second build converted what changed, the third everything.
  EXPECT_NE(batched[0].at("bindata.c"), batched[1].at("bindata.c"));
  EXPECT_NE(std::string::npos, batched[2].at("_docs_deep_b.c").find("Post_more"));
}

std::string FailedLine(const std::string& source, const std::string& output) {
  return source + " ---> " + output + "  failed.\r\n";
}

TEST_F(OpenProjectTest, FailedNodeIsConvertedAgainByThePlainBuild) {
  CreateProject();
  ASSERT_TRUE(Open()->OnBuild());
  log.lines.clear();
  Touch(index, 10);
  const std::string page = target + "_index.c";
  ASSERT_EQ(0, ::chmod(page.c_str(), 0444));
  auto project = Open();
  ASSERT_TRUE(project->OnBuild());
  EXPECT_EQ(1, project->FailedCount());
  EXPECT_EQ(FailedLine(index, page), log.lines.at(0));

  // Another window (or command) made later finds it still to be done.
  ASSERT_EQ(0, ::chmod(page.c_str(), 0644));
  prompter.Clear();
  log.lines.clear();
  auto again = Open();
  ASSERT_TRUE(again->OnBuild());
  EXPECT_EQ((std::vector<std::string>{LogLine(index, page), "Build number:    1 Done\r\n"}),
            log.lines);
  EXPECT_EQ(0, again->FailedCount());
  log.lines.clear();
  ASSERT_TRUE(again->OnBuild());
  EXPECT_EQ(std::vector<std::string>{"Build number:    2 Done\r\n"}, log.lines);
}

TEST_F(OpenProjectTest, FileUnwrittenAtTheEndOfTheBatchFailsItsNodes) {
  CreateProject();
  ASSERT_TRUE(Open()->OnBuild());
  log.lines.clear();
  log.results.clear();
  dir.Write(notes, "changed text\n");
  Touch(notes, 10);
  const std::string page = target + "_notes.c";
  // The page file turns read-only after its node converted, before it is written.
  log.afterNode = [&](const CPageNode& node) {
    if (node.GetPath() == notes) ::chmod(page.c_str(), 0444);
  };
  const std::string before = dir.Read(page);
  auto project = Open();
  ASSERT_TRUE(project->OnBuild());
  EXPECT_EQ((std::vector<std::string>{
                LogLine(notes, page),
                notes + " ---> " + page + "  failed: " + page + " was not written.\r\n",
                "Build number:    1 Done\r\n"}),
            log.lines);
  EXPECT_EQ((std::vector<std::string>{notes + " ok", notes + " failed"}), log.results);
  EXPECT_EQ(1, project->FailedCount());
  EXPECT_EQ(std::vector<std::string>{"Cannot create file " + page}, prompter.Texts());
  EXPECT_EQ(before, dir.Read(page));

  // The next plain build converts it again.
  log.afterNode = nullptr;
  ASSERT_EQ(0, ::chmod(page.c_str(), 0644));
  log.lines.clear();
  prompter.Clear();
  ASSERT_TRUE(Open()->OnBuild());
  EXPECT_EQ(LogLine(notes, page), log.lines.at(0));
  EXPECT_NE(std::string::npos, dir.Read(page).find("changed text"));
}

TEST_F(OpenProjectTest, UnwrittenUrlFileFailsEveryConvertedNode) {
  CreateProject();
  const std::string url = target + "url.c";
  log.afterNode = [&](const CPageNode& node) {
    if (node.GetPath() == notes) ::chmod(url.c_str(), 0444);  // the last node
  };
  auto project = Open();
  ASSERT_TRUE(project->OnBuild());
  EXPECT_EQ(3, project->FailedCount());
  EXPECT_EQ(7u, log.lines.size());  // three o.k., three corrections, the build number
  for (size_t i = 3; i < 6; ++i) {
    EXPECT_NE(std::string::npos, log.lines[i].find("  failed: " + url + " was not written."));
  }
}

TEST_F(OpenProjectTest, StubEditedDuringTheBuildSurvives) {
  CreateProject();
  ASSERT_TRUE(Open()->OnBuild());
  Touch(index, 10);
  const std::string page = target + "_index.c";
  std::string edited;
  log.afterNode = [&](const CPageNode& node) {
    if (node.GetPath() != index) return;
    // An editor saves the stub with the user's code while the build goes on.
    edited = dir.Read(page);
    const size_t body = edited.find("    /* add your implementation here: */");
    ASSERT_NE(std::string::npos, body);
    edited.insert(body, "    clock_show(handle);\r\n");
    dir.Write(page, edited);
  };
  auto project = Open();
  ASSERT_TRUE(project->OnBuild());
  EXPECT_EQ(edited, dir.Read(page));
  EXPECT_EQ(1, project->FailedCount());
  EXPECT_EQ(std::vector<std::string>{"File " + page +
                                     " was changed on disk during the build; it was not "
                                     "overwritten."},
            prompter.Texts());

  // The next build converts the page again and keeps the user's code.
  log.afterNode = nullptr;
  prompter.Clear();
  log.lines.clear();
  auto again = Open();
  ASSERT_TRUE(again->OnBuild());
  EXPECT_EQ(LogLine(index, page), log.lines.at(0));
  EXPECT_NE(std::string::npos, dir.Read(page).find("    clock_show(handle);\r\n"));
}

TEST_F(OpenProjectTest, EditInTheSameSecondIsConverted) {
  auto setTime = [](const std::string& path, long nanoseconds) {
    ASSERT_TRUE(SetLastWriteTime(path, 1700000000, nanoseconds));
  };
  setTime(notes, 100);
  CreateProject();
  ASSERT_TRUE(Open()->OnBuild());
  log.lines.clear();
  setTime(notes, 500000);
  ASSERT_TRUE(Open()->OnBuild());
  EXPECT_EQ(LogLine(notes, target + "_notes.c"), log.lines.at(0));
  // An older time is no change.
  log.lines.clear();
  setTime(notes, 200);
  ASSERT_TRUE(Open()->OnBuild());
  EXPECT_EQ(std::vector<std::string>{"Build number:    1 Done\r\n"}, log.lines);
}

TEST_F(OpenProjectTest, EmptyTargetDirectoryIsNeverTheRoot) {
  CreateProject();
  auto project = Open();
  project->m_strTargetDirField.clear();
  EXPECT_FALSE(project->OnBuild());
  EXPECT_EQ(std::vector<std::string>{"You have re-enter your target directory"}, prompter.Texts());
  EXPECT_FALSE(PathExists("/url.c"));
  EXPECT_FALSE(PathExists("/bindata.c"));
  EXPECT_TRUE(log.lines.empty());
}

TEST_F(OpenProjectTest, SourceThatIsNoFileFailsFast) {
  CreateProject();
  ASSERT_TRUE(RemoveFile(index));
  if (!MakeNamedPipe(index)) GTEST_SKIP() << "no named pipe can lie in a folder here";
  auto project = Open();
  EXPECT_FALSE(project->OnBuild());  // returns at once: nothing waits for a writer
  EXPECT_EQ(
      std::vector<std::string>{index + " is not a regular file (a directory, a pipe or a device) "
                                       "and cannot be read."},
      prompter.Texts());
}

TEST_F(OpenProjectTest, BuildRemovesTemporaryFilesAKilledBuildLeft) {
  CreateProject();
  const std::vector<std::string> stale = {
      target + ".url.c.tmpAb12Cd", target + "._index.c.tmpZZ9xy0", dir.File(".demo.web.tmpq1w2e3")};
  for (const std::string& path : stale) dir.Write(path, "half");
  const std::string foreign = dir.Write(target + ".notes.txt.tmpAb12Cd", "not ours");
  ASSERT_TRUE(Open()->OnBuild());
  for (const std::string& path : stale) EXPECT_FALSE(PathExists(path)) << path;
  EXPECT_TRUE(PathExists(foreign));
}

TEST_F(OpenProjectTest, MessagesOfANodeCarryItsSource) {
  class ContextPrompter : public ScriptedPrompter {
   public:
    void ShowOk(const std::string& text) override {
      ScriptedPrompter::ShowOk(context + "|" + text);
    }
    void SetContext(const std::string& c) override { context = c; }
    std::string context;
  };
  CreateProject();
  dir.Write(target + "_index.c", "int user_code;\n");  // not ours: its node fails
  ContextPrompter contextPrompter;
  COpenProject project(contextPrompter, &log);
  ASSERT_TRUE(project.OpenExisting(projectPath));
  ASSERT_TRUE(project.OnBuild());
  ASSERT_EQ(1u, contextPrompter.Texts().size());
  EXPECT_EQ(0u, contextPrompter.Texts()[0].find(index + "|File " + target + "_index.c"));
  EXPECT_EQ("", contextPrompter.context);
}

TEST_F(OpenProjectTest, InvalidProjectFileIsReported) {
  dir.Write("demo.web", "not a project");
  COpenProject project(prompter, &log);
  EXPECT_FALSE(project.OpenExisting(projectPath));
  EXPECT_EQ(std::vector<std::string>{"Invalid .web file or file no longer exists"},
            prompter.Texts());
}

// The window's way in: a project copied to another folder (a clone) opens
// there without one relocation question, builds its own files, and a build
// saves the project file byte for byte as it was.
TEST_F(OpenProjectTest, ACloneOpensWithoutQuestionsAndKeepsTheProjectFile) {
  CreateProject();
  {
    auto project = Open();
    ASSERT_TRUE(project->OnBuildAll());
  }
  TempDir clone;
  for (const char* part : {"site", "out", "demo.web"}) {
    std::filesystem::copy(dir.File(part), clone.File(part),
                          std::filesystem::copy_options::recursive);
  }
  const std::string bytes = clone.Read("demo.web");
  clone.Write("site/index.htm", "<p>Cloned _NZZA_Clock</p>\n");
  CMappedRelocationAnswers noAnswers({});
  COpenProject project(prompter, nullptr);
  ASSERT_TRUE(project.VerifyAndOpen(clone.File("demo.web"), false, noAnswers));
  EXPECT_TRUE(noAnswers.Unanswered().empty());
  EXPECT_EQ(clone.File("out") + kPathSeparator, project.m_strTargetDirField);
  ASSERT_TRUE(project.OnBuild());
  EXPECT_EQ(0, project.FailedCount());
  EXPECT_NE(std::string::npos, clone.Read("out/_index.c").find("Cloned"));
  EXPECT_EQ(std::string::npos, dir.Read("out/_index.c").find("Cloned"));
  EXPECT_EQ(bytes, clone.Read("demo.web"));
  EXPECT_TRUE(prompter.Texts().empty()) << prompter.Texts()[0];
}

TEST_F(OpenProjectTest, EntriesOfItemsNoLongerInTheTreeAreReported) {
  CreateProject();
  auto project = Open();
  ASSERT_TRUE(project->OnBuildAll());
  // notes.txt leaves the tree; its entry stays in the URL file, and the next
  // build says so.
  HTREEITEM root = project->m_tree.GetRootItem();
  HTREEITEM notesItem = project->m_tree.FindChildItem(root, notes);
  ASSERT_NE(nullptr, notesItem);
  ASSERT_TRUE(project->RemoveItem(notesItem));
  log.lines.clear();
  ASSERT_TRUE(project->OnBuild());
  const std::string stray = FormatText(COpenProject::kStrayEntryText, {"/notes.txt"}) + "\r\n";
  EXPECT_NE(log.lines.end(), std::find(log.lines.begin(), log.lines.end(), stray));
  EXPECT_EQ(1, std::count_if(log.lines.begin(), log.lines.end(), [](const std::string& line) {
              return line.find("belongs to no item") != std::string::npos;
            }));
}

}  // namespace
