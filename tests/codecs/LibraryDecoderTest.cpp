// The library-backed decoders (libjpeg-turbo, CharLS, OpenJPEG) on streams
// that DCMTK and GDCM make at test time from the project's samples: lossless
// ones must give the source's samples exactly, lossy ones the samples of the
// peer's own decoding within a stated tolerance; damaged streams and streams
// that disagree with the set are refused.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "CodecFixtures.h"
#include "codecs/qzmCodecTable.h"
#include "dicom/CapturedReports.h"
#include "support/TestSupport.h"

namespace {

using codecfixtures::Bytes;
using codecfixtures::FixtureFile;

struct Case {
  const char* Name;
  const char* Sample;       // a file written by mksamples, or signed.dcm made from one
  const char* Encoder;      // command run as: <Encoder> <source> <result>
  const char* Syntax;       // what the result must be encoded in
  const char* Reference;    // peer decoder run as <Reference> <result> <decoded>; null: lossless
  long Tolerance;           // largest difference allowed from the peer's decoding
  const char* Photometric;  // of the decoded samples
};

// Lossy JPEG is allowed 1 from DCMTK's decoding: both use the integer inverse
// DCT and smooth chroma upsampling (today they agree exactly), but their
// builds may round the last step differently. CharLS and OpenJPEG are the
// peers' own libraries: exact.
const Case Cases[] = {
    {"baseline_grey_3_frames", "multiframe.dcm", "dcmcjpeg +eb", "1.2.840.10008.1.2.4.50", "dcmdjpeg", 1,
     "MONOCHROME2"},
    {"baseline_ybr422_to_rgb", "rgb.dcm", "dcmcjpeg +eb", "1.2.840.10008.1.2.4.50", "dcmdjpeg", 1, "RGB"},
    {"extended8_grey", "multiframe.dcm", "dcmcjpeg +ee", "1.2.840.10008.1.2.4.51", "dcmdjpeg", 1, "MONOCHROME2"},
    // DCMTK compresses palette colour as YCbCr of its RGB expansion.
    {"extended8_palette_as_ybr", "palette.dcm", "dcmcjpeg +ee", "1.2.840.10008.1.2.4.51", "dcmdjpeg", 1, "RGB"},
    {"extended8_rgb_untransformed", "rgb.dcm", "dcmcjpeg +ee +cr", "1.2.840.10008.1.2.4.51", "dcmdjpeg", 1, "RGB"},
    {"jpegls_lossless_12_of_16", "ct.dcm", "dcmcjpls", "1.2.840.10008.1.2.4.80", nullptr, 0, "MONOCHROME2"},
    {"jpegls_lossless_16_of_16", "bigendian.dcm", "dcmcjpls", "1.2.840.10008.1.2.4.80", nullptr, 0, "MONOCHROME2"},
    {"jpegls_lossless_3_frames", "multiframe.dcm", "dcmcjpls", "1.2.840.10008.1.2.4.80", nullptr, 0, "MONOCHROME2"},
    {"jpegls_rgb_line_interleave", "rgb.dcm", "dcmcjpls +il", "1.2.840.10008.1.2.4.80", nullptr, 0, "RGB"},
    {"jpegls_rgb_sample_interleave", "rgb.dcm", "dcmcjpls +is", "1.2.840.10008.1.2.4.80", nullptr, 0, "RGB"},
    {"jpegls_rgb_no_interleave", "rgb.dcm", "dcmcjpls +in", "1.2.840.10008.1.2.4.80", nullptr, 0, "RGB"},
    {"jpegls_near_lossless", "ct.dcm", "dcmcjpls +en", "1.2.840.10008.1.2.4.81", "dcmdjpls", 0, "MONOCHROME2"},
    {"jpegls_gdcm", "ct.dcm", "gdcmconv --jpegls", "1.2.840.10008.1.2.4.80", nullptr, 0, "MONOCHROME2"},
    {"j2k_lossless_12_of_16", "ct.dcm", "gdcmconv --j2k", "1.2.840.10008.1.2.4.90", nullptr, 0, "MONOCHROME2"},
    {"j2k_lossless_16_of_16", "bigendian.dcm", "gdcmconv --j2k", "1.2.840.10008.1.2.4.90", nullptr, 0, "MONOCHROME2"},
    {"j2k_signed_16", "signed.dcm", "gdcmconv --j2k", "1.2.840.10008.1.2.4.90", nullptr, 0, "MONOCHROME2"},
    {"jpegls_signed_16", "signed.dcm", "dcmcjpls", "1.2.840.10008.1.2.4.80", nullptr, 0, "MONOCHROME2"},
    {"j2k_lossless_3_frames", "multiframe.dcm", "gdcmconv --j2k", "1.2.840.10008.1.2.4.90", nullptr, 0, "MONOCHROME2"},
    {"j2k_lossless_rgb", "rgb.dcm", "gdcmconv --j2k", "1.2.840.10008.1.2.4.90", nullptr, 0, "RGB"},
    {"j2k_lossy", "ct.dcm", "gdcmconv --j2k --lossy -q 40", "1.2.840.10008.1.2.4.91", "gdcmconv --raw", 0,
     "MONOCHROME2"},
    {"j2k_lossy_rgb", "rgb.dcm", "gdcmconv --j2k --lossy -q 40", "1.2.840.10008.1.2.4.91", "gdcmconv --raw", 0, "RGB"},
};

std::string FirstWord(const std::string& command) {
  return command.substr(0, command.find(' '));
}

Bytes FrameOf(const Bytes& pixels, const qzmPixelLayout& layout, unsigned frame) {
  const std::size_t size = std::size_t(layout.FrameBytes());
  if ((frame + 1) * size > pixels.size())
    return Bytes();
  return Bytes(pixels.begin() + long(frame * size), pixels.begin() + long((frame + 1) * size));
}

// The refusals of a stream that is damaged or disagrees with the set.
void ExpectRefusals(const qzmPixelDecoder& decoder, const Bytes& stream, const qzmPixelLayout& layout) {
  struct Change {
    const char* What;
    void (*Apply)(qzmPixelLayout&);
    const char* Reported;
  };
  const Change changes[] = {
      {"one row more", [](qzmPixelLayout& l) { l.Rows = UWORD(l.Rows + 1); }, "the set announces"},
      {"one column fewer", [](qzmPixelLayout& l) { l.Columns = UWORD(l.Columns - 1); }, "the set announces"},
      {"other samples per pixel", [](qzmPixelLayout& l) { l.SamplesPerPixel = l.SamplesPerPixel == 3 ? 1 : 3; },
       "the set announces"},
      {"8-bit units for deeper samples", [](qzmPixelLayout& l) { l.BitsAllocated = l.BitsStored > 8 ? 8 : 0; },
       "bits allocated"},
  };
  for (const Change& change : changes) {
    SCOPED_TRACE(change.What);
    qzmPixelLayout wrong = layout;
    change.Apply(wrong);
    if (wrong.BitsAllocated == 0)
      continue;  // 8-bit samples fit any unit
    Bytes out(std::size_t(wrong.FrameBytes()), 0);
    qzcString photometric = wrong.PhotometricInterpretation;
    CapturedReports reports;
    EXPECT_FALSE(decoder.Decode(stream.data(), ULONG(stream.size()), wrong, out.data(), photometric));
    EXPECT_TRUE(reports.Error(change.Reported));
  }
  for (const std::size_t kept : {stream.size() / 2, std::size_t(40), std::size_t(2), std::size_t(0)}) {
    SCOPED_TRACE("cut to " + std::to_string(kept) + " bytes");
    const Bytes cut(stream.begin(), stream.begin() + long(kept));
    Bytes out(std::size_t(layout.FrameBytes()), 0);
    qzcString photometric = layout.PhotometricInterpretation;
    CapturedReports reports;
    EXPECT_FALSE(decoder.Decode(cut.data(), ULONG(cut.size()), layout, out.data(), photometric));
    EXPECT_FALSE(reports.Errors().empty());
  }
}

class LibraryDecoderTest : public ::testing::TestWithParam<Case> {
 protected:
  static void SetUpTestSuite() {
    folder_.reset(new testsupport::TempDir);
    samplesMade_ = codecfixtures::MakeSamples(folder_->path());
    // Two's complement samples, a fifth of them negative: the 16-bit sample
    // read as signed.
    testsupport::Run("dcmconv +te bigendian.dcm signed.dcm && dcmodify -nb -m '(0028,0103)=1' signed.dcm",
                     folder_->path());
  }
  static void TearDownTestSuite() { folder_.reset(); }

  // The case's fixture, made once per case; false (with the test skipped or
  // failed) when it cannot be.
  bool MakeFixture(const Case& c, FixtureFile& source, FixtureFile& compressed) {
    if (!testsupport::HaveProgram("dcmconv") || !testsupport::HaveProgram(FirstWord(c.Encoder)) ||
        (c.Reference && !testsupport::HaveProgram(FirstWord(c.Reference)))) {
      skipped_ = true;
      return false;
    }
    const std::string dir = folder_->path() + "/";
    const std::string name = c.Name;
    // Every input in explicit VR little endian, which the fixture reader reads.
    const std::string copy = std::string(c.Sample) == "bigendian.dcm" ? "dcmconv +te " : "cp ";
    const std::string steps =
        copy + c.Sample + " " + name + ".source.dcm && " + c.Encoder + " " + name + ".source.dcm " + name + ".dcm";
    const testsupport::RunResult made = testsupport::Run(steps, dir);
    EXPECT_EQ(made.status, 0) << steps << "\n" << made.err;
    EXPECT_TRUE(codecfixtures::ReadFixture(dir + name + ".source.dcm", source));
    EXPECT_TRUE(codecfixtures::ReadFixture(dir + name + ".dcm", compressed));
    EXPECT_EQ(compressed.TransferSyntax(), c.Syntax);
    return !::testing::Test::HasFailure();
  }

  // The peer's decoding of the compressed fixture, colour-by-pixel.
  Bytes PeerDecoding(const Case& c) {
    const std::string dir = folder_->path() + "/", name = c.Name;
    const std::string command = std::string(c.Reference) + " " + name + ".dcm " + name + ".peer.dcm";
    const testsupport::RunResult decoded = testsupport::Run(command, dir);
    EXPECT_EQ(decoded.status, 0) << command << "\n" << decoded.err;
    FixtureFile peer;
    if (!codecfixtures::ReadFixture(dir + name + ".peer.dcm", peer)) {
      ADD_FAILURE() << "no readable decoding by " << c.Reference;
      return Bytes();
    }
    return peer.PixelsByPixel();
  }

  static std::unique_ptr<testsupport::TempDir> folder_;
  static bool samplesMade_;
  bool skipped_ = false;
};

std::unique_ptr<testsupport::TempDir> LibraryDecoderTest::folder_;
bool LibraryDecoderTest::samplesMade_ = false;

// Every frame decoded like the source (lossless) or the peer (lossy); then
// the first frame's stream refused when cut short, or when the set announces
// another size, another number of samples per pixel or units too small for
// its samples: always with an error saying what is wrong, never out of bounds.
// One test per fixture, as making the fixture costs more than both checks.
TEST_P(LibraryDecoderTest, DecodesAndRefusesDamage) {
  const Case& c = GetParam();
  ASSERT_TRUE(samplesMade_);
  const qzmPixelDecoder* decoder = qzmCodecTable::DecoderFor(c.Syntax);
  if (!decoder)
    GTEST_SKIP() << "this build has no decoder for " << c.Syntax;
  FixtureFile source, compressed;
  if (!MakeFixture(c, source, compressed)) {
    if (skipped_)
      GTEST_SKIP() << "DCMTK or GDCM tools missing";
    return;
  }
  const qzmPixelLayout layout = compressed.Layout();
  const Bytes reference = c.Reference ? PeerDecoding(c) : source.NativePixels();
  ASSERT_EQ(reference.size(), std::size_t(layout.FrameBytes()) * compressed.Frames());
  for (unsigned frame = 0; frame < compressed.Frames(); ++frame) {
    SCOPED_TRACE("frame " + std::to_string(frame + 1));
    const Bytes stream = compressed.FrameStream(frame);
    ASSERT_FALSE(stream.empty());
    Bytes out(std::size_t(layout.FrameBytes()), 0);
    qzcString photometric = layout.PhotometricInterpretation;
    CapturedReports reports;
    ASSERT_TRUE(decoder->Decode(stream.data(), ULONG(stream.size()), layout, out.data(), photometric))
        << reports.Errors();
    EXPECT_EQ(photometric, c.Photometric);
    const Bytes expected = FrameOf(reference, layout, frame);
    if (c.Reference)
      EXPECT_LE(codecfixtures::LargestDifference(out, expected, layout), c.Tolerance);
    else
      EXPECT_TRUE(out == expected) << "largest difference " << codecfixtures::LargestDifference(out, expected, layout);
  }
  ExpectRefusals(*decoder, compressed.FrameStream(0), layout);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, LibraryDecoderTest, ::testing::ValuesIn(Cases),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.Name); });

}  // namespace
