// The rules of the desktop program's windows that live below the widgets:
// the recent-project list, the source browser, the tree edits of the project
// window, the acceptance of relocation answers, and the window's additions.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cctype>
#include <filesystem>

#include "build/open_project.h"
#include "build/page_files.h"
#include "build/recent_list.h"
#include "build/source_browser.h"
#include "document/markers.h"
#include "platform/file_util.h"
#include "project/project_verify.h"
#include "testing/scripted_prompter.h"
#include "testing/temp_dir.h"

namespace {

TEST(RecentListTest, EleventhDropsTheOldestAndAKnownPathMovesUp) {
  if (kNativePathFlavor != PathFlavor::kPosix)
    GTEST_SKIP() << "expects POSIX path text (PathTest has the Windows rules)";
  CRecentList list;
  for (int i = 1; i <= 11; ++i) list.AddToRecentList("/p/" + std::to_string(i) + ".web");
  std::vector<std::string> entries = list.NonEmptyEntries();
  ASSERT_EQ(10u, entries.size());
  EXPECT_EQ("/p/11.web", entries.front());
  EXPECT_EQ("/p/2.web", entries.back());  // 1 dropped
  list.AddToRecentList("/p/5.web");
  entries = list.NonEmptyEntries();
  ASSERT_EQ(10u, entries.size());
  EXPECT_EQ("/p/5.web", entries[0]);
  EXPECT_EQ("/p/11.web", entries[1]);
  EXPECT_EQ("/p/4.web", entries[7]);
  EXPECT_EQ("/p/3.web", entries[8]);
}

TEST(RecentListTest, CaseCountsOnlyWhereTheFileSystemCountsIt) {
  if (kNativePathFlavor != PathFlavor::kPosix)
    GTEST_SKIP() << "expects POSIX path text (PathTest has the Windows rules)";
  CRecentList exact(true);
  exact.AddToRecentList("/p/Site.web");
  exact.AddToRecentList("/p/site.web");
  EXPECT_EQ(2u, exact.NonEmptyEntries().size());
  CRecentList folded(false);
  folded.AddToRecentList("/p/Site.web");
  folded.AddToRecentList("/p/other.web");
  folded.AddToRecentList("/p/SITE.web");
  ASSERT_EQ(2u, folded.NonEmptyEntries().size());
  EXPECT_EQ("/p/SITE.web", folded.GetEntry(0));
}

TEST(RecentListTest, RelativePathsBecomeAbsoluteAndRemovalClosesTheGap) {
  if (kNativePathFlavor != PathFlavor::kPosix)
    GTEST_SKIP() << "expects POSIX path text (PathTest has the Windows rules)";
  CRecentList list;
  list.AddToRecentList("a.web");
  EXPECT_EQ(CurrentDirectory() + "/a.web", list.GetEntry(0));
  list.Load({"/x.web", "", "/y.web", "/z.web"});  // a gap in the stored values
  EXPECT_EQ("/y.web", list.GetEntry(1));
  list.RemoveFromRecentList(0);
  EXPECT_EQ((std::vector<std::string>{"/y.web", "/z.web"}), list.NonEmptyEntries());
  EXPECT_EQ("", list.GetEntry(9));
  EXPECT_EQ("Project1", CRecentList::ValueName(0));
  EXPECT_EQ("Project10", CRecentList::ValueName(9));
}

TEST(SourceBrowserTest, ListsFoldersFilesAndRoots) {
  if (kNativePathFlavor != PathFlavor::kPosix) GTEST_SKIP() << "expects the one POSIX root \"/\"";
  TempDir dir;
  dir.Write("b.HTM", "");
  dir.Write("a.gif", "");
  dir.Write("README", "");
  dir.Write("zeta/x.htm", "");
  std::filesystem::create_directory(dir.File("alpha"));
  CSourceBrowser browser;
  ASSERT_TRUE(browser.Fill(dir.path() + kPathSeparator));
  EXPECT_EQ(dir.path(), browser.m_strSourceDir);
  EXPECT_EQ((std::vector<std::string>{"[..]", "[alpha]", "[zeta]"}), browser.m_folders);
  EXPECT_EQ((std::vector<std::string>{"a.gif", "b.HTM", "README"}), browser.m_files);
  EXPECT_EQ((std::vector<std::string>{"[-/-]"}), browser.m_drives);
  ASSERT_TRUE(browser.SetFilter("*.htm*"));
  EXPECT_EQ((std::vector<std::string>{"b.HTM"}), browser.m_files);
  EXPECT_EQ(dir.File("b.HTM"), browser.FullPath("b.HTM"));
}

TEST(SourceBrowserTest, EntersFoldersUpAndDownAndRefusesWhatIsNoFolder) {
  TempDir dir;
  dir.Write("sub/page.htm", "");
  dir.Write("file.txt", "");
  ScriptedPrompter prompter;
  CSourceBrowser browser;
  ASSERT_TRUE(browser.Fill(dir.path()));
  ASSERT_TRUE(browser.EnterFolder("[sub]", prompter));
  EXPECT_EQ(dir.File("sub"), browser.m_strSourceDir);
  EXPECT_EQ((std::vector<std::string>{"page.htm"}), browser.m_files);
  ASSERT_TRUE(browser.EnterFolder("[..]", prompter));
  EXPECT_EQ(dir.path(), browser.m_strSourceDir);
  EXPECT_FALSE(browser.EnterFolder("[file.txt]", prompter));
  EXPECT_FALSE(browser.ChangeDrive("[-/nowhere-]", prompter));
  EXPECT_EQ(dir.path(), browser.m_strSourceDir);  // lists kept
  EXPECT_EQ((std::vector<std::string>{CSourceBrowser::kCannotChangeDirText,
                                      CSourceBrowser::kCannotChangeDriveText}),
            prompter.Texts());
}

// At a file-system root there is no parent entry, and a file's full path has
// one separator only.
TEST(SourceBrowserTest, RootAsTheBrowsedFolder) {
  if (kNativePathFlavor != PathFlavor::kPosix) GTEST_SKIP() << "expects the one POSIX root \"/\"";
  ScriptedPrompter prompter;
  CSourceBrowser browser;
  ASSERT_TRUE(browser.ChangeDrive("[-/-]", prompter));
  EXPECT_EQ("/", browser.m_strSourceDir);
  ASSERT_FALSE(browser.m_folders.empty());
  EXPECT_NE("[..]", browser.m_folders.front());
  EXPECT_EQ("/vmlinuz", browser.FullPath("vmlinuz"));
  ASSERT_TRUE(browser.EnterFolder("[tmp]", prompter));
  EXPECT_EQ("/tmp", browser.m_strSourceDir);
  EXPECT_EQ("[..]", browser.m_folders.front());
}

class TreeEditTest : public ::testing::Test {
 protected:
  ScriptedPrompter prompter;
  COpenProject project{prompter, nullptr};
  void SetUp() override { project.StartNew("/tmp/never-saved.web"); }
  HTREEITEM Root() { return project.m_tree.GetRootItem(); }
};

TEST_F(TreeEditTest, AddFilesTakesTheFirstHundredWithImagesFromAnyCase) {
  std::vector<std::string> paths;
  for (int i = 0; i < 150; ++i) paths.push_back("/s/f" + std::to_string(i) + ".bmp");
  paths[0] = "/s/A.HTM";
  paths[1] = "/s/B.CLASS";
  paths[2] = "/s/c.TEXT";
  paths[3] = "/s/noext";
  EXPECT_EQ(100, project.AddFiles(Root(), paths));
  ASSERT_EQ(100, Root()->GetChildCount());
  EXPECT_EQ("/s/f99.bmp", Root()->GetChild(99)->GetText());
  EXPECT_EQ(ImagePage, Root()->GetChild(0)->GetImage());
  EXPECT_EQ(ImageApplet, Root()->GetChild(1)->GetImage());
  EXPECT_EQ(ImageText, Root()->GetChild(2)->GetImage());
  EXPECT_EQ(ImageBinary, Root()->GetChild(3)->GetImage());
  EXPECT_EQ(1, project.m_bTreeChanged);
  // The same file again is a second item.
  project.AddFiles(Root(), {"/s/A.HTM"});
  EXPECT_EQ("/s/A.HTM", Root()->GetChild(100)->GetText());
}

TEST_F(TreeEditTest, AddsOnlyUnderRootOrFolderAndSaysWhy) {
  HTREEITEM file = project.m_tree.InsertFileItem(Root(), "/s/a.gif");
  EXPECT_EQ(0, project.AddFiles(Root(), {}));
  EXPECT_EQ(0, project.AddFiles(file, {"/s/b.gif"}));
  EXPECT_EQ(0, project.AddFiles(nullptr, {"/s/b.gif"}));
  EXPECT_EQ(nullptr, project.AddFolder(file));
  EXPECT_EQ((std::vector<std::string>{
                COpenProject::kSelectFilesText, COpenProject::kSelectRootOrFolderText,
                COpenProject::kSelectRootOrFolderText, COpenProject::kSelectNodeText}),
            prompter.Texts());
  EXPECT_EQ(0, project.m_bTreeChanged);
  // A new folder, named at once, leaves the tree unchanged for Close.
  HTREEITEM folder = project.AddFolder(Root());
  ASSERT_NE(nullptr, folder);
  EXPECT_EQ(CSTreeCtrl::kNewFolderText, folder->GetText());
  EXPECT_TRUE(project.m_tree.EndLabelEdit(folder, "img"));
  EXPECT_EQ(0, project.m_bTreeChanged);
}

TEST_F(TreeEditTest, FileOrFolderNamesThatCannotBePartOfAUrlAreRefused) {
  // One file of the selection whose name cannot be part of a URL: none is added.
  EXPECT_EQ(0, project.AddFiles(Root(), {"/s/a.gif", "/s/what?.htm", "/s/b.gif"}));
  EXPECT_EQ(0, Root()->GetChildCount());
  EXPECT_EQ(0, project.m_bTreeChanged);
  // The new folder's name as the window's label edit takes it.
  HTREEITEM folder = project.AddFolder(Root());
  ASSERT_NE(nullptr, folder);
  EXPECT_FALSE(project.m_tree.EndLabelEdit(folder, "..", &prompter));
  EXPECT_EQ(CSTreeCtrl::kNewFolderText, folder->GetText());
  EXPECT_EQ(
      (std::vector<std::string>{
          "The file /s/what?.htm cannot be part of a URL: its name holds a question mark (?).",
          "The folder name \"..\" cannot be part of a URL: it is \"..\"."}),
      prompter.Texts());
}

TEST_F(TreeEditTest, RemoveMarksTheTreeChangedEvenWhenRefused) {
  EXPECT_FALSE(project.RemoveItem(Root()));
  EXPECT_EQ(1, project.m_bTreeChanged);
  EXPECT_EQ((std::vector<std::string>{CSTreeCtrl::kCannotDeleteRootText}), prompter.Texts());
}

TEST(EditorButtonTest, AsksAboutUnbuiltChangesOnlyBeforeABuild) {
  TempDir dir;
  const std::string page = dir.Write("site/index.htm", "<p>hi</p>\n");
  ScriptedPrompter prompter;
  COpenProject project(prompter, nullptr);
  project.StartNew(dir.File("p.web"));
  project.AddFiles(project.m_tree.GetRootItem(), {page});
  prompter.QueueAnswer(false);
  EXPECT_FALSE(project.PrepareEditor());
  EXPECT_EQ(COpenProject::kEditorUnbuiltText, prompter.Texts().back());
  ASSERT_TRUE(project.OnBuild());
  prompter.Clear();
  EXPECT_TRUE(project.PrepareEditor());
  EXPECT_TRUE(prompter.Texts().empty());
}

// Close with a project file that cannot be saved asks before the tree's
// edits are lost.
TEST(CloseButtonTest, UnsavedProjectAsksBeforeClosing) {
  TempDir dir;
  const std::string path = dir.Write("p.web", "");
  ScriptedPrompter prompter;
  COpenProject project(prompter, nullptr);
  project.StartNew(path);
  project.ApplyLocationFields();
  ::chmod(path.c_str(), 0444);
  prompter.QueueAnswer(false);
  EXPECT_FALSE(project.OnCloseButton());
  EXPECT_EQ(COpenProject::kCloseUnsavedText, prompter.Texts().back());
  prompter.QueueAnswer(true);
  EXPECT_TRUE(project.OnCloseButton());
  ::chmod(path.c_str(), 0644);
  prompter.Clear();
  EXPECT_TRUE(project.OnCloseButton());
  EXPECT_TRUE(prompter.Texts().empty());
}

// A project closed before its first build stored no file names; opening it
// again offers the defaults instead of names no build could use.
TEST(OpenProjectFieldsTest, ProjectSavedBeforeItsFirstBuildOffersDefaultNames) {
  TempDir dir;
  ScriptedPrompter prompter;
  {
    COpenProject project(prompter, nullptr);
    project.StartNew(dir.File("p.web"));
    ASSERT_TRUE(project.OnCloseButton());
  }
  COpenProject project(prompter, nullptr);
  ASSERT_TRUE(project.OpenExisting(dir.File("p.web")));
  EXPECT_EQ("", project.m_settings.m_strUrlFile);
  EXPECT_EQ("url.c", project.m_strUrlFileField);
  EXPECT_EQ("bindata.c", project.m_strBinFileField);
}

TEST(RelocationAnswerTest, FileLocationMustHoldTheFile) {
  TempDir dir;
  dir.Write("new/logo.gif", "x");
  ScriptedPrompter prompter;
  EXPECT_TRUE(AcceptFileLocation(dir.File("new"), "/logo.gif", prompter));
  // A trailing separator is joined as it is: two in a row still name the file.
  EXPECT_TRUE(AcceptFileLocation(dir.File("new") + kPathSeparator, "/logo.gif", prompter));
  EXPECT_FALSE(AcceptFileLocation(dir.File("old"), "/logo.gif", prompter));
  EXPECT_EQ(
      (std::vector<std::string>{"File: " + dir.File("old") + "/logo.gif still couldn't be found"}),
      prompter.Texts());
}

TEST(RelocationAnswerTest, TargetDirectoryWithOrWithoutSeparatorButNoFile) {
  TempDir dir;
  dir.Write("out/file.c", "");
  ScriptedPrompter prompter;
  std::string plain = dir.File("out"), slashed = dir.File("out") + kPathSeparator;
  EXPECT_TRUE(AcceptTargetDirectory(plain, prompter));
  EXPECT_TRUE(AcceptTargetDirectory(slashed, prompter));
  EXPECT_EQ(dir.File("out") + kPathSeparator, plain);
  EXPECT_EQ(plain, slashed);
  std::string file = dir.File("out/file.c"), empty;
  EXPECT_FALSE(AcceptTargetDirectory(file, prompter));
  EXPECT_FALSE(AcceptTargetDirectory(empty, prompter));
  EXPECT_EQ("File: " + dir.File("out/file.c") + " still couldn't be found", prompter.Texts()[0]);
}

TEST(RelocationAnswerTest, ChosenFolderWarnings) {
  if (kNativePathFlavor != PathFlavor::kPosix)
    GTEST_SKIP() << "a read-only folder needs POSIX permission bits";
  TempDir dir;
  dir.Write("ro/x", "");
  ::chmod(dir.File("ro").c_str(), 0555);
  ScriptedPrompter prompter;
  ReportChosenFolder(dir.path(), prompter);
  ReportChosenFolder(dir.File("gone"), prompter);
  ReportChosenFolder(dir.File("ro"), prompter);
  EXPECT_EQ((std::vector<std::string>{kFolderUnreadableText, kFolderReadOnlyText}),
            prompter.Texts());
  ::chmod(dir.File("ro").c_str(), 0755);
}

}  // namespace

// The additions of the project window below the widgets: folders added with
// everything below them, the URL of each item, and the user code that a
// rename or removal leaves behind in generated page files.
class TreeAdditionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir.Write("site/index.htm", "<p>home</p>\n");
    m_dir.Write("site/.hidden.htm", "<p>x</p>\n");
    m_dir.Write("site/.git/config", "x");
    m_dir.Write("site/img/logo.gif", "GIF89a");
    m_dir.Write("site/admin/login.htm", "<form method=post action=login><input name=u></form>\n");
    m_project.StartNew(m_dir.File("p.web"));
  }
  HTREEITEM Root() { return m_project.m_tree.GetRootItem(); }
  std::vector<std::string> Urls() {
    std::vector<std::string> urls;
    m_project.m_tree.WalkItems(
        [&](HTREEITEM item, int) { urls.push_back(m_project.m_tree.GetItemUrl(item)); });
    return urls;
  }

  TempDir m_dir;
  ScriptedPrompter m_prompter;
  COpenProject m_project{m_prompter, nullptr};
};

TEST_F(TreeAdditionsTest, AddPathsMirrorsFoldersSkipsHiddenAndAddsNothingTwice) {
  int skipped = -1;
  // A trailing separator still names the folder.
  EXPECT_EQ(3, m_project.AddPaths(Root(), {m_dir.File("site") + kPathSeparator}, &skipped));
  EXPECT_EQ(2, skipped);  // .hidden.htm and .git
  EXPECT_TRUE(m_project.m_bTreeChanged);
  EXPECT_EQ((std::vector<std::string>{"/", "/site", "/site/admin", "/site/admin/login.htm",
                                      "/site/img", "/site/img/logo.gif", "/site/index.htm"}),
            Urls());
  // Again, with a file named on its own, hidden or not: the folder item is
  // reused and no file comes twice.
  m_project.m_bTreeChanged = 0;
  HTREEITEM site = m_project.m_tree.FindChildItem(Root(), "site");
  ASSERT_NE(nullptr, site);
  EXPECT_EQ(1,
            m_project.AddPaths(site, {m_dir.File("site/index.htm"), m_dir.File("site/.hidden.htm"),
                                      m_dir.File("gone.htm"), m_dir.File("site/img")}));
  EXPECT_TRUE(m_project.m_bTreeChanged);
  EXPECT_EQ("/site/.hidden.htm", Urls().back());
  EXPECT_EQ(8u, Urls().size());
}

TEST_F(TreeAdditionsTest, ItemUrlsAndPageFilesAreWhatTheBuildUses) {
  m_project.ImportDirectory(Root(), m_dir.File("site"));
  ASSERT_TRUE(m_project.OnBuildAll());
  const std::set<std::string> pages = m_project.PageFilesOfTree();
  size_t pageNodes = 0;
  for (const auto& node : m_project.m_tree.m_nodes) {
    if (!node->GetFolder() && node->GetParent() >= 0) {
      EXPECT_EQ(node->GetUrl(), m_project.m_tree.GetItemUrl(node->GetItem()));
    }
    if (node->IsPage()) {
      ++pageNodes;
      EXPECT_EQ(1u, pages.count(node->GetOutputFile())) << node->GetOutputFile();
    }
  }
  EXPECT_EQ(pageNodes, pages.size());
}

TEST_F(TreeAdditionsTest, UserCodeLeftBehindByARenameOrARemoval) {
  m_project.ImportDirectory(Root(), m_dir.File("site"));
  ASSERT_TRUE(m_project.OnBuildAll());
  const std::string page = m_project.TargetDir() + "_admin_login.c";
  std::string text;
  ASSERT_TRUE(ReadWholeFile(page, text));
  // Only the generated stub: nothing of the user's.
  EXPECT_FALSE(PageFileHoldsUserCode(page));
  EXPECT_FALSE(PageFileHoldsUserCode(m_dir.File("none.c")));
  HTREEITEM admin = m_project.m_tree.FindChildItem(Root(), "admin");
  ASSERT_NE(nullptr, admin);
  std::set<std::string> before = m_project.PageFilesOfTree();
  ASSERT_TRUE(m_project.m_tree.EndLabelEdit(admin, "private"));
  EXPECT_TRUE(m_project.UserCodeLeftBehind(before).empty());
  ASSERT_TRUE(m_project.m_tree.EndLabelEdit(admin, "admin"));

  const size_t at = text.find(markers::kStubPlaceholder);
  ASSERT_NE(std::string::npos, at);
  text.insert(at, "    HSSend(handle, \"ok\");\r\n");
  m_dir.Write(page, text);
  EXPECT_TRUE(PageFileHoldsUserCode(page));
  ASSERT_TRUE(m_project.m_tree.EndLabelEdit(admin, "private"));
  EXPECT_EQ(std::vector<std::string>{page}, m_project.UserCodeLeftBehind(before));
  // Renamed back, the tree stands for the file again.
  ASSERT_TRUE(m_project.m_tree.EndLabelEdit(admin, "admin"));
  EXPECT_TRUE(m_project.UserCodeLeftBehind(before).empty());
  m_project.RemoveItem(admin->GetChild(0));
  EXPECT_EQ(std::vector<std::string>{page}, m_project.UserCodeLeftBehind(before));

  // Code is seen whatever letter case the markers were given, and in a stub
  // whose closing line was lost before the next stub; a file that cannot be
  // read through counts as holding code.
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  m_dir.Write(page, lower);
  EXPECT_TRUE(PageFileHoldsUserCode(page));
  const std::string stub = std::string(markers::kFunctionPrefix) + "na_X" + markers::kOpenSuffix +
                           "\r\nvoid na_X(unsigned long handle)\r\n{\r\n";
  m_dir.Write(page, stub + stub + "    HSSend(handle, \"x\");\r\n}\r\n");
  EXPECT_TRUE(PageFileHoldsUserCode(page));
  m_dir.Write(page, std::string(2 << 20, 'x'));
  EXPECT_TRUE(PageFileHoldsUserCode(page));
  // A form handler, in any letter case, keeps its file from being offered
  // for deletion.
  EXPECT_FALSE(PageFileHoldsFormHandler(m_dir.Write(page, stub)));
  EXPECT_TRUE(PageFileHoldsFormHandler(
      m_dir.Write(page, "/* @! FUNCTION: post_save {{ */\r\nvoid Post_save(unsigned long h)\r\n")));
}

TEST_F(TreeAdditionsTest, MissingSourcesAreTheFileItemsWithoutTheirFile) {
  m_project.ImportDirectory(Root(), m_dir.File("site"));
  EXPECT_TRUE(m_project.MissingSources().empty());
  std::filesystem::remove(m_dir.File("site/img/logo.gif"));
  std::filesystem::remove_all(m_dir.File("site/admin"));
  std::vector<std::string> missing;
  for (HTREEITEM item : m_project.MissingSources()) missing.push_back(item->GetText());
  EXPECT_EQ((std::vector<std::string>{m_dir.File("site/admin/login.htm"),
                                      m_dir.File("site/img/logo.gif")}),
            missing);
}
