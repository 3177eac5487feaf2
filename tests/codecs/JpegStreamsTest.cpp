// The in-house JPEG decoders (lossless, and DCT of 12-bit precision) on what
// dcmcjpeg never writes: lossless streams written here (restart intervals, one
// scan per component, 16-bit differences, any precision), DCT streams by
// libjpeg-turbo's cjpeg compared with its djpeg; and damaged copies of both.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

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

void Segment(Bytes& out, UBYTE marker, const Bytes& content) {
  out.insert(out.end(), {0xFF, marker, UBYTE((content.size() + 2) >> 8), UBYTE(content.size() + 2)});
  out.insert(out.end(), content.begin(), content.end());
}

// One scan of some components; each difference has the five-bit code of its
// size (the table of EncodeLossless), bits most significant first, a zero
// byte after each 0xFF, the last byte padded with ones.
void EncodeScan(const Shape& shape, const std::vector<int>& samples, const std::vector<int>& components, Bytes& out) {
  Bytes header{UBYTE(components.size())};
  for (int c : components)
    header.insert(header.end(), {UBYTE(c + 1), 0});
  header.insert(header.end(), {UBYTE(shape.predictor), 0, UBYTE(shape.pointTransform)});
  Segment(out, 0xDA, header);
  unsigned byte = 0, bits = 0;
  const auto put = [&](unsigned value, int count) {
    for (int i = count - 1; i >= 0; --i) {
      byte = byte << 1 | (value >> i & 1);
      if (++bits < 8)
        continue;
      out.push_back(UBYTE(byte));
      if (byte == 0xFF)
        out.push_back(0);
      byte = bits = 0;
    }
  };
  const auto at = [&](int y, int x, int c) {
    const std::size_t k = (std::size_t(y) * shape.columns + x) * shape.components + c;
    return x < 0 || y < 0 ? 0 : samples[k] >> shape.pointTransform;
  };
  for (int y = 0, unit = 0, marker = 0; y < shape.rows; ++y) {
    bool firstLine = y == 0, restart = y == 0;
    for (int x = 0; x < shape.columns; ++x, ++unit) {
      if (shape.restartInterval != 0 && unit != 0 && unit % shape.restartInterval == 0) {
        put(0xFF, (8 - bits) % 8);
        out.insert(out.end(), {0xFF, UBYTE(0xD0 + marker)});
        marker = (marker + 1) & 7;
        firstLine = restart = true;
      }
      for (int c : components) {
        const int a = at(y, x - 1, c), b = at(y - 1, x, c), d = at(y - 1, x - 1, c);
        const int predictions[] = {0, a, b, d, a + b - d, a + ((b - d) >> 1), b + ((a - d) >> 1), (a + b) >> 1};
        const int predicted = restart ? 1 << (shape.precision - shape.pointTransform - 1)
                              : x == 0 ? b : firstLine ? a : predictions[shape.predictor];
        const int difference = ((at(y, x, c) - predicted + 32767) & 0xFFFF) - 32767;  // modulo 2^16
        int size = 0;
        while (std::abs(difference) >> size)
          ++size;
        put(unsigned(size), 5);
        if (size > 0 && size < 16)
          put(unsigned(difference < 0 ? difference + (1 << size) - 1 : difference), size);
      }
      restart = false;
    }
  }
  put(0xFF, (8 - bits) % 8);
}

Bytes EncodeLossless(const Shape& shape, const std::vector<int>& samples) {
  Bytes out{0xFF, 0xD8}, frame{UBYTE(shape.precision), UBYTE(shape.rows >> 8),    UBYTE(shape.rows),
                               UBYTE(shape.columns >> 8), UBYTE(shape.columns), UBYTE(shape.components)};
  std::vector<int> all;
  for (int c = 0; c < shape.components; ++c) {
    frame.insert(frame.end(), {UBYTE(c + 1), 0x11, 0x00});
    all.push_back(c);
  }
  Segment(out, 0xC3, frame);
  Bytes table(17, 0);
  table[5] = 17;  // seventeen codes of five bits: the sizes 0 to 16
  for (int size = 0; size <= 16; ++size)
    table.push_back(UBYTE(size));
  Segment(out, 0xC4, table);
  if (shape.restartInterval != 0)
    Segment(out, 0xDD, {UBYTE(shape.restartInterval >> 8), UBYTE(shape.restartInterval)});
  for (int c = 0; c < (shape.interleaved ? 1 : shape.components); ++c)
    EncodeScan(shape, samples, shape.interleaved ? all : std::vector<int>{c}, out);
  out.insert(out.end(), {0xFF, 0xD9});
  return out;
}

// A smooth ramp with noise; for 16-bit samples a column of jumps by half the
// range (16-bit differences). Returned as samples and as decoded bytes.
std::vector<int> TestSamples(const Shape& shape, Bytes& bytes) {
  std::vector<int> samples;
  unsigned noise = 12345;
  for (int y = 0; y < shape.rows; ++y)
    for (int x = 0; x < shape.columns * shape.components; ++x) {
      noise = noise * 1103515245u + 12345u;
      int value = (x / shape.components * 37 + y * 11 + x % shape.components * 500 + int(noise >> 16) % 64) &
                  ((1 << shape.precision) - 1);
      if (shape.precision == 16 && x / shape.components % 5 == 3)
        value = samples[samples.size() - std::size_t(shape.components)] ^ 0x8000;
      samples.push_back(value);
      const int kept = value >> shape.pointTransform << shape.pointTransform;
      bytes.push_back(UBYTE(kept));
      if (shape.precision > 8)
        bytes.push_back(UBYTE(kept >> 8));
    }
  return samples;
}

qzmPixelLayout LayoutOf(const Shape& shape) {
  return MakeLayout(shape.rows, shape.columns, shape.components, shape.precision);
}

// A damaged copy of a stream, refused with an error that says why (the set
// disagreeing with the stream is in the fixture test): at a marker's offset,
// bytes set to a value (or the stream cut there, value -1). Marker 0: the
// frame header, lossless or DCT.
struct Damage {
  const char* what;
  UBYTE marker;
  std::size_t offset, count;
  int value;
  const char* error;
  int decoders;  // 1: lossless, 2: DCT, 3: both
};

const Damage Damages[] = {
    {"truncated in a header", 0xC4, 9, 0, -1, "runs past", 3},
    {"no start marker", 0xD8, 1, 1, 0xD9, "start-of-image", 3},
    {"scan of an unknown component", 0xDA, 5, 1, 0x09, "component 9", 3},
    {"three codes of one bit more, as many symbols", 0xC4, 5, 1, 3, "more codes", 1},  // and 14 of five bits
    {"subsampled colour", 0, 11, 1, 0x21, "subsampled components", 1},
    {"no restart marker", 0xD0, 1, 1, 0xD3, "restart marker 0", 1},
    // The test table codes sizes 0 to 16 in five bits: 11111 is no code.
    {"bad Huffman code", 0xDA, 20, 2, 0xFE, "does not have", 1},
    {"precision of 17 bits", 0, 4, 1, 17, "precision of 17", 1},
    {"predictor 0", 0xDA, 11, 1, 0, "predictor 0", 1},
    {"a DCT frame", 0, 1, 1, 0xC1, "not lossless", 1},
    {"bad Huffman code", 0xDA, 30, 6, 0xFE, "does not have", 2},
    {"no quantisation table", 0xDB, 1, 1, 0xFE, "quantisation table 0", 2},
    {"a lossless frame", 0, 1, 1, 0xC3, "not sequential", 2},
    {"no frame header", 0, 1, 1, 0xFE, "before the frame", 3},
};

void ExpectRefused(const qzmPixelDecoder& decoder, int kind, const Bytes& stream, const qzmPixelLayout& layout) {
  for (const Damage& damage : Damages) {
    if (!(damage.decoders & kind))
      continue;
    Bytes copy = stream;
    std::size_t at = 0;
    while (at + 2 < copy.size() &&
           !(copy[at] == 0xFF && (damage.marker ? copy[at + 1] == damage.marker : (copy[at + 1] & 0xFC) == 0xC0)))
      ++at;
    at += damage.offset;
    if (damage.value < 0)
      copy.resize(at);
    else
      std::fill_n(copy.begin() + long(at), damage.count, UBYTE(damage.value));
    if (damage.value == 3 && damage.marker == 0xC4)
      copy[at + 4] = 14;
    const Decoded decoded = Decode(decoder, copy, layout);
    EXPECT_FALSE(decoded.ok) << damage.what;
    EXPECT_NE(decoded.errors.find(damage.error), std::string::npos) << damage.what << ": " << decoded.errors;
  }
}

// Complete data without the end-of-image marker decode too; a stream that
// ends before its last scan does not; damaged streams are refused.
TEST(JpegLosslessStreams, DecodeToTheEncodedSamples) {
  const Shape shapes[] = {
      {9, 13, 1, 2, 1, 0, 0, true},     {17, 10, 1, 5, 5, 0, 0, true},   {12, 10, 3, 8, 4, 0, 7, true},
      {11, 16, 3, 12, 7, 0, 16, false}, {10, 21, 1, 16, 1, 0, 42, true}, {8, 9, 1, 16, 6, 2, 0, true},
      {4, 5, 1, 16, 1, 0, 1, true},     {6, 7, 2, 16, 2, 5, 0, true},    {7, 1, 1, 12, 3, 0, 0, true},
      {6, 8, 3, 8, 1, 0, 0, false},
  };
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(testing::Message() << shape.precision << "-bit, " << shape.components << " components, predictor "
                                    << shape.predictor << ", interval " << shape.restartInterval);
    Bytes expected, stream = EncodeLossless(shape, TestSamples(shape, expected));
    stream.resize(stream.size() - 2);
    const Decoded decoded = Decode(Lossless, stream, LayoutOf(shape));
    ASSERT_TRUE(decoded.ok) << decoded.errors;
    EXPECT_EQ(decoded.out, expected);
  }
  const Shape shape = shapes[9];
  Bytes samples, stream = EncodeLossless(shape, TestSamples(shape, samples));
  std::size_t lastScan = stream.size();
  while (!(stream[lastScan - 2] == 0xFF && stream[lastScan - 1] == 0xDA))
    --lastScan;
  stream.resize(lastScan - 2);
  const Decoded partial = Decode(Lossless, stream, LayoutOf(shape));
  EXPECT_FALSE(partial.ok);
  EXPECT_NE(partial.errors.find("before component 3"), std::string::npos) << partial.errors;
  const Shape colour{64, 64, 3, 12, 1, 0, 64, true};
  ExpectRefused(Lossless, 1, EncodeLossless(colour, TestSamples(colour, samples)), LayoutOf(colour));
}

// DCT streams with what dcmcjpeg does not write (restart intervals, one scan
// per component, other sampling factors, components named R, G, B), made by
// cjpeg and compared with djpeg's decoding (8-bit: the decoder works the same
// way for both precisions); damaged copies refused.
TEST(JpegStreams, DctStreamsDecodeAsDjpegDoes) {
  if (!testsupport::HaveProgram("cjpeg") || !testsupport::HaveProgram("djpeg"))
    GTEST_SKIP() << "libjpeg-turbo-progs is not installed";
  testsupport::TempDir dir;
  Bytes colour{'P', '6', ' ', '4', '5', ' ', '3', '7', ' ', '2', '5', '5', '\n'};
  for (int y = 0; y < 37; ++y)
    for (int x = 0; x < 45; ++x)
      colour.insert(colour.end(), {UBYTE(x * 5 + y), UBYTE(y * 6), UBYTE(x * y)});
  testsupport::WriteBytes(dir.file("in.ppm"), colour);
  testsupport::WriteText(dir.file("scans.txt"), "0;\n1;\n2;\n");
  // 4:2:0 with a restart interval of a row of units; one scan per component
  // with an interval of 3 blocks; grey; R, G and B untransformed.
  const char* const options[] = {"-restart 1", "-scans scans.txt -restart 3B -sample 2x1,1x1,1x1", "-grayscale",
                                 "-rgb"};
  const char* const photometric[] = {"YBR_FULL_422", "YBR_FULL_422", "MONOCHROME2", "RGB"};
  std::vector<std::string> commands;
  for (const char* option : options) {
    const std::string k = std::to_string(commands.size());
    commands.push_back("cjpeg " + std::string(option) + " -outfile " + k + ".jpg in.ppm && djpeg -outfile " + k +
                       ".pnm " + k + ".jpg");
  }
  RunAll(dir.path(), "true", commands);
  for (int k = 0; k < 4; ++k) {
    SCOPED_TRACE(options[k]);
    const Bytes pnm = testsupport::ReadBytes(dir.file(std::to_string(k) + ".pnm"));
    qzmPixelLayout layout = MakeLayout(37, 45, k == 2 ? 1 : 3, 8);
    layout.PhotometricInterpretation = photometric[k];
    ASSERT_GE(pnm.size(), layout.FrameBytes());
    const Decoded decoded = Decode(Extended12, testsupport::ReadBytes(dir.file(std::to_string(k) + ".jpg")), layout);
    ASSERT_TRUE(decoded.ok) << decoded.errors;
    EXPECT_EQ(decoded.photometric, k == 2 ? "MONOCHROME2" : "RGB");
    // A difference of 1 in a chroma sample becomes up to 1.8 in red or blue.
    EXPECT_LE(LargestDifference(decoded.out, Bytes(pnm.end() - long(layout.FrameBytes()), pnm.end()), layout),
              k < 2 ? 2 : 1);
    if (k == 0)
      ExpectRefused(Extended12, 2, testsupport::ReadBytes(dir.file("0.jpg")), layout);
  }
}

}  // namespace
