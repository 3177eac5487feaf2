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

// Fills an OB (T = UBYTE) or OW (T = UWORD) location with values.
template <typename T, typename V>
void Fill(qzcDataLocation<T>& location, const std::vector<V>& values) {
  location.SetSize(ULONG(values.size()));
  location.AllocateMemory();
  std::transform(values.begin(), values.end(), location.GetMemoryLocation(), [](V v) { return T(v); });
}

// Makes frame an image of rows x columns pixels whose samples are values
// (colour-by-pixel), held in bytes when 8 bits are allocated and in words
// otherwise; the pixels count as prepared. Values past the frame's samples
// stay in the buffer, out of the frame's reach.
inline void Make(qzmMedicalFrame& frame, UWORD rows, UWORD columns, UWORD bitsAllocated, UWORD bitsStored,
                 const std::vector<UWORD>& values, const std::string& interpretation = "MONOCHROME2",
                 UWORD samplesPerPixel = 1) {
  frame.Reset();
  struct qzmMedicalFrame::Structure& s = frame.Structure;
  s.Rows = rows;
  s.Columns = columns;
  s.PhotometricInterpretation = interpretation;
  s.SamplesPerPixel = samplesPerPixel;
  s.PlanarConfiguration = s.Sample.PixelRepresentation = 0;
  s.NumberOfPixels = ULONG(rows) * columns;
  s.NumberOfSamples = s.NumberOfPixels * samplesPerPixel;
  s.Sample.SetBitsAllocatedStoredHigh(bitsAllocated, bitsStored, UWORD(bitsStored - 1));
  if (bitsAllocated == 8)
    Fill(frame.Pixels.Value.OB(), values);
  else
    Fill(frame.Pixels.Value.OW(), values);
  frame.Pixels.Date = frame.SourcePixels.Date + 1;
}

inline void Pad(qzmMedicalFrame& frame, SWORD padding) {
  frame.HasPixelPaddingValue = true;
  frame.PixelPaddingValue = padding;
}

// A palette of 16-bit (OW) colour lookup entries: (red(k), green(k), blue(k)).
typedef UWORD (*Colour)(UWORD);
inline void SetWordPalette(qzmMedicalFrame& frame, UWORD entries, Colour red, Colour green, Colour blue) {
  frame.HasClut = true;
  frame.ClutEntries = entries;
  frame.ClutBitsPerEntry = 16;
  for (auto [table, colour] : {std::pair(&frame.RedClut, red), {&frame.GreenClut, green}, {&frame.BlueClut, blue}}) {
    std::vector<UWORD> words(entries);
    for (UWORD k = 0; k < entries; ++k)
      words[k] = colour(k);
    Fill(table->OW(), words);
  }
}

// The units of a buffer: bytes, words, or those the prepared pixels hold.
template <typename T>
std::vector<T> Units(qzcDataLocation<T>& location) {
  const T* data = location.GetMemoryLocation();
  return data ? std::vector<T>(data, data + location.GetSize()) : std::vector<T>();
}
inline std::vector<UBYTE> Bytes(qzcDatedValue& image) {
  return Units(image.Value.OB());
}
inline std::vector<UWORD> Words(qzcDatedValue& image) {
  return Units(image.Value.OW());
}
inline std::vector<UWORD> Values(qzmMedicalFrame& frame) {
  if (frame.Pixels.Value.GetVR() == qzmDicomDataElementDescription::OW)
    return Words(frame.Pixels);
  const std::vector<UBYTE> bytes = Bytes(frame.Pixels);
  return std::vector<UWORD>(bytes.begin(), bytes.end());
}

}  // namespace testframes

#endif
