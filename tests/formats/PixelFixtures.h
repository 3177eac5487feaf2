// DICOM files of generated samples (signed CT slices; 32-bit integers and
// floating-point numbers) and readers of the 8-bit images the program and
// DCMTK's dcm2pnm write from them.
#ifndef MEDCONV_TESTS_FORMATS_PIXEL_FIXTURES_H
#define MEDCONV_TESTS_FORMATS_PIXEL_FIXTURES_H

#include "support/TestSupport.h"
#include "tools/SampleWriter.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <sstream>

namespace pixelfixtures {

// Values of unit bytes each, little-endian (the tests run on such hosts).
template <typename T>
samplewriter::Bytes Little(const std::vector<T>& values) {
  samplewriter::Bytes bytes(values.size() * sizeof(T));
  if (!values.empty())
    std::memcpy(bytes.data(), values.data(), bytes.size());
  return bytes;
}

// Samples of a grey or RGB image of 16 x 16 pixels (64 x 64 for a CT
// slice) and frames: sample k of frame f is value(f, k). Integers are
// written in Pixel Data (OW), floating-point numbers in Float (OF) or
// Double Float (OD) Pixel Data; a dose grid has its Dose Grid Scaling.
struct Wide {
  enum Kind { unsigned32, signed32, float32, float64, ct16 } kind = unsigned32;
  std::uint16_t frames = 1, bitsStored = 32, planar = 0xFFFF;  // planar 0 or 1: RGB
  std::string syntax = samplewriter::ExplicitLittle, doseGridScaling;
  std::function<double(unsigned, unsigned)> value;
};

inline bool WriteWide(const std::string& path, const Wide& wide) {
  samplewriter::SampleSet set(wide.syntax);
  const bool rgb = wide.planar <= 1, ct = wide.kind == Wide::ct16;
  const std::uint16_t side = ct ? 64 : 16, bits = wide.kind == Wide::float64 ? 64 : ct ? 16 : 32;
  set.Text(0x0008, 0x0060, "CS", ct ? "CT" : wide.doseGridScaling.empty() ? "OT" : "RTDOSE");
  set.UnsignedShort(0x0028, 0x0002, rgb ? 3 : 1);
  set.Text(0x0028, 0x0004, "CS", rgb ? "RGB" : "MONOCHROME2");
  if (rgb)
    set.UnsignedShort(0x0028, 0x0006, wide.planar);
  if (wide.frames > 1)
    set.Text(0x0028, 0x0008, "IS", std::to_string(wide.frames));
  set.UnsignedShort(0x0028, 0x0010, side);
  set.UnsignedShort(0x0028, 0x0011, side);
  set.UnsignedShort(0x0028, 0x0100, bits);
  if (!wide.doseGridScaling.empty())
    set.Text(0x3004, 0x000E, "DS", wide.doseGridScaling);
  std::vector<std::uint32_t> integers;
  std::vector<std::uint16_t> words;
  std::vector<float> floats;
  std::vector<double> doubles;
  for (unsigned f = 0; f < wide.frames; ++f)
    for (unsigned k = 0; k < side * side * (rgb ? 3u : 1u); ++k) {
      const double v = wide.value(f, k);  // integers keep their low bitsStored bits
      const std::uint64_t mask = (std::uint64_t(1) << wide.bitsStored) - 1;
      floats.push_back(float(v));
      doubles.push_back(v);
      integers.push_back(std::uint32_t(std::uint64_t(std::int64_t(v)) & mask));
      words.push_back(std::uint16_t(std::int64_t(v)));  // sign-extended through the word
    }
  if (wide.kind == Wide::float32 || wide.kind == Wide::float64) {
    const bool single = wide.kind == Wide::float32;
    set.Numbers(0x7FE0, single ? 0x0008 : 0x0009, single ? "OF" : "OD", single ? Little(floats) : Little(doubles),
                single ? 4 : 8);
    return set.Save(path);
  }
  set.UnsignedShort(0x0028, 0x0101, wide.bitsStored);
  set.UnsignedShort(0x0028, 0x0102, std::uint16_t(wide.bitsStored - 1));
  set.UnsignedShort(0x0028, 0x0103, wide.kind == Wide::unsigned32 ? 0 : 1);
  if (ct) {  // padding -2000, window 40/400, rescale 0 and 1
    set.Numbers(0x0028, 0x0120, "SS", Little(std::vector<std::int16_t>{-2000}), 2);
    for (const auto& text : {std::make_pair(0x1050, "40"), {0x1051, "400"}, {0x1052, "0"}, {0x1053, "1"}})
      set.Text(0x0028, std::uint16_t(text.first), "DS", text.second);
    set.Words(0x7FE0, 0x0010, words);
  } else {  // big endian: each number's bytes in big-endian order, as pydicom's dose grids have them
    set.Numbers(0x7FE0, 0x0010, "OW", Little(integers), 4);
  }
  return set.Save(path);
}

// A signed CT slice (64 x 64, bitsStored of 16 bits): a border of padding,
// air (-1000) around a body of soft tissue ramps and a bone (1200).
inline int CtValue(unsigned x, unsigned y) {
  const int dx = int(x) - 32, dy = int(y) - 32, r2 = dx * dx + dy * dy;
  return x < 2 || y < 2 ? -2000 : r2 > 27 * 27 ? -1000 + int(x % 7) : r2 < 36 ? 1200 : -200 + int(x) * 7 + int(y) * 3;
}

inline Wide SignedCt(std::uint16_t bitsStored) {
  Wide ct;
  ct.kind = Wide::ct16;
  ct.bitsStored = bitsStored;
  ct.value = [](unsigned, unsigned k) { return CtValue(k % 64, k / 64); };
  return ct;
}

// The samples of an 8-bit image, top row first: a BMP file or binary PGM.
inline std::vector<unsigned char> ReadBmp8(const std::string& path) {
  const std::vector<unsigned char> b = testsupport::ReadBytes(path);
  const auto u32 = [&b](std::size_t at) {
    return unsigned(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | b[at + 3] << 24);
  };
  std::vector<unsigned char> samples;
  const unsigned offset = b.size() < 54 ? 0 : u32(10), width = offset ? u32(18) : 0, stride = (width + 3) & ~3u;
  for (unsigned row = offset ? u32(22) : 0; row-- > 0 && offset + std::size_t(row + 1) * stride <= b.size();)
    samples.insert(samples.end(), b.begin() + offset + row * stride, b.begin() + offset + row * stride + width);
  return samples;
}

inline std::vector<unsigned char> ReadPgm(const std::string& path) {
  const std::vector<unsigned char> bytes = testsupport::ReadBytes(path);
  std::istringstream header(std::string(bytes.begin(), bytes.end()));
  std::string magic, width, height, maximum;
  header >> magic >> width >> height >> maximum;
  return std::vector<unsigned char>(bytes.begin() + std::min(bytes.size(), std::size_t(header.tellg()) + 1),
                                    bytes.end());
}

// Pearson correlation of two images of the same size, leaving out the first
// border rows and columns of images width pixels wide; 0 when they differ
// in size or one is flat.
inline double Correlation(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b, unsigned width = 1,
                          unsigned border = 0) {
  double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0, n = 0;
  for (std::size_t k = 0; a.size() == b.size() && k < a.size(); ++k)
    if (k % width >= border && k / width >= border) {
      const double x = a[k], y = b[k];
      sa += x, sb += y, saa += x * x, sbb += y * y, sab += x * y, ++n;
    }
  const double va = saa - sa * sa / n, vb = sbb - sb * sb / n;
  return n == 0 || va <= 0 || vb <= 0 ? 0 : (sab - sa * sb / n) / std::sqrt(va * vb);
}

}  // namespace pixelfixtures

#endif
