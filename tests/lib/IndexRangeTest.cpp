// Index ranges: the checked operations, iteration, text and binary forms.
#include "lib/qzcIndexRange.h"
#include "ByteFiles.h"

#include <sstream>

namespace {

using IndexRange = ByteFiles;

std::vector<int> Indices(const qzcIndexRange& range) {
  std::vector<int> indices;
  for (qzcIndex i = range.First(); i != range.End() && indices.size() < 100;
       i = static_cast<qzcIndex>(i + range.Step()))
    indices.push_back(i);
  return indices;
}

std::string Printed(const qzcIndexRange& range) {
  std::ostringstream os;
  range.Print(os);
  return os.str();
}

}  // namespace

// Set, the constructor and the single-field changes all refuse a range that
// heads away from its last index, and keep what they had.
TEST_F(IndexRange, RangesHeadingAwayAreRefused) {
  const struct {
    qzcIndex first, last, step;
    bool accepted;
    std::vector<int> indices;
  } rows[] = {
      {1, 10, 3, true, {1, 4, 7, 10}},
      {1, 10, 4, true, {1, 5, 9}},
      {5, 1, -2, true, {5, 3, 1}},
      {4, 4, 1, true, {4}},
      {4, 4, -1, true, {4}},
      {32760, 32767, 5, true, {32760, 32765}},
      // beyond 16 bits apart: the end is still the index after the last one
      {-30000, 30000, 7000, true, {-30000, -23000, -16000, -9000, -2000, 5000, 12000, 19000, 26000}},
      {1, 5, -1, false, {2, 4, 6, 8}},
      {3, 3, 0, false, {2, 4, 6, 8}},
      {5, 1, 1, false, {2, 4, 6, 8}},
  };
  for (const auto& r : rows) {
    qzcIndexRange range(2, 8, 2);
    EXPECT_EQ(range.Set(r.first, r.last, r.step), r.accepted) << r.first << " " << r.last << " " << r.step;
    EXPECT_EQ(Indices(range), r.indices) << r.first << " " << r.last << " " << r.step;
  }
  EXPECT_EQ(reports_.ErrorCount(), 3u);
  EXPECT_NE(reports_.Errors().find("wrong parameters! (first: 1, last: 5, step: -1)"), std::string::npos);

  EXPECT_EQ(Indices(qzcIndexRange(3, 1, 1)), Indices(qzcIndexRange()));
  EXPECT_EQ(Indices(qzcIndexRange()), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_NE(reports_.Errors().find("wrong initializers!"), std::string::npos);
  EXPECT_EQ(reports_.ErrorCount(), 5u);

  qzcIndexRange range(1, 10, 1);
  range.First(11).Last(0).Step(0).Step(-1);
  EXPECT_EQ(Printed(range), "[qzcIndexRange 1...10]");
  EXPECT_EQ(reports_.ErrorCount(), 9u);
  range.First(10).Last(12).Step(2);
  EXPECT_EQ(Indices(range), (std::vector<int>{10, 12}));
  range.Last(10).First(10).Step(-1).Last(9).First(11);
  EXPECT_EQ(Indices(range), (std::vector<int>{11, 10, 9}));
  EXPECT_EQ(reports_.ErrorCount(), 9u);
}

TEST_F(IndexRange, TextFormShowsTheStepOnlyWhenItIsNotOne) {
  EXPECT_EQ(Printed(qzcIndexRange(10, 1, -1)), "[qzcIndexRange 10...1]");
  EXPECT_EQ(Printed(qzcIndexRange(-2, -9, -3)), "[qzcIndexRange -2...-9 by -3]");
}

TEST_F(IndexRange, BinaryFormIsThreeWordsInTheStreamOrder) {
  const Bytes bytes = Written([](ofbstream& o) {
    qzcIndexRange(1, 10, 3).Write(o << big_endian);
    qzcIndexRange(-2, 8, 3).Write(o << little_endian);
  });
  EXPECT_EQ(bytes, (Bytes{0, 1, 0, 10, 0, 3, 0xFE, 0xFF, 8, 0, 3, 0}));
  EXPECT_TRUE(writtenOk_);

  ifbstream& in = Reading(bytes);
  qzcIndexRange big, little, beyond;
  big.Read(in >> big_endian);
  little.Read(in >> little_endian);
  EXPECT_EQ(Printed(big) + Printed(little), "[qzcIndexRange 1...10 by 3][qzcIndexRange -2...8 by 3]");
  EXPECT_EQ(reports_.ErrorCount(), 0u);
  beyond.Read(in);
  EXPECT_EQ(reports_.ErrorCount(), 1u);

  // Ranges read are not checked, but a step of 0 never loops forever.
  qzcIndexRange range;
  range.Read(Reading({5, 0, 9, 0, 0, 0}));
  EXPECT_EQ(range.End(), 5);
  EXPECT_TRUE(Indices(range).empty());
}
