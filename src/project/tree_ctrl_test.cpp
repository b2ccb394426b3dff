#include "project/tree_ctrl.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/file_util.h"
#include "project/archive.h"
#include "project/url_names.h"
#include "testing/scripted_prompter.h"
#include "testing/temp_dir.h"

namespace {

void SetModified(const std::string& path, time_t seconds) {
  ASSERT_TRUE(SetLastWriteTime(path, seconds, 0)) << path;
}

// A project on disk: sources under src/, generated files under out/.
class TreeCtrlTest : public ::testing::Test {
 protected:
  TreeCtrlTest() {
    m_settings.m_strTargetDir = m_dir.path() + "/out/";
    m_settings.m_strBinFile = "bindata.c";
    m_root = m_tree.InsertItem(CSTreeCtrl::kRootText, ImageRoot);
  }

  std::string Source(const std::string& name) {
    const std::string path = m_dir.Write("src/" + name, "<p>" + name + "</p>\n");
    SetModified(path, 1700000000);
    return path;
  }
  // Creates every output file the last refresh named, as a build would.
  void Build() {
    for (const auto& node : m_tree.m_nodes) {
      if (!node->GetOutputFile().empty())
        m_dir.Write(node->GetOutputFile().substr(m_dir.path().size() + 1), "");
    }
  }
  bool Refresh() { return m_tree.RefreshNodes(m_settings, m_prompter); }
  const CPageNode& Node(size_t i) { return *m_tree.m_nodes.at(i); }

  TempDir m_dir;
  ScriptedPrompter m_prompter;
  CProjectSettings m_settings;
  CSTreeCtrl m_tree;
  HTREEITEM m_root;
};

TEST_F(TreeCtrlTest, RootOnlyRefreshesToOneNode) {
  ASSERT_TRUE(Refresh());
  ASSERT_EQ(m_tree.m_nodes.size(), 1u);
  EXPECT_EQ(Node(0).GetFolder(), 1);
  EXPECT_EQ(Node(0).GetIndex(), 0);
  EXPECT_EQ(Node(0).GetParent(), -1);
  EXPECT_EQ(Node(0).GetFirstChild(), 0);
  EXPECT_EQ(Node(0).GetNextSibling(), 0);
  EXPECT_EQ(Node(0).GetPath(), " / ");
}

TEST_F(TreeCtrlTest, FirstRefreshBuildsPreOrderAndNumbersEveryFile) {
  HTREEITEM a = m_tree.InsertFolderItem(m_root, "a");
  m_tree.InsertFileItem(a, Source("x.htm"));
  m_tree.InsertFileItem(a, Source("y.gif"));
  m_tree.InsertFileItem(m_root, Source("z.txt"));
  ASSERT_TRUE(Refresh());

  ASSERT_EQ(m_tree.m_nodes.size(), 5u);
  EXPECT_EQ(Node(0).GetFirstChild(), 1);
  EXPECT_EQ(Node(1).GetPath(), "a");
  EXPECT_EQ(Node(1).GetFirstChild(), 2);
  EXPECT_EQ(Node(1).GetNextSibling(), 4);
  EXPECT_EQ(Node(2).GetNextSibling(), 3);
  EXPECT_EQ(Node(3).GetNextSibling(), 0);
  EXPECT_EQ(Node(3).GetParent(), 1);
  EXPECT_EQ(Node(4).GetParent(), 0);
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(Node(i).GetIndex(), static_cast<int>(i));

  EXPECT_EQ(Node(1).GetUrl(), "");
  EXPECT_EQ(Node(1).GetFunction(), -1);
  EXPECT_EQ(Node(2).GetUrl(), "/a/x.htm");
  EXPECT_EQ(Node(3).GetUrl(), "/a/y.gif");
  EXPECT_EQ(Node(4).GetUrl(), "/z.txt");
  EXPECT_EQ(Node(2).GetFunction(), 0);
  EXPECT_EQ(Node(3).GetFunction(), 1);
  EXPECT_EQ(Node(4).GetFunction(), 2);
  EXPECT_EQ(m_settings.m_nNextFunction, 3);
  for (size_t i = 2; i < 5; ++i) EXPECT_EQ(Node(i).GetChanged(), 1);
  EXPECT_EQ(Node(2).GetOutputFile(), m_settings.m_strTargetDir + "_a_x.c");
  EXPECT_EQ(Node(3).GetOutputFile(), m_settings.m_strTargetDir + "bindata.c");
  EXPECT_EQ(Node(4).GetOutputFile(), m_settings.m_strTargetDir + "_z.c");
  EXPECT_EQ(Node(3).GetSize(), std::string("<p>y.gif</p>\n").size());
  EXPECT_EQ(Node(2).GetLastWrite(), 1700000000ULL * 10000000ULL + 116444736000000000ULL);
  EXPECT_EQ(Node(3).GetItem(), m_tree.GetNextSiblingItem(m_tree.GetChildItem(a)));
}

TEST_F(TreeCtrlTest, UnchangedProjectRefreshesWithoutChanges) {
  HTREEITEM a = m_tree.InsertFolderItem(m_root, "a");
  m_tree.InsertFileItem(a, Source("x.htm"));
  m_tree.InsertFileItem(a, Source("y.gif"));
  ASSERT_TRUE(Refresh());
  Build();
  ASSERT_TRUE(Refresh());
  EXPECT_EQ(Node(2).GetFunction(), 0);
  EXPECT_EQ(Node(3).GetFunction(), 1);
  EXPECT_EQ(Node(2).GetChanged(), 0);
  EXPECT_EQ(Node(3).GetChanged(), 0);
  EXPECT_EQ(m_settings.m_nNextFunction, 2);
  EXPECT_TRUE(m_tree.m_oldNodes.empty());
}

TEST_F(TreeCtrlTest, MovedPageGetsANewNumberMovedBinaryKeepsItsOwn) {
  HTREEITEM a = m_tree.InsertFolderItem(m_root, "a");
  HTREEITEM b = m_tree.InsertFolderItem(m_root, "b");
  const std::string page = Source("x.htm");
  const std::string picture = Source("y.gif");
  HTREEITEM pageItem = m_tree.InsertFileItem(a, page);
  HTREEITEM pictureItem = m_tree.InsertFileItem(a, picture);
  ASSERT_TRUE(Refresh());
  Build();

  m_tree.DeleteItem(pageItem);
  m_tree.DeleteItem(pictureItem);
  m_tree.InsertFileItem(b, page);
  m_tree.InsertFileItem(b, picture);
  ASSERT_TRUE(Refresh());
  Build();
  ASSERT_EQ(m_tree.m_nodes.size(), 5u);
  EXPECT_EQ(Node(3).GetUrl(), "/b/x.htm");
  EXPECT_EQ(Node(3).GetFunction(), 2);
  EXPECT_EQ(Node(3).GetChanged(), 1);
  EXPECT_EQ(Node(4).GetUrl(), "/b/y.gif");
  EXPECT_EQ(Node(4).GetFunction(), 1);
  EXPECT_EQ(Node(4).GetChanged(), 1);
  EXPECT_EQ(m_settings.m_nNextFunction, 3);
}

TEST_F(TreeCtrlTest, TwoItemsForOnePictureShareANumber) {
  HTREEITEM a = m_tree.InsertFolderItem(m_root, "a");
  m_tree.InsertFileItem(a, Source("index.htm"));
  ASSERT_TRUE(Refresh());
  Build();

  // The same new picture added twice in one go, and the same new page twice.
  const std::string picture = Source("logo.gif");
  HTREEITEM b = m_tree.InsertFolderItem(m_root, "b");
  m_tree.InsertFileItem(a, picture);
  m_tree.InsertFileItem(b, picture);
  m_tree.InsertFileItem(b, Source("new.htm"));
  m_tree.InsertFileItem(b, m_dir.File("src/new.htm"));
  ASSERT_TRUE(Refresh());
  ASSERT_EQ(m_tree.m_nodes.size(), 8u);
  EXPECT_EQ(Node(3).GetUrl(), "/a/logo.gif");
  EXPECT_EQ(Node(5).GetUrl(), "/b/logo.gif");
  EXPECT_EQ(Node(3).GetFunction(), 1);
  EXPECT_EQ(Node(5).GetFunction(), 1);
  EXPECT_EQ(Node(5).GetChanged(), 1);
  EXPECT_EQ(Node(6).GetFunction(), 2);
  EXPECT_EQ(Node(7).GetFunction(), 2);
  EXPECT_EQ(m_settings.m_nNextFunction, 3);
}

TEST_F(TreeCtrlTest, NewerSourceIsChangedOlderIsNot) {
  const std::string newer = Source("a.htm");
  const std::string older = Source("b.gif");
  m_tree.InsertFileItem(m_root, newer);
  m_tree.InsertFileItem(m_root, older);
  ASSERT_TRUE(Refresh());
  Build();
  SetModified(newer, 1700000001);
  SetModified(older, 1600000000);
  ASSERT_TRUE(Refresh());
  EXPECT_EQ(Node(1).GetChanged(), 1);
  EXPECT_EQ(Node(2).GetChanged(), 0);
  // A missing output file is regenerated too.
  ASSERT_EQ(::unlink(Node(1).GetOutputFile().c_str()), 0);
  SetModified(newer, 1700000001);
  ASSERT_TRUE(Refresh());
  EXPECT_EQ(Node(1).GetChanged(), 1);
}

TEST_F(TreeCtrlTest, AbandonedRefreshPutsThePreviousListBack) {
  m_tree.InsertFileItem(m_root, Source("a.htm"));
  ASSERT_TRUE(Refresh());
  const std::string missing = m_dir.File("src/gone.gif");
  m_tree.InsertFileItem(m_root, Source("b.htm"));
  m_tree.InsertFileItem(m_root, missing);
  EXPECT_FALSE(Refresh());
  ASSERT_EQ(m_prompter.shown().size(), 1u);
  EXPECT_EQ(m_prompter.shown()[0].kind, ScriptedPrompter::Kind::kStop);
  EXPECT_EQ(m_prompter.shown()[0].text, missing + " was not found.");
  ASSERT_EQ(m_tree.m_nodes.size(), 2u);
  EXPECT_EQ(Node(1).GetUrl(), "/a.htm");
  EXPECT_TRUE(m_tree.m_oldNodes.empty());
  EXPECT_EQ(m_settings.m_nNextFunction, 1);

  // A missing page fails in the same way when its time is read.
  m_tree.DeleteItem(m_tree.FindChildItem(m_root, missing));
  m_tree.InsertFileItem(m_root, m_dir.File("src/gone.htm"));
  EXPECT_FALSE(Refresh());
  EXPECT_EQ(m_tree.m_nodes.size(), 2u);
}

TEST_F(TreeCtrlTest, UrlsThroughNestedAndEmptyFolders) {
  HTREEITEM site = m_tree.InsertFolderItem(m_root, "site");
  HTREEITEM img = m_tree.InsertFolderItem(site, "img dir");
  m_tree.InsertFileItem(img, Source("Logo.GIF"));
  HTREEITEM unnamed = m_tree.InsertFolderItem(m_root, "");
  m_tree.InsertFileItem(unnamed, Source("page.html"));
  ASSERT_TRUE(Refresh());
  EXPECT_EQ(Node(3).GetUrl(), "/site/img dir/Logo.GIF");
  EXPECT_EQ(Node(5).GetUrl(), "//page.html");
  EXPECT_EQ(Node(5).GetOutputFile(), m_settings.m_strTargetDir + "__page.c");
  EXPECT_EQ(m_tree.GetNodeUrl(99), "");
}

TEST_F(TreeCtrlTest, DeleteSelection) {
  HTREEITEM folder = m_tree.InsertFolderItem(m_root, "docs");
  HTREEITEM file = m_tree.InsertFileItem(folder, Source("a.htm"));
  ASSERT_TRUE(Refresh());
  EXPECT_FALSE(m_tree.DeleteSelection(nullptr, m_prompter));
  EXPECT_FALSE(m_tree.DeleteSelection(m_root, m_prompter));
  m_prompter.QueueAnswer(false);
  EXPECT_FALSE(m_tree.DeleteSelection(folder, m_prompter));
  EXPECT_EQ(m_prompter.Texts(),
            (std::vector<std::string>{
                "You can't delete root",
                "Do you want to delete the folder: docs and all its subdirectories/files ?"}));
  EXPECT_EQ(m_tree.GetCount(), 3u);

  m_prompter.Clear();
  EXPECT_TRUE(m_tree.DeleteSelection(file, m_prompter));
  EXPECT_TRUE(m_prompter.shown().empty());
  m_tree.InsertFileItem(folder, Source("b.htm"));
  m_prompter.QueueAnswer(true);
  EXPECT_TRUE(m_tree.DeleteSelection(folder, m_prompter));
  EXPECT_EQ(m_tree.GetCount(), 1u);
  // The node list stays until the next refresh; its handles of deleted items are cleared.
  ASSERT_EQ(m_tree.m_nodes.size(), 3u);
  EXPECT_EQ(Node(1).GetItem(), nullptr);
  EXPECT_EQ(Node(2).GetItem(), nullptr);
  EXPECT_EQ(Node(0).GetItem(), m_root);
}

TEST_F(TreeCtrlTest, OnlyFolderLabelsAreEditable) {
  HTREEITEM folder = m_tree.InsertFolderItem(m_root);
  HTREEITEM file = m_tree.InsertFileItem(m_root, "/x/a.htm");
  EXPECT_EQ(m_tree.GetItemText(folder), "New Folder");
  EXPECT_FALSE(m_tree.CanEditLabel(m_root));
  EXPECT_FALSE(m_tree.CanEditLabel(file));
  EXPECT_FALSE(m_tree.EndLabelEdit(file, "b.htm"));
  EXPECT_TRUE(m_tree.EndLabelEdit(folder, "my docs"));
  EXPECT_EQ(m_tree.GetItemText(folder), "my docs");
  EXPECT_EQ(m_tree.GetItemText(file), "/x/a.htm");
}

TEST_F(TreeCtrlTest, FolderNamesThatCannotBePartOfAUrlAreRefused) {
  HTREEITEM folder = m_tree.InsertFolderItem(m_root, "docs");
  ScriptedPrompter prompter;
  for (const char* bad : {"", ".", "..", "a\"b", "a\\b", "a,b", "a?b", "a/b", "a\tb", "a\x7f"}) {
    prompter.Clear();
    EXPECT_FALSE(m_tree.EndLabelEdit(folder, bad, &prompter)) << bad;
    ASSERT_EQ(prompter.Texts().size(), 1u) << bad;
    EXPECT_EQ(prompter.Texts()[0].rfind("The folder name \"", 0), 0u) << prompter.Texts()[0];
    EXPECT_EQ(m_tree.GetItemText(folder), "docs");
    // mkdir and --under take the same rule, and make no folder of the path.
    if (std::string(bad).empty() || std::string(bad) == "a/b") continue;
    const size_t count = m_tree.GetCount();
    EXPECT_EQ(m_tree.FindFolderItem(std::string("/new/") + bad + "/x", true), nullptr) << bad;
    EXPECT_EQ(m_tree.GetCount(), count);
  }
  ASSERT_EQ(prompter.Texts().size(), 1u);
  EXPECT_EQ(prompter.Texts()[0],
            "The folder name \"a^?\" cannot be part of a URL: it holds the "
            "control character 0x7F.");
  EXPECT_EQ(RefusedFolderNameText(".."),
            "The folder name \"..\" cannot be part of a URL: it is "
            "\"..\".");
  EXPECT_EQ(
      RefusedFileText("/site/what?.htm"),
      "The file /site/what?.htm cannot be part of a URL: its name holds a question mark (?).");
  EXPECT_EQ(RefusedFileText("/si,te/ok.htm"), "");
  EXPECT_EQ(RefusedUrlFolderText("/a//b c/%41/"), "");
  EXPECT_EQ(RefusedUrlFolderText("/a/../b"),
            "The folder name \"..\" cannot be part of a URL: it is \"..\".");
}

TEST_F(TreeCtrlTest, SavedListReopensAsTheSameTree) {
  HTREEITEM a = m_tree.InsertFolderItem(m_root, "a");
  HTREEITEM b = m_tree.InsertFolderItem(a, "b");
  m_tree.InsertFileItem(b, Source("x.htm"));
  m_tree.InsertFileItem(a, Source("y.gif"));
  m_tree.InsertFolderItem(m_root, "c");
  m_tree.InsertFileItem(m_root, Source("z.txt"));
  ASSERT_TRUE(Refresh());
  CArchive out;
  m_tree.Serialize(out);

  CSTreeCtrl reopened;
  CArchive in(out.Buffer());
  reopened.Serialize(in);
  reopened.OpenNodeList();
  std::vector<std::string> before, after;
  auto lister = [](std::vector<std::string>& lines, const CSTreeCtrl& tree) {
    tree.WalkItems([&](HTREEITEM item, int depth) {
      lines.push_back(std::to_string(depth) + ":" + std::to_string(item->GetImage()) + ":" +
                      item->GetText());
    });
  };
  lister(before, m_tree);
  lister(after, reopened);
  EXPECT_EQ(after, before);
  EXPECT_EQ(reopened.m_nodes[3]->GetItem()->GetText(), m_dir.File("src/x.htm"));

  // A refresh of the reopened tree keeps every number and changes nothing.
  Build();
  ASSERT_TRUE(reopened.RefreshNodes(m_settings, m_prompter));
  for (size_t i = 0; i < m_tree.m_nodes.size(); ++i) {
    EXPECT_EQ(reopened.m_nodes[i]->GetFunction(), Node(i).GetFunction());
    EXPECT_EQ(reopened.m_nodes[i]->GetChanged(), 0);
  }
}

TEST(TreeCtrlOpenTest, EmptyListOpensAsTheRoot) {
  CSTreeCtrl tree;
  tree.OpenNodeList();
  ASSERT_EQ(tree.GetCount(), 1u);
  EXPECT_EQ(tree.GetItemText(tree.GetRootItem()), " / ");
  EXPECT_EQ(tree.GetItemImage(tree.GetRootItem()), ImageRoot);
}

TEST(TreeCtrlOpenTest, FolderPathsAreFoundOrCreated) {
  CSTreeCtrl tree;
  EXPECT_EQ(tree.FindFolderItem("/a", false), nullptr);
  HTREEITEM ab = tree.FindFolderItem("/a/b/", true);
  ASSERT_NE(ab, nullptr);
  EXPECT_EQ(tree.GetItemText(ab), "b");
  EXPECT_EQ(tree.FindFolderItem("a/b", false), ab);
  EXPECT_EQ(tree.FindFolderItem("/", false), tree.GetRootItem());
  EXPECT_EQ(tree.GetCount(), 3u);
}

TEST(TreeCtrlOpenTest, VeryDeepTreesNeedNoDeepStack) {
  TempDir dir;
  CSTreeCtrl tree;
  HTREEITEM item = tree.InsertItem(CSTreeCtrl::kRootText, ImageRoot);
  constexpr int kDepth = 200000;
  for (int i = 0; i < kDepth; ++i) item = tree.InsertFolderItem(item, "d");
  tree.InsertFileItem(item, dir.Write("deep.htm", "x"));
  CProjectSettings settings;
  ScriptedPrompter prompter;
  ASSERT_TRUE(tree.RefreshNodes(settings, prompter));
  ASSERT_EQ(tree.m_nodes.size(), static_cast<size_t>(kDepth + 2));
  EXPECT_EQ(tree.m_nodes.back()->GetUrl().size(), 2u * kDepth + 9);

  CSTreeCtrl reopened;
  reopened.m_nodes = std::move(tree.m_nodes);
  reopened.OpenNodeList();
  EXPECT_EQ(reopened.GetCount(), static_cast<size_t>(kDepth + 2));
}

}  // namespace
