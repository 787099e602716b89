#include "scsi/emulated_drive.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "scsi/tape_commands.h"
#include "scsi/tape_image.h"
#include "sys/byte_order.h"

namespace korv {

namespace {

DriveOutcome good() {
  return {};
}

DriveOutcome busy() {
  DriveOutcome o;
  o.good = false;
  o.scsiStatus = 8;
  return o;
}

struct Flags {
  bool filemark = false;
  bool eom = false;
  bool ili = false;
  bool hasInformation = false;
  int32_t information = 0;
};

DriveOutcome check(uint8_t key, uint8_t asc, uint8_t ascq, Flags flags = {}) {
  DriveOutcome o;
  o.good = false;
  o.scsiStatus = 2;
  o.sense.valid = true;
  o.sense.key = key;
  o.sense.asc = asc;
  o.sense.ascq = ascq;
  o.sense.filemark = flags.filemark;
  o.sense.eom = flags.eom;
  o.sense.ili = flags.ili;
  o.sense.informationValid = flags.hasInformation;
  o.sense.information = flags.information;
  return o;
}

// `bits` with the blocks, marks or bytes left undone as the information.
Flags residue(int64_t left, Flags bits) {
  bits.hasInformation = true;
  bits.information = static_cast<int32_t>(left);
  return bits;
}

DriveOutcome illegalField() {
  return check(SENSE_ILLEGAL_REQUEST, 0x24, 0x00);
}
DriveOutcome noMedium() {
  return check(SENSE_NOT_READY, 0x3A, 0x00);
}
DriveOutcome readError() {
  return check(SENSE_MEDIUM_ERROR, 0x11, 0x00);
}
DriveOutcome writeError() {
  return check(SENSE_MEDIUM_ERROR, 0x0C, 0x00);
}
DriveOutcome positionError() {
  return check(SENSE_MEDIUM_ERROR, 0x14, 0x00);
}
DriveOutcome writeProtected() {
  return check(SENSE_DATA_PROTECT, 0x27, 0x00);
}

DriveOutcome volumeOverflow(int64_t left) {
  return check(SENSE_VOLUME_OVERFLOW, 0x00, 0x02, residue(left, {.eom = true}));
}
// The write was recorded, but the early-warning point lies behind.
DriveOutcome earlyWarning() {
  return check(SENSE_NO_SENSE, 0x00, 0x02, residue(0, {.eom = true}));
}
DriveOutcome blankCheck(int64_t left) {
  return check(SENSE_BLANK_CHECK, 0x00, 0x05, residue(left, {.eom = true}));
}
DriveOutcome filemarkMet(int64_t left) {
  return check(SENSE_NO_SENSE, 0x00, 0x01, residue(left, {.filemark = true}));
}
DriveOutcome beginningMet(int64_t left) {
  return check(SENSE_NO_SENSE, 0x00, 0x04, residue(left, {.eom = true}));
}

// A failed write to the image file: a full disk is the end of the medium.
DriveOutcome writeFailure(int error, int64_t left) {
  if (error == ENOSPC || error == EFBIG || error == EDQUOT) return volumeOverflow(left);
  if (error == EACCES || error == EROFS || error == EPERM) return writeProtected();
  return writeError();
}

void copyPadded(uint8_t* out, const char* text, size_t width) {
  std::memset(out, ' ', width);
  std::memcpy(out, text, std::min(std::strlen(text), width));
}

}  // namespace

struct EmulatedDrive::Impl {
  std::string path;
  mutable std::mutex mutex;
  TapeImage image;
  uint64_t position = 0;
  bool unloaded = false;
  FaultPlan plan;
  TapeMotion motion;
  MediumCapacity capacity;
  int reads = 0, writes = 0, filemarkWrites = 0, rewinds = 0, spaces = 0;

  using Kind = TapeImage::Entry::Kind;

  // Steps every medium command takes first: a cartridge is in, and its image is ours.
  // A missing image is a blank cartridge; it stays closed until something is written.
  bool ready(DriveOutcome& failure) {
    if (plan.noMedium || unloaded) {
      failure = noMedium();
      return false;
    }
    if (image.isOpen()) return true;
    switch (image.open(path, false)) {
      case TapeImage::OpenResult::Opened:
        return true;
      case TapeImage::OpenResult::Missing:
        // A blank cartridge, unless its folder is missing too: then nothing could ever be
        // written to it, and saying "ready" would only fail later.
        if (diagnoseImage(path) != ImageProblem::FolderMissing) return true;
        break;
      case TapeImage::OpenResult::Locked:
        failure = busy();
        return false;
      case TapeImage::OpenResult::Failed:
        break;
    }
    failure = check(SENSE_NOT_READY, 0x30, 0x00);  // a file we cannot use as a cartridge
    return false;
  }

  bool protectedMedium() const { return plan.writeProtected || image.readOnly(); }

  // What every command that changes the medium checks first.
  bool readyToChange(DriveOutcome& failure) {
    if (!ready(failure)) return false;
    if (!protectedMedium()) return true;
    failure = writeProtected();
    return false;
  }

  static bool faultDue(int& counter, int failAt) { return ++counter == failAt && failAt > 0; }

  bool exceedsCapacity(uint64_t newSize) const {
    return (plan.capacityBytes != 0 && newSize > plan.capacityBytes) ||
           capacity.zoneOf(newSize) == MediumCapacity::Zone::Beyond;
  }

  // The answer to a write that was recorded: good, or the early warning once past it.
  DriveOutcome recorded() const {
    if (capacity.zoneOf(position) == MediumCapacity::Zone::EarlyWarning) return earlyWarning();
    return good();
  }

  // Before anything is written to a blank cartridge, its image file is made.
  bool openForWriting(DriveOutcome& failure, int64_t left) {
    if (image.isOpen()) return true;
    switch (image.open(path, true)) {
      case TapeImage::OpenResult::Opened:
        if (!image.readOnly()) return true;
        image.close();
        failure = writeProtected();
        return false;
      case TapeImage::OpenResult::Locked:
        failure = busy();
        return false;
      default:
        failure = writeFailure(image.lastError(), left);
        return false;
    }
  }

  // Appends `bytes` of entries at the position through `put` (0 or an errno); a failure
  // reports `left` as not written.
  template <class Put>
  DriveOutcome append(uint64_t bytes, int64_t left, Put put) {
    if (exceedsCapacity(position + bytes)) return volumeOverflow(left);
    DriveOutcome failure;
    if (!openForWriting(failure, left)) return failure;
    if (int e = put()) return writeFailure(e, left);
    position += bytes;
    return good();
  }

  DriveOutcome inquiry(const uint8_t* cdb, DataDirection direction, uint8_t* data,
                       uint32_t length) {
    if ((cdb[1] & 0x01) != 0 || cdb[2] != 0) return illegalField();  // no vital data pages
    uint8_t answer[36] = {};
    answer[0] = 0x01;  // sequential-access device
    answer[1] = 0x80;  // removable medium
    answer[2] = 0x02;
    answer[3] = 0x02;  // response data format
    answer[4] = sizeof answer - 5;
    copyPadded(answer + 8, kVendor, 8);
    copyPadded(answer + 16, kProduct, 16);
    copyPadded(answer + 32, kRevision, 4);
    size_t allocation = loadBE16(cdb + 3);
    size_t room = direction == DataDirection::In && data != nullptr ? length : 0;
    size_t count = std::min({allocation, sizeof answer, room});
    if (count > 0) std::memcpy(data, answer, count);
    return good();
  }

  DriveOutcome rewind() {
    DriveOutcome failure;
    if (!ready(failure)) return failure;
    if (faultDue(rewinds, plan.failRewindAt)) return check(SENSE_HARDWARE_ERROR, 0x44, 0x00);
    if (int e = image.flush()) return writeFailure(e, 0);  // the buffer goes out first
    position = 0;
    return good();
  }

  DriveOutcome read(const uint8_t* cdb, DataDirection direction, uint8_t* data, uint32_t length) {
    if ((cdb[1] & 0x01) != 0) return illegalField();  // fixed-block mode is not offered
    bool sili = (cdb[1] & 0x02) != 0;
    uint32_t wanted = loadBE24(cdb + 2);
    if (wanted > 0 && (direction != DataDirection::In || data == nullptr || wanted > length))
      return illegalField();  // never write past the caller's buffer
    DriveOutcome failure;
    if (!ready(failure)) return failure;
    if (wanted == 0) return good();
    if (faultDue(reads, plan.failReadAt)) return readError();

    TapeImage::Entry e = image.next(position, false);
    switch (e.kind) {
      case Kind::Filemark:
        position = e.end;
        return filemarkMet(wanted);
      case Kind::BadRecord:
        position = e.end;  // consumed, so a reader can go on past it
        return readError();
      case Kind::Record:
        break;
      case Kind::IoError:
        return readError();
      default:
        return blankCheck(wanted);
    }
    uint32_t count = std::min(wanted, e.length);
    switch (image.readRecord(e, data, count)) {
      case TapeImage::ReadResult::Ok:
        break;
      case TapeImage::ReadResult::CutOff:
        return blankCheck(wanted);
      case TapeImage::ReadResult::IoError:
        return readError();
    }
    position = e.end;
    if (e.length == wanted || (e.length < wanted && sili)) return good();
    return check(SENSE_NO_SENSE, 0x00, 0x00,
                 residue(static_cast<int64_t>(wanted) - e.length, {.ili = true}));
  }

  DriveOutcome write(const uint8_t* cdb, DataDirection direction, const uint8_t* data,
                     uint32_t length) {
    if ((cdb[1] & 0x01) != 0) return illegalField();
    uint32_t count = loadBE24(cdb + 2);
    if (count > 0 && (direction != DataDirection::Out || data == nullptr || count > length))
      return illegalField();
    DriveOutcome failure;
    if (!readyToChange(failure)) return failure;
    if (count == 0) return good();  // drives do not record an empty block
    if (faultDue(writes, plan.failWriteAt)) return writeError();
    DriveOutcome o = append(tapRecordSize(count), count,
                            [&] { return image.appendRecord(position, data, count); });
    if (o.good) motion.write(count);
    return o.good ? recorded() : o;
  }

  DriveOutcome writeFilemarks(const uint8_t* cdb) {
    if ((cdb[1] & 0x02) != 0) return illegalField();  // no setmarks on this medium
    bool immediate = (cdb[1] & 0x01) != 0;
    uint32_t count = loadBE24(cdb + 2);
    DriveOutcome failure;
    if (!readyToChange(failure)) return failure;
    if (faultDue(filemarkWrites, plan.failFilemarkAt)) return writeError();
    if (count > 0) {
      DriveOutcome o = append(uint64_t{count} * 4, count,
                              [&] { return image.appendFilemarks(position, count); });
      if (!o.good) return o;
    }
    // The buffer goes out at every filemark; without Immed the data must also be on the
    // medium when the command completes.
    if (int e = immediate ? image.flush() : image.sync()) return writeFailure(e, 0);
    if (!immediate) motion.drain();
    return recorded();
  }

  DriveOutcome space(const uint8_t* cdb) {
    uint8_t code = cdb[1] & 0x07;
    int32_t count = loadSignedBE24(cdb + 2);
    if (code != kScsiSpaceBlocks && code != kScsiSpaceFilemarks && code != kScsiSpaceEndOfData &&
        code != kScsiSpaceSetmarks)
      return illegalField();
    DriveOutcome failure;
    if (!ready(failure)) return failure;
    if (faultDue(spaces, plan.failSpaceAt)) return positionError();
    if (int e = image.flush()) return writeFailure(e, count);
    switch (code) {
      case kScsiSpaceBlocks:
      case kScsiSpaceFilemarks:
        return spaceOver(count >= 0 ? count : -int64_t{count}, code == kScsiSpaceFilemarks,
                         count >= 0);
      case kScsiSpaceEndOfData:
        return toEndOfData();
      default:
        // This medium has no setmarks: spacing over them meets the end of the data (or
        // the beginning of the tape) first.
        if (count == 0) return good();
        if (count < 0) {
          position = 0;
          return beginningMet(-int64_t{count});
        }
        if (DriveOutcome o = toEndOfData(); !o.good) return o;
        return blankCheck(count);
    }
  }

  // Spaces over `count` blocks or filemarks, forward or backward. Spacing over blocks
  // stops after a filemark; forward, the end of the data stops it, backward the beginning
  // of the tape. The residue is what was left to do.
  DriveOutcome spaceOver(int64_t count, bool filemarks, bool forward) {
    for (int64_t done = 0; done < count;) {
      if (forward && filemarks) {
        if (auto filemark = image.knownFilemarkAfter(position)) {
          position = *filemark + 4;  // a file written whole here: its records need no reading
          ++done;
          continue;
        }
      }
      TapeImage::Entry e = forward ? image.next(position, true) : image.previous(position);
      switch (e.kind) {
        case Kind::Record:
        case Kind::BadRecord:
          position = forward ? e.end : e.start;
          if (!filemarks) ++done;
          break;
        case Kind::Filemark:
          position = forward ? e.end : e.start;  // backward, on the side toward the beginning
          if (!filemarks) return filemarkMet(count - done);
          ++done;
          break;
        case Kind::BeginningOfTape:
          position = 0;
          return beginningMet(count - done);
        case Kind::IoError:
          return readError();
        default:
          return forward ? blankCheck(count - done) : readError();
      }
    }
    return good();
  }

  DriveOutcome toEndOfData() {
    for (;;) {
      if (auto filemark = image.knownFilemarkAfter(position)) {
        position = *filemark + 4;
        continue;
      }
      TapeImage::Entry e = image.next(position, true);
      switch (e.kind) {
        case Kind::Record:
        case Kind::BadRecord:
        case Kind::Filemark:
          position = e.end;
          break;
        case Kind::IoError:
          return readError();
        default:
          position = e.start;
          return good();
      }
    }
  }

  DriveOutcome erase() {
    DriveOutcome failure;
    if (!readyToChange(failure)) return failure;
    // Long or short, the recorded data ends here; a blank cartridge has nothing to erase.
    if (image.isOpen()) {
      if (int e = image.truncate(position)) return writeFailure(e, 0);
    }
    return good();
  }

  DriveOutcome loadUnload(const uint8_t* cdb) {
    bool load = (cdb[4] & 0x01) != 0;
    if (plan.noMedium) return noMedium();
    if (load) {
      unloaded = false;
      position = 0;
      return good();
    }
    if (unloaded) return noMedium();
    // What the buffer holds goes out first: an unload that lost acknowledged records
    // must not report success.
    if (int e = image.flush()) return writeFailure(e, 0);
    image.close();  // lets another program have the cartridge
    unloaded = true;
    position = 0;
    return good();
  }
};

EmulatedDrive::EmulatedDrive(std::string imagePath) : path_(std::move(imagePath)), impl_(new Impl) {
  impl_->path = path_;
}

EmulatedDrive::~EmulatedDrive() {
  delete impl_;
}

DriveOutcome EmulatedDrive::execute(const uint8_t* cdb, DataDirection direction, uint8_t* data,
                                    uint32_t length) {
  std::lock_guard lock(impl_->mutex);
  switch (cdb[0]) {
    case kOpTestUnitReady: {
      DriveOutcome failure;
      return impl_->ready(failure) ? good() : failure;
    }
    case kOpRewind:
      return impl_->rewind();
    case kOpRead:
      return impl_->read(cdb, direction, data, length);
    case kOpWrite:
      return impl_->write(cdb, direction, data, length);
    case kOpWriteFilemarks:
      return impl_->writeFilemarks(cdb);
    case kOpSpace:
      return impl_->space(cdb);
    case kOpInquiry:
      return impl_->inquiry(cdb, direction, data, length);
    case kOpErase:
      return impl_->erase();
    case kOpLoadUnload:
      return impl_->loadUnload(cdb);
    default:
      return check(SENSE_ILLEGAL_REQUEST, 0x20, 0x00);
  }
}

void EmulatedDrive::setFaults(const FaultPlan& plan) {
  std::lock_guard lock(impl_->mutex);
  impl_->plan = plan;
  impl_->reads = impl_->writes = impl_->filemarkWrites = impl_->rewinds = impl_->spaces = 0;
}

void EmulatedDrive::setCapacity(const MediumCapacity& capacity) {
  std::lock_guard lock(impl_->mutex);
  impl_->capacity = capacity;
}

FaultPlan EmulatedDrive::faults() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->plan;
}

std::chrono::milliseconds EmulatedDrive::delay() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->plan.delay;
}

void EmulatedDrive::load() {
  std::lock_guard lock(impl_->mutex);
  if (!impl_->unloaded) return;  // a cartridge already in stays where it is
  impl_->unloaded = false;
  impl_->position = 0;
}

bool EmulatedDrive::flushBuffer() {
  std::lock_guard lock(impl_->mutex);
  return impl_->image.flush() == 0;
}

void EmulatedDrive::setRate(uint64_t bytesPerSecond) {
  std::lock_guard lock(impl_->mutex);
  impl_->motion.setRate(bytesPerSecond, ImageBuffer::kWriteBehind);
}

TapeMotion::Figures EmulatedDrive::motion() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->motion.figures();
}

uint64_t EmulatedDrive::position() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->position;
}

}  // namespace korv
