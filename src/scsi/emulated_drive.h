#pragma once
// A DDS-class drive in variable-block mode over a SIMH tape image (.tap): each record is
// a 32-bit little-endian length word (bits 23..0 the length, bit 31 "bad record"), the
// data, a pad byte when the length is odd, and the length word again; 0 is a filemark,
// 0xFFFFFFFE an erase gap, 0xFFFFFFFF or the end of the file the end of recorded data.
// It answers the tape command set the way a drive does and buffers like one: written
// records reach the image in large writes, and at the latest at the next filemark (synced
// to disk without Immed), rewind, space or unload; a crash loses at most what came after
// the last of those. It can be told to fail for the tests.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "scsi/medium_capacity.h"
#include "scsi/sense.h"
#include "scsi/tape_motion.h"

namespace korv {

// What the tests make the drive do wrong. A planned failure reports a check condition
// and changes nothing: READ MEDIUM ERROR 3/11/00, WRITE and WRITE FILEMARKS 3/0C/00,
// SPACE 3/14/00, REWIND HARDWARE ERROR 4/44/00. Counted are the commands of a kind that
// reach the medium (not those refused for no medium, a busy image, write protection or
// a bad field).
struct FaultPlan {
  // Fail the k-th command of a kind (counted from 1 since the plan was set); 0 = never.
  int failReadAt = 0;
  int failWriteAt = 0;
  int failFilemarkAt = 0;
  int failRewindAt = 0;
  int failSpaceAt = 0;
  bool noMedium = false;
  bool writeProtected = false;
  uint64_t capacityBytes = 0;          // a hard end, without warning; 0 = unlimited
  std::chrono::milliseconds delay{0};  // added to every command, so "pending" is real
};

enum class DataDirection { None, In, Out };

struct DriveOutcome {
  bool good = true;
  uint8_t scsiStatus = 0;  // 0 good, 2 check condition, 8 busy
  SenseInfo sense;
};

class EmulatedDrive {
 public:
  explicit EmulatedDrive(std::string imagePath);
  ~EmulatedDrive();
  EmulatedDrive(const EmulatedDrive&) = delete;
  EmulatedDrive& operator=(const EmulatedDrive&) = delete;

  // Executes one 6-byte command synchronously (the adapter adds the asynchrony). `data`
  // holds `length` bytes; a READ or WRITE longer than that is refused, never overrun.
  // Medium commands open the image (and take its lock) on first use; while another
  // holder has it locked they answer BUSY, and the next command tries again.
  DriveOutcome execute(const uint8_t* cdb, DataDirection direction, uint8_t* data, uint32_t length);

  void setFaults(const FaultPlan& plan);  // resets the per-kind counters
  // The size of the cartridge, with its early warning (none by default). Writes that
  // end past the warning are recorded and answered NO SENSE, EOM, 00/02; past the end
  // they are refused with VOLUME OVERFLOW.
  void setCapacity(const MediumCapacity& capacity);
  FaultPlan faults() const;
  std::chrono::milliseconds delay() const;

  // Inserts the cartridge again after an unload (at the beginning of the tape); a
  // cartridge that is in stays where it is. Unloading closes the image and drops its lock.
  void load();
  const std::string& imagePath() const { return path_; }
  // Writes the records the drive buffers to the image file now, as an unload would;
  // false when that fails. (Filemarks, rewinds and spaces do it on their own.)
  bool flushBuffer();

  // Makes writing take the time a drive streaming `bytesPerSecond` takes (0: no model),
  // with a buffer the size of this drive's, and tells how busy that tape was kept.
  void setRate(uint64_t bytesPerSecond);
  TapeMotion::Figures motion() const;
  uint64_t position() const;  // byte offset in the image, for tests

  // The 36-byte INQUIRY answer's texts.
  static constexpr const char* kVendor = "KORVESSN";
  static constexpr const char* kProduct = "Emulated DDS    ";
  static constexpr const char* kRevision = "1.0 ";

 private:
  struct Impl;
  std::string path_;
  Impl* impl_;
};

}  // namespace korv
