// Header of an uncompressed TARGA image: 18 bytes, 16-bit numbers little
// endian. An optional colour map (blue, green, red per entry) and the pixel
// rows follow it.
#ifndef QZG_TARGA_H
#define QZG_TARGA_H

#include "lib/qzcObject.h"
#include "lib/qzcTypes.h"

class qzgTarga : public virtual qzcObject {
 public:
  enum ImageTypeCode : UBYTE { ColorMapped = 1, TrueColor = 2, Grey = 3 };

  static const ULONG HeaderSize = 18;

  UBYTE IdFieldLength = 0;
  bool HasColorMap = false;
  UBYTE ImageType = 0;
  UWORD ColorMapOrigin = 0;
  UWORD ColorMapLength = 256;
  UBYTE ColorMapEntrySize = 24;  // bits per entry
  UWORD XOrigin = 0;
  UWORD YOrigin = 0;
  UWORD Width = 0;
  UWORD Height = 0;
  UBYTE PixelDepth = 0;  // bits per pixel
  UBYTE AlphaBits = 0;
  bool OriginAtTop = true;
  UBYTE Interleaving = 0;

  std::ostream& Print(std::ostream& os) const override;
  ofbstream& Write(ofbstream& ofs) const override;
  ifbstream& Read(ifbstream& ifs) override;

  // The image descriptor byte: alpha bits, origin at top, interleaving.
  UBYTE Descriptor() const;
};

#endif
