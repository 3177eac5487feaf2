// Reads the entropy-coded data of a JPEG scan bit by bit: removes the zero
// byte stuffed after every 0xFF, stops at the first marker and steps over the
// restart markers between intervals. Past a marker or the end of the data it
// feeds zero bits and remembers that it did, so that a decoder reading beyond
// the data it was given finds out with Overrun() instead of reading outside.
#ifndef QZM_JPEG_BIT_READER_H
#define QZM_JPEG_BIT_READER_H

#include "lib/qzcTypes.h"

#include <cstdint>

class qzmJpegBitReader {
 public:
  // Reads data[start, size).
  qzmJpegBitReader(const UBYTE* data, ULONG size, ULONG start) : data_(data), size_(size), position_(start) {}

  // Makes at least 32 bits available to Peek and Skip.
  void Ensure() {
    if (count_ < 32)
      Fill();
  }
  // The next n bits (1 to 32) as an unsigned number; Ensure() must come first.
  std::uint32_t Peek(int n) const { return std::uint32_t(bits_ >> (64 - n)); }
  void Skip(int n) {
    bits_ <<= n;
    count_ -= n;
  }
  std::uint32_t Take(int n) {
    std::uint32_t value = Peek(n);
    Skip(n);
    return value;
  }
  // The signed difference that n extra bits (1 to 16) encode.
  int TakeSigned(int n) {
    int value = int(Take(n));
    return value < (1 << (n - 1)) ? value - (1 << n) + 1 : value;
  }

  // True when bits beyond the entropy-coded data have been consumed: the
  // stream is truncated or its codes run past the next marker.
  bool Overrun() const { return count_ < padding_; }

  // Ends a restart interval: drops the bits left in the current byte and
  // expects the restart marker with the number given (0 to 7), then reads on
  // after it. False when that marker is not next.
  bool Restart(int number);

  // Where the entropy-coded data ended: the offset of the marker (or the
  // end of the data) that follows the bits read.
  ULONG EndPosition();

 private:
  void Fill();
  // Drops the buffered bits and moves to the next marker.
  void SeekMarker();

  const UBYTE* data_;
  ULONG size_;
  ULONG position_;          // next byte to load
  std::uint64_t bits_ = 0;  // the buffered bits, first one at the top
  int count_ = 0;           // number of buffered bits
  int padding_ = 0;         // how many of the last buffered bits are zeros fed past the data
  bool atMarker_ = false;   // position_ is at a marker or at the end
};

#endif
