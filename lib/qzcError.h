// A refusal: reported on the error channel.
#ifndef QZC_ERROR_H
#define QZC_ERROR_H

#include "lib/qzcException.h"

class qzcError : public qzcException {
 public:
  qzcError() = default;
  explicit qzcError(const char* signature) : qzcException(signature) {}
  qzcError(const char* signature, const char* format, ...);

  void Report() const override;
  char Kind() const override { return 'E'; }
};

#endif
