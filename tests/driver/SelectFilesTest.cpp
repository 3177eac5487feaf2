// The selection of the file list by --step, past the range of the 16-bit
// counters that names see.
#include <gtest/gtest.h>

#include "driver/FileRun.h"
#include "lib/qzcFileNameList.h"

TEST(SelectFiles, StepKeepsSelectingPastSixtyFiveThousandFiles) {
  qzcFileNameList files;
  for (int n = 0; n < 70001; ++n)
    files.push_back(qzcFileName("f" + std::to_string(n)));
  const std::vector<FileJob> jobs = SelectFiles(files, 3);
  ASSERT_EQ(23334u, jobs.size());
  EXPECT_EQ("f69999", jobs.back().name);
  EXPECT_EQ("f65535", jobs[21845].name);
  EXPECT_EQ(UWORD(65536), jobs[21845].rank);  // names wrap, as cur_rk always has
  EXPECT_EQ(21846u, jobs[21845].count);
}
