// Enhanced multi-frame images: spacing, window and rescale of each frame
// from its per-frame functional groups, else the shared ones, else the top
// level; through the program, each frame's outputs.
#include "frame/FrameSets.h"
#include "lib/ReportCapture.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <memory>

using namespace framesets;

namespace {

typedef qzmDicomDataElementSet Set;

const Tag SharedGroups(0x5200, 0x9229), PerFrameGroups(0x5200, 0x9230), FrameVoiLut(0x0028, 0x9132);

// Adds to the sequence an item holding the elements given; an element of
// the Pixel Measures (0028,9110), Frame VOI LUT (0028,9132) or Pixel Value
// Transformation (0028,9145) macro goes into an item of that macro.
Set& AddItem(Set& parent, const Tag& sequence, std::initializer_list<std::pair<UWORD, const char*>> elements = {}) {
  auto& items = parent[sequence].SQ();
  items.push_back(std::make_unique<Set>());
  for (const auto& [element, text] : elements) {
    const UWORD macro = element == 0x0030 ? 0x9110 : element < 0x1052 ? 0x9132 : 0x9145;
    auto& macroItems = (*items.back())[Tag(0x0028, macro)].SQ();
    if (macroItems.empty())
      macroItems.push_back(std::make_unique<Set>());
    (*macroItems.back())[Tag(0x0028, element)].DS() = text;
    if (element == 0x0030)
      (*macroItems.back())[Tag(0x0018, 0x0050)].DS() = "3";
  }
  return *items.back();
}

class FunctionalGroups : public ::testing::Test {
 protected:
  ReportCapture reports;
  Set set;

  void SetUp() override {
    WordSet(set, Layout{2, 2, 16, 16, 15, 0, 1, 0, 3}, {50, 100, 150, 200, 50, 100, 150, 200, 50, 100, 150, 200});
    // Top level: a window and spacing the groups override.
    for (auto [element, text] : {std::pair(0x1050, "1"), {0x1051, "2"}, {0x1052, "0"}, {0x1053, "1"}, {0x0030, "9"}})
      set[Tag(0x0028, element)].DS() = text;
    AddItem(set, SharedGroups, {{0x0030, "0.5\\0.25"}, {0x1052, "-1000"}, {0x1053, "2"}});
    AddItem(set, PerFrameGroups, {{0x1050, "40"}, {0x1051, "400"}});
    AddItem(set, PerFrameGroups,
            {{0x0030, "1.5\\1.5"}, {0x1050, "300"}, {0x1051, "1500"}, {0x1052, "-10"}, {0x1053, "0.5"}});
    AddItem(set, PerFrameGroups);  // the third frame has only the shared groups
  }
};

TEST_F(FunctionalGroups, EachFrameTakesItsOwnElseSharedElseTopLevelValues) {
  const struct {
    UWORD frame;
    std::vector<float> expected;  // spacing, thickness, slope, intercept, width, centre
  } rows[] = {
      {1, {0.5f, 0.25f, 3, 2, -1000, 400, 40}},    // window per frame, the rest shared
      {2, {1.5f, 1.5f, 3, 0.5f, -10, 1500, 300}},  // everything per frame
      {3, {0.5f, 0.25f, 3, 2, -1000, 2, 1}},       // window from the top level
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.frame);
    qzmMedicalFrame frame;
    ASSERT_TRUE(frame.UpdateFrom(set, row.frame));
    EXPECT_TRUE(frame.HasPixelSpacing && frame.Windowing.HasWindowing);
    const struct qzmMedicalFrame::Windowing& w = frame.Windowing;
    EXPECT_EQ(std::vector<float>({frame.PixelSpacing[0], frame.PixelSpacing[1], frame.SliceThickness, w.RescaleSlope,
                                  float(w.RescaleIntercept), float(w.WindowWidth), float(w.WindowCenter)}),
              row.expected);
  }
  // Without groups, or with empty ones, the top level's values.
  set.erase(SharedGroups);
  set[PerFrameGroups].SQ().clear();
  qzmMedicalFrame frame;
  ASSERT_TRUE(frame.UpdateFrom(set, 2));
  EXPECT_EQ(std::vector<float>({frame.PixelSpacing[0], float(frame.Windowing.WindowCenter)}),
            std::vector<float>({9, 1}));
}

// Through the program: -w --win windows each frame with its own values; a
// one-frame DICOM output keeps the per-frame groups of its frame only, the
// whole set keeps them all.
TEST_F(FunctionalGroups, OutputsOfEachFrameUseItsOwnGroups) {
  if (std::string(MEDCONV_BINARY).empty())
    GTEST_SKIP() << "medconv not built";
  testsupport::TempDir dir;
  set[Tag(0x0002, 0x0010)].UI() = qzmDicomDataElementSet::ExplicitVRLittleEndian;
  set[Tag(0x0002, 0x0002)].UI() = "1.2.840.10008.5.1.4.1.1.4.1";
  // Frames 1 and 3 span -900 to -600 after their rescale: frame 1's own
  // window shows them, the top level's leaves frame 3 black.
  Set& firstVoi = *set[PerFrameGroups].SQ()[0]->find(FrameVoiLut.group, FrameVoiLut.element)->second.SQ()[0];
  firstVoi[Tag(0x0028, 0x1050)].DS() = "-750";
  firstVoi[Tag(0x0028, 0x1051)].DS() = "300";
  ASSERT_TRUE(set.Save(dir.file("enhanced.dcm")));
  const auto run = testsupport::Run(
      "cp " MEDCONV_BUILD_DIR "/dicom.di* . && " MEDCONV_BINARY " -w --win --frame=all enhanced.dcm && " MEDCONV_BINARY
      " -d=el --frame=2 enhanced.dcm && " MEDCONV_BINARY " -d=el --frame=whole enhanced.dcm",
      dir.path());
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<UBYTE> pixels[3];
  for (int f = 0; f < 3; ++f) {
    const std::vector<unsigned char> bmp =
        testsupport::ReadBytes(dir.file("enhanced.dcm-00" + std::to_string(f + 1) + ".bmp"));
    ASSERT_GE(bmp.size(), 8u);
    pixels[f].assign(bmp.end() - 8, bmp.end());
  }
  EXPECT_TRUE(pixels[0] != pixels[1] && pixels[0] != pixels[2] && pixels[1] != pixels[2]);
  EXPECT_EQ(pixels[2], std::vector<UBYTE>(8, 0));

  for (const auto& [name, items, centre] :
       {std::tuple("enhanced.dcm-002.dcm", 1u, "300"), {"enhanced.dcm.dcm", 3u, "-750"}}) {
    SCOPED_TRACE(name);
    Set output;
    ASSERT_TRUE(output.Load(dir.file(name)));
    const auto& perFrame = output.find(PerFrameGroups.group, PerFrameGroups.element)->second.SQ();
    ASSERT_EQ(perFrame.size(), items);
    const Set& voi = *perFrame[0]->find(FrameVoiLut.group, FrameVoiLut.element)->second.SQ().at(0);
    EXPECT_EQ(voi.find(0x0028, 0x1050)->second.DS(), centre);
    EXPECT_EQ(output.count(SharedGroups), 1u);
  }
}

}  // namespace
