// The command layer of TScsifile: one request block, reused by every command, filled
// afresh each time and handed to the transport; the wait hands control to the face's
// event pump until the transport marks the block complete.

#include "tape/sfile.h"

#include <cstring>

#include "scsi/bytes_to_text.h"
#include "scsi/tape_commands.h"
#include "sys/byte_order.h"

namespace korv {

namespace {

constexpr int kInquiryTransfer = 36;
constexpr uint8_t kSequentialAccess = 0x01;

// The SCSI space code for one of the TapeSpace codes; -1 for an unknown code.
int scsiSpaceCode(int32_t code) {
  switch (code) {
    case SpaceEndOfData:
      return kScsiSpaceEndOfData;
    case SpaceFilemarks:
      return kScsiSpaceFilemarks;
    case SpaceSetmarks:
      return kScsiSpaceSetmarks;
    case SpaceBlocks:
      return kScsiSpaceBlocks;
    default:
      return -1;
  }
}

}  // namespace

TScsifile::TScsifile(ScsiTransport& transport, EventPump& pump, MessageService& messages)
    : transport_(transport), pump_(pump), messages_(messages) {}

TScsifile::~TScsifile() {
  Catalogue.clear();
}

void TScsifile::waitForCompletion() {
  // The transport stores the final status from its own thread and then wakes the pump;
  // the pump may return early, so the status byte is read again each round.
  while (requestStatus(AspiRequest) == SS_PENDING) pump_.pumpUntilWoken();
}

bool TScsifile::execute(const uint8_t (&cdb)[6], Direction direction, uint8_t* data,
                        int32_t length) {
  if (!Opened) return false;
  if (Busy) return false;
  Busy = true;

  std::memset(&AspiRequest, 0, sizeof AspiRequest);
  AspiRequest.SRB_Cmd = SC_EXEC_SCSI_CMD;
  AspiRequest.SRB_HaId = 0;
  AspiRequest.SRB_Flags = direction == Direction::In    ? SRB_DIR_IN
                          : direction == Direction::Out ? SRB_DIR_OUT
                                                        : 0;
  AspiRequest.SRB_Target = static_cast<uint8_t>(TargetId & 0xFF);
  AspiRequest.SRB_Lun = 0;
  AspiRequest.SRB_BufLen = direction == Direction::None ? 0 : static_cast<uint32_t>(length);
  AspiRequest.SRB_SenseLen = kSenseAllocation;
  AspiRequest.SRB_CDBLen = 6;
  std::memcpy(AspiRequest.CDBByte, cdb, sizeof cdb);

  transport_.submit(AspiRequest, direction == Direction::None ? nullptr : data, pump_);
  waitForCompletion();
  const bool result = requestStatus(AspiRequest) == SS_COMP;
  Busy = false;
  return result;
}

bool TScsifile::TapeTestUnitReady() {
  const uint8_t cdb[6] = {kOpTestUnitReady, 0, 0, 0, 0, 0};
  return execute(cdb, Direction::None, nullptr, 0);
}

bool TScsifile::TapeRewind() {
  const uint8_t cdb[6] = {kOpRewind, static_cast<uint8_t>(RewindImmediate ? 1 : 0), 0, 0, 0, 0};
  return execute(cdb, Direction::None, nullptr, 0);
}

bool TScsifile::TapeErase() {
  // Long erase (to the end of the tape) with Immed: 03.
  const uint8_t cdb[6] = {kOpErase, 0x03, 0, 0, 0, 0};
  return execute(cdb, Direction::None, nullptr, 0);
}

bool TScsifile::TapeWriteFilemarks(int32_t count) {
  // A count the command cannot carry would write some other number of filemarks.
  if (count < 0 || count > kMaxLength24) return false;
  uint8_t cdb[6] = {kOpWriteFilemarks, 0, 0, 0, 0, 0};
  StoreBE24(cdb, 2, count);
  return execute(cdb, Direction::None, nullptr, 0);
}

bool TScsifile::TapeSpace(int32_t count, int32_t code) {
  const int spaceCode = scsiSpaceCode(code);
  // Refused before the block is touched: a command in flight keeps its block and its Busy.
  if (spaceCode < 0) return false;
  if (count < kMinCount24 || count > kMaxCount24) return false;
  uint8_t cdb[6] = {kOpSpace, static_cast<uint8_t>(spaceCode), 0, 0, 0, 0};
  StoreBE24(cdb, 2, count);
  return execute(cdb, Direction::None, nullptr, 0);
}

bool TScsifile::TapeRead(uint8_t* buffer, int32_t length) {
  // A length outside 24 bits, or a buffer missing, would let the drive write where the
  // caller never meant it to.
  if (length < 0 || length > kMaxLength24) return false;
  if (buffer == nullptr && length > 0) return false;
  uint8_t cdb[6] = {kOpRead, 0, 0, 0, 0, 0};
  StoreBE24(cdb, 2, length);
  return execute(cdb, Direction::In, buffer, length);
}

bool TScsifile::TapeWrite(const uint8_t* buffer, int32_t length) {
  if (length < 0 || length > kMaxLength24) return false;
  if (buffer == nullptr && length > 0) return false;
  uint8_t cdb[6] = {kOpWrite, 0, 0, 0, 0, 0};
  StoreBE24(cdb, 2, length);
  // The transport only reads an outgoing buffer; the one submit() signature serves both.
  return execute(cdb, Direction::Out, const_cast<uint8_t*>(buffer), length);
}

bool TScsifile::TapeUnload() {
  const uint8_t cdb[6] = {kOpLoadUnload, 0, 0, 0, 0, 0};
  return execute(cdb, Direction::None, nullptr, 0);
}

bool TScsifile::TapeInquiry(uint8_t id) {
  if (Busy) return false;
  Busy = true;

  std::memset(InquiryData, ' ', sizeof InquiryData);
  std::memset(&AspiRequest, 0, sizeof AspiRequest);
  AspiRequest.SRB_Cmd = SC_EXEC_SCSI_CMD;
  AspiRequest.SRB_HaId = 0;
  AspiRequest.SRB_Flags = SRB_DIR_IN;
  AspiRequest.SRB_Target = id;
  AspiRequest.SRB_Lun = 0;
  AspiRequest.SRB_BufLen = kInquiryTransfer;
  AspiRequest.SRB_SenseLen = kSenseAllocation;
  AspiRequest.SRB_CDBLen = 6;
  const uint8_t cdb[6] = {kOpInquiry, 0, 0, 0, kInquiryTransfer, 0};
  std::memcpy(AspiRequest.CDBByte, cdb, sizeof cdb);

  const uint8_t answer = transport_.submit(AspiRequest, InquiryData, pump_);
  waitForCompletion();
  // The completion status is deliberately not looked at: an INQUIRY that transferred
  // nothing leaves a space in byte 0, whose device type is 0, not a tape.
  const bool result = answer != SS_NO_DEVICE && (InquiryData[0] & 0x1F) == kSequentialAccess;
  Busy = false;
  return result;
}

bool TScsifile::OpenDevice(int32_t id, bool rewindImmediate, bool useEod) {
  // Only the low byte of an id reaches the bus; an id that does not fit would silently
  // address another target.
  if (id < 0 || id > 0xFF) return false;
  if (!TapeInquiry(static_cast<uint8_t>(id))) return false;

  TargetId = id;
  Opened = true;
  SetOpened = false;
  Catalogue.clear();
  UseEod = useEod;
  FormatId = kFormatId;
  RewindImmediate = rewindImmediate;

  transport_.bind(static_cast<uint8_t>(id));
  // The first TEST UNIT READY after a cartridge change reports the change itself.
  TapeTestUnitReady();
  while (!TapeTestUnitReady()) {
    if (!messages_.askYesNoError("媒体の準備が出来ていません．\r再試行しますか？")) return false;
  }
  return true;
}

void TScsifile::StoreBE24(uint8_t* commandBytes, int position, int32_t value) {
  storeBE24(commandBytes + position, static_cast<uint32_t>(value));
}

std::string TScsifile::BytesToText(const uint8_t* data, int32_t from, int32_t to) {
  return bytesToText(data, from, to);
}

}  // namespace korv
