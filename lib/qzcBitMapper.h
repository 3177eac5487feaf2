// Walks a buffer of packed samples of w bits each, laid end to end in units
// of type T, least significant bit first. Instantiated for UBYTE, UWORD,
// SBYTE and SWORD.
//
// The signed instances keep an all-ones mask: their Get returns, sign
// extended, every bit from the window's first bit to the top of the unit
// (or of the next unit when the window straddles two), and their callers
// shift and mask the result themselves. Only for w equal to the unit width
// is that exactly the signed sample.
#ifndef QZC_BIT_MAPPER_H
#define QZC_BIT_MAPPER_H

#include "lib/qzcObject.h"
#include "lib/qzcTypes.h"

#include <cstdint>
#include <type_traits>

template <class T>
class qzcBitMapper : public virtual qzcObject {
 public:
  // A window wider than T is reported and narrowed to the width of T.
  qzcBitMapper(const UWORD window, T* base);
  virtual ~qzcBitMapper() {}

  // The current sample.
  T Get() const {
    const Promoted low = static_cast<Promoted>(Promoted(*current) >> offset);
    if (offset <= rest)
      return static_cast<T>(low & Promoted(mask));
    const Promoted high = ShiftLeft(current[1], unitBits - offset);
    return static_cast<T>(low | (high & Promoted(mask)));
  }

  // Stores v, unmasked, as the current sample.
  void Set(const T v) {
    const ULONG keep = ~static_cast<ULONG>(ShiftLeft(mask, offset));
    *current = static_cast<T>((ULONG(Promoted(*current)) & keep) | ULONG(ShiftLeft(v, offset)));
    if (offset > rest) {
      const unsigned spill = unitBits - offset;
      const Promoted spillMask = Promoted(mask) >> spill;
      current[1] = static_cast<T>((Promoted(current[1]) & ~spillMask) | (Promoted(v) >> spill));
    }
  }

  // Steps to the next sample.
  void Advance() {
    if (offset < rest) {
      offset = static_cast<UWORD>(offset + step);
    } else {
      ++current;
      offset = static_cast<UWORD>(offset - rest);
    }
  }

  // Steps over count samples at once.
  void Advance(const ULONG count) {
    const std::uint64_t bits = std::uint64_t(count) * window + offset;
    current += bits / unitBits;
    offset = static_cast<UWORD>(bits % unitBits);
  }

  // Positions the mapper at sample index (from 0) of the buffer.
  void MoveTo(const ULONG index) {
    const std::uint64_t bits = std::uint64_t(index) * window;
    current = base + bits / unitBits;
    offset = static_cast<UWORD>(bits % unitBits);
  }

  // Two mappers are equal when they stand on the same sample position.
  bool operator==(const qzcBitMapper& other) const { return current == other.current && offset == other.offset; }
  bool operator!=(const qzcBitMapper& other) const { return !(*this == other); }

  UWORD GetWindow() const { return window; }
  T* GetCurrent() const { return current; }
  UWORD GetOffset() const { return offset; }

 private:
  // Units are widened to 32 bits before shifting: zero-extended for the
  // unsigned instances, sign-extended for the signed ones.
  typedef typename std::conditional<std::is_signed<T>::value, SLONG, ULONG>::type Promoted;
  static const unsigned unitBits = 8 * sizeof(T);

  // Left shift done on the unsigned bit pattern, so that negative units
  // shift without undefined behaviour.
  static Promoted ShiftLeft(const T unit, const unsigned bits) {
    return static_cast<Promoted>(static_cast<ULONG>(Promoted(unit)) << bits);
  }

  UWORD window;
  T* base;
  UWORD offset;
  UWORD step;
  T* current;
  UWORD rest;
  T mask;
};

#endif
