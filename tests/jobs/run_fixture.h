#pragma once
// A formatted emulated tape, recorders for the run's faces, and helpers to build source
// trees and to read back what a tape image holds.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "jobs/backup_run.h"
#include "jobs/dirsearch.h"
#include "jobs/run_interfaces.h"
#include "jobs/selection.h"
#include "jobs/set_browser.h"
#include "support/drive_fixture.h"
#include "support/foreign_set.h"
#include "support/test_files.h"
#include "sys/byte_order.h"
#include "sys/finddata.h"
#include "tape/datastream.h"

namespace korv::test {

// Records what a run tells its progress dialog; the test can act on chosen calls.
struct ProgressRecord {
  std::vector<std::string> captions;
  std::vector<std::string> filenames;
  std::vector<std::string> calls;  // operation names in order
  float allbyte = -1;
  int32_t allcount = -1;
  float copybyte = 0;
  int32_t copycount = 0;
  int open = 0;  // dialogs created and not yet released
  bool abort = false;
  // Called after every setcopybyte with the bytes done (abort, faults, file changes).
  std::function<void(float)> onCopyByte;
  // Called when the run stops the animation at its end (before the rewind).
  std::function<void()> onStopClock;
};

class RecordingProgress : public jobs::ProgressSink {
 public:
  explicit RecordingProgress(ProgressRecord& r) : r_(r) { ++r_.open; }
  ~RecordingProgress() override { --r_.open; }
  void setallbyte(float total) override {
    r_.allbyte = total;
    r_.calls.push_back("setallbyte");
  }
  void setallcount(int32_t count) override {
    r_.allcount = count;
    r_.calls.push_back("setallcount");
  }
  void setcopycount(int32_t count) override {
    r_.copycount = count;
    r_.calls.push_back("setcopycount");
  }
  void setcopybyte(float done) override {
    r_.copybyte = done;
    r_.calls.push_back("setcopybyte");
    if (r_.onCopyByte) r_.onCopyByte(done);
  }
  void setfilename(const std::string& name) override { r_.filenames.push_back(name); }
  void setanimate(bool on) override { r_.calls.push_back(on ? "animate on" : "animate off"); }
  void stopclock() override {
    r_.calls.push_back("stopclock");
    if (r_.onStopClock) r_.onStopClock();
  }
  bool isabort() override { return r_.abort; }
  void clearabort() override { r_.abort = false; }

 private:
  ProgressRecord& r_;
};

class RecordingFactory : public jobs::ProgressFactory {
 public:
  std::unique_ptr<jobs::ProgressSink> create(const std::string& caption) override {
    record.captions.push_back(caption);
    return std::make_unique<RecordingProgress>(record);
  }
  ProgressRecord record;
};

class RecordingLog : public jobs::RunLog {
 public:
  void clear() override {
    lines.clear();
    ++clears;
  }
  void add(const std::string& line) override { lines.push_back(line); }
  std::vector<std::string> lines;
  int clears = 0;
};

class FixedDestination : public jobs::DestinationSource {
 public:
  std::string destination() override { return folder; }
  std::string folder;
};

// The bytes of every record of the image, in order (filemarks give an empty entry).
inline std::vector<std::string> tapeRecordData(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> items;
  for (;;) {
    uint8_t w[4];
    if (!in.read(reinterpret_cast<char*>(w), 4)) break;
    const uint32_t word = loadLE32(w);
    if (word == 0xFFFFFFFF) break;
    if (word == 0 || word == 0xFFFFFFFE) {
      if (word == 0) items.emplace_back();
      continue;
    }
    const uint32_t length = word & 0xFFFFFF;
    std::string data(length, '\0');
    in.read(data.data(), length);
    in.seekg((length % 2) + 4, std::ios::cur);
    items.push_back(std::move(data));
  }
  return items;
}

// One item of a tape image: a record's length, or a filemark (-1).
inline constexpr int64_t kFilemark = -1;

// The records of a SIMH tape image up to the end of its recorded data.
inline std::vector<int64_t> tapeRecords(const std::string& path) {
  std::vector<int64_t> items;
  for (const std::string& record : tapeRecordData(path)) {
    items.push_back(record.empty() ? kFilemark : static_cast<int64_t>(record.size()));
  }
  return items;
}

// A formatted tape on the emulated drive, and the faces a run talks to.
class RunFixture : public DriveFixture {
 protected:
  void SetUp() override {
    DriveFixture::SetUp();
    ASSERT_TRUE(sf->FormatVolume());
    ASSERT_TRUE(sf->TapeRewind());
    messages.boxes.clear();
    messages.beeps.clear();
    trace.clear();
  }

  jobs::RunFaces faces() { return {messages, factory, log, options}; }

  // The path a source file gets below the destination: its absolute path without the root.
  std::filesystem::path restored(const std::filesystem::path& destination,
                                 const std::filesystem::path& source) {
    return destination / source.relative_path();
  }

  // A source file below the fixture's "src" folder.
  std::filesystem::path make(const std::string& name, size_t size, unsigned seed = 1) {
    const std::filesystem::path path = dir.path() / "src" / name;
    writeFile(path, pattern(size, seed));
    return path;
  }

  // The files in the given order, as a listing of them would hold them.
  jobs::FileList listed(const std::vector<std::filesystem::path>& paths) {
    jobs::FileList list;
    for (const auto& p : paths) {
      std::error_code error;
      EXPECT_TRUE(jobs::listFile(p.string(), list, error)) << p;
    }
    return list;
  }

  jobs::RunResult backUp(const jobs::FileList& list, const std::string& name = "set",
                         size_t readAhead = jobs::SourceReader::kDefaultRing) {
    jobs::ListSelection all(list.size());
    auto f = faces();
    return jobs::backupRun(*sf, list, all, name, f, {}, readAhead);
  }

  // Opens set `number` as the browser does; the recorders start empty afterwards.
  void openSet(int32_t number) {
    std::string name;
    ASSERT_TRUE(jobs::openSet(*sf, number, name, messages));
    messages.boxes.clear();
    messages.beeps.clear();
    log.lines.clear();
    factory.record = ProgressRecord{};
    trace.clear();
  }

  void writeSet(const std::string& name, const std::vector<TapeFile>& files) {
    ASSERT_TRUE(writeForeignSet(*sf, name, files));
  }

  std::vector<BoxType> boxTypes() const {
    std::vector<BoxType> types;
    for (const auto& b : messages.boxes) types.push_back(b.type);
    return types;
  }

  RecordingFactory factory;
  RecordingLog log;
  Options options;
};

}  // namespace korv::test

namespace korv::test {

// The records a set adds to a tape: its catalogue file for `entries` files, then the given
// data-file records (lengths), then the ending filemark when `closed`.
inline std::vector<int64_t> setRecords(size_t entries, const std::vector<int64_t>& data,
                                       bool closed = true) {
  std::vector<int64_t> r{268};
  r.insert(r.end(), entries, 592);
  r.push_back(kFilemark);
  r.insert(r.end(), data.begin(), data.end());
  if (closed) r.push_back(kFilemark);
  return r;
}

// The stream of one stored file of `size` bytes: its header and the prescribed blocks.
inline std::vector<int64_t> stream(int64_t size) {
  std::vector<int64_t> r{4};
  for (int64_t left = size; left > 0; left -= 65536) r.push_back(left < 65536 ? left : 65536);
  return r;
}

inline std::vector<int64_t> concat(std::initializer_list<std::vector<int64_t>> parts) {
  std::vector<int64_t> r;
  for (const auto& p : parts) r.insert(r.end(), p.begin(), p.end());
  return r;
}

// A formatted volume: its label and filemark.
inline const std::vector<int64_t> kVolume{520, kFilemark};

}  // namespace korv::test
