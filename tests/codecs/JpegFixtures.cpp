#include "codecs/JpegFixtures.h"

#include "support/TestSupport.h"

#include <cstdint>
#include <cstring>

namespace jpegfixtures {

namespace {

std::uint32_t Little16(const Bytes& b, std::size_t at) {
  return b[at] | (std::uint32_t(b[at + 1]) << 8);
}
std::uint32_t Little32(const Bytes& b, std::size_t at) {
  return Little16(b, at) | (Little16(b, at + 2) << 16);
}

const std::uint32_t Undefined = 0xFFFFFFFF;

// Walks the elements of an explicit VR little endian data set.
class SetReader {
 public:
  SetReader(const Bytes& bytes, DicomImage& image) : b_(bytes), image_(image) {}

  // Reads elements from `at` until `end` or an item delimiter; false on a
  // malformed set.
  bool ReadElements(std::size_t& at, std::size_t end) {
    while (at + 8 <= end) {
      const std::uint32_t group = Little16(b_, at), element = Little16(b_, at + 2);
      if (group == 0xFFFE) {  // delimiters: 4 bytes of tag, 4 of (zero) length
        at += 8;
        return element == 0xE00D;
      }
      const std::string vr(reinterpret_cast<const char*>(&b_[at + 4]), 2);
      std::uint32_t length;
      if (vr == "OB" || vr == "OW" || vr == "OF" || vr == "SQ" || vr == "UT" || vr == "UN" || vr == "OD" ||
          vr == "OL" || vr == "UC" || vr == "UR" || vr == "OV" || vr == "SV" || vr == "UV") {
        if (at + 12 > end)
          return false;
        length = Little32(b_, at + 8);
        at += 12;
      } else {
        length = Little16(b_, at + 6);
        at += 8;
      }
      if (group == 0x7FE0 && element == 0x0010)
        return length == Undefined ? ReadFragments(at, end) : Take(at, length, end, image_.Pixels);
      if (length == Undefined) {
        if (vr != "SQ" || !SkipItems(at, end))
          return false;
        continue;
      }
      if (at + length > end)
        return false;
      Note(group, element, at, length);
      at += length;
    }
    return true;
  }

 private:
  bool Take(std::size_t at, std::size_t length, std::size_t end, Bytes& into) const {
    if (at + length > end)
      return false;
    into.insert(into.end(), b_.begin() + long(at), b_.begin() + long(at + length));
    return true;
  }

  bool SkipItems(std::size_t& at, std::size_t end) {
    while (at + 8 <= end) {
      const std::uint32_t element = Little16(b_, at + 2), length = Little32(b_, at + 4);
      at += 8;
      if (element == 0xE0DD)
        return true;
      if (length == Undefined) {
        DicomImage ignored;
        SetReader nested(b_, ignored);
        if (!nested.ReadElements(at, end))
          return false;
      } else {
        at += length;
      }
    }
    return false;
  }

  bool ReadFragments(std::size_t at, std::size_t end) {
    std::vector<Bytes> fragments;
    bool offsetTable = true;
    while (at + 8 <= end) {
      const std::uint32_t element = Little16(b_, at + 2), length = Little32(b_, at + 4);
      at += 8;
      if (element == 0xE0DD)
        break;
      if (!offsetTable) {
        fragments.emplace_back();
        if (!Take(at, length, end, fragments.back()))
          return false;
      }
      offsetTable = false;
      at += length;
    }
    if (fragments.empty())
      return false;
    if (image_.Frames > 1)
      image_.Pixels = fragments.front();
    else
      for (const Bytes& fragment : fragments)
        image_.Pixels.insert(image_.Pixels.end(), fragment.begin(), fragment.end());
    return true;
  }

  void Note(std::uint32_t group, std::uint32_t element, std::size_t at, std::uint32_t length) {
    if (group != 0x0028)
      return;
    qzmPixelLayout& layout = image_.Layout;
    const UWORD value = length >= 2 ? UWORD(Little16(b_, at)) : 0;
    std::string text(reinterpret_cast<const char*>(&b_[at]), length);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0'))
      text.pop_back();
    switch (element) {
      case 0x0002:
        layout.SamplesPerPixel = value;
        break;
      case 0x0004:
        layout.PhotometricInterpretation = text;
        break;
      case 0x0006:
        layout.PlanarConfiguration = value;
        break;
      case 0x0008:
        image_.Frames = unsigned(std::stoul(text));
        break;
      case 0x0010:
        layout.Rows = value;
        break;
      case 0x0011:
        layout.Columns = value;
        break;
      case 0x0100:
        layout.BitsAllocated = value;
        break;
      case 0x0101:
        layout.BitsStored = value;
        break;
      case 0x0103:
        layout.PixelRepresentation = value;
        break;
      default:
        break;
    }
  }

  const Bytes& b_;
  DicomImage& image_;
};

// Writes bits most significant first, with a zero byte after each 0xFF.
class BitWriter {
 public:
  explicit BitWriter(Bytes& out) : out_(out) {}
  void Put(std::uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
      byte_ = (byte_ << 1) | ((value >> i) & 1);
      if (++bits_ == 8)
        Emit();
    }
  }
  void Flush() {  // pads the last byte with ones
    while (bits_ != 0)
      Put(1, 1);
  }

 private:
  void Emit() {
    out_.push_back(static_cast<unsigned char>(byte_));
    if (byte_ == 0xFF)
      out_.push_back(0x00);
    byte_ = 0;
    bits_ = 0;
  }
  Bytes& out_;
  std::uint32_t byte_ = 0;
  int bits_ = 0;
};

void Segment(Bytes& out, unsigned char marker, const Bytes& content) {
  out.push_back(0xFF);
  out.push_back(marker);
  out.push_back(static_cast<unsigned char>((content.size() + 2) >> 8));
  out.push_back(static_cast<unsigned char>(content.size() + 2));
  out.insert(out.end(), content.begin(), content.end());
}

// Codes every difference size 0 to 16 with five bits: the size itself.
void PutDifference(BitWriter& bits, int difference) {
  difference = ((difference + 32767) & 0xFFFF) - 32767;  // modulo 2^16, in -32767..32768
  int size = 0;
  for (int magnitude = difference < 0 ? -difference : difference; magnitude != 0; magnitude >>= 1)
    ++size;
  bits.Put(std::uint32_t(size), 5);
  if (size > 0 && size < 16)
    bits.Put(std::uint32_t(difference < 0 ? difference + (1 << size) - 1 : difference), size);
}

int Prediction(int predictor, int a, int b, int c) {
  switch (predictor) {
    case 1:
      return a;
    case 2:
      return b;
    case 3:
      return c;
    case 4:
      return a + b - c;
    case 5:
      return a + ((b - c) >> 1);
    case 6:
      return b + ((a - c) >> 1);
    default:
      return (a + b) >> 1;
  }
}

void EncodeScan(const LosslessLayout& shape, const std::vector<int>& samples, const std::vector<int>& components,
                Bytes& out) {
  Bytes header{static_cast<unsigned char>(components.size())};
  for (int c : components) {
    header.push_back(static_cast<unsigned char>(c + 1));
    header.push_back(0x00);
  }
  header.insert(header.end(),
                {static_cast<unsigned char>(shape.Predictor), 0, static_cast<unsigned char>(shape.PointTransform)});
  Segment(out, 0xDA, header);
  BitWriter bits(out);
  auto at = [&](int y, int x, int c) {
    return samples[(std::size_t(y) * shape.Columns + x) * shape.Components + c] >> shape.PointTransform;
  };
  long unit = 0;
  int restartNumber = 0;
  for (int y = 0; y < shape.Rows; ++y) {
    bool firstLine = y == 0, restart = y == 0;
    for (int x = 0; x < shape.Columns; ++x, ++unit) {
      if (shape.RestartInterval != 0 && unit != 0 && unit % shape.RestartInterval == 0) {
        bits.Flush();
        out.push_back(0xFF);
        out.push_back(static_cast<unsigned char>(0xD0 + restartNumber));
        restartNumber = (restartNumber + 1) & 7;
        firstLine = restart = true;
      }
      for (int c : components) {
        int predicted;
        if (restart)
          predicted = 1 << (shape.Precision - shape.PointTransform - 1);
        else if (x == 0)
          predicted = at(y - 1, x, c);
        else if (firstLine)
          predicted = at(y, x - 1, c);
        else
          predicted = Prediction(shape.Predictor, at(y, x - 1, c), at(y - 1, x, c), at(y - 1, x - 1, c));
        PutDifference(bits, at(y, x, c) - predicted);
      }
      restart = false;
    }
  }
  bits.Flush();
}

}  // namespace

bool ReadDicomImage(const std::string& path, DicomImage& image) {
  const Bytes bytes = testsupport::ReadBytes(path);
  if (bytes.size() < 132 || std::memcmp(&bytes[128], "DICM", 4) != 0)
    return false;
  image = DicomImage();
  SetReader reader(bytes, image);
  std::size_t at = 132;
  return reader.ReadElements(at, bytes.size()) && !image.Pixels.empty();
}

std::vector<int> Samples(const Bytes& pixels, unsigned bitsAllocated) {
  std::vector<int> samples;
  if (bitsAllocated == 8)
    samples.assign(pixels.begin(), pixels.end());
  else
    for (std::size_t i = 0; i + 1 < pixels.size(); i += 2)
      samples.push_back(int(Little16(pixels, i)));
  return samples;
}

Bytes EncodeLossless(const LosslessLayout& shape, const std::vector<int>& samples) {
  Bytes out{0xFF, 0xD8};
  Bytes frame{static_cast<unsigned char>(shape.Precision), static_cast<unsigned char>(shape.Rows >> 8),
              static_cast<unsigned char>(shape.Rows),      static_cast<unsigned char>(shape.Columns >> 8),
              static_cast<unsigned char>(shape.Columns),   static_cast<unsigned char>(shape.Components)};
  for (int c = 0; c < shape.Components; ++c)
    frame.insert(frame.end(), {static_cast<unsigned char>(c + 1), 0x11, 0x00});
  Segment(out, 0xC3, frame);
  Bytes table(17, 0);
  table[5] = 17;  // seventeen codes of five bits
  for (int size = 0; size <= 16; ++size)
    table.push_back(static_cast<unsigned char>(size));
  Segment(out, 0xC4, table);
  if (shape.RestartInterval != 0)
    Segment(out, 0xDD,
            {static_cast<unsigned char>(shape.RestartInterval >> 8), static_cast<unsigned char>(shape.RestartInterval)});
  if (shape.Interleaved) {
    std::vector<int> all;
    for (int c = 0; c < shape.Components; ++c)
      all.push_back(c);
    EncodeScan(shape, samples, all, out);
  } else {
    for (int c = 0; c < shape.Components; ++c)
      EncodeScan(shape, samples, {c}, out);
  }
  out.insert(out.end(), {0xFF, 0xD9});
  return out;
}

}  // namespace jpegfixtures
