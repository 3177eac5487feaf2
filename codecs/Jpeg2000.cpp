#include "codecs/qzmJpeg2000Decoder.h"

#include "lib/qzcError.h"

bool qzmJpeg2000Decoder::Decode(const UBYTE*, ULONG, const qzmPixelLayout&, UBYTE*, qzcString&) const {
  qzcError("bool qzmJpeg2000Decoder::Decode(...) const", "this decoder is not built yet!").Report();
  return false;
}
