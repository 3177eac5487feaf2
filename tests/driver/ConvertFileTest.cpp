// The per-file pipeline at file level: reading, the text dump, image-file
// inputs and the renaming of the input.
#include "DriverTest.h"

namespace {

TEST_F(MedconvTest, TextDumpGoesToAFileNamedLikeTheOutputs) {
  Write("x.dcm");
  Write("noext");
  const auto run = Medconv("-t x.dcm noext");
  EXPECT_EQ(0, run.status) << run.err;
  const std::string dump = testsupport::ReadText(dir.file("x.dcm.txt"));
  EXPECT_NE(std::string::npos, DumpLine(dump, "(0010,0010)").find("[DOE^JOHN]")) << dump;
  // A name without extension is read as DICOM too.
  const std::string noExtension = testsupport::ReadText(dir.file("noext.txt"));
  EXPECT_EQ(DumpLine(dump, "(0010,0010)"), DumpLine(noExtension, "(0010,0010)"));
  EXPECT_EQ("", run.out);

  EXPECT_EQ(0, Medconv("--rename=pat_nm:rows -t x.dcm").status);
  EXPECT_TRUE(Exists("DOE_JOHN-512.txt"));
}

TEST_F(MedconvTest, TextDumpToStandardOutput) {
  Write("x.dcm");
  for (const char* options : {"-t1", "-t --out", "-t0 --out"}) {
    const auto run = Medconv(std::string(options) + " x.dcm");
    EXPECT_EQ(0, run.status) << options;
    EXPECT_NE(std::string::npos, DumpLine(run.out, "(0010,0020)").find("[PID-0042]")) << options;
  }
  EXPECT_FALSE(Exists("x.dcm.txt"));
}

TEST_F(MedconvTest, TextDumpThatCannotBeWrittenIsReportedButTheFileGoesThrough) {
  Write("x.dcm");
  auto run = Medconv("--to=no/such/folder -t x.dcm");
  EXPECT_EQ(1, run.status);
  EXPECT_NE(std::string::npos, run.err.find("   while opening text file no/such/folder/x.dcm.txt!\n")) << run.err;
  EXPECT_EQ(std::string::npos, run.err.find("while processing file"));

  // The dump never replaces the input.
  testsupport::WriteText(dir.file("notes.txt"), "precious");
  run = Medconv("-t --rename=cur_we notes.txt");
  EXPECT_EQ(1, run.status);
  EXPECT_NE(std::string::npos, run.err.find("   while opening text file notes.txt!\n")) << run.err;
  EXPECT_EQ("precious", testsupport::ReadText(dir.file("notes.txt")));
}

TEST_F(MedconvTest, ImageFileInputsAreNotReadAsSets) {
  testsupport::WriteText(dir.file("x.bmp"), "BM not really");
  const auto run = Medconv("-t x.bmp");
  EXPECT_EQ(0, run.status);
  EXPECT_EQ(std::string::npos, run.err.find("while reading set")) << run.err;
  EXPECT_TRUE(Exists("x.bmp.txt"));
  EXPECT_EQ("", testsupport::ReadText(dir.file("x.bmp.txt")));
}

TEST_F(MedconvTest, SyntaxOptionDecidesHowABareSetIsRead) {
  // A bare explicit VR data set (no preamble): the reader's default is
  // implicit VR, which cannot read it as meant.
  const auto file = PatientSet().Body();
  testsupport::WriteBytes(dir.file("bare.dcm"), file);
  const auto run = Medconv("--syntax=el -t1 bare.dcm");
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_NE(std::string::npos, DumpLine(run.out, "(0010,0010)").find("[DOE^JOHN]")) << run.out;
}

TEST_F(MedconvTest, RenamingTheInput) {
  Write("x.dcm");
  // The same name: nothing to do.
  auto run = Medconv("--rename=cur_nm:ren_o x.dcm");
  EXPECT_EQ(0, run.status);
  EXPECT_TRUE(Exists("x.dcm"));

  // Moved into the destination folder.
  testsupport::Run("mkdir dest", dir.path());
  run = Medconv("--to=dest --rename=cur_nm:ren_o x.dcm");
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_FALSE(Exists("x.dcm"));
  EXPECT_TRUE(Exists("dest/x.dcm"));

  // A new name that leads to the same file leaves it alone.
  run = Medconv("--to=./dest --rename=cur_nm:ren_o dest/x.dcm");
  EXPECT_EQ(0, run.status);
  EXPECT_EQ("", run.err);
  EXPECT_TRUE(Exists("dest/x.dcm"));

  // Without "ren_o" the pattern only names outputs.
  run = Medconv("--rename=pat_nm dest/x.dcm");
  EXPECT_TRUE(Exists("dest/x.dcm"));

  run = Medconv("--rename=pat_nm:ren_o:modal dest/x.dcm");
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_TRUE(Exists("dest/DOE_JOHN-CT"));
}

TEST_F(MedconvTest, RenamingThatFailsFailsTheFileAndNeverReplacesAnExistingOne) {
  Write("a.dcm");
  Write("b.dcm");
  const auto before = testsupport::ReadBytes(dir.file("b.dcm"));
  auto run = Medconv("--rename=pat_nm:ren_o a.dcm b.dcm");
  EXPECT_EQ(1, run.status);
  EXPECT_TRUE(Exists("DOE_JOHN"));
  // Both files share the patient: the second keeps its name.
  EXPECT_EQ(before, testsupport::ReadBytes(dir.file("b.dcm")));
  for (const char* report :
       {"   file DOE_JOHN already exists, it is not replaced!\n",
        "   while renaming original file b.dcm to DOE_JOHN!\n", "   while processing file b.dcm!\n"})
    EXPECT_NE(std::string::npos, run.err.find(report)) << report << run.err;

  run = Medconv("--to=missing --rename=cur_nm:ren_o b.dcm");
  EXPECT_EQ(1, run.status);
  EXPECT_NE(std::string::npos, run.err.find("   while renaming original file b.dcm to missing/b.dcm!\n"));
  EXPECT_NE(std::string::npos, run.err.find("   while processing file b.dcm!\n"));
  EXPECT_TRUE(Exists("b.dcm"));
}

}  // namespace
