#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <sstream>

#include "sys/byte_order.h"
#include "sys/datetime.h"
#include "tape/records.h"
#include "tape/volume_fixture.h"

namespace korv::test {
namespace {

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::stringstream in(text);
  for (std::string line; std::getline(in, line, '\r');) result.push_back(line);
  if (!text.empty() && text.back() == '\r') result.push_back("");
  return result;
}

using VolumeLabelTest = VolumeFixture;

TEST_F(VolumeLabelTest, FormatLeavesOneLabelBlockAndOneFilemark) {
  TapBuilder().volume("old").set("gone").writeTo(imagePath);
  messages.inputAnswers.push_back("テスト");
  const double before = nowDateTime();
  ASSERT_TRUE(sf->FormatVolume());
  const double after = nowDateTime();

  EXPECT_EQ(messages.inputCaptions, std::vector<std::string>{"媒体名の入力"});
  EXPECT_EQ(drive().position(), 0u);
  // The record layout of the label is checked where the terminal formats a tape.
  const auto image = readFileBytes(imagePath);
  ASSERT_EQ(image.size(), 4 + 520 + 4 + 4u);
  const std::span<const uint8_t> block(&image[4], 520);
  const double formatted = loadDouble(&block[512]);
  EXPECT_GE(formatted, before - 1.0 / 86400);
  EXPECT_LE(formatted, after + 1.0 / 86400);

  std::string tapeName;
  EXPECT_TRUE(sf->MountVolume(tapeName));
  EXPECT_EQ(tapeName, "\x83\x65\x83\x58\x83\x67");
  EXPECT_TRUE(messages.boxes.empty());
  EXPECT_EQ(sf->CountSets(), 0);
}

TEST_F(VolumeLabelTest, DefaultAndEmptyNames) {
  ASSERT_TRUE(sf->FormatVolume());  // the scripted box confirms what it is offered
  ASSERT_EQ(messages.inputInitials.size(), 1u);
  const std::string offered = messages.inputInitials[0];
  ASSERT_EQ(offered.rfind("SCSI-TAPE MEDIA ", 0), 0u);
  EXPECT_EQ(offered.size(), 16 + 19u);  // "yyyy/mm/dd hh:mm:ss"
  std::string tapeName;
  ASSERT_TRUE(sf->MountVolume(tapeName));
  EXPECT_EQ(tapeName, offered);
  // The default name and the stored time are the same moment.
  const double stored = loadDouble(&sf->LabelData[512]);
  std::tm shown{};
  ASSERT_TRUE(strptime(offered.substr(16).c_str(), "%Y/%m/%d %H:%M:%S", &shown));
  shown.tm_isdst = -1;
  const double offeredTime = toDateTime(std::mktime(&shown));
  EXPECT_GE(stored, offeredTime);
  EXPECT_LT(stored, offeredTime + 1.0 / 86400);

  messages.inputAnswers.push_back("");
  ASSERT_TRUE(sf->FormatVolume());
  ASSERT_TRUE(sf->MountVolume(tapeName));
  EXPECT_EQ(tapeName, "");
  EXPECT_EQ(sf->LabelData[256], 0);
}

TEST_F(VolumeLabelTest, FormatWritesNothingWhenTheNameCannotBeStored) {
  TapBuilder().volume("keep").set("kept").writeTo(imagePath);
  const auto original = readFileBytes(imagePath);

  std::string tooLong;
  for (int i = 0; i < 130; ++i) tooLong += "表";  // 260 bytes in CP932
  messages.inputAnswers = {std::nullopt, std::string("smile \xF0\x9F\x98\x80"), tooLong};
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(sf->FormatVolume()) << i;

  EXPECT_EQ(countCommands(0x01), 3);  // one rewind each
  EXPECT_EQ(countCommands(0x0A), 0);
  EXPECT_EQ(countCommands(0x10), 0);
  EXPECT_EQ(readFileBytes(imagePath), original);
  ASSERT_EQ(messages.boxes.size(), 2u);  // the two unstorable names say why
  EXPECT_EQ(messages.boxes[0].type, BoxType::Error);
}

struct RefusedLabel {
  const char* what;
  std::string identification;  // written as the label's first field
  std::string versionLine;     // line 4 of the message
};

TEST_F(VolumeLabelTest, LabelsOfAnotherFormatAreRefusedWithTheVersionMessage) {
  const std::vector<RefusedLabel> cases = {
      {"last character", "Quorvantelmix KORVESSIAN Format Ver2.0", "Format Ver2.0"},
      {"letter case", "Quorvantelmix KORVESSIAN format Ver2.1", "format Ver2.1"},
      {"trailing blank", "Quorvantelmix KORVESSIAN Format Ver2.1 ", "Format Ver2.1"},
      {"no zero byte", std::string(256, 'Q'), std::string(13, 'Q')},
      {"short", "Quorvantelmix KORVESSIAN", ""},
      {"26 characters", "Quorvantelmix KORVESSIAN F", "F"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    insert(TapBuilder().label(c.identification).filemark());
    messages.boxes.clear();
    messages.beeps.clear();

    std::string tapeName = "unchanged";
    EXPECT_FALSE(sf->MountVolume(tapeName));
    EXPECT_EQ(tapeName, "unchanged");
    EXPECT_EQ(messages.beeps, std::vector<unsigned>{0x30});
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].type, BoxType::Plain);
    const auto text = lines(messages.boxes[0].text);
    ASSERT_EQ(text.size(), 7u) << messages.boxes[0].text;
    EXPECT_EQ(text[0], "このテープは現在のシステムとバージョンが違う為，使用できません．");
    EXPECT_EQ(text[1], "");
    EXPECT_EQ(text[2], "テープバージョンは以下の通りです．");
    EXPECT_EQ(text[3], c.versionLine);
    EXPECT_EQ(text[4], "");
    EXPECT_EQ(text[5], "現在のシステムバージョンは以下の通りです．");
    EXPECT_EQ(text[6], "Format Ver2.1");
  }
}

TEST_F(VolumeLabelTest, BlankTapeAndLabelsOfAnotherSizeGiveAnEmptyVersionLine) {
  std::string labelText = "x";
  EXPECT_FALSE(sf->CheckVolume(labelText));  // blank cartridge: no image yet
  EXPECT_EQ(labelText, "");
  std::string tapeName;
  EXPECT_FALSE(sf->MountVolume(tapeName));
  ASSERT_EQ(messages.boxes.size(), 1u);
  EXPECT_EQ(lines(messages.boxes[0].text)[3], "");

  // A label block of another size: the exact-length read fails.
  TapBuilder tap;
  auto label = encodeVolumeLabel({kFormatId, "n", 0});
  tap.record(std::span<const uint8_t>(label).first(512)).filemark();
  tap.writeTo(imagePath);
  messages.boxes.clear();
  EXPECT_FALSE(sf->MountVolume(tapeName));
  ASSERT_EQ(messages.boxes.size(), 1u);
  EXPECT_EQ(lines(messages.boxes[0].text)[3], "");
}

TEST_F(VolumeLabelTest, UnboundComponentEmptiesTheNameAndSendsNothing) {
  TScsifile unbound(*tracer, pump, messages);
  std::string tapeName = "old";
  EXPECT_FALSE(unbound.MountVolume(tapeName));
  EXPECT_EQ(tapeName, "");
  std::string labelText = "old";
  EXPECT_FALSE(unbound.CheckVolume(labelText));
  EXPECT_EQ(labelText, "old");
  EXPECT_FALSE(unbound.FormatVolume());
  EXPECT_TRUE(trace.empty());
  EXPECT_TRUE(messages.boxes.empty());
  EXPECT_TRUE(messages.beeps.empty());
}

}  // namespace
}  // namespace korv::test
