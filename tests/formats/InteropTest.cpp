// The images medconv writes for real files nobody here wrote (Debian's
// pydicom test corpus) open in other programs: ImageMagick, pngcheck and
// libjpeg's djpeg, whose decoding is compared with DCMTK's. Skipped when the
// corpus, the program or a tool is absent.
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

using testsupport::HaveProgram;
using testsupport::TempDir;

std::vector<std::string> CorpusFiles() {
  const testsupport::RunResult listing = testsupport::Run("dpkg -L python3-pydicom 2>/dev/null | grep '\\.dcm$'");
  std::vector<std::string> files;
  std::istringstream lines(listing.out);
  for (std::string line; std::getline(lines, line);)
    files.push_back(line);
  return files;
}

std::vector<std::string> FilesIn(const std::string& folder, const std::string& extension) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.size() > extension.size() &&
          name.compare(name.size() - extension.size(), extension.size(), extension) == 0)
        names.push_back(folder + "/" + name);
    }
    closedir(dir);
  }
  return names;
}

std::string Quoted(const std::string& text) {
  return "'" + text + "'";
}

// Runs medconv on one corpus file; a crash or a sanitizer report fails the test.
void Convert(const std::string& options, const std::string& file, const TempDir& out) {
  const testsupport::RunResult result = testsupport::Run(std::string(MEDCONV_BINARY) + " " + options +
                                                         " --to=" + Quoted(out.path()) + " " + Quoted(file));
  EXPECT_TRUE(result.status == 0 || result.status == 1) << file;
  EXPECT_EQ(std::string::npos, result.err.find("runtime error")) << file;
  EXPECT_EQ(std::string::npos, result.err.find("Sanitizer")) << file;
}

class Corpus : public ::testing::Test {
 protected:
  void SetUp() override {
    files = CorpusFiles();
    if (files.empty() || std::string(MEDCONV_BINARY).empty())
      GTEST_SKIP() << "needs python3-pydicom's test files and the medconv program";
  }
  std::vector<std::string> files;
};

TEST_F(Corpus, EveryImageWrittenOpensInImageMagickAndPngcheck) {
  if (!HaveProgram("identify") || !HaveProgram("pngcheck"))
    GTEST_SKIP() << "needs ImageMagick's identify and pngcheck";
  TempDir out;
  for (const std::string& file : files)
    Convert("-w -a -p --nowarn", file, out);
  const std::vector<std::string> pngs = FilesIn(out.path(), ".png");
  EXPECT_GE(pngs.size(), 20u);
  for (const std::string& png : pngs)
    EXPECT_EQ(0, testsupport::Run("pngcheck -q " + Quoted(png)).status) << png;
  for (const char* extension : {".bmp", ".tga", ".png"})
    for (const std::string& image : FilesIn(out.path(), extension))
      EXPECT_EQ(0, testsupport::Run("identify " + Quoted(image)).status) << image;
}

// A binary PGM or PPM image of 8-bit samples, as djpeg and dcm2pnm write them.
struct Pnm {
  std::string magic;
  unsigned width = 0;
  unsigned height = 0;
  std::vector<unsigned char> samples;
};

Pnm ReadPnm(const std::string& path) {
  const std::vector<unsigned char> bytes = testsupport::ReadBytes(path);
  std::istringstream header(std::string(bytes.begin(), bytes.end()));
  Pnm image;
  unsigned maxValue = 0;
  header >> image.magic >> image.width >> image.height >> maxValue;
  const std::streamoff start = header.tellg() + std::streamoff(1);  // one white space ends the header
  if (header && start <= std::streamoff(bytes.size()))
    image.samples.assign(bytes.begin() + start, bytes.end());
  return image;
}

int LargestDifference(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
  int largest = 0;
  for (std::size_t k = 0; k < a.size() && k < b.size(); ++k)
    largest = std::max(largest, std::abs(int(a[k]) - int(b[k])));
  return largest;
}

// The extracted stream decodes to DCMTK's decoding of the set, within the
// rounding of two JPEG libraries; for RGB sets this also checks that the
// colours are not taken for YCbCr.
TEST_F(Corpus, ExtractedBaselineJpegDecodesLikeDcmtk) {
  if (!HaveProgram("djpeg") || !HaveProgram("dcmdump") || !HaveProgram("dcmdjpeg") || !HaveProgram("dcm2pnm"))
    GTEST_SKIP() << "needs djpeg and DCMTK's dcmdump, dcmdjpeg and dcm2pnm";
  unsigned decoded = 0;
  for (const std::string& file : files) {
    if (testsupport::Run("dcmdump -q +P 0002,0010 " + Quoted(file)).out.find("=JPEGBaseline") == std::string::npos)
      continue;
    TempDir out;
    Convert("-j --nowarn", file, out);
    const std::vector<std::string> jpegs = FilesIn(out.path(), ".jpg");
    if (jpegs.empty())
      continue;  // the frame could not be built (its colour space is refused, with a report)
    const std::string ours = out.file("ours.pnm"), theirs = out.file("theirs.pnm");
    ASSERT_EQ(0, testsupport::Run("djpeg -pnm -outfile " + Quoted(ours) + " " + Quoted(jpegs[0])).status) << file;
    ASSERT_EQ(0, testsupport::Run("dcmdjpeg " + Quoted(file) + " " + Quoted(out.file("plain.dcm")) +
                                  " && dcm2pnm +op " + Quoted(out.file("plain.dcm")) + " " + Quoted(theirs))
                     .status)
        << file;
    const Pnm extracted = ReadPnm(ours), reference = ReadPnm(theirs);
    EXPECT_EQ(reference.magic, extracted.magic) << file;
    EXPECT_EQ(reference.width, extracted.width) << file;
    EXPECT_EQ(reference.height, extracted.height) << file;
    ASSERT_EQ(reference.samples.size(), extracted.samples.size()) << file;
    EXPECT_LE(LargestDifference(reference.samples, extracted.samples), 2) << file;
    ++decoded;
  }
  EXPECT_GE(decoded, 1u);
}

}  // namespace
