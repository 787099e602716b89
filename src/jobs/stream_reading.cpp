#include "jobs/stream_reading.h"

#include <memory>

#include "jobs/selection.h"
#include "sys/cp932.h"
#include "tape/datastream.h"

namespace korv::jobs {
namespace {

class StreamReader {
 public:
  StreamReader(TScsifile& sf, RunReporter& report, RunResult& result, ProgressSink& progress,
               StreamSink& sink)
      : sf_(sf), report_(report), result_(result), progress_(progress), sink_(sink) {}

  void readAll(Selection& selection, const SelectionFigures& selected,
               const char* headerUnreadable);

 private:
  void readLines(Selection& selection, const SelectionFigures& selected,
                 const char* headerUnreadable);
  // False when the run ends here.
  bool readEntry(const sf_file2& e, int32_t header, bool selected);
  // The data records of a file; false when the stream broke off (said why).
  bool readData(const sf_file2& e, bool selected);
  bool readThroughUnsized(const sf_file2& e, bool selected);
  // Reports an abort or an error of the reading, once the sink has settled; nothing
  // when the sink ended the run meanwhile.
  void aborted();
  void readError(const char* text);
  // A selected file whose stream was read whole: done or skipped, as the sink kept it.
  void count(const sf_file2& e);
  uint8_t* readBuffer(int32_t length) {
    uint8_t* into = sink_.blockBuffer(static_cast<size_t>(length));
    return into != nullptr ? into : buffer_.get();
  }

  TScsifile& sf_;
  RunReporter& report_;
  RunResult& result_;
  ProgressSink& progress_;
  StreamSink& sink_;
  ProgressFigures figures_;
  std::unique_ptr<uint8_t[]> buffer_ = std::make_unique<uint8_t[]>(kBlockSize);
};

void StreamReader::aborted() {
  if (!sink_.settle()) return;
  report_.warning("中断しました");
  result_.aborted = true;
}

void StreamReader::readError(const char* text) {
  if (sink_.settle()) report_.error(text);
}

void StreamReader::readAll(Selection& selection, const SelectionFigures& selected,
                           const char* headerUnreadable) {
  readLines(selection, selected, headerUnreadable);
  sink_.settle();
}

void StreamReader::readLines(Selection& selection, const SelectionFigures& selected,
                             const char* headerUnreadable) {
  const auto& catalogue = sf_.Catalogue;
  figures_.start(progress_, selected.bytes, selected.count);
  for (size_t line = 0; line < catalogue.size(); ++line) {
    if (progress_.isabort()) {
      aborted();
      return;
    }
    if (figures_.filesDone() == selected.count) return;  // nothing selected is left to read
    sink_.reached(catalogue[line], progress_);
    uint8_t header[kHeaderSize];
    if (!sf_.TapeRead(header, kHeaderSize)) {
      readError(headerUnreadable);
      return;
    }
    if (!readEntry(catalogue[line], decodeHeader(header), selection.selected(line))) return;
  }
}

bool StreamReader::readEntry(const sf_file2& e, int32_t header, bool selected) {
  if (header == kSkipHeader) {
    if (!sink_.settle()) return false;
    report_.log(cp932ToUtf8(e.name) + "はバックアップされていません");
    if (selected) {
      figures_.addBytes(static_cast<float>(e.size));
      figures_.addFile();
      ++result_.filesSkipped;
    }
    return true;
  }
  // Every writer puts the catalogue's size in the header. One that disagrees marks a
  // damaged stream: read by either number, its records would be taken for some other
  // file's, and a header of 0 would pass a file whose data never came.
  if (header != e.size) {
    readError("読み込みエラーが発生しました");
    return false;
  }
  if (header < 0) return readThroughUnsized(e, selected);
  if (!sink_.begin(e, selected, progress_)) return false;
  if (header == 0) {
    sink_.end(e, buffer_.get(), 0);
    if (selected) {
      figures_.addFile();
      count(e);
    }
    return true;
  }
  if (!readData(e, selected)) {
    sink_.broken();
    return false;
  }
  return true;
}

// A negative size other than the skip header: a file of 2 GiB or more, whose size a
// writer elsewhere stored in the signed field. Nothing at the destination is touched. Its
// data is read through by the size taken as unsigned, which keeps the stream in step for
// a file under 4 GiB; a larger one puts its next record where a header is expected, and
// that read ends the run.
bool StreamReader::readThroughUnsized(const sf_file2& e, bool selected) {
  if (!sink_.settle()) return false;
  report_.log(cp932ToUtf8(e.name) + "はファイルサイズが2GB以上で扱えない為，読み飛ばしました");
  const auto size = static_cast<uint32_t>(e.size);
  const uint32_t blocks = size / kBlockSize + (size % kBlockSize != 0 ? 1 : 0);
  for (uint32_t block = 0; block < blocks; ++block) {
    if (progress_.isabort()) {
      aborted();
      return false;
    }
    const bool last = block + 1 == blocks && size % kBlockSize != 0;
    const auto length = static_cast<int32_t>(last ? size % kBlockSize : kBlockSize);
    if (!sf_.TapeRead(buffer_.get(), length)) {
      readError("読み込みエラーが発生しました");
      return false;
    }
  }
  if (selected) figures_.addFile();
  return true;
}

bool StreamReader::readData(const sf_file2& e, bool selected) {
  const StreamLayout layout = streamLayout(e.size);
  for (int32_t block = 0; block < layout.fullBlocks; ++block) {
    if (progress_.isabort()) {
      aborted();
      return false;
    }
    uint8_t* into = readBuffer(kBlockSize);
    if (!sf_.TapeRead(into, kBlockSize)) {
      readError("読み込みエラーが発生しました");
      return false;
    }
    if (!sink_.block(into)) return false;
    if (selected) figures_.addBytes(static_cast<float>(kBlockSize));
  }
  uint8_t* rest = layout.rest != 0 ? readBuffer(layout.rest) : buffer_.get();
  if (layout.rest != 0 && !sf_.TapeRead(rest, layout.rest)) {
    readError("読み込みエラーが発生しました");
    return false;
  }
  sink_.end(e, rest, static_cast<size_t>(layout.rest));
  if (selected) {
    figures_.addBytes(static_cast<float>(layout.rest));
    figures_.addFile();
    count(e);
  }
  return true;
}

void StreamReader::count(const sf_file2& e) {
  if (sink_.kept()) {
    ++result_.filesDone;
    result_.bytesDone += static_cast<uint32_t>(e.size);
  } else {
    ++result_.filesSkipped;
  }
}

}  // namespace

bool readSetStreams(TScsifile& sf, Selection& selection, RunFaces& faces, RunReporter& report,
                    RunResult& result, const StreamRunTexts& texts, StreamSink& sink) {
  const SelectionFigures selected = countSelection(sf.Catalogue, selection);
  if (selected.count == 0) {
    report.warning(texts.nothingSelected);
    return false;
  }
  report.clearLog();
  std::unique_ptr<ProgressSink> progress = openProgress(faces.progress, texts.caption);
  StreamReader(sf, report, result, *progress, sink)
      .readAll(selection, selected, texts.headerUnreadable);
  return rewindAndClose(sf, progress, report, result, "終了しました");
}

}  // namespace korv::jobs
