// Telling a write at the end of the medium and a device that sent no answer from every
// other failure, as drives report them.

#include "scsi/command_failure.h"

#include <gtest/gtest.h>

#include "scsi/pass_through.h"
#include "scsi/sense.h"

namespace korv {
namespace {

struct Finished {
  uint8_t status = SS_ERR;
  uint8_t haStat = HASTAT_OK;
  uint8_t targStat = STATUS_CHKCOND;
  SenseInfo sense;
};

AspiRequest requestOf(const Finished& f) {
  AspiRequest r{};
  r.SRB_SenseLen = kSenseAllocation;
  uint8_t sense[18];
  if (f.sense.valid) encodeSense(sense, f.sense);
  writeBack(r, {f.status, f.haStat, f.targStat}, f.sense.valid ? sense : nullptr, sizeof sense);
  setRequestStatus(r, f.status);
  return r;
}

// A check condition with `sense`, one the device did not answer, one that went well.
Finished checked(const SenseInfo& s) {
  Finished f;
  f.sense = s;
  return f;
}
Finished unanswered(uint8_t haStat) {
  Finished f;
  f.haStat = haStat;
  f.targStat = STATUS_GOOD;
  return f;
}
Finished finished(uint8_t status, uint8_t targStat) {
  Finished f;
  f.status = status;
  f.targStat = targStat;
  return f;
}

SenseInfo sense(uint8_t key, bool eom, uint8_t ascq = 0x02, int32_t residue = 0,
                bool hasResidue = true) {
  SenseInfo s;
  s.valid = true;
  s.key = key;
  s.eom = eom;
  s.ascq = ascq;
  s.informationValid = hasResidue;
  s.information = residue;
  return s;
}

TEST(CommandFailure, MediumEndFromTheSense) {
  struct Case {
    const char* name;
    Finished finished;
    MediumEnd end;
  };
  const Case cases[] = {
      {"good", finished(SS_COMP, STATUS_GOOD), MediumEnd::None},
      {"early warning", checked(sense(SENSE_NO_SENSE, true)), MediumEnd::EarlyWarning},
      {"early warning, no residue sent", checked(sense(SENSE_NO_SENSE, true, 0x00, 0, false)),
       MediumEnd::EarlyWarning},
      {"early warning with part of the block left", checked(sense(SENSE_NO_SENSE, true, 2, 100)),
       MediumEnd::EndOfMedium},
      {"volume overflow", checked(sense(SENSE_VOLUME_OVERFLOW, true, 2, 65536)),
       MediumEnd::EndOfMedium},
      {"medium error at the end", checked(sense(SENSE_MEDIUM_ERROR, true)), MediumEnd::EndOfMedium},
      {"medium error", checked(sense(SENSE_MEDIUM_ERROR, false, 0x00)), MediumEnd::None},
      {"no sense without EOM", checked(sense(SENSE_NO_SENSE, false, 0x00)), MediumEnd::None},
      {"no sense data", Finished{}, MediumEnd::None},
      {"no answer", unanswered(HASTAT_TIMEOUT), MediumEnd::None},
  };
  for (const Case& c : cases) {
    AspiRequest r = requestOf(c.finished);
    EXPECT_EQ(mediumEndOf(r), c.end) << c.name;
  }
}

TEST(CommandFailure, OnlyATransportFailureIsNoAnswer) {
  struct Case {
    const char* name;
    Finished finished;
    bool noAnswer;
  };
  const Case cases[] = {
      {"timeout", unanswered(HASTAT_TIMEOUT), true},
      {"lost connection", unanswered(HASTAT_BUS_FREE), true},
      {"selection timeout", unanswered(HASTAT_SEL_TO), true},
      {"check condition", checked(sense(SENSE_NOT_READY, false, 0)), false},
      {"busy", finished(SS_ERR, STATUS_BUSY), false},
      {"good", finished(SS_COMP, STATUS_GOOD), false},
      {"no device at the id", finished(SS_NO_DEVICE, STATUS_GOOD), false},
  };
  for (const Case& c : cases) {
    AspiRequest r = requestOf(c.finished);
    EXPECT_EQ(deviceDidNotAnswer(r), c.noAnswer) << c.name;
  }
}

}  // namespace
}  // namespace korv
