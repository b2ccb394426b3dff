// The project window, driven on the offscreen platform through its controls.
#include "ui/project_dlg.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTreeView>
#include <QtTest>
#include <filesystem>

#include "build/open_project.h"
#include "document/markers.h"
#include "platform/file_util.h"
#include "platform/text_format.h"
#include "testing/temp_dir.h"
#include "ui/ui_test_support.h"
#include "ui/url_tree_model.h"

namespace {

// The answer of a server on 127.0.0.1 to a GET of path, or "" when nothing
// listens there.
std::string HttpGet(int port, const char* path) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string answer;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    const std::string request = std::string("GET ") + path + " HTTP/1.0\r\n\r\n";
    if (::write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size())) {
      char buffer[4096];
      for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) answer.append(buffer, n);
    }
  }
  ::close(fd);
  return answer;
}

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
    QCOMPARE(Text(m_window.get(), "targetDirEdit").toStdString(), m_dir->path() + kPathSeparator);
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
             (std::vector<std::string>{"Only the first 100 of the 150 selected files were added: "
                                       "\"===>\" adds at most 100 files at a time.",
                                       "Please select Root or a folder on the URL tree",
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
    QCOMPARE(Text(m_window.get(), "targetDirEdit").toStdString(),
             m_dir->File("gen") + kPathSeparator);
    QVERIFY(PathExists(m_dir->File("gen/_index.c")));

    // A build refused before it converts anything leaves the log as it was;
    // a URL file field that names a folder is refused.
    m_prompter->m_probe = nullptr;
    m_prompter->Clear();
    SetText(m_window.get(), "urlFileEdit", "../url.c");
    ClickButton(m_window.get(), "buildButton");
    QCOMPARE(m_prompter->Texts(),
             std::vector<std::string>{"The URL file must be a file name in the target directory, "
                                      "without a folder: \"../url.c\" is not."});
    QCOMPARE(m_window->findChild<QPlainTextEdit*>("buildLog")->toPlainText(), log);
    QVERIFY(!PathExists(m_dir->File("url.c")));
  }

  // The data form is the project's: chosen in the window, the next build
  // writes every buffer in it and the project keeps it.
  void dataFormChoiceRewritesTheBuffers() {
    OpenNew();
    auto* form = m_window->findChild<QComboBox*>("dataFormBox");
    QCOMPARE(form->currentText(), QString("Byte arrays"));
    SelectFiles(2);
    ClickButton(m_window.get(), "addFilesButton");
    ClickButton(m_window.get(), "buildButton");
    QVERIFY(m_dir->Read("bindata.c").find(" [] =") != std::string::npos);
    form->setCurrentIndex(1);
    ClickButton(m_window.get(), "buildButton");
    const std::string bin = m_dir->Read("bindata.c");
    QVERIFY(bin.find(" [] =") == std::string::npos);
    QVERIFY(bin.find("const char buffer_") != std::string::npos);
    QVERIFY(m_project->m_settings.m_bLiteralData);
    QVERIFY(m_prompter->Texts().empty());
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
    QCOMPARE(Text(m_window.get(), "targetDirEdit").toStdString(),
             m_dir->File("ro") + kPathSeparator);
    QCOMPARE(m_prompter->Texts(), std::vector<std::string>{"Warning: directory is read only"});
    m_dialogs->QueueAnswer("");  // Cancel changes nothing
    ClickButton(m_window.get(), "chooseTargetButton");
    QCOMPARE(Text(m_window.get(), "targetDirEdit").toStdString(),
             m_dir->File("ro") + kPathSeparator);
    ::chmod(m_dir->File("ro").c_str(), 0755);
  }

  // "===>" with no file but a browser folder selected adds that folder with
  // everything below it, hidden entries aside, and says so in the log.
  void addsABrowserFolderWithEverythingBelowIt() {
    m_dir->Write("site/sub/.secret.htm", "x");
    m_dir->Write("site/sub/img/a.gif", "GIF");
    OpenNew();
    auto* folders = m_window->findChild<QListWidget*>("folderList");
    folders->setCurrentItem(folders->findItems("[sub]", Qt::MatchExactly).first());
    ClickButton(m_window.get(), "addFilesButton");
    QCOMPARE(Root()->GetChildCount(), 1);
    HTREEITEM sub = Root()->GetChild(0);
    QCOMPARE(sub->GetText(), std::string("sub"));
    QCOMPARE(sub->GetChildCount(), 2);  // deep.htm and the folder img
    QCOMPARE(m_project->m_bTreeChanged, 1);
    QCOMPARE(m_window->findChild<QPlainTextEdit*>("buildLog")->toPlainText().toStdString(),
             "Imported 2 file(s) from " + m_dir->File("site/sub") +
                 "\nSkipped 1 hidden file(s) and folder(s) (names starting with \".\")");
    // Under a file item it is refused as files are.
    m_window->SelectItem(sub->GetChild(0)->GetImage() == ImageFolder ? sub->GetChild(1)
                                                                     : sub->GetChild(0));
    folders->setCurrentItem(folders->findItems("[sub]", Qt::MatchExactly).first());
    ClickButton(m_window.get(), "addFilesButton");
    QCOMPARE(m_prompter->Texts(),
             std::vector<std::string>{"Please select Root or a folder on the URL tree"});
    // The parent entry is no folder to add.
    m_window->SelectItem(Root());
    folders->setCurrentItem(folders->findItems("[..]", Qt::MatchExactly).first());
    ClickButton(m_window.get(), "addFilesButton");
    QCOMPARE(m_prompter->Texts().back(), std::string("Please select file(s) from list"));
  }

  // Files and folders dropped from a file manager land under the folder they
  // are dropped on, or under a file item's folder, or under the root.
  void dropsFromTheFileManager() {
    OpenNew();
    QTreeView* tree = m_window->TreeView();
    auto drop = [&](const QStringList& files, const QPoint& at) {
      QMimeData data;
      QList<QUrl> urls;
      for (const QString& file : files) urls << QUrl::fromLocalFile(file);
      data.setUrls(urls);
      QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(tree->viewport(), &enter);
      QVERIFY(enter.isAccepted());
      QDropEvent event(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(tree->viewport(), &event);
    };
    drop({QString::fromStdString(m_dir->File("site/sub")),
          QString::fromStdString(m_dir->File("site/index.htm"))},
         QPoint(5, tree->viewport()->height() - 5));  // below the items: the root
    QCOMPARE(Root()->GetChildCount(), 2);
    HTREEITEM sub = Root()->GetChild(0);
    QCOMPARE(sub->GetChildCount(), 1);
    tree->expandAll();
    // On a file item: into its folder, which already has that file.
    const QRect deep =
        tree->visualRect(m_window->findChild<CUrlTreeModel*>()->IndexOf(sub->GetChild(0)));
    drop({QString::fromStdString(m_dir->File("site/logo.GIF")),
          QString::fromStdString(m_dir->File("site/sub/deep.htm"))},
         deep.center());
    QCOMPARE(sub->GetChildCount(), 2);
    QCOMPARE(sub->GetChild(1)->GetText(), m_dir->File("site/logo.GIF"));
    // Something that is no local file is not taken.
    QMimeData text;
    text.setText("hello");
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree->viewport(), &enter);
    QVERIFY(!enter.isAccepted());
  }

  // The path field shows a folder (or a file's folder with the file
  // selected); Enter in the folder list opens the selected folder.
  void pathFieldAndEnterOpenFolders() {
    OpenNew();
    auto* path = m_window->findChild<QLineEdit*>("pathEdit");
    path->setText("sub");
    QTest::keyClick(path, Qt::Key_Return);
    QCOMPARE(Text(m_window.get(), "currentFolderLabel").toStdString(), m_dir->File("site/sub"));
    QCOMPARE(path->text(), QString());
    path->setText(QString::fromStdString(m_dir->File("site/logo.GIF")));
    QTest::keyClick(path, Qt::Key_Return);
    QCOMPARE(Text(m_window.get(), "currentFolderLabel").toStdString(), m_dir->File("site"));
    QCOMPARE(Files()->currentItem()->text(), QString("logo.GIF"));
    path->setText("no/such/folder");
    QTest::keyClick(path, Qt::Key_Return);
    QCOMPARE(m_prompter->Texts(), std::vector<std::string>{"Can't change directory !"});
    QCOMPARE(Text(m_window.get(), "currentFolderLabel").toStdString(), m_dir->File("site"));

    auto* folders = m_window->findChild<QListWidget*>("folderList");
    folders->setCurrentItem(folders->findItems("[..]", Qt::MatchExactly).first());
    QTest::keyClick(folders, Qt::Key_Return);
    QCOMPARE(Text(m_window.get(), "currentFolderLabel").toStdString(), m_dir->path());
    QVERIFY(m_window->isVisible());
  }

  // The tree shows the URLs with the source paths as tooltips, and marks a
  // source that a build refused because it is gone.
  void treeShowsUrlsAndMarksMissingSources() {
    OpenNew();
    m_project->AddPaths(Root(), {m_dir->File("site/sub"), m_dir->File("site/index.htm")});
    m_window->TreeView()->reset();
    auto* model = m_window->findChild<CUrlTreeModel*>();
    HTREEITEM deep = Root()->GetChild(0)->GetChild(0);
    const QModelIndex index = model->IndexOf(deep);
    QCOMPARE(index.data(Qt::DisplayRole).toString(), QString("/sub/deep.htm"));
    QCOMPARE(index.data(Qt::ToolTipRole).toString().toStdString(),
             m_dir->File("site/sub/deep.htm"));
    QCOMPARE(model->IndexOf(Root()->GetChild(0)).data(Qt::DisplayRole).toString(), QString("sub"));
    QCOMPARE(model->IndexOf(Root()).data(Qt::DisplayRole).toString(), QString(" / "));
    QVERIFY(!model->IsMissing(deep));

    std::filesystem::remove(m_dir->File("site/sub/deep.htm"));
    m_prompter->QueueAnswer(true);  // create the target directory
    SetText(m_window.get(), "targetDirEdit", QString::fromStdString(m_dir->File("gen")));
    ClickButton(m_window.get(), "buildAllButton");
    QCOMPARE(m_prompter->shown().back().kind, ScriptedPrompter::Kind::kStop);
    QVERIFY(model->IsMissing(deep));
    QVERIFY(!model->IsMissing(Root()->GetChild(1)));
    QCOMPARE(index.data(Qt::ToolTipRole).toString().toStdString(),
             "Source file not found: " + m_dir->File("site/sub/deep.htm"));
    QCOMPARE(index.data(Qt::ForegroundRole).value<QBrush>().color(), QColor(Qt::red));
    // Back in place, the next build clears the mark.
    m_dir->Write("site/sub/deep.htm", "<p>deep</p>\n");
    ClickButton(m_window.get(), "buildAllButton");
    QVERIFY(!model->IsMissing(deep));
  }

  // A removal or a folder rename that leaves a page file with user code
  // behind asks whether to keep it: Yes keeps it, No deletes it.
  void leftBehindUserCodeIsKeptOrDeleted() {
    m_dir->Write("site/sub/form.htm", "<p>Now: _NZZA_Clock</p>\n");
    m_dir->Write("site/sub/post.htm", "<form method=post action=send><input name=a></form>\n");
    OpenNew();
    m_project->AddPaths(Root(), {m_dir->File("site/sub")});
    m_window->TreeView()->reset();
    m_prompter->QueueAnswer(true);  // create the target directory
    SetText(m_window.get(), "targetDirEdit", QString::fromStdString(m_dir->File("gen")));
    ClickButton(m_window.get(), "buildAllButton");
    const std::string page = m_dir->File("gen/_sub_form.c");
    std::string text = m_dir->Read("gen/_sub_form.c");
    text.insert(text.find(markers::kStubPlaceholder), "    HSSend(handle, \"sent\");\r\n");
    m_dir->Write("gen/_sub_form.c", text);
    const std::string question =
        "The page file " + page +
        " holds your own code (form handlers or dynamic functions), and no item of the tree "
        "stands for it any more.\r\nDo you want to keep the file?\r\n(No deletes it.)";

    // The rename asks once its editor has closed.
    auto* model = m_window->findChild<CUrlTreeModel*>();
    HTREEITEM sub = Root()->GetChild(0);
    m_prompter->Clear();
    m_prompter->QueueAnswer(true);
    QVERIFY(model->setData(model->IndexOf(sub), "pages", Qt::EditRole));
    QTRY_COMPARE(m_prompter->Texts(), std::vector<std::string>{question});
    QVERIFY(PathExists(page));
    QCOMPARE(model->IndexOf(sub->GetChild(1)).data().toString(), QString("/pages/form.htm"));
    QVERIFY(model->setData(model->IndexOf(sub), "sub", Qt::EditRole));
    QTest::qWait(50);
    QCOMPARE(m_prompter->Texts().size(), size_t(1));  // the tree stands for it again

    m_prompter->Clear();
    m_prompter->QueueAnswer(false);
    m_window->SelectItem(sub->GetChild(1));
    ClickButton(m_window.get(), "removeButton");
    QCOMPARE(m_prompter->Texts(), std::vector<std::string>{question});
    QVERIFY(!PathExists(page));
    // Files of the generated stubs only are left alone without a word.
    m_prompter->Clear();
    m_window->SelectItem(sub->GetChild(0));
    QTest::keyClick(m_window->TreeView(), Qt::Key_Delete);
    QCOMPARE(m_prompter->Texts(), std::vector<std::string>());
    QVERIFY(PathExists(m_dir->File("gen/_sub_deep.c")));
    // A file with a form handler other pages may post to is kept, with a word.
    const std::string post = m_dir->File("gen/_sub_post.c");
    std::string handler = m_dir->Read("gen/_sub_post.c");
    handler.insert(handler.find(markers::kStubPlaceholder), "    HSSend(handle, \"ok\");\r\n");
    m_dir->Write("gen/_sub_post.c", handler);
    m_prompter->Clear();
    m_window->SelectItem(sub->GetChild(0));
    ClickButton(m_window.get(), "removeButton");
    QCOMPARE(m_prompter->Texts(),
             std::vector<std::string>{FormatText(CProjectDlg::kFormHandlerKeptText, {post})});
    QVERIFY(PathExists(post));
  }

  // The window fits a 1280 by 690 free area (a 2560 by 1440 screen at 200%),
  // and at its minimum size nothing is cut or overlaps.
  void laysOutCleanlyAtItsMinimumSize() {
    OpenNew();
    const QSize minimum = m_window->minimumSizeHint();
    QVERIFY2(minimum.width() <= 1152 && minimum.height() <= 621,
             qPrintable(QString("%1x%2").arg(minimum.width()).arg(minimum.height())));
    m_window->resize(minimum);
    QApplication::processEvents();
    QList<QWidget*> leaves;
    for (QWidget* widget : m_window->findChildren<QWidget*>()) {
      if (!widget->isVisible() || widget->isWindow()) continue;
      if (!qobject_cast<QAbstractButton*>(widget) && !qobject_cast<QLabel*>(widget) &&
          !qobject_cast<QLineEdit*>(widget) && !qobject_cast<QComboBox*>(widget) &&
          !qobject_cast<QAbstractScrollArea*>(widget)) {
        continue;
      }
      if (qobject_cast<QAbstractScrollArea*>(widget->parentWidget())) continue;  // a viewport's
      if (qobject_cast<QAbstractScrollArea*>(widget->parentWidget()->parentWidget())) continue;
      leaves << widget;
    }
    QVERIFY(leaves.size() > 20);
    for (QWidget* widget : leaves) {
      const QRect rect(widget->mapTo(m_window.get(), QPoint()), widget->size());
      QVERIFY2(m_window->rect().contains(rect), qPrintable(widget->objectName()));
      if (widget->objectName() != "currentFolderLabel") {  // elides a long path
        QVERIFY2(widget->width() >= widget->minimumSizeHint().width(),
                 qPrintable(widget->objectName() + " " + widget->metaObject()->className()));
      }
      for (QWidget* other : leaves) {
        if (other == widget) continue;
        const QRect second(other->mapTo(m_window.get(), QPoint()), other->size());
        QVERIFY2(!rect.intersects(second),
                 qPrintable(widget->objectName() + " / " + other->objectName()));
      }
    }
  }

  // "&Close" stores the window's place; the next window opens there.
  void remembersSizeAndPlace() {
    QSettings settings(QString::fromStdString(m_dir->File("s.ini")), QSettings::IniFormat);
    OpenNew();
    m_window->SetPlacementSettings(&settings);
    const QRect screen = m_window->screen()->availableGeometry();
    QVERIFY(m_window->width() <= screen.width() * 0.9 + 1);
    QVERIFY(m_window->height() <= screen.height() * 0.9 + 1);
    const QRect chosen(screen.topLeft() + QPoint(10, 20), m_window->minimumSizeHint());
    m_window->setGeometry(chosen);
    ClickButton(m_window.get(), "closeButton");
    m_window = std::make_unique<CProjectDlg>(nullptr, *m_project, *m_prompter, *m_dialogs);
    QVERIFY(m_window->geometry() != chosen);  // without the settings: the middle
    m_window->SetPlacementSettings(&settings);
    QCOMPARE(m_window->geometry(), chosen);
  }

  // "Preview" builds, serves the pages on a free port and opens the home
  // page; closing the window stops the server. A refused build opens nothing.
  void previewServesTheBuiltPagesUntilTheWindowCloses() {
    if (QStandardPaths::findExecutable("cc").isEmpty()) QSKIP("no C compiler (cc)");
    OpenNew();
    SelectFiles(2);
    ClickButton(m_window.get(), "addFilesButton");
    SetText(m_window.get(), "targetDirEdit", QString::fromStdString(m_dir->File("gen")));
    std::vector<std::string> opened;
    m_window->SetUrlOpener([&](const std::string& url) { opened.push_back(url); });
    m_prompter->QueueAnswer(true);  // create the target directory
    ClickButton(m_window.get(), "previewButton");
    QCOMPARE(m_prompter->Texts().size(), size_t(1));
    QCOMPARE(opened.size(), size_t(1));
    const QUrl url(QString::fromStdString(opened[0]));
    QCOMPARE(url.host(), QString("127.0.0.1"));
    QCOMPARE(url.path(), QString("/index.htm"));
    QVERIFY(m_window->IsPreviewRunning());
    QVERIFY(m_window->findChild<QPlainTextEdit*>("buildLog")
                ->toPlainText()
                .endsWith(QString::fromStdString("Preview: " + opened[0] +
                                                 " (the server stops with this window)")));
    const std::string answer = HttpGet(url.port(), "/index.htm");
    QVERIFY2(answer.find("<p>Hello</p>") != std::string::npos, answer.c_str());

    ClickButton(m_window.get(), "closeButton");
    QVERIFY(!m_window->IsPreviewRunning());
    QCOMPARE(HttpGet(url.port(), "/index.htm"), std::string());

    m_window.reset();
    m_project = std::make_unique<COpenProject>(*m_prompter, nullptr);
    m_project->OpenExisting(m_dir->File("p.web"));
    m_window = std::make_unique<CProjectDlg>(nullptr, *m_project, *m_prompter, *m_dialogs);
    m_window->SetUrlOpener([&](const std::string& url) { opened.push_back(url); });
    std::filesystem::remove(m_dir->File("site/logo.GIF"));
    m_prompter->Clear();
    ClickButton(m_window.get(), "previewButton");
    QCOMPARE(m_prompter->shown().size(), size_t(1));
    QCOMPARE(m_prompter->shown()[0].kind, ScriptedPrompter::Kind::kStop);
    QCOMPARE(opened.size(), size_t(1));
    QVERIFY(!m_window->IsPreviewRunning());
  }
};

QTEST_MAIN(ProjectDlgTest)
#include "project_dlg_test.moc"
