// Every compressed syntax end to end, one row per fixture: fixtures are made
// at test time from the project's samples by DCMTK and GDCM; medconv's
// decoded samples (-r0 --frame=whole) must equal the source's for lossless
// syntaxes, and lie within a tolerance of the peer's own decoding for lossy
// ones; the native file written with -d=el must hold the same samples.
// Rows whose tool is missing, or whose decoder this build does not have
// yet, skip.
#include "dicom/qzmDicomDataElementSet.h"
#include "driver/DriverTest.h"
#include "support/CodecFixtures.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>

namespace {

using testsupport::FileExists;
using testsupport::HaveProgram;
using testsupport::ReadBytes;

const char* const Rle = "1.2.840.10008.1.2.5";
const char* const JpegBaseline = "1.2.840.10008.1.2.4.50";
const char* const JpegExtended = "1.2.840.10008.1.2.4.51";
const char* const JpegLossless = "1.2.840.10008.1.2.4.57";
const char* const JpegLosslessSv1 = "1.2.840.10008.1.2.4.70";
const char* const JpegLs = "1.2.840.10008.1.2.4.80";
const char* const JpegLsNear = "1.2.840.10008.1.2.4.81";
const char* const Jpeg2000Lossless = "1.2.840.10008.1.2.4.90";
const char* const Jpeg2000 = "1.2.840.10008.1.2.4.91";

struct Row {
  const char* name;
  const char* syntax;  // what the fixture must be in
  const char* source;  // a sample of mksamples; "big2.dcm": two 512 x 512 CT frames
  const char* maker;   // command line, "IN" and "OUT" replaced by the file names
  const char* peer;    // decoder of lossy fixtures (same placeholders); null: compare with the source
  int tolerance;       // largest difference from the peer's samples
  bool words;          // samples of 16 bits
};

void PrintTo(const Row& row, std::ostream* os) {
  *os << row.name;
}

const Row Rows[] = {
    {"RLE 16-bit, DCMTK", Rle, "ct.dcm", "dcmcrle IN OUT", nullptr, 0, true},
    {"RLE 16-bit, GDCM", Rle, "ct.dcm", "gdcmconv --rle IN OUT", nullptr, 0, true},
    {"RLE 16-bit from big endian", Rle, "bigendian.dcm", "dcmcrle IN OUT", nullptr, 0, true},
    {"RLE colour", Rle, "rgb.dcm", "dcmcrle IN OUT", nullptr, 0, false},
    {"RLE multi-frame, offset table", Rle, "multiframe.dcm", "dcmcrle +ot IN OUT", nullptr, 0, false},
    {"RLE multi-frame, no offset table", Rle, "multiframe.dcm", "dcmcrle -ot IN OUT", nullptr, 0, false},
    {"RLE multi-frame, GDCM", Rle, "multiframe.dcm", "gdcmconv --rle IN OUT", nullptr, 0, false},
    {"RLE one frame in several fragments", Rle, "ct.dcm", "dcmcrle +fs 1 IN OUT", nullptr, 0, true},
    {"RLE frames in several fragments, offset table", Rle, "big2.dcm", "dcmcrle +fs 16 +ot IN OUT", nullptr, 0,
     true},
    {"JPEG lossless SV1", JpegLosslessSv1, "ct.dcm", "dcmcjpeg +e1 IN OUT", nullptr, 0, true},
    {"JPEG lossless SV1, GDCM", JpegLosslessSv1, "ct.dcm", "gdcmconv --jpeg IN OUT", nullptr, 0, true},
    {"JPEG lossless SV1 colour", JpegLosslessSv1, "rgb.dcm", "dcmcjpeg +e1 IN OUT", nullptr, 0, false},
    {"JPEG lossless SV1 multi-frame", JpegLosslessSv1, "multiframe.dcm", "dcmcjpeg +e1 IN OUT", nullptr, 0, false},
    {"JPEG lossless frames in several fragments, no offset table", JpegLosslessSv1, "big2.dcm",
     "dcmcjpeg +e1 +fs 16 -ot IN OUT", nullptr, 0, true},
    {"JPEG lossless SV1 by selection", JpegLossless, "ct.dcm", "dcmcjpeg +el +sv 1 IN OUT", nullptr, 0, true},
    {"JPEG lossless SV2", JpegLossless, "ct.dcm", "dcmcjpeg +el +sv 2 IN OUT", nullptr, 0, true},
    {"JPEG lossless SV3", JpegLossless, "ct.dcm", "dcmcjpeg +el +sv 3 IN OUT", nullptr, 0, true},
    {"JPEG lossless SV4", JpegLossless, "ct.dcm", "dcmcjpeg +el +sv 4 IN OUT", nullptr, 0, true},
    {"JPEG lossless SV5", JpegLossless, "ct.dcm", "dcmcjpeg +el +sv 5 IN OUT", nullptr, 0, true},
    {"JPEG lossless SV6", JpegLossless, "ct.dcm", "dcmcjpeg +el +sv 6 IN OUT", nullptr, 0, true},
    {"JPEG lossless SV7", JpegLossless, "ct.dcm", "dcmcjpeg +el +sv 7 IN OUT", nullptr, 0, true},
    {"JPEG baseline colour", JpegBaseline, "rgb.dcm", "dcmcjpeg +eb IN OUT", "dcmdjpeg IN OUT", 2, false},
    {"JPEG baseline multi-frame", JpegBaseline, "multiframe.dcm", "dcmcjpeg +eb IN OUT", "dcmdjpeg IN OUT", 2,
     false},
    {"JPEG extended 12-bit", JpegExtended, "ct.dcm", "dcmcjpeg +ee IN OUT", "dcmdjpeg IN OUT", 1, true},
    {"JPEG-LS lossless", JpegLs, "ct.dcm", "dcmcjpls IN OUT", nullptr, 0, true},
    {"JPEG-LS lossless, GDCM", JpegLs, "ct.dcm", "gdcmconv --jpegls IN OUT", nullptr, 0, true},
    {"JPEG-LS lossless colour", JpegLs, "rgb.dcm", "dcmcjpls IN OUT", nullptr, 0, false},
    {"JPEG-LS lossless multi-frame", JpegLs, "multiframe.dcm", "dcmcjpls IN OUT", nullptr, 0, false},
    {"JPEG-LS near-lossless", JpegLsNear, "ct.dcm", "dcmcjpls +en IN OUT", "dcmdjpls IN OUT", 0, true},
    {"JPEG 2000 lossless", Jpeg2000Lossless, "ct.dcm", "gdcmconv --j2k IN OUT", nullptr, 0, true},
    {"JPEG 2000 lossless colour", Jpeg2000Lossless, "rgb.dcm", "gdcmconv --j2k IN OUT", nullptr, 0, false},
    {"JPEG 2000 lossless multi-frame", Jpeg2000Lossless, "multiframe.dcm", "gdcmconv --j2k IN OUT", nullptr, 0,
     false},
    {"JPEG 2000 lossy", Jpeg2000, "ct.dcm", "gdcmconv --j2k --lossy -q 40 IN OUT", "gdcmconv --raw IN OUT", 1, true},
};

std::string Filled(std::string command, const std::string& in, const std::string& out) {
  command.replace(command.find("IN"), 2, in);
  command.replace(command.find("OUT"), 3, out);
  return command;
}

std::string FirstWord(const std::string& command) {
  return command.substr(0, command.find(' '));
}

// Samples of a raw file: bytes, or little-endian words.
std::vector<int> Samples(const std::vector<unsigned char>& raw, bool words) {
  std::vector<int> samples;
  if (!words)
    return std::vector<int>(raw.begin(), raw.end());
  for (std::size_t k = 0; k + 1 < raw.size(); k += 2)
    samples.push_back(raw[k] | raw[k + 1] << 8);
  return samples;
}

class DecodedSyntaxes : public MedconvTest, public ::testing::WithParamInterface<Row> {
 protected:
  // The samples of every frame of file, as medconv decodes them.
  std::vector<int> DecodedSamples(const std::string& file, bool words) {
    const testsupport::RunResult run = Medconv("-r0 --frame=whole " + file);
    EXPECT_EQ(run.status, 0) << file << ": " << run.err;
    EXPECT_EQ(run.err.find(">> [E]"), std::string::npos) << run.err;
    return Samples(ReadBytes(dir.file(file + ".raw")), words);
  }

  void MakeSamples(const std::string& source) {
    const std::string mksamples = std::string(MEDCONV_BUILD_DIR) + "/tools/mksamples";
    const std::string command = source == "big2.dcm" ? "'" + mksamples + "' --multiframe 2 big2.dcm"
                                                     : "'" + mksamples + "' .";
    ASSERT_EQ(testsupport::Run(command, dir.path()).status, 0);
  }
};

TEST_P(DecodedSyntaxes, SamplesEqualTheSourceOrThePeer) {
  const Row& row = GetParam();
  for (const char* command : {row.maker, row.peer})
    if (command && !HaveProgram(FirstWord(command)))
      GTEST_SKIP() << FirstWord(command) << " is not installed";
  if (!codecfixtures::DecoderIsBuilt(row.syntax))
    GTEST_SKIP() << "this build has no decoder of " << row.syntax << " yet";
  MakeSamples(row.source);
  ASSERT_EQ(testsupport::Run(Filled(row.maker, row.source, "fixture.dcm"), dir.path()).status, 0);
  qzmDicomDataElementSet fixture;
  ASSERT_TRUE(fixture.Load(qzcFileName(dir.file("fixture.dcm"))));
  ASSERT_EQ(fixture[qzmDicomDataElementTag(0x0002, 0x0010)].UI(), row.syntax) << "the maker chose another syntax";

  std::string reference = row.source;
  if (row.peer) {
    ASSERT_EQ(testsupport::Run(Filled(row.peer, "fixture.dcm", "peer.dcm"), dir.path()).status, 0);
    reference = "peer.dcm";
  }
  const std::vector<int> expected = DecodedSamples(reference, row.words);
  const std::vector<int> decoded = DecodedSamples("fixture.dcm", row.words);
  ASSERT_FALSE(decoded.empty());
  ASSERT_EQ(decoded.size(), expected.size());
  int worst = 0;
  for (std::size_t k = 0; k < decoded.size(); ++k)
    worst = std::max(worst, std::abs(decoded[k] - expected[k]));
  EXPECT_LE(worst, row.tolerance);

  // The native file holds the decoded samples and elements that read back.
  const testsupport::RunResult run = Medconv("-d=el --frame=whole fixture.dcm");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(DecodedSamples("fixture.dcm.dcm", row.words), decoded);
  qzmDicomDataElementSet native;
  ASSERT_TRUE(native.Load(qzcFileName(dir.file("fixture.dcm.dcm"))));
  EXPECT_EQ(native[qzmDicomDataElementTag(0x0002, 0x0010)].UI(), "1.2.840.10008.1.2.1");
  const auto lossy = native.find(qzmDicomDataElementTag(0x0028, 0x2110));
  EXPECT_EQ(lossy != native.end() && lossy->second.CS() == "01", qzmCodecTable::Find(row.syntax)->Lossy);
  if (HaveProgram("dcmdump")) {
    EXPECT_EQ(testsupport::Run("dcmdump +E fixture.dcm.dcm >/dev/null", dir.path()).status, 0);
  }
}

// Test names from the rows' names, letters and digits only.
std::string RowName(const ::testing::TestParamInfo<Row>& info) {
  std::string name;
  for (const char* c = info.param.name; *c; ++c)
    if (std::isalnum(static_cast<unsigned char>(*c)))
      name += *c;
  return name;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, DecodedSyntaxes, ::testing::ValuesIn(Rows), RowName);

}  // namespace
