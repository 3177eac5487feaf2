// JPEG 2000 and High-Throughput JPEG 2000 code streams (raw or JP2-wrapped) through OpenJPEG.
#ifndef QZM_JPEG2000_DECODER_H
#define QZM_JPEG2000_DECODER_H

#include "codecs/qzmPixelDecoder.h"

class qzmJpeg2000Decoder : public qzmPixelDecoder {
 public:
  bool Decode(const UBYTE* data, ULONG size, const qzmPixelLayout& layout, UBYTE* out,
              qzcString& photometric) const override;
};

#endif
