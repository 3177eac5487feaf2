// The frame loop of the medconv command, end to end: frame selections and
// their refusals, statistics and representation change.
#include "frame/FrameSets.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace framesets;
using testsupport::ReadBytes;
typedef std::vector<UBYTE> B;

namespace {

// An explicit little endian file of 2 x 2 frames, 16 bits with 12 stored;
// frame f holds the values given, else f in every pixel.
void WriteSeries(const std::string& name, UWORD frames, UWORD representation, std::vector<UWORD> values = {}) {
  for (UWORD f = 1; values.size() < 4u * frames; ++f)
    values.insert(values.end(), 4, f);
  qzmDicomDataElementSet set;
  WordSet(set, Layout{2, 2, 16, 12, 11, representation, 1, 0, frames}, values);
  set[Tag(0x0002, 0x0010)].UI() = "1.2.840.10008.1.2.1";
  ASSERT_TRUE(set.Save(qzcFileName(name)));
}

class FrameLoop : public ::testing::Test {
 protected:
  void SetUp() override { WriteSeries(folder.file("s.dcm"), 10, 0); }
  testsupport::RunResult Medconv(const std::string& arguments) {
    return testsupport::Run(std::string(MEDCONV_BINARY) + " " + arguments, folder.path());
  }
  testsupport::TempDir folder;
};

// The frames visited, as --rank prints them, and the refusals.
TEST_F(FrameLoop, Selections) {
  const struct {
    const char* selection;
    const char* visited;  // empty: refused
    const char* report;
  } rows[] = {
      {"--frame=1:10:4", "1 5 9 \n", ""},
      {"--frame=5:1", "5 4 3 2 1 \n", ""},
      {"--frame=all:2", "1 3 5 7 9 \n", ""},
      {"--frame=3:1", "3 2 1 \n", ""},  // backwards ranges go backwards
      {"", "1 2 3 4 5 6 7 8 9 10 \n", ""},
      {"--frame=10", "10 \n", ""},
      {"--frame=11", "", "wrong arguments to --frame! There is 10 frame(s) in the set!"},
      {"--frame=0:3", "", "wrong arguments to --frame!"},
      {"--frame=1:3:-1", "", "wrong arguments to --frame!"},
      {"--frame=all:0", "", "wrong arguments to --frame!"},
      {"--frame", "", "missing argument(s) to --frame!"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.selection);
    const testsupport::RunResult result = Medconv(std::string("-r0 --rank ") + row.selection + " s.dcm");
    EXPECT_EQ(result.status, *row.visited ? 0 : 1);
    EXPECT_HAS(result.out, row.visited);
    EXPECT_HAS(result.err, row.report);
  }
  // Frame 10's file holds frame 10's samples only; the whole set gives one
  // output of every frame.
  EXPECT_EQ(ReadBytes(folder.file("s.dcm-010.raw")), (B{10, 0, 10, 0, 10, 0, 10, 0}));
  ASSERT_EQ(Medconv("-r2 -d --frame=whole s.dcm").status, 0);
  EXPECT_EQ(ReadBytes(folder.file("s.dcm.raw")).size(), 80u);
  qzmDicomDataElementSet back;
  ASSERT_TRUE(back.Load(qzcFileName(folder.file("s.dcm.dcm"))));
  EXPECT_EQ(back[Tag(0x0028, 0x0008)].IS(), "10");
  EXPECT_HAS(Medconv("-r3 s.dcm").err, "wrong parameters for -r!");
  EXPECT_HAS(Medconv("-r0 --win=40:400:-1024 s.dcm").err, "missing arguments to --win!");
}

TEST_F(FrameLoop, StatisticsAndRepresentation) {
  // Unsigned frames keep their representation, silently.
  testsupport::RunResult result = Medconv("--changepr=bin -r0 --frame=2 s.dcm");
  EXPECT_EQ(result.out.find("Pixel Representation"), std::string::npos) << result.out;
  EXPECT_EQ(ReadBytes(folder.file("s.dcm-002.raw")), (B{2, 0, 2, 0, 2, 0, 2, 0}));
  // Signed 12-bit samples -2048, -1, 0, 2047. Statistics read signed
  // numbers; the RAW writer gives the stored bits.
  WriteSeries(folder.file("signed.dcm"), 1, 1, {0x800, 0xFFF, 0, 0x7FF});
  result = Medconv("--get=max:mean:foo signed.dcm");
  EXPECT_HAS(result.out, "[max: 2047] [mean: -0.5] ");
  EXPECT_HAS(result.out, "wrong argument foo to --get!");
  EXPECT_EQ(result.out.find("You might consider --changepr"), std::string::npos) << result.out;
  EXPECT_HAS(Medconv("-r0 signed.dcm").out, "You might consider --changepr");
  // "bin" shifts by 2048; "min", the default, by minus the minimum -2048.
  for (const char* mode : {"--changepr=bin", "--changepr"}) {
    ASSERT_EQ(Medconv(std::string(mode) + " -r0 signed.dcm").status, 0);
    EXPECT_EQ(ReadBytes(folder.file("signed.dcm.raw")), (B{0x00, 0x00, 0xFF, 0x07, 0x00, 0x08, 0xFF, 0x0F})) << mode;
  }
  // Statistics after the change are those of the shifted samples, although
  // the "min" offset took them before.
  EXPECT_HAS(Medconv("--changepr --get=min:max signed.dcm").out, "[min: 0] [max: 4095] ");
  EXPECT_HAS(Medconv("--changepr=xyz -r0 signed.dcm").err, "wrong argument xyz to --changepr!");
}

}  // namespace
