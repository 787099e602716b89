#pragma once
// The request blocks of the ASPI programming model, kept byte for byte so that the
// command layer fills exactly the fields a drive request has always carried.

#include <atomic>
#include <cstdint>

namespace korv {

// SRB_Status values.
inline constexpr uint8_t SS_PENDING = 0x00;
inline constexpr uint8_t SS_COMP = 0x01;
inline constexpr uint8_t SS_ABORTED = 0x02;
inline constexpr uint8_t SS_ERR = 0x04;
inline constexpr uint8_t SS_INVALID_CMD = 0x80;
inline constexpr uint8_t SS_INVALID_HA = 0x81;
inline constexpr uint8_t SS_NO_DEVICE = 0x82;

// SRB_Cmd values.
inline constexpr uint8_t SC_HA_INQUIRY = 0x00;
inline constexpr uint8_t SC_EXEC_SCSI_CMD = 0x02;

// SRB_Flags direction bits.
inline constexpr uint8_t SRB_DIR_IN = 0x08;
inline constexpr uint8_t SRB_DIR_OUT = 0x10;

// SRB_HaStat / SRB_TargStat values the transports report.
inline constexpr uint8_t HASTAT_OK = 0x00;
inline constexpr uint8_t HASTAT_TIMEOUT = 0x09;
inline constexpr uint8_t HASTAT_BUS_FREE = 0x13;  // the target went away
inline constexpr uint8_t STATUS_GOOD = 0x00;
inline constexpr uint8_t STATUS_CHKCOND = 0x02;
inline constexpr uint8_t STATUS_BUSY = 0x08;

inline constexpr int kSenseAllocation = 32;

#pragma pack(push, 1)
// SRB_ExecSCSICmd with a 32 + 2 byte sense area: 98 bytes. The two pointer slots are
// 32 bits wide as in the original layout; the data buffer itself travels beside the
// block (ScsiTransport::submit), since a 64-bit pointer does not fit the slot.
struct AspiRequest {
  uint8_t SRB_Cmd;
  uint8_t SRB_Status;
  uint8_t SRB_HaId;
  uint8_t SRB_Flags;
  uint32_t SRB_Hdr_Rsvd;
  uint8_t SRB_Target;
  uint8_t SRB_Lun;
  uint16_t SRB_Rsvd1;
  uint32_t SRB_BufLen;
  uint32_t SRB_BufPointer;
  uint8_t SRB_SenseLen;
  uint8_t SRB_CDBLen;
  uint8_t SRB_HaStat;
  uint8_t SRB_TargStat;
  uint32_t SRB_PostProc;
  uint8_t SRB_Rsvd2[20];
  uint8_t CDBByte[16];
  uint8_t SenseArea[kSenseAllocation + 2];
};

// SRB_HAInquiry: 60 bytes.
struct HaInquiryRequest {
  uint8_t SRB_Cmd;
  uint8_t SRB_Status;
  uint8_t SRB_HaId;
  uint8_t SRB_Flags;
  uint32_t SRB_Hdr_Rsvd;
  uint8_t HA_Count;
  uint8_t HA_SCSI_ID;
  uint8_t HA_ManagerId[16];
  uint8_t HA_Identifier[16];
  uint8_t HA_Unique[16];
  uint16_t HA_Rsvd1;
};
#pragma pack(pop)

static_assert(sizeof(AspiRequest) == 98);
static_assert(sizeof(HaInquiryRequest) == 60);

// The status byte is written by the transport (possibly from another thread) and read
// by the waiting command; every access goes through these two.
inline uint8_t requestStatus(AspiRequest& r) {
  return std::atomic_ref<uint8_t>(r.SRB_Status).load(std::memory_order_acquire);
}
inline void setRequestStatus(AspiRequest& r, uint8_t status) {
  std::atomic_ref<uint8_t>(r.SRB_Status).store(status, std::memory_order_release);
}

}  // namespace korv
