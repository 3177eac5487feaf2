// Anonymisation, seen through the text dump of the program.
#include "DriverTest.h"

#include <memory>

#include "dicom/qzmDicomDataElementSet.h"
#include "dicom/qzmDicomDataElementTagSet.h"
#include "driver/Anonymize.h"

namespace {

class AnonymizeTest : public MedconvTest {
 protected:
  void SetUp() override {
    MedconvTest::SetUp();
    if (IsSkipped())
      return;
    auto set = PatientSet();
    set.Text(0x0008, 0x0080, "LO", "Synthetic Hospital");
    set.Text(0x0008, 0x0090, "PN", "WELBY^MARCUS");
    set.Text(0x0009, 0x0010, "LO", "PRIVATE CREATOR");
    set.Text(0x0009, 0x1001, "LO", "private payload");
    set.Text(0x0010, 0x0030, "DA", "19600101");
    set.Text(0x0020, 0x0010, "SH", "STUDY7");
    set.Text(0x0020, 0x4000, "LT", "image comment");
    set.Text(0x0032, 0x4000, "LT", "study comment");
    set.Text(0x0038, 0x0008, "CS", "ADMITTED");
    set.Text(0x0038, 0x0010, "LO", "ADM-1");
    set.UnsignedShort(0x5000, 0x0005, 2);
    set.UnsignedShort(0x5FFF, 0x0005, 2);
    set.Words(0x6000, 0x3000, {1, 2, 3, 4});
    set.UnsignedShort(0x60FE, 0x0010, 8);
    set.Words(0x7FE0, 0x0010, {0, 0});
    Write("x.dcm", set);
  }

  // The dump of x.dcm after anonymisation with the arguments given.
  std::string Dump(const std::string& anonymize) {
    const auto run = Medconv(anonymize + " -t1 x.dcm");
    EXPECT_EQ(0, run.status) << run.err;
    return run.out;
  }

  static bool Shows(const std::string& dump, const std::string& tag) { return !DumpLine(dump, tag).empty(); }

  static bool ShowsAnonymized(const std::string& dump, const std::string& tag) {
    return DumpLine(dump, tag).find("[Anonymized]") != std::string::npos;
  }
};

TEST_F(AnonymizeTest, DefaultReplacesNamesAndRemovesEveryGroupOfRmAll) {
  for (const char* anonymize : {"--anon", "--anon=", "--anon=pn_rp:rm_all"}) {
    const std::string dump = Dump(anonymize);
    EXPECT_TRUE(ShowsAnonymized(dump, "(0010,0010)")) << anonymize;
    EXPECT_TRUE(ShowsAnonymized(dump, "(0008,0090)")) << anonymize;
    for (const char* tag :
         {"(0010,0020)", "(0010,0030)", "(0009,0010)", "(0009,1001)", "(0020,0010)", "(0020,4000)", "(0032,4000)",
          "(0038,0008)", "(0038,0010)", "(5000,0005)", "(5FFF,0005)", "(6000,3000)", "(60FE,0010)"})
      EXPECT_FALSE(Shows(dump, tag)) << anonymize << " " << tag;
    for (const char* tag : {"(0008,0060)", "(0008,0080)", "(0028,0010)", "(7FE0,0010)"})
      EXPECT_TRUE(Shows(dump, tag)) << anonymize << " " << tag;
  }
}

TEST_F(AnonymizeTest, EachKeywordTakesItsElements) {
  const struct {
    const char* options;
    std::vector<const char*> gone, kept, anonymized;
  } cases[] = {
      {"",
       {},
       {"(0008,0090)", "(0009,1001)", "(0010,0020)", "(0020,4000)", "(5000,0005)", "(6000,3000)", "(7FE0,0010)"},
       {}},
      {"--anon=pn_rm", {"(0010,0010)", "(0008,0090)"}, {"(0010,0020)"}, {}},
      {"--anon=pn_rp:pn_rm", {}, {}, {"(0010,0010)", "(0008,0090)"}},
      {"--anon=rm_priv", {"(0009,0010)", "(0009,1001)"}, {"(0008,0080)", "(0010,0020)"}, {}},
      {"--anon=rm_ov", {"(6000,3000)", "(60FE,0010)"}, {"(7FE0,0010)", "(5000,0005)"}, {}},
      {"--anon=rm_cu", {"(5000,0005)", "(5FFF,0005)"}, {"(6000,3000)"}, {}},
      {"--anon=rm_co", {"(0020,4000)", "(0032,4000)"}, {"(0020,0010)"}, {}},
      {"--anon=rm_10", {"(0010,0010)", "(0010,0020)", "(0010,0030)"}, {"(0008,0090)"}, {}},
      {"--anon=rm_sel", {"(0020,0010)", "(0038,0008)", "(0038,0010)"}, {"(0020,4000)", "(0010,0010)"}, {}},
      {"'--anon=(0008,0080)'", {"(0008,0080)"}, {"(0008,0090)", "(0010,0010)"}, {}},
      {"'--anon=(0008,0080):pn_rp'", {"(0008,0080)"}, {}, {"(0010,0010)"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    const std::string dump = Dump(c.options);
    for (const char* tag : c.gone)
      EXPECT_FALSE(Shows(dump, tag)) << tag;
    for (const char* tag : c.kept)
      EXPECT_TRUE(Shows(dump, tag)) << tag;
    for (const char* tag : c.anonymized)
      EXPECT_TRUE(ShowsAnonymized(dump, tag)) << tag;
  }
  EXPECT_NE(std::string::npos, DumpLine(Dump(""), "(0010,0010)").find("[DOE^JOHN]"));
}

TEST_F(AnonymizeTest, AnonymizedSetNamesTheOutputs) {
  const auto run = Medconv("--anon --rename=pat_nm:ren_o x.dcm");
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_TRUE(Exists("Anonymized"));
}

}  // namespace

// Sequences: the request reaches every item, however deep.
namespace nested {

typedef qzmDicomDataElementSet Set;
typedef qzmDicomDataElementTag Tag;

// A new item of the sequence tag of parent.
Set& NewItem(Set& parent, const Tag& sequence) {
  auto& items = parent[sequence].SQ();
  items.push_back(std::make_unique<Set>());
  return *items.back();
}

// Names at depths 1, 2 and 3, with private groups, comments and a user tag
// in the items.
Set NestedSet() {
  Set top;
  top[Tag(0x0010, 0x0010)].PN() = "TOP^NAME";
  Set& one = NewItem(top, Tag(0x0008, 0x1140));
  one[Tag(0x0008, 0x0090)].PN() = "DEPTH^ONE";
  one[Tag(0x0009, 0x0010)].LO() = "PRIVATE CREATOR";
  one[Tag(0x0008, 0x1150)].UI() = "1.2.3";
  Set& two = NewItem(one, Tag(0x0040, 0xA730));
  two[Tag(0x0040, 0xA123)].PN() = "DEPTH^TWO";
  two[Tag(0x0020, 0x4000)].LT() = "comment";
  two[Tag(0x0008, 0x0080)].LO() = "Hospital";
  Set& three = NewItem(two, Tag(0x0040, 0xA730));
  three[Tag(0x0040, 0xA075)].PN() = "DEPTH^THREE";
  three[Tag(0x0011, 0x1001)].LO() = "private payload";
  NewItem(three, Tag(0x0029, 0x1010))[Tag(0x0010, 0x0020)].LO() = "in a private sequence";
  return top;
}

const Set& Item(const Set& set, const Tag& sequence, std::size_t n = 0) {
  return *set.find(sequence)->second.SQ().at(n);
}

TEST(AnonymizeNested, NamesPrivateGroupsAndUserTagsGoAtEveryDepth) {
  Set set = NestedSet();
  qzmDicomDataElementTagSet tags;
  UWORD flags = 0;
  qzcString bad;
  ASSERT_TRUE(ParseAnonymizeRequest("pn_rp:rm_priv:rm_co:(0008,0080)", flags, tags, bad));
  anonymize_set(set, flags, tags);
  const Set& one = Item(set, Tag(0x0008, 0x1140));
  const Set& two = Item(one, Tag(0x0040, 0xA730));
  const Set& three = Item(two, Tag(0x0040, 0xA730));
  EXPECT_EQ(set.find(0x0010, 0x0010)->second.PN(), "Anonymized");
  EXPECT_EQ(one.find(0x0008, 0x0090)->second.PN(), "Anonymized");
  EXPECT_EQ(two.find(0x0040, 0xA123)->second.PN(), "Anonymized");
  EXPECT_EQ(three.find(0x0040, 0xA075)->second.PN(), "Anonymized");
  EXPECT_EQ(one.count(Tag(0x0009, 0x0010)), 0u);    // private, depth 1
  EXPECT_EQ(three.count(Tag(0x0011, 0x1001)), 0u);  // private, depth 3
  EXPECT_EQ(three.count(Tag(0x0029, 0x1010)), 0u);  // a private sequence, items and all
  EXPECT_EQ(two.count(Tag(0x0020, 0x4000)), 0u);    // rm_co
  EXPECT_EQ(two.count(Tag(0x0008, 0x0080)), 0u);    // user tag
  EXPECT_EQ(one.find(0x0008, 0x1150)->second.UI(), "1.2.3");

  Set removed = NestedSet();
  ASSERT_TRUE(ParseAnonymizeRequest("pn_rm", flags, tags, bad));
  anonymize_set(removed, flags, tags);
  const Set& removedTwo = Item(Item(removed, Tag(0x0008, 0x1140)), Tag(0x0040, 0xA730));
  EXPECT_EQ(removedTwo.count(Tag(0x0040, 0xA123)), 0u);
  EXPECT_EQ(Item(removedTwo, Tag(0x0040, 0xA730)).count(Tag(0x0040, 0xA075)), 0u);
  EXPECT_EQ(Item(removedTwo, Tag(0x0040, 0xA730)).count(Tag(0x0011, 0x1001)), 1u);  // not asked for
}

}  // namespace nested
