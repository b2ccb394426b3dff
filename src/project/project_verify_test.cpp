#include "project/project_verify.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <deque>
#include <filesystem>
#include <optional>

#include "platform/path.h"
#include "project/project_file.h"
#include "project/tree_ctrl.h"
#include "testing/scripted_prompter.h"
#include "testing/temp_dir.h"

namespace {

// Answers the relocation questions from queues; an unexpected question or an
// unused answer fails the test.
class CScriptedAnswers : public CRelocationAnswers {
 public:
  ~CScriptedAnswers() override {
    EXPECT_TRUE(m_files.empty() && m_targets.empty()) << "queued answers were never asked for";
  }
  void QueueFile(std::optional<std::string> location) { m_files.push_back(std::move(location)); }
  void QueueTarget(std::optional<std::string> dir) { m_targets.push_back(std::move(dir)); }

  bool AskNewFileLocation(const std::string& missingFile, const std::string& oldLocation,
                          const std::string& name, std::string& newLocation) override {
    m_asked.push_back("file " + missingFile + " | " + oldLocation + " | " + name);
    return Answer(m_files, newLocation);
  }
  bool AskNewTargetDirectory(const std::string& invalidDirectory,
                             std::string& newDirectory) override {
    m_asked.push_back("target " + invalidDirectory);
    return Answer(m_targets, newDirectory);
  }
  const std::vector<std::string>& Asked() const { return m_asked; }

 private:
  bool Answer(std::deque<std::optional<std::string>>& queue, std::string& out) {
    if (queue.empty()) {
      ADD_FAILURE() << "unexpected question: " << m_asked.back();
      return false;
    }
    std::optional<std::string> answer = queue.front();
    queue.pop_front();
    if (!answer) return false;
    out = *answer;
    return true;
  }

  std::deque<std::optional<std::string>> m_files;
  std::deque<std::optional<std::string>> m_targets;
  std::vector<std::string> m_asked;
};

ino_t Inode(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// A built project under <temp>/<old>: sources in site/, output in out/, the
// project file beside them. Move() renames the whole folder.
class VerifyProjectTest : public ::testing::Test {
 protected:
  std::string Old() const { return m_dir.path() + "/C/web"; }
  std::string New() const { return m_dir.path() + "/D/work"; }
  std::string ProjectPath() const { return m_dir.path() + "/site.web"; }

  void MakeProject(int files) {
    CSTreeCtrl tree;
    HTREEITEM root = tree.InsertItem(CSTreeCtrl::kRootText, ImageRoot);
    HTREEITEM img = tree.InsertFolderItem(root, "img");
    for (int i = 0; i < files; ++i) {
      const std::string name = "site/img/p" + std::to_string(i) + (i == 0 ? ".htm" : ".gif");
      tree.InsertFileItem(img, m_dir.Write("C/web/" + name, "data"));
    }
    m_settings.m_strTargetDir = Old() + kPathSeparator + "out/";
    m_settings.m_strUrlFile = "url.c";
    m_settings.m_strBinFile = "bindata.c";
    ScriptedPrompter prompter;
    ASSERT_TRUE(tree.RefreshNodes(m_settings, prompter));
    for (const auto& node : tree.m_nodes) {
      if (!node->GetOutputFile().empty()) {
        m_dir.Write(node->GetOutputFile().substr(m_dir.path().size() + 1), "");
      }
    }
    ASSERT_EQ(SaveProjectFile(ProjectPath(), tree.m_nodes, m_settings, prompter),
              SaveProjectResult::kSaved);
  }
  void Move() {
    std::filesystem::create_directories(m_dir.path() + "/D");
    std::filesystem::rename(Old(), New());
  }
  CPageNodeList Reload() {
    CPageNodeList nodes;
    EXPECT_TRUE(LoadProjectFile(ProjectPath(), nodes, m_loaded));
    return nodes;
  }

  TempDir m_dir;
  CProjectSettings m_settings;
  CProjectSettings m_loaded;
  ScriptedPrompter m_prompter;
  CScriptedAnswers m_answers;
};

TEST_F(VerifyProjectTest, IntactProjectOpensWithoutQuestionsOrRewrite) {
  MakeProject(3);
  const ino_t before = Inode(ProjectPath());
  EXPECT_EQ(VerifyProject(ProjectPath(), m_prompter, m_answers), 1);
  EXPECT_TRUE(m_prompter.shown().empty());
  EXPECT_TRUE(m_answers.Asked().empty());
  EXPECT_EQ(Inode(ProjectPath()), before);
}

TEST_F(VerifyProjectTest, UnreadableProjectIsRefused) {
  m_dir.Write("bad.web", "\x01\x00\x01\x80");
  EXPECT_EQ(VerifyProject(m_dir.File("bad.web"), m_prompter, m_answers), 0);
  EXPECT_EQ(VerifyProject(m_dir.File("none.web"), m_prompter, m_answers), 0);
  EXPECT_EQ(m_prompter.Texts(),
            (std::vector<std::string>{"Invalid .web file or file no longer exists",
                                      "Invalid .web file or file no longer exists"}));
}

TEST_F(VerifyProjectTest, TenFilesOfAMovedFolderNeedOneAnswer) {
  if (kNativePathFlavor != PathFlavor::kPosix)
    GTEST_SKIP() << "expects POSIX path text (PathTest has the Windows rules)";
  MakeProject(10);
  const std::string marker = "/*  @! File: " + Old() + kPathSeparator + "site/img/p0.htm {{ */";
  m_dir.Write("C/web/out/_img_p0.c", "/* C file: " + Old() + kPathSeparator +
                                         "out/_img_p0.c created\r\n" + marker + "\r\nnot " + Old() +
                                         kPathSeparator + "site\r\n");
  Move();
  m_answers.QueueFile(New() + kPathSeparator + "site/img");
  EXPECT_EQ(VerifyProject(ProjectPath(), m_prompter, m_answers), 1);
  // The learned prefix also found the target directory: no second question.
  EXPECT_EQ(m_answers.Asked(),
            std::vector<std::string>{"file " + Old() + kPathSeparator + "site/img/p0.htm | " +
                                     Old() + kPathSeparator + "site/img | /p0.htm"});
  EXPECT_TRUE(m_prompter.shown().empty());

  CPageNodeList nodes = Reload();
  ASSERT_EQ(nodes.size(), 12u);
  for (size_t i = 2; i < 12; ++i) {
    EXPECT_EQ(nodes[i]->GetPath().rfind(New() + kPathSeparator + "site/img/p", 0), 0u)
        << nodes[i]->GetPath();
    EXPECT_EQ(nodes[i]->GetOutputFile().rfind(New() + kPathSeparator + "out/", 0), 0u);
  }
  EXPECT_EQ(m_loaded.m_strTargetDir, New() + kPathSeparator + "out/");
  EXPECT_EQ(m_loaded.m_nNextFunction, 10);
  // The target moved, so the generated files' markers and banner moved too.
  EXPECT_EQ(m_dir.Read("D/work/out/_img_p0.c"),
            "/* C file: " + New() + kPathSeparator + "out/_img_p0.c created\r\n/*  @! File: " +
                New() + "/site/img/p0.htm {{ */\r\nnot " + Old() + kPathSeparator + "site\r\n");
}

// When the corrected project file cannot be saved the project is not opened:
// opening the old file would drop the answers.
TEST_F(VerifyProjectTest, UnsavedRelocationOpensNothing) {
  if (kNativePathFlavor != PathFlavor::kPosix)
    GTEST_SKIP() << "expects POSIX path text (PathTest has the Windows rules)";
  MakeProject(2);
  Move();
  ::chmod(ProjectPath().c_str(), 0444);
  m_answers.QueueFile(New() + kPathSeparator + "site/img");
  EXPECT_EQ(VerifyProject(ProjectPath(), m_prompter, m_answers), 0);
  EXPECT_EQ(m_prompter.shown().size(), 1u);  // why the save failed
  ::chmod(ProjectPath().c_str(), 0644);
}

TEST_F(VerifyProjectTest, DriveLikeChangeTeachesTheDifferingPrefix) {
  if (kNativePathFlavor != PathFlavor::kPosix)
    GTEST_SKIP() << "expects POSIX path text (PathTest has the Windows rules)";
  MakeProject(2);
  Move();  // <temp>/C/web -> <temp>/D/work: only the last folders differ
  std::filesystem::rename(m_dir.path() + "/D/work", m_dir.path() + "/D/web");
  m_answers.QueueFile(m_dir.path() + "/D/web/site/img");
  EXPECT_EQ(VerifyProject(ProjectPath(), m_prompter, m_answers), 1);
  Reload();
  EXPECT_EQ(m_loaded.m_strTargetDir, m_dir.path() + "/D/web/out/");
}

TEST_F(VerifyProjectTest, CancelledAnswersKeepTheOldPaths) {
  MakeProject(2);
  Move();
  m_answers.QueueFile(std::nullopt);
  m_answers.QueueFile(std::nullopt);
  m_answers.QueueTarget(std::nullopt);
  const ino_t before = Inode(ProjectPath());
  EXPECT_EQ(VerifyProject(ProjectPath(), m_prompter, m_answers), 1);
  EXPECT_EQ(m_prompter.Texts(),
            (std::vector<std::string>{"You have to delete the file from the tree structure",
                                      "You have to delete the file from the tree structure",
                                      "You have re-enter your target directory"}));
  EXPECT_EQ(Inode(ProjectPath()), before);
}

TEST_F(VerifyProjectTest, NewTargetDirectoryRewritesEveryCFileThere) {
  MakeProject(1);
  const std::string out = m_dir.path() + "/elsewhere/";
  const std::string line = "/* @! Begin File: " + Old() + kPathSeparator + "out/x.gif */";
  m_dir.Write("elsewhere/hand.c", line);
  m_dir.Write("elsewhere/notes.h", line);
  std::filesystem::remove_all(Old() + kPathSeparator + "out");
  m_answers.QueueTarget(out);
  EXPECT_EQ(VerifyProject(ProjectPath(), m_prompter, m_answers), 1);
  EXPECT_EQ(m_answers.Asked(),
            std::vector<std::string>{"target " + Old() + kPathSeparator + "out/"});
  // Learned: <Old>/out/ -> <temp>/elsewhere/ trimmed to their differing starts.
  EXPECT_EQ(m_dir.Read("elsewhere/hand.c"),
            "/* @! Begin File: " + m_dir.path() + "/elsewhere/x.gif */");
  EXPECT_EQ(m_dir.Read("elsewhere/notes.h"), line);
  Reload();
  EXPECT_EQ(m_loaded.m_strTargetDir, out);
}

TEST_F(VerifyProjectTest, MovedSourcesAloneLeaveTheMarkers) {
  if (kNativePathFlavor != PathFlavor::kPosix)
    GTEST_SKIP() << "expects POSIX path text (PathTest has the Windows rules)";
  MakeProject(2);
  std::filesystem::rename(Old() + kPathSeparator + "site", m_dir.path() + "/site2");
  m_dir.Write("C/web/out/_img_p0.c",
              "/*  @! File: " + Old() + kPathSeparator + "site/img/p0.htm {{ */");
  const ino_t marker = Inode(Old() + kPathSeparator + "out/_img_p0.c");
  m_answers.QueueFile(m_dir.path() + "/site2/img");
  EXPECT_EQ(VerifyProject(ProjectPath(), m_prompter, m_answers), 1);
  EXPECT_EQ(Inode(Old() + kPathSeparator + "out/_img_p0.c"), marker);
  CPageNodeList nodes = Reload();
  EXPECT_EQ(nodes[3]->GetPath(), m_dir.path() + "/site2/img/p1.gif");
}

TEST_F(VerifyProjectTest, EmptyTargetDirectoryIsAsked) {
  CPageNodeList nodes;
  ScriptedPrompter prompter;
  ASSERT_EQ(SaveProjectFile(ProjectPath(), nodes, CProjectSettings(), prompter),
            SaveProjectResult::kSaved);
  m_answers.QueueTarget(m_dir.path() + kPathSeparator);
  EXPECT_EQ(VerifyProject(ProjectPath(), m_prompter, m_answers), 1);
  EXPECT_EQ(m_answers.Asked(), std::vector<std::string>{"target "});
  Reload();
  EXPECT_EQ(m_loaded.m_strTargetDir, m_dir.path() + kPathSeparator);
}

TEST(RelocateMarkersTest, RewritesMarkerLinesAfterTheFirstColumnOnce) {
  TempDir dir;
  const std::string file = dir.Write("page.c",
                                     "/* C file: /old/out/page.c created\r\n"
                                     "/*  @! File: /old/src/a.htm {{ */\r\n"
                                     "HSSend(\"/old/src\");\r\n"
                                     "}    /*  @! FILE: /old/src/a.htm }} */\r\n"
                                     "/* @! begin file: /old/src/b.gif */\r\n"
                                     "/old/x /* @! End File: /old/src/b.gif */\r\n");
  // "/*" sorts first and stands at column 0 of most marker lines, where it is
  // passed over; on the closing line it is found after the first column.
  const CRelocationMap map{{"/*", "#"}, {"/old", "/new"}};
  ScriptedPrompter prompter;
  EXPECT_TRUE(RelocateMarkers(file, map, prompter));
  EXPECT_EQ(dir.Read("page.c"),
            "/* C file: /new/out/page.c created\r\n"
            "/*  @! File: /new/src/a.htm {{ */\r\n"
            "HSSend(\"/old/src\");\r\n"
            "}    #  @! FILE: /old/src/a.htm }} */\r\n"
            "/* @! begin file: /new/src/b.gif */\r\n"
            "/old/x # @! End File: /old/src/b.gif */\r\n");
  EXPECT_TRUE(prompter.shown().empty());
}

TEST(RelocateMarkersTest, UntouchedFilesAreNotSaved) {
  TempDir dir;
  const std::string plain = dir.Write("plain.c", "/* @! Begin File: /keep/a.gif */\r\n");
  const std::string longLine =
      dir.Write("long.c", "/* C file: /old/x.c */\r\n" + std::string(2000, 'x') + "\r\n");
  const ino_t plainInode = Inode(plain);
  const CRelocationMap map{{"/old", "/new"}};
  ScriptedPrompter prompter;
  EXPECT_FALSE(RelocateMarkers(plain, map, prompter));
  EXPECT_EQ(Inode(plain), plainInode);
  // A line too long for the line document: left as it is, no question asked.
  EXPECT_FALSE(RelocateMarkers(longLine, map, prompter));
  EXPECT_EQ(dir.Read("long.c"), "/* C file: /old/x.c */\r\n" + std::string(2000, 'x') + "\r\n");
  EXPECT_FALSE(RelocateMarkers(dir.File("missing.c"), map, prompter));
  EXPECT_TRUE(prompter.shown().empty());
}

TEST(VerifyHelpersTest, TrimCommonTailAndExistence) {
  std::string a = "C:/web/site/img", b = "D:/work/site/img";
  TrimCommonTail(a, b);
  EXPECT_EQ(a, "C:/web");
  EXPECT_EQ(b, "D:/work");
  std::string c = "/a/b", d = "/x/A/b";
  TrimCommonTail(c, d);
  EXPECT_EQ(c, "/a");
  EXPECT_EQ(d, "/x/A");
  std::string e = "/same", f = "/same";
  TrimCommonTail(e, f);
  EXPECT_EQ(e, "");
  EXPECT_EQ(f, "");

  TempDir dir;
  dir.Write("f.txt", "x");
  EXPECT_EQ(FileExists(dir.File("f.txt")), 1);
  EXPECT_EQ(FileExists(dir.path()), 1);
  EXPECT_EQ(FileExists(dir.File("none")), 0);
  EXPECT_EQ(DirectoryExists(dir.path() + kPathSeparator), 1);
  EXPECT_EQ(DirectoryExists(dir.File("f.txt") + kPathSeparator), 0);
  EXPECT_EQ(DirectoryExists(""), 0);
  EXPECT_EQ(DirectoryExists("/"), 1);
}

TEST(MappedRelocationAnswersTest, AnswersFromMappingsOrRecordsTheQuestion) {
  if (kNativePathFlavor != PathFlavor::kPosix)
    GTEST_SKIP() << "expects POSIX path text (PathTest has the Windows rules)";
  TempDir dir;
  dir.Write("new/site/a.htm", "x");
  CMappedRelocationAnswers::Mapping mapping;
  EXPECT_FALSE(CMappedRelocationAnswers::ParseMapping("no-equals", mapping));
  EXPECT_FALSE(CMappedRelocationAnswers::ParseMapping("=/x", mapping));
  ASSERT_TRUE(CMappedRelocationAnswers::ParseMapping("/old=" + dir.File("new"), mapping));
  EXPECT_EQ(mapping.first, "/old");

  CMappedRelocationAnswers answers({{"/other", "/nowhere"}, mapping});
  std::string location;
  EXPECT_TRUE(answers.AskNewFileLocation("/old/site/a.htm", "/old/site", "/a.htm", location));
  EXPECT_EQ(location, dir.File("new/site"));
  EXPECT_FALSE(answers.AskNewFileLocation("/old/site/b.htm", "/old/site", "/b.htm", location));
  std::string target;
  EXPECT_TRUE(answers.AskNewTargetDirectory("/old/site/", target));
  EXPECT_EQ(target, dir.File("new/site/"));
  EXPECT_FALSE(answers.AskNewTargetDirectory("", target));
  EXPECT_EQ(answers.Unanswered(), (std::vector<std::string>{"/old/site/b.htm", ""}));
  EXPECT_EQ(1, answers.UnansweredTargetIndex());
}

}  // namespace
