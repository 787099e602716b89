#pragma once
// The whole size of a catalogue entry's file. The entry's own size field holds only the
// low 32 bits, signed; the find-data record beside it carries both halves, so files of
// 2 GiB or more can still be shown at their true size.

#include <cstdint>

#include "tape/sf_file2.h"

namespace korv {

// The file stream's size header is signed 32-bit: a larger file was stored with the skip
// header and has no data on tape.
inline constexpr uint64_t kLargestStreamSize = 2147483647;

constexpr bool fitsStream(uint64_t size) {
  return size <= kLargestStreamSize;
}

// The size from the find-data record's high and low halves. A record whose low half
// disagrees with the entry's size field (a writer that left it empty) is not trusted: the
// size field, read as unsigned, is all there is then.
uint64_t wholeFileSize(const sf_file2& entry);

}  // namespace korv
