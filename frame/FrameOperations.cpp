// Frame operations on the prepared pixels: accumulation across frames,
// masking, cropping, halving, flips (all in place, each advancing the stamp
// of Pixels so that derived images are recomputed) and the statistics, which
// are cached by stamp.
#include "frame/qzmMedicalFrame.h"

#include "frame/WidePixels.h"
#include "frame/qzmPixelSamples.h"
#include "frame/qzmWideSamples.h"
#include "lib/qzcError.h"
#include "lib/qzcWarning.h"

#include <algorithm>
#include <cmath>

namespace {

typedef qzmDicomDataElementDescription VRs;

const char* const AccumulateSignature = "bool qzmMedicalFrame::Accumulate(const qzmMedicalFrame&, const qzcString&)";
const char* const MaskSignature = "bool qzmMedicalFrame::Mask(const qzmMedicalFrame&, const qzcString&)";
const char* const CropSignature = "bool qzmMedicalFrame::Crop( const UWORD, const UWORD, const UWORD, const UWORD )";
const char* const HalveSignature = "bool qzmMedicalFrame::Halve()";

qzmPixelSamples SamplesOf(qzmMedicalFrame& frame) {
  return qzmPixelSamples::Of(frame.Pixels.Value, frame.Structure.Sample.BitsAllocated);
}

// Runs work on the frame's samples through the view that serves their width.
template <typename Work>
void WithSamples(qzmMedicalFrame& frame, Work work) {
  if (frame.Structure.Sample.IsWide()) {
    qzmWideSamples samples = qzmWideSamples::Of(frame);
    work(samples);
  } else {
    qzmPixelSamples samples = SamplesOf(frame);
    work(samples);
  }
}

// Prepares the frame's pixels; false, with the warning, when they cannot be
// had or do not hold every sample of the frame.
bool PixelsUsable(qzmMedicalFrame& frame, const char* signature) {
  if (frame.ArePixelsReady() &&
      (frame.Structure.Sample.IsWide() ? qzmWideSamples::Of(frame).Capacity() : SamplesOf(frame).Capacity()) >=
          frame.Structure.NumberOfSamples)
    return true;
  qzcWarning(signature, "pixels format is not supported.").Report();
  return false;
}

// The stored value of a sample word.
UWORD Stored(const struct qzmMedicalFrame::Structure::Sample& sample, UWORD word) {
  return UWORD((word >> sample.LowBit) & sample.StoredMask);
}

// Cuts Pixels to the units that samples of the frame's width need.
void CutPixels(qzmMedicalFrame& frame, ULONG samples) {
  const unsigned long long bits = (unsigned long long)(samples)*frame.Structure.Sample.BitsAllocated;
  if (frame.Pixels.Value.GetVR() == VRs::OW)
    frame.Pixels.Value.OW().SetSize(ULONG((bits + 15) / 16));
  else
    frame.Pixels.Value.OB().SetSize(ULONG((bits + 7) / 8));
}

void SetGeometry(qzmMedicalFrame& frame, UWORD rows, UWORD columns) {
  struct qzmMedicalFrame::Structure& structure = frame.Structure;
  structure.Rows = rows;
  structure.Columns = columns;
  structure.NumberOfPixels = ULONG(rows) * columns;
  structure.NumberOfSamples = structure.NumberOfPixels * structure.SamplesPerPixel;
}

bool SameStructure(const qzmMedicalFrame& a, const qzmMedicalFrame& b) {
  const struct qzmMedicalFrame::Structure &x = a.Structure, &y = b.Structure;
  return a.Pixels.Value.GetVR() == b.Pixels.Value.GetVR() && x.Rows == y.Rows && x.Columns == y.Columns &&
         x.PhotometricInterpretation == y.PhotometricInterpretation &&
         x.Sample.PixelRepresentation == y.Sample.PixelRepresentation &&
         x.Sample.BitsAllocated == y.Sample.BitsAllocated && x.Sample.BitsStored == y.Sample.BitsStored &&
         x.Sample.HighBit == y.Sample.HighBit && x.Sample.FloatingPoint == y.Sample.FloatingPoint;
}

// Every buffer but Pixels is dropped: a copied frame shares the memory of
// its original's buffers, which the original may release.
void KeepOnlyPixels(qzmMedicalFrame& frame) {
  for (qzcDatedValue* buffer :
       {&frame.SourcePixels, &frame.Resampled8, &frame.Resampled16, &frame.ResampledBGR24, &frame.ResampledRGB24,
        &frame.ResampledRGB48, &frame.OrganizedRaw, &frame.Inverted8, &frame.Inverted16, &frame.Fragments,
        &frame.MaxCache, &frame.MinCache, &frame.MeanCache})
    *buffer = qzcDatedValue();
}

// The accumulation buffer of wide samples starts from the lowest number
// of the layout (maximum) or the highest (minimum).
void StartWideAccumulation(qzmMedicalFrame& buffer, bool max) {
  qzmWideSamples samples = qzmWideSamples::Of(buffer);
  const double bits = samples.BitsStored();
  double start = max ? -HUGE_VAL : HUGE_VAL;
  if (!samples.IsFloatingPoint()) {
    const double half = std::ldexp(1.0, int(bits) - 1), all = std::ldexp(1.0, int(bits)) - 1;
    start = samples.IsSigned() ? (max ? -half : half - 1) : (max ? 0 : all);
  }
  for (ULONG k = 0; k < buffer.Structure.NumberOfPixels; ++k)
    samples.SetNumber(k, start);
}

// Numbers compared, padding and non-finite samples of the frame skipped;
// the buffer keeps the source's sample type.
void AccumulateWide(qzmMedicalFrame& frame, qzmMedicalFrame& buffer, bool max) {
  const qzmWideSamples in = qzmWideSamples::Of(frame);
  qzmWideSamples out = qzmWideSamples::Of(buffer);
  for (ULONG k = 0; k < frame.Structure.NumberOfPixels; ++k) {
    const double f = in.Number(k), b = out.Number(k);
    if (in.IsPadding(k) || !std::isfinite(f))
      continue;
    if (max ? b < f : f < b)
      out.SetNumber(k, f);
  }
}

}  // namespace

bool qzmMedicalFrame::Accumulate(const qzmMedicalFrame& frame, const qzcString& mode) {
  // The frame is read through a copy so that its pixels can be prepared.
  qzmMedicalFrame source(frame);
  if (!PixelsUsable(*this, AccumulateSignature) || !PixelsUsable(source, AccumulateSignature))
    return false;
  if (source.Structure.SamplesPerPixel != 1) {
    qzcError(AccumulateSignature, "accumulating not supported for Samples per Pixel = %u! (email me)",
             unsigned(source.Structure.SamplesPerPixel))
        .Report();
    return false;
  }
  const bool max = mode == "max";
  if (!max && mode != "min") {
    qzcError(AccumulateSignature, "unknown accumulating mode %s!", mode.c_str()).Report();
    return false;
  }
  if (Structure.PhotometricInterpretation.empty()) {
    // The copy shares the frame's pixel memory; the buffer gets its own.
    *this = source;
    KeepOnlyPixels(*this);
    const bool words = Pixels.Value.GetVR() == VRs::OW;
    const ULONG units = words ? Pixels.Value.OW().GetSize() : Pixels.Value.OB().GetSize();
    if (!qzmPixelSamples::ReserveOwned(Pixels.Value, words ? VRs::OW : VRs::OB, units)) {
      qzcError(AccumulateSignature, "unable to allocate memory for accumulation buffer!").Report();
      *this = qzmMedicalFrame();
      return false;
    }
    if (words)
      std::fill_n(Pixels.Value.OW().GetMemoryLocation(), units, UWORD(max ? 0 : 0xFFFF));
    else
      std::fill_n(Pixels.Value.OB().GetMemoryLocation(), units, UBYTE(max ? 0 : 0xFF));
    // Signed samples start from their own extreme: 0 and -1 are not.
    const struct Structure::Sample& sample = Structure.Sample;
    if (sample.IsWide()) {
      StartWideAccumulation(*this, max);
    } else if (sample.PixelRepresentation == 1 && sample.BitsStored != 0) {
      const SLONG lowest = -(SLONG(1) << (sample.BitsStored - 1));
      qzmPixelSamples buffer = SamplesOf(*this);
      for (ULONG k = 0; k < Structure.NumberOfPixels; ++k)
        buffer.Set(k, ULONG(max ? lowest : -lowest - 1) << sample.LowBit);
    }
  } else if (!SameStructure(*this, source)) {
    qzcError(AccumulateSignature, "frame to accumulate and accumulation buffer should have the same structure!")
        .Report();
    return false;
  }
  if (Structure.Sample.IsWide()) {
    AccumulateWide(source, *this, max);
    ++Pixels.Date;
    return true;
  }
  const qzmPixelSamples in = SamplesOf(source);
  qzmPixelSamples out = SamplesOf(*this);
  const struct Structure::Sample &inSample = source.Structure.Sample, &outSample = Structure.Sample;
  // Signed samples compare as the numbers they stand for.
  for (ULONG k = 0; k < source.Structure.NumberOfPixels; ++k) {
    const UWORD f = Stored(inSample, in.Get(k));
    if (source.IsPaddingStored(f))
      continue;
    const SLONG number = inSample.NumberOf(f), b = outSample.NumberOf(Stored(outSample, out.Get(k)));
    if (max ? b < number : number < b)
      out.Set(k, ULONG(number) << outSample.LowBit);
  }
  ++Pixels.Date;
  return true;
}

bool qzmMedicalFrame::Mask(const qzmMedicalFrame& mask, const qzcString& mode) {
  if (!PixelsUsable(*this, MaskSignature))
    return false;
  if (Structure.Rows != mask.Structure.Rows || Structure.Columns != mask.Structure.Columns) {
    qzcError(MaskSignature, "frame and mask do not fit!").Report();
    return false;
  }
  qzmDicomDataElementValue maskPixels(mask.Pixels.Value);
  const struct Structure::Sample& maskSample = mask.Structure.Sample;
  const qzmPixelSamples maskBytes = qzmPixelSamples::Of(maskPixels, 8);
  if (maskPixels.GetVR() != VRs::OB || mask.Structure.SamplesPerPixel != 1 || maskSample.BitsAllocated != 8 ||
      maskSample.BitsStored != 8 || maskBytes.Capacity() < mask.Structure.NumberOfPixels) {
    qzcError(MaskSignature,
             "mask VR <> OB, or Samples per Pixel %u <> 1, or Bits Allocated %u <> 8, or Bits Stored %u <> 8.",
             unsigned(mask.Structure.SamplesPerPixel), unsigned(maskSample.BitsAllocated),
             unsigned(maskSample.BitsStored))
        .Report();
    return false;
  }
  if (mode != "zero") {
    qzcError(MaskSignature, "unknown masking mode %s!", mode.c_str()).Report();
    return false;
  }
  const ULONG samplesPerPixel = Structure.SamplesPerPixel;
  WithSamples(*this, [&](auto& pixels) {
    for (ULONG k = 0; k < Structure.NumberOfPixels; ++k)
      if (maskBytes.Get(k) != 0)
        for (ULONG s = 0; s < samplesPerPixel; ++s)
          pixels.Zero(k * samplesPerPixel + s);
  });
  ++Pixels.Date;
  return true;
}

bool qzmMedicalFrame::Crop(const UWORD x, const UWORD y, const UWORD w, const UWORD h) {
  if (!PixelsUsable(*this, CropSignature))
    return false;
  if (ULONG(y) + h > Structure.Rows || ULONG(x) + w > Structure.Columns || w == 0 || h == 0) {
    qzcError(CropSignature, "wrong cropping coordinates x:%u y:%u w:%u h:%u, frame has %u rows and %u columns!",
             unsigned(x), unsigned(y), unsigned(w), unsigned(h), unsigned(Structure.Rows), unsigned(Structure.Columns))
        .Report();
    return false;
  }
  const ULONG spp = Structure.SamplesPerPixel, rowSamples = ULONG(w) * spp;
  WithSamples(*this, [&](auto& pixels) {
    for (ULONG r = 0; r < h; ++r) {
      const ULONG from = (ULONG(y) + r) * Structure.Columns * spp + ULONG(x) * spp, to = r * rowSamples;
      for (ULONG c = 0; c < rowSamples; ++c)
        pixels.Copy(to + c, from + c);
    }
  });
  SetGeometry(*this, h, w);
  CutPixels(*this, Structure.NumberOfSamples);
  ++Pixels.Date;
  return true;
}

namespace {

// Each 2 x 2 block of a frame of up to 16-bit samples becomes one pixel,
// written from the start: grey blocks averaged (padding left out, a block of
// three or four padding pixels gives the padding value), colour blocks their
// top-left pixel.
void HalveNarrow(qzmMedicalFrame& frame, bool averaged) {
  qzmPixelSamples pixels = SamplesOf(frame);
  // Copies: the writes to the samples must not make the loop read the
  // frame's fields again.
  const struct qzmMedicalFrame::Structure::Sample sample = frame.Structure.Sample;
  const bool hasPadding = frame.HasPixelPaddingValue;
  // Unsigned samples without padding: the sum of the four shifted right by 2.
  const bool plain = !hasPadding && sample.PixelRepresentation != 1;
  const ULONG columns = frame.Structure.Columns, spp = frame.Structure.SamplesPerPixel;
  const ULONG rows = frame.Structure.Rows / 2u, halfColumns = columns / 2;
  for (ULONG i = 0; i < rows; ++i)
    for (ULONG j = 0; j < halfColumns; ++j) {
      const ULONG topLeft = 2 * i * columns + 2 * j, out = i * halfColumns + j;
      if (!averaged) {
        for (ULONG s = 0; s < spp; ++s)
          pixels.Copy(out * spp + s, topLeft * spp + s);
        continue;
      }
      if (plain) {
        const ULONG sum = ULONG(Stored(sample, pixels.Get(topLeft))) + Stored(sample, pixels.Get(topLeft + 1)) +
                          Stored(sample, pixels.Get(topLeft + columns)) +
                          Stored(sample, pixels.Get(topLeft + columns + 1));
        pixels.Set(out, (sum >> 2) << sample.LowBit);
        continue;
      }
      // Signed samples are averaged as the numbers they stand for: as
      // unsigned words, -2 and 2 would average to -32768.
      SLONG sum = 0, kept = 0;
      for (const ULONG k : {topLeft, topLeft + 1, topLeft + columns, topLeft + columns + 1}) {
        const UWORD v = Stored(sample, pixels.Get(k));
        if (!hasPadding || !frame.IsPaddingStored(v)) {
          sum += sample.NumberOf(v);
          ++kept;
        }
      }
      // Without padding kept is 4: the integer average, fractions dropped.
      const SLONG value = kept >= 2 ? sum / kept : UWORD(frame.PixelPaddingValue);
      pixels.Set(out, ULONG(value) << sample.LowBit);
    }
}

// The same on 32-bit and floating-point samples: numbers averaged (integers
// truncated toward zero), non-finite numbers left out like padding.
void HalveWide(qzmMedicalFrame& frame, bool averaged) {
  qzmWideSamples pixels = qzmWideSamples::Of(frame);
  const ULONG columns = frame.Structure.Columns, spp = frame.Structure.SamplesPerPixel;
  const ULONG rows = frame.Structure.Rows / 2u, halfColumns = columns / 2;
  for (ULONG i = 0; i < rows; ++i)
    for (ULONG j = 0; j < halfColumns; ++j) {
      const ULONG topLeft = 2 * i * columns + 2 * j, out = i * halfColumns + j;
      if (!averaged) {
        for (ULONG s = 0; s < spp; ++s)
          pixels.Copy(out * spp + s, topLeft * spp + s);
        continue;
      }
      double sum = 0;
      unsigned kept = 0;
      ULONG skipped = topLeft;
      for (const ULONG k : {topLeft, topLeft + 1, topLeft + columns, topLeft + columns + 1}) {
        const double v = pixels.Number(k);
        if (pixels.IsPadding(k) || !std::isfinite(v)) {
          skipped = k;
          continue;
        }
        sum += v;
        ++kept;
      }
      if (kept >= 2)
        pixels.SetNumber(out, pixels.IsFloatingPoint() ? sum / kept : std::trunc(sum / kept));
      else
        pixels.Copy(out, skipped);
    }
}

}  // namespace

bool qzmMedicalFrame::Halve() {
  if (!PixelsUsable(*this, HalveSignature))
    return false;
  if (Structure.Rows % 2 || Structure.Columns % 2) {
    qzcError(HalveSignature, "frame dimensions (rows: %u, cols: %u) should be even!", unsigned(Structure.Rows),
             unsigned(Structure.Columns))
        .Report();
    return false;
  }
  const bool averaged =
      Structure.PhotometricInterpretation == "MONOCHROME1" || Structure.PhotometricInterpretation == "MONOCHROME2";
  const UWORD rows = UWORD(Structure.Rows / 2), halfColumns = UWORD(Structure.Columns / 2);
  if (Structure.Sample.IsWide())
    HalveWide(*this, averaged);
  else
    HalveNarrow(*this, averaged);
  SetGeometry(*this, rows, halfColumns);
  CutPixels(*this, Structure.NumberOfSamples);
  if (HasPixelSpacing) {
    PixelSpacing[0] *= 2;
    PixelSpacing[1] *= 2;
    SpacingChanged = true;
  }
  ++Pixels.Date;
  return true;
}

bool qzmMedicalFrame::Fliph() {
  if (!PixelsUsable(*this, "bool qzmMedicalFrame::Fliph()"))
    return false;
  const ULONG columns = Structure.Columns, spp = Structure.SamplesPerPixel;
  WithSamples(*this, [&](auto& pixels) {
    for (ULONG r = 0; r < Structure.Rows; ++r)
      for (ULONG left = 0; 2 * left + 1 < columns; ++left)
        for (ULONG s = 0; s < spp; ++s)
          pixels.Swap((r * columns + left) * spp + s, (r * columns + columns - 1 - left) * spp + s);
  });
  ++Pixels.Date;
  return true;
}

bool qzmMedicalFrame::Flipv() {
  if (!PixelsUsable(*this, "bool qzmMedicalFrame::Flipv()"))
    return false;
  const ULONG rowSamples = ULONG(Structure.Columns) * Structure.SamplesPerPixel;
  WithSamples(*this, [&](auto& pixels) {
    for (ULONG top = 0; 2 * top + 1 < Structure.Rows; ++top)
      for (ULONG c = 0, bottom = Structure.Rows - 1ul - top; c < rowSamples; ++c)
        pixels.Swap(top * rowSamples + c, bottom * rowSamples + c);
  });
  ++Pixels.Date;
  return true;
}

namespace {

// Maximum, minimum and mean of the stored values in one pass, padding
// skipped (it still counts in the mean's divisor); the three caches are
// stamped with Pixels' Date. Signed values carry the sign of their stored
// bits, so that 12-bit signed data have their negative minimum.
void ScanStatistics(qzmMedicalFrame& frame) {
  const qzmPixelSamples pixels = SamplesOf(frame);
  const struct qzmMedicalFrame::Structure::Sample& sample = frame.Structure.Sample;
  const bool isSigned = sample.PixelRepresentation == 1;
  const ULONG count = frame.Structure.NumberOfPixels;
  SLONG max = isSigned ? -32768 : 0, min = isSigned ? 32767 : 65535;
  // An integer sum: up to 2^32 values of 16 bits stay far below 2^53, where
  // a double sum would begin to round, so the mean is the same either way.
  long long sum = 0;
  pixels.Read([&](auto sampleAt) {
    if (!isSigned && !frame.HasPixelPaddingValue) {
      // Every value counts and compares as it is stored.
      UWORD high = 0, low = 65535;
      unsigned long long total = 0;
      for (ULONG k = 0; k < count; ++k) {
        const UWORD v = Stored(sample, sampleAt(k));
        high = std::max(high, v);
        low = std::min(low, v);
        total += v;
      }
      max = high;
      min = low;
      sum = (long long)(total);
      return;
    }
    for (ULONG k = 0; k < count; ++k) {
      const UWORD v = Stored(sample, sampleAt(k));
      if (frame.IsPaddingStored(v))
        continue;
      const SLONG value = sample.NumberOf(v);
      max = std::max(max, value);
      min = std::min(min, value);
      sum += value;
    }
  });
  frame.MaxCache.Value.SL() = max;
  frame.MinCache.Value.SL() = min;
  frame.MeanCache.Value.FD() = double(sum) / count;
  frame.MaxCache.Date = frame.MinCache.Date = frame.MeanCache.Date = frame.Pixels.Date;
}

// The shared steps of the statistics: preparation, the cache, the sample
// count check. False when the result is 0 without a scan.
bool StatisticReady(qzmMedicalFrame& frame, const qzcDatedValue& cache, const char* signature, const char* name) {
  if (!PixelsUsable(frame, signature))
    return false;
  if (cache.Date >= frame.Pixels.Date && cache.Date != 0)
    return true;
  if (frame.Structure.SamplesPerPixel > 1) {
    qzcWarning(signature, "unable to get %s from frame when Samples per Pixel = %u!", name,
               unsigned(frame.Structure.SamplesPerPixel))
        .Report();
    return false;
  }
  if (frame.Structure.Sample.IsWide())
    widepixels::ScanStatistics(frame);
  else
    ScanStatistics(frame);
  return true;
}

// A statistic of 32-bit or floating-point samples, kept as a double, within
// the 32-bit result of GetMax and GetMin.
SLONG ClampedToLong(double value) {
  return value >= 2147483647.0 ? 2147483647 : value <= -2147483648.0 ? SLONG(-2147483647 - 1) : SLONG(value);
}

}  // namespace

SLONG qzmMedicalFrame::GetMax() {
  if (!StatisticReady(*this, MaxCache, "SLONG qzmMedicalFrame::GetMax()", "max"))
    return 0;
  return Structure.Sample.IsWide() ? ClampedToLong(MaxCache.Value.FD()) : MaxCache.Value.SL();
}

SLONG qzmMedicalFrame::GetMin() {
  if (!StatisticReady(*this, MinCache, "SLONG qzmMedicalFrame::GetMin()", "min"))
    return 0;
  return Structure.Sample.IsWide() ? ClampedToLong(MinCache.Value.FD()) : MinCache.Value.SL();
}

double qzmMedicalFrame::GetMaxNumber() {
  if (!Structure.Sample.IsWide())
    return GetMax();
  return StatisticReady(*this, MaxCache, "SLONG qzmMedicalFrame::GetMax()", "max") ? MaxCache.Value.FD() : 0;
}

double qzmMedicalFrame::GetMinNumber() {
  if (!Structure.Sample.IsWide())
    return GetMin();
  return StatisticReady(*this, MinCache, "SLONG qzmMedicalFrame::GetMin()", "min") ? MinCache.Value.FD() : 0;
}

double qzmMedicalFrame::GetMean() {
  return StatisticReady(*this, MeanCache, "double qzmMedicalFrame::GetMean()", "mean") ? MeanCache.Value.FD() : 0;
}
