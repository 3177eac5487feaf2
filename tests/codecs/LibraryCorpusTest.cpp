// The library-backed decoders on the JPEG, JPEG-LS and JPEG 2000 files of
// Debian's pydicom test corpus: frame 1 of each decoded and compared with
// a peer's decoding (DCMTK's for JPEG, GDCM's for the others) made at test
// time. JPEG streams of 12-bit precision belong to the in-house decoder's
// tests. Skipped when pydicom, DCMTK or GDCM is absent.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "CodecFixtures.h"
#include "codecs/qzmCodecTable.h"
#include "dicom/CapturedReports.h"
#include "support/TestSupport.h"

namespace {

using codecfixtures::Bytes;
using codecfixtures::FixtureFile;

// The peer of each syntax and the largest difference allowed from its
// decoding. GDCM leaves JPEG's YCbCr as it is, so JPEG goes to DCMTK, whose
// build of the IJG library may round the last step of the inverse DCT or the
// colour conversion differently from libjpeg-turbo.
struct Peer {
  const char* Command;
  long Tolerance;
};

const std::map<std::string, Peer>& Peers() {
  static const std::map<std::string, Peer> peers = {
      {"1.2.840.10008.1.2.4.50", {"dcmdjpeg", 1}},        {"1.2.840.10008.1.2.4.51", {"dcmdjpeg", 1}},
      {"1.2.840.10008.1.2.4.80", {"gdcmconv --raw", 0}},  {"1.2.840.10008.1.2.4.81", {"gdcmconv --raw", 0}},
      {"1.2.840.10008.1.2.4.90", {"gdcmconv --raw", 0}},  {"1.2.840.10008.1.2.4.91", {"gdcmconv --raw", 0}},
      {"1.2.840.10008.1.2.4.201", {"gdcmconv --raw", 0}}, {"1.2.840.10008.1.2.4.202", {"gdcmconv --raw", 0}},
      {"1.2.840.10008.1.2.4.203", {"gdcmconv --raw", 0}},
  };
  return peers;
}

std::vector<std::string> CorpusFiles() {
  const testsupport::RunResult listed = testsupport::Run("dpkg -L python3-pydicom 2>/dev/null | grep '\\.dcm$'");
  std::vector<std::string> files;
  std::string::size_type start = 0, end;
  while ((end = listed.out.find('\n', start)) != std::string::npos) {
    files.push_back(listed.out.substr(start, end - start));
    start = end + 1;
  }
  return files;
}

// The sample precision of a JPEG stream's frame header; 0 when none is found.
int JpegPrecision(const Bytes& stream) {
  std::size_t pos = 2;
  while (pos + 4 < stream.size() && stream[pos] == 0xFF) {
    const unsigned marker = stream[pos + 1];
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
      return stream[pos + 4];
    pos += 2 + (std::size_t(stream[pos + 2]) << 8 | stream[pos + 3]);
  }
  return 0;
}

std::string BaseName(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

TEST(LibraryCorpusTest, FirstFramesDecodeLikeGdcm) {
  bool anyDecoder = false;
  for (const auto& syntax : Peers())
    anyDecoder = anyDecoder || qzmCodecTable::DecoderFor(syntax.first);
  if (!anyDecoder)
    GTEST_SKIP() << "this build has none of the library-backed decoders";
  const std::vector<std::string> files = CorpusFiles();
  if (files.empty() || !testsupport::HaveProgram("gdcmconv") || !testsupport::HaveProgram("dcmdjpeg"))
    GTEST_SKIP() << "pydicom's corpus, gdcmconv or dcmdjpeg missing";
  testsupport::TempDir folder;
  unsigned checked = 0;
  for (const std::string& path : files) {
    FixtureFile file;
    if (!codecfixtures::ReadFixture(path, file) || !file.Encapsulated())
      continue;
    const auto peerOfSyntax = Peers().find(file.TransferSyntax());
    const qzmPixelDecoder* decoder = qzmCodecTable::DecoderFor(file.TransferSyntax());
    if (peerOfSyntax == Peers().end() || !decoder)
      continue;
    const Peer& peerTool = peerOfSyntax->second;
    const Bytes stream = file.FrameStream(0);
    if (peerTool.Command == std::string("dcmdjpeg") && JpegPrecision(stream) == 12)
      continue;
    SCOPED_TRACE(BaseName(path));
    const std::string peerName = folder.file(BaseName(path));
    FixtureFile peer;
    if (testsupport::Run(std::string(peerTool.Command) + " '" + path + "' '" + peerName + "'").status != 0 ||
        !codecfixtures::ReadFixture(peerName, peer))
      continue;  // not a file GDCM decodes either
    const qzmPixelLayout layout = file.Layout();
    Bytes out(std::size_t(layout.FrameBytes()), 0);
    qzcString photometric = layout.PhotometricInterpretation;
    CapturedReports reports;
    if (!decoder->Decode(stream.data(), ULONG(stream.size()), layout, out.data(), photometric)) {
      ADD_FAILURE() << reports.Errors();
      continue;
    }
    const Bytes peerPixels = peer.PixelsByPixel();
    const Bytes expected(peerPixels.begin(), peerPixels.begin() + long(std::min(out.size(), peerPixels.size())));
    EXPECT_EQ(photometric, peer.Layout().PhotometricInterpretation);
    EXPECT_LE(codecfixtures::LargestDifference(out, expected, layout), peerTool.Tolerance);
    ++checked;
  }
  EXPECT_GT(checked, 0u);
  std::printf("%u corpus files compared with their peer's decoding\n", checked);
}

}  // namespace
