#pragma once
// The scan behind the SCSI ID dialog: an INQUIRY to every target id 0..7 of the bus, one
// row per id with the device type and the answer's vendor, product and revision texts,
// the host adapter's own row, and the choice of the tape drive to use. The desktop
// dialog shows these rows in its grid; the terminal program prints them.

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "scsi/aspi_request.h"
#include "scsi/transport.h"
#include "sys/messages.h"

namespace korv {

inline constexpr int kScanTargets = 8;

inline constexpr const char* kTypeTextTape = "テープ";
inline constexpr const char* kTypeTextNotConnected = "未接続";
inline constexpr const char* kTypeTextHostAdapter = "ＳＣＳＩホストアダプタ";
// A device that is there but whose INQUIRY got no answer (a lost connection, a timeout).
inline constexpr const char* kTypeTextNotAnswering = "応答なし";
inline constexpr const char* kDriveNotAnswering = "テープドライブが応答しません．";
inline constexpr const char* kIdUnusable = "使用不可";
inline constexpr const char* kAdapterUnusable = "ASPIが使用できません．";

// Grid column headers, columns 0..4.
inline constexpr std::array<const char*, 5> kScanHeaders = {"SCSI-ID", "デバイスタイプ", "ベンダID",
                                                            "プロダクトID", "版数・ベンダ固有"};

// The text of a peripheral device type (the low five bits of INQUIRY byte 0).
const char* deviceTypeText(int type);

// One grid row. The type text is UTF-8; vendor, product and revision are the answer's
// bytes as the device sent them (CP932 at most), the faces decode them for display.
struct ScanRow {
  std::string id;        // column 0: two spaces and the id
  std::string typeText;  // column 1
  std::string vendor;    // column 2: bytes 8..15, or the host adapter's manager id
  std::string product;   // column 3: bytes 16..31, or the host adapter's identifier
  std::string revision;  // column 4: bytes 32..55, empty on the host adapter's row
  int deviceType = -1;   // -1 when nothing answered, and on the host adapter's row
  bool hostAdapter = false;
  bool notAnswering = false;  // the transport failed: no answer came back
  std::string failure;        // then the transport's reason, in words
  std::string address;        // where the device sits ("2:0:0:1"), empty when the bus has none
};

// Column 4 as shown: the revision text, and behind it the device's address when the
// 24 columns have room for both.
std::string revisionWithAddress(const ScanRow& row);

class BusScan {
 public:
  // The messages service shows the one message of the scan (adapter not usable).
  BusScan(ScsiTransport& transport, EventPump& pump, MessageService& messages);

  // Activation: refills every row. False, after the message, when the adapter is not
  // usable; the rows then hold only their ids.
  bool scan();

  // Called during scan() after each id's row is filled (and chosen, when it is the
  // preselected tape row), so a face can show the rows as they come in.
  void setRowObserver(std::function<void(int id)> observer) { rowObserver_ = std::move(observer); }

  // A click on grid row `row` (1..8, row r shows id r - 1): it becomes the current row,
  // and when it is a tape row its id becomes the chosen one.
  void clickRow(int row);

  const std::array<ScanRow, kScanTargets>& rows() const { return rows_; }  // by target id
  // The first row whose device did not answer; -1 when every device answered.
  int firstNotAnswering() const;
  int currentRow() const { return currentRow_; }
  int chosenId() const { return chosenId_; }             // -1 until a tape row is chosen
  const std::string& idText() const { return idText_; }  // the read-only id field
  int adapterId() const { return adapterId_; }           // -1 until a scan succeeded

 private:
  void inquire(int id);
  void chooseCurrentRow();

  ScsiTransport& transport_;
  EventPump& pump_;
  MessageService& messages_;
  AspiRequest request_{};
  uint8_t answer_[56]{};
  std::array<ScanRow, kScanTargets> rows_;
  int currentRow_ = 1;  // a grid starts on its first row
  int chosenId_ = -1;
  std::string idText_;
  int adapterId_ = -1;
  std::function<void(int id)> rowObserver_;
};

}  // namespace korv
