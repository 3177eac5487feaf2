// Window mapping, the four resampling methods and the colour
// reorganisations, on frames built in memory.
#include "frame/TestFrames.h"
#include "lib/ReportCapture.h"

#include <gtest/gtest.h>

namespace {

typedef qzmMedicalFrame::ReSamplingMethod Method;

std::vector<UBYTE> To8(qzmMedicalFrame& frame, bool window, Method method) {
  EXPECT_TRUE(frame.GetResampledTo8(frame.Resampled8, window, method));
  return testframes::Bytes(frame.Resampled8);
}

std::vector<UWORD> To16(qzmMedicalFrame& frame, bool window, Method method) {
  EXPECT_TRUE(frame.GetResampledTo16(frame.Resampled16, window, method));
  return testframes::Words(frame.Resampled16);
}

// A 12-bit frame with the stored window 864/400: 664 to 1063.
void MakeWindowedCT(qzmMedicalFrame& frame, const std::vector<UWORD>& values) {
  testframes::Make(frame, 1, UWORD(values.size()), 16, 12, values);
  frame.Windowing.HasWindowing = true;
  frame.Windowing.StoredWindowWidth = 400;
  frame.Windowing.StoredWindowMin = 664;
  frame.Windowing.StoredWindowMax = 1063;
}

TEST(WindowMapping, MapsTheStoredWindowOntoTheFullRange) {
  qzmMedicalFrame frame;
  MakeWindowedCT(frame, {663, 664, 864, 1063, 1064});
  EXPECT_EQ((std::vector<UBYTE>{0, 0, 127, 254, 255}), To8(frame, true, Method::linear));
  EXPECT_EQ((std::vector<UWORD>{0, 0, 32767, 65371, 65535}), To16(frame, true, Method::linear));
}

TEST(WindowMapping, PaddingPixelsBecomeZero) {
  qzmMedicalFrame frame;
  MakeWindowedCT(frame, {1064, 2000});
  frame.HasPixelPaddingValue = true;
  frame.PixelPaddingValue = 2000;
  EXPECT_EQ((std::vector<UBYTE>{255, 0}), To8(frame, true, Method::linear));
}

TEST(WindowMapping, ZeroWidthIsAThresholdAtTheMinimum) {
  ReportCapture reports;
  qzmMedicalFrame frame;
  testframes::Make(frame, 1, 3, 16, 16, {99, 100, 101});
  frame.Windowing.HasWindowing = true;
  frame.Windowing.StoredWindowWidth = 0;
  frame.Windowing.StoredWindowMin = 100;
  frame.Windowing.StoredWindowMax = 99;
  EXPECT_EQ((std::vector<UBYTE>{0, 0, 255}), To8(frame, true, Method::linear));
  EXPECT_EQ((std::vector<UWORD>{0, 0, 65535}), To16(frame, true, Method::linear));
}

TEST(WindowMapping, MissingWindowWarnsAndResamplesInstead) {
  ReportCapture reports;
  qzmMedicalFrame frame;
  testframes::Make(frame, 1, 2, 16, 12, {0, 4095});
  EXPECT_EQ((std::vector<UBYTE>{0, 255}), To8(frame, true, Method::shift));
  EXPECT_NE(std::string::npos, reports.Warnings().find("there is no Windowing informations!"));
}

TEST(Resampling, LinearScalesTheMaximumWithASinglePrecisionScale) {
  qzmMedicalFrame frame;
  testframes::Make(frame, 1, 3, 16, 12, {0, 500, 1000});
  EXPECT_EQ((std::vector<UBYTE>{0, 127, 254}), To8(frame, false, Method::linear));
  qzmMedicalFrame full;
  testframes::Make(full, 1, 2, 16, 12, {0, 4095});
  EXPECT_EQ((std::vector<UBYTE>{0, 255}), To8(full, false, Method::linear));
  EXPECT_EQ((std::vector<UWORD>{0, 65534}), To16(full, false, Method::linear));
}

TEST(Resampling, AllZeroFrameStaysZeroUnderLinear) {
  qzmMedicalFrame frame;
  testframes::Make(frame, 2, 2, 16, 16, {0, 0, 0, 0});
  EXPECT_EQ((std::vector<UBYTE>(4, 0)), To8(frame, false, Method::linear));
  EXPECT_EQ((std::vector<UWORD>(4, 0)), To16(frame, false, Method::linear));
}

TEST(Resampling, ShiftUsesTheStoredBits) {
  qzmMedicalFrame twelve;
  testframes::Make(twelve, 1, 2, 16, 12, {4095, 16});
  EXPECT_EQ((std::vector<UBYTE>{255, 1}), To8(twelve, false, Method::shift));
  EXPECT_EQ((std::vector<UWORD>{65520, 256}), To16(twelve, false, Method::shift));
  qzmMedicalFrame six;
  testframes::Make(six, 1, 1, 8, 6, {63});
  EXPECT_EQ((std::vector<UBYTE>{252}), To8(six, false, Method::shift));
}

TEST(Resampling, NearUsesTheSignificantBitsOfTheMaximum) {
  qzmMedicalFrame frame;
  testframes::Make(frame, 1, 2, 16, 12, {1000, 4});
  EXPECT_EQ((std::vector<UBYTE>{250, 1}), To8(frame, false, Method::near));
  EXPECT_EQ((std::vector<UWORD>{64000, 256}), To16(frame, false, Method::near));
}

TEST(Resampling, NoMethodAndPaletteKeepTheLowBits) {
  qzmMedicalFrame frame;
  testframes::Make(frame, 1, 2, 16, 12, {0x123, 0x0FF});
  frame.HasPixelPaddingValue = true;  // padding pixels are kept too
  frame.PixelPaddingValue = 0x0FF;
  EXPECT_EQ((std::vector<UBYTE>{0x23, 0xFF}), To8(frame, false, Method::no));
  qzmMedicalFrame palette;
  testframes::Make(palette, 1, 2, 16, 12, {0x123, 7}, "PALETTE COLOR");
  palette.Windowing.HasWindowing = true;
  palette.Windowing.StoredWindowWidth = 10;
  EXPECT_EQ((std::vector<UBYTE>{0x23, 7}), To8(palette, true, Method::linear));
  EXPECT_EQ((std::vector<UWORD>{0x123, 7}), To16(palette, true, Method::linear));
}

TEST(Resampling, PackedSamplesAreReadThroughTheirLayout) {
  qzmMedicalFrame frame;
  // Two 12-bit samples 0xABC and 0x123 packed in 12-bit allocations.
  testframes::Make(frame, 1, 2, 12, 12, {0x3ABC, 0x12});
  EXPECT_EQ((std::vector<UBYTE>{0xAB, 0x12}), To8(frame, false, Method::shift));
}

TEST(Resampling, EightBitFramesArePassedThrough) {
  qzmMedicalFrame frame;
  testframes::Make(frame, 2, 2, 8, 8, {1, 2, 3, 200});
  EXPECT_EQ((std::vector<UBYTE>{1, 2, 3, 200}), To8(frame, false, Method::near));
  EXPECT_EQ(frame.Pixels.Value.OB().GetMemoryLocation(), frame.Resampled8.Value.OB().GetMemoryLocation());
  EXPECT_FALSE(frame.Resampled8.Value.OB().IsOwned());

  // A padding value is mapped to 0, so the pixels are not passed through.
  qzmMedicalFrame padded;
  testframes::Make(padded, 1, 2, 8, 8, {10, 200});
  padded.HasPixelPaddingValue = true;
  padded.PixelPaddingValue = 200;
  EXPECT_EQ((std::vector<UBYTE>{10, 0}), To8(padded, false, Method::shift));
  EXPECT_EQ(200, padded.Pixels.Value.OB().GetMemoryLocation()[1]);
}

TEST(Resampling, PassThroughImageIsNeverWrittenLater) {
  qzmMedicalFrame frame;
  testframes::Make(frame, 1, 2, 8, 8, {10, 20});
  To8(frame, false, Method::near);
  frame.Pixels.Date += 1;  // the pixels changed: the image is computed again, in a block of its own
  EXPECT_EQ((std::vector<UBYTE>{127, 255}), To8(frame, false, Method::linear));
  EXPECT_NE(frame.Pixels.Value.OB().GetMemoryLocation(), frame.Resampled8.Value.OB().GetMemoryLocation());
  EXPECT_EQ(10, frame.Pixels.Value.OB().GetMemoryLocation()[0]);
}

TEST(Resampling, ImageIsKeptUntilThePixelsChange) {
  qzmMedicalFrame frame;
  testframes::Make(frame, 1, 2, 16, 12, {4095, 16});
  EXPECT_EQ((std::vector<UBYTE>{255, 1}), To8(frame, false, Method::shift));
  EXPECT_EQ((std::vector<UBYTE>{255, 1}), To8(frame, false, Method::no));  // cached, arguments ignored
  frame.Pixels.Date += 1;
  EXPECT_EQ((std::vector<UBYTE>{0xFF, 16}), To8(frame, false, Method::no));
}

TEST(Resampling, RefusesSeveralSamplesAndShortPixelData) {
  ReportCapture reports;
  qzmMedicalFrame rgb;
  testframes::Make(rgb, 1, 1, 8, 8, {1, 2, 3}, "RGB", 3);
  EXPECT_FALSE(rgb.GetResampledTo8(rgb.Resampled8, false, Method::linear));
  EXPECT_NE(std::string::npos, reports.Warnings().find("unable to resample frame when Samples per Pixel = 3!"));

  qzmMedicalFrame lying;
  testframes::Make(lying, 1, 4, 16, 12, {1, 2, 3, 4});
  lying.Structure.Rows = 100;
  lying.Structure.NumberOfPixels = 400;
  EXPECT_FALSE(lying.GetResampledTo16(lying.Resampled16, false, Method::linear));
  EXPECT_NE(std::string::npos, reports.Errors().find("pixel data hold 4 samples, 400 expected!"));
}

TEST(ColourReorganisation, BgrReversesEachPixel) {
  qzmMedicalFrame frame;
  testframes::Make(frame, 1, 2, 8, 8, {1, 2, 3, 4, 5, 6}, "RGB", 3);
  ASSERT_TRUE(frame.GetResampledToBGR24(frame.ResampledBGR24));
  EXPECT_EQ((std::vector<UBYTE>{3, 2, 1, 6, 5, 4}), testframes::Bytes(frame.ResampledBGR24));
  ASSERT_TRUE(frame.GetResampledToRGB24(frame.ResampledRGB24));
  EXPECT_EQ(frame.Pixels.Value.OB().GetMemoryLocation(), frame.ResampledRGB24.Value.OB().GetMemoryLocation());
}

TEST(ColourReorganisation, SamplesAreScaledToTheTargetWidth) {
  qzmMedicalFrame frame;
  testframes::Make(frame, 1, 1, 16, 12, {0xFFF, 0x800, 0x010}, "RGB", 3);
  ASSERT_TRUE(frame.GetResampledToBGR24(frame.ResampledBGR24));
  EXPECT_EQ((std::vector<UBYTE>{0x01, 0x80, 0xFF}), testframes::Bytes(frame.ResampledBGR24));
  ASSERT_TRUE(frame.GetResampledToRGB48(frame.ResampledRGB48));
  EXPECT_EQ((std::vector<UWORD>{0xFFF0, 0x8000, 0x0100}), testframes::Words(frame.ResampledRGB48));

  qzmMedicalFrame eight;
  testframes::Make(eight, 1, 1, 8, 8, {0xFF, 0x80, 0x01}, "RGB", 3);
  ASSERT_TRUE(eight.GetResampledToRGB48(eight.ResampledRGB48));
  EXPECT_EQ((std::vector<UWORD>{0xFF00, 0x8000, 0x0100}), testframes::Words(eight.ResampledRGB48));
}

TEST(ColourReorganisation, OtherInterpretationsAreNamedInTheRefusal) {
  ReportCapture reports;
  qzmMedicalFrame frame;
  testframes::Make(frame, 1, 1, 8, 8, {1, 2, 3}, "HSV", 3);
  EXPECT_FALSE(frame.GetResampledToBGR24(frame.ResampledBGR24));
  EXPECT_NE(std::string::npos,
            reports.Errors().find("unable to reorganize to BGR when Photometric Interpretation is HSV!"));
  EXPECT_FALSE(frame.GetResampledToRGB48(frame.ResampledRGB48));
  EXPECT_NE(std::string::npos,
            reports.Errors().find("unable to reorganize to RGB when Photometric Interpretation is HSV!"));
}

}  // namespace
