// Report objects, their text and binary forms, and the channels.
#include "lib/ifbstream.h"
#include "lib/ofbstream.h"
#include "lib/qzcError.h"
#include "lib/qzcWarning.h"
#include "ReportCapture.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <iostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    lines.push_back(line);
  }
  return lines;
}

std::string Printed(const qzcException& report) {
  std::ostringstream os;
  report.Print(os);
  return os.str();
}

}  // namespace

TEST(ReportPrint, KindTimeSignatureAndMessageLines) {
  const std::vector<std::string> lines = Lines(Printed(qzcError("bool f( int )", "value %d of %s", 7, "x")));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(>> \[E\] \[\d\d:\d\d:\d\d\])"))) << lines[0];
  EXPECT_EQ(lines[1], "   bool f( int )" + std::string(76 - 13, ' '));
  EXPECT_EQ(lines[2], "   value 7 of x");
  EXPECT_EQ(Lines(Printed(qzcWarning("w", "m")))[0].substr(0, 7), ">> [W] ");

  // No message line when there is no message.
  EXPECT_EQ(Lines(Printed(qzcError("void g()"))).size(), 2u);
  EXPECT_EQ(Lines(Printed(qzcWarning("void g()", "%s", ""))).size(), 2u);

  // The signature is cut only beyond 76 characters.
  const std::string exact(76, 's');
  EXPECT_EQ(Lines(Printed(qzcError(exact.c_str())))[1], "   " + exact);
  const std::string longer = std::string(73, 'a') + "bcde";
  EXPECT_EQ(Lines(Printed(qzcError(longer.c_str())))[1], "   " + std::string(73, 'a') + "...");
}

TEST(ReportPrint, BytesOutsidePrintableAsciiAreEscaped) {
  // A damaged value quoted in a message: control bytes, DEL, high bytes.
  const char raw[] = {'O', 'K', '\n', '\x1b', '[', '\x7f', '\xc3', '\xa9', ' ', '~', 0};
  EXPECT_EQ(qzcError("f", "wrong VR %s!", raw).GetMessage(), "wrong VR OK\\x0A\\x1B[\\x7F\\xC3\\xA9 ~!");
  EXPECT_EQ(Lines(Printed(qzcWarning("f", "%s", "a\tb"))).size(), 3u);
}

TEST(ReportPrint, LongMessageGrowsAndFailedStreamIsEchoedOnStandardError) {
  const std::string longText(5000, 'z');
  EXPECT_EQ(qzcError("f", "<%s>", longText.c_str()).GetMessage(), "<" + longText + ">");

  std::ostringstream os;
  os.setstate(std::ios::badbit);
  testing::internal::CaptureStderr();
  qzcError("f", "m").Print(os);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            ">> Error qzcException::Print( ostream& ) const\n"
            "   While sending contents of instance to ostream!\n");
}

TEST(ReportBinaryForm, LengthPrefixedTextsAndTimeReadBackOrComplain) {
  testsupport::TempDir dir;
  const std::string path = dir.file("report.bin");
  const qzcError written("sig", "msg");
  {
    ofbstream ofs(path.c_str());
    written.Write(ofs);
    ASSERT_TRUE(ofs.good());
  }
  const ULONG time = static_cast<ULONG>(written.GetTime());
  EXPECT_EQ(testsupport::ReadBytes(path),
            (std::vector<unsigned char>{3, 0, 's', 'i', 'g', 3, 0, 'm', 's', 'g', UBYTE(time), UBYTE(time >> 8),
                                        UBYTE(time >> 16), UBYTE(time >> 24)}));
  qzcWarning read;
  ifbstream ifs(path.c_str());
  read.Read(ifs);
  EXPECT_FALSE(ifs.fail());
  EXPECT_EQ(read.GetSignature(), "sig");
  EXPECT_EQ(read.GetMessage(), "msg");
  EXPECT_EQ(read.GetTime(), written.GetTime());

  testsupport::WriteBytes(path, {9, 0, 'x'});
  ifbstream shortInput(path.c_str());
  testing::internal::CaptureStderr();
  read.Read(shortInput);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            ">> Error qzcException::Read( ifbstream& )\n"
            "   While getting instance from ifbstream!\n");
  EXPECT_TRUE(shortInput.fail());
}

TEST(ReportChannels, ReportsGoToTheirOwnChannelsAndAreCountedEvenWhenSilent) {
  ReportCapture capture;
  qzcError("e", "one").Report();
  qzcWarning("w", "two").Report();
  qzcWarning("w", "three").Report();
  EXPECT_NE(capture.Errors().find("   one\n"), std::string::npos);
  EXPECT_EQ(capture.Errors().find("two"), std::string::npos);
  EXPECT_NE(capture.Warnings().find("   three\n"), std::string::npos);
  EXPECT_EQ(capture.ErrorCount(), 1u);
  EXPECT_EQ(capture.WarningCount(), 2u);

  const std::string errors = capture.Errors(), warnings = capture.Warnings();
  qzcException::warningChannel.enabled = false;
  qzcWarning("w", "hidden").Report();
  qzcException::errorChannel.stream = nullptr;
  qzcError("e", "nowhere").Report();
  EXPECT_EQ(capture.Warnings(), warnings);
  EXPECT_EQ(capture.Errors(), errors);
  EXPECT_EQ(capture.WarningCount(), 3u);
  EXPECT_EQ(capture.ErrorCount(), 2u);
}

// Reports n errors (or warnings) on a silent channel whose count starts at
// count and whose limit is limit; exits with 0 if the process survives.
void ReportOnSilentChannel(bool errors, UWORD count, UWORD limit, int n) {
  qzcReportChannel& channel = errors ? qzcException::errorChannel : qzcException::warningChannel;
  channel.stream = nullptr;
  channel.count = count;
  channel.limit = limit;
  for (int i = 0; i < n; ++i) {
    if (errors) {
      qzcError("e", "%d", i).Report();
    } else {
      qzcWarning("w", "%d", i).Report();
    }
  }
  std::exit(0);
}

void ReportFirstErrorWithLibraryDefaults() {
  qzcException::errorChannel = {{&std::cerr, true}, 0, 1};
  qzcError("e", "first").Report();
  std::exit(0);
}

TEST(ReportChannelsDeathTest, ReachingTheLimitEndsTheProcessWithStatusOne) {
  EXPECT_EXIT(ReportOnSilentChannel(true, 65533, 65535, 2), testing::ExitedWithCode(1), "");
  EXPECT_EXIT(ReportOnSilentChannel(true, 65533, 65535, 1), testing::ExitedWithCode(0), "");
  EXPECT_EXIT(ReportOnSilentChannel(false, 0, 3, 3), testing::ExitedWithCode(1), "");
  EXPECT_EXIT(ReportOnSilentChannel(false, 0, 3, 2), testing::ExitedWithCode(0), "");
  // Until the driver raises it, the error limit is 1; the report is shown
  // before the process ends.
  EXPECT_EXIT(ReportFirstErrorWithLibraryDefaults(), testing::ExitedWithCode(1), "   first");
}

TEST(ObjectDefaults, EveryDefaultOperationComplainsAndLeavesTheStreamAlone) {
  qzcObject object;
  std::istringstream in("text");
  testing::internal::CaptureStderr();
  EXPECT_EQ(&object.Parse(in), &in);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            ">> Error istream& qzcObject::Parse( istream& )\n"
            "         sorry, function not implemented!\n");
  EXPECT_TRUE(in.good());

  std::ostringstream out;
  testing::internal::CaptureStderr();
  object.Print(out);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            ">> Error ostream& qzcObject::Print( ostream& ) const\n"
            "         sorry, function not implemented!\n");
  EXPECT_EQ(out.str(), "");

  // The reports do not parse.
  qzcError report("e");
  testing::internal::CaptureStderr();
  report.Parse(in);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("qzcObject::Parse"), std::string::npos);
}
