// Header of a Windows bitmap file (file header and 40-byte info header), and
// the pixel rows that follow it: bottom row first, each row padded with zero
// bytes to a multiple of 4. All numbers are little endian on file.
#ifndef QZG_BMP_H
#define QZG_BMP_H

#include "lib/qzcObject.h"
#include "lib/qzcTypes.h"

class qzgBmp : public virtual qzcObject {
 public:
  enum CompressionType : ULONG { RGB = 0, RLE8 = 1, RLE4 = 2 };

  // Bytes of the file header and the info header.
  static const ULONG HeaderSize = 54;
  // Bytes of the 256-entry colour table of 8-bit files.
  static const ULONG ColorTableSize = 1024;

  ULONG OffsetToData = HeaderSize;
  ULONG InfoHeaderLength = 40;
  ULONG Width = 0;
  ULONG Height = 0;
  UWORD BitsPerPixel = 0;
  ULONG Compression = RGB;
  ULONG XResolution = 2834;  // pixels per meter
  ULONG YResolution = 2834;
  ULONG ColorsUsed = 256;
  ULONG ColorsImportant = 256;

  std::ostream& Print(std::ostream& os) const override;
  ofbstream& Write(ofbstream& ofs) const override;
  ifbstream& Read(ifbstream& ifs) override;

  // Rows of the image held top to bottom in pixels (RowLength() x Height
  // bytes), written bottom-up with their padding.
  ofbstream& WriteData(ofbstream& ofs, const UBYTE* pixels) const;
  // The reverse: fills pixels (RowLength() x Height bytes) from the file.
  // Compressed rows and depths that are not whole bytes are refused: the
  // stream fails and pixels are left as they were.
  ifbstream& ReadData(ifbstream& ifs, UBYTE* pixels);

  // "RGB", "RLE8", "RLE4" or "UNKNOWN!".
  const char* CompressionName() const;

  // Bytes of one row of the image, without padding.
  ULONG RowLength() const;
  // Bytes of one row on file: RowLength() rounded up to a multiple of 4.
  ULONG PaddedRowLength() const;
  // Bytes of all rows on file.
  ULONG ImageSize() const;
};

#endif
