#include "cli/run_summary.h"

#include <cstdio>

#include "jobs/progress_math.h"

namespace korv::cli {

std::string runSummary(const std::string& run, const jobs::RunResult& result, double seconds) {
  const auto whole = static_cast<long long>(seconds);
  char elapsed[32];
  std::snprintf(elapsed, sizeof elapsed, "%02lld.%02lld.%02lld", whole / 3600, whole / 60 % 60,
                whole % 60);
  // Under a millisecond there is no rate to speak of.
  const double rate =
      seconds >= 0.001 ? static_cast<double>(result.bytesDone) / 1048576 / (seconds / 60) : 0.0;
  char rateText[32];
  std::snprintf(rateText, sizeof rateText, "%.2f", rate);
  return run + ": " + jobs::formatCount(result.filesDone, 0) + " 個完了  " +
         jobs::formatCount(result.filesSkipped, 0) + " 個スキップ  " +
         jobs::formatCount(static_cast<double>(result.bytesDone), 0) + " バイト  経過 " + elapsed +
         "  平均 " + rateText + " MByte/分";
}

void printRunSummary(const std::string& run, const jobs::RunResult& result,
                     std::chrono::steady_clock::time_point begin) {
  if (!result.started()) return;
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - begin;
  std::printf("%s\n", runSummary(run, result, took.count()).c_str());
  std::fflush(stdout);
}

}  // namespace korv::cli
