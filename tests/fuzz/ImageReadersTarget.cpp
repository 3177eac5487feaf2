// The BMP and RAW image readers, through the frame's construction from a
// file name, and the 8-bit image made from what they read. The first byte
// chooses the reader: even for BMP (the rest of the input is the file), odd
// for RAW, where the next three bytes give the --size rows and columns and
// the --sample bits stored (0: from the file size) and the rest is the file.
#include "FuzzSupport.h"

#include "frame/qzmMedicalFrame.h"
#include "lib/qzcFileName.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0)
    return 0;
  fuzzsupport::BeginInput();
  qzmMedicalFrame::ConversionSettings settings;
  std::string file;
  if (data[0] % 2 == 0) {
    file = fuzzsupport::WriteScratchFile("input.bmp", data + 1, size - 1);
  } else {
    if (size < 4)
      return 0;
    struct qzmMedicalFrame::Structure& structure = settings.Structure;
    structure.Rows = data[1];
    structure.Columns = data[2];
    structure.NumberOfPixels = structure.NumberOfSamples = ULONG(structure.Rows) * structure.Columns;
    structure.Sample.BitsStored = UWORD(data[3] % 33);
    file = fuzzsupport::WriteScratchFile("input.raw", data + 4, size - 4);
  }
  qzmMedicalFrame frame;
  if (frame.UpdateFrom(qzcFileName(file), settings))
    frame.GetResampledTo8(frame.Resampled8, false, qzmMedicalFrame::ReSamplingMethod::linear);
  return 0;
}
