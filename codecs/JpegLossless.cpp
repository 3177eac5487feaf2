#include "codecs/qzmJpegLosslessDecoder.h"

#include "lib/qzcError.h"

bool qzmJpegLosslessDecoder::Decode(const UBYTE*, ULONG, const qzmPixelLayout&, UBYTE*, qzcString&) const {
  qzcError("bool qzmJpegLosslessDecoder::Decode(...) const", "this decoder is not built yet!").Report();
  return false;
}
