// Frames built in memory for the tests of the image conversions and
// writers: prepared pixels, no data set behind them.
#ifndef MEDCONV_TESTS_FRAME_TEST_FRAMES_H
#define MEDCONV_TESTS_FRAME_TEST_FRAMES_H

#include "frame/qzmMedicalFrame.h"

#include <algorithm>
#include <string>
#include <vector>

// Checks that a report text holds a message, printing the text otherwise.
#define EXPECT_HAS(text, part) EXPECT_NE(std::string(text).find(part), std::string::npos) << (text)

namespace testframes {

// Makes frame an image of rows x columns pixels whose samples are values
// (colour-by-pixel), held in bytes when 8 bits are allocated and in words
// otherwise; the pixels count as prepared.
inline void Make(qzmMedicalFrame& frame, UWORD rows, UWORD columns, UWORD bitsAllocated, UWORD bitsStored,
                 const std::vector<UWORD>& values, const std::string& interpretation = "MONOCHROME2",
                 UWORD samplesPerPixel = 1) {
  frame.Reset();
  frame.Structure.Rows = rows;
  frame.Structure.Columns = columns;
  frame.Structure.PhotometricInterpretation = interpretation;
  frame.Structure.SamplesPerPixel = samplesPerPixel;
  frame.Structure.PlanarConfiguration = 0;
  frame.Structure.NumberOfPixels = ULONG(rows) * columns;
  frame.Structure.NumberOfSamples = frame.Structure.NumberOfPixels * samplesPerPixel;
  frame.Structure.Sample.PixelRepresentation = 0;
  frame.Structure.Sample.SetBitsAllocatedStoredHigh(bitsAllocated, bitsStored, UWORD(bitsStored - 1));
  if (bitsAllocated == 8) {
    qzcDataLocation<UBYTE>& bytes = frame.Pixels.Value.OB();
    bytes.SetSize(ULONG(values.size()));
    bytes.AllocateMemory();
    std::transform(values.begin(), values.end(), bytes.GetMemoryLocation(), [](UWORD v) { return UBYTE(v); });
  } else {
    qzcDataLocation<UWORD>& words = frame.Pixels.Value.OW();
    words.SetSize(ULONG(values.size()));
    words.AllocateMemory();
    std::copy(values.begin(), values.end(), words.GetMemoryLocation());
  }
  frame.Pixels.Date = frame.SourcePixels.Date + 1;
}

// Gives the frame a padding value.
inline void Pad(qzmMedicalFrame& frame, SWORD padding) {
  frame.HasPixelPaddingValue = true;
  frame.PixelPaddingValue = padding;
}

// Gives frame a palette of entries 16-bit (OW) colour lookup entries; entry
// k is (red(k), green(k), blue(k)).
typedef UWORD (*Colour)(UWORD);
inline void SetWordPalette(qzmMedicalFrame& frame, UWORD entries, Colour red, Colour green, Colour blue) {
  frame.HasClut = true;
  frame.ClutEntries = entries;
  frame.ClutBitsPerEntry = 16;
  auto fill = [entries](qzmDicomDataElementValue& table, Colour colour) {
    qzcDataLocation<UWORD>& words = table.OW();
    words.SetSize(entries);
    words.AllocateMemory();
    for (UWORD k = 0; k < entries; ++k)
      words.GetMemoryLocation()[k] = colour(k);
  };
  fill(frame.RedClut, red);
  fill(frame.GreenClut, green);
  fill(frame.BlueClut, blue);
}

// The bytes (or words) of an image buffer.
inline std::vector<UBYTE> Bytes(qzcDatedValue& image) {
  qzcDataLocation<UBYTE>& bytes = image.Value.OB();
  const UBYTE* data = bytes.GetMemoryLocation();
  return data ? std::vector<UBYTE>(data, data + bytes.GetSize()) : std::vector<UBYTE>();
}

inline std::vector<UWORD> Words(qzcDatedValue& image) {
  qzcDataLocation<UWORD>& words = image.Value.OW();
  const UWORD* data = words.GetMemoryLocation();
  return data ? std::vector<UWORD>(data, data + words.GetSize()) : std::vector<UWORD>();
}

// The prepared pixels of a frame as numbers.
inline std::vector<UWORD> Values(qzmMedicalFrame& frame) {
  if (frame.Pixels.Value.GetVR() == qzmDicomDataElementDescription::OW)
    return Words(frame.Pixels);
  const std::vector<UBYTE> bytes = Bytes(frame.Pixels);
  return std::vector<UWORD>(bytes.begin(), bytes.end());
}

}  // namespace testframes

#endif
