// RAW files: bare pixel samples without any header, written from a frame
// (little endian, big endian, or the stored data extracted as they are) and
// read as a one-sample grey frame whose data stay in the file until used.
#include "formats/ImageWriting.h"
#include "frame/qzmMedicalFrame.h"

#include "dicom/qzmDicomDataElementSet.h"
#include "lib/ofbstream.h"
#include "lib/qzcError.h"
#include "lib/qzcFileName.h"
#include "lib/qzcWarning.h"

#include <sys/stat.h>

#include <algorithm>

namespace {

typedef qzmDicomDataElementDescription VRs;

const char* const SaveSignature =
    "bool qzmMedicalFrame::SaveAsRAW( const qzcFileName&, const qzmMedicalFrame::ConversionContext&, const bool )";
const char* const LoadSignature = "bool qzmMedicalFrame::LoadAsRaw(const qzcFileName&, const qzcCmdLineParser&)";

// Writes an OB (or UN) value's bytes or an OW value's words in the stream's
// byte order. False when the value holds no pixel data.
bool WriteValueData(ofbstream& ofs, const qzmDicomDataElementValue& value) {
  const VRs::VR vr = value.GetVR();
  if (vr == VRs::OB || vr == VRs::UN)
    value.OB().WriteData(ofs);
  else if (vr == VRs::OW)
    value.OW().WriteData(ofs);
  else
    return false;
  return true;
}

// Mode 2: the stored bytes as they are, this frame's or the whole element.
bool WriteExtracted(ofbstream& ofs, const qzmDicomDataElementValue& data) {
  if (!WriteValueData(ofs, data)) {
    qzcError(SaveSignature, "no pixel data to extract!").Report();
    return false;
  }
  return true;
}

// Units of more than 16 bits held in host order, written in the order asked
// for.
void WriteWideUnits(ofbstream& ofs, qzmDicomDataElementValue& value, unsigned unit, bool bigEndian) {
  const UWORD probe = 1;
  const bool hostBig = *reinterpret_cast<const UBYTE*>(&probe) == 0;
  const UBYTE* data = value.OB().GetMemoryLocation();
  const ULONG size = value.OB().GetSize();
  if (!data)
    return;
  if (hostBig == bigEndian) {
    ofs.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    return;
  }
  char swapped[8];
  for (ULONG k = 0; k + unit <= size; k += unit) {
    std::reverse_copy(data + k, data + k + unit, swapped);
    ofs.write(swapped, std::streamsize(unit));
  }
}

}  // namespace

bool qzmMedicalFrame::SaveAsRAW(const qzcFileName& name, const ConversionContext& context, UWORD mode, bool whole,
                                qzmDicomDataElementSet& set) {
  const UWORD frames = FrameCountOf(set);
  const auto pixelData = set.find(PixelElementOf(set));
  if (mode == 2 && whole && pixelData == set.end()) {
    qzcError(SaveSignature, "the set has no Pixel Data to extract!").Report();
    return false;
  }
  // The samples are prepared (compressed ones decoded) before the file is
  // opened: a frame that cannot be prepared leaves no file behind.
  qzmDicomDataElementValue wholeSet;
  if (mode != 2 && whole && frames > 1) {
    const auto organized = [](qzmMedicalFrame& frame) {
      return frame.GetOrganizedToRaw(frame.OrganizedRaw) ? &frame.OrganizedRaw : nullptr;
    };
    if (!ConcatenateFrames(set, frames, organized, wholeSet, SaveSignature)) {
      qzcError(SaveSignature, "unable to clean data to raw format!").Report();
      return false;
    }
  } else if (mode != 2 && !GetOrganizedToRaw(OrganizedRaw)) {
    qzcError(SaveSignature, "unable to clean data to raw format!").Report();
    return false;
  }
  const char* destination = context.ToStandardOutput ? "stdout" : name.c_str();
  ofbstream ofs(context.ToStandardOutput ? "cout" : name.c_str(), std::ios::out | std::ios::binary);
  if (!ofs) {
    qzcError(SaveSignature, "unable to open destination file %s!", destination).Report();
    return false;
  }
  if (mode == 2) {
    if (whole)
      qzcWarning(SaveSignature, "using original Pixel Data.").Report();
    if (!WriteExtracted(ofs, whole ? pixelData->second : SourcePixels.Value))
      return false;
  } else {
    ofs << (mode == 0 ? little_endian : big_endian);
    if (Structure.Sample.IsWide())
      WriteWideUnits(ofs, whole && frames > 1 ? wholeSet : OrganizedRaw.Value, Structure.Sample.BitsAllocated / 8u,
                     mode == 1);
    else
      WriteValueData(ofs, whole && frames > 1 ? wholeSet : OrganizedRaw.Value);
  }
  if (!ofs) {
    qzcError(SaveSignature, "unable to write to destination file %s!", destination).Report();
    return false;
  }
  ofs.close();
  return true;
}

bool qzmMedicalFrame::LoadAsRaw(const qzcFileName& name, const ConversionSettings& settings) {
  Reset();
  const struct Structure& size = settings.Structure;
  // A size with one side 0 has no pixel either.
  if (size.Rows == 0 || size.Columns == 0) {
    qzcError(LoadSignature, "missing size information (use --size)!").Report();
    return false;
  }
  Structure.PhotometricInterpretation = "MONOCHROME2";
  Structure.SamplesPerPixel = 1;
  Structure.PlanarConfiguration = 0;
  Structure.Rows = size.Rows;
  Structure.Columns = size.Columns;
  Structure.NumberOfPixels = Structure.NumberOfSamples = ULONG(size.Rows) * size.Columns;
  Structure.Sample.PixelRepresentation = 0;

  struct stat status;
  if (stat(name.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
    qzcError(LoadSignature, "unable to read the size of file %s!", name.c_str()).Report();
    return false;
  }
  const unsigned long long fileSize = (unsigned long long)(status.st_size);
  const struct Structure::Sample& given = size.Sample;
  const unsigned long long deducedBits = fileSize / Structure.NumberOfPixels * 8;
  const UWORD stored = given.BitsStored ? given.BitsStored : UWORD(deducedBits > 0xFFFF ? 0xFFFF : deducedBits);
  const UWORD allocated = given.BitsAllocated ? given.BitsAllocated : stored == 0 ? 8 : UWORD((stored + 7ul) / 8 * 8);
  const UWORD high = given.HighBit ? given.HighBit : UWORD(stored - 1);
  Structure.Sample.SetBitsAllocatedStoredHigh(allocated, stored, high);
  if (Structure.Sample.BitsAllocated > 16)
    qzcWarning(LoadSignature, "bits allocated %u > 16 are not fully supported... (email me)",
               unsigned(Structure.Sample.BitsAllocated))
        .Report();

  const unsigned long long needed =
      (unsigned long long)(Structure.NumberOfSamples) * Structure.Sample.BitsAllocated / 8;
  if (fileSize < needed) {
    qzcError(LoadSignature, "missing pixel data (%lu words at least expected, %lu found)!", (unsigned long)(needed),
             (unsigned long)(fileSize))
        .Report();
    return false;
  }
  if (!Structure.Sample.IsAddressable()) {
    qzcError(LoadSignature, "unsupported sample layout (Bits Allocated %u, Bits Stored %u, High Bit %u)!",
             unsigned(Structure.Sample.BitsAllocated), unsigned(Structure.Sample.BitsStored),
             unsigned(Structure.Sample.HighBit))
        .Report();
    return false;
  }
  if (Structure.Sample.BitsAllocated <= 8) {
    SourcePixels.Value.SetVR(VRs::OB);
    SourcePixels.Value.OB().SwitchToFileMode(name, 0, iobs::default_bflags);
    SourcePixels.Value.OB().SetSize(ULONG(needed));
  } else {
    SourcePixels.Value.SetVR(VRs::OW);
    SourcePixels.Value.OW().SwitchToFileMode(name, 0, iobs::default_bflags);
    SourcePixels.Value.OW().SetSize(ULONG(needed / 2));
  }
  MarkNewSource();
  return true;
}
