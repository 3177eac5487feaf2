// Building frames from data sets: tag defaults and clamping, refusals,
// windows, colour tables, native and encapsulated frame views.
#include "frame/FrameSets.h"
#include "lib/ReportCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using namespace framesets;

namespace {

// A byte set that lives until the end of the test program.
const qzmDicomDataElementSet& Scratch(const Layout& layout, const std::vector<UBYTE>& bytes) {
  static std::vector<std::unique_ptr<qzmDicomDataElementSet>> sets;
  sets.emplace_back(new qzmDicomDataElementSet);
  ByteSet(*sets.back(), layout, bytes);
  return *sets.back();
}

std::vector<UBYTE> Ramp(size_t n) {
  std::vector<UBYTE> bytes(n);
  for (size_t k = 0; k < n; ++k)
    bytes[k] = UBYTE(k);
  return bytes;
}

TEST(FrameConstruction, NativeFrameIsAViewOnThePixelData) {
  ReportCapture reports;
  Layout layout;
  layout.rows = 10;
  layout.columns = 10;
  layout.frames = 3;
  qzmDicomDataElementSet set;
  ByteSet(set, layout, Ramp(300));
  qzmMedicalFrame frame;
  ASSERT_TRUE(frame.UpdateFrom(set, 3));
  EXPECT_EQ(frame.Structure.NumberOfPixels, 100u);
  EXPECT_EQ(frame.Structure.Sample.StoredMask, 0xFF);
  EXPECT_GT(frame.SourcePixels.Date, frame.Pixels.Date);
  // No copy: the view points 200 bytes into the element's own memory.
  const UBYTE* element = set[Tag(0x7FE0, 0x0010)].OB().GetMemoryLocation();
  EXPECT_EQ(frame.SourcePixels.Value.OB().GetMemoryLocation(), element + 200);
  EXPECT_EQ(frame.SourcePixels.Value.OB().GetSize(), 100u);
  ASSERT_TRUE(frame.ArePixelsReady());
  EXPECT_EQ(PixelValues(frame)[0], 200 % 256);
  EXPECT_EQ(frame.Pixels.Date, frame.SourcePixels.Date);
}

TEST(FrameConstruction, WordFramesAdvanceByWholeFrames) {
  ReportCapture reports;
  Layout layout;
  layout.allocated = layout.stored = 16;
  layout.high = 15;
  layout.frames = 3;
  std::vector<UWORD> words(12);
  for (UWORD k = 0; k < 12; ++k)
    words[k] = UWORD(1000 + k);
  qzmDicomDataElementSet set;
  WordSet(set, layout, words);
  qzmMedicalFrame frame;
  ASSERT_TRUE(frame.UpdateFrom(set, 2));
  ASSERT_TRUE(frame.ArePixelsReady());
  EXPECT_EQ(PixelValues(frame), (std::vector<UWORD>{1004, 1005, 1006, 1007}));
}

TEST(FrameConstruction, FrameNumbersOutsideTheSetAreRefused) {
  ReportCapture reports;
  qzmDicomDataElementSet set;
  ByteSet(set, Layout(), Ramp(4));
  qzmMedicalFrame frame;
  EXPECT_FALSE(frame.UpdateFrom(set, 2));
  EXPECT_NE(reports.Errors().find("selected frame 2 does not exist! There are 1 frames in the set!"),
            std::string::npos);
  EXPECT_FALSE(frame.UpdateFrom(set, 0));
}

TEST(FrameConstruction, AFrameRunningPastTheElementIsRefused) {
  ReportCapture reports;
  Layout layout;
  layout.frames = 2;
  qzmDicomDataElementSet set;
  ByteSet(set, layout, Ramp(6));
  qzmMedicalFrame frame;
  EXPECT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_FALSE(frame.UpdateFrom(set, 2));
  EXPECT_NE(reports.Errors().find("missing pixel data (8 bytes at least expected, 6 found)!"), std::string::npos);
}

TEST(FrameConstruction, MissingTagsGetDefaultsWithWarnings) {
  ReportCapture reports;
  Layout layout;
  layout.stored = 12;
  layout.high = 11;
  layout.allocated = 16;
  qzmDicomDataElementSet set;
  WordSet(set, layout, {1, 2, 3, 4});
  for (const Tag& tag : {Tag(0x0028, 0x0100), Tag(0x0028, 0x0004), Tag(0x0028, 0x0002), Tag(0x0028, 0x0102),
                         Tag(0x0008, 0x0060)})
    set.erase(tag);
  qzmMedicalFrame frame;
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_EQ(frame.Structure.Sample.BitsAllocated, 16);
  EXPECT_EQ(frame.Structure.Sample.HighBit, 11);
  EXPECT_EQ(frame.Structure.PhotometricInterpretation, "MONOCHROME2");
  EXPECT_EQ(frame.Structure.SamplesPerPixel, 1);
  const std::string warnings = reports.Warnings();
  for (const char* text : {"Bits Allocated. Assuming 16.", "High Bit. Assuming 11.",
                           "Photometric Interpretation. Assuming MONOCHROME2.", "Samples per Pixel. Assuming 1.",
                           "modality is unknown!"})
    EXPECT_NE(warnings.find(text), std::string::npos) << text;

  layout.stored = layout.allocated = 8;
  layout.high = 7;
  ByteSet(set, layout, Ramp(4));
  set.erase(Tag(0x0028, 0x0100));
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_EQ(frame.Structure.Sample.BitsAllocated, 8);
}

TEST(FrameConstruction, SpacingThicknessAndPadding) {
  ReportCapture reports;
  qzmDicomDataElementSet set;
  ByteSet(set, Layout(), Ramp(4));
  SetText(set, 0x0028, 0x0030, "0.5\\0.25");
  SetText(set, 0x0018, 0x0050, "2.5");
  set[Tag(0x0028, 0x0120)].SS() = -2000;
  qzmMedicalFrame frame;
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_TRUE(frame.HasPixelSpacing);
  EXPECT_FLOAT_EQ(frame.PixelSpacing[0], 0.5f);
  EXPECT_FLOAT_EQ(frame.PixelSpacing[1], 0.25f);
  EXPECT_FLOAT_EQ(frame.SliceThickness, 2.5f);
  EXPECT_TRUE(frame.HasPixelPaddingValue);
  EXPECT_EQ(frame.PixelPaddingValue, -2000);

  // One spacing component: the second is 0. Without spacing the thickness
  // is not read. A padding value of 0 is ignored with a warning.
  SetText(set, 0x0028, 0x0030, "0.7");
  set[Tag(0x0028, 0x0120)].SS() = 0;
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_FLOAT_EQ(frame.PixelSpacing[0], 0.7f);
  EXPECT_FLOAT_EQ(frame.PixelSpacing[1], 0.0f);
  EXPECT_FALSE(frame.HasPixelPaddingValue);
  EXPECT_NE(reports.Warnings().find("Pixel padding value is 0, ignoring it."), std::string::npos);
  set.erase(Tag(0x0028, 0x0030));
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_FALSE(frame.HasPixelSpacing);
  EXPECT_EQ(frame.SliceThickness, 0.0f);
}

TEST(FrameConstruction, MissingTagsAndOddLayoutsAreReported) {
  ReportCapture reports;
  qzmDicomDataElementSet set;
  ByteSet(set, Layout(), Ramp(4));
  set.erase(Tag(0x0028, 0x0101));
  qzmMedicalFrame frame;
  EXPECT_FALSE(frame.UpdateFrom(set, 1));
  EXPECT_NE(reports.Errors().find("missing image mandatory tags in set!"), std::string::npos);

  ByteSet(set, Layout(), Ramp(4));
  SetText(set, 0x0028, 0x1050, "40");
  EXPECT_FALSE(frame.UpdateFrom(set, 1));
  EXPECT_NE(reports.Errors().find("missing Windowing mandatory tags in set!"), std::string::npos);

  Layout layout;
  layout.rows = 1;
  layout.columns = 3;
  layout.frames = 3;
  ByteSet(set, layout, Ramp(9));
  EXPECT_TRUE(frame.UpdateFrom(set, 2));
  EXPECT_NE(reports.Warnings().find("3 frames, 8 bits allocated, 3 bytes in frame... offset to frames pb ? (email me)"),
            std::string::npos);

  layout = Layout();
  layout.allocated = 32;
  layout.stored = 16;
  layout.high = 15;
  ByteSet(set, layout, Ramp(16));
  EXPECT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_NE(reports.Warnings().find("bits allocated 32 > 16 are not fully supported... (email me)"),
            std::string::npos);
}

TEST(FrameConstruction, BitLayoutsAreClampedOrRefused) {
  ReportCapture reports;
  struct qzmMedicalFrame::Structure::Sample sample;
  sample.SetBitsAllocatedStoredHigh(8, 16, 15);
  EXPECT_EQ(sample.BitsStored, 8);
  EXPECT_EQ(sample.HighBit, 7);
  sample.SetBitsAllocatedStoredHigh(12, 12, 15);
  EXPECT_EQ(sample.HighBit, 11);
  EXPECT_EQ(sample.LowBit, 0);
  EXPECT_NE(reports.Warnings().find("Bits Stored 16 > Bits Allocated 8 ! Clamping."), std::string::npos);
  EXPECT_NE(reports.Warnings().find("High Bit 15 > (Bits Allocated - 1) 11 ! Clamping."), std::string::npos);

  // Layouts the pixel code cannot address: no stored bits, or stored bits
  // reaching below bit 0.
  Layout layout;
  layout.stored = 0;
  qzmMedicalFrame frame;
  EXPECT_FALSE(frame.UpdateFrom(Scratch(layout, Ramp(4)), 1));
  layout.stored = 8;
  layout.high = 3;
  EXPECT_FALSE(frame.UpdateFrom(Scratch(layout, Ramp(4)), 1));
  EXPECT_NE(reports.Errors().find("unsupported sample layout"), std::string::npos);
}

TEST(FrameConstruction, PhotometricInterpretationMustFitTheSamples) {
  ReportCapture reports;
  Layout layout;
  layout.photometric = "YBR_FULL";
  qzmMedicalFrame frame;
  EXPECT_FALSE(frame.UpdateFrom(Scratch(layout, Ramp(12)), 1));
  EXPECT_NE(reports.Errors().find("can not handle photometric interpretation YBR_FULL! (email me)"),
            std::string::npos);
  layout.photometric = "RGB";
  EXPECT_FALSE(frame.UpdateFrom(Scratch(layout, Ramp(12)), 1));
  EXPECT_NE(reports.Errors().find("photometric interpretation RGB does not match samples per pixel 1!"),
            std::string::npos);
  layout.samples = 3;
  qzmDicomDataElementSet set;
  ByteSet(set, layout, Ramp(12));
  set.erase(Tag(0x0028, 0x0006));
  EXPECT_FALSE(frame.UpdateFrom(set, 1));
  EXPECT_NE(reports.Errors().find("missing tag: (0028,0006) Planar Configuration!"), std::string::npos);
}

TEST(FrameConstruction, WindowInStoredValues) {
  ReportCapture reports;
  Layout layout;
  layout.modality = "CT";
  layout.allocated = 16;
  layout.stored = 12;
  layout.high = 11;
  qzmDicomDataElementSet set;
  WordSet(set, layout, {0, 0, 0, 0});
  SetText(set, 0x0028, 0x1050, "40\\60");
  SetText(set, 0x0028, 0x1051, "400");
  qzmMedicalFrame frame;
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  const struct qzmMedicalFrame::Windowing& window = frame.Windowing;
  EXPECT_TRUE(window.HasWindowing);
  EXPECT_EQ(window.RescaleIntercept, -1024);
  EXPECT_EQ(window.StoredWindowWidth, 400);
  // Stored center (40 + 1024) / 1 = 1064, half the width below it.
  EXPECT_EQ(window.StoredWindowMin, 864);
  EXPECT_EQ(window.StoredWindowMax, 1263);
  EXPECT_NE(reports.Warnings().find("Rescale Intercept. Modality is CT. Assuming -1024."), std::string::npos);
  EXPECT_NE(reports.Warnings().find("Rescale Slope. Modality is CT. Assuming 1.000000."), std::string::npos);

  // An MR set defaults to intercept 0; without a center nothing is assumed.
  SetText(set, 0x0008, 0x0060, "MR");
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_EQ(frame.Windowing.RescaleIntercept, 0);
  set.erase(Tag(0x0028, 0x1050));
  ReportCapture quiet;
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_FALSE(frame.Windowing.HasWindowing);
  EXPECT_EQ(quiet.WarningCount(), 0u);
}

TEST(FrameConstruction, UnusableWindowsLeaveTheFrameWithoutWindow) {
  ReportCapture reports;
  qzmDicomDataElementSet set;
  ByteSet(set, Layout(), Ramp(4));
  SetText(set, 0x0028, 0x1050, "40");
  SetText(set, 0x0028, 0x1051, "400");
  SetText(set, 0x0028, 0x1052, "0");
  SetText(set, 0x0028, 0x1053, "0");
  qzmMedicalFrame frame;
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_FALSE(frame.Windowing.HasWindowing);
  EXPECT_NE(reports.Warnings().find("no windowing"), std::string::npos);
  SetText(set, 0x0028, 0x1053, "1");
  SetText(set, 0x0028, 0x1050, "1e300");
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_TRUE(frame.Windowing.HasWindowing);
  EXPECT_EQ(frame.Windowing.WindowCenter, 32767);
  EXPECT_FALSE(frame.SetWindow(40, 400, 0, std::nan("")));
  EXPECT_FALSE(frame.Windowing.HasWindowing);
}

void AddPalette(qzmDicomDataElementSet& set, UWORD entries, bool words, UWORD tableEntries) {
  for (UWORD element : {0x1101, 0x1102, 0x1103}) {
    qzmDicomDataElementValue& descriptor = set[Tag(0x0028, element)];
    descriptor.US(0) = entries;
    descriptor.US(1) = 0;
    descriptor.US(2) = words ? 16 : 8;
  }
  for (UWORD element : {0x1201, 0x1202, 0x1203}) {
    qzmDicomDataElementValue& table = set[Tag(0x0028, element)];
    if (words) {
      table.OW().SetSize(tableEntries);
      table.OW().AllocateMemory();
    } else {
      table.OB().SetSize(tableEntries);
      table.OB().AllocateMemory();
    }
  }
}

TEST(FrameConstruction, PaletteTables) {
  ReportCapture reports;
  Layout layout;
  layout.photometric = "PALETTE COLOR";
  qzmDicomDataElementSet set;
  ByteSet(set, layout, Ramp(4));
  qzmMedicalFrame frame;
  EXPECT_FALSE(frame.UpdateFrom(set, 1));
  EXPECT_NE(reports.Errors().find("missing CLUT mandatory tags in set!"), std::string::npos);

  AddPalette(set, 256, true, 256);
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_TRUE(frame.HasClut);
  EXPECT_EQ(frame.ClutEntries, 256);
  EXPECT_EQ(frame.ClutBitsPerEntry, 16);

  AddPalette(set, 256, false, 256);
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_NE(reports.Warnings().find("CLUTs encoded with VR = OB are prohibited, but let's try!"), std::string::npos);

  AddPalette(set, 256, true, 200);
  EXPECT_FALSE(frame.UpdateFrom(set, 1));
  EXPECT_NE(reports.Errors().find("256 CLUT entries were attended, 200 were found"), std::string::npos);

  layout.allocated = layout.stored = 16;
  layout.high = 15;
  WordSet(set, layout, {1, 2, 3, 4});
  AddPalette(set, 256, true, 256);
  EXPECT_FALSE(frame.UpdateFrom(set, 1));
  EXPECT_NE(reports.Errors().find("can not handle Bits Allocated 16 > 8 for Photometric Interpretation PALETTE COLOR!"),
            std::string::npos);
}

TEST(FrameConstruction, EncapsulatedFramesThroughTheOffsetTable) {
  ReportCapture reports;
  Layout layout;
  layout.frames = 2;
  const std::vector<UBYTE> first{1, 2, 3, 4}, second{5, 6};
  // Offsets count from the first fragment item, header included.
  qzmDicomDataElementSet set;
  EncapsulatedSet(set, layout, JpegSyntax, Encapsulated({0, 12}, {first, second}));
  qzmMedicalFrame frame;
  ASSERT_TRUE(frame.UpdateFrom(set, 2));
  EXPECT_EQ(frame.SourcePixels.Value.OB().GetSize(), 10u);
  ASSERT_TRUE(frame.GetConcatenatedFragments(frame.Fragments));
  const UBYTE* fragments = frame.Fragments.Value.OB().GetMemoryLocation();
  EXPECT_EQ(std::vector<UBYTE>(fragments, fragments + 2), second);

  layout.frames = 3;
  EncapsulatedSet(set, layout, JpegSyntax, Encapsulated({0, 12}, {first, second}));
  EXPECT_FALSE(frame.UpdateFrom(set, 3));
  EXPECT_NE(reports.Errors().find("The Basic Offset Table does not describe frame 3!"), std::string::npos);

  // An offset beyond the data is refused rather than followed.
  layout.frames = 2;
  EncapsulatedSet(set, layout, JpegSyntax, Encapsulated({0, 5000}, {first, second}));
  EXPECT_FALSE(frame.UpdateFrom(set, 1));
  EXPECT_NE(reports.Errors().find("points outside the pixel data"), std::string::npos);

  // The element must be OB and start with an item.
  std::vector<UBYTE> data = Encapsulated({}, {first, second});
  data[0] = 0;
  EncapsulatedSet(set, layout, JpegSyntax, data);
  EXPECT_FALSE(frame.UpdateFrom(set, 1));
  EXPECT_NE(reports.Errors().find("Item tag not found!"), std::string::npos);
  set[Tag(0x7FE0, 0x0010)].OW().SetSize(4);
  set[Tag(0x7FE0, 0x0010)].OW().AllocateMemory();
  EXPECT_FALSE(frame.UpdateFrom(set, 1));
  EXPECT_NE(reports.Errors().find("Encapsulated/compressed data should be OB!"), std::string::npos);

  // Without a table, the frame is everything between table and delimiter.
  layout.frames = 0;
  EncapsulatedSet(set, layout, JpegSyntax, Encapsulated({}, {first, second}));
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_EQ(frame.SourcePixels.Value.OB().GetSize(), 22u);
}

TEST(FrameConstruction, ImageFilesAreChosenByExtension) {
  ReportCapture reports;
  qzmMedicalFrame frame;
  EXPECT_FALSE(frame.UpdateFrom(qzcFileName("picture.gif"), qzmMedicalFrame::ConversionSettings()));
  EXPECT_NE(reports.Errors().find("sorry, this format is not supported (gif)!"), std::string::npos);
}

}  // namespace
