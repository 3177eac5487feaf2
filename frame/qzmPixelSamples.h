// Random access to the samples of a pixel buffer: byte units (OB) holding
// samples of up to 8 bits, or word units (OW) holding samples of up to 16
// bits. 8-bit bytes and 16-bit words are addressed directly, every other
// width through the bit mapper. Callers keep indices below Capacity().
#ifndef QZM_PIXEL_SAMPLES_H
#define QZM_PIXEL_SAMPLES_H

#include "dicom/qzmDicomDataElementValue.h"
#include "lib/qzcBitMapper.h"
#include "lib/qzcTypes.h"

class qzmPixelSamples {
 public:
  // An empty view: capacity 0.
  qzmPixelSamples() : byteMapper(8, nullptr), wordMapper(16, nullptr) {}

  // bits must lie within 1 and the unit width.
  qzmPixelSamples(UBYTE* bytes, ULONG count, UWORD bits)
      : bytes(bytes), units(count), bits(bits), byteMapper(bits, bytes), wordMapper(16, nullptr) {}
  qzmPixelSamples(UWORD* words, ULONG count, UWORD bits)
      : words(words), units(count), bits(bits), byteMapper(8, nullptr), wordMapper(bits, words) {}

  // The samples of an OB buffer of up to 8-bit samples or an OW buffer of
  // up to 16-bit samples, file data loaded on first use; an empty view when
  // the data cannot be had or the width does not fit the unit.
  static qzmPixelSamples Of(qzmDicomDataElementValue& value, UWORD bits) {
    const qzmDicomDataElementValue::VR vr = value.GetVR();
    if (vr == qzmDicomDataElementDescription::OB && bits >= 1 && bits <= 8)
      return OfLocation(value.OB(), bits);
    if (vr == qzmDicomDataElementDescription::OW && bits >= 1 && bits <= 16)
      return OfLocation(value.OW(), bits);
    return qzmPixelSamples();
  }

  // Makes value an OB or OW buffer that owns a memory block of count units.
  // An owned block of that size is kept; a shared or file one is never
  // written to but replaced. False (reported by the location) when the
  // block cannot be allocated.
  static bool ReserveOwned(qzmDicomDataElementValue& value, qzmDicomDataElementValue::VR vr, ULONG count) {
    value.SetVR(vr);
    return vr == qzmDicomDataElementDescription::OW ? ReserveOwnedLocation(value.OW(), count)
                                                    : ReserveOwnedLocation(value.OB(), count);
  }

  // Number of whole samples the buffer holds.
  ULONG Capacity() const {
    if (!bits || (!bytes && !words))
      return 0;
    return ULONG((unsigned long long)(units)*UnitBits() / bits);
  }

  UWORD Bits() const { return bits; }

  // The units themselves when every sample fills one whole unit (16-bit
  // samples in words, 8-bit samples in bytes), null otherwise: sample k is
  // then unit k, as Get would read it.
  const UWORD* WholeWords() const { return words && bits == 16 ? words : nullptr; }
  const UBYTE* WholeBytes() const { return bytes && bits == 8 ? bytes : nullptr; }

  // Runs loop(at) once, at(k) giving sample k as Get does: a plain load from
  // the units when samples fill them, so that loops over many samples do not
  // choose the unit and width again for each one.
  template <typename Loop>
  void Read(Loop loop) const {
    if (const UWORD* whole = WholeWords())
      loop([whole](ULONG k) { return whole[k]; });
    else if (const UBYTE* whole = WholeBytes())
      loop([whole](ULONG k) { return UWORD(whole[k]); });
    else
      loop([this](ULONG k) { return Get(k); });
  }

  // The sample's bits, zero-extended.
  UWORD Get(ULONG k) const {
    if (bytes) {
      if (bits == 8)
        return bytes[k];
      byteMapper.MoveTo(k);
      return byteMapper.Get();
    }
    if (bits == 16)
      return words[k];
    wordMapper.MoveTo(k);
    return wordMapper.Get();
  }

  // The moves the in-place operations share with qzmWideSamples.
  void Copy(ULONG to, ULONG from) { Set(to, Get(from)); }
  void Swap(ULONG a, ULONG b) {
    const UWORD kept = Get(a);
    Set(a, Get(b));
    Set(b, kept);
  }
  void Zero(ULONG k) { Set(k, 0); }

  // Stores v cut to the sample's width, leaving the neighbours untouched.
  void Set(ULONG k, ULONG v) {
    if (bytes) {
      if (bits == 8) {
        bytes[k] = UBYTE(v);
        return;
      }
      byteMapper.MoveTo(k);
      byteMapper.Set(UBYTE(v & ((1u << bits) - 1)));
      return;
    }
    if (bits == 16) {
      words[k] = UWORD(v);
      return;
    }
    wordMapper.MoveTo(k);
    wordMapper.Set(UWORD(v & ((1u << bits) - 1)));
  }

 private:
  template <typename T>
  static qzmPixelSamples OfLocation(qzcDataLocation<T>& location, UWORD bits) {
    if (location.GetMode() == qzcDataLocation<T>::undefined)
      return qzmPixelSamples();
    T* units = location.GetMemoryLocation();
    return units ? qzmPixelSamples(units, location.GetSize(), bits) : qzmPixelSamples();
  }

  template <typename T>
  static bool ReserveOwnedLocation(qzcDataLocation<T>& location, ULONG count) {
    if (location.IsOwned() && location.GetSize() == count)
      return true;
    location.Clear();
    location.SetSize(count);
    return location.AllocateMemory();
  }

  unsigned UnitBits() const { return bytes ? 8 : 16; }

  UBYTE* bytes = nullptr;
  UWORD* words = nullptr;
  ULONG units = 0;
  UWORD bits = 0;
  mutable qzcBitMapper<UBYTE> byteMapper;
  mutable qzcBitMapper<UWORD> wordMapper;
};

#endif
