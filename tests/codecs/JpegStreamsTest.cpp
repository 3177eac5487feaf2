// The in-house JPEG lossless decoder on what dcmcjpeg never writes: streams
// written here with restart intervals, one scan per component, 16-bit
// differences, any precision; and damaged copies of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "CodecFixtures.h"
#include "codecs/qzmJpegHuffmanTable.h"
#include "codecs/qzmJpegLosslessDecoder.h"
#include "support/TestSupport.h"

namespace {

using namespace codecfixtures;

const qzmJpegLosslessDecoder Lossless;

struct Shape {
  int rows, columns, components, precision, predictor, pointTransform, restartInterval;
  bool interleaved;  // false: one scan per component
  qzmPixelLayout Layout() const { return MakeLayout(rows, columns, components, precision); }
};

// The frame header, one Huffman table coding every difference by the five
// bits of its size (0 to 16), the restart interval, then the scans: bits most
// significant first, a zero byte after each 0xFF, each ending padded with ones.
Bytes EncodeLossless(const Shape& shape, const std::vector<int>& samples) {
  Bytes out{0xFF, 0xD8}, frame{UBYTE(shape.precision),    UBYTE(shape.rows >> 8), UBYTE(shape.rows),
                               UBYTE(shape.columns >> 8), UBYTE(shape.columns),   UBYTE(shape.components)},
      table{0, 0, 0, 0, 0, 17};
  const auto segment = [&out](UBYTE marker, const Bytes& content) {
    out.insert(out.end(), {0xFF, marker, UBYTE((content.size() + 2) >> 8), UBYTE(content.size() + 2)});
    out.insert(out.end(), content.begin(), content.end());
  };
  for (int c = 0; c < shape.components; ++c)
    frame.insert(frame.end(), {UBYTE(c + 1), 0x11, 0x00});
  table.resize(17);
  for (int size = 0; size <= 16; ++size)
    table.push_back(UBYTE(size));
  segment(0xC3, frame);
  segment(0xC4, table);
  if (shape.restartInterval != 0)
    segment(0xDD, {UBYTE(shape.restartInterval >> 8), UBYTE(shape.restartInterval)});
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
  for (int scan = 0; scan < (shape.interleaved ? 1 : shape.components); ++scan) {
    const int first = shape.interleaved ? 0 : scan, last = shape.interleaved ? shape.components : scan + 1;
    Bytes header{UBYTE(last - first)};
    for (int c = first; c < last; ++c)
      header.insert(header.end(), {UBYTE(c + 1), 0});
    header.insert(header.end(), {UBYTE(shape.predictor), 0, UBYTE(shape.pointTransform)});
    segment(0xDA, header);
    for (int y = 0, unit = 0, marker = 0; y < shape.rows; ++y) {
      bool firstLine = y == 0, restart = y == 0;
      for (int x = 0; x < shape.columns; ++x, ++unit) {
        if (shape.restartInterval != 0 && unit != 0 && unit % shape.restartInterval == 0) {
          put(0xFF, (8 - bits) % 8);
          out.insert(out.end(), {0xFF, UBYTE(0xD0 + marker)});
          marker = (marker + 1) & 7;
          firstLine = restart = true;
        }
        for (int c = first; c < last; ++c) {
          const int a = at(y, x - 1, c), b = at(y - 1, x, c), d = at(y - 1, x - 1, c);
          const int predictions[] = {0, a, b, d, a + b - d, a + ((b - d) >> 1), b + ((a - d) >> 1), (a + b) >> 1};
          const int predicted = restart     ? 1 << (shape.precision - shape.pointTransform - 1)
                                : x == 0    ? b
                                : firstLine ? a
                                            : predictions[shape.predictor];
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
    SCOPED_TRACE("shape " + std::to_string(&shape - shapes));
    Bytes expected, stream = EncodeLossless(shape, TestSamples(shape, expected));
    stream.resize(stream.size() - 2);
    const Decoded decoded = Decode(Lossless, stream, shape.Layout());
    ASSERT_TRUE(decoded.ok) << decoded.errors;
    EXPECT_EQ(decoded.out, expected);
  }
  const Shape shape = shapes[9];
  Bytes samples, stream = EncodeLossless(shape, TestSamples(shape, samples));
  const Bytes scan{0xFF, 0xDA};
  stream.erase(std::find_end(stream.begin(), stream.end(), scan.begin(), scan.end()), stream.end());
  const Decoded partial = Decode(Lossless, stream, shape.Layout());
  EXPECT_FALSE(partial.ok);
  EXPECT_NE(partial.errors.find("before component 3"), std::string::npos) << partial.errors;
  UBYTE counts[16] = {0, 0, 0, 0, 0, 0, 0, 0, 255, 1}, symbols[300] = {};  // lengths allow them, 256 is the most
  EXPECT_TRUE(qzmJpegHuffmanTable().Build(counts, symbols));
  counts[9] = 2;
  EXPECT_FALSE(qzmJpegHuffmanTable().Build(counts, symbols));
  const Shape five{2, 2, 5, 8, 1, 0, 0, true};
  const Decoded fiveComponents = Decode(Lossless, EncodeLossless(five, TestSamples(five, samples)), five.Layout());
  EXPECT_NE(fiveComponents.errors.find("has 5 components (1 to 4 supported)"), std::string::npos);
  const Shape colour{64, 64, 3, 12, 1, 0, 64, true};
  ExpectJpegDamagesRefused(Lossless, 1, EncodeLossless(colour, TestSamples(colour, samples)), colour.Layout());
}

}  // namespace
