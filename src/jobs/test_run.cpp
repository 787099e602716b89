#include "jobs/test_run.h"

#include "jobs/run_guard.h"
#include "jobs/run_support.h"
#include "jobs/stream_reading.h"
#include "sys/cp932.h"

namespace korv::jobs {
namespace {

// Reads and drops; the dialog names every entry reached, selected or not, by its
// recorded path.
class NamingSink : public StreamSink {
 public:
  void reached(const sf_file2& entry, ProgressSink& progress) override {
    progress.setfilename(cp932ToUtf8(entry.name));
  }
};

}  // namespace

RunResult testRun(TScsifile& sf, Selection& selection, RunFaces& faces) {
  RunGuard guard(sf);
  if (!guard.acquired()) return RunResult{};
  RunResult result;
  RunReporter report(faces, result);
  NamingSink sink;
  readSetStreams(sf, selection, faces, report, result,
                 {kCaptionTest, "テストするファイルが１個も指定されていません",
                  "ファイルヘッダーが読み込めませんでした"},
                 sink);
  return result;
}

}  // namespace korv::jobs
