// Builders of DICOM byte streams for the value and set tests: elements in
// explicit or implicit VR, either byte order, meta groups and whole files,
// and helpers that read, write or dump sets through the program's streams.
#ifndef MEDCONV_TESTS_DICOM_DICOM_BYTES_H
#define MEDCONV_TESTS_DICOM_DICOM_BYTES_H

#include <sstream>
#include <string>
#include <vector>

#include "dicom/qzmDicomDataElementSet.h"
#include "lib/ifbstream.h"
#include "lib/ofbstream.h"
#include "support/TestSupport.h"

namespace dicombytes {

typedef std::vector<unsigned char> Bytes;

class Builder {
 public:
  explicit Builder(bool bigEndian = false) : big_(bigEndian) {}

  Builder& U16(unsigned value) {
    const unsigned char low = value & 0xFF, high = (value >> 8) & 0xFF;
    bytes_.push_back(big_ ? high : low);
    bytes_.push_back(big_ ? low : high);
    return *this;
  }
  Builder& U32(unsigned long value) {
    return big_ ? U16((value >> 16) & 0xFFFF).U16(value & 0xFFFF) : U16(value & 0xFFFF).U16((value >> 16) & 0xFFFF);
  }
  Builder& Text(const std::string& text) { return Raw(Bytes(text.begin(), text.end())); }
  Builder& Raw(const Bytes& raw) {
    bytes_.insert(bytes_.end(), raw.begin(), raw.end());
    return *this;
  }
  Builder& Tag(unsigned group, unsigned element) { return U16(group).U16(element); }
  // Tag, VR, length (2 bytes, or 2 reserved and 4 for the long header) and value.
  Builder& Explicit(unsigned group, unsigned element, const std::string& vr, const Bytes& value) {
    Tag(group, element).Text(vr);
    return (IsLong(vr) ? U16(0).U32(value.size()) : U16(value.size())).Raw(value);
  }
  Builder& Explicit(unsigned group, unsigned element, const std::string& vr, const std::string& value) {
    return Explicit(group, element, vr, Bytes(value.begin(), value.end()));
  }
  // Tag, 32-bit length and value.
  Builder& Implicit(unsigned group, unsigned element, const Bytes& value) {
    return Tag(group, element).U32(value.size()).Raw(value);
  }
  Builder& Implicit(unsigned group, unsigned element, const std::string& value) {
    return Implicit(group, element, Bytes(value.begin(), value.end()));
  }
  // 128 zero bytes and "DICM".
  Builder& Preamble() { return Raw(Bytes(128, 0)).Text("DICM"); }
  // A meta group in explicit VR little endian naming the transfer syntax
  // (none when syntax is empty), with its group length.
  Builder& Meta(const std::string& syntax) {
    Builder group;
    group.Explicit(0x0002, 0x0001, "OB", Bytes{0, 1})
        .Explicit(0x0002, 0x0002, "UI", Even("1.2.840.10008.5.1.4.1.1.7", '\0'));
    if (!syntax.empty())
      group.Explicit(0x0002, 0x0010, "UI", Even(syntax, '\0'));
    return Explicit(0x0002, 0x0000, "UL", Builder().U32(group.bytes_.size())).Raw(group);
  }

  const Bytes& bytes() const { return bytes_; }
  operator const Bytes&() const { return bytes_; }

  static bool IsLong(const std::string& vr) {
    return std::string(" OB OW OF OD OL OV SQ UN UC UR UT SV UV ").find(" " + vr + " ") != std::string::npos;
  }
  // A text padded to even length.
  static std::string Even(std::string text, char pad = ' ') { return text.size() % 2 ? text + pad : text; }

 private:
  bool big_;
  Bytes bytes_;
};

inline Bytes ToBytes(const std::string& text) {
  return Bytes(text.begin(), text.end());
}
inline Bytes operator+(Bytes first, const Bytes& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}
// One element in explicit VR (little or big endian) or, without VR, in implicit VR little endian.
inline Bytes El(unsigned group, unsigned element, const std::string& vr, const Bytes& value, bool big = false) {
  return vr.empty() ? Builder().Implicit(group, element, value) : Builder(big).Explicit(group, element, vr, value);
}
inline Bytes El(unsigned group, unsigned element, const std::string& vr, const std::string& text) {
  return El(group, element, vr, ToBytes(text));
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

// The set's dump as text.
inline std::string Dump(const qzmDicomDataElementSet& set) {
  std::ostringstream text;
  set.Print(text);
  return text.str();
}

}  // namespace dicombytes

#endif
