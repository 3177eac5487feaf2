// The in-house JPEG decoders (lossless, and DCT of 12-bit precision) against
// DCMTK: fixtures encoded with dcmcjpeg from the generated samples, each
// decoded here and by dcmdjpeg; and against streams written by the tests
// themselves for what dcmcjpeg does not write, and damaged copies of both.
#include "codecs/JpegFixtures.h"
#include "codecs/qzmJpegExtended12Decoder.h"
#include "codecs/qzmJpegLosslessDecoder.h"
#include "lib/ReportCapture.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>

using jpegfixtures::Bytes;
using jpegfixtures::DicomImage;
using jpegfixtures::LosslessLayout;

namespace {

const qzmJpegLosslessDecoder Lossless;
const qzmJpegExtended12Decoder Extended12;

struct Decoded {
  bool ok = false;
  std::vector<int> samples;
  qzcString photometric;
  std::string errors;
};

Decoded Decode(const qzmPixelDecoder& decoder, const Bytes& stream, const qzmPixelLayout& layout) {
  Decoded result;
  ReportCapture capture;
  std::vector<UBYTE> out(layout.FrameBytes(), 0);
  result.photometric = layout.PhotometricInterpretation;
  result.ok = decoder.Decode(stream.data(), ULONG(stream.size()), layout, out.data(), result.photometric);
  result.errors = capture.Errors();
  if (layout.BitsAllocated == 8) {
    result.samples.assign(out.begin(), out.end());
  } else {
    const UWORD* words = reinterpret_cast<const UWORD*>(out.data());
    result.samples.assign(words, words + out.size() / 2);
  }
  return result;
}

int LargestDifference(const std::vector<int>& a, const std::vector<int>& b) {
  int largest = 0;
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
    largest = std::max(largest, std::abs(a[i] - b[i]));
  return largest;
}

// The samples of the project, made once for all tests of this file.
class DcmtkFixtures : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new testsupport::TempDir;
    const auto made = testsupport::Run(std::string(MEDCONV_BUILD_DIR) + "/tools/mksamples " + folder_->path() + "/");
    ASSERT_EQ(made.status, 0) << made.err;
  }
  static void TearDownTestSuite() {
    delete folder_;
    folder_ = nullptr;
  }
  void SetUp() override {
    if (!testsupport::HaveProgram("dcmcjpeg") || !testsupport::HaveProgram("dcmdjpeg"))
      GTEST_SKIP() << "DCMTK is not installed";
  }

  // Encodes a sample with dcmcjpeg's options and decodes it back with
  // dcmdjpeg; false when either fails.
  static bool MakeFixture(const std::string& sample, const std::string& options, DicomImage& encoded,
                          DicomImage& reference) {
    const std::string in = folder_->file(sample), jpeg = folder_->file("encoded.dcm"),
                      native = folder_->file("decoded.dcm");
    const auto encode = testsupport::Run("dcmcjpeg " + options + " '" + in + "' '" + jpeg + "'");
    const auto decode = testsupport::Run("dcmdjpeg +te '" + jpeg + "' '" + native + "'");
    return encode.status == 0 && decode.status == 0 && jpegfixtures::ReadDicomImage(jpeg, encoded) &&
           jpegfixtures::ReadDicomImage(native, reference);
  }

  static testsupport::TempDir* folder_;
};

testsupport::TempDir* DcmtkFixtures::folder_ = nullptr;

struct DcmtkRow {
  const char* sample;
  const char* options;
  bool lossless;
  int tolerance;            // largest difference allowed from dcmdjpeg's samples
  const char* photometric;  // what the decoder says the samples are
};

// ct.dcm: 64 x 64, 12 of 16 bits; implicit.dcm: 48 x 32, 16 of 16 bits;
// rgb.dcm: 8-bit RGB; multiframe.dcm: 8-bit monochrome frames.
const DcmtkRow DcmtkRows[] = {
    {"ct.dcm", "+e1", true, 0, "MONOCHROME2"},
    {"ct.dcm", "+el +sv 1", true, 0, "MONOCHROME2"},
    {"ct.dcm", "+el +sv 2", true, 0, "MONOCHROME2"},
    {"ct.dcm", "+el +sv 3", true, 0, "MONOCHROME2"},
    {"ct.dcm", "+el +sv 4", true, 0, "MONOCHROME2"},
    {"ct.dcm", "+el +sv 5", true, 0, "MONOCHROME2"},
    {"ct.dcm", "+el +sv 6", true, 0, "MONOCHROME2"},
    {"ct.dcm", "+el +sv 7", true, 0, "MONOCHROME2"},
    {"ct.dcm", "+el +sv 1 +pt 3", true, 0, "MONOCHROME2"},
    {"implicit.dcm", "+e1", true, 0, "MONOCHROME2"},
    {"implicit.dcm", "+el +sv 7", true, 0, "MONOCHROME2"},
    {"rgb.dcm", "+e1", true, 0, "RGB"},
    {"rgb.dcm", "+el +sv 4", true, 0, "RGB"},
    {"multiframe.dcm", "+e1", true, 0, "MONOCHROME2"},
    {"ct.dcm", "+ee", false, 1, "MONOCHROME2"},
    {"ct.dcm", "+ee +q 40", false, 1, "MONOCHROME2"},
    {"multiframe.dcm", "+eb", false, 1, "MONOCHROME2"},
    // A difference of 1 in a chroma sample becomes up to 1.8 in red or blue.
    {"rgb.dcm", "+eb", false, 2, "RGB"},
    {"rgb.dcm", "+ee +s4", false, 2, "RGB"},
    {"rgb.dcm", "+eb +n1", false, 2, "RGB"},
    {"rgb.dcm", "+eb +cr", false, 1, "RGB"},
};

TEST_F(DcmtkFixtures, DecodesWhatDcmdjpegDecodes) {
  for (const DcmtkRow& row : DcmtkRows) {
    SCOPED_TRACE(std::string(row.sample) + " " + row.options);
    DicomImage encoded, reference;
    ASSERT_TRUE(MakeFixture(row.sample, row.options, encoded, reference));
    const qzmPixelDecoder& decoder = row.lossless ? static_cast<const qzmPixelDecoder&>(Lossless) : Extended12;
    const Decoded decoded = Decode(decoder, encoded.Pixels, encoded.Layout);
    ASSERT_TRUE(decoded.ok) << decoded.errors;
    EXPECT_EQ(decoded.photometric, row.photometric);
    std::vector<int> expected = jpegfixtures::Samples(reference.Pixels, reference.Layout.BitsAllocated);
    expected.resize(decoded.samples.size());  // the first frame
    EXPECT_EQ(decoded.samples.size(), encoded.Layout.FrameBytes() / encoded.Layout.BytesPerSample());
    EXPECT_LE(LargestDifference(decoded.samples, expected), row.tolerance);
  }
}

// A test image of the shape's size: a smooth ramp with noise, and for 16-bit
// samples a column of jumps by half the range (16-bit differences).
std::vector<int> TestSamples(const LosslessLayout& shape) {
  std::vector<int> samples;
  const int largest = (1 << shape.Precision) - 1;
  unsigned noise = 12345;
  for (int y = 0; y < shape.Rows; ++y)
    for (int x = 0; x < shape.Columns; ++x)
      for (int c = 0; c < shape.Components; ++c) {
        noise = noise * 1103515245u + 12345u;
        int value = (x * 37 + y * 11 + c * 500 + int(noise >> 16) % 64) & largest;
        if (shape.Precision == 16 && x % 5 == 3)  // exactly half the range from its left neighbour
          value = samples[samples.size() - std::size_t(shape.Components)] ^ 0x8000;
        samples.push_back(value);
      }
  return samples;
}

qzmPixelLayout LayoutOf(const LosslessLayout& shape) {
  qzmPixelLayout layout;
  layout.Rows = UWORD(shape.Rows);
  layout.Columns = UWORD(shape.Columns);
  layout.SamplesPerPixel = UWORD(shape.Components);
  layout.BitsAllocated = shape.Precision > 8 ? 16 : 8;
  layout.BitsStored = UWORD(shape.Precision);
  layout.PhotometricInterpretation = shape.Components == 3 ? "RGB" : "MONOCHROME2";
  return layout;
}

LosslessLayout MakeLayout(int rows, int columns, int components, int precision, int predictor, int pointTransform = 0,
                  int restartInterval = 0, bool interleaved = true) {
  LosslessLayout shape;
  shape.Rows = rows;
  shape.Columns = columns;
  shape.Components = components;
  shape.Precision = precision;
  shape.Predictor = predictor;
  shape.PointTransform = pointTransform;
  shape.RestartInterval = restartInterval;
  shape.Interleaved = interleaved;
  return shape;
}

// Streams with what dcmcjpeg never writes: restart intervals (within and at
// the ends of rows), one scan per component, 16-bit differences, point
// transforms and precisions from 2 to 16 bits.
TEST(JpegLosslessStreams, DecodeToTheEncodedSamples) {
  const struct {
    const char* what;
    LosslessLayout shape;
  } rows[] = {
      {"2-bit, predictor 1", MakeLayout(9, 13, 1, 2, 1)},
      {"5-bit, predictor 5", MakeLayout(17, 10, 1, 5, 5)},
      {"8-bit colour, predictor 4, interval of 7 pixels", MakeLayout(12, 10, 3, 8, 4, 0, 7)},
      {"12-bit colour, one scan per component, predictor 7, interval of a row", MakeLayout(11, 16, 3, 12, 7, 0, 16, false)},
      {"16-bit, predictor 1, half-range jumps, interval of two rows", MakeLayout(10, 21, 1, 16, 1, 0, 42)},
      {"16-bit, predictor 6, point transform 2", MakeLayout(8, 9, 1, 16, 6, 2)},
      {"16-bit, predictor 1, interval of 1", MakeLayout(4, 5, 1, 16, 1, 0, 1)},
      {"16-bit, two components, predictor 2, point transform 5", MakeLayout(6, 7, 2, 16, 2, 5)},
      {"one column, predictor 3", MakeLayout(7, 1, 1, 12, 3)},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const std::vector<int> samples = TestSamples(row.shape);
    const Decoded decoded = Decode(Lossless, jpegfixtures::EncodeLossless(row.shape, samples), LayoutOf(row.shape));
    ASSERT_TRUE(decoded.ok) << decoded.errors;
    std::vector<int> expected;
    for (int value : samples)
      expected.push_back((value >> row.shape.PointTransform) << row.shape.PointTransform);
    EXPECT_EQ(decoded.samples, expected);
  }
}

// Complete data without the end-of-image marker decode; a stream that ends
// before its last scan does not.
TEST(JpegLosslessStreams, NeedEveryScanButNotTheEndMarker) {
  const LosslessLayout shape = MakeLayout(6, 8, 3, 8, 1, 0, 0, false);
  const std::vector<int> samples = TestSamples(shape);
  Bytes stream = jpegfixtures::EncodeLossless(shape, samples);
  stream.resize(stream.size() - 2);
  const Decoded complete = Decode(Lossless, stream, LayoutOf(shape));
  EXPECT_TRUE(complete.ok) << complete.errors;
  EXPECT_EQ(complete.samples, samples);

  std::size_t lastScan = 0;
  for (std::size_t i = 0; i + 1 < stream.size(); ++i)
    if (stream[i] == 0xFF && stream[i + 1] == 0xDA)
      lastScan = i;
  stream.resize(lastScan);
  const Decoded partial = Decode(Lossless, stream, LayoutOf(shape));
  EXPECT_FALSE(partial.ok);
  EXPECT_NE(partial.errors.find("before component 3"), std::string::npos) << partial.errors;
}

// A damaged copy of a stream: refused with an error that says why.
struct Damage {
  const char* what;
  std::function<void(Bytes& stream, qzmPixelLayout& layout)> apply;
  const char* error;  // part of the error reported
};

std::size_t FindMarker(const Bytes& stream, unsigned char marker) {
  for (std::size_t i = 0; i + 1 < stream.size(); ++i)
    if (stream[i] == 0xFF && stream[i + 1] == marker)
      return i;
  return stream.size();
}

void ExpectRefused(const qzmPixelDecoder& decoder, const Bytes& stream, const qzmPixelLayout& layout,
                   const Damage& damage) {
  SCOPED_TRACE(damage.what);
  Bytes copy = stream;
  qzmPixelLayout changed = layout;
  damage.apply(copy, changed);
  const Decoded decoded = Decode(decoder, copy, changed);
  EXPECT_FALSE(decoded.ok);
  EXPECT_NE(decoded.errors.find(damage.error), std::string::npos) << decoded.errors;
}

// Damages shared by both decoders' streams.
std::vector<Damage> CommonDamages() {
  return {
      {"truncated in the data", [](Bytes& s, qzmPixelLayout&) { s.resize(FindMarker(s, 0xDA) + 40); }, "ends in"},
      {"truncated in a header", [](Bytes& s, qzmPixelLayout&) { s.resize(FindMarker(s, 0xC4) + 9); }, "runs past"},
      {"no start marker", [](Bytes& s, qzmPixelLayout&) { s[1] = 0xD9; }, "start-of-image"},
      {"more rows in the set", [](Bytes&, qzmPixelLayout& l) { ++l.Rows; }, "the set 65 rows and 64 columns"},
      {"fewer columns in the set", [](Bytes&, qzmPixelLayout& l) { --l.Columns; }, "the set 64 rows and 63 columns"},
      {"three samples per pixel in the set", [](Bytes&, qzmPixelLayout& l) { l.SamplesPerPixel = 3; },
       "1 components, the set 3 samples"},
      {"8 bits allocated in the set", [](Bytes&, qzmPixelLayout& l) { l.BitsAllocated = 8; }, "the set 8 bits"},
      {"Huffman table with three codes of one bit",  // as many symbols as before
       [](Bytes& s, qzmPixelLayout&) {
         const std::size_t counts = FindMarker(s, 0xC4) + 5;
         for (std::size_t length = 1; length < 16; ++length)
           if (s[counts + length] >= 3) {
             s[counts + length] = static_cast<unsigned char>(s[counts + length] - 3);
             s[counts] = static_cast<unsigned char>(s[counts] + 3);
             break;
           }
       },
       "more codes"},
      {"scan of an unknown component", [](Bytes& s, qzmPixelLayout&) { s[FindMarker(s, 0xDA) + 5] = 0x09; },
       "component 9"},
      {"no frame header", [](Bytes& s, qzmPixelLayout&) { s[FindMarker(s, 0xC3) + 1] = 0xFE; }, "before the frame"},
  };
}

TEST(JpegLosslessStreams, RefuseDamagedStreams) {
  const LosslessLayout shape = MakeLayout(64, 64, 1, 12, 1, 0, 64);
  const Bytes stream = jpegfixtures::EncodeLossless(shape, TestSamples(shape));
  const qzmPixelLayout layout = LayoutOf(shape);
  std::vector<Damage> damages = CommonDamages();
  damages.push_back(
      {"no restart marker", [](Bytes& s, qzmPixelLayout&) { s[FindMarker(s, 0xD0) + 1] = 0xD3; }, "restart marker 0"});
  // The test table codes sizes 0 to 16 in five bits: 11111 is no code.
  damages.push_back({"bad Huffman code",
                     [](Bytes& s, qzmPixelLayout&) {
                       const std::size_t at = FindMarker(s, 0xDA) + 20;
                       s[at] = 0xFE;
                       s[at + 1] = 0xFE;
                     },
                     "does not have"});
  damages.push_back(
      {"precision of 17 bits", [](Bytes& s, qzmPixelLayout&) { s[FindMarker(s, 0xC3) + 4] = 17; }, "precision of 17"});
  damages.push_back({"predictor 0", [](Bytes& s, qzmPixelLayout&) { s[FindMarker(s, 0xDA) + 7] = 0; }, "predictor 0"});
  damages.push_back(
      {"a DCT frame", [](Bytes& s, qzmPixelLayout&) { s[FindMarker(s, 0xC3) + 1] = 0xC1; }, "not lossless"});
  for (const Damage& damage : damages)
    ExpectRefused(Lossless, stream, layout, damage);
}

TEST_F(DcmtkFixtures, DctDecoderRefusesDamagedStreams) {
  DicomImage encoded, reference;
  ASSERT_TRUE(MakeFixture("ct.dcm", "+ee", encoded, reference));
  std::vector<Damage> damages = CommonDamages();
  for (Damage& damage : damages)  // the frame header of an extended stream
    if (std::string(damage.what) == "no frame header")
      damage.apply = [](Bytes& s, qzmPixelLayout&) { s[FindMarker(s, 0xC1) + 1] = 0xFE; };
  damages.push_back({"bad Huffman code",
                     [](Bytes& s, qzmPixelLayout&) {
                       const std::size_t at = FindMarker(s, 0xDA) + 30;
                       std::fill(s.begin() + long(at), s.begin() + long(at) + 6, 0xFE);
                     },
                     "does not have"});
  damages.push_back({"no quantisation table", [](Bytes& s, qzmPixelLayout&) { s[FindMarker(s, 0xDB) + 1] = 0xFE; },
                     "quantisation table 0"});
  damages.push_back(
      {"a lossless frame", [](Bytes& s, qzmPixelLayout&) { s[FindMarker(s, 0xC1) + 1] = 0xC3; }, "not sequential"});
  for (const Damage& damage : damages)
    ExpectRefused(Extended12, encoded.Pixels, encoded.Layout, damage);
}

// A PNM image (P5 or P6, 8-bit) as a layout and samples; false if not one.
bool ReadPnm(const std::string& path, qzmPixelLayout& layout, std::vector<int>& samples) {
  const Bytes file = testsupport::ReadBytes(path);
  std::string header;
  std::size_t at = 0;
  for (int fields = 0; fields < 4 && at < file.size(); ++at) {
    const char c = char(file[at]);
    if (c == ' ' || c == '\n') {
      if (!header.empty() && header.back() != ' ')
        ++fields;
      header += ' ';
    } else {
      header += c;
    }
  }
  char kind = 0;
  int columns = 0, rows = 0, largest = 0;
  if (std::sscanf(header.c_str(), "P%c %d %d %d", &kind, &columns, &rows, &largest) != 4 || largest != 255)
    return false;
  layout = qzmPixelLayout();
  layout.Rows = UWORD(rows);
  layout.Columns = UWORD(columns);
  layout.SamplesPerPixel = kind == '6' ? 3 : 1;
  layout.BitsAllocated = layout.BitsStored = 8;
  samples.assign(file.begin() + long(at), file.end());
  return samples.size() == layout.NumberOfSamples();
}

// DCT streams with what dcmcjpeg does not write (restart intervals, one scan
// per component, other sampling factors, components named R, G, B), made by
// libjpeg-turbo's cjpeg and compared with its djpeg. They are 8-bit: the
// decoder works the same way for both precisions.
TEST(JpegDctStreams, DecodeAsDjpegDoes) {
  if (!testsupport::HaveProgram("cjpeg") || !testsupport::HaveProgram("djpeg"))
    GTEST_SKIP() << "libjpeg-turbo-progs is not installed";
  testsupport::TempDir temp;
  Bytes colour{'P', '6', '\n', '4', '5', ' ', '3', '7', '\n', '2', '5', '5', '\n'};
  for (int y = 0; y < 37; ++y)
    for (int x = 0; x < 45; ++x)
      colour.insert(colour.end(), {static_cast<unsigned char>(x * 5 + y), static_cast<unsigned char>(y * 6),
                                   static_cast<unsigned char>(x * y)});
  testsupport::WriteBytes(temp.file("in.ppm"), colour);
  testsupport::WriteText(temp.file("scans.txt"), "0;\n1;\n2;\n");
  const struct {
    const char* options;
    const char* photometric;  // as the set would announce it
    int tolerance;
  } rows[] = {
      {"-grayscale -restart 2B", "MONOCHROME2", 1},
      {"-restart 1", "YBR_FULL_422", 2},
      {"-restart 3B -sample 2x1,1x1,1x1", "YBR_FULL_422", 2},
      {"-sample 4x1,1x1,1x1", "YBR_FULL", 2},
      {"-sample 1x1,1x1,1x1", "YBR_FULL", 2},
      {"-scans scans.txt", "YBR_FULL", 2},
      {"-rgb", "RGB", 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.options);
    const auto encoded =
        testsupport::Run(std::string("cjpeg ") + row.options + " -outfile out.jpg in.ppm", temp.path());
    const auto decoded = testsupport::Run("djpeg -pnm -outfile out.pnm out.jpg", temp.path());
    ASSERT_EQ(encoded.status, 0) << encoded.err;
    ASSERT_EQ(decoded.status, 0) << decoded.err;
    qzmPixelLayout layout;
    std::vector<int> expected;
    ASSERT_TRUE(ReadPnm(temp.file("out.pnm"), layout, expected));
    layout.PhotometricInterpretation = row.photometric;
    const Decoded result = Decode(Extended12, testsupport::ReadBytes(temp.file("out.jpg")), layout);
    ASSERT_TRUE(result.ok) << result.errors;
    EXPECT_EQ(result.photometric, layout.SamplesPerPixel == 3 ? "RGB" : "MONOCHROME2");
    EXPECT_LE(LargestDifference(result.samples, expected), row.tolerance);
  }
}

// Files of Debian's pydicom corpus, against dcmdjpeg's decoding of them.
struct CorpusRow {
  const char* file;
  const qzmPixelDecoder* decoder;
  int tolerance;
  const char* photometric;
};

const CorpusRow CorpusRows[] = {
    {"JPEG-lossy.dcm", &Extended12, 1, "MONOCHROME2"},            // 12-bit extended
    {"JPGExtended.dcm", &Extended12, 1, "MONOCHROME2"},           // 12-bit extended
    {"SC_jpeg_no_color_transform.dcm", &Extended12, 1, "RGB"},    // Adobe segment: no transform
    {"SC_jpeg_no_color_transform_2.dcm", &Extended12, 1, "RGB"},  // components named R, G, B
    {"SC_rgb_small_odd_jpeg.dcm", &Extended12, 2, "RGB"},         // YBR_FULL of odd size
    {"SC_rgb_jpeg_gdcm.dcm", &Lossless, 0, "RGB"},                // lossless SV1 colour by GDCM
};

TEST(JpegCorpus, DecodesPydicomFilesAsDcmdjpegDoes) {
  const auto located = testsupport::Run("dpkg -L python3-pydicom 2>/dev/null | grep '/test_files/JPGExtended.dcm$'");
  if (located.out.empty() || !testsupport::HaveProgram("dcmdjpeg"))
    GTEST_SKIP() << "python3-pydicom or DCMTK is not installed";
  const std::string folder = located.out.substr(0, located.out.rfind('/') + 1);
  testsupport::TempDir temp;
  for (const CorpusRow& row : CorpusRows) {
    SCOPED_TRACE(row.file);
    DicomImage encoded, reference;
    const auto decode = testsupport::Run("dcmdjpeg +te '" + folder + row.file + "' '" + temp.file("native.dcm") + "'");
    ASSERT_EQ(decode.status, 0) << decode.err;
    ASSERT_TRUE(jpegfixtures::ReadDicomImage(folder + row.file, encoded));
    ASSERT_TRUE(jpegfixtures::ReadDicomImage(temp.file("native.dcm"), reference));
    const Decoded decoded = Decode(*row.decoder, encoded.Pixels, encoded.Layout);
    ASSERT_TRUE(decoded.ok) << decoded.errors;
    EXPECT_EQ(decoded.photometric, row.photometric);
    std::vector<int> expected = jpegfixtures::Samples(reference.Pixels, reference.Layout.BitsAllocated);
    ASSERT_GE(expected.size(), decoded.samples.size());
    expected.resize(decoded.samples.size());  // pixel data of odd length has a padding byte
    EXPECT_LE(LargestDifference(decoded.samples, expected), row.tolerance);
  }
}

}  // namespace
