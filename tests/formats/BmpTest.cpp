// BMP files: header and row layout byte for byte, colour tables, the
// refusals, and 8-bit files read back as frames and masks.
#include "formats/qzgBmp.h"
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

ULONG Little32(const Bytes& b, std::size_t at) {
  return ULONG(b[at]) | ULONG(b[at + 1]) << 8 | ULONG(b[at + 2]) << 16 | ULONG(b[at + 3]) << 24;
}

UWORD Little16(const Bytes& b, std::size_t at) {
  return UWORD(b[at] | b[at + 1] << 8);
}

Bytes Slice(const Bytes& b, std::size_t from, std::size_t count) {
  return Bytes(b.begin() + from, b.begin() + from + count);
}

// Writes frame as name in the folder, its samples unchanged, and returns
// the file's bytes.
Bytes SaveBmp(qzmMedicalFrame& frame, const TempDir& dir, const std::string& name = "image.bmp") {
  qzmMedicalFrame::ConversionContext context;
  context.ReSamplingMethod = qzmMedicalFrame::ReSamplingMethod::no;
  EXPECT_TRUE(frame.SaveAsBMP(qzcFileName(dir.file(name)), context));
  return ReadBytes(dir.file(name));
}

TEST(BmpWriter, EightBitHeaderTableAndPaddedRowsBottomUp) {
  TempDir dir;
  qzmMedicalFrame frame;
  testframes::Make(frame, 2, 3, 8, 8, {1, 2, 3, 4, 5, 6});
  const Bytes file = SaveBmp(frame, dir);
  ASSERT_EQ(1078u + 8u, file.size());
  EXPECT_EQ((Bytes{'B', 'M'}), Slice(file, 0, 2));
  // {offset, width in bytes, value}; the image is two rows of 3 bytes
  // padded to 4.
  const ULONG fields[][3] = {{2, 4, 1086},  {6, 4, 0},     {10, 4, 1078}, {14, 4, 40}, {18, 4, 3},
                             {22, 4, 2},    {26, 2, 1},    {28, 2, 8},    {30, 4, 0},  {34, 4, 8},
                             {38, 4, 2834}, {42, 4, 2834}, {46, 4, 256},  {50, 4, 256}};
  for (const auto& field : fields)
    EXPECT_EQ(field[2], field[1] == 2 ? Little16(file, field[0]) : Little32(file, field[0])) << "at " << field[0];
  EXPECT_EQ((Bytes{0, 0, 0, 0}), Slice(file, 54, 4));
  EXPECT_EQ((Bytes{200, 200, 200, 0}), Slice(file, 54 + 4 * 200, 4));
  EXPECT_EQ((Bytes{4, 5, 6, 0, 1, 2, 3, 0}), Slice(file, 1078, 8));
}

TEST(BmpWriter, MonochromeOneOnlyReversesTheTable) {
  TempDir dir;
  qzmMedicalFrame two, one;
  testframes::Make(two, 1, 4, 8, 8, {0, 1, 2, 255});
  testframes::Make(one, 1, 4, 8, 8, {0, 1, 2, 255}, "MONOCHROME1");
  const Bytes ascending = SaveBmp(two, dir, "two.bmp");
  const Bytes descending = SaveBmp(one, dir, "one.bmp");
  EXPECT_EQ(Slice(ascending, 1078, 4), Slice(descending, 1078, 4));
  EXPECT_EQ((Bytes{255, 255, 255, 0}), Slice(descending, 54, 4));
  EXPECT_EQ((Bytes{0, 0, 0, 0}), Slice(descending, 54 + 4 * 255, 4));
  EXPECT_EQ((Bytes{255, 255, 255, 0}), Slice(ascending, 54 + 4 * 255, 4));
}

TEST(BmpWriter, PaletteTakesHighBytesAndIsCompletedOrCut) {
  TempDir dir;
  qzmMedicalFrame small;
  testframes::Make(small, 1, 4, 8, 8, {0, 1, 2, 3}, "PALETTE COLOR");
  testframes::SetWordPalette(
      small, 3, [](UWORD) { return UWORD(0x1234); }, [](UWORD k) { return UWORD(k << 8); },
      [](UWORD) { return UWORD(0xFF00); });
  const Bytes file = SaveBmp(small, dir, "small.bmp");
  EXPECT_EQ((Bytes{0xFF, 0, 0x12, 0, 0xFF, 1, 0x12, 0, 0xFF, 2, 0x12, 0}), Slice(file, 54, 12));
  EXPECT_EQ(Bytes(4 * 253, 0), Slice(file, 54 + 12, 4 * 253));
  EXPECT_EQ((Bytes{0, 1, 2, 3}), Slice(file, 1078, 4));

  qzmMedicalFrame large;
  testframes::Make(large, 1, 4, 8, 8, {0, 1, 2, 3}, "PALETTE COLOR");
  testframes::SetWordPalette(
      large, 300, [](UWORD k) { return UWORD(k << 8); }, [](UWORD) { return UWORD(0); },
      [](UWORD) { return UWORD(0); });
  const Bytes cut = SaveBmp(large, dir, "large.bmp");
  ASSERT_EQ(1078u + 4u, cut.size());
  EXPECT_EQ((Bytes{0, 0, 255, 0}), Slice(cut, 54 + 4 * 255, 4));
}

TEST(BmpWriter, RgbIsWrittenAsBgrWithoutTable) {
  TempDir dir;
  qzmMedicalFrame frame;
  testframes::Make(frame, 2, 1, 8, 8, {1, 2, 3, 4, 5, 6}, "RGB", 3);
  const Bytes file = SaveBmp(frame, dir);
  ASSERT_EQ(54u + 8u, file.size());
  EXPECT_EQ(54u, Little32(file, 10));
  EXPECT_EQ(24u, Little16(file, 28));
  EXPECT_EQ(0u, Little32(file, 46));  // no colour table announced
  EXPECT_EQ(0u, Little32(file, 50));
  EXPECT_EQ((Bytes{6, 5, 4, 0, 3, 2, 1, 0}), Slice(file, 54, 8));
}

TEST(BmpWriter, RefusalsLeaveNoFile) {
  const struct {
    const char* photometric;
    UWORD samples;
    bool toStandardOutput;
    const char* report;
  } rows[] = {{"RGB", 1, false, "Photometric Interpretation RGB does not fit 1 samples"},
              {"PALETTE COLOR", 1, false, "missing clut data to build BMP clut!"},
              {"HSV", 3, false, "can not convert Photometric Interpretation HSV to BMP"},
              {"MONOCHROME2", 1, true, "unable to open destination file stdout!"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.photometric);
    ReportCapture reports;
    TempDir dir;
    qzmMedicalFrame frame;
    testframes::Make(frame, 1, 1, 8, 8, std::vector<UWORD>(row.samples, 1), row.photometric, row.samples);
    qzmMedicalFrame::ConversionContext context;
    context.ToStandardOutput = row.toStandardOutput;
    EXPECT_FALSE(frame.SaveAsBMP(qzcFileName(dir.file("a.bmp")), context));
    EXPECT_FALSE(testsupport::FileExists(dir.file("a.bmp")));
    EXPECT_HAS(reports.Errors() + reports.Warnings(), row.report);
  }
}

TEST(BmpReader, WrittenFrameLoadsBackAsTheSameGreyFrame) {
  TempDir dir;
  qzmMedicalFrame palette;
  testframes::Make(palette, 2, 3, 8, 8, {9, 8, 7, 6, 5, 4}, "PALETTE COLOR");
  testframes::SetWordPalette(
      palette, 10, [](UWORD) { return UWORD(0x4000); }, [](UWORD) { return UWORD(0); }, [](UWORD) { return UWORD(0); });
  SaveBmp(palette, dir);

  qzmMedicalFrame loaded;
  ASSERT_TRUE(loaded.LoadAsBMP(qzcFileName(dir.file("image.bmp"))));
  EXPECT_EQ(2, loaded.Structure.Rows);
  EXPECT_EQ(3, loaded.Structure.Columns);
  EXPECT_EQ("MONOCHROME2", loaded.Structure.PhotometricInterpretation);
  EXPECT_EQ(6u, loaded.Structure.NumberOfPixels);
  EXPECT_EQ(8, loaded.Structure.Sample.BitsStored);
  EXPECT_EQ(7, loaded.Structure.Sample.HighBit);
  EXPECT_FALSE(loaded.HasClut);
  EXPECT_EQ((Bytes{9, 8, 7, 6, 5, 4}), testframes::Bytes(loaded.Pixels));

  // The loaded frame converts like any other: its 8-bit image is itself.
  ASSERT_TRUE(loaded.GetResampledTo8(loaded.Resampled8, false, qzmMedicalFrame::ReSamplingMethod::near));
  EXPECT_EQ((Bytes{9, 8, 7, 6, 5, 4}), testframes::Bytes(loaded.Resampled8));
}

TEST(BmpReader, RefusesOtherDepthsAndDamagedFiles) {
  ReportCapture reports;
  TempDir dir;
  qzmMedicalFrame rgb;
  testframes::Make(rgb, 1, 1, 8, 8, {1, 2, 3}, "RGB", 3);
  Bytes file = SaveBmp(rgb, dir, "rgb.bmp");
  qzmMedicalFrame loaded;
  EXPECT_FALSE(loaded.LoadAsBMP(qzcFileName(dir.file("rgb.bmp"))));
  EXPECT_HAS(reports.Errors(), "can not handle format 24 <> 8 bits/pixel!");

  qzmMedicalFrame grey;
  testframes::Make(grey, 4, 4, 8, 8, std::vector<UWORD>(16, 1));
  file = SaveBmp(grey, dir, "grey.bmp");
  file.resize(file.size() - 5);  // the last row is cut short
  testsupport::WriteBytes(dir.file("short.bmp"), file);
  EXPECT_FALSE(loaded.LoadAsBMP(qzcFileName(dir.file("short.bmp"))));
  EXPECT_HAS(reports.Errors(), "lie outside the file!");

  for (int at = 22; at < 26; ++at)  // a height of all ones: no frame is that tall
    file[at] = 0xFF;
  testsupport::WriteBytes(dir.file("tall.bmp"), file);
  EXPECT_FALSE(loaded.LoadAsBMP(qzcFileName(dir.file("tall.bmp"))));

  testsupport::WriteText(dir.file("text.bmp"), "not a bitmap at all, but long enough for a header................");
  EXPECT_FALSE(loaded.LoadAsBMP(qzcFileName(dir.file("text.bmp"))));
  EXPECT_HAS(reports.Errors(), "does not correspond to a BMP picture!");
  EXPECT_FALSE(loaded.LoadAsBMP(qzcFileName(dir.file("missing.bmp"))));
  EXPECT_HAS(reports.Errors(), "unable to open BMP file");
}

TEST(BmpReader, CompressedBitmapsAreRefusedNotReadAsRows) {
  ReportCapture reports;
  TempDir dir;
  qzmMedicalFrame grey;
  testframes::Make(grey, 2, 4, 8, 8, {1, 2, 3, 4, 5, 6, 7, 8});
  Bytes file = SaveBmp(grey, dir, "grey.bmp");
  // {compression field, what the refusal names}; 3 and up are no BMP
  // compression this reader knows at all.
  const struct {
    UBYTE compression;
    const char* report;
  } rows[] = {{1, "can not handle compression RLE8 of BMP file"},
              {2, "can not handle compression RLE4 of BMP file"},
              {3, "wrong compression type!"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.report);
    file[30] = row.compression;
    testsupport::WriteBytes(dir.file("packed.bmp"), file);
    // The same loader reads --mask images: a refusal must leave no frame.
    qzmMedicalFrame loaded;
    EXPECT_FALSE(loaded.LoadAsBMP(qzcFileName(dir.file("packed.bmp"))));
    EXPECT_HAS(reports.Errors(), row.report);
    EXPECT_EQ(0u, loaded.Structure.NumberOfPixels);
  }

  // The row reader on its own refuses too and leaves the buffer alone.
  qzgBmp header;
  header.Width = 4;
  header.Height = 2;
  header.BitsPerPixel = 8;
  header.Compression = qzgBmp::RLE8;
  ifbstream ifs(dir.file("grey.bmp").c_str(), std::ios::in | std::ios::binary);
  Bytes pixels(8, 0xAA);
  EXPECT_TRUE(header.ReadData(ifs, pixels.data()).fail());
  EXPECT_EQ(Bytes(8, 0xAA), pixels);
  EXPECT_HAS(reports.Errors(), "compression is not supported!");
}

TEST(BmpHeader, PrintsItsFields) {
  qzgBmp header;
  header.Width = 3;
  header.Height = 2;
  header.BitsPerPixel = 8;
  std::ostringstream text;
  header.Print(text);
  EXPECT_EQ(
      "Offset to data     : 54\n"
      "Length of bi header : 40\n"
      "Image               : 3x2, 8 bits/pixel, compression RGB\n"
      "                      resolution is 2834x2834 pixels/meter\n"
      "                      256 color used, 256 important\n",
      text.str());
}

}  // namespace
