// DICOM output: the set written again in each native syntax with the image
// elements of the processed frame, the set left as it was, encapsulated data
// kept, decoded or refused, and the accumulation buffer written from scratch.
#include "frame/FrameSets.h"
#include "lib/ReportCapture.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace framesets;
using testsupport::TempDir;

namespace {

const qzmMedicalFrame::ConversionContext Context;

// A 2 x 3 16-bit CT frame with a Transfer Syntax UID (so a meta group).
void CtSet(qzmDicomDataElementSet& set, UWORD frames = 0) {
  std::vector<UWORD> words;
  for (UWORD k = 0; k < 6 * (frames ? frames : 1); ++k)
    words.push_back(UWORD(100 * k + 1));
  WordSet(set, Layout{2, 3, 16, 12, 11, 0, 1, 0, frames, "MONOCHROME2", "CT"}, words);
  set[Tag(0x0002, 0x0010)].UI() = "1.2.840.10008.1.2.1";
  set[Tag(0x0008, 0x0016)].UI() = "1.2.840.10008.5.1.4.1.1.2";
}

std::vector<UWORD> PixelWords(qzmDicomDataElementSet& set) {
  qzcDataLocation<UWORD>& words = set[Tag(0x7FE0, 0x0010)].OW();
  const UWORD* data = words.GetMemoryLocation();
  return data ? std::vector<UWORD>(data, data + words.GetSize()) : std::vector<UWORD>();
}

TEST(DicomOutput, EachNativeSyntaxReadsBackAlike) {
  ReportCapture reports;
  TempDir folder;
  qzmDicomDataElementSet set;
  CtSet(set);
  const std::vector<UWORD> pixels = PixelWords(set);
  qzmMedicalFrame frame;
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  const struct {
    const char* option;
    const char* uid;
    const char* dcmtkName;
  } syntaxes[] = {{"il", "1.2.840.10008.1.2", "Little Endian Implicit"},
                  {"el", "1.2.840.10008.1.2.1", "Little Endian Explicit"},
                  {"eb", "1.2.840.10008.1.2.2", "Big Endian Explicit"}};
  for (const auto& syntax : syntaxes) {
    const std::string name = folder.file(std::string(syntax.option) + ".dcm");
    ASSERT_TRUE(frame.SaveAsDICOM(qzcFileName(name), Context, set, syntax.option, false)) << syntax.option;
    qzmDicomDataElementSet back;
    ASSERT_TRUE(back.Load(qzcFileName(name)));
    EXPECT_EQ(back[Tag(0x0002, 0x0010)].UI(), syntax.uid);
    EXPECT_EQ(back[Tag(0x0028, 0x0011)].US(), 3);
    EXPECT_EQ(PixelWords(back), pixels) << syntax.option;
    if (testsupport::HaveProgram("dcmdump")) {
      const testsupport::RunResult dump = testsupport::Run("dcmdump " + name);
      EXPECT_EQ(dump.status, 0) << dump.err;
      EXPECT_HAS(dump.out, syntax.dcmtkName);
      EXPECT_HAS(dump.out, "(0028,0011) US 3");
      EXPECT_HAS(dump.out, "(7fe0,0010) OW 0001\\0065\\00c9") << dump.out;
    }
  }
}

TEST(DicomOutput, ImplicitBigEndianOnlyForSetsWithoutMeta) {
  ReportCapture reports;
  TempDir folder;
  qzmDicomDataElementSet set;
  CtSet(set);
  qzmMedicalFrame frame;
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  const qzcFileName name(folder.file("ib.dcm"));
  EXPECT_FALSE(frame.SaveAsDICOM(name, Context, set, "ib", false));
  EXPECT_HAS(reports.Errors(), "conversion to DICOM (-d), unsupported syntax ib!");
  EXPECT_FALSE(frame.SaveAsDICOM(name, Context, set, "xx", false));

  set.erase(Tag(0x0002, 0x0010));
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  ASSERT_TRUE(frame.SaveAsDICOM(name, Context, set, "ib", false));
  qzmDicomDataElementSet back;
  ASSERT_TRUE(back.Load(name, nullptr, implicit_big_endian));
  EXPECT_EQ(PixelWords(back), PixelWords(set));
}

TEST(DicomOutput, ASelectedFrameAndTheProcessedGeometry) {
  ReportCapture reports;
  TempDir folder;
  qzmDicomDataElementSet set;
  CtSet(set, 3);
  const qzcFileName name(folder.file("frame.dcm"));
  qzmMedicalFrame frame;
  ASSERT_TRUE(frame.UpdateFrom(set, 2));
  ASSERT_TRUE(frame.SaveAsDICOM(name, Context, set, "", false));
  qzmDicomDataElementSet back;
  ASSERT_TRUE(back.Load(name));
  EXPECT_EQ(back.find(0x0028, 0x0008), back.end());
  EXPECT_EQ(PixelWords(back), (std::vector<UWORD>{601, 701, 801, 901, 1001, 1101}));

  ASSERT_TRUE(frame.Crop(1, 0, 2, 2));
  ASSERT_TRUE(frame.Halve());
  frame.HasPixelSpacing = true;
  frame.PixelSpacing[0] = 0.5f;
  frame.PixelSpacing[1] = 0.25f;
  frame.SpacingChanged = true;  // as --spacing supplies it
  ASSERT_TRUE(frame.SaveAsDICOM(name, Context, set, "el", false));
  ASSERT_TRUE(back.Load(name));
  EXPECT_EQ(back[Tag(0x0028, 0x0010)].US(), 1);
  EXPECT_EQ(back[Tag(0x0028, 0x0011)].US(), 1);
  EXPECT_EQ(back[Tag(0x0028, 0x0101)].US(), 12);
  EXPECT_EQ(back[Tag(0x0028, 0x0030)].DS(), "0.5\\0.25");
  EXPECT_EQ(PixelWords(back), (std::vector<UWORD>{(701 + 801 + 1001 + 1101) / 4}));
}

TEST(DicomOutput, AWholeSetKeepsTheLayoutOfItsPixelData) {
  ReportCapture reports;
  TempDir folder;
  qzmDicomDataElementSet set;
  CtSet(set, 3);
  const std::vector<UWORD> pixels = PixelWords(set);
  const qzcFileName name(folder.file("whole.dcm"));
  qzmMedicalFrame frame;
  set[Tag(0x0028, 0x0030)].DS() = "0.5\\0.5";
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  ASSERT_TRUE(frame.Crop(1, 0, 2, 2));
  ASSERT_TRUE(frame.Halve());
  ASSERT_TRUE(frame.SaveAsDICOM(name, Context, set, "el", true));
  qzmDicomDataElementSet back;
  ASSERT_TRUE(back.Load(name));
  EXPECT_EQ(back[Tag(0x0028, 0x0008)].IS(), "3");
  EXPECT_EQ(back[Tag(0x0028, 0x0010)].US(), 2);
  EXPECT_EQ(back[Tag(0x0028, 0x0011)].US(), 3);
  EXPECT_EQ(back[Tag(0x0028, 0x0030)].DS(), "0.5\\0.5");
  EXPECT_EQ(PixelWords(back).size(), pixels.size());

  // Colour-by-plane pixels prepared for other outputs stay by plane in the
  // set's own Pixel Data.
  ByteSet(set, Layout{1, 2, 8, 8, 7, 0, 3, 1, 0, "RGB"}, {'R', 'R', 'G', 'G', 'B', 'B'});
  set[Tag(0x0002, 0x0010)].UI() = "1.2.840.10008.1.2.1";
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  ASSERT_TRUE(frame.ArePixelsReady());
  ASSERT_TRUE(frame.SaveAsDICOM(name, Context, set, "", true));
  ASSERT_TRUE(back.Load(name));
  EXPECT_EQ(back[Tag(0x0028, 0x0006)].US(), 1);
  const UBYTE* bytes = back[Tag(0x7FE0, 0x0010)].OB().GetMemoryLocation();
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(std::string(bytes, bytes + 6), "RRGGBB");
}

TEST(DicomOutput, TheSetIsLeftAsItWas) {
  ReportCapture reports;
  TempDir folder;
  qzmDicomDataElementSet set;
  CtSet(set, 3);
  const size_t elements = set.size();
  const UWORD* pixels = set[Tag(0x7FE0, 0x0010)].OW().GetMemoryLocation();
  qzmMedicalFrame frame;
  for (UWORD number : {1, 3}) {
    ASSERT_TRUE(frame.UpdateFrom(set, number));
    ASSERT_TRUE(frame.Crop(0, 0, 1, 1));
    ASSERT_TRUE(frame.SaveAsDICOM(qzcFileName(folder.file("f.dcm")), Context, set, "il", false));
    EXPECT_EQ(set.size(), elements);
    EXPECT_EQ(set[Tag(0x0028, 0x0008)].IS(), "3");
    EXPECT_EQ(set[Tag(0x0028, 0x0010)].US(), 2);
    EXPECT_EQ(set[Tag(0x0002, 0x0010)].UI(), "1.2.840.10008.1.2.1");
    EXPECT_EQ(set[Tag(0x7FE0, 0x0010)].OW().GetMemoryLocation(), pixels);
    EXPECT_TRUE(set[Tag(0x7FE0, 0x0010)].OW().IsOwned());
  }
}

TEST(DicomOutput, EncapsulatedDataAreKeptDecodedOrRefused) {
  ReportCapture reports;
  TempDir folder;
  Layout layout;
  qzmDicomDataElementSet set;
  EncapsulatedSet(set, layout, JpegSyntax, Encapsulated({}, {{0xFF, 0xD8, 0xFF, 0xD9}}));
  qzmMedicalFrame frame;
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  // Plain -d keeps the compressed set as it is.
  const qzcFileName kept(folder.file("kept.dcm"));
  ASSERT_TRUE(frame.SaveAsDICOM(kept, Context, set, "", false));
  EXPECT_HAS(reports.Warnings(), "using original Pixel Data.");
  // Compressed data that cannot be decoded under a native syntax: refused,
  // no file left.
  const qzcFileName refused(folder.file("refused.dcm"));
  EXPECT_FALSE(frame.SaveAsDICOM(refused, Context, set, "el", false));
  EXPECT_HAS(reports.Errors(), "conversion to DICOM (-d=el) of encapsulated/compressed data");
  EXPECT_FALSE(testsupport::FileExists(refused));

  // RLE frames are decoded: a selected frame gives a one-frame file, the
  // whole selection every frame, with elements describing the samples.
  const Layout two{2, 2, 8, 8, 7, 0, 1, 0, 2};
  const std::vector<UBYTE> first = RleFrame({{0x03, 9, 8, 7, 6}}), second = RleFrame({{0xFD, 5}});
  EncapsulatedSet(set, two, RleSyntax, Encapsulated({}, {first, second}));
  const struct {
    UWORD frame;
    bool whole;
    std::vector<UBYTE> pixels;
    const char* frames;  // Number of Frames, null when absent
  } rows[] = {
      {2, false, {5, 5, 5, 5}, nullptr},
      {1, true, {9, 8, 7, 6, 5, 5, 5, 5}, "2"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.frame);
    ASSERT_TRUE(frame.UpdateFrom(set, row.frame));
    const qzcFileName decoded(folder.file("decoded.dcm"));
    ASSERT_TRUE(frame.SaveAsDICOM(decoded, Context, set, "el", row.whole));
    qzmDicomDataElementSet back;
    ASSERT_TRUE(back.Load(decoded));
    EXPECT_EQ(back[Tag(0x0002, 0x0010)].UI(), "1.2.840.10008.1.2.1");
    qzcDataLocation<UBYTE>& pixels = back[Tag(0x7FE0, 0x0010)].OB();
    ASSERT_EQ(pixels.GetSize(), row.pixels.size());
    EXPECT_EQ(std::vector<UBYTE>(pixels.GetMemoryLocation(), pixels.GetMemoryLocation() + pixels.GetSize()),
              row.pixels);
    EXPECT_EQ(back.find(Tag(0x0028, 0x0008)) != back.end(), row.frames != nullptr);
    if (row.frames) {
      EXPECT_EQ(std::atoi(back[Tag(0x0028, 0x0008)].IS().c_str()), std::atoi(row.frames));
    }
    EXPECT_EQ(back.find(Tag(0x0028, 0x2110)), back.end());  // RLE is lossless
    if (testsupport::HaveProgram("dcmdump")) {
      EXPECT_EQ(testsupport::Run("dcmdump " + decoded).status, 0);
    }
  }
  // The set is the same after the writes as before them.
  EXPECT_EQ(set[Tag(0x0002, 0x0010)].UI(), RleSyntax);
}

TEST(DicomOutput, AccumulatedFrameFromScratch) {
  ReportCapture reports;
  TempDir folder;
  qzmDicomDataElementSet set;
  ByteSet(set, Layout(), {1, 9, 3, 4});
  qzmMedicalFrame frame, accumulated;
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  ASSERT_TRUE(accumulated.Accumulate(frame, "max"));
  const qzcFileName name(folder.file("acc-max.dcm"));
  ASSERT_TRUE(accumulated.SaveFromScratchAsDicom(name, false));
  qzmDicomDataElementSet back;
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
