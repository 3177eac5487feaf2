// Encapsulated data written here: frames found through offset tables, counts
// or start markers, tables that do not fit ignored, sets whose fragments cannot
// hold their frames refused with one report; RLE planes most significant first,
// PackBits controls, every damaged segment refused and named.
#include <gtest/gtest.h>

#include "CodecFixtures.h"
#include "codecs/qzmFrameFragments.h"
#include "codecs/qzmRleDecoder.h"

namespace {

using namespace codecfixtures;
typedef std::vector<std::pair<ULONG, ULONG>> Spans;  // offset and length of each frame's items

const Bytes a{0xFF, 0xD8, 1, 2}, b{3, 4, 0xFF, 0xD9}, c{0xFF, 0xD8, 5, 6}, d{7, 8}, j2k{0xFF, 0x4F, 0xFF, 0x51};

TEST(FrameFragments, FramesFromTablesCountsAndMarkersOrOneRefusal) {
  // Items start at 8 + table length; each item is 8 + its content.
  Bytes pastEnd = Items({}, {d});  // an item of 9 bytes, 1 of them present
  pastEnd[12] = 9;
  pastEnd.resize(17);
  const struct {
    const char* name;
    Bytes data;
    ULONG frames;
    std::vector<unsigned long long> extended;
    Spans expected;      // empty: refused
    const char* report;  // the warning, or the error of a refusal
  } rows[] = {
      {"offset table, one fragment each", Items({0, 12, 24}, {a, b, c}), 3, {}, {{20, 12}, {32, 12}, {44, 12}}, ""},
      {"offset table, two fragments each", Items({0, 24}, {a, b, c, d}), 2, {}, {{16, 24}, {40, 22}}, ""},
      {"extended offset table", Items({}, {a, b, c, d}), 2, {0, 24}, {{8, 24}, {32, 22}}, ""},
      {"one fragment per frame", Items({}, {a, b, c}), 3, {}, {{8, 12}, {20, 12}, {32, 12}}, ""},
      {"JPEG start markers", Items({}, {a, b, c, d}), 2, {}, {{8, 24}, {32, 22}}, ""},
      {"JPEG 2000 start markers", Items({}, {j2k, d, j2k, d, d}), 2, {}, {{8, 22}, {30, 32}}, ""},
      {"a single frame takes every fragment", Items({}, {b, d, d}), 1, {}, {{8, 32}}, ""},
      {"offset inside an item", Items({0, 13}, {a, b, c, d}), 2, {}, {{16, 24}, {40, 22}}, "Basic Offset Table (2"},
      {"offset past the data", Items({0, 5000}, {a, b, c, d}), 2, {}, {{16, 24}, {40, 22}}, "Basic Offset Table (2"},
      {"first frame not first", Items({12, 24}, {a, b, c, d}), 2, {}, {{16, 24}, {40, 22}}, "Basic Offset Table (2"},
      {"two frames at one item", Items({0, 0}, {a, b, c, d}), 2, {}, {{16, 24}, {40, 22}}, "Basic Offset Table (2"},
      {"too few entries", Items({0}, {a, b, c, d}), 2, {}, {{12, 24}, {36, 22}}, "Basic Offset Table (1 entries) does"},
      {"extended too long", Items({}, {a, b, c, d}), 2, {0, 24, 36}, {{8, 24}, {32, 22}}, "Extended Offset Table (3"},
      {"1000 frames in 2 fragments", Items({}, {a, b}), 1000, {}, {}, "divided into 1000 frames (frame 3)!"},
      {"markers give fewer frames", Items({}, {a, b, d, d}), 3, {}, {}, "4 fragments of the Pixel Data can not be"},
      {"no fragment", Items({}, {}), 1, {}, {}, "the Pixel Data hold no fragment for frame 1!"},
      {"no item tag", Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9}, 1, {}, {}, "Item tag not found!"},
      {"item past the end", pastEnd, 1, {}, {}, "fragment item of 9 bytes runs past the end of the pixel data (0x8)!"},
      {"table past the end", Bytes{0xFE, 0xFF, 0, 0xE0, 0xFF, 0xFF, 0, 0, 0}, 1, {}, {}, "of 65535 bytes does not fit"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ReportCapture reports;
    qzmFrameFragments map;
    ULONG bytesRead = 0;
    const auto read = [&row, &bytesRead](ULONG offset, ULONG count) -> const UBYTE* {
      bytesRead += count;
      return offset > row.data.size() || count > row.data.size() - offset ? nullptr : row.data.data() + offset;
    };
    EXPECT_EQ(map.Locate(read, ULONG(row.data.size()), row.frames, row.extended), !row.expected.empty());
    Spans spans;
    for (ULONG k = 1; !row.expected.empty() && k <= map.FrameCount(); ++k)
      spans.push_back({map.Frame(k).Offset, map.Frame(k).Length});
    EXPECT_EQ(spans, row.expected);
    EXPECT_EQ(reports.ErrorCount(), row.expected.empty() ? 1u : 0u);
    const std::string reported = row.expected.empty() ? reports.Errors() : reports.Warnings();
    EXPECT_TRUE(reported.find(row.report) != std::string::npos && reported.empty() == !row.report[0]) << reported;
    // With a table, item headers only are read: no fragment's content.
    EXPECT_TRUE(row.name != std::string("offset table, one fragment each") || bytesRead == 8 + 12 + 4 * 8);
  }
}

// Decoded samples in host order (little endian here), or the report of the
// refusal; the damage lies in the second plane of a 16-bit frame, so that a
// decoder shifting planes would show it.
TEST(RleDecoder, DecodesPlanesAndRefusesDamagedSegments) {
  const Bytes high{0xFD, 1}, low{0x03, 1, 2, 3, 4}, sixteen{1, 7, 8, 9, 2, 7, 8, 9, 3, 7, 8, 9, 4, 7, 8, 9};
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
      {"32 bits", RleStream({{0xFD, 9}, {0xFD, 8}, {0xFD, 7}, low}), MakeLayout(2, 2, 1, 32), sixteen, ""},
      {"colour",
       RleStream({{0xFD, 5}, low, {0xFD, 6}}),
       MakeLayout(2, 2, 3, 8),
       {5, 1, 6, 5, 2, 6, 5, 3, 6, 5, 4, 6},
       ""},
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
