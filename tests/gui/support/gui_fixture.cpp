#include "support/gui_fixture.h"

#include <QDeadlineTimer>
#include <QEvent>
#include <QEventLoop>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "gui/app/start.h"
#include "scsi/blocking_pump.h"
#include "sys/cp932.h"
#include "tape/volume_images.h"

namespace korv::test {

GuiWorkspace::GuiWorkspace() : optionsPath_((dir_.path() / "korvessian.ini").string()) {}

std::string GuiWorkspace::imagePath(int id) const {
  return (dir_.path() / ("tape" + std::to_string(id) + ".tap")).string();
}

void GuiWorkspace::writeOptions(const std::string& utf8Text) const {
  std::ofstream out(optionsPath_, std::ios::binary | std::ios::trunc);
  out << utf8ToCp932(utf8Text).value();
}

std::string GuiWorkspace::readOptions() const {
  std::ifstream in(optionsPath_, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return cp932ToUtf8(text.str());
}

void GuiWorkspace::blockOptions() const {
  std::filesystem::remove(optionsPath_);
  std::filesystem::create_directories(optionsPath_);
}

void GuiWorkspace::formatTape(const std::vector<std::string>& setNames) const {
  TapBuilder tap;
  tap.volume("GUI TEST");
  for (const std::string& name : setNames) tap.set(name);
  tap.writeTo(imagePath(4));
}

RecordingBus::RecordingBus(const std::map<int, std::string>& images) {
  auto adapter = std::make_unique<VirtualAdapter>(images);
  adapter_ = adapter.get();
  inner_ = std::move(adapter);
  attach();
}

RecordingBus::RecordingBus(std::unique_ptr<ScsiTransport> transport)
    : inner_(std::move(transport)) {
  attach();
}

void RecordingBus::attach() {
  tracer_ = std::make_unique<TracingTransport>(*inner_, [this](const TraceRecord& record) {
    std::lock_guard lock(mutex_);
    trace_.push_back(record);
  });
}

std::vector<TraceRecord> RecordingBus::trace() const {
  std::lock_guard lock(mutex_);
  return trace_;
}

void RecordingBus::clearTrace() {
  std::lock_guard lock(mutex_);
  trace_.clear();
}

int RecordingBus::count(uint8_t opcode) const {
  std::lock_guard lock(mutex_);
  int n = 0;
  for (const TraceRecord& record : trace_) n += record.cdb[0] == opcode ? 1 : 0;
  return n;
}

namespace {

std::map<int, std::string> imagesOr(const GuiWorkspace& workspace,
                                    std::map<int, std::string> images) {
  if (images.empty()) images[4] = workspace.imagePath(4);
  return images;
}

}  // namespace

GuiProgram::GuiProgram(const GuiWorkspace& workspace, std::map<int, std::string> images)
    : bus(imagesOr(workspace, std::move(images))),
      app(bus.transport(), pump, scripted, workspace.optionsPath()) {}

GuiProgram::GuiProgram(const GuiWorkspace& workspace, std::unique_ptr<ScsiTransport> transport)
    : bus(std::move(transport)), app(bus.transport(), pump, scripted, workspace.optionsPath()) {}

GuiProgram::GuiProgram(const GuiWorkspace& workspace, MessageService& messages,
                       std::map<int, std::string> images)
    : bus(imagesOr(workspace, std::move(images))),
      app(bus.transport(), pump, messages, workspace.optionsPath()) {}

ShowWatcher::ShowWatcher(Match match, std::function<void(QWidget&)> action)
    : match_(std::move(match)), action_(std::move(action)) {
  qApp->installEventFilter(this);
}

bool ShowWatcher::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::Show || !watched->isWidgetType()) return false;
  auto* widget = static_cast<QWidget*>(watched);
  if (!widget->isWindow() || !match_(*widget)) return false;
  qApp->removeEventFilter(this);
  // Queued: the action runs inside the dialog's own loop, once it is up.
  QPointer<QWidget> target(widget);
  auto action = std::move(action_);
  QTimer::singleShot(0, widget, [target, action] {
    if (target) action(*target);
  });
  deleteLater();
  return false;
}

bool runUntil(const std::function<bool()>& done, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
  }
  return true;
}

}  // namespace korv::test

// Every GUI test runs with the program's own look (the 12-pixel Gothic, the icon), set up
// as soon as the test's QApplication exists.
static void setupLikeTheProgram() {
  korv::gui::setupApplication();
}
Q_COREAPP_STARTUP_FUNCTION(setupLikeTheProgram)
