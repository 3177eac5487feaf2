// Fixtures of the JPEG decoder tests: the code stream and the image elements
// of DICOM files that DCMTK wrote, and JPEG lossless streams written here
// with the features DCMTK's encoder never uses (restart intervals, one scan
// per component, 16-bit differences, any precision).
#ifndef MEDCONV_TEST_JPEG_FIXTURES_H
#define MEDCONV_TEST_JPEG_FIXTURES_H

#include "codecs/qzmPixelLayout.h"

#include <string>
#include <vector>

namespace jpegfixtures {

using Bytes = std::vector<unsigned char>;

// The image of a DICOM file in explicit VR little endian: its layout, and its
// pixel data (native files) or the code stream of its first frame
// (encapsulated files: the first fragment after the offset table when the
// file has several frames, all fragments joined otherwise).
struct DicomImage {
  qzmPixelLayout Layout;
  unsigned Frames = 1;
  Bytes Pixels;
};
// False when the file cannot be read or has no pixel data.
bool ReadDicomImage(const std::string& path, DicomImage& image);

// Samples of a native image as numbers, by pixel data unit.
std::vector<int> Samples(const Bytes& pixels, unsigned bitsAllocated);

// A JPEG lossless stream of the samples given (colour-by-pixel).
struct LosslessLayout {
  int Rows = 1, Columns = 1, Components = 1, Precision = 8;
  int Predictor = 1, PointTransform = 0;
  int RestartInterval = 0;  // 0: none
  bool Interleaved = true;  // false: one scan per component
};
Bytes EncodeLossless(const LosslessLayout& shape, const std::vector<int>& samples);

}  // namespace jpegfixtures

#endif
