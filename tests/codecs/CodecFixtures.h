// Fixtures of the decoder tests: DICOM files compressed at test time by DCMTK
// and GDCM from the project's samples, and a small reader of the files they
// write (explicit VR little endian), enough to take out the image elements,
// native pixels and the fragments of encapsulated Pixel Data.
#ifndef MEDCONV_TESTS_CODECS_CODEC_FIXTURES_H
#define MEDCONV_TESTS_CODECS_CODEC_FIXTURES_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "codecs/qzmPixelLayout.h"

namespace codecfixtures {

typedef std::vector<unsigned char> Bytes;

class FixtureFile {
 public:
  // False when the bytes are not a file this reader understands.
  bool Parse(const Bytes& file);

  std::string TransferSyntax() const { return Text(0x0002, 0x0010); }
  std::string Text(std::uint16_t group, std::uint16_t element) const;
  unsigned Number(std::uint16_t group, std::uint16_t element) const;  // US, or IS text
  qzmPixelLayout Layout() const;
  unsigned Frames() const;

  // Native Pixel Data, as stored (little endian).
  const Bytes& NativePixels() const { return native_; }
  // The same, colour-by-pixel whatever the planar configuration.
  Bytes PixelsByPixel() const;
  // The code stream of frame `index` (from 0) of encapsulated Pixel Data:
  // one fragment per frame, or every fragment for a single frame.
  Bytes FrameStream(unsigned index) const;
  bool Encapsulated() const { return !fragments_.empty(); }

 private:
  bool ParseElements(const Bytes& file, std::size_t& pos, bool topLevel, bool untilItemEnd);
  bool ParseEncapsulated(const Bytes& file, std::size_t& pos);
  bool SkipItems(const Bytes& file, std::size_t& pos);

  std::map<std::uint32_t, Bytes> values_;
  Bytes native_;
  std::vector<Bytes> fragments_;  // after the offset table
};

// The project's samples written into folder (by build/tools/mksamples).
bool MakeSamples(const std::string& folder);
bool ReadFixture(const std::string& path, FixtureFile& file);

// Samples of one frame of a decoded stream, whatever the unit.
std::vector<long> SampleValues(const Bytes& frame, const qzmPixelLayout& layout);
// The largest difference between two decodings of the same frame; -1 when
// their sizes differ.
long LargestDifference(const Bytes& a, const Bytes& b, const qzmPixelLayout& layout);

}  // namespace codecfixtures

#endif
