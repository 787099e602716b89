#include "scsi/bus_scan.h"

#include <cstring>

#include "scsi/bytes_to_text.h"

namespace korv {

namespace {

constexpr uint8_t kInquiryLength = 55;  // one byte short of the answer buffer

// Text up to the first zero byte, at most 16 bytes, left-aligned in 16 columns ("%-16s").
std::string padded16(const std::string& text) {
  std::string result = text.substr(0, text.find('\0'));
  if (result.size() > 16) result.resize(16);
  result.resize(16, ' ');
  return result;
}

}  // namespace

const char* deviceTypeText(int type) {
  static constexpr const char* kTexts[] = {
      "ハードディスク", "テープ",         "プリンタ",
      "プロセッサ",     "CD-R",           "CD-ROM",
      "スキャナー",     "光磁気ディスク", "メディアチェンジャ(ｼﾞｭｰｸﾎﾞｯｸｽ)",
      "通信",
  };
  if (type >= 0 && type < static_cast<int>(std::size(kTexts))) return kTexts[type];
  return "未定義または無し";
}

BusScan::BusScan(ScsiTransport& transport, EventPump& pump, MessageService& messages)
    : transport_(transport), pump_(pump), messages_(messages) {}

bool BusScan::scan() {
  for (int id = 0; id < kScanTargets; ++id) {
    rows_[id] = ScanRow{};
    rows_[id].id = "  " + std::to_string(id);
  }
  adapterId_ = -1;

  const HostAdapterInfo adapter = transport_.hostAdapter();
  if (!adapter.ready) {
    messages_.show(BoxType::Plain, kAdapterUnusable);
    return false;
  }
  idText_ = kIdUnusable;

  for (int id = 0; id < kScanTargets; ++id) {
    inquire(id);
    // With several drives the last one found is preselected. A drive at id 0 is chosen
    // too, although the grid already stands on its row: on an iSCSI target or a library
    // every drive may be found there, and a drive nobody can choose is of no use.
    if (rows_[id].typeText == kTypeTextTape) {
      currentRow_ = id + 1;
      chooseCurrentRow();
    }
    if (rowObserver_) rowObserver_(id);
  }

  // The adapter's own row replaces whatever its id answered.
  adapterId_ = adapter.ownId;
  if (adapter.ownId < kScanTargets) {
    ScanRow& row = rows_[adapter.ownId];
    row.typeText = kTypeTextHostAdapter;
    row.vendor = padded16(adapter.managerId);
    row.product = padded16(adapter.identifier);
    row.revision.clear();
    row.deviceType = -1;
    row.hostAdapter = true;
    row.notAnswering = false;
    row.failure.clear();
    row.address.clear();
  }
  return true;
}

void BusScan::inquire(int id) {
  std::memset(answer_, ' ', sizeof answer_);
  std::memset(&request_, 0, sizeof request_);
  request_.SRB_Cmd = SC_EXEC_SCSI_CMD;
  request_.SRB_HaId = 0;
  request_.SRB_Flags = SRB_DIR_IN;
  request_.SRB_Target = static_cast<uint8_t>(id);
  request_.SRB_Lun = 0;
  request_.SRB_BufLen = kInquiryLength;
  request_.SRB_SenseLen = kSenseAllocation;
  request_.SRB_CDBLen = 6;
  const uint8_t cdb[6] = {0x12, 0, 0, 0, kInquiryLength, 0};
  std::memcpy(request_.CDBByte, cdb, sizeof cdb);

  const uint8_t answer = transport_.submit(request_, answer_, pump_);
  while (requestStatus(request_) == SS_PENDING) pump_.pumpUntilWoken();

  ScanRow& row = rows_[id];
  if (answer == SS_NO_DEVICE) {
    row.typeText = kTypeTextNotConnected;
    return;
  }
  row.address = transport_.deviceAddress(static_cast<uint8_t>(id));
  // A device that is there but sent no answer is not a disk: its row says so, with the
  // transport's reason.
  if (requestStatus(request_) != SS_COMP && request_.SRB_HaStat != HASTAT_OK) {
    row.typeText = kTypeTextNotAnswering;
    row.notAnswering = true;
    row.failure = transport_.failureReason(static_cast<uint8_t>(id));
    return;
  }
  // A device that answered with an error transfers nothing: spaces, type 0.
  row.deviceType = answer_[0] & 0x1F;
  row.typeText = deviceTypeText(row.deviceType);
  row.vendor = bytesToText(answer_, 8, 15);
  row.product = bytesToText(answer_, 16, 31);
  row.revision = bytesToText(answer_, 32, 55);  // byte 55 is never transferred: a space
}

int BusScan::firstNotAnswering() const {
  for (int id = 0; id < kScanTargets; ++id)
    if (rows_[id].notAnswering) return id;
  return -1;
}

std::string revisionWithAddress(const ScanRow& row) {
  std::string text = row.revision;
  // Vendor-specific bytes are often zeros, not spaces: both are room.
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
  if (row.address.empty()) return text;
  constexpr size_t kColumn = 24;  // bytes 32..55
  const size_t gap = text.empty() ? 0 : 1;
  if (text.size() + gap + row.address.size() > kColumn) return text;
  return text + std::string(gap, ' ') + row.address;
}

void BusScan::clickRow(int row) {
  if (row < 1 || row > kScanTargets) return;
  currentRow_ = row;
  chooseCurrentRow();
}

void BusScan::chooseCurrentRow() {
  const int id = currentRow_ - 1;
  if (rows_[id].typeText != kTypeTextTape) return;
  idText_ = " " + std::to_string(id);
  chosenId_ = id;
}

}  // namespace korv
