// The editor dialogs on a built project, driven on the offscreen platform.
#include "ui/editor_dlgs.h"

#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include "build/open_project.h"
#include "document/generated_files.h"
#include "edit/security_form.h"
#include "generator/security_table.h"
#include "generator/url_table.h"
#include "testing/temp_dir.h"
#include "ui/ui_test_support.h"

namespace {

std::vector<std::string> Column(const CSortListCtrl* list, int column) {
  std::vector<std::string> cells;
  for (int row = 0; row < list->topLevelItemCount(); ++row) {
    cells.push_back(list->topLevelItem(row)->text(column).toStdString());
  }
  return cells;
}

}  // namespace

class EditorDlgsTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TempDir> m_dir;
  std::unique_ptr<ScriptedPrompter> m_prompter;
  std::string m_urlFile, m_binFile;

  int EntryCount() {
    ScriptedPrompter quiet;
    CDirectFiles files;
    return CUrlTable(quiet, files, m_urlFile).GetEntryCount();
  }
  void Header(CUrlFileDlg& dialog, int column) {
    emit dialog.List()->header()->sectionClicked(column);
  }

 private slots:
  void initTestCase() { InstallScriptFailureHandler(); }

  // A built project: three pages and three pictures (logo.gif in two
  // folders' worth of items), with sizes 3, 40 and 300.
  void init() {
    m_dir = std::make_unique<TempDir>();
    m_dir->Write("site/index.htm", "<p>Home</p>\n");
    m_dir->Write("site/about.htm", "<p>About</p>\n");
    m_dir->Write("site/Zeta.htm", "<p>Z</p>\n");
    m_dir->Write("site/img/a.gif", std::string(300, 'a'));
    m_dir->Write("site/img/b.gif", std::string(3, 'b'));
    m_dir->Write("site/img/c.jpg", std::string(40, 'c'));
    m_prompter = std::make_unique<ScriptedPrompter>();
    COpenProject project(*m_prompter, nullptr);
    project.StartNew(m_dir->File("p.web"));
    project.m_strTargetDirField = m_dir->File("gen") + kPathSeparator;
    project.ImportDirectory(project.m_tree.GetRootItem(), m_dir->File("site"));
    m_prompter->QueueAnswer(true);  // create gen/
    QVERIFY(project.OnBuildAll());
    QCOMPARE(project.FailedCount(), 0);
    m_urlFile = m_dir->File("gen/url.c");
    m_binFile = m_dir->File("gen/bindata.c");
    m_prompter->Clear();
  }
  void cleanup() {
    m_prompter.reset();
    m_dir.reset();
    QCOMPARE(TakeScriptFailures(), std::vector<std::string>());
  }

  void listFillsInFileOrderAndSorts() {
    CUrlFileDlg dialog(nullptr, m_urlFile, *m_prompter);
    QVERIFY(dialog.IsOpen());
    CSortListCtrl* list = dialog.List();
    QCOMPARE(list->topLevelItemCount(), 6);
    QCOMPARE(list->headerItem()->text(3), QString("HSType function"));
    QCOMPARE(list->columnWidth(5), 210);
    QCOMPARE(list->SelectedRows(), std::vector<int>{5});  // the last row
    const std::vector<std::string> fileOrder = Column(list, 0);
    Header(dialog, 4);
    QCOMPARE(Column(list, 4), (std::vector<std::string>{"N/A", "N/A", "N/A", "3", "40", "300"}));
    Header(dialog, 4);
    QCOMPARE(Column(list, 4), (std::vector<std::string>{"300", "40", "3", "N/A", "N/A", "N/A"}));
    list->SelectRow(0);  // the largest
    Header(dialog, 0);
    QCOMPARE(list->SelectedRows().size(), size_t(1));  // sorting keeps the selection
    QCOMPARE(list->topLevelItem(list->SelectedRows()[0])->text(4), QString("300"));
    std::vector<std::string> urls = Column(list, 0);
    QCOMPARE(urls.front(), std::string("/about.htm"));
    QCOMPARE(urls.back(), std::string("/Zeta.htm"));  // letters folded: Z after i
    // Arrow keys do not move the selection; Delete takes a row off the list
    // only, and Refresh brings it back in file order.
    list->SelectRow(2);
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(list->SelectedRows(), std::vector<int>{2});
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(list->topLevelItemCount(), 5);
    QCOMPARE(list->SelectedRows(), std::vector<int>{2});
    QCOMPARE(EntryCount(), 6);
    dialog.OnRefresh();
    QCOMPARE(Column(list, 0), fileOrder);
  }

  // "New" after a sort appends at the bottom; the entry dialog's checks run
  // in their order; realms 1 and 3 give Realm1+Realm3; a blank becomes %20.
  void newEntryThroughTheEntryDialog() {
    CUrlFileDlg dialog(nullptr, m_urlFile, *m_prompter);
    Header(dialog, 0);
    QString title;
    WhenModal<CUrlEntryDlg>([&](CUrlEntryDlg* entry) {
      title = entry->windowTitle();
      ClickButton(entry, "okButton");  // no function
      SetText(entry, "functionEdit", "Send_gif");
      entry->findChild<QComboBox*>("hsTypeCombo")->setCurrentText("HSTypeGif");
      ClickButton(entry, "okButton");  // size 0 with a picture type
      SetText(entry, "sizeEdit", "1200");
      entry->findChild<QCheckBox*>("noneCheck")->setChecked(false);
      ClickButton(entry, "okButton");  // no realm checked
      entry->findChild<QCheckBox*>("realmCheck3")->setChecked(true);
      entry->findChild<QCheckBox*>("realmCheck1")->setChecked(true);
      SetText(entry, "urlEdit", "/my logo.gif");
      ClickButton(entry, "okButton");
      if (entry->isVisible()) entry->reject();
    });
    dialog.OnNew();
    QCOMPARE(title, QString("New URL"));
    QCOMPARE(m_prompter->Texts(),
             (std::vector<std::string>{"Please enter function name",
                                       "The size field is not valid for a non-HTML url",
                                       "At least one realm number has to be checked"}));
    CSortListCtrl* list = dialog.List();
    QCOMPARE(list->topLevelItemCount(), 7);
    QCOMPARE(list->topLevelItem(6)->text(0), QString("/my%20logo.gif"));
    QCOMPARE(list->topLevelItem(6)->text(5), QString("Realm1+Realm3"));
    std::string url;
    QVERIFY(ReadWholeFile(m_urlFile, url));
    QVERIFY(url.find("   \"/my%20logo.gif\", 0, Send_gif, (HSTypeFnBinary)HSTypeGif, 1200, "
                     "Realm1+Realm3\r\n},") != std::string::npos);
  }

  // Edit keeps the entry's place; a realm text opens with its boxes.
  void editKeepsThePlace() {
    CUrlFileDlg dialog(nullptr, m_urlFile, *m_prompter);
    CSortListCtrl* list = dialog.List();
    list->SelectRow(1);
    const std::string url = list->topLevelItem(1)->text(0).toStdString();
    QString title;
    WhenModal<CUrlEntryDlg>([&](CUrlEntryDlg* entry) {
      title = entry->windowTitle();
      entry->findChild<QCheckBox*>("noneCheck")->setChecked(false);
      entry->findChild<QCheckBox*>("realmCheck2")->setChecked(true);
      entry->findChild<QCheckBox*>("realmCheck5")->setChecked(true);
      ClickButton(entry, "okButton");
      if (entry->isVisible()) entry->reject();
    });
    dialog.OnEdit();
    QCOMPARE(title, QString("Edit URL"));
    QCOMPARE(list->topLevelItem(1)->text(0).toStdString(), url);
    QCOMPARE(list->topLevelItem(1)->text(5), QString("Realm2+Realm5"));
    dialog.OnRefresh();
    QCOMPARE(list->topLevelItem(1)->text(5), QString("Realm2+Realm5"));
    list->SelectRow(1);
    // Reopened, the realm text checks boxes 2 and 5 and leaves "None" off.
    bool boxesShown = false;
    WhenModal<CUrlEntryDlg>([&](CUrlEntryDlg* entry) {
      boxesShown = entry->findChild<QCheckBox*>("realmCheck2")->isChecked() &&
                   entry->findChild<QCheckBox*>("realmCheck5")->isChecked() &&
                   !entry->findChild<QCheckBox*>("noneCheck")->isChecked();
      entry->reject();
    });
    dialog.OnEdit();
    QVERIFY(boxesShown);
    list->clearSelection();
    dialog.OnEdit();
    QCOMPARE(m_prompter->Texts(), std::vector<std::string>{"You must select a row"});
  }

  void removeTakesEverySelectedEntry() {
    CUrlFileDlg dialog(nullptr, m_urlFile, *m_prompter);
    CSortListCtrl* list = dialog.List();
    list->clearSelection();
    for (int row : {0, 2, 4}) list->topLevelItem(row)->setSelected(true);
    ClickButton(&dialog, "removeButton");
    QCOMPARE(list->topLevelItemCount(), 3);
    QCOMPARE(EntryCount(), 3);
    dialog.OnRefresh();
    QCOMPARE(list->topLevelItemCount(), 3);
  }

  void readOnlyFileIsViewOnlyOrNotOpened() {
    ::chmod(m_urlFile.c_str(), 0444);
    m_prompter->QueueAnswer(false);
    CUrlFileDlg declined(nullptr, m_urlFile, *m_prompter);
    QCOMPARE(declined.exec(), int(QDialog::Rejected));
    m_prompter->QueueAnswer(true);
    CUrlFileDlg dialog(nullptr, m_urlFile, *m_prompter);
    QVERIFY(dialog.IsOpen());
    for (const char* name : {"newButton", "editButton", "removeButton", "securityButton"}) {
      QVERIFY2(!dialog.findChild<QPushButton*>(name)->isEnabled(), name);
    }
    QVERIFY(dialog.findChild<QPushButton*>("refreshButton")->isEnabled());
    QCOMPARE(m_prompter->Texts().front(),
             "File " + m_urlFile + " is Read-only !\r\nDo you want to continue?");
    ::chmod(m_urlFile.c_str(), 0644);
    CUrlFileDlg missing(nullptr, m_dir->File("gen/none.c"), *m_prompter);
    QVERIFY(!missing.IsOpen());
    QCOMPARE(m_prompter->Texts().back(), "Error in Opening " + m_dir->File("gen/none.c"));
  }

  // OK writes the filled rows, drops partly filled ones and refuses a value
  // that would break the C; Cancel writes nothing.
  void securityTable() {
    {
      CSecurityTableDlg dialog(nullptr, m_urlFile, *m_prompter);
      SetText(&dialog, "realmName2", "admin");
      SetText(&dialog, "realmUser2", "root");
      SetText(&dialog, "realmName5", "guest");
      SetText(&dialog, "realmUser5", "anon");
      SetText(&dialog, "realmName7", "half");
      SetText(&dialog, "realmPassword5", "a\"b");
      dialog.show();
      ClickButton(&dialog, "okButton");
      QVERIFY(dialog.isVisible());
      QCOMPARE(m_prompter->Texts().size(), size_t(1));
      SetText(&dialog, "realmPassword5", "");
      ClickButton(&dialog, "okButton");
      QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }
    {
      ScriptedPrompter quiet;
      CDirectFiles files;
      CSecurityTable table(quiet, files, m_urlFile);
      QCOMPARE(table.GetRealmCount(), 2);
    }
    {
      CSecurityTableDlg dialog(nullptr, m_urlFile, *m_prompter);
      QCOMPARE(dialog.findChild<QLineEdit*>("realmName2")->text(), QString("admin"));
      QCOMPARE(dialog.findChild<QLineEdit*>("realmName7")->text(), QString(""));
      dialog.OnClearAll();
      dialog.reject();
    }
    ScriptedPrompter quiet;
    CDirectFiles files;
    QCOMPARE(CSecurityTable(quiet, files, m_urlFile).GetRealmCount(), 2);  // Cancel wrote nothing
  }

  void securityTableChangedMeanwhileIsReadAgain() {
    CSecurityTableDlg dialog(nullptr, m_urlFile, *m_prompter);
    QCOMPARE(dialog.findChild<QLabel*>("plainTextNoteLabel")->text(),
             QString("Realm passwords are stored as plain text in the URL file and in the "
                     "firmware image: anyone who can read either can read them."));
    SetText(&dialog, "realmName2", "admin");
    SetText(&dialog, "realmUser2", "root");
    {
      // Another program sets realm 1 while the dialog is open.
      ScriptedPrompter quiet;
      CSecurityTableForm other(quiet, m_urlFile);
      CRealmRows rows = other.ReadRows();
      rows[0] = {"Staff", "staff", "pw"};
      QVERIFY(other.Write(rows) == RealmWrite::kWritten);
    }
    dialog.show();
    ClickButton(&dialog, "okButton");
    QVERIFY(dialog.isVisible());
    QCOMPARE(m_prompter->Texts(),
             std::vector<std::string>{m_urlFile +
                                      " was changed by another program since the realms were "
                                      "shown. Nothing was written; the realms now show what the "
                                      "file holds: make your changes again."});
    QCOMPARE(dialog.findChild<QLineEdit*>("realmName1")->text(), QString("Staff"));
    QCOMPARE(dialog.findChild<QLineEdit*>("realmName2")->text(), QString(""));
    SetText(&dialog, "realmName2", "admin");
    SetText(&dialog, "realmUser2", "root");
    ClickButton(&dialog, "okButton");
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    ScriptedPrompter quiet;
    CDirectFiles files;
    QCOMPARE(CSecurityTable(quiet, files, m_urlFile).GetRealmCount(), 2);  // both realms
  }

  void homePageAddedChangedRemoved() {
    {
      CHomePageDlg dialog(nullptr, m_urlFile, *m_prompter);
      QCOMPARE(dialog.List()->count(), 6);
      QCOMPARE(dialog.Highlighted(), std::string());
      dialog.Highlight(1);
      ClickButton(&dialog, "setHomeButton");
      QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }
    std::string home;
    {
      CHomePageDlg dialog(nullptr, m_urlFile, *m_prompter);
      QCOMPARE(dialog.List()->count(), 6);  // "/" is never listed
      home = dialog.Highlighted();
      QVERIFY(!home.empty());
      dialog.Highlight(2);
      ClickButton(&dialog, "setHomeButton");
    }
    {
      CHomePageDlg dialog(nullptr, m_urlFile, *m_prompter);
      QVERIFY(dialog.Highlighted() != home);
      ClickButton(&dialog, "noHomeButton");
    }
    {
      CHomePageDlg dialog(nullptr, m_urlFile, *m_prompter);
      dialog.show();
      ClickButton(&dialog, "noHomeButton");
      QVERIFY(dialog.isVisible());
    }
    QCOMPARE(m_prompter->Texts(),
             (std::vector<std::string>{"Home Page added.", "Home Page changed.",
                                       "Home page removed", "No page is Home"}));
    QCOMPARE(EntryCount(), 6);
  }

  void removeBinaryData() {
    {
      CRemoveBinDlg dialog(nullptr, m_binFile, *m_prompter);
      QListWidget* list = dialog.List();
      QCOMPARE(list->count(), 3);
      QCOMPARE(list->item(0)->text().toStdString(), m_dir->File("site/img/a.gif"));
      dialog.show();
      ClickButton(&dialog, "removeButton");
      QVERIFY(dialog.isVisible());
      list->item(0)->setSelected(true);
      list->item(2)->setSelected(true);
      ClickButton(&dialog, "removeButton");
      QCOMPARE(dialog.result(), int(QDialog::Accepted));
      QCOMPARE(dialog.findChild<QLabel*>("statusLabel")->text().toStdString(),
               "Removing data: " + m_dir->File("site/img/c.jpg"));
      QCOMPARE(dialog.findChild<QProgressBar*>("removeProgress")->value(), 2);
    }
    CRemoveBinDlg again(nullptr, m_binFile, *m_prompter);
    QCOMPARE(again.List()->count(), 1);
    QCOMPARE(m_prompter->Texts(), (std::vector<std::string>{"No files selected", "Done."}));
    QCOMPARE(EntryCount(), 6);  // the URL table keeps its entries
  }
};

QTEST_MAIN(EditorDlgsTest)
#include "editor_dlgs_test.moc"
