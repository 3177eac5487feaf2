// Window mapping, the four resampling methods and the colour
// reorganisations, on frames built in memory.
#include "frame/TestFrames.h"
#include "lib/ReportCapture.h"

#include <gtest/gtest.h>

namespace {

typedef qzmMedicalFrame::ReSamplingMethod Method;
typedef std::vector<UBYTE> B;
typedef std::vector<UWORD> V;
using testframes::Bytes;
using testframes::Make;
using testframes::Words;

B To8(qzmMedicalFrame& frame, bool window, Method method) {
  EXPECT_TRUE(frame.GetResampledTo8(frame.Resampled8, window, method));
  return Bytes(frame.Resampled8);
}

V To16(qzmMedicalFrame& frame, bool window, Method method) {
  EXPECT_TRUE(frame.GetResampledTo16(frame.Resampled16, window, method));
  return Words(frame.Resampled16);
}

// One row of pixels mapped to 8 and 16 bits (an empty expectation is not
// checked). width -2 maps without window, -1 asks for the window of a frame
// that has none.
struct Mapping {
  const char* name;
  UWORD allocated, stored;
  V values;
  Method method;
  B to8;
  V to16;
  int width = -2, min = 0, padding = -1;
  UWORD representation = 0;
  const char* photometric = "MONOCHROME2";
};

TEST(Resampling, MappingsOfGreyAndPaletteFrames) {
  ReportCapture reports;
  const Method linear = Method::linear, shift = Method::shift;
  const Mapping rows[] = {
      // The stored window 864/400 spans 664 to 1063.
      {"window", 16, 12, {664, 864, 1063, 1064}, linear, {0, 127, 254, 255}, {0, 32767, 65371, 65535}, 400, 664},
      {"window, padding to 0", 16, 12, {1064, 2000}, linear, {255, 0}, {65535, 0}, 400, 664, 2000},
      {"window of width 0: a threshold", 16, 16, {99, 100, 101}, linear, {0, 0, 255}, {0, 0, 65535}, 0, 100},
      // Products taken in single precision, as the scale: exact multiples do
      // not fall one level low (160 x 255 / 400 = 102, 240 x 255 / 400 = 153).
      {"window, exact products", 16, 12, {824, 904}, linear, {102, 153}, {26214, 39321}, 400, 664},
      // Two's complement 12 bits: -160, 0, 80, -1000, 1200 in the window
      // from -160 of width 400.
      {"signed window", 16, 12, {0xF60, 0, 80, 0xC18, 1200}, linear, {0, 102, 153, 0, 255}, {}, 400, -160, -1, 1},
      // -1000, 0, 1000: from the minimum to the maximum.
      {"signed linear", 16, 12, {0xC18, 0, 1000}, linear, {0, 127, 254}, {0, 32767, 65535}, -2, 0, -1, 1},
      // -2048, 0, 2047 as offset binary; -2000 (0x830 in 12 bits) is padding.
      {"signed shift",
       16,
       12,
       {0x800, 0, 0x7FF, 0xF830},
       shift,
       {0, 128, 255, 0},
       {0, 32768, 65520, 0},
       -2,
       0,
       0xF830,
       1},
      {"no window: resampled instead", 16, 12, {0, 4095}, shift, {0, 255}, {}, -1},
      {"linear, full range", 16, 12, {0, 4095}, linear, {0, 255}, {0, 65534}},
      {"linear, all zero", 16, 16, {0, 0, 0, 0}, linear, {0, 0, 0, 0}, {0, 0, 0, 0}},
      {"linear with padding", 16, 12, {100, 200, 4000}, linear, {127, 254, 0}, {32767, 65534, 0}, -2, 0, 4000},
      {"shift, 12 bits", 16, 12, {4095, 16}, shift, {255, 1}, {65520, 256}},
      {"shift, 6 bits", 8, 6, {63}, shift, {252}, {64512}},
      {"near, maximum 1000", 16, 12, {1000, 4}, Method::near, {250, 1}, {64000, 256}},
      // No method keeps the low bits, and the padding pixels.
      {"no method", 16, 12, {0x123, 0x0FF}, Method::no, {0x23, 0xFF}, {0x123, 0xFF}, -2, 0, 0x0FF},
      {"palette indices unchanged", 16, 12, {0x123, 7}, linear, {0x23, 7}, {0x123, 7}, 10, 0, -1, 0, "PALETTE COLOR"},
      {"8 bits with padding are mapped", 8, 8, {10, 200}, shift, {10, 0}, {}, -2, 0, 200},
  };
  for (const Mapping& row : rows) {
    SCOPED_TRACE(row.name);
    qzmMedicalFrame frame;
    Make(frame, 1, UWORD(row.values.size()), row.allocated, row.stored, row.values, row.photometric);
    frame.Structure.Sample.PixelRepresentation = row.representation;
    frame.Windowing.HasWindowing = row.width >= 0;  // stored, from min to min + width - 1
    frame.Windowing.StoredWindowWidth = UWORD(row.width);
    frame.Windowing.StoredWindowMin = row.min;
    frame.Windowing.StoredWindowMax = row.min + row.width - 1;
    frame.HasPixelPaddingValue = row.padding >= 0;
    frame.PixelPaddingValue = SWORD(row.padding);
    EXPECT_EQ(row.to8, To8(frame, row.width != -2, row.method));
    if (!row.to16.empty())
      EXPECT_EQ(row.to16, To16(frame, row.width != -2, row.method));
    // The frame's own pixels are never written.
    EXPECT_EQ(row.values, testframes::Values(frame));
  }
  EXPECT_HAS(reports.Warnings(), "there is no Windowing informations!");
}

// The image is kept until the pixels change.
TEST(Resampling, ImagesFollowTheStampOfThePixels) {
  qzmMedicalFrame frame;
  Make(frame, 1, 2, 16, 12, {4095, 16});
  EXPECT_EQ((B{255, 1}), To8(frame, false, Method::shift));
  EXPECT_EQ((B{255, 1}), To8(frame, false, Method::no));  // cached, arguments ignored
  frame.Pixels.Date += 1;
  EXPECT_EQ((B{0xFF, 16}), To8(frame, false, Method::no));
  // An 8-bit frame is its own image.
  qzmMedicalFrame bytes;
  Make(bytes, 1, 2, 8, 8, {10, 20});
  EXPECT_EQ((B{10, 20}), To8(bytes, false, Method::near));
  EXPECT_EQ(bytes.Pixels.Value.OB().GetMemoryLocation(), bytes.Resampled8.Value.OB().GetMemoryLocation());
}

// A frame whose pixel data hold fewer samples than its geometry says.
TEST(Resampling, RefusesShortPixelData) {
  ReportCapture reports;
  qzmMedicalFrame lying;
  Make(lying, 1, 4, 16, 12, {1, 2, 3, 4});
  lying.Structure.Rows = 100;
  lying.Structure.NumberOfPixels = 400;
  EXPECT_FALSE(lying.GetResampledTo16(lying.Resampled16, false, Method::linear));
  EXPECT_HAS(reports.Errors(), "pixel data hold 4 samples, 400 expected!");
}

// Colour by pixel as BGR bytes and RGB words, from the stored bits.
TEST(ColourReorganisation, OrderAndWidthOfTheSamples) {
  ReportCapture reports;
  qzmMedicalFrame frame, hsv;
  Make(frame, 1, 2, 16, 12, {0xFFF, 0x800, 0x010, 1, 2, 3}, "RGB", 3);
  ASSERT_TRUE(frame.GetResampledToBGR24(frame.ResampledBGR24) && frame.GetResampledToRGB48(frame.ResampledRGB48));
  EXPECT_EQ(Bytes(frame.ResampledBGR24), (B{0x01, 0x80, 0xFF, 0, 0, 0}));
  EXPECT_EQ(Words(frame.ResampledRGB48), (V{0xFFF0, 0x8000, 0x0100, 16, 32, 48}));
  Make(hsv, 1, 1, 8, 8, {1, 2, 3}, "HSV", 3);
  EXPECT_FALSE(hsv.GetResampledToBGR24(hsv.ResampledBGR24) || hsv.GetResampledToRGB48(hsv.ResampledRGB48));
  EXPECT_HAS(reports.Errors(), "unable to reorganize to RGB when Photometric Interpretation is HSV!");
}

}  // namespace
