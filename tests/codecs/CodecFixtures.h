// Fixtures of the decoder tests: a reader of the files of DCMTK, GDCM and the
// samples (little endian), enough for the image elements, native frames and
// each frame's code stream; tools run over many files at once; decodings.
#ifndef MEDCONV_TESTS_CODECS_CODEC_FIXTURES_H
#define MEDCONV_TESTS_CODECS_CODEC_FIXTURES_H

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "codecs/qzmPixelDecoder.h"
#include "support/CodecFixtures.h"

namespace codecfixtures {

class FixtureFile {
 public:
  bool Read(const std::string& path);  // false when not a file this reader understands
  std::string Text(std::uint32_t tag) const;
  unsigned Number(std::uint32_t tag) const;  // US, or IS text
  std::string TransferSyntax() const { return Text(0x00020010); }
  qzmPixelLayout Layout() const;
  unsigned Frames() const { return std::max(1u, Number(0x00280008)); }
  // Native frame `index` (from 0) colour-by-pixel; empty past the pixel data.
  Bytes NativeFrame(unsigned index) const;
  // The code stream of a frame: one fragment per frame, or all for one frame.
  Bytes FrameStream(unsigned index) const;
  bool Encapsulated() const { return !items_.empty(); }

 private:
  std::map<std::uint32_t, Bytes> values_;
  Bytes native_;
  std::vector<Bytes> items_;  // of encapsulated Pixel Data, the offset table first
};

const char* const RleSyntax = "1.2.840.10008.1.2.5";
// Runs each command line in folder, a few at a time, after `first` (alone).
void RunAll(const std::string& folder, const std::string& first, const std::vector<std::string>& commands);

qzmPixelLayout MakeLayout(int rows, int columns, int samples, int bitsStored);
struct Decoded {
  bool ok = false;
  Bytes out;
  std::string photometric, errors;
};
Decoded Decode(const qzmPixelDecoder& decoder, const Bytes& stream, const qzmPixelLayout& layout);

// Every frame of compressed decoded by decoder, and when inHouse >= 0 by the
// in-house DCT decoder, into reference's samples within the tolerances.
void ExpectFramesLike(const FixtureFile& compressed, const FixtureFile& reference, const qzmPixelDecoder& decoder,
                      long tolerance, long inHouse, const std::string& photometric);

// Damaged copies of a JPEG stream refused with errors that say why (kind 1:
// lossless damages, 2: DCT).
void ExpectJpegDamagesRefused(const qzmPixelDecoder& decoder, int kind, const Bytes& stream,
                              const qzmPixelLayout& layout);

}  // namespace codecfixtures

#endif
