#include "codecs/qzmRleDecoder.h"

#include "lib/qzcError.h"

bool qzmRleDecoder::Decode(const UBYTE*, ULONG, const qzmPixelLayout&, UBYTE*, qzcString&) const {
  qzcError("bool qzmRleDecoder::Decode(...) const", "this decoder is not built yet!").Report();
  return false;
}
