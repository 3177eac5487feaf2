// Building frames from data sets: tag defaults and clamping, refusals,
// windows, colour tables, native and encapsulated frame views.
#include "frame/FrameSets.h"
#include "lib/ReportCapture.h"
#include "lib/qzcFileName.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

#include <cmath>

using namespace framesets;

namespace {

std::vector<UBYTE> Ramp(size_t n) {
  std::vector<UBYTE> bytes(n);
  for (size_t k = 0; k < n; ++k)
    bytes[k] = UBYTE(k);
  return bytes;
}

// Every test starts from a byte set of the layout with ramp pixels, built
// into the fixture's set.
class FrameConstruction : public ::testing::Test {
 protected:
  ReportCapture reports;
  qzmDicomDataElementSet set;
  qzmMedicalFrame frame;
  bool Build(const Layout& layout, size_t bytes, UWORD number = 1) {
    ByteSet(set, layout, Ramp(bytes));
    return frame.UpdateFrom(set, number);
  }
};

TEST_F(FrameConstruction, NativeFramesAreViewsOnThePixelData) {
  ASSERT_TRUE(Build(Layout{10, 10, 8, 8, 7, 0, 1, 0, 3}, 300, 3));
  EXPECT_EQ(frame.Structure.NumberOfPixels, 100u);
  EXPECT_EQ(frame.Structure.Sample.StoredMask, 0xFF);
  EXPECT_GT(frame.SourcePixels.Date, frame.Pixels.Date);
  // No copy: the view points 200 bytes into the element's own memory.
  EXPECT_EQ(frame.SourcePixels.Value.OB().GetMemoryLocation(), set[Tag(0x7FE0, 0x0010)].OB().GetMemoryLocation() + 200);
  EXPECT_EQ(frame.SourcePixels.Value.OB().GetSize(), 100u);
  ASSERT_TRUE(frame.ArePixelsReady());
  EXPECT_EQ(PixelValues(frame)[0], 200 % 256);
  EXPECT_EQ(frame.Pixels.Date, frame.SourcePixels.Date);

  // Word frames advance by whole frames.
  std::vector<UWORD> words(12);
  for (UWORD k = 0; k < 12; ++k)
    words[k] = UWORD(1000 + k);
  WordSet(set, Layout{2, 2, 16, 16, 15, 0, 1, 0, 3}, words);
  ASSERT_TRUE(frame.UpdateFrom(set, 2));
  ASSERT_TRUE(frame.ArePixelsReady());
  EXPECT_EQ(PixelValues(frame), (std::vector<UWORD>{1004, 1005, 1006, 1007}));
}

TEST_F(FrameConstruction, FramesOutsideTheSetOrTheElementAreRefused) {
  EXPECT_FALSE(Build(Layout(), 4, 2));
  EXPECT_HAS(reports.Errors(), "selected frame 2 does not exist! There are 1 frames in the set!");
  EXPECT_FALSE(frame.UpdateFrom(set, 0));
  EXPECT_TRUE(Build(Layout{2, 2, 8, 8, 7, 0, 1, 0, 2}, 6, 1));
  EXPECT_FALSE(frame.UpdateFrom(set, 2));
  EXPECT_HAS(reports.Errors(), "missing pixel data (8 bytes at least expected, 6 found)!");
}

TEST_F(FrameConstruction, MissingTagsGetDefaultsWithWarnings) {
  WordSet(set, Layout{2, 2, 16, 12, 11}, {1, 2, 3, 4});
  for (const Tag& tag :
       {Tag(0x0028, 0x0100), Tag(0x0028, 0x0004), Tag(0x0028, 0x0002), Tag(0x0028, 0x0102), Tag(0x0008, 0x0060)})
    set.erase(tag);
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_EQ(frame.Structure.Sample.BitsAllocated, 16);
  EXPECT_EQ(frame.Structure.Sample.HighBit, 11);
  EXPECT_EQ(frame.Structure.PhotometricInterpretation, "MONOCHROME2");
  EXPECT_EQ(frame.Structure.SamplesPerPixel, 1);
  for (const char* text :
       {"Bits Allocated. Assuming 16.", "High Bit. Assuming 11.", "Photometric Interpretation. Assuming MONOCHROME2.",
        "Samples per Pixel. Assuming 1.", "modality is unknown!"})
    EXPECT_HAS(reports.Warnings(), text);

  ByteSet(set, Layout(), Ramp(4));
  set.erase(Tag(0x0028, 0x0100));
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_EQ(frame.Structure.Sample.BitsAllocated, 8);
}

TEST_F(FrameConstruction, SpacingThicknessAndPadding) {
  ByteSet(set, Layout(), Ramp(4));
  SetText(set, 0x0028, 0x0030, "0.5\\0.25");
  SetText(set, 0x0018, 0x0050, "2.5");
  set[Tag(0x0028, 0x0120)].SS() = -2000;
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
  EXPECT_HAS(reports.Warnings(), "Pixel padding value is 0, ignoring it.");
  set.erase(Tag(0x0028, 0x0030));
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_FALSE(frame.HasPixelSpacing);
  EXPECT_EQ(frame.SliceThickness, 0.0f);
}

TEST_F(FrameConstruction, MissingTagsAndOddLayoutsAreReported) {
  ByteSet(set, Layout(), Ramp(4));
  set.erase(Tag(0x0028, 0x0101));
  EXPECT_FALSE(frame.UpdateFrom(set, 1));
  EXPECT_HAS(reports.Errors(), "missing image mandatory tags in set!");
  // Empty Pixel Data or Rows elements, as read from a file, are absent.
  testsupport::TempDir dir;
  for (const Tag& tag : {Tag(0x7FE0, 0x0010), Tag(0x0028, 0x0010)}) {
    ByteSet(set, Layout(), Ramp(4));
    qzmDicomDataElementValue empty = set[Tag(0x7FE0, 0x0010)];
    empty.OB().SetSize(0);
    set[tag] = empty;
    qzmDicomDataElementSet read;
    ASSERT_TRUE(set.Save(qzcFileName(dir.file("empty.dcm"))) && read.Load(qzcFileName(dir.file("empty.dcm"))));
    EXPECT_FALSE(frame.UpdateFrom(read, 1));
  }
  ByteSet(set, Layout(), Ramp(4));
  SetText(set, 0x0028, 0x1050, "40");
  EXPECT_FALSE(frame.UpdateFrom(set, 1));
  EXPECT_HAS(reports.Errors(), "missing Windowing mandatory tags in set!");

  EXPECT_TRUE(Build(Layout{1, 3, 8, 8, 7, 0, 1, 0, 3}, 9, 2));
  EXPECT_HAS(reports.Warnings(), "3 frames, 8 bits allocated, 3 bytes in frame... offset to frames pb ? (email me)");
  // 32 bits allocated are handled in full: no warning that they are not.
  EXPECT_TRUE(Build(Layout{2, 2, 32, 16, 15}, 16));
  EXPECT_EQ(std::string(reports.Warnings()).find("not fully supported"), std::string::npos);
}

TEST_F(FrameConstruction, BitLayoutsAreClampedOrRefused) {
  struct qzmMedicalFrame::Structure::Sample sample;
  sample.SetBitsAllocatedStoredHigh(8, 16, 15);
  EXPECT_EQ(sample.BitsStored, 8);
  EXPECT_EQ(sample.HighBit, 7);
  sample.SetBitsAllocatedStoredHigh(12, 12, 15);
  EXPECT_EQ(sample.HighBit, 11);
  EXPECT_EQ(sample.LowBit, 0);
  EXPECT_HAS(reports.Warnings(), "Bits Stored 16 > Bits Allocated 8 ! Clamping.");
  EXPECT_HAS(reports.Warnings(), "High Bit 15 > (Bits Allocated - 1) 11 ! Clamping.");
  // Layouts the pixel code cannot address: no stored bits, or stored bits
  // reaching below bit 0.
  EXPECT_FALSE(Build(Layout{2, 2, 8, 0, 7}, 4));
  EXPECT_FALSE(Build(Layout{2, 2, 8, 8, 3}, 4));
  EXPECT_HAS(reports.Errors(), "unsupported sample layout");
}

TEST_F(FrameConstruction, PhotometricInterpretationMustFitTheSamples) {
  Layout layout;
  layout.photometric = "CIELAB";
  EXPECT_FALSE(Build(layout, 12));
  EXPECT_HAS(reports.Errors(), "can not handle photometric interpretation CIELAB! (email me)");
  layout.photometric = "YBR_FULL";
  EXPECT_FALSE(Build(layout, 12));
  EXPECT_HAS(reports.Errors(), "photometric interpretation YBR_FULL does not match samples per pixel 1!");
  layout.photometric = "RGB";
  EXPECT_FALSE(Build(layout, 12));
  EXPECT_HAS(reports.Errors(), "photometric interpretation RGB does not match samples per pixel 1!");
  layout.samples = 3;
  ByteSet(set, layout, Ramp(12));
  set.erase(Tag(0x0028, 0x0006));
  EXPECT_FALSE(frame.UpdateFrom(set, 1));
  EXPECT_HAS(reports.Errors(), "missing tag: (0028,0006) Planar Configuration!");
}

TEST_F(FrameConstruction, WindowInStoredValues) {
  Layout layout{2, 2, 16, 12, 11};
  layout.modality = "CT";
  WordSet(set, layout, {0, 0, 0, 0});
  SetText(set, 0x0028, 0x1050, "40\\60");
  SetText(set, 0x0028, 0x1051, "400");
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  const struct qzmMedicalFrame::Windowing& window = frame.Windowing;
  EXPECT_TRUE(window.HasWindowing);
  EXPECT_EQ(window.RescaleIntercept, -1024);
  EXPECT_EQ(window.StoredWindowWidth, 400);
  // Stored center (40 + 1024) / 1 = 1064, half the width below it.
  EXPECT_EQ(window.StoredWindowMin, 864);
  EXPECT_EQ(window.StoredWindowMax, 1263);
  EXPECT_HAS(reports.Warnings(), "Rescale Intercept. Modality is CT. Assuming -1024.");
  EXPECT_HAS(reports.Warnings(), "Rescale Slope. Modality is CT. Assuming 1.000000.");

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

TEST_F(FrameConstruction, UnusableWindowsLeaveTheFrameWithoutWindow) {
  ByteSet(set, Layout(), Ramp(4));
  SetText(set, 0x0028, 0x1050, "40");
  SetText(set, 0x0028, 0x1051, "400");
  SetText(set, 0x0028, 0x1052, "0");
  SetText(set, 0x0028, 0x1053, "0");
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_FALSE(frame.Windowing.HasWindowing);
  EXPECT_HAS(reports.Warnings(), "no windowing");
  SetText(set, 0x0028, 0x1053, "1");
  SetText(set, 0x0028, 0x1050, "1e300");
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_TRUE(frame.Windowing.HasWindowing);
  EXPECT_EQ(frame.Windowing.WindowCenter, 32767);
  EXPECT_FALSE(frame.SetWindow(40, 400, 0, std::nan("")));
  EXPECT_FALSE(frame.Windowing.HasWindowing);
}

// Adds the three descriptors (entries, 8 or 16 bits) and tables of
// tableEntries entries.
void AddPalette(qzmDicomDataElementSet& set, bool words, UWORD tableEntries) {
  for (UWORD element : {0x1101, 0x1102, 0x1103}) {
    qzmDicomDataElementValue& descriptor = set[Tag(0x0028, element)];
    descriptor.US(0) = 256;
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

TEST_F(FrameConstruction, PaletteTables) {
  Layout layout;
  layout.photometric = "PALETTE COLOR";
  EXPECT_FALSE(Build(layout, 4));
  EXPECT_HAS(reports.Errors(), "missing CLUT mandatory tags in set!");
  AddPalette(set, true, 256);
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_TRUE(frame.HasClut);
  EXPECT_EQ(frame.ClutEntries, 256);
  EXPECT_EQ(frame.ClutBitsPerEntry, 16);
  AddPalette(set, false, 256);
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_HAS(reports.Warnings(), "CLUTs encoded with VR = OB are prohibited, but let's try!");
  AddPalette(set, true, 200);
  EXPECT_FALSE(frame.UpdateFrom(set, 1));
  EXPECT_HAS(reports.Errors(), "256 CLUT entries were attended, 200 were found");

  layout.allocated = layout.stored = 16;
  layout.high = 15;
  WordSet(set, layout, {1, 2, 3, 4});
  AddPalette(set, true, 256);
  EXPECT_FALSE(frame.UpdateFrom(set, 1));
  EXPECT_HAS(reports.Errors(), "can not handle Bits Allocated 16 > 8 for Photometric Interpretation PALETTE COLOR!");
}

TEST_F(FrameConstruction, EncapsulatedFramesThroughTheOffsetTable) {
  const std::vector<UBYTE> first{1, 2, 3, 4}, second{5, 6};
  const Layout two{2, 2, 8, 8, 7, 0, 1, 0, 2};
  // Offsets count from the first fragment item, header included.
  EncapsulatedSet(set, two, JpegSyntax, Encapsulated({0, 12}, {first, second}));
  ASSERT_TRUE(frame.UpdateFrom(set, 2));
  EXPECT_EQ(frame.SourcePixels.Value.OB().GetSize(), 10u);
  ASSERT_TRUE(frame.GetConcatenatedFragments(frame.Fragments));
  const UBYTE* fragments = frame.Fragments.Value.OB().GetMemoryLocation();
  EXPECT_EQ(std::vector<UBYTE>(fragments, fragments + 2), second);

  // Two fragments can not hold three frames: one report for the set.
  EncapsulatedSet(set, Layout{2, 2, 8, 8, 7, 0, 1, 0, 3}, JpegSyntax, Encapsulated({0, 12}, {first, second}));
  EXPECT_FALSE(frame.UpdateFrom(set, 3));
  EXPECT_HAS(reports.Errors(), "the 2 fragments of the Pixel Data can not be divided into 3 frames (frame 3)!");
  // An offset beyond the data makes the table ignored: one fragment per frame.
  EncapsulatedSet(set, two, JpegSyntax, Encapsulated({0, 5000}, {first, second}));
  ASSERT_TRUE(frame.UpdateFrom(set, 2));
  EXPECT_HAS(reports.Warnings(), "the Basic Offset Table (2 entries) does not describe the 2 frames, ignoring it.");
  EXPECT_EQ(frame.SourcePixels.Value.OB().GetSize(), 10u);

  // The element must start with an item.
  std::vector<UBYTE> data = Encapsulated({}, {first, second});
  data[0] = 0;
  EncapsulatedSet(set, two, JpegSyntax, data);
  EXPECT_FALSE(frame.UpdateFrom(set, 1));
  EXPECT_HAS(reports.Errors(), "Item tag not found!");
  data[0] = 0xFE;
  data[12] = 0xFF;  // the first fragment's length
  EncapsulatedSet(set, two, JpegSyntax, data);
  EXPECT_FALSE(frame.UpdateFrom(set, 1));
  EXPECT_HAS(reports.Errors(), "runs past the end of the pixel data");
  data[12] = 4;
  // Items tagged OW are items all the same.
  data[0] = 0xFE;
  EncapsulatedSet(set, two, JpegSyntax, data);
  qzmDicomDataElementValue& pixelData = set[Tag(0x7FE0, 0x0010)];
  const std::vector<UBYTE> bytes(pixelData.OB().GetMemoryLocation(), pixelData.OB().GetMemoryLocation() + data.size());
  pixelData.OW().SetSize(ULONG(bytes.size() / 2));
  ASSERT_TRUE(pixelData.OW().AllocateMemory());
  std::memcpy(pixelData.OW().GetMemoryLocation(), bytes.data(), bytes.size());
  ASSERT_TRUE(frame.UpdateFrom(set, 2));
  ASSERT_TRUE(frame.GetConcatenatedFragments(frame.Fragments));
  EXPECT_EQ(std::vector<UBYTE>(frame.Fragments.Value.OB().GetMemoryLocation(),
                               frame.Fragments.Value.OB().GetMemoryLocation() + 2),
            second);

  // Two fragments per frame without markers: the Extended Offset Table
  // (64-bit offsets) finds them.
  EncapsulatedSet(set, two, RleSyntax, Encapsulated({}, {first, second, first, second}));
  qzcDataLocation<UBYTE>& table = set[Tag(0x7FE0, 0x0001)].OB();
  table.SetSize(16);
  ASSERT_TRUE(table.AllocateMemory());
  const UBYTE offsets[16] = {0, 0, 0, 0, 0, 0, 0, 0, 22, 0, 0, 0, 0, 0, 0, 0};
  std::memcpy(table.GetMemoryLocation(), offsets, 16);
  ASSERT_TRUE(frame.UpdateFrom(set, 2));
  EXPECT_EQ(frame.SourcePixels.Value.OB().GetSize(), 22u);
  ASSERT_TRUE(frame.GetConcatenatedFragments(frame.Fragments));
  EXPECT_EQ(frame.Fragments.Value.OB().GetSize(), 6u);
  set.erase(Tag(0x7FE0, 0x0001));
  EXPECT_FALSE(frame.UpdateFrom(set, 2));
  EXPECT_HAS(reports.Errors(), "the 4 fragments of the Pixel Data can not be divided into 2 frames (frame 1)!");

  // Without a table, the frame is everything between table and delimiter.
  EncapsulatedSet(set, Layout(), JpegSyntax, Encapsulated({}, {first, second}));
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_EQ(frame.SourcePixels.Value.OB().GetSize(), 22u);
}

TEST_F(FrameConstruction, ImageFilesAreChosenByExtension) {
  EXPECT_FALSE(frame.UpdateFrom(qzcFileName("picture.gif"), qzmMedicalFrame::ConversionSettings()));
  EXPECT_HAS(reports.Errors(), "sorry, this format is not supported (gif)!");
}

}  // namespace
