// The query options, the run options' refusals and exit statuses, and the
// arguments taken from MEDCONV.
#include "DriverTest.h"

#include "driver/DriverState.h"

namespace {

const std::string MainSignature = "int main(const int, const char**)";

TEST_F(MedconvTest, NoArgumentPrintsShortUsageAndFails) {
  const auto run = Medconv("");
  EXPECT_EQ(1, run.status);
  const auto lines = Lines(run.out);
  ASSERT_EQ(2u, lines.size());
  EXPECT_EQ(0u, lines[0].find("Usage: medconv [--help] [--version] [--config] [--timer] [--acc=max|min[:file]]"
                              "[--anon[=pn_rm|"));
  EXPECT_NE(std::string::npos, lines[0].find(" [-r[0|1|2]] [-t[0|1]] [-w] [file(s)...]"));
  EXPECT_EQ("Try --help for more information", lines[1]);
  // Options alone are no file argument either.
  EXPECT_EQ(1, Medconv("-t --rank").status);
}

TEST_F(MedconvTest, HelpHasItsLinesAndWinsOverVersion) {
  const auto run = Medconv("--version --help x.dcm");
  EXPECT_EQ(0, run.status);
  const auto lines = Lines(run.out);
  ASSERT_EQ(74u, lines.size());
  const std::pair<int, const char*> known[] = {
      {0, "Usage: medconv [options...] [files...]"},
      {5, "  --name[=y|n]    : display name of file being processed, yes|no(default)"},
      {10, "  --warn[=y|n]    : display warnings, yes(default)|no"},
      {12, "  --jobs[=n]      : convert n files at a time (default: one per processor), same outputs"},
      {17, "Renaming:"},
      {26, "    alias  : 0 = cur_nm:cur_fr0"},
      {32, "             "},
      {33, "Anonymizing:"},
      {50, "  --out[=y|n]          : output to stdout, yes|no(default)"},
      {66, "  -p[0|1]              : PNG   (0: include tags as tEXt (default), 1: do not)"},
      {67, "  -r[0|1|2]            : RAW   (0: little (default), 1: big endian, 2: extract)"},
      {68, "  -t[0|1]              : TEXT  (0: write to file (default), 1: dump to stdout)"},
      {69, "  -w                   : BMP"},
  };
  for (const auto& line : known)
    EXPECT_EQ(line.second, lines[line.first]) << "line " << line.first + 1;
  for (int alias = 1; alias < RenameAliasCount; ++alias)
    EXPECT_EQ("             " + std::to_string(alias) + " = " + RenameAliases[alias], lines[26 + alias]);
  EXPECT_EQ(0u, lines[71].find("Report bugs to "));
  EXPECT_EQ(0u, lines[72].find("More informations at "));
  for (int empty : {13, 16, 38, 47, 54, 61, 70, 73})
    EXPECT_EQ("", lines[empty]) << "line " << empty + 1;
}

TEST_F(MedconvTest, VersionShowsDictionaryAndLibrariesAndProcessesNothing) {
  Write("x.dcm");
  const auto run = Medconv("--version -t x.dcm");
  EXPECT_EQ(0, run.status);
  const auto lines = Lines(run.out);
  ASSERT_LE(6u, lines.size());
  EXPECT_EQ("medconv 1.9i", lines[0]);
  EXPECT_EQ(0u, lines[3].find("Build time "));
  EXPECT_NE(std::string::npos, lines[3].find(", using :"));
  EXPECT_EQ(0u, lines[4].find("  - DICOM dictionary "));
  EXPECT_NE(std::string::npos, lines[4].find(" data elements)")) << lines[4];
  EXPECT_EQ(0u, lines[5].find("  - libpng "));
  EXPECT_NE(std::string::npos, lines[5].find(" (zlib "));
  for (size_t codec = 6; codec < lines.size(); ++codec)
    EXPECT_EQ(0u, lines[codec].find("  - ")) << lines[codec];
  EXPECT_FALSE(Exists("x.dcm.txt"));
}

TEST_F(MedconvTest, ConfigurationAlignsColonsAndListsEnvironment) {
  auto run = Medconv("--config");
  EXPECT_EQ(0, run.status);
  auto lines = Lines(run.out);
  ASSERT_EQ(10u, lines.size());
  for (const std::string& line : lines)
    EXPECT_EQ(25u, line.find(" : ") + 1) << line;  // the colon in column 26
  EXPECT_EQ("                   Types : UBYTE (1), UWORD (2), ULONG (4), bool (1)", lines[8]);
  EXPECT_EQ(0u, lines[9].find("        Syntaxes decoded : 1.2.840.10008.1.2.5 (RLE Lossless), ")) << lines[9];

  run = testsupport::Run("env -u HOSTTYPE -u PROCESSOR_ARCHITECTURE -u OSTYPE -u OS '" + std::string(MEDCONV_BINARY) +
                         "' --config");
  EXPECT_EQ("      HOST, OS (runtime) : ", Lines(run.out).at(0));
  run = testsupport::Run("env -u PROCESSOR_ARCHITECTURE -u OS HOSTTYPE=i686 OSTYPE=linux '" +
                         std::string(MEDCONV_BINARY) + "' --config");
  EXPECT_EQ("      HOST, OS (runtime) : i686 (HOSTTYPE), linux (OSTYPE), ", Lines(run.out).at(0));
}

TEST_F(MedconvTest, OptionErrorsEndTheRunBeforeAnyFile) {
  Write("x.dcm");
  const struct {
    const char* option;
    const char* message;
    int status;
  } refusals[] = {
      {"--syntax", "missing argument to --syntax!", 1},
      {"--syntax=EL", "unsupported syntax EL!", 1},
      {"--anon=pn_rp:foo", "wrong argument foo to --anon!", 1},
      {"'--anon=(8,80)'", "wrong argument (8,80) to --anon!", 1},
      {"--anon=0008,0080", "wrong argument 0008,0080 to --anon!", 1},
      {"'--anon=(zzzz,0010)'", "wrong argument (zzzz,0010) to --anon!", 1},
      {"--rename=7", "renaming pattern alias 7 is not set!", 1},
      {"--mask", "missing argument(s) to --mask!", 1},
      {"--mask=zero", "unable to load mask mask-zero.bmp!", 1},
      {"--mask=zero:none.bmp", "unable to load mask none.bmp!", 1},
      {"--size=512", "missing/wrong arguments to --size!", 1},
      {"--spacing=0.5", "missing/wrong arguments to --spacing!", 1},
      {"--padding", "missing/wrong arguments to --padding!", 1},
      {"--sample=", "missing/wrong arguments to --sample!", 1},
      {"--step", "missing argument to --step!", 1},
      {"--step=0", "wrong argument to --step (0)!", 1},
      {"--step=65536", "wrong argument to --step (0)!", 1},
  };
  for (const auto& refusal : refusals) {
    const auto run = Medconv(std::string(refusal.option) + " -t x.dcm");
    EXPECT_EQ(refusal.status, run.status) << refusal.option;
    EXPECT_NE(std::string::npos, run.err.find(">> [E] [")) << refusal.option;
    EXPECT_NE(std::string::npos, run.err.find("   " + MainSignature)) << refusal.option;
    EXPECT_NE(std::string::npos, run.err.find("   " + std::string(refusal.message) + "\n"))
        << refusal.option << ": " << run.err;
    EXPECT_FALSE(Exists("x.dcm.txt")) << refusal.option;
  }
}

TEST_F(MedconvTest, WellFormedRunOptionsAreAccepted) {
  Write("x.dcm");
  testsupport::Run("mkdir sub", dir.path());
  const auto run = Medconv(
      "--size=512:256 --spacing=0.5:0.7:2 --padding=0 --sample=16:12 --syntax=el "
      "--modality=OT '--anon=(0008,0080):rm_priv' --to=sub -t x.dcm");
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ("", run.err);
  // --to=sub and --to=sub/ name the same folder.
  EXPECT_FALSE(Exists("x.dcm.txt"));
  EXPECT_TRUE(Exists("sub/x.dcm.txt"));
  std::remove(dir.file("sub/x.dcm.txt").c_str());
  EXPECT_EQ(0, Medconv("--to=sub/ -t x.dcm").status);
  EXPECT_TRUE(Exists("sub/x.dcm.txt"));

  // A digit selects a renaming alias (3: modality, rows and columns); the
  // rest of the value is ignored.
  EXPECT_EQ(0, Medconv("--rename=3xyz -t x.dcm").status);
  EXPECT_TRUE(Exists("CT-512-256.txt"));
}

TEST_F(MedconvTest, MaskIsReadFromTheWorkingFolderWhateverTheDestination) {
  Write("x.dcm", SmallImageSet());
  ASSERT_EQ(0, Medconv("-w x.dcm").status);
  ASSERT_TRUE(Exists("x.dcm.bmp"));
  testsupport::Run("mkdir sub && cp x.dcm.bmp sub/mask-zero.bmp", dir.path());

  // The destination folder is not where the mask is looked for.
  auto run = Medconv("--mask=zero --to=sub -w x.dcm");
  EXPECT_EQ(1, run.status);
  EXPECT_NE(std::string::npos, run.err.find("   unable to load mask mask-zero.bmp!\n")) << run.err;
  EXPECT_FALSE(Exists("sub/x.dcm.bmp"));

  testsupport::Run("cp x.dcm.bmp mask-zero.bmp", dir.path());
  run = Medconv("--mask=zero --to=sub -w x.dcm");
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ(std::string::npos, run.err.find("unable to load mask")) << run.err;
  EXPECT_TRUE(Exists("sub/x.dcm.bmp"));
}

TEST_F(MedconvTest, AccumulationBufferIsSavedAfterTheLoop) {
  Write("a.dcm", SmallImageSet(10));
  Write("b.dcm", SmallImageSet(30));
  testsupport::Run("mkdir sub", dir.path());
  // A file named in the value is taken as it is, without the destination.
  auto run = Medconv("--acc=max:sum.dcm --to=sub a.dcm b.dcm");
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_TRUE(Exists("sum.dcm"));
  EXPECT_FALSE(Exists("sub/sum.dcm"));

  // A buffer that cannot be saved is a warning; the run goes to its end but
  // fails.
  run = Medconv("--acc=max:no/such/folder/sum.dcm a.dcm");
  EXPECT_EQ(1, run.status);
  EXPECT_NE(std::string::npos, run.out.find(">> [W] ["));
  EXPECT_NE(std::string::npos, run.out.find("   unable to save accumulated buffer!\n")) << run.out;
}

TEST_F(MedconvTest, EnvironmentWordsComeAfterTheCommandLine) {
  Write("a.dcm");
  Write("b.dcm");
  auto run = Medconv("a.dcm", "-t");
  EXPECT_EQ(0, run.status);
  EXPECT_TRUE(Exists("a.dcm.txt"));

  run = Medconv("--name=y a.dcm", "--name=n");
  EXPECT_EQ("a.dcm \n", run.out);

  // Files of the environment are processed after those of the command line.
  run = Medconv("--name b.dcm", "  a.dcm  ");
  EXPECT_EQ("b.dcm \na.dcm \n", run.out);
}

}  // namespace
