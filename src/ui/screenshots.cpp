// pagoric-screenshots: renders the desktop program's windows into PNG files
// for the README, on any Qt platform (scripts/screenshots.sh uses offscreen).
//   pagoric-screenshots OUTDIR PROJECT.web
//   pagoric-screenshots OUTDIR PROJECT.web --screen NAME
// The project is opened as the window opens it and built once with Build.
// With --screen, only NAME.png is made: the whole screen with the project
// window where it opens on it, at the screen's scale factor.
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QTreeView>
#include <cstdio>
#include <filesystem>

#include "build/open_project.h"
#include "build/recent_list.h"
#include "platform/file_util.h"
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

// The screen with window on it where it opens, a plain title bar above it.
bool SaveScreen(QWidget& window, const QString& file) {
  window.show();
  QApplication::processEvents();
  QScreen* screen = window.screen();
  const qreal ratio = screen->devicePixelRatio();
  QImage image(screen->geometry().size() * ratio, QImage::Format_RGB32);
  image.setDevicePixelRatio(ratio);
  image.fill(QColor(0x3b, 0x4a, 0x5c));
  QPainter painter(&image);
  const QRect client = window.geometry().translated(-screen->geometry().topLeft());
  const int titleHeight = 28;
  const QRect title(client.left(), client.top() - titleHeight, client.width(), titleHeight);
  painter.fillRect(title, QColor(0xe6, 0xe6, 0xe6));
  painter.setPen(Qt::black);
  painter.drawText(title, Qt::AlignCenter, window.windowTitle());
  painter.drawPixmap(client.topLeft(), window.grab());
  painter.setPen(QColor(0x20, 0x20, 0x20));
  painter.drawRect(title.united(client).adjusted(0, 0, -1, -1));
  painter.end();
  const bool ok = image.save(file);
  std::fprintf(stderr, "%s %s (%dx%d at %g, window %dx%d)\n", ok ? "wrote" : "cannot write",
               qPrintable(file), screen->geometry().width(), screen->geometry().height(), ratio,
               client.width(), client.height());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const bool screenOnly = argc == 5 && std::string(argv[3]) == "--screen";
  if (argc != 3 && !screenOnly) {
    std::fprintf(stderr, "usage: pagoric-screenshots OUTDIR PROJECT.web [--screen NAME]\n");
    return 2;
  }
  const QString out = argv[1];
  const std::string project = argv[2];
  QDir().mkpath(out);
  QApplication::setWindowIcon(AppIcon());
  CUnattendedPrompter prompter;
  CUnattendedDialogs dialogs;

  if (screenOnly) {
    COpenProject open(prompter, nullptr);
    CMappedRelocationAnswers answers({});
    if (!open.VerifyAndOpen(project, false, answers)) return 1;
    CProjectDlg window(nullptr, open, prompter, dialogs);
    window.OnFolderActivated("[site]");
    window.TreeView()->expandAll();
    return SaveScreen(window, out + "/" + argv[4] + ".png") ? 0 : 1;
  }

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

  // A build refused because a source has gone (the tree marks it), then a
  // folder of help pages added with everything below it from the path field.
  {
    const std::string web = FolderOf(project);
    const std::string gone = web + "/site/docs/manual.htm";
    std::filesystem::rename(gone, gone + ".away");
    std::filesystem::create_directories(web + "/help");
    for (const char* name : {"faq.htm", "contact.htm", ".draft.htm"}) {
      std::FILE* file = std::fopen((web + "/help/" + name).c_str(), "w");
      if (file) std::fclose(file);
    }
    COpenProject second(prompter, nullptr);
    if (!second.VerifyAndOpen(project, false, answers)) return 1;
    CProjectDlg added(nullptr, second, prompter, dialogs);
    added.show();
    added.OnBuild();
    added.OnPathEntered(ToQt(web));
    auto* folders = added.findChild<QListWidget*>("folderList");
    const QList<QListWidgetItem*> help = folders->findItems("[help]", Qt::MatchExactly);
    if (!help.isEmpty()) folders->setCurrentItem(help.first());
    added.SelectItem(second.m_tree.GetRootItem());
    added.OnAddFiles();
    added.TreeView()->expandAll();
    added.findChild<QLineEdit*>("pathEdit")->setText("site/img");
    ok = Save(added, out + "/project-window-additions.png") && ok;
    std::filesystem::rename(gone + ".away", gone);
  }

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
