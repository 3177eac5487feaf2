// RAW files and DICOM output read back, RAW input.
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

// Modes 0 and 1 unpack the stored values in either byte order, mode 2 extracts what is stored; a frame that cannot
// be decoded leaves no file. RAW input takes its bits from the settings or the file size.
TEST(RawFiles, OutputModesAndInput) {
  ReportCapture reports;
  qzmDicomDataElementSet bytes, words, rle, jpeg, empty;
  ByteSet(bytes, Layout(), {1, 2, 3, 4});
  WordSet(words, Layout{1, 2, 16, 12, 15}, {0x123F, 0xABC0});
  const Bytes first = RleStream({{0xFD, 0x01}, {0x03, 1, 2, 3, 4}}), second = RleStream({{0xFD, 0x02}, {0xFD, 9}});
  EncapsulatedSet(rle, Layout{2, 2, 16, 16, 15, 0, 1, 0, 2}, RleSyntax,
                  Items({0, ULONG(8 + first.size())}, {first, second}));
  EncapsulatedSet(jpeg, Layout(), JpegSyntax, Items({}, {{0xFF, 0xD8, 1, 2}}));
  const Bytes item = Items({}, {second});  // less the offset table and the delimitation below
  const struct { qzmDicomDataElementSet& set; UWORD mode, frame; bool whole; Bytes expected; } rows[] = {
      {bytes, 0, 1, false, {1, 2, 3, 4}}, {bytes, 1, 1, false, {1, 2, 3, 4}}, {bytes, 2, 1, false, {1, 2, 3, 4}},
      {words, 0, 1, false, {0x23, 0x01, 0xBC, 0x0A}}, {words, 1, 1, false, {0x01, 0x23, 0x0A, 0xBC}},
      {words, 2, 1, false, {0x3F, 0x12, 0xC0, 0xAB}}, {rle, 0, 1, false, {1, 1, 2, 1, 3, 1, 4, 1}},
      {rle, 1, 2, false, {2, 9, 2, 9, 2, 9, 2, 9}}, {rle, 0, 1, true, {1, 1, 2, 1, 3, 1, 4, 1, 9, 2, 9, 2, 9, 2, 9, 2}},
      {rle, 2, 2, false, Bytes(item.begin() + 8, item.end() - 8)},
      {jpeg, 2, 1, true, Items({}, {{0xFF, 0xD8, 1, 2}})}, {jpeg, 0, 1, false, {0xDE, 0xAD}}};
  for (const auto& row : rows)
    EXPECT_EQ(SaveRaw(row.set, row.mode, row.frame, row.whole), row.expected) << row.mode << " " << row.set.size();
  EXPECT_HAS(reports.Warnings(), "using original Pixel Data.");
  EXPECT_HAS(reports.Errors(), "transfer syntax 1.2.840.10008.1.2.4.50");
  qzmMedicalFrame frame;
  ASSERT_TRUE(frame.UpdateFrom(bytes, 1));
  TempDir folder;
  EXPECT_FALSE(frame.SaveAsRAW(qzcFileName(folder.file("y.raw")), Context, 2, true, empty));  // no Pixel Data
  EXPECT_FALSE(testsupport::FileExists(folder.file("y.raw")));
  qzmMedicalFrame::ConversionContext toOut;
  toOut.ToStandardOutput = true;
  EXPECT_FALSE(frame.SaveAsRAW(qzcFileName("x.raw"), toOut, 0, false, bytes));
  EXPECT_HAS(reports.Errors(), "unable to open destination file stdout!");
  const std::string name = folder.file("in.raw");  // RAW input: bits from the settings or the file size
  qzmMedicalFrame::ConversionSettings settings;
  settings.Structure.Columns = settings.Structure.Rows = 256;
  for (const auto& row : {std::make_pair(131072, 16), {65536, 8}}) {  // bytes, bits
    testsupport::WriteBytes(name, Bytes(std::size_t(row.first), 1));
    frame.Modality = "CT";  // of a set the frame held before
    ASSERT_TRUE(frame.UpdateFrom(qzcFileName(name), settings) && frame.Modality.empty());
    EXPECT_EQ(row.second, frame.Structure.Sample.BitsStored + frame.Structure.Sample.BitsAllocated -
                              frame.Structure.Sample.HighBit - 1);
    EXPECT_EQ(row.second == 16 ? 0x0101 : 1, frame.GetMax());
  }
  settings.Structure.Sample.SetBitsAllocatedStoredHigh(16, 12, 11);
  settings.Structure.Columns = 512;
  EXPECT_FALSE(frame.UpdateFrom(qzcFileName(name), settings));
  EXPECT_HAS(reports.Errors(), "missing pixel data (262144 words at least expected, 65536 found)!");
  for (const std::string& none : {folder.file("none.raw"), folder.path()})
    EXPECT_FALSE(frame.UpdateFrom(qzcFileName(none), settings)) << none;
  EXPECT_HAS(reports.Errors(), "unable to read the size of file");
  settings.Structure.Rows = 0;
  EXPECT_FALSE(frame.UpdateFrom(qzcFileName(name), settings));
  EXPECT_HAS(reports.Errors(), "missing size information (use --size)!");
}

// A 2 x 3 16-bit CT set of frames (0: no Number of Frames) with a window, no intercept, and a meta group.
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
  const UWORD* words = set[Tag(0x7FE0, 0x0010)].OW().GetMemoryLocation();
  return words ? std::vector<UWORD>(words, words + set[Tag(0x7FE0, 0x0010)].OW().GetSize()) : std::vector<UWORD>();
}

std::string PixelBytes(qzmDicomDataElementSet& set) {
  const UBYTE* bytes = set[Tag(0x7FE0, 0x0010)].OB().GetMemoryLocation();
  return bytes ? std::string(bytes, bytes + set[Tag(0x7FE0, 0x0010)].OB().GetSize()) : "none";
}

// Native syntaxes read back (implicit big endian only without meta group); a selected frame describes the processed
// frame, a whole set keeps its own Pixel Data's layout, the set is left as it was; compressed data are kept by -d,
// refused under a native syntax when they cannot be decoded.
TEST(DicomOutput, SyntaxesFramesSetsAndCompressedData) {
  ReportCapture reports;
  TempDir folder;
  qzmDicomDataElementSet set, back;
  CtSet(set);
  qzmMedicalFrame frame;
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_FALSE(frame.SaveAsDICOM(qzcFileName(folder.file("ib.dcm")), Context, set, "ib", false));
  EXPECT_HAS(reports.Errors(), "conversion to DICOM (-d), unsupported syntax ib!");
  for (const char* option : {"il", "el", "eb", "ib"}) {
    const std::string file = folder.file(std::string(option) + ".dcm");
    if (option == std::string("ib"))
      set.erase(Tag(0x0002, 0x0010));
    ASSERT_TRUE(frame.SaveAsDICOM(qzcFileName(file), Context, set, option, false));
    back.clear();  // loading adds to the set
    ASSERT_TRUE(back.Load(qzcFileName(file), nullptr, set.count(Tag(0x0002, 0x0010)) ? nullptr : implicit_big_endian));
    EXPECT_EQ(PixelWords(back), PixelWords(set)) << option;
    EXPECT_EQ(back.count(Tag(0x0028, 0x1052)), 0u);
  }
  EXPECT_FALSE(frame.SaveAsDICOM(qzcFileName(folder.file("x.dcm")), Context, set, "xx", false));
  CtSet(set, 3);
  back.clear();
  const qzcFileName name(folder.file("frame.dcm"));
  const std::size_t elements = set.size();
  UWORD* const pixels = set[Tag(0x7FE0, 0x0010)].OW().GetMemoryLocation();
  ASSERT_TRUE(frame.UpdateFrom(set, 2) && frame.SaveAsDICOM(name, Context, set, "", false) && back.Load(name));
  EXPECT_EQ(back.count(Tag(0x0028, 0x0008)), 0u);
  EXPECT_EQ(PixelWords(back), (std::vector<UWORD>{601, 701, 801, 901, 1001, 1101}));
  ASSERT_TRUE(frame.Crop(1, 0, 2, 2) && frame.Halve());
  frame.HasPixelSpacing = frame.SpacingChanged = true;  // as --spacing gives it
  frame.PixelSpacing[0] = 0.5f;
  frame.PixelSpacing[1] = 0.25f;
  for (bool whole : {false, true}) {
    ASSERT_TRUE(frame.SaveAsDICOM(name, Context, set, "el", whole) && back.Load(name));
    EXPECT_EQ(std::make_pair(back[Tag(0x0028, 0x0010)].US(), back[Tag(0x0028, 0x0011)].US()),
              whole ? std::make_pair(UWORD(2), UWORD(3)) : std::make_pair(UWORD(1), UWORD(1)));
    EXPECT_EQ(back[Tag(0x0028, 0x0030)].DS(), "0.5\\0.25");
    EXPECT_EQ(PixelWords(back), whole ? PixelWords(set) : std::vector<UWORD>{(701 + 801 + 1001 + 1101) / 4});
    EXPECT_EQ(back.count(Tag(0x0028, 0x0008)), whole ? 1u : 0u);
    EXPECT_EQ(std::make_pair(set.size(), set[Tag(0x7FE0, 0x0010)].OW().GetMemoryLocation()),
              std::make_pair(elements, pixels));
    EXPECT_EQ(set[Tag(0x0028, 0x0010)].US(), 2);
  }
  ByteSet(set, Layout{1, 2, 8, 8, 7, 0, 3, 1, 0, "RGB"}, {'R', 'R', 'G', 'G', 'B', 'B'});
  set[Tag(0x0002, 0x0010)].UI() = "1.2.840.10008.1.2.1";
  ASSERT_TRUE(frame.UpdateFrom(set, 1) && frame.ArePixelsReady());
  ASSERT_TRUE(frame.SaveAsDICOM(name, Context, set, "", true) && back.Load(name));
  EXPECT_EQ(back[Tag(0x0028, 0x0006)].US(), 1);
  EXPECT_EQ(PixelBytes(back), "RRGGBB");
  const qzcFileName refused(folder.file("refused.dcm"));
  EncapsulatedSet(set, Layout(), JpegSyntax, Items({}, {{0xFF, 0xD8, 0xFF, 0xD9}}));
  ASSERT_TRUE(frame.UpdateFrom(set, 1) && frame.SaveAsDICOM(name, Context, set, "", false));
  EXPECT_HAS(reports.Warnings(), "using original Pixel Data.");
  EXPECT_FALSE(frame.SaveAsDICOM(refused, Context, set, "el", false) || testsupport::FileExists(refused));
  EXPECT_HAS(reports.Errors(), "conversion to DICOM (-d=el) of encapsulated/compressed data");
  EncapsulatedSet(set, Layout{2, 2, 8, 8, 7, 0, 1, 0, 2}, RleSyntax,
                  Items({}, {RleStream({{0x03, 9, 8, 7, 6}}), RleStream({{0xFD, 5}})}));
  back.clear();
  ASSERT_TRUE(frame.UpdateFrom(set, 2) && frame.SaveAsDICOM(name, Context, set, "el", false) && back.Load(name));
  EXPECT_EQ(back[Tag(0x0002, 0x0010)].UI(), "1.2.840.10008.1.2.1");
  EXPECT_EQ(PixelBytes(back), "\5\5\5\5");
  EXPECT_EQ(back.find(Tag(0x0028, 0x0008)), back.end());
  EXPECT_EQ(set[Tag(0x0002, 0x0010)].UI(), RleSyntax);
}

}  // namespace
