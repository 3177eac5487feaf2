// Frame operations on prepared pixels: accumulation, masking, cropping,
// halving, flips and the cached statistics; every in-place change advances
// the stamp of Pixels.
#include "frame/TestFrames.h"
#include "lib/ReportCapture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

using testframes::Make;
using testframes::Pad;
using testframes::Values;
typedef std::vector<UWORD> V;

namespace {

// Accumulates the frames (signed when asked) into a maximum and a minimum.
void Accumulate(std::initializer_list<qzmMedicalFrame*> frames, bool isSigned, qzmMedicalFrame& max,
                qzmMedicalFrame& min) {
  for (qzmMedicalFrame* frame : frames) {
    frame->Structure.Sample.PixelRepresentation = isSigned;
    ASSERT_TRUE(max.Accumulate(*frame, "max"));
    ASSERT_TRUE(min.Accumulate(*frame, "min"));
  }
}

TEST(FrameOperations, AccumulationKeepsTheMaximumOrMinimum) {
  ReportCapture reports;
  qzmMedicalFrame first, second, max, min;
  Make(first, 1, 2, 8, 8, {10, 200});
  Make(second, 1, 2, 8, 8, {50, 100});
  Accumulate({&first, &second}, false, max, min);
  EXPECT_EQ(Values(max), (V{50, 200}));
  EXPECT_EQ(Values(min), (V{10, 100}));
  EXPECT_EQ(Values(first), (V{10, 200}));  // the buffer owns its memory

  qzmMedicalFrame larger;
  Make(larger, 2, 2, 8, 8, {1, 2, 3, 4});
  const ULONG date = max.Pixels.Date;
  EXPECT_FALSE(max.Accumulate(larger, "max"));
  EXPECT_HAS(reports.Errors(), "should have the same structure!");
  EXPECT_EQ(Values(max), (V{50, 200}));
  EXPECT_EQ(max.Pixels.Date, date);
  EXPECT_FALSE(qzmMedicalFrame().Accumulate(first, "avg"));
  EXPECT_HAS(reports.Errors(), "unknown accumulating mode avg!");

  // Signed frames compare as numbers: -1000, 500, -1000 (12 bits) and 200,
  // -200, -200.
  qzmMedicalFrame a, b, signedMax, signedMin;
  Make(a, 1, 3, 16, 12, {0xFC18, 500, 0x0C18});
  Make(b, 1, 3, 16, 12, {200, 0xFF38, 0xFF38});
  Accumulate({&a, &b}, true, signedMax, signedMin);
  EXPECT_EQ(Values(signedMax), (V{200, 500, 0xFF38}));
  EXPECT_EQ(Values(signedMin), (V{0xFC18, 0xFF38, 0xFC18}));
}

TEST(FrameOperations, AccumulationSkipsPaddingAndColour) {
  ReportCapture reports;
  // Pixels that are padding in every frame keep the buffer's extreme.
  qzmMedicalFrame padded, buffer;
  Make(padded, 1, 2, 8, 8, {0x80, 0x05});
  padded.Structure.Sample.PixelRepresentation = 1;
  Pad(padded, SWORD(0x80));
  ASSERT_TRUE(buffer.Accumulate(padded, "min"));
  EXPECT_EQ(Values(buffer), (V{0x7F, 0x05}));
  qzmMedicalFrame frame, unsignedBuffer;
  Make(frame, 1, 2, 16, 12, {1000, 4000});
  Pad(frame, 4000);
  ASSERT_TRUE(unsignedBuffer.Accumulate(frame, "max"));
  EXPECT_EQ(Values(unsignedBuffer), (V{1000, 0}));

  qzmMedicalFrame rgb;
  Make(rgb, 1, 1, 8, 8, {1, 2, 3}, "RGB", 3);
  EXPECT_FALSE(unsignedBuffer.Accumulate(rgb, "max"));
  EXPECT_HAS(reports.Errors(), "accumulating not supported for Samples per Pixel = 3!");
}

TEST(FrameOperations, MaskZeroesMarkedPixels) {
  ReportCapture reports;
  qzmMedicalFrame frame, mask;
  Make(frame, 1, 3, 16, 16, {7, 8, 9});
  Make(mask, 1, 3, 8, 8, {0, 0, 0});
  const ULONG date = frame.Pixels.Date;
  ASSERT_TRUE(frame.Mask(mask, "zero"));
  EXPECT_EQ(Values(frame), (V{7, 8, 9}));
  EXPECT_GT(frame.Pixels.Date, date);
  Make(mask, 1, 3, 8, 8, {0, 255, 1});
  ASSERT_TRUE(frame.Mask(mask, "zero"));
  EXPECT_EQ(Values(frame), (V{7, 0, 0}));
  EXPECT_FALSE(frame.Mask(mask, "one"));
  Make(mask, 3, 1, 8, 8, {0, 0, 0});
  EXPECT_FALSE(frame.Mask(mask, "zero"));
  EXPECT_HAS(reports.Errors(), "frame and mask do not fit!");
}

TEST(FrameOperations, CropKeepsTheRectangle) {
  ReportCapture reports;
  V values(24);
  for (UWORD k = 0; k < 24; ++k)
    values[k] = k;
  qzmMedicalFrame frame;
  Make(frame, 4, 6, 8, 8, values);
  const ULONG date = frame.Pixels.Date;
  ASSERT_TRUE(frame.Crop(2, 1, 3, 2));
  EXPECT_EQ(Values(frame), (V{8, 9, 10, 14, 15, 16}));
  EXPECT_EQ(frame.Structure.Rows, 2);
  EXPECT_EQ(frame.Structure.Columns, 3);
  EXPECT_EQ(frame.Structure.NumberOfSamples, 6u);
  EXPECT_GT(frame.Pixels.Date, date);

  Make(frame, 4, 6, 8, 8, values);
  EXPECT_TRUE(frame.Crop(3, 0, 3, 4));
  Make(frame, 4, 6, 8, 8, values);
  EXPECT_FALSE(frame.Crop(3, 0, 4, 4));
  EXPECT_HAS(reports.Errors(), "wrong cropping coordinates x:3 y:0 w:4 h:4, frame has 4 rows and 6 columns!");
}

TEST(FrameOperations, HalveAveragesBlocks) {
  ReportCapture reports;
  const struct {
    const char* name;
    UWORD rows, columns, allocated, stored, samples;
    V values;
    int padding;
    bool isSigned;
    V expected;
  } rows[] = {
      {"grey", 2, 2, 16, 16, 1, {10, 11, 12, 14}, -1, false, {11}},
      {"padding left out", 2, 2, 16, 16, 1, {1000, 10, 1000, 15}, 1000, false, {12}},
      {"padding only", 2, 2, 16, 16, 1, {1000, 10, 1000, 1000}, 1000, false, {1000}},
      {"colour keeps the top-left pixel", 2, 2, 8, 8, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, -1, false, {1, 2, 3}},
      // -2, 2, -2, 2 give 0 and -1, -2, -2, -2 give -1 (fractions dropped).
      {"signed",
       2,
       4,
       16,
       16,
       1,
       {UWORD(-2), 2, UWORD(-1), UWORD(-2), UWORD(-2), 2, UWORD(-2), UWORD(-2)},
       -1,
       true,
       {0, UWORD(-1)}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    qzmMedicalFrame frame;
    Make(frame, row.rows, row.columns, row.allocated, row.stored, row.values, row.samples == 3 ? "RGB" : "MONOCHROME2",
         row.samples);
    frame.Structure.Sample.PixelRepresentation = row.isSigned;
    if (row.padding >= 0)
      Pad(frame, SWORD(row.padding));
    ASSERT_TRUE(frame.Halve());
    EXPECT_EQ(Values(frame), row.expected);
  }
  qzmMedicalFrame frame;
  Make(frame, 2, 2, 16, 12, {0xC00, 0xC00, 0x400, 0x400});  // signed 12 bits stored in 16
  frame.Structure.Sample.PixelRepresentation = 1;
  frame.HasPixelSpacing = true;
  frame.PixelSpacing[0] = 0.5f;
  frame.PixelSpacing[1] = 0.25f;
  ASSERT_TRUE(frame.Halve());
  EXPECT_EQ(Values(frame)[0] & 0xFFF, 0);
  EXPECT_EQ(frame.Structure.NumberOfPixels, 1u);
  EXPECT_FLOAT_EQ(frame.PixelSpacing[1], 0.5f);

  Make(frame, 5, 4, 8, 8, V(20));
  EXPECT_FALSE(frame.Halve());
  EXPECT_HAS(reports.Errors(), "frame dimensions (rows: 5, cols: 4) should be even!");
}

TEST(FrameOperations, Flips) {
  qzmMedicalFrame frame;
  Make(frame, 2, 2, 8, 8, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, "RGB", 3);
  const ULONG date = frame.Pixels.Date;
  ASSERT_TRUE(frame.Fliph());
  EXPECT_EQ(Values(frame), (V{4, 5, 6, 1, 2, 3, 10, 11, 12, 7, 8, 9}));
  ASSERT_TRUE(frame.Flipv());
  EXPECT_EQ(Values(frame), (V{10, 11, 12, 7, 8, 9, 4, 5, 6, 1, 2, 3}));
  EXPECT_EQ(frame.Pixels.Date, date + 2);
  Make(frame, 3, 1, 16, 12, {1, 2, 3});
  ASSERT_TRUE(frame.Fliph());
  EXPECT_EQ(Values(frame), (V{1, 2, 3}));
  Make(frame, 1, 3, 16, 12, {1, 2, 3});
  ASSERT_TRUE(frame.Flipv());
  EXPECT_EQ(Values(frame), (V{1, 2, 3}));
}

TEST(FrameOperations, StatisticsSkipPaddingAndFollowTheStamp) {
  ReportCapture reports;
  qzmMedicalFrame frame;
  Make(frame, 2, 2, 16, 12, {2, 4, 999, 999});
  Pad(frame, 999);
  EXPECT_DOUBLE_EQ(frame.GetMean(), 1.5);
  EXPECT_EQ(frame.GetMax(), 4);
  EXPECT_EQ(frame.GetMin(), 2);
  // The cache answers until the pixels change.
  frame.Pixels.Value.OW().GetMemoryLocation()[0] = 3000;
  EXPECT_EQ(frame.GetMax(), 4);
  ASSERT_TRUE(frame.Fliph());
  EXPECT_EQ(frame.GetMax(), 3000);

  // Signed values take the sign of their stored bits, whatever the unit
  // holds above them: -1024 stored in 12 of 16 bits, -1 in 8 of 8.
  qzmMedicalFrame ct, bytes;
  Make(ct, 1, 4, 16, 12, {0x0C00, 0xFC00, 0x07FF, 0});
  ct.Structure.Sample.PixelRepresentation = 1;
  EXPECT_EQ(ct.GetMin(), -1024);
  EXPECT_EQ(ct.GetMax(), 2047);
  EXPECT_DOUBLE_EQ(ct.GetMean(), (-1024 - 1024 + 2047) / 4.0);
  Make(bytes, 1, 2, 8, 8, {0xFF, 0x7F});
  bytes.Structure.Sample.PixelRepresentation = 1;
  EXPECT_EQ(bytes.GetMin(), -1);
  EXPECT_EQ(bytes.GetMax(), 127);

  // Unsigned frames without padding: only the stored bits count, wherever
  // they lie (12 bits at bits 2 to 13 here), and bytes as they are.
  qzmMedicalFrame shifted, unsignedBytes;
  Make(shifted, 1, 3, 16, 12, {0xC004, 0x3FFC, 0x0009});
  shifted.Structure.Sample.SetBitsAllocatedStoredHigh(16, 12, 13);
  EXPECT_EQ(shifted.GetMin(), 1);
  EXPECT_EQ(shifted.GetMax(), 4095);
  EXPECT_DOUBLE_EQ(shifted.GetMean(), 4098 / 3.0);
  Make(unsignedBytes, 1, 2, 8, 8, {0xFF, 0x01});
  EXPECT_EQ(unsignedBytes.GetMin(), 1);
  EXPECT_EQ(unsignedBytes.GetMax(), 255);
  EXPECT_DOUBLE_EQ(unsignedBytes.GetMean(), 128.0);

  qzmMedicalFrame rgb;
  Make(rgb, 1, 2, 8, 8, {1, 2, 3, 4, 5, 6}, "RGB", 3);
  EXPECT_EQ(rgb.GetMax(), 0);
  EXPECT_HAS(reports.Warnings(), "unable to get max from frame when Samples per Pixel = 3!");
}

}  // namespace

namespace {

// A one-row frame of prepared 32-bit samples: integers of the bits stored
// given, or floats.
template <typename T>
void MakeWide(qzmMedicalFrame& frame, const std::vector<T>& values, UWORD stored, bool floating) {
  Make(frame, 1, UWORD(values.size()), 8, 8, V(values.size(), 0));
  frame.Structure.Sample.SetBitsAllocatedStoredHigh(32, stored, UWORD(stored - 1));
  frame.Structure.Sample.FloatingPoint = floating;
  qzcDataLocation<UBYTE>& bytes = frame.Pixels.Value.OB();
  bytes.Clear();
  bytes.SetSize(ULONG(4 * values.size()));
  bytes.AllocateMemory();
  std::memcpy(bytes.GetMemoryLocation(), values.data(), 4 * values.size());
}

template <typename T>
std::vector<T> WideValues(qzmMedicalFrame& frame) {
  std::vector<T> values(frame.Pixels.Value.OB().GetSize() / 4);
  std::memcpy(values.data(), frame.Pixels.Value.OB().GetMemoryLocation(), 4 * values.size());
  return values;
}

}  // namespace

// Masking zeroes whole 32-bit samples; accumulation compares the numbers
// (24-bit two's complement, floats with NaN skipped) and keeps the type.
TEST(FrameOperations, WideSamplesMaskAndAccumulate) {
  ReportCapture reports;
  qzmMedicalFrame frame, mask;
  MakeWide<ULONG>(frame, {0x12345678, 0xFFFFFFFF, 7, 0x80000000}, 32, false);
  Make(mask, 1, 4, 8, 8, {0, 1, 0, 255});
  ASSERT_TRUE(frame.Mask(mask, "zero"));
  EXPECT_EQ(WideValues<ULONG>(frame), (std::vector<ULONG>{0x12345678, 0, 7, 0}));

  // -1, 5, -8388608 and 8388607 in 24 bits, against 3, -2, 0, 0.
  qzmMedicalFrame a, b, max;
  MakeWide<ULONG>(a, {0xFFFFFF, 5, 0x800000, 0x7FFFFF}, 24, false);
  MakeWide<ULONG>(b, {3, 0xFFFFFE, 0, 0}, 24, false);
  a.Structure.Sample.PixelRepresentation = b.Structure.Sample.PixelRepresentation = 1;
  ASSERT_TRUE(max.Accumulate(a, "max"));
  ASSERT_TRUE(max.Accumulate(b, "max"));
  std::vector<ULONG> got = WideValues<ULONG>(max);
  for (ULONG& v : got)
    v &= 0xFFFFFF;
  EXPECT_EQ(got, (std::vector<ULONG>{3, 5, 0, 0x7FFFFF}));

  const float nan = std::numeric_limits<float>::quiet_NaN();
  qzmMedicalFrame f, g, min;
  MakeWide<float>(f, {1.5f, nan, -2.25f, 4}, 32, true);
  MakeWide<float>(g, {-1, 3, nan, 8}, 32, true);
  ASSERT_TRUE(min.Accumulate(f, "min"));
  ASSERT_TRUE(min.Accumulate(g, "min"));
  EXPECT_EQ(WideValues<float>(min), (std::vector<float>{-1, 3, -2.25f, 4}));
  EXPECT_TRUE(min.Structure.Sample.FloatingPoint);
  // Integers and floats of one width are not one structure.
  EXPECT_FALSE(min.Accumulate(b, "min"));
}
