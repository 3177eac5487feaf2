// No output byte that nobody wrote: the program runs under valgrind on the
// generated samples, their RLE copies, the hand-made hostile sets and the
// saved pipeline findings, once per writer, all files in one run so that a
// buffer of one file can meet the next. Skipped without valgrind and in the
// sanitizer build.
#include "FolderListing.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char* const Python = "/usr/bin/python3";
// Distinct from the program's own failure status.
const int ValgrindErrorStatus = 101;

// Frames whose RLE segments end early: their decoded tails were never
// written, so they get a folder of their own.
const char* const RleLeakFolder = "rle-leak";

// The inputs, in the folder given: samples, their RLE copies when DCMTK is
// there, edge files, and the pipeline findings without their option byte;
// RLE sets with short segments go into RleLeakFolder.
void MakeInputs(const testsupport::TempDir& dir) {
  ASSERT_EQ(0, testsupport::Run("'" MEDCONV_BUILD_DIR "/tools/mksamples' .", dir.path()).status);
  if (testsupport::HaveProgram("dcmcrle"))
    for (const char* sample : {"ct", "rgb", "multiframe"})
      testsupport::Run(std::string("dcmcrle ") + sample + ".dcm " + sample + "-rle.dcm", dir.path());
  ASSERT_EQ(0, testsupport::Run(std::string(Python) + " '" MEDCONV_SOURCE_DIR
                                                      "/tests/fuzz/make_seeds.py' --edge-files .",
                                dir.path())
                   .status);
  for (const std::string& finding : FilesIn(MEDCONV_SOURCE_DIR "/tests/fuzz/regressions/pipeline"))
    testsupport::Run("tail -c +2 '" + finding + "' > finding-" + finding.substr(finding.rfind('/') + 1) + ".dcm",
                     dir.path());
  ASSERT_EQ(0, testsupport::Run(std::string("mkdir out ") + RleLeakFolder + " && mv edge-rle-* finding-rle-* " +
                                    RleLeakFolder,
                                dir.path())
                   .status);
}

// Runs the program under valgrind; the first lines of valgrind's reports,
// empty when it found nothing.
std::string ValgrindErrors(const testsupport::TempDir& dir, const std::string& arguments) {
  const auto run = testsupport::Run(std::string("valgrind -q --error-exitcode=") +
                                        std::to_string(ValgrindErrorStatus) + " '" + MEDCONV_BINARY + "' --nowarn " +
                                        arguments + " 2>&1 >/dev/null | grep '^==' | head -n 40",
                                    dir.path());
  return run.out;
}

class Valgrind : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef MEDCONV_SANITIZED_BUILD
    GTEST_SKIP() << "valgrind cannot run a program built with the sanitizers";
#endif
    if (!testsupport::HaveProgram("valgrind") || !testsupport::FileExists(Python))
      GTEST_SKIP() << "valgrind or python3 is not installed";
    MakeInputs(dir);
  }
  testsupport::TempDir dir;
};

TEST_F(Valgrind, NoWriterOutputsUninitialisedBytes) {
  // Between them, every writer and the frame operations that make new images.
  for (const char* options : {"-w -a -p -r1 -j -d=el -t --frame=all", "-w --win=40:400 --halve --fliph -r0 -d",
                              "-r2 --changepr -p --crop=1:1:8:8", "--frame=whole -r0 -d=eb --anon"}) {
    SCOPED_TRACE(options);
    EXPECT_EQ("", ValgrindErrors(dir, std::string(options) + " --to=out/ *.dcm"));
  }
}

// A batch where a set with short RLE segments follows another image: the
// unwritten part of its frame must not carry the first image's pixels.
TEST_F(Valgrind, ShortRleSegmentsLeaveNoUnwrittenBytes) {
  EXPECT_EQ("", ValgrindErrors(dir, std::string("-w -p -r1 -d=el --frame=all --to=out/ ct.dcm ") + RleLeakFolder +
                                        "/*.dcm"));
}

}  // namespace
