// Builders of DICOM byte streams (elements, meta groups, encapsulated items,
// RLE frames), and helpers that read, write or dump sets through files.
#ifndef MEDCONV_TESTS_SUPPORT_DICOM_BYTES_H
#define MEDCONV_TESTS_SUPPORT_DICOM_BYTES_H

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "dicom/qzmDicomDataElementSet.h"
#include "lib/ifbstream.h"
#include "lib/ofbstream.h"
#include "support/TestSupport.h"

namespace dicombytes {

typedef std::vector<unsigned char> Bytes;

inline Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }
inline Bytes operator+(Bytes first, const Bytes& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}
// A text padded to even length.
inline std::string Even(std::string text, char pad = ' ') { return text.size() % 2 ? text + pad : text; }

class Builder {
 public:
  explicit Builder(bool bigEndian = false) : big_(bigEndian) {}
  Builder& U16(unsigned value) {
    return Raw(big_ ? Bytes{Byte(value >> 8), Byte(value)} : Bytes{Byte(value), Byte(value >> 8)});
  }
  Builder& U32(unsigned long value) {
    return big_ ? U16((value >> 16) & 0xFFFF).U16(value & 0xFFFF) : U16(value & 0xFFFF).U16((value >> 16) & 0xFFFF);
  }
  Builder& Text(const std::string& text) { return Raw(ToBytes(text)); }
  Builder& Raw(const Bytes& raw) {
    bytes_ = bytes_ + raw;
    return *this;
  }
  Builder& Tag(unsigned group, unsigned element) { return U16(group).U16(element); }
  Builder& Preamble() { return Raw(Bytes(128, 0)).Text("DICM"); }
  // A meta group with its group length, naming the transfer syntax (none when empty).
  Builder& Meta(const std::string& syntax);
  const Bytes& bytes() const { return bytes_; }
  operator const Bytes&() const { return bytes_; }

 private:
  static unsigned char Byte(unsigned value) { return value & 0xFF; }
  bool big_;
  Bytes bytes_;
};

// One element in explicit VR (little or big endian) or, without VR, in implicit VR little endian.
inline Bytes El(unsigned group, unsigned element, const std::string& vr, const Bytes& value, bool big = false) {
  Builder b(big);
  b.Tag(group, element);
  if (vr.empty())
    return b.U32(value.size()).Raw(value);
  const bool isLong = std::string(" OB OW OF OD OL OV SQ UN UC UR UT SV UV ").find(" " + vr + " ") != std::string::npos;
  return (isLong ? b.Text(vr).U16(0).U32(value.size()) : b.Text(vr).U16(value.size())).Raw(value);
}
inline Bytes El(unsigned group, unsigned element, const std::string& vr, const std::string& text) {
  return El(group, element, vr, ToBytes(text));
}
inline Builder& Builder::Meta(const std::string& syntax) {
  const Bytes group = El(2, 1, "OB", Bytes{0, 1}) + El(2, 2, "UI", Even("1.2.840.10008.5.1.4.1.1.7", '\0')) +
                      (syntax.empty() ? Bytes() : El(2, 0x10, "UI", Even(syntax, '\0')));
  return Raw(El(2, 0, "UL", Builder().U32(group.size())) + group);
}

// Encapsulated pixel data: the offset table item, one item per fragment and
// the sequence delimitation.
inline Bytes Items(const std::vector<std::uint32_t>& offsets, const std::vector<Bytes>& fragments) {
  Builder table;
  for (std::uint32_t offset : offsets)
    table.U32(offset);
  Builder out;
  out.Tag(0xFFFE, 0xE000).U32(table.bytes().size()).Raw(table);
  for (const Bytes& fragment : fragments)
    out.Tag(0xFFFE, 0xE000).U32(fragment.size()).Raw(fragment);
  return out.Tag(0xFFFE, 0xE0DD).U32(0);
}

// An RLE frame: the 64-byte header of segment offsets, then the segments.
inline Bytes RleStream(const std::vector<Bytes>& segments) {
  Builder header;
  header.U32(segments.size());
  unsigned long offset = 64;
  for (std::size_t s = 0; s < 15; ++s) {
    header.U32(s < segments.size() ? offset : 0);
    offset += s < segments.size() ? segments[s].size() : 0;
  }
  for (const Bytes& segment : segments)
    header.Raw(segment);
  return header;
}

// Writes the bytes to a file of the folder and reads them as a whole file.
inline bool LoadBytes(const testsupport::TempDir& dir, const Bytes& bytes, qzmDicomDataElementSet& set,
                      iobsManipulator manipulator = nullptr, const std::string& name = "in.dcm") {
  testsupport::WriteBytes(dir.file(name), bytes);
  return set.Load(dir.file(name), nullptr, manipulator);
}
// Saves the set and gives the file's bytes.
inline Bytes SavedBytes(const testsupport::TempDir& dir, const qzmDicomDataElementSet& set,
                        iobsManipulator manipulator = nullptr, bool* ok = nullptr,
                        const std::string& name = "out.dcm") {
  const bool saved = set.Save(dir.file(name), manipulator);
  if (ok)
    *ok = saved;
  return testsupport::ReadBytes(dir.file(name));
}
inline std::string Dump(const qzmDicomDataElementSet& set) {
  std::ostringstream text;
  set.Print(text);
  return text.str();
}

}  // namespace dicombytes

#endif
