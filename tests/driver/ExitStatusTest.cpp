// The exit status tells whether everything asked for was done: 1 for every
// option error, for a file that failed or matched no name, and for an
// output that could not be written; the other files are still converted.
#include "DriverTest.h"

namespace {

class ExitStatusTest : public MedconvTest {
 protected:
  void SetUp() override {
    MedconvTest::SetUp();
    Write("good1.dcm", SmallImageSet(10));
    Write("good2.dcm", SmallImageSet(20));
    testsupport::WriteText(dir.file("bad.dcm"), "not a DICOM file");
    testsupport::Run("mkdir out", dir.path());
  }
};

TEST_F(ExitStatusTest, EveryOutcomeAsARow) {
  const struct {
    const char* arguments;
    int status;
    const char* report;          // on standard error; empty for none
    const char* writtenOrEmpty;  // a file the run still writes; empty: good1.dcm.bmp is not written
  } rows[] = {
      // Everything done.
      {"-w good1.dcm good2.dcm", 0, "", "good2.dcm.bmp"},
      {"-w --to=out 'good*.dcm'", 0, "", "out/good1.dcm.bmp"},
      // A file that cannot be read; the good ones around it are converted.
      {"-w good1.dcm bad.dcm good2.dcm", 1, "while processing file bad.dcm!", "good2.dcm.bmp"},
      // A name or a pattern that matches nothing counts as a failed file.
      {"-w good1.dcm missing.dcm", 1, "no file matches missing.dcm\n", "good1.dcm.bmp"},
      {"-w 'none*.dcm' good2.dcm", 1, "no file matches none*.dcm\n", "good2.dcm.bmp"},
      // A requested output that cannot be written.
      {"-w --to=no/such/folder good1.dcm", 1, "unable to save as BMP!", ""},
      {"-t --to=no/such/folder good1.dcm", 1, "while opening text file", ""},
      {"--acc=max:no/such/folder/acc.dcm good1.dcm", 1, "", ""},
      // No frame can be built: an image set without pixels.
      {"-w --frame=1 good1.dcm nopixels.dcm", 1, "unable to build frame 1 !", "good1.dcm.bmp"},
      // A Number of Frames that is not a count of frames is refused, not wrapped.
      {"-w frames-1.dcm", 1, "wrong Number of Frames -1!", ""},
      {"-w frames70000.dcm", 1, "wrong Number of Frames 70000!", ""},
      {"-w framesabc.dcm", 1, "wrong Number of Frames abc!", ""},
      // One that starts with a count is read as that count (a warning says so).
      {"-w frames1A.dcm", 0, "", "frames1A.dcm.bmp"},
      {"-w --frame=1 frames1.dcm", 0, "", "frames1.dcm.bmp"},
      // An option that ends the file.
      {"-p7 good1.dcm", 1, "wrong parameters for -p!", ""},
      // Option errors: no file is processed.
      {"--syntax=xx -w good1.dcm", 1, "unsupported syntax xx!", ""},
      {"--rename=7 -w good1.dcm", 1, "renaming pattern alias 7 is not set!", ""},
      {"--mask=zero -w good1.dcm", 1, "unable to load mask mask-zero.bmp!", ""},
      {"--size=512 -w good1.dcm", 1, "missing/wrong arguments to --size!", ""},
      {"--spacing=0.5 -w good1.dcm", 1, "missing/wrong arguments to --spacing!", ""},
      {"--padding -w good1.dcm", 1, "missing/wrong arguments to --padding!", ""},
      {"--sample= -w good1.dcm", 1, "missing/wrong arguments to --sample!", ""},
      {"--step -w good1.dcm", 1, "missing argument to --step!", ""},
      {"--step=0 -w good1.dcm", 1, "wrong argument to --step (0)!", ""},
      {"--jobs=-2 -w good1.dcm", 1, "wrong argument -2 to --jobs!", ""},
      {"--jobs=two -w good1.dcm", 1, "wrong argument two to --jobs!", ""},
  };
  Write("nopixels.dcm", PatientSet());
  for (const char* count : {"-1", "70000", "abc", "1A", "1"}) {
    samplewriter::SampleSet set = SmallImageSet();
    set.Text(0x0028, 0x0008, "IS", count);
    Write(std::string("frames") + count + ".dcm", set);
  }
  for (const auto& row : rows) {
    SCOPED_TRACE(row.arguments);
    testsupport::Run("rm -f *.bmp *.txt out/*", dir.path());
    const auto run = Medconv(row.arguments);
    EXPECT_EQ(row.status, run.status) << run.err;
    EXPECT_NE(std::string::npos, run.err.find(row.report)) << run.err;
    if (*row.writtenOrEmpty) {
      EXPECT_TRUE(Exists(row.writtenOrEmpty));
    } else {
      EXPECT_FALSE(Exists("good1.dcm.bmp"));
    }
    // The same run on worker threads ends the same way (the row's own
    // --jobs comes first and wins).
    testsupport::Run("rm -f *.bmp *.txt out/*", dir.path());
    EXPECT_EQ(row.status, Medconv(std::string(row.arguments) + " --jobs=3").status);
  }
}

TEST_F(ExitStatusTest, ReportsShowRawBytesOfAFileEscaped) {
  // A text value that ends a file early is quoted in the report: its
  // control bytes must not reach the terminal raw.
  samplewriter::SampleSet set(samplewriter::ExplicitLittle);
  set.Text(0x0008, 0x0060, "CS", "CT");  // a sound first element: the encoding is found from it
  set.Text(0x0010, 0x0010, "PN", "A\x1b[31mB");
  Write("escape.dcm", set);
  auto bytes = testsupport::ReadBytes(dir.file("escape.dcm"));
  // The VR of the patient name damaged into two control bytes.
  for (std::size_t at = 0; at + 4 < bytes.size(); ++at)
    if (bytes[at] == 0x10 && bytes[at + 1] == 0x00 && bytes[at + 2] == 0x10 && bytes[at + 3] == 0x00 &&
        bytes[at + 4] == 'P') {
      bytes[at + 4] = 0x1b;
      bytes[at + 5] = 0x07;
      break;
    }
  testsupport::WriteBytes(dir.file("escape.dcm"), bytes);
  const auto run = Medconv("-t1 escape.dcm");
  for (const std::string* stream : {&run.out, &run.err}) {
    EXPECT_EQ(std::string::npos, stream->find('\x1b')) << *stream;
    EXPECT_EQ(std::string::npos, stream->find('\x07')) << *stream;
  }
  EXPECT_NE(std::string::npos, (run.out + run.err).find("\\x1B\\x07")) << run.out << run.err;
}

}  // namespace
