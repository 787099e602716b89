#pragma once
// The closing line of a backup, restore or test on standard output: files done and
// skipped, bytes, elapsed time and the average rate, as tar's totals give them, so a log
// kept by a script says what a run achieved even without a terminal.

#include <chrono>
#include <string>

#include "jobs/run_interfaces.h"

namespace korv::cli {

// "バックアップ: 12 個完了  1 個スキップ  1,048,576 バイト  経過 00.01.05  平均 0.97 MByte/分".
// Elapsed time is hours.minutes.seconds with hours not wrapping after a day.
std::string runSummary(const std::string& run, const jobs::RunResult& result, double seconds);

// Prints the summary of a run that started (one that was refused has nothing to sum up),
// timed from `begin`.
void printRunSummary(const std::string& run, const jobs::RunResult& result,
                     std::chrono::steady_clock::time_point begin);

}  // namespace korv::cli
