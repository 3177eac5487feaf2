// RLE Lossless: a 64-byte header (segment count and up to 15 segment
// offsets, little endian) followed by PackBits segments, one per byte plane:
// for each sample of a pixel, its bytes from the most significant down. Each
// segment is decoded into its own fixed place of the output, so a damaged
// segment can never move the bytes of another one; a segment that decodes to
// fewer or more bytes than the frame has pixels refuses the frame.
#include "codecs/qzmRleDecoder.h"

#include "lib/qzcByteOrder.h"
#include "lib/qzcError.h"

#include <cstring>

namespace {

const char* const DecodeSignature =
    "bool qzmRleDecoder::Decode( const UBYTE*, ULONG, const qzmPixelLayout&, UBYTE*, qzcString& ) const";

const ULONG HeaderBytes = 64;
const ULONG MaximumSegments = 15;

ULONG Little32(const UBYTE* p) {
  return ULONG(p[0]) | ULONG(p[1]) << 8 | ULONG(p[2]) << 16 | ULONG(p[3]) << 24;
}

// How one segment's PackBits runs ended: how many output bytes they gave
// (at most the plane's size), and whether a run went past the plane.
struct SegmentResult {
  ULONG Decoded = 0;
  bool Overflow = false;
};

// Decodes the runs of [in, inEnd) into plane bytes out[0], out[stride], ...
// out[(count - 1) * stride]. A run is cut at the plane's end and marks the
// segment as overflowing; input left after the plane is full must be
// padding (no-op controls or the segment's even-length pad byte).
template <ULONG Stride>
SegmentResult DecodePlane(const UBYTE* in, const UBYTE* inEnd, UBYTE* out, ULONG count, ULONG stride) {
  const ULONG step = Stride ? Stride : stride;
  SegmentResult result;
  ULONG position = 0;
  while (in < inEnd) {
    const int control = static_cast<signed char>(*in++);
    if (control == -128)
      continue;
    if (position == count) {
      // A run after the plane is full: one trailing pad byte is allowed.
      result.Overflow = inEnd - in > 0 || control != 0;
      break;
    }
    if (control >= 0) {
      ULONG run = ULONG(control) + 1;
      if (run > ULONG(inEnd - in))
        break;  // the literal is cut short: the segment is short
      if (run > count - position) {
        result.Overflow = true;
        run = count - position;
      }
      if (step == 1) {
        std::memcpy(out + position, in, run);
      } else {
        for (ULONG k = 0; k < run; ++k)
          out[(position + k) * step] = in[k];
      }
      in += control + 1;
      position += run;
    } else {
      if (in == inEnd)
        break;
      ULONG run = ULONG(1 - control);
      if (run > count - position) {
        result.Overflow = true;
        run = count - position;
      }
      const UBYTE value = *in++;
      if (step == 1) {
        std::memset(out + position, value, run);
      } else {
        for (ULONG k = 0; k < run; ++k)
          out[(position + k) * step] = value;
      }
      position += run;
    }
    if (result.Overflow)
      break;
  }
  result.Decoded = position;
  return result;
}

// The place of segment s's first byte in the output: sample s / bytes of the
// first pixel, byte plane s % bytes counted from the most significant.
ULONG PlaneStart(ULONG segment, ULONG bytesPerSample) {
  const ULONG sample = segment / bytesPerSample;
  const ULONG significance = segment % bytesPerSample;  // 0: most significant
  const ULONG byte = qzcByteOrder::hostIsLittleEndian ? bytesPerSample - 1 - significance : significance;
  return sample * bytesPerSample + byte;
}

bool CheckLayout(const qzmPixelLayout& layout) {
  const bool bitsOk = layout.BitsAllocated == 8 || layout.BitsAllocated == 16 || layout.BitsAllocated == 32;
  if (!bitsOk || layout.SamplesPerPixel < 1 || layout.SamplesPerPixel > 3) {
    qzcError(DecodeSignature, "RLE data of %u samples of %u bits allocated can not be decoded!",
             unsigned(layout.SamplesPerPixel), unsigned(layout.BitsAllocated))
        .Report();
    return false;
  }
  return true;
}

// The segment offsets of the header, each checked to lie in the data and
// to follow the one before; ends[s] is where segment s stops.
bool ReadSegments(const UBYTE* data, ULONG size, ULONG expected, ULONG* starts, ULONG* ends) {
  if (size < HeaderBytes) {
    qzcError(DecodeSignature, "RLE header of %lu bytes is truncated!", (unsigned long)(size)).Report();
    return false;
  }
  const ULONG segments = Little32(data);
  if (segments != expected) {
    qzcError(DecodeSignature, "ooops, the RLE header is wrong (%lu segments attended, %lu specified)!",
             (unsigned long)(expected), (unsigned long)(segments))
        .Report();
    return false;
  }
  for (ULONG s = 0; s < segments; ++s) {
    starts[s] = Little32(data + 4 * (s + 1));
    const ULONG previous = s ? starts[s - 1] : HeaderBytes;
    if (starts[s] < previous || starts[s] > size) {
      qzcError(DecodeSignature, "RLE segment %lu lies outside the data (offset %lu, %lu bytes)!",
               (unsigned long)(s + 1), (unsigned long)(starts[s]), (unsigned long)(size))
          .Report();
      return false;
    }
  }
  for (ULONG s = 0; s < segments; ++s)
    ends[s] = s + 1 < segments ? starts[s + 1] : size;
  return true;
}

}  // namespace

bool qzmRleDecoder::Decode(const UBYTE* data, ULONG size, const qzmPixelLayout& layout, UBYTE* out,
                           qzcString&) const {
  if (!CheckLayout(layout))
    return false;
  const ULONG bytesPerSample = layout.BytesPerSample();
  const ULONG segments = bytesPerSample * layout.SamplesPerPixel;
  ULONG starts[MaximumSegments], ends[MaximumSegments];
  if (!ReadSegments(data, size, segments, starts, ends))
    return false;
  const ULONG pixels = ULONG(layout.Rows) * layout.Columns;
  for (ULONG s = 0; s < segments; ++s) {
    UBYTE* plane = out + PlaneStart(s, bytesPerSample);
    const UBYTE* in = data + starts[s];
    const UBYTE* inEnd = data + ends[s];
    const SegmentResult result = segments == 1 ? DecodePlane<1>(in, inEnd, plane, pixels, 1)
                                               : DecodePlane<0>(in, inEnd, plane, pixels, segments);
    if (result.Overflow) {
      qzcError(DecodeSignature, "RLE segment %lu is long: its runs go past the %lu bytes of a plane!",
               (unsigned long)(s + 1), (unsigned long)(pixels))
          .Report();
      return false;
    }
    if (result.Decoded != pixels) {
      qzcError(DecodeSignature, "RLE segment %lu is short: %lu of %lu bytes decoded!", (unsigned long)(s + 1),
               (unsigned long)(result.Decoded), (unsigned long)(pixels))
          .Report();
      return false;
    }
  }
  return true;
}
