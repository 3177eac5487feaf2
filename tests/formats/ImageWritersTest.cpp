// The image writers (BMP, TARGA, PNG, JPEG extraction) byte for byte, their refusals, and BMP files read as frames.
#include "formats/qzgJfifHeader.h"
#include "formats/qzgTarga.h"
#include "frame/TestFrames.h"
#include "lib/ReportCapture.h"
#include "support/TestSupport.h"

#include "dicom/qzmDicomDataElementDictionary.h"
#include "dicom/qzmDicomDataElementSet.h"
#include "lib/ifbstream.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

namespace {

using testsupport::TempDir;
typedef std::vector<UBYTE> Bytes;
typedef qzmMedicalFrame::ConversionContext Context;

const Bytes JfifHeader = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 2, 0, 0, 1, 0, 1, 0, 0};

Bytes Join(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A frame of 8 bits or more, with a palette of entries (red 0x12, green k, blue 0xFF) when asked.
struct Frame {
  Frame(UWORD rows, UWORD columns, std::vector<UWORD> values, const char* photometric = "MONOCHROME2",
        UWORD samples = 1, UWORD palette = 0, UWORD bits = 8)
      : rows(rows), columns(columns), values(values), photometric(photometric), samples(samples), palette(palette),
        bits(bits) {}
  UWORD rows, columns;
  std::vector<UWORD> values;
  const char* photometric;
  UWORD samples, palette, bits;
  void Make(qzmMedicalFrame& frame) const {
    testframes::Make(frame, rows, columns, bits <= 8 ? 8 : 16, bits, values, photometric, samples);
    if (palette)
      testframes::SetWordPalette(frame, palette, [](UWORD) { return UWORD(0x1234); },
                                 [](UWORD k) { return UWORD(k << 8); }, [](UWORD) { return UWORD(0xFF00); });
  }
};

// The file a writer ('b', 't', 'p' or 'j') makes of the samples unchanged; empty when refused.
Bytes Save(qzmMedicalFrame& frame, const TempDir& dir, char writer, Context context = Context()) {
  const qzcFileName name(dir.file(std::string("image.") + writer));
  context.ReSamplingMethod = qzmMedicalFrame::ReSamplingMethod::no;
  const bool saved = writer == 'b'   ? frame.SaveAsBMP(name, context)
                     : writer == 't' ? frame.SaveAsTARGA(name, context)
                     : writer == 'p' ? frame.SaveAsPNG(name, context, nullptr)
                                     : frame.SaveAsJPEG(name, context);
  return saved ? testsupport::ReadBytes(name) : Bytes();
}

// Header, colour table and rows of each interpretation at offsets of the file; the header readers read them back.
TEST(ImageWriters, HeadersTablesAndRows) {
  const Bytes bmpHeader = {'B', 'M', 0x3E, 4, 0, 0, 0, 0, 0, 0, 0x36, 4, 0, 0, 40, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1,
                           0, 8, 0, 0, 0, 0, 0, 8, 0, 0, 0, 0x12, 0x0B, 0, 0, 0x12, 0x0B, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0};
  const struct { char writer; Frame frame; std::size_t size; std::vector<std::pair<std::size_t, Bytes>> at; } rows[] = {
      {'b', {2, 3, {1, 2, 3, 4, 5, 6}}, 1086,
       {{0, bmpHeader}, {854, {200, 200, 200, 0}}, {1078, {4, 5, 6, 0, 1, 2, 3, 0}}}},
      {'b', {1, 4, {0, 1, 2, 255}, "MONOCHROME1"}, 1082,
       {{54, {255, 255, 255, 0}}, {1074, {0, 0, 0, 0, 0, 1, 2, 255}}}},
      {'b', {1, 4, {0, 1, 2, 3}, "PALETTE COLOR", 1, 2}, 1082,
       {{54, {0xFF, 0, 0x12, 0, 0xFF, 1, 0x12, 0, 0, 0, 0, 0}}}},
      {'b', {1, 4, {0, 1, 2, 3}, "PALETTE COLOR", 1, 300}, 1082, {{1074, {0xFF, 0xFF, 0x12, 0}}}},
      {'b', {2, 1, {1, 2, 3, 4, 5, 6}, "RGB", 3}, 62,
       {{10, {54, 0}}, {28, {24, 0}}, {46, Bytes(8, 0)}, {54, {6, 5, 4, 0, 3, 2, 1, 0}}}},
      {'t', {2, 3, {1, 2, 3, 4, 5, 6}}, 24,
       {{0, {0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0, 8, 0x20, 1, 2, 3, 4, 5, 6}}}},
      {'t', {1, 2, {0, 255}, "MONOCHROME1"}, 788,
       {{0, {0, 1, 1, 0, 0, 0, 1, 24}}, {18, {255, 255, 255}}, {783, {0, 0, 0, 0, 255}}}},
      {'t', {1, 1, {1}, "PALETTE COLOR", 1, 2}, 25, {{5, {2, 0, 24}}, {18, {0xFF, 0, 0x12, 0xFF, 1, 0x12, 1}}}},
      {'t', {1, 1, {1}, "PALETTE COLOR", 1, 1000}, 787, {{5, {0, 1}}}},
      {'t', {1, 2, {1, 2, 3, 4, 5, 6}, "RGB", 3}, 24,
       {{0, {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 24, 0x20, 3, 2, 1, 6, 5, 4}}}},
  };
  for (const auto& row : rows) {
    TempDir dir;
    qzmMedicalFrame frame;
    row.frame.Make(frame);
    const Bytes file = Save(frame, dir, row.writer);
    ASSERT_EQ(row.size, file.size()) << row.writer << " " << row.frame.photometric << " " << row.frame.palette;
    for (const auto& part : row.at)
      EXPECT_EQ(part.second, Bytes(file.begin() + part.first, file.begin() + part.first + part.second.size()))
          << row.writer << " " << row.frame.photometric << " " << row.frame.palette << " at " << part.first;
  }
  TempDir dir;
  qzmMedicalFrame frame;
  Frame{2, 3, {1, 2, 3, 4, 5, 6}, "MONOCHROME1"}.Make(frame);
  Save(frame, dir, 't');
  testsupport::WriteBytes(dir.file("a"), JfifHeader);
  ifbstream targaFile(dir.file("image.t").c_str()), jfifFile(dir.file("a").c_str());
  qzgTarga targa;
  qzgJfifHeader jfif;
  jfif.VersionMinor = 0;
  EXPECT_FALSE(targa.Read(targaFile).fail() || jfif.Read(jfifFile).fail());
  EXPECT_TRUE(targa.HasColorMap && targa.OriginAtTop && targa.ColorMapLength == 256 && targa.Height == 2);
  EXPECT_EQ(2, jfif.VersionMinor);
  targa.Interleaving = 2;  // the two top bits of the descriptor, under the origin bit
  EXPECT_EQ(targa.Descriptor(), 0xA0);
  Bytes other = JfifHeader;
  other[9] = 'X';  // "JFIX"
  testsupport::WriteBytes(dir.file("b"), other);
  ifbstream otherFile(dir.file("b").c_str());
  ReportCapture reports;
  EXPECT_TRUE(jfif.Read(otherFile).fail() && reports.Error("JFIF signature not found!"));
  other = JfifHeader;
  other[1] = 0xD9;  // no start of image
  testsupport::WriteBytes(dir.file("c"), other);
  ifbstream noStart(dir.file("c").c_str());
  EXPECT_TRUE(jfif.Read(noStart).fail() && reports.Error("could not find SOI!"));
  EXPECT_FALSE(qzgJfifHeader::IsJfif(other.data(), ULONG(other.size())));
}

TEST(ImageWriters, Refusals) {
  // context 1: to standard output, 2: an unknown compression
  const struct { char writer; Frame frame; int context; const char* report; } rows[] = {
      {'b', {1, 1, {1}, "RGB"}, 0, "Photometric Interpretation RGB does not fit 1 samples"},
      {'b', {1, 1, {1}, "PALETTE COLOR"}, 0, "missing clut data to build BMP clut!"},
      {'b', {1, 1, {1}, "PALETTE COLOR", 1, 3}, 0, "colour lookup tables hold fewer than 4 entries!"},
      {'b', {1, 1, {1, 2, 3}, "HSV", 3}, 0, "can not convert Photometric Interpretation HSV to BMP"},
      {'b', {1, 1, {1}}, 1, "unable to open destination file stdout!"},
      {'t', {1, 1, {1, 2, 3, 4}, "CMYK", 4}, 0, "can not convert Photometric Interpretation CMYK to TARGA"},
      {'t', {1, 1, {1, 2, 3}, "MONOCHROME2", 3}, 0, "MONOCHROME2 does not fit 3 samples"},
      {'t', {1, 1, {1}, "PALETTE COLOR", 1, 3}, 0, "colour lookup tables hold fewer than 4 entries!"},
      {'t', {1, 1, {1}}, 1, "unable to open destination file stdout!"},
      {'p', {1, 1, {1, 2, 3}, "HSV", 3}, 0, "can not convert Photometric Interpretation HSV to PNG"},
      {'p', {1, 1, {1}, "PALETTE COLOR"}, 0, "missing clut data to build png clut!"},
      {'p', {1, 1, {1}, "PALETTE COLOR", 1, 4, 12}, 0, "unable to set png error handling behaviour!"},
      {'p', {1, 1, {1}}, 2, "unknown compression method 7!"}, {'j', {1, 1, {1}}, 0, "data are not in JPEG format!"}};
  for (const auto& row : rows) {
    ReportCapture reports;
    TempDir dir;
    qzmMedicalFrame frame;
    row.frame.Make(frame);
    frame.ClutEntries = 4;  // more than 3 held
    Context context;
    context.ToStandardOutput = row.context == 1;
    context.Compression = row.context == 2 ? qzmMedicalFrame::CompressionLevel(7) : context.Compression;
    EXPECT_TRUE(Save(frame, dir, row.writer, context).empty());
    EXPECT_HAS(reports.Errors() + reports.Warnings(), row.report);
    EXPECT_TRUE(row.frame.bits > 8 || !testsupport::FileExists(dir.file(std::string("image.") + row.writer)));
  }
}

// BMP files of each padding read back as the grey frame written; damaged or unsupported ones give no frame.
TEST(BmpReader, LoadsWrittenFramesAndRefusesOthers) {
  for (const Frame& written : {Frame{1, 1, {7}}, Frame{2, 4, {1, 2, 3, 4, 5, 6, 7, 8}},
                               Frame{2, 3, {9, 8, 7, 6, 5, 4}, "PALETTE COLOR", 1, 10}}) {
    TempDir dir;
    qzmMedicalFrame frame, loaded;
    written.Make(frame);
    Save(frame, dir, 'b');
    ReportCapture quiet;
    loaded.Modality = "CT";  // of a set the frame held before
    ASSERT_TRUE(loaded.LoadAsBMP(qzcFileName(dir.file("image.b")))) << written.columns;
    EXPECT_TRUE(loaded.Structure.Rows == written.rows && loaded.Structure.Columns == written.columns &&
                !loaded.HasClut && loaded.Structure.PhotometricInterpretation == "MONOCHROME2" &&
                loaded.Modality.empty());
    ASSERT_TRUE(loaded.GetResampledTo8(loaded.Resampled8, false, qzmMedicalFrame::ReSamplingMethod::near));
    EXPECT_EQ(Bytes(written.values.begin(), written.values.end()), testframes::Bytes(loaded.Resampled8));
    EXPECT_TRUE(quiet.None()) << quiet.Warnings();
  }
  ReportCapture reports;
  TempDir dir;
  qzmMedicalFrame grey;
  Frame{4, 4, std::vector<UWORD>(16, 1)}.Make(grey);
  const Bytes good = Save(grey, dir, 'b');
  const struct { std::size_t at; Bytes patch; std::size_t cut; const char* report; } rows[] = {
      {0, {'X'}, 0, "does not correspond to a BMP picture!"},
      {28, {24}, 0, "can not handle format 24 <> 8 bits/pixel!"},
      {30, {1}, 0, "can not handle compression RLE8 of BMP file"},
      {30, {2}, 0, "can not handle compression RLE4 of BMP file"}, {30, {3}, 0, "wrong compression type!"},
      {0, {}, 5, "lie outside the file!"}, {10, {53, 0}, 0, "lie outside the file!"},
      {22, {0xFF, 0xFF, 0xFF, 0xFF}, 0, "can not handle a bitmap of"},
      {0, {}, 1064, "while getting bitmap info header"}};
  for (const auto& row : rows) {
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
}

// A PNG file's chunks ("type:data"), and the samples of a two-pixel row (passes 1 and 6 of Adam7, left unfiltered).
std::vector<std::string> Chunks(const Bytes& png, Bytes* samples = nullptr, unsigned bytesPerPixel = 1) {
  std::vector<std::string> chunks;
  Bytes data, raw(64);
  for (std::size_t at = 8; at + 12 <= png.size(); at += 12 + (png[at + 2] << 8 | png[at + 3])) {
    chunks.emplace_back(png.begin() + at + 4, png.begin() + at + 8 + (png[at + 2] << 8 | png[at + 3]));
    chunks.back().insert(4, ":");
    if (chunks.back().compare(0, 4, "IDAT") == 0)
      data.insert(data.end(), chunks.back().begin() + 5, chunks.back().end());
  }
  uLongf size = uLongf(raw.size());
  if (samples && uncompress(raw.data(), &size, data.data(), uLong(data.size())) == Z_OK)
    for (std::size_t at = 0; at < size; at += 1 + bytesPerPixel)
      samples->insert(samples->end(), raw.begin() + at + 1, raw.begin() + at + 1 + bytesPerPixel);
  return chunks;
}

std::string Chunk(const std::vector<std::string>& chunks, const std::string& type) {
  for (const std::string& chunk : chunks)
    if (chunk.compare(0, 4, type) == 0)
      return chunk.substr(5);
  return "none";
}

// Depth, colour type, significant bits, palette, samples (MONOCHROME1 inverted); pixel size, texts, zlib levels.
TEST(PngWriter, DepthColourSamplesSizeTextsAndCompression) {
  // header: IHDR's bit depth, colour type, methods and Adam7
  const struct { Frame frame; const char *header, *sbit, *plte; Bytes pixels; } rows[] = {
      {{1, 2, {0x123, 0x456}, "MONOCHROME2", 1, 0, 12}, "\x10\0\0\0\x01", "\x0C", "none", {0x01, 0x23, 0x04, 0x56}},
      {{1, 2, {0, 200}}, "\x08\0\0\0\x01", "none", "none", {0, 200}},
      {{1, 2, {0, 10}, "MONOCHROME1"}, "\x08\0\0\0\x01", "none", "none", {255, 245}},
      {{1, 2, {0x800, 0x123}, "MONOCHROME1", 1, 0, 16}, "\x10\0\0\0\x01", "none", "none", {0xF7, 0xFF, 0xFE, 0xDC}},
      {{1, 2, {1, 0}, "PALETTE COLOR", 1, 2}, "\x08\x03\0\0\x01", "none", "\x12\0\xFF\x12\x01\xFF", {1, 0}},
      {{1, 2, {0xFFF, 0x800, 1, 1, 2, 3}, "RGB", 3, 0, 12}, "\x10\x02\0\0\x01", "\x0C\x0C\x0C", "none",
       {0xFF, 0xF0, 0x80, 0, 0, 0x10, 0, 0x10, 0, 0x20, 0, 0x30}},
  };
  for (const auto& row : rows) {
    TempDir dir;
    qzmMedicalFrame frame;
    row.frame.Make(frame);
    Bytes samples;
    const auto chunks = Chunks(Save(frame, dir, 'p'), &samples, unsigned(row.pixels.size() / 2));
    EXPECT_EQ(std::string("\0\0\0\x02\0\0\0\x01", 8) + std::string(row.header, 5), Chunk(chunks, "IHDR"));
    EXPECT_EQ(row.sbit, Chunk(chunks, "sBIT")) << row.frame.photometric;
    EXPECT_EQ(std::string(row.plte, std::strcmp(row.plte, "none") ? 6 : 4), Chunk(chunks, "PLTE"));
    EXPECT_EQ(row.pixels, samples) << row.frame.photometric;
  }
  TempDir dir;  // the pixel size from the spacing, the Software text before the image and one per element after it
  qzmMedicalFrame frame;
  Frame{16, 16, std::vector<UWORD>(256, 9)}.Make(frame);
  frame.HasPixelSpacing = true;
  frame.PixelSpacing[0] = 0.25f;  // rows
  frame.PixelSpacing[1] = 0.5f;
  qzmDicomDataElementDictionary dictionary, *previous = qzmDicomDataElementSet::GetDictionary();
  dictionary[qzmDicomDataElementTag(0x0010, 0x0010)] = qzmDicomDataElementDescription(
      qzmDicomDataElementDescription::PN, qzmDicomDataElementDescription::VM(), "Patient's Name");
  qzmDicomDataElementSet::SetDictionary(&dictionary);
  qzmDicomDataElementSet set;
  set[qzmDicomDataElementTag(0x0010, 0x0010)].PN() = "Doe^John";
  set[qzmDicomDataElementTag(0x0011, 0x0010)].LT() = std::string(3000, 'x');  // longer than any fixed buffer
  EXPECT_TRUE(frame.SaveAsPNG(qzcFileName(dir.file("set.png")), Context(), &set));
  qzmDicomDataElementSet::SetDictionary(previous);
  std::string texts;
  for (const std::string& chunk : Chunks(testsupport::ReadBytes(dir.file("set.png"))))
    texts += chunk.compare(0, 4, "tEXt") == 0 ? chunk.substr(5) + "|" : chunk.compare(0, 4, "IDAT") == 0 ? "IDAT|" : "";
  EXPECT_EQ(std::string("Software\0medconv 1.9i|IDAT|Patient's Name\0Doe^John|(0011,0010)\0", 63) +
                std::string(3000, 'x') + "|", texts);
  EXPECT_EQ(std::string("\0\0\x07\xD0\0\0\x0F\xA0\x01", 9),
            Chunk(Chunks(testsupport::ReadBytes(dir.file("set.png"))), "pHYs"));
  frame.PixelSpacing[0] = frame.PixelSpacing[1] = 1000.0f;  // a pixel a metre: the least count pHYs holds
  EXPECT_EQ(std::string("\0\0\0\x01\0\0\0\x01\x01", 9), Chunk(Chunks(Save(frame, dir, 'p', Context())), "pHYs"));
  frame.PixelSpacing[0] = frame.PixelSpacing[1] = 1e-7f;  // more pixels a metre than pHYs holds
  EXPECT_EQ("none", Chunk(Chunks(Save(frame, dir, 'p', Context())), "pHYs"));
  typedef qzmMedicalFrame::CompressionLevel Level;
  for (const auto& level : {std::make_pair(Level::best, 3), {Level::standard, 2}, {Level::fast, 0}, {Level::no, 0}}) {
    Context context;
    context.Compression = level.first;
    const std::string idat = Chunk(Chunks(Save(frame, dir, 'p', context)), "IDAT");
    EXPECT_EQ(level.second, UBYTE(idat[1]) >> 6);  // the zlib header's level
    EXPECT_EQ(level.first == Level::no, idat.size() > 256u) << "stored, not deflated";
  }
}

// JFIF means YCbCr: RGB data get an Adobe segment ("no colour transform") unless they carry their own JFIF header.
TEST(JpegExtraction, CompressedDataReachTheFile) {
  const Bytes adobe = {0xFF, 0xD8, 0xFF, 0xEE, 0x00, 0x0E, 'A', 'd', 'o', 'b', 'e', 0x00, 0x64, 0, 0, 0, 0, 0};
  const Bytes jfif = Join(JfifHeader, {0xFF, 0xDB}), tail = {0xFF, 0xC4, 0x00, 0x02, 0xFF, 0xD9};
  const Bytes huffman = Join({0xFF, 0xD8}, tail), codeStream = {0xFF, 0x4F, 0xFF, 0x51, 0x00, 0x00};
  const struct { std::vector<Bytes> fragments; const char* photometric; Bytes expected; } rows[] = {
      {{jfif, {0x01, 0x02}}, "MONOCHROME2", Join(jfif, {0x01, 0x02})},
      {{huffman}, "MONOCHROME2", Join(JfifHeader, tail)}, {{codeStream}, "MONOCHROME2", Join(JfifHeader, codeStream)},
      {{huffman}, "RGB", Join(adobe, tail)}, {{jfif}, "RGB", jfif},
      {{codeStream}, "RGB", Join(JfifHeader, codeStream)}, {{huffman}, "", {}}};
  for (const auto& row : rows) {
    ReportCapture reports;
    TempDir dir;
    qzmMedicalFrame frame;
    Frame{1, 1, {0}, row.photometric}.Make(frame);
    frame.TransferSyntax = "1.2.840.10008.1.2.4.50";
    Bytes items;
    for (const Bytes& fragment : row.fragments)
      items = Join(Join(items, {0xFE, 0xFF, 0x00, 0xE0, UBYTE(fragment.size()), 0, 0, 0}), fragment);
    qzcDataLocation<UBYTE>& source = frame.SourcePixels.Value.OB();
    source.SetSize(ULONG(items.size()));
    source.AllocateMemory();
    std::copy(items.begin(), items.end(), source.GetMemoryLocation());
    frame.SourcePixels.Date = frame.Pixels.Date;
    Context context;
    context.ToStandardOutput = *row.photometric == 0;  // refused
    EXPECT_EQ(row.expected, Save(frame, dir, 'j', context)) << row.photometric << " " << row.fragments[0].size();
  }
}

}  // namespace
