// Building frames from data sets: refusals and assumed values, spacing,
// windows, colour tables, native and encapsulated frame views.
#include "frame/FrameSets.h"
#include "lib/ReportCapture.h"
#include "lib/qzcFileName.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <numeric>

using namespace framesets;

namespace {

typedef qzmDicomDataElementSet Set;
const Layout ThreeFrames{2, 2, 8, 8, 7, 0, 1, 0, 3}, TwoFrames{2, 2, 8, 8, 7, 0, 1, 0, 2};

// A byte set of the layout whose pixel bytes count 0, 1, 2...
void RampSet(Set& set, const Layout& layout, size_t bytes) {
  std::vector<UBYTE> ramp(bytes);
  std::iota(ramp.begin(), ramp.end(), 0);
  ByteSet(set, layout, ramp);
}

Layout With(std::string photometric, UWORD samples = 1, UWORD allocated = 8) {
  Layout layout{2, 2, allocated, allocated, UWORD(allocated - 1), 0, samples};
  layout.photometric = photometric;
  return layout;
}

// The three descriptors (256 entries of 8 or 16 bits) and tables of
// tableEntries entries.
void AddPalette(Set& set, bool words, UWORD tableEntries) {
  for (UWORD element : {0x1101, 0x1102, 0x1103}) {
    set[Tag(0x0028, element)].US(0) = 256;
    set[Tag(0x0028, element)].US(1) = 0;
    set[Tag(0x0028, element)].US(2) = words ? 16 : 8;
  }
  for (UWORD element : {0x1201, 0x1202, 0x1203})
    words ? testframes::Fill(set[Tag(0x0028, element)].OW(), std::vector<UWORD>(tableEntries))
          : testframes::Fill(set[Tag(0x0028, element)].OB(), std::vector<UBYTE>(tableEntries));
}

std::vector<UBYTE> Patched(std::vector<UBYTE> bytes, size_t at, UBYTE value) {
  bytes[at] = value;
  return bytes;
}

void Erase(Set& set, std::initializer_list<Tag> tags) {
  for (const Tag& tag : tags)
    set.erase(tag);
}

// One set per row, changed after the layout's ramp set is made: whether
// the frame is built, and a report it must give.
TEST(FrameSets, RefusedOrTakenWithReports) {
  const std::vector<UBYTE> first{1, 2, 3, 4}, second{5, 6};
  const struct {
    const char* report;
    Layout layout;
    size_t bytes;
    UWORD number;
    std::function<void(Set&)> change;
    bool built;
  } rows[] = {
      {"selected frame 2 does not exist! There are 1 frames in the set!", Layout(), 4, 2, nullptr, false},
      {"", Layout(), 4, 0, nullptr, false},
      {"missing pixel data (8 bytes at least expected, 6 found)!", TwoFrames, 6, 2, nullptr, false},
      {"", TwoFrames, 8, 2, nullptr, true},
      {"missing pixel data (1 bytes at least expected, 0 found)!", Layout{1, 1}, 0, 1,
       [](Set& set) { set[Tag(0x7FE0, 0x0010)].US() = 7; }, false},
      {"missing image mandatory tags in set!", Layout(), 4, 1, [](Set& set) { Erase(set, {Tag(0x0028, 0x0101)}); },
       false},
      {"missing Windowing mandatory tags in set!", Layout(), 4, 1,
       [](Set& set) { set[Tag(0x0028, 0x1050)].DS() = "40"; }, false},
      {"3 frames, 8 bits allocated, 3 bytes in frame... offset to frames pb ?", Layout{1, 3, 8, 8, 7, 0, 1, 0, 3}, 9, 2,
       nullptr, true},
      {"unsupported sample layout", Layout{2, 2, 8, 0, 7}, 4, 1, nullptr, false},
      {"unsupported sample layout", Layout{2, 2, 8, 8, 3}, 4, 1, nullptr, false},
      {"", Layout{2, 2, 32, 16, 15}, 16, 1, nullptr, true},
      {"Bits Stored 16 > Bits Allocated 8 ! Clamping.", Layout{2, 2, 8, 16, 7}, 4, 1, nullptr, true},
      {"High Bit 15 > (Bits Allocated - 1) 7 ! Clamping.", Layout{2, 2, 8, 8, 15}, 4, 1, nullptr, true},
      {"can not handle photometric interpretation CIELAB!", With("CIELAB"), 12, 1, nullptr, false},
      {"photometric interpretation YBR_FULL does not match samples per pixel 1!", With("YBR_FULL"), 12, 1, nullptr,
       false},
      {"missing tag: (0028,0006) Planar Configuration!", With("RGB", 3), 12, 1,
       [](Set& set) { Erase(set, {Tag(0x0028, 0x0006)}); }, false},
      {"Planar Configuration 2 not implemented!", With("RGB", 3), 12, 1,
       [](Set& set) { set[Tag(0x0028, 0x0006)].US() = 2; }, false},
      {"missing CLUT mandatory tags in set!", With("PALETTE COLOR"), 4, 1, nullptr, false},
      {"CLUTs encoded with VR = OB are prohibited, but let's try!", With("PALETTE COLOR"), 4, 1,
       [](Set& set) { AddPalette(set, false, 256); }, true},
      {"256 CLUT entries were attended, 200 were found", With("PALETTE COLOR"), 4, 1,
       [](Set& set) { AddPalette(set, true, 200); }, false},
      {"invalid CLUT descriptors! shall use VR = US!", With("PALETTE COLOR"), 4, 1,
       [](Set& set) {
         AddPalette(set, true, 256);
         set[Tag(0x0028, 0x1103)].SS() = 16;
       },
       false},
      {"can not handle Bits Allocated 16 > 8 for Photometric Interpretation PALETTE COLOR!",
       With("PALETTE COLOR", 1, 16), 8, 1, [](Set& set) { AddPalette(set, true, 256); }, false},
      {"Pixel padding value is 0, ignoring it.", Layout(), 4, 1, [](Set& set) { set[Tag(0x0028, 0x0120)].SS() = 0; },
       true},
      {"no windowing", Layout(), 4, 1,
       [](Set& set) {
         for (auto [element, text] : {std::pair(0x1050, "40"), {0x1051, "400"}, {0x1052, "0"}, {0x1053, "0"}})
           set[Tag(0x0028, element)].DS() = text;
       },
       true},
      // Encapsulated frames: two fragments can not hold three frames; an
      // offset beyond the data makes the table ignored; items must be items.
      {"the 2 fragments of the Pixel Data can not be divided into 3 frames (frame 3)!", ThreeFrames, 0, 3,
       [&](Set& set) {
         EncapsulatedSet(set, ThreeFrames, JpegSyntax, Encapsulated({0, 12}, {first, second}));
       },
       false},
      {"the Basic Offset Table (2 entries) does not describe the 2 frames, ignoring it.", TwoFrames, 0, 2,
       [&](Set& set) {
         EncapsulatedSet(set, TwoFrames, JpegSyntax, Encapsulated({0, 5000}, {first, second}));
       },
       true},
      {"Item tag not found!", TwoFrames, 0, 1,
       [&](Set& set) {
         EncapsulatedSet(set, TwoFrames, JpegSyntax, Patched(Encapsulated({}, {first, second}), 0, 0));
       },
       false},
      {"runs past the end of the pixel data", TwoFrames, 0, 1,
       [&](Set& set) {
         EncapsulatedSet(set, TwoFrames, JpegSyntax, Patched(Encapsulated({}, {first, second}), 12, 0xFF));
       },
       false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.report) + " / frame " + std::to_string(row.number));
    ReportCapture reports;
    Set set;
    RampSet(set, row.layout, row.bytes);
    if (row.change)
      row.change(set);
    qzmMedicalFrame frame;
    EXPECT_EQ(frame.UpdateFrom(set, row.number), row.built);
    EXPECT_HAS(reports.Errors() + reports.Warnings(), row.report);
    if (row.built && !*row.report)
      EXPECT_EQ(reports.ErrorCount() + reports.WarningCount(), 0u) << reports.Errors() << reports.Warnings();
  }
}

class FrameConstruction : public ::testing::Test {
 protected:
  ReportCapture reports;
  Set set;
  qzmMedicalFrame frame;
};

TEST_F(FrameConstruction, NativeFramesAreViewsOnThePixelData) {
  RampSet(set, Layout{10, 10, 8, 8, 7, 0, 1, 0, 3}, 300);
  ASSERT_TRUE(frame.UpdateFrom(set, 3));
  EXPECT_GT(frame.SourcePixels.Date, frame.Pixels.Date);
  // No copy: the view points 200 bytes into the element's own memory.
  EXPECT_EQ(frame.SourcePixels.Value.OB().GetMemoryLocation(), set[Tag(0x7FE0, 0x0010)].OB().GetMemoryLocation() + 200);
  EXPECT_EQ(frame.SourcePixels.Value.OB().GetSize(), 100u);
  ASSERT_TRUE(frame.ArePixelsReady());
  EXPECT_EQ(testframes::Values(frame)[0], 200);
  EXPECT_EQ(frame.Pixels.Date, frame.SourcePixels.Date);
  // Word frames advance by whole frames.
  WordSet(set, Layout{2, 2, 16, 16, 15, 0, 1, 0, 3}, {0, 1, 2, 3, 1004, 1005, 1006, 1007, 8, 9, 10, 11});
  ASSERT_TRUE(frame.UpdateFrom(set, 2) && frame.ArePixelsReady());
  EXPECT_EQ(testframes::Values(frame), (std::vector<UWORD>{1004, 1005, 1006, 1007}));
}

TEST_F(FrameConstruction, MissingTagsGetDefaultsWithWarnings) {
  for (const auto& [stored, allocated] : {std::pair(12, 16), {8, 8}, {16, 16}}) {
    WordSet(set, Layout{2, 2, 16, UWORD(stored), UWORD(stored - 1)}, {1, 2, 3, 4});
    Erase(set,
          {Tag(0x0028, 0x0100), Tag(0x0028, 0x0004), Tag(0x0028, 0x0002), Tag(0x0028, 0x0102), Tag(0x0008, 0x0060)});
    ASSERT_TRUE(frame.UpdateFrom(set, 1));
    EXPECT_EQ(frame.Structure.Sample.BitsAllocated, allocated);
    EXPECT_EQ(frame.Structure.Sample.HighBit, stored - 1);
  }
  EXPECT_EQ(frame.Structure.PhotometricInterpretation, "MONOCHROME2");
  EXPECT_EQ(frame.Structure.SamplesPerPixel, 1);
  for (const char* text : {"Bits Allocated. Assuming 16.", "High Bit. Assuming 11.", "Samples per Pixel. Assuming 1.",
                           "Photometric Interpretation. Assuming MONOCHROME2.", "modality is unknown!"})
    EXPECT_HAS(reports.Warnings(), text);
}

TEST_F(FrameConstruction, SpacingThicknessAndPadding) {
  RampSet(set, Layout(), 4);
  set[Tag(0x0028, 0x0030)].DS() = "0.5\\0.25";
  set[Tag(0x0018, 0x0050)].DS() = "2.5";
  set[Tag(0x0028, 0x0120)].SS() = -2000;
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_TRUE(frame.HasPixelSpacing && frame.HasPixelPaddingValue);
  EXPECT_EQ(std::vector<float>(frame.PixelSpacing, frame.PixelSpacing + 2), (std::vector<float>{0.5f, 0.25f}));
  EXPECT_FLOAT_EQ(frame.SliceThickness, 2.5f);
  EXPECT_EQ(frame.PixelPaddingValue, -2000);
  // One spacing component: the second is 0. Without spacing the thickness
  // is not read.
  set[Tag(0x0028, 0x0030)].DS() = "0.7";
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_EQ(std::vector<float>(frame.PixelSpacing, frame.PixelSpacing + 2), (std::vector<float>{0.7f, 0.0f}));
  set.erase(Tag(0x0028, 0x0030));
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_FALSE(frame.HasPixelSpacing);
  EXPECT_EQ(frame.SliceThickness, 0.0f);
}

TEST_F(FrameConstruction, WindowInStoredValues) {
  Layout layout{2, 2, 16, 12, 11};
  layout.modality = "CT";
  WordSet(set, layout, {0, 0, 0, 0});
  set[Tag(0x0028, 0x1050)].DS() = "40\\60";
  set[Tag(0x0028, 0x1051)].DS() = "400";
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  const struct qzmMedicalFrame::Windowing& window = frame.Windowing;
  EXPECT_TRUE(window.HasWindowing);
  // Stored center (40 + 1024) / 1 = 1064, half the width below it.
  EXPECT_EQ(std::vector<int>(
                {window.RescaleIntercept, window.StoredWindowWidth, window.StoredWindowMin, window.StoredWindowMax}),
            std::vector<int>({-1024, 400, 864, 1263}));
  EXPECT_HAS(reports.Warnings(), "Rescale Intercept. Modality is CT. Assuming -1024.");
  EXPECT_HAS(reports.Warnings(), "Rescale Slope. Modality is CT. Assuming 1.000000.");
  // An MR set defaults to intercept 0; without a center nothing is assumed.
  set[Tag(0x0008, 0x0060)].CS() = "MR";
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_EQ(frame.Windowing.RescaleIntercept, 0);
  set.erase(Tag(0x0028, 0x1050));
  ReportCapture quiet;
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_FALSE(frame.Windowing.HasWindowing);
  EXPECT_EQ(quiet.WarningCount(), 0u);
  // Centers beyond the 16-bit range are clamped; unusable numbers leave the
  // frame without window.
  set[Tag(0x0028, 0x1050)].DS() = "1e300";
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_TRUE(frame.Windowing.HasWindowing);
  EXPECT_EQ(frame.Windowing.WindowCenter, 32767);
  EXPECT_FALSE(frame.SetWindow(40, 400, 0, std::nan("")));
  EXPECT_FALSE(frame.Windowing.HasWindowing);
}

TEST_F(FrameConstruction, PaletteTables) {
  RampSet(set, With("PALETTE COLOR"), 4);
  AddPalette(set, true, 256);
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_TRUE(frame.HasClut);
  EXPECT_EQ(frame.ClutEntries, 256);
  EXPECT_EQ(frame.ClutBitsPerEntry, 16);
}

// Empty Pixel Data or Rows elements, as read from a file, are absent.
TEST_F(FrameConstruction, EmptyElementsReadFromAFileAreAbsent) {
  testsupport::TempDir dir;
  for (const Tag& tag : {Tag(0x7FE0, 0x0010), Tag(0x0028, 0x0010)}) {
    RampSet(set, Layout(), 4);
    qzmDicomDataElementValue empty = set[Tag(0x7FE0, 0x0010)];
    empty.OB().SetSize(0);
    set[tag] = empty;
    Set read;
    ASSERT_TRUE(set.Save(qzcFileName(dir.file("empty.dcm"))) && read.Load(qzcFileName(dir.file("empty.dcm"))));
    EXPECT_FALSE(frame.UpdateFrom(read, 1));
  }
  EXPECT_FALSE(frame.UpdateFrom(qzcFileName("picture.gif"), qzmMedicalFrame::ConversionSettings()));
  EXPECT_HAS(reports.Errors(), "sorry, this format is not supported (gif)!");
}

// The bytes of the frame's fragments, joined.
std::vector<UBYTE> Fragments(qzmMedicalFrame& frame) {
  EXPECT_TRUE(frame.GetConcatenatedFragments(frame.Fragments));
  return testframes::Bytes(frame.Fragments);
}

TEST_F(FrameConstruction, EncapsulatedFramesThroughTheOffsetTables) {
  const std::vector<UBYTE> first{1, 2, 3, 4}, second{5, 6};
  // Offsets count from the first fragment item, header included.
  EncapsulatedSet(set, TwoFrames, JpegSyntax, Encapsulated({0, 12}, {first, second}));
  ASSERT_TRUE(frame.UpdateFrom(set, 2));
  EXPECT_EQ(frame.SourcePixels.Value.OB().GetSize(), 10u);
  EXPECT_EQ(Fragments(frame), second);
  // Items held as words are items all the same.
  const std::vector<UBYTE> data = Encapsulated({}, {first, second});
  std::vector<UWORD> words(data.size() / 2);
  std::memcpy(words.data(), data.data(), data.size());
  WordSet(set, TwoFrames, words);
  set[Tag(0x0002, 0x0010)].UI() = JpegSyntax;
  ASSERT_TRUE(frame.UpdateFrom(set, 2));
  EXPECT_EQ(Fragments(frame), second);

  // Two fragments per frame without markers: the Extended Offset Table
  // (64-bit offsets) finds them.
  EncapsulatedSet(set, TwoFrames, RleSyntax, Encapsulated({}, {first, second, first, second}));
  testframes::Fill(set[Tag(0x7FE0, 0x0001)].OB(), std::vector<UBYTE>{0, 0, 0, 0, 0, 0, 0, 0, 22, 0, 0, 0, 0, 0, 0, 0});
  ASSERT_TRUE(frame.UpdateFrom(set, 2));
  EXPECT_EQ(frame.SourcePixels.Value.OB().GetSize(), 22u);
  EXPECT_EQ(Fragments(frame), (std::vector<UBYTE>{1, 2, 3, 4, 5, 6}));
  set.erase(Tag(0x7FE0, 0x0001));
  EXPECT_FALSE(frame.UpdateFrom(set, 2));
  EXPECT_HAS(reports.Errors(), "the 4 fragments of the Pixel Data can not be divided into 2 frames (frame 1)!");

  // Without a table, the frame is everything between table and delimiter.
  EncapsulatedSet(set, Layout(), JpegSyntax, Encapsulated({}, {first, second}));
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_EQ(frame.SourcePixels.Value.OB().GetSize(), 22u);
}

}  // namespace
