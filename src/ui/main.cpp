// pagoric-gui: the desktop program.
#include <QApplication>
#include <QSettings>

#include "platform/project_lock.h"
#include "ui/converter_app.h"
#include "ui/tree_images.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setOrganizationName("Brindmoor");
  QApplication::setApplicationName("Pagoric");
  QApplication::setWindowIcon(AppIcon());
  QSettings settings;
  CQtPrompter prompter;
  CQtDialogs dialogs;
  CConverterApp converter(prompter, dialogs, settings, InstanceLockPath());
  return converter.Run();
}
