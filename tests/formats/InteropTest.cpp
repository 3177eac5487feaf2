// The images medconv writes for real files nobody here wrote (Debian's
// pydicom test corpus) open in other programs: ImageMagick, pngcheck and
// libjpeg's djpeg. Skipped when the corpus, the program or a tool is absent.
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <dirent.h>

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
      if (name.size() > extension.size() && name.compare(name.size() - extension.size(), extension.size(), extension) == 0)
        names.push_back(folder + "/" + name);
    }
    closedir(dir);
  }
  return names;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// Runs medconv on one corpus file; a crash or a sanitizer report fails the test.
void Convert(const std::string& options, const std::string& file, const TempDir& out) {
  const testsupport::RunResult result =
      testsupport::Run(std::string(MEDCONV_BINARY) + " " + options + " --to=" + Quoted(out.path()) + " " + Quoted(file));
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

TEST_F(Corpus, ExtractedBaselineJpegDecodesToTheSetsSize) {
  if (!HaveProgram("djpeg") || !HaveProgram("dcmdump"))
    GTEST_SKIP() << "needs djpeg and DCMTK's dcmdump";
  unsigned decoded = 0;
  for (const std::string& file : files) {
    if (testsupport::Run("dcmdump -q +P 0002,0010 " + Quoted(file)).out.find("=JPEGBaseline") == std::string::npos)
      continue;
    TempDir out;
    Convert("-j --nowarn", file, out);
    const std::vector<std::string> jpegs = FilesIn(out.path(), ".jpg");
    if (jpegs.empty())
      continue;  // the frame could not be built (its colour space is refused, with a report)
    const std::string rows = testsupport::Run("dcmdump -q +P 0028,0010 " + Quoted(file)).out;
    const std::string columns = testsupport::Run("dcmdump -q +P 0028,0011 " + Quoted(file)).out;
    const testsupport::RunResult pnm = testsupport::Run("djpeg -pnm " + Quoted(jpegs[0]) + " | head -c 20");
    ASSERT_EQ(0, pnm.status) << file;
    std::istringstream header(pnm.out);
    std::string magic;
    unsigned width = 0, height = 0;
    header >> magic >> width >> height;
    EXPECT_NE(std::string::npos, columns.find("US " + std::to_string(width))) << file;
    EXPECT_NE(std::string::npos, rows.find("US " + std::to_string(height))) << file;
    ++decoded;
  }
  EXPECT_GE(decoded, 1u);
}

}  // namespace
