// Data sets built in memory: the image tags of a layout, native pixel data
// as bytes or words, or encapsulated in items.
#ifndef MEDCONV_TESTS_FRAME_FRAME_SETS_H
#define MEDCONV_TESTS_FRAME_FRAME_SETS_H

#include "dicom/qzmDicomDataElementSet.h"
#include "frame/TestFrames.h"
#include "support/DicomBytes.h"

#include <string>
#include <vector>

namespace framesets {

typedef qzmDicomDataElementTag Tag;

// The image description written into a set; frames 0 leaves (0028,0008) out.
struct Layout {
  UWORD rows = 2, columns = 2, allocated = 8, stored = 8, high = 7, representation = 0, samples = 1, planar = 0,
        frames = 0;
  std::string photometric = "MONOCHROME2";
  std::string modality = "MR";
};

// The builders fill a set in place: a copied set would share the pixel
// memory of a temporary without owning it.
inline void ImageSet(qzmDicomDataElementSet& set, const Layout& layout) {
  set.clear();
  if (!layout.modality.empty())
    set[Tag(0x0008, 0x0060)].CS() = layout.modality;
  set[Tag(0x0028, 0x0004)].CS() = layout.photometric;
  if (layout.samples > 1)
    set[Tag(0x0028, 0x0006)].US() = layout.planar;
  if (layout.frames)
    set[Tag(0x0028, 0x0008)].IS() = std::to_string(layout.frames);
  const std::pair<UWORD, UWORD> numbers[] = {
      {0x0002, layout.samples}, {0x0010, layout.rows}, {0x0011, layout.columns},       {0x0100, layout.allocated},
      {0x0101, layout.stored},  {0x0102, layout.high}, {0x0103, layout.representation}};
  for (const auto& [element, value] : numbers)
    set[Tag(0x0028, element)].US() = value;
}

inline void ByteSet(qzmDicomDataElementSet& set, const Layout& layout, const std::vector<UBYTE>& bytes) {
  ImageSet(set, layout);
  testframes::Fill(set[Tag(0x7FE0, 0x0010)].OB(), bytes);
}

inline void WordSet(qzmDicomDataElementSet& set, const Layout& layout, const std::vector<UWORD>& words) {
  ImageSet(set, layout);
  testframes::Fill(set[Tag(0x7FE0, 0x0010)].OW(), words);
}

using dicombytes::Items;
using dicombytes::RleStream;

inline void EncapsulatedSet(qzmDicomDataElementSet& set, const Layout& layout, const std::string& syntax,
                            const std::vector<UBYTE>& pixelData) {
  ByteSet(set, layout, pixelData);
  set[Tag(0x0002, 0x0010)].UI() = syntax;
}

inline const char* const RleSyntax = "1.2.840.10008.1.2.5";
inline const char* const JpegSyntax = "1.2.840.10008.1.2.4.50";

}  // namespace framesets

#endif
