// JPEG extended DCT streams of 12-bit precision, decoded in-house (Debian's libjpeg-turbo is 8-bit only).
#ifndef QZM_JPEG_EXTENDED12_DECODER_H
#define QZM_JPEG_EXTENDED12_DECODER_H

#include "codecs/qzmPixelDecoder.h"

class qzmJpegExtended12Decoder : public qzmPixelDecoder {
 public:
  bool Decode(const UBYTE* data, ULONG size, const qzmPixelLayout& layout, UBYTE* out,
              qzcString& photometric) const override;
};

#endif
