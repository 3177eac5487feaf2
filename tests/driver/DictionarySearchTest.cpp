// The dictionary is always found: in the search list, in share/dicom beside
// an installed program, and else built into the program; --version tells
// which was used.
#include "DriverTest.h"

namespace {

// A dictionary of the system, which the search finds before the program's
// own; empty when there is none.
std::string InstalledDictionary() {
  for (const char* folder : {"/usr/share/dicom/", "/usr/local/share/dicom/", "/usr/lib/", "/usr/local/lib/", "/lib/"})
    for (const char* name : {"dicom.din", "dicom.dic"})
      if (testsupport::FileExists(std::string(folder) + name))
        return std::string(folder) + name;
  return std::string();
}

// An implicit VR little endian set: only a dictionary gives its VRs.
samplewriter::SampleSet ImplicitSet() {
  samplewriter::SampleSet set(samplewriter::ImplicitLittle);
  set.Text(0x0010, 0x0010, "PN", "IMPLICIT^ONLY");
  set.UnsignedShort(0x0028, 0x0010, 4);
  return set;
}

std::string VersionDictionaryLine(const std::string& out) {
  for (const std::string& line : Lines(out))
    if (line.find("  - DICOM dictionary ") == 0)
      return line;
  return std::string();
}

TEST(DictionarySearch, BuiltInDictionaryReadsImplicitFilesAnywhere) {
  if (!InstalledDictionary().empty())
    GTEST_SKIP() << "a dictionary is installed at " << InstalledDictionary();
  testsupport::TempDir empty, home;
  ASSERT_TRUE(ImplicitSet().Save(empty.file("implicit.dcm")));
  const std::string program = std::string("HOME='") + home.path() + "' '" + MEDCONV_BINARY + "' ";

  const auto version = testsupport::Run(program + "--version", empty.path());
  EXPECT_EQ(0, version.status);
  const std::string line = VersionDictionaryLine(version.out);
  EXPECT_EQ(0u, line.find("  - DICOM dictionary built-in (")) << version.out;
  EXPECT_NE(std::string::npos, line.find(" data elements)"));
  EXPECT_EQ(std::string::npos, version.out.find("unable to auto-load"));

  const auto dump = testsupport::Run(program + "-t1 implicit.dcm", empty.path());
  EXPECT_EQ(0, dump.status) << dump.err;
  EXPECT_NE(std::string::npos, DumpLine(dump.out, "(0010,0010)").find("[IMPLICIT^ONLY]")) << dump.out;
}

TEST(DictionarySearch, InstallUnderAnyPrefixFindsItsOwnFiles) {
  if (!InstalledDictionary().empty())
    GTEST_SKIP() << "a dictionary is installed at " << InstalledDictionary();
  testsupport::TempDir prefix, elsewhere, home;
  const auto install = testsupport::Run("cmake --install '" + std::string(MEDCONV_BUILD_DIR) + "' --prefix '" +
                                        prefix.path() + "' >/dev/null");
  ASSERT_EQ(0, install.status) << install.err;
  ASSERT_TRUE(ImplicitSet().Save(elsewhere.file("implicit.dcm")));
  const std::string program = "HOME='" + home.path() + "' '" + prefix.file("bin/medconv") + "' ";

  const auto version = testsupport::Run(program + "--version", elsewhere.path());
  const std::string line = VersionDictionaryLine(version.out);
  // The binary repository, which names the text dictionary it was built from.
  EXPECT_EQ(0u, line.find("  - DICOM dictionary " + prefix.path() + "/bin/../share/dicom/dicom.din")) << line;
  EXPECT_NE(std::string::npos, line.find("[built from dicom.dic]")) << line;

  const auto dump = testsupport::Run(program + "-t1 implicit.dcm", elsewhere.path());
  EXPECT_EQ(0, dump.status) << dump.err;
  EXPECT_NE(std::string::npos, DumpLine(dump.out, "(0010,0010)").find("[IMPLICIT^ONLY]"));
}

TEST_F(MedconvTest, VersionNamesTheDictionaryFileUsed) {
  // The test folder holds copies of the build's dictionaries.
  const std::string line = VersionDictionaryLine(Medconv("--version").out);
  EXPECT_EQ(0u, line.find("  - DICOM dictionary dicom.din [built from dicom.dic] (")) << line;
  testsupport::Run("rm dicom.din", dir.path());
  EXPECT_EQ(0u, VersionDictionaryLine(Medconv("--version").out).find("  - DICOM dictionary dicom.dic ("));
}

}  // namespace
