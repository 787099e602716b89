#pragma once
// TScsifile: the tape device component. It sends the nine 6-byte tape commands through
// one reused request block, binds itself to a drive, and builds the volume format (label,
// sets, maintenance) from those commands alone. Failures are results: every operation
// returns false (CountSets -1) and callers word their own messages.

#include <cstdint>
#include <string>
#include <vector>

#include "scsi/aspi_request.h"
#include "scsi/transport.h"
#include "sys/messages.h"
#include "tape/sf_file2.h"

namespace korv {

// TapeSpace codes.
inline constexpr int32_t SpaceEndOfData = 1;
inline constexpr int32_t SpaceFilemarks = 4;
inline constexpr int32_t SpaceSetmarks = 5;
inline constexpr int32_t SpaceBlocks = 6;

inline constexpr int kInquiryDataSize = 101;
inline constexpr int kLabelSize = 520;

// The identification string every label of this format carries.
inline constexpr const char* kFormatId = "Quorvantelmix KORVESSIAN Format Ver2.1";

class TScsifile {
 public:
  // The transport is the bus the drive hangs on; the pump is the face's wait; the
  // message service shows the retry question, the version message and the name prompt.
  TScsifile(ScsiTransport& transport, EventPump& pump, MessageService& messages);
  ~TScsifile();
  TScsifile(const TScsifile&) = delete;
  TScsifile& operator=(const TScsifile&) = delete;

  // Fields, in the order of the data model.
  bool Opened = false;
  bool Busy = false;
  int32_t TargetId = -1;
  bool SetOpened = false;
  int32_t SetNumber = -1;
  korv::AspiRequest AspiRequest{};  // qualified: the member shares the type's name
  uint8_t InquiryData[kInquiryDataSize]{};
  uint8_t LabelData[kLabelSize]{};
  bool UseEod = false;
  bool RewindImmediate = false;
  std::vector<sf_file2> Catalogue;
  std::string FormatId;

  // The command set.
  bool TapeTestUnitReady();
  bool TapeRewind();
  bool TapeErase();
  bool TapeWriteFilemarks(int32_t count);
  bool TapeSpace(int32_t count, int32_t code);
  bool TapeRead(uint8_t* buffer, int32_t length);
  bool TapeWrite(const uint8_t* buffer, int32_t length);
  bool TapeInquiry(uint8_t id);
  bool TapeUnload();
  bool OpenDevice(int32_t id, bool rewindImmediate, bool useEod);

  static void StoreBE24(uint8_t* commandBytes, int position, int32_t value);
  // Data[from..to] one character per byte; empty when to < from. The caller guarantees
  // both indexes lie within the data.
  static std::string BytesToText(const uint8_t* data, int32_t from, int32_t to);

  // Volume label and mounting.
  bool ReadLabelBlock();
  bool CheckVolume(std::string& labelText);
  bool MountVolume(std::string& tapeName);  // tapeName: CP932 bytes

  // Backup-set catalogue. Names are CP932 bytes.
  int32_t CountSets();
  bool OpenSet(int32_t number, std::string& name);
  bool CloseSet();
  bool ReadFirstSetName(std::string& name);
  bool ReadNextSetName(std::string& name);

  // Volume maintenance.
  bool FormatVolume();
  bool DeleteSetsFrom(int32_t number);
  bool DeleteLastSet();

  MessageService& messages() { return messages_; }
  ScsiTransport& transport() { return transport_; }

 private:
  enum class Direction { None, In, Out };
  // The command procedure shared by every command except INQUIRY.
  bool execute(const uint8_t (&cdb)[6], Direction direction, uint8_t* data, int32_t length);
  void waitForCompletion();

  ScsiTransport& transport_;
  EventPump& pump_;
  MessageService& messages_;
};

}  // namespace korv
