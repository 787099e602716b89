// korvessian-cli's scan and maintenance commands, run as a script would run them.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli/session.h"
#include "cli_run.h"
#include "scsi/blocking_pump.h"
#include "scsi/bus_scan.h"
#include "scsi/virtual_adapter.h"
#include "support/scripted_messages.h"
#include "sys/cp932.h"
#include "sys/ini.h"

namespace korv::test {
namespace {

using Cdbs = std::vector<std::string>;

class DeviceCommands : public ::testing::Test {
 protected:
  // Every run reads the options file of the temporary folder, never one of the build.
  CliResult run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--config", config()});
    return runCli(dir, args);
  }
  std::string config() const { return (dir.path() / "korvessian.ini").string(); }

  TempDir dir;
};

TEST_F(DeviceCommands, ScanJsonReportsTheTapeTheAdapterAndNothingElse) {
  const CliResult r = run({"--tape", "x.tap", "scan", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto scan = nlohmann::json::parse(r.out);
  EXPECT_EQ(scan["adapter_id"], 7);
  EXPECT_EQ(scan["bus"], "the emulated drives (virtual adapter)");
  ASSERT_EQ(scan["targets"].size(), 8u);
  for (int id = 0; id < 8; ++id) {
    const auto& t = scan["targets"][id];
    EXPECT_EQ(t["id"], id);
    if (id == 4) {
      EXPECT_EQ(t["type"], 1);
      EXPECT_EQ(t["type_text"], "テープ");
      EXPECT_EQ(t["vendor"], "KORVESSN");
      EXPECT_EQ(t["product"], "Emulated DDS");
    } else if (id == 7) {
      EXPECT_EQ(t["type_text"], "ＳＣＳＩホストアダプタ");
    } else {
      EXPECT_TRUE(t["type"].is_null()) << id;
      EXPECT_EQ(t["type_text"], "未接続");
    }
  }
  // Keys in the documented order.
  EXPECT_EQ(
      r.out.rfind("{\"adapter_id\":7,\"targets\":[{\"id\":0,\"type\":null,\"type_text\":\"未接続\","
                  "\"vendor\":\"\",\"product\":\"\",\"revision\":\"\",\"address\":null,"
                  "\"failure\":null},",
                  0),
      0u)
      << r.out;
}

TEST_F(DeviceCommands, ScanTableAndTheOptionsFileBus) {
  ASSERT_TRUE(writeProfileString(config(), "TAPE_BUS", "adapter", "virtual"));
  ASSERT_TRUE(writeProfileString(config(), "TAPE_BUS", "image2", "two.tap"));
  ASSERT_TRUE(writeProfileString(config(), "TAPE_BUS", "image5", "five.tap"));
  const CliResult r = run({"scan"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("  2      テープ"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  5      テープ"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("現在のTAPEデバイスのSCSI-IDは 5です"), std::string::npos) << r.out;

  // Without --id the preselected drive (5) is used; --id 2 picks the other, --id 3 none.
  EXPECT_EQ(run({"rewind"}).status, 0);
  EXPECT_EQ(run({"--id", "2", "rewind"}).status, 0);
  const CliResult none = run({"--id", "3", "rewind"});
  EXPECT_EQ(none.status, 2);
  EXPECT_NE(none.err.find("Korvessian-cli: システム初期化失敗"), std::string::npos) << none.err;
}

TEST_F(DeviceCommands, RewindFollowsTheImmediateOption) {
  CliResult r = run({"--trace", "--tape", "x.tap", "rewind"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.cdbsAfterBinding(), (Cdbs{"01 01 00 00 00 00"}));
  EXPECT_NE(r.err.find("cdb 01 01 00 00 00 00 none 0 good"), std::string::npos);
  EXPECT_NE(r.err.find("Korvessian-cli: 正常終了．\n"), std::string::npos) << r.err;

  r = run({"--trace", "--tape", "x.tap", "rewind", "--no-immediate"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.cdbsAfterBinding(), (Cdbs{"01 00 00 00 00 00"}));

  // The option from the options file, unless the flag overrides it.
  ASSERT_TRUE(writeProfileString(config(), "SCSI_KORVESSIAN",
                                 *utf8ToCp932("巻き戻しのイミディエート"), "0"));
  r = run({"--trace", "--tape", "x.tap", "rewind"});
  EXPECT_EQ(r.cdbsAfterBinding(), (Cdbs{"01 00 00 00 00 00"}));
}

TEST_F(DeviceCommands, EraseAndEjectSendTheirSequences) {
  CliResult r = run({"--trace", "--tape", "x.tap", "erase", "--yes"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.cdbsAfterBinding(),
            (Cdbs{"01 01 00 00 00 00", "19 03 00 00 00 00", "01 01 00 00 00 00"}));

  r = run({"--trace", "--yes", "--tape", "x.tap", "retension"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.cdbsAfterBinding(),
            (Cdbs{"01 01 00 00 00 00", "11 03 00 00 01 00", "01 01 00 00 00 00"}));

  r = run({"--trace", "--tape", "x.tap", "eject", "--yes"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.cdbsAfterBinding(), (Cdbs{"01 01 00 00 00 00", "1B 00 00 00 00 00"}));
  EXPECT_NE(r.err.find("Korvessian-cli: 正常終了．"), std::string::npos);
}

TEST_F(DeviceCommands, WithoutYesAndWithoutATerminalNothingIsSent) {
  const std::vector<std::vector<std::string>> commands = {
      {"erase"}, {"eject"}, {"format", "--name", "x"}, {"delete-last"}, {"delete-from", "1"}};
  for (const auto& command : commands) {
    SCOPED_TRACE(command[0]);
    std::vector<std::string> args = {"--trace", "--tape", "x.tap"};
    args.insert(args.end(), command.begin(), command.end());
    const CliResult r = run(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.cdbs().empty()) << r.err;  // not even the binding's INQUIRY
    EXPECT_EQ(r.err.find("正常終了"), std::string::npos);
    EXPECT_NE(r.err.find("警告: "), std::string::npos);
  }
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "x.tap"));
}

// A tape only at id 0 is used like a drive at any other id, named or not.
TEST_F(DeviceCommands, ADriveAtIdZeroIsUsed) {
  ASSERT_TRUE(writeProfileString(config(), "TAPE_BUS", "adapter", "virtual"));
  ASSERT_TRUE(writeProfileString(config(), "TAPE_BUS", "image0", "zero.tap"));
  EXPECT_EQ(run({"--id", "0", "rewind"}).status, 0);
  const CliResult unnamed = run({"rewind"});
  EXPECT_EQ(unnamed.status, 0) << unnamed.err;
}

TEST_F(DeviceCommands, UsageErrors) {
  EXPECT_EQ(run({}).status, 64);
  EXPECT_EQ(run({"--device", "/dev/st0", "scan"}).status, 64);
  EXPECT_EQ(run({"--help"}).status, 0);
}

}  // namespace
}  // namespace korv::test
