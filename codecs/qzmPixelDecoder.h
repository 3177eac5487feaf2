// One pixel decoder: turns the code stream of one frame of encapsulated Pixel
// Data into native samples. Every codec implements it; qzmCodecTable maps
// transfer syntaxes to them.
#ifndef QZM_PIXEL_DECODER_H
#define QZM_PIXEL_DECODER_H

#include "codecs/qzmPixelLayout.h"
#include "lib/qzcString.h"
#include "lib/qzcTypes.h"

class qzmPixelDecoder {
 public:
  virtual ~qzmPixelDecoder() = default;

  // Decodes the code stream of one frame (size bytes at data) into out, which
  // holds layout.FrameBytes() bytes that the caller has zero-filled. Samples
  // are written in units of BitsAllocated bits in host byte order,
  // colour-by-pixel. photometric comes in as the set announces it and goes
  // out as the decoded samples are (YBR data converted to RGB say "RGB").
  // False, after an error report naming what is wrong, when the stream is
  // damaged or disagrees with the layout (dimensions, precision, components);
  // out must then not be used. Never reads outside [data, data + size) nor
  // writes outside out.
  virtual bool Decode(const UBYTE* data, ULONG size, const qzmPixelLayout& layout, UBYTE* out,
                      qzcString& photometric) const = 0;
};

#endif
