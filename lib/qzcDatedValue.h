// A pixel buffer with a modification stamp. A buffer D derived from a source
// S is up to date when D.Date >= S.Date; whoever changes S makes its Date
// greater than that of every buffer derived from it.
#ifndef QZC_DATED_VALUE_H
#define QZC_DATED_VALUE_H

#include "dicom/qzmDicomDataElementValue.h"
#include "lib/qzcTypes.h"

struct qzcDatedValue {
  // OB (bytes) or OW (words) holding the samples; a statistic cache holds a
  // single 32-bit integer or double instead.
  qzmDicomDataElementValue Value;
  // 0 for a new buffer.
  ULONG Date = 0;
};

#endif
