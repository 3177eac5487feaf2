// The RLE decoder on streams written here: byte planes most significant
// first, PackBits controls, and the refusal of every damaged segment, each
// named (DCMTK's, GDCM's and pydicom's streams are in the fixture and corpus
// tests).
#include "codecs/qzmRleDecoder.h"

#include <gtest/gtest.h>

#include "CodecFixtures.h"

namespace {

using namespace codecfixtures;

// Decoded samples in host order (little endian here), or the report of the
// refusal; the damage lies in the second plane of a 16-bit frame, so that a
// decoder shifting planes would show it.
TEST(RleDecoder, DecodesPlanesAndRefusesDamagedSegments) {
  const Bytes high{0xFD, 1}, low{0x03, 1, 2, 3, 4};
  const qzmPixelLayout words = MakeLayout(2, 2, 1, 16);
  qzmPixelLayout twelve = words;
  twelve.BitsAllocated = 12;
  Bytes cut = RleStream({high, low}), backwards = cut, outside = cut;
  cut.resize(40);
  backwards[8] = 10;  // segment 2 before the header's end
  outside[9] = 0x10;  // segment 2 at 4,096 + 66
  const struct {
    const char* name;
    Bytes stream;
    qzmPixelLayout layout;
    Bytes decoded;       // when decoded
    const char* report;  // when refused
  } rows[] = {
      {"16 bits, high plane first", RleStream({high, low}), words, {1, 1, 2, 1, 3, 1, 4, 1}, ""},
      {"32 bits, four planes", RleStream({{0xFD, 0x89}, {0xFD, 0xAB}, {0xFD, 0xCD}, {0x03, 1, 2, 3, 4}}),
       MakeLayout(2, 2, 1, 32), {1, 0xCD, 0xAB, 0x89, 2, 0xCD, 0xAB, 0x89, 3, 0xCD, 0xAB, 0x89, 4, 0xCD, 0xAB, 0x89}, ""},
      {"colour, one plane per sample", RleStream({{0xFD, 'r'}, {0x03, 'g', 'h', 'i', 'j'}, {0xFD, 'b'}}),
       MakeLayout(2, 2, 3, 8), {'r', 'g', 'b', 'r', 'h', 'b', 'r', 'i', 'b', 'r', 'j', 'b'}, ""},
      {"no-op controls, pad byte", RleStream({{0x80, 0xFD, 7, 0x80, 0x00}}), MakeLayout(2, 2, 1, 8), {7, 7, 7, 7}, ""},
      {"missing segment", RleStream({high}), words, {}, "the RLE header is wrong (2 segments attended, 1 specified)!"},
      {"short segment", RleStream({high, {0x02, 1, 2, 3}}), words, {}, "RLE segment 2 is short: 3 of 4 bytes decoded!"},
      {"cut literal", RleStream({high, {0x03, 1, 2}}), words, {}, "RLE segment 2 is short: 0 of 4 bytes decoded!"},
      {"cut replicate run", RleStream({high, {0xFD}}), words, {}, "RLE segment 2 is short: 0 of 4 bytes decoded!"},
      {"long segment", RleStream({high, {0x04, 1, 2, 3, 4, 5}}), words, {}, "RLE segment 2 is long"},
      {"long replicate run", RleStream({high, {0xFC, 9}}), words, {}, "RLE segment 2 is long"},
      {"runs after a full plane", RleStream({high, {0x03, 1, 2, 3, 4, 0xFF, 1}}), words, {}, "segment 2 is long"},
      {"truncated header", cut, words, {}, "RLE header of 40 bytes is truncated!"},
      {"segment before the previous", backwards, words, {}, "RLE segment 2 lies outside the data"},
      {"segment past the data", outside, words, {}, "RLE segment 2 lies outside the data"},
      {"12 bits allocated", RleStream({high}), twelve, {}, "RLE data of 1 samples of 12 bits allocated can not be"},
      {"4 samples", RleStream({high}), MakeLayout(2, 2, 4, 8), {}, "RLE data of 4 samples of 8 bits allocated"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const Decoded decoded = Decode(qzmRleDecoder(), row.stream, row.layout);
    EXPECT_EQ(decoded.ok, row.report[0] == 0);
    EXPECT_NE(decoded.errors.find(row.report), std::string::npos) << decoded.errors;
    if (decoded.ok) {
      EXPECT_EQ(decoded.out, row.decoded);
      EXPECT_EQ(decoded.photometric, row.layout.PhotometricInterpretation);  // RLE never converts colour
    }
  }
}

}  // namespace
