// Writes the project's sample DICOM files: small synthetic images that cover
// the transfer syntaxes and pixel layouts medconv reads. The files are made
// byte by byte here so that the samples do not depend on the code they
// exercise.
//
//   mksamples <folder>                     the samples of the demo and tests
//   mksamples --series <count> <folder>    a CT series of 512 x 512 slices
//   mksamples --multiframe <count> <file>  one file of 512 x 512 CT frames
// The last two make the inputs of the benchmarks (tools/bench/run.sh).
#include "tools/SampleWriter.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace samplewriter;

const char* const UidRoot = "1.2.826.0.1.3680043.9.7777.";

// Patient, study and series elements shared by every sample; the identifying
// ones are there so that anonymisation has something to do.
void AddCommonElements(SampleSet& set, const std::string& modality, const std::string& number,
                       const std::string& description) {
  set.Text(0x0008, 0x0016, "UI", modality == "CT" ? "1.2.840.10008.5.1.4.1.1.2" : "1.2.840.10008.5.1.4.1.1.7");
  set.Text(0x0008, 0x0018, "UI", UidRoot + std::string("2.") + number);
  set.Text(0x0008, 0x0020, "DA", "20010720");
  set.Text(0x0008, 0x0023, "DA", "20010720");
  set.Text(0x0008, 0x0030, "TM", "103015");
  set.Text(0x0008, 0x0033, "TM", "103015.5");
  set.Text(0x0008, 0x0060, "CS", modality);
  set.Text(0x0008, 0x0080, "LO", "Synthetic Hospital");
  set.Text(0x0008, 0x0090, "PN", "WELBY^MARCUS");
  set.Text(0x0008, 0x1030, "LO", description);
  set.Text(0x0009, 0x0010, "LO", "MKSAMPLES PRIVATE");
  set.Text(0x0009, 0x1001, "LO", "private payload");
  set.Text(0x0010, 0x0010, "PN", "DOE^JOHN");
  set.Text(0x0010, 0x0020, "LO", "PID-0042");
  set.Text(0x0010, 0x0030, "DA", "19600101");
  set.Text(0x0010, 0x0040, "CS", "M");
  set.Text(0x0020, 0x000D, "UI", UidRoot + std::string("3"));
  set.Text(0x0020, 0x000E, "UI", UidRoot + std::string("4.") + number);
  set.Text(0x0020, 0x0010, "SH", "STUDY7");
  set.Text(0x0020, 0x0011, "IS", number);
  set.Text(0x0020, 0x0013, "IS", "1");
  set.Text(0x0020, 0x4000, "LT", "synthetic sample made by mksamples");
}

void AddImageStructure(SampleSet& set, std::uint16_t rows, std::uint16_t columns, std::uint16_t samples,
                       const std::string& photometric, std::uint16_t bitsAllocated, std::uint16_t bitsStored,
                       std::uint16_t representation) {
  set.UnsignedShort(0x0028, 0x0002, samples);
  set.Text(0x0028, 0x0004, "CS", photometric);
  set.UnsignedShort(0x0028, 0x0010, rows);
  set.UnsignedShort(0x0028, 0x0011, columns);
  set.UnsignedShort(0x0028, 0x0100, bitsAllocated);
  set.UnsignedShort(0x0028, 0x0101, bitsStored);
  set.UnsignedShort(0x0028, 0x0102, std::uint16_t(bitsStored - 1));
  set.UnsignedShort(0x0028, 0x0103, representation);
}

// CT pixels: a water disc with a bone ring in air, stored as HU + 1024 in 12
// of 16 bits; the water is lifted by `shift` HU, so that slices and frames
// differ.
std::vector<std::uint16_t> CtPixels(int size, int shift) {
  const double disc = 24.0 * size / 64, ring = 20.0 * size / 64;
  std::vector<std::uint16_t> pixels;
  pixels.reserve(std::size_t(size) * size);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      const double r = std::hypot(x - size / 2 + 0.5, y - size / 2 + 0.5);
      int hu = -1000;
      if (r < disc)
        hu = r > ring ? 1000 : 40 + shift + (x - size / 2) * 64 / size;
      pixels.push_back(std::uint16_t(hu + 1024));
    }
  return pixels;
}

// A CT set without its pixel data: square frames of `size`, with rescale and
// a soft-tissue window.
SampleSet CtSet(int size, const std::string& number, const std::string& description) {
  SampleSet set(ExplicitLittle);
  AddCommonElements(set, "CT", number, description);
  AddImageStructure(set, std::uint16_t(size), std::uint16_t(size), 1, "MONOCHROME2", 16, 12, 0);
  set.Text(0x0018, 0x0050, "DS", "2.5");
  set.Text(0x0028, 0x0030, "DS", "0.8\\0.8");
  set.Text(0x0028, 0x1050, "DS", "40");
  set.Text(0x0028, 0x1051, "DS", "400");
  set.Text(0x0028, 0x1052, "DS", "-1024");
  set.Text(0x0028, 0x1053, "DS", "1");
  return set;
}

SampleSet CtSlice() {
  const int size = 64;
  SampleSet set = CtSet(size, "1", "synthetic CT slice");
  set.Words(0x7FE0, 0x0010, CtPixels(size, 0));
  return set;
}

// A monochrome gradient (16 bits) in the syntax given; used for the implicit
// VR and big endian samples.
SampleSet Gradient(const char* syntax, const std::string& number, const std::string& description) {
  const int rows = 32, columns = 48;
  SampleSet set(syntax);
  AddCommonElements(set, "MR", number, description);
  AddImageStructure(set, rows, columns, 1, "MONOCHROME2", 16, 16, 0);
  std::vector<std::uint16_t> pixels;
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < columns; ++x)
      pixels.push_back(std::uint16_t(x * 1000 + y * 100));
  set.Words(0x7FE0, 0x0010, pixels);
  return set;
}

// Three 8-bit frames of a moving bar.
SampleSet MultiFrame() {
  const int rows = 24, columns = 24, frames = 3;
  SampleSet set(ExplicitLittle);
  AddCommonElements(set, "US", "5", "synthetic multi-frame");
  AddImageStructure(set, rows, columns, 1, "MONOCHROME2", 8, 8, 0);
  set.Text(0x0028, 0x0008, "IS", std::to_string(frames));
  Bytes pixels;
  for (int f = 0; f < frames; ++f)
    for (int y = 0; y < rows; ++y)
      for (int x = 0; x < columns; ++x)
        pixels.push_back(std::abs(x - 6 - 6 * f) < 3 ? 255 : std::uint8_t(y * 4));
  set.OtherBytes(0x7FE0, 0x0010, pixels);
  return set;
}

// An RGB colour wheel, 8 bits per sample, colour by pixel.
SampleSet Rgb() {
  const int size = 32;
  SampleSet set(ExplicitLittle);
  AddCommonElements(set, "XC", "6", "synthetic RGB");
  AddImageStructure(set, size, size, 3, "RGB", 8, 8, 0);
  set.UnsignedShort(0x0028, 0x0006, 0);
  Bytes pixels;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x)
      pixels.insert(pixels.end(), {std::uint8_t(x * 8), std::uint8_t(y * 8), std::uint8_t(255 - x * 4)});
  set.OtherBytes(0x7FE0, 0x0010, pixels);
  return set;
}

// A palette image: 8-bit indices and three 16-bit lookup tables of 256
// entries (a blue to red ramp).
SampleSet Palette() {
  const int size = 32;
  SampleSet set(ExplicitLittle);
  AddCommonElements(set, "OT", "7", "synthetic palette");
  AddImageStructure(set, size, size, 1, "PALETTE COLOR", 8, 8, 0);
  for (std::uint16_t element : {0x1101, 0x1102, 0x1103})
    set.UnsignedShorts(0x0028, element, {256, 0, 16});
  std::vector<std::uint16_t> red, green, blue;
  for (int i = 0; i < 256; ++i) {
    red.push_back(std::uint16_t(i * 257));
    green.push_back(std::uint16_t((255 - std::abs(2 * i - 255)) * 257));
    blue.push_back(std::uint16_t((255 - i) * 257));
  }
  set.Words(0x0028, 0x1201, red);
  set.Words(0x0028, 0x1202, green);
  set.Words(0x0028, 0x1203, blue);
  Bytes pixels;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x)
      pixels.push_back(std::uint8_t((x + y) * 4));
  set.OtherBytes(0x7FE0, 0x0010, pixels);
  return set;
}

const int BenchSide = 512;

bool Report(bool saved, const std::string& path) {
  if (!saved)
    std::cerr << "mksamples: unable to write " << path << std::endl;
  return saved;
}

// Slice k of a series: its own instance UID, number and position, 2.5 mm
// apart; named slice001.dcm, slice002.dcm... so that names sort in order.
bool SaveSeries(int count, const std::string& folder) {
  bool saved = true;
  for (int k = 1; k <= count; ++k) {
    const std::string number = std::to_string(k);
    SampleSet set = CtSet(BenchSide, "8", "synthetic CT series");
    set.Text(0x0008, 0x0018, "UI", UidRoot + std::string("8.") + number);
    set.Text(0x0020, 0x0013, "IS", number);
    char location[16];
    std::snprintf(location, sizeof location, "%.1f", 2.5 * k);
    set.Text(0x0020, 0x1041, "DS", location);
    set.Words(0x7FE0, 0x0010, CtPixels(BenchSide, k));
    char name[32];
    std::snprintf(name, sizeof name, "slice%03d.dcm", k);
    saved = Report(set.Save(folder + name), folder + name) && saved;
  }
  return saved;
}

// One file of `count` frames, frame f lifted by f HU.
bool SaveMultiFrame(int count, const std::string& path) {
  SampleSet set = CtSet(BenchSide, "9", "synthetic CT multi-frame");
  set.Text(0x0028, 0x0008, "IS", std::to_string(count));
  std::vector<std::uint16_t> words;
  words.reserve(std::size_t(BenchSide) * BenchSide * count);
  for (int f = 1; f <= count; ++f) {
    const std::vector<std::uint16_t> frame = CtPixels(BenchSide, f);
    words.insert(words.end(), frame.begin(), frame.end());
  }
  set.Words(0x7FE0, 0x0010, words);
  return Report(set.Save(path), path);
}

bool SaveSamples(const std::string& folder) {
  const std::pair<const char*, SampleSet> samples[] = {
      {"ct.dcm", CtSlice()},
      {"implicit.dcm", Gradient(ImplicitLittle, "2", "synthetic implicit VR")},
      {"bigendian.dcm", Gradient(ExplicitBig, "3", "synthetic big endian")},
      {"multiframe.dcm", MultiFrame()},
      {"rgb.dcm", Rgb()},
      {"palette.dcm", Palette()},
  };
  bool saved = true;
  for (const auto& sample : samples)
    saved = Report(sample.second.Save(folder + sample.first), folder + sample.first) && saved;
  return saved;
}

// A count of 1 to 9999: the series names have three digits and more would
// be a mistake on the command line anyway.
int Count(const char* text) {
  char* end = nullptr;
  const long count = std::strtol(text, &end, 10);
  return *text && !*end && count >= 1 && count <= 9999 ? int(count) : 0;
}

int Usage() {
  std::cerr << "usage: mksamples <folder>\n"
               "       mksamples --series <count> <folder>\n"
               "       mksamples --multiframe <count> <file>"
            << std::endl;
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && argv[1][0] != '-')
    return SaveSamples(std::string(argv[1]) + "/") ? 0 : 1;
  if (argc != 4 || !Count(argv[2]))
    return Usage();
  const std::string mode = argv[1];
  if (mode == "--series")
    return SaveSeries(Count(argv[2]), std::string(argv[3]) + "/") ? 0 : 1;
  if (mode == "--multiframe")
    return SaveMultiFrame(Count(argv[2]), argv[3]) ? 0 : 1;
  return Usage();
}
