// One pixel decoder, chosen when this file is compiled (FUZZ_DECODER names
// its class, FUZZ_DECODER_HEADER its header), on one frame's code stream
// behind six bytes of the layout the set would announce; the decoder must
// refuse a stream that disagrees with it. The layout: rows and columns (16
// bits each, little endian); a flags byte, bit 0 three samples (else one),
// bits 1-2 bits allocated (8, 16, 32), bit 3 signed, bit 4 colour-by-plane,
// bits 5-6 the interpretation of three samples (RGB, YBR_FULL,
// YBR_FULL_422, YBR_RCT); the bits stored.
#include "FuzzSupport.h"

#include FUZZ_DECODER_HEADER

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const UWORD allocations[] = {8, 16, 32, 16};
  static const char* const colours[] = {"RGB", "YBR_FULL", "YBR_FULL_422", "YBR_RCT"};
  if (size < 6)
    return 0;
  fuzzsupport::BeginInput();
  const std::uint8_t flags = data[4];
  qzmPixelLayout layout;
  layout.Rows = UWORD(data[0] | data[1] << 8);
  layout.Columns = UWORD(data[2] | data[3] << 8);
  layout.SamplesPerPixel = (flags & 1) ? 3 : 1;
  layout.BitsAllocated = allocations[(flags >> 1) & 3];
  layout.BitsStored = UWORD(1 + data[5] % layout.BitsAllocated);
  layout.PixelRepresentation = (flags >> 3) & 1;
  layout.PlanarConfiguration = (flags >> 4) & 1;
  layout.PhotometricInterpretation = (flags & 1) ? colours[(flags >> 5) & 3] : "MONOCHROME2";
  // Frames without pixels are refused when the frame is built, before any
  // decoder sees them; frames over 4 MiB would only measure the allocator.
  if (layout.FrameBytes() == 0 || layout.FrameBytes() > (4u << 20))
    return 0;
  // A buffer of its own, so that a read before the stream is caught too.
  const std::vector<UBYTE> stream(data + 6, data + size);
  std::vector<UBYTE> out(layout.FrameBytes(), 0);
  qzcString photometric = layout.PhotometricInterpretation;
  static const FUZZ_DECODER decoder;
  decoder.Decode(stream.data(), ULONG(stream.size()), layout, out.data(), photometric);
  return 0;
}
