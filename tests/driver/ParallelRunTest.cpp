// --jobs gives the outputs, the text on both standard streams and the exit
// status of the sequential run, on a batch that exercises what depends on
// the order of the files: failures among good files, multi-frame files,
// accumulation, colliding output names and renamed inputs, the dump on
// standard output.
#include "DriverTest.h"

#include <dirent.h>

#include <map>
#include <regex>

namespace {

typedef std::map<std::string, std::vector<unsigned char>> FolderContents;

// Every file of a folder, by name, with its bytes.
FolderContents ContentsOf(const std::string& folder) {
  FolderContents contents;
  if (DIR* directory = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(directory)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..")
        contents[name] = testsupport::ReadBytes(folder + "/" + name);
    }
    closedir(directory);
  }
  return contents;
}

// Report time stamps and the processor time differ from run to run.
std::string WithoutTimes(const std::string& text) {
  const std::string stamps = std::regex_replace(text, std::regex(R"(\[\d\d:\d\d:\d\d\])"), "[time]");
  return std::regex_replace(stamps, std::regex(R"(Elapsed time: [0-9.e+-]+ s\.)"), "Elapsed time: (time) s.");
}

// The first line where two texts differ, for the failure message.
std::string FirstDifference(const std::string& a, const std::string& b) {
  const std::vector<std::string> first = Lines(a), second = Lines(b);
  for (std::size_t n = 0; n < first.size() || n < second.size(); ++n) {
    const std::string x = n < first.size() ? first[n] : "(end)", y = n < second.size() ? second[n] : "(end)";
    if (x != y)
      return "line " + std::to_string(n + 1) + ":\n  " + x + "\n  " + y;
  }
  return "none";
}

class ParallelRunTest : public MedconvTest {
 protected:
  // Forty files of three patients, whose output names collide: large
  // images, slow to convert, among small ones, so that later files of a
  // patient are done before earlier ones unless the run keeps the order;
  // three-frame images, unreadable files, sets without pixels.
  // The first file can be made larger still.
  void WriteBatch(const std::string& folder, std::uint16_t firstSide = 512) const {
    testsupport::Run("mkdir -p " + folder, dir.path());
    for (int n = 0; n < 40; ++n) {
      char name[32];
      std::snprintf(name, sizeof name, "%s/f%02d.dcm", folder.c_str(), n);
      switch (n % 5) {
        case 0:
          WriteImage(name, n, 1, n == 0 ? firstSide : 512);
          break;
        case 1:
          WriteImage(name, n, 1, 4);
          break;
        case 2:
          WriteImage(name, n, 3, 4);
          break;
        case 3:
          testsupport::WriteText(dir.file(name), "not a DICOM file " + std::to_string(n));
          break;
        default:
          Write(name, PatientSet("PATIENT^" + std::to_string(n % 3)));
      }
    }
  }

  // A square 8-bit image of the side given.
  void WriteImage(const std::string& name, int n, int frames, std::uint16_t side) const {
    samplewriter::SampleSet set = SmallImageSet();
    set.Text(0x0008, 0x0060, "CS", "CT");
    set.Text(0x0010, 0x0010, "PN", "PATIENT^" + std::to_string(n % 3));
    set.Text(0x0028, 0x0008, "IS", std::to_string(frames));
    set.UnsignedShort(0x0028, 0x0010, side);
    set.UnsignedShort(0x0028, 0x0011, side);
    samplewriter::Bytes pixels;
    for (int k = 0; k < side * side * frames; ++k)
      pixels.push_back(static_cast<unsigned char>((n * 37 + k * 11) % 251));
    set.OtherBytes(0x7FE0, 0x0010, pixels);
    Write(name, set);
  }

  // Runs the command with --jobs=1 and with --jobs=4, each in a folder of
  // its own holding the batch in in/ and an empty out/, and expects the
  // same of both: status, streams, and the files of checkedFolder.
  void ExpectSameRuns(const std::string& arguments, const std::string& checkedFolder,
                      std::uint16_t firstSide = 512) {
    testsupport::RunResult runs[2];
    FolderContents contents[2];
    const int jobs[2] = {1, 4};
    for (int k = 0; k < 2; ++k) {
      const std::string folder = "run" + std::to_string(jobs[k]);
      testsupport::Run("rm -rf " + folder, dir.path());
      WriteBatch(folder + "/in", firstSide);
      testsupport::Run("mkdir -p " + folder + "/out", dir.path());
      runs[k] = testsupport::Run("unset MEDCONV; cd " + folder + " && '" + MEDCONV_BINARY +
                                     "' --jobs=" + std::to_string(jobs[k]) + " " + arguments,
                                 dir.path());
      contents[k] = ContentsOf(dir.file(folder + "/" + checkedFolder));
    }
    EXPECT_EQ(runs[0].status, runs[1].status);
    for (const auto stream : {&testsupport::RunResult::out, &testsupport::RunResult::err}) {
      const std::string sequential = WithoutTimes(runs[0].*stream), parallel = WithoutTimes(runs[1].*stream);
      EXPECT_TRUE(sequential == parallel) << FirstDifference(sequential, parallel);
    }
    EXPECT_GT(contents[0].size(), 10u);
    EXPECT_TRUE(contents[0] == contents[1]);
    for (const auto& file : contents[0])
      EXPECT_TRUE(contents[1].count(file.first) && contents[1][file.first] == file.second) << file.first;
  }
};

TEST_F(ParallelRunTest, ConvertedBatchIsTheSequentialOne) {
  // The dictionary lies in the test folder, one level up.
  ExpectSameRuns("--rank --name --timer -w -r0 -p1 -t1 --acc=max --to=out 'in/*.dcm' 'in/none*.dcm'", "out");
}

TEST_F(ParallelRunTest, CollidingOutputNamesEndAsInTheSequentialRun) {
  // Files of one patient write the same names: the last one of the list
  // stays. Multi-frame files write one name per frame.
  ExpectSameRuns("--name -w -d -t --rename=pat_nm:modal:cur_fr0 --to=out --sort 'in/*.dcm'", "out");
}

TEST_F(ParallelRunTest, RenamedInputsGoToTheEarlierFiles) {
  // Only the first file of each patient and frame count gets the name; the
  // others keep theirs, whatever the order the workers reach them.
  ExpectSameRuns("--rank -w --rename=pat_nm:nb_fr:ren_o --reverse 'in/*.dcm'", "in");
  // No output names order the files here: the first one takes long.
  ExpectSameRuns("--get=max:min:mean --halve=2 --rename=pat_nm:ren_o --sort 'in/*.dcm'", "in", 3000);
}

TEST_F(ParallelRunTest, MaskIsSharedByTheWorkers) {
  // A 4 x 4 mask, which the large images do not fit.
  Write("mask.dcm", SmallImageSet(0));
  ASSERT_EQ(0, Medconv("-w mask.dcm").status);
  ExpectSameRuns("-r0 --get=max:mean --mask=zero:../mask.dcm.bmp --to=out 'in/*.dcm'", "out");
}

TEST_F(ParallelRunTest, JobsOptionTakesACountOrTheProcessors) {
  WriteBatch("in");
  for (const char* jobs : {"--jobs", "--jobs=0", "--jobs=2", "--jobs=1"}) {
    const auto run = Medconv(std::string(jobs) + " -w in/f00.dcm in/f01.dcm");
    EXPECT_EQ(0, run.status) << jobs << run.err;
  }
  EXPECT_EQ(1, Medconv("--jobs=1x -w in/f00.dcm").status);
}

}  // namespace
