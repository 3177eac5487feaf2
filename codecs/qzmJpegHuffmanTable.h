// One Huffman table of a JPEG stream, as a table defined it (16 code counts,
// then the symbols in code order), decoded with a lookup of the first bits
// and a search by code length for the rare longer codes.
#ifndef QZM_JPEG_HUFFMAN_TABLE_H
#define QZM_JPEG_HUFFMAN_TABLE_H

#include "codecs/qzmJpegBitReader.h"
#include "lib/qzcTypes.h"

class qzmJpegHuffmanTable {
 public:
  // Builds the codes; false when the counts describe more codes than their
  // lengths can hold or more than 256 symbols.
  bool Build(const UBYTE counts[16], const UBYTE* symbols);
  bool IsDefined() const { return defined_; }

  // The next symbol, or -1 for a code the table does not have. The reader
  // must hold at least 16 bits (Ensure()).
  int Decode(qzmJpegBitReader& reader) const {
    const UWORD entry = fast_[reader.Peek(LookupBits)];
    if (entry != 0) {
      reader.Skip(entry >> 8);
      return entry & 0xFF;
    }
    return DecodeLong(reader);
  }

 private:
  static constexpr int LookupBits = 9;

  int DecodeLong(qzmJpegBitReader& reader) const;

  bool defined_ = false;
  UWORD fast_[1 << LookupBits] = {};  // (code length << 8) | symbol; 0: longer code or none
  int maxCode_[17] = {};              // largest code of each length, -1 when none
  int firstIndex_[17] = {};           // symbol index of a length's codes minus its first code
  UBYTE symbols_[256] = {};
};

#endif
