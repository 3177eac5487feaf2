// The frames a --frame selection visits, in its order, and the selections refused.
#include "frame/FrameSets.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace framesets;

namespace {

TEST(FrameSelection, FramesVisitedInOrderAndRefusals) {
  testsupport::TempDir folder;
  std::vector<UWORD> values;  // frame f holds f in every pixel
  for (UWORD f = 1; f <= 10; ++f)
    values.insert(values.end(), 4, f);
  qzmDicomDataElementSet set;
  WordSet(set, Layout{2, 2, 16, 12, 11, 0, 1, 0, 10}, values);
  set[Tag(0x0002, 0x0010)].UI() = "1.2.840.10008.1.2.1";
  ASSERT_TRUE(set.Save(qzcFileName(folder.file("s.dcm"))));
  const struct {
    const char *selection, *visited, *report;  // visited as --rank prints them; empty: refused
  } rows[] = {
      {"--frame=1:10:4", "1 5 9 \n", ""}, {"--frame=5:1", "5 4 3 2 1 \n", ""}, {"--frame=all:2", "1 3 5 7 9 \n", ""},
      {"", "1 2 3 4 5 6 7 8 9 10 \n", "data-set describes 10 frames. Processing all frames."},
      {"--frame=10", "10 \n", ""}, {"--frame=11", "", "wrong arguments to --frame! There is 10 frame(s) in the set!"},
      {"--frame=0:3", "", "wrong arguments to --frame!"}, {"--frame=1:3:-1", "", "wrong arguments to --frame!"},
      {"--frame=all:0", "", "wrong arguments to --frame!"}, {"--frame", "", "missing argument(s) to --frame!"},
      {"--frame=1:11", "", "There is 10 frame(s)"}, {"--frame=1:10:32767", "1 \n", ""}, {"--frame=10:1:-32768", "10 \n", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.selection);
    const auto result =
        testsupport::Run(std::string(MEDCONV_BINARY) + " -r0 --rank " + row.selection + " s.dcm", folder.path());
    EXPECT_EQ(result.status, *row.visited ? 0 : 1);
    EXPECT_HAS(result.out, row.visited);
    EXPECT_HAS(result.out + result.err, row.report);
  }
  EXPECT_EQ(testsupport::Run(MEDCONV_BINARY " -r0 --frame=1:3 s.dcm", folder.path()).out, "");  // no --rank, no numbers
  testsupport::Run(MEDCONV_BINARY " -t --rename=cur_nm:cur_fr s.dcm", folder.path());  // the dump is of no frame
  EXPECT_TRUE(testsupport::FileExists(folder.file("s.dcm.txt")));
  // Frame 10's file holds frame 10's samples only; --changepr leaves unsigned frames as they are, silently.
  EXPECT_EQ(testsupport::ReadBytes(folder.file("s.dcm-010.raw")), (std::vector<UBYTE>{10, 0, 10, 0, 10, 0, 10, 0}));
  const auto result = testsupport::Run(std::string(MEDCONV_BINARY) + " --changepr=bin -r0 --frame=2 s.dcm", folder.path());
  EXPECT_EQ(result.out.find("Pixel Representation"), std::string::npos) << result.out;
  EXPECT_EQ(testsupport::ReadBytes(folder.file("s.dcm-002.raw")), (std::vector<UBYTE>{2, 0, 2, 0, 2, 0, 2, 0}));
}

}  // namespace
