// Samples of 32-bit integers and 32- or 64-bit floating-point numbers, from
// generated fixtures whose values follow a formula, through every output and
// operation: each row names a fixture, the options and what the outputs must
// hold, computed from the formula or taken from DCMTK's dcm2pnm where it
// reads the data. The pydicom corpus's dose grids are compared with
// dcm2pnm and with their little-endian twins. Skipped without the program;
// oracle rows skip without DCMTK, corpus rows without the corpus.
#include "formats/PixelFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

using pixelfixtures::Grey;
using pixelfixtures::Wide;
using testsupport::TempDir;

const double NaN = std::numeric_limits<double>::quiet_NaN();
const double Infinity = std::numeric_limits<double>::infinity();

testsupport::RunResult Medconv(const std::string& arguments, const TempDir& folder) {
  return testsupport::Run("cd '" + folder.path() + "' && " + std::string(MEDCONV_BINARY) + " " + arguments);
}

// 32-bit units of a RAW file, read in the byte order given.
std::vector<std::uint32_t> Units32(const std::string& path, bool bigEndian) {
  const std::vector<unsigned char> b = testsupport::ReadBytes(path);
  std::vector<std::uint32_t> units;
  for (std::size_t k = 0; k + 4 <= b.size(); k += 4)
    units.push_back(bigEndian ? std::uint32_t(b[k] << 24 | b[k + 1] << 16 | b[k + 2] << 8 | b[k + 3])
                              : std::uint32_t(b[k] | b[k + 1] << 8 | b[k + 2] << 16 | std::uint32_t(b[k + 3]) << 24));
  return units;
}

std::vector<double> Doubles(const std::string& path) {
  const std::vector<unsigned char> b = testsupport::ReadBytes(path);
  std::vector<double> values(b.size() / 8);
  if (!values.empty())
    std::memcpy(values.data(), b.data(), values.size() * 8);
  return values;
}

// Fixtures: 16 x 16 pixels, sample k of frame f.
Wide DoseGrid() {  // a few thousandths of the 32-bit range, 1.5e-5 Gy per unit
  Wide wide;
  wide.doseGridScaling = "1.5e-5";
  wide.frames = 3;
  wide.value = [](unsigned f, unsigned k) { return double(k * 1000 + f * 20000); };
  return wide;
}

Wide Signed32(std::uint16_t bitsStored, double step) {
  Wide wide;
  wide.kind = Wide::signed32;
  wide.bitsStored = bitsStored;
  wide.value = [step](unsigned, unsigned k) { return (double(k) - 128) * step; };
  return wide;
}

// -25 to 38.75 in quarters; sample 5 is NaN, 6 infinite.
Wide Floats(Wide::Kind kind, std::uint16_t frames = 1) {
  Wide wide;
  wide.kind = kind;
  wide.frames = frames;
  wide.value = [](unsigned f, unsigned k) { return k == 5 ? NaN : k == 6 ? Infinity : (double(k) - 100) * 0.25 + f; };
  return wide;
}

Wide RgbPlanes() {
  Wide wide;
  wide.planar = 1;
  wide.value = [](unsigned, unsigned k) { return double(k) * 4194304; };
  return wide;
}

Wide BigEndian(Wide wide) {
  wide.syntax = samplewriter::ExplicitBig;
  return wide;
}

// Grey level k for pixel k: the linear resampling of every fixture spans
// 0 to 255 over the 256 pixels; non-finite pixels (5 and 6 of the floating
// point fixtures) give 0.
void LinearRamp(const Grey& image, const std::string& what, bool holes = false) {
  ASSERT_EQ(image.samples.size(), 256u) << what;
  for (unsigned k = 0; k < 256; ++k)
    ASSERT_EQ(image.samples[k], holes && (k == 5 || k == 6) ? 0 : k) << what << " pixel " << k;
}

struct Row {
  const char* name;
  std::function<Wide()> fixture;
  const char* options;  // with the file names; "medconv" runs the program again
  // Checks the outputs written for fixture "w.dcm" in the folder.
  std::function<void(const TempDir&, const testsupport::RunResult&)> check;
};

TEST(WidePixels, EveryOutputAndOperation) {
  if (std::string(MEDCONV_BINARY).empty())
    GTEST_SKIP() << "needs the medconv program";
  const Row rows[] = {
      {"dose grid, linear over its own range, every frame", DoseGrid, "-w --frame=2 w.dcm",
       [](const TempDir& d, const testsupport::RunResult&) {
         LinearRamp(pixelfixtures::ReadBmp8(d.file("w.dcm-002.bmp")), "frame 2");
       }},
      {"dose grid, window in Gy through the dose grid scaling", DoseGrid, "-w --frame=1 --win=1.5:2 w.dcm",
       [](const TempDir& d, const testsupport::RunResult&) {
         // Pixel k holds k x 0.015 Gy; the window runs from 0.5 to 2.5 Gy.
         const Grey image = pixelfixtures::ReadBmp8(d.file("w.dcm-001.bmp"));
         ASSERT_EQ(image.samples.size(), 256u);
         for (unsigned k = 0; k < 256; ++k) {
           const double level = (k * 1000 * 1.5e-5 - 0.5) / 2 * 255;
           const int expected = level <= 0 ? 0 : level >= 255 ? 255 : int(level);
           EXPECT_NEAR(image.samples[k], expected, 1) << k;
         }
       }},
      {"dose grid statistics", DoseGrid, "--frame=3 --get=max:min:mean w.dcm",
       [](const TempDir&, const testsupport::RunResult& r) {
         EXPECT_NE(r.out.find("[max: 295000] [min: 40000] [mean: 167500]"), std::string::npos) << r.out;
       }},
      {"dose grid, RAW in both byte orders", DoseGrid, "-r0 --frame=2 w.dcm && medconv -r1 --frame=3 --rename=be w.dcm",
       [](const TempDir& d, const testsupport::RunResult&) {
         const std::vector<std::uint32_t> little = Units32(d.file("w.dcm-002.raw"), false);
         const std::vector<std::uint32_t> big = Units32(d.file("be.raw"), true);
         ASSERT_EQ(little.size(), 256u);
         ASSERT_EQ(big.size(), 256u);
         for (unsigned k = 0; k < 256; ++k) {
           EXPECT_EQ(little[k], k * 1000 + 20000);
           EXPECT_EQ(big[k], k * 1000 + 40000);
         }
       }},
      {"dose grid, 16-bit PNG", DoseGrid, "-p --frame=1 w.dcm",
       [](const TempDir& d, const testsupport::RunResult&) {
         const std::vector<unsigned char> png = testsupport::ReadBytes(d.file("w.dcm-001.png"));
         ASSERT_GT(png.size(), 25u);
         EXPECT_EQ(png[24], 16) << "bit depth";
       }},
      {"dose grid, crop, halve and flips", DoseGrid, "-r0 --frame=1 --crop=2:4:8:6 --halve --fliph --flipv w.dcm",
       [](const TempDir& d, const testsupport::RunResult&) {
         // Columns 2 to 9 of rows 4 to 9, halved to 4 x 3, then turned.
         const std::vector<std::uint32_t> raw = Units32(d.file("w.dcm-001.raw"), false);
         ASSERT_EQ(raw.size(), 12u);
         for (unsigned i = 0; i < 3; ++i)
           for (unsigned j = 0; j < 4; ++j) {
             const unsigned row = 4 + 2 * (2 - i), column = 2 + 2 * (3 - j);
             const unsigned k = row * 16 + column;
             const unsigned sum = (k + k + 1 + k + 16 + k + 17) * 1000;
             EXPECT_EQ(raw[i * 4 + j], sum / 4) << i << "," << j;
           }
       }},
      {"signed 32 bits, statistics", [] { return Signed32(32, 1.5e7); }, "--get=max:min w.dcm",
       [](const TempDir&, const testsupport::RunResult& r) {
         EXPECT_NE(r.out.find("[max: 1905000000] [min: -1920000000]"), std::string::npos) << r.out;
       }},
      {"signed 24 of 32 bits, linear and shift", [] { return Signed32(24, 6e4); },
       "-w w.dcm && medconv -w --resample=shift --rename=shift w.dcm",
       [](const TempDir& d, const testsupport::RunResult&) {
         LinearRamp(pixelfixtures::ReadBmp8(d.file("w.dcm.bmp")), "linear");
         // Offset binary: -128 x 6e4 + 2^23 over 2^16.
         const Grey shifted = pixelfixtures::ReadBmp8(d.file("shift.bmp"));
         ASSERT_EQ(shifted.samples.size(), 256u);
         for (unsigned k = 0; k < 256; ++k)
           EXPECT_EQ(shifted.samples[k], unsigned(((double(k) - 128) * 6e4 + 8388608) / 65536)) << k;
       }},
      {"float with NaN and infinity, linear, one warning", [] { return Floats(Wide::float32); }, "-w w.dcm",
       [](const TempDir& d, const testsupport::RunResult& r) {
         LinearRamp(pixelfixtures::ReadBmp8(d.file("w.dcm.bmp")), "float", true);
         EXPECT_NE(r.out.find("2 samples are not finite numbers"), std::string::npos) << r.out;
       }},
      {"double, big endian, statistics skip NaN", [] { return BigEndian(Floats(Wide::float64)); },
       "-w --get=max:min w.dcm",
       [](const TempDir& d, const testsupport::RunResult& r) {
         LinearRamp(pixelfixtures::ReadBmp8(d.file("w.dcm.bmp")), "double", true);
         EXPECT_NE(r.out.find("[max: 38.75] [min: -25]"), std::string::npos) << r.out;
       }},
      {"multi-frame double, RAW keeps the numbers", [] { return Floats(Wide::float64, 2); }, "-r0 --frame=2 w.dcm",
       [](const TempDir& d, const testsupport::RunResult&) {
         const std::vector<double> values = Doubles(d.file("w.dcm-002.raw"));
         ASSERT_EQ(values.size(), 256u);
         EXPECT_TRUE(std::isnan(values[5]));
         EXPECT_EQ(values[0], -25 + 1);
         EXPECT_EQ(values[255], 38.75 + 1);
       }},
      {"float accumulation keeps floats", [] { return Floats(Wide::float32, 2); },
       "--nowarn --acc=max:acc.dcm w.dcm && medconv --get=max:min acc.dcm",
       [](const TempDir&, const testsupport::RunResult& r) {
         EXPECT_NE(r.out.find("[max: 39.75] [min: -24]"), std::string::npos) << r.out;
       }},
      {"DICOM output read back in both byte orders", [] { return Floats(Wide::float32); },
       "-d=eb --nowarn w.dcm && medconv -r0 --nowarn w.dcm.dcm && medconv -r0 --nowarn --rename=orig w.dcm",
       [](const TempDir& d, const testsupport::RunResult&) {
         EXPECT_EQ(testsupport::ReadBytes(d.file("w.dcm.dcm.raw")), testsupport::ReadBytes(d.file("orig.raw")));
       }},
      {"signed DICOM output big endian", [] { return BigEndian(Signed32(24, 6e4)); },
       "-d=eb --nowarn w.dcm && medconv -r0 --nowarn w.dcm.dcm && medconv -r0 --nowarn --rename=orig w.dcm",
       [](const TempDir& d, const testsupport::RunResult&) {
         EXPECT_EQ(testsupport::ReadBytes(d.file("w.dcm.dcm.raw")), testsupport::ReadBytes(d.file("orig.raw")));
         EXPECT_EQ(Units32(d.file("orig.raw"), false)[0], std::uint32_t(-128 * 60000) & 0xFFFFFF);
       }},
      {"RGB of 32 bits, colour-by-plane, to BMP", RgbPlanes, "-w --nowarn w.dcm",
       [](const TempDir& d, const testsupport::RunResult&) {
         // Sample k of the planes is k x 2^22: its top 8 bits are k / 4.
         const std::vector<unsigned char> bmp = testsupport::ReadBytes(d.file("w.dcm.bmp"));
         ASSERT_GE(bmp.size(), 54u + 16 * 48);
         const unsigned offset = bmp[10] | bmp[11] << 8;
         for (unsigned i = 0; i < 256; ++i) {
           const unsigned row = 15 - i / 16, at = offset + row * 48 + (i % 16) * 3;
           EXPECT_EQ(bmp[at], (512 + i) / 4) << i;  // blue
           EXPECT_EQ(bmp[at + 1], (256 + i) / 4) << i;
           EXPECT_EQ(bmp[at + 2], i / 4) << i;
         }
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir folder;
    pixelfixtures::CopyDictionary(folder.path());
    ASSERT_TRUE(pixelfixtures::WriteWide(folder.file("w.dcm"), row.fixture()));
    // "medconv" inside the options runs the program again in the folder.
    std::string options = row.options;
    const std::string program = MEDCONV_BINARY;
    for (std::size_t at = options.find("medconv"); at != std::string::npos;
         at = options.find("medconv", at + program.size()))
      options.replace(at, 7, program);
    const testsupport::RunResult result = Medconv(options, folder);
    ASSERT_EQ(result.status, 0) << result.err;
    row.check(folder, result);
  }
}

// Where dcm2pnm reads the data (integers in Pixel Data), its min-max window
// gives our linear image within one grey level.
TEST(WidePixels, IntegerImagesAgreeWithDcm2pnm) {
  if (std::string(MEDCONV_BINARY).empty() || !testsupport::HaveProgram("dcm2pnm"))
    GTEST_SKIP() << "needs the medconv program and DCMTK's dcm2pnm";
  const std::function<Wide()> fixtures[] = {DoseGrid, [] { return Signed32(32, 1.5e7); },
                                            [] { return Signed32(24, 6e4); }};
  for (const auto& fixture : fixtures) {
    TempDir folder;
    pixelfixtures::CopyDictionary(folder.path());
    ASSERT_TRUE(pixelfixtures::WriteWide(folder.file("w.dcm"), fixture()));
    ASSERT_EQ(0, Medconv("-w --nowarn --frame=1 --rename=ours w.dcm", folder).status);
    ASSERT_EQ(0, testsupport::Run("dcm2pnm +Wm +F 1 " + folder.file("w.dcm") + " " + folder.file("t.pgm")).status);
    const Grey ours = pixelfixtures::ReadBmp8(folder.file("ours.bmp")),
               theirs = pixelfixtures::ReadPgm(folder.file("t.pgm"));
    ASSERT_EQ(ours.samples.size(), theirs.samples.size());
    for (std::size_t k = 0; k < ours.samples.size(); ++k)
      EXPECT_NEAR(ours.samples[k], theirs.samples[k], 1) << k;
  }
}

// Every 32-bit file of pydicom's corpus gives an image; native dose grids
// agree with dcm2pnm, and the big-endian ones with their little-endian twins.
TEST(WidePixels, CorpusDoseGrids) {
  const std::string corpus = "/usr/lib/python3/dist-packages/pydicom/data/test_files/";
  if (std::string(MEDCONV_BINARY).empty() || !testsupport::FileExists(corpus + "rtdose.dcm"))
    GTEST_SKIP() << "needs the medconv program and python3-pydicom's test files";
  TempDir folder;
  pixelfixtures::CopyDictionary(folder.path());
  for (const char* name : {"rtdose", "rtdose_1frame", "rtdose_expb", "rtdose_expb_1frame", "badVR"}) {
    SCOPED_TRACE(name);
    ASSERT_EQ(
        0, Medconv("-w --nowarn --frame=1 --to=./ --rename=" + std::string(name) + " " + corpus + name + ".dcm", folder)
               .status);
    const Grey ours = pixelfixtures::ReadBmp8(folder.file(std::string(name) + ".bmp"));
    EXPECT_FALSE(ours.samples.empty());
    if (std::string(name).find("expb") != std::string::npos) {
      // DCMTK reads big-endian 32-bit words in the other order; the twin
      // holds the same grid.
      const std::string twin = std::string(name) == "rtdose_expb" ? "rtdose" : "rtdose_1frame";
      EXPECT_EQ(ours.samples, pixelfixtures::ReadBmp8(folder.file(twin + ".bmp")).samples);
    } else if (testsupport::HaveProgram("dcm2pnm")) {
      ASSERT_EQ(0,
                testsupport::Run("dcm2pnm +Wm +F 1 " + corpus + name + ".dcm " + folder.file("t.pgm") + " 2>/dev/null")
                    .status);
      EXPECT_GT(pixelfixtures::Correlation(ours, pixelfixtures::ReadPgm(folder.file("t.pgm"))), 0.999);
    }
  }
}

}  // namespace
