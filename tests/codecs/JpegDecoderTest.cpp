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

#include <cstdlib>
#include <memory>

using jpegfixtures::Bytes;
using jpegfixtures::DicomImage;
using jpegfixtures::LosslessSpec;

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
  int tolerance;  // largest difference allowed from dcmdjpeg's samples
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

// Files of Debian's pydicom corpus, against dcmdjpeg's decoding of them.
struct CorpusRow {
  const char* file;
  int tolerance;
  const char* photometric;
};

const CorpusRow CorpusRows[] = {
    {"JPEG-lossy.dcm", 1, "MONOCHROME2"},                // 12-bit extended
    {"JPGExtended.dcm", 1, "MONOCHROME2"},               // 12-bit extended
    {"SC_jpeg_no_color_transform.dcm", 1, "RGB"},        // Adobe segment: no transform
    {"SC_jpeg_no_color_transform_2.dcm", 1, "RGB"},      // components named R, G, B
    {"SC_rgb_small_odd_jpeg.dcm", 2, "RGB"},             // YBR_FULL of odd size
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
    const Decoded decoded = Decode(Extended12, encoded.Pixels, encoded.Layout);
    ASSERT_TRUE(decoded.ok) << decoded.errors;
    EXPECT_EQ(decoded.photometric, row.photometric);
    std::vector<int> expected = jpegfixtures::Samples(reference.Pixels, reference.Layout.BitsAllocated);
    ASSERT_GE(expected.size(), decoded.samples.size());
    expected.resize(decoded.samples.size());  // pixel data of odd length has a padding byte
    EXPECT_LE(LargestDifference(decoded.samples, expected), row.tolerance);
  }
}

}  // namespace
