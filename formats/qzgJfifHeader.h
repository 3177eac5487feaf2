// The start of a JPEG/JFIF file: the start-of-image marker and the APP0
// segment that names the JFIF format (20 bytes, numbers big endian); the
// thumbnail pixels are never written.
#ifndef QZG_JFIF_HEADER_H
#define QZG_JFIF_HEADER_H

#include "lib/qzcObject.h"
#include "lib/qzcTypes.h"

class qzgJfifHeader : public virtual qzcObject {
 public:
  // Bytes written by Write.
  static const ULONG Size = 20;

  UWORD Length = 16;
  UBYTE VersionMajor = 1;
  UBYTE VersionMinor = 2;
  UBYTE DensityUnits = 0;
  UWORD XDensity = 1;
  UWORD YDensity = 1;
  UBYTE ThumbnailWidth = 0;
  UBYTE ThumbnailHeight = 0;

  std::ostream& Print(std::ostream& os) const override;
  ofbstream& Write(ofbstream& ofs) const override;
  ifbstream& Read(ifbstream& ifs) override;

  // True when the size bytes at block begin with a JFIF header: FF D8,
  // FF E0, a length of at least 16 and "JFIF" with its NUL. Blocks shorter
  // than the header are not JFIF.
  static bool IsJfif(const UBYTE* block, ULONG size);
  // True when the block begins with the start-of-image marker FF D8.
  static bool StartsWithSoi(const UBYTE* block, ULONG size);
};

#endif
