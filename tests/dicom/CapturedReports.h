// Collects the reports of the error and warning channels for the lifetime of
// the object, with the error limit raised so that a test goes on after the
// reports it provokes; both channels are put back afterwards.
#ifndef MEDCONV_TESTS_DICOM_CAPTURED_REPORTS_H
#define MEDCONV_TESTS_DICOM_CAPTURED_REPORTS_H

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "lib/qzcException.h"

class CapturedReports {
 public:
  CapturedReports() : savedErrors_(qzcException::errorChannel), savedWarnings_(qzcException::warningChannel) {
    for (auto channel : {std::make_pair(&qzcException::errorChannel, &errors_),
                         std::make_pair(&qzcException::warningChannel, &warnings_)}) {
      channel.first->stream = channel.second;
      channel.first->enabled = true;
      channel.first->count = 0;
      channel.first->limit = 65535;
    }
  }
  ~CapturedReports() {
    qzcException::errorChannel = savedErrors_;
    qzcException::warningChannel = savedWarnings_;
  }
  std::string Errors() const { return errors_.str(); }
  std::string Warnings() const { return warnings_.str(); }
  bool None() const { return errors_.str().empty() && warnings_.str().empty(); }
  // Whether a report holds the text; a failure shows what was reported.
  ::testing::AssertionResult Error(const std::string& text) const { return Holds(Errors(), text); }
  ::testing::AssertionResult Warning(const std::string& text) const { return Holds(Warnings(), text); }

 private:
  static ::testing::AssertionResult Holds(const std::string& reports, const std::string& text) {
    return reports.find(text) != std::string::npos ? ::testing::AssertionSuccess()
                                                   : ::testing::AssertionFailure() << "no \"" << text << "\" in:\n"
                                                                                   << reports;
  }
  qzcReportChannel savedErrors_, savedWarnings_;
  std::ostringstream errors_, warnings_;
};

#endif
