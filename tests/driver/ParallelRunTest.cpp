// --jobs gives the outputs, streams and exit status of the sequential run,
// on a batch where they depend on the order of the files.
#include "DriverTest.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>

namespace {

class ParallelRunTest : public MedconvTest {
 protected:
  // The command with --jobs=1 and --jobs=4, each on a fresh batch in in/ and
  // an empty out/: forty files of three patients whose output names collide,
  // large images (slow) among small ones, so that later files finish first,
  // three-frame images, unreadable files, sets without pixels.
  void ExpectSameRuns(const std::string& arguments, int firstSide = 512) const {
    std::string streams[2];
    std::map<std::string, std::string> files[2];
    for (int k = 0; k < 2; ++k) {
      testsupport::Run("rm -rf in out && mkdir in out", dir.path());
      for (int n = 0; n < 40; ++n) {
        const std::string name = "in/f" + std::to_string(10 + n) + ".dcm", patient = "P^" + std::to_string(n % 3);
        const int frames = n % 5 == 2 ? 3 : 1, side = n % 5 == 0 ? (n ? 512 : firstSide) : 4;
        samplewriter::SampleSet set = n % 5 == 4 ? PatientSet(patient) : SmallImageSet();
        set.Text(0x0010, 0x0010, "PN", patient);
        set.Text(0x0028, 0x0008, "IS", std::to_string(frames));
        set.UnsignedShorts(0x0028, 0x0010, {std::uint16_t(side)});
        set.UnsignedShorts(0x0028, 0x0011, {std::uint16_t(side)});
        samplewriter::Bytes pixels(std::size_t(side * side * frames));
        for (std::size_t i = 0; i < pixels.size(); ++i)
          pixels[i] = std::uint8_t((n * 37 + i * 11) % 251);
        if (n % 5 != 4)
          set.OtherBytes(0x7FE0, 0x0010, pixels);
        if (n % 5 == 3)
          testsupport::WriteText(dir.file(name), "not a DICOM file " + std::to_string(n));
        else
          Write(name, set);
      }
      const auto run = Medconv(arguments, "--jobs=" + std::to_string(1 + 3 * k));
      streams[k] = std::regex_replace(std::to_string(run.status) + run.out + "\n--\n" + run.err,
                                      std::regex(R"(\[\d\d:\d\d:\d\d\]|Elapsed time: \S+)"), "(time)");
      for (const auto& file : std::filesystem::recursive_directory_iterator(dir.path()))
        if (file.is_regular_file())
          files[k][file.path()] = testsupport::ReadText(file.path());
    }
    EXPECT_EQ(streams[0], streams[1]);
    // Outputs or renamed inputs.
    EXPECT_LT(3, std::count_if(files[0].begin(), files[0].end(), [](const auto& file) {
                return !Has(file.first, "/in/f") && !Has(file.first, "/dicom.d") && !Has(file.first, "/mask.");
              }));
    EXPECT_TRUE(files[0] == files[1]) << arguments;
  }
};

TEST_F(ParallelRunTest, ParallelRunIsTheSequentialOne) {
  ExpectSameRuns("--rank --name --timer -w -r0 -p1 -t1 --acc=max --to=out 'in/*.dcm' 'in/none*.dcm'");
  // Files of one patient, and the frames of a file, write the same names:
  // the last one of the list stays.
  ExpectSameRuns("--name -w -d -t --rename=pat_nm:modal --to=out --sort 'in/*.dcm'");
  // Only the first file of each patient and frame count gets the name,
  // whatever the order the workers reach them; the first one takes long.
  ExpectSameRuns("--rank --get=max:min:mean --halve=2 --rename=pat_nm:nb_fr:ren_o --sort 'in/*.dcm'", 2048);
  // A 4 x 4 mask, which the large images do not fit, shared by the workers.
  Write("mask.dcm", SmallImageSet(0));
  ASSERT_EQ(0, Medconv("-w mask.dcm").status);
  ExpectSameRuns("-r0 --get=max:mean --mask=zero:mask.dcm.bmp --to=out 'in/*.dcm'");
}

}  // namespace
