// Number conversions shared by the frame code.
#ifndef QZM_FRAME_NUMBERS_H
#define QZM_FRAME_NUMBERS_H

#include <cmath>
#include <limits>

// Truncation toward zero after clamping to the target type's range (NaN
// gives 0), so that no conversion from a file's or a user's number leaves
// the range of its type.
template <typename Int>
Int TruncateClamped(double value) {
  if (std::isnan(value))
    return 0;
  const double low = double(std::numeric_limits<Int>::min()), high = double(std::numeric_limits<Int>::max());
  return Int(value < low ? low : value > high ? high : value);
}

#endif
