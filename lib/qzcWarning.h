// Something worked around (a default assumed, a value clamped, an element
// skipped): reported on the warning channel.
#ifndef QZC_WARNING_H
#define QZC_WARNING_H

#include "lib/qzcException.h"

class qzcWarning : public qzcException {
 public:
  qzcWarning() = default;
  explicit qzcWarning(const char* signature) : qzcException(signature) {}
  qzcWarning(const char* signature, const char* format, ...);

  void Report() const override;
  char Kind() const override { return 'W'; }
};

#endif
