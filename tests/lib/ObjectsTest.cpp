// Objects with text and binary forms: reports and the channels that show,
// count and limit them, and index ranges with their checked operations.
#include "lib/qzcError.h"
#include "lib/qzcIndexRange.h"
#include "lib/qzcWarning.h"
#include "ByteFiles.h"

#include <iostream>
#include <regex>
#include <sstream>

namespace {

using Objects = ByteFiles;

std::string Printed(const qzcObject& object) {
  std::ostringstream os;
  object.Print(os);
  return os.str();
}

std::vector<int> Indices(const qzcIndexRange& range) {
  std::vector<int> indices;
  for (qzcIndex i = range.First(); i != range.End() && indices.size() < 100;
       i = static_cast<qzcIndex>(i + range.Step()))
    indices.push_back(i);
  return indices;
}

// Reports n errors (or warnings) on a silent channel whose count starts at
// count and whose limit is limit; exits with 0 if the process survives.
void ReportOnSilentChannel(bool errors, UWORD count, UWORD limit, int n) {
  qzcReportChannel& channel = errors ? qzcException::errorChannel : qzcException::warningChannel;
  channel = {{nullptr, true}, count, limit};
  for (int i = 0; i < n; ++i)
    errors ? qzcError("e", "%d", i).Report() : qzcWarning("w", "%d", i).Report();
  std::exit(0);
}

}  // namespace

// The kind and time, the signature in 76 columns (cut with dots only beyond
// them), then the message, if any.
TEST(Report, TextForm) {
  EXPECT_TRUE(
      std::regex_match(Printed(qzcError("bool f( int )", "value %d of %s", 7, "x")),
                       std::regex(R"(>> \[E\] \[\d\d:\d\d:\d\d\]\n   bool f\( int \) {63}\n   value 7 of x\n)")));
  const std::string exact(76, 's'), longer = std::string(73, 'a') + "bcde";
  const std::string padded = "   void g()" + std::string(68, ' ') + "\n";
  const struct {
    std::string printed, rest;
  } rows[] = {
      {Printed(qzcWarning("void g()", "%s", "")), padded},
      {Printed(qzcError("void g()")), padded},
      {Printed(qzcError(exact.c_str())), "   " + exact + "\n"},
      {Printed(qzcError(longer.c_str())), "   " + std::string(73, 'a') + "...\n"},
  };
  for (const auto& r : rows)
    EXPECT_EQ(r.printed.substr(r.printed.find('\n') + 1), r.rest);
  EXPECT_EQ(rows[0].printed.substr(0, 7), ">> [W] ");
  const std::string longText(5000, 'z');
  EXPECT_EQ(qzcError("f", "<%s>", longText.c_str()).GetMessage(), "<" + longText + ">");
  // A damaged value quoted in a message: control bytes, DEL and high bytes
  // never reach the terminal raw.
  const char raw[] = {'O', 'K', '\n', '\x1b', '[', '\x7f', '\xc3', '\xa9', ' ', '~', 0};
  EXPECT_EQ(qzcError("f", "wrong VR %s!", raw).GetMessage(), "wrong VR OK\\x0A\\x1B[\\x7F\\xC3\\xA9 ~!");
  std::ostringstream failed;  // a failed stream is told on standard error
  failed.setstate(std::ios::badbit);
  testing::internal::CaptureStderr();
  qzcError("f", "m").Print(failed);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("While sending contents"), std::string::npos);
}

TEST_F(Objects, ReportBinaryFormIsLengthPrefixedTextsAndTime) {
  const qzcError written("sig", "msg");
  const Bytes bytes = Written([&](ofbstream& o) { written.Write(o); });
  const ULONG time = static_cast<ULONG>(written.GetTime());
  EXPECT_EQ(bytes, (Bytes{3, 0, 's', 'i', 'g', 3, 0, 'm', 's', 'g', UBYTE(time), UBYTE(time >> 8), UBYTE(time >> 16),
                          UBYTE(time >> 24)}));
  qzcWarning read;
  EXPECT_FALSE(read.Read(Reading(bytes)).fail());
  EXPECT_EQ(read.GetSignature() + read.GetMessage(), "sigmsg");
  EXPECT_EQ(read.GetTime(), written.GetTime());
  testing::internal::CaptureStderr();
  EXPECT_TRUE(read.Read(Reading({9, 0, 'x'})).fail());
  EXPECT_NE(testing::internal::GetCapturedStderr().find("While getting instance from ifbstream!"), std::string::npos);
}

TEST_F(Objects, ReportChannelsShowAndCountTheirOwnReports) {
  qzcError("e", "one").Report();
  qzcWarning("w", "two").Report();
  const std::string errors = reports_.Errors(), warnings = reports_.Warnings();
  EXPECT_TRUE(errors.find("one") != std::string::npos && errors.find("two") == std::string::npos);
  EXPECT_TRUE(warnings.find("two") != std::string::npos && warnings.find("one") == std::string::npos);
  // Silent channels still count.
  qzcException::warningChannel.enabled = false;
  qzcWarning("w", "hidden").Report();
  qzcException::errorChannel.stream = nullptr;
  qzcError("e", "nowhere").Report();
  EXPECT_EQ(reports_.Errors() + reports_.Warnings(), errors + warnings);
  EXPECT_EQ(reports_.ErrorCount(), 2u);
  EXPECT_EQ(reports_.WarningCount(), 2u);
}

TEST(ReportDeathTest, ReachingTheChannelLimitEndsTheProcessWithStatusOne) {
  EXPECT_EXIT(ReportOnSilentChannel(true, 65533, 65535, 2), testing::ExitedWithCode(1), "");
  EXPECT_EXIT(ReportOnSilentChannel(true, 65533, 65535, 1), testing::ExitedWithCode(0), "");
  EXPECT_EXIT(ReportOnSilentChannel(false, 0, 3, 3), testing::ExitedWithCode(1), "");
  EXPECT_EXIT(ReportOnSilentChannel(false, 0, 3, 2), testing::ExitedWithCode(0), "");
  // Until the driver raises it, the error limit is 1; the report is shown
  // before the process ends.
  const auto firstError = [] {
    qzcException::errorChannel.stream = &std::cerr;
    qzcException::errorChannel.count = 0;
    qzcError("e", "first").Report();
    std::exit(0);
  };
  EXPECT_EXIT(firstError(), testing::ExitedWithCode(1), "   first");
}

// Set, the constructor and the single-field changes all refuse a range that
// heads away from its last index, and keep what they had.
TEST_F(Objects, IndexRangesHeadingAwayAreRefused) {
  const struct {
    qzcIndex first, last, step;
    std::vector<int> indices;  // {2, 4, 6, 8}: refused
  } rows[] = {
      {1, 10, 3, {1, 4, 7, 10}},
      {1, 10, 4, {1, 5, 9}},
      {5, 1, -2, {5, 3, 1}},
      {4, 4, 1, {4}},
      {4, 4, -1, {4}},
      {32760, 32767, 5, {32760, 32765}},
      // beyond 16 bits apart: the end is still the index after the last one
      {-30000, 30000, 7000, {-30000, -23000, -16000, -9000, -2000, 5000, 12000, 19000, 26000}},
      {1, 5, -1, {2, 4, 6, 8}},
      {3, 3, 0, {2, 4, 6, 8}},
      {5, 1, 1, {2, 4, 6, 8}},
  };
  for (const auto& r : rows) {
    qzcIndexRange range(2, 8, 2);
    EXPECT_EQ(range.Set(r.first, r.last, r.step), r.indices.front() != 2) << r.first << " " << r.last;
    EXPECT_EQ(Indices(range), r.indices) << r.first << " " << r.last << " " << r.step;
  }
  EXPECT_EQ(reports_.ErrorCount(), 3u);
  EXPECT_EQ(Indices(qzcIndexRange(3, 1, 1)), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ(reports_.ErrorCount(), 5u);

  qzcIndexRange range(1, 10, 1);
  range.First(11).Last(0).Step(0).Step(-1);
  EXPECT_EQ(Printed(range), "[qzcIndexRange 1...10]");
  EXPECT_EQ(reports_.ErrorCount(), 9u);
  range.First(10).Last(12).Step(2);
  EXPECT_EQ(Indices(range), (std::vector<int>{10, 12}));
  range.Last(10).First(10).Step(-1).Last(9).First(11);
  EXPECT_EQ(Indices(range), (std::vector<int>{11, 10, 9}));
  EXPECT_EQ(Printed(range) + Printed(qzcIndexRange(-2, -9, -3)), "[qzcIndexRange 11...9][qzcIndexRange -2...-9 by -3]");
  EXPECT_EQ(reports_.ErrorCount(), 9u);
}

TEST_F(Objects, IndexRangeBinaryFormIsThreeWordsInTheStreamOrder) {
  const Bytes bytes = Written([](ofbstream& o) {
    qzcIndexRange(1, 10, 3).Write(o << big_endian);
    qzcIndexRange(-2, 8, 3).Write(o << little_endian);
  });
  EXPECT_EQ(bytes, (Bytes{0, 1, 0, 10, 0, 3, 0xFE, 0xFF, 8, 0, 3, 0}));
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
  EXPECT_TRUE(Indices(range).empty());
}
