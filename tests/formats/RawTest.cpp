// RAW files: the three writing modes on 8-, 12- and 16-bit frames,
// encapsulated fragments, whole-set extraction, and RAW input whose size and
// bits come from the settings or the file size.
#include "frame/FrameSets.h"
#include "lib/ReportCapture.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace framesets;
using testsupport::ReadBytes;
using testsupport::TempDir;
using testsupport::WriteBytes;

namespace {

typedef std::vector<UBYTE> Bytes;

// Builds frame 1 (or number) of set and writes it in mode; the file's bytes.
Bytes SaveRaw(qzmDicomDataElementSet& set, UWORD mode, UWORD number = 1, bool whole = false) {
  TempDir folder;
  qzmMedicalFrame frame;
  EXPECT_TRUE(frame.UpdateFrom(set, number));
  const qzcFileName name(folder.file("out.raw"));
  if (!frame.SaveAsRAW(name, qzmMedicalFrame::ConversionContext(), mode, whole, set))
    return Bytes{0xDE, 0xAD};
  return ReadBytes(name);
}

// Stored values unpacked in both byte orders (modes 0 and 1); extraction
// (mode 2) keeps the words.
TEST(RawFiles, ModesOnNativeFrames) {
  ReportCapture reports;
  const struct {
    Layout layout;
    std::vector<UWORD> samples;
    UWORD mode;
    Bytes expected;
  } rows[] = {
      {Layout(), {1, 2, 3, 4}, 0, {1, 2, 3, 4}},
      {Layout(), {1, 2, 3, 4}, 1, {1, 2, 3, 4}},
      {Layout(), {1, 2, 3, 4}, 2, {1, 2, 3, 4}},
      {Layout{1, 2, 16, 12, 15}, {0x123F, 0xABC0}, 0, {0x23, 0x01, 0xBC, 0x0A}},
      {Layout{1, 2, 16, 12, 15}, {0x123F, 0xABC0}, 1, {0x01, 0x23, 0x0A, 0xBC}},
      {Layout{1, 2, 16, 12, 15}, {0x123F, 0xABC0}, 2, {0x3F, 0x12, 0xC0, 0xAB}},
      {Layout{1, 2, 16, 16, 15}, {0x1234, 0xFEDC}, 1, {0x12, 0x34, 0xFE, 0xDC}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << "bits " << row.layout.stored << ", mode " << row.mode);
    qzmDicomDataElementSet set;
    if (row.layout.allocated == 8)
      ByteSet(set, row.layout, Bytes(row.samples.begin(), row.samples.end()));
    else
      WordSet(set, row.layout, row.samples);
    EXPECT_EQ(SaveRaw(set, row.mode), row.expected);
  }
}

TEST(RawFiles, BigEndianSourcesAreExtractedLittleEndian) {
  ReportCapture reports;
  TempDir folder;
  qzmDicomDataElementSet written, set;
  WordSet(written, Layout{1, 2, 16, 16, 15}, {0x1234, 0x5678});
  written[Tag(0x0002, 0x0010)].UI() = "1.2.840.10008.1.2.2";
  ASSERT_TRUE(written.Save(qzcFileName(folder.file("big.dcm"))));
  ASSERT_TRUE(set.Load(qzcFileName(folder.file("big.dcm"))));
  EXPECT_EQ(SaveRaw(set, 2), (Bytes{0x34, 0x12, 0x78, 0x56}));
  EXPECT_EQ(SaveRaw(set, 1), (Bytes{0x12, 0x34, 0x56, 0x78}));
}

// Modes 0 and 1 write decoded samples, frame by frame or for the whole set;
// extraction (mode 2) writes the stored bytes; a frame that cannot be
// decoded leaves no file.
TEST(RawFiles, EncapsulatedFramesAreDecodedOrExtracted) {
  ReportCapture reports;
  const Layout layout{2, 2, 16, 16, 15, 0, 1, 0, 2};
  const Bytes first = RleFrame({{0xFD, 0x01}, {0x03, 1, 2, 3, 4}});
  const Bytes second = RleFrame({{0xFD, 0x02}, {0xFD, 9}});
  qzmDicomDataElementSet set;
  EncapsulatedSet(set, layout, RleSyntax, Encapsulated({0, ULONG(8 + first.size())}, {first, second}));
  EXPECT_EQ(SaveRaw(set, 0, 1), (Bytes{1, 1, 2, 1, 3, 1, 4, 1}));
  EXPECT_EQ(SaveRaw(set, 1, 2), (Bytes{2, 9, 2, 9, 2, 9, 2, 9}));
  EXPECT_EQ(SaveRaw(set, 0, 1, true), (Bytes{1, 1, 2, 1, 3, 1, 4, 1, 9, 2, 9, 2, 9, 2, 9, 2}));
  Bytes secondItem = Encapsulated({}, {second});
  // Without the empty offset table and the sequence delimitation.
  secondItem = Bytes(secondItem.begin() + 8, secondItem.end() - 8);
  EXPECT_EQ(SaveRaw(set, 2, 2), secondItem);

  const Bytes jpeg{0xFF, 0xD8, 1, 2};
  EncapsulatedSet(set, Layout(), JpegSyntax, Encapsulated({}, {jpeg}));
  EXPECT_EQ(SaveRaw(set, 2, 1, true), Encapsulated({}, {jpeg}));
  EXPECT_HAS(reports.Warnings(), "using original Pixel Data.");
  TempDir folder;
  qzmMedicalFrame frame;
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  const qzcFileName name(folder.file("damaged.raw"));
  EXPECT_FALSE(frame.SaveAsRAW(name, qzmMedicalFrame::ConversionContext(), 0, false, set));
  EXPECT_HAS(reports.Errors(), "transfer syntax 1.2.840.10008.1.2.4.50");
  EXPECT_FALSE(testsupport::FileExists(name));
}

TEST(RawFiles, RefusedDestinations) {
  ReportCapture reports;
  qzmDicomDataElementSet set;
  ByteSet(set, Layout(), {1, 2, 3, 4});
  qzmMedicalFrame frame;
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  qzmMedicalFrame::ConversionContext toOut;
  toOut.ToStandardOutput = true;
  EXPECT_FALSE(frame.SaveAsRAW(qzcFileName("x.raw"), toOut, 0, false, set));
  EXPECT_HAS(reports.Errors(), "unable to open destination file stdout!");
  // Extracting the whole Pixel Data of a set that has none.
  TempDir folder;
  qzmDicomDataElementSet empty;
  EXPECT_FALSE(
      frame.SaveAsRAW(qzcFileName(folder.file("y.raw")), qzmMedicalFrame::ConversionContext(), 2, true, empty));
  EXPECT_FALSE(testsupport::FileExists(folder.file("y.raw")));
}

qzmMedicalFrame::ConversionSettings Size(UWORD columns, UWORD rows) {
  qzmMedicalFrame::ConversionSettings settings;
  settings.Structure.Columns = columns;
  settings.Structure.Rows = rows;
  settings.Structure.NumberOfPixels = ULONG(rows) * columns;
  return settings;
}

TEST(RawFiles, RawInputTakesItsBitsFromTheFileSizeAndNeedsASize) {
  ReportCapture reports;
  TempDir folder;
  const std::string name = folder.file("in.raw");
  qzmMedicalFrame frame;
  WriteBytes(name, Bytes(524288, 1));
  ASSERT_TRUE(frame.UpdateFrom(qzcFileName(name), Size(512, 512)));
  EXPECT_EQ(frame.Structure.Sample.BitsStored, 16);
  EXPECT_EQ(frame.Structure.Sample.BitsAllocated, 16);
  EXPECT_EQ(frame.Structure.Sample.HighBit, 15);
  // Nothing is read until the pixels are used.
  EXPECT_EQ(frame.SourcePixels.Value.OW().GetMode(), qzcDataLocation<UWORD>::file);
  EXPECT_EQ(frame.GetMax(), 0x0101);

  WriteBytes(name, Bytes(262144, 2));
  ASSERT_TRUE(frame.UpdateFrom(qzcFileName(name), Size(512, 512)));
  EXPECT_EQ(frame.Structure.Sample.BitsStored, 8);
  EXPECT_EQ(frame.Structure.Sample.BitsAllocated, 8);
  EXPECT_EQ(frame.Structure.Sample.HighBit, 7);
  EXPECT_EQ(frame.GetMax(), 2);

  qzmMedicalFrame::ConversionSettings settings = Size(512, 512);
  settings.Structure.Sample.SetBitsAllocatedStoredHigh(16, 12, 11);
  WriteBytes(name, Bytes(524287, 0));
  EXPECT_FALSE(frame.UpdateFrom(qzcFileName(name), settings));
  EXPECT_HAS(reports.Errors(), "missing pixel data (524288 words at least expected, 524287 found)!");

  // A size is needed, and a file to take the bits from.
  EXPECT_FALSE(frame.UpdateFrom(qzcFileName(name), Size(0, 0)));
  EXPECT_FALSE(frame.UpdateFrom(qzcFileName(name), Size(4, 0)));
  EXPECT_HAS(reports.Errors(), "missing size information (use --size)!");
  EXPECT_FALSE(frame.UpdateFrom(qzcFileName(folder.file("none.raw")), Size(4, 4)));
  EXPECT_HAS(reports.Errors(), "unable to read the size of file");
}

}  // namespace
