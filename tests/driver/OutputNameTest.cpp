// Output naming: the fields of a --rename pattern on a data set built in
// memory, and, through the program, names that must stay in their folder.
#include "DriverTest.h"

#include "dicom/qzmDicomDataElementSet.h"
#include "driver/OutputName.h"

namespace {

class OutputNameTest : public ::testing::Test {
 protected:
  qzmDicomDataElementValue& Element(UWORD group, UWORD element) { return set[qzmDicomDataElementTag(group, element)]; }

  void SetDate(UWORD group, UWORD element, UBYTE day, UBYTE month, UWORD year) {
    auto& date = Element(group, element).DA();
    date.day = day;
    date.month = month;
    date.year = year;
  }

  void SetTime(UWORD group, UWORD element, UBYTE hour, UBYTE minute, UBYTE second, ULONG fraction) {
    auto& time = Element(group, element).TM();
    time.hour = hour;
    time.minute = minute;
    time.second = second;
    time.fraction = fraction;
  }

  qzcString Name(const char* pattern, UWORD frame = 0, UWORD rank = 1, UWORD count = 1) {
    return BuildOutputName(pattern, set, rank, count, "x.dcm", frame);
  }

  // Each pattern against the set as it is now.
  void ExpectNames(std::initializer_list<std::pair<const char*, const char*>> rows) {
    for (const auto& row : rows)
      EXPECT_EQ(row.second, Name(row.first)) << "pattern " << row.first;
  }

  qzmDicomDataElementSet set;
};

TEST_F(OutputNameTest, EmptyPatternKeepsInputNameAndNumbersFramesOfMultiFrameSets) {
  EXPECT_EQ("x.dcm", Name(""));
  EXPECT_EQ("x.dcm", Name("", 1));
  EXPECT_EQ("x.dcm", Name("cur_nm:cur_fr0", 1));
  Element(0x0028, 0x0008).IS() = "5";
  EXPECT_EQ(5, NumberOfFrames(set));
  EXPECT_EQ("x.dcm-002", Name("", 2));
  EXPECT_EQ("x.dcm", Name("", 0));
  EXPECT_EQ("x.dcm-2-002", Name("cur_nm:cur_fr:cur_fr0", 2));
  EXPECT_EQ("0005-0003", Name("cur_rk0:cur_cn0", 0, 5, 3));
  EXPECT_EQ("5-3", Name("cur_rk:cur_cn", 0, 5, 3));
}

TEST_F(OutputNameTest, PatientNameDatesAndTimes) {
  Element(0x0010, 0x0010).PN() = "DOE^JOHN";
  SetDate(0x0008, 0x0023, 20, 7, 2001);
  SetTime(0x0008, 0x0033, 10, 30, 15, 0);
  SetDate(0x0008, 0x0020, 31, 12, 1999);
  SetTime(0x0008, 0x0030, 8, 5, 0, 500000);
  ExpectNames(
      {{"pat_nm:img_da:img_tm", "DOE_JOHN-i20.07.101-i10.30.15"}, {"stu_da:stu_tm", "u31.12.99-u08.05.00.500000"}});
  // A single component has no "_"; missing dates add nothing.
  Element(0x0010, 0x0010).PN() = "SMITH";
  EXPECT_EQ("SMITH", Name("pat_nm:acq_da:ser_tm"));
  Element(0x0010, 0x0010).PN() = "Van Gogh^Vincent";
  EXPECT_EQ("Van_Gogh", Name("pat_nm"));
}

TEST_F(OutputNameTest, InputNamePiecesLiteralsAndTagFields) {
  Element(0x0008, 0x0080).LO() = "";
  ExpectNames({{"cur_we:cur_ext", "xdcm"},
               {"cur_we:.dcm", "x.dcm"},
               {"study:cur_we", "study-x"},
               {"stu_nb", "stu_nb"},
               {"cur_nm:ren_o", "x.dcm"},
               {"(8,60)", "(8,60)"},
               // the shape without hexadecimal fields names no element: kept as written
               {"(zzzz,0060)", "(zzzz,0060)"},
               // an empty value gives an empty piece, an absent one nothing
               {"cur_nm:(0008,0080)", "x.dcm-"},
               {"cur_nm:(0008,0090)", "x.dcm"}});
  Element(0x0008, 0x0060).CS() = "MR";
  EXPECT_EQ("MR", Name("(0008,0060)"));
}

TEST_F(OutputNameTest, ImageStructureTextAndNumberFields) {
  Element(0x0028, 0x0010).US() = 512;
  Element(0x0028, 0x0011).US() = 512;
  Element(0x0028, 0x0004).CS() = "MONOCHROME2";
  Element(0x0020, 0x0011).IS() = "7";
  Element(0x0020, 0x0013).IS() = "42";
  ExpectNames({{"modal:rows:cols", "512-512"},
               {"photo_i:photo_is", "MONOCHROME2-MONO2"},
               {"ser_nb:ser_nb0:img_nb:img_nb0", "s7-s0007-i42-i0042"},
               {"cur_nm:acq_nb:acq_nb0", "x.dcm"}});
  Element(0x0008, 0x0060).CS() = "CT";
  // Text fields that are empty or begin with a blank add nothing.
  Element(0x0008, 0x1030).LO() = " leading blank";
  // Numbers are unsigned 32-bit ("%04u"), whatever the width of long.
  Element(0x0020, 0x0012).IS() = "-1";
  ExpectNames({{"modal:rows:cols", "CT-512-512"}, {"stu_des:modal", "CT"}, {"acq_nb0", "a4294967295"}});
  for (const auto& photometric : {std::make_pair("PALETTE COLOR", "PAL"), std::make_pair("RGB", "RGB")}) {
    Element(0x0028, 0x0004).CS() = photometric.first;
    EXPECT_EQ(photometric.second, Name("photo_is"));
  }
}

TEST_F(OutputNameTest, SlashesFromTheSetBecomeUnderscoresAndLongValuesAreCut) {
  Element(0x0008, 0x1030).LO() = "../../etc/passwd";
  Element(0x0008, 0x0080).LO() = "a/b";
  // What the user wrote is kept.
  ExpectNames({{"stu_des:(0008,0080)", ".._.._etc_passwd-a_b"}, {"sub/y:cur_nm", "sub/y-x.dcm"}});
  Element(0x0008, 0x1030).LO() = std::string(1500, 'd');
  EXPECT_EQ(1000u, Name("stu_des").size());
}

// Through the program: the input given a new name from its set stays in its
// folder whatever the set holds.
TEST_F(MedconvTest, RenamedInputStaysInItsFolder) {
  testsupport::Run("mkdir in", dir.path());
  Write("in/x.dcm", PatientSet("../../EVIL/NAME"));
  const auto run = Medconv("--rename=pat_nm:stu_des:ren_o in/x.dcm");
  EXPECT_EQ(0, run.status) << run.err;
  // "/" cuts the name into components: the first two are "..".
  EXPECT_TRUE(Exists("in/.._..")) << run.err;
  EXPECT_FALSE(Exists("in/x.dcm"));

  auto tricky = PatientSet();
  tricky.Text(0x0008, 0x1030, "LO", "../escaped");
  Write("in/y.dcm", tricky);
  EXPECT_EQ(0, Medconv("--rename=stu_des:ren_o in/y.dcm").status);
  EXPECT_TRUE(Exists("in/.._escaped"));
  EXPECT_FALSE(Exists("escaped"));
}

}  // namespace
