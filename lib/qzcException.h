// A report: who reports (the operation's full declaration text), what (a
// formatted message) and when. Reports are not thrown: they are built,
// handed to their channel with Report() and destroyed in one statement.
#ifndef QZC_EXCEPTION_H
#define QZC_EXCEPTION_H

#include "lib/qzcObject.h"
#include "lib/qzcString.h"
#include "lib/qzcTypes.h"

#include <cstdarg>
#include <ostream>

// Where a kind of output goes, and whether it is shown at all.
struct qzcChannel {
  std::ostream* stream;
  bool enabled;

  // The stream to write to, or null when the channel is off.
  std::ostream* Active() const { return enabled ? stream : nullptr; }
};

// A channel that counts its reports; reaching the limit ends the process
// with status 1.
struct qzcReportChannel : qzcChannel {
  UWORD count;
  UWORD limit;
};

class qzcException : public virtual qzcObject {
 public:
  // Width of the column that shows the signature.
  static constexpr unsigned SignatureWidth = 76;

  // The channels: errors (standard error, limit 1 until the driver raises
  // it), warnings (standard output, limit 65535), the driver's progress and
  // query output (standard output), and data meant for standard output (the
  // text dump, images written there). Each thread has its own set, so that
  // a worker thread can gather the output of one file apart from the
  // others'; a new thread starts with the initial values above.
  static thread_local qzcReportChannel errorChannel;
  static thread_local qzcReportChannel warningChannel;
  static thread_local qzcChannel messageChannel;
  static thread_local qzcChannel dataChannel;
  // The single lines a few low-level routines write instead of reports
  // (standard error).
  static thread_local qzcChannel diagnosticChannel;

  qzcException();
  explicit qzcException(const char* signature);
  qzcException(const qzcException& other);
  qzcException& operator=(const qzcException& other);

  // Prints the report on its channel (when enabled), counts it, and ends
  // the process when the channel's count reaches its limit.
  virtual void Report() const = 0;
  // 'E' or 'W'.
  virtual char Kind() const = 0;

  std::ostream& Print(std::ostream& os) const override;
  ofbstream& Write(ofbstream& ofs) const override;
  ifbstream& Read(ifbstream& ifs) override;

  const qzcString& GetSignature() const { return signature_; }
  const qzcString& GetMessage() const { return message_; }
  SLONG GetTime() const { return time_; }

 protected:
  // The message, formatted by printf rules; it grows to any length. Bytes
  // outside printable ASCII are shown as \xNN.
  void FormatMessage(const char* format, va_list arguments);
  // Shows (when enabled) and counts this report on the channel.
  void ReportOn(qzcReportChannel& channel) const;

 private:
  qzcString signature_;
  qzcString message_;
  SLONG time_;
};

#endif
