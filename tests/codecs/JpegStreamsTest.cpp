// The in-house JPEG decoders (lossless, and DCT of 12-bit precision) on what
// dcmcjpeg never writes: lossless streams written here (restart intervals, one
// scan per component, 16-bit differences, any precision), DCT streams by
// libjpeg-turbo's cjpeg compared with its djpeg; and damaged copies of both.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>

#include "CodecFixtures.h"
#include "codecs/qzmJpegExtended12Decoder.h"
#include "codecs/qzmJpegLosslessDecoder.h"
#include "support/TestSupport.h"

namespace {

using namespace codecfixtures;

const qzmJpegLosslessDecoder Lossless;
const qzmJpegExtended12Decoder Extended12;

struct Shape {
  int rows, columns, components, precision, predictor, pointTransform, restartInterval;
  bool interleaved;  // false: one scan per component
};

// Writes bits most significant first, with a zero byte after each 0xFF; pads
// the last byte with ones.
struct BitWriter {
  Bytes& out;
  unsigned byte = 0, bits = 0;
  void Put(unsigned value, int count) {
    for (int i = count - 1; i >= 0; --i) {
      byte = byte << 1 | (value >> i & 1);
      if (++bits == 8) {
        out.push_back(UBYTE(byte));
        if (byte == 0xFF)
          out.push_back(0);
        byte = bits = 0;
      }
    }
  }
  void Flush() {
    while (bits != 0)
      Put(1, 1);
  }
};

void Segment(Bytes& out, UBYTE marker, const Bytes& content) {
  out.insert(out.end(), {0xFF, marker, UBYTE((content.size() + 2) >> 8), UBYTE(content.size() + 2)});
  out.insert(out.end(), content.begin(), content.end());
}

// The samples of a scan of some components, each difference coded with the
// five-bit code of its size (the table below).
void EncodeScan(const Shape& shape, const std::vector<int>& samples, const std::vector<int>& components, Bytes& out) {
  Bytes header{UBYTE(components.size())};
  for (int c : components)
    header.insert(header.end(), {UBYTE(c + 1), 0});
  header.insert(header.end(), {UBYTE(shape.predictor), 0, UBYTE(shape.pointTransform)});
  Segment(out, 0xDA, header);
  BitWriter bits{out};
  const auto at = [&](int y, int x, int c) {
    return samples[(std::size_t(y) * shape.columns + x) * shape.components + c] >> shape.pointTransform;
  };
  for (int y = 0, unit = 0, marker = 0; y < shape.rows; ++y) {
    bool firstLine = y == 0, restart = y == 0;
    for (int x = 0; x < shape.columns; ++x, ++unit) {
      if (shape.restartInterval != 0 && unit != 0 && unit % shape.restartInterval == 0) {
        bits.Flush();
        out.insert(out.end(), {0xFF, UBYTE(0xD0 + marker)});
        marker = (marker + 1) & 7;
        firstLine = restart = true;
      }
      for (int c : components) {
        const int a = x > 0 ? at(y, x - 1, c) : 0, b = y > 0 ? at(y - 1, x, c) : 0,
                  d = x > 0 && y > 0 ? at(y - 1, x - 1, c) : 0;
        const int predictions[] = {0, a, b, d, a + b - d, a + ((b - d) >> 1), b + ((a - d) >> 1), (a + b) >> 1};
        const int predicted = restart ? 1 << (shape.precision - shape.pointTransform - 1)
                              : x == 0 ? b : firstLine ? a : predictions[shape.predictor];
        const int difference = ((at(y, x, c) - predicted + 32767) & 0xFFFF) - 32767;  // modulo 2^16
        int size = 0;
        for (int magnitude = std::abs(difference); magnitude != 0; magnitude >>= 1)
          ++size;
        bits.Put(unsigned(size), 5);
        if (size > 0 && size < 16)
          bits.Put(unsigned(difference < 0 ? difference + (1 << size) - 1 : difference), size);
      }
      restart = false;
    }
  }
  bits.Flush();
}

Bytes EncodeLossless(const Shape& shape, const std::vector<int>& samples) {
  Bytes out{0xFF, 0xD8}, frame{UBYTE(shape.precision), UBYTE(shape.rows >> 8),    UBYTE(shape.rows),
                               UBYTE(shape.columns >> 8), UBYTE(shape.columns), UBYTE(shape.components)};
  for (int c = 0; c < shape.components; ++c)
    frame.insert(frame.end(), {UBYTE(c + 1), 0x11, 0x00});
  Segment(out, 0xC3, frame);
  Bytes table(17, 0);
  table[5] = 17;  // seventeen codes of five bits: the sizes 0 to 16
  for (int size = 0; size <= 16; ++size)
    table.push_back(UBYTE(size));
  Segment(out, 0xC4, table);
  if (shape.restartInterval != 0)
    Segment(out, 0xDD, {UBYTE(shape.restartInterval >> 8), UBYTE(shape.restartInterval)});
  std::vector<int> all;
  for (int c = 0; c < shape.components; ++c)
    all.push_back(c);
  for (int c = 0; c < (shape.interleaved ? 1 : shape.components); ++c)
    EncodeScan(shape, samples, shape.interleaved ? all : std::vector<int>{c}, out);
  out.insert(out.end(), {0xFF, 0xD9});
  return out;
}

// A smooth ramp with noise, and for 16-bit samples a column of jumps by half
// the range (16-bit differences).
std::vector<int> TestSamples(const Shape& shape) {
  std::vector<int> samples;
  unsigned noise = 12345;
  for (int y = 0; y < shape.rows; ++y)
    for (int x = 0; x < shape.columns; ++x)
      for (int c = 0; c < shape.components; ++c) {
        noise = noise * 1103515245u + 12345u;
        int value = (x * 37 + y * 11 + c * 500 + int(noise >> 16) % 64) & ((1 << shape.precision) - 1);
        if (shape.precision == 16 && x % 5 == 3)
          value = samples[samples.size() - std::size_t(shape.components)] ^ 0x8000;
        samples.push_back(value);
      }
  return samples;
}

qzmPixelLayout LayoutOf(const Shape& shape) {
  qzmPixelLayout layout;
  layout.Rows = UWORD(shape.rows);
  layout.Columns = UWORD(shape.columns);
  layout.SamplesPerPixel = UWORD(shape.components);
  layout.BitsAllocated = shape.precision > 8 ? 16 : 8;
  layout.BitsStored = UWORD(shape.precision);
  layout.PhotometricInterpretation = shape.components == 3 ? "RGB" : "MONOCHROME2";
  return layout;
}

std::vector<int> Samples(const Bytes& out, unsigned unit) {
  std::vector<int> samples;
  for (std::size_t k = 0; k + unit <= out.size(); k += unit)
    samples.push_back(unit == 1 ? out[k] : out[k] | out[k + 1] << 8);
  return samples;
}

TEST(JpegLosslessStreams, DecodeToTheEncodedSamples) {
  const Shape shapes[] = {
      {9, 13, 1, 2, 1, 0, 0, true},   {17, 10, 1, 5, 5, 0, 0, true},  {12, 10, 3, 8, 4, 0, 7, true},
      {11, 16, 3, 12, 7, 0, 16, false}, {10, 21, 1, 16, 1, 0, 42, true}, {8, 9, 1, 16, 6, 2, 0, true},
      {4, 5, 1, 16, 1, 0, 1, true},   {6, 7, 2, 16, 2, 5, 0, true},   {7, 1, 1, 12, 3, 0, 0, true},
  };
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(testing::Message() << shape.precision << "-bit, " << shape.components << " components, predictor "
                                    << shape.predictor << ", interval " << shape.restartInterval);
    const std::vector<int> samples = TestSamples(shape);
    const Decoded decoded = Decode(Lossless, EncodeLossless(shape, samples), LayoutOf(shape));
    ASSERT_TRUE(decoded.ok) << decoded.errors;
    std::vector<int> expected;
    for (int value : samples)
      expected.push_back(value >> shape.pointTransform << shape.pointTransform);
    EXPECT_EQ(Samples(decoded.out, shape.precision > 8 ? 2 : 1), expected);
  }
  // Complete data without the end-of-image marker decode; a stream that
  // ends before its last scan does not.
  const Shape shape{6, 8, 3, 8, 1, 0, 0, false};
  Bytes stream = EncodeLossless(shape, TestSamples(shape));
  stream.resize(stream.size() - 2);
  const Decoded complete = Decode(Lossless, stream, LayoutOf(shape));
  EXPECT_TRUE(complete.ok) << complete.errors;
  EXPECT_EQ(Samples(complete.out, 1), TestSamples(shape));
  std::size_t lastScan = stream.size();
  while (!(stream[lastScan - 2] == 0xFF && stream[lastScan - 1] == 0xDA))
    --lastScan;
  stream.resize(lastScan - 2);
  const Decoded partial = Decode(Lossless, stream, LayoutOf(shape));
  EXPECT_FALSE(partial.ok);
  EXPECT_NE(partial.errors.find("before component 3"), std::string::npos) << partial.errors;
}

std::size_t FindMarker(const Bytes& stream, UBYTE marker) {
  for (std::size_t i = 0; i + 1 < stream.size(); ++i)
    if (stream[i] == 0xFF && stream[i + 1] == marker)
      return i;
  return stream.size();
}

std::size_t FindFrameHeader(const Bytes& stream) {
  return std::min(FindMarker(stream, 0xC1), FindMarker(stream, 0xC3));
}

// A damaged copy of a stream: refused with an error that says why (the set
// disagreeing with the stream is in the fixture test). Lossless or DCT: where
// the damage applies.
struct Damage {
  const char* what;
  std::function<void(Bytes& stream, qzmPixelLayout& layout)> apply;
  const char* error;
  int decoders;  // 1: lossless, 2: DCT, 3: both
};

const Damage Damages[] = {
    {"truncated in a header", [](Bytes& s, qzmPixelLayout&) { s.resize(FindMarker(s, 0xC4) + 9); }, "runs past", 3},
    {"no start marker", [](Bytes& s, qzmPixelLayout&) { s[1] = 0xD9; }, "start-of-image", 3},
    {"Huffman table with three more codes of one bit",  // as many symbols as before
     [](Bytes& s, qzmPixelLayout&) {
       const std::size_t counts = FindMarker(s, 0xC4) + 5;
       std::size_t length = 1;
       while (s[counts + length] < 3)
         ++length;
       s[counts + length] = UBYTE(s[counts + length] - 3);
       s[counts] = UBYTE(s[counts] + 3);
     },
     "more codes", 3},
    {"scan of an unknown component", [](Bytes& s, qzmPixelLayout&) { s[FindMarker(s, 0xDA) + 5] = 0x09; },
     "component 9", 3},
    {"no frame header", [](Bytes& s, qzmPixelLayout&) { s[FindFrameHeader(s) + 1] = 0xFE; }, "before the frame", 3},
    {"no restart marker", [](Bytes& s, qzmPixelLayout&) { s[FindMarker(s, 0xD0) + 1] = 0xD3; }, "restart marker 0", 1},
    // The test table codes sizes 0 to 16 in five bits: 11111 is no code.
    {"bad Huffman code", [](Bytes& s, qzmPixelLayout&) { std::fill_n(&s[FindMarker(s, 0xDA) + 20], 2, 0xFE); },
     "does not have", 1},
    {"precision of 17 bits", [](Bytes& s, qzmPixelLayout&) { s[FindFrameHeader(s) + 4] = 17; }, "precision of 17", 1},
    {"predictor 0", [](Bytes& s, qzmPixelLayout&) { s[FindMarker(s, 0xDA) + 7] = 0; }, "predictor 0", 1},
    {"a DCT frame", [](Bytes& s, qzmPixelLayout&) { s[FindFrameHeader(s) + 1] = 0xC1; }, "not lossless", 1},
    {"bad Huffman code", [](Bytes& s, qzmPixelLayout&) { std::fill_n(&s[FindMarker(s, 0xDA) + 30], 6, 0xFE); },
     "does not have", 2},
    {"no quantisation table", [](Bytes& s, qzmPixelLayout&) { s[FindMarker(s, 0xDB) + 1] = 0xFE; },
     "quantisation table 0", 2},
    {"a lossless frame", [](Bytes& s, qzmPixelLayout&) { s[FindFrameHeader(s) + 1] = 0xC3; }, "not sequential", 2},
};

void ExpectRefused(const qzmPixelDecoder& decoder, int kind, const Bytes& stream, const qzmPixelLayout& layout) {
  for (const Damage& damage : Damages) {
    if (!(damage.decoders & kind))
      continue;
    SCOPED_TRACE(damage.what);
    Bytes copy = stream;
    qzmPixelLayout changed = layout;
    damage.apply(copy, changed);
    const Decoded decoded = Decode(decoder, copy, changed);
    EXPECT_FALSE(decoded.ok);
    EXPECT_NE(decoded.errors.find(damage.error), std::string::npos) << decoded.errors;
  }
}

TEST(JpegLosslessStreams, RefuseDamagedStreams) {
  const Shape shape{64, 64, 1, 12, 1, 0, 64, true};
  ExpectRefused(Lossless, 1, EncodeLossless(shape, TestSamples(shape)), LayoutOf(shape));
}

TEST(JpegDctStreams, RefuseDamagedStreams) {
  if (!testsupport::HaveProgram("dcmcjpeg"))
    GTEST_SKIP() << "DCMTK is not installed";
  testsupport::TempDir dir;
  ASSERT_TRUE(MakeSamples(dir.path()));
  ASSERT_EQ(testsupport::Run("dcmcjpeg +ee ct.dcm ee.dcm", dir.path()).status, 0);
  FixtureFile fixture;
  ASSERT_TRUE(fixture.Read(dir.file("ee.dcm")));
  ExpectRefused(Extended12, 2, fixture.FrameStream(0), fixture.Layout());
}

// DCT streams with what dcmcjpeg does not write (restart intervals, one scan
// per component, other sampling factors, components named R, G, B), made by
// cjpeg from a PPM image and compared with djpeg's decoding. They are 8-bit:
// the decoder works the same way for both precisions.
TEST(JpegDctStreams, DecodeAsDjpegDoes) {
  if (!testsupport::HaveProgram("cjpeg") || !testsupport::HaveProgram("djpeg"))
    GTEST_SKIP() << "libjpeg-turbo-progs is not installed";
  testsupport::TempDir dir;
  Bytes colour{'P', '6', ' ', '4', '5', ' ', '3', '7', ' ', '2', '5', '5', '\n'};
  for (int y = 0; y < 37; ++y)
    for (int x = 0; x < 45; ++x)
      colour.insert(colour.end(), {UBYTE(x * 5 + y), UBYTE(y * 6), UBYTE(x * y)});
  testsupport::WriteBytes(dir.file("in.ppm"), colour);
  testsupport::WriteText(dir.file("scans.txt"), "0;\n1;\n2;\n");
  const struct {
    const char* options;
    const char* photometric;  // as the set would announce it
    int tolerance;
  } rows[] = {
      {"-grayscale -restart 2B", "MONOCHROME2", 1}, {"-restart 1", "YBR_FULL_422", 2},
      {"-restart 3B -sample 2x1,1x1,1x1", "YBR_FULL_422", 2}, {"-sample 4x1,1x1,1x1", "YBR_FULL", 2},
      {"-sample 1x1,1x1,1x1", "YBR_FULL", 2}, {"-scans scans.txt", "YBR_FULL", 2}, {"-rgb", "RGB", 1},
  };
  std::vector<std::string> commands;
  for (int k = 0; k < 7; ++k)
    commands.push_back("cjpeg " + std::string(rows[k].options) + " -outfile " + std::to_string(k) +
                       ".jpg in.ppm && djpeg -pnm -outfile " + std::to_string(k) + ".pnm " + std::to_string(k) + ".jpg");
  RunAll(dir.path(), "true", commands);
  for (int k = 0; k < 7; ++k) {
    SCOPED_TRACE(rows[k].options);
    const Bytes pnm = testsupport::ReadBytes(dir.file(std::to_string(k) + ".pnm"));
    qzmPixelLayout layout;
    layout.Rows = 37;
    layout.Columns = 45;
    layout.SamplesPerPixel = k == 0 ? 1 : 3;
    layout.BitsAllocated = layout.BitsStored = 8;
    layout.PhotometricInterpretation = rows[k].photometric;
    ASSERT_GE(pnm.size(), layout.FrameBytes());
    const Decoded decoded = Decode(Extended12, testsupport::ReadBytes(dir.file(std::to_string(k) + ".jpg")), layout);
    ASSERT_TRUE(decoded.ok) << decoded.errors;
    EXPECT_EQ(decoded.photometric, k == 0 ? "MONOCHROME2" : "RGB");
    EXPECT_LE(LargestDifference(decoded.out, Bytes(pnm.end() - long(layout.FrameBytes()), pnm.end()), layout),
              rows[k].tolerance);
  }
}

}  // namespace
