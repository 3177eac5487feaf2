// The decoders on the compressed files of Debian's pydicom test corpus: every
// frame decoded by the codec table's decoder (and JPEG DCT streams by the
// in-house decoder too) and compared with a peer's decoding made at test
// time: DCMTK's for RLE and JPEG (GDCM leaves JPEG's YCbCr as it is), GDCM's
// for the others. Skipped when pydicom, DCMTK or GDCM is absent.
#include <gtest/gtest.h>

#include <cstdio>

#include "CodecFixtures.h"
#include "codecs/qzmCodecTable.h"
#include "codecs/qzmJpegExtended12Decoder.h"
#include "support/TestSupport.h"

namespace {

using namespace codecfixtures;

bool Dct(const std::string& syntax) {
  return syntax == "1.2.840.10008.1.2.4.50" || syntax == "1.2.840.10008.1.2.4.51";
}

// The peer's decoder and the largest difference allowed from it: DCMTK's
// build of the IJG library may round the last step of the inverse DCT or the
// colour conversion differently from libjpeg-turbo.
std::string Peer(const std::string& syntax, int& tolerance) {
  tolerance = Dct(syntax) ? 1 : 0;
  if (syntax == "1.2.840.10008.1.2.5")
    return "dcmdrle";
  return syntax.compare(0, 20, "1.2.840.10008.1.2.4.") == 0 && syntax.size() == 22 && syntax[20] < '8' ? "dcmdjpeg"
                                                                                                      : "gdcmconv --raw";
}

TEST(Corpus, FramesDecodeLikeThePeers) {
  const testsupport::RunResult listed = testsupport::Run("dpkg -L python3-pydicom 2>/dev/null | grep '\\.dcm$'");
  if (listed.out.empty() || !testsupport::HaveProgram("gdcmconv") || !testsupport::HaveProgram("dcmdjpeg"))
    GTEST_SKIP() << "pydicom's corpus, GDCM or DCMTK is missing";
  testsupport::TempDir dir;
  std::vector<std::string> paths, commands;
  std::vector<FixtureFile> files;
  for (std::size_t start = 0, end; (end = listed.out.find('\n', start)) != std::string::npos; start = end + 1) {
    FixtureFile file;
    const std::string path = listed.out.substr(start, end - start);
    if (!file.Read(path) || !file.Encapsulated() || !qzmCodecTable::DecoderFor(file.TransferSyntax()))
      continue;
    int tolerance;
    commands.push_back(Peer(file.TransferSyntax(), tolerance) + " '" + path + "' " +
                       std::to_string(files.size()) + ".dcm");
    paths.push_back(path);
    files.push_back(file);
  }
  RunAll(dir.path(), "true", commands);
  const qzmJpegExtended12Decoder inHouse;
  unsigned checked = 0;
  for (std::size_t k = 0; k < files.size(); ++k) {
    SCOPED_TRACE(paths[k]);
    FixtureFile peer;
    if (!peer.Read(dir.file(std::to_string(k) + ".dcm")))
      continue;  // not a file the peer decodes either
    const std::string syntax = files[k].TransferSyntax();
    const qzmPixelLayout layout = files[k].Layout();
    int tolerance;
    Peer(syntax, tolerance);
    for (unsigned frame = 0; frame < files[k].Frames(); ++frame) {
      SCOPED_TRACE("frame " + std::to_string(frame + 1));
      const Bytes stream = files[k].FrameStream(frame), expected = peer.NativeFrame(frame);
      ASSERT_FALSE(expected.empty());
      for (const qzmPixelDecoder* decoder :
           {qzmCodecTable::DecoderFor(syntax), Dct(syntax) ? static_cast<const qzmPixelDecoder*>(&inHouse) : nullptr}) {
        if (!decoder)
          continue;
        const Decoded decoded = Decode(*decoder, stream, layout);
        ASSERT_TRUE(decoded.ok) << decoded.errors;
        EXPECT_EQ(decoded.photometric, peer.Layout().PhotometricInterpretation);
        const long difference = LargestDifference(decoded.out, expected, layout);
        EXPECT_GE(difference, 0);
        EXPECT_LE(difference, decoder == &inHouse && layout.SamplesPerPixel == 3 ? tolerance + 1 : tolerance);
      }
    }
    ++checked;
  }
  EXPECT_GT(checked, 0u);
  std::printf("%u corpus files compared with their peer's decoding\n", checked);
}

}  // namespace
