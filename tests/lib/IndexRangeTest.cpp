// Index ranges: the checked operations, iteration, text and binary forms.
#include "lib/ifbstream.h"
#include "lib/ofbstream.h"
#include "lib/qzcIndexRange.h"
#include "ReportCapture.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<int> Indices(const qzcIndexRange& range) {
  std::vector<int> indices;
  for (qzcIndex i = range.First(); i != range.End() && indices.size() < 100;
       i = static_cast<qzcIndex>(i + range.Step())) {
    indices.push_back(i);
  }
  return indices;
}

std::string Printed(const qzcIndexRange& range) {
  std::ostringstream os;
  range.Print(os);
  return os.str();
}

class IndexRangeTest : public testing::Test {
 protected:
  ReportCapture reports_;
};

}  // namespace

TEST_F(IndexRangeTest, IterationStopsBeforePassingLast) {
  EXPECT_EQ(Indices(qzcIndexRange()), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  const struct {
    qzcIndex first, last, step;
    std::vector<int> indices;
  } rows[] = {
      {1, 10, 3, {1, 4, 7, 10}},
      {1, 10, 4, {1, 5, 9}},
      {5, 1, -2, {5, 3, 1}},
      {4, 4, 1, {4}},
      {4, 4, -1, {4}},
      {32760, 32767, 5, {32760, 32765}},
      // last - first beyond 16 bits: the remainder is taken on the true
      // difference, so the end is still the index after the last one.
      {-30000, 30000, 7000, {-30000, -23000, -16000, -9000, -2000, 5000, 12000, 19000, 26000}},
  };
  for (const auto& r : rows) {
    qzcIndexRange range;
    ASSERT_TRUE(range.Set(r.first, r.last, r.step)) << r.first << " " << r.last << " " << r.step;
    EXPECT_EQ(Indices(range), r.indices) << r.first << " " << r.last << " " << r.step;
  }
  EXPECT_EQ(reports_.ErrorCount(), 0u);
}

TEST_F(IndexRangeTest, SetAndConstructionRefuseRangesHeadingAway) {
  qzcIndexRange range(2, 8, 2);
  EXPECT_FALSE(range.Set(1, 5, -1));
  EXPECT_FALSE(range.Set(3, 3, 0));
  EXPECT_FALSE(range.Set(5, 1, 1));
  EXPECT_EQ(Indices(range), (std::vector<int>{2, 4, 6, 8}));
  std::string errors = reports_.Errors();
  EXPECT_NE(errors.find("   bool qzcIndexRange::Set( const qzcIndex, const qzcIndex, const qzcIndex )"),
            std::string::npos);
  EXPECT_NE(errors.find("   wrong parameters! (first: 1, last: 5, step: -1)\n"), std::string::npos);
  EXPECT_NE(errors.find("   wrong parameters! (first: 3, last: 3, step: 0)\n"), std::string::npos);
  EXPECT_EQ(reports_.ErrorCount(), 3u);

  // A refused construction adds its own report after Set's and keeps the
  // default range.
  const qzcIndexRange constructed(3, 1, 1);
  errors = reports_.Errors();
  const std::size_t setReport = errors.find("wrong parameters! (first: 3, last: 1, step: 1)");
  ASSERT_NE(setReport, std::string::npos);
  EXPECT_NE(errors.find("wrong initializers!", setReport), std::string::npos);
  EXPECT_EQ(Indices(constructed), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

TEST_F(IndexRangeTest, SingleFieldChangesAreChecked) {
  qzcIndexRange range(1, 10, 1);
  range.First(11).Last(0).Step(0).Step(-1);
  EXPECT_EQ(range.First(), 1);
  EXPECT_EQ(range.Last(), 10);
  EXPECT_EQ(range.Step(), 1);
  const std::string errors = reports_.Errors();
  EXPECT_NE(errors.find("wrong initializer for first index! (=11)"), std::string::npos);
  EXPECT_NE(errors.find("wrong initializer for last index! (=0)"), std::string::npos);
  EXPECT_NE(errors.find("wrong initializer for step! (=0)"), std::string::npos);
  EXPECT_NE(errors.find("wrong initializer for step! (=-1)"), std::string::npos);
  EXPECT_EQ(reports_.ErrorCount(), 4u);

  range.First(10).Last(12).Step(2);
  EXPECT_EQ(Indices(range), (std::vector<int>{10, 12}));
  EXPECT_EQ(reports_.ErrorCount(), 4u);
}

TEST_F(IndexRangeTest, TextFormShowsTheStepOnlyWhenItIsNotOne) {
  EXPECT_EQ(Printed(qzcIndexRange(1, 10, 1)), "[qzcIndexRange 1...10]");
  EXPECT_EQ(Printed(qzcIndexRange(10, 1, -1)), "[qzcIndexRange 10...1]");
  EXPECT_EQ(Printed(qzcIndexRange(-2, -9, -3)), "[qzcIndexRange -2...-9 by -3]");
}

TEST_F(IndexRangeTest, BinaryFormIsThreeWordsInTheStreamOrder) {
  testsupport::TempDir dir;
  const std::string path = dir.file("range.bin");
  {
    ofbstream ofs(path.c_str());
    qzcIndexRange(1, 10, 3).Write(ofs);
    ofs << big_endian;
    qzcIndexRange(1, 10, 3).Write(ofs);
  }
  EXPECT_EQ(testsupport::ReadBytes(path), (std::vector<unsigned char>{1, 0, 10, 0, 3, 0, 0, 1, 0, 10, 0, 3}));

  ifbstream ifs(path.c_str());
  qzcIndexRange little, big, beyond;
  little.Read(ifs);
  ifs >> big_endian;
  big.Read(ifs);
  EXPECT_EQ(Printed(little), "[qzcIndexRange 1...10 by 3]");
  EXPECT_EQ(Printed(big), "[qzcIndexRange 1...10 by 3]");
  EXPECT_EQ(reports_.ErrorCount(), 0u);
  beyond.Read(ifs);
  EXPECT_NE(reports_.Errors().find("while getting instance from binary file stream!"), std::string::npos);

  // Ranges read are not checked, but a step of 0 never loops forever.
  testsupport::WriteBytes(path, {5, 0, 9, 0, 0, 0});
  ifbstream zero(path.c_str());
  qzcIndexRange range;
  range.Read(zero);
  EXPECT_EQ(range.Step(), 0);
  EXPECT_EQ(range.End(), range.First());
  EXPECT_TRUE(Indices(range).empty());
}
