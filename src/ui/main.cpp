// pagoric-gui: the desktop program.
#include <QApplication>
#include <QSettings>
#include <cstdio>

#include "platform/project_lock.h"
#include "ui/converter_app.h"
#include "ui/gui_args.h"
#include "ui/tree_images.h"

namespace {

std::vector<std::string> ArgumentsOf(const QStringList& list) {
  std::vector<std::string> args;
  for (qsizetype i = 1; i < list.size(); ++i) args.push_back(FromQt(list[i]));
  return args;
}

}  // namespace

int main(int argc, char** argv) {
  // --help and --version answer before Qt looks for a display.
  const std::vector<std::string> raw(argv + (argc > 0 ? 1 : 0), argv + argc);
  if (AsksForHelpOrVersion(raw)) {
    const bool help = ParseGuiArguments(raw).action == CGuiArguments::kHelp;
    std::fputs((help ? GuiHelpText() : GuiVersionText()).c_str(), stdout);
    return 0;
  }
  QApplication app(argc, argv);
  const CGuiArguments args = ParseGuiArguments(ArgumentsOf(QApplication::arguments()));
  if (args.action == CGuiArguments::kUsageError) {
    std::fprintf(stderr, "pagoric-gui: %s\nTry 'pagoric-gui --help'.\n", args.error.c_str());
    return kGuiUsageExit;
  }
  QApplication::setOrganizationName("Brindmoor");
  QApplication::setApplicationName("Pagoric");
  QApplication::setWindowIcon(AppIcon());
  QSettings settings;
  CQtPrompter prompter;
  CQtDialogs dialogs;
  CConverterApp converter(prompter, dialogs, settings, InstanceLockPath());
  return converter.Run(args.project);
}
