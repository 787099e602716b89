#include "scsi/sense.h"

#include <gtest/gtest.h>

#include <vector>

namespace korv {
namespace {

TEST(Sense, FixedFormatRoundTripKeepsTheStreamBits) {
  SenseInfo in;
  in.valid = true;
  in.key = SENSE_NO_SENSE;
  in.filemark = true;
  in.ili = true;
  in.eom = true;
  in.asc = 0x00;
  in.ascq = 0x01;
  in.informationValid = true;
  in.information = -65531;
  uint8_t bytes[18];
  encodeSense(bytes, in);
  EXPECT_EQ(bytes[0], 0xF0);
  EXPECT_EQ(bytes[2], 0xE0);
  SenseInfo out = decodeSense(bytes, sizeof bytes);
  EXPECT_EQ(describeSense(out), "sense 0/00/01 FM EOM ILI info -65531");
  EXPECT_EQ(describeSense(in), describeSense(out));
}

TEST(Sense, DecodingNeverReadsWhatWasNotSent) {
  uint8_t bytes[18];
  SenseInfo in;
  in.valid = true;
  in.key = SENSE_MEDIUM_ERROR;
  in.asc = 0x11;
  encodeSense(bytes, in);
  EXPECT_EQ(describeSense(decodeSense(bytes, 3)), "sense 3/00/00");
  bytes[7] = 2;  // the additional length ends before the ASC
  EXPECT_EQ(decodeSense(bytes, sizeof bytes).asc, 0);
  EXPECT_FALSE(decodeSense(bytes, 0).valid);
  EXPECT_FALSE(decodeSense(nullptr, 18).valid);
  uint8_t garbage[18] = {0x12, 0, 0x03};
  EXPECT_FALSE(decodeSense(garbage, sizeof garbage).valid);
  EXPECT_EQ(describeSense(SenseInfo{}), "no sense");
}

TEST(Sense, DescriptorFormatIsUnderstoodToo) {
  std::vector<uint8_t> bytes = {0x72, 0x08, 0x00, 0x05, 0, 0, 0, 16,
                                // information descriptor: 12 bytes, valid, value 7
                                0x00, 0x0A, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 7,
                                // stream commands descriptor: EOM
                                0x04, 0x02, 0x00, 0x40};
  SenseInfo s = decodeSense(bytes.data(), bytes.size());
  EXPECT_EQ(describeSense(s), "sense 8/00/05 EOM info 7");
  bytes[7] = 200;  // claims more than was sent
  EXPECT_EQ(decodeSense(bytes.data(), bytes.size()).key, SENSE_BLANK_CHECK);
}

}  // namespace
}  // namespace korv
