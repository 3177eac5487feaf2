// No output byte that nobody wrote: the program runs under valgrind on the
// generated samples, their RLE copies, the hand-made hostile sets and the
// saved pipeline findings, once per writer, all files in one run so that a
// buffer of one file can meet the next. Skipped without valgrind.
#include "FuzzSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

class Valgrind : public ::testing::Test {
 protected:
  // The inputs: samples, their RLE copies when DCMTK is there, edge files,
  // and the pipeline findings without their option byte. RLE sets whose
  // segments end early (their decoded tails were never written) go into
  // rle-leak/.
  void SetUp() override {
    if (!testsupport::HaveProgram("valgrind") || !testsupport::HaveProgram("python3"))
      GTEST_SKIP() << "valgrind or python3 is not installed";
    std::string commands = "'" MEDCONV_BUILD_DIR "/tools/mksamples' . && python3 '" MEDCONV_SOURCE_DIR
                           "/tests/fuzz/make_seeds.py' --edge-files . && mkdir out rle-leak";
    if (testsupport::HaveProgram("dcmcrle"))
      for (const std::string sample : {"ct", "rgb", "multiframe"})
        commands += " && dcmcrle " + sample + ".dcm " + sample + "-rle.dcm";
    for (const std::string& finding : fuzzsupport::FilesIn(MEDCONV_SOURCE_DIR "/tests/fuzz/regressions/pipeline"))
      commands += " && tail -c +2 '" + finding + "' > finding-" + finding.substr(finding.rfind('/') + 1) + ".dcm";
    ASSERT_EQ(0, testsupport::Run(commands + " && mv edge-rle-* finding-rle-* rle-leak", dir.path()).status);
  }

  // The first lines of valgrind's reports on a run of the program; empty
  // when it found nothing.
  std::string ValgrindErrors(const std::string& arguments) const {
    return testsupport::Run("valgrind -q --error-exitcode=101 '" MEDCONV_BINARY "' --nowarn " + arguments +
                                " 2>&1 >/dev/null | grep '^==' | head -n 40",
                            dir.path())
        .out;
  }

  testsupport::TempDir dir;
};

TEST_F(Valgrind, NoWriterOutputsUninitialisedBytes) {
  // Between them, every writer and the frame operations that make new images.
  for (const char* options : {"-w -a -p -r1 -j -d=el -t --frame=all", "-w --win=40:400 --halve --fliph -r0 -d",
                              "-r2 --changepr -p --crop=1:1:8:8", "--frame=whole -r0 -d=eb --anon"})
    EXPECT_EQ("", ValgrindErrors(std::string(options) + " --to=out/ *.dcm")) << options;
  // Sets with short RLE segments after another image: the unwritten part
  // of their frames must not carry the first image's pixels.
  EXPECT_EQ("", ValgrindErrors("-w -p -r1 -d=el --frame=all --to=out/ ct.dcm rle-leak/*.dcm"));
}

}  // namespace
