// Fixtures of the decoder tests: a small reader of the files that DCMTK,
// GDCM and the project's samples hold (little endian, explicit or implicit
// VR), enough to take out the image elements, native frames and the code
// stream of each frame; external tools run over many files at once; and one
// decoding through a decoder with its reports.
#ifndef MEDCONV_TESTS_CODECS_CODEC_FIXTURES_H
#define MEDCONV_TESTS_CODECS_CODEC_FIXTURES_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "codecs/qzmPixelDecoder.h"
#include "support/CodecFixtures.h"

namespace codecfixtures {

class FixtureFile {
 public:
  // False when the bytes are not a file this reader understands.
  bool Parse(const Bytes& file);
  bool Read(const std::string& path);

  std::string Text(std::uint32_t tag) const;
  unsigned Number(std::uint32_t tag) const;  // US, or IS text
  std::string TransferSyntax() const { return Text(0x00020010); }
  qzmPixelLayout Layout() const;
  unsigned Frames() const;
  // Native frame `index` (from 0), colour-by-pixel whatever the planar
  // configuration; empty when the pixel data end before it.
  Bytes NativeFrame(unsigned index) const;
  // The code stream of frame `index`: one fragment per frame, or every
  // fragment for a single frame.
  Bytes FrameStream(unsigned index) const;
  bool Encapsulated() const { return !fragments_.empty(); }

 private:
  std::map<std::uint32_t, Bytes> values_;
  Bytes native_;
  std::vector<Bytes> fragments_;  // after the offset table
};

// The project's samples written into folder (by build/tools/mksamples).
bool MakeSamples(const std::string& folder);
// Runs each command line in folder, a few at a time, after `first` (run alone).
void RunAll(const std::string& folder, const std::string& first, const std::vector<std::string>& commands);

struct Decoded {
  bool ok = false;
  Bytes out;
  std::string photometric, errors;
};
Decoded Decode(const qzmPixelDecoder& decoder, const Bytes& stream, const qzmPixelLayout& layout);

// The largest difference between the samples of two decodings of one frame;
// -1 when their sizes differ.
long LargestDifference(const Bytes& a, const Bytes& b, const qzmPixelLayout& layout);

}  // namespace codecfixtures

#endif
