// Windowing and resampling: the prepared samples of a frame become the 8- or
// 16-bit grey images and the 8- or 16-bit colour triplets the image writers
// take.
#include "frame/qzmMedicalFrame.h"
#include "frame/WidePixels.h"
#include "frame/qzmPixelSamples.h"
#include "frame/qzmWideSamples.h"

#include "lib/qzcError.h"
#include "lib/qzcWarning.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

namespace {

const char* const resampleTo8Signature =
    "bool qzmMedicalFrame::GetResampledTo8(qzcDatedValue&, bool, const "
    "qzmMedicalFrame::ConversionContext::ReSamplingMethod&)";
const char* const resampleTo16Signature =
    "bool qzmMedicalFrame::GetResampledTo16(qzcDatedValue&, bool, const "
    "qzmMedicalFrame::ConversionContext::ReSamplingMethod&)";
const char* const toBGR24Signature = "bool qzmMedicalFrame::GetResampledToBGR24(qzcDatedValue&)";
const char* const toRGB24Signature = "bool qzmMedicalFrame::GetResampledToRGB24(qzcDatedValue&)";
const char* const toRGB48Signature = "bool qzmMedicalFrame::GetResampledToRGB48(qzcDatedValue&)";

typedef qzmMedicalFrame::ReSamplingMethod Method;
// The frame's members carry the names of their types.
typedef struct qzmMedicalFrame::Structure FrameStructure;
typedef struct qzmMedicalFrame::Structure::Sample SampleLayout;
typedef struct qzmMedicalFrame::Windowing FrameWindow;

// What differs between the 8-bit and the 16-bit images.
template <typename Out>
struct Depth;

template <>
struct Depth<UBYTE> {
  static const unsigned bits = 8;
  static qzcDataLocation<UBYTE>& Location(qzmDicomDataElementValue& value) { return value.OB(); }
};

template <>
struct Depth<UWORD> {
  static const unsigned bits = 16;
  static qzcDataLocation<UWORD>& Location(qzmDicomDataElementValue& value) { return value.OW(); }
};

template <typename Out>
const double top = double((1u << Depth<Out>::bits) - 1);

// The samples of a frame's prepared pixels, with their stored values.
class StoredValues {
 public:
  // Checks that the pixels hold count samples of the frame's layout; the
  // frame's fields are never trusted to describe the buffer.
  bool Attach(qzmMedicalFrame& frame, ULONG count, const char* signature) {
    const SampleLayout& sample = frame.Structure.Sample;
    qzmDicomDataElementValue& value = frame.Pixels.Value;
    if (value.GetVR() == qzmDicomDataElementDescription::OB && sample.BitsAllocated >= 1 && sample.BitsAllocated <= 8) {
      if (UBYTE* bytes = value.OB().GetMemoryLocation())
        samples = qzmPixelSamples(bytes, value.OB().GetSize(), sample.BitsAllocated);
    } else if (value.GetVR() == qzmDicomDataElementDescription::OW && sample.BitsAllocated >= 1 &&
               sample.BitsAllocated <= 16) {
      if (UWORD* words = value.OW().GetMemoryLocation())
        samples = qzmPixelSamples(words, value.OW().GetSize(), sample.BitsAllocated);
    } else {
      qzcError(signature, "can not read samples of %u bits allocated from pixel data of VR %d!",
               unsigned(sample.BitsAllocated), int(value.GetVR()))
          .Report();
      return false;
    }
    if (samples.Capacity() < count) {
      qzcError(signature, "pixel data hold %lu samples, %lu expected!", (unsigned long)samples.Capacity(),
               (unsigned long)count)
          .Report();
      return false;
    }
    if (sample.LowBit >= 16) {
      qzcError(signature, "low bit %u of the samples is out of range!", unsigned(sample.LowBit)).Report();
      return false;
    }
    this->count = count;
    lowBit = sample.LowBit;
    mask = sample.StoredMask;
    return true;
  }

  // Calls visit with the stored value of each sample, in order.
  template <typename Visit>
  void ForEach(Visit visit) const {
    samples.Read([&](auto sampleAt) {
      for (ULONG k = 0; k < count; ++k)
        visit(UWORD((sampleAt(k) >> lowBit) & mask));
    });
  }

  ULONG Count() const { return count; }
  // The largest stored value: the mask.
  UWORD Mask() const { return mask; }

 private:
  qzmPixelSamples samples;
  ULONG count = 0;
  UWORD lowBit = 0;
  UWORD mask = 0;
};

// A buffer of count elements of its own, in memory; a buffer that shares
// someone else's memory is never written, it gets a block of its own.
template <typename Out>
Out* OwnBuffer(qzcDatedValue& out, ULONG count) {
  qzcDataLocation<Out>& location = Depth<Out>::Location(out.Value);
  if (location.GetMode() != qzcDataLocation<Out>::memory || !location.IsOwned() || location.GetSize() != count) {
    location.SetSize(count);
    if (!location.AllocateMemory())
      return nullptr;
  }
  return location.GetMemoryLocation();
}

// out shares the memory of the frame's pixels (already the image asked for).
void SharePixels(qzmMedicalFrame& frame, qzcDatedValue& out) {
  frame.Pixels.Value.OB().GetMemoryLocation();  // loads pixels still in their file once, for both
  out.Value = frame.Pixels.Value;
  out.Date = frame.Pixels.Date;
}

void ShareWords(qzmMedicalFrame& frame, qzcDatedValue& out) {
  frame.Pixels.Value.OW().GetMemoryLocation();
  out.Value = frame.Pixels.Value;
  out.Date = frame.Pixels.Date;
}

// Window in stored values: below it 0, above it the top value, inside a
// linear ramp. The product is taken in single precision, as the scale is:
// in double precision the scale's rounding would put exact products (160 x
// 255 / 400 = 102) one level low. A width of 0 maps as a width of 1, a
// threshold at the window's minimum.
template <typename Out>
struct WindowMapping {
  SLONG min;
  SLONG max;
  float scale;

  explicit WindowMapping(const FrameWindow& window)
      : min(window.StoredWindowMin),
        max(window.StoredWindowWidth ? window.StoredWindowMax : window.StoredWindowMin),
        scale(float(top<Out> / (window.StoredWindowWidth ? window.StoredWindowWidth : 1))) {}

  Out operator()(SLONG v) const {
    if (v < min)
      return 0;
    if (v > max)
      return Out(top<Out>);
    const float mapped = float(v - min) * scale;
    return mapped >= float(top<Out>) ? Out(top<Out>) : Out(mapped);
  }
};

// Linear scale from the lowest number to the top value: the frame's maximum
// is scaled to the top value, the product cut to the output's width. For
// unsigned samples the lowest number is 0; two's complement samples start at
// their minimum, as they would once made unsigned by the default --changepr.
template <typename Out>
struct LinearMapping {
  SLONG lowest;
  double scale;

  LinearMapping(SLONG lowest, SLONG maximum)
      : lowest(lowest), scale(maximum == lowest ? 0.0 : double(float(top<Out> / (double(maximum) - lowest)))) {}

  Out operator()(SLONG v) const { return Out(static_cast<long long>(double(v - lowest) * scale)); }
};

// The significant bits, counted from the lowest number, moved to the top of
// the output's width.
template <typename Out>
struct ShiftMapping {
  SLONG lowest;
  unsigned left;
  unsigned right;

  ShiftMapping(SLONG lowest, unsigned significantBits)
      : lowest(lowest),
        left(significantBits < Depth<Out>::bits ? Depth<Out>::bits - significantBits : 0),
        right(significantBits > Depth<Out>::bits ? std::min(significantBits - Depth<Out>::bits, 16u) : 0) {}

  Out operator()(SLONG v) const { return Out((ULONG(v - lowest) << left) >> right); }
};

// Number of significant bits of the frame's maximum.
unsigned SignificantBits(SLONG maximum) {
  return maximum <= 0 ? 0 : unsigned(std::log(double(maximum)) / std::log(2.0) + 1.0);
}

// Maps the number every stored value stands for with map; padding pixels
// become 0 when asked. When the pixels far outnumber the stored values,
// each value is mapped once into a table (the same results) and the pixels
// are looked up.
template <typename Out, typename Map>
void MapAll(const qzmMedicalFrame& frame, const StoredValues& values, Out* out, bool zeroPadding, Map map) {
  const SampleLayout& sample = frame.Structure.Sample;
  const auto mapped = [&](UWORD v) {
    return zeroPadding && frame.IsPaddingStored(v) ? Out(0) : map(sample.NumberOf(v));
  };
  const ULONG tableSize = ULONG(values.Mask()) + 1;
  std::unique_ptr<Out[]> table;
  if (values.Count() > 4ull * tableSize)
    table.reset(new (std::nothrow) Out[tableSize]);
  if (!table) {
    values.ForEach([&](UWORD v) { *out++ = mapped(v); });
    return;
  }
  for (ULONG v = 0; v < tableSize; ++v)
    table[v] = mapped(UWORD(v));
  const Out* const lookup = table.get();
  values.ForEach([&](UWORD v) { *out++ = lookup[v]; });
}

template <typename Out>
void MapStoredValues(qzmMedicalFrame& frame, const StoredValues& values, Out* out, bool window, Method method) {
  const SampleLayout& sample = frame.Structure.Sample;
  const bool padding = frame.HasPixelPaddingValue;
  const bool isSigned = sample.PixelRepresentation == 1;
  if (method == Method::no || frame.Structure.PhotometricInterpretation == "PALETTE COLOR") {
    // The stored bits themselves, whatever number they stand for.
    const ULONG mask = sample.StoredMask;
    MapAll(frame, values, out, false, [mask](SLONG v) { return Out(ULONG(v) & mask); });
  } else if (window) {
    MapAll(frame, values, out, padding, WindowMapping<Out>(frame.Windowing));
  } else if (method == Method::linear) {
    MapAll(frame, values, out, padding, LinearMapping<Out>(isSigned ? frame.GetMin() : 0, frame.GetMax()));
  } else if (method == Method::shift) {
    // Two's complement samples are offset binary here: the lowest number
    // gives 0.
    const SLONG lowest = isSigned ? -(SLONG(1) << (sample.BitsStored - 1)) : 0;
    MapAll(frame, values, out, padding, ShiftMapping<Out>(lowest, sample.BitsStored));
  } else {
    const SLONG lowest = isSigned ? frame.GetMin() : 0;
    MapAll(frame, values, out, padding, ShiftMapping<Out>(lowest, SignificantBits(frame.GetMax() - lowest)));
  }
}

// An 8-bit frame is already its own 8-bit image when nothing is mapped.
bool IsPassThrough8(const qzmMedicalFrame& frame, bool windowing, Method method) {
  const SampleLayout& sample = frame.Structure.Sample;
  return frame.Pixels.Value.GetVR() == qzmDicomDataElementDescription::OB && sample.BitsAllocated == 8 &&
         sample.BitsStored == 8 && !windowing && !frame.HasPixelPaddingValue && method != Method::linear;
}

template <typename Out>
bool ResampleOneSample(qzmMedicalFrame& frame, qzcDatedValue& out, bool windowing, Method method, const char* signature,
                       const char* allocationMessage) {
  if (!frame.ArePixelsReady()) {
    qzcWarning(signature, "pixels format is not supported.").Report();
    return false;
  }
  if (out.Date >= frame.Pixels.Date)
    return true;
  if (frame.Structure.SamplesPerPixel > 1) {
    qzcWarning(signature, "unable to resample frame when Samples per Pixel = %u!",
               unsigned(frame.Structure.SamplesPerPixel))
        .Report();
    return false;
  }
  if (windowing && !frame.Windowing.HasWindowing)
    qzcWarning(signature, "there is no Windowing informations!").Report();
  if (Depth<Out>::bits == 8 && IsPassThrough8(frame, windowing, method)) {
    SharePixels(frame, out);
    return true;
  }
  const bool wide = frame.Structure.Sample.IsWide();
  StoredValues values;
  if (!wide && !values.Attach(frame, frame.Structure.NumberOfPixels, signature))
    return false;
  if (wide && qzmWideSamples::Of(frame).Capacity() < frame.Structure.NumberOfPixels) {
    qzcError(signature, "pixel data hold fewer than %lu samples!", (unsigned long)(frame.Structure.NumberOfPixels))
        .Report();
    return false;
  }
  Out* image = OwnBuffer<Out>(out, frame.Structure.NumberOfPixels);
  if (!image) {
    qzcError(signature, allocationMessage).Report();
    return false;
  }
  if (wide)
    widepixels::Resample(frame, image, windowing && frame.Windowing.HasWindowing, method, signature);
  else
    MapStoredValues(frame, values, image, windowing && frame.Windowing.HasWindowing, method);
  out.Date = frame.Pixels.Date;
  return true;
}

// Colour triplets of Out: each stored value moved to the output's width,
// in R G B order or, reversed, B G R.
template <typename Out>
bool ReorganizeRGB(qzmMedicalFrame& frame, qzcDatedValue& out, bool reversed, const char* signature,
                   const char* interpretationMessage, const char* allocationMessage) {
  if (!frame.ArePixelsReady()) {
    qzcWarning(signature, "pixels format is not supported.").Report();
    return false;
  }
  if (out.Date >= frame.Pixels.Date)
    return true;
  const FrameStructure& structure = frame.Structure;
  if (structure.PhotometricInterpretation != "RGB") {
    qzcError(signature, interpretationMessage, structure.PhotometricInterpretation.c_str()).Report();
    return false;
  }
  if (structure.SamplesPerPixel != 3) {
    qzcError(signature, "RGB pixels need 3 samples per pixel, not %u!", unsigned(structure.SamplesPerPixel)).Report();
    return false;
  }
  const UWORD bits = structure.Sample.BitsStored;
  const bool sameLayout = structure.Sample.BitsAllocated == Depth<Out>::bits && bits == Depth<Out>::bits;
  const qzmDicomDataElementDescription::VR vr =
      Depth<Out>::bits == 8 ? qzmDicomDataElementDescription::OB : qzmDicomDataElementDescription::OW;
  if (!reversed && sameLayout && frame.Pixels.Value.GetVR() == vr) {
    if (Depth<Out>::bits == 8)
      SharePixels(frame, out);
    else
      ShareWords(frame, out);
    return true;
  }
  const bool wide = structure.Sample.IsWide();
  StoredValues values;
  if (wide ? qzmWideSamples::Of(frame).Capacity() < structure.NumberOfSamples
           : !values.Attach(frame, structure.NumberOfSamples, signature)) {
    if (wide)
      qzcError(signature, "pixel data hold fewer than %lu samples!", (unsigned long)(structure.NumberOfSamples))
          .Report();
    return false;
  }
  Out* image = OwnBuffer<Out>(out, structure.NumberOfSamples);
  if (!image) {
    qzcError(signature, allocationMessage).Report();
    return false;
  }
  if (wide) {
    widepixels::ToTriplets(frame, image, reversed);
    out.Date = frame.Pixels.Date;
    return true;
  }
  const ShiftMapping<Out> scale(0, bits);
  unsigned component = 0;  // 0, 1, 2 within the current pixel
  values.ForEach([&](UWORD v) {
    image[reversed ? 2 - component : component] = scale(v);
    if (++component == 3) {
      component = 0;
      image += 3;
    }
  });
  out.Date = frame.Pixels.Date;
  return true;
}

}  // namespace

bool qzmMedicalFrame::GetResampledTo8(qzcDatedValue& out, bool windowing, const ReSamplingMethod& method) {
  return ResampleOneSample<UBYTE>(*this, out, windowing, method, resampleTo8Signature,
                                  "unable to allocate memory for 8-bit data!");
}

bool qzmMedicalFrame::GetResampledTo16(qzcDatedValue& out, bool windowing, const ReSamplingMethod& method) {
  return ResampleOneSample<UWORD>(*this, out, windowing, method, resampleTo16Signature,
                                  "unable to allocate memory for 16-bits data!");
}

bool qzmMedicalFrame::GetResampledToBGR24(qzcDatedValue& out) {
  return ReorganizeRGB<UBYTE>(*this, out, true, toBGR24Signature,
                              "unable to reorganize to BGR when Photometric Interpretation is %s!",
                              "unable to allocate memory for BGR data!");
}

bool qzmMedicalFrame::GetResampledToRGB24(qzcDatedValue& out) {
  return ReorganizeRGB<UBYTE>(*this, out, false, toRGB24Signature,
                              "unable to reorganize to RGB when Photometric Interpretation is %s!",
                              "unable to allocate memory for RGB data!");
}

bool qzmMedicalFrame::GetResampledToRGB48(qzcDatedValue& out) {
  return ReorganizeRGB<UWORD>(*this, out, false, toRGB48Signature,
                              "unable to reorganize to RGB when Photometric Interpretation is %s!",
                              "unable to allocate memory for RGB data!");
}
