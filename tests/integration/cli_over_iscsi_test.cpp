// The terminal program against tgtd's tape emulation over iSCSI: scan, format, backups,
// listing both ways, restore compared byte for byte, test, a backup interrupted half-way
// and one whose tape server dies under it, erase and eject as far as tgtd allows, and the
// sense that --trace shows. Every test starts from a freshly formatted tape.

#include <signal.h>

#include <filesystem>
#include <string>
#include <thread>

#include "integration_env.h"
#include "raw_bus.h"
#include "scsi/iscsi_transport.h"
#include "support/temp_dir.h"

namespace korv::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class CliOverIscsi : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_ISCSI();
    config = (dir.path() / "korvessian.ini").string();
    // Sizes around the 64 KiB block: empty, one byte, a block and a byte either side.
    const fs::path one = dir.path() / "src1";
    writeFile(one / "a.bin", pattern(200000, 1));
    writeFile(one / "empty", "");
    writeFile(one / "exact", pattern(65536, 2));
    writeFile(one / "plus1", pattern(65537, 3));
    writeFile(one / "sub" / "deep" / "one", "x");
    writeFile(one / "sub" / "odd", pattern(131071, 4));
    const fs::path two = dir.path() / "src2";
    writeFile(two / "b.bin", pattern(300000, 5));
    writeFile(two / "c.txt", "hello tape\n");
    src1 = one;
    src2 = two;
    const CliOutcome formatted = cli({"--yes", "format", "--name", "KORVTAPE"});
    ASSERT_EQ(formatted.status, 0) << formatted.err;
  }

  // The program with the tgtd tape as its drive; `args` are options and the command.
  std::vector<std::string> argv(const std::vector<std::string>& args) const {
    std::vector<std::string> all{"--config", config, "--device", iscsiTape()};
    all.insert(all.end(), args.begin(), args.end());
    return all;
  }
  CliOutcome cli(const std::vector<std::string>& args) const {
    return runCli(dir.path(), argv(args));
  }

  CliOutcome backup(const std::string& name, const fs::path& source) const {
    return cli({"backup", "--name", name, source.string()});
  }

  // Restores set `number` into a fresh folder and returns the restored copy of `source`.
  fs::path restore(int number, const fs::path& source) const {
    const fs::path to = dir.path() / ("restored" + std::to_string(number));
    fs::remove_all(to);
    fs::create_directories(to);
    const CliOutcome restored = cli({"restore", std::to_string(number), "--to", to.string()});
    EXPECT_EQ(restored.status, 0) << restored.out << restored.err;
    return to / source.relative_path();
  }

  // Raw commands to the tape, in a session of their own (the program is not running).
  void onRawTape(const std::function<void(RawBus&)>& work) const {
    IscsiTransport transport(iscsiPortal(), 1);
    RawBus tape(transport, 1);
    tape.testUnitReady();  // a new session's unit attention
    ASSERT_TRUE(tape.testUnitReady().good());
    work(tape);
  }

  // A source large enough that its backup can be caught some blocks in.
  fs::path bigSource() const {
    const fs::path big = dir.path() / "big";
    for (unsigned i = 0; i < 4; ++i)
      writeFile(big / ("part" + std::to_string(i)), pattern(kBigPart, 10 + i));
    return big;
  }
  static constexpr size_t kBigPart = 16 << 20;

  // Waits until the backup has read `bytes` of its files (so it has written about as
  // much); false when it ended first or never got there. Callers wait for little of the
  // 64 MiB, so the pause that follows lands mid-run even on a loaded machine.
  static bool waitForProgress(CliProcess& run, uint64_t bytes) {
    const auto until = std::chrono::steady_clock::now() + 30s;
    while (run.running() && std::chrono::steady_clock::now() < until) {
      if (run.bytesRead() >= bytes) return true;
      std::this_thread::sleep_for(200us);
    }
    return false;
  }

  TempDir dir;
  std::string config;
  fs::path src1, src2;
};

TEST_F(CliOverIscsi, ScanShowsTheTapeAtItsLun) {
  CliOutcome scan = cli({"scan"});
  ASSERT_EQ(scan.status, 0) << scan.err;
  EXPECT_TRUE(contains(scan.out, "  1      テープ")) << scan.out;
  EXPECT_TRUE(contains(scan.out, "VIRTUAL-TAPE")) << scan.out;
  EXPECT_TRUE(contains(scan.out, "  0      未接続")) << scan.out;  // --device names LUN 1 alone
  EXPECT_TRUE(contains(scan.out, "ＳＣＳＩホストアダプタ  libiscsi  127.0.0.1")) << scan.out;

  // The whole target as the bus: LUN 0 is tgtd's controller (type 0Ch).
  writeFile(config, "[TAPE_BUS]\nadapter=" + iscsiPortal() + "\n");
  scan = runCli(dir.path(), {"--config", config, "scan"});
  ASSERT_EQ(scan.status, 0) << scan.err;
  EXPECT_TRUE(contains(scan.out, "  0      未定義または無し")) << scan.out;
  EXPECT_TRUE(contains(scan.out, "  1      テープ")) << scan.out;
  EXPECT_TRUE(contains(scan.out, "  2      未接続")) << scan.out;
  EXPECT_TRUE(contains(scan.out, "現在のTAPEデバイスのSCSI-IDは 1です")) << scan.out;
}

TEST_F(CliOverIscsi, BackupsListRestoreAndTest) {
  ASSERT_EQ(backup("first", src1).status, 0);
  ASSERT_EQ(backup("second", src2).status, 0);

  const CliOutcome byEod = cli({"sets"});
  ASSERT_EQ(byEod.status, 0) << byEod.err;
  EXPECT_TRUE(contains(byEod.out, "KORVTAPE")) << byEod.out;
  EXPECT_TRUE(contains(byEod.out, "   1  first")) << byEod.out;
  EXPECT_TRUE(contains(byEod.out, "   2  second")) << byEod.out;
  const CliOutcome byCounting = cli({"--no-eod", "sets"});
  EXPECT_EQ(byCounting.status, 0);
  EXPECT_EQ(byCounting.out, byEod.out);

  const CliOutcome files = cli({"files", "1"});
  ASSERT_EQ(files.status, 0) << files.err;
  EXPECT_EQ(std::count(files.out.begin(), files.out.end(), '\n'), 6) << files.out;
  EXPECT_TRUE(contains(files.out, "200000")) << files.out;
  EXPECT_TRUE(contains(files.out, (src1 / "sub" / "odd").string())) << files.out;

  EXPECT_EQ(treeContents(restore(1, src1)), treeContents(src1));
  EXPECT_EQ(treeContents(restore(2, src2)), treeContents(src2));
  EXPECT_EQ(cli({"test", "1"}).status, 0);
  EXPECT_EQ(cli({"test", "2"}).status, 0);

  // A third set appended by counting the sets instead of spacing to the end of data.
  ASSERT_EQ(cli({"--no-eod", "backup", "--name", "third", src2.string()}).status, 0);
  EXPECT_TRUE(contains(cli({"sets"}).out, "   3  third"));
  EXPECT_EQ(treeContents(restore(3, src2)), treeContents(src2));
}

// tgtd refuses ERASE as an unknown operation code, and its LOAD/UNLOAD with byte 4 clear
// answers good but leaves the tape loaded (START STOP UNIT meanings); a DDS drive erases
// and ejects. The program reports what the drive answered, and the volume stays usable.
TEST_F(CliOverIscsi, EraseAndEjectAsFarAsTgtdGoes) {
  ASSERT_EQ(backup("kept", src2).status, 0);
  const CliOutcome erase = cli({"--trace", "--yes", "erase"});
  EXPECT_EQ(erase.status, 2);
  EXPECT_TRUE(contains(erase.err, "イレースエラー発生！！")) << erase.err;
  EXPECT_TRUE(contains(erase.err, "cdb 19 03 00 00 00 00 none 0 failed sense 5/20/00"))
      << erase.err;

  const CliOutcome eject = cli({"--trace", "--yes", "eject"});
  EXPECT_EQ(eject.status, 0) << eject.err;
  EXPECT_TRUE(contains(eject.err, "cdb 1B 00 00 00 00 00 none 0 good")) << eject.err;
  EXPECT_TRUE(contains(cli({"sets"}).out, "   1  kept"));
}

// --trace shows the sense key, ASC/ASCQ and the tape bits of what tgtd answered; each
// layout is built with raw commands behind the label.
TEST_F(CliOverIscsi, TraceShowsSenseAndTapeBits) {
  // The end of data right behind the label: BLANK CHECK with EOM.
  CliOutcome sets = cli({"--trace", "--no-eod", "sets"});
  EXPECT_EQ(sets.status, 0);
  EXPECT_TRUE(contains(sets.err, "cdb 08 00 00 01 0C 00 in 268 failed sense 8/00/00 EOM"))
      << sets.err;

  // A filemark where a set header should be.
  onRawTape([](RawBus& tape) {
    ASSERT_TRUE(tape.rewind().good());
    ASSERT_TRUE(tape.spaceFilemarks(1).good());
    ASSERT_TRUE(tape.writeFilemarks(1).good());
  });
  sets = cli({"--trace", "--no-eod", "sets"});
  EXPECT_TRUE(contains(sets.err, "cdb 08 00 00 01 0C 00 in 268 failed sense 0/00/01 FM"))
      << sets.err;

  // A shorter block: ILI with the residue.
  onRawTape([](RawBus& tape) {
    ASSERT_TRUE(tape.rewind().good());
    ASSERT_TRUE(tape.spaceFilemarks(1).good());
    ASSERT_TRUE(tape.write(std::vector<uint8_t>(100, 0x55)).good());
    ASSERT_TRUE(tape.writeFilemarks(1).good());
  });
  sets = cli({"--trace", "--no-eod", "sets"});
  EXPECT_TRUE(contains(sets.err, "cdb 08 00 00 01 0C 00 in 268 failed sense 0/00/00 ILI info 168"))
      << sets.err;
}

TEST_F(CliOverIscsi, InterruptedBackupThenAnother) {
  ASSERT_EQ(backup("before", src1).status, 0);
  const fs::path big = bigSource();
  CliProcess run(dir.path(), argv({"backup", "--name", "interrupted", big.string()}));
  ASSERT_TRUE(waitForProgress(run, 256 << 10)) << "the backup never got going";
  // Held still with a WRITE in flight, so the interrupt lands in the middle for sure.
  ASSERT_TRUE(tgtd("PAUSE"));
  run.signal(SIGINT);
  ASSERT_TRUE(tgtd("RESUME"));
  const CliOutcome interrupted = run.wait(60s);
  ASSERT_FALSE(interrupted.timedOut);
  EXPECT_TRUE(contains(interrupted.err, "中断しました")) << interrupted.err;

  ASSERT_EQ(backup("after", src2).status, 0);
  const CliOutcome sets = cli({"sets"});
  EXPECT_TRUE(contains(sets.out, "   1  before")) << sets.out;
  EXPECT_TRUE(contains(sets.out, "   2  interrupted")) << sets.out;
  EXPECT_TRUE(contains(sets.out, "   3  after")) << sets.out;
  EXPECT_EQ(treeContents(restore(3, src2)), treeContents(src2));
  EXPECT_EQ(treeContents(restore(1, src1)), treeContents(src1));
}

// The tape server dies while a block is on its way: the WRITE fails with the session, the
// commands after it fail at once (nothing listens any more), and the run ends with its
// message instead of waiting out the 15-minute WRITE timeout. The source files are
// untouched, and once the server is back the sets written before are intact.
TEST_F(CliOverIscsi, TapeServerDyingMidBackupEndsTheRun) {
  ASSERT_EQ(backup("before", src1).status, 0);
  const fs::path big = bigSource();
  const auto sources = treeContents(big);
  CliProcess run(dir.path(), argv({"backup", "--name", "doomed", big.string()}));
  ASSERT_TRUE(waitForProgress(run, 256 << 10)) << "the backup never got going";
  ASSERT_TRUE(tgtd("PAUSE"));
  ASSERT_TRUE(tgtd("KILL"));
  const CliOutcome doomed = run.wait(120s);
  ASSERT_FALSE(doomed.timedOut) << "the run hung after the tape server died";
  EXPECT_LT(doomed.took, 30s);
  EXPECT_NE(doomed.status, 0) << doomed.err;
  EXPECT_TRUE(contains(doomed.err, "書き込みエラーが発生しました")) << doomed.err;
  EXPECT_EQ(treeContents(big), sources);

  ASSERT_TRUE(tgtd("START"));
  const CliOutcome sets = cli({"sets"});
  EXPECT_TRUE(contains(sets.out, "KORVTAPE")) << sets.out << sets.err;
  EXPECT_TRUE(contains(sets.out, "   1  before")) << sets.out;
  EXPECT_EQ(treeContents(restore(1, src1)), treeContents(src1));
}

}  // namespace
}  // namespace korv::test
