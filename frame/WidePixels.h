// The pixel work on samples of more than 16 bits (32-bit integers, 32- and
// 64-bit floating-point numbers) that the frame's resampling, statistics and
// raw organisation hand over when a frame's samples are wide.
#ifndef QZM_WIDE_PIXELS_H
#define QZM_WIDE_PIXELS_H

#include "frame/qzmMedicalFrame.h"

namespace widepixels {

// The 8- or 16-bit image of a frame of wide samples, count pixels long:
// the window in output units (after rescale), or the method; NaN and
// infinite samples give 0 and are counted in one warning.
void Resample(qzmMedicalFrame& frame, UBYTE* out, bool window, qzmMedicalFrame::ReSamplingMethod method,
              const char* signature);
void Resample(qzmMedicalFrame& frame, UWORD* out, bool window, qzmMedicalFrame::ReSamplingMethod method,
              const char* signature);

// The colour triplets of a frame of wide samples: each integer's stored
// value moved to the output's width (floating-point samples clamped to it),
// in R G B order or, reversed, B G R.
void ToTriplets(qzmMedicalFrame& frame, UBYTE* out, bool reversed);
void ToTriplets(qzmMedicalFrame& frame, UWORD* out, bool reversed);

// Maximum, minimum and mean of the numbers, padding and non-finite samples
// skipped (they count in the mean's divisor), into the frame's caches as
// doubles.
void ScanStatistics(qzmMedicalFrame& frame);

// The samples as whole units for the RAW writer: integers as their stored
// values (padding replaced), floating-point numbers as they are; OB of
// host-order units.
bool OrganizeToRaw(qzmMedicalFrame& frame, qzcDatedValue& out);

}  // namespace widepixels

#endif
