// Backups behind what interrupted runs leave on the tape and behind runs killed outright:
// nothing written before is lost, and the next backup is found where the set list and the
// restore look for it. (Signals that ask a run to stop: interruptions_cli_test.)

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "jobs/backup_run.h"
#include "jobs/restore_run.h"
#include "jobs/test_run.h"
#include "run_fixture.h"
#include "tape/volume_images.h"
#include "tape/volume_tail.h"

namespace korv::test {
namespace {

namespace fs = std::filesystem;
using jobs::RunStatus;
using Names = std::vector<std::string>;

class InterruptedBackupTest : public RunFixture {
 protected:
  void SetUp() override {
    RunFixture::SetUp();
    first = {make("a", 70000, 1), make("b", 10, 2)};
    second = {make("c", 100000, 3)};
    last = {make("d", 5, 4)};
  }

  // The drive lets go of its image (as a program that ends does) and takes it up again.
  void releaseDrive() {
    sf.reset();
    tracer.reset();
    adapter.reset();
  }
  void changeImage(const std::function<void(std::vector<uint8_t>&)>& change) {
    releaseDrive();
    auto bytes = readFileBytes(imagePath);
    change(bytes);
    writeFile(imagePath, bytes);
    attachDrive();
  }

  Names setNames() { return jobs::listSets(*sf).names; }

  // Restores set `number` below a fresh folder and tests it: both must go through.
  fs::path restoreAndTest(int32_t number) {
    const fs::path out = dir.path() / ("out" + std::to_string(number));
    openSet(number);
    jobs::ListSelection all(sf->Catalogue.size());
    FixedDestination destination;
    destination.folder = out.string();
    auto f = faces();
    const auto restored = jobs::restoreRun(*sf, all, destination, f);
    EXPECT_EQ(restored.status, RunStatus::Finished);
    EXPECT_EQ(restored.errors, 0) << number;
    openSet(number);
    jobs::ListSelection allAgain(sf->Catalogue.size());
    const auto tested = jobs::testRun(*sf, allAgain, f);
    EXPECT_EQ(tested.errors, 0) << number;
    return out;
  }

  void expectIdentical(const fs::path& out, const std::vector<fs::path>& files) {
    for (const auto& file : files) EXPECT_EQ(readFile(restored(out, file)), readFile(file)) << file;
  }

  std::vector<fs::path> first, second, last;
};

TEST_F(InterruptedBackupTest, BackupBehindEachTailIsFoundAndTheEarlierSetsRestore) {
  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> damage;
    const char* logged;  // part of the log line, or empty
  };
  const Case cases[] = {
      {"clean", [](std::vector<uint8_t>&) {}, ""},
      // Set two's ending filemark, the last word of the image, never written.
      {"data file without its filemark", [](std::vector<uint8_t>& b) { b.resize(b.size() - 4); },
       "ファイルマークを書き足しました"},
      // A third set's header and an entry, then nothing.
      {"cut catalogue",
       [](std::vector<uint8_t>& b) {
         const auto cut = TapBuilder().catalogue("three", {makeEntry("/t", 70000)}, false).bytes;
         b.insert(b.end(), cut.begin(), cut.end());
       },
       "カタログが途中で切れていた"},
  };
  for (const auto& c : cases) {
    for (const bool eoduse : {true, false}) {
      SCOPED_TRACE(std::string(c.what) + (eoduse ? " / end-of-data" : " / counting"));
      ASSERT_TRUE(sf->FormatVolume());
      options.eoduse = true;
      ASSERT_EQ(backUp(listed(first), "first").status, RunStatus::Finished);
      ASSERT_EQ(backUp(listed(second), "second").status, RunStatus::Finished);
      changeImage(c.damage);
      options.eoduse = eoduse;
      sf->UseEod = eoduse;
      messages.boxes.clear();

      EXPECT_EQ(backUp(listed(last), "new").status, RunStatus::Finished);
      EXPECT_EQ(messages.texts(), Names{"終了しました．"});
      if (*c.logged == '\0') {
        EXPECT_TRUE(log.lines.empty());
      } else {
        ASSERT_EQ(log.lines.size(), 1u);
        EXPECT_NE(log.lines[0].find(c.logged), std::string::npos) << log.lines[0];
      }
      EXPECT_EQ(setNames(), (Names{"first", "second", "new"}));
      expectIdentical(restoreAndTest(1), first);
      expectIdentical(restoreAndTest(2), second);
      expectIdentical(restoreAndTest(3), last);
    }
  }
}

// A backup in a child process that is killed (SIGKILL: nothing of it runs on) once it has
// written `killAt` records of `length` bytes.
void backUpUntilKilled(const std::string& image, const jobs::FileList& list, uint32_t length,
                       int killAt) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    VirtualAdapter adapter({{4, image}});
    int written = 0;
    TracingTransport tracer(adapter, [&](const TraceRecord& r) {
      if (r.cdb[0] == 0x0A && r.status == SS_COMP && loadBE24(&r.cdb[2]) == length &&
          ++written == killAt)
        raise(SIGKILL);
    });
    BlockingPump pump;
    ScriptedMessages messages;
    TScsifile sf(tracer, pump, messages);
    if (!sf.OpenDevice(4, true, true)) _exit(1);
    RecordingFactory factory;
    RecordingLog log;
    Options options;
    jobs::RunFaces faces{messages, factory, log, options};
    jobs::ListSelection all(list.size());
    jobs::backupRun(sf, list, all, "killed", faces);
    _exit(1);  // the kill never came
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
}

TEST_F(InterruptedBackupTest, BackupKilledInItsCatalogueOrDataThenAnother) {
  const std::vector<fs::path> killed = {make("e", 10, 5), make("f", 300000, 6)};
  struct Case {
    const char* what;
    uint32_t length;  // the records counted
    int killAt;
    Names sets;  // after the next backup
  };
  const Case cases[] = {
      {"catalogue phase", 592, 1, {"first", "second", "after"}},
      {"data phase", 65536, 2, {"first", "second", "killed", "after"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(sf->FormatVolume());
    ASSERT_EQ(backUp(listed(first), "first").status, RunStatus::Finished);
    ASSERT_EQ(backUp(listed(second), "second").status, RunStatus::Finished);
    const auto list = listed(killed);
    releaseDrive();
    backUpUntilKilled(imagePath, list, c.length, c.killAt);
    attachDrive();

    EXPECT_EQ(backUp(listed(last), "after").status, RunStatus::Finished);
    EXPECT_EQ(setNames(), c.sets);
    expectIdentical(restoreAndTest(1), first);
    expectIdentical(restoreAndTest(2), second);
    expectIdentical(restoreAndTest(static_cast<int32_t>(c.sets.size())), last);
  }
  // The killed set's files that were complete still restore.
  openSet(3);
  jobs::ListSelection onlyFirst(2);
  onlyFirst.set(1, false);
  FixedDestination destination;
  destination.folder = (dir.path() / "killed").string();
  auto f = faces();
  EXPECT_EQ(jobs::restoreRun(*sf, onlyFirst, destination, f).status, RunStatus::Finished);
  EXPECT_EQ(readFile(restored(destination.folder, killed[0])), readFile(killed[0]));
}

}  // namespace
}  // namespace korv::test
