// Fixed-size integer types used throughout the program. Binary forms always
// follow a stream's byte order, never the host's.
#ifndef QZC_TYPES_H
#define QZC_TYPES_H

#include <cstdint>

typedef std::uint8_t UBYTE;
typedef std::int8_t SBYTE;
typedef char ABYTE;
typedef std::uint16_t UWORD;
typedef std::int16_t SWORD;
typedef std::uint32_t ULONG;
typedef std::int32_t SLONG;

#endif
