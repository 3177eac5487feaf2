// The program against DCMTK, GDCM, ImageMagick and pngcheck; rows without their tool skip.
#include "dicom/qzmDicomDataElementSet.h"
#include "driver/DriverTest.h"
#include "support/CodecFixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using testsupport::HaveProgram;
using testsupport::ReadBytes;

const std::string CorpusFolder = "/usr/lib/python3/dist-packages/pydicom/data/test_files/";

bool HaveTool(const char* command) {
  return !command || HaveProgram(std::string(command).substr(0, std::string(command).find(' ')));
}

// The largest difference of the samples (bytes or little-endian words) of two files, 65536 if their sizes differ.
int LargestDifference(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b, bool words) {
  const auto at = [words](const auto& v, std::size_t k) { return words ? v[k] | v[k + 1] << 8 : v[k]; };
  int largest = a.size() == b.size() && !a.empty() ? 0 : 65536;
  for (std::size_t k = 0; largest < 65536 && k + words < a.size(); k += words ? 2 : 1)
    largest = std::max(largest, std::abs(at(a, k) - at(b, k)));
  return largest;
}

class Peers : public MedconvTest {
 protected:
  testsupport::RunResult Sh(const std::string& command) { return testsupport::Run(command, dir.path()); }
};
typedef Peers Corpus;

TEST_F(Peers, CompressedFixturesDecodeAsTheSourceOrThePeer) {
  // maker and peer: commands taking their input and output; no peer: the source is the reference
  const struct { const char *syntax, *source, *maker, *peer; int tolerance; bool words; } rows[] = {
      {"1.2.840.10008.1.2.5", "ct.dcm", "dcmcrle", nullptr, 0, true},
      {"1.2.840.10008.1.2.5", "big2.dcm", "dcmcrle +fs 16 +ot", nullptr, 0, true},
      {"1.2.840.10008.1.2.4.70", "rgb.dcm", "dcmcjpeg +e1", nullptr, 0, false},
      {"1.2.840.10008.1.2.4.50", "multiframe.dcm", "dcmcjpeg +eb", "dcmdjpeg", 2, false},
      {"1.2.840.10008.1.2.4.50", "rgb.dcm", "dcmcjpeg +eb", "dcmdjpeg", 2, false},  // stored as YBR_FULL_422
      {"1.2.840.10008.1.2.4.81", "ct.dcm", "dcmcjpls +en", "dcmdjpls", 0, true},
      {"1.2.840.10008.1.2.4.90", "multiframe.dcm", "gdcmconv --j2k", nullptr, 0, false},
      {"1.2.840.10008.1.2.4.91", "ct.dcm", "gdcmconv --j2k --lossy -q 40", "gdcmconv --raw", 1, true},
  };
  const std::string mksamples = "'" + std::string(MEDCONV_BUILD_DIR) + "/tools/mksamples'";
  ASSERT_EQ(Sh(mksamples + " . && " + mksamples + " --multiframe 2 big2.dcm").status, 0);
  std::string inputs, natives;
  std::vector<std::string> references(std::size(rows));
  for (std::size_t k = 0; k < std::size(rows); ++k) {
    const std::string fixture = "f" + std::to_string(k) + ".dcm";
    if (!HaveTool(rows[k].maker) || !HaveTool(rows[k].peer) || !codecfixtures::DecoderIsBuilt(rows[k].syntax))
      continue;
    ASSERT_EQ(Sh(std::string(rows[k].maker) + " " + rows[k].source + " " + fixture).status, 0) << rows[k].maker;
    references[k] = rows[k].peer ? "p" + fixture : rows[k].source;
    if (rows[k].peer) {
      ASSERT_EQ(Sh(rows[k].peer + (" " + fixture) + " " + references[k]).status, 0) << rows[k].peer;
    }
    inputs += " " + fixture + " " + references[k];
    natives += " " + fixture + ".dcm";
  }
  if (inputs.empty())
    GTEST_SKIP() << "neither DCMTK nor GDCM is installed";
  for (const std::string& run : {"-r0" + inputs, "-d=el" + inputs, "-r0" + natives}) {
    const testsupport::RunResult result = Medconv("--nowarn --frame=whole " + run);
    ASSERT_EQ(result.status, 0) << run << result.err;
  }
  if (HaveProgram("dcmdump")) {
    EXPECT_EQ(Sh("dcmdump +E" + natives + " >/dev/null").status, 0);
  }
  for (std::size_t k = 0; k < std::size(rows); ++k) {
    const std::string fixture = "f" + std::to_string(k) + ".dcm";
    if (references[k].empty())
      continue;
    SCOPED_TRACE(rows[k].maker);
    qzmDicomDataElementSet made, native, source;
    ASSERT_TRUE(made.Load(qzcFileName(dir.file(fixture))) && native.Load(qzcFileName(dir.file(fixture + ".dcm"))) &&
                source.Load(qzcFileName(dir.file(rows[k].source))));
    const qzmDicomDataElementTag photometric(0x0028, 0x0004);  // the decoded colours are the source's
    EXPECT_EQ(native[photometric].CS(), source[photometric].CS());
    EXPECT_EQ(made[qzmDicomDataElementTag(0x0002, 0x0010)].UI(), rows[k].syntax) << "the maker chose another syntax";
    const std::vector<unsigned char> decoded = ReadBytes(dir.file(fixture + ".raw"));
    const int largest = LargestDifference(decoded, ReadBytes(dir.file(references[k] + ".raw")), rows[k].words);
    EXPECT_LE(largest, rows[k].tolerance);
    EXPECT_EQ(ReadBytes(dir.file(fixture + ".dcm.raw")), decoded);
    const auto lossy = native.find(qzmDicomDataElementTag(0x0028, 0x2110));
    EXPECT_EQ(lossy != native.end() && lossy->second.CS() == "01", qzmCodecTable::Find(rows[k].syntax)->Lossy);
  }
}

// Every image written for pydicom's corpus opens; refusals are fine, crashes and sanitizer reports are not.
TEST_F(Corpus, EveryImageWrittenOpensInImageMagickAndPngcheck) {
  if (!testsupport::FileExists(CorpusFolder + "rtdose.dcm") || !HaveProgram("identify") || !HaveProgram("pngcheck"))
    GTEST_SKIP() << "needs pydicom's test files, ImageMagick's identify and pngcheck";
  const testsupport::RunResult result = Medconv("-w -a -p --nowarn --to=./ " + testsupport::LinkedCorpus(dir) + "*.dcm");
  EXPECT_TRUE(result.status == 0 || result.status == 1) << result.err;
  EXPECT_EQ(result.err.find("runtime error"), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("Sanitizer"), std::string::npos) << result.err;
  EXPECT_GE(std::atoi(Sh("ls *.png | wc -l").out.c_str()), 20);
  const testsupport::RunResult png = Sh("pngcheck -q *.png");
  EXPECT_EQ(png.status, 0) << png.out;
  const testsupport::RunResult identify = Sh("identify *.bmp *.tga *.png >/dev/null");
  EXPECT_EQ(identify.status, 0) << identify.err;
  EXPECT_EQ(identify.err, "");
}

}  // namespace
