// The query options, and the data dictionary of a program installed under
// a new prefix: the one installed with it, whatever the working folder.
#include "DriverTest.h"

#include <algorithm>
#include <regex>

namespace {

// --help wins over --version; --config reads the host from the environment
// and aligns its labels; no query processes a file.
TEST_F(MedconvTest, QueriesProcessNothing) {
  Write("x.dcm");
  const std::string help = Medconv("--version --help x.dcm").out;
  EXPECT_EQ(74, std::count(help.begin(), help.end(), '\n'));
  // Ten lines, each with its colon in column 26.
  EXPECT_TRUE(std::regex_match(Medconv("--config -t x.dcm").out, std::regex("([^:\n]{24} : .*\n){10}")));
  const std::string host = "env -u PROCESSOR_ARCHITECTURE -u OS HOSTTYPE=i686 OSTYPE=linux '" MEDCONV_BINARY "' --config";
  EXPECT_EQ(0u, testsupport::Run(host).out.find("      HOST, OS (runtime) : i686 (HOSTTYPE), linux (OSTYPE), \n"));
  const std::string version = Medconv("--version -t x.dcm").out;
  EXPECT_TRUE(Has(version, "\n  - DICOM dictionary dicom.din [built from dicom.dic] (")) << version;
  EXPECT_FALSE(Exists("x.dcm.txt"));
}

// An implicit VR set, which only a dictionary can read as meant.
TEST_F(MedconvTest, InstalledProgramFindsItsOwnDictionary) {
  for (const char* folder : {"/usr/share/dicom/", "/usr/local/share/dicom/", "/usr/lib/", "/usr/local/lib/", "/lib/"})
    for (const char* name : {"dicom.din", "dicom.dic"})
      if (testsupport::FileExists(std::string(folder) + name))
        GTEST_SKIP() << "a dictionary is installed at " << folder << name;
  testsupport::TempDir prefix;
  const std::string install = "cmake --install '" MEDCONV_BUILD_DIR "' --prefix '" + prefix.path() + "' >/dev/null";
  ASSERT_EQ(0, testsupport::Run(install + " && rm dicom.d*", dir.path()).status);
  EXPECT_TRUE(testsupport::FileExists(prefix.file("share/man/man1/medconv.1")));
  samplewriter::SampleSet set(samplewriter::ImplicitLittle);
  set.Text(0x0010, 0x0010, "PN", "IMPLICIT^ONLY");
  Write("implicit.dcm", set);
  const std::string program = "HOME=. '" + prefix.file("bin/medconv") + "' ";
  EXPECT_TRUE(Has(testsupport::Run(program + "--version", dir.path()).out,
                  "\n  - DICOM dictionary " + prefix.path() + "/bin/../share/dicom/dicom.din [built from dicom.dic] ("));
  EXPECT_TRUE(Has(testsupport::Run(program + "-t1 implicit.dcm", dir.path()).out, "[IMPLICIT^ONLY]"));
}

}  // namespace
