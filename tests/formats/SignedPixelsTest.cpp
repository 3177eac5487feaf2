// Signed CT slices (negative air, positive bone, padding -2000, 12 or 16
// bits stored in 16 with the sign) through the windows, the resamplings, the
// statistics and accumulation, with and without --changepr: the images agree
// with DCMTK's dcm2pnm, and exactly with the window's formula where it fixes
// the value. Skipped without the program; dcm2pnm rows skip without DCMTK.
#include "formats/PixelFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using pixelfixtures::Grey;
using testsupport::TempDir;

std::string Medconv(const std::string& arguments, const TempDir& folder) {
  return "cd '" + folder.path() + "' && " + std::string(MEDCONV_BINARY) + " " + arguments;
}

class SignedCt : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::string(MEDCONV_BINARY).empty())
      GTEST_SKIP() << "needs the medconv program";
    pixelfixtures::CopyDictionary(folder.path());
    ASSERT_TRUE(pixelfixtures::WriteSignedCt(folder.file("ct16.dcm"), 16));
    ASSERT_TRUE(pixelfixtures::WriteSignedCt(folder.file("ct12.dcm"), 12));
  }

  // Our BMP of a fixture under the options given.
  Grey Ours(const std::string& fixture, const std::string& options) {
    const testsupport::RunResult result = testsupport::Run(Medconv("-w --nowarn " + options + " " + fixture, folder));
    EXPECT_EQ(result.status, 0) << options << result.err;
    return pixelfixtures::ReadBmp8(folder.file(fixture + ".bmp"));
  }

  TempDir folder;
};

TEST_F(SignedCt, ImagesCorrelateWithDcm2pnm) {
  if (!testsupport::HaveProgram("dcm2pnm"))
    GTEST_SKIP() << "needs DCMTK's dcm2pnm";
  struct Row {
    const char* ours;
    const char* theirs;
  } const rows[] = {
      {"--win", "+Wi 1"},
      {"--win=40:400", "+Ww 40 400"},
      {"--win=300:1500", "+Ww 300 1500"},
      {"", "+Wm"},
      {"--resample=near", "+Wm"},
      {"--changepr --win", "+Wi 1"},
      {"--changepr=bin --win=40:400", "+Ww 40 400"},
      {"--changepr", "+Wm"},
  };
  for (const char* fixture : {"ct16.dcm", "ct12.dcm"})
    for (const Row& row : rows) {
      const std::string theirs = folder.file("theirs.pgm");
      ASSERT_EQ(
          0, testsupport::Run("dcm2pnm " + std::string(row.theirs) + " " + folder.file(fixture) + " " + theirs).status);
      // dcm2pnm's minimum and maximum take in the padding, ours skip it: the
      // padding border is left out of the comparison.
      const double r =
          pixelfixtures::Correlation(Ours(fixture, row.ours), pixelfixtures::ReadPgm(theirs), pixelfixtures::CtSize, 2);
      EXPECT_GT(r, 0.99) << fixture << " " << row.ours;
    }
}

// --win=40:400 maps stored values from -160: v - min = 160 is exactly 102
// and 240 exactly 153; air gives 0, bone 255, padding 0; with --changepr
// (any offset) every pixel is the same.
TEST_F(SignedCt, WindowGivesTheFormulasValuesWithAndWithoutChangepr) {
  for (const char* fixture : {"ct16.dcm", "ct12.dcm"}) {
    const Grey plain = Ours(fixture, "--win=40:400");
    ASSERT_EQ(plain.samples.size(), std::size_t(pixelfixtures::CtSize) * pixelfixtures::CtSize) << fixture;
    for (unsigned y = 0; y < pixelfixtures::CtSize; ++y)
      for (unsigned x = 0; x < pixelfixtures::CtSize; ++x) {
        const int v = pixelfixtures::CtValue(x, y);
        const unsigned char got = plain.samples[y * pixelfixtures::CtSize + x];
        unsigned char expected = 0;  // padding and values below the window
        if (v > 239)
          expected = 255;
        else if (v == 0 || v == 80)
          expected = v == 0 ? 102 : 153;
        else if (v != -2000 && v >= -160)
          continue;  // inside the ramp: the correlation rows cover it
        ASSERT_EQ(got, expected) << fixture << " at " << x << "," << y;
      }
    for (const char* changepr : {"--changepr", "--changepr=bin", "--changepr=1000"})
      EXPECT_EQ(Ours(fixture, std::string(changepr) + " --win=40:400").samples, plain.samples) << fixture << changepr;
    // The default linear resampling and near equal their --changepr forms.
    EXPECT_EQ(Ours(fixture, "--changepr").samples, Ours(fixture, "").samples) << fixture;
    EXPECT_EQ(Ours(fixture, "--changepr --resample=near").samples, Ours(fixture, "--resample=near").samples) << fixture;
    EXPECT_EQ(Ours(fixture, "--changepr=bin --resample=shift").samples, Ours(fixture, "--resample=shift").samples)
        << fixture;
  }
}

// Statistics skip padding and read signed numbers; accumulation of the slice
// with itself keeps it; 16-bit PNG goes through the same window.
TEST_F(SignedCt, StatisticsAccumulationAndPng) {
  for (const char* fixture : {"ct16.dcm", "ct12.dcm"}) {
    testsupport::RunResult result = testsupport::Run(Medconv("--get=max:min " + std::string(fixture), folder));
    EXPECT_NE(result.out.find("[max: 1200] [min: -1000]"), std::string::npos) << fixture << result.out;
    EXPECT_EQ(result.out.find("--changepr"), std::string::npos) << result.out;
    result = testsupport::Run(Medconv("--changepr --get=max:min " + std::string(fixture), folder));
    EXPECT_NE(result.out.find("[max: 2200] [min: 0]"), std::string::npos) << fixture << result.out;
    result = testsupport::Run(Medconv("--nowarn --acc=min:acc.dcm " + std::string(fixture) + " " + fixture, folder));
    ASSERT_EQ(result.status, 0) << result.err;
    // Pixels that are padding in every frame keep the buffer's extreme.
    EXPECT_DOUBLE_EQ(pixelfixtures::Correlation(Ours("acc.dcm", "--win=40:400"), Ours(fixture, "--win=40:400"),
                                                pixelfixtures::CtSize, 2),
                     1.0)
        << fixture;
    // DICOM output of the unsigned samples carries the moved intercept.
    result = testsupport::Run(Medconv("--nowarn --changepr -d " + std::string(fixture), folder));
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(Ours(std::string(fixture) + ".dcm", "--win=40:400").samples, Ours(fixture, "--win=40:400").samples)
        << fixture;
    result = testsupport::Run(Medconv("--nowarn -p1 --win=40:400 " + std::string(fixture), folder));
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(testsupport::FileExists(folder.file(std::string(fixture) + ".png")));
  }
}

}  // namespace
