// Byte swapping shared by the binary streams.
#ifndef QZC_BYTE_ORDER_H
#define QZC_BYTE_ORDER_H

#include "lib/iobs.h"
#include "lib/qzcTypes.h"

namespace qzcByteOrder {

constexpr bool hostIsLittleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

// True when words on a stream of this policy are stored in the other order
// than the host's.
inline bool NeedsSwap(const iobs& policy) {
  return hostIsLittleEndian ? policy.IsBigEndian() && !policy.IsLittleEndian() : policy.IsLittleEndian();
}

inline UWORD Swapped(UWORD word) {
  return __builtin_bswap16(word);
}
inline SWORD Swapped(SWORD word) {
  return static_cast<SWORD>(__builtin_bswap16(static_cast<UWORD>(word)));
}
inline ULONG Swapped(ULONG word) {
  return __builtin_bswap32(word);
}
inline SLONG Swapped(SLONG word) {
  return static_cast<SLONG>(__builtin_bswap32(static_cast<ULONG>(word)));
}

template <typename Word>
void SwapInPlace(Word* words, ULONG n) {
  for (ULONG i = 0; i < n; ++i) {
    words[i] = Swapped(words[i]);
  }
}

}  // namespace qzcByteOrder

#endif
