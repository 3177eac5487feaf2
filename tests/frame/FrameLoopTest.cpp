// The frame loop of the medconv command, end to end: frame selections and
// their refusals, statistics, representation change, accumulation across
// files, RAW input.
#include "frame/FrameSets.h"
#include "lib/ReportCapture.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace framesets;
using testsupport::FileExists;
using testsupport::Run;
using testsupport::RunResult;
using testsupport::TempDir;

namespace {

// Writes an explicit little endian file of frames 2 x 2 frames, 16 bits
// with 12 stored; pixel k of frame f holds values(f, k).
template <typename Values>
void WriteSeries(const std::string& name, UWORD frames, UWORD representation, Values values) {
  std::vector<UWORD> words;
  for (UWORD f = 1; f <= frames; ++f)
    for (UWORD k = 0; k < 4; ++k)
      words.push_back(values(f, k));
  qzmDicomDataElementSet set;
  WordSet(set, Layout{2, 2, 16, 12, 11, representation, 1, 0, frames}, words);
  set[Tag(0x0002, 0x0010)].UI() = "1.2.840.10008.1.2.1";
  ASSERT_TRUE(set.Save(qzcFileName(name)));
}

UWORD FrameNumber(UWORD f, UWORD) {
  return f;
}

RunResult Medconv(const std::string& arguments, const TempDir& folder) {
  return Run(std::string(MEDCONV_BINARY) + " " + arguments, folder.path());
}

// The frames for which a RAW file was written.
std::vector<int> WrittenFrames(const TempDir& folder, int count) {
  std::vector<int> written;
  for (int f = 1; f <= count; ++f) {
    char name[32];
    std::snprintf(name, sizeof name, "s.dcm-%03d.raw", f);
    if (FileExists(folder.file(name)))
      written.push_back(f);
  }
  return written;
}

class FrameLoop : public ::testing::Test {
 protected:
  ReportCapture reports;
  void SetUp() override { WriteSeries(folder.file("s.dcm"), 10, 0, FrameNumber); }
  std::vector<int> Select(const std::string& selection) {
    TempDir out;
    const RunResult result = Medconv("-r0 --to=" + out.path() + " " + selection + " s.dcm", folder);
    EXPECT_EQ(result.status, 0) << result.err;
    return WrittenFrames(out, 10);
  }
  TempDir folder;
};

TEST_F(FrameLoop, Selections) {
  EXPECT_EQ(Select("--frame=1:10:4"), (std::vector<int>{1, 5, 9}));
  EXPECT_EQ(Select("--frame=5:1"), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(Select("--frame=all:2"), (std::vector<int>{1, 3, 5, 7, 9}));
  EXPECT_EQ(Select("--frame=7"), (std::vector<int>{7}));
  // Backwards ranges visit their frames in that order.
  const RunResult ranks = Medconv("-r0 --rank --frame=3:1 s.dcm", folder);
  EXPECT_HAS(ranks.out, "3 2 1 ");
  EXPECT_EQ(Select(""), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  // Frame 7's file holds frame 7's samples only.
  TempDir out;
  ASSERT_EQ(Medconv("-r0 --frame=7 --to=" + out.path() + " s.dcm", folder).status, 0);
  EXPECT_EQ(testsupport::ReadBytes(out.file("s.dcm-007.raw")), (std::vector<UBYTE>{7, 0, 7, 0, 7, 0, 7, 0}));
}

TEST_F(FrameLoop, RefusedSelections) {
  for (const char* selection : {"--frame=11", "--frame=0:3", "--frame=1:3:-1", "--frame=all:0", "--frame"}) {
    TempDir out;
    const RunResult result = Medconv("-r0 --to=" + out.path() + " " + selection + " s.dcm", folder);
    EXPECT_EQ(result.status, 1);
    EXPECT_HAS(result.err, "while processing file s.dcm!") << selection;
    EXPECT_TRUE(WrittenFrames(out, 10).empty()) << selection;
  }
  EXPECT_HAS(Medconv("-r0 --frame=11 s.dcm", folder).err,
             "wrong arguments to --frame! There is 10 frame(s) in the set!");
  EXPECT_HAS(Medconv("-r0 --frame s.dcm", folder).err, "missing argument(s) to --frame!");
  EXPECT_HAS(Medconv("-r3 s.dcm", folder).err, "wrong parameters for -r!");
  EXPECT_HAS(Medconv("-r0 --win=40:400:-1024 s.dcm", folder).err, "missing arguments to --win!");
}

TEST_F(FrameLoop, WholeSetOutputs) {
  ASSERT_EQ(Medconv("-r2 -d --frame=whole s.dcm", folder).status, 0);
  EXPECT_EQ(testsupport::ReadBytes(folder.file("s.dcm.raw")).size(), 80u);
  qzmDicomDataElementSet back;
  ASSERT_TRUE(back.Load(qzcFileName(folder.file("s.dcm.dcm"))));
  EXPECT_EQ(back[Tag(0x0028, 0x0008)].IS(), "10");
}

TEST_F(FrameLoop, UnsignedFramesKeepTheirRepresentation) {
  const RunResult result = Medconv("--changepr=bin -r0 --frame=2 s.dcm", folder);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out.find("Pixel Representation"), std::string::npos) << result.out;
  EXPECT_EQ(testsupport::ReadBytes(folder.file("s.dcm-002.raw")), (std::vector<UBYTE>{2, 0, 2, 0, 2, 0, 2, 0}));
}

TEST_F(FrameLoop, StatisticsAndRepresentation) {
  // Signed 12-bit samples -2048, -1, 0, 2047 in every frame.
  WriteSeries(folder.file("signed.dcm"), 1, 1, [](UWORD, UWORD k) {
    const UWORD values[] = {0x800, 0xFFF, 0, 0x7FF};
    return values[k];
  });
  RunResult result = Medconv("--get=max:mean:foo signed.dcm", folder);
  EXPECT_HAS(result.out, "[max: 2047] [mean: -0.5] ");
  EXPECT_HAS(result.out, "wrong argument foo to --get!");
  // Statistics read signed numbers; the RAW writer gives the stored bits.
  EXPECT_EQ(result.out.find("You might consider --changepr"), std::string::npos) << result.out;
  EXPECT_HAS(Medconv("-r0 signed.dcm", folder).out, "You might consider --changepr");

  // "bin" shifts by 2048; "min", the default, by minus the minimum -2048.
  for (const char* mode : {"--changepr=bin", "--changepr"}) {
    result = Medconv(std::string(mode) + " -r0 signed.dcm", folder);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(testsupport::ReadBytes(folder.file("signed.dcm.raw")),
              (std::vector<UBYTE>{0x00, 0x00, 0xFF, 0x07, 0x00, 0x08, 0xFF, 0x0F}))
        << mode;
  }
  // Statistics after the change are those of the shifted samples, although
  // the "min" offset took them before.
  result = Medconv("--changepr --get=min:max signed.dcm", folder);
  EXPECT_HAS(result.out, "[min: 0] [max: 4095] ");
  EXPECT_HAS(Medconv("--changepr=xyz -r0 signed.dcm", folder).err, "wrong argument xyz to --changepr!");
}

TEST_F(FrameLoop, AccumulationAcrossFiles) {
  WriteSeries(folder.file("a.dcm"), 1, 0, [](UWORD, UWORD k) { return UWORD(k * 10); });
  WriteSeries(folder.file("b.dcm"), 1, 0, [](UWORD, UWORD k) { return UWORD(35 - k * 10); });
  TempDir out;
  const RunResult result = Medconv("--acc=max --to=" + out.path() + " a.dcm b.dcm", folder);
  EXPECT_EQ(result.status, 0) << result.err;
  qzmDicomDataElementSet back;
  ASSERT_TRUE(back.Load(qzcFileName(out.file("acc-max.dcm"))));
  const UWORD* words = back[Tag(0x7FE0, 0x0010)].OW().GetMemoryLocation();
  ASSERT_NE(words, nullptr);
  EXPECT_EQ(std::vector<UWORD>(words, words + 4), (std::vector<UWORD>{35, 25, 20, 30}));
  EXPECT_EQ(back[Tag(0x0028, 0x0101)].US(), 12);
}

TEST_F(FrameLoop, RawInput) {
  std::vector<UBYTE> bytes;
  for (size_t k = 0; k < 300; ++k)
    bytes.push_back(UBYTE(k % 200));
  testsupport::WriteBytes(folder.file("x.raw"), bytes);
  RunResult result = Medconv("--size=30:10 --get=max -d x.raw", folder);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_HAS(result.out, "[max: 199]");
  qzmDicomDataElementSet back;
  ASSERT_TRUE(back.Load(qzcFileName(folder.file("x.raw.dcm"))));
  EXPECT_EQ(back[Tag(0x0028, 0x0011)].US(), 30);
  result = Medconv("-r0 x.raw", folder);
  EXPECT_HAS(result.err, "missing size information (use --size)!");
}

}  // namespace
