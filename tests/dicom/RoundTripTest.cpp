// Sets read and written back lose nothing: every file of Debian's pydicom
// corpus is rewritten in the three native syntaxes, by the set reader and
// writer alone and by medconv -d, and compared element by element, items of
// sequences included, with its source through pydicom (tools/roundtrip.py).
// Skipped when pydicom, its files or dcmdump are missing.
#include <gtest/gtest.h>

#include <iostream>
#include <string>

#include "support/TestSupport.h"

namespace {

const char* const Corpus = "/usr/lib/python3/dist-packages/pydicom/data/test_files";

bool HaveTools() {
  return testsupport::FileExists(Corpus) && testsupport::HaveProgram("dcmdump") &&
         testsupport::Run("/usr/bin/python3 -c 'import pydicom'").status == 0;
}

// Runs the round trip with one of the two rewriters; its table goes to the
// test's output.
void ExpectLossless(const std::string& mode, const std::string& program) {
  testsupport::TempDir dir;
  const testsupport::RunResult run =
      testsupport::Run("/usr/bin/python3 " MEDCONV_SOURCE_DIR "/tools/roundtrip.py " + mode + " " + program + " " +
                       dir.path() + " " + Corpus + "/*.dcm 2>/dev/null");
  std::cout << run.out;
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("elements-compared"), std::string::npos) << run.out;
}

}  // namespace

TEST(RoundTrip, SetReaderAndWriterKeepEveryElementOfTheCorpus) {
  if (!HaveTools() || !testsupport::FileExists(MEDCONV_BUILD_DIR "/tools/dicomrewrite"))
    GTEST_SKIP() << "pydicom, its files, dcmdump or dicomrewrite missing";
  ExpectLossless("dicomrewrite", MEDCONV_BUILD_DIR "/tools/dicomrewrite");
}

TEST(RoundTrip, DicomOutputsOfTheCorpusKeepEveryElement) {
  if (!HaveTools() || std::string(MEDCONV_BINARY).empty())
    GTEST_SKIP() << "pydicom, its files, dcmdump or medconv missing";
  ExpectLossless("medconv", MEDCONV_BINARY);
}
