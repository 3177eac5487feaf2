// RAW files (three writing modes, encapsulated frames, RAW input) and DICOM
// output (native syntaxes, processed frames, whole sets, decoded or kept
// compressed data, the accumulation buffer), read back.
#include "frame/FrameSets.h"
#include "lib/ReportCapture.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace framesets;
using testsupport::TempDir;

namespace {

typedef std::vector<UBYTE> Bytes;
const qzmMedicalFrame::ConversionContext Context;

// Frame number of set written as RAW in mode; the file's bytes, or DE AD.
Bytes SaveRaw(qzmDicomDataElementSet& set, UWORD mode, UWORD number = 1, bool whole = false) {
  TempDir folder;
  qzmMedicalFrame frame;
  EXPECT_TRUE(frame.UpdateFrom(set, number));
  const qzcFileName name(folder.file("out.raw"));
  return frame.SaveAsRAW(name, Context, mode, whole, set) ? testsupport::ReadBytes(name) : Bytes{0xDE, 0xAD};
}

// Modes 0 and 1 unpack the stored values in either byte order, mode 2
// extracts what is stored; encapsulated frames are decoded or extracted.
TEST(RawFiles, ModesOnNativeAndEncapsulatedFrames) {
  ReportCapture reports;
  const struct {
    Layout layout;
    std::vector<UWORD> samples;
    UWORD mode;
    Bytes expected;
  } rows[] = {{Layout(), {1, 2, 3, 4}, 0, {1, 2, 3, 4}},
              {Layout(), {1, 2, 3, 4}, 1, {1, 2, 3, 4}},
              {Layout(), {1, 2, 3, 4}, 2, {1, 2, 3, 4}},
              {Layout{1, 2, 16, 12, 15}, {0x123F, 0xABC0}, 0, {0x23, 0x01, 0xBC, 0x0A}},
              {Layout{1, 2, 16, 12, 15}, {0x123F, 0xABC0}, 1, {0x01, 0x23, 0x0A, 0xBC}},
              {Layout{1, 2, 16, 12, 15}, {0x123F, 0xABC0}, 2, {0x3F, 0x12, 0xC0, 0xAB}}};
  for (const auto& row : rows) {
    qzmDicomDataElementSet set;
    if (row.layout.allocated == 8)
      ByteSet(set, row.layout, Bytes(row.samples.begin(), row.samples.end()));
    else
      WordSet(set, row.layout, row.samples);
    EXPECT_EQ(SaveRaw(set, row.mode), row.expected) << row.layout.stored << " bits, mode " << row.mode;
  }
  const Bytes first = RleFrame({{0xFD, 0x01}, {0x03, 1, 2, 3, 4}}), second = RleFrame({{0xFD, 0x02}, {0xFD, 9}});
  qzmDicomDataElementSet set;
  EncapsulatedSet(set, Layout{2, 2, 16, 16, 15, 0, 1, 0, 2}, RleSyntax,
                  Encapsulated({0, ULONG(8 + first.size())}, {first, second}));
  EXPECT_EQ(SaveRaw(set, 0, 1), (Bytes{1, 1, 2, 1, 3, 1, 4, 1}));
  EXPECT_EQ(SaveRaw(set, 1, 2), (Bytes{2, 9, 2, 9, 2, 9, 2, 9}));
  EXPECT_EQ(SaveRaw(set, 0, 1, true), (Bytes{1, 1, 2, 1, 3, 1, 4, 1, 9, 2, 9, 2, 9, 2, 9, 2}));
  const Bytes item = Encapsulated({}, {second});  // less the offset table and the delimitation
  EXPECT_EQ(SaveRaw(set, 2, 2), Bytes(item.begin() + 8, item.end() - 8));
  EncapsulatedSet(set, Layout(), JpegSyntax, Encapsulated({}, {{0xFF, 0xD8, 1, 2}}));
  EXPECT_EQ(SaveRaw(set, 2, 1, true), Encapsulated({}, {{0xFF, 0xD8, 1, 2}}));
  EXPECT_HAS(reports.Warnings(), "using original Pixel Data.");
  // A frame that cannot be decoded, a set without Pixel Data to extract,
  // standard output: no file.
  EXPECT_EQ(SaveRaw(set, 0), (Bytes{0xDE, 0xAD}));
  EXPECT_HAS(reports.Errors(), "transfer syntax 1.2.840.10008.1.2.4.50");
  qzmDicomDataElementSet empty;
  qzmMedicalFrame frame;
  ByteSet(set, Layout(), {1, 2, 3, 4});
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  TempDir folder;
  EXPECT_FALSE(frame.SaveAsRAW(qzcFileName(folder.file("y.raw")), Context, 2, true, empty));
  EXPECT_FALSE(testsupport::FileExists(folder.file("y.raw")));
  qzmMedicalFrame::ConversionContext toOut;
  toOut.ToStandardOutput = true;
  EXPECT_FALSE(frame.SaveAsRAW(qzcFileName("x.raw"), toOut, 0, false, set));
  EXPECT_HAS(reports.Errors(), "unable to open destination file stdout!");
}

// RAW input: bits from the settings or the file size, data read when used.
TEST(RawFiles, InputTakesItsBitsFromTheFileSizeAndNeedsASize) {
  ReportCapture reports;
  TempDir folder;
  const std::string name = folder.file("in.raw");
  const auto size = [](UWORD columns, UWORD rows, UWORD stored = 0) {
    qzmMedicalFrame::ConversionSettings settings;
    settings.Structure.Columns = columns;
    settings.Structure.Rows = rows;
    if (stored)
      settings.Structure.Sample.SetBitsAllocatedStoredHigh(16, stored, UWORD(stored - 1));
    return settings;
  };
  const struct {
    std::size_t bytes;
    UWORD stored, allocated, max;
  } rows[] = {{131072, 16, 16, 0x0101}, {65536, 8, 8, 1}};
  qzmMedicalFrame frame;
  for (const auto& row : rows) {
    testsupport::WriteBytes(name, Bytes(row.bytes, 1));
    ASSERT_TRUE(frame.UpdateFrom(qzcFileName(name), size(256, 256)));
    EXPECT_EQ(row.stored, frame.Structure.Sample.BitsStored);
    EXPECT_EQ(row.allocated, frame.Structure.Sample.BitsAllocated);
    EXPECT_EQ(row.stored - 1, frame.Structure.Sample.HighBit);
    EXPECT_EQ(row.max, frame.GetMax());
  }
  EXPECT_FALSE(frame.UpdateFrom(qzcFileName(name), size(512, 512, 12)));
  EXPECT_HAS(reports.Errors(), "missing pixel data (524288 words at least expected, 65536 found)!");
  EXPECT_FALSE(frame.UpdateFrom(qzcFileName(name), size(4, 0)));
  EXPECT_HAS(reports.Errors(), "missing size information (use --size)!");
  for (const std::string& none : {folder.file("none.raw"), folder.path()})
    EXPECT_FALSE(frame.UpdateFrom(qzcFileName(none), size(4, 4))) << none;
  EXPECT_HAS(reports.Errors(), "unable to read the size of file");
}

// A 2 x 3 16-bit CT set of frames (0: no Number of Frames) with a window
// but no intercept, and a Transfer Syntax UID, so a meta group.
void CtSet(qzmDicomDataElementSet& set, UWORD frames = 0) {
  std::vector<UWORD> words;
  for (UWORD k = 0; k < 6 * (frames ? frames : 1); ++k)
    words.push_back(UWORD(100 * k + 1));
  WordSet(set, Layout{2, 3, 16, 12, 11, 0, 1, 0, frames, "MONOCHROME2", "CT"}, words);
  set[Tag(0x0002, 0x0010)].UI() = "1.2.840.10008.1.2.1";
  set[Tag(0x0028, 0x1050)].DS() = "40";
  set[Tag(0x0028, 0x1051)].DS() = "400";
}

std::vector<UWORD> PixelWords(qzmDicomDataElementSet& set) {
  qzcDataLocation<UWORD>& words = set[Tag(0x7FE0, 0x0010)].OW();
  return words.GetMemoryLocation() ? std::vector<UWORD>(words.GetMemoryLocation(), words.GetMemoryLocation() + words.GetSize())
                                   : std::vector<UWORD>();
}

// Each native syntax reads back alike, here and in DCMTK; implicit big
// endian only for a set without meta group.
TEST(DicomOutput, NativeSyntaxes) {
  ReportCapture reports;
  TempDir folder;
  qzmDicomDataElementSet set;
  CtSet(set);
  qzmMedicalFrame frame;
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  for (const char* option : {"il", "el", "eb", "ib", "xx"}) {
    const std::string name = folder.file(std::string(option) + ".dcm");
    const bool meta = option[0] != 'i' || option[1] != 'b';
    EXPECT_EQ(meta && option[0] != 'x', frame.SaveAsDICOM(qzcFileName(name), Context, set, option, false)) << option;
    if (!meta) {
      EXPECT_HAS(reports.Errors(), "conversion to DICOM (-d), unsupported syntax ib!");
      set.erase(Tag(0x0002, 0x0010));
      ASSERT_TRUE(frame.UpdateFrom(set, 1));
      ASSERT_TRUE(frame.SaveAsDICOM(qzcFileName(name), Context, set, "ib", false));
    }
    if (option[0] == 'x')
      continue;
    qzmDicomDataElementSet back;
    ASSERT_TRUE(back.Load(qzcFileName(name), nullptr, meta ? nullptr : implicit_big_endian)) << option;
    EXPECT_EQ(meta, back.find(Tag(0x0002, 0x0010)) != back.end());
    EXPECT_EQ(PixelWords(back), PixelWords(set)) << option;
    EXPECT_EQ(back.find(Tag(0x0028, 0x1052)), back.end()) << "an intercept the frame did not move";
    if (meta && testsupport::HaveProgram("dcmdump")) {
      const testsupport::RunResult dump = testsupport::Run("dcmdump " + name);
      EXPECT_HAS(dump.out, "(7fe0,0010) OW 0001\\0065\\00c9");
      EXPECT_HAS(dump.out, option[0] == 'i' ? "Little Endian Implicit" : option[1] == 'l' ? "Little Endian Explicit" : "Big Endian Explicit");
    }
  }
}

// A selected frame is a one-frame image whose elements describe the
// processed frame; a whole set keeps the layout of its own Pixel Data; the
// set is left as it was.
TEST(DicomOutput, SelectedFramesAndWholeSets) {
  ReportCapture reports;
  TempDir folder;
  qzmDicomDataElementSet set, back;
  CtSet(set, 3);
  const qzcFileName name(folder.file("frame.dcm"));
  const std::size_t elements = set.size();
  const UWORD* pixels = set[Tag(0x7FE0, 0x0010)].OW().GetMemoryLocation();
  qzmMedicalFrame frame;
  ASSERT_TRUE(frame.UpdateFrom(set, 2));
  ASSERT_TRUE(frame.SaveAsDICOM(name, Context, set, "", false));
  ASSERT_TRUE(back.Load(name));
  EXPECT_EQ(back.find(Tag(0x0028, 0x0008)), back.end());
  EXPECT_EQ(PixelWords(back), (std::vector<UWORD>{601, 701, 801, 901, 1001, 1101}));
  ASSERT_TRUE(frame.Crop(1, 0, 2, 2));
  ASSERT_TRUE(frame.Halve());
  frame.HasPixelSpacing = frame.SpacingChanged = true;  // as --spacing gives it
  frame.PixelSpacing[0] = 0.5f;
  frame.PixelSpacing[1] = 0.25f;
  for (bool whole : {false, true}) {
    ASSERT_TRUE(frame.SaveAsDICOM(name, Context, set, "el", whole));
    ASSERT_TRUE(back.Load(name));
    EXPECT_EQ(back[Tag(0x0028, 0x0010)].US(), whole ? 2 : 1);
    EXPECT_EQ(back[Tag(0x0028, 0x0011)].US(), whole ? 3 : 1);
    EXPECT_EQ(back[Tag(0x0028, 0x0030)].DS(), "0.5\\0.25");
    EXPECT_EQ(PixelWords(back), whole ? PixelWords(set) : std::vector<UWORD>{(701 + 801 + 1001 + 1101) / 4});
    EXPECT_EQ(back.find(Tag(0x0028, 0x0008)) != back.end(), whole);
    EXPECT_EQ(set.size(), elements);
    EXPECT_EQ(set[Tag(0x0028, 0x0010)].US(), 2);
    EXPECT_EQ(set[Tag(0x7FE0, 0x0010)].OW().GetMemoryLocation(), pixels);
  }
  // Colour-by-plane pixels prepared for other outputs stay by plane.
  ByteSet(set, Layout{1, 2, 8, 8, 7, 0, 3, 1, 0, "RGB"}, {'R', 'R', 'G', 'G', 'B', 'B'});
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  ASSERT_TRUE(frame.ArePixelsReady());
  ASSERT_TRUE(frame.SaveAsDICOM(name, Context, set, "", true));
  ASSERT_TRUE(back.Load(name));
  EXPECT_EQ(back[Tag(0x0028, 0x0006)].US(), 1);
  EXPECT_EQ(std::string(back[Tag(0x7FE0, 0x0010)].OB().GetMemoryLocation(), back[Tag(0x7FE0, 0x0010)].OB().GetMemoryLocation() + 6), "RRGGBB");
}

// Compressed data: kept by a plain -d, decoded to a native syntax (one
// frame or all), refused when they cannot be decoded.
TEST(DicomOutput, EncapsulatedDataAreKeptDecodedOrRefused) {
  ReportCapture reports;
  TempDir folder;
  qzmDicomDataElementSet set, back;
  const qzcFileName name(folder.file("out.dcm"));
  EncapsulatedSet(set, Layout(), JpegSyntax, Encapsulated({}, {{0xFF, 0xD8, 0xFF, 0xD9}}));
  qzmMedicalFrame frame;
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  ASSERT_TRUE(frame.SaveAsDICOM(name, Context, set, "", false));
  EXPECT_HAS(reports.Warnings(), "using original Pixel Data.");
  const qzcFileName refused(folder.file("refused.dcm"));
  EXPECT_FALSE(frame.SaveAsDICOM(refused, Context, set, "el", false));
  EXPECT_HAS(reports.Errors(), "conversion to DICOM (-d=el) of encapsulated/compressed data");
  EXPECT_FALSE(testsupport::FileExists(refused));
  EncapsulatedSet(set, Layout{2, 2, 8, 8, 7, 0, 1, 0, 2}, RleSyntax,
                  Encapsulated({}, {RleFrame({{0x03, 9, 8, 7, 6}}), RleFrame({{0xFD, 5}})}));
  for (bool whole : {false, true}) {
    ASSERT_TRUE(frame.UpdateFrom(set, whole ? 1 : 2));
    ASSERT_TRUE(frame.SaveAsDICOM(name, Context, set, "el", whole));
    ASSERT_TRUE(back.Load(name));
    EXPECT_EQ(back[Tag(0x0002, 0x0010)].UI(), "1.2.840.10008.1.2.1");
    qzcDataLocation<UBYTE>& pixels = back[Tag(0x7FE0, 0x0010)].OB();
    EXPECT_EQ(Bytes(pixels.GetMemoryLocation(), pixels.GetMemoryLocation() + pixels.GetSize()),
              whole ? Bytes({9, 8, 7, 6, 5, 5, 5, 5}) : Bytes({5, 5, 5, 5}));
    EXPECT_EQ(back.find(Tag(0x0028, 0x0008)) != back.end(), whole);
    EXPECT_EQ(back.find(Tag(0x0028, 0x2110)), back.end());  // RLE is lossless
  }
  EXPECT_EQ(set[Tag(0x0002, 0x0010)].UI(), RleSyntax);
}

TEST(DicomOutput, AccumulatedFrameFromScratch) {
  ReportCapture reports;
  TempDir folder;
  qzmDicomDataElementSet set, back;
  ByteSet(set, Layout(), {1, 9, 3, 4});
  qzmMedicalFrame frame, accumulated;
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  ASSERT_TRUE(accumulated.Accumulate(frame, "max"));
  const qzcFileName name(folder.file("acc.dcm"));
  ASSERT_TRUE(accumulated.SaveFromScratchAsDicom(name, false));
  ASSERT_TRUE(back.Load(name));
  std::vector<Tag> tags;
  for (const auto& element : back)
    if (element.first.element != 0x0000)  // group lengths
      tags.push_back(element.first);
  EXPECT_EQ(tags, (std::vector<Tag>{Tag(0x0008, 0x0060), Tag(0x0028, 0x0002), Tag(0x0028, 0x0004), Tag(0x0028, 0x0010),
                                    Tag(0x0028, 0x0011), Tag(0x0028, 0x0100), Tag(0x0028, 0x0101), Tag(0x0028, 0x0102),
                                    Tag(0x0028, 0x0103), Tag(0x7FE0, 0x0010)}));
  EXPECT_FALSE(accumulated.SaveFromScratchAsDicom(name, true));
  EXPECT_HAS(reports.Errors(), "unable to open destination file stdout!");
}

}  // namespace
