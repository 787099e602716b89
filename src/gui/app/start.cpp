#include "gui/app/start.h"

#include <QApplication>
#include <QIcon>

#include "gui/app/mainu.h"
#include "gui/common/app_font.h"
#include "gui/common/qt_event_pump.h"
#include "gui/common/qt_messages.h"
#include "scsi/bus.h"
#include "sys/messages.h"
#include "sys/options.h"

static void initResources() {
  Q_INIT_RESOURCE(korvessian);
}

namespace korv::gui {

void setupApplication() {
  initResources();
  QApplication::setApplicationName(QStringLiteral("korvessian"));
  QApplication::setApplicationDisplayName(QString());
  QApplication::setDesktopFileName(QStringLiteral("korvessian"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/korvessian/icon.png")));
  setupApplicationFont();
}

std::string optionsPathFor(const QString& executablePath) {
  return defaultOptionsPath(executablePath.toStdString());
}

int runProgram() {
  setupApplication();
  const QString executable = QApplication::applicationFilePath();
  const std::string optionsPath = optionsPathFor(executable);

  // The pump outlives the bus: a transport may wake it while it shuts down.
  QtEventPump pump;
  std::string problem;
  Bus bus = openConfiguredBus(optionsPath, &problem);
  QtMessages messages(QString::fromStdString(applicationTitle(executable.toStdString())));
  if (!problem.empty())
    messages.show(BoxType::Warning, problem + "\r[TAPE_BUS] adapter=auto を使います．");

  AppContext app(*bus.transport, pump, messages, optionsPath);
  Tmain main(app);
  main.show();
  return QApplication::exec();
}

}  // namespace korv::gui
