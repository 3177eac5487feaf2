// Reports: their text and binary forms, and the channels that show, count
// and limit them.
#include "lib/qzcError.h"
#include "lib/qzcWarning.h"
#include "ByteFiles.h"

#include <iostream>
#include <regex>
#include <sstream>

namespace {

using Reports = ByteFiles;

std::string Printed(const qzcException& report) {
  std::ostringstream os;
  report.Print(os);
  return os.str();
}

}  // namespace

TEST(ReportPrint, KindTimeSignatureAndMessageLines) {
  EXPECT_TRUE(
      std::regex_match(Printed(qzcError("bool f( int )", "value %d of %s", 7, "x")),
                       std::regex(R"(>> \[E\] \[\d\d:\d\d:\d\d\]\n   bool f\( int \) {63}\n   value 7 of x\n)")));
  // The signature fills 76 columns, cut with dots only beyond them; no
  // message, no message line.
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
  std::ostringstream failed;
  failed.setstate(std::ios::badbit);
  testing::internal::CaptureStderr();
  qzcError("f", "m").Print(failed);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("While sending contents of instance to ostream!"),
            std::string::npos);
}

TEST_F(Reports, BinaryFormIsLengthPrefixedTextsAndTime) {
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

TEST_F(Reports, ChannelsShowAndCountTheirOwnReports) {
  qzcError("e", "one").Report();
  qzcWarning("w", "two").Report();
  qzcWarning("w", "three").Report();
  EXPECT_NE(reports_.Errors().find("   one\n"), std::string::npos);
  EXPECT_EQ(reports_.Errors().find("two"), std::string::npos);
  EXPECT_NE(reports_.Warnings().find("   three\n"), std::string::npos);
  EXPECT_EQ(reports_.ErrorCount(), 1u);
  EXPECT_EQ(reports_.WarningCount(), 2u);

  // Silent channels still count.
  const std::string errors = reports_.Errors(), warnings = reports_.Warnings();
  qzcException::warningChannel.enabled = false;
  qzcWarning("w", "hidden").Report();
  qzcException::errorChannel.stream = nullptr;
  qzcError("e", "nowhere").Report();
  EXPECT_EQ(reports_.Warnings() + reports_.Errors(), warnings + errors);
  EXPECT_EQ(reports_.WarningCount(), 3u);
  EXPECT_EQ(reports_.ErrorCount(), 2u);
}

namespace {

// Reports n errors (or warnings) on a silent channel whose count starts at
// count and whose limit is limit; exits with 0 if the process survives.
void ReportOnSilentChannel(bool errors, UWORD count, UWORD limit, int n) {
  qzcReportChannel& channel = errors ? qzcException::errorChannel : qzcException::warningChannel;
  channel = {{nullptr, true}, count, limit};
  for (int i = 0; i < n; ++i)
    errors ? qzcError("e", "%d", i).Report() : qzcWarning("w", "%d", i).Report();
  std::exit(0);
}

void ReportFirstErrorWithLibraryDefaults() {
  qzcException::errorChannel.stream = &std::cerr;
  qzcException::errorChannel.count = 0;
  qzcError("e", "first").Report();
  std::exit(0);
}

}  // namespace

TEST(ReportChannelsDeathTest, ReachingTheLimitEndsTheProcessWithStatusOne) {
  EXPECT_EXIT(ReportOnSilentChannel(true, 65533, 65535, 2), testing::ExitedWithCode(1), "");
  EXPECT_EXIT(ReportOnSilentChannel(true, 65533, 65535, 1), testing::ExitedWithCode(0), "");
  EXPECT_EXIT(ReportOnSilentChannel(false, 0, 3, 3), testing::ExitedWithCode(1), "");
  EXPECT_EXIT(ReportOnSilentChannel(false, 0, 3, 2), testing::ExitedWithCode(0), "");
  // Until the driver raises it, the error limit is 1; the report is shown
  // before the process ends.
  EXPECT_EXIT(ReportFirstErrorWithLibraryDefaults(), testing::ExitedWithCode(1), "   first");
}
