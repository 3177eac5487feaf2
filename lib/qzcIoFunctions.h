// Small helpers on binary input streams.
#ifndef QZC_IO_FUNCTIONS_H
#define QZC_IO_FUNCTIONS_H

#include <istream>

#include "lib/qzcTypes.h"

class qzcIoFunctions {
 public:
  // True when the length bytes of signature follow the first offset bytes
  // (offset at most 1000). On a match with keep set the stream stays after
  // the signature; otherwise every byte read is put back, so the stream is
  // where it started (a failed put-back sets its bad bit). A stream that
  // reaches its end while looking stays failed.
  static bool HasSignature(std::istream& is, ULONG offset, const char* signature, ULONG length, bool keep);
};

#endif
