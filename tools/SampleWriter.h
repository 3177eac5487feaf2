// A small writer of DICOM Part-10 files, byte by byte, independent of the
// program's own data-set classes: the sample generator and the tests use it
// to make input files whose every byte is known.
#ifndef MEDCONV_TOOLS_SAMPLE_WRITER_H
#define MEDCONV_TOOLS_SAMPLE_WRITER_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace samplewriter {

typedef std::vector<std::uint8_t> Bytes;
typedef std::pair<std::uint16_t, std::uint16_t> Tag;

const char* const ExplicitLittle = "1.2.840.10008.1.2.1";
const char* const ImplicitLittle = "1.2.840.10008.1.2";
const char* const ExplicitBig = "1.2.840.10008.1.2.2";

// One element: VR and value bytes already in the body's byte order.
struct Element {
  std::string vr;
  Bytes value;
  bool isText = false;
};

// VRs whose explicit form has two reserved bytes and a 32-bit length.
inline bool HasLongLength(const std::string& vr) {
  return vr == "OB" || vr == "OW" || vr == "UN" || vr == "SQ" || vr == "UT" || vr == "OF" || vr == "OD" || vr == "OL";
}

class SampleSet {
 public:
  explicit SampleSet(const std::string& transferSyntax)
      : syntax_(transferSyntax), bigEndian_(transferSyntax == ExplicitBig) {}

  void Text(std::uint16_t group, std::uint16_t element, const std::string& vr, const std::string& text) {
    Element e;
    e.vr = vr;
    e.value.assign(text.begin(), text.end());
    e.isText = true;
    body_[Tag(group, element)] = e;
  }

  void UnsignedShorts(std::uint16_t group, std::uint16_t element, const std::vector<std::uint16_t>& values) {
    Element e;
    e.vr = "US";
    for (std::uint16_t v : values)
      Put16(e.value, v, bigEndian_);
    body_[Tag(group, element)] = e;
  }

  void UnsignedShort(std::uint16_t group, std::uint16_t element, std::uint16_t value) {
    UnsignedShorts(group, element, {value});
  }

  // 16-bit words (OW) or bytes (OB), in the body's byte order.
  void Words(std::uint16_t group, std::uint16_t element, const std::vector<std::uint16_t>& words) {
    Element e;
    e.vr = "OW";
    e.value.reserve(2 * words.size());
    for (std::uint16_t w : words)
      Put16(e.value, w, bigEndian_);
    body_[Tag(group, element)] = std::move(e);
  }

  // Numbers of unit bytes each, given little-endian, in the body's byte
  // order: SS, SL, UL, FL, FD values or OF, OD, OL data.
  void Numbers(std::uint16_t group, std::uint16_t element, const std::string& vr, const Bytes& little,
               std::size_t unit) {
    Element e;
    e.vr = vr;
    e.value = little;
    if (bigEndian_)
      for (std::size_t k = 0; k + unit <= e.value.size(); k += unit)
        std::reverse(e.value.begin() + std::ptrdiff_t(k), e.value.begin() + std::ptrdiff_t(k + unit));
    body_[Tag(group, element)] = std::move(e);
  }

  void OtherBytes(std::uint16_t group, std::uint16_t element, const Bytes& bytes) {
    Element e;
    e.vr = "OB";
    e.value = bytes;
    body_[Tag(group, element)] = e;
  }

  // The data set alone, in the set's transfer syntax: what follows the
  // File Meta group in a file.
  Bytes Body() const {
    Bytes body;
    for (const auto& entry : body_)
      PutElement(body, entry.first, entry.second, ExplicitVr(), bigEndian_);
    return body;
  }

  // A Part-10 file: preamble, "DICM", the File Meta group and the body.
  // Elements go to the file one by one, so that a large pixel value is
  // never copied whole.
  bool Save(const std::string& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    Bytes head(128, 0);
    head.insert(head.end(), {'D', 'I', 'C', 'M'});
    const Bytes meta = MetaGroup();
    head.insert(head.end(), meta.begin(), meta.end());
    Write(out, head);
    for (const auto& entry : body_) {
      Bytes header;
      PutHeader(header, entry.first, entry.second, ExplicitVr(), bigEndian_);
      Write(out, header);
      Write(out, entry.second.value);
      if (entry.second.value.size() % 2)
        Write(out, Bytes(1, PadByte(entry.second)));
    }
    return static_cast<bool>(out);
  }

 private:
  static void Put16(Bytes& b, std::uint16_t v, bool big) {
    if (big)
      b.insert(b.end(), {std::uint8_t(v >> 8), std::uint8_t(v)});
    else
      b.insert(b.end(), {std::uint8_t(v), std::uint8_t(v >> 8)});
  }

  static void Put32(Bytes& b, std::uint32_t v, bool big) {
    if (big) {
      Put16(b, std::uint16_t(v >> 16), true);
      Put16(b, std::uint16_t(v), true);
    } else {
      Put16(b, std::uint16_t(v), false);
      Put16(b, std::uint16_t(v >> 16), false);
    }
  }

  bool ExplicitVr() const { return syntax_ != ImplicitLittle; }

  static void Write(std::ofstream& out, const Bytes& bytes) {
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }

  // Values are padded to even length: texts with a blank (UIDs with a NUL).
  static std::uint8_t PadByte(const Element& e) { return e.isText && e.vr != "UI" ? ' ' : 0; }

  static std::uint32_t PaddedLength(const Element& e) { return std::uint32_t((e.value.size() + 1) & ~std::size_t(1)); }

  // Tag, VR and length of an element whose value follows.
  static void PutHeader(Bytes& out, const Tag& tag, const Element& e, bool explicitVr, bool big) {
    const std::uint32_t length = PaddedLength(e);
    Put16(out, tag.first, big);
    Put16(out, tag.second, big);
    if (!explicitVr)
      Put32(out, length, big);
    else {
      out.insert(out.end(), e.vr.begin(), e.vr.end());
      if (HasLongLength(e.vr)) {
        Put16(out, 0, big);
        Put32(out, length, big);
      } else
        Put16(out, std::uint16_t(length), big);
    }
  }

  static void PutElement(Bytes& out, const Tag& tag, const Element& e, bool explicitVr, bool big) {
    PutHeader(out, tag, e, explicitVr, big);
    out.insert(out.end(), e.value.begin(), e.value.end());
    if (e.value.size() % 2)
      out.push_back(PadByte(e));
  }

  // The File Meta group, always explicit VR little endian, with its length.
  Bytes MetaGroup() const {
    std::map<Tag, Element> meta;
    auto text = [&meta](std::uint16_t element, const std::string& vr, const std::string& value) {
      Element e;
      e.vr = vr;
      e.value.assign(value.begin(), value.end());
      e.isText = true;
      meta[Tag(0x0002, element)] = e;
    };
    Element version;
    version.vr = "OB";
    version.value = {0, 1};
    meta[Tag(0x0002, 0x0001)] = version;
    text(0x0002, "UI", SopClass());
    text(0x0003, "UI", Find(0x0008, 0x0018));
    text(0x0010, "UI", syntax_);
    text(0x0012, "UI", "1.2.826.0.1.3680043.9.7777.1");
    text(0x0013, "SH", "MKSAMPLES");

    Bytes elements;
    for (const auto& entry : meta)
      PutElement(elements, entry.first, entry.second, true, false);
    Bytes group;
    Element length;
    length.vr = "UL";
    Put32(length.value, std::uint32_t(elements.size()), false);
    PutElement(group, Tag(0x0002, 0x0000), length, true, false);
    group.insert(group.end(), elements.begin(), elements.end());
    return group;
  }

  std::string Find(std::uint16_t group, std::uint16_t element) const {
    auto it = body_.find(Tag(group, element));
    return it == body_.end() ? std::string() : std::string(it->second.value.begin(), it->second.value.end());
  }

  std::string SopClass() const {
    const std::string fromBody = Find(0x0008, 0x0016);
    return fromBody.empty() ? "1.2.840.10008.5.1.4.1.1.7" : fromBody;
  }

  std::string syntax_;
  bool bigEndian_;
  std::map<Tag, Element> body_;
};

}  // namespace samplewriter

#endif
