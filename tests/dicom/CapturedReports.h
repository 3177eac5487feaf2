// Collects the error and warning reports while it lives (the error limit raised so that a test goes on).
#ifndef MEDCONV_TESTS_DICOM_CAPTURED_REPORTS_H
#define MEDCONV_TESTS_DICOM_CAPTURED_REPORTS_H

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "lib/qzcException.h"

class CapturedReports {
 public:
  CapturedReports() : saved_{qzcException::errorChannel, qzcException::warningChannel} {
    for (int n = 0; n < 2; ++n)
      Channel(n).stream = &stream_[n], Channel(n).enabled = true, Channel(n).count = 0, Channel(n).limit = 65535;
  }
  ~CapturedReports() {
    for (int n = 0; n < 2; ++n)
      Channel(n) = saved_[n];
  }
  std::string Errors() const { return stream_[0].str(); }
  std::string Warnings() const { return stream_[1].str(); }
  bool None() const { return Errors().empty() && Warnings().empty(); }
  ::testing::AssertionResult Error(const std::string& text) const { return Holds(Errors(), text); }
  ::testing::AssertionResult Warning(const std::string& text) const { return Holds(Warnings(), text); }

 private:
  static qzcReportChannel& Channel(int n) { return n ? qzcException::warningChannel : qzcException::errorChannel; }
  static ::testing::AssertionResult Holds(const std::string& reports, const std::string& text) {
    if (reports.find(text) != std::string::npos)
      return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "no \"" << text << "\" in:\n" << reports;
  }
  qzcReportChannel saved_[2];
  std::ostringstream stream_[2];
};

#endif
