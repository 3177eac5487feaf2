// Points the error and warning channels at strings while it lives, with limits
// that reports never reach, then puts the previous channels back.
#ifndef MEDCONV_TEST_REPORT_CAPTURE_H
#define MEDCONV_TEST_REPORT_CAPTURE_H

#include "lib/qzcException.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

class ReportCapture {
 public:
  ReportCapture() : errorsWere_(qzcException::errorChannel), warningsWere_(qzcException::warningChannel) {
    qzcException::errorChannel = {{&errors_, true}, 0, 65535};
    qzcException::warningChannel = {{&warnings_, true}, 0, 65535};
  }
  ~ReportCapture() { qzcException::errorChannel = errorsWere_, qzcException::warningChannel = warningsWere_; }
  std::string Errors() const { return errors_.str(); }
  std::string Warnings() const { return warnings_.str(); }
  unsigned ErrorCount() const { return qzcException::errorChannel.count; }
  unsigned WarningCount() const { return qzcException::warningChannel.count; }
  bool None() const { return Errors().empty() && Warnings().empty(); }
  ::testing::AssertionResult Error(const std::string& text) const { return Holds(Errors(), text); }
  ::testing::AssertionResult Warning(const std::string& text) const { return Holds(Warnings(), text); }

 private:
  static ::testing::AssertionResult Holds(const std::string& reports, const std::string& text) {
    if (reports.find(text) != std::string::npos)
      return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "no \"" << text << "\" in:\n" << reports;
  }
  qzcReportChannel errorsWere_, warningsWere_;
  std::ostringstream errors_, warnings_;
};

#endif
