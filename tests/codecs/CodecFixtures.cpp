#include "CodecFixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "codecs/qzmJpegExtended12Decoder.h"
#include "support/TestSupport.h"

namespace codecfixtures {

namespace {

std::uint32_t Word(const Bytes& b, std::size_t pos, int bytes = 2) {
  return bytes == 2 ? std::uint32_t(b[pos] | b[pos + 1] << 8) : Word(b, pos) | Word(b, pos + 2) << 16;
}

// At a marker's offset (marker 0: the frame header, lossless or DCT), bytes
// set to a value or the stream cut there (value -1); the error reported.
struct Damage {
  UBYTE marker;
  std::size_t offset, count;
  int value, decoders;  // 1: lossless, 2: DCT, 3: both
  const char* error;
};

const Damage Damages[] = {
    {0xC4, 9, 0, -1, 3, "runs past"},              // truncated in a header
    {0xD8, 1, 1, 0xD9, 3, "start-of-image"},       // no start marker
    {0xDA, 5, 1, 0x09, 3, "component 9"},          // scan of an unknown component
    {0xC4, 5, 1, 3, 1, "more codes"},              // three codes of one bit more, three of five bits fewer
    {0, 11, 1, 0x21, 1, "subsampled components"},  // subsampled colour
    {0xD0, 1, 1, 0xD3, 1, "restart marker 0"},
    {0xDA, 20, 2, 0xFE, 1, "does not have"},  // 11111 is no code of the lossless test table
    {0, 4, 1, 17, 1, "precision of 17"},
    {0xDA, 11, 1, 0, 1, "predictor 0"},
    {0, 1, 1, 0xC1, 1, "not lossless"},             // a DCT frame
    {0xDA, 30, 6, 0xFE, 2, "does not have"},        // bad Huffman code
    {0xDB, 1, 1, 0xFE, 2, "quantisation table 0"},  // no quantisation table
    {0, 1, 1, 0xC3, 2, "not sequential"},           // a lossless frame
    {0, 1, 1, 0xFE, 3, "before the frame"},         // no frame header
    {0xD8, 3, 1, 0xD8, 3, "unexpected marker 0xD8 at byte 3!"},
    {0xC4, 1, 1, 0xC3, 3, "second frame header"},
    {0xC4, 4, 1, 0x04, 3, "Huffman table 0x04 is malformed"},
    {0, 13, 1, 1, 1, "names two components 1"},  // the second component takes the first's number
};

// Between the samples of two decodings of a frame; -1 when sizes differ.
long LargestDifference(const Bytes& a, const Bytes& b, const qzmPixelLayout& layout) {
  long largest = a.size() == b.size() ? 0 : -1;
  for (std::size_t pos = 0, unit = layout.BytesPerSample(); largest >= 0 && pos + unit <= a.size(); pos += unit) {
    long x = 0, y = 0;
    for (std::size_t k = unit; k-- > 0;)
      x = x << 8 | a[pos + k], y = y << 8 | b[pos + k];
    largest = std::max(largest, std::labs(x - y));
  }
  return largest;
}

}  // namespace

// Top-level elements kept, sequences of undefined length walked through (depth
// counts them), items of known length skipped, Pixel Data's items all kept.
bool FixtureFile::Read(const std::string& path) {
  const Bytes f = testsupport::ReadBytes(path);
  *this = FixtureFile();
  if (f.size() < 132 || std::memcmp(&f[128], "DICM", 4) != 0)
    return false;
  int depth = 0;
  bool inPixels = false;
  for (std::size_t pos = 132; pos + 8 <= f.size();) {
    const std::uint32_t tag = Word(f, pos) << 16 | Word(f, pos + 2), undefined = 0xFFFFFFFF;
    const std::string vr(f.begin() + long(pos) + 4, f.begin() + long(pos) + 6);
    std::uint32_t length = Word(f, pos + 4, 4);
    if (tag >> 16 == 0xFFFE) {
      depth -= tag == 0xFFFEE0DD;
      inPixels = inPixels && tag != 0xFFFEE0DD;
      pos += 8;
      length = tag == 0xFFFEE000 && length != undefined ? length : 0;
    } else if (tag >= 0x00030000 && TransferSyntax() == "1.2.840.10008.1.2") {
      pos += 8;
    } else if (std::string("OBOWOFODOLOVSQUTUNUCURSVUV").find(vr) % 2 == 0 && pos + 12 <= f.size()) {
      length = Word(f, pos + 8, 4);
      pos += 12;
    } else {
      length = Word(f, pos + 6);
      pos += 8;
    }
    if (length == undefined) {
      inPixels = ++depth == 1 && tag == 0x7FE00010;
      continue;
    }
    if (length > f.size() - pos)
      return false;
    const Bytes value(f.begin() + long(pos), f.begin() + long(pos + length));
    if (inPixels)
      items_.push_back(value);
    else if (depth == 0 && tag >> 16 != 0xFFFE)
      (tag == 0x7FE00010 ? native_ : values_[tag]) = value;
    pos += length;
  }
  return depth == 0;
}

std::string FixtureFile::Text(std::uint32_t tag) const {
  const auto value = values_.find(tag);
  const std::string text = value == values_.end() ? "" : std::string(value->second.begin(), value->second.end());
  return text.substr(0, text.find_last_not_of(std::string(" \0", 2)) + 1);
}

unsigned FixtureFile::Number(std::uint32_t tag) const {
  const auto value = values_.find(tag);
  if (value == values_.end() || value->second.size() < 2)
    return 0;
  return tag == 0x00280008 ? unsigned(std::atoi(Text(tag).c_str())) : Word(value->second, 0);  // IS, or US
}

qzmPixelLayout FixtureFile::Layout() const {
  qzmPixelLayout layout = MakeLayout(Number(0x00280010), Number(0x00280011), Number(0x00280002), Number(0x00280101));
  layout.BitsAllocated = UWORD(Number(0x00280100));
  layout.PixelRepresentation = UWORD(Number(0x00280103));
  layout.PlanarConfiguration = UWORD(Number(0x00280006));
  layout.PhotometricInterpretation = Text(0x00280004);
  return layout;
}

Bytes FixtureFile::FrameStream(unsigned index) const {
  if (items_.size() == Frames() + 1)
    return index < Frames() ? items_[index + 1] : Bytes();
  Bytes all;
  for (std::size_t k = 1; k < items_.size(); ++k)
    all.insert(all.end(), items_[k].begin(), items_[k].end());
  return Frames() == 1 ? all : Bytes();
}

Bytes FixtureFile::NativeFrame(unsigned index) const {
  const qzmPixelLayout layout = Layout();
  const std::size_t size = std::size_t(layout.FrameBytes()), unit = layout.BytesPerSample(), plane = size / 3;
  if ((index + 1) * size > native_.size())
    return Bytes();
  const Bytes stored(native_.begin() + long(index * size), native_.begin() + long((index + 1) * size));
  Bytes out = stored;
  for (std::size_t at = 0; layout.PlanarConfiguration == 1 && at < plane; at += unit)
    for (std::size_t c = 0; c < 3; ++c)
      std::copy_n(&stored[c * plane + at], unit, &out[at * 3 + c * unit]);
  return out;
}

void RunAll(const std::string& folder, const std::string& first, const std::vector<std::string>& commands) {
  std::string lines;
  for (const std::string& command : commands)
    lines += command + "\n";
  testsupport::WriteText(folder + "/commands.txt", lines);
  testsupport::Run("(" + first + ") ; xargs -d '\\n' -n 1 -P 3 sh -c < commands.txt", folder);
}

qzmPixelLayout MakeLayout(int rows, int columns, int samples, int bitsStored) {
  qzmPixelLayout layout;
  layout.Rows = UWORD(rows);
  layout.Columns = UWORD(columns);
  layout.SamplesPerPixel = UWORD(samples);
  layout.BitsStored = UWORD(bitsStored);
  layout.BitsAllocated = bitsStored <= 8 ? 8 : bitsStored <= 16 ? 16 : 32;
  layout.PhotometricInterpretation = samples == 3 ? "RGB" : "MONOCHROME2";
  return layout;
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
    const Bytes stream = compressed.FrameStream(frame), expected = reference.NativeFrame(frame);
    ASSERT_FALSE(expected.empty()) << "frame " << frame + 1;
    for (const qzmPixelDecoder* each : {&decoder, inHouse < 0 ? nullptr : static_cast<const qzmPixelDecoder*>(&dct)}) {
      if (!each)
        continue;
      const Decoded decoded = Decode(*each, stream, layout);
      ASSERT_TRUE(decoded.ok) << "frame " << frame + 1 << ": " << decoded.errors;
      EXPECT_EQ(decoded.photometric, photometric);
      const long difference = LargestDifference(decoded.out, expected, layout);
      EXPECT_TRUE(difference >= 0 && difference <= (each == &decoder ? tolerance : inHouse))
          << "frame " << frame + 1 << ", largest difference " << difference;
    }
  }
}

void ExpectJpegDamagesRefused(const qzmPixelDecoder& decoder, int kind, const Bytes& stream,
                              const qzmPixelLayout& layout) {
  for (const Damage& damage : Damages) {
    if (!(damage.decoders & kind))
      continue;
    Bytes copy = stream;
    std::size_t at = 0;
    while (at + 2 < copy.size() &&
           !(copy[at] == 0xFF && (damage.marker ? copy[at + 1] == damage.marker : (copy[at + 1] & 0xFC) == 0xC0)))
      ++at;
    at += damage.offset;
    if (damage.value < 0)
      copy.resize(at);
    else
      std::fill_n(copy.begin() + long(at), damage.count, UBYTE(damage.value));
    if (damage.value == 3 && damage.marker == 0xC4)
      copy[at + 4] = 14;
    const Decoded decoded = Decode(decoder, copy, layout);
    EXPECT_FALSE(decoded.ok) << damage.error;
    EXPECT_NE(decoded.errors.find(damage.error), std::string::npos) << damage.error << ": " << decoded.errors;
  }
}

}  // namespace codecfixtures
