#include "CodecFixtures.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include "codecs/qzmJpegExtended12Decoder.h"
#include "support/TestSupport.h"

namespace codecfixtures {

namespace {

const std::uint32_t PixelData = 0x7FE00010, Undefined = 0xFFFFFFFF;

std::uint16_t Word(const Bytes& b, std::size_t pos) {
  return std::uint16_t(b[pos] | b[pos + 1] << 8);
}
std::uint32_t Long(const Bytes& b, std::size_t pos) {
  return std::uint32_t(Word(b, pos) | Word(b, pos + 2) << 16);
}

bool LongLength(const Bytes& b, std::size_t pos) {
  for (const char* vr = "OBOWOFODOLOVSQUTUNUCURSVUV"; *vr; vr += 2)
    if (b[pos] == vr[0] && b[pos + 1] == vr[1])
      return true;
  return false;
}

}  // namespace

// The top-level elements are kept; sequences of undefined length are walked
// through (depth counts them), items of known length skipped.
bool FixtureFile::Read(const std::string& path) {
  const Bytes f = testsupport::ReadBytes(path);
  *this = FixtureFile();
  if (f.size() < 132 || std::memcmp(&f[128], "DICM", 4) != 0)
    return false;
  std::size_t pos = 132;
  int depth = 0;
  bool inPixels = false, table = true;
  while (pos + 8 <= f.size()) {
    const std::uint32_t tag = std::uint32_t(Word(f, pos)) << 16 | Word(f, pos + 2);
    std::uint32_t length = Long(f, pos + 4);
    if (tag >> 16 == 0xFFFE) {
      pos += 8;
      if (tag == 0xFFFEE0DD) {
        --depth;
        inPixels = false;
      }
      if (tag != 0xFFFEE000 || length == Undefined)
        continue;
      if (length > f.size() - pos)
        return false;
      if (inPixels && !table)
        fragments_.emplace_back(f.begin() + long(pos), f.begin() + long(pos + length));
      table = table && !inPixels;
      pos += length;
      continue;
    }
    if (tag >= 0x00030000 && TransferSyntax() == "1.2.840.10008.1.2") {
      pos += 8;
    } else if (LongLength(f, pos + 4)) {
      if (pos + 12 > f.size())
        return false;
      length = Long(f, pos + 8);
      pos += 12;
    } else {
      length = Word(f, pos + 6);
      pos += 8;
    }
    if (length == Undefined) {
      inPixels = ++depth == 1 && tag == PixelData;
    } else if (length > f.size() - pos) {
      return false;
    } else {
      if (depth == 0)
        (tag == PixelData ? native_ : values_[tag]) = Bytes(f.begin() + long(pos), f.begin() + long(pos + length));
      pos += length;
    }
  }
  return depth == 0;
}

std::string FixtureFile::Text(std::uint32_t tag) const {
  const auto value = values_.find(tag);
  std::string text = value == values_.end() ? "" : std::string(value->second.begin(), value->second.end());
  return text.substr(0, text.find_last_not_of(std::string(" \0", 2)) + 1);
}

unsigned FixtureFile::Number(std::uint32_t tag) const {
  const auto value = values_.find(tag);
  if (tag == 0x00280008)  // Number of Frames is IS text
    return unsigned(std::strtoul(Text(tag).c_str(), nullptr, 10));
  return value != values_.end() && value->second.size() >= 2 ? Word(value->second, 0) : 0;
}

qzmPixelLayout FixtureFile::Layout() const {
  qzmPixelLayout layout;
  layout.Rows = UWORD(Number(0x00280010));
  layout.Columns = UWORD(Number(0x00280011));
  layout.SamplesPerPixel = UWORD(Number(0x00280002));
  layout.BitsAllocated = UWORD(Number(0x00280100));
  layout.BitsStored = UWORD(Number(0x00280101));
  layout.PixelRepresentation = UWORD(Number(0x00280103));
  layout.PlanarConfiguration = UWORD(Number(0x00280006));
  layout.PhotometricInterpretation = Text(0x00280004);
  return layout;
}

Bytes FixtureFile::FrameStream(unsigned index) const {
  if (fragments_.size() == Frames())
    return index < fragments_.size() ? fragments_[index] : Bytes();
  Bytes all;
  for (const Bytes& fragment : fragments_)
    all.insert(all.end(), fragment.begin(), fragment.end());
  return Frames() == 1 ? all : Bytes();
}

Bytes FixtureFile::NativeFrame(unsigned index) const {
  const qzmPixelLayout layout = Layout();
  const std::size_t size = std::size_t(layout.FrameBytes()), unit = layout.BytesPerSample(),
                    plane = size / std::max<std::size_t>(1, layout.SamplesPerPixel);
  if ((index + 1) * size > native_.size())
    return Bytes();
  const Bytes stored(native_.begin() + long(index * size), native_.begin() + long((index + 1) * size));
  if (layout.PlanarConfiguration != 1 || layout.SamplesPerPixel != 3)
    return stored;
  Bytes out(size);
  for (std::size_t at = 0; at < plane; at += unit)
    for (std::size_t c = 0; c < 3; ++c)
      std::copy_n(&stored[c * plane + at], unit, &out[at * 3 + c * unit]);
  return out;
}

bool MakeSamples(const std::string& folder) {
  return testsupport::Run(std::string(MEDCONV_BUILD_DIR) + "/tools/mksamples " + folder).status == 0;
}

void RunAll(const std::string& folder, const std::string& first, const std::vector<std::string>& commands) {
  std::string lines;
  for (const std::string& command : commands)
    lines += command + "\n";
  testsupport::WriteText(folder + "/commands.txt", lines);
  testsupport::Run("(" + first + ") ; xargs -d '\\n' -n 1 -P 3 sh -c < commands.txt", folder);
}

Decoded Decode(const qzmPixelDecoder& decoder, const Bytes& stream, const qzmPixelLayout& layout) {
  Decoded result;
  ReportCapture reports;
  result.out.assign(std::size_t(layout.FrameBytes()), 0);
  qzcString photometric = layout.PhotometricInterpretation;
  result.ok = decoder.Decode(stream.data(), ULONG(stream.size()), layout, result.out.data(), photometric);
  result.photometric = photometric;
  result.errors = reports.Errors();
  return result;
}

void ExpectFramesLike(const FixtureFile& compressed, const FixtureFile& reference, const qzmPixelDecoder& decoder,
                      long tolerance, long inHouse, const std::string& photometric) {
  const qzmJpegExtended12Decoder dct;
  const qzmPixelLayout layout = compressed.Layout();
  for (unsigned frame = 0; frame < compressed.Frames(); ++frame) {
    SCOPED_TRACE("frame " + std::to_string(frame + 1));
    const Bytes stream = compressed.FrameStream(frame), expected = reference.NativeFrame(frame);
    ASSERT_FALSE(expected.empty());
    for (const qzmPixelDecoder* each : {&decoder, inHouse < 0 ? nullptr : static_cast<const qzmPixelDecoder*>(&dct)}) {
      if (!each)
        continue;
      const Decoded decoded = Decode(*each, stream, layout);
      ASSERT_TRUE(decoded.ok) << decoded.errors;
      EXPECT_EQ(decoded.photometric, photometric);
      const long difference = LargestDifference(decoded.out, expected, layout);
      EXPECT_GE(difference, 0);
      EXPECT_LE(difference, each == &decoder ? tolerance : inHouse);
    }
  }
}

long LargestDifference(const Bytes& a, const Bytes& b, const qzmPixelLayout& layout) {
  if (a.size() != b.size())
    return -1;
  long largest = 0;
  const unsigned unit = layout.BytesPerSample();
  for (std::size_t pos = 0; pos + unit <= a.size(); pos += unit) {
    long x = 0, y = 0;
    for (unsigned k = unit; k-- > 0;) {
      x = x << 8 | a[pos + k];
      y = y << 8 | b[pos + k];
    }
    largest = std::max(largest, std::labs(x - y));
  }
  return largest;
}

}  // namespace codecfixtures
