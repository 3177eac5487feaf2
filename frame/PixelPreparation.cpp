// Pixel data preparation: a frame's view on its stored bytes becomes native,
// colour-by-pixel samples (compressed frames decoded by the codec of their
// transfer syntax, full-range YBR converted to RGB), plus the in-place
// conversions and the derived raw and inverted images. Every length taken
// from the data (fragment items) is checked against the buffer it addresses
// before it is used.
#include "frame/qzmMedicalFrame.h"

#include "dicom/qzmDicomDataElementSet.h"
#include "codecs/qzmCodecTable.h"
#include "frame/WidePixels.h"
#include "frame/qzmPixelSamples.h"
#include "lib/qzcError.h"
#include "lib/qzcWarning.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace {

typedef qzmDicomDataElementDescription VRs;

const char* const ArePixelsReadySignature = "bool qzmMedicalFrame::ArePixelsReady()";
const char* const ConcatenateSignature = "bool qzmMedicalFrame::GetConcatenatedFragments( qzcDatedValue& )";
const char* const DecodeSignature = "bool qzmMedicalFrame::DecodeFrame()";
const char* const YbrSignature = "bool qzmMedicalFrame::ConvertYbrToRgb()";
const char* const PlanarSignature = "bool qzmMedicalFrame::ChangePlanarConfigurationToColorByPixel()";
const char* const RepresentationSignature = "bool qzmMedicalFrame::ChangePixelRepresentationToUnsigned(const SLONG)";
const char* const RawSignature = "bool qzmMedicalFrame::GetOrganizedToRaw( qzcDatedValue& )";

// Frames up to this size are decoded whatever their stream's size; larger
// ones must come from a stream at most MaximumExpansion times smaller.
const unsigned long long MaximumFrameWithoutRatioCheck = 64ull << 20;
const unsigned long long MaximumExpansion = 4096;

ULONG Little32(const UBYTE* p) {
  return ULONG(p[0]) | ULONG(p[1]) << 8 | ULONG(p[2]) << 16 | ULONG(p[3]) << 24;
}

bool IsItemTag(const UBYTE* p) {
  return p[0] == 0xFE && p[1] == 0xFF && p[2] == 0x00 && p[3] == 0xE0;
}

// Walks the fragment items of size bytes; calls visit(content, length) for
// each. False, reported, when an item tag is missing or an item runs past
// the end.
template <typename Visit>
bool ForEachFragment(const UBYTE* data, ULONG size, Visit visit) {
  ULONG position = 0;
  while (position < size) {
    if (size - position < 8 || !IsItemTag(data + position)) {
      qzcError(ConcatenateSignature, "Item tag not found!").Report();
      return false;
    }
    const ULONG length = Little32(data + position + 4);
    if (length > size - position - 8) {
      qzcError(ConcatenateSignature, "fragment item of %lu bytes runs past the end of the pixel data (0x%lx)!",
               (unsigned long)(length), (unsigned long)(position))
          .Report();
      return false;
    }
    visit(data + position + 8, length);
    position += 8 + length;
  }
  return true;
}

// A private copy of a buffer's units, for reorganisations that read the old
// layout while writing the new one.
class UnitCopy {
 public:
  // False when the memory cannot be had.
  bool Take(qzmDicomDataElementValue& value, UWORD bits) {
    const qzmPixelSamples source = qzmPixelSamples::Of(value, bits);
    if (value.GetVR() == VRs::OW) {
      const ULONG count = value.OW().GetSize();
      words.reset(new (std::nothrow) UWORD[count ? count : 1]);
      if (!words || !source.Capacity())
        return false;
      std::memcpy(words.get(), value.OW().GetMemoryLocation(), count * sizeof(UWORD));
      samples = qzmPixelSamples(words.get(), count, bits);
    } else {
      const ULONG count = value.OB().GetSize();
      bytes.reset(new (std::nothrow) UBYTE[count ? count : 1]);
      if (!bytes || !source.Capacity())
        return false;
      std::memcpy(bytes.get(), value.OB().GetMemoryLocation(), count);
      samples = qzmPixelSamples(bytes.get(), count, bits);
    }
    return true;
  }
  const qzmPixelSamples& Samples() const { return samples; }

 private:
  std::unique_ptr<UBYTE[]> bytes;
  std::unique_ptr<UWORD[]> words;
  qzmPixelSamples samples;
};

// OB data of more than 8 bits per sample become little-endian words, the
// unit the pixel code addresses such samples in.
bool WidenBytesToWords(qzmDicomDataElementValue& pixels) {
  const ULONG count = pixels.OB().GetSize();
  const UBYTE* source = pixels.OB().GetMemoryLocation();
  std::unique_ptr<UBYTE[]> bytes(new (std::nothrow) UBYTE[count ? count : 1]);
  if (!source || !bytes)
    return false;
  std::memcpy(bytes.get(), source, count);
  if (!qzmPixelSamples::ReserveOwned(pixels, VRs::OW, (count + 1) / 2))
    return false;
  UWORD* words = pixels.OW().GetMemoryLocation();
  for (ULONG k = 0; k + 1 < count; k += 2)
    words[k / 2] = UWORD(bytes[k] | bytes[k + 1] << 8);
  if (count % 2)
    words[count / 2] = bytes[count - 1];
  return true;
}

// The stored value of each of the frame's samples, cut to the unit of raw
// (NumberOfSamples units), padding pixels replaced by PaddingReplacement.
template <typename Unit>
void WriteStoredValues(const qzmMedicalFrame& frame, const qzmPixelSamples& pixels, Unit* raw) {
  const struct qzmMedicalFrame::Structure::Sample& sample = frame.Structure.Sample;
  const ULONG count = frame.Structure.NumberOfSamples;
  const UWORD lowBit = sample.LowBit, mask = sample.StoredMask;
  const UWORD replacement = frame.PaddingReplacement;
  const bool hasPadding = frame.HasPixelPaddingValue;
  pixels.Read([&](auto sampleAt) {
    for (ULONG k = 0; k < count; ++k) {
      const UWORD v = UWORD((sampleAt(k) >> lowBit) & mask);
      raw[k] = Unit(hasPadding && frame.IsPaddingStored(v) ? replacement : v);
    }
  });
}

// The layout a decoder fills: the frame's as the set announces it.
qzmPixelLayout LayoutOf(const qzmMedicalFrame& frame) {
  qzmPixelLayout layout;
  layout.Rows = frame.Structure.Rows;
  layout.Columns = frame.Structure.Columns;
  layout.SamplesPerPixel = frame.Structure.SamplesPerPixel;
  layout.BitsAllocated = frame.Structure.Sample.BitsAllocated;
  layout.BitsStored = frame.Structure.Sample.BitsStored;
  layout.PixelRepresentation = frame.Structure.Sample.PixelRepresentation;
  layout.PlanarConfiguration = frame.Structure.PlanarConfiguration;
  layout.PhotometricInterpretation = frame.Structure.PhotometricInterpretation;
  return layout;
}

// Full-range luminance and chrominance, as native sets and some encoders
// leave them; the image writers want RGB.
bool IsFullRangeYbr(const qzcString& photometric) {
  return photometric == "YBR_FULL" || photometric == "YBR_FULL_422";
}

}  // namespace

bool qzmMedicalFrame::ArePixelsReady() {
  if (Pixels.Date >= SourcePixels.Date)
    return true;
  if (HasNativePixelData()) {
    Pixels.Value = SourcePixels.Value;
  } else if (!DecodeFrame()) {
    return false;
  }
  const struct Structure::Sample& sample = Structure.Sample;
  if (sample.IsWide()) {
    if (!PrepareWideSamples())
      return false;
    Pixels.Date = SourcePixels.Date;
    return true;
  }
  if (Pixels.Value.GetVR() != VRs::OW && sample.BitsAllocated > 8 && !WidenBytesToWords(Pixels.Value)) {
    qzcError(ArePixelsReadySignature, "unable to load pixel data as words!").Report();
    return false;
  }
  const ULONG found = qzmPixelSamples::Of(Pixels.Value, sample.BitsAllocated).Capacity();
  const ULONG expected = HasNativePixelData() ? StoredSampleCount() : Structure.NumberOfSamples;
  if (found < expected) {
    qzcError(ArePixelsReadySignature, "missing pixel data (%lu samples expected, %lu found)!",
             (unsigned long)(expected), (unsigned long)(found))
        .Report();
    return false;
  }
  if (Structure.SamplesPerPixel >= 2 && Structure.PlanarConfiguration != 0) {
    if (!ChangePlanarConfigurationToColorByPixel()) {
      qzcError(ArePixelsReadySignature, "unable to change the Planar Configuration of the frame!").Report();
      return false;
    }
    qzcWarning(ArePixelsReadySignature, "Planar Configuration changed to color-by-pixel (0).").Report();
  }
  if (IsFullRangeYbr(Structure.PhotometricInterpretation) && !ConvertYbrToRgb()) {
    qzcError(ArePixelsReadySignature, "unable to convert %s samples to RGB!",
             Structure.PhotometricInterpretation.c_str())
        .Report();
    return false;
  }
  Pixels.Date = SourcePixels.Date;
  return true;
}

bool qzmMedicalFrame::DecodeFrame() {
  const qzmPixelDecoder* decoder = qzmCodecTable::DecoderFor(TransferSyntax);
  if (!decoder) {
    qzcError(DecodeSignature, "pixel data in transfer syntax %s can not be decoded by this build!",
             TransferSyntax.c_str())
        .Report();
    return false;
  }
  const qzmPixelLayout layout = LayoutOf(*this);
  if (!GetConcatenatedFragments(Fragments))
    return false;
  const unsigned long long bytes = layout.FrameBytes();
  const ULONG streamBytes = Fragments.Value.OB().GetSize();
  // No codec expands a stream beyond this; a larger frame comes from a
  // damaged set, whose sizes must not make the buffer huge.
  if (bytes > MaximumFrameWithoutRatioCheck && bytes > MaximumExpansion * streamBytes) {
    qzcError(DecodeSignature, "a code stream of %lu bytes can not hold a frame of %llu bytes!",
             (unsigned long)(streamBytes), bytes)
        .Report();
    return false;
  }
  // 16-bit samples are words; wider ones, like bytes, are kept as OB of
  // host-order units.
  const bool words = layout.BitsAllocated == 16;
  if (bytes > 0xFFFFFFFEull ||
      !qzmPixelSamples::ReserveOwned(Pixels.Value, words ? VRs::OW : VRs::OB, ULONG(words ? bytes / 2 : bytes))) {
    qzcError(DecodeSignature, "unable to hold a decoded frame of %u x %u pixels, %u samples of %u bits!",
             unsigned(layout.Columns), unsigned(layout.Rows), unsigned(layout.SamplesPerPixel),
             unsigned(layout.BitsAllocated))
        .Report();
    return false;
  }
  UBYTE* out =
      words ? reinterpret_cast<UBYTE*>(Pixels.Value.OW().GetMemoryLocation()) : Pixels.Value.OB().GetMemoryLocation();
  std::memset(out, 0, bytes);
  qzcString photometric = layout.PhotometricInterpretation;
  if (!decoder->Decode(Fragments.Value.OB().GetMemoryLocation(), Fragments.Value.OB().GetSize(), layout, out,
                       photometric)) {
    qzcError(DecodeSignature, "unable to decode the frame (transfer syntax %s)!", TransferSyntax.c_str()).Report();
    Pixels.Value = qzmDicomDataElementValue();
    return false;
  }
  Structure.PhotometricInterpretation = photometric;
  Structure.PlanarConfiguration = 0;
  return true;
}

bool qzmMedicalFrame::ConvertYbrToRgb() {
  const UWORD bits = Structure.Sample.BitsAllocated;
  if (Structure.SamplesPerPixel != 3 || (bits != 8 && bits != 16)) {
    qzcError(YbrSignature, "%s samples of %u bits can not be converted to RGB!",
             Structure.PhotometricInterpretation.c_str(), unsigned(bits))
        .Report();
    return false;
  }
  // The samples may be the set's own (native data in memory): the
  // conversion works on a private copy.
  UnitCopy source;
  if (!source.Take(Pixels.Value, bits) ||
      !qzmPixelSamples::ReserveOwned(Pixels.Value, bits == 8 ? VRs::OB : VRs::OW, Structure.NumberOfSamples))
    return false;
  qzmPixelSamples target = qzmPixelSamples::Of(Pixels.Value, bits);
  const double maximum = double((1u << Structure.Sample.BitsStored) - 1);
  const double half = double(1u << (Structure.Sample.BitsStored - 1));
  const auto clamp = [maximum](double v) { return UWORD(v < 0 ? 0 : v > maximum ? maximum : v + 0.5); };
  // Stored 4:2:2 data give each pair of pixels Y1 Y2 Cb Cr; decoders give
  // every pixel its three samples.
  const bool subsampled = HasNativePixelData() && StoredSampleCount() < Structure.NumberOfSamples;
  const qzmPixelSamples& in = source.Samples();
  for (ULONG p = 0; p < Structure.NumberOfPixels; ++p) {
    const ULONG pair = 4 * (p / 2);
    const double y = subsampled ? in.Get(pair + p % 2) : in.Get(3 * p);
    const double cb = (subsampled ? in.Get(pair + 2) : in.Get(3 * p + 1)) - half;
    const double cr = (subsampled ? in.Get(pair + 3) : in.Get(3 * p + 2)) - half;
    target.Set(3 * p, clamp(y + 1.402 * cr));
    target.Set(3 * p + 1, clamp(y - 0.344136 * cb - 0.714136 * cr));
    target.Set(3 * p + 2, clamp(y + 1.772 * cb));
  }
  Structure.PhotometricInterpretation = "RGB";
  return true;
}

bool qzmMedicalFrame::GetConcatenatedFragments(qzcDatedValue& out) {
  if (out.Date >= SourcePixels.Date)
    return true;
  if (HasNativePixelData()) {
    qzcError(ConcatenateSignature, "can not concatenate fragments for native data!").Report();
    return false;
  }
  qzcDataLocation<UBYTE>& source = SourcePixels.Value.OB();
  const UBYTE* data = source.GetMemoryLocation();
  const ULONG size = source.GetSize();
  ULONG total = 0;
  if (!data || !ForEachFragment(data, size, [&total](const UBYTE*, ULONG length) { total += length; }))
    return false;
  if (total == 0 || !qzmPixelSamples::ReserveOwned(out.Value, VRs::OB, total)) {
    qzcError(ConcatenateSignature, "unable to allocate memory for concatenated fragments!").Report();
    return false;
  }
  UBYTE* target = out.Value.OB().GetMemoryLocation();
  ForEachFragment(data, size, [&target](const UBYTE* content, ULONG length) {
    std::memcpy(target, content, length);
    target += length;
  });
  out.Date = SourcePixels.Date;
  return true;
}

bool qzmMedicalFrame::ChangePlanarConfigurationToColorByPixel() {
  if (Structure.PlanarConfiguration != 1) {
    qzcError(PlanarSignature, "can not change planar configuration %u other than 1 (color-by-plane)!",
             unsigned(Structure.PlanarConfiguration))
        .Report();
    return false;
  }
  if (Structure.SamplesPerPixel == 1) {
    qzcWarning(PlanarSignature, "it is useless to change planar configuration when samples per pixel = 1!").Report();
    return true;
  }
  const UWORD bits = Structure.Sample.BitsAllocated;
  const bool words = Pixels.Value.GetVR() == VRs::OW;
  UnitCopy old;
  const ULONG units = words ? Pixels.Value.OW().GetSize() : Pixels.Value.OB().GetSize();
  if (!old.Take(Pixels.Value, bits) || !qzmPixelSamples::ReserveOwned(Pixels.Value, words ? VRs::OW : VRs::OB, units)) {
    qzcError(PlanarSignature, words ? "unable to allocate memory (16 bits) for new planar configuration!"
                                    : "unable to allocate memory (8 bits) for new planar configuration!")
        .Report();
    return false;
  }
  qzmPixelSamples target = qzmPixelSamples::Of(Pixels.Value, bits);
  const ULONG pixels = Structure.NumberOfPixels, planes = Structure.SamplesPerPixel;
  for (ULONG p = 0; p < planes; ++p)
    for (ULONG i = 0; i < pixels; ++i)
      target.Set(i * planes + p, old.Samples().Get(p * pixels + i));
  Structure.PlanarConfiguration = 0;
  return true;
}

bool qzmMedicalFrame::ChangePixelRepresentationToUnsigned(const SLONG offset) {
  if (!ArePixelsReady()) {
    qzcWarning(RepresentationSignature, "pixels format is not supported.").Report();
    return false;
  }
  const struct Structure::Sample& sample = Structure.Sample;
  if (sample.PixelRepresentation != 1) {
    qzcWarning(RepresentationSignature, "can not change Pixel Representation %u other than 1 (unsigned)!",
               unsigned(sample.PixelRepresentation))
        .Report();
    return false;
  }
  if (sample.IsWide()) {
    qzcWarning(RepresentationSignature, "unable to change Pixel Representation of %u-bit samples!",
               unsigned(sample.BitsAllocated))
        .Report();
    return false;
  }
  if (Structure.SamplesPerPixel != 1) {
    qzcWarning(RepresentationSignature, "unable to change Pixel Representation when Samples per Pixel = %u! (email me)",
               unsigned(Structure.SamplesPerPixel))
        .Report();
    return false;
  }
  // Padding moves with the other values, so that it stays apart from them:
  // a fixed 0x8000 would not fit narrow samples and would take in the
  // values that the offset brings there (0 under the "bin" offset).
  const SLONG newPadding = SLONG((ULONG(SLONG(PixelPaddingValue)) + ULONG(offset)) & sample.StoredMask);
  qzmPixelSamples pixels = qzmPixelSamples::Of(Pixels.Value, sample.BitsAllocated);
  for (ULONG k = 0; k < Structure.NumberOfPixels; ++k) {
    const UWORD v = UWORD((pixels.Get(k) >> sample.LowBit) & sample.StoredMask);
    // Added as unsigned numbers: only the low 16 bits are kept, and the
    // offset may be a user's number near the end of its range.
    const ULONG n = IsPaddingStored(v) ? ULONG(newPadding) : (ULONG(sample.NumberOf(v)) + ULONG(offset)) & 0xFFFF;
    pixels.Set(k, n << sample.LowBit);
  }
  if (HasPixelPaddingValue)
    PixelPaddingValue = SWORD(newPadding);
  MoveWindowWithSamples(offset);
  Structure.Sample.PixelRepresentation = 0;
  // The samples changed: statistics already taken (the "min" offset scans
  // them all) and images made from the signed samples are out of date. A
  // stale maximum would wrap the linear resampling of the shifted values.
  ++Pixels.Date;
  return true;
}

bool qzmMedicalFrame::GetOrganizedToRaw(qzcDatedValue& out) {
  if (!ArePixelsReady()) {
    qzcWarning(RawSignature, "pixels format is not supported.").Report();
    return false;
  }
  if (out.Date >= Pixels.Date)
    return true;
  const struct Structure::Sample& sample = Structure.Sample;
  if (sample.IsWide()) {
    if (widepixels::OrganizeToRaw(*this, out))
      return true;
    qzcError(RawSignature, "unable to allocate memory (32 bits) for cleaned RAW frame!").Report();
    return false;
  }
  const bool words = sample.BitsStored > 8;
  const VRs::VR vr = words ? VRs::OW : VRs::OB;
  const UWORD unitBits = words ? 16 : 8;
  if (Pixels.Value.GetVR() == vr && sample.BitsAllocated == unitBits && sample.BitsStored == unitBits &&
      !HasPixelPaddingValue) {
    out.Value = Pixels.Value;
  } else {
    if (!qzmPixelSamples::ReserveOwned(out.Value, vr, Structure.NumberOfSamples)) {
      qzcError(RawSignature, words ? "unable to allocate memory (16 bits) for cleaned RAW frame!"
                                   : "unable to allocate memory (8 bits) for cleaned RAW frame!")
          .Report();
      return false;
    }
    const qzmPixelSamples pixels = qzmPixelSamples::Of(Pixels.Value, sample.BitsAllocated);
    if (words)
      WriteStoredValues(*this, pixels, out.Value.OW().GetMemoryLocation());
    else
      WriteStoredValues(*this, pixels, out.Value.OB().GetMemoryLocation());
  }
  out.Date = Pixels.Date;
  return true;
}

namespace {

// The inversion shared by the 8- and 16-bit images: every element
// complemented, except padding values, which pass unchanged.
template <typename Unit>
bool Invert(const qzmMedicalFrame& frame, qzcDatedValue& source, qzcDatedValue& out, const char* signature) {
  if (out.Date >= source.Date)
    return true;
  const bool words = sizeof(Unit) == 2;
  const ULONG count = words ? source.Value.OW().GetSize() : source.Value.OB().GetSize();
  const qzmPixelSamples in = qzmPixelSamples::Of(source.Value, words ? 16 : 8);
  if (in.Capacity() < count || !qzmPixelSamples::ReserveOwned(out.Value, words ? VRs::OW : VRs::OB, count)) {
    qzcError(signature,
             words ? "unable to allocate memory for 16-bit data!" : "unable to allocate memory for 8-bit data!")
        .Report();
    return false;
  }
  qzmPixelSamples inverted = qzmPixelSamples::Of(out.Value, words ? 16 : 8);
  const struct qzmMedicalFrame::Structure::Sample& sample = frame.Structure.Sample;
  for (ULONG k = 0; k < count; ++k) {
    const UWORD x = in.Get(k);
    const bool padding =
        frame.HasPixelPaddingValue && UWORD((x >> sample.LowBit) & sample.StoredMask) == UWORD(frame.PixelPaddingValue);
    inverted.Set(k, padding ? x : Unit(~x));
  }
  out.Date = source.Date;
  return true;
}

}  // namespace

bool qzmMedicalFrame::GetInverted8(qzcDatedValue& source, qzcDatedValue& out) {
  return Invert<UBYTE>(*this, source, out, "bool qzmMedicalFrame::GetInverted8(qzcDatedValue&, qzcDatedValue&)");
}

bool qzmMedicalFrame::GetInverted16(qzcDatedValue& source, qzcDatedValue& out) {
  return Invert<UWORD>(*this, source, out, "bool qzmMedicalFrame::GetInverted16(qzcDatedValue&, qzcDatedValue&)");
}
