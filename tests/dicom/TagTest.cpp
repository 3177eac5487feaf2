// Tags: text form and every parse fault, binary form in both byte orders,
// ordering, and the File Meta filter.
#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>

#include "CapturedReports.h"
#include "dicom/qzmDicomDataElementTag.h"
#include "dicom/qzmDicomDataElementTagSet.h"
#include "lib/ifbstream.h"
#include "lib/ofbstream.h"
#include "support/TestSupport.h"

namespace {

typedef qzmDicomDataElementTag Tag;

TEST(TagText, PrintsUpperCaseZeroFilledAndRestoresTheStream) {
  std::ostringstream out;
  out << std::setfill('*') << Tag(1, 2) << ' ' << std::setw(3) << 42 << ' ' << 255 << Tag(0x7FE0, 0x0010)
      << Tag(0xFFFE, 0xE0DD);
  EXPECT_EQ("(0001,0002) *42 255(7FE0,0010)(FFFE,E0DD)", out.str());
}

TEST(TagText, ParsesLowerCaseTruncatesToSixteenBitsAndIgnoresWhatFollows) {
  CapturedReports reports;
  Tag first, second, third;
  std::istringstream in("  (7fe0,0010)\n(10008,0016) (0008,0018),");
  in >> first >> second >> third;
  EXPECT_FALSE(in.fail());
  EXPECT_EQ(Tag(0x7FE0, 0x0010), first);
  EXPECT_EQ(Tag(0x0008, 0x0016), second);
  EXPECT_EQ(Tag(0x0008, 0x0018), third);
  EXPECT_TRUE(reports.None());
}

TEST(TagText, EveryFaultFailsTheStreamReportsAndLeavesTheTag) {
  const struct {
    const char* token;
    const char* message;
  } faults[] = {
      {"0008,0016)", "syntax (group,elem): open parenthesis not found in token 0008,0016)!"},
      {"(00080016)", "syntax (group,elem): comma not found in token (00080016)!"},
      {"(0008,0016", "syntax (group,elem): closing parenthesis not found in token (0008,0016!"},
      {"(0008,)", "syntax (group,elem) is not respected in token (0008,)!"},
      {"(,0016)", "syntax (group,elem) is not respected in token (,0016)!"},
      {"(0008-0010,0016)", "sorry, range group1-group2 or elem1-elem2 not implemented (0008-0010,0016)!"},
      {"(00x8,0016)", "sorry, jokers not implemented in group or element numbers (00x8,0016)!"},
      {"x(0008,0016)", "sorry, jokers not implemented in group or element numbers x(0008,0016)!"},
      {"   \n", "failed while reading token!"},
  };
  for (const auto& fault : faults) {
    SCOPED_TRACE(fault.token);
    CapturedReports reports;
    Tag tag(0x1234, 0x5678);
    std::istringstream in(fault.token);
    EXPECT_FALSE(in >> tag);
    EXPECT_EQ(Tag(0x1234, 0x5678), tag);
    EXPECT_TRUE(reports.Error(fault.message));
    EXPECT_TRUE(reports.Error("istream& operator >>( istream&, qzmDicomDataElementTag& )"));
  }
}

TEST(TagOrder, GroupThenElementUnsigned) {
  EXPECT_LT(Tag(0x0002, 0x0010), Tag(0x0008, 0x0000));
  EXPECT_LT(Tag(0x0008, 0x0016), Tag(0x0008, 0x0018));
  EXPECT_LT(Tag(0x0008, 0xFFFF), Tag(0x8000, 0x0000));
  EXPECT_FALSE(Tag(1, 2) < Tag(1, 2));
  EXPECT_NE(Tag(1, 2), Tag(2, 1));

  const qzmDicomDataElementTagSet set = {{0x7FE0, 0x0010}, {0x0008, 0x0018}, {0x0002, 0x0010}, {0x0008, 0x0018}};
  ASSERT_EQ(3u, set.size());
  EXPECT_EQ(Tag(0x0002, 0x0010), *set.begin());
  EXPECT_EQ(Tag(0x7FE0, 0x0010), *set.rbegin());
}

TEST(TagBinary, WritesAndReadsInTheStreamByteOrderAndRefusesACutTag) {
  testsupport::TempDir dir;
  const std::string path = dir.file("tag.bin");
  const std::vector<unsigned char> little = {0xE0, 0x7F, 0x10, 0x00}, bigBytes = {0x7F, 0xE0, 0x00, 0x10};
  for (const bool big : {false, true}) {
    SCOPED_TRACE(big ? "big endian" : "little endian");
    {
      ofbstream ofs(path.c_str(), std::ios::out | std::ios::binary);
      if (big)
        ofs << big_endian;
      ofs << Tag(0x7FE0, 0x0010);
    }
    EXPECT_EQ(big ? bigBytes : little, testsupport::ReadBytes(path));
    Tag tag;
    ifbstream ifs(path.c_str(), std::ios::in | std::ios::binary);
    if (big)
      ifs >> big_endian;
    EXPECT_TRUE(ifs >> tag);
    EXPECT_EQ(Tag(0x7FE0, 0x0010), tag);
  }

  testsupport::WriteBytes(path, {0x08, 0x00, 0x16});
  Tag tag(1, 2);
  ifbstream ifs(path.c_str(), std::ios::in | std::ios::binary);
  EXPECT_FALSE(ifs >> tag);
  EXPECT_EQ(Tag(1, 2), tag);
}

TEST(FileMetaFilter, HoldsTheTenMetaTags) {
  const qzmDicomDataElementTagSet& filter = qzmDicomDataElementTagSet::FileMetaFilter();
  EXPECT_EQ(10u, filter.size());
  for (UWORD element : {0x0000, 0x0001, 0x0002, 0x0003, 0x0010, 0x0012, 0x0013, 0x0016, 0x0100, 0x0102})
    EXPECT_EQ(1u, filter.count({0x0002, element})) << element;
  EXPECT_EQ(0u, filter.count({0x0002, 0x0011}) + filter.count({0x0008, 0x0016}));
}

}  // namespace
