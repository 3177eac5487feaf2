#include "formats/ImageWriting.h"

#include "dicom/qzmDicomDataElementSet.h"
#include "frame/qzmPixelSamples.h"
#include "lib/qzcError.h"

#include <algorithm>
#include <cstring>

namespace {

// Samples per pixel an image writer expects for an interpretation; 0 when
// no writer converts it.
unsigned ExpectedSamples(const qzcString& interpretation) {
  if (interpretation == "MONOCHROME1" || interpretation == "MONOCHROME2" || interpretation == "PALETTE COLOR")
    return 1;
  if (interpretation == "RGB")
    return 3;
  return 0;
}

// One colour table as bytes: the high byte of 16-bit entries.
bool TableBytes(qzmDicomDataElementValue& table, std::size_t entries, std::vector<UBYTE>& bytes) {
  bytes.resize(entries);
  if (table.GetVR() == qzmDicomDataElementDescription::OW) {
    const UWORD* words = table.OW().GetMemoryLocation();
    if (!words || table.OW().GetSize() < entries)
      return false;
    std::transform(words, words + entries, bytes.begin(), [](UWORD w) { return UBYTE(w >> 8); });
    return true;
  }
  if (table.GetVR() != qzmDicomDataElementDescription::OB)
    return false;
  const UBYTE* data = table.OB().GetMemoryLocation();
  if (!data || table.OB().GetSize() < entries)
    return false;
  std::copy(data, data + entries, bytes.begin());
  return true;
}

}  // namespace

const char* DestinationName(const qzcFileName& name, bool toStandardOutput) {
  return toStandardOutput ? "stdout" : name.c_str();
}

bool SamplesFitInterpretation(const qzmMedicalFrame& frame, const char* signature) {
  const unsigned expected = ExpectedSamples(frame.Structure.PhotometricInterpretation);
  if (expected == 0 || expected == frame.Structure.SamplesPerPixel)
    return true;
  qzcError(signature, "Photometric Interpretation %s does not fit %u samples per pixel!",
           frame.Structure.PhotometricInterpretation.c_str(), unsigned(frame.Structure.SamplesPerPixel))
      .Report();
  return false;
}

const UBYTE* ImageBytes(qzcDatedValue& image, std::uint64_t needed, const char* signature) {
  const UBYTE* bytes = nullptr;
  std::uint64_t held = 0;
  qzmDicomDataElementValue& value = image.Value;
  if (value.GetVR() == qzmDicomDataElementDescription::OB) {
    bytes = value.OB().GetMemoryLocation();
    held = value.OB().GetSize();
  } else if (value.GetVR() == qzmDicomDataElementDescription::OW) {
    bytes = reinterpret_cast<const UBYTE*>(value.OW().GetMemoryLocation());
    held = 2 * std::uint64_t(value.OW().GetSize());
  }
  if (bytes && held >= needed)
    return bytes;
  qzcError(signature, "image holds %llu bytes, %llu needed!", (unsigned long long)(bytes ? held : 0),
           (unsigned long long)needed)
      .Report();
  return nullptr;
}

bool LoadPalette(qzmMedicalFrame& frame, std::size_t maxEntries, Palette& palette, const char* signature) {
  const std::size_t entries = std::min<std::size_t>(frame.ClutEntries, maxEntries);
  if (TableBytes(frame.RedClut, entries, palette.red) && TableBytes(frame.GreenClut, entries, palette.green) &&
      TableBytes(frame.BlueClut, entries, palette.blue))
    return true;
  qzcError(signature, "colour lookup tables hold fewer than %u entries!", unsigned(entries)).Report();
  return false;
}

bool OpenDestination(ofbstream& ofs, const qzcFileName& name, bool toStandardOutput, const char* signature) {
  ofs.open(toStandardOutput ? "cout" : name.c_str(), std::ios::out | std::ios::binary);
  if (!ofs.fail())
    return true;
  qzcError(signature, "unable to open destination file %s!", DestinationName(name, toStandardOutput)).Report();
  return false;
}

bool CloseDestination(ofbstream& ofs, const qzcFileName& name, const qzmMedicalFrame::ConversionContext& context,
                      const char* signature) {
  ofs.close();
  if (!ofs.fail())
    return true;
  qzcError(signature, "unable to write to destination file %s!", DestinationName(name, context.ToStandardOutput))
      .Report();
  return false;
}

bool PixelsFitForWriting(qzmMedicalFrame& frame, const char* signature) {
  return frame.ArePixelsReady() && SamplesFitInterpretation(frame, signature);
}

bool PrepareBgrImage(qzmMedicalFrame& frame, const qzmMedicalFrame::ConversionContext& context, const char* signature) {
  if (frame.Structure.SamplesPerPixel == 1) {
    if (frame.GetResampledTo8(frame.Resampled8, context.ApplyWindowing, context.ReSamplingMethod))
      return true;
    qzcError(signature, "unable to reorganize from %u bit to 8 bit!", unsigned(frame.Structure.Sample.BitsStored))
        .Report();
    return false;
  }
  if (frame.Structure.PhotometricInterpretation == "RGB" && !frame.GetResampledToBGR24(frame.ResampledBGR24)) {
    qzcError(signature, "unable to reorganize from RGB to BGR 24 bits!").Report();
    return false;
  }
  return true;
}

bool ConcatenateFrames(const qzmDicomDataElementSet& set, UWORD frames,
                       const std::function<qzcDatedValue*(qzmMedicalFrame&)>& image, qzmDicomDataElementValue& all,
                       const char* signature) {
  qzmMedicalFrame frame;
  ULONG units = 0;
  bool words = false;
  for (UWORD k = 1; k <= frames; ++k) {
    qzcDatedValue* buffer = frame.UpdateFrom(set, k) ? image(frame) : nullptr;
    if (!buffer) {
      qzcError(signature, "unable to prepare frame %u of %u!", unsigned(k), unsigned(frames)).Report();
      return false;
    }
    qzmDicomDataElementValue& value = buffer->Value;
    const bool frameWords = value.GetVR() == qzmDicomDataElementDescription::OW;
    const ULONG frameUnits = frameWords ? value.OW().GetSize() : value.OB().GetSize();
    if (k == 1) {
      units = frameUnits;
      words = frameWords;
      const unsigned long long total = (unsigned long long)(units) * frames;
      if (total > 0xFFFFFFFEull / (words ? 2 : 1) ||
          !qzmPixelSamples::ReserveOwned(all, words ? qzmDicomDataElementDescription::OW : qzmDicomDataElementDescription::OB,
                                         ULONG(total))) {
        qzcError(signature, "unable to allocate memory for %u frames!", unsigned(frames)).Report();
        return false;
      }
    } else if (frameUnits != units || frameWords != words) {
      qzcError(signature, "frame %u does not have the layout of frame 1!", unsigned(k)).Report();
      return false;
    }
    const ULONG bytes = units * (words ? 2 : 1);
    const void* source = words ? static_cast<const void*>(value.OW().GetMemoryLocation())
                               : static_cast<const void*>(value.OB().GetMemoryLocation());
    UBYTE* target = words ? reinterpret_cast<UBYTE*>(all.OW().GetMemoryLocation()) : all.OB().GetMemoryLocation();
    if (!source) {
      qzcError(signature, "unable to read frame %u!", unsigned(k)).Report();
      return false;
    }
    std::memcpy(target + (unsigned long long)(bytes) * (k - 1), source, bytes);
  }
  return true;
}
