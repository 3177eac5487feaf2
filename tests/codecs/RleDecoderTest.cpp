// The RLE decoder: byte planes most significant first for 8, 16 and 32 bits
// and 1 to 3 samples, PackBits runs, and the refusal of every damaged
// segment (each named, no byte of another plane moved).
#include "codecs/qzmRleDecoder.h"
#include "frame/FrameSets.h"
#include "lib/ReportCapture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace framesets;

namespace {

typedef std::vector<UBYTE> Bytes;

qzmPixelLayout LayoutOf(UWORD rows, UWORD columns, UWORD bits, UWORD samples = 1) {
  qzmPixelLayout layout;
  layout.Rows = rows;
  layout.Columns = columns;
  layout.BitsAllocated = layout.BitsStored = bits;
  layout.SamplesPerPixel = samples;
  layout.PhotometricInterpretation = samples == 3 ? "RGB" : "MONOCHROME2";
  return layout;
}

// PackBits: runs of three or more equal bytes as replicate runs, the rest as
// literals, each at most 128 bytes.
Bytes PackBits(const Bytes& plane) {
  Bytes out;
  std::size_t k = 0;
  while (k < plane.size()) {
    std::size_t run = 1;
    while (k + run < plane.size() && run < 128 && plane[k + run] == plane[k])
      ++run;
    if (run >= 3) {
      out.push_back(UBYTE(257 - run));
      out.push_back(plane[k]);
      k += run;
      continue;
    }
    std::size_t literal = 0;
    while (k + literal < plane.size() && literal < 128 &&
           !(k + literal + 2 < plane.size() && plane[k + literal] == plane[k + literal + 1] &&
             plane[k + literal] == plane[k + literal + 2]))
      ++literal;
    out.push_back(UBYTE(literal - 1));
    out.insert(out.end(), plane.begin() + k, plane.begin() + k + literal);
    k += literal;
  }
  if (out.size() % 2)
    out.push_back(0);  // segments are padded to an even length
  return out;
}

// Encodes host-order samples as the RLE stream of a frame.
Bytes Encode(const Bytes& samples, const qzmPixelLayout& layout) {
  const unsigned bytes = layout.BytesPerSample();
  const std::size_t pixels = std::size_t(layout.Rows) * layout.Columns;
  std::vector<Bytes> segments;
  for (unsigned s = 0; s < layout.SamplesPerPixel; ++s)
    for (unsigned significance = 0; significance < bytes; ++significance) {
      Bytes plane(pixels);
      for (std::size_t p = 0; p < pixels; ++p)
        plane[p] = samples[(p * layout.SamplesPerPixel + s) * bytes + (bytes - 1 - significance)];
      segments.push_back(PackBits(plane));
    }
  return RleFrame(segments);
}

// Decodes into a buffer that is zero-filled, as the interface promises; the
// report text when the decoder refuses.
bool Decode(const Bytes& stream, const qzmPixelLayout& layout, Bytes& out, std::string* errors = nullptr) {
  ReportCapture reports;
  out.assign(layout.FrameBytes(), 0);
  qzcString photometric = layout.PhotometricInterpretation;
  const bool decoded = qzmRleDecoder().Decode(stream.data(), ULONG(stream.size()), layout, out.data(), photometric);
  if (errors)
    *errors = reports.Errors();
  EXPECT_EQ(photometric, layout.PhotometricInterpretation);  // RLE never converts colour
  return decoded;
}

TEST(RleDecoder, EveryDepthAndSampleCountRoundTrips) {
  std::mt19937 random(7);
  for (UWORD bits : {8, 16, 32})
    for (UWORD samples : {1, 2, 3}) {
      SCOPED_TRACE(testing::Message() << bits << " bits, " << samples << " samples");
      const qzmPixelLayout layout = LayoutOf(7, 45, bits, samples);
      Bytes source(layout.FrameBytes());
      // Half noise, half flat: both kinds of runs.
      for (std::size_t k = 0; k < source.size(); ++k)
        source[k] = k < source.size() / 2 ? UBYTE(random()) : UBYTE(k / 97);
      Bytes decoded;
      ASSERT_TRUE(Decode(Encode(source, layout), layout, decoded));
      EXPECT_EQ(decoded, source);
    }
}

TEST(RleDecoder, MostSignificantPlaneComesFirst) {
  // 16 bits: segment 1 holds the high bytes; 32 bits: four planes.
  Bytes out;
  ASSERT_TRUE(Decode(RleFrame({{0x00, 0x12}, {0x00, 0x34}}), LayoutOf(1, 1, 16), out));
  UWORD word;
  std::memcpy(&word, out.data(), 2);
  EXPECT_EQ(word, 0x1234);
  ASSERT_TRUE(Decode(RleFrame({{0x00, 0x89}, {0x00, 0xAB}, {0x00, 0xCD}, {0x00, 0xEF}}), LayoutOf(1, 1, 32), out));
  ULONG value;
  std::memcpy(&value, out.data(), 4);
  EXPECT_EQ(value, 0x89ABCDEFu);
  // Colour: segments are samples, written colour-by-pixel.
  ASSERT_TRUE(Decode(RleFrame({{0xFF, 'r'}, {0x01, 'g', 'h'}, {0xFF, 'b'}}), LayoutOf(1, 2, 8, 3), out));
  EXPECT_EQ(out, (Bytes{'r', 'g', 'b', 'r', 'h', 'b'}));
  // No-op controls and an even-length pad byte after a full plane pass.
  ASSERT_TRUE(Decode(RleFrame({{0x80, 0xFF, 7, 0x80, 0x00}}), LayoutOf(1, 2, 8), out));
  EXPECT_EQ(out, (Bytes{7, 7}));
}

// Every damaged stream is refused with a report naming the segment or the
// header; the second plane of a 16-bit frame is where the damage lies, so a
// shifting decoder would show it.
TEST(RleDecoder, DamagedStreamsAreRefused) {
  const qzmPixelLayout layout = LayoutOf(2, 2, 16);
  const Bytes high{0xFD, 1}, low{0x03, 1, 2, 3, 4};
  Bytes missing = RleFrame({high});
  Bytes truncatedHeader = RleFrame({high, low});
  truncatedHeader.resize(40);
  Bytes backwards = RleFrame({high, low});
  backwards[8] = 10;  // segment 2 before the header's end
  Bytes outside = RleFrame({high, low});
  outside[9] = 0x10;  // segment 2 at 4,096 + 66
  const struct {
    const char* name;
    Bytes stream;
    const char* report;
  } rows[] = {
      {"missing segment", missing, "ooops, the RLE header is wrong (2 segments attended, 1 specified)!"},
      {"short segment", RleFrame({high, {0x02, 1, 2, 3}}), "RLE segment 2 is short: 3 of 4 bytes decoded!"},
      {"cut literal", RleFrame({high, {0x03, 1, 2}}), "RLE segment 2 is short: 0 of 4 bytes decoded!"},
      {"cut replicate run", RleFrame({high, {0xFD}}), "RLE segment 2 is short: 0 of 4 bytes decoded!"},
      {"long segment", RleFrame({high, {0x04, 1, 2, 3, 4, 5}}), "RLE segment 2 is long"},
      {"long replicate run", RleFrame({high, {0xFC, 9}}), "RLE segment 2 is long"},
      {"runs after a full plane", RleFrame({high, {0x03, 1, 2, 3, 4, 0xFF, 1}}), "RLE segment 2 is long"},
      {"truncated header", truncatedHeader, "RLE header of 40 bytes is truncated!"},
      {"segment before the previous", backwards, "RLE segment 2 lies outside the data"},
      {"segment past the data", outside, "RLE segment 2 lies outside the data"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Bytes out;
    std::string errors;
    EXPECT_FALSE(Decode(row.stream, layout, out, &errors));
    EXPECT_NE(errors.find(row.report), std::string::npos) << errors;
  }
  // Layouts RLE cannot describe.
  std::string errors;
  Bytes out;
  EXPECT_FALSE(Decode(RleFrame({high}), LayoutOf(2, 2, 12), out, &errors));
  EXPECT_NE(errors.find("RLE data of 1 samples of 12 bits allocated can not be decoded!"), std::string::npos);
  EXPECT_FALSE(Decode(RleFrame({high}), LayoutOf(2, 2, 8, 4), out, &errors));
  EXPECT_NE(errors.find("RLE data of 4 samples of 8 bits allocated"), std::string::npos);
}

}  // namespace
