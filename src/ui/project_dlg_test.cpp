// The project window, driven on the offscreen platform through its controls.
#include "ui/project_dlg.h"

#include <sys/stat.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeView>
#include <QtTest>

#include "build/open_project.h"
#include "platform/file_util.h"
#include "testing/temp_dir.h"
#include "ui/ui_test_support.h"
#include "ui/url_tree_model.h"

namespace {

QString Text(QWidget* parent, const char* name) {
  if (auto* edit = parent->findChild<QLineEdit*>(name)) return edit->text();
  if (auto* label = parent->findChild<QLabel*>(name)) return label->text();
  return "<no " + QString(name) + ">";
}

// Asks the window's state when a question comes during a build.
class CProbingPrompter : public ScriptedPrompter {
 public:
  std::function<void()> m_probe;
  bool AskYesNo(const std::string& text) override {
    if (m_probe) m_probe();
    return ScriptedPrompter::AskYesNo(text);
  }
};

}  // namespace

class ProjectDlgTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TempDir> m_dir;
  std::unique_ptr<CProbingPrompter> m_prompter;
  std::unique_ptr<CScriptedDialogs> m_dialogs;
  std::unique_ptr<COpenProject> m_project;
  std::unique_ptr<CProjectDlg> m_window;

  // A new project p.web in the scratch folder with the browser in site/.
  void OpenNew() {
    m_project->StartNew(m_dir->File("p.web"));
    m_project->m_settings.m_strSourceDir = m_dir->File("site");
    m_window = std::make_unique<CProjectDlg>(nullptr, *m_project, *m_prompter, *m_dialogs);
    m_window->show();
  }
  HTREEITEM Root() { return m_project->m_tree.GetRootItem(); }
  QListWidget* Files() { return m_window->findChild<QListWidget*>("fileList"); }
  void SelectFiles(int count) {
    for (int row = 0; row < count; ++row) Files()->item(row)->setSelected(true);
  }

 private slots:
  void initTestCase() { InstallScriptFailureHandler(); }
  void init() {
    m_dir = std::make_unique<TempDir>();
    m_dir->Write("site/index.htm", "<p>Hello</p>\n");
    m_dir->Write("site/logo.GIF", "GIF89a");
    m_dir->Write("site/sub/deep.htm", "<p>deep</p>\n");
    m_prompter = std::make_unique<CProbingPrompter>();
    m_dialogs = std::make_unique<CScriptedDialogs>();
    m_project = std::make_unique<COpenProject>(*m_prompter, nullptr);
  }
  void cleanup() {
    m_window.reset();
    m_project.reset();
    m_prompter.reset();
    m_dialogs.reset();
    m_dir.reset();
    QCOMPARE(TakeScriptFailures(), std::vector<std::string>());
  }

  void newProjectOpensWithDefaults() {
    OpenNew();
    QCOMPARE(m_window->windowTitle().toStdString(), m_dir->File("p.web"));
    QCOMPARE(Text(m_window.get(), "targetDirEdit").toStdString(), m_dir->path() + "/");
    QCOMPARE(Text(m_window.get(), "urlFileEdit"), QString("url.c"));
    QCOMPARE(Text(m_window.get(), "binFileEdit"), QString("bindata.c"));
    QCOMPARE(m_window->findChild<QComboBox*>("filterCombo")->currentText(), QString("*.*"));
    QCOMPARE(Text(m_window.get(), "currentFolderLabel").toStdString(), m_dir->File("site"));
    QCOMPARE(Files()->count(), 2);
    QCOMPARE(Files()->item(0)->text(), QString("index.htm"));
    auto* folders = m_window->findChild<QListWidget*>("folderList");
    QCOMPARE(folders->item(0)->text(), QString("[..]"));
    QCOMPARE(folders->item(1)->text(), QString("[sub]"));
    QCOMPARE(m_project->m_tree.GetCount(), size_t(1));
    QCOMPARE(m_window->SelectedItem(), Root());
    QCOMPARE(Root()->GetText(), std::string(" / "));
  }

  void addsAtMostAHundredFilesOfASelection() {
    for (int i = 0; i < 150; ++i)
      m_dir->Write("site/many/f" + std::to_string(1000 + i) + ".png", "");
    OpenNew();
    m_window->OnFolderActivated("[many]");
    QCOMPARE(Files()->count(), 150);
    SelectFiles(150);
    ClickButton(m_window.get(), "addFilesButton");
    QCOMPARE(Root()->GetChildCount(), 100);
    QCOMPARE(Root()->GetChild(99)->GetText(), m_dir->File("site/many/f1099.png"));
    QCOMPARE(Root()->GetChild(0)->GetImage(), int(ImageBinary));
    QCOMPARE(m_project->m_bTreeChanged, 1);
    QVERIFY(m_window->TreeView()->isExpanded(m_window->TreeView()->currentIndex()));
    // A file item selected: refused.
    m_window->SelectItem(Root()->GetChild(0));
    ClickButton(m_window.get(), "addFilesButton");
    ClickButton(m_window.get(), "newFolderButton");
    QCOMPARE(m_prompter->Texts(),
             (std::vector<std::string>{"Please select Root or a folder on the URL tree",
                                       "Please select a node on the URL tree folder or root"}));
  }

  // A filter change shows the stored field values again; a folder change
  // keeps what was typed.
  void typedFieldsAcrossFilterAndFolderChanges() {
    OpenNew();
    SetText(m_window.get(), "urlFileEdit", "web.c");
    m_window->OnFilterChanged(1);  // *.htm*
    QCOMPARE(Text(m_window.get(), "urlFileEdit"), QString("url.c"));
    QCOMPARE(Files()->count(), 1);
    SetText(m_window.get(), "urlFileEdit", "web.c");
    m_window->OnFolderActivated("[sub]");
    QCOMPARE(Text(m_window.get(), "urlFileEdit"), QString("web.c"));
    QCOMPARE(Files()->item(0)->text(), QString("deep.htm"));
    m_window->OnFolderActivated("[..]");
    QCOMPARE(m_window->Browser().m_strSourceDir, m_dir->File("site"));
  }

  void browsesTheFileSystemRoot() {
    OpenNew();
    m_window->OnDriveChanged(0);
    QCOMPARE(Text(m_window.get(), "currentFolderLabel"), QString("/"));
    QCOMPARE(m_project->m_settings.m_strSourceDir, std::string("/"));
  }

  // The editor buttons ask about unbuilt tree changes after "===>", not after
  // a build, and then open their editor on the file.
  void editorButtonsAfterAddAndAfterBuild() {
    OpenNew();
    std::vector<std::string> opened;
    m_window->SetEditorOpener(
        [&](CProjectDlg::Editor, const std::string& path) { opened.push_back(path); });
    SelectFiles(2);
    ClickButton(m_window.get(), "addFilesButton");
    m_prompter->QueueAnswer(false);
    ClickButton(m_window.get(), "editUrlFileButton");
    QCOMPARE(m_prompter->Texts().back(), std::string(COpenProject::kEditorUnbuiltText));
    QVERIFY(opened.empty());
    ClickButton(m_window.get(), "buildButton");
    m_prompter->Clear();
    ClickButton(m_window.get(), "removeBinDataButton");
    ClickButton(m_window.get(), "homePageButton");
    QVERIFY(m_prompter->Texts().empty());
    QCOMPARE(opened, (std::vector<std::string>{m_dir->File("bindata.c"), m_dir->File("url.c")}));
  }

  // The log shows every converted node and the build number; while the build
  // runs its controls are disabled and a second click starts nothing.
  void buildLogsAndCannotBeReentered() {
    OpenNew();
    SetText(m_window.get(), "targetDirEdit", QString::fromStdString(m_dir->File("gen")));
    SelectFiles(2);
    ClickButton(m_window.get(), "addFilesButton");
    bool probed = false;
    m_prompter->m_probe = [&] {
      probed = true;
      QVERIFY(m_window->IsBuilding());
      QVERIFY(!m_window->findChild<QPushButton*>("buildAllButton")->isEnabled());
      QVERIFY(!m_window->TreeView()->isEnabled());
      m_window->OnBuild();  // ignored: a build runs
    };
    m_prompter->QueueAnswer(true);  // create the target directory
    ClickButton(m_window.get(), "buildAllButton");
    QVERIFY(probed);
    QVERIFY(!m_window->IsBuilding());
    QVERIFY(m_window->findChild<QPushButton*>("buildAllButton")->isEnabled());
    const QString log = m_window->findChild<QPlainTextEdit*>("buildLog")->toPlainText();
    QCOMPARE(log.count("o.k."), 2);
    QVERIFY(log.endsWith("Build number:    1 Done"));
    QCOMPARE(m_project->m_nBuildNumber, 1);
    QCOMPARE(Text(m_window.get(), "targetDirEdit").toStdString(), m_dir->File("gen") + "/");
    QVERIFY(PathExists(m_dir->File("gen/_index.c")));
  }

  void closeWithUnbuiltChangeYesSavesNoDoesNot() {
    OpenNew();
    SelectFiles(1);
    ClickButton(m_window.get(), "addFilesButton");
    m_prompter->QueueAnswer(false);
    ClickButton(m_window.get(), "closeButton");
    QCOMPARE(m_window->result(), int(QDialog::Accepted));
    QVERIFY(!PathExists(m_dir->File("p.web")));

    m_window.reset();
    m_project = std::make_unique<COpenProject>(*m_prompter, nullptr);
    OpenNew();
    SelectFiles(1);
    ClickButton(m_window.get(), "addFilesButton");
    m_prompter->QueueAnswer(true);
    ClickButton(m_window.get(), "closeButton");
    QCOMPARE(m_window->result(), int(QDialog::Accepted));
    QVERIFY(PathExists(m_dir->File("p.web")));
    QVERIFY(!PathExists(m_dir->File("_index.c")));  // saved, nothing converted
  }

  void enterAndEscapeLeaveTheWindowOpen() {
    OpenNew();
    QTest::keyClick(m_window.get(), Qt::Key_Escape);
    QTest::keyClick(m_window.get(), Qt::Key_Return);
    QVERIFY(m_window->isVisible());
    QCOMPARE(m_window->result(), 0);
  }

  // The Delete key in the tree deletes without marking the tree changed;
  // "<==" marks it changed even when the root refuses.
  void deleteKeyAndRemoveButton() {
    OpenNew();
    SelectFiles(1);
    ClickButton(m_window.get(), "addFilesButton");
    m_project->m_bTreeChanged = 0;
    m_window->SelectItem(Root()->GetChild(0));
    QTest::keyClick(m_window->TreeView(), Qt::Key_Delete);
    QCOMPARE(Root()->GetChildCount(), 0);
    QCOMPARE(m_project->m_bTreeChanged, 0);
    // The selection moves to a neighbour of what was deleted.
    SelectFiles(2);
    ClickButton(m_window.get(), "addFilesButton");
    m_window->SelectItem(Root()->GetChild(0));
    ClickButton(m_window.get(), "removeButton");
    QCOMPARE(m_window->SelectedItem(), Root()->GetChild(0));  // the next sibling
    ClickButton(m_window.get(), "removeButton");
    QCOMPARE(m_window->SelectedItem(), Root());  // the parent
    m_prompter->Clear();
    m_window->SelectItem(Root());
    ClickButton(m_window.get(), "removeButton");
    QCOMPARE(m_prompter->Texts(), std::vector<std::string>{"You can't delete root"});
    QCOMPARE(m_project->m_bTreeChanged, 1);
    QCOMPARE(m_window->SelectedItem(), Root());
  }

  void newFolderIsNamedInPlace() {
    OpenNew();
    ClickButton(m_window.get(), "newFolderButton");
    QCOMPARE(Root()->GetChildCount(), 1);
    HTREEITEM folder = Root()->GetChild(0);
    QCOMPARE(folder->GetText(), std::string("New Folder"));
    QCOMPARE(m_window->SelectedItem(), folder);
    auto* editor = m_window->TreeView()->findChild<QLineEdit*>();
    QVERIFY(editor);
    editor->setText("img");
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(folder->GetText(), std::string("img"));  // committed from the event loop
    QCOMPARE(m_project->m_bTreeChanged, 0);
  }

  void folderNameThatCannotBePartOfAUrlIsRefused() {
    OpenNew();
    ClickButton(m_window.get(), "newFolderButton");
    HTREEITEM folder = Root()->GetChild(0);
    auto* editor = m_window->TreeView()->findChild<QLineEdit*>();
    QVERIFY(editor);
    editor->setText("what?");
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(m_prompter->Texts().size(), size_t(1));
    QCOMPARE(m_prompter->Texts()[0],
             std::string("The folder name \"what?\" cannot be part of a URL: it holds a question "
                         "mark (?)."));
    QCOMPARE(folder->GetText(), std::string("New Folder"));
  }

  void chooseTargetWarnsAboutAReadOnlyFolder() {
    OpenNew();
    m_dir->Write("ro/x", "");
    ::chmod(m_dir->File("ro").c_str(), 0555);
    m_dialogs->QueueAnswer(m_dir->File("ro"));
    ClickButton(m_window.get(), "chooseTargetButton");
    QCOMPARE(Text(m_window.get(), "targetDirEdit").toStdString(), m_dir->File("ro") + "/");
    QCOMPARE(m_prompter->Texts(), std::vector<std::string>{"Warning: directory is read only"});
    m_dialogs->QueueAnswer("");  // Cancel changes nothing
    ClickButton(m_window.get(), "chooseTargetButton");
    QCOMPARE(Text(m_window.get(), "targetDirEdit").toStdString(), m_dir->File("ro") + "/");
    ::chmod(m_dir->File("ro").c_str(), 0755);
  }
};

QTEST_MAIN(ProjectDlgTest)
#include "project_dlg_test.moc"
