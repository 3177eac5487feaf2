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
  for (int alias = 0; alias < RenameAliasCount; ++alias)
    EXPECT_EQ((alias ? "             " : "    alias  : ") + std::to_string(alias) + " = " + RenameAliases[alias],
              lines[26 + alias]);
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
  for (int alias = 0; alias < RenameAliasCount; ++alias)
    EXPECT_TRUE(Has(manual, ".B " + std::to_string(alias) + "\n" + RenameAliases[alias])) << alias;
}

TEST_F(MedconvTest, ConfigurationProcessesNothing) {
  Write("x.dcm");
  const auto config = Lines(Medconv("--config -t x.dcm").out);
  ASSERT_EQ(10u, config.size());
  for (const std::string& line : config)
    EXPECT_EQ(25u, line.find(" : ") + 1) << line;  // the colon in column 26
  EXPECT_EQ(0u, config[9].find("        Syntaxes decoded : 1.2.840.10008.1.2.5 (RLE Lossless), ")) << config[9];
  const std::string host = "env -u PROCESSOR_ARCHITECTURE -u OS HOSTTYPE=i686 OSTYPE=linux '" MEDCONV_BINARY "' --config";
  EXPECT_EQ("      HOST, OS (runtime) : i686 (HOSTTYPE), linux (OSTYPE), ", Lines(testsupport::Run(host).out).at(0));
  EXPECT_FALSE(Exists("x.dcm.txt"));
}

// An implicit VR set, which only a dictionary can read as meant: read with
// the working folder's compiled dictionary, else its text form, else the
// one built into the program, and by a copy installed under a new prefix
// (the dictionary installed with it). --version processes no file.
TEST_F(MedconvTest, ProgramFindsItsDictionaryWhereverItRuns) {
  for (const char* folder : {"/usr/share/dicom/", "/usr/local/share/dicom/", "/usr/lib/", "/usr/local/lib/", "/lib/"})
    for (const char* name : {"dicom.din", "dicom.dic"})
      if (testsupport::FileExists(std::string(folder) + name))
        GTEST_SKIP() << "a dictionary is installed at " << folder << name;
  samplewriter::SampleSet set(samplewriter::ImplicitLittle);
  set.Text(0x0010, 0x0010, "PN", "IMPLICIT^ONLY");
  Write("implicit.dcm", set);
  testsupport::TempDir prefix;
  const std::string install = "cmake --install '" MEDCONV_BUILD_DIR "' --prefix '" + prefix.path() + "' >/dev/null";
  ASSERT_EQ(0, testsupport::Run(install).status);
  EXPECT_TRUE(testsupport::FileExists(prefix.file("share/man/man1/medconv.1")));
  const std::tuple<const char*, std::string, std::string> runs[] = {
      {"", MEDCONV_BINARY, "dicom.din [built from dicom.dic] ("}, {"rm -f dicom.din; ", MEDCONV_BINARY, "dicom.dic ("},
      {"rm -f dicom.dic; ", MEDCONV_BINARY, "built-in ("},
      {"", prefix.file("bin/medconv"), prefix.path() + "/bin/../share/dicom/dicom.din [built from dicom.dic] ("}};
  for (const auto& [before, program, dictionary] : runs) {
    const std::string command = std::string(before) + "HOME=. '" + program + "' ";
    const auto version = testsupport::Run(command + "--version -t implicit.dcm", dir.path()).out;
    EXPECT_TRUE(Has(version, "\n  - DICOM dictionary " + dictionary)) << version;
    EXPECT_TRUE(Has(version, " data elements)\n") && !Has(version, "unable to auto-load")) << version;
    EXPECT_FALSE(Exists("implicit.dcm.txt"));
    EXPECT_TRUE(Has(testsupport::Run(command + "-t1 implicit.dcm", dir.path()).out, "[IMPLICIT^ONLY]")) << program;
  }
}

}  // namespace
