// --jobs gives the outputs, the text on both standard streams and the exit
// status of the sequential run, on a batch that exercises what depends on
// the order of the files: failures among good files, multi-frame files,
// accumulation, colliding output names and renamed inputs, the shared mask.
#include "DriverTest.h"

#include <filesystem>
#include <map>
#include <regex>

namespace {

class ParallelRunTest : public MedconvTest {
 protected:
  // Forty files of three patients, whose output names collide: large
  // images, slow to convert, among small ones, so that later files of a
  // patient are done before earlier ones unless the run keeps the order;
  // three-frame images, unreadable files, sets without pixels.
  void WriteBatch(const std::string& folder, int firstSide) const {
    std::filesystem::create_directories(dir.file(folder + "/out"));
    std::filesystem::create_directories(dir.file(folder + "/in"));
    for (int n = 0; n < 40; ++n) {
      const std::string name = folder + "/in/f" + std::to_string(10 + n) + ".dcm", patient = "P^" + std::to_string(n % 3);
      const int frames = n % 5 == 2 ? 3 : 1, side = n % 5 == 0 ? (n ? 512 : firstSide) : 4;
      samplewriter::SampleSet set = n % 5 == 4 ? PatientSet(patient) : SmallImageSet();
      set.Text(0x0010, 0x0010, "PN", patient);
      set.Text(0x0028, 0x0008, "IS", std::to_string(frames));
      set.UnsignedShort(0x0028, 0x0010, std::uint16_t(side));
      set.UnsignedShort(0x0028, 0x0011, std::uint16_t(side));
      samplewriter::Bytes pixels(std::size_t(side * side * frames));
      for (std::size_t k = 0; k < pixels.size(); ++k)
        pixels[k] = std::uint8_t((n * 37 + k * 11) % 251);
      if (n % 5 != 4)
        set.OtherBytes(0x7FE0, 0x0010, pixels);
      if (n % 5 == 3)
        testsupport::WriteText(dir.file(name), "not a DICOM file " + std::to_string(n));
      else
        Write(name, set);
    }
  }

  // Runs the command with --jobs=1 and with --jobs=4, each in a folder of
  // its own holding the batch in in/ and an empty out/, and expects the
  // same of both: status, streams (less the times), and the files of checked.
  void ExpectSameRuns(const std::string& arguments, const std::string& checked, int firstSide = 512) {
    std::string runs[2];
    std::map<std::string, std::vector<unsigned char>> contents[2];
    for (int k = 0; k < 2; ++k) {
      const std::string folder = "run" + std::to_string(k);
      std::filesystem::remove_all(dir.file(folder));
      WriteBatch(folder, firstSide);
      const auto run = Medconv("--jobs=" + std::to_string(1 + 3 * k) + " " + arguments, "", folder);
      runs[k] = std::regex_replace(std::to_string(run.status) + run.out + "\n--\n" + run.err,
                                   std::regex(R"(\[\d\d:\d\d:\d\d\]|Elapsed time: \S+)"), "(time)");
      for (const auto& file : std::filesystem::directory_iterator(dir.file(folder + "/" + checked)))
        contents[k][file.path().filename()] = testsupport::ReadBytes(file.path());
    }
    EXPECT_EQ(runs[0], runs[1]);
    EXPECT_GT(contents[0].size(), 10u);
    EXPECT_TRUE(contents[0] == contents[1]) << arguments;
  }
};

TEST_F(ParallelRunTest, ParallelRunIsTheSequentialOne) {
  // The dictionary lies in the test folder, one level up.
  ExpectSameRuns("--rank --name --timer -w -r0 -p1 -t1 --acc=max --to=out 'in/*.dcm' 'in/none*.dcm'", "out");
  // Files of one patient write the same names: the last one of the list
  // stays. Multi-frame files write one name per frame.
  ExpectSameRuns("--name -w -d -t --rename=pat_nm:modal:cur_fr0 --to=out --sort 'in/*.dcm'", "out");
  // Only the first file of each patient and frame count gets the name,
  // whatever the order the workers reach them; the first one takes long.
  ExpectSameRuns("--rank --get=max:min:mean --halve=2 --rename=pat_nm:nb_fr:ren_o --sort 'in/*.dcm'", "in", 2048);
  // A 4 x 4 mask, which the large images do not fit, shared by the workers.
  Write("mask.dcm", SmallImageSet(0));
  ASSERT_EQ(0, Medconv("-w mask.dcm").status);
  ExpectSameRuns("-r0 --get=max:mean --mask=zero:../mask.dcm.bmp --to=out 'in/*.dcm'", "out");
}

}  // namespace
