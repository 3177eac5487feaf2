// Fixtures of the codec tests: Part-10 files with encapsulated pixel data
// written byte by byte (so that damaged ones can be made), and the test
// that tells whether this build's decoder of a syntax exists yet.
#ifndef MEDCONV_TESTS_CODEC_FIXTURES_H
#define MEDCONV_TESTS_CODEC_FIXTURES_H

#include "codecs/qzmCodecTable.h"
#include "lib/ReportCapture.h"

#include <cstdint>
#include <string>
#include <vector>

namespace codecfixtures {

typedef std::vector<std::uint8_t> Bytes;

// The image an encapsulated file announces.
struct Image {
  std::uint16_t rows = 2, columns = 2, bits = 8, samples = 1;
  unsigned frames = 1;  // Number of Frames written when above 1
  std::string photometric = "MONOCHROME2";
};

inline void Put16(Bytes& out, unsigned value) {
  out.push_back(std::uint8_t(value));
  out.push_back(std::uint8_t(value >> 8));
}

inline void Put32(Bytes& out, std::uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

// An explicit VR little endian element with a short length.
inline void ShortElement(Bytes& out, unsigned group, unsigned element, const char* vr, Bytes value) {
  if (value.size() % 2)
    value.push_back(vr[0] == 'U' && vr[1] == 'I' ? 0 : ' ');
  Put16(out, group);
  Put16(out, element);
  out.push_back(std::uint8_t(vr[0]));
  out.push_back(std::uint8_t(vr[1]));
  Put16(out, unsigned(value.size()));
  out.insert(out.end(), value.begin(), value.end());
}

inline Bytes Text(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

inline Bytes Short(unsigned value) {
  Bytes out;
  Put16(out, value);
  return out;
}

// The items of encapsulated Pixel Data: an offset table (empty when no
// offsets), one item per fragment, the sequence delimitation.
inline Bytes Items(const std::vector<std::uint32_t>& offsets, const std::vector<Bytes>& fragments) {
  Bytes out;
  const auto item = [&out](const Bytes& content) {
    Put16(out, 0xFFFE);
    Put16(out, 0xE000);
    Put32(out, std::uint32_t(content.size()));
    out.insert(out.end(), content.begin(), content.end());
  };
  Bytes table;
  for (std::uint32_t offset : offsets)
    Put32(table, offset);
  item(table);
  for (const Bytes& fragment : fragments)
    item(fragment);
  Put16(out, 0xFFFE);
  Put16(out, 0xE0DD);
  Put32(out, 0);
  return out;
}

// A whole file: preamble, meta group with the syntax, the image elements,
// and Pixel Data of undefined length holding items (tagged OB, or OW as
// some writers do).
inline Bytes EncapsulatedFile(const std::string& syntax, const Image& image, const Bytes& items,
                              const char* pixelVr = "OB") {
  Bytes meta;
  ShortElement(meta, 0x0002, 0x0010, "UI", Text(syntax));
  Bytes out(128, 0);
  for (char c : std::string("DICM"))
    out.push_back(std::uint8_t(c));
  Bytes length;
  Put32(length, std::uint32_t(meta.size()));
  ShortElement(out, 0x0002, 0x0000, "UL", length);
  out.insert(out.end(), meta.begin(), meta.end());
  ShortElement(out, 0x0008, 0x0060, "CS", Text("OT"));
  ShortElement(out, 0x0028, 0x0002, "US", Short(image.samples));
  ShortElement(out, 0x0028, 0x0004, "CS", Text(image.photometric));
  if (image.samples > 1)
    ShortElement(out, 0x0028, 0x0006, "US", Short(0));
  if (image.frames > 1)
    ShortElement(out, 0x0028, 0x0008, "IS", Text(std::to_string(image.frames)));
  ShortElement(out, 0x0028, 0x0010, "US", Short(image.rows));
  ShortElement(out, 0x0028, 0x0011, "US", Short(image.columns));
  ShortElement(out, 0x0028, 0x0100, "US", Short(image.bits));
  ShortElement(out, 0x0028, 0x0101, "US", Short(image.bits));
  ShortElement(out, 0x0028, 0x0102, "US", Short(image.bits - 1u));
  ShortElement(out, 0x0028, 0x0103, "US", Short(0));
  Put16(out, 0x7FE0);
  Put16(out, 0x0010);
  out.push_back(std::uint8_t(pixelVr[0]));
  out.push_back(std::uint8_t(pixelVr[1]));
  Put16(out, 0);
  Put32(out, 0xFFFFFFFF);
  out.insert(out.end(), items.begin(), items.end());
  return out;
}

// An RLE frame of 8-bit samples: the header, then one segment per plane,
// each given as PackBits bytes.
inline Bytes RleStream(const std::vector<Bytes>& segments) {
  Bytes out;
  Put32(out, std::uint32_t(segments.size()));
  std::uint32_t offset = 64;
  for (unsigned s = 0; s < 15; ++s) {
    Put32(out, s < segments.size() ? offset : 0);
    if (s < segments.size())
      offset += std::uint32_t(segments[s].size());
  }
  for (const Bytes& segment : segments)
    out.insert(out.end(), segment.begin(), segment.end());
  return out;
}

// False while the table's decoder of syntax is still a placeholder that
// reports itself as not built: tests of that syntax skip until it lands.
inline bool DecoderIsBuilt(const std::string& syntax) {
  const qzmPixelDecoder* decoder = qzmCodecTable::DecoderFor(syntax);
  if (!decoder)
    return false;
  ReportCapture reports;
  qzmPixelLayout layout;
  qzcString photometric;
  std::uint8_t none = 0;
  decoder->Decode(&none, 0, layout, &none, photometric);
  return reports.Errors().find("not built yet") == std::string::npos;
}

}  // namespace codecfixtures

#endif
