// Frames built from data sets: refusals and assumed values, spacing,
// windows, colour tables, frame views; their pixels prepared: planes, YBR,
// byte-held words, decoding, representation change, raw organisation.
#include "frame/FrameSets.h"
#include "lib/ReportCapture.h"
#include "lib/qzcFileName.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

using namespace framesets;
using testframes::Values;
typedef std::vector<UWORD> V;
typedef std::vector<UBYTE> B;

namespace {

typedef qzmDicomDataElementSet Set;
typedef std::function<void(Set&)> Change;
const Layout TwoFrames{2, 2, 8, 8, 7, 0, 1, 0, 2};
const std::vector<UBYTE> First{1, 2, 3, 4}, Second{5, 6};

Layout With(std::string photometric, UWORD samples = 1, UWORD allocated = 8) {
  Layout layout{2, 2, allocated, allocated, UWORD(allocated - 1), 0, samples};
  layout.photometric = photometric;
  return layout;
}

// Changes of a set: (0028,xxxx) texts, numbers, erasures; colour tables;
// two fragments of encapsulated pixel data, one byte patched.
Change Texts(std::vector<std::pair<UWORD, const char*>> texts) {
  return [=](Set& set) {
    for (const auto& [element, text] : texts)
      set[Tag(0x0028, element)].DS() = text;
  };
}
Change Number(UWORD element, SWORD value) {
  return [=](Set& set) { set[Tag(0x0028, element)].SS() = value; };
}
Change Erase(UWORD element) {
  return [=](Set& set) { set.erase(Tag(0x0028, element)); };
}
Change Palette(bool words, UWORD entries, UWORD descriptor = 0x1101) {
  return [=](Set& set) {
    for (UWORD element : {0x1101, 0x1102, 0x1103}) {
      for (UWORD k = 0; k < 3; ++k)
        set[Tag(0x0028, element)].US(k) = k == 0 ? 256 : k == 1 ? 0 : words ? 16 : 8;
      words ? testframes::Fill(set[Tag(0x0028, element + 0x100)].OW(), std::vector<UWORD>(entries))
            : testframes::Fill(set[Tag(0x0028, element + 0x100)].OB(), std::vector<UBYTE>(entries));
    }
    if (descriptor != 0x1101)
      set[Tag(0x0028, descriptor)].SS() = 16;
  };
}
Change Jpeg(const Layout& layout, std::vector<ULONG> offsets, size_t at = 0, UBYTE value = 0xFE) {
  return [=](Set& set) {
    std::vector<UBYTE> data = Items(offsets, {First, Second});
    data[at] = value;
    EncapsulatedSet(set, layout, JpegSyntax, data);
  };
}

// One set per row: whether the frame is built, and a report it gives (none
// at all for a frame built without one).
TEST(FrameSets, RefusedOrTakenWithReports) {
  const struct {
    const char* report;
    Layout layout;
    size_t bytes;
    UWORD number;
    Change change;
    bool built;
  } rows[] = {
      {"selected frame 2 does not exist! There are 1 frames in the set!", Layout(), 4, 2, nullptr, false},
      {"", Layout(), 4, 0, nullptr, false},
      {"missing pixel data (8 bytes at least expected, 6 found)!", TwoFrames, 6, 2, nullptr, false},
      {"", TwoFrames, 8, 2, nullptr, true},
      {"1 bytes at least expected, 0 found", Layout{1, 1}, 1, 1, [](Set& s) { s[Tag(0x7FE0, 0x0010)].SS() = 7; },
       false},
      {"missing image mandatory tags in set!", Layout(), 4, 1, Erase(0x0101), false},
      {"Bits Allocated. Assuming 16.", Layout{2, 2, 16, 12, 11}, 8, 1, Erase(0x0100), true},
      {"Bits Allocated. Assuming 8.", Layout(), 4, 1, Erase(0x0100), true},
      {"High Bit. Assuming 11.", Layout{2, 2, 16, 12, 11}, 8, 1, Erase(0x0102), true},
      {"missing Windowing mandatory tags in set!", Layout(), 4, 1, Texts({{0x1050, "40"}}), false},
      {"unsupported sample layout", Layout{2, 2, 8, 8, 3}, 4, 1, nullptr, false},
      {"", Layout{2, 2, 32, 16, 15}, 16, 1, nullptr, true},
      {"High Bit 15 > (Bits Allocated - 1) 7 ! Clamping.", Layout{2, 2, 8, 8, 15}, 4, 1, nullptr, true},
      {"can not handle photometric interpretation CIELAB!", With("CIELAB"), 12, 1, nullptr, false},
      {"interpretation YBR_FULL does not match samples per pixel 1!", With("YBR_FULL"), 12, 1, nullptr, false},
      {"missing tag: (0028,0006) Planar Configuration!", With("RGB", 3), 12, 1, Erase(0x0006), false},
      {"Planar Configuration 2 not implemented!", With("RGB", 3), 12, 1, Number(0x0006, 2), false},
      {"missing CLUT mandatory tags in set!", With("PALETTE COLOR"), 4, 1, nullptr, false},
      {"CLUTs encoded with VR = OB are prohibited", With("PALETTE COLOR"), 4, 1, Palette(false, 256), true},
      {"256 CLUT entries were attended, 200 were found", With("PALETTE COLOR"), 4, 1, Palette(true, 200), false},
      {"invalid CLUT descriptors!", With("PALETTE COLOR"), 4, 1, Palette(true, 256, 0x1103), false},
      {"can not handle Bits Allocated 16 > 8", With("PALETTE COLOR", 1, 16), 8, 1, Palette(true, 256), false},
      {"Pixel padding value is 0, ignoring it.", Layout(), 4, 1, Number(0x0120, 0), true},
      {"no windowing", Layout(), 4, 1, Texts({{0x1050, "40"}, {0x1051, "4"}, {0x1052, "0"}, {0x1053, "0"}}), true},
      {"Item tag not found!", TwoFrames, 0, 1, Jpeg(TwoFrames, {}, 0, 0), false},
      {"runs past the end of the pixel data", TwoFrames, 0, 1, Jpeg(TwoFrames, {}, 12, 0xFF), false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.report) + " / frame " + std::to_string(row.number));
    ReportCapture reports;
    Set set;
    ByteSet(set, row.layout, B(row.bytes));
    if (row.change)
      row.change(set);
    qzmMedicalFrame frame;
    EXPECT_EQ(frame.UpdateFrom(set, row.number), row.built);
    EXPECT_HAS(reports.Errors() + reports.Warnings(), row.report);
    if (row.built && !*row.report) {
      EXPECT_EQ(reports.ErrorCount() + reports.WarningCount(), 0u) << reports.Errors() << reports.Warnings();
    }
  }
}

class FrameConstruction : public ::testing::Test {
 protected:
  ReportCapture reports;
  Set set;
  qzmMedicalFrame frame;
};

TEST_F(FrameConstruction, NativeFramesAreViewsOnThePixelData) {
  ByteSet(set, Layout{10, 10, 8, 8, 7, 0, 1, 0, 3}, B(300));
  ASSERT_TRUE(frame.UpdateFrom(set, 3));
  // No copy: the view points 200 bytes into the element's own memory.
  EXPECT_EQ(frame.SourcePixels.Value.OB().GetMemoryLocation(), set[Tag(0x7FE0, 0x0010)].OB().GetMemoryLocation() + 200);
  EXPECT_EQ(frame.SourcePixels.Value.OB().GetSize(), 100u);
  WordSet(set, Layout{2, 2, 16, 16, 15, 0, 1, 0, 3}, {0, 1, 2, 3, 1004, 1005, 1006, 1007, 8, 9, 10, 11});
  ASSERT_TRUE(frame.UpdateFrom(set, 2) && frame.ArePixelsReady());
  EXPECT_EQ(testframes::Values(frame), (std::vector<UWORD>{1004, 1005, 1006, 1007}));
}

// Spacing, thickness, padding, window in stored values; CT in Hounsfield units.
TEST_F(FrameConstruction, SpacingPaddingAndWindow) {
  Layout layout{2, 2, 16, 12, 11};
  layout.modality = "CT";
  WordSet(set, layout, {0, 0, 0, 0});
  Texts({{0x0030, "0.5\\0.25"}, {0x1050, "40\\60"}, {0x1051, "400"}, {0x0120, "-2000"}})(set);
  set[Tag(0x0018, 0x0050)].DS() = "2.5";
  ASSERT_TRUE(frame.UpdateFrom(set, 1) && frame.HasPixelSpacing && frame.HasPixelPaddingValue);
  EXPECT_EQ(std::vector<float>({frame.PixelSpacing[0], frame.PixelSpacing[1], frame.SliceThickness}),
            std::vector<float>({0.5f, 0.25f, 2.5f}));
  // Stored center (40 + 1024) / 1 = 1064, half the width below it.
  const struct qzmMedicalFrame::Windowing& w = frame.Windowing;
  EXPECT_EQ(std::vector<int>({frame.PixelPaddingValue, w.RescaleIntercept, w.StoredWindowMin, w.StoredWindowMax}),
            std::vector<int>({-2000, -1024, 864, 1263}));
  EXPECT_HAS(reports.Warnings(), "Rescale Slope. Modality is CT. Assuming 1.000000.");
}

// Empty elements, as the reader keeps them: an empty Pixel Data or Rows
// refuses the frame, empty spacing and window elements are absent.
TEST_F(FrameConstruction, EmptyElementsReadFromAFileAreAbsent) {
  testsupport::TempDir dir;
  const std::vector<Tag> pixels{Tag(0x7FE0, 0x0010)}, rows{Tag(0x0028, 0x0010)},
      others{Tag(0x0028, 0x0030), Tag(0x0028, 0x1050), Tag(0x0028, 0x1051)};
  for (const auto& [tags, built] : {std::pair(pixels, false), {rows, false}, {others, true}}) {
    ByteSet(set, Layout(), B(4));
    Texts({{0x0030, "1"}, {0x1050, "1"}, {0x1051, "1"}})(set);
    qzmDicomDataElementValue empty = set[Tag(0x7FE0, 0x0010)];
    empty.OB().SetSize(0);
    for (const Tag& tag : tags)
      set[tag] = empty;
    Set read;
    ASSERT_TRUE(set.Save(qzcFileName(dir.file("empty.dcm"))) && read.Load(qzcFileName(dir.file("empty.dcm"))));
    EXPECT_EQ(frame.UpdateFrom(read, 1), built);
    EXPECT_FALSE(frame.Windowing.HasWindowing || frame.HasPixelSpacing);
  }
}

// Two fragments per frame without markers: the Extended Offset Table
// (64-bit offsets) finds them.
TEST_F(FrameConstruction, EncapsulatedFramesThroughTheExtendedOffsetTable) {
  EncapsulatedSet(set, TwoFrames, RleSyntax, Items({}, {First, Second, First, Second}));
  testframes::Fill(set[Tag(0x7FE0, 0x0001)].OB(), std::vector<UBYTE>{0, 0, 0, 0, 0, 0, 0, 0, 22, 0, 0, 0, 0, 0, 0, 0});
  ASSERT_TRUE(frame.UpdateFrom(set, 2));
  EXPECT_EQ(frame.SourcePixels.Value.OB().GetSize(), 22u);
  ASSERT_TRUE(frame.GetConcatenatedFragments(frame.Fragments));
  EXPECT_EQ(testframes::Bytes(frame.Fragments), (B{1, 2, 3, 4, 5, 6}));
}

Layout Colour(UWORD columns, const char* photometric, UWORD planar = 0) {
  Layout layout{1, columns, 8, 8, 7, 0, 3, planar};
  layout.photometric = photometric;
  return layout;
}

// One set per row, native or encapsulated: the prepared samples (empty: not
// prepared) and a report (none at all for a prepared frame without one).
TEST(PixelPreparation, SamplesPreparedOrRefused) {
  const B run{0x81, 9};
  const V rgb{254, 0, 0, 255, 52, 52};
  const char* const Native = "";
  const struct {
    Layout layout;
    const char* syntax;
    B data;
    V expected;
    const char* report;
  } rows[] = {
      {Colour(2, "RGB", 1), Native, {1, 1, 2, 2, 3, 3}, {1, 2, 3, 1, 2, 3}, "color-by-pixel (0)."},
      // Native full-range YBR samples become RGB, whole or shared by pixel pairs.
      {Colour(2, "YBR_FULL"), Native, {76, 85, 255, 128, 85, 255, 9}, rgb, ""},
      {Colour(2, "YBR_FULL_422"), Native, {76, 128, 85, 255, 9}, rgb, ""},
      {Colour(2, "YBR_FULL_422"), Native, {76, 128, 85}, {}, "(4 bytes at least expected, 3 found)!"},
      // Samples of more than 8 bits held in bytes are little-endian words.
      {Layout{1, 3, 16, 16, 15}, Native, {1, 2, 3, 4, 5, 6, 7}, {0x0201, 0x0403, 0x0605}, ""},
      {Layout{1, 2, 9, 9, 8}, Native, {5, 0, 0, 0}, {5, 0}, ""},
      // Literal "abc", "x" repeated three times, a no-op control byte.
      {Layout{2, 3}, RleSyntax, RleStream({{0x02, 'a', 'b', 'c', 0xFE, 'x', 0x80}}), {'a', 'b', 'c', 'x', 'x', 'x'}, ""},
      // Decoded samples are whole pixels, whatever the interpretation says.
      {Colour(2, "YBR_FULL_422"), RleSyntax, RleStream({{0x01, 76, 128}, {0xFF, 85}, {0xFF, 255}}), rgb, ""},
      {Layout{65535, 65535}, RleSyntax, RleStream({run}), {}, "a code stream of 66 bytes can not hold a frame of"},
      {Layout(), JpegSyntax, {0xFF, 0xD8}, {}, "unable to decode the frame (transfer syntax 1.2.840.10008.1.2.4.50)!"},
      {Layout(), "1.2.840.10008.1.2.4.100", {0, 0}, {}, "1.2.840.10008.1.2.4.100 can not be decoded by this build!"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(&row - rows);
    ReportCapture reports;
    qzmDicomDataElementSet set;
    if (*row.syntax)
      EncapsulatedSet(set, row.layout, row.syntax, Items({}, {row.data}));
    else
      ByteSet(set, row.layout, row.data);
    qzmMedicalFrame frame;
    EXPECT_EQ(frame.UpdateFrom(set, 1) && frame.ArePixelsReady(), !row.expected.empty());
    if (!row.expected.empty()) {
      EXPECT_EQ(Values(frame), row.expected);
    }
    EXPECT_HAS(reports.Errors() + reports.Warnings(), row.report ? row.report : "");
    if (row.report && !*row.report) {
      EXPECT_EQ(reports.WarningCount() + reports.ErrorCount(), 0u);
    }
    if (!*row.syntax) {  // the set's own bytes are not reorganised
      EXPECT_EQ(set[Tag(0x7FE0, 0x0010)].OB().GetMemoryLocation()[1], row.data[1]);
    }
  }
  // An empty fragment gives its one report: no decoding is tried.
  ReportCapture reports;
  qzmDicomDataElementSet set;
  EncapsulatedSet(set, Layout(), RleSyntax, Items({}, {{}}));
  qzmMedicalFrame frame;
  EXPECT_FALSE(frame.UpdateFrom(set, 1) && frame.ArePixelsReady());
  EXPECT_HAS(reports.Errors(), "unable to allocate memory for concatenated fragments!");
  EXPECT_EQ(reports.ErrorCount(), 1u);
  EncapsulatedSet(set, Layout{1, 2, 8, 8, 7, 1}, "1.2.840.10008.1.2.4.100", Items({}, {{0, 0}}));
  EXPECT_FALSE(frame.UpdateFrom(set, 1) && frame.ChangePixelRepresentationToUnsigned(1));  // no pixels to change
  Layout words = Colour(2, "RGB", 1);  // 16-bit planes held as words
  words.allocated = words.stored = 16, words.high = 15;
  WordSet(set, words, {1, 1, 2, 2, 3, 3});
  EXPECT_TRUE(frame.UpdateFrom(set, 1) && frame.ArePixelsReady());
  EXPECT_EQ(Values(frame), (V{1, 2, 3, 1, 2, 3}));
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

TEST(PixelPreparation, RawOrganisationReplacesPadding) {
  ReportCapture reports;
  qzmDicomDataElementSet set;
  qzmMedicalFrame frame;
  WordSet(set, Layout{1, 3, 16, 12, 15}, {0x123F, 0xFFF0, 0x0010});  // stored bits at the top of the word
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  testframes::Pad(frame, 0xFFF);
  frame.PaddingReplacement = 7;
  ASSERT_TRUE(frame.GetOrganizedToRaw(frame.OrganizedRaw));
  EXPECT_TRUE(frame.GetOrganizedToRaw(frame.OrganizedRaw));  // already up to date
  EXPECT_EQ(testframes::Words(frame.OrganizedRaw), (V{0x123, 7, 0x001}));
}

}  // namespace
