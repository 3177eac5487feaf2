// Whole runs on generated CT slices and 32-bit or floating-point samples; damaged compressed data give no output.
#include "driver/DriverTest.h"
#include "frame/TestFrames.h"
#include "support/CodecFixtures.h"
#include "tools/SampleWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <sstream>

namespace {

using testsupport::ReadBytes;
typedef std::vector<unsigned char> Grey;

template <typename T>
samplewriter::Bytes Little(const std::vector<T>& values) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(values.data());  // little-endian hosts
  return samplewriter::Bytes(bytes, bytes + values.size() * sizeof(T));
}

// A grey or RGB image of 16 x 16 pixels (64 x 64 for a CT slice) and frames: sample k of frame f is value(f, k).
struct Wide {
  enum Kind { unsigned32, signed32, float32, float64, ct16 } kind;
  Wide(Kind kind, std::uint16_t frames = 1, std::uint16_t bitsStored = 32, std::uint16_t planar = 0xFFFF)
      : kind(kind), frames(frames), bitsStored(bitsStored), planar(planar) {}
  std::uint16_t frames, bitsStored, planar;  // planar 0 or 1: RGB
  std::string syntax = samplewriter::ExplicitLittle, doseGridScaling;
  std::function<double(unsigned, unsigned)> value;
};

bool WriteWide(const std::string& path, const Wide& wide) {
  samplewriter::SampleSet set(wide.syntax);
  const bool rgb = wide.planar <= 1, ct = wide.kind == Wide::ct16;
  const std::uint16_t side = ct ? 64 : 16, bits = wide.kind == Wide::float64 ? 64 : ct ? 16 : 32;
  set.Text(0x0008, 0x0060, "CS", ct ? "CT" : wide.doseGridScaling.empty() ? "OT" : "RTDOSE");
  set.Text(0x0028, 0x0004, "CS", rgb ? "RGB" : "MONOCHROME2");
  if (rgb)
    set.UnsignedShort(0x0028, 0x0006, wide.planar);
  if (wide.frames > 1)
    set.Text(0x0028, 0x0008, "IS", std::to_string(wide.frames));
  for (const auto& [element, value] :
       {std::pair<int, int>{0x0002, rgb ? 3 : 1}, {0x0010, side}, {0x0011, side}, {0x0100, bits}})
    set.UnsignedShort(0x0028, std::uint16_t(element), std::uint16_t(value));
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
      const std::int64_t n = std::isfinite(v) ? std::int64_t(v) : 0;  // floating-point kinds hold NaN and infinity
      floats.push_back(float(v));
      doubles.push_back(v);
      integers.push_back(std::uint32_t(std::uint64_t(n) & mask));
      words.push_back(std::uint16_t(n));  // sign-extended through the word
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

// A signed CT slice: a border of padding, air (-1000) around a body of soft tissue ramps and a bone (1200).
Wide SignedCt(std::uint16_t bitsStored) {
  Wide ct{Wide::ct16, 1, bitsStored};
  ct.value = [](unsigned, unsigned k) {
    const int x = int(k % 64), y = int(k / 64), r2 = (x - 32) * (x - 32) + (y - 32) * (y - 32);
    return x < 2 || y < 2 ? -2000 : r2 > 27 * 27 ? -1000 + x % 7 : r2 < 36 ? 1200 : -200 + x * 7 + y * 3;
  };
  return ct;
}

// The samples of an 8-bit image, top row first: a BMP file or binary PGM.
Grey ReadBmp8(const std::string& path) {
  const Grey b = ReadBytes(path);
  const auto u32 = [&b](std::size_t i) { return unsigned(b[i] | b[i + 1] << 8 | b[i + 2] << 16 | b[i + 3] << 24); };
  Grey samples;
  const unsigned offset = b.size() < 54 ? 0 : u32(10), width = offset ? u32(18) : 0, stride = (width + 3) & ~3u;
  for (unsigned row = offset ? u32(22) : 0; row-- > 0 && offset + std::size_t(row + 1) * stride <= b.size();)
    samples.insert(samples.end(), b.begin() + offset + row * stride, b.begin() + offset + row * stride + width);
  return samples;
}

Grey ReadPgm(const std::string& path) {
  const Grey bytes = ReadBytes(path);
  std::istringstream header(std::string(bytes.begin(), bytes.end()));
  std::string magic, width, height, maximum;
  header >> magic >> width >> height >> maximum;
  return Grey(bytes.begin() + std::min(bytes.size(), std::size_t(header.tellg()) + 1), bytes.end());
}

// Pearson correlation of two images of a size, leaving out the first border rows and columns; 0 if one is flat.
double Correlation(const Grey& a, const Grey& b, unsigned width, unsigned border) {
  double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0, n = 0;
  for (std::size_t k = 0; a.size() == b.size() && k < a.size(); ++k)
    if (k % width >= border && k / width >= border) {
      const double x = a[k], y = b[k];
      sa += x, sb += y, saa += x * x, sbb += y * y, sab += x * y, ++n;
    }
  const double va = saa - sa * sa / n, vb = sbb - sb * sb / n;
  return n == 0 || va <= 0 || vb <= 0 ? 0 : (sab - sa * sb / n) / std::sqrt(va * vb);
}


std::vector<std::uint32_t> Units32(const std::string& path, bool bigEndian) {
  const Grey b = ReadBytes(path);
  std::vector<std::uint32_t> units;
  for (std::size_t k = 0; k + 4 <= b.size(); k += 4)
    units.push_back(bigEndian ? std::uint32_t(b[k] << 24 | b[k + 1] << 16 | b[k + 2] << 8 | b[k + 3])
                              : std::uint32_t(b[k] | b[k + 1] << 8 | b[k + 2] << 16 | std::uint32_t(b[k + 3]) << 24));
  return units;
}

class Pixels : public MedconvTest {
 protected:
  void Run(const std::string& arguments) {
    const testsupport::RunResult result = Medconv("--nowarn " + arguments);
    ASSERT_EQ(result.status, 0) << arguments << result.err;
  }
};

// Images of 12- and 16-bit slices correlate with dcm2pnm's; the output of --changepr gives the same window.
TEST_F(Pixels, SignedCtSlices) {
  ASSERT_TRUE(WriteWide(dir.file("ct16.dcm"), SignedCt(16)) && WriteWide(dir.file("ct12.dcm"), SignedCt(12)));
  for (const auto& [ours, theirs] : std::vector<std::pair<std::string, std::string>>{
           {"--win", "+Wi 1"}, {"--win=600:300", "+Ww 600 300"}, {"", "+Wm"}, {"--changepr --win", "+Wi 1"}}) {
    Run("-w " + ours + " ct16.dcm ct12.dcm");
    for (const std::string fixture : {"ct16.dcm", "ct12.dcm"}) {
      ASSERT_EQ(ReadBmp8(dir.file(fixture + ".bmp")).size(), 4096u);
      if (testsupport::HaveProgram("dcm2pnm")) {
        ASSERT_EQ(testsupport::Run("dcm2pnm " + theirs + " " + fixture + " t.pgm", dir.path()).status, 0);
        EXPECT_GT(Correlation(ReadBmp8(dir.file(fixture + ".bmp")), ReadPgm(dir.file("t.pgm")), 64, 2), 0.99) << ours;
      }
    }
  }
  Run("--changepr -d ct12.dcm");
  Run("-w --win=40:400 --rename=changed ct12.dcm.dcm");
  Run("-w --win=40:400 ct12.dcm");
  EXPECT_EQ(ReadBmp8(dir.file("changed.bmp")), ReadBmp8(dir.file("ct12.dcm.bmp")));
}

// Each fixture's linear image is grey level k at pixel k; RAW keeps the numbers in either byte order; -d=eb reads back.
TEST_F(Pixels, WideSamplesThroughEveryOutput) {
  Wide dose{Wide::unsigned32, 3}, floats{Wide::float32, 2}, big{Wide::signed32, 1, 24}, rgb{Wide::unsigned32, 1, 32, 1};
  dose.doseGridScaling = "1.5e-5";
  dose.value = [](unsigned f, unsigned k) { return double(k * 1000 + f * 20000); };
  floats.value = [](unsigned f, unsigned k) {  // -25 and up in quarters, pixel 5 NaN, 6 infinite; frame 2 one more
    return k == 5 ? std::numeric_limits<double>::quiet_NaN() : k == 6 ? HUGE_VAL : (double(k) - 100) * 0.25 + f;
  };
  big.syntax = samplewriter::ExplicitBig;
  big.value = [](unsigned, unsigned k) { return (double(k) - 128) * 6e4; };
  rgb.value = [](unsigned, unsigned k) { return double(k) * 4194304; };  // planes' sample k: k x 2^22, top bits k / 4
  const auto ramp = [this](const std::string& name, bool holes) {
    const Grey image = ReadBmp8(dir.file(name));
    ASSERT_EQ(image.size(), 256u) << name;
    for (unsigned k = 0; k < 256; ++k)
      ASSERT_EQ(image[k], holes && (k == 5 || k == 6) ? 0 : k) << name << " pixel " << k;
  };
  // runs: medconv's options for w.dcm, apart by "|"
  const struct { const Wide& fixture; const char* runs; std::function<void()> check; } rows[] = {
      {dose, "-w --frame=2|-p --frame=1|-r0 --frame=2|-r1 --frame=3 --rename=be|-r0 --frame=whole --rename=all", [&] {
         ramp("w.dcm-002.bmp", false);
         EXPECT_EQ(ReadBytes(dir.file("w.dcm-001.png"))[24], 16) << "bit depth";
         const auto all = Units32(dir.file("all.raw"), false), big = Units32(dir.file("be.raw"), true);
         ASSERT_EQ(all.size(), 768u);
         for (unsigned k = 0; k < 768; ++k)
           ASSERT_EQ(all[k], k % 256 * 1000 + k / 256 * 20000) << k;
         EXPECT_EQ(std::vector<std::uint32_t>(all.begin() + 256, all.begin() + 512),
                   Units32(dir.file("w.dcm-002.raw"), false));
         EXPECT_EQ(std::vector<std::uint32_t>(all.begin() + 512, all.end()), big);
       }},
      {floats, "-w --frame=1|-r0 --frame=whole|-d=eb --frame=2 --rename=eb|-r0 --rename=back eb.dcm|"
               "-r2 --frame=whole --rename=stored",
       [&] {
         ramp("w.dcm-001.bmp", true);
         const Grey all = ReadBytes(dir.file("w.dcm.raw"));
         ASSERT_EQ(all.size(), 2048u);
         EXPECT_EQ(all, ReadBytes(dir.file("stored.raw")));  // Float Pixel Data as stored
         EXPECT_EQ(Grey(all.begin() + 1024, all.end()), ReadBytes(dir.file("back.raw")));
       }},
      {big, "-w|-d=eb|-r0 --rename=back w.dcm.dcm|-r0", [&] {
         ramp("w.dcm.bmp", false);
         EXPECT_EQ(ReadBytes(dir.file("w.dcm.raw")), ReadBytes(dir.file("back.raw")));
         EXPECT_EQ(Units32(dir.file("w.dcm.raw"), false)[0], std::uint32_t(-128 * 60000) & 0xFFFFFF);
       }},
      {rgb, "-w|-p", [&] {  // the PNG in 16 bits a sample, read by ImageMagick as big-endian RGB
         const Grey bmp = ReadBytes(dir.file("w.dcm.bmp"));
         const bool png = testsupport::Run("convert w.dcm.png -depth 16 -endian MSB rgb:w.rgb", dir.path()).status == 0;
         const Grey rgb48 = png ? ReadBytes(dir.file("w.rgb")) : Grey(256 * 6);
         ASSERT_EQ(bmp.size() + rgb48.size(), 54u + 16 * 48 + 256 * 6);
         for (unsigned i = 0; i < 256; ++i) {
           const unsigned at = 54 + (15 - i / 16) * 48 + (i % 16) * 3;
           EXPECT_EQ(Grey({bmp[at], bmp[at + 1], bmp[at + 2]}),
                     Grey({UBYTE((512 + i) / 4), UBYTE((256 + i) / 4), UBYTE(i / 4)}));
           for (unsigned c = 0; c < 3; ++c)
             EXPECT_TRUE(!png || (rgb48[6 * i + 2 * c] << 8 | rgb48[6 * i + 2 * c + 1]) == int(256 * c + i) * 64) << i;
         }
       }},
  };
  for (const auto& row : rows) {
    ASSERT_TRUE(WriteWide(dir.file("w.dcm"), row.fixture));
    std::istringstream runs(row.runs);
    for (std::string run; std::getline(runs, run, '|');)
      Run(run + (run.find(".dcm") == std::string::npos ? " w.dcm" : ""));
    row.check();
    if (&row.fixture == &dose && testsupport::HaveProgram("dcm2pnm")) {
      Run("-w --frame=1 --rename=ours w.dcm");
      ASSERT_EQ(testsupport::Run("dcm2pnm +Wm +F 1 w.dcm t.pgm", dir.path()).status, 0);
      const Grey ours = ReadBmp8(dir.file("ours.bmp")), theirs = ReadPgm(dir.file("t.pgm"));
      for (std::size_t k = 0; k < 256 && ours.size() == theirs.size(); ++k)
        EXPECT_NEAR(ours[k], theirs[k], 1) << k;
    }
  }
}

// Fault: a whole set of samples wider than a word written in the other byte order kept the stored bytes (-25.0
// read back as 7.2e-41).
TEST_F(Pixels, WholeWideSetsInTheOtherByteOrder) {
  for (const Wide::Kind kind : {Wide::float32, Wide::float64, Wide::signed32}) {
    Wide wide{kind, 2};
    wide.value = [](unsigned f, unsigned k) { return k * 0.25 - 25 + f * 1000; };
    if (kind == Wide::signed32)
      wide.value = [](unsigned f, unsigned k) { return double(k) * 70000 - 9e6 + f; };
    ASSERT_TRUE(WriteWide(dir.file("w.dcm"), wide));
    for (const char* run : {"-r0 --frame=whole w.dcm", "-d=eb --frame=whole --rename=eb w.dcm",
                            "-r0 --frame=whole --rename=back eb.dcm"})
      Run(run);
    EXPECT_EQ(ReadBytes(dir.file("w.dcm.raw")), ReadBytes(dir.file("back.raw"))) << kind;
  }
}

// Damaged RLE frames give no image; unbuildable frames are refused once per set, undecodable ones once per output.
TEST_F(Pixels, DamagedCompressedDataGiveNoOutput) {
  using namespace codecfixtures;
  const char* const rle = "1.2.840.10008.1.2.5";
  const auto flat = [](std::uint8_t value, unsigned runs) {  // 128 pixels a run
    Bytes segment(2 * runs, value);
    for (unsigned k = 0; k < runs; ++k)
      segment[2 * k] = 0x81;
    return segment;
  };
  const auto count = [](const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
      ++n;
    return n;
  };
  codecfixtures::Image image, big, thousand, one;
  image.rows = image.columns = big.rows = big.columns = 64;
  big.bits = 16;
  thousand.frames = 1000;
  const Bytes seven = RleStream({{0xFD, 7}});
  for (const auto& [name, file] : std::vector<std::pair<std::string, Bytes>>{
           {"a", EncapsulatedFile(rle, image, Items({}, {RleStream({flat(0xAA, 32)})}))},
           {"short", EncapsulatedFile(rle, image, Items({}, {RleStream({flat(0x55, 31)})}))},
           {"long", EncapsulatedFile(rle, image, Items({}, {RleStream({flat(0x55, 33)})}))},
           {"missing", EncapsulatedFile(rle, big, Items({}, {RleStream({flat(0x55, 32)})}))},
           {"thousand", EncapsulatedFile(rle, thousand, Items({}, {seven, seven}))},
           {"ow", EncapsulatedFile(rle, one, Items({}, {seven}), "OW")},
           {"mpeg", EncapsulatedFile("1.2.840.10008.1.2.4.100", one, Items({}, {{0, 0, 1, 0xB3}}))}})
    testsupport::WriteBytes(dir.file(name + ".dcm"), file);
  samplewriter::SampleSet native = SmallImageSet();
  native.Text(0x0028, 0x0008, "IS", "32767");
  Write("native.dcm", native);
  const std::string err = Medconv("-w -r0 a.dcm short.dcm a.dcm long.dcm missing.dcm thousand.dcm native.dcm "
                                  "thousand.dcm native.dcm ow.dcm").err;
  EXPECT_EQ(ReadBytes(dir.file("a.dcm.raw")), Grey(4096, 0xAA));
  EXPECT_EQ(ReadBytes(dir.file("ow.dcm.raw")), Grey(4, 7));
  for (const char* damaged : {"short.dcm", "long.dcm", "missing.dcm", "thousand.dcm", "native.dcm"})
    EXPECT_FALSE(Exists(std::string(damaged) + ".bmp") || Exists(std::string(damaged) + ".raw")) << damaged;
  for (const char* report : {"RLE segment 1 is short: 3968 of 4096 bytes decoded!", "RLE segment 1 is long",
                             "the RLE header is wrong (2 segments attended, 1 specified)"})
    EXPECT_HAS(err, report);
  EXPECT_EQ(count(err, "the 2 fragments of the Pixel Data can not be divided into 1000 frames (frame 3)!"), 2u);
  for (const std::string frames : {"1000", "32767"})
    EXPECT_EQ(count(err, "frame " + frames + ", the last of the set, can not be built: no frame is converted!"), 2u);
  EXPECT_LT(err.size(), 8000u);
  const std::string refused = Medconv("-w -r0 -d=el mpeg.dcm").err;
  EXPECT_EQ(count(refused, "transfer syntax 1.2.840.10008.1.2.4.100 can not be decoded by this build!"), 3u);
  EXPECT_EQ(refused.find("reorganize"), std::string::npos) << refused;
  EXPECT_FALSE(Exists("mpeg.dcm.bmp") || Exists("mpeg.dcm.raw") || Exists("mpeg.dcm.dcm"));
}

}  // namespace
