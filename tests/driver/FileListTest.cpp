// The file list (expansion, --sort, --reverse, --step) and the progress
// output of the run (--rank, --name, --timer, --out).
#include "DriverTest.h"

#include "driver/FileRun.h"
#include "lib/qzcFileNameList.h"

namespace {

class FileListTest : public MedconvTest {
 protected:
  void WriteAll(const std::vector<std::string>& names) const {
    for (const std::string& name : names)
      Write(name);
  }
};

TEST_F(FileListTest, SortByNameOrByNumericExtension) {
  WriteAll({"x.10", "x.9", "x.100"});
  EXPECT_EQ("x.9 \nx.10 \nx.100 \n", Medconv("--name --sort=ext_num x.10 x.9 x.100").out);
  EXPECT_EQ("x.10 \nx.100 \nx.9 \n", Medconv("--name --sort x.9 x.100 x.10").out);
  // Without --sort the command line's order is kept.
  EXPECT_EQ("x.100 \nx.9 \nx.10 \n", Medconv("--name x.100 x.9 x.10").out);
  // Equal keys keep their order: names without a number count as 0.
  WriteAll({"b.dcm", "a.dcm"});
  EXPECT_EQ("b.dcm \na.dcm \nx.9 \n", Medconv("--name --sort=ext_num x.9 b.dcm a.dcm").out);
}

TEST_F(FileListTest, PatternsExpandAndUnmatchedWordsAreReported) {
  WriteAll({"p1.dcm", "p2.dcm"});
  const auto run = Medconv("--name --sort '*.dcm' 'none*.xyz'");
  EXPECT_EQ("p1.dcm \np2.dcm \n", run.out);
  EXPECT_EQ(1u, Lines(run.err).size() / 3) << run.err;
  EXPECT_NE(std::string::npos, run.err.find("   no file matches none*.xyz\n")) << run.err;
}

TEST_F(FileListTest, StepKeepsEveryNthFileCountedAfterReversing) {
  WriteAll({"f1.dcm", "f2.dcm", "f3.dcm", "f4.dcm", "f5.dcm", "f6.dcm", "f7.dcm"});
  EXPECT_EQ("About to process 7 file(s)...\n[1] [4] [7] \n", Medconv("--rank --step=3 --sort 'f*.dcm'").out);
  EXPECT_EQ("f7.dcm \nf4.dcm \nf1.dcm \n", Medconv("--name --reverse --step=3 --sort 'f*.dcm'").out);

  // The counters seen by the naming: rank 7 is the third file processed.
  const auto run = Medconv("--step=3 --sort --rename=cur_rk0:cur_cn0:ren_o 'f*.dcm'");
  EXPECT_EQ(0, run.status) << run.err;
  for (const char* name : {"0001-0001", "0004-0002", "0007-0003", "f2.dcm"})
    EXPECT_TRUE(Exists(name)) << name;
}

TEST_F(FileListTest, RankNameAndTimerShowProgress) {
  WriteAll({"a.dcm", "b.dcm"});
  auto run = Medconv("--rank --name a.dcm b.dcm");
  EXPECT_EQ(0, run.status);
  EXPECT_EQ("About to process 2 file(s)...\n[1] a.dcm \n[2] b.dcm \n", run.out);
  EXPECT_EQ("", run.err);

  run = Medconv("--timer a.dcm");
  EXPECT_EQ(0, run.status);
  const auto lines = Lines(run.out);
  ASSERT_EQ(2u, lines.size()) << run.out;
  EXPECT_EQ("", lines[0]);
  EXPECT_EQ(0u, lines[1].find("Elapsed time: "));
  EXPECT_EQ(" s.", lines[1].substr(lines[1].size() - 3));
}

TEST_F(FileListTest, OutMovesProgressAndWarningsToStandardErrorAndWarnSilencesThem) {
  Write("a.dcm");
  const auto run = Medconv("--out --rank --name -t1 a.dcm");
  EXPECT_EQ(0, run.status);
  // Standard output carries only the dump.
  EXPECT_NE(std::string::npos, run.out.find("(0010,0010)"));
  EXPECT_EQ(std::string::npos, run.out.find("About to process"));
  EXPECT_NE(std::string::npos, run.err.find("About to process 1 file(s)...\n[1] a.dcm "));

  const auto warned = Medconv("--out -t7 a.dcm");
  EXPECT_EQ("", warned.out);
  EXPECT_NE(std::string::npos, warned.err.find(">> [W] ["));
  EXPECT_NE(std::string::npos, warned.err.find("   wrong parameters for -t!\n"));

  EXPECT_NE(std::string::npos, Medconv("-t7 a.dcm").out.find("wrong parameters for -t!"));
  for (const char* option : {"--warn=n", "--nowarn"}) {
    const auto silent = Medconv(std::string(option) + " -t7 a.dcm");
    EXPECT_EQ(1, silent.status) << option;
    EXPECT_EQ("", silent.out) << option;
  }
}

TEST_F(FileListTest, FailingFileIsReportedAndTheNextOneStillProcessed) {
  testsupport::WriteText(dir.file("bad.dcm"), "not a DICOM file");
  Write("good.dcm");
  const auto run = Medconv("-t bad.dcm missing.dcm good.dcm");
  EXPECT_EQ(1, run.status);
  EXPECT_NE(std::string::npos, run.err.find("   while processing file bad.dcm!\n")) << run.err;
  EXPECT_NE(std::string::npos, run.err.find("   while reading set from file bad.dcm!\n"));
  EXPECT_TRUE(Exists("good.dcm.txt"));
  EXPECT_FALSE(Exists("bad.dcm.txt"));
}

}  // namespace

namespace {

TEST(SelectFiles, StepKeepsSelectingPastSixtyFiveThousandFiles) {
  // Archives hold more files than the 16-bit counters of the names count.
  qzcFileNameList files;
  for (int n = 0; n < 70001; ++n)
    files.push_back(qzcFileName("f" + std::to_string(n)));
  const std::vector<FileJob> jobs = SelectFiles(files, 3);
  ASSERT_EQ(23334u, jobs.size());
  EXPECT_EQ("f69999", jobs.back().name);
  EXPECT_EQ("f65535", jobs[21845].name);
  EXPECT_EQ(UWORD(65536), jobs[21845].rank);  // names wrap, as cur_rk always has
  EXPECT_EQ(21846u, jobs[21845].count);
}

}  // namespace
