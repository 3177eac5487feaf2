// The decoders on the compressed files of Debian's pydicom test corpus: every
// frame decoded by the codec table's decoder (JPEG DCT streams by the
// in-house decoder too) and compared with a peer's decoding made at test
// time: DCMTK's for RLE and JPEG (GDCM leaves JPEG's YCbCr as it is), GDCM's
// for the others. Skipped when pydicom, DCMTK or GDCM is absent.
#include <gtest/gtest.h>

#include "CodecFixtures.h"
#include "codecs/qzmCodecTable.h"
#include "support/TestSupport.h"

namespace {

using namespace codecfixtures;

TEST(Corpus, FramesDecodeLikeThePeers) {
  const testsupport::RunResult listed = testsupport::Run("dpkg -L python3-pydicom 2>/dev/null | grep '\\.dcm$'");
  if (listed.out.empty() || !testsupport::HaveProgram("gdcmconv") || !testsupport::HaveProgram("dcmdjpeg"))
    GTEST_SKIP() << "pydicom's corpus, GDCM or DCMTK is missing";
  testsupport::TempDir dir;
  std::vector<std::string> paths, commands;
  for (std::size_t start = 0, end; (end = listed.out.find('\n', start)) != std::string::npos; start = end + 1) {
    FixtureFile file;
    const std::string path = listed.out.substr(start, end - start);
    if (!file.Read(path) || !file.Encapsulated() || !qzmCodecTable::DecoderFor(file.TransferSyntax()))
      continue;
    const std::string syntax = file.TransferSyntax();  // JPEG is 1.2.840.10008.1.2.4.5x and .7x
    const std::string peer = syntax == "1.2.840.10008.1.2.5"                         ? "dcmdrle"
                             : syntax.size() == 22 && syntax < "1.2.840.10008.1.2.4.8" ? "dcmdjpeg"
                                                                                       : "gdcmconv --raw";
    commands.push_back(peer + " '" + path + "' " + std::to_string(paths.size()) + ".dcm");
    paths.push_back(path);
  }
  RunAll(dir.path(), "true", commands);
  unsigned checked = 0;
  for (std::size_t k = 0; k < paths.size(); ++k) {
    SCOPED_TRACE(paths[k]);
    FixtureFile file, peer;
    if (!file.Read(paths[k]) || !peer.Read(dir.file(std::to_string(k) + ".dcm")))
      continue;  // not a file the peer decodes either
    // DCMTK's build of the IJG library may round the last step of the inverse
    // DCT or of the colour conversion differently from libjpeg-turbo.
    const std::string syntax = file.TransferSyntax();
    const long dct = syntax == "1.2.840.10008.1.2.4.50" || syntax == "1.2.840.10008.1.2.4.51";
    ExpectFramesLike(file, peer, *qzmCodecTable::DecoderFor(syntax), dct, dct ? 1 + file.Layout().SamplesPerPixel / 3 : -1,
                     peer.Layout().PhotometricInterpretation);
    ++checked;
  }
  EXPECT_GT(checked, 0u);
}

}  // namespace
