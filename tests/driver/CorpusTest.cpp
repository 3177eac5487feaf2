// The command on the DICOM files of Debian's pydicom package: every file is
// handled without harm, and anonymisation and renaming hold on real data.
#include "DriverTest.h"

#include <filesystem>

namespace {

TEST_F(MedconvTest, CorpusIsAnonymizedAndRenamedWithoutLosingAFile) {
  const std::filesystem::path corpus = "/usr/lib/python3/dist-packages/pydicom/data/test_files";
  std::size_t files = 0;
  std::filesystem::create_directory(dir.file("corpus"));
  if (std::filesystem::is_directory(corpus))
    for (const auto& entry : std::filesystem::directory_iterator(corpus))
      if (entry.path().extension() == ".dcm" && ++files)
        std::filesystem::copy_file(entry.path(), dir.file("corpus/" + entry.path().filename().string()));
  if (files == 0)
    GTEST_SKIP() << "python3-pydicom is not installed";
  // Some files of the corpus are damaged on purpose: the status is 1.
  const auto run = Medconv("--anon -t1 'corpus/*.dcm'");
  int names = 0;
  for (const std::string& line : Lines(run.out)) {
    EXPECT_FALSE(Has(line, "(0010,0020)") || Has(line, "(0010,0030)")) << line;
    if (Has(line, " PN [") && ++names)
      EXPECT_TRUE(Has(line, "[Anonymized]")) << line;
  }
  EXPECT_GT(names, 10);
  // Many files share patient, modality and numbers: the later ones keep
  // their names instead of replacing the earlier ones.
  const auto renamed = Medconv("--rename=modal:pat_nm:ser_nb0:img_nb0:ren_o 'corpus/*.dcm'");
  EXPECT_EQ(1, renamed.status);
  for (const std::string& err : {run.err, renamed.err})
    EXPECT_FALSE(Has(err, "Sanitizer") || Has(err, "runtime error"));
  EXPECT_TRUE(Has(renamed.err, "already exists, it is not replaced!"));
  EXPECT_EQ(files, std::distance(std::filesystem::directory_iterator(dir.file("corpus")), {}));
  EXPECT_TRUE(Exists("corpus/CT-CompressedSamples_CT1-s0001-i0001"));
}

}  // namespace
