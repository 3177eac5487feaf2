// Points the error and warning channels at strings for the life of the
// object, with limits high enough that reports never end the test program,
// and puts the previous channels back afterwards.
#ifndef MEDCONV_TEST_REPORT_CAPTURE_H
#define MEDCONV_TEST_REPORT_CAPTURE_H

#include "lib/qzcException.h"

#include <sstream>
#include <string>

class ReportCapture {
 public:
  ReportCapture() : savedErrors_(qzcException::errorChannel), savedWarnings_(qzcException::warningChannel) {
    qzcException::errorChannel = {{&errors_, true}, 0, 65535};
    qzcException::warningChannel = {{&warnings_, true}, 0, 65535};
  }
  ~ReportCapture() {
    qzcException::errorChannel = savedErrors_;
    qzcException::warningChannel = savedWarnings_;
  }
  ReportCapture(const ReportCapture&) = delete;
  ReportCapture& operator=(const ReportCapture&) = delete;

  std::string Errors() const { return errors_.str(); }
  std::string Warnings() const { return warnings_.str(); }
  unsigned ErrorCount() const { return qzcException::errorChannel.count; }
  unsigned WarningCount() const { return qzcException::warningChannel.count; }

 private:
  qzcReportChannel savedErrors_;
  qzcReportChannel savedWarnings_;
  std::ostringstream errors_;
  std::ostringstream warnings_;
};

#endif
