// Construction of the bit mappers and their four instances.
#include "lib/qzcBitMapper.h"

#include "lib/qzcError.h"

template <class T>
qzcBitMapper<T>::qzcBitMapper(const UWORD requestedWindow, T* buffer)
    : window(requestedWindow), base(buffer), offset(0), step(requestedWindow), current(buffer), rest(0), mask(0) {
  if (window > unitBits) {
    qzcError("qzcBitMapper<T>::qzcBitMapper( const UWORD, T* )",
             "size of bit window %u can not be > than size of data %u! Assuming equality.", unsigned(window), unitBits)
        .Report();
    window = unitBits;
    step = unitBits;
  }
  rest = static_cast<UWORD>(unitBits - window);
  // In T's own arithmetic: the signed instances shift in the sign bit and
  // so keep every bit set.
  mask = static_cast<T>(static_cast<T>(~T(0)) >> rest);
}

template class qzcBitMapper<UBYTE>;
template class qzcBitMapper<UWORD>;
template class qzcBitMapper<SBYTE>;
template class qzcBitMapper<SWORD>;
