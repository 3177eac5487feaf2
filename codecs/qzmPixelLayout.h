// The layout a data set announces for the samples of its frames: what a
// decoder's output must fill and what its code stream must agree with.
#ifndef QZM_PIXEL_LAYOUT_H
#define QZM_PIXEL_LAYOUT_H

#include "lib/qzcString.h"
#include "lib/qzcTypes.h"

struct qzmPixelLayout {
  UWORD Rows = 0;
  UWORD Columns = 0;
  UWORD SamplesPerPixel = 1;
  UWORD BitsAllocated = 0;  // 8, 16 or 32: the unit of one decoded sample
  UWORD BitsStored = 0;
  UWORD PixelRepresentation = 0;  // 0 unsigned, 1 two's complement
  UWORD PlanarConfiguration = 0;  // as stored; decoded frames are colour-by-pixel
  qzcString PhotometricInterpretation;

  unsigned long long NumberOfSamples() const {
    return (unsigned long long)(Rows) * Columns * SamplesPerPixel;
  }
  unsigned BytesPerSample() const { return (BitsAllocated + 7u) / 8u; }
  // Size of one decoded frame; computed in 64 bits so that no layout wraps.
  unsigned long long FrameBytes() const { return NumberOfSamples() * BytesPerSample(); }
};

#endif
