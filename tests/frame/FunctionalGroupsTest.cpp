// Enhanced multi-frame images: spacing, window and rescale of each frame
// from its per-frame functional groups, else the shared ones, else the top
// level.
#include "frame/FrameSets.h"
#include "lib/ReportCapture.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <memory>

using namespace framesets;

namespace {

typedef qzmDicomDataElementSet Set;

const Tag SharedGroups(0x5200, 0x9229), PerFrameGroups(0x5200, 0x9230), PixelMeasures(0x0028, 0x9110),
    FrameVoiLut(0x0028, 0x9132), PixelValueTransformation(0x0028, 0x9145);

Set& NewItem(Set& parent, const Tag& sequence) {
  auto& items = parent[sequence].SQ();
  items.push_back(std::make_unique<Set>());
  return *items.back();
}

// A functional groups item with the macros of the texts given (empty: left out).
void AddGroups(Set& groups, const std::string& spacing, const std::string& centre, const std::string& width,
               const std::string& intercept, const std::string& slope) {
  if (!spacing.empty()) {
    Set& measures = NewItem(groups, PixelMeasures);
    measures[Tag(0x0028, 0x0030)].DS() = spacing;
    measures[Tag(0x0018, 0x0050)].DS() = "3";
  }
  if (!centre.empty()) {
    Set& voi = NewItem(groups, FrameVoiLut);
    voi[Tag(0x0028, 0x1050)].DS() = centre;
    voi[Tag(0x0028, 0x1051)].DS() = width;
  }
  if (!intercept.empty()) {
    Set& transformation = NewItem(groups, PixelValueTransformation);
    transformation[Tag(0x0028, 0x1052)].DS() = intercept;
    transformation[Tag(0x0028, 0x1053)].DS() = slope;
  }
}

class FunctionalGroups : public ::testing::Test {
 protected:
  ReportCapture reports;
  Set set;

  void SetUp() override {
    Layout layout;
    layout.frames = 3;
    layout.allocated = layout.stored = 16;
    layout.high = 15;
    WordSet(set, layout, std::vector<UWORD>(12, 100));
    // Top level: a window and spacing the groups override.
    set[Tag(0x0028, 0x1050)].DS() = "1";
    set[Tag(0x0028, 0x1051)].DS() = "2";
    set[Tag(0x0028, 0x1052)].DS() = "0";
    set[Tag(0x0028, 0x1053)].DS() = "1";
    set[Tag(0x0028, 0x0030)].DS() = "9\\9";
    AddGroups(NewItem(set, SharedGroups), "0.5\\0.25", "", "", "-1000", "2");
    Set& first = NewItem(set, PerFrameGroups);
    AddGroups(first, "", "40", "400", "", "");
    Set& second = NewItem(set, PerFrameGroups);
    AddGroups(second, "1.5\\1.5", "300", "1500", "-10", "0.5");
    NewItem(set, PerFrameGroups);  // the third frame has only the shared groups
  }
};

TEST_F(FunctionalGroups, EachFrameTakesItsOwnElseSharedElseTopLevelValues) {
  const struct {
    UWORD frame;
    float spacing[2];
    int centre, width, intercept;
    float slope;
  } expected[] = {
      {1, {0.5f, 0.25f}, 40, 400, -1000, 2.0f},  // window per frame, the rest shared
      {2, {1.5f, 1.5f}, 300, 1500, -10, 0.5f},   // everything per frame
      {3, {0.5f, 0.25f}, 1, 2, -1000, 2.0f},     // window from the top level
  };
  for (const auto& e : expected) {
    SCOPED_TRACE(e.frame);
    qzmMedicalFrame frame;
    ASSERT_TRUE(frame.UpdateFrom(set, e.frame));
    EXPECT_TRUE(frame.HasPixelSpacing);
    EXPECT_FLOAT_EQ(frame.PixelSpacing[0], e.spacing[0]);
    EXPECT_FLOAT_EQ(frame.PixelSpacing[1], e.spacing[1]);
    EXPECT_FLOAT_EQ(frame.SliceThickness, 3.0f);
    EXPECT_TRUE(frame.Windowing.HasWindowing);
    EXPECT_EQ(frame.Windowing.RescaleIntercept, e.intercept);
    EXPECT_FLOAT_EQ(frame.Windowing.RescaleSlope, e.slope);
    EXPECT_EQ(frame.Windowing.WindowWidth, e.width);
    EXPECT_EQ(frame.Windowing.WindowCenter, e.centre);
  }
}

TEST_F(FunctionalGroups, MissingOrEmptyGroupsLeaveTheTopLevelValues) {
  set.erase(Tag(0x5200, 0x9229));
  set[PerFrameGroups].SQ().clear();
  qzmMedicalFrame frame;
  ASSERT_TRUE(frame.UpdateFrom(set, 2));
  EXPECT_FLOAT_EQ(frame.PixelSpacing[0], 9.0f);
  EXPECT_EQ(frame.Windowing.WindowCenter, 1);
  EXPECT_EQ(frame.Windowing.WindowWidth, 2);
}

}  // namespace

namespace {

std::vector<UBYTE> BmpPixels(const std::string& file) {
  const std::vector<unsigned char> bytes = testsupport::ReadBytes(file);
  return bytes.size() < 8 ? std::vector<UBYTE>() : std::vector<UBYTE>(bytes.end() - 8, bytes.end());
}

}  // namespace

// Through the program: each frame of the file windowed with its own values.
TEST_F(FunctionalGroups, WindowedOutputsOfEachFrameUseItsOwnWindow) {
  if (std::string(MEDCONV_BINARY).empty())
    GTEST_SKIP() << "medconv not built";
  testsupport::TempDir dir;
  set.erase(Tag(0x0028, 0x0008));
  set[Tag(0x0028, 0x0008)].IS() = "3";
  set[Tag(0x0002, 0x0010)].UI() = qzmDicomDataElementSet::ExplicitVRLittleEndian;
  set[Tag(0x0002, 0x0002)].UI() = "1.2.840.10008.5.1.4.1.1.4.1";
  // Frames 1 and 3 span -900 to -600 after their rescale: frame 1's own
  // window shows them, the top level's leaves frame 3 black.
  Set& firstVoi = *set[PerFrameGroups].SQ()[0]->find(FrameVoiLut.group, FrameVoiLut.element)->second.SQ()[0];
  firstVoi[Tag(0x0028, 0x1050)].DS() = "-750";
  firstVoi[Tag(0x0028, 0x1051)].DS() = "300";
  std::vector<UWORD> ramp = {50, 100, 150, 200};
  for (int frame = 0; frame < 3; ++frame)
    std::copy(ramp.begin(), ramp.end(), set[Tag(0x7FE0, 0x0010)].OW().GetMemoryLocation() + 4 * frame);
  ASSERT_TRUE(set.Save(dir.file("enhanced.dcm")));
  const auto run = testsupport::Run("cd " + dir.path() + " && cp " MEDCONV_BUILD_DIR "/dicom.di* . && " +
                                    MEDCONV_BINARY + " -w --win --frame=all enhanced.dcm");
  ASSERT_EQ(run.status, 0) << run.err;
  const auto first = BmpPixels(dir.file("enhanced.dcm-001.bmp"));
  const auto second = BmpPixels(dir.file("enhanced.dcm-002.bmp"));
  const auto third = BmpPixels(dir.file("enhanced.dcm-003.bmp"));
  ASSERT_EQ(first.size(), 8u) << testsupport::Run("ls " + dir.path()).out;
  EXPECT_NE(first, second);
  EXPECT_NE(first, third);
  EXPECT_NE(second, third);
  EXPECT_EQ(third, std::vector<UBYTE>(8, 0));
}

// A one-frame DICOM output keeps the per-frame groups of its frame only; the
// whole set keeps them all.
TEST_F(FunctionalGroups, DicomOutputsKeepTheGroupsOfTheirFrames) {
  if (std::string(MEDCONV_BINARY).empty())
    GTEST_SKIP() << "medconv not built";
  testsupport::TempDir dir;
  set[Tag(0x0002, 0x0010)].UI() = qzmDicomDataElementSet::ExplicitVRLittleEndian;
  set[Tag(0x0002, 0x0002)].UI() = "1.2.840.10008.5.1.4.1.1.4.1";
  ASSERT_TRUE(set.Save(dir.file("enhanced.dcm")));
  const std::string medconv = "cd " + dir.path() + " && cp " MEDCONV_BUILD_DIR "/dicom.di* . && " MEDCONV_BINARY;
  const struct {
    const char* options;
    std::size_t items;
  } cases[] = {{"-d=el --frame=2", 1}, {"-d=el --frame=whole", 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    testsupport::Run("rm -rf " + dir.path() + "/out && mkdir " + dir.path() + "/out");
    const auto run = testsupport::Run(medconv + " " + c.options + " --to=out enhanced.dcm");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string written = testsupport::Run("ls " + dir.path() + "/out").out;
    Set output;
    ASSERT_TRUE(output.Load(dir.file("out/" + written.substr(0, written.find('\n'))))) << written << run.err;
    const auto& items = output.find(PerFrameGroups.group, PerFrameGroups.element)->second.SQ();
    ASSERT_EQ(items.size(), c.items);
    const Set& voi = *items[0]->find(FrameVoiLut.group, FrameVoiLut.element)->second.SQ().at(0);
    EXPECT_EQ(voi.find(0x0028, 0x1050)->second.DS(), c.items == 1 ? "300" : "40");
    EXPECT_EQ(output.count(Tag(0x5200, 0x9229)), 1u);
  }
}

// Empty elements, kept by the reader, count as absent.
TEST_F(FunctionalGroups, EmptyElementsCountAsAbsent) {
  testsupport::TempDir dir;
  // (0028,0030), (0028,1050) and (0028,1051) of length 0, explicit VR.
  testsupport::WriteBytes(dir.file("empty.dcm"), {0x28, 0,   0x30, 0, 'D',  'S', 0,    0,    0x28, 0,   0x50, 0x10,
                                                  'D',  'S', 0,    0, 0x28, 0,   0x51, 0x10, 'D',  'S', 0,    0});
  Set empties;
  ASSERT_TRUE(empties.Load(dir.file("empty.dcm"), nullptr, explicit_little_endian));
  ASSERT_EQ(empties.size(), 3u);
  set.erase(SharedGroups);
  set.erase(PerFrameGroups);
  for (const auto& element : empties) {
    EXPECT_TRUE(element.second.IsEmpty());
    set[element.first] = element.second;
  }
  qzmMedicalFrame frame;
  ASSERT_TRUE(frame.UpdateFrom(set, 1));
  EXPECT_FALSE(frame.Windowing.HasWindowing);
  EXPECT_FALSE(frame.HasPixelSpacing);
}
