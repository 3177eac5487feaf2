// JPEG baseline and extended DCT streams through libjpeg-turbo (8-bit); 12-bit streams go to the in-house qzmJpegExtended12Decoder.
#ifndef QZM_JPEG_BASELINE_DECODER_H
#define QZM_JPEG_BASELINE_DECODER_H

#include "codecs/qzmPixelDecoder.h"

class qzmJpegBaselineDecoder : public qzmPixelDecoder {
 public:
  bool Decode(const UBYTE* data, ULONG size, const qzmPixelLayout& layout, UBYTE* out,
              qzcString& photometric) const override;
};

#endif
