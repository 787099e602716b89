// format, sets, files, delete-last and delete-from, run as the built program on images.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>

#include "cli/cli_run.h"
#include "sys/byte_order.h"
#include "sys/cp932.h"
#include "sys/datetime.h"
#include "tape/volume_images.h"

namespace korv::test {
namespace {

std::string cp932(const std::string& utf8) {
  return utf8ToCp932(utf8).value();
}

class VolumeCliTest : public ::testing::Test {
 protected:
  std::string image() const { return (dir.path() / "tape.tap").string(); }

  CliResult run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--tape", image(), "--config", (dir.path() / "k.ini").string()});
    return runCli(dir, args);
  }

  nlohmann::json json(std::vector<std::string> args) {
    const auto result = run(std::move(args));
    EXPECT_EQ(result.status, 0) << result.err;
    return nlohmann::json::parse(result.out, nullptr, false);
  }

  std::vector<std::string> setNames() {
    std::vector<std::string> names;
    const auto listed = json({"sets", "--json"});
    for (const auto& set : listed["sets"]) names.push_back(set["name"]);
    return names;
  }

  TempDir dir;
};

TEST_F(VolumeCliTest, FormatWritesOneLabelAndOneFilemark) {
  const auto result = run({"--yes", "format", "--name", "テスト"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.err.find("正常終了．"), std::string::npos);

  const auto bytes = readFileBytes(image());
  ASSERT_EQ(bytes.size(), 4 + 520 + 4 + 4u);
  EXPECT_EQ(loadLE32(&bytes[0]), 0x208u);
  EXPECT_EQ(loadLE32(&bytes[524]), 0x208u);
  EXPECT_EQ(loadLE32(&bytes[528]), 0u);
  // The identification string and the name, each with its zero byte and zeros after it,
  // and the time of formatting as local days since 1899-12-30.
  std::vector<uint8_t> expected(512, 0);
  const std::string id = kFormatId, name = cp932("テスト");
  std::copy(id.begin(), id.end(), expected.begin());
  std::copy(name.begin(), name.end(), expected.begin() + 256);
  EXPECT_EQ(std::vector<uint8_t>(&bytes[4], &bytes[4 + 512]), expected);
  EXPECT_NEAR(loadDouble(&bytes[4 + 512]), nowDateTime(), 60.0 / 86400);

  const auto sets = json({"sets", "--json"});
  EXPECT_EQ(sets["tape"], "テスト");
  EXPECT_TRUE(sets["sets"].empty());
}

TEST_F(VolumeCliTest, FormatWithoutANameUsesTheDefault) {
  ASSERT_EQ(run({"--yes", "format"}).status, 0);
  const std::string tape = json({"sets", "--json"})["tape"];
  EXPECT_EQ(tape.rfind("SCSI-TAPE MEDIA 20", 0), 0u) << tape;
}

TEST_F(VolumeCliTest, FormatRefusesANameWithoutCp932Form) {
  TapBuilder().volume("keep").writeTo(image());
  const auto result = run({"--yes", "format", "--name", "\xF0\x9F\x98\x80"});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("フォーマットエラーが発生したか，又は中断されました。"),
            std::string::npos);
  EXPECT_EQ(json({"sets", "--json"})["tape"], "keep");
}

// A tape as the Windows program wrote it: drive-letter paths whose kanji have 0x5C as
// trail byte, a file whose data was skipped, and a last set without its closing filemark.
TEST_F(VolumeCliTest, ReadsTapesWrittenOnWindows) {
  const std::vector<sf_file2> first = {
      makeEntry(cp932("C:\\フォルダ\\表.txt"), 5, 0x5B875000, 0x21),
      makeEntry(cp932("C:\\フォルダ\\ソフト.doc"), 70000),
  };
  const std::vector<sf_file2> second = {makeEntry(cp932("D:\\予定.txt"), 3)};
  ASSERT_EQ(first[0].name.substr(12, 2), "\x95\x5C");
  TapBuilder tap;
  tap.volume(cp932("ウィンドウズ"));
  tap.catalogue(cp932("月曜日"), first).data(first, {false, true});
  tap.catalogue(cp932("火曜日"), second).data(second, {}, false);
  tap.writeTo(image());

  const auto sets = json({"sets", "--json"});
  EXPECT_EQ(sets, nlohmann::json::parse(R"({"tape":"ウィンドウズ","sets":[
      {"number":1,"name":"月曜日"},{"number":2,"name":"火曜日"}]})"));

  const auto files = json({"files", "1", "--json"});
  EXPECT_EQ(files, nlohmann::json::parse(R"({"set":1,"name":"月曜日","files":[
      {"index":1,"path":"C:\\フォルダ\\表.txt","size":5,"time":"2025-12-07T10:00:00","attributes":33,"too_large":false},
      {"index":2,"path":"C:\\フォルダ\\ソフト.doc","size":70000,"time":"2025-12-07T10:00:00","attributes":32,"too_large":false}]})"));

  const auto open = json({"files", "2", "--json"});
  ASSERT_EQ(open["files"].size(), 1u);
  EXPECT_EQ(open["files"][0]["path"], "D:\\予定.txt");

  const auto text = run({"files", "1"});
  EXPECT_EQ(text.out,
            "     1             5 2025-12-07 10:00:00 C:\\フォルダ\\表.txt\n"
            "     2         70000 2025-12-07 10:00:00 C:\\フォルダ\\ソフト.doc\n");
}

// Names come from the tape: a control byte in one must neither reach the terminal (an
// escape sequence would act on it) nor break the one line per set or file.
TEST_F(VolumeCliTest, ControlBytesInTapeNamesAreNotPrintedAsTheyStand) {
  const std::vector<sf_file2> entries = {makeEntry("/a\x1b]0;title\x07\nb.txt", 3)};
  TapBuilder tap;
  tap.volume("tape\x1b[2J");
  tap.catalogue("set\r\nname", entries).data(entries, {});
  tap.writeTo(image());

  for (const auto& args : {std::vector<std::string>{"sets"}, {"files", "1"}}) {
    const auto result = run(args);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out.find_first_of("\x1b\x07\r"), std::string::npos) << result.out;
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), args.size() == 1 ? 2 : 1)
        << result.out;
  }
  EXPECT_EQ(json({"files", "1", "--json"})["files"][0]["path"], "/a\x1b]0;title\x07\nb.txt");
}

TEST_F(VolumeCliTest, DeleteFromChecksTheNumberBeforeTheTape) {
  threeSets().writeTo(image());
  const auto before = readFileBytes(image());

  auto result = run({"--trace", "--yes", "delete-from", "abc"});
  EXPECT_EQ(result.status, 64);
  EXPECT_NE(result.err.find("'abc' は整数ではありません"), std::string::npos) << result.err;
  EXPECT_TRUE(result.cdbs().empty());

  result = run({"--trace", "--yes", "delete-from", "0"});
  EXPECT_EQ(result.status, 64);
  EXPECT_NE(result.err.find("バックアップセットの番号は1以上です"), std::string::npos)
      << result.err;
  EXPECT_TRUE(result.cdbs().empty()) << result.err;
  EXPECT_EQ(readFileBytes(image()), before);

  result = run({"--yes", "delete-from", "2"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.err.find("正常終了．"), std::string::npos);
  EXPECT_EQ(setNames(), std::vector<std::string>{"one"});
}

TEST_F(VolumeCliTest, DeleteLast) {
  threeSets().writeTo(image());
  auto result = run({"--yes", "delete-last"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(setNames(), (std::vector<std::string>{"one", "two"}));
}

TEST_F(VolumeCliTest, DamagedOrForeignVolumesFailWithTheirMessages) {
  TapBuilder damaged;
  damaged.volume().catalogue("s", {makeEntry("/a", 1)}, true, 3).data({makeEntry("/a", 1)});
  damaged.writeTo(image());
  auto result = run({"files", "1", "--json"});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("マウントできません"), std::string::npos) << result.err;
  EXPECT_TRUE(result.out.empty());

  TapBuilder().label("Quorvantelmix KORVESSIAN Format Ver2.0").filemark().writeTo(image());
  result = run({"sets"});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("Format Ver2.0\n"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("バックアップセット名は取得できませんでした"), std::string::npos);

  EXPECT_EQ(run({"files", "0"}).status, 64);  // set 0 would be an append
}

}  // namespace
}  // namespace korv::test
