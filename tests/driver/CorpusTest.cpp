// The command on the DICOM files of Debian's pydicom package: every file is
// handled without harm, and anonymisation and renaming hold on real data.
#include "DriverTest.h"

#include <dirent.h>

namespace {

const char* const PydicomData = "/usr/lib/python3/dist-packages/pydicom/data/test_files";

// The names in folder that end with extension (all of them for an empty
// extension), "." and ".." left out.
std::vector<std::string> FilesIn(const std::string& folder, const std::string& extension) {
  std::vector<std::string> names;
  if (DIR* directory = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(directory)) {
      const std::string name = entry->d_name;
      if (name != "." && name != ".." && name.size() > extension.size() &&
          name.compare(name.size() - extension.size(), extension.size(), extension) == 0)
        names.push_back(name);
    }
    closedir(directory);
  }
  return names;
}

class CorpusTest : public MedconvTest {
 protected:
  void SetUp() override {
    MedconvTest::SetUp();
    if (IsSkipped())
      return;
    const auto names = FilesIn(PydicomData, ".dcm");
    if (names.empty())
      GTEST_SKIP() << "python3-pydicom is not installed";
    testsupport::Run("mkdir corpus", dir.path());
    for (const std::string& name : names)
      testsupport::WriteBytes(dir.file("corpus/" + name),
                              testsupport::ReadBytes(std::string(PydicomData) + "/" + name));
    fileCount = names.size();
  }

  std::size_t fileCount = 0;
};

TEST_F(CorpusTest, AnonymizedDumpsShowNoPatientIdentity) {
  // Some files of the corpus are damaged on purpose: the status is 1.
  const auto run = Medconv("--anon -t1 'corpus/*.dcm'");
  EXPECT_EQ(std::string::npos, run.err.find("Sanitizer"));
  EXPECT_EQ(std::string::npos, run.err.find("runtime error"));
  int names = 0;
  for (const std::string& line : Lines(run.out)) {
    EXPECT_EQ(std::string::npos, line.find("(0010,0020)")) << line;
    EXPECT_EQ(std::string::npos, line.find("(0010,0030)")) << line;
    if (line.find(" PN [") != std::string::npos) {
      EXPECT_NE(std::string::npos, line.find("[Anonymized]")) << line;
      ++names;
    }
  }
  EXPECT_GT(names, 10);
}

TEST_F(CorpusTest, RenamingLosesNoFile) {
  // Many files share patient, modality and numbers: the later ones keep
  // their names instead of replacing the earlier ones.
  const auto run = Medconv("--rename=modal:pat_nm:ser_nb0:img_nb0:ren_o 'corpus/*.dcm'");
  EXPECT_EQ(1, run.status);
  EXPECT_EQ(std::string::npos, run.err.find("Sanitizer"));
  EXPECT_EQ(fileCount, FilesIn(dir.file("corpus"), "").size());
  EXPECT_NE(std::string::npos, run.err.find("already exists, it is not replaced!"));
  EXPECT_TRUE(Exists("corpus/CT-CompressedSamples_CT1-s0001-i0001"));
}

}  // namespace
