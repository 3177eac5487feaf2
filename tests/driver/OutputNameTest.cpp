// Output naming: the fields of a --rename pattern on a data set built in
// memory, and the counters names see (the program's own runs are in
// CommandTest.cpp).
#include <gtest/gtest.h>

#include "dicom/qzmDicomDataElementSet.h"
#include "driver/FileRun.h"
#include "driver/OutputName.h"
#include "lib/qzcFileNameList.h"

namespace {

TEST(OutputName, EveryKindOfField) {
  qzmDicomDataElementSet set;
  const auto At = [&](UWORD group, UWORD element) -> auto& { return set[qzmDicomDataElementTag(group, element)]; };
  const auto Name = [&](const char* pattern, UWORD frame = 0) {
    return BuildOutputName(pattern, set, 5, 3, "x.dcm", frame);
  };
  // Without Number of Frames no frame is numbered.
  EXPECT_EQ("x.dcm", Name("", 1));
  At(0x0008, 0x0023).DA() = {20, 7, 2001};
  At(0x0008, 0x0033).TM() = {10, 30, 15, 0};
  At(0x0008, 0x0020).DA() = {31, 12, 1999};
  At(0x0008, 0x0030).TM() = {8, 5, 0, 500000};
  At(0x0028, 0x0010).US() = 512;
  At(0x0028, 0x0011).US() = 256;
  // Texts as LO: names read the text whatever its VR.
  for (const auto& [group, element, text] : std::vector<std::tuple<UWORD, UWORD, const char*>>{
           {0x0028, 0x0008, "5"}, {0x0010, 0x0010, "DOE^JOHN"}, {0x0008, 0x0060, "CT"}, {0x0008, 0x0080, "a/b"},
           {0x0008, 0x0081, ""}, {0x0008, 0x1030, " leading blank"}, {0x0020, 0x0011, "7"}, {0x0020, 0x0012, "-1"},
           {0x0020, 0x0013, "42"}, {0x0028, 0x0004, "MONOCHROME2"}})
    At(group, element).LO() = text;
  const struct {
    const char* pattern;
    UWORD frame;
    const char* name;
  } rows[] = {
      {"", 0, "x.dcm"}, {"", 2, "x.dcm-002"}, {"cur_nm:cur_fr:cur_fr0", 2, "x.dcm-2-002"}, {"cur_rk:cur_cn", 0, "5-3"},
      {"pat_nm:img_da:img_tm", 0, "DOE_JOHN-i20.07.101-i10.30.15"}, {"stu_da:stu_tm", 0, "u31.12.99-u08.05.00.500000"},
      // Absent elements and text that is empty or begins with a blank add nothing.
      {"acq_da:ser_tm:cur_we:(0008,0090):stu_des", 0, "x"}, {"cur_we:cur_ext", 0, "xdcm"}, {"cur_we:.dcm", 0, "x.dcm"},
      {"study:cur_we", 0, "study-x"}, {"stu_nb", 0, "stu_nb"}, {"(8,60)", 0, "(8,60)"}, {"(0008,0060)", 0, "CT"},
      {"(zzzz,0060)", 0, "(zzzz,0060)"}, {"cur_nm:(0008,0081)", 0, "x.dcm-"},
      {"photo_i:photo_is", 0, "MONOCHROME2-MONO2"}, {"ser_nb:ser_nb0:img_nb:img_nb0", 0, "s7-s0007-i42-i0042"},
      // Numbers are unsigned 32-bit ("%04u"), whatever the width of long.
      {"acq_nb0", 0, "a4294967295"},
      // A "/" from the set becomes "_"; what the user wrote is kept.
      {"(0008,0080):sub/y", 0, "a_b-sub/y"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(row.name, Name(row.pattern, row.frame)) << row.pattern;

  // One element after another: (group, element), value, field, name.
  const std::tuple<UWORD, UWORD, std::string, const char*, std::string> values[] = {
      {0x0010, 0x0010, "SMITH", "pat_nm", "SMITH"}, {0x0010, 0x0010, "Van Gogh^Vincent", "pat_nm", "Van_Gogh"},
      {0x0028, 0x0004, "PALETTE COLOR", "photo_is", "PAL"}, {0x0028, 0x0004, "MONOCHROME1", "photo_is", "MONO1"},
      {0x0028, 0x0004, "RGB", "photo_is", "RGB"}, {0x0008, 0x1030, "../../etc/passwd", "stu_des", ".._.._etc_passwd"},
      {0x0008, 0x1030, std::string(1500, 'd'), "stu_des", std::string(1000, 'd')}};
  for (const auto& [group, element, text, field, name] : values) {
    At(group, element).LO() = text;
    EXPECT_EQ(name, Name(field)) << text;
  }
}

// --step past the range of the 16-bit counters that names see.
TEST(SelectFiles, StepKeepsSelectingPastSixtyFiveThousandFiles) {
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
