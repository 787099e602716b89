// The iSCSI transport's success decision and sense decoding on completions recorded from
// tgtd's tape emulation (the data segment of a SCSI response: a 2-byte sense length, then
// the raw sense), and its behaviour when no target answers properly: it fails, it never
// hangs.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "scsi/blocking_pump.h"
#include "scsi/iscsi_transport.h"
#include "scsi/sense.h"

namespace korv::test {
namespace {

using Ending = IscsiCompletion::Ending;

// The response data segment of a check condition carrying `sense`.
std::vector<uint8_t> response(std::initializer_list<uint8_t> sense) {
  std::vector<uint8_t> data(2 + sense.size(), 0);
  data[1] = static_cast<uint8_t>(sense.size());
  std::copy(sense.begin(), sense.end(), data.begin() + 2);
  return data;
}

// Recorded from tgtd 1.0.85 (SSC LUN over a tgtimg tape image).
const std::vector<uint8_t> kReadOverFilemark =
    response({0xF0, 0, 0x80, 0, 0, 0, 0x64, 0x0A, 0, 0, 0, 0, 0x00, 0x01, 0, 0, 0, 0});
const std::vector<uint8_t> kReadShortOfLongerBlock =
    response({0xF0, 0, 0x20, 0xFF, 0xFF, 0xFF, 0x58, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
const std::vector<uint8_t> kReadAtEndOfData =
    response({0x70, 0, 0x48, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x00, 0x00, 0, 0, 0, 0});
const std::vector<uint8_t> kEraseRefused =
    response({0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x20, 0x00, 0, 0, 0, 0});
const std::vector<uint8_t> kFirstCommandAfterLogin =
    response({0x70, 0, 0x06, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x29, 0x00, 0, 0, 0, 0});
// A drive without a cartridge (not something tgtd says; the layout is the same).
const std::vector<uint8_t> kNoMedium =
    response({0x70, 0, 0x02, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x3A, 0x00, 0, 0, 0, 0});

struct Finished {
  uint8_t status;
  AspiRequest request;
  SenseInfo sense;
};

Finished finish(IscsiCompletion completion) {
  Finished f{};
  f.request.SRB_SenseLen = kSenseAllocation;
  std::fill(std::begin(f.request.SenseArea), std::end(f.request.SenseArea), 0xAA);
  f.status = finishIscsiRequest(f.request, completion);
  f.sense = decodeSense(f.request.SenseArea, kSenseAllocation);
  return f;
}

Finished checkCondition(const std::vector<uint8_t>& data) {
  return finish({Ending::Answered, STATUS_CHKCOND, data.data(), data.size()});
}

TEST(IscsiOutcome, GoodIsSuccess) {
  const Finished f = finish({Ending::Answered, STATUS_GOOD, nullptr, 0});
  EXPECT_EQ(f.status, SS_COMP);
  EXPECT_FALSE(f.sense.valid);
}

TEST(IscsiOutcome, TapeBitsSurviveFromTheRawSense) {
  Finished f = checkCondition(kReadOverFilemark);
  EXPECT_EQ(f.status, SS_ERR);
  EXPECT_EQ(f.request.SRB_TargStat, STATUS_CHKCOND);
  EXPECT_EQ(describeSense(f.sense), "sense 0/00/01 FM info 100");

  f = checkCondition(kReadShortOfLongerBlock);
  EXPECT_EQ(f.status, SS_ERR);
  EXPECT_TRUE(f.sense.ili);
  EXPECT_EQ(f.sense.information, -168);

  f = checkCondition(kReadAtEndOfData);
  EXPECT_EQ(f.status, SS_ERR);
  EXPECT_EQ(describeSense(f.sense), "sense 8/00/00 EOM");

  f = checkCondition(kNoMedium);
  EXPECT_EQ(describeSense(f.sense), "sense 2/3A/00");
  EXPECT_EQ(describeSense(checkCondition(kEraseRefused).sense), "sense 5/20/00");
  EXPECT_EQ(describeSense(checkCondition(kFirstCommandAfterLogin).sense), "sense 6/29/00");
}

TEST(IscsiOutcome, SenseLengthIsTrustedOnlyAsFarAsTheData) {
  // The declared length runs past the segment: only what arrived counts.
  std::vector<uint8_t> cut = kReadOverFilemark;
  cut[1] = 200;
  const SenseBytes bytes = senseOfResponse(cut.data(), cut.size());
  EXPECT_EQ(bytes.length, 18u);
  EXPECT_EQ(senseOfResponse(cut.data(), 1).length, 0u);
  EXPECT_EQ(senseOfResponse(nullptr, 0).length, 0u);

  // A check condition without any sense fails with an empty sense area.
  const Finished f = finish({Ending::Answered, STATUS_CHKCOND, nullptr, 0});
  EXPECT_EQ(f.status, SS_ERR);
  EXPECT_FALSE(f.sense.valid);
}

TEST(IscsiOutcome, TransportFailuresAndTimeouts) {
  Finished f = finish({Ending::ConnectionLost, 0, nullptr, 0});
  EXPECT_EQ(f.status, SS_ERR);
  EXPECT_EQ(f.request.SRB_HaStat, HASTAT_BUS_FREE);

  f = finish({Ending::NotConnected, 0, nullptr, 0});
  EXPECT_EQ(f.status, SS_ERR);
  EXPECT_EQ(f.request.SRB_HaStat, HASTAT_SEL_TO);

  f = finish({Ending::TimedOut, 0, nullptr, 0});
  EXPECT_EQ(f.status, SS_ERR);
  EXPECT_EQ(f.request.SRB_HaStat, HASTAT_TIMEOUT);

  // libiscsi's own error code (a protocol failure) and a busy target.
  EXPECT_EQ(finish({Ending::Answered, 0x0F000001, nullptr, 0}).request.SRB_HaStat, HASTAT_BUS_FREE);
  f = finish({Ending::Answered, STATUS_BUSY, nullptr, 0});
  EXPECT_EQ(f.status, SS_ERR);
  EXPECT_EQ(f.request.SRB_TargStat, STATUS_BUSY);
}

TEST(IscsiUrl, HostOfThePortal) {
  EXPECT_EQ(iscsiHostOf("iscsi://127.0.0.1:3260/iqn.x:tape"), "127.0.0.1");
  EXPECT_EQ(iscsiHostOf("iscsi://user%secret@vtl.example/iqn.x"), "vtl.example");
  EXPECT_EQ(iscsiHostOf("iscsi://[::1]:3260/iqn.x"), "[::1]");
}

// A socket on 127.0.0.1 that accepts connections (the kernel does it) but never speaks.
class SilentPortal {
 public:
  SilentPortal() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(fd_, 4);
    socklen_t length = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~SilentPortal() { close(); }
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  std::string url() const { return "iscsi://127.0.0.1:" + std::to_string(port_) + "/iqn.x:t"; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// Runs one TEST UNIT READY to LUN 1 and returns its request after completion.
AspiRequest testUnitReady(ScsiTransport& transport) {
  BlockingPump pump;
  AspiRequest request{};
  request.SRB_Target = 1;
  request.SRB_SenseLen = kSenseAllocation;
  if (transport.submit(request, nullptr, pump) == SS_PENDING) {
    while (requestStatus(request) == SS_PENDING) pump.pumpUntilWoken();
  }
  return request;
}

TEST(IscsiTransportFailures, NobodyListeningFailsAtOnce) {
  SilentPortal portal;
  const std::string url = portal.url();
  portal.close();  // the port is now refused
  IscsiTransport transport(url, -1, std::chrono::seconds(5));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(transport.hostAdapter().ready);
  AspiRequest request = testUnitReady(transport);
  EXPECT_EQ(requestStatus(request), SS_ERR);
  EXPECT_EQ(request.SRB_HaStat, HASTAT_SEL_TO);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_NE(transport.lastError(), "");
}

TEST(IscsiTransportFailures, ASilentTargetFailsAtTheConnectDeadline) {
  SilentPortal portal;
  IscsiTransport transport(portal.url(), 1, std::chrono::seconds(1));
  const auto start = std::chrono::steady_clock::now();
  AspiRequest request = testUnitReady(transport);
  EXPECT_EQ(requestStatus(request), SS_ERR);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(900));
  EXPECT_LT(took, std::chrono::seconds(4));
  EXPECT_NE(transport.lastError().find("no answer"), std::string::npos);
}

TEST(IscsiTransportFailures, OnlyTheNamedLunAnswers) {
  SilentPortal portal;
  IscsiTransport transport(portal.url(), 1, std::chrono::seconds(1));
  BlockingPump pump;
  AspiRequest request{};
  request.SRB_Target = 0;
  EXPECT_EQ(transport.submit(request, nullptr, pump), SS_NO_DEVICE);
  EXPECT_EQ(requestStatus(request), SS_NO_DEVICE);
}

}  // namespace
}  // namespace korv::test
