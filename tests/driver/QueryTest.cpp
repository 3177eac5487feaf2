// The query options, the manual page that documents the help, and the data
// dictionary, which is always found: in the search list, in share/dicom
// beside an installed program, and else built into the program.
#include "DriverTest.h"

#include "driver/DriverState.h"

#include <regex>
#include <set>

namespace {

TEST_F(MedconvTest, HelpWinsOverVersionAndTheManualPageDocumentsIt) {
  const auto lines = Lines(Medconv("--version --help x.dcm").out);
  ASSERT_EQ(74u, lines.size());
  EXPECT_EQ("Usage: medconv [options...] [files...]", lines[0]);
  for (int alias = 0; alias < RenameAliasCount; ++alias)
    EXPECT_EQ((alias ? "             " : "    alias  : ") + std::to_string(alias) + " = " + RenameAliases[alias],
              lines[26 + alias]);
  EXPECT_EQ("  -w                   : BMP", lines[69]);
  EXPECT_EQ("Report bugs to medconv-maintainers@example.org", lines[71]);

  const std::string manual =
      std::regex_replace(testsupport::ReadText(MEDCONV_SOURCE_DIR "/data/medconv.1"), std::regex(R"(\\-)"), "-");
  std::set<std::string> options;
  const std::regex option(R"((^|[ ,\[])(--?[a-z]+))");
  for (const std::string& line : lines)
    if (line.compare(0, 3, "  -") == 0)
      for (std::sregex_iterator match(line.begin(), line.end(), option), end; match != end; ++match)
        options.insert((*match)[2]);
  EXPECT_GE(options.size(), 40u);
  for (const std::string& name : options)
    EXPECT_TRUE(std::regex_search(manual, std::regex("(^|[^a-z-])" + name + "([^a-z]|$)"))) << name;
  for (const char* field : {"cur_fr", "photo_is", "sam_pp", "bits_s", "high_b", "pix_r", "stu_des", "ren_o"})
    EXPECT_TRUE(Has(manual, field)) << field;
  for (int alias = 0; alias < RenameAliasCount; ++alias)
    EXPECT_TRUE(Has(manual, ".B " + std::to_string(alias) + "\n" + RenameAliases[alias])) << alias;
}

TEST_F(MedconvTest, VersionAndConfigurationProcessNothing) {
  Write("x.dcm");
  const auto version = Lines(Medconv("--version -t x.dcm").out);
  ASSERT_LE(6u, version.size());
  EXPECT_EQ("medconv 1.9i", version[0]);
  EXPECT_EQ(0u, version[3].find("Build time "));
  // The test folder holds copies of the build's dictionaries.
  EXPECT_EQ(0u, version[4].find("  - DICOM dictionary dicom.din [built from dicom.dic] (")) << version[4];
  EXPECT_TRUE(Has(version[4], " data elements)"));
  EXPECT_EQ(0u, version[5].find("  - libpng "));
  EXPECT_FALSE(Exists("x.dcm.txt"));
  testsupport::Run("rm dicom.din", dir.path());
  EXPECT_EQ(0u, Lines(Medconv("--version").out).at(4).find("  - DICOM dictionary dicom.dic ("));

  const auto config = Lines(Medconv("--config -t x.dcm").out);
  ASSERT_EQ(10u, config.size());
  for (const std::string& line : config)
    EXPECT_EQ(25u, line.find(" : ") + 1) << line;  // the colon in column 26
  EXPECT_EQ("                   Types : UBYTE (1), UWORD (2), ULONG (4), bool (1)", config[8]);
  EXPECT_EQ(0u, config[9].find("        Syntaxes decoded : 1.2.840.10008.1.2.5 (RLE Lossless), ")) << config[9];
  const std::string host = "env -u PROCESSOR_ARCHITECTURE -u OS HOSTTYPE=i686 OSTYPE=linux '" MEDCONV_BINARY "' --config";
  EXPECT_EQ("      HOST, OS (runtime) : i686 (HOSTTYPE), linux (OSTYPE), ", Lines(testsupport::Run(host).out).at(0));
  EXPECT_FALSE(Exists("x.dcm.txt"));
}

// An implicit VR set, which only a dictionary can read as meant, read by
// the build's program in an empty folder (its built-in dictionary) and by
// a copy installed under a new prefix (the dictionary installed with it).
TEST(DictionarySearch, ProgramFindsItsOwnDictionaryWhereverItRuns) {
  for (const char* folder : {"/usr/share/dicom/", "/usr/local/share/dicom/", "/usr/lib/", "/usr/local/lib/", "/lib/"})
    for (const char* name : {"dicom.din", "dicom.dic"})
      if (testsupport::FileExists(std::string(folder) + name))
        GTEST_SKIP() << "a dictionary is installed at " << folder << name;
  testsupport::TempDir prefix, elsewhere;
  samplewriter::SampleSet set(samplewriter::ImplicitLittle);
  set.Text(0x0010, 0x0010, "PN", "IMPLICIT^ONLY");
  ASSERT_TRUE(set.Save(elsewhere.file("implicit.dcm")));
  ASSERT_EQ(0, testsupport::Run("cmake --install '" MEDCONV_BUILD_DIR "' --prefix '" + prefix.path() + "' >/dev/null")
                   .status);
  EXPECT_TRUE(testsupport::FileExists(prefix.file("share/man/man1/medconv.1")));
  const std::pair<std::string, std::string> programs[] = {
      {MEDCONV_BINARY, "built-in ("}, {prefix.file("bin/medconv"), prefix.path() + "/bin/../share/dicom/dicom.din [built from dicom.dic] ("}};
  for (const auto& program : programs) {
    const std::string command = "HOME='" + elsewhere.path() + "' '" + program.first + "' ";
    const auto version = testsupport::Run(command + "--version", elsewhere.path());
    EXPECT_TRUE(Has(version.out, "\n  - DICOM dictionary " + program.second)) << version.out;
    EXPECT_FALSE(Has(version.out, "unable to auto-load"));
    EXPECT_TRUE(Has(testsupport::Run(command + "-t1 implicit.dcm", elsewhere.path()).out, "[IMPLICIT^ONLY]"));
  }
}

}  // namespace
