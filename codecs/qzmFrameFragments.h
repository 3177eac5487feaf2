// Where each frame's code stream lies inside encapsulated Pixel Data: the
// items of one frame, found from the Basic Offset Table when it is present
// and consistent, else from the Extended Offset Table, else one fragment per
// frame, else from the start markers of the code streams (JPEG SOI, JPEG 2000
// SOC or JP2 signature), a single frame taking every fragment. The mapping is
// made for all frames at once, so a set whose pixel data cannot hold its
// frames is refused once, with one report.
#ifndef QZM_FRAME_FRAGMENTS_H
#define QZM_FRAME_FRAGMENTS_H

#include <functional>
#include <vector>

#include "lib/qzcTypes.h"

class qzmFrameFragments {
 public:
  // Gives count bytes of the Pixel Data element at offset; null when they
  // cannot be read. The bytes stay valid until the next call.
  using Reader = std::function<const UBYTE*(ULONG offset, ULONG count)>;

  // Bytes of the element, item headers included.
  struct Span {
    ULONG Offset = 0;
    ULONG Length = 0;
  };

  // Reads the item headers of an element of size bytes (the offset table
  // item first) and maps frames 1 to frames onto them. extendedOffsets are
  // the values of the Extended Offset Table, empty when the set has none.
  // False after one error report when the items are damaged or cannot hold
  // the frames.
  bool Locate(const Reader& read, ULONG size, ULONG frames, const std::vector<unsigned long long>& extendedOffsets);

  ULONG FrameCount() const { return ULONG(frames_.size()); }
  // The items of frame k (from 1 to FrameCount()).
  Span Frame(ULONG k) const { return frames_[k - 1]; }

 private:
  bool ReadItems(const Reader& read, ULONG size);
  // First item of each frame from a table of offsets counted from the first
  // fragment item; false when the table does not fit the items.
  bool FromOffsets(const std::vector<unsigned long long>& offsets, ULONG frames, std::vector<ULONG>& firsts) const;
  bool FromStartMarkers(const Reader& read, ULONG frames, std::vector<ULONG>& firsts) const;
  void MakeFrames(const std::vector<ULONG>& firsts);

  std::vector<unsigned long long> basicOffsets_;
  std::vector<Span> items_;  // the fragments after the offset table item
  std::vector<Span> frames_;
};

#endif
