// Tags: text form and every parse fault, binary form in both byte orders,
// ordering, and the File Meta filter.
#include <gtest/gtest.h>

#include <iomanip>
#include <set>
#include <sstream>

#include "CapturedReports.h"
#include "dicom/qzmDicomDataElementTag.h"
#include "dicom/qzmDicomDataElementTagSet.h"
#include "lib/ifbstream.h"
#include "lib/ofbstream.h"
#include "support/TestSupport.h"

namespace {

std::string Text(const qzmDicomDataElementTag& tag) {
  std::ostringstream out;
  out << tag;
  return out.str();
}

TEST(TagText, PrintsUpperCaseZeroFilledAndRestoresTheStream) {
  EXPECT_EQ("(0008,0016)", Text({0x0008, 0x0016}));
  EXPECT_EQ("(7FE0,0010)", Text({0x7FE0, 0x0010}));
  EXPECT_EQ("(FFFE,E0DD)", Text({0xFFFE, 0xE0DD}));

  std::ostringstream out;
  out << std::setfill('*') << qzmDicomDataElementTag(1, 2) << ' ' << std::setw(3) << 42 << ' ' << 255;
  EXPECT_EQ("(0001,0002) *42 255", out.str());
}

TEST(TagText, ParsesLowerCaseTruncatesToSixteenBitsAndIgnoresWhatFollows) {
  CapturedReports reports;
  qzmDicomDataElementTag tag;
  std::istringstream in("  (7fe0,0010)\n(10008,0016) (0008,0018),");
  in >> tag;
  EXPECT_EQ(qzmDicomDataElementTag(0x7FE0, 0x0010), tag);
  in >> tag;
  EXPECT_EQ(qzmDicomDataElementTag(0x0008, 0x0016), tag);
  in >> tag;
  EXPECT_EQ(qzmDicomDataElementTag(0x0008, 0x0018), tag);
  EXPECT_FALSE(in.fail());
  EXPECT_TRUE(reports.None());
}

struct TagFault {
  const char* token;
  const char* message;
};

TEST(TagText, EveryFaultFailsTheStreamReportsAndLeavesTheTag) {
  const TagFault faults[] = {
      {"0008,0016)", "syntax (group,elem): open parenthesis not found in token 0008,0016)!"},
      {"(00080016)", "syntax (group,elem): comma not found in token (00080016)!"},
      {"(0008,0016", "syntax (group,elem): closing parenthesis not found in token (0008,0016!"},
      {"(0008,)", "syntax (group,elem) is not respected in token (0008,)!"},
      {"(,0016)", "syntax (group,elem) is not respected in token (,0016)!"},
      {"(0008-0010,0016)", "sorry, range group1-group2 or elem1-elem2 not implemented (0008-0010,0016)!"},
      {"(00x8,0016)", "sorry, jokers not implemented in group or element numbers (00x8,0016)!"},
      {"x(0008,0016)", "sorry, jokers not implemented in group or element numbers x(0008,0016)!"},
  };
  for (const TagFault& fault : faults) {
    SCOPED_TRACE(fault.token);
    CapturedReports reports;
    qzmDicomDataElementTag tag(0x1234, 0x5678);
    std::istringstream in(fault.token);
    in >> tag;
    EXPECT_TRUE(in.fail());
    EXPECT_EQ(qzmDicomDataElementTag(0x1234, 0x5678), tag);
    EXPECT_NE(std::string::npos, reports.Errors().find(fault.message)) << reports.Errors();
    EXPECT_NE(std::string::npos,
              reports.Errors().find("istream& operator >>( istream&, qzmDicomDataElementTag& )"));
  }
}

TEST(TagText, NoTokenLeftReportsAFailedRead) {
  CapturedReports reports;
  qzmDicomDataElementTag tag;
  std::istringstream in("   \n");
  EXPECT_FALSE(in >> tag);
  EXPECT_NE(std::string::npos, reports.Errors().find("failed while reading token!"));
}

TEST(TagOrder, GroupThenElementUnsigned) {
  EXPECT_LT(qzmDicomDataElementTag(0x0002, 0x0010), qzmDicomDataElementTag(0x0008, 0x0000));
  EXPECT_LT(qzmDicomDataElementTag(0x0008, 0x0016), qzmDicomDataElementTag(0x0008, 0x0018));
  EXPECT_LT(qzmDicomDataElementTag(0x0008, 0xFFFF), qzmDicomDataElementTag(0x8000, 0x0000));
  EXPECT_FALSE(qzmDicomDataElementTag(1, 2) < qzmDicomDataElementTag(1, 2));
  EXPECT_NE(qzmDicomDataElementTag(1, 2), qzmDicomDataElementTag(2, 1));

  const qzmDicomDataElementTagSet set = {{0x7FE0, 0x0010}, {0x0008, 0x0018}, {0x0002, 0x0010}, {0x0008, 0x0018}};
  ASSERT_EQ(3u, set.size());
  EXPECT_EQ(qzmDicomDataElementTag(0x0002, 0x0010), *set.begin());
  EXPECT_EQ(qzmDicomDataElementTag(0x7FE0, 0x0010), *set.rbegin());
}

TEST(TagBinary, WritesAndReadsInTheStreamByteOrder) {
  testsupport::TempDir dir;
  const std::string little = dir.file("little.bin"), big = dir.file("big.bin");
  {
    ofbstream ofs(little.c_str(), std::ios::out | std::ios::binary);
    ofs << qzmDicomDataElementTag(0x7FE0, 0x0010);
  }
  {
    ofbstream ofs(big.c_str(), std::ios::out | std::ios::binary);
    ofs << big_endian << qzmDicomDataElementTag(0x7FE0, 0x0010);
  }
  EXPECT_EQ((std::vector<unsigned char>{0xE0, 0x7F, 0x10, 0x00}), testsupport::ReadBytes(little));
  EXPECT_EQ((std::vector<unsigned char>{0x7F, 0xE0, 0x00, 0x10}), testsupport::ReadBytes(big));

  qzmDicomDataElementTag tag;
  ifbstream ifs(big.c_str(), std::ios::in | std::ios::binary);
  ifs >> big_endian >> tag;
  EXPECT_TRUE(ifs);
  EXPECT_EQ(qzmDicomDataElementTag(0x7FE0, 0x0010), tag);
}

TEST(TagBinary, ATagCutByTheEndOfTheFileFailsTheStreamAndIsNotTaken) {
  testsupport::TempDir dir;
  const std::string path = dir.file("short.bin");
  testsupport::WriteBytes(path, {0x08, 0x00, 0x16});
  qzmDicomDataElementTag tag(1, 2);
  ifbstream ifs(path.c_str(), std::ios::in | std::ios::binary);
  ifs >> tag;
  EXPECT_TRUE(ifs.fail());
  EXPECT_EQ(qzmDicomDataElementTag(1, 2), tag);
}

TEST(FileMetaFilter, HoldsTheTenMetaTags) {
  const qzmDicomDataElementTagSet& filter = qzmDicomDataElementTagSet::FileMetaFilter();
  EXPECT_EQ(10u, filter.size());
  for (UWORD element : {0x0000, 0x0001, 0x0002, 0x0003, 0x0010, 0x0012, 0x0013, 0x0016, 0x0100, 0x0102})
    EXPECT_EQ(1u, filter.count({0x0002, element})) << element;
  EXPECT_EQ(0u, filter.count({0x0002, 0x0011}));
  EXPECT_EQ(0u, filter.count({0x0008, 0x0016}));
}

}  // namespace
