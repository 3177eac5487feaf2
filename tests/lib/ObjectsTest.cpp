// Reports and the channels that show, count and limit them; index ranges.
#include "lib/qzcError.h"
#include "lib/qzcIndexRange.h"
#include "lib/qzcWarning.h"
#include "ReportCapture.h"

#include <gtest/gtest.h>

#include <iostream>
#include <regex>

namespace {

std::string Printed(const qzcObject& object) {
  std::ostringstream os;
  object.Print(os);
  return os.str();
}

// n reports on a silent channel of that count and limit; exits with 0 if the process survives.
void ReportOnSilentChannel(bool errors, UWORD count, UWORD limit, int n) {
  (errors ? qzcException::errorChannel : qzcException::warningChannel) = {{nullptr, true}, count, limit};
  for (int i = 0; i < n; ++i)
    errors ? qzcError("e", "%d", i).Report() : qzcWarning("w", "%d", i).Report();
  std::exit(0);
}

}  // namespace

// Kind and time, the signature in 76 columns (cut with dots only beyond them),
// the message if any: whole, with bytes outside printable ASCII escaped.
TEST(Report, TextForm) {
  EXPECT_TRUE(
      std::regex_match(Printed(qzcError("bool f( int )", "value %d of %s", 7, "x")),
                       std::regex(R"(>> \[E\] \[\d\d:\d\d:\d\d\]\n   bool f\( int \) {63}\n   value 7 of x\n)")));
  const std::string exact(76, 's'), longText(5000, 'z');
  const auto body = [](const qzcException& e) { return Printed(e).substr(18); };
  EXPECT_EQ(Printed(qzcWarning("void g()", "%s", "")).substr(0, 7) + body(qzcWarning("void g()", "%s", "")) +
                body(qzcError(exact.c_str())) + body(qzcError((exact + "abcd").c_str())),
            ">> [W]    void g()" + std::string(68, ' ') + "\n   " + exact + "\n   " + std::string(73, 's') + "...\n");
  EXPECT_EQ(qzcError("f", "<%s>", longText.c_str()).GetMessage(), "<" + longText + ">");
  const char raw[] = {'O', 'K', '\n', '\x1b', '[', '\x7f', '\xc3', '\xa9', ' ', '~', 0};
  EXPECT_EQ(qzcError("f", "wrong VR %s!", raw).GetMessage(), "wrong VR OK\\x0A\\x1B[\\x7F\\xC3\\xA9 ~!");
  std::ostringstream failed;  // a failed stream is told on standard error
  failed.setstate(std::ios::badbit);
  testing::internal::CaptureStderr();
  qzcError("f", "m").Print(failed);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("While sending contents"), std::string::npos);
}

TEST(Objects, ReportChannelsShowAndCountTheirOwnReports) {
  ReportCapture reports;
  qzcError("e", "one").Report();
  qzcWarning("w", "two").Report();
  qzcException::warningChannel.enabled = false;  // silent channels still count
  qzcWarning("w", "hidden").Report();
  EXPECT_EQ(std::regex_replace(reports.Errors() + "/" + reports.Warnings(), std::regex(R"(\[..:..:..\]| +(?=\n))"), ""),
            ">> [E] \n   e\n   one\n/>> [W] \n   w\n   two\n");
  EXPECT_EQ(reports.ErrorCount() + 10 * reports.WarningCount(), 21u);
}

// Until the driver raises it, the error limit is 1; the report is shown first.
TEST(ReportDeathTest, ReachingTheChannelLimitEndsTheProcessWithStatusOne) {
  EXPECT_EXIT(ReportOnSilentChannel(true, 65533, 65535, 2), testing::ExitedWithCode(1), "");
  EXPECT_EXIT(ReportOnSilentChannel(true, 65533, 65535, 1), testing::ExitedWithCode(0), "");
  EXPECT_EXIT(ReportOnSilentChannel(false, 0, 3, 3), testing::ExitedWithCode(1), "");
  const auto firstError = [] {
    qzcException::errorChannel.stream = &std::cerr, qzcException::errorChannel.count = 0;
    qzcError("e", "first").Report();
    std::exit(0);
  };
  EXPECT_EXIT(firstError(), testing::ExitedWithCode(1), "   first");
}

// Set, the constructor and the single-field changes refuse a range heading
// away from its last index (rows with nothing after ";"), keeping what they
// had. Iteration runs while the index differs from End(), also over ranges
// wider than 16 bits.
TEST(Objects, IndexRangesHeadingAwayAreRefused) {
  ReportCapture reports;
  const auto shown = [](const qzcIndexRange& range) {
    std::string text = Printed(range).substr(15);
    for (qzcIndex i = range.First(); i != range.End() && text.size() < 99; i = qzcIndex(i + range.Step()))
      text += " " + std::to_string(i);
    return text;
  };
  std::istringstream rows(
      "1 10 3;1...10 by 3] 1 4 7 10|5 1 -2;5...1 by -2] 5 3 1|4 4 -1;4...4] 4|1 5 -1;|3 3 0;|5 1 1;|"
      "32760 32767 5;32760...32767 by 5] 32760 32765|-30000 30000 25000;-30000...30000 by 25000] -30000 -5000 20000");
  for (std::string row; std::getline(rows, row, '|');) {
    std::istringstream numbers(row);
    qzcIndex first, last, step;
    numbers >> first >> last >> step;
    qzcIndexRange range(2, 8, 2);
    const std::string want = row.substr(row.find(';') + 1);
    EXPECT_EQ(range.Set(first, last, step), !want.empty());
    EXPECT_EQ(shown(range), want.empty() ? "2...8 by 2] 2 4 6 8" : want);
  }
  EXPECT_EQ(shown(qzcIndexRange(3, 1, 1)), "0...10] 0 1 2 3 4 5 6 7 8 9 10");
  qzcIndexRange range(1, 10, 1);
  EXPECT_EQ(shown(range.First(11).Last(0).Step(0).Step(-1)), "1...10] 1 2 3 4 5 6 7 8 9 10");
  EXPECT_EQ(shown(range.Last(10).First(10).Step(-1).Last(9).First(11)), "11...9] 11 10 9");
  std::ostringstream failed;
  failed.setstate(std::ios::badbit);
  range.Print(failed);
  EXPECT_EQ(reports.ErrorCount(), 10u);
}
