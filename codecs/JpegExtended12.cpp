#include "codecs/qzmJpegExtended12Decoder.h"

bool qzmJpegExtended12Decoder::Decode(const UBYTE*, ULONG, const qzmPixelLayout&, UBYTE*, qzcString&) const {
  return false;
}
