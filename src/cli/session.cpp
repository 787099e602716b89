#include "cli/session.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>

#include "cli/terminal_messages.h"
#include "scsi/blocking_pump.h"
#include "scsi/bus_scan.h"
#include "scsi/command_failure.h"
#include "scsi/tape_image.h"
#include "scsi/trace.h"
#include "scsi/virtual_adapter.h"

namespace korv::cli {

namespace {

constexpr int kTapeOptionId = 4;  // --tape: the one drive of the virtual adapter

std::string executablePath() {
  std::error_code error;
  const auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string("korvessian-cli") : path.string();
}

// An image that cannot become ready by waiting gets its own message.
std::string imageProblemText(const std::string& image) {
  switch (diagnoseImage(image)) {
    case ImageProblem::None:
      break;
    case ImageProblem::InUse:
      return "テープイメージ " + image + " は他のプログラムが使用中です．";
    case ImageProblem::IsFolder:
      return "テープイメージ " + image +
             " はフォルダーです．イメージのファイル名を指定して下さい．";
    case ImageProblem::FolderMissing:
      return "テープイメージのフォルダー " + image.substr(0, image.find_last_of('/') + 1) +
             " がありません．";
  }
  return {};
}

}  // namespace

std::string optionsPathFor(const GlobalOptions& options) {
  return options.config.empty() ? defaultOptionsPath(executablePath()) : options.config;
}

struct Session::Impl {
  explicit Impl(TerminalMessages::Settings settings)
      : messages(std::move(settings), std::cerr, std::cin) {}

  TerminalMessages messages;
  BlockingPump pump;
  std::optional<Bus> bus;
  std::unique_ptr<TracingTransport> tracer;
  std::unique_ptr<TScsifile> sf;
  bool bound = false;            // OpenDevice succeeded
  bool silenceReported = false;  // "does not answer" was said already

  // The drive's own box ("テープドライブが応答しません．" and the transport's reason),
  // then a line naming the id and the bus.
  static std::string notAnsweringText(const std::string& reason) {
    return std::string(kDriveNotAnswering) + (reason.empty() ? "" : "\r" + reason);
  }
  void noteNotAnswering(int id) {
    messages.note("id " + std::to_string(id) + " on " + bus->description + " does not answer");
  }
  void reportNotAnswering(int id, const std::string& reason) {
    messages.show(BoxType::Error, notAnsweringText(reason));
    noteNotAnswering(id);
    silenceReported = true;
  }
};

Session::Session(GlobalOptions options) : options_(std::move(options)) {
  const std::string exe = executablePath();
  optionsPath_ = optionsPathFor(options_);
  opt_ = loadOptions(optionsPath_);
  opt_.eoduse = options_.eod.given().value_or(opt_.eoduse);
  opt_.rewindimm = options_.immediate.given().value_or(opt_.rewindimm);

  TerminalMessages::Settings settings;
  settings.yes = options_.yes;
  settings.wait = options_.wait;
  settings.interactive = isatty(STDIN_FILENO) == 1;
  settings.title = applicationTitle(exe);
  impl_ = std::make_unique<Impl>(std::move(settings));
}

Session::~Session() = default;

MessageService& Session::messages() {
  return impl_->messages;
}
TerminalMessages& Session::terminal() {
  return impl_->messages;
}
EventPump& Session::pump() {
  return impl_->pump;
}

ScsiTransport& Session::transport() {
  if (impl_->bus) return impl_->tracer ? *impl_->tracer : *impl_->bus->transport;

  BusConfig config;
  if (!options_.tape.empty()) {
    config.kind = BusConfig::Kind::Virtual;
    config.images[kTapeOptionId] = options_.tape;
  } else if (!options_.device.empty()) {
    // Checked when the command line was read; a malformed one gives an unusable bus.
    if (auto device = parseDeviceUrl(options_.device)) {
      config = *device;
    } else {
      config.kind = BusConfig::Kind::Sg;
    }
  } else {
    std::string problem;
    config = readBusConfig(optionsPath_, &problem);
    if (!problem.empty()) impl_->messages.note(problem);
  }
  impl_->bus = openBus(config, defaultImagePath(optionsPath_));
  if (!impl_->bus->transport->hostAdapter().ready)
    impl_->messages.note(impl_->bus->description + ": this bus cannot be used");

  if (options_.trace) {
    impl_->tracer =
        std::make_unique<TracingTransport>(*impl_->bus->transport, [](const TraceRecord& record) {
          const std::string line = formatTrace(record) + "\n";
          std::fputs(line.c_str(), stderr);
        });
    return *impl_->tracer;
  }
  return *impl_->bus->transport;
}

const std::string& Session::busDescription() {
  transport();
  return impl_->bus->description;
}

TScsifile* Session::bindDrive() {
  if (impl_->bound) return impl_->sf.get();
  ScsiTransport& bus = transport();
  if (!bus.hostAdapter().ready) {
    impl_->messages.show(BoxType::Plain, kAdapterUnusable);
    return nullptr;
  }

  int id = options_.id;
  if (id < 0) {
    // The drive the SCSI ID dialog preselects (for a named device, that device's).
    BusScan scan(bus, impl_->pump, impl_->messages);
    if (!scan.scan()) return nullptr;
    id = scan.chosenId();
    if (id < 0 && scan.firstNotAnswering() >= 0) {
      const ScanRow& row = scan.rows()[scan.firstNotAnswering()];
      impl_->reportNotAnswering(scan.firstNotAnswering(), row.failure);
      return nullptr;
    }
    if (id < 0) {
      impl_->messages.show(BoxType::Plain, std::string("TAPE SCSI-ID=") + kIdUnusable);
      impl_->messages.note("no tape drive chosen on " + impl_->bus->description +
                           " (see `scan`, choose one with --id N)");
      return nullptr;
    }
  }

  impl_->sf = std::make_unique<TScsifile>(bus, impl_->pump, impl_->messages);
  if (auto* adapter = dynamic_cast<VirtualAdapter*>(impl_->bus->transport.get())) {
    if (const EmulatedDrive* drive = adapter->drive(id)) {
      const std::string image = drive->imagePath();
      impl_->messages.setNotReadyCause([image] { return imageProblemText(image); });
    }
  } else {
    // A drive that sends no answer does not become ready by waiting: said once, not retried.
    impl_->messages.setNotReadyCause([impl = impl_.get(), id] {
      if (!deviceDidNotAnswer(impl->sf->AspiRequest)) return std::string();
      impl->silenceReported = true;
      return impl->notAnsweringText(impl->bus->transport->failureReason(static_cast<uint8_t>(id)));
    });
  }
  if (!impl_->sf->OpenDevice(id, opt_.rewindimm, opt_.eoduse)) {
    if (impl_->silenceReported) {
      impl_->noteNotAnswering(id);
    } else if (deviceDidNotAnswer(impl_->sf->AspiRequest)) {
      impl_->reportNotAnswering(id, bus.failureReason(static_cast<uint8_t>(id)));
    } else {
      impl_->messages.show(BoxType::Plain, "システム初期化失敗");
    }
    return nullptr;
  }
  impl_->bound = true;
  return impl_->sf.get();
}

int Session::finish(bool ok) const {
  // A drive that stopped answering in the middle of a command: whatever the command made
  // of its failures, the user learns why, and the command failed.
  if (impl_->sf && !impl_->silenceReported && deviceDidNotAnswer(impl_->sf->AspiRequest)) {
    const int id = impl_->sf->TargetId;
    impl_->reportNotAnswering(id, impl_->bus->transport->failureReason(static_cast<uint8_t>(id)));
    return kExitFailed;
  }
  if (!ok) return kExitFailed;
  if (skipped_ || impl_->messages.warned()) return kExitSkipped;
  return kExitDone;
}

}  // namespace korv::cli
