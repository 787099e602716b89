#include "jobs/run_support.h"

namespace korv::jobs {

void RunReporter::box(BoxType type, const std::string& text, bool sound) {
  if (sound) faces_.messages.beep(kBeepExclamation);
  faces_.messages.show(type, text);
  ++result_.problems;
}

void RunReporter::information(const std::string& text) {
  faces_.messages.beep(kBeepDefault);
  faces_.messages.show(BoxType::Information, text);
}

void RunReporter::log(const std::string& line) {
  faces_.log.add(line);
  ++result_.logLines;
}

std::unique_ptr<ProgressSink> openProgress(ProgressFactory& factory, const std::string& caption) {
  auto sink = factory.create(caption);
  sink->setanimate(false);
  return sink;
}

}  // namespace korv::jobs
