// The table from transfer syntax UID to pixel decoder: the only place that
// lists the compressed syntaxes and the only place that knows which optional
// libraries this build has.
#ifndef QZM_CODEC_TABLE_H
#define QZM_CODEC_TABLE_H

#include <vector>

#include "codecs/qzmPixelDecoder.h"
#include "lib/qzcString.h"

class qzmCodecTable {
 public:
  struct Entry {
    const char* Syntax;  // transfer syntax UID
    const char* Name;    // its name, for --config
    bool Lossy;          // decoded pixels differ from the original ones
    const qzmPixelDecoder* Decoder;
  };

  // The entry of a compressed syntax this build decodes, null otherwise
  // (native syntaxes included).
  static const Entry* Find(const qzcString& syntax);
  static const qzmPixelDecoder* DecoderFor(const qzcString& syntax) {
    const Entry* entry = Find(syntax);
    return entry ? entry->Decoder : nullptr;
  }
  // Every syntax this build decodes, in the table's order.
  static const std::vector<Entry>& Entries();
  // One line per codec library with its version, for --version.
  static qzcString LibraryVersions();
};

#endif
