#include "codecs/qzmJpegExtended12Decoder.h"

#include "lib/qzcError.h"

bool qzmJpegExtended12Decoder::Decode(const UBYTE*, ULONG, const qzmPixelLayout&, UBYTE*, qzcString&) const {
  qzcError("bool qzmJpegExtended12Decoder::Decode(...) const", "this decoder is not built yet!").Report();
  return false;
}
