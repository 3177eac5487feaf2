// Data sets built in memory for the frame tests: the image tags of a
// layout, native pixel data as bytes or words, encapsulated pixel data as
// items, RLE segments.
#ifndef MEDCONV_TESTS_FRAME_FRAME_SETS_H
#define MEDCONV_TESTS_FRAME_FRAME_SETS_H

#include "dicom/qzmDicomDataElementSet.h"
#include "frame/TestFrames.h"
#include "frame/qzmMedicalFrame.h"

#include <algorithm>
#include <string>
#include <vector>

namespace framesets {

typedef qzmDicomDataElementTag Tag;

// The image description written into a set; frames 0 leaves (0028,0008) out.
struct Layout {
  UWORD rows = 2, columns = 2, allocated = 8, stored = 8, high = 7, representation = 0, samples = 1, planar = 0;
  UWORD frames = 0;
  std::string photometric = "MONOCHROME2";
  std::string modality = "MR";
};

inline void SetText(qzmDicomDataElementSet& set, UWORD group, UWORD element, const std::string& text) {
  set[Tag(group, element)].CS() = text;
}

inline void SetUS(qzmDicomDataElementSet& set, UWORD group, UWORD element, UWORD value) {
  set[Tag(group, element)].US() = value;
}

// The builders fill a set in place: a copied set would share the pixel
// memory of a temporary without owning it.
inline void ImageSet(qzmDicomDataElementSet& set, const Layout& layout) {
  set.clear();
  if (!layout.modality.empty())
    SetText(set, 0x0008, 0x0060, layout.modality);
  SetUS(set, 0x0028, 0x0002, layout.samples);
  SetText(set, 0x0028, 0x0004, layout.photometric);
  if (layout.samples > 1)
    SetUS(set, 0x0028, 0x0006, layout.planar);
  if (layout.frames)
    set[Tag(0x0028, 0x0008)].IS() = std::to_string(layout.frames);
  SetUS(set, 0x0028, 0x0010, layout.rows);
  SetUS(set, 0x0028, 0x0011, layout.columns);
  SetUS(set, 0x0028, 0x0100, layout.allocated);
  SetUS(set, 0x0028, 0x0101, layout.stored);
  SetUS(set, 0x0028, 0x0102, layout.high);
  SetUS(set, 0x0028, 0x0103, layout.representation);
}

inline void SetPixelBytes(qzmDicomDataElementSet& set, const std::vector<UBYTE>& bytes) {
  qzcDataLocation<UBYTE>& location = set[Tag(0x7FE0, 0x0010)].OB();
  location.SetSize(ULONG(bytes.size()));
  location.AllocateMemory();
  std::copy(bytes.begin(), bytes.end(), location.GetMemoryLocation());
}

inline void SetPixelWords(qzmDicomDataElementSet& set, const std::vector<UWORD>& words) {
  qzcDataLocation<UWORD>& location = set[Tag(0x7FE0, 0x0010)].OW();
  location.SetSize(ULONG(words.size()));
  location.AllocateMemory();
  std::copy(words.begin(), words.end(), location.GetMemoryLocation());
}

inline void ByteSet(qzmDicomDataElementSet& set, const Layout& layout, const std::vector<UBYTE>& bytes) {
  ImageSet(set, layout);
  SetPixelBytes(set, bytes);
}

inline void WordSet(qzmDicomDataElementSet& set, const Layout& layout, const std::vector<UWORD>& words) {
  ImageSet(set, layout);
  SetPixelWords(set, words);
}

inline void Append32(std::vector<UBYTE>& out, ULONG value) {
  for (int k = 0; k < 4; ++k)
    out.push_back(UBYTE(value >> (8 * k)));
}

inline void AppendItem(std::vector<UBYTE>& out, const std::vector<UBYTE>& content) {
  out.insert(out.end(), {0xFE, 0xFF, 0x00, 0xE0});
  Append32(out, ULONG(content.size()));
  out.insert(out.end(), content.begin(), content.end());
}

// Encapsulated pixel data: the offset table item, one item per fragment and
// the sequence delimitation.
inline std::vector<UBYTE> Encapsulated(const std::vector<ULONG>& offsets,
                                       const std::vector<std::vector<UBYTE>>& fragments) {
  std::vector<UBYTE> table, out;
  for (ULONG offset : offsets)
    Append32(table, offset);
  AppendItem(out, table);
  for (const auto& fragment : fragments)
    AppendItem(out, fragment);
  out.insert(out.end(), {0xFE, 0xFF, 0xDD, 0xE0, 0, 0, 0, 0});
  return out;
}

// An RLE frame: the 64-byte segment header followed by the segments.
inline std::vector<UBYTE> RleFrame(const std::vector<std::vector<UBYTE>>& segments) {
  std::vector<UBYTE> out;
  Append32(out, ULONG(segments.size()));
  ULONG offset = 64;
  for (int s = 0; s < 15; ++s) {
    Append32(out, s < int(segments.size()) ? offset : 0);
    if (s < int(segments.size()))
      offset += ULONG(segments[s].size());
  }
  for (const auto& segment : segments)
    out.insert(out.end(), segment.begin(), segment.end());
  return out;
}

inline void EncapsulatedSet(qzmDicomDataElementSet& set, const Layout& layout, const std::string& syntax,
                            const std::vector<UBYTE>& pixelData) {
  ByteSet(set, layout, pixelData);
  set[Tag(0x0002, 0x0010)].UI() = syntax;
}

inline const char* const RleSyntax = "1.2.840.10008.1.2.5";
inline const char* const JpegSyntax = "1.2.840.10008.1.2.4.50";

// The prepared pixels of a frame as numbers.
inline std::vector<UWORD> PixelValues(qzmMedicalFrame& frame) {
  return testframes::Values(frame);
}

}  // namespace framesets

#endif
