// Every decoder of the codec table on what DCMTK and GDCM make at test time
// from the project's samples, and on pydicom's compressed files: the source's
// samples, or the peer's within a tolerance (DCT by the in-house decoder too);
// the fixtures then refused when cut, or when the set disagrees with them.
#include <gtest/gtest.h>

#include "CodecFixtures.h"
#include "codecs/qzmCodecTable.h"
#include "codecs/qzmJpegExtended12Decoder.h"
#include "support/TestSupport.h"

namespace {

using namespace codecfixtures;

struct Row {
  const char* sample;       // by mksamples (bigendian.dcm rewritten little endian), or signed.dcm made from it
  const char* maker;        // run as <maker> <sample> <fixture>
  const char* syntax;       // what the fixture must be in
  const char* peer;         // run as <peer> <fixture> <decoded>; null: the sample is the reference
  int tolerance, inHouse;   // largest difference from the reference, and for the in-house DCT decoder (-1: none)
  const char* photometric;  // of the decoded samples
};

// ct.dcm: 64 x 64, 12 of 16 bits; bigendian.dcm: 48 x 32, 16 of 16 bits;
// rgb.dcm: 8-bit RGB; multiframe.dcm: three 8-bit frames. libjpeg-turbo and
// DCMTK may round the inverse DCT's last step differently; the in-house
// decoder may differ by 1 in a chroma sample, up to 2 in red or blue.
const Row Rows[] = {
    {"ct.dcm", "dcmcrle", "1.2.840.10008.1.2.5", nullptr, 0, -1, "MONOCHROME2"},
    {"rgb.dcm", "dcmcrle", "1.2.840.10008.1.2.5", nullptr, 0, -1, "RGB"},
    {"multiframe.dcm", "gdcmconv --rle", "1.2.840.10008.1.2.5", nullptr, 0, -1, "MONOCHROME2"},
    {"ct.dcm", "dcmcjpeg +e1", "1.2.840.10008.1.2.4.70", nullptr, 0, -1, "MONOCHROME2"},
    {"rgb.dcm", "dcmcjpeg +e1", "1.2.840.10008.1.2.4.70", nullptr, 0, -1, "RGB"},
    {"ct.dcm", "dcmcjpeg +ee", "1.2.840.10008.1.2.4.51", "dcmdjpeg", 1, 1, "MONOCHROME2"},
    {"multiframe.dcm", "dcmcjpeg +eb", "1.2.840.10008.1.2.4.50", "dcmdjpeg", 1, 1, "MONOCHROME2"},
    {"rgb.dcm", "dcmcjpeg +eb", "1.2.840.10008.1.2.4.50", "dcmdjpeg", 1, 2, "RGB"},
    {"rgb.dcm", "dcmcjpeg +eb +n1", "1.2.840.10008.1.2.4.50", "dcmdjpeg", 1, 2, "RGB"},
    {"rgb.dcm", "dcmcjpeg +eb +cr", "1.2.840.10008.1.2.4.50", "dcmdjpeg", 1, 1, "RGB"},
    {"ct.dcm", "dcmcjpls", "1.2.840.10008.1.2.4.80", nullptr, 0, -1, "MONOCHROME2"},
    {"bigendian.dcm", "dcmcjpls", "1.2.840.10008.1.2.4.80", nullptr, 0, -1, "MONOCHROME2"},
    {"signed.dcm", "dcmcjpls", "1.2.840.10008.1.2.4.80", nullptr, 0, -1, "MONOCHROME2"},
    {"rgb.dcm", "dcmcjpls +il", "1.2.840.10008.1.2.4.80", nullptr, 0, -1, "RGB"},
    {"rgb.dcm", "dcmcjpls +in", "1.2.840.10008.1.2.4.80", nullptr, 0, -1, "RGB"},
    {"ct.dcm", "dcmcjpls +en", "1.2.840.10008.1.2.4.81", "dcmdjpls", 0, -1, "MONOCHROME2"},
    {"bigendian.dcm", "gdcmconv --j2k", "1.2.840.10008.1.2.4.90", nullptr, 0, -1, "MONOCHROME2"},
    {"signed.dcm", "gdcmconv --j2k", "1.2.840.10008.1.2.4.90", nullptr, 0, -1, "MONOCHROME2"},
    {"multiframe.dcm", "gdcmconv --j2k", "1.2.840.10008.1.2.4.90", nullptr, 0, -1, "MONOCHROME2"},
    {"rgb.dcm", "gdcmconv --j2k", "1.2.840.10008.1.2.4.90", nullptr, 0, -1, "RGB"},
    {"ct.dcm", "gdcmconv --j2k --lossy -q 40", "1.2.840.10008.1.2.4.91", "gdcmconv --raw", 0, -1, "MONOCHROME2"},
    {"rgb.dcm", "gdcmconv --j2k --lossy -q 40", "1.2.840.10008.1.2.4.91", "gdcmconv --raw", 0, -1, "RGB"},
};

// The refusals of a stream that is damaged or disagrees with the set: an
// error (naming the set's wrong value, but for RLE whose stream has no
// header), never a read out of bounds. 8-bit samples fit any unit.
void ExpectRefusals(const qzmPixelDecoder& decoder, const Bytes& stream, const qzmPixelLayout& layout, bool rle) {
  for (int change = 0; change < 4 - (layout.BitsStored <= 8); ++change) {
    qzmPixelLayout wrong = layout;
    UWORD* fields[] = {&wrong.Rows, &wrong.Columns, &wrong.SamplesPerPixel, &wrong.BitsAllocated};
    const UWORD values[] = {UWORD(layout.Rows + 1), UWORD(layout.Columns - 1), UWORD(4 - layout.SamplesPerPixel), 8};
    *fields[change] = values[change];
    const Decoded decoded = Decode(decoder, stream, wrong);
    EXPECT_FALSE(decoded.ok) << "change " << change;
    EXPECT_TRUE(rle || decoded.errors.find(std::to_string(values[change])) != std::string::npos) << decoded.errors;
  }
  for (const std::size_t kept : {stream.size() / 2, std::size_t(40), std::size_t(2), std::size_t(0)}) {
    const Decoded decoded = Decode(decoder, Bytes(stream.begin(), stream.begin() + long(kept)), layout);
    EXPECT_FALSE(decoded.ok) << "cut to " << kept << " bytes";
    EXPECT_NE(decoded.errors, "");
  }
}

TEST(CompressedFixtures, DecodeLikeTheSourceOrThePeerAndRefuseDamage) {
  for (const char* tool : {"dcmodify", "dcmcrle", "dcmcjpeg", "dcmdjpeg", "dcmcjpls", "dcmdjpls", "gdcmconv"})
    if (!testsupport::HaveProgram(tool))
      GTEST_SKIP() << tool << " is not installed";
  testsupport::TempDir dir;
  std::vector<std::string> commands;
  for (const Row& row : Rows) {
    const std::string name = std::to_string(commands.size());
    commands.push_back(std::string(row.maker) + " " + row.sample + " " + name + ".dcm" +
                       (row.peer ? std::string(" && ") + row.peer + " " + name + ".dcm " + name + ".peer.dcm" : ""));
  }
  RunAll(dir.path(),  // signed.dcm: a fifth of the 16-bit samples negative when read as signed
         std::string(MEDCONV_BUILD_DIR) +
             "/tools/mksamples . && dcmconv +te bigendian.dcm le.dcm && "
             "mv le.dcm bigendian.dcm && cp bigendian.dcm signed.dcm && dcmodify -nb -m '(0028,0103)=1' signed.dcm",
         commands);
  for (std::size_t k = 0; k < commands.size(); ++k) {
    const Row& row = Rows[k];
    SCOPED_TRACE(std::string(row.sample) + " by " + row.maker);
    const qzmPixelDecoder* decoder = qzmCodecTable::DecoderFor(row.syntax);
    if (!decoder)
      continue;  // not in this build
    FixtureFile fixture, reference;
    ASSERT_TRUE(fixture.Read(dir.file(std::to_string(k) + ".dcm")));
    ASSERT_TRUE(reference.Read(dir.file(row.peer ? std::to_string(k) + ".peer.dcm" : row.sample)));
    ASSERT_EQ(fixture.TransferSyntax(), row.syntax);
    ExpectFramesLike(fixture, reference, *decoder, row.tolerance, row.inHouse, row.photometric);
    const Bytes stream = fixture.FrameStream(0), end{0xFF, 0xD9};
    const Bytes unended(stream.begin(), std::find_end(stream.begin(), stream.end(), end.begin(), end.end()));
    EXPECT_TRUE(std::string(row.syntax).find(".4.8") == std::string::npos ||  // JPEG-LS needs no end marker
                Decode(*decoder, unended, fixture.Layout()).ok);
    ExpectRefusals(*decoder, stream, fixture.Layout(), row.syntax == std::string(RleSyntax));
    qzmPixelLayout wide = fixture.Layout();  // 8-bit DCT samples may come in 16-bit units
    wide.BitsAllocated = 16;
    EXPECT_TRUE(row.inHouse < 0 || wide.BitsStored > 8 || Decode(*decoder, stream, wide).ok);
    if (row.inHouse >= 0 && fixture.Layout().BitsStored > 8)
      ExpectJpegDamagesRefused(qzmJpegExtended12Decoder(), 2, stream, fixture.Layout());
  }
}

// The corpus against a peer's decoding made at test time: DCMTK's for RLE and
// JPEG (GDCM leaves JPEG's YCbCr as it is), GDCM's for the others.
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
    const std::string peer = syntax == RleSyntax                                       ? "dcmdrle"
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
    ExpectFramesLike(file, peer, *qzmCodecTable::DecoderFor(syntax), dct,
                     dct ? 1 + file.Layout().SamplesPerPixel / 3 : -1, peer.Layout().PhotometricInterpretation);
    ++checked;
  }
  EXPECT_GT(checked, 0u);
}

}  // namespace
