#include "codecs/qzmJpegHuffmanTable.h"

bool qzmJpegHuffmanTable::Build(const UBYTE counts[16], const UBYTE* symbols) {
  defined_ = false;
  for (UWORD& entry : fast_)
    entry = 0;
  int total = 0;
  for (int length = 1; length <= 16; ++length)
    total += counts[length - 1];
  if (total > 256)
    return false;
  for (int i = 0; i < total; ++i)
    symbols_[i] = symbols[i];

  // Canonical codes: consecutive within a length, doubled from one length
  // to the next.
  int code = 0, index = 0;
  for (int length = 1; length <= 16; ++length) {
    const int count = counts[length - 1];
    firstIndex_[length] = index - code;
    maxCode_[length] = count ? code + count - 1 : -1;
    if (code + count > (1 << length))
      return false;
    for (int k = 0; k < count; ++k, ++code, ++index)
      if (length <= LookupBits) {
        const int shift = LookupBits - length;
        for (int fill = 0; fill < (1 << shift); ++fill)
          fast_[(code << shift) | fill] = UWORD((length << 8) | symbols_[index]);
      }
    code <<= 1;
  }
  defined_ = true;
  return true;
}

int qzmJpegHuffmanTable::DecodeLong(qzmJpegBitReader& reader) const {
  const int bits = int(reader.Peek(16));
  for (int length = LookupBits + 1; length <= 16; ++length) {
    const int code = bits >> (16 - length);
    if (code <= maxCode_[length]) {
      reader.Skip(length);
      return symbols_[firstIndex_[length] + code];
    }
  }
  return -1;
}
