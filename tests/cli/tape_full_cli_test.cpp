// A backup onto a cartridge that fills up: the drive's early warning ends the set cleanly,
// the terminal says which file did not fit and fails, and what did fit restores intact.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "cli/cli_run.h"
#include "sys/ini.h"

namespace korv::test {
namespace {

namespace fs = std::filesystem;

class TapeFullCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // 1 MiB: the early warning comes at 768 KiB, before the twelfth 100 kB file.
    const std::string ini = (dir.path() / "k.ini").string();
    ASSERT_TRUE(writeProfileString(ini, "TAPE_BUS", "adapter", "virtual"));
    ASSERT_TRUE(writeProfileString(ini, "TAPE_BUS", "image4", "small.tap"));
    ASSERT_TRUE(writeProfileString(ini, "TAPE_BUS", "capacity4", "1M"));
    for (int i = 0; i < 12; ++i)
      writeFile(src / ("f" + std::to_string(i) + ".bin"), pattern(100000, i));
    ASSERT_EQ(run({"--yes", "format", "--name", "SMALL"}).status, 0);
  }

  CliResult run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--config", (dir.path() / "k.ini").string()});
    return runCli(dir, args);
  }

  TempDir dir;
  fs::path src = dir.path() / "src";
};

TEST_F(TapeFullCliTest, BackupEndsTheSetAtTheEarlyWarningAndRestoresWhatFit) {
  const CliResult backup = run({"--trace", "backup", "--name", "FULL", src.string()});
  EXPECT_EQ(backup.status, 2) << backup.err;
  EXPECT_NE(backup.err.find("failed sense 0/00/02 EOM"), std::string::npos) << backup.err;
  const std::string said = "ｴﾗｰ: テープが一杯になりました．\n";
  const size_t at = backup.err.find(said);
  ASSERT_NE(at, std::string::npos) << backup.err;
  const size_t pathStart = at + said.size();
  const std::string cut =
      backup.err.substr(pathStart, backup.err.find("以降のファイル", pathStart) - pathStart);
  EXPECT_NE(backup.err.find("情報: 終了しました．"), std::string::npos);

  // The set ends with its filemark, inside the cartridge.
  const std::string image = readFile(dir.path() / "small.tap");
  EXPECT_LE(image.size(), 1u << 20);
  EXPECT_EQ(image.substr(image.size() - 4), std::string(4, '\0'));

  // The catalogue lists every file; those before the cut one are on tape in full.
  const CliResult files = run({"files", "1", "--json"});
  ASSERT_EQ(files.status, 0) << files.err;
  std::vector<std::string> paths;
  const auto listing = nlohmann::json::parse(files.out);
  for (const auto& f : listing["files"]) paths.push_back(f["path"]);
  ASSERT_EQ(paths.size(), 12u);
  const auto cutAt = std::find(paths.begin(), paths.end(), cut);
  ASSERT_NE(cutAt, paths.end()) << cut;
  ASSERT_GT(cutAt - paths.begin(), 4) << "the early warning came far too soon";

  const fs::path out = dir.path() / "out";
  const CliResult restore = run({"restore", "1", "--to", out.string()});
  EXPECT_NE(restore.status, 0);  // the cut file is a read error
  EXPECT_NE(restore.err.find("ｴﾗｰ: テープ"), std::string::npos) << restore.err;
  for (auto p = paths.begin(); p != paths.end(); ++p) {
    const fs::path restored = out / fs::path(*p).relative_path();
    if (p < cutAt) {
      EXPECT_EQ(readFile(restored), readFile(*p)) << *p;
    } else {
      EXPECT_FALSE(fs::exists(restored)) << *p;
    }
  }
}

}  // namespace
}  // namespace korv::test
