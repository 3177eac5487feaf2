#include "CodecFixtures.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "support/TestSupport.h"

namespace codecfixtures {

namespace {

const std::uint32_t PixelData = 0x7FE00010;
const std::uint32_t Undefined = 0xFFFFFFFF;

std::uint16_t Word(const Bytes& b, std::size_t pos) {
  return std::uint16_t(b[pos] | b[pos + 1] << 8);
}
std::uint32_t Long(const Bytes& b, std::size_t pos) {
  return std::uint32_t(Word(b, pos) | Word(b, pos + 2) << 16);
}

bool HasLongLength(const char vr[2]) {
  static const char* const longs[] = {"OB", "OW", "OF", "OD", "OL", "OV", "SQ", "UT", "UN", "UC", "UR", "SV", "UV"};
  for (const char* candidate : longs)
    if (std::memcmp(vr, candidate, 2) == 0)
      return true;
  return false;
}

}  // namespace

bool FixtureFile::Parse(const Bytes& file) {
  values_.clear();
  native_.clear();
  fragments_.clear();
  if (file.size() < 132 || std::memcmp(&file[128], "DICM", 4) != 0)
    return false;
  std::size_t pos = 132;
  return ParseElements(file, pos, true, false);
}

// Elements in explicit VR little endian from pos, up to the end of the file
// or, inside an item of undefined length, up to its delimiter.
bool FixtureFile::ParseElements(const Bytes& file, std::size_t& pos, bool topLevel, bool untilItemEnd) {
  while (pos + 8 <= file.size()) {
    const std::uint32_t tag = std::uint32_t(Word(file, pos)) << 16 | Word(file, pos + 2);
    if (tag == 0xFFFEE00D) {
      pos += 8;
      return untilItemEnd;
    }
    const char vr[2] = {char(file[pos + 4]), char(file[pos + 5])};
    std::uint32_t length;
    if (HasLongLength(vr)) {
      if (pos + 12 > file.size())
        return false;
      length = Long(file, pos + 8);
      pos += 12;
    } else {
      length = Word(file, pos + 6);
      pos += 8;
    }
    if (length == Undefined) {
      const bool parsed = tag == PixelData ? ParseEncapsulated(file, pos) : SkipItems(file, pos);
      if (!parsed)
        return false;
      continue;
    }
    if (length > file.size() - pos)
      return false;
    const Bytes value(file.begin() + long(pos), file.begin() + long(pos + length));
    if (topLevel && tag == PixelData)
      native_ = value;
    else if (topLevel)
      values_[tag] = value;
    pos += length;
  }
  return !untilItemEnd;
}

bool FixtureFile::ParseEncapsulated(const Bytes& file, std::size_t& pos) {
  bool offsetTable = true;
  while (pos + 8 <= file.size()) {
    const std::uint32_t tag = std::uint32_t(Word(file, pos)) << 16 | Word(file, pos + 2);
    const std::uint32_t length = Long(file, pos + 4);
    pos += 8;
    if (tag == 0xFFFEE0DD)
      return true;
    if (tag != 0xFFFEE000 || length > file.size() - pos)
      return false;
    if (!offsetTable)
      fragments_.emplace_back(file.begin() + long(pos), file.begin() + long(pos + length));
    offsetTable = false;
    pos += length;
  }
  return false;
}

// Skips the items of a sequence of undefined length up to its delimiter.
bool FixtureFile::SkipItems(const Bytes& file, std::size_t& pos) {
  while (pos + 8 <= file.size()) {
    const std::uint32_t tag = std::uint32_t(Word(file, pos)) << 16 | Word(file, pos + 2);
    const std::uint32_t length = Long(file, pos + 4);
    pos += 8;
    if (tag == 0xFFFEE0DD)
      return true;
    if (tag != 0xFFFEE000)
      return false;
    if (length == Undefined) {
      if (!ParseElements(file, pos, false, true))
        return false;
    } else if (length <= file.size() - pos) {
      pos += length;
    } else {
      return false;
    }
  }
  return false;
}

std::string FixtureFile::Text(std::uint16_t group, std::uint16_t element) const {
  const auto value = values_.find(std::uint32_t(group) << 16 | element);
  if (value == values_.end())
    return std::string();
  std::string text(value->second.begin(), value->second.end());
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0'))
    text.pop_back();
  while (!text.empty() && text.front() == ' ')
    text.erase(0, 1);
  return text;
}

unsigned FixtureFile::Number(std::uint16_t group, std::uint16_t element) const {
  const auto value = values_.find(std::uint32_t(group) << 16 | element);
  if (value == values_.end())
    return 0;
  if (group == 0x0028 && element == 0x0008)  // Number of Frames is IS text
    return unsigned(std::strtoul(Text(group, element).c_str(), nullptr, 10));
  return value->second.size() >= 2 ? Word(value->second, 0) : 0;
}

qzmPixelLayout FixtureFile::Layout() const {
  qzmPixelLayout layout;
  layout.Rows = UWORD(Number(0x0028, 0x0010));
  layout.Columns = UWORD(Number(0x0028, 0x0011));
  layout.SamplesPerPixel = UWORD(Number(0x0028, 0x0002));
  layout.BitsAllocated = UWORD(Number(0x0028, 0x0100));
  layout.BitsStored = UWORD(Number(0x0028, 0x0101));
  layout.PixelRepresentation = UWORD(Number(0x0028, 0x0103));
  layout.PlanarConfiguration = UWORD(Number(0x0028, 0x0006));
  layout.PhotometricInterpretation = Text(0x0028, 0x0004);
  return layout;
}

unsigned FixtureFile::Frames() const {
  const unsigned frames = Number(0x0028, 0x0008);
  return frames == 0 ? 1 : frames;
}

Bytes FixtureFile::FrameStream(unsigned index) const {
  if (fragments_.size() == Frames())
    return index < fragments_.size() ? fragments_[index] : Bytes();
  Bytes all;
  if (Frames() == 1)
    for (const Bytes& fragment : fragments_)
      all.insert(all.end(), fragment.begin(), fragment.end());
  return all;
}

Bytes FixtureFile::PixelsByPixel() const {
  const qzmPixelLayout layout = Layout();
  if (layout.PlanarConfiguration != 1 || layout.SamplesPerPixel != 3)
    return native_;
  const std::size_t unit = layout.BytesPerSample();
  const std::size_t plane = std::size_t(layout.Rows) * layout.Columns * unit, frameBytes = plane * 3;
  Bytes out(native_.size());
  for (std::size_t frame = 0; frame + frameBytes <= native_.size(); frame += frameBytes)
    for (std::size_t pixel = 0; pixel < plane / unit; ++pixel)
      for (std::size_t c = 0; c < 3; ++c)
        for (std::size_t b = 0; b < unit; ++b)
          out[frame + (pixel * 3 + c) * unit + b] = native_[frame + c * plane + pixel * unit + b];
  return out;
}

bool MakeSamples(const std::string& folder) {
  return testsupport::Run(std::string(MEDCONV_BUILD_DIR) + "/tools/mksamples " + folder).status == 0;
}

bool ReadFixture(const std::string& path, FixtureFile& file) {
  return testsupport::FileExists(path) && file.Parse(testsupport::ReadBytes(path));
}

std::vector<long> SampleValues(const Bytes& frame, const qzmPixelLayout& layout) {
  std::vector<long> values;
  const unsigned bytes = layout.BytesPerSample();
  for (std::size_t pos = 0; pos + bytes <= frame.size(); pos += bytes) {
    unsigned long value = 0;
    for (unsigned k = bytes; k-- > 0;)
      value = value << 8 | frame[pos + k];
    values.push_back(long(value));
  }
  return values;
}

long LargestDifference(const Bytes& a, const Bytes& b, const qzmPixelLayout& layout) {
  if (a.size() != b.size())
    return -1;
  const std::vector<long> x = SampleValues(a, layout), y = SampleValues(b, layout);
  long largest = 0;
  for (std::size_t k = 0; k < x.size(); ++k)
    largest = std::max(largest, std::labs(x[k] - y[k]));
  return largest;
}

}  // namespace codecfixtures
