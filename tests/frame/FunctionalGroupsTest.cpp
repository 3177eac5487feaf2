// Enhanced multi-frame images: spacing, window and rescale of each frame
// from its per-frame functional groups, else the shared ones, else the top
// level.
#include "frame/FrameSets.h"
#include "lib/ReportCapture.h"

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
