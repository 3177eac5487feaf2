#include "codecs/qzmJpegMarkerParser.h"

#include "lib/qzcError.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

const UBYTE SOI = 0xD8, EOI = 0xD9, SOS = 0xDA, DQT = 0xDB, DNL = 0xDC, DRI = 0xDD, DHT = 0xC4, DAC = 0xCC;

unsigned BigEndian16(const UBYTE* p) {
  return (unsigned(p[0]) << 8) | p[1];
}

bool IsFrameMarker(UBYTE marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != DHT && marker != 0xC8 && marker != DAC;
}

}  // namespace

void qzmJpegMarkerParser::Fail(const char* format, ...) const {
  char message[256];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(message, sizeof message, format, arguments);
  va_end(arguments);
  qzcError(signature_, "%s", message).Report();
}

qzmJpegMarkerParser::Next qzmJpegMarkerParser::ReadToScan() {
  for (;;) {
    // Fill bytes (0xFF) may come before any marker.
    ULONG p = position_;
    // Data that ends after a scan without its end marker lose nothing: the
    // decoder tells whether every component was decoded.
    if (p >= size_ && scanRead_)
      return Next::End;
    if (p >= size_ || data_[p] != 0xFF) {
      Fail(p >= size_ ? "JPEG stream ends at byte %lu without an end-of-image marker!"
                      : "JPEG stream has no marker at byte %lu!",
           (unsigned long)p);
      return Next::Fault;
    }
    while (p < size_ && data_[p] == 0xFF)
      ++p;
    if (p >= size_) {
      Fail("JPEG stream ends at byte %lu without an end-of-image marker!", (unsigned long)p);
      return Next::Fault;
    }
    const UBYTE marker = data_[p++];
    if (!started_) {
      if (marker != SOI) {
        Fail("JPEG stream does not start with a start-of-image marker!");
        return Next::Fault;
      }
      started_ = true;
      position_ = p;
      continue;
    }
    if (marker == EOI) {
      position_ = p;
      return Next::End;
    }
    if (marker == SOI || marker == 0x00) {
      Fail("JPEG stream has an unexpected marker 0x%02X at byte %lu!", unsigned(marker), (unsigned long)(p - 1));
      return Next::Fault;
    }
    if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {  // no segment follows these
      position_ = p;
      continue;
    }
    if (p + 2 > size_ || BigEndian16(data_ + p) < 2 || p + BigEndian16(data_ + p) > size_) {
      Fail("JPEG segment of marker 0x%02X at byte %lu runs past the end of the stream (%lu bytes)!", unsigned(marker),
           (unsigned long)(p - 2), (unsigned long)size_);
      return Next::Fault;
    }
    const ULONG length = BigEndian16(data_ + p);
    if (!ReadSegment(marker, p + 2, length - 2))
      return Next::Fault;
    position_ = p + length;
    if (marker == SOS) {
      scanRead_ = true;
      return Next::Scan;
    }
  }
}

bool qzmJpegMarkerParser::ReadSegment(UBYTE marker, ULONG begin, ULONG length) {
  const UBYTE* p = data_ + begin;
  if (IsFrameMarker(marker))
    return ReadFrameHeader(marker, p, length);
  switch (marker) {
    case SOS:
      return ReadScanHeader(p, length);
    case DHT:
      return ReadHuffmanTables(p, length);
    case DQT:
      return ReadQuantTables(p, length);
    case DRI:
      if (length != 2) {
        Fail("JPEG restart interval segment has %lu bytes instead of 2!", (unsigned long)length);
        return false;
      }
      restartInterval_ = UWORD(BigEndian16(p));
      return true;
    case DNL:
      Fail("JPEG streams that give their number of lines after the first scan are not supported!");
      return false;
    default:
      if (marker >= 0xE0 && marker <= 0xEF)
        ReadApplication(marker, p, length);
      return true;  // comments and segments no decoder needs
  }
}

bool qzmJpegMarkerParser::ReadFrameHeader(UBYTE marker, const UBYTE* p, ULONG length) {
  if (hasFrame_) {
    Fail("JPEG stream has a second frame header (hierarchical streams are not supported)!");
    return false;
  }
  if (length < 6 || length != 6 + 3ul * p[5]) {
    Fail("JPEG frame header has %lu bytes, which does not suit its component count!", (unsigned long)length);
    return false;
  }
  frame_.Type = UBYTE(marker & 0x0F);
  frame_.Precision = p[0];
  frame_.Lines = UWORD(BigEndian16(p + 1));
  frame_.SamplesPerLine = UWORD(BigEndian16(p + 3));
  frame_.ComponentCount = p[5];
  if (frame_.ComponentCount < 1 || frame_.ComponentCount > 4) {
    Fail("JPEG frame has %u components (1 to 4 supported)!", unsigned(frame_.ComponentCount));
    return false;
  }
  if (frame_.Lines == 0 || frame_.SamplesPerLine == 0) {
    Fail("JPEG frame of %u lines and %u samples per line has no samples!", unsigned(frame_.Lines),
         unsigned(frame_.SamplesPerLine));
    return false;
  }
  frame_.MaxH = frame_.MaxV = 1;
  for (int c = 0; c < frame_.ComponentCount; ++c) {
    qzmJpegComponent& component = frame_.Components[c];
    const UBYTE* q = p + 6 + 3 * c;
    component.Id = q[0];
    component.H = UBYTE(q[1] >> 4);
    component.V = UBYTE(q[1] & 0x0F);
    component.QuantTable = q[2];
    if (component.H < 1 || component.H > 4 || component.V < 1 || component.V > 4 || component.QuantTable > 3) {
      Fail("JPEG frame component %u has sampling factors %ux%u and quantisation table %u!", unsigned(c + 1),
           unsigned(component.H), unsigned(component.V), unsigned(component.QuantTable));
      return false;
    }
    for (int other = 0; other < c; ++other)
      if (frame_.Components[other].Id == component.Id) {
        Fail("JPEG frame names two components %u!", unsigned(component.Id));
        return false;
      }
    if (component.H > frame_.MaxH)
      frame_.MaxH = component.H;
    if (component.V > frame_.MaxV)
      frame_.MaxV = component.V;
  }
  hasFrame_ = true;
  return true;
}

bool qzmJpegMarkerParser::ReadScanHeader(const UBYTE* p, ULONG length) {
  if (!hasFrame_) {
    Fail("JPEG scan comes before the frame header!");
    return false;
  }
  if (length < 1 || length != 4 + 2ul * p[0]) {
    Fail("JPEG scan header has %lu bytes, which does not suit its component count!", (unsigned long)length);
    return false;
  }
  scan_.ComponentCount = p[0];
  if (scan_.ComponentCount < 1 || scan_.ComponentCount > frame_.ComponentCount) {
    Fail("JPEG scan has %u components, its frame %u!", unsigned(scan_.ComponentCount), unsigned(frame_.ComponentCount));
    return false;
  }
  for (int s = 0; s < scan_.ComponentCount; ++s) {
    const UBYTE id = p[1 + 2 * s], tables = p[2 + 2 * s];
    int index = -1;
    for (int c = 0; c < frame_.ComponentCount; ++c)
      if (frame_.Components[c].Id == id)
        index = c;
    for (int other = 0; other < s; ++other)
      if (scan_.Component[other] == index)
        index = -1;
    if (index < 0 || (tables >> 4) > 3 || (tables & 0x0F) > 3) {
      Fail("JPEG scan names component %u, which the frame does not have once, or tables 0x%02X!", unsigned(id),
           unsigned(tables));
      return false;
    }
    scan_.Component[s] = UBYTE(index);
    scan_.DcTable[s] = UBYTE(tables >> 4);
    scan_.AcTable[s] = UBYTE(tables & 0x0F);
  }
  const UBYTE* tail = p + 1 + 2 * scan_.ComponentCount;
  scan_.Ss = tail[0];
  scan_.Se = tail[1];
  scan_.Ah = UBYTE(tail[2] >> 4);
  scan_.Al = UBYTE(tail[2] & 0x0F);
  return true;
}

bool qzmJpegMarkerParser::ReadHuffmanTables(const UBYTE* p, ULONG length) {
  ULONG at = 0;
  while (at < length) {
    if (at + 17 > length) {
      Fail("JPEG Huffman table segment is truncated!");
      return false;
    }
    const UBYTE tableClass = UBYTE(p[at] >> 4), number = UBYTE(p[at] & 0x0F);
    const UBYTE* counts = p + at + 1;
    ULONG total = 0;
    for (int i = 0; i < 16; ++i)
      total += counts[i];
    if (tableClass > 1 || number > 3 || at + 17 + total > length) {
      Fail("JPEG Huffman table 0x%02X is malformed or truncated!", unsigned(p[at]));
      return false;
    }
    if (!huffman_[tableClass][number].Build(counts, p + at + 17)) {
      Fail("JPEG Huffman table 0x%02X has more codes than its code lengths allow!", unsigned(p[at]));
      return false;
    }
    at += 17 + total;
  }
  return true;
}

bool qzmJpegMarkerParser::ReadQuantTables(const UBYTE* p, ULONG length) {
  ULONG at = 0;
  while (at < length) {
    const UBYTE wide = UBYTE(p[at] >> 4), number = UBYTE(p[at] & 0x0F);
    const ULONG bytes = wide ? 128 : 64;
    if (wide > 1 || number > 3 || at + 1 + bytes > length) {
      Fail("JPEG quantisation table 0x%02X is malformed or truncated!", unsigned(p[at]));
      return false;
    }
    for (int k = 0; k < 64; ++k)
      quant_[number][k] = UWORD(wide ? BigEndian16(p + at + 1 + 2 * k) : p[at + 1 + k]);
    quantDefined_[number] = true;
    at += 1 + bytes;
  }
  return true;
}

void qzmJpegMarkerParser::ReadApplication(UBYTE marker, const UBYTE* p, ULONG length) {
  if (marker == 0xEE && length >= 12 && std::memcmp(p, "Adobe", 5) == 0)
    adobeTransform_ = p[11];
}

bool qzmJpegMarkerParser::FrameFits(const qzmPixelLayout& layout) const {
  if (frame_.Lines != layout.Rows || frame_.SamplesPerLine != layout.Columns) {
    Fail("JPEG frame of %u rows and %u columns, the set %u rows and %u columns!", unsigned(frame_.Lines),
         unsigned(frame_.SamplesPerLine), unsigned(layout.Rows), unsigned(layout.Columns));
    return false;
  }
  if (frame_.ComponentCount != layout.SamplesPerPixel) {
    Fail("JPEG frame has %u components, the set %u samples per pixel!", unsigned(frame_.ComponentCount),
         unsigned(layout.SamplesPerPixel));
    return false;
  }
  if ((layout.BitsAllocated != 8 && layout.BitsAllocated != 16) || frame_.Precision > layout.BitsAllocated) {
    Fail("JPEG frame has a precision of %u bits, the set %u bits allocated!", unsigned(frame_.Precision),
         unsigned(layout.BitsAllocated));
    return false;
  }
  return true;
}
