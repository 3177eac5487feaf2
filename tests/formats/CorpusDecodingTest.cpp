// Debian's pydicom test files that hold RLE, uncompressed YBR or
// OW-tagged encapsulated pixel data, decoded by medconv and by a peer
// (DCMTK or GDCM) in the same test: the samples must agree. Skips when
// pydicom or the peer is not installed, or when this build does not
// decode a file's syntax or sample size yet.
#include "driver/DriverTest.h"
#include "support/CodecFixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using testsupport::HaveProgram;
using testsupport::ReadBytes;

const std::string CorpusFolder = "/usr/lib/python3/dist-packages/pydicom/data/test_files/";

struct CorpusFile {
  const char* name;
  const char* syntax;  // the file's transfer syntax
  const char* peer;    // "IN" and "OUT" replaced; a .ppm OUT is an RGB image
  int tolerance;
};

void PrintTo(const CorpusFile& file, std::ostream* os) {
  *os << file.name;
}

const char* const Rle = "1.2.840.10008.1.2.5";

const CorpusFile Files[] = {
    {"MR_small_RLE.dcm", Rle, "dcmdrle IN OUT.dcm", 0},
    {"SC_rgb_rle.dcm", Rle, "dcmdrle IN OUT.dcm", 0},
    {"SC_rgb_rle_2frame.dcm", Rle, "dcmdrle IN OUT.dcm", 0},
    {"SC_rgb_rle_16bit.dcm", Rle, "dcmdrle IN OUT.dcm", 0},
    {"SC_rgb_rle_16bit_2frame.dcm", Rle, "dcmdrle IN OUT.dcm", 0},
    {"SC_rgb_rle_32bit.dcm", Rle, "dcmdrle IN OUT.dcm", 0},
    {"SC_rgb_rle_32bit_2frame.dcm", Rle, "dcmdrle IN OUT.dcm", 0},
    {"rtdose_rle.dcm", Rle, "dcmdrle IN OUT.dcm", 0},
    {"rtdose_rle_1frame.dcm", Rle, "dcmdrle IN OUT.dcm", 0},
    {"SC_ybr_full_422_uncompressed.dcm", "1.2.840.10008.1.2.1", "dcm2pnm --write-raw-pnm IN OUT.ppm", 1},
    {"MR_small_jpeg_ls_lossless.dcm", "1.2.840.10008.1.2.4.80", "dcmdjpls IN OUT.dcm", 0},
    {"MR_small_jp2klossless.dcm", "1.2.840.10008.1.2.4.90", "gdcmconv --raw IN OUT.dcm", 0},
};

std::string Filled(std::string command, const std::string& in, const std::string& out) {
  command.replace(command.find("IN"), 2, in);
  command.replace(command.find("OUT"), 3, out);
  return command;
}

// The samples of a binary PPM image (header "P6", width, height, maximum).
std::vector<unsigned char> PpmSamples(const std::vector<unsigned char>& ppm) {
  std::size_t at = 0;
  for (int lines = 0; lines < 3 && at < ppm.size(); ++at)
    if (ppm[at] == '\n')
      ++lines;
  return std::vector<unsigned char>(ppm.begin() + std::ptrdiff_t(at), ppm.end());
}

class CorpusDecoding : public MedconvTest, public ::testing::WithParamInterface<CorpusFile> {};

TEST_P(CorpusDecoding, SamplesAgreeWithThePeer) {
  const CorpusFile& file = GetParam();
  const std::string path = CorpusFolder + file.name;
  if (!testsupport::FileExists(path))
    GTEST_SKIP() << "pydicom's test files are not installed";
  const std::string peer = std::string(file.peer).substr(0, std::string(file.peer).find(' '));
  if (!HaveProgram(peer))
    GTEST_SKIP() << peer << " is not installed";
  if (std::string(file.syntax) != Rle && qzmCodecTable::DecoderFor(file.syntax) &&
      !codecfixtures::DecoderIsBuilt(file.syntax))
    GTEST_SKIP() << "this build has no decoder of " << file.syntax << " yet";
  testsupport::WriteBytes(dir.file("in.dcm"), ReadBytes(path));

  const testsupport::RunResult run = Medconv("-r0 --frame=whole in.dcm");
  // Samples of 32 bits are refused until the frame code handles them.
  if (run.err.find("bits allocated can not be processed") != std::string::npos ||
      run.err.find("unsupported sample layout (Bits Allocated 32") != std::string::npos)
    GTEST_SKIP() << "this build does not process such samples yet";
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<unsigned char> decoded = ReadBytes(dir.file("in.dcm.raw"));
  ASSERT_FALSE(decoded.empty()) << run.err;

  ASSERT_EQ(testsupport::Run(Filled(file.peer, "in.dcm", "peer"), dir.path()).status, 0);
  std::vector<unsigned char> expected;
  if (std::string(file.peer).find(".ppm") != std::string::npos) {
    expected = PpmSamples(ReadBytes(dir.file("peer.ppm")));
  } else {
    ASSERT_EQ(Medconv("-r0 --frame=whole peer.dcm").status, 0);
    expected = ReadBytes(dir.file("peer.dcm.raw"));
  }
  ASSERT_EQ(decoded.size(), expected.size());
  int worst = 0;
  for (std::size_t k = 0; k < decoded.size(); ++k)
    worst = std::max(worst, std::abs(int(decoded[k]) - int(expected[k])));
  EXPECT_LE(worst, file.tolerance);
}

std::string FileName(const ::testing::TestParamInfo<CorpusFile>& info) {
  std::string name;
  for (const char* c = info.param.name; *c && *c != '.'; ++c)
    name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Pydicom, CorpusDecoding, ::testing::ValuesIn(Files), FileName);

}  // namespace
