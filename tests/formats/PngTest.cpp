// PNG files, read back through libpng: image header, significant bits,
// pixel size, text chunks before and after the image, compression, and the
// decoded pixels.
#include "frame/TestFrames.h"
#include "lib/ReportCapture.h"
#include "support/TestSupport.h"

#include "dicom/qzmDicomDataElementDictionary.h"
#include "dicom/qzmDicomDataElementSet.h"
#include "lib/qzcFileName.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>

namespace {

using testsupport::TempDir;

typedef std::vector<UBYTE> Bytes;
typedef qzmMedicalFrame::ConversionContext Context;

// What a PNG file holds, as libpng reads it.
struct PngFile {
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colorType = 0, interlace = 0;
  bool hasSignificantBits = false;
  png_color_8 significantBits = {};
  bool hasPhysicalSize = false;
  png_uint_32 xPerMetre = 0, yPerMetre = 0;
  std::vector<std::pair<std::string, std::string>> textsBefore, textsAfter;
  std::vector<png_color> palette;
  std::vector<Bytes> rows;  // 16-bit samples most significant byte first
};

void Texts(png_structp png, png_infop info, std::vector<std::pair<std::string, std::string>>& texts) {
  png_textp text = nullptr;
  const int count = png_get_text(png, info, &text, nullptr);
  for (int i = 0; i < count; ++i)
    texts.emplace_back(text[i].key, text[i].text);
}

bool ReadPng(const std::string& name, PngFile& file) {
  FILE* in = std::fopen(name.c_str(), "rb");
  if (!in)
    return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_infop end = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, &end);
    std::fclose(in);
    return false;
  }
  png_init_io(png, in);
  png_read_info(png, info);
  png_get_IHDR(png, info, &file.width, &file.height, &file.bitDepth, &file.colorType, &file.interlace, nullptr,
               nullptr);
  png_color_8p bits = nullptr;
  if ((file.hasSignificantBits = png_get_sBIT(png, info, &bits) != 0))
    file.significantBits = *bits;
  int unit = 0;
  file.hasPhysicalSize = png_get_pHYs(png, info, &file.xPerMetre, &file.yPerMetre, &unit) != 0;
  png_colorp palette = nullptr;
  int entries = 0;
  if (png_get_PLTE(png, info, &palette, &entries))
    file.palette.assign(palette, palette + entries);
  Texts(png, info, file.textsBefore);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  file.rows.assign(file.height, Bytes(png_get_rowbytes(png, info)));
  std::vector<png_bytep> rows;
  for (Bytes& row : file.rows)
    rows.push_back(row.data());
  png_read_image(png, rows.data());
  png_read_end(png, end);
  Texts(png, end, file.textsAfter);
  png_destroy_read_struct(&png, &info, &end);
  std::fclose(in);
  return true;
}

// Writes frame as a PNG in the folder and reads it back.
PngFile SavePng(qzmMedicalFrame& frame, const TempDir& dir, const Context& context = Context(),
                const qzmDicomDataElementSet* set = nullptr) {
  PngFile file;
  EXPECT_TRUE(frame.SaveAsPNG(qzcFileName(dir.file("image.png")), context, set));
  EXPECT_TRUE(ReadPng(dir.file("image.png"), file));
  return file;
}

// The zlib level class of the first image data chunk (0 fastest to 3
// best), and whether any row of the seven passes is filtered.
std::pair<int, bool> Compression(const std::string& name, const PngFile& image, unsigned bytesPerPixel) {
  const Bytes file = testsupport::ReadBytes(name);
  Bytes data;
  int level = -1;
  for (std::size_t at = 8; at + 8 <= file.size();) {
    const std::size_t length = std::size_t(file[at]) << 24 | file[at + 1] << 16 | file[at + 2] << 8 | file[at + 3];
    if (std::string(file.begin() + at + 4, file.begin() + at + 8) == "IDAT") {
      if (level < 0)
        level = file[at + 9] >> 6;
      data.insert(data.end(), file.begin() + at + 8, file.begin() + at + 8 + length);
    }
    at += 12 + length;
  }
  Bytes raw(1 << 20);
  uLongf size = uLongf(raw.size());
  EXPECT_EQ(Z_OK, uncompress(raw.data(), &size, data.data(), uLong(data.size())));
  static const unsigned x0[] = {0, 4, 0, 2, 0, 1, 0}, dx[] = {8, 8, 4, 4, 2, 2, 1};
  static const unsigned y0[] = {0, 0, 4, 0, 2, 0, 1}, dy[] = {8, 8, 8, 4, 4, 2, 2};
  bool filtered = false;
  std::size_t at = 0;
  for (int pass = 0; pass < 7; ++pass) {
    const unsigned columns = image.width > x0[pass] ? (image.width - x0[pass] + dx[pass] - 1) / dx[pass] : 0;
    const unsigned rows = image.height > y0[pass] ? (image.height - y0[pass] + dy[pass] - 1) / dy[pass] : 0;
    for (unsigned r = 0; columns && r < rows; ++r) {
      filtered = filtered || raw[at] != 0;
      at += 1 + columns * bytesPerPixel;
    }
  }
  return {level, filtered};
}

// A 12-bit frame of a smooth ramp, 16 x 16.
void MakeRamp(qzmMedicalFrame& frame, const std::string& interpretation = "MONOCHROME2") {
  std::vector<UWORD> values;
  for (UWORD k = 0; k < 256; ++k)
    values.push_back(UWORD(k * 16));
  testframes::Make(frame, 16, 16, 16, 12, values, interpretation);
}

TEST(PngWriter, TwelveBitFrameIsSixteenBitGreyWithItsSignificantBits) {
  TempDir dir;
  qzmMedicalFrame frame;
  MakeRamp(frame);
  const PngFile file = SavePng(frame, dir);
  EXPECT_EQ(16u, file.width);
  EXPECT_EQ(16, file.bitDepth);
  EXPECT_EQ(PNG_COLOR_TYPE_GRAY, file.colorType);
  EXPECT_EQ(PNG_INTERLACE_ADAM7, file.interlace);
  ASSERT_TRUE(file.hasSignificantBits);
  EXPECT_EQ(12, file.significantBits.gray);
  const std::vector<UWORD> expected = testframes::Words(frame.Resampled16);
  for (png_uint_32 r = 0; r < file.height; ++r)
    for (png_uint_32 c = 0; c < file.width; ++c)
      ASSERT_EQ(expected[r * 16 + c], UWORD(file.rows[r][2 * c] << 8 | file.rows[r][2 * c + 1]));
}

TEST(PngWriter, EightBitFrameHasNoSignificantBitsAndItsResampledPixels) {
  TempDir dir;
  qzmMedicalFrame frame;
  testframes::Make(frame, 2, 2, 8, 8, {0, 10, 200, 255});
  const PngFile file = SavePng(frame, dir);
  EXPECT_EQ(8, file.bitDepth);
  EXPECT_FALSE(file.hasSignificantBits);
  EXPECT_EQ((Bytes{0, 10}), file.rows[0]);
  EXPECT_EQ((Bytes{200, 255}), file.rows[1]);
}

TEST(PngWriter, MonochromeOneIsInvertedGrey) {
  TempDir dir;
  qzmMedicalFrame frame;
  testframes::Make(frame, 1, 3, 8, 8, {0, 255, 10}, "MONOCHROME1");
  Context context;
  context.ReSamplingMethod = qzmMedicalFrame::ReSamplingMethod::no;
  const PngFile file = SavePng(frame, dir, context);
  EXPECT_EQ(PNG_COLOR_TYPE_GRAY, file.colorType);
  EXPECT_TRUE(file.palette.empty());
  EXPECT_EQ((Bytes{255, 0, 245}), file.rows[0]);
}

TEST(PngWriter, PaletteAndRgbImages) {
  TempDir dir;
  qzmMedicalFrame palette;
  testframes::Make(palette, 1, 2, 8, 8, {0, 1}, "PALETTE COLOR");
  testframes::SetWordPalette(
      palette, 2, [](UWORD k) { return UWORD(0x1200 + k); }, [](UWORD) { return UWORD(0x3400); },
      [](UWORD k) { return UWORD(k ? 0xFFFF : 0); });
  PngFile file = SavePng(palette, dir);
  EXPECT_EQ(PNG_COLOR_TYPE_PALETTE, file.colorType);
  ASSERT_EQ(2u, file.palette.size());
  EXPECT_EQ(0x12, file.palette[1].red);
  EXPECT_EQ(0x34, file.palette[1].green);
  EXPECT_EQ(0xFF, file.palette[1].blue);
  EXPECT_FALSE(file.hasSignificantBits);
  EXPECT_EQ((Bytes{0, 1}), file.rows[0]);

  qzmMedicalFrame rgb;
  testframes::Make(rgb, 1, 1, 16, 12, {0xFFF, 0x800, 0x001}, "RGB", 3);
  file = SavePng(rgb, dir);
  EXPECT_EQ(PNG_COLOR_TYPE_RGB, file.colorType);
  EXPECT_EQ(16, file.bitDepth);
  EXPECT_EQ(12, file.significantBits.red);
  EXPECT_EQ(12, file.significantBits.blue);
  EXPECT_EQ((Bytes{0xFF, 0xF0, 0x80, 0x00, 0x00, 0x10}), file.rows[0]);
}

TEST(PngWriter, PixelSizeFromTheSpacing) {
  TempDir dir;
  qzmMedicalFrame frame;
  MakeRamp(frame);
  EXPECT_FALSE(SavePng(frame, dir).hasPhysicalSize);
  frame.HasPixelSpacing = true;
  frame.PixelSpacing[0] = 0.25f;  // rows
  frame.PixelSpacing[1] = 0.5f;   // columns
  const PngFile file = SavePng(frame, dir);
  ASSERT_TRUE(file.hasPhysicalSize);
  EXPECT_EQ(2000u, file.xPerMetre);
  EXPECT_EQ(4000u, file.yPerMetre);
  frame.PixelSpacing[1] = 0.0f;  // no size can be derived from it
  EXPECT_FALSE(SavePng(frame, dir).hasPhysicalSize);
}

TEST(PngWriter, SoftwareTextBeforeTheImageAndElementTextsAfterIt) {
  TempDir dir;
  qzmMedicalFrame frame;
  testframes::Make(frame, 1, 1, 8, 8, {0});
  PngFile file = SavePng(frame, dir);
  EXPECT_EQ((std::vector<std::pair<std::string, std::string>>{{"Software", "medconv 1.9i"}}), file.textsBefore);
  EXPECT_TRUE(file.textsAfter.empty());

  qzmDicomDataElementDictionary dictionary;
  dictionary[qzmDicomDataElementTag(0x0010, 0x0010)] = qzmDicomDataElementDescription(
      qzmDicomDataElementDescription::PN, qzmDicomDataElementDescription::VM(), "Patient's Name");
  qzmDicomDataElementDictionary* previous = qzmDicomDataElementSet::GetDictionary();
  qzmDicomDataElementSet::SetDictionary(&dictionary);
  qzmDicomDataElementSet set;
  set[qzmDicomDataElementTag(0x0010, 0x0010)].PN() = "Doe^John";
  set[qzmDicomDataElementTag(0x0011, 0x0010)].LT() = std::string(3000, 'x');  // longer than any fixed buffer
  file = SavePng(frame, dir, Context(), &set);
  qzmDicomDataElementSet::SetDictionary(previous);

  EXPECT_EQ(1u, file.textsBefore.size());
  ASSERT_EQ(2u, file.textsAfter.size());
  EXPECT_EQ("Patient's Name", file.textsAfter[0].first);
  EXPECT_HAS(file.textsAfter[0].second, "Doe^John");
  EXPECT_EQ("(0011,0010)", file.textsAfter[1].first);
  EXPECT_HAS(file.textsAfter[1].second, std::string(3000, 'x'));
}

TEST(PngWriter, CompressionLevelsAndFilters) {
  TempDir dir;
  qzmMedicalFrame frame;
  MakeRamp(frame);
  typedef qzmMedicalFrame::CompressionLevel Level;
  // The library filters the ramp's rows unless nothing is compressed.
  const struct {
    Level level;
    int zlibClass;
    bool filtered;
  } rows[] = {{Level::best, 3, true}, {Level::standard, 2, true}, {Level::fast, 0, true}, {Level::no, 0, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.zlibClass);
    Context context;
    context.Compression = row.level;
    const PngFile file = SavePng(frame, dir, context);
    EXPECT_EQ(std::make_pair(row.zlibClass, row.filtered), Compression(dir.file("image.png"), file, 2));
  }
}

TEST(PngWriter, Refusals) {
  ReportCapture reports;
  TempDir dir;
  Context context;
  qzmMedicalFrame palette, hsv, frame;
  MakeRamp(palette, "PALETTE COLOR");
  testframes::SetWordPalette(
      palette, 4, [](UWORD) { return UWORD(0); }, [](UWORD) { return UWORD(0); }, [](UWORD) { return UWORD(0); });
  EXPECT_FALSE(palette.SaveAsPNG(qzcFileName(dir.file("a.png")), context, nullptr));  // a 16-bit palette image
  EXPECT_HAS(reports.Errors(), "unable to set png error handling behaviour!");
  testframes::Make(hsv, 1, 1, 8, 8, {1, 2, 3}, "HSV", 3);
  EXPECT_FALSE(hsv.SaveAsPNG(qzcFileName(dir.file("b.png")), context, nullptr));
  EXPECT_FALSE(testsupport::FileExists(dir.file("b.png")));
  EXPECT_HAS(reports.Errors(), "can not convert Photometric Interpretation HSV to PNG");
}

TEST(PngWriter, StandardOutputGetsTheWholeFile) {
  TempDir dir;
  Context context;
  qzmMedicalFrame frame;
  testframes::Make(frame, 1, 1, 8, 8, {1});
  ASSERT_TRUE(frame.SaveAsPNG(qzcFileName(dir.file("c.png")), context, nullptr));
  std::ostringstream out;
  const qzcChannel saved = qzcException::dataChannel;
  qzcException::dataChannel.stream = &out;
  context.ToStandardOutput = true;
  EXPECT_TRUE(frame.SaveAsPNG(qzcFileName(dir.file("d.png")), context, nullptr));
  qzcException::dataChannel = saved;
  EXPECT_FALSE(testsupport::FileExists(dir.file("d.png")));
  const auto file = testsupport::ReadBytes(dir.file("c.png"));
  EXPECT_EQ(std::string(file.begin(), file.end()), out.str());
}

}  // namespace
