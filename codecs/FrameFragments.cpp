// The frame-to-fragment mapping of encapsulated Pixel Data. Only item
// headers, the offset table and, when it is needed, the first bytes of each
// fragment are read: the code streams stay where they are.
#include "codecs/qzmFrameFragments.h"

#include "lib/qzcError.h"
#include "lib/qzcWarning.h"

namespace {

const char* const LocateSignature =
    "bool qzmFrameFragments::Locate( const Reader&, ULONG, ULONG, const std::vector<unsigned long long>& )";

const ULONG ItemHeaderBytes = 8;

ULONG Little16(const UBYTE* p) {
  return ULONG(p[0]) | ULONG(p[1]) << 8;
}

ULONG Little32(const UBYTE* p) {
  return ULONG(p[0]) | ULONG(p[1]) << 8 | ULONG(p[2]) << 16 | ULONG(p[3]) << 24;
}

bool IsItem(const UBYTE* header) {
  return Little16(header) == 0xFFFE && Little16(header + 2) == 0xE000;
}

bool IsSequenceDelimiter(const UBYTE* header) {
  return Little16(header) == 0xFFFE && Little16(header + 2) == 0xE0DD;
}

// A code stream starts here: JPEG (SOI), JPEG 2000 (SOC then SIZ) or a JP2
// file (its 12-byte signature box).
bool IsStreamStart(const UBYTE* p, ULONG available) {
  if (available >= 2 && p[0] == 0xFF && p[1] == 0xD8)
    return true;
  if (available >= 4 && p[0] == 0xFF && p[1] == 0x4F && p[2] == 0xFF && p[3] == 0x51)
    return true;
  static const UBYTE jp2[8] = {0x00, 0x00, 0x00, 0x0C, 'j', 'P', ' ', ' '};
  if (available < 8)
    return false;
  for (int k = 0; k < 8; ++k)
    if (p[k] != jp2[k])
      return false;
  return true;
}

}  // namespace

bool qzmFrameFragments::ReadItems(const Reader& read, ULONG size) {
  basicOffsets_.clear();
  items_.clear();
  const UBYTE* header = size >= ItemHeaderBytes ? read(0, ItemHeaderBytes) : nullptr;
  if (!header || !IsItem(header)) {
    qzcError(LocateSignature, "Item tag not found!").Report();
    return false;
  }
  const ULONG tableLength = Little32(header + 4);
  if (tableLength > size - ItemHeaderBytes || tableLength % 4 != 0) {
    qzcError(LocateSignature, "Basic Offset Table of %lu bytes does not fit the %lu bytes of the Pixel Data!",
             (unsigned long)(tableLength), (unsigned long)(size))
        .Report();
    return false;
  }
  if (tableLength > 0) {
    const UBYTE* table = read(ItemHeaderBytes, tableLength);
    if (!table) {
      qzcError(LocateSignature, "unable to read the Basic Offset Table!").Report();
      return false;
    }
    for (ULONG k = 0; k < tableLength; k += 4)
      basicOffsets_.push_back(Little32(table + k));
  }
  ULONG position = ItemHeaderBytes + tableLength;
  while (size - position >= ItemHeaderBytes) {
    header = read(position, ItemHeaderBytes);
    if (header && IsSequenceDelimiter(header))
      break;
    if (!header || !IsItem(header)) {
      qzcError(LocateSignature, "Item tag not found! (0x%lx)", (unsigned long)(position)).Report();
      return false;
    }
    const ULONG length = Little32(header + 4);
    if (length > size - position - ItemHeaderBytes) {
      qzcError(LocateSignature, "fragment item of %lu bytes runs past the end of the pixel data (0x%lx)!",
               (unsigned long)(length), (unsigned long)(position))
          .Report();
      return false;
    }
    items_.push_back(Span{position, ItemHeaderBytes + length});
    position += ItemHeaderBytes + length;
  }
  return true;
}

bool qzmFrameFragments::FromOffsets(const std::vector<unsigned long long>& offsets, ULONG frames,
                                    std::vector<ULONG>& firsts) const {
  if (offsets.size() != frames)
    return false;
  firsts.clear();
  const ULONG base = items_.front().Offset;
  ULONG item = 0;
  for (unsigned long long offset : offsets) {
    while (item < items_.size() && items_[item].Offset - base < offset)
      ++item;
    // Every offset names an item of its own, after the previous frame's.
    if (item == items_.size() || items_[item].Offset - base != offset || (!firsts.empty() && item == firsts.back()))
      return false;
    firsts.push_back(item);
  }
  return firsts.front() == 0;
}

bool qzmFrameFragments::FromStartMarkers(const Reader& read, ULONG frames, std::vector<ULONG>& firsts) const {
  firsts.clear();
  for (ULONG item = 0; item < items_.size(); ++item) {
    const ULONG available = items_[item].Length - ItemHeaderBytes;
    const ULONG peek = available < 12 ? available : 12;
    const UBYTE* start = peek ? read(items_[item].Offset + ItemHeaderBytes, peek) : nullptr;
    if (start && IsStreamStart(start, peek))
      firsts.push_back(item);
  }
  return firsts.size() == frames && firsts.front() == 0;
}

void qzmFrameFragments::MakeFrames(const std::vector<ULONG>& firsts) {
  frames_.clear();
  for (std::size_t k = 0; k < firsts.size(); ++k) {
    const Span& first = items_[firsts[k]];
    const Span& last = items_[k + 1 < firsts.size() ? firsts[k + 1] - 1 : items_.size() - 1];
    frames_.push_back(Span{first.Offset, last.Offset + last.Length - first.Offset});
  }
}

bool qzmFrameFragments::Locate(const Reader& read, ULONG size, ULONG frames,
                               const std::vector<unsigned long long>& extendedOffsets) {
  frames_.clear();
  if (!ReadItems(read, size))
    return false;
  if (items_.empty() || frames == 0) {
    qzcError(LocateSignature, "the Pixel Data hold no fragment for frame 1!").Report();
    return false;
  }
  std::vector<ULONG> firsts;
  if (!basicOffsets_.empty() && !FromOffsets(basicOffsets_, frames, firsts)) {
    qzcWarning(LocateSignature, "the Basic Offset Table (%lu entries) does not describe the %lu frames, ignoring it.",
               (unsigned long)(basicOffsets_.size()), (unsigned long)(frames))
        .Report();
    firsts.clear();
  }
  if (firsts.empty() && !extendedOffsets.empty() && !FromOffsets(extendedOffsets, frames, firsts)) {
    qzcWarning(LocateSignature,
               "the Extended Offset Table (%lu entries) does not describe the %lu frames, ignoring it.",
               (unsigned long)(extendedOffsets.size()), (unsigned long)(frames))
        .Report();
    firsts.clear();
  }
  if (firsts.empty()) {
    if (frames == 1 || items_.size() == frames) {
      for (ULONG k = 0; k < frames; ++k)
        firsts.push_back(k);
    } else if (items_.size() < frames || !FromStartMarkers(read, frames, firsts)) {
      // The first frame without a code stream of its own.
      const ULONG found = items_.size() < frames ? ULONG(items_.size()) : ULONG(firsts.size());
      const ULONG missing = found < frames ? found + 1 : frames;
      qzcError(LocateSignature, "the %lu fragments of the Pixel Data can not be divided into %lu frames (frame %lu)!",
               (unsigned long)(items_.size()), (unsigned long)(frames), (unsigned long)(missing))
          .Report();
      return false;
    }
  }
  MakeFrames(firsts);
  return true;
}
