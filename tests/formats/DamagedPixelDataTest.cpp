// Damaged or unusable pixel data through the whole program: no output file
// for a frame that cannot be decoded (so no byte of another file's image
// can reach it), one report for a set whose pixel data cannot hold its
// frames, and a clear report for a syntax this build does not decode.
#include "driver/DriverTest.h"
#include "support/CodecFixtures.h"

#include <gtest/gtest.h>

namespace {

using namespace codecfixtures;

const char* const Rle = "1.2.840.10008.1.2.5";

// Occurrences of text in a report stream.
std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++count;
  return count;
}

class DamagedPixelData : public MedconvTest {
 protected:
  void WriteFile(const std::string& name, const Bytes& bytes) const { testsupport::WriteBytes(dir.file(name), bytes); }

  // A 64 x 64 image of one grey value, in one replicate run per 128 pixels.
  static Bytes FlatPlane(std::uint8_t value, unsigned runs = 32) {
    Bytes segment;
    for (unsigned k = 0; k < runs; ++k)
      segment.insert(segment.end(), {0x81, value});
    return segment;
  }
};

// A segment that ends early, one that runs long and a missing one are each
// refused: the damaged file gets no image, whichever file came before it.
TEST_F(DamagedPixelData, DamagedRleFramesGiveNoOutput) {
  Image image;
  image.rows = image.columns = 64;
  WriteFile("a.dcm", EncapsulatedFile(Rle, image, Items({}, {RleStream({FlatPlane(0xAA)})})));
  WriteFile("short.dcm", EncapsulatedFile(Rle, image, Items({}, {RleStream({FlatPlane(0x55, 31)})})));
  WriteFile("long.dcm", EncapsulatedFile(Rle, image, Items({}, {RleStream({FlatPlane(0x55, 33)})})));
  image.bits = 16;
  WriteFile("missing.dcm", EncapsulatedFile(Rle, image, Items({}, {RleStream({FlatPlane(0x55)})})));
  const testsupport::RunResult run = Medconv("-w -r0 a.dcm short.dcm a.dcm long.dcm missing.dcm");
  EXPECT_TRUE(Exists("a.dcm.bmp"));
  for (const char* damaged : {"short.dcm", "long.dcm", "missing.dcm"}) {
    EXPECT_FALSE(Exists(std::string(damaged) + ".bmp")) << damaged;
    EXPECT_FALSE(Exists(std::string(damaged) + ".raw")) << damaged;
  }
  EXPECT_NE(run.err.find("RLE segment 1 is short: 3968 of 4096 bytes decoded!"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("RLE segment 1 is long"), std::string::npos);
  EXPECT_NE(run.err.find("the RLE header is wrong (2 segments attended, 1 specified)"), std::string::npos);
  const std::vector<unsigned char> raw = testsupport::ReadBytes(dir.file("a.dcm.raw"));
  EXPECT_EQ(raw, std::vector<unsigned char>(4096, 0xAA));
}

// Frames beyond what the pixel data hold: one report per set, no output,
// and the files after it are still converted.
TEST_F(DamagedPixelData, FramesThePixelDataCannotHoldAreRefusedOnce) {
  Image image;
  image.frames = 1000;
  const Bytes frame = RleStream({{0xFD, 7}});
  WriteFile("thousand.dcm", EncapsulatedFile(Rle, image, Items({}, {frame, frame})));
  samplewriter::SampleSet native = SmallImageSet();
  native.Text(0x0028, 0x0008, "IS", "32767");
  Write("native.dcm", native);
  Write("good.dcm", SmallImageSet());
  const testsupport::RunResult run = Medconv("-w thousand.dcm native.dcm thousand.dcm native.dcm good.dcm");
  EXPECT_EQ(Count(run.err, "the 2 fragments of the Pixel Data can not be divided into 1000 frames (frame 3)!"), 2u);
  EXPECT_EQ(Count(run.err, "frame 1000, the last of the set, can not be built: no frame is converted!"), 2u);
  EXPECT_EQ(Count(run.err, "frame 32767, the last of the set, can not be built: no frame is converted!"), 2u) << run.err;
  EXPECT_LT(run.err.size(), 8000u);
  EXPECT_TRUE(Exists("good.dcm.bmp"));
  const testsupport::RunResult listing = testsupport::Run("ls", dir.path());
  EXPECT_EQ(listing.out.find("thousand.dcm."), std::string::npos) << listing.out;
  EXPECT_EQ(listing.out.find("native.dcm."), std::string::npos) << listing.out;
}

// Items tagged OW are decoded like OB ones; a syntax without decoder is
// named once per output asked for, and nothing is written.
TEST_F(DamagedPixelData, OwItemsDecodeAndUnknownSyntaxesAreNamed) {
  Image image;
  WriteFile("ow.dcm", EncapsulatedFile(Rle, image, Items({}, {RleStream({{0xFD, 7}})}), "OW"));
  const testsupport::RunResult decoded = Medconv("-r0 ow.dcm");
  EXPECT_EQ(decoded.status, 0) << decoded.err;
  EXPECT_EQ(testsupport::ReadBytes(dir.file("ow.dcm.raw")), std::vector<unsigned char>(4, 7));

  WriteFile("mpeg.dcm", EncapsulatedFile("1.2.840.10008.1.2.4.100", image, Items({}, {{0, 0, 1, 0xB3}})));
  const testsupport::RunResult refused = Medconv("-w -r0 -d=el mpeg.dcm");
  EXPECT_EQ(Count(refused.err, "pixel data in transfer syntax 1.2.840.10008.1.2.4.100 can not be decoded by this build!"),
            3u)
      << refused.err;
  EXPECT_EQ(refused.err.find("reorganize"), std::string::npos) << refused.err;
  for (const char* output : {"mpeg.dcm.bmp", "mpeg.dcm.raw", "mpeg.dcm.dcm"})
    EXPECT_FALSE(Exists(output)) << output;
}

}  // namespace
