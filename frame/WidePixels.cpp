// Samples of more than 16 bits: their preparation into host-order units,
// their 8- and 16-bit images, statistics and raw organisation. 32-bit
// integers keep their stored bits at their place; floating-point samples are
// numbers, of which NaN and infinities have no grey level.
#include "frame/WidePixels.h"
#include "frame/qzmWideSamples.h"

#include "dicom/qzmDicomDataElementSet.h"
#include "frame/qzmPixelSamples.h"
#include "lib/qzcError.h"
#include "lib/qzcWarning.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

typedef qzmDicomDataElementDescription VRs;
typedef qzmMedicalFrame::ReSamplingMethod Method;

bool HostIsBigEndian() {
  const UWORD probe = 1;
  UBYTE first;
  std::memcpy(&first, &probe, 1);
  return first == 0;
}

// Copies count units of unit bytes from bytes in file order (big- or
// little-endian) to host order.
void BytesToHost(const UBYTE* from, UBYTE* to, unsigned long long count, unsigned unit, bool bigEndian) {
  if (bigEndian == HostIsBigEndian()) {
    std::memcpy(to, from, count * unit);
    return;
  }
  for (unsigned long long k = 0; k < count; ++k, from += unit, to += unit)
    std::reverse_copy(from, from + unit, to);
}

// 32-bit units held as pairs of 16-bit words in host order: the low half
// first in little-endian files; big-endian files hold the 32-bit number in
// big-endian order, so its high half comes first.
void WordsToHost(const UWORD* from, UBYTE* to, unsigned long long count, bool bigEndian) {
  for (unsigned long long k = 0; k < count; ++k, from += 2, to += 4) {
    const ULONG unit = bigEndian ? ULONG(from[1]) | ULONG(from[0]) << 16 : ULONG(from[0]) | ULONG(from[1]) << 16;
    std::memcpy(to, &unit, 4);
  }
}

// The top grey level of an output unit.
template <typename Out>
constexpr double Top() {
  return double(std::numeric_limits<Out>::max());
}

template <typename Out>
Out Clamped(double v) {
  return v <= 0 ? Out(0) : v >= Top<Out>() ? Out(Top<Out>()) : Out(v);
}

// Number of significant bits of a non-negative integer.
unsigned SignificantBits(double maximum) {
  return maximum < 1 ? 0 : unsigned(std::floor(std::log2(maximum))) + 1;
}

// The mapping of a number to the output, chosen once per image.
struct Mapping {
  enum Kind { window, linear, shift, stored } kind = linear;
  double lowest = 0;   // window: its minimum in numbers; linear, shift: the number giving 0
  double scale = 0;    // window, linear: grey levels per number
  int shiftRight = 0;  // shift: bits dropped (negative: bits added)
};

template <typename Out>
Mapping ChooseMapping(qzmMedicalFrame& frame, const qzmWideSamples& samples, bool window, Method method) {
  Mapping mapping;
  const struct qzmMedicalFrame::Windowing& windowing = frame.Windowing;
  const unsigned outBits = sizeof(Out) * 8;
  if (method == Method::no || frame.Structure.PhotometricInterpretation == "PALETTE COLOR") {
    mapping.kind = Mapping::stored;
  } else if (window) {
    // The window is in output units, number x slope + intercept: back in
    // numbers, it starts at (center - width / 2 - intercept) / slope.
    const double slope = windowing.RescaleSlope, width = windowing.Width > 0 ? windowing.Width : 1;
    mapping.kind = Mapping::window;
    mapping.lowest = (windowing.Center - width / 2 - windowing.RescaleIntercept) / slope;
    mapping.scale = Top<Out>() / (width / slope);
  } else if (samples.IsFloatingPoint() || method == Method::linear) {
    // Over the frame's own range: a dose grid using a few thousandths of the
    // 32-bit range still spans every grey level.
    const double minimum = frame.GetMinNumber(), maximum = frame.GetMaxNumber();
    mapping.lowest = minimum;
    mapping.scale = maximum > minimum ? Top<Out>() / (maximum - minimum) : 0;
  } else {
    const double halfRange = std::ldexp(1.0, int(samples.BitsStored()) - 1);
    mapping.kind = Mapping::shift;
    mapping.lowest = samples.IsSigned() ? (method == Method::shift ? -halfRange : frame.GetMinNumber()) : 0;
    const unsigned bits =
        method == Method::shift ? samples.BitsStored() : SignificantBits(frame.GetMaxNumber() - mapping.lowest);
    mapping.shiftRight = int(bits) - int(outBits);
  }
  return mapping;
}

template <typename Out>
Out Map(const Mapping& mapping, const qzmWideSamples& samples, ULONG k) {
  if (mapping.kind == Mapping::stored)
    return samples.IsFloatingPoint() ? Clamped<Out>(samples.Number(k)) : Out(samples.Stored(k));
  const double v = samples.Number(k);
  switch (mapping.kind) {
    case Mapping::window: {
      const double level = (v - mapping.lowest) * mapping.scale;
      return level < 0 ? Out(0) : level >= Top<Out>() ? Out(Top<Out>()) : Out(level);
    }
    case Mapping::shift: {
      const double offset = v - mapping.lowest;
      return Clamped<Out>(std::floor(std::ldexp(offset, -mapping.shiftRight)));
    }
    default:
      return Clamped<Out>((v - mapping.lowest) * mapping.scale);
  }
}

template <typename Out>
void ResampleTo(qzmMedicalFrame& frame, Out* out, bool window, Method method, const char* signature) {
  const qzmWideSamples samples = qzmWideSamples::Of(frame);
  const Mapping mapping = ChooseMapping<Out>(frame, samples, window, method);
  const bool zeroPadding = mapping.kind != Mapping::stored;
  unsigned long long notFinite = 0;
  const ULONG count = frame.Structure.NumberOfPixels;
  for (ULONG k = 0; k < count; ++k) {
    if (samples.IsFloatingPoint() && !std::isfinite(samples.Number(k))) {
      ++notFinite;
      out[k] = 0;
    } else {
      out[k] = zeroPadding && samples.IsPadding(k) ? Out(0) : Map<Out>(mapping, samples, k);
    }
  }
  if (notFinite)
    qzcWarning(signature, "%llu samples are not finite numbers (NaN or infinite), mapped to 0!", notFinite).Report();
}

}  // namespace

bool qzmMedicalFrame::PrepareWideSamples() {
  static const char* const signature = "bool qzmMedicalFrame::PrepareWideSamples()";
  const struct Structure::Sample& sample = Structure.Sample;
  if (!sample.IsAddressable()) {
    qzcError(signature, "samples of %u bits allocated can not be processed, sorry!", unsigned(sample.BitsAllocated))
        .Report();
    return false;
  }
  const unsigned unit = sample.BitsAllocated / 8u;
  const unsigned long long bytes = (unsigned long long)(Structure.NumberOfSamples) * unit;
  // A decoded (RLE) frame is made of host-order units already, as bytes or
  // as words; native data are read from the frame's view in the set.
  const bool native = HasNativePixelData();
  if (!native && Pixels.Value.GetVR() == VRs::OB)
    return Pixels.Value.OB().GetSize() >= bytes;
  const qzmDicomDataElementValue& view = native ? SourcePixels.Value : Pixels.Value;
  const bool words = view.GetVR() == VRs::OW;
  const unsigned long long found = words ? 2ull * view.OW().GetSize() : (unsigned long long)(view.OB().GetSize());
  if (found < bytes || bytes > std::numeric_limits<ULONG>::max()) {
    qzcError(signature, "missing pixel data (%llu bytes expected, %llu found)!", bytes, found).Report();
    return false;
  }
  // The source is read through a copy of its view: Pixels gets a block of
  // its own.
  qzmDicomDataElementValue source = view;
  const void* data = words ? static_cast<const void*>(source.OW().GetMemoryLocation())
                           : static_cast<const void*>(source.OB().GetMemoryLocation());
  if (!data || !qzmPixelSamples::ReserveOwned(Pixels.Value, VRs::OB, ULONG(bytes))) {
    qzcError(signature, "unable to allocate memory for %llu bytes of pixel data!", bytes).Report();
    return false;
  }
  const bool bigEndian = native && TransferSyntax == qzmDicomDataElementSet::ExplicitVRBigEndian;
  UBYTE* target = Pixels.Value.OB().GetMemoryLocation();
  if (words)
    WordsToHost(static_cast<const UWORD*>(data), target, Structure.NumberOfSamples, bigEndian);
  else
    BytesToHost(static_cast<const UBYTE*>(data), target, Structure.NumberOfSamples, unit, bigEndian);
  if (native && Structure.SamplesPerPixel > 1 && Structure.PlanarConfiguration == 1) {
    // Colour-by-plane: sample p of pixel i moves from p x pixels + i
    // (decoders give colour-by-pixel samples).
    const std::vector<UBYTE> planes(target, target + bytes);
    const ULONG pixels = Structure.NumberOfPixels, spp = Structure.SamplesPerPixel;
    for (ULONG p = 0; p < spp; ++p)
      for (ULONG i = 0; i < pixels; ++i)
        std::memcpy(target + (unsigned long long)(i * spp + p) * unit,
                    planes.data() + (unsigned long long)(p * pixels + i) * unit, unit);
    Structure.PlanarConfiguration = 0;
    qzcWarning(signature, "Planar Configuration changed to color-by-pixel (0).").Report();
  }
  return true;
}

namespace widepixels {

void Resample(qzmMedicalFrame& frame, UBYTE* out, bool window, Method method, const char* signature) {
  ResampleTo(frame, out, window, method, signature);
}

void Resample(qzmMedicalFrame& frame, UWORD* out, bool window, Method method, const char* signature) {
  ResampleTo(frame, out, window, method, signature);
}

template <typename Out>
void TripletsOf(qzmMedicalFrame& frame, Out* out, bool reversed) {
  const qzmWideSamples samples = qzmWideSamples::Of(frame);
  const int shiftRight = int(samples.BitsStored()) - int(8 * sizeof(Out));
  for (ULONG k = 0; k < frame.Structure.NumberOfSamples; ++k) {
    const ULONG component = k % 3, pixel = k - component;
    const double v = samples.IsFloatingPoint() ? samples.Number(k) : std::ldexp(double(samples.Stored(k)), -shiftRight);
    out[pixel + (reversed ? 2 - component : component)] = std::isfinite(v) ? Clamped<Out>(std::floor(v)) : Out(0);
  }
}

void ToTriplets(qzmMedicalFrame& frame, UBYTE* out, bool reversed) {
  TripletsOf(frame, out, reversed);
}

void ToTriplets(qzmMedicalFrame& frame, UWORD* out, bool reversed) {
  TripletsOf(frame, out, reversed);
}

void ScanStatistics(qzmMedicalFrame& frame) {
  const qzmWideSamples samples = qzmWideSamples::Of(frame);
  const ULONG count = frame.Structure.NumberOfPixels;
  double max = -std::numeric_limits<double>::infinity(), min = std::numeric_limits<double>::infinity(), sum = 0;
  for (ULONG k = 0; k < count; ++k) {
    const double v = samples.Number(k);
    if (samples.IsPadding(k) || !std::isfinite(v))
      continue;
    max = std::max(max, v);
    min = std::min(min, v);
    sum += v;
  }
  if (max < min)
    max = min = 0;  // nothing but padding or non-finite samples
  frame.MaxCache.Value.FD() = max;
  frame.MinCache.Value.FD() = min;
  frame.MeanCache.Value.FD() = count ? sum / count : 0;
  frame.MaxCache.Date = frame.MinCache.Date = frame.MeanCache.Date = frame.Pixels.Date;
}

bool OrganizeToRaw(qzmMedicalFrame& frame, qzcDatedValue& out) {
  qzmWideSamples samples = qzmWideSamples::Of(frame);
  const ULONG count = frame.Structure.NumberOfSamples;
  if (samples.Capacity() < count)
    return false;
  const unsigned unit = samples.UnitBytes();
  const unsigned long long bytes = (unsigned long long)(count)*unit;
  if (bytes > std::numeric_limits<ULONG>::max() || !qzmPixelSamples::ReserveOwned(out.Value, VRs::OB, ULONG(bytes)))
    return false;
  UBYTE* raw = out.Value.OB().GetMemoryLocation();
  if (samples.IsFloatingPoint()) {
    std::memcpy(raw, frame.Pixels.Value.OB().GetMemoryLocation(), bytes);
  } else {
    for (ULONG k = 0; k < count; ++k) {
      const ULONG v = samples.IsPadding(k) ? frame.PaddingReplacement : samples.Stored(k);
      std::memcpy(raw + 4ull * k, &v, 4);
    }
  }
  out.Date = frame.Pixels.Date;
  return true;
}

}  // namespace widepixels
