#include "codecs/qzmJpegBaselineDecoder.h"

#include "lib/qzcError.h"

bool qzmJpegBaselineDecoder::Decode(const UBYTE*, ULONG, const qzmPixelLayout&, UBYTE*, qzcString&) const {
  qzcError("bool qzmJpegBaselineDecoder::Decode(...) const", "this decoder is not built yet!").Report();
  return false;
}
