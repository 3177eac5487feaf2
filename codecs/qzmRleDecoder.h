// RLE Lossless: PackBits segments, one per byte plane of each sample, most significant first.
#ifndef QZM_RLE_DECODER_H
#define QZM_RLE_DECODER_H

#include "codecs/qzmPixelDecoder.h"

class qzmRleDecoder : public qzmPixelDecoder {
 public:
  bool Decode(const UBYTE* data, ULONG size, const qzmPixelLayout& layout, UBYTE* out,
              qzcString& photometric) const override;
};

#endif
