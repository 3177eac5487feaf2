// Pixel preparation: planes, RLE decoding and its refusals, fragments,
// representation change, raw organisation, inversion, packed samples.
#include "frame/FrameSets.h"
#include "frame/TestFrames.h"
#include "lib/ReportCapture.h"

#include <gtest/gtest.h>

#include <limits>

using namespace framesets;

namespace {

std::vector<UBYTE> Text(const std::string& text) {
  return std::vector<UBYTE>(text.begin(), text.end());
}

TEST(PixelPreparation, ColourByPlaneBecomesColourByPixel) {
  ReportCapture reports;
  Layout layout;
  layout.rows = 1;
  layout.photometric = "RGB";
  layout.samples = 3;
  layout.planar = 1;
  qzmDicomDataElementSet set;
  ByteSet(set, layout, Text("RRGGBB"));
  qzmMedicalFrame frame;
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  ASSERT_TRUE(frame.ArePixelsReady());
  EXPECT_EQ(frame.Structure.PlanarConfiguration, 0);
  EXPECT_EQ(PixelValues(frame), (std::vector<UWORD>{'R', 'G', 'B', 'R', 'G', 'B'}));
  EXPECT_NE(reports.Warnings().find("Planar Configuration changed to color-by-pixel (0)."), std::string::npos);
  // The set's own bytes are not reorganised.
  EXPECT_EQ(set[Tag(0x7FE0, 0x0010)].OB().GetMemoryLocation()[1], 'R');
}

TEST(PixelPreparation, RlePackBitsRuns) {
  ReportCapture reports;
  Layout layout;
  layout.columns = 3;
  // Literal "abc", "x" repeated three times, a no-op control byte.
  const std::vector<UBYTE> segment{0x02, 'a', 'b', 'c', 0xFE, 'x', 0x80};
  qzmDicomDataElementSet set;
  EncapsulatedSet(set, layout, RleSyntax, Encapsulated({}, {RleFrame({segment})}));
  qzmMedicalFrame frame;
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  ASSERT_TRUE(frame.ArePixelsReady());
  EXPECT_EQ(PixelValues(frame), (std::vector<UWORD>{'a', 'b', 'c', 'x', 'x', 'x'}));
  EXPECT_EQ(reports.WarningCount(), 0u);
}

TEST(PixelPreparation, RleColourSegmentsArePlanes) {
  ReportCapture reports;
  Layout layout;
  layout.rows = 1;
  layout.photometric = "RGB";
  layout.samples = 3;
  qzmDicomDataElementSet set;
  EncapsulatedSet(set, layout, RleSyntax,
                  Encapsulated({0}, {RleFrame({{0xFF, 'r'}, {0x01, 'g', 'h'}, {0xFF, 'b'}})}));
  qzmMedicalFrame frame;
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  ASSERT_TRUE(frame.ArePixelsReady());
  EXPECT_EQ(PixelValues(frame), (std::vector<UWORD>{'r', 'g', 'b', 'r', 'h', 'b'}));
}

TEST(PixelPreparation, RleDataThatDoNotFitAreRefused) {
  ReportCapture reports;
  Layout layout;
  qzmDicomDataElementSet set;
  qzmMedicalFrame frame;
  EncapsulatedSet(set, layout, RleSyntax, Encapsulated({}, {RleFrame({{0x03, 1, 2, 3, 4}, {0x03, 1, 2, 3, 4}})}));
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_FALSE(frame.ArePixelsReady());
  EXPECT_NE(reports.Errors().find("ooops, the RLE header is wrong (1 segments attended, 2 specified)!"),
            std::string::npos);

  // 16 and 4 bits allocated decode but are not reorganised.
  for (UWORD bits : {16, 4}) {
    layout.allocated = layout.stored = bits;
    layout.high = UWORD(bits - 1);
    std::vector<std::vector<UBYTE>> segments(bits == 16 ? 2 : 1, std::vector<UBYTE>{0xFD, 7});
    EncapsulatedSet(set, layout, RleSyntax, Encapsulated({}, {RleFrame(segments)}));
    ASSERT_TRUE(frame.UpdateFrom(set, 1));
    EXPECT_FALSE(frame.ArePixelsReady());
  }
  EXPECT_NE(reports.Errors().find("unsupported structure!"), std::string::npos);

  // A segment offset past the data, a run longer than the image (cut at
  // its end), an item
  // longer than the element.
  layout = Layout();
  std::vector<UBYTE> rle = RleFrame({{0x03, 1, 2, 3, 4}});
  rle[4] = 0xF0;
  EncapsulatedSet(set, layout, RleSyntax, Encapsulated({}, {rle}));
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_FALSE(frame.ArePixelsReady());
  EXPECT_NE(reports.Errors().find("RLE segment 1 lies outside the data"), std::string::npos);

  EncapsulatedSet(set, layout, RleSyntax, Encapsulated({}, {RleFrame({{0x81, 9}})}));
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  ASSERT_TRUE(frame.ArePixelsReady());
  EXPECT_EQ(PixelValues(frame), (std::vector<UWORD>{9, 9, 9, 9}));

  // Two bytes give at most 128 samples: a frame of 129 pixels, or of
  // 65535 x 65535 pixels from a damaged size, is refused before its buffer
  // is allocated.
  layout.rows = 1;
  layout.columns = 128;
  EncapsulatedSet(set, layout, RleSyntax, Encapsulated({}, {RleFrame({{0x81, 9}})}));
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_TRUE(frame.ArePixelsReady());
  for (UWORD side : {129, 65535}) {
    layout.columns = side;
    layout.rows = side == 129 ? 1 : side;
    EncapsulatedSet(set, layout, RleSyntax, Encapsulated({}, {RleFrame({{0x81, 9}})}));
    ASSERT_TRUE(frame.UpdateFrom(set, 1));
    EXPECT_FALSE(frame.ArePixelsReady());
  }
  EXPECT_NE(reports.Errors().find("RLE data of 2 bytes can not fill 1 segments of 4294836225 pixels!"),
            std::string::npos);
  layout = Layout();

  std::vector<UBYTE> items = Encapsulated({}, {RleFrame({{0x03, 1, 2, 3, 4}})});
  items[12] = 0xFF;
  EncapsulatedSet(set, layout, RleSyntax, items);
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_FALSE(frame.ArePixelsReady());
  EXPECT_NE(reports.Errors().find("runs past the end of the pixel data"), std::string::npos);
}

TEST(PixelPreparation, OtherCompressedSyntaxesAreNotDecoded) {
  ReportCapture reports;
  qzmDicomDataElementSet set;
  EncapsulatedSet(set, Layout(), JpegSyntax, Encapsulated({}, {{0xFF, 0xD8}}));
  qzmMedicalFrame frame;
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_FALSE(frame.ArePixelsReady());
  EXPECT_NE(reports.Warnings().find("(syntax is 1.2.840.10008.1.2.4.50)"), std::string::npos);
}

TEST(PixelPreparation, SignedSamplesBecomeUnsigned) {
  ReportCapture reports;
  Layout layout;
  layout.rows = 1;
  layout.columns = 3;
  layout.allocated = layout.stored = 16;
  layout.high = 15;
  layout.representation = 1;
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
}

TEST(PixelPreparation, RawOrganisationUnpacksAndReplacesPadding) {
  ReportCapture reports;
  Layout layout;
  layout.rows = 1;
  layout.columns = 3;
  layout.allocated = 16;
  layout.stored = 12;
  layout.high = 15;  // stored bits at the top of the word
  qzmDicomDataElementSet set;
  WordSet(set, layout, {0x123F, 0xFFF0, 0x0010});
  qzmMedicalFrame frame;
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  frame.HasPixelPaddingValue = true;
  frame.PixelPaddingValue = 0xFFF;
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
  Layout layout;
  layout.columns = 2;
  layout.allocated = layout.stored = 12;
  layout.high = 11;
  qzmDicomDataElementSet set;
  WordSet(set, layout, {0x6123, 0x8945, 0xABC7});
  qzmMedicalFrame frame;
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  ASSERT_TRUE(frame.GetOrganizedToRaw(frame.OrganizedRaw));
  EXPECT_EQ(testframes::Words(frame.OrganizedRaw), (std::vector<UWORD>{0x123, 0x456, 0x789, 0xABC}));

  // 16-bit samples declared as OB are read as little-endian words.
  layout.allocated = layout.stored = 16;
  layout.high = 15;
  ByteSet(set, layout, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08});
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_EQ(frame.GetMax(), 0x0807);
}

TEST(PixelPreparation, InversionKeepsPadding) {
  ReportCapture reports;
  qzmMedicalFrame frame;
  testframes::Make(frame, 1, 3, 8, 8, {0, 100, 255});
  frame.Resampled8.Value = frame.Pixels.Value;
  frame.Resampled8.Date = 5;
  frame.HasPixelPaddingValue = true;
  frame.PixelPaddingValue = 100;
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
