// Pixel preparation: planes, decoding through the codec table and its refusals, fragments,
// representation change, raw organisation, inversion, packed samples.
#include "frame/FrameSets.h"
#include "lib/ReportCapture.h"

#include <gtest/gtest.h>

#include <limits>

using namespace framesets;

namespace {

std::vector<UBYTE> Patched(std::vector<UBYTE> bytes, size_t at, UBYTE value) {
  bytes[at] = value;
  return bytes;
}

TEST(PixelPreparation, ColourByPlaneBecomesColourByPixel) {
  ReportCapture reports;
  qzmDicomDataElementSet set;
  ByteSet(set, Layout{1, 2, 8, 8, 7, 0, 3, 1, 0, "RGB"}, {'R', 'R', 'G', 'G', 'B', 'B'});
  qzmMedicalFrame frame;
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  ASSERT_TRUE(frame.ArePixelsReady());
  EXPECT_EQ(frame.Structure.PlanarConfiguration, 0);
  EXPECT_EQ(PixelValues(frame), (std::vector<UWORD>{'R', 'G', 'B', 'R', 'G', 'B'}));
  EXPECT_HAS(reports.Warnings(), "Planar Configuration changed to color-by-pixel (0).");
  // The set's own bytes are not reorganised.
  EXPECT_EQ(set[Tag(0x7FE0, 0x0010)].OB().GetMemoryLocation()[1], 'R');
}

// Native full-range YBR samples become RGB, whole or shared by pixel pairs;
// the set's own bytes stay as they are.
TEST(PixelPreparation, NativeYbrBecomesRgb) {
  ReportCapture reports;
  const struct {
    const char* photometric;
    std::vector<UBYTE> stored;
  } rows[] = {
      {"YBR_FULL", {76, 85, 255, 128, 85, 255}},
      {"YBR_FULL_422", {76, 128, 85, 255}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.photometric);
    qzmDicomDataElementSet set;
    ByteSet(set, Layout{1, 2, 8, 8, 7, 0, 3, 0, 0, row.photometric}, row.stored);
    qzmMedicalFrame frame;
    ASSERT_TRUE(frame.UpdateFrom(set, 1));
    ASSERT_TRUE(frame.ArePixelsReady()) << reports.Errors();
    EXPECT_EQ(frame.Structure.PhotometricInterpretation, "RGB");
    EXPECT_EQ(PixelValues(frame), (std::vector<UWORD>{254, 0, 0, 255, 52, 52}));
    EXPECT_EQ(set[Tag(0x7FE0, 0x0010)].OB().GetMemoryLocation()[0], 76);
  }
  // A 4:2:2 frame stores two samples per pixel: one less is missing data.
  qzmDicomDataElementSet set;
  ByteSet(set, Layout{1, 2, 8, 8, 7, 0, 3, 0, 0, "YBR_FULL_422"}, {76, 128, 85});
  qzmMedicalFrame frame;
  EXPECT_FALSE(frame.UpdateFrom(set, 1));
  EXPECT_HAS(reports.Errors(), "missing pixel data (4 bytes at least expected, 3 found)!");
}

// Encapsulated frames decoded or refused by the preparation; a refusal
// names its fault.
TEST(PixelPreparation, EncapsulatedFramesDecodedOrRefused) {
  const std::vector<UBYTE> four{0x03, 1, 2, 3, 4}, run{0x81, 9}, sevens{0xFD, 7};
  const struct {
    const char* name;
    Layout layout;
    const char* syntax;
    std::vector<UBYTE> data;
    std::vector<UWORD> expected;  // empty: not prepared
    const char* report;
  } rows[] = {
      // Literal "abc", "x" repeated three times, a no-op control byte.
      {"PackBits runs",
       Layout{2, 3},
       RleSyntax,
       Encapsulated({}, {RleFrame({{0x02, 'a', 'b', 'c', 0xFE, 'x', 0x80}})}),
       {'a', 'b', 'c', 'x', 'x', 'x'},
       ""},
      {"colour segments are planes",
       Layout{1, 2, 8, 8, 7, 0, 3, 0, 0, "RGB"},
       RleSyntax,
       Encapsulated({0}, {RleFrame({{0xFF, 'r'}, {0x01, 'g', 'h'}, {0xFF, 'b'}})}),
       {'r', 'g', 'b', 'r', 'h', 'b'},
       ""},
      {"a run longer than the plane refuses the frame",
       Layout(),
       RleSyntax,
       Encapsulated({}, {RleFrame({run})}),
       {},
       "RLE segment 1 is long"},
      {"two bytes fill 128 samples", Layout{1, 128}, RleSyntax, Encapsulated({}, {RleFrame({run})}),
       std::vector<UWORD>(128, 9), ""},
      {"more segments than samples",
       Layout(),
       RleSyntax,
       Encapsulated({}, {RleFrame({four, four})}),
       {},
       "ooops, the RLE header is wrong (1 segments attended, 2 specified)!"},
      // Decoded samples are whole pixels whatever the interpretation says.
      {"decoded YBR becomes RGB",
       Layout{1, 2, 8, 8, 7, 0, 3, 0, 0, "YBR_FULL_422"},
       RleSyntax,
       Encapsulated({}, {RleFrame({{0x01, 76, 128}, {0xFF, 85}, {0xFF, 255}})}),
       {254, 0, 0, 255, 52, 52},
       ""},
      {"16 bits allocated: the high byte first",
       Layout{2, 2, 16, 16, 15},
       RleSyntax,
       Encapsulated({}, {RleFrame({sevens, {0xFD, 1}})}),
       {0x0701, 0x0701, 0x0701, 0x0701},
       ""},
      {"4 bits allocated",
       Layout{2, 2, 4, 4, 3},
       RleSyntax,
       Encapsulated({}, {RleFrame({sevens})}),
       {},
       "RLE data of 1 samples of 4 bits allocated can not be decoded!"},
      {"segment offset past the data",
       Layout(),
       RleSyntax,
       Encapsulated({}, {Patched(RleFrame({four}), 4, 0xF0)}),
       {},
       "RLE segment 1 lies outside the data"},
      {"a segment one byte short",
       Layout{1, 129},
       RleSyntax,
       Encapsulated({}, {RleFrame({run})}),
       {},
       "RLE segment 1 is short: 128 of 129 bytes decoded!"},
      {"65535 x 65535 pixels from two bytes",
       Layout{65535, 65535},
       RleSyntax,
       Encapsulated({}, {RleFrame({run})}),
       {},
       "a code stream of 66 bytes can not hold a frame of 4294836225 bytes!"},
      {"a damaged JPEG stream names its syntax",
       Layout(),
       JpegSyntax,
       Encapsulated({}, {{0xFF, 0xD8}}),
       {},
       "unable to decode the frame (transfer syntax 1.2.840.10008.1.2.4.50)!"},
      {"a syntax without decoder",
       Layout(),
       "1.2.840.10008.1.2.4.100",
       Encapsulated({}, {{0, 0}}),
       {},
       "pixel data in transfer syntax 1.2.840.10008.1.2.4.100 can not be decoded by this build!"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ReportCapture reports;
    qzmDicomDataElementSet set;
    EncapsulatedSet(set, row.layout, row.syntax, row.data);
    qzmMedicalFrame frame;
    ASSERT_TRUE(frame.UpdateFrom(set, 1));
    EXPECT_EQ(frame.ArePixelsReady(), !row.expected.empty());
    if (row.expected.empty()) {
      EXPECT_HAS(reports.Errors() + reports.Warnings(), row.report);
    } else {
      EXPECT_EQ(PixelValues(frame), row.expected);
      EXPECT_EQ(reports.WarningCount() + reports.ErrorCount(), 0u);
    }
  }
}

TEST(PixelPreparation, SignedSamplesBecomeUnsigned) {
  ReportCapture reports;
  Layout layout{1, 3, 16, 16, 15, 1};
  qzmDicomDataElementSet set;
  WordSet(set, layout, {UWORD(-1024), 0, 3071});
  qzmMedicalFrame frame;
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_EQ(frame.GetMin(), -1024);
  ASSERT_TRUE(frame.ChangePixelRepresentationToUnsigned(1024));
  EXPECT_EQ(PixelValues(frame), (std::vector<UWORD>{0, 1024, 4095}));
  EXPECT_EQ(frame.Structure.Sample.PixelRepresentation, 0);
  EXPECT_FALSE(frame.ChangePixelRepresentationToUnsigned(1024));

  // An offset at the end of its range (a user's --changepr value) adds
  // modulo 2^16 like any other: 0x7FFFFFFF is -1 there.
  WordSet(set, layout, {UWORD(-1024), 0, 3071});
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  ASSERT_TRUE(frame.ChangePixelRepresentationToUnsigned(std::numeric_limits<SLONG>::max()));
  EXPECT_EQ(PixelValues(frame), (std::vector<UWORD>{UWORD(-1025), 0xFFFF, 3070}));

  // 12 signed bits in 16: the offset works modulo the stored bits.
  layout.stored = 12;
  layout.high = 11;
  WordSet(set, layout, {UWORD(0xFFFF), 0x0800, 0x07FF});
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  ASSERT_TRUE(frame.ChangePixelRepresentationToUnsigned(2048));
  std::vector<UWORD> values = PixelValues(frame);
  for (UWORD& v : values)
    v &= 0x0FFF;
  EXPECT_EQ(values, (std::vector<UWORD>{2047, 0, 4095}));

  // The offset is added to the number the stored bits stand for (-1024
  // sign-extended through the word gives 0, not 4096 cut to 0 by luck of the
  // mask); padding -2000 moves with the values and stays recognised; the
  // intercept and the stored window follow, so the image stays the same.
  WordSet(set, layout, {UWORD(-1024), UWORD(-2000), 1000});
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  testframes::Pad(frame, -2000);
  ASSERT_TRUE(frame.SetWindow(40, 400, 0, 1));
  ASSERT_TRUE(frame.GetResampledTo8(frame.Resampled8, true, qzmMedicalFrame::ReSamplingMethod::linear));
  const std::vector<UBYTE> before = testframes::Bytes(frame.Resampled8);
  ASSERT_TRUE(frame.ChangePixelRepresentationToUnsigned(1024));
  values = PixelValues(frame);
  for (UWORD& v : values)
    v &= 0x0FFF;
  EXPECT_EQ(values, (std::vector<UWORD>{0, UWORD(-976) & 0x0FFF, 2024}));
  EXPECT_TRUE(frame.IsPaddingStored(UWORD(-976) & 0x0FFF));
  EXPECT_EQ(frame.Windowing.RescaleIntercept, -1024);
  EXPECT_EQ(frame.Windowing.StoredWindowMin, 864);
  ASSERT_TRUE(frame.GetResampledTo8(frame.Resampled8, true, qzmMedicalFrame::ReSamplingMethod::linear));
  EXPECT_EQ(testframes::Bytes(frame.Resampled8), before);
}

TEST(PixelPreparation, RawOrganisationUnpacksAndReplacesPadding) {
  ReportCapture reports;
  Layout layout{1, 3, 16, 12, 15};  // stored bits at the top of the word
  qzmDicomDataElementSet set;
  WordSet(set, layout, {0x123F, 0xFFF0, 0x0010});
  qzmMedicalFrame frame;
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  testframes::Pad(frame, 0xFFF);
  frame.PaddingReplacement = 7;
  ASSERT_TRUE(frame.GetOrganizedToRaw(frame.OrganizedRaw));
  EXPECT_EQ(testframes::Words(frame.OrganizedRaw), (std::vector<UWORD>{0x123, 7, 0x001}));

  // Whole 16-bit samples without padding are shared, not copied.
  layout.stored = 16;
  WordSet(set, layout, {1, 2, 3});
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  ASSERT_TRUE(frame.GetOrganizedToRaw(frame.OrganizedRaw));
  EXPECT_EQ(frame.OrganizedRaw.Value.OW().GetMemoryLocation(), frame.Pixels.Value.OW().GetMemoryLocation());
}

TEST(PixelPreparation, PackedAndWideByteSamples) {
  ReportCapture reports;
  qzmDicomDataElementSet set;
  WordSet(set, Layout{2, 2, 12, 12, 11}, {0x6123, 0x8945, 0xABC7});
  qzmMedicalFrame frame;
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  ASSERT_TRUE(frame.GetOrganizedToRaw(frame.OrganizedRaw));
  EXPECT_EQ(testframes::Words(frame.OrganizedRaw), (std::vector<UWORD>{0x123, 0x456, 0x789, 0xABC}));

  // 16-bit samples declared as OB are read as little-endian words.
  ByteSet(set, Layout{2, 2, 16, 16, 15}, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08});
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_EQ(frame.GetMax(), 0x0807);
}

TEST(PixelPreparation, InversionKeepsPadding) {
  ReportCapture reports;
  qzmMedicalFrame frame;
  testframes::Make(frame, 1, 3, 8, 8, {0, 100, 255});
  frame.Resampled8.Value = frame.Pixels.Value;
  frame.Resampled8.Date = 5;
  testframes::Pad(frame, 100);
  ASSERT_TRUE(frame.GetInverted8(frame.Resampled8, frame.Inverted8));
  EXPECT_EQ(testframes::Bytes(frame.Inverted8), (std::vector<UBYTE>{255, 100, 0}));
  EXPECT_EQ(frame.Inverted8.Date, 5u);
  testframes::Make(frame, 1, 2, 16, 16, {0, 0x1234});
  frame.Resampled16.Value = frame.Pixels.Value;
  frame.Resampled16.Date = 6;
  ASSERT_TRUE(frame.GetInverted16(frame.Resampled16, frame.Inverted16));
  EXPECT_EQ(testframes::Words(frame.Inverted16), (std::vector<UWORD>{0xFFFF, 0xEDCB}));
}

}  // namespace
