// The body of a set stored in Deflated Explicit VR Little Endian: everything
// after the File Meta group is one raw deflate stream. It is inflated into a
// temporary file, which the set's large values then point into as they would
// into an ordinary input file. A thread keeps its few most recent temporary
// files, and removes them when it ends.
#ifndef QZM_DEFLATED_BODY_H
#define QZM_DEFLATED_BODY_H

#include "lib/qzcTypes.h"

class ifbstream;

class qzmDeflatedBody {
 public:
  static const char* const SyntaxUID;  // "1.2.840.10008.1.2.1.99"

  // Inflation stops with an error past the larger of these two sizes: no real
  // set inflates beyond them, a crafted stream (up to 1032 times its size)
  // would otherwise fill the disk.
  static constexpr unsigned long long MinimumCap = 64ull << 20;
  static constexpr unsigned long long RatioCap = 200;

  // Inflates the rest of compressed, from its read position, and opens
  // inflated on the result with the same policy word, in explicit VR little
  // endian. False after an error
  // report when the stream is damaged or inflates beyond the cap.
  static bool Open(ifbstream& compressed, ifbstream& inflated);
};

#endif
