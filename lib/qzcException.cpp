#include "lib/qzcException.h"

#include "lib/ifbstream.h"
#include "lib/ofbstream.h"
#include "lib/qzcError.h"
#include "lib/qzcWarning.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <vector>

thread_local qzcReportChannel qzcException::errorChannel = {{&std::cerr, true}, 0, 1};
thread_local qzcReportChannel qzcException::warningChannel = {{&std::cout, true}, 0, 65535};
thread_local qzcChannel qzcException::messageChannel = {&std::cout, true};
thread_local qzcChannel qzcException::dataChannel = {&std::cout, true};
thread_local qzcChannel qzcException::diagnosticChannel = {&std::cerr, true};

namespace {

SLONG Now() {
  return static_cast<SLONG>(std::time(nullptr));
}

// HH:MM:SS of the local time of day.
std::string TimeOfDay(SLONG seconds) {
  const std::time_t when = seconds;
  std::tm local{};
  char text[16] = "??:??:??";
  if (localtime_r(&when, &local) != nullptr) {
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
  }
  return text;
}

void ComplainOnStandardError(const char* signature, const char* what) {
  *qzcException::diagnosticChannel.stream << ">> Error " << signature << std::endl;
  *qzcException::diagnosticChannel.stream << "   " << what << std::endl;
}


}  // namespace

qzcException::qzcException() : time_(Now()) {}

qzcException::qzcException(const char* signature) : signature_(signature), time_(Now()) {}

qzcException::qzcException(const qzcException& other)
    : qzcObject(other), signature_(other.signature_), message_(other.message_), time_(Now()) {}

qzcException& qzcException::operator=(const qzcException& other) {
  signature_ = other.signature_;
  message_ = other.message_;
  time_ = other.time_;
  return *this;
}

void qzcException::FormatMessage(const char* format, va_list arguments) {
  // Measure first, so that a long message grows instead of being cut.
  va_list measuring;
  va_copy(measuring, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, measuring);
  va_end(measuring);
  if (length <= 0) {
    message_.clear();
    return;
  }
  std::vector<char> text(static_cast<std::size_t>(length) + 1);
  std::vsnprintf(text.data(), text.size(), format, arguments);
  message_ = qzcString(text.data(), static_cast<std::size_t>(length)).Escaped(false);
}

void qzcException::ReportOn(qzcReportChannel& channel) const {
  if (std::ostream* os = channel.Active()) {
    Print(*os);
  }
  ++channel.count;
  if (channel.count >= channel.limit) {
    std::exit(1);
  }
}

std::ostream& qzcException::Print(std::ostream& os) const {
  os << ">> [" << Kind() << "] [" << TimeOfDay(time_) << "]" << std::endl;
  os << "   " << signature_.Justified(SignatureWidth, qzcString::Left, ' ') << std::endl;
  if (!message_.empty()) {
    os << "   " << message_ << std::endl;
  }
  if (os.fail()) {
    ComplainOnStandardError("qzcException::Print( ostream& ) const", "While sending contents of instance to ostream!");
  }
  return os;
}

ofbstream& qzcException::Write(ofbstream& ofs) const {
  ofs << signature_ << message_ << time_;
  if (ofs.fail()) {
    ComplainOnStandardError("qzcException::Write( ofbstream& ) const",
                            "While sending contents of instance to ofbstream!");
  }
  return ofs;
}

ifbstream& qzcException::Read(ifbstream& ifs) {
  ifs >> signature_ >> message_ >> time_;
  if (ifs.fail()) {
    ComplainOnStandardError("qzcException::Read( ifbstream& )", "While getting instance from ifbstream!");
  }
  return ifs;
}

qzcError::qzcError(const char* signature, const char* format, ...) : qzcException(signature) {
  va_list arguments;
  va_start(arguments, format);
  FormatMessage(format, arguments);
  va_end(arguments);
}

void qzcError::Report() const {
  ReportOn(errorChannel);
}

qzcWarning::qzcWarning(const char* signature, const char* format, ...) : qzcException(signature) {
  va_list arguments;
  va_start(arguments, format);
  FormatMessage(format, arguments);
  va_end(arguments);
}

void qzcWarning::Report() const {
  ReportOn(warningChannel);
}
