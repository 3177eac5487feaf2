#include "codecs/qzmJpegLsDecoder.h"

#include "lib/qzcError.h"

bool qzmJpegLsDecoder::Decode(const UBYTE*, ULONG, const qzmPixelLayout&, UBYTE*, qzcString&) const {
  qzcError("bool qzmJpegLsDecoder::Decode(...) const", "this decoder is not built yet!").Report();
  return false;
}
