// Enhanced multi-frame images: spacing, window and rescale of each frame
// from its per-frame functional groups, else the shared ones, else the top
// level; DICOM outputs of one frame keep that frame's groups only.
#include "frame/FrameSets.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <memory>

using namespace framesets;

namespace {

typedef qzmDicomDataElementSet Set;
const Tag SharedGroups(0x5200, 0x9229), PerFrameGroups(0x5200, 0x9230), FrameVoiLut(0x0028, 0x9132);

// Adds to the sequence an item holding the (0028,xxxx) elements given, each
// in an item of its macro: Pixel Measures (with a thickness of 3), Frame VOI
// LUT or Pixel Value Transformation.
void AddItem(Set& parent, const Tag& sequence, std::initializer_list<std::pair<UWORD, const char*>> elements = {}) {
  auto& items = parent[sequence].SQ();
  items.push_back(std::make_unique<Set>());
  for (const auto& [element, text] : elements) {
    auto& macro = (*items.back())[Tag(0x0028, element == 0x0030 ? 0x9110 : element < 0x1052 ? 0x9132 : 0x9145)].SQ();
    if (macro.empty())
      macro.push_back(std::make_unique<Set>());
    (*macro.back())[Tag(0x0028, element)].DS() = text;
    if (element == 0x0030)
      (*macro.back())[Tag(0x0018, 0x0050)].DS() = "3";
  }
}

TEST(FunctionalGroups, EachFrameTakesItsOwnElseSharedElseTopLevelValues) {
  Set set;
  WordSet(set, Layout{2, 2, 16, 16, 15, 0, 1, 0, 3}, std::vector<UWORD>(12, 100));
  for (auto [element, text] : {std::pair(0x1050, "1"), {0x1051, "2"}, {0x1052, "0"}, {0x1053, "1"}, {0x0030, "9"}})
    set[Tag(0x0028, element)].DS() = text;
  AddItem(set, SharedGroups, {{0x0030, "0.5\\0.25"}, {0x1052, "-1000"}, {0x1053, "2"}});
  AddItem(set, PerFrameGroups, {{0x1050, "40"}, {0x1051, "400"}});
  AddItem(set, PerFrameGroups,
          {{0x0030, "1.5\\1.5"}, {0x1050, "300"}, {0x1051, "1500"}, {0x1052, "-10"}, {0x1053, "0.5"}});
  AddItem(set, PerFrameGroups);  // the third frame has only the shared groups
  const std::vector<float> rows[] = {
      // spacing, thickness, slope, intercept, width, centre of frames 1 to 3
      {0.5f, 0.25f, 3, 2, -1000, 400, 40},    // window per frame, the rest shared
      {1.5f, 1.5f, 3, 0.5f, -10, 1500, 300},  // everything per frame
      {0.5f, 0.25f, 3, 2, -1000, 2, 1},       // window from the top level
  };
  for (UWORD f = 1; f <= 3; ++f) {
    qzmMedicalFrame frame;
    ASSERT_TRUE(frame.UpdateFrom(set, f));
    const struct qzmMedicalFrame::Windowing& w = frame.Windowing;
    EXPECT_EQ(std::vector<float>({frame.PixelSpacing[0], frame.PixelSpacing[1], frame.SliceThickness, w.RescaleSlope,
                                  float(w.RescaleIntercept), float(w.WindowWidth), float(w.WindowCenter)}),
              rows[f - 1])
        << f;
  }
  if (std::string(MEDCONV_BINARY).empty())
    GTEST_SKIP() << "medconv not built";
  // Through the program: frame 2's output keeps its own groups, the whole
  // set's keeps them all.
  testsupport::TempDir dir;
  set[Tag(0x0002, 0x0010)].UI() = qzmDicomDataElementSet::ExplicitVRLittleEndian;
  set[Tag(0x0002, 0x0002)].UI() = "1.2.840.10008.5.1.4.1.1.4.1";
  ASSERT_TRUE(set.Save(dir.file("e.dcm")));
  const std::string medconv = "cp " MEDCONV_BUILD_DIR "/dicom.di* . && " MEDCONV_BINARY;
  // An RLE copy's frame is decoded on the way.
  const bool rle = testsupport::HaveProgram("dcmcrle");
  ASSERT_EQ(testsupport::Run(medconv + " -d=el --frame=2 e.dcm && " MEDCONV_BINARY " -d --frame=whole e.dcm" +
                                 (rle ? " && dcmcrle e.dcm r.dcm && " MEDCONV_BINARY " -d=el --frame=2 r.dcm" : ""),
                             dir.path())
                .status,
            0);
  for (const auto& [name, items, centre] : {std::tuple("e.dcm-002.dcm", 1u, "300"),
                                            {"e.dcm.dcm", 3u, "40"},
                                            {rle ? "r.dcm-002.dcm" : "e.dcm-002.dcm", 1u, "300"}}) {
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
