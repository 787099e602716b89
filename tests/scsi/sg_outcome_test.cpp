// The success decision of the sg transport on completions as SG_IO reports them, and the
// sense that --trace shows afterwards.

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "scsi/pass_through.h"
#include "scsi/sense.h"
#include "scsi/sg_transport.h"
#include "sys/byte_order.h"

namespace korv::test {
namespace {

constexpr uint16_t kDriverSense = 0x08;

// An 18-byte fixed-format sense: key with the tape bits, information, ASC/ASCQ.
std::vector<uint8_t> fixedSense(uint8_t keyAndBits, uint8_t asc, uint8_t ascq,
                                int32_t information = 0, bool informationValid = false) {
  std::vector<uint8_t> s(18, 0);
  s[0] = informationValid ? 0xF0 : 0x70;
  s[2] = keyAndBits;
  storeBE32(&s[3], static_cast<uint32_t>(information));
  s[7] = 10;
  s[12] = asc;
  s[13] = ascq;
  return s;
}

struct Finished {
  uint8_t status;
  AspiRequest request;
  SenseInfo sense;
};

Finished finish(SgCompletion completion, const std::vector<uint8_t>& sense = {}) {
  Finished f{};
  f.request.SRB_SenseLen = kSenseAllocation;
  // Stale bytes from a previous command must not survive.
  std::fill(std::begin(f.request.SenseArea), std::end(f.request.SenseArea), 0xAA);
  completion.sense = sense.empty() ? nullptr : sense.data();
  completion.senseLength = sense.size();
  f.status = finishSgRequest(f.request, completion);
  f.sense = decodeSense(f.request.SenseArea, kSenseAllocation);
  return f;
}

TEST(SgOutcome, GoodStatusWithoutErrorsIsSuccess) {
  const Finished f = finish({});
  EXPECT_EQ(f.status, SS_COMP);
  EXPECT_EQ(f.request.SRB_HaStat, HASTAT_OK);
  EXPECT_EQ(f.request.SRB_TargStat, STATUS_GOOD);
  EXPECT_FALSE(f.sense.valid);
}

TEST(SgOutcome, EveryCheckConditionFailsAndKeepsItsSense) {
  SgCompletion check;
  check.scsiStatus = STATUS_CHKCOND;
  check.driverStatus = kDriverSense;

  // READ over a filemark: NO SENSE, but a failure all the same.
  Finished f = finish(check, fixedSense(0x80, 0x00, 0x01, 268, true));
  EXPECT_EQ(f.status, SS_ERR);
  EXPECT_EQ(f.request.SRB_TargStat, STATUS_CHKCOND);
  EXPECT_EQ(f.request.SRB_HaStat, HASTAT_OK);
  EXPECT_TRUE(f.sense.filemark);
  EXPECT_EQ(f.sense.key, SENSE_NO_SENSE);
  EXPECT_EQ(f.sense.ascq, 0x01);

  // A longer block than asked for: ILI with a negative residue.
  f = finish(check, fixedSense(0x20, 0, 0, -168, true));
  EXPECT_EQ(f.status, SS_ERR);
  EXPECT_TRUE(f.sense.ili);
  EXPECT_TRUE(f.sense.informationValid);
  EXPECT_EQ(f.sense.information, -168);

  // The end of the recorded data.
  f = finish(check, fixedSense(0x40 | SENSE_BLANK_CHECK, 0x00, 0x05));
  EXPECT_EQ(f.status, SS_ERR);
  EXPECT_EQ(f.sense.key, SENSE_BLANK_CHECK);
  EXPECT_TRUE(f.sense.eom);
  EXPECT_EQ(describeSense(f.sense), "sense 8/00/05 EOM");

  // No cartridge.
  f = finish(check, fixedSense(SENSE_NOT_READY, 0x3A, 0x00));
  EXPECT_EQ(f.status, SS_ERR);
  EXPECT_EQ(f.sense.key, SENSE_NOT_READY);
  EXPECT_EQ(f.sense.asc, 0x3A);
}

TEST(SgOutcome, OtherStatusesFail) {
  SgCompletion busy;
  busy.scsiStatus = STATUS_BUSY;
  EXPECT_EQ(finish(busy).status, SS_ERR);
  SgCompletion conditionMet;
  conditionMet.scsiStatus = 0x04;
  EXPECT_EQ(finish(conditionMet).status, SS_ERR);
}

TEST(SgOutcome, TransportErrorsFailEvenWithGoodStatus) {
  SgCompletion gone;
  gone.hostStatus = 0x01;  // DID_NO_CONNECT
  Finished f = finish(gone);
  EXPECT_EQ(f.status, SS_ERR);
  EXPECT_EQ(f.request.SRB_HaStat, HASTAT_SEL_TO);

  SgCompletion hostError;
  hostError.hostStatus = 0x07;  // DID_ERROR
  EXPECT_EQ(finish(hostError).request.SRB_HaStat, HASTAT_BUS_FREE);

  SgCompletion driverError;
  driverError.driverStatus = 0x04;  // DRIVER_ERROR
  EXPECT_EQ(finish(driverError).status, SS_ERR);

  SgCompletion unplugged;
  unplugged.ioctlError = ENODEV;
  f = finish(unplugged, fixedSense(0x80, 0, 1));  // whatever the buffer held is not sense
  EXPECT_EQ(f.status, SS_ERR);
  EXPECT_EQ(f.request.SRB_HaStat, HASTAT_SEL_TO);
  EXPECT_FALSE(f.sense.valid);
}

TEST(SgOutcome, SenseFlagAloneDoesNotSpoilAGoodCommand) {
  SgCompletion good;
  good.driverStatus = kDriverSense;
  EXPECT_EQ(finish(good).status, SS_COMP);
}

TEST(SgOutcome, TimeoutsAreReportedAsSuch) {
  SgCompletion hostTimeout;
  hostTimeout.hostStatus = 0x03;  // DID_TIME_OUT
  Finished f = finish(hostTimeout);
  EXPECT_EQ(f.status, SS_ERR);
  EXPECT_EQ(f.request.SRB_HaStat, HASTAT_TIMEOUT);

  SgCompletion driverTimeout;
  driverTimeout.driverStatus = 0x06;  // DRIVER_TIMEOUT
  EXPECT_EQ(finish(driverTimeout).request.SRB_HaStat, HASTAT_TIMEOUT);
}

TEST(SgOutcome, SenseIsCutToTheAllocation) {
  SgCompletion check;
  check.scsiStatus = STATUS_CHKCOND;
  std::vector<uint8_t> longSense = fixedSense(0x03, 0x11, 0x00);
  longSense.resize(40, 0x55);
  const Finished f = finish(check, longSense);
  EXPECT_EQ(f.request.SenseArea[31], 0x55);
  EXPECT_EQ(f.request.SenseArea[32], 0x00);
  EXPECT_EQ(f.request.SenseArea[33], 0x00);
}

TEST(CommandTimeouts, FitWhatEachCommandMayTake) {
  for (uint8_t motion : {0x01, 0x11, 0x19, 0x1B})
    EXPECT_GE(commandTimeoutSeconds(motion), 3 * 3600);
  for (uint8_t transfer : {0x08, 0x0A, 0x10}) {
    EXPECT_GE(commandTimeoutSeconds(transfer), 60);
    EXPECT_LE(commandTimeoutSeconds(transfer), 3600);
  }
  for (uint8_t quick : {0x00, 0x12}) EXPECT_LE(commandTimeoutSeconds(quick), 30);
}

TEST(OwnId, SevenUnlessADeviceIsThere) {
  EXPECT_EQ(chooseOwnId({}), 7);
  EXPECT_EQ(chooseOwnId({0, 1, 4}), 7);
  EXPECT_EQ(chooseOwnId({6, 7}), 5);
  EXPECT_EQ(chooseOwnId({0, 1, 2, 3, 4, 5, 6, 7}), 8);  // every row is a device's
}

// What a message says when the device sent no answer; nothing when it did.
TEST(SgOutcome, FailureReasonNamesTheTransportsCode) {
  struct Case {
    SgCompletion completion;
    std::string reason;
  };
  const auto with = [](int error, uint16_t host, uint16_t driver, uint8_t scsi) {
    SgCompletion c;
    c.ioctlError = error;
    c.hostStatus = host;
    c.driverStatus = driver;
    c.scsiStatus = scsi;
    return c;
  };
  const Case cases[] = {
      {with(ENXIO, 0, 0, 0), "SG_IO: No such device or address"},
      {with(0, 0x0E, 0, 0), "host status DID_TRANSPORT_DISRUPTED (0x0E)"},
      {with(0, 0x01, 0, 0), "host status DID_NO_CONNECT (0x01)"},
      {with(0, 0x40, 0, 0), "host status unknown (0x40)"},
      {with(0, 0, 0x06, 0), "timed out"},
      {with(0, 0, kDriverSense, STATUS_CHKCOND), ""},  // the device answered
      {with(0, 0, 0, STATUS_GOOD), ""},
  };
  for (const Case& c : cases) EXPECT_EQ(describeSgFailure(c.completion), c.reason);
}

}  // namespace
}  // namespace korv::test
