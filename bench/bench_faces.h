#pragma once
// What the benchmark programs share: faces that answer every box and show nothing (a run
// under measurement has no one to ask), and the processor time spent so far.

#include <sys/resource.h>

#include <memory>
#include <optional>
#include <string>

#include "jobs/run_interfaces.h"
#include "sys/messages.h"

namespace korv::bench {

// Says yes to every question, takes what an input box offers, swallows every box.
class AgreeingMessages : public MessageService {
 public:
  void beep(unsigned) override {}
  void show(BoxType, const std::string&) override {}
  bool confirm(const std::string&) override { return true; }
  bool askYesNoError(const std::string&) override { return false; }
  std::optional<std::string> input(const std::string&, const std::string&,
                                   const std::string& offered, int) override {
    return offered;
  }
};

class SilentProgress : public jobs::ProgressSink {
 public:
  void setallbyte(float) override {}
  void setallcount(int32_t) override {}
  void setcopycount(int32_t) override {}
  void setcopybyte(float) override {}
  void setfilename(const std::string&) override {}
  void setanimate(bool) override {}
  void stopclock() override {}
  bool isabort() override { return false; }
  void clearabort() override {}
};

class SilentFactory : public jobs::ProgressFactory {
 public:
  std::unique_ptr<jobs::ProgressSink> create(const std::string&) override {
    return std::make_unique<SilentProgress>();
  }
};

class NoLog : public jobs::RunLog {
 public:
  void clear() override {}
  void add(const std::string&) override {}
};

// User and system time of the process (RUSAGE_SELF) or of the calling thread
// (RUSAGE_THREAD), in seconds.
inline double cpuSeconds(int who = RUSAGE_SELF) {
  rusage usage{};
  getrusage(who, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace korv::bench
