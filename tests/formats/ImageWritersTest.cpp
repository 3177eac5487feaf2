// The image writers (BMP, TARGA, PNG, JPEG extraction) byte for byte or as
// libpng reads them back, their refusals, and BMP files read as frames.
#include "formats/qzgBmp.h"
#include "formats/qzgJfifHeader.h"
#include "formats/qzgTarga.h"
#include "frame/TestFrames.h"
#include "lib/ReportCapture.h"
#include "support/TestSupport.h"

#include "dicom/qzmDicomDataElementDictionary.h"
#include "dicom/qzmDicomDataElementSet.h"
#include "lib/ifbstream.h"
#include "lib/ofbstream.h"
#include "lib/qzcFileName.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>
#include <sstream>

namespace {

using testsupport::TempDir;
typedef std::vector<UBYTE> Bytes;
typedef qzmMedicalFrame::ConversionContext Context;

Bytes Join(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Context Unchanged() {
  Context context;
  context.ReSamplingMethod = qzmMedicalFrame::ReSamplingMethod::no;
  return context;
}

// The file writer ('b', 't', 'p' or 'j') makes of frame; empty when refused.
Bytes Save(qzmMedicalFrame& frame, const TempDir& dir, char writer, const Context& context = Unchanged()) {
  const qzcFileName name(dir.file(std::string("image.") + writer));
  const bool saved = writer == 'b'   ? frame.SaveAsBMP(name, context)
                     : writer == 't' ? frame.SaveAsTARGA(name, context)
                     : writer == 'p' ? frame.SaveAsPNG(name, context, nullptr)
                                     : frame.SaveAsJPEG(name, context);
  return saved ? testsupport::ReadBytes(name) : Bytes();
}

UWORD Hi12(UWORD) { return 0x1234; }
UWORD Ramp(UWORD k) { return UWORD(k << 8); }
UWORD Full(UWORD) { return 0xFF00; }
UWORD Zero(UWORD) { return 0; }

struct Frame {  // rows, columns, 8-bit values, interpretation, samples, palette entries (0: none)
  UWORD rows, columns;
  std::vector<UWORD> values;
  const char* photometric = "MONOCHROME2";
  UWORD samples = 1, palette = 0;
  void Make(qzmMedicalFrame& frame) const {
    testframes::Make(frame, rows, columns, 8, 8, values, photometric, samples);
    if (palette)
      testframes::SetWordPalette(frame, palette, Hi12, Ramp, Full);
  }
};

// Header, colour table or map, and rows of each interpretation: bytes
// expected at offsets of the file.
TEST(ImageWriters, HeadersTablesAndRows) {
  const Bytes bmpGreyHeader = {'B', 'M', 0x3E, 4, 0, 0, 0, 0, 0, 0, 0x36, 4,    0,    0, 40, 0, 0, 0,
                               3,   0,   0,    0, 2, 0, 0, 0, 1, 0, 8, 0,    0,    0,    0, 0,  8, 0, 0, 0,
                               0x12, 0x0B, 0,  0, 0x12, 0x0B, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0};
  const struct {
    char writer;
    Frame frame;
    std::size_t size;
    std::vector<std::pair<std::size_t, Bytes>> bytes;
  } rows[] = {
      {'b', {2, 3, {1, 2, 3, 4, 5, 6}}, 1086, {{0, bmpGreyHeader}, {54, {0, 0, 0, 0}}, {854, {200, 200, 200, 0}},
                                                {1078, {4, 5, 6, 0, 1, 2, 3, 0}}}},
      {'b', {1, 4, {0, 1, 2, 255}, "MONOCHROME1"}, 1082,
       {{54, {255, 255, 255, 0}}, {1074, {0, 0, 0, 0}}, {1078, {0, 1, 2, 255}}}},
      {'b', {1, 4, {0, 1, 2, 3}, "PALETTE COLOR", 1, 3}, 1082,
       {{54, {0xFF, 0, 0x12, 0, 0xFF, 1, 0x12, 0, 0xFF, 2, 0x12, 0}}, {66, Bytes(1012, 0)}, {1078, {0, 1, 2, 3}}}},
      {'b', {1, 4, {0, 1, 2, 3}, "PALETTE COLOR", 1, 300}, 1082, {{1074, {0xFF, 0xFF, 0x12, 0}}}},
      {'b', {2, 1, {1, 2, 3, 4, 5, 6}, "RGB", 3}, 62,
       {{10, {54, 0, 0, 0}}, {28, {24, 0, 0, 0, 0, 0}}, {46, Bytes(8, 0)}, {54, {6, 5, 4, 0, 3, 2, 1, 0}}}},
      {'t', {2, 3, {1, 2, 3, 4, 5, 6}}, 24,
       {{0, {0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0, 8, 0x20, 1, 2, 3, 4, 5, 6}}}},
      {'t', {1, 2, {0, 255}, "MONOCHROME1"}, 788,
       {{0, {0, 1, 1, 0, 0, 0, 1, 24}}, {18, {255, 255, 255}}, {783, {0, 0, 0, 0, 255}}}},
      {'t', {1, 1, {1}, "PALETTE COLOR", 1, 2}, 25, {{0, {0, 1, 1, 0, 0, 2, 0, 24}}, {18, {0xFF, 0, 0x12, 0xFF, 1, 0x12, 1}}}},
      {'t', {1, 1, {1}, "PALETTE COLOR", 1, 1000}, 787, {{5, {0, 1}}}},
      {'t', {1, 2, {1, 2, 3, 4, 5, 6}, "RGB", 3}, 24,
       {{0, {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 24, 0x20, 3, 2, 1, 6, 5, 4}}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.writer << " " << row.frame.photometric << " " << row.frame.palette);
    TempDir dir;
    qzmMedicalFrame frame;
    row.frame.Make(frame);
    const Bytes file = Save(frame, dir, row.writer);
    ASSERT_EQ(row.size, file.size());
    for (const auto& expected : row.bytes)
      EXPECT_EQ(expected.second, Bytes(file.begin() + expected.first, file.begin() + expected.first + expected.second.size()))
          << "at " << expected.first;
  }
}

TEST(ImageWriters, Refusals) {
  const struct {
    char writer;
    const char* photometric;
    UWORD samples, bits;
    int palette;  // entries held of 4 announced; -1: no palette
    bool toStandardOutput;
    const char* report;
  } rows[] = {{'b', "RGB", 1, 8, -1, false, "Photometric Interpretation RGB does not fit 1 samples"},
              {'b', "PALETTE COLOR", 1, 8, -1, false, "missing clut data to build BMP clut!"},
              {'b', "PALETTE COLOR", 1, 8, 2, false, "colour lookup tables hold fewer than 4 entries!"},
              {'b', "HSV", 3, 8, -1, false, "can not convert Photometric Interpretation HSV to BMP"},
              {'b', "MONOCHROME2", 1, 8, -1, true, "unable to open destination file stdout!"},
              {'t', "CMYK", 4, 8, -1, false, "can not convert Photometric Interpretation CMYK to TARGA"},
              {'t', "MONOCHROME2", 3, 8, -1, false, "MONOCHROME2 does not fit 3 samples"},
              {'t', "PALETTE COLOR", 1, 8, 2, false, "colour lookup tables hold fewer than 4 entries!"},
              {'t', "MONOCHROME2", 1, 8, -1, true, "unable to open destination file stdout!"},
              {'p', "HSV", 3, 8, -1, false, "can not convert Photometric Interpretation HSV to PNG"},
              {'p', "PALETTE COLOR", 1, 8, -1, false, "missing clut data to build png clut!"},
              {'p', "PALETTE COLOR", 1, 12, 4, false, "unable to set png error handling behaviour!"},
              {'j', "MONOCHROME2", 1, 8, -1, false, "data are not in JPEG format!"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.report);
    ReportCapture reports;
    TempDir dir;
    qzmMedicalFrame frame;
    testframes::Make(frame, 2, 2, row.bits <= 8 ? 8 : 16, row.bits, std::vector<UWORD>(4 * row.samples, 1),
                     row.photometric, row.samples);
    if (row.palette >= 0) {
      testframes::SetWordPalette(frame, UWORD(row.palette), Hi12, Ramp, Full);
      frame.ClutEntries = 4;
    }
    Context context = Unchanged();
    context.ToStandardOutput = row.toStandardOutput;
    EXPECT_TRUE(Save(frame, dir, row.writer, context).empty());
    EXPECT_HAS(reports.Errors() + reports.Warnings(), row.report);
    if (row.bits == 8)  // refused before the file is made
      EXPECT_FALSE(testsupport::FileExists(dir.file(std::string("image.") + row.writer)));
  }
  ReportCapture reports;
  TempDir dir;
  qzmMedicalFrame frame;
  testframes::Make(frame, 1, 1, 8, 8, {1});
  Context context;
  context.Compression = qzmMedicalFrame::CompressionLevel(7);
  EXPECT_TRUE(Save(frame, dir, 'p', context).empty());
  EXPECT_HAS(reports.Errors(), "unknown compression method 7!");
}

// BMP files of every width padding gives read back as the grey frame
// written; the loaded frame converts like any other.
TEST(BmpReader, WrittenFramesLoadBack) {
  for (const Frame& written : {Frame{1, 1, {7}}, Frame{2, 4, {1, 2, 3, 4, 5, 6, 7, 8}},
                               Frame{2, 3, {9, 8, 7, 6, 5, 4}, "PALETTE COLOR", 1, 10}}) {
    TempDir dir;
    qzmMedicalFrame frame, loaded;
    written.Make(frame);
    Save(frame, dir, 'b');
    ASSERT_TRUE(loaded.LoadAsBMP(qzcFileName(dir.file("image.b")))) << written.columns;
    EXPECT_EQ(written.rows, loaded.Structure.Rows);
    EXPECT_EQ(written.columns, loaded.Structure.Columns);
    EXPECT_EQ("MONOCHROME2", loaded.Structure.PhotometricInterpretation);
    EXPECT_EQ(7, loaded.Structure.Sample.HighBit);
    EXPECT_FALSE(loaded.HasClut);
    const Bytes pixels(written.values.begin(), written.values.end());
    EXPECT_EQ(pixels, testframes::Bytes(loaded.Pixels));
    ASSERT_TRUE(loaded.GetResampledTo8(loaded.Resampled8, false, qzmMedicalFrame::ReSamplingMethod::near));
    EXPECT_EQ(pixels, testframes::Bytes(loaded.Resampled8));
  }
}

// Damaged or unsupported bitmaps: refused with a report, and no frame (the
// same loader reads --mask images).
TEST(BmpReader, RefusesOtherDepthsCompressionAndDamage) {
  ReportCapture reports;
  TempDir dir;
  qzmMedicalFrame grey;
  testframes::Make(grey, 4, 4, 8, 8, std::vector<UWORD>(16, 1));
  const Bytes good = Save(grey, dir, 'b');
  const struct {
    std::size_t at;
    Bytes patch;
    std::size_t cut;
    const char* report;
  } rows[] = {{0, {'X'}, 0, "does not correspond to a BMP picture!"},
              {28, {24}, 0, "can not handle format 24 <> 8 bits/pixel!"},
              {30, {1}, 0, "can not handle compression RLE8 of BMP file"},
              {30, {2}, 0, "can not handle compression RLE4 of BMP file"},
              {30, {3}, 0, "wrong compression type!"},
              {0, {}, 5, "lie outside the file!"},
              {10, {53, 0}, 0, "lie outside the file!"},
              {22, {0xFF, 0xFF, 0xFF, 0xFF}, 0, "can not handle a bitmap of"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.report);
    Bytes file = good;
    std::copy(row.patch.begin(), row.patch.end(), file.begin() + row.at);
    file.resize(file.size() - row.cut);
    testsupport::WriteBytes(dir.file("bad.bmp"), file);
    qzmMedicalFrame loaded;
    EXPECT_FALSE(loaded.LoadAsBMP(qzcFileName(dir.file("bad.bmp"))));
    EXPECT_HAS(reports.Errors(), row.report);
    EXPECT_EQ(0u, loaded.Structure.NumberOfPixels);
  }
  qzmMedicalFrame loaded;
  EXPECT_FALSE(loaded.LoadAsBMP(qzcFileName(dir.file("missing.bmp"))));
  EXPECT_HAS(reports.Errors(), "unable to open BMP file");
  // The row reader on its own refuses runs too, and leaves the buffer alone.
  qzgBmp header;
  header.Width = header.Height = 4;
  header.BitsPerPixel = 8;
  header.Compression = qzgBmp::RLE8;
  ifbstream ifs(dir.file("bad.bmp").c_str(), std::ios::in | std::ios::binary);
  Bytes pixels(16, 0xAA);
  EXPECT_TRUE(header.ReadData(ifs, pixels.data()).fail());
  EXPECT_EQ(Bytes(16, 0xAA), pixels);
}

TEST(TargaHeader, ReadsBackWhatItWrites) {
  TempDir dir;
  qzmMedicalFrame frame;
  testframes::Make(frame, 2, 3, 8, 8, {1, 2, 3, 4, 5, 6}, "MONOCHROME1");
  Save(frame, dir, 't');
  ifbstream ifs(dir.file("image.t").c_str());
  qzgTarga header;
  ASSERT_FALSE(header.Read(ifs).fail());
  std::ostringstream text;
  header.Print(text);
  EXPECT_EQ("ID field   : 0\nImage Type : 1\nCLUT       : 256 entries (24 bits/entry) in file at offset 0\n"
            "Image      : 3x2, origin on top at [0,0]\n             8 bits/pixel \n             interleaving type 0\n",
            text.str());
}

// The chunks of a PNG file, in order: type and data.
std::vector<std::pair<std::string, Bytes>> Chunks(const Bytes& png) {
  std::vector<std::pair<std::string, Bytes>> chunks;
  for (std::size_t at = 8; at + 12 <= png.size();) {
    const std::size_t length = std::size_t(png[at]) << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3];
    chunks.emplace_back(std::string(png.begin() + at + 4, png.begin() + at + 8),
                        Bytes(png.begin() + at + 8, png.begin() + at + 8 + length));
    at += 12 + length;
  }
  return chunks;
}

// The samples of an interlaced image of one row of two pixels (passes 1 and
// 6, one pixel each: every filter leaves it as it is), bytes as on file.
Bytes Samples(const std::vector<std::pair<std::string, Bytes>>& chunks, unsigned bytesPerPixel) {
  Bytes data, raw(64), samples;
  for (const auto& chunk : chunks)
    if (chunk.first == "IDAT")
      data = Join(data, chunk.second);
  uLongf size = uLongf(raw.size());
  EXPECT_EQ(Z_OK, uncompress(raw.data(), &size, data.data(), uLong(data.size())));
  for (std::size_t at = 0; at + 1 + bytesPerPixel <= size; at += 1 + bytesPerPixel)
    samples.insert(samples.end(), raw.begin() + at + 1, raw.begin() + at + 1 + bytesPerPixel);
  return samples;
}

// Depth, colour type and significant bits of each kind of frame (1 x 2),
// and the samples: 16-bit ones high byte first, MONOCHROME1 inverted.
TEST(PngWriter, DepthColourAndSamples) {
  const struct {
    UWORD bits;
    std::vector<UWORD> values;
    const char* photometric;
    UWORD samples;
    Bytes header;  // bit depth, colour type, and the sBIT chunk or nothing
    Bytes pixels;
  } rows[] = {
      {12, {0x123, 0x456}, "MONOCHROME2", 1, {16, 0, 12}, {0x01, 0x23, 0x04, 0x56}},
      {8, {0, 200}, "MONOCHROME2", 1, {8, 0}, {0, 200}},
      {8, {0, 10}, "MONOCHROME1", 1, {8, 0}, {255, 245}},
      {16, {0x800, 0x123}, "MONOCHROME1", 1, {16, 0}, {0xF7, 0xFF, 0xFE, 0xDC}},
      {8, {1, 0}, "PALETTE COLOR", 1, {8, 3}, {1, 0}},
      {12, {0xFFF, 0x800, 0x001, 1, 2, 3}, "RGB", 3, {16, 2, 12, 12, 12}, {0xFF, 0xF0, 0x80, 0, 0, 0x10, 0, 0x10, 0, 0x20, 0, 0x30}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.photometric << " " << row.bits);
    TempDir dir;
    qzmMedicalFrame frame;
    testframes::Make(frame, 1, 2, row.bits <= 8 ? 8 : 16, row.bits, row.values, row.photometric, row.samples);
    if (row.header[1] == 3)
      testframes::SetWordPalette(frame, 2, Hi12, Ramp, Full);
    const auto chunks = Chunks(Save(frame, dir, 'p'));
    ASSERT_GE(chunks.size(), 4u);
    const Bytes& ihdr = chunks[0].second;
    EXPECT_EQ((Bytes{0, 0, 0, 2, 0, 0, 0, 1}), Bytes(ihdr.begin(), ihdr.begin() + 8));
    Bytes header = {ihdr[8], ihdr[9]};
    for (const auto& chunk : chunks)
      if (chunk.first == "sBIT")
        header = Join(header, chunk.second);
      else if (chunk.first == "PLTE")
        EXPECT_EQ((Bytes{0x12, 0, 0xFF, 0x12, 1, 0xFF}), chunk.second);
    EXPECT_EQ(row.header, header);
    EXPECT_EQ(1, ihdr[12]) << "Adam7";
    EXPECT_EQ(row.pixels, Samples(chunks, unsigned(row.pixels.size() / 2)));
  }
}

// pHYs from the spacing, the Software text before the image and one text
// per element after it, the zlib level of each compression, standard output.
TEST(PngWriter, SizeTextsCompressionAndStandardOutput) {
  TempDir dir;
  qzmMedicalFrame frame;
  testframes::Make(frame, 16, 16, 8, 8, std::vector<UWORD>(256, 9));
  frame.HasPixelSpacing = true;
  frame.PixelSpacing[0] = 0.25f;  // rows
  frame.PixelSpacing[1] = 0.5f;
  qzmDicomDataElementDictionary dictionary;
  dictionary[qzmDicomDataElementTag(0x0010, 0x0010)] = qzmDicomDataElementDescription(
      qzmDicomDataElementDescription::PN, qzmDicomDataElementDescription::VM(), "Patient's Name");
  qzmDicomDataElementDictionary* previous = qzmDicomDataElementSet::GetDictionary();
  qzmDicomDataElementSet::SetDictionary(&dictionary);
  qzmDicomDataElementSet set;
  set[qzmDicomDataElementTag(0x0010, 0x0010)].PN() = "Doe^John";
  set[qzmDicomDataElementTag(0x0011, 0x0010)].LT() = std::string(3000, 'x');  // longer than any fixed buffer
  EXPECT_TRUE(frame.SaveAsPNG(qzcFileName(dir.file("set.png")), Unchanged(), &set));
  qzmDicomDataElementSet::SetDictionary(previous);
  Bytes phys;
  std::vector<std::string> texts;  // of the tEXt chunks, and IDAT where the image is
  for (const auto& chunk : Chunks(testsupport::ReadBytes(dir.file("set.png")))) {
    if (chunk.first == "pHYs")
      phys = chunk.second;
    if (chunk.first == "tEXt" || chunk.first == "IDAT")
      texts.push_back(chunk.first == "IDAT" ? "IDAT" : std::string(chunk.second.begin(), chunk.second.end()));
  }
  EXPECT_EQ((Bytes{0, 0, 0x07, 0xD0, 0, 0, 0x0F, 0xA0, 1}), phys);  // 2000 and 4000 a metre
  ASSERT_EQ(4u, texts.size());
  EXPECT_EQ(std::string("Software\0medconv 1.9i", 21), texts[0]);
  EXPECT_EQ("IDAT", texts[1]);
  EXPECT_EQ(0u, texts[2].find(std::string("Patient's Name\0", 15))) << texts[2];
  EXPECT_HAS(texts[2], "Doe^John");
  EXPECT_EQ(0u, texts[3].find(std::string("(0011,0010)\0", 12)));
  EXPECT_HAS(texts[3], std::string(3000, 'x'));
  frame.PixelSpacing[1] = 0.0f;  // no size can be derived from it
  for (const auto& chunk : Chunks(Save(frame, dir, 'p')))
    EXPECT_NE("pHYs", chunk.first);
  typedef qzmMedicalFrame::CompressionLevel Level;
  for (const auto& level : {std::make_pair(Level::best, 3), std::make_pair(Level::standard, 2),
                            std::make_pair(Level::fast, 0), std::make_pair(Level::no, 0)}) {
    Context context = Unchanged();
    context.Compression = level.first;
    const Bytes png = Save(frame, dir, 'p', context);
    const std::size_t idat = std::string(png.begin(), png.end()).find("IDAT");
    ASSERT_NE(std::string::npos, idat);
    EXPECT_EQ(level.second, png[idat + 5] >> 6);
    EXPECT_EQ(level.first == Level::no, png.size() > 256u) << "stored, not deflated";
  }
  std::ostringstream out;
  const qzcChannel saved = qzcException::dataChannel;
  qzcException::dataChannel.stream = &out;
  Context context = Unchanged();
  context.ToStandardOutput = true;
  EXPECT_TRUE(frame.SaveAsPNG(qzcFileName(dir.file("out.png")), context, nullptr));
  qzcException::dataChannel = saved;
  EXPECT_FALSE(testsupport::FileExists(dir.file("out.png")));
  const Bytes file = Save(frame, dir, 'p');
  EXPECT_EQ(std::string(file.begin(), file.end()), out.str());
}

const Bytes JfifHeader = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F',
                          0x00, 0x01, 0x02, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00};

TEST(JfifHeader, WritesTheTwentyBytesAndReadsOnlyThem) {
  TempDir dir;
  {
    ofbstream ofs(dir.file("header").c_str());
    qzgJfifHeader().Write(ofs);
    EXPECT_TRUE(ofs.IsLittleEndian());  // the stream's policy is put back
  }
  EXPECT_EQ(JfifHeader, testsupport::ReadBytes(dir.file("header")));
  EXPECT_FALSE(qzgJfifHeader::IsJfif(JfifHeader.data(), 10));
  const struct {
    std::size_t at;
    UBYTE value;
    const char* report;  // null: read
  } rows[] = {{11, 1, nullptr}, {1, 0xD9, "could not find SOI!"}, {3, 0xC4, "could not find APP0!"},
              {5, 8, "length 8 is < 16!"}, {6, 'E', "JFIF signature not found!"}};
  for (const auto& row : rows) {
    ReportCapture reports;
    Bytes data = JfifHeader;
    data[row.at] = row.value;
    testsupport::WriteBytes(dir.file("a"), data);
    ifbstream in(dir.file("a").c_str());
    qzgJfifHeader header;
    header.VersionMinor = 0;
    EXPECT_EQ(row.report != nullptr, header.Read(in).fail());  // callers test the stream
    EXPECT_EQ(row.report == nullptr, qzgJfifHeader::IsJfif(data.data(), ULONG(data.size())));
    EXPECT_TRUE(in.IsLittleEndian());
    if (row.report)
      EXPECT_HAS(reports.Errors(), row.report);
    else
      EXPECT_EQ(2, header.VersionMinor);
  }
}

// A frame of a JPEG set whose compressed data are the fragments.
void MakeJpegFrame(qzmMedicalFrame& frame, const std::vector<Bytes>& fragments, const char* photometric,
                   const char* syntax) {
  testframes::Make(frame, 1, 1, 8, 8, {0}, photometric);
  frame.TransferSyntax = syntax;
  Bytes items;
  for (const Bytes& fragment : fragments) {
    const ULONG n = ULONG(fragment.size());
    items = Join(Join(items, {0xFE, 0xFF, 0x00, 0xE0, UBYTE(n), UBYTE(n >> 8), UBYTE(n >> 16), UBYTE(n >> 24)}), fragment);
  }
  qzcDataLocation<UBYTE>& source = frame.SourcePixels.Value.OB();
  source.SetSize(ULONG(items.size()));
  source.AllocateMemory();
  std::copy(items.begin(), items.end(), source.GetMemoryLocation());
  frame.SourcePixels.Date = frame.Pixels.Date;
}

// JFIF means YCbCr to decoders: RGB data get an Adobe segment saying "no
// colour transform" instead, unless they carry their own JFIF header.
TEST(JpegExtraction, CompressedDataReachTheFile) {
  const Bytes adobe = {0xFF, 0xD8, 0xFF, 0xEE, 0x00, 0x0E, 'A', 'd', 'o', 'b', 'e', 0x00, 0x64, 0, 0, 0, 0, 0};
  const Bytes jfif = Join(JfifHeader, {0xFF, 0xDB}), tail = {0xFF, 0xC4, 0x00, 0x02, 0xFF, 0xD9};
  const Bytes huffman = Join({0xFF, 0xD8}, tail), codeStream = {0xFF, 0x4F, 0xFF, 0x51, 0x00, 0x00};
  const char *const baseline = "1.2.840.10008.1.2.4.50", *const j2k = "1.2.840.10008.1.2.4.90";
  const struct {
    std::vector<Bytes> fragments;
    const char *photometric, *syntax;
    Bytes expected;
  } rows[] = {
      {{jfif, {0x01, 0x02, 0xFF, 0xD9}}, "MONOCHROME2", baseline, Join(jfif, {0x01, 0x02, 0xFF, 0xD9})},
      {{huffman}, "MONOCHROME2", baseline, Join(JfifHeader, tail)},
      {{codeStream}, "MONOCHROME2", j2k, Join(JfifHeader, codeStream)},
      {{huffman}, "RGB", baseline, Join(adobe, tail)},
      {{jfif}, "RGB", baseline, jfif},
      {{codeStream}, "RGB", j2k, Join(JfifHeader, codeStream)},
  };
  for (const auto& row : rows) {
    TempDir dir;
    qzmMedicalFrame frame;
    MakeJpegFrame(frame, row.fragments, row.photometric, row.syntax);
    EXPECT_EQ(row.expected, Save(frame, dir, 'j')) << row.photometric << " " << row.fragments[0].size();
  }
  ReportCapture reports;
  TempDir dir;
  qzmMedicalFrame frame;
  MakeJpegFrame(frame, {huffman}, "MONOCHROME2", baseline);
  Context context;
  context.ToStandardOutput = true;
  EXPECT_TRUE(Save(frame, dir, 'j', context).empty());
  EXPECT_HAS(reports.Errors(), "unable to open destination file stdout!");
}

}  // namespace
