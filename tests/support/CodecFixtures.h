// Fixtures of the codec tests: whole files with encapsulated pixel data
// written byte by byte (so that damaged ones can be made), and the test
// that tells whether this build's decoder of a syntax exists yet.
#ifndef MEDCONV_TESTS_CODEC_FIXTURES_H
#define MEDCONV_TESTS_CODEC_FIXTURES_H

#include "codecs/qzmCodecTable.h"
#include "lib/ReportCapture.h"
#include "support/DicomBytes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace codecfixtures {

using dicombytes::Bytes;
using dicombytes::Items;
using dicombytes::RleStream;
using dicombytes::operator+;

// The image an encapsulated file announces.
struct Image {
  std::uint16_t rows = 2, columns = 2, bits = 8, samples = 1;
  unsigned frames = 1;  // Number of Frames written when above 1
  std::string photometric = "MONOCHROME2";
};

// A whole file: preamble, meta group with the syntax, the image elements,
// and Pixel Data of undefined length holding items (tagged OB, or OW as
// some writers do).
inline Bytes EncapsulatedFile(const std::string& syntax, const Image& image, const Bytes& items,
                              const char* pixelVr = "OB") {
  using dicombytes::El;
  const auto us = [](unsigned element, unsigned value) { return El(0x0028, element, "US", dicombytes::Builder().U16(value)); };
  Bytes body = El(0x0008, 0x0060, "CS", "OT") + us(0x0002, image.samples) +
               El(0x0028, 0x0004, "CS", dicombytes::Even(image.photometric));
  if (image.samples > 1)
    body = body + us(0x0006, 0);
  if (image.frames > 1)
    body = body + El(0x0028, 0x0008, "IS", dicombytes::Even(std::to_string(image.frames)));
  body = body + us(0x0010, image.rows) + us(0x0011, image.columns) + us(0x0100, image.bits) + us(0x0101, image.bits) +
         us(0x0102, image.bits - 1u) + us(0x0103, 0);
  return dicombytes::Builder().Preamble().Meta(syntax).Raw(body).Tag(0x7FE0, 0x0010).Text(pixelVr).U16(0).U32(
             0xFFFFFFFF).Raw(items);
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
