// The image options of the medconv command: BMP files as inputs and as
// masks, and the refusals of the writers' options.
#include "frame/TestFrames.h"
#include "support/TestSupport.h"
#include "tools/SampleWriter.h"

#include "lib/qzcFileName.h"

#include <gtest/gtest.h>

namespace {

using testsupport::ReadBytes;
using testsupport::TempDir;

typedef std::vector<UBYTE> Bytes;

class ImageCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::string(MEDCONV_BINARY).empty())
      GTEST_SKIP() << "needs the medconv program";
  }

  testsupport::RunResult Medconv(const std::string& arguments) {
    return testsupport::Run(std::string(MEDCONV_BINARY) + " " + arguments, dir.path());
  }

  // An 8-bit BMP of the values (2 rows x 2 columns), unchanged.
  void WriteBmp(const std::string& name, const std::vector<UWORD>& values, const std::string& interpretation,
                UWORD samples = 1) {
    qzmMedicalFrame frame;
    testframes::Make(frame, 2, 2, 8, 8, values, interpretation, samples);
    qzmMedicalFrame::ConversionContext context;
    context.ReSamplingMethod = qzmMedicalFrame::ReSamplingMethod::no;
    ASSERT_TRUE(frame.SaveAsBMP(qzcFileName(dir.file(name)), context));
  }

  // A 2 x 2 MR image of 12-bit values in a DICOM file.
  void WriteDicom(const std::string& name, const std::vector<std::uint16_t>& values) {
    samplewriter::SampleSet set(samplewriter::ExplicitLittle);
    set.Text(0x0008, 0x0060, "CS", "MR");
    set.UnsignedShort(0x0028, 0x0002, 1);
    set.Text(0x0028, 0x0004, "CS", "MONOCHROME2");
    set.UnsignedShort(0x0028, 0x0010, 2);
    set.UnsignedShort(0x0028, 0x0011, 2);
    set.UnsignedShort(0x0028, 0x0100, 16);
    set.UnsignedShort(0x0028, 0x0101, 12);
    set.UnsignedShort(0x0028, 0x0102, 11);
    set.UnsignedShort(0x0028, 0x0103, 0);
    set.Words(0x7FE0, 0x0010, values);
    ASSERT_TRUE(set.Save(dir.file(name)));
  }

  TempDir dir;
};

TEST_F(ImageCommand, BmpInputIsWrittenBackUnchanged) {
  WriteBmp("x.bmp", {1, 2, 3, 4}, "MONOCHROME2");
  const testsupport::RunResult result = Medconv("-w --resample=no x.bmp");
  EXPECT_EQ(0, result.status) << result.err;
  EXPECT_EQ(ReadBytes(dir.file("x.bmp")), ReadBytes(dir.file("x.bmp.bmp")));
}

// The 2 x 2 image of the DICOM file, bottom row first.
TEST_F(ImageCommand, MaskAndZeroWidthWindow) {
  WriteDicom("mr.dcm", {10, 20, 30, 40});
  WriteBmp("m.bmp", {0, 1, 255, 0}, "MONOCHROME2");
  const struct {
    const char* options;
    Bytes image;
  } rows[] = {{"-w --resample=no --mask=zero:m.bmp", {0, 40, 0, 0, 10, 0, 0, 0}},
              {"-w --win=20:0", {255, 255, 0, 0, 0, 0, 0, 0}}};  // a threshold at 20
  for (const auto& row : rows) {
    SCOPED_TRACE(row.options);
    const testsupport::RunResult result = Medconv(std::string(row.options) + " mr.dcm");
    EXPECT_EQ(0, result.status) << result.err;
    const Bytes file = ReadBytes(dir.file("mr.dcm.bmp"));
    ASSERT_EQ(1078u + 8u, file.size());
    EXPECT_EQ(row.image, Bytes(file.begin() + 1078, file.end()));
  }
  WriteBmp("mask-zero.bmp", {1, 0, 0, 0}, "MONOCHROME2");
  testsupport::Run("mkdir out", dir.path());
  EXPECT_EQ(0, Medconv("-w --resample=no --mask=zero --to=out/ mr.dcm").status);
}

TEST_F(ImageCommand, TwentyFourBitMaskIsRefused) {
  WriteDicom("mr.dcm", {10, 20, 30, 40});
  WriteBmp("rgb.bmp", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, "RGB", 3);
  const testsupport::RunResult result = Medconv("-w --mask=zero:rgb.bmp mr.dcm");
  EXPECT_EQ(1, result.status);
  EXPECT_HAS(result.err, "can not handle format 24 <> 8 bits/pixel!");
  EXPECT_HAS(result.err, "unable to load mask rgb.bmp!");
  EXPECT_FALSE(testsupport::FileExists(dir.file("mr.dcm.bmp")));
}

TEST_F(ImageCommand, WriterOptionFailures) {
  WriteDicom("mr.dcm", {10, 20, 30, 40});
  testsupport::RunResult result = Medconv("-a -w -p2 mr.dcm");
  EXPECT_HAS(result.err, "wrong parameters for -p!");
  EXPECT_TRUE(testsupport::FileExists(dir.file("mr.dcm.tga")));  // written before -p was refused
  EXPECT_TRUE(testsupport::FileExists(dir.file("mr.dcm.bmp")));

  result = Medconv("--out -a -w -p -j mr.dcm");
  EXPECT_HAS(result.err, "unable to save as TARGA!");
  EXPECT_HAS(result.err, "unable to open destination file stdout!");
  EXPECT_HAS(result.err, "unable to save as JPEG/JFIF!");
  EXPECT_EQ(0u, result.out.find("\x89PNG\r\n\x1a\n"));  // -p writes to standard output
}

}  // namespace
