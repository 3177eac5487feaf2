// Frames found in encapsulated Pixel Data: through the Basic or Extended
// Offset Table, one fragment per frame, start markers, a single frame; and
// sets whose fragments cannot hold their frames, refused with one report.
#include "codecs/qzmFrameFragments.h"
#include "frame/FrameSets.h"
#include "lib/ReportCapture.h"

#include <gtest/gtest.h>

using namespace framesets;

namespace {

typedef std::vector<UBYTE> Bytes;
typedef std::vector<std::pair<ULONG, ULONG>> Spans;  // offset, length of each frame's items

// Locates frames in data; the spans, or nothing when refused. Counts the
// bytes read, to show that contents are not read when tables suffice.
struct Located {
  bool ok = false;
  Spans spans;
  ULONG bytesRead = 0;
  std::string errors, warnings;
  unsigned errorCount = 0;
};

Located Locate(const Bytes& data, ULONG frames, const std::vector<unsigned long long>& extended = {}) {
  ReportCapture reports;
  Located result;
  qzmFrameFragments map;
  const auto read = [&data, &result](ULONG offset, ULONG count) -> const UBYTE* {
    if (offset > data.size() || count > data.size() - offset)
      return nullptr;
    result.bytesRead += count;
    return data.data() + offset;
  };
  // The sequence delimitation is not part of the element's items.
  result.ok = map.Locate(read, ULONG(data.size()), frames, extended);
  for (ULONG k = 1; result.ok && k <= map.FrameCount(); ++k)
    result.spans.push_back({map.Frame(k).Offset, map.Frame(k).Length});
  result.errors = reports.Errors();
  result.warnings = reports.Warnings();
  result.errorCount = reports.ErrorCount();
  return result;
}

const Bytes a{0xFF, 0xD8, 1, 2}, b{3, 4, 0xFF, 0xD9}, c{0xFF, 0xD8, 5, 6}, d{7, 8};

TEST(FrameFragments, FramesFromTablesCountsAndMarkers) {
  // Items start at 8 + table length; each item is 8 + its content.
  const struct {
    const char* name;
    Bytes data;
    ULONG frames;
    std::vector<unsigned long long> extended;
    Spans expected;
  } rows[] = {
      {"offset table, one fragment each", Encapsulated({0, 12, 24}, {a, b, c}), 3, {}, {{20, 12}, {32, 12}, {44, 12}}},
      {"offset table, two fragments each", Encapsulated({0, 24}, {a, b, c, d}), 2, {}, {{16, 24}, {40, 22}}},
      {"extended offset table", Encapsulated({}, {a, b, c, d}), 2, {0, 24}, {{8, 24}, {32, 22}}},
      {"one fragment per frame", Encapsulated({}, {a, b, c}), 3, {}, {{8, 12}, {20, 12}, {32, 12}}},
      {"JPEG start markers", Encapsulated({}, {a, b, c, d}), 2, {}, {{8, 24}, {32, 22}}},
      {"JPEG 2000 start markers",
       Encapsulated({}, {{0xFF, 0x4F, 0xFF, 0x51}, d, {0xFF, 0x4F, 0xFF, 0x51}, d, d}),
       2,
       {},
       {{8, 22}, {30, 32}}},
      {"a single frame takes every fragment", Encapsulated({}, {b, d, d}), 1, {}, {{8, 32}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const Located located = Locate(row.data, row.frames, row.extended);
    ASSERT_TRUE(located.ok) << located.errors;
    EXPECT_EQ(located.spans, row.expected);
    EXPECT_EQ(located.warnings, "");
  }
  // With a table, no fragment content is read: headers and table only.
  EXPECT_EQ(Locate(Encapsulated({0, 12, 24}, {a, b, c}), 3).bytesRead, 8u + 12u + 4 * 8u);
}

TEST(FrameFragments, TablesThatDoNotFitAreIgnored) {
  const struct {
    const char* name;
    std::vector<ULONG> table;
    std::vector<unsigned long long> extended;
    const char* warning;
  } rows[] = {
      {"offset inside an item", {0, 13}, {}, "the Basic Offset Table (2 entries) does not describe the 2 frames"},
      {"offset past the data", {0, 5000}, {}, "the Basic Offset Table (2 entries)"},
      {"first frame not at the first item", {12, 24}, {}, "the Basic Offset Table (2 entries)"},
      {"two frames at one item", {0, 0}, {}, "the Basic Offset Table (2 entries)"},
      {"too few entries", {0}, {}, "the Basic Offset Table (1 entries)"},
      {"extended table too long", {}, {0, 24, 36}, "the Extended Offset Table (3 entries)"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    // The start markers still find the two frames.
    const Located located = Locate(Encapsulated(row.table, {a, b, c, d}), 2, row.extended);
    ASSERT_TRUE(located.ok) << located.errors;
    EXPECT_EQ(located.spans.size(), 2u);
    EXPECT_NE(located.warnings.find(row.warning), std::string::npos) << located.warnings;
  }
}

// Sets that announce more frames than their fragments hold are refused
// once, however many frames are missing.
TEST(FrameFragments, FramesTheFragmentsCannotHoldAreRefusedOnce) {
  const struct {
    const char* name;
    Bytes data;
    ULONG frames;
    const char* report;
  } rows[] = {
      {"a thousand frames in two fragments", Encapsulated({}, {a, b}), 1000,
       "the 2 fragments of the Pixel Data can not be divided into 1000 frames (frame 3)!"},
      {"65535 frames in one fragment", Encapsulated({}, {a}), 65535,
       "the 1 fragments of the Pixel Data can not be divided into 65535 frames (frame 2)!"},
      {"markers give fewer frames", Encapsulated({}, {a, b, d, d}), 3,
       "the 4 fragments of the Pixel Data can not be divided into 3 frames (frame 2)!"},
      {"no fragment", Encapsulated({}, {}), 1, "the Pixel Data hold no fragment for frame 1!"},
      {"no item tag", Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9}, 1, "Item tag not found!"},
      {"item past the end", Bytes{0xFE, 0xFF, 0x00, 0xE0, 0, 0, 0, 0, 0xFE, 0xFF, 0x00, 0xE0, 9, 0, 0, 0, 1}, 1,
       "fragment item of 9 bytes runs past the end of the pixel data (0x8)!"},
      {"table past the end", Bytes{0xFE, 0xFF, 0x00, 0xE0, 0xFF, 0xFF, 0, 0, 0}, 1,
       "Basic Offset Table of 65535 bytes does not fit"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const Located located = Locate(row.data, row.frames);
    EXPECT_FALSE(located.ok);
    EXPECT_EQ(located.errorCount, 1u);
    EXPECT_NE(located.errors.find(row.report), std::string::npos) << located.errors;
  }
}

}  // namespace
