// TARGA files: the header and colour map of each photometric
// interpretation, byte for byte, and the refusals.
#include "formats/qzgTarga.h"
#include "frame/TestFrames.h"
#include "lib/ReportCapture.h"
#include "support/TestSupport.h"

#include "lib/ifbstream.h"
#include "lib/qzcFileName.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using testsupport::ReadBytes;
using testsupport::TempDir;

typedef std::vector<UBYTE> Bytes;

Bytes Slice(const Bytes& b, std::size_t from, std::size_t count) {
  return Bytes(b.begin() + from, b.begin() + from + count);
}

Bytes SaveTarga(qzmMedicalFrame& frame, const TempDir& dir, const std::string& name = "image.tga") {
  qzmMedicalFrame::ConversionContext context;
  context.ReSamplingMethod = qzmMedicalFrame::ReSamplingMethod::no;
  EXPECT_TRUE(frame.SaveAsTARGA(qzcFileName(dir.file(name)), context));
  return ReadBytes(dir.file(name));
}

TEST(TargaWriter, MonochromeTwoIsGreyWithoutColourMap) {
  TempDir dir;
  qzmMedicalFrame frame;
  testframes::Make(frame, 2, 3, 8, 8, {1, 2, 3, 4, 5, 6});
  const Bytes file = SaveTarga(frame, dir);
  EXPECT_EQ((Bytes{0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0, 8, 0x20, 1, 2, 3, 4, 5, 6}), file);
}

TEST(TargaWriter, MonochromeOneHasADescendingColourMap) {
  TempDir dir;
  qzmMedicalFrame frame;
  testframes::Make(frame, 1, 2, 8, 8, {0, 255}, "MONOCHROME1");
  const Bytes file = SaveTarga(frame, dir);
  ASSERT_EQ(18u + 768u + 2u, file.size());
  EXPECT_EQ((Bytes{0, 1, 1, 0, 0, 0, 1, 24}), Slice(file, 0, 8));
  EXPECT_EQ((Bytes{0xFF, 0xFF, 0xFF}), Slice(file, 18, 3));
  EXPECT_EQ((Bytes{0, 0, 0}), Slice(file, 18 + 765, 3));
  EXPECT_EQ((Bytes{0, 255}), Slice(file, 18 + 768, 2));
}

TEST(TargaWriter, PaletteTakesHighBytesAndAtMost256Entries) {
  TempDir dir;
  qzmMedicalFrame frame;
  testframes::Make(frame, 1, 1, 8, 8, {1}, "PALETTE COLOR");
  testframes::SetWordPalette(
      frame, 2, [](UWORD) { return UWORD(0x1234); }, [](UWORD k) { return UWORD(0x5600 + k); },
      [](UWORD) { return UWORD(0x9AFF); });
  const Bytes file = SaveTarga(frame, dir);
  EXPECT_EQ((Bytes{0, 1, 1, 0, 0, 2, 0, 24}), Slice(file, 0, 8));
  EXPECT_EQ((Bytes{0x9A, 0x56, 0x12, 0x9A, 0x56, 0x12, 1}), Slice(file, 18, 7));

  qzmMedicalFrame large;
  testframes::Make(large, 1, 1, 8, 8, {1}, "PALETTE COLOR");
  testframes::SetWordPalette(
      large, 1000, [](UWORD) { return UWORD(0); }, [](UWORD) { return UWORD(0); }, [](UWORD) { return UWORD(0); });
  const Bytes cut = SaveTarga(large, dir, "large.tga");
  EXPECT_EQ((Bytes{0, 1}), Slice(cut, 5, 2));
  EXPECT_EQ(18u + 768u + 1u, cut.size());
}

TEST(TargaWriter, RgbIsTrueColourInBgrOrder) {
  TempDir dir;
  qzmMedicalFrame frame;
  testframes::Make(frame, 1, 2, 8, 8, {1, 2, 3, 4, 5, 6}, "RGB", 3);
  const Bytes file = SaveTarga(frame, dir);
  EXPECT_EQ((Bytes{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 24, 0x20, 3, 2, 1, 6, 5, 4}), file);
}

TEST(TargaWriter, Refusals) {
  ReportCapture reports;
  TempDir dir;
  qzmMedicalFrame::ConversionContext context;
  qzmMedicalFrame cmyk;
  testframes::Make(cmyk, 1, 1, 8, 8, {1, 2, 3, 4}, "CMYK", 4);
  EXPECT_FALSE(cmyk.SaveAsTARGA(qzcFileName(dir.file("a.tga")), context));
  EXPECT_HAS(reports.Warnings(), "can not convert Photometric Interpretation CMYK to TARGA");

  qzmMedicalFrame threeSampleGrey;
  testframes::Make(threeSampleGrey, 1, 1, 8, 8, {1, 2, 3}, "MONOCHROME2", 3);
  EXPECT_FALSE(threeSampleGrey.SaveAsTARGA(qzcFileName(dir.file("b.tga")), context));
  EXPECT_FALSE(testsupport::FileExists(dir.file("b.tga")));

  qzmMedicalFrame frame;
  testframes::Make(frame, 1, 1, 8, 8, {1});
  context.ToStandardOutput = true;
  EXPECT_FALSE(frame.SaveAsTARGA(qzcFileName(dir.file("c.tga")), context));
  EXPECT_HAS(reports.Errors(), "unable to open destination file stdout!");
}

TEST(TargaHeader, ReadsBackWhatItWritesAndPrintsIt) {
  TempDir dir;
  qzmMedicalFrame frame;
  testframes::Make(frame, 2, 3, 8, 8, {1, 2, 3, 4, 5, 6}, "MONOCHROME1");
  SaveTarga(frame, dir);
  ifbstream ifs(dir.file("image.tga").c_str());
  qzgTarga header;
  ASSERT_FALSE(header.Read(ifs).fail());
  std::ostringstream text;
  header.Print(text);
  EXPECT_EQ(
      "ID field   : 0\n"
      "Image Type : 1\n"
      "CLUT       : 256 entries (24 bits/entry) in file at offset 0\n"
      "Image      : 3x2, origin on top at [0,0]\n"
      "             8 bits/pixel \n"
      "             interleaving type 0\n",
      text.str());
}

}  // namespace
