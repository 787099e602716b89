#pragma once
// What the GUI tests stand on: a fresh folder with an options file path and an emulated
// tape image, the desktop program's own event pump, a recording bus (every command
// traced), scripted or real message boxes, and the program-wide state the forms share.
// Also helpers to act on a modal dialog from inside its own loop.

#include <QApplication>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "gui/common/app_context.h"
#include "gui/common/qt_event_pump.h"
#include "gui/common/qt_messages.h"
#include "scsi/trace.h"
#include "scsi/virtual_adapter.h"
#include "support/scripted_messages.h"
#include "support/temp_dir.h"

namespace korv::test {

// A folder with korvessian.ini's path (the file itself is not made) and tape images.
class GuiWorkspace {
 public:
  GuiWorkspace();

  const std::string& optionsPath() const { return optionsPath_; }
  std::string imagePath(int id = 4) const;
  // Writes the options file's text (UTF-8 given, stored in CP932 as the file holds it).
  void writeOptions(const std::string& utf8Text) const;
  std::string readOptions() const;  // as UTF-8
  // Makes the options file unwritable (a folder takes its name).
  void blockOptions() const;
  // A formatted tape at id 4 with the named sets (each with no files).
  void formatTape(const std::vector<std::string>& setNames = {}) const;

 private:
  TempDir dir_;
  std::string optionsPath_;
};

// A bus whose every command is recorded: emulated drives (id -> image), or any transport
// a test brings (a scripted FakeTransport, one with no drive at all).
class RecordingBus {
 public:
  explicit RecordingBus(const std::map<int, std::string>& images);
  explicit RecordingBus(std::unique_ptr<ScsiTransport> transport);
  ScsiTransport& transport() { return *tracer_; }
  ScsiTransport& inner() { return *inner_; }
  VirtualAdapter& adapter() { return *adapter_; }  // the emulated drives' adapter
  EmulatedDrive& drive(int id = 4) { return *adapter_->drive(id); }

  std::vector<TraceRecord> trace() const;
  void clearTrace();
  int count(uint8_t opcode) const;

 private:
  void attach();

  std::unique_ptr<ScsiTransport> inner_;
  VirtualAdapter* adapter_ = nullptr;
  std::unique_ptr<TracingTransport> tracer_;
  mutable std::mutex mutex_;
  std::vector<TraceRecord> trace_;
};

// The program-wide state over a recording bus, with scripted boxes by default. Members
// are declared so that the pump outlives the bus.
// With no images given, one drive at id 4 over the workspace's tape4.tap; with a
// transport given, that bus; with `messages`, those boxes instead of the scripted ones.
struct GuiProgram {
  explicit GuiProgram(const GuiWorkspace& workspace, std::map<int, std::string> images = {});
  GuiProgram(const GuiWorkspace& workspace, std::unique_ptr<ScsiTransport> transport);
  GuiProgram(const GuiWorkspace& workspace, MessageService& messages,
             std::map<int, std::string> images = {});

  gui::QtEventPump pump;
  RecordingBus bus;
  ScriptedMessages scripted;
  gui::AppContext app;
};

// Runs `action` with the next top-level widget of type T once it is shown and its own
// event loop runs (a modal dialog's exec()). One-shot.
template <class T>
void whenShown(std::function<void(T&)> action);

// As whenShown, for the SCSI ID dialog: waits until its scan has ended.
class ShowWatcher : public QObject {
 public:
  using Match = std::function<bool(QWidget&)>;
  ShowWatcher(Match match, std::function<void(QWidget&)> action);
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Match match_;
  std::function<void(QWidget&)> action_;
};

template <class T>
void whenShown(std::function<void(T&)> action) {
  new ShowWatcher([](QWidget& w) { return qobject_cast<T*>(&w) != nullptr; },
                  [action](QWidget& w) { action(static_cast<T&>(w)); });
}

// Lets queued events and timers run until `done` holds or `timeoutMs` passes; false on
// timeout. For the test's own top level only (the forms' waits pump by themselves).
bool runUntil(const std::function<bool()>& done, int timeoutMs = 10000);

}  // namespace korv::test
