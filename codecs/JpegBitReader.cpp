#include "codecs/qzmJpegBitReader.h"

void qzmJpegBitReader::Fill() {
  while (count_ <= 56) {
    UBYTE byte = 0;
    if (!atMarker_ && position_ < size_) {
      byte = data_[position_];
      if (byte != 0xFF) {
        ++position_;
      } else if (position_ + 1 < size_ && data_[position_ + 1] == 0x00) {
        position_ += 2;
      } else {
        atMarker_ = true;
        byte = 0;
      }
    } else {
      atMarker_ = true;
    }
    if (atMarker_)
      padding_ += 8;
    bits_ |= std::uint64_t(byte) << (56 - count_);
    count_ += 8;
  }
}

void qzmJpegBitReader::SeekMarker() {
  bits_ = 0;
  count_ = 0;
  padding_ = 0;
  while (position_ < size_ && !(data_[position_] == 0xFF && position_ + 1 < size_ && data_[position_ + 1] != 0x00 &&
                                data_[position_ + 1] != 0xFF))
    ++position_;
  atMarker_ = false;
}

bool qzmJpegBitReader::Restart(int number) {
  SeekMarker();
  if (position_ + 1 >= size_ || data_[position_ + 1] != 0xD0 + number)
    return false;
  position_ += 2;
  return true;
}

ULONG qzmJpegBitReader::EndPosition() {
  SeekMarker();
  return position_;
}
