// Pixel preparation: planes, YBR, byte-held word samples, decoding through
// the codec table and its refusals, representation change, raw organisation.
#include "frame/FrameSets.h"
#include "lib/ReportCapture.h"

#include <gtest/gtest.h>

#include <limits>

using namespace framesets;
using testframes::Values;
typedef std::vector<UWORD> V;
typedef std::vector<UBYTE> B;

namespace {

Layout Colour(UWORD columns, const char* photometric, UWORD planar = 0) {
  Layout layout{1, columns, 8, 8, 7, 0, 3, planar};
  layout.photometric = photometric;
  return layout;
}

// One set per row, native or encapsulated: the prepared samples (empty:
// not prepared) and a report the preparation gives (none at all for a
// prepared frame without report).
TEST(PixelPreparation, SamplesPreparedOrRefused) {
  const B four{0x03, 1, 2, 3, 4}, run{0x81, 9}, sevens{0xFD, 7};
  B offsetPastTheData = RleFrame({four});
  offsetPastTheData[4] = 0xF0;
  const V rgb{254, 0, 0, 255, 52, 52};
  const char* const Native = "";
  const struct {
    Layout layout;
    const char* syntax;
    B data;
    V expected;
    const char* report;
  } rows[] = {
      {Colour(2, "RGB", 1),
       Native,
       {'R', 'R', 'G', 'G', 'B', 'B'},
       {'R', 'G', 'B', 'R', 'G', 'B'},
       "color-by-pixel (0)."},
      // Native full-range YBR samples become RGB, whole or shared by pixel pairs.
      {Colour(2, "YBR_FULL"), Native, {76, 85, 255, 128, 85, 255, 9}, rgb, ""},
      {Colour(2, "YBR_FULL_422"), Native, {76, 128, 85, 255, 9}, rgb, ""},
      {Colour(2, "YBR_FULL_422"), Native, {76, 128, 85}, {}, "(4 bytes at least expected, 3 found)!"},
      // Samples of more than 8 bits held in bytes are little-endian words.
      {Layout{1, 3, 16, 16, 15}, Native, {1, 2, 3, 4, 5, 6, 7}, {0x0201, 0x0403, 0x0605}, ""},
      {Layout{1, 2, 9, 9, 8}, Native, {5, 0, 0, 0}, {5, 0}, ""},
      // Literal "abc", "x" repeated three times, a no-op control byte.
      {Layout{2, 3}, RleSyntax, RleFrame({{0x02, 'a', 'b', 'c', 0xFE, 'x', 0x80}}), {'a', 'b', 'c', 'x', 'x', 'x'}, ""},
      // Colour segments are planes; decoded samples are whole pixels.
      {Colour(2, "RGB"),
       RleSyntax,
       RleFrame({{0xFF, 'r'}, {0x01, 'g', 'h'}, {0xFF, 'b'}}),
       {'r', 'g', 'b', 'r', 'h', 'b'}},
      {Colour(2, "YBR_FULL_422"), RleSyntax, RleFrame({{0x01, 76, 128}, {0xFF, 85}, {0xFF, 255}}), rgb, ""},
      {Layout(), RleSyntax, RleFrame({run}), {}, "RLE segment 1 is long"},
      {Layout{1, 128}, RleSyntax, RleFrame({run}), V(128, 9), ""},
      {Layout(), RleSyntax, RleFrame({four, four}), {}, "the RLE header is wrong (1 segments attended, 2 specified)!"},
      {Layout{2, 2, 16, 16, 15}, RleSyntax, RleFrame({sevens, {0xFD, 1}}), V(4, 0x0701), ""},  // the high byte first
      {Layout{2, 2, 4, 4, 3}, RleSyntax, RleFrame({sevens}), {}, "1 samples of 4 bits allocated can not be decoded!"},
      {Layout(), RleSyntax, offsetPastTheData, {}, "RLE segment 1 lies outside the data"},
      {Layout{1, 129}, RleSyntax, RleFrame({run}), {}, "RLE segment 1 is short: 128 of 129 bytes decoded!"},
      {Layout{65535, 65535}, RleSyntax, RleFrame({run}), {}, "a code stream of 66 bytes can not hold a frame of"},
      {Layout(), JpegSyntax, {0xFF, 0xD8}, {}, "unable to decode the frame (transfer syntax 1.2.840.10008.1.2.4.50)!"},
      {Layout(), "1.2.840.10008.1.2.4.100", {0, 0}, {}, "1.2.840.10008.1.2.4.100 can not be decoded by this build!"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(&row - rows);
    ReportCapture reports;
    qzmDicomDataElementSet set;
    if (*row.syntax)
      EncapsulatedSet(set, row.layout, row.syntax, Encapsulated({}, {row.data}));
    else
      ByteSet(set, row.layout, row.data);
    qzmMedicalFrame frame;
    EXPECT_EQ(frame.UpdateFrom(set, 1) && frame.ArePixelsReady(), !row.expected.empty());
    if (!row.expected.empty())
      EXPECT_EQ(Values(frame), row.expected);
    EXPECT_HAS(reports.Errors() + reports.Warnings(), row.report ? row.report : "");
    if (row.report && !*row.report)
      EXPECT_EQ(reports.WarningCount() + reports.ErrorCount(), 0u);
    if (!*row.syntax)  // the set's own bytes are not reorganised
      EXPECT_EQ(set[Tag(0x7FE0, 0x0010)].OB().GetMemoryLocation()[1], row.data[1]);
  }
  // An empty fragment gives its one report: no decoding is tried.
  ReportCapture reports;
  qzmDicomDataElementSet set;
  EncapsulatedSet(set, Layout(), RleSyntax, Encapsulated({}, {{}}));
  qzmMedicalFrame frame;
  EXPECT_FALSE(frame.UpdateFrom(set, 1) && frame.ArePixelsReady());
  EXPECT_HAS(reports.Errors(), "unable to allocate memory for concatenated fragments!");
  EXPECT_EQ(reports.ErrorCount(), 1u);
}

TEST(PixelPreparation, SignedSamplesBecomeUnsigned) {
  ReportCapture reports;
  Layout layout{1, 3, 16, 16, 15, 1};
  qzmDicomDataElementSet set;
  qzmMedicalFrame frame;
  // An offset at the end of its range (a user's --changepr value) adds
  // modulo 2^16 like any other: 0x7FFFFFFF is -1 there.
  for (const auto& [offset, expected] :
       {std::pair(SLONG(1024), V{0, 1024, 4095}), {std::numeric_limits<SLONG>::max(), V{UWORD(-1025), 0xFFFF, 3070}}}) {
    WordSet(set, layout, {UWORD(-1024), 0, 3071});
    ASSERT_TRUE(frame.UpdateFrom(set, 1));
    EXPECT_EQ(frame.GetMin(), -1024);
    ASSERT_TRUE(frame.ChangePixelRepresentationToUnsigned(offset));
    EXPECT_EQ(Values(frame), expected);
    EXPECT_EQ(frame.Structure.Sample.PixelRepresentation, 0);
  }
  EXPECT_FALSE(frame.ChangePixelRepresentationToUnsigned(1024));

  // 12 signed bits in 16: the offset is added to the number the stored bits
  // stand for, modulo the stored bits (-1024 sign-extended through the word
  // gives 0, not 4096 cut to 0 by luck of the mask); padding -2000 moves
  // with the values and stays recognised; the intercept and the stored
  // window follow; the statistics are those of the new values.
  WordSet(set, Layout{1, 5, 16, 12, 11, 1}, {UWORD(-1024), UWORD(-2000), 1000, 0xFFFF, 0x07FF});
  ASSERT_TRUE(frame.UpdateFrom(set, 1) && frame.SetWindow(40, 400, 0, 1));
  testframes::Pad(frame, -2000);
  EXPECT_EQ(frame.GetMin(), -1024);
  ASSERT_TRUE(frame.ChangePixelRepresentationToUnsigned(1024));
  V values = Values(frame);
  for (UWORD& v : values)
    v &= 0x0FFF;
  EXPECT_EQ(values, (V{0, UWORD(-976) & 0x0FFF, 2024, 1023, 3071}));
  EXPECT_TRUE(frame.IsPaddingStored(UWORD(-976) & 0x0FFF));
  EXPECT_EQ(std::vector<SLONG>({frame.Windowing.RescaleIntercept, frame.Windowing.StoredWindowMin, frame.GetMin()}),
            std::vector<SLONG>({-1024, 864, 0}));
}

TEST(PixelPreparation, RawOrganisationUnpacksAndReplacesPadding) {
  ReportCapture reports;
  qzmDicomDataElementSet set;
  qzmMedicalFrame frame;
  WordSet(set, Layout{1, 3, 16, 12, 15}, {0x123F, 0xFFF0, 0x0010});  // stored bits at the top of the word
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  testframes::Pad(frame, 0xFFF);
  frame.PaddingReplacement = 7;
  ASSERT_TRUE(frame.GetOrganizedToRaw(frame.OrganizedRaw));
  EXPECT_EQ(testframes::Words(frame.OrganizedRaw), (V{0x123, 7, 0x001}));
  // Whole 16-bit samples without padding are shared, not copied.
  WordSet(set, Layout{1, 3, 16, 16, 15}, {1, 2, 3});
  ASSERT_TRUE(frame.UpdateFrom(set, 1) && frame.GetOrganizedToRaw(frame.OrganizedRaw));
  EXPECT_EQ(frame.OrganizedRaw.Value.OW().GetMemoryLocation(), frame.Pixels.Value.OW().GetMemoryLocation());
  // Packed 12-bit samples.
  WordSet(set, Layout{2, 2, 12, 12, 11}, {0x6123, 0x8945, 0xABC7});
  ASSERT_TRUE(frame.UpdateFrom(set, 1) && frame.GetOrganizedToRaw(frame.OrganizedRaw));
  EXPECT_EQ(testframes::Words(frame.OrganizedRaw), (V{0x123, 0x456, 0x789, 0xABC}));
}

}  // namespace
