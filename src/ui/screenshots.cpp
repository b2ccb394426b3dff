// pagoric-screenshots: renders the desktop program's windows into PNG files
// for the README, on any Qt platform (scripts/screenshots.sh uses offscreen).
//   pagoric-screenshots OUTDIR PROJECT.web
// The project is opened as the window opens it and built once with Build.
#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QTimer>
#include <QTreeView>
#include <cstdio>

#include "build/open_project.h"
#include "build/recent_list.h"
#include "project/project_verify.h"
#include "ui/converter_app.h"
#include "ui/editor_dlgs.h"
#include "ui/project_dlg.h"
#include "ui/relocation_dlgs.h"
#include "ui/tree_images.h"

namespace {

bool Save(QWidget& widget, const QString& file) {
  widget.show();
  QApplication::processEvents();
  const bool ok = widget.grab().save(file);
  std::fprintf(stderr, "%s %s\n", ok ? "wrote" : "cannot write", qPrintable(file));
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: pagoric-screenshots OUTDIR PROJECT.web\n");
    return 2;
  }
  const QString out = argv[1];
  const std::string project = argv[2];
  QDir().mkpath(out);
  QApplication::setWindowIcon(AppIcon());
  CUnattendedPrompter prompter;
  CUnattendedDialogs dialogs;

  CRecentList recent;
  recent.AddToRecentList("/home/dev/firmware/web/settings.web");
  recent.AddToRecentList("/home/dev/firmware/sensor-node/status-pages.web");
  recent.AddToRecentList(project);
  CRecentProjectsDlg start(nullptr, recent, prompter, dialogs);
  bool ok = Save(start, out + "/start-dialog.png");

  COpenProject open(prompter, nullptr);
  CMappedRelocationAnswers answers({});
  if (!open.VerifyAndOpen(project, false, answers)) return 1;
  CProjectDlg window(nullptr, open, prompter, dialogs);
  window.show();
  window.OnFolderActivated("[site]");
  window.OnBuildAll();
  window.TreeView()->expandAll();
  ok = Save(window, out + "/project-window.png") && ok;

  // The editor dialogs on the built demo project.
  const std::string target = open.m_settings.m_strTargetDir;
  const std::string urlFile = target + open.m_settings.m_strUrlFile;
  {
    CUrlFileDlg dialog(nullptr, urlFile, prompter);
    ok = Save(dialog, out + "/url-file-editor.png") && ok;
    dialog.List()->SelectRow(2);
    const CUrlRow& row = dialog.List()->Rows()[2];
    CUrlEntryDlg entry(nullptr, CUrlEntryForm(CUrlFileEditor::ValuesOfRow(row), urlFile), prompter);
    ok = Save(entry, out + "/url-entry.png") && ok;
  }
  {
    CSecurityTableDlg dialog(nullptr, urlFile, prompter);
    ok = Save(dialog, out + "/security-table.png") && ok;
  }
  {
    CHomePageDlg dialog(nullptr, urlFile, prompter);
    ok = Save(dialog, out + "/home-page.png") && ok;
  }
  {
    CRemoveBinDlg dialog(nullptr, target + open.m_settings.m_strBinFile, prompter);
    if (dialog.List()->count() > 0) dialog.List()->item(0)->setSelected(true);
    ok = Save(dialog, out + "/remove-bin-data.png") && ok;
  }
  {
    CFileNotFoundDlg dialog(nullptr, "/home/dev/old-site/img", "/home/dev/old-site/img/logo.gif",
                            "/logo.gif", prompter, dialogs);
    ok = Save(dialog, out + "/file-not-found.png") && ok;
  }
  return ok ? 0 : 1;
}
