// No output byte that nobody wrote: the program runs under valgrind on the
// generated samples, their RLE copies, the hand-made hostile sets and the
// saved pipeline findings, once per writer, all files in one run so that a
// buffer of one file can meet the next. Skipped without valgrind and in the
// sanitizer build.
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <string>
#include <vector>

namespace {



const char* const Python = "/usr/bin/python3";
// Distinct from the program's own failure status.
const int ValgrindErrorStatus = 101;

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> files;
  if (DIR* directory = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(directory))
      if (entry->d_name[0] != '.')
        files.push_back(folder + "/" + entry->d_name);
    ::closedir(directory);
  }
  return files;
}

// The inputs, in the folder given: samples, their RLE copies when DCMTK is
// there, edge files, and the pipeline findings without their option byte.
void MakeInputs(const testsupport::TempDir& dir) {
  ASSERT_EQ(0, testsupport::Run("'" MEDCONV_BUILD_DIR "/tools/mksamples' .", dir.path()).status);
  if (testsupport::HaveProgram("dcmcrle"))
    for (const char* sample : {"ct", "rgb", "multiframe"})
      testsupport::Run(std::string("dcmcrle ") + sample + ".dcm " + sample + "-rle.dcm", dir.path());
  ASSERT_EQ(0, testsupport::Run(std::string(Python) + " '" MEDCONV_SOURCE_DIR "/tests/fuzz/make_seeds.py' --edge-files .",
                   dir.path())
                   .status);
  int rank = 0;
  for (const std::string& finding : FilesIn(MEDCONV_SOURCE_DIR "/tests/fuzz/regressions/pipeline"))
    testsupport::Run("tail -c +2 '" + finding + "' > finding-" + std::to_string(++rank) + ".dcm", dir.path());
}

TEST(Valgrind, NoWriterOutputsUninitialisedBytes) {
#ifdef MEDCONV_SANITIZED_BUILD
  GTEST_SKIP() << "valgrind cannot run a program built with the sanitizers";
#endif
  if (!testsupport::HaveProgram("valgrind") || !testsupport::FileExists(Python))
    GTEST_SKIP() << "valgrind or python3 is not installed";
  testsupport::TempDir dir;
  MakeInputs(dir);
  ASSERT_EQ(0, testsupport::Run("mkdir out", dir.path()).status);
  // Between them, every writer and the frame operations that make new images.
  for (const char* options : {"-w -a -p -r1 -j -d=el -t --frame=all", "-w --win=40:400 --halve --fliph -r0 -d",
                              "-r2 --changepr -p --crop=1:1:8:8", "--frame=whole -r0 -d=eb --anon"}) {
    SCOPED_TRACE(options);
    const auto run = testsupport::Run(std::string("valgrind -q --error-exitcode=") + std::to_string(ValgrindErrorStatus) + " '" +
                             MEDCONV_BINARY + "' --nowarn " + options + " --to=out/ *.dcm",
                         dir.path());
    EXPECT_NE(ValgrindErrorStatus, run.status) << run.err;
    EXPECT_EQ(std::string::npos, run.err.find("uninitialised")) << run.err;
  }
}

}  // namespace
