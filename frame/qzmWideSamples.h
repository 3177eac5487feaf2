// Random access to samples of more than 16 bits: 32-bit integers (1 to 32
// stored bits at any place, unsigned or two's complement) and 32- or 64-bit
// IEEE floating-point numbers. They are held in an OB buffer of host-order
// units, as PrepareWideSamples leaves them in a frame's Pixels. Callers keep
// indices below Capacity().
#ifndef QZM_WIDE_SAMPLES_H
#define QZM_WIDE_SAMPLES_H

#include "frame/qzmMedicalFrame.h"
#include "lib/qzcTypes.h"

#include <cstring>

class qzmWideSamples {
 public:
  // An empty view: capacity 0.
  qzmWideSamples() = default;

  // The prepared pixels of a frame with wide samples; an empty view when
  // the frame's samples are not wide or its pixels are not in memory.
  static qzmWideSamples Of(qzmMedicalFrame& frame) {
    const struct qzmMedicalFrame::Structure::Sample& sample = frame.Structure.Sample;
    qzmDicomDataElementValue& value = frame.Pixels.Value;
    if (!sample.IsWide() || !sample.IsAddressable() || value.GetVR() != qzmDicomDataElementDescription::OB)
      return qzmWideSamples();
    qzmWideSamples samples;
    samples.bytes = value.OB().GetMemoryLocation();
    samples.unit = sample.BitsAllocated / 8u;
    samples.count = samples.bytes ? value.OB().GetSize() / samples.unit : 0;
    samples.floating = sample.FloatingPoint;
    samples.isSigned = sample.PixelRepresentation == 1;
    samples.lowBit = sample.LowBit;
    samples.bitsStored = sample.BitsStored;
    samples.mask = sample.BitsStored >= 32 ? 0xFFFFFFFFul : (ULONG(1) << sample.BitsStored) - 1;
    samples.hasPadding = frame.HasPixelPaddingValue && !sample.FloatingPoint;
    // The padding value is read as a 16-bit number; its bits are compared.
    samples.padding = ULONG(SLONG(frame.PixelPaddingValue)) & samples.mask;
    if (!samples.isSigned)
      samples.padding = UWORD(frame.PixelPaddingValue);
    return samples;
  }

  ULONG Capacity() const { return count; }
  unsigned UnitBytes() const { return unit; }
  bool IsFloatingPoint() const { return floating; }
  bool IsSigned() const { return isSigned && !floating; }
  unsigned BitsStored() const { return bitsStored; }

  // The stored bits of an integer sample.
  ULONG Stored(ULONG k) const { return (Unit32(k) >> lowBit) & mask; }

  // The number a sample stands for: the stored bits (sign-extended for two's
  // complement samples) or the floating-point value.
  double Number(ULONG k) const {
    if (floating) {
      if (unit == 8) {
        double d;
        std::memcpy(&d, bytes + 8ull * k, 8);
        return d;
      }
      float f;
      std::memcpy(&f, bytes + 4ull * k, 4);
      return f;
    }
    return double(IntegerOf(Stored(k)));
  }

  // An integer stored value as the number it stands for.
  long long IntegerOf(ULONG stored) const {
    if (!isSigned || bitsStored == 0)
      return stored;
    const long long sign = 1ll << (bitsStored - 1);
    return (long long)(stored ^ ULONG(sign)) - sign;
  }

  bool IsPadding(ULONG k) const { return hasPadding && Stored(k) == padding; }

  // Stores a number: floating-point samples take it as it is, integer
  // samples its truncation cut to the stored bits at their place (the other
  // bits of the unit are kept).
  void SetNumber(ULONG k, double v) {
    if (floating) {
      if (unit == 8)
        std::memcpy(bytes + 8ull * k, &v, 8);
      else {
        const float f = float(v);
        std::memcpy(bytes + 4ull * k, &f, 4);
      }
      return;
    }
    SetStored(k, ULONG((long long)(v)));
  }

  void SetStored(ULONG k, ULONG stored) {
    const ULONG placed = (stored & mask) << lowBit, kept = Unit32(k) & ~(mask << lowBit);
    const ULONG word = kept | placed;
    std::memcpy(bytes + 4ull * k, &word, 4);
  }

  void Copy(ULONG to, ULONG from) {
    std::memmove(bytes + (unsigned long long)(unit)*to, bytes + (unsigned long long)(unit)*from, unit);
  }
  void Swap(ULONG a, ULONG b) {
    UBYTE kept[8];
    std::memcpy(kept, bytes + (unsigned long long)(unit)*a, unit);
    Copy(a, b);
    std::memcpy(bytes + (unsigned long long)(unit)*b, kept, unit);
  }
  void Zero(ULONG k) { std::memset(bytes + (unsigned long long)(unit)*k, 0, unit); }

 private:
  ULONG Unit32(ULONG k) const {
    ULONG word;
    std::memcpy(&word, bytes + 4ull * k, 4);
    return word;
  }

  UBYTE* bytes = nullptr;
  ULONG count = 0;
  unsigned unit = 4;
  bool floating = false;
  bool isSigned = false;
  UWORD lowBit = 0;
  UWORD bitsStored = 0;
  ULONG mask = 0;
  bool hasPadding = false;
  ULONG padding = 0;
};

#endif
