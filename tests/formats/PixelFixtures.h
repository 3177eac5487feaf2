// DICOM files of generated pixel data for the tests of signed, 32-bit and
// floating-point samples, and readers of the 8-bit images the program and
// DCMTK's dcm2pnm write from them.
#ifndef MEDCONV_TESTS_FORMATS_PIXEL_FIXTURES_H
#define MEDCONV_TESTS_FORMATS_PIXEL_FIXTURES_H

#include "support/TestSupport.h"
#include "tools/SampleWriter.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace pixelfixtures {

using samplewriter::Bytes;

// Values of unit bytes each, little-endian.
template <typename T>
Bytes Little(const std::vector<T>& values) {
  Bytes bytes;
  for (const T& value : values) {
    unsigned char raw[sizeof(T)];
    std::memcpy(raw, &value, sizeof(T));
    for (std::size_t k = 0; k < sizeof(T); ++k)
      bytes.push_back(raw[k]);  // the tests run on little-endian hosts
  }
  return bytes;
}

inline void Geometry(samplewriter::SampleSet& set, std::uint16_t rows, std::uint16_t columns, std::uint16_t frames) {
  set.Text(0x0008, 0x0016, "UI", "1.2.840.10008.5.1.4.1.1.2");
  set.Text(0x0008, 0x0018, "UI", "1.2.826.0.1.3680043.9.7777.99");
  set.Text(0x0028, 0x0004, "CS", "MONOCHROME2");
  set.UnsignedShort(0x0028, 0x0002, 1);
  set.UnsignedShort(0x0028, 0x0010, rows);
  set.UnsignedShort(0x0028, 0x0011, columns);
  if (frames > 1)
    set.Text(0x0028, 0x0008, "IS", std::to_string(frames));
}

// A signed CT slice of 64 x 64 pixels: air (-1000) around a body of soft
// tissue ramps and a bone (1200), and a border of padding -2000; 16 bits
// allocated, bitsStored of them used and sign-extended through the word.
// Window 40/400 in the set, rescale 0 and 1.
const std::uint16_t CtSize = 64;
inline std::int16_t CtValue(unsigned x, unsigned y) {
  if (x < 2 || y < 2)
    return -2000;
  const int dx = int(x) - 32, dy = int(y) - 32, r2 = dx * dx + dy * dy;
  if (r2 > 27 * 27)
    return std::int16_t(-1000 + (x % 7));
  if (r2 < 6 * 6)
    return 1200;
  return std::int16_t(-200 + int(x) * 7 + int(y) * 3);
}

inline bool WriteSignedCt(const std::string& path, std::uint16_t bitsStored) {
  samplewriter::SampleSet set(samplewriter::ExplicitLittle);
  Geometry(set, CtSize, CtSize, 1);
  set.Text(0x0008, 0x0060, "CS", "CT");
  set.UnsignedShort(0x0028, 0x0100, 16);
  set.UnsignedShort(0x0028, 0x0101, bitsStored);
  set.UnsignedShort(0x0028, 0x0102, std::uint16_t(bitsStored - 1));
  set.UnsignedShort(0x0028, 0x0103, 1);
  set.Numbers(0x0028, 0x0120, "SS", Little(std::vector<std::int16_t>{-2000}), 2);
  set.Text(0x0028, 0x1050, "DS", "40");
  set.Text(0x0028, 0x1051, "DS", "400");
  set.Text(0x0028, 0x1052, "DS", "0");
  set.Text(0x0028, 0x1053, "DS", "1");
  std::vector<std::uint16_t> words;
  for (unsigned y = 0; y < CtSize; ++y)
    for (unsigned x = 0; x < CtSize; ++x)
      words.push_back(std::uint16_t(CtValue(x, y)));
  set.Words(0x7FE0, 0x0010, words);
  return set.Save(path);
}

// Wide sample fixtures: 32-bit integers in Pixel Data (OW) or floating
// point numbers in Float (OF) or Double Float (OD) Pixel Data; sample k of
// frame f (from 0) is value(f, k). A dose grid (RTDOSE) carries its Dose
// Grid Scaling.
struct Wide {
  enum Kind { unsigned32, signed32, float32, float64 } kind = unsigned32;
  std::uint16_t rows = 16, columns = 16, frames = 1, bitsStored = 32;
  std::uint16_t planar = 0xFFFF;  // 0 or 1 for an RGB image, none for grey
  std::string syntax = samplewriter::ExplicitLittle;
  std::string doseGridScaling;  // empty: none
  std::string window;           // "center:width", empty: none
  std::function<double(unsigned, unsigned)> value;
};

inline bool WriteWide(const std::string& path, const Wide& wide) {
  samplewriter::SampleSet set(wide.syntax);
  Geometry(set, wide.rows, wide.columns, wide.frames);
  const bool dose = !wide.doseGridScaling.empty();
  set.Text(0x0008, 0x0060, "CS", dose ? "RTDOSE" : "OT");
  if (dose)
    set.Text(0x3004, 0x000E, "DS", wide.doseGridScaling);
  if (!wide.window.empty()) {
    const std::size_t colon = wide.window.find(':');
    set.Text(0x0028, 0x1050, "DS", wide.window.substr(0, colon));
    set.Text(0x0028, 0x1051, "DS", wide.window.substr(colon + 1));
  }
  const bool rgb = wide.planar <= 1;
  if (rgb) {
    set.Text(0x0028, 0x0004, "CS", "RGB");
    set.UnsignedShort(0x0028, 0x0002, 3);
    set.UnsignedShort(0x0028, 0x0006, wide.planar);
  }
  const unsigned count = unsigned(wide.rows) * wide.columns * (rgb ? 3 : 1);
  std::vector<std::uint32_t> integers;
  std::vector<float> floats;
  std::vector<double> doubles;
  for (unsigned f = 0; f < wide.frames; ++f)
    for (unsigned k = 0; k < count; ++k) {
      const double v = wide.value(f, k);
      if (wide.kind == Wide::float32)
        floats.push_back(float(v));
      else if (wide.kind == Wide::float64)
        doubles.push_back(v);
      else  // two's complement numbers keep their low bitsStored bits
        integers.push_back(std::uint32_t(std::int64_t(v)) &
                           (wide.bitsStored >= 32 ? 0xFFFFFFFFu : (1u << wide.bitsStored) - 1));
    }
  if (wide.kind == Wide::float32) {
    set.UnsignedShort(0x0028, 0x0100, 32);
    set.Numbers(0x7FE0, 0x0008, "OF", Little(floats), 4);
  } else if (wide.kind == Wide::float64) {
    set.UnsignedShort(0x0028, 0x0100, 64);
    set.Numbers(0x7FE0, 0x0009, "OD", Little(doubles), 8);
  } else {
    set.UnsignedShort(0x0028, 0x0100, 32);
    set.UnsignedShort(0x0028, 0x0101, wide.bitsStored);
    set.UnsignedShort(0x0028, 0x0102, std::uint16_t(wide.bitsStored - 1));
    set.UnsignedShort(0x0028, 0x0103, wide.kind == Wide::signed32 ? 1 : 0);
    // OW holding 32-bit numbers: a big-endian body has each number's bytes
    // in big-endian order (high half first), as pydicom's dose grids do.
    set.Numbers(0x7FE0, 0x0010, "OW", Little(integers), 4);
  }
  return set.Save(path);
}

// The build's data dictionary copied into folder, where the program run
// from there finds it.
inline void CopyDictionary(const std::string& folder) {
  testsupport::WriteBytes(folder + "/dicom.dic", testsupport::ReadBytes(std::string(MEDCONV_BUILD_DIR) + "/dicom.dic"));
}

// An 8-bit grey image: BMP rows turned top-down, or a binary PGM.
struct Grey {
  unsigned width = 0, height = 0;
  std::vector<unsigned char> samples;
};

inline Grey ReadBmp8(const std::string& path) {
  const std::vector<unsigned char> b = testsupport::ReadBytes(path);
  Grey image;
  if (b.size() < 54)
    return image;
  const auto u32 = [&b](std::size_t at) {
    return unsigned(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | b[at + 3] << 24);
  };
  const unsigned offset = u32(10);
  image.width = u32(18);
  image.height = u32(22);
  const unsigned stride = (image.width + 3) & ~3u;
  if (offset + std::size_t(stride) * image.height > b.size())
    return Grey();
  for (unsigned row = image.height; row-- > 0;)
    image.samples.insert(image.samples.end(), b.begin() + offset + std::size_t(row) * stride,
                         b.begin() + offset + std::size_t(row) * stride + image.width);
  return image;
}

inline Grey ReadPgm(const std::string& path) {
  const std::vector<unsigned char> bytes = testsupport::ReadBytes(path);
  std::istringstream header(std::string(bytes.begin(), bytes.end()));
  std::string magic;
  unsigned maxValue = 0;
  Grey image;
  header >> magic >> image.width >> image.height >> maxValue;
  const std::streamoff start = header.tellg() + std::streamoff(1);
  if (magic == "P5" && header && start + std::streamoff(image.width) * image.height <= std::streamoff(bytes.size()))
    image.samples.assign(bytes.begin() + start, bytes.begin() + start + std::streamoff(image.width) * image.height);
  return image;
}

// Pearson correlation of two images of the same size, leaving out the
// first border rows and columns of images width pixels wide; 0 when they
// differ in size or one is flat.
inline double Correlation(const Grey& a, const Grey& b, unsigned width = 1, unsigned border = 0) {
  if (a.samples.size() != b.samples.size() || a.samples.empty())
    return 0;
  double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0, n = 0;
  for (std::size_t k = 0; k < a.samples.size(); ++k) {
    if (k % width < border || k / width < border)
      continue;
    ++n;
    const double x = a.samples[k], y = b.samples[k];
    sa += x, sb += y, saa += x * x, sbb += y * y, sab += x * y;
  }
  const double va = saa - sa * sa / n, vb = sbb - sb * sb / n;
  return va <= 0 || vb <= 0 ? 0 : (sab - sa * sb / n) / std::sqrt(va * vb);
}

}  // namespace pixelfixtures

#endif
