// JPEG-LS lossless and near-lossless streams through CharLS.
#ifndef QZM_JPEG_LS_DECODER_H
#define QZM_JPEG_LS_DECODER_H

#include "codecs/qzmPixelDecoder.h"

class qzmJpegLsDecoder : public qzmPixelDecoder {
 public:
  bool Decode(const UBYTE* data, ULONG size, const qzmPixelLayout& layout, UBYTE* out,
              qzcString& photometric) const override;
};

#endif
