// Already compressed JPEG data of a frame written as a file any viewer
// opens: the fragments joined, with a JFIF header when they carry none (an
// Adobe segment that keeps the colours for RGB data).
#include "formats/ImageWriting.h"
#include "formats/qzgJfifHeader.h"
#include "frame/qzmMedicalFrame.h"

#include "dicom/qzmDicomDataElementSet.h"
#include "lib/ofbstream.h"
#include "lib/qzcError.h"

namespace {

const char* const saveSignature =
    "bool qzmMedicalFrame::SaveAsJPEG( const qzcFileName&, const qzmMedicalFrame::ConversionContext& )";

// The start of image and an Adobe APP14 segment (version 100, no flags)
// whose transform code 0 says the three components are red, green and blue
// themselves. A JFIF header would make every decoder take them for YCbCr
// and convert RGB data to wrong colours.
const UBYTE RgbStart[] = {0xFF, 0xD8, 0xFF, 0xEE, 0x00, 0x0E, 'A',  'd',  'o',
                          'b',  'e',  0x00, 0x64, 0x00, 0x00, 0x00, 0x00, 0x00};

// The start of the file in front of data that carry no JFIF header.
void WriteStart(ofbstream& ofs, bool rgb, const UBYTE* data, ULONG size) {
  if (rgb && qzgJfifHeader::StartsWithSoi(data, size))
    ofs.WriteBlock(RgbStart, sizeof RgbStart);
  else
    qzgJfifHeader().Write(ofs);
}

}  // namespace

bool qzmMedicalFrame::SaveAsJPEG(const qzcFileName& name, const ConversionContext& context) {
  if (!qzmDicomDataElementSet::IsJpegSyntax(TransferSyntax)) {
    qzcError(saveSignature, "original encapsulated/compressed DICOM data are not in JPEG format!").Report();
    return false;
  }
  if (!GetConcatenatedFragments(Fragments)) {
    qzcError(saveSignature, "unable to concatenate fragments!").Report();
    return false;
  }
  qzcDataLocation<UBYTE>& location = Fragments.Value.OB();
  const UBYTE* data = location.GetMemoryLocation();
  ULONG size = data ? location.GetSize() : 0;
  ofbstream ofs;
  if (!OpenDestination(ofs, name, context.ToStandardOutput, saveSignature))
    return false;
  if (!qzgJfifHeader::IsJfif(data, size)) {
    WriteStart(ofs, Structure.PhotometricInterpretation == "RGB", data, size);
    if (qzgJfifHeader::StartsWithSoi(data, size)) {  // the start has written the start-of-image marker
      data += 2;
      size -= 2;
    }
  }
  ofs.WriteBlock(data, size);
  return CloseDestination(ofs, name, context, saveSignature);
}
