// Operations on prepared pixels: masking, cropping, halving, flips,
// accumulation, statistics; window mapping and resampling. Buffers hold
// units past the frame's samples, which no operation may touch; every
// in-place change advances the stamp of Pixels.
#include "frame/TestFrames.h"
#include "lib/ReportCapture.h"

#include <gtest/gtest.h>

#include <functional>
#include <numeric>

// GCC 12 at -O2 takes the vectors of the row tables below for uninitialised.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

typedef std::vector<UWORD> V;
typedef std::vector<UBYTE> B;
typedef qzmMedicalFrame::ReSamplingMethod Method;
using testframes::Bytes;
using testframes::Make;
using testframes::Words;
typedef qzmMedicalFrame F;

namespace {

// A frame's pixels; high -1 puts the stored bits at the bottom.
struct Pixels {
  UWORD rows, columns, allocated, stored;
  V values;
  UWORD representation = 0;
  int padding = -1, high = -1;
  UWORD samples = 1;
};

F& Build(F& frame, const Pixels& p) {
  V units;  // 32 bits allocated: the values as little-endian 32-bit units
  for (UWORD v : p.values)
    units.insert(units.end(), {UWORD(v & 0xFF), UWORD(v >> 8), 0, 0});
  const bool wide = p.allocated == 32;
  testframes::Make(frame, p.rows, p.columns, wide ? 8 : p.allocated, wide ? 8 : p.stored, wide ? units : p.values,
                   p.samples == 3 ? "RGB" : "MONOCHROME2", p.samples);
  frame.Structure.Sample.PixelRepresentation = p.representation;
  frame.Structure.Sample.SetBitsAllocatedStoredHigh(p.allocated, p.stored, UWORD(p.high < 0 ? p.stored - 1 : p.high));
  if (p.padding >= 0)
    testframes::Pad(frame, SWORD(p.padding));
  return frame;
}

// One operation per row: the pixels after it (empty: refused, the pixels
// left as they were) and the error it reports.
TEST(FrameOperations, InPlaceOperations) {
  const auto crop = [](UWORD x, UWORD y, UWORD w, UWORD h) { return [=](F& f) { return f.Crop(x, y, w, h); }; };
  const auto mask = [](Pixels p, const char* mode = "zero") {
    return [=](F& f) {
      F m;
      return f.Mask(Build(m, p), mode);
    };
  };
  const std::function<bool(F&)> halve = &F::Halve, fliph = &F::Fliph, flipv = &F::Flipv;
  V ramp(24), rgb{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 99};
  std::iota(ramp.begin(), ramp.end(), 0);
  const Pixels grey{1, 3, 8, 8, {7, 8, 9}}, colour{2, 2, 8, 8, rgb, 0, -1, -1, 3};
  const struct {
    Pixels in;
    std::function<bool(F&)> operation;
    V expected;
    const char* report = "";
  } rows[] = {
      {{4, 6, 8, 8, ramp}, crop(2, 1, 3, 2), {8, 9, 10, 14, 15, 16}},
      {{4, 6, 16, 16, ramp}, crop(3, 0, 3, 4), {3, 4, 5, 9, 10, 11, 15, 16, 17, 21, 22, 23}},
      {{4, 6, 8, 8, ramp}, crop(3, 0, 4, 4), {}, "wrong cropping coordinates x:3 y:0 w:4 h:4, frame has 4 rows"},
      {{4, 6, 8, 8, ramp}, crop(0, 1, 6, 4), {}, "wrong cropping"},
      {{2, 4, 16, 16, {10, 11, 1, 1, 12, 14, 1, 1}}, halve, {11, 1}},
      {{2, 4, 32, 32, {10, 11, 1, 1, 12, 14, 1, 1}}, halve, {11, 0, 0, 0, 1, 0, 0, 0}},
      {{2, 4, 32, 32, {1, 1, 7, 7, 1, 1, 7, 7}, 0, 7}, halve, {1, 0, 0, 0, 7, 0, 0, 0}},  // a block of padding
      {{1, 3, 32, 32, {1, 2, 3}}, fliph, {3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0}},
      {{2, 2, 16, 16, {1000, 10, 1000, 15}, 0, 1000}, halve, {12}},  // padding left out
      {{2, 2, 16, 16, {1000, 10, 1000, 1000}, 0, 1000}, halve, {1000}},
      {colour, halve, {1, 2, 3}},  // colour: the top-left pixel
      // -2, 2, -2, 2 give 0 and -1, -2, -2, -2 give -1 (fractions dropped);
      // 12 signed bits in 16, the bits above them set or not.
      {{2, 4, 16, 16, {65534, 2, 65535, 65534, 65534, 2, 65534, 65534}, 1}, halve, {0, 65535}},
      {{2, 2, 16, 12, {0xC00, 0xFC00, 0x400, 0x400}, 1}, halve, {0}},
      {{5, 4, 8, 8, V(20)}, halve, {}, "frame dimensions (rows: 5, cols: 4) should be even!"},
      {{2, 4, 16, 16, {1, 2, 3, 4, 5, 6, 7, 8, 97, 98, 99, 100}}, fliph, {4, 3, 2, 1, 8, 7, 6, 5, 97, 98, 99, 100}},
      {colour, fliph, {4, 5, 6, 1, 2, 3, 10, 11, 12, 7, 8, 9, 99}},
      {colour, flipv, {7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6, 99}},
      {{3, 1, 16, 12, {1, 2, 3, 99}}, flipv, {3, 2, 1, 99}},
      {{1, 3, 16, 16, {7, 8, 9, 10}}, mask({1, 3, 8, 8, {0, 255, 1, 1}}), {7, 0, 0, 10}},
      {{1, 2, 8, 8, {1, 2, 3, 4, 5, 6, 7}, 0, -1, -1, 3}, mask({1, 2, 8, 8, {1, 0, 1}}), {0, 0, 0, 4, 5, 6, 7}},
      {grey, mask({1, 3, 8, 8, {0, 1, 0}}, "one"), {}, "unknown masking mode one!"},
      {grey, mask({3, 3, 8, 8, V(9)}), {}, "frame and mask do not fit!"},
      {grey, mask({1, 2, 8, 8, V(2)}), {}, "frame and mask do not fit!"},
      {grey, mask({1, 3, 8, 8, V(2)}), {}, "mask VR <> OB"},  // too short
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(&row - rows);
    ReportCapture reports;
    F frame;
    Build(frame, row.in);
    const ULONG date = frame.Pixels.Date;
    ASSERT_EQ(row.operation(frame), !row.expected.empty());
    EXPECT_EQ(testframes::Values(frame), row.expected.empty() ? row.in.values : row.expected);
    EXPECT_EQ(frame.Pixels.Date, row.expected.empty() ? date : date + 1);
    EXPECT_HAS(reports.Errors(), row.report ? row.report : "");
  }
  // Halving doubles the spacing; the geometry follows each operation.
  F frame;
  Build(frame, {2, 4, 16, 16, V(8)}).HasPixelSpacing = true;
  frame.PixelSpacing[0] = frame.PixelSpacing[1] = 0.25f;
  ASSERT_TRUE(frame.Halve() && frame.SpacingChanged && frame.Crop(1, 0, 1, 1));
  EXPECT_EQ(frame.PixelSpacing[0] + frame.PixelSpacing[1], 1.0f);
  const struct qzmMedicalFrame::Structure& s = frame.Structure;
  EXPECT_EQ(V({s.Rows, s.Columns, UWORD(s.NumberOfPixels), UWORD(s.NumberOfSamples)}), V({1, 1, 1, 1}));
}

// Frames accumulated into a maximum and a minimum; units past the frame keep the start.
TEST(FrameOperations, AccumulationKeepsTheMaximumOrMinimum) {
  const struct {
    std::vector<Pixels> frames;
    V max, min;
  } rows[] = {
      {{{1, 2, 8, 8, {10, 200, 1}}, {1, 2, 8, 8, {50, 100, 1}}}, {50, 200, 0}, {10, 100, 255}},
      // -1000, 500, -1000 (12 bits) and 200, -200, -200.
      {{{1, 3, 16, 12, {0xFC18, 500, 0x0C18}, 1}, {1, 3, 16, 12, {200, 0xFF38, 0xFF38}, 1}},
       {200, 500, 0xFF38},
       {0xFC18, 0xFF38, 0xFC18}},
      // Pixels that are padding in every frame keep the buffer's extreme.
      {{{1, 2, 8, 8, {0x80, 0x05}, 1, 0x80}}, {0x80, 0x05}, {0x7F, 0x05}},
      {{{1, 2, 16, 12, {1000, 4000}, 0, 4000}}, {1000, 0}, {1000, 0xFFFF}},
      // 24-bit numbers in 32-bit units start from the extremes of their layout.
      {{{1, 2, 32, 24, {7, 9}, 0, 7}}, {0, 0, 0, 0, 9, 0, 0, 0}, {255, 255, 255, 255, 9, 0, 0, 255}},
      {{{1, 2, 32, 24, {7, 9}, 1, 7}}, {0, 0, 0x80, 0, 9, 0, 0, 0}, {255, 255, 0x7F, 255, 9, 0, 0, 255}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(&row - rows);
    F max, min, frame;
    for (const Pixels& pixels : row.frames) {
      const V before = testframes::Values(Build(frame, pixels));
      ASSERT_TRUE(max.Accumulate(frame, "max") && min.Accumulate(frame, "min"));
      EXPECT_EQ(testframes::Values(frame), before);  // the buffer owns its memory
    }
    EXPECT_EQ(testframes::Values(max), row.max);
    EXPECT_EQ(testframes::Values(min), row.min);
  }
  ReportCapture reports;  // frames of another structure, or of colour, are refused
  F buffer, frame, rgb;
  Build(frame, {1, 2, 8, 8, {1, 2}});
  ASSERT_TRUE(buffer.Accumulate(frame, "max"));
  EXPECT_FALSE(buffer.Accumulate(Build(frame, {2, 1, 8, 8, {1, 2}}), "max") ||
               buffer.Accumulate(Build(frame, {1, 2, 8, 8, {1, 2}, 1}), "max") || F().Accumulate(frame, "avg") ||
               F().Accumulate(Build(rgb, {1, 1, 8, 8, {1, 2, 3}, 0, -1, -1, 3}), "max"));
  EXPECT_HAS(reports.Errors(), "should have the same structure!");
  EXPECT_HAS(reports.Errors(), "unknown accumulating mode avg!");
  EXPECT_HAS(reports.Errors(), "accumulating not supported for Samples per Pixel = 3!");
}

TEST(FrameOperations, StatisticsSkipPadding) {
  const struct {
    Pixels in;
    double min, max, mean;
  } rows[] = {
      {{2, 2, 16, 12, {2, 4, 999, 999, 5000}, 0, 999}, 2, 4, 1.5},  // padding counts in the mean's divisor
      {{1, 3, 16, 16, {0, 0, 7}, 0, 7}, 0, 0, 0},  // black but for padding
      // Signed values take the sign of their stored bits (-1024 in 12 of 16 bits).
      {{1, 4, 16, 12, {0x0C00, 0xFC00, 0x07FF, 0, 0x800}, 1}, -1024, 2047, (-1024 - 1024 + 2047) / 4.0},
      {{1, 3, 16, 16, {0x8000, 5, 3, 0x7FFF}, 1, 5}, -32768, 3, -32765 / 3.0},
      // Only the stored bits count, wherever they lie (bits 2 to 13 here).
      {{1, 3, 16, 12, {0xC004, 0x3FFC, 0x0009, 0}, 0, -1, 13}, 1, 4095, 4098 / 3.0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(&row - rows);
    F frame;
    Build(frame, row.in);
    EXPECT_EQ(std::vector<double>({double(frame.GetMin()), double(frame.GetMax()), frame.GetMean()}),
              std::vector<double>({row.min, row.max, row.mean}));
  }
}

B To8(qzmMedicalFrame& frame, bool window, Method method) {
  EXPECT_TRUE(frame.GetResampledTo8(frame.Resampled8, window, method));
  return Bytes(frame.Resampled8);
}

V To16(qzmMedicalFrame& frame, bool window, Method method) {
  EXPECT_TRUE(frame.GetResampledTo16(frame.Resampled16, window, method));
  return Words(frame.Resampled16);
}

// One row of pixels mapped to 8 and 16 bits (empty: not checked); width -2
// maps without window, -1 asks for the window of a frame that has none.
struct Mapping {
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
      // The stored window 864/400 spans 664 to 1063; padding gives 0.
      {16,
       12,
       {664, 864, 1063, 1064, 2000},
       linear,
       {0, 127, 254, 255, 0},
       {0, 32767, 65371, 65535, 0},
       400,
       664,
       2000},
      {16, 16, {99, 100, 101}, linear, {0, 0, 255}, {0, 0, 65535}, 0, 100},  // width 0: a threshold
      // Products taken in single precision, as the scale: exact multiples do
      // not fall one level low (160 x 255 / 400 = 102, 240 x 255 / 400 = 153).
      {16, 12, {824, 904}, linear, {102, 153}, {26214, 39321}, 400, 664},
      // Two's complement: -160, 0, 80, -1000, 1200 in the window -160 to 239.
      {16, 12, {0xF60, 0, 80, 0xC18, 1200}, linear, {0, 102, 153, 0, 255}, {}, 400, -160, -1, 1},
      // -1000, 0, 1000: from the minimum to the maximum.
      {16, 12, {0xC18, 0, 1000}, linear, {0, 127, 254}, {0, 32767, 65535}, -2, 0, -1, 1},
      // -2048, 0, 2047 as offset binary; -2000 (0x830 in 12 bits) is padding.
      {16, 12, {0x800, 0, 0x7FF, 0xF830}, shift, {0, 128, 255, 0}, {0, 32768, 65520, 0}, -2, 0, 0xF830, 1},
      {16, 12, {0, 4095}, shift, {0, 255}, {}, -1},  // no window: resampled instead
      {16, 16, {0, 0, 0, 0}, linear, {0, 0, 0, 0}, {0, 0, 0, 0}},
      {16, 12, {100, 200, 4000}, linear, {127, 254, 0}, {32767, 65534, 0}, -2, 0, 4000},
      {16, 12, {4095, 16}, shift, {255, 1}, {65520, 256}},
      {8, 6, {63}, shift, {252}, {64512}},
      {16, 12, {1000, 4}, Method::near, {250, 1}, {64000, 256}},
      // No method keeps the low bits, and the padding pixels; so do palettes.
      {16, 12, {0x123, 0x0FF}, Method::no, {0x23, 0xFF}, {0x123, 0xFF}, -2, 0, 0x0FF},
      {16, 12, {0x123, 7}, linear, {0x23, 7}, {0x123, 7}, 10, 0, -1, 0, "PALETTE COLOR"},
      {8, 8, {10, 200}, shift, {10, 0}, {}, -2, 0, 200},  // 8 bits with padding are mapped
  };
  for (const Mapping& row : rows) {
    SCOPED_TRACE(&row - rows);
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
    if (!row.to16.empty()) {
      EXPECT_EQ(row.to16, To16(frame, row.width != -2, row.method));
    }
    // The frame's own pixels are never written.
    EXPECT_EQ(row.values, testframes::Values(frame));
  }
}

// 32-bit numbers through a window given in numbers (center 150, width 100), padding black; or as stored.
TEST(Resampling, WideSamplesThroughAWindow) {
  F frame;
  Build(frame, {1, 5, 32, 32, {100, 150, 200, 7, 250}, 0, 7});
  frame.Windowing.HasWindowing = true, frame.Windowing.Center = 150, frame.Windowing.Width = 100;
  EXPECT_EQ(To8(frame, true, Method::linear), (B{0, 127, 254, 0, 255}));
  F stored;  // no resampling keeps the low bits, padding included
  EXPECT_EQ(To8(Build(stored, {1, 3, 32, 32, {100, 7, 0x1FF}, 0, 7}), false, Method::no), (B{100, 7, 0xFF}));
}

// The image is kept until the pixels change; the pixel data must hold it.
TEST(Resampling, ImagesFollowTheStampOfThePixels) {
  qzmMedicalFrame frame;
  Make(frame, 1, 2, 16, 12, {4095, 16});
  EXPECT_EQ((B{255, 1}), To8(frame, false, Method::shift));
  EXPECT_EQ((B{255, 1}), To8(frame, false, Method::no));  // cached, arguments ignored
  frame.Pixels.Date += 1;
  EXPECT_EQ((B{0xFF, 16}), To8(frame, false, Method::no));
  // A frame whose pixel data hold fewer samples than its geometry says.
  ReportCapture reports;
  qzmMedicalFrame lying;
  Make(lying, 1, 4, 16, 12, {1, 2, 3, 4});
  lying.Structure.Rows = 100;
  lying.Structure.NumberOfPixels = 400;
  EXPECT_FALSE(lying.GetResampledTo16(lying.Resampled16, false, Method::linear));
  EXPECT_HAS(reports.Errors(), "pixel data hold 4 samples, 400 expected!");
  Build(lying, {1, 2, 32, 32, {1, 2}}).Structure.Rows = 100;  // and of 32-bit samples
  lying.Structure.NumberOfPixels = 200;
  EXPECT_FALSE(lying.GetResampledTo16(lying.Resampled16, false, Method::linear));
  // 32-bit samples resampled by their maximum's bits; colour as BGR bytes.
  F wide;
  EXPECT_EQ(To8(Build(wide, {1, 2, 32, 24, {1000, 4}}), false, Method::near), (B{250, 1}));
  Make(frame, 1, 2, 8, 8, {1, 2, 3, 4, 5, 6}, "RGB", 3);
  ASSERT_TRUE(frame.GetResampledToBGR24(frame.ResampledBGR24));
  EXPECT_EQ(Bytes(frame.ResampledBGR24), (B{3, 2, 1, 6, 5, 4}));
}

}  // namespace
