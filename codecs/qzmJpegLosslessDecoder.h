// JPEG lossless (process 14, selection values 1 to 7), decoded in-house: precision 2 to 16, 1 to 3 components, restart intervals, point transform.
#ifndef QZM_JPEG_LOSSLESS_DECODER_H
#define QZM_JPEG_LOSSLESS_DECODER_H

#include "codecs/qzmPixelDecoder.h"

class qzmJpegLosslessDecoder : public qzmPixelDecoder {
 public:
  bool Decode(const UBYTE* data, ULONG size, const qzmPixelLayout& layout, UBYTE* out,
              qzcString& photometric) const override;
};

#endif
