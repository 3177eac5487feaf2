// What the micro-benchmarks share: quiet reports and a typical input file.
#ifndef MEDCONV_TOOLS_BENCH_SUPPORT_H
#define MEDCONV_TOOLS_BENCH_SUPPORT_H

#include "lib/qzcException.h"
#include "tools/SampleWriter.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace benchsupport {

// Errors never end a benchmark run; warnings are not shown.
inline void QuietReports() {
  qzcException::errorChannel.limit = 65535;
  qzcException::warningChannel.enabled = false;
}

// A 512 x 512 CT slice of 12 stored bits in explicit VR little endian, with
// the elements of a typical scanner header, written once into the temporary
// folder.
inline const std::string& SliceFile() {
  static std::string name;
  if (name.empty()) {
    const std::uint16_t side = 512;
    name = std::string(P_tmpdir) + "/medconv-parse-bench.dcm";
    samplewriter::SampleSet slice(samplewriter::ExplicitLittle);
    struct Text {
      std::uint16_t group, element;
      const char* vr;
      const char* value;
    };
    const Text texts[] = {{0x0008, 0x0008, "CS", "ORIGINAL\\PRIMARY\\AXIAL"},
                          {0x0008, 0x0016, "UI", "1.2.840.10008.5.1.4.1.1.2"},
                          {0x0008, 0x0018, "UI", "1.2.826.0.1.3680043.9.7777.2.1"},
                          {0x0008, 0x0020, "DA", "20240131"},
                          {0x0008, 0x0030, "TM", "101530.250"},
                          {0x0008, 0x0060, "CS", "CT"},
                          {0x0008, 0x0070, "LO", "ACME MEDICAL"},
                          {0x0010, 0x0010, "PN", "DOE^JOHN"},
                          {0x0010, 0x0020, "LO", "ID-000123"},
                          {0x0010, 0x0030, "DA", "19700101"},
                          {0x0010, 0x0040, "CS", "M"},
                          {0x0018, 0x0050, "DS", "1.25"},
                          {0x0018, 0x0060, "DS", "120"},
                          {0x0020, 0x000D, "UI", "1.2.826.0.1.3680043.9.7777.3"},
                          {0x0020, 0x000E, "UI", "1.2.826.0.1.3680043.9.7777.4"},
                          {0x0020, 0x0013, "IS", "42"},
                          {0x0020, 0x0032, "DS", "-250\\-250\\-100.5"},
                          {0x0020, 0x0037, "DS", "1\\0\\0\\0\\1\\0"},
                          {0x0028, 0x0004, "CS", "MONOCHROME2"},
                          {0x0028, 0x0030, "DS", "0.48828125\\0.48828125"},
                          {0x0028, 0x1050, "DS", "40"},
                          {0x0028, 0x1051, "DS", "400"},
                          {0x0028, 0x1052, "DS", "-1024"},
                          {0x0028, 0x1053, "DS", "1"}};
    for (const Text& text : texts)
      slice.Text(text.group, text.element, text.vr, text.value);
    for (std::uint16_t element : {0x0010, 0x0011})
      slice.UnsignedShort(0x0028, element, side);
    slice.UnsignedShort(0x0028, 0x0002, 1);
    slice.UnsignedShort(0x0028, 0x0100, 16);
    slice.UnsignedShort(0x0028, 0x0101, 12);
    slice.UnsignedShort(0x0028, 0x0102, 11);
    slice.UnsignedShort(0x0028, 0x0103, 0);
    std::vector<std::uint16_t> pixels(std::size_t(side) * side);
    for (std::size_t i = 0; i < pixels.size(); ++i)
      pixels[i] = std::uint16_t(i % 4096);
    slice.Words(0x7FE0, 0x0010, pixels);
    slice.Save(name);
  }
  return name;
}

}  // namespace benchsupport

#endif
