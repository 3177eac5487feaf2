// A DICOM data element tag: the (group, element) pair that identifies an
// element in a data set, in the dictionary and in AT values.
#ifndef QZM_DICOM_DATA_ELEMENT_TAG_H
#define QZM_DICOM_DATA_ELEMENT_TAG_H

#include <iosfwd>

#include "lib/qzcTypes.h"

class ifbstream;
class ofbstream;

class qzmDicomDataElementTag {
 public:
  constexpr qzmDicomDataElementTag(UWORD group_ = 0, UWORD element_ = 0) : group(group_), element(element_) {}

  UWORD group;
  UWORD element;
};

// Tags are ordered by group, then by element; this is the order of every map
// keyed by tags, hence the order in which sets are written and dumped.
constexpr bool operator<(const qzmDicomDataElementTag& a, const qzmDicomDataElementTag& b) {
  return a.group < b.group || (a.group == b.group && a.element < b.element);
}
constexpr bool operator==(const qzmDicomDataElementTag& a, const qzmDicomDataElementTag& b) {
  return a.group == b.group && a.element == b.element;
}
constexpr bool operator!=(const qzmDicomDataElementTag& a, const qzmDicomDataElementTag& b) {
  return !(a == b);
}

// Text form "(gggg,eeee)", upper-case hexadecimal.
std::ostream& operator<<(std::ostream& os, const qzmDicomDataElementTag& tag);
// Reads one token in the text form; on any fault the tag is unchanged, the
// stream failed and an error reported.
std::istream& operator>>(std::istream& is, qzmDicomDataElementTag& tag);

// Binary form: group then element, 16 bits each, in the stream's byte order.
ofbstream& operator<<(ofbstream& ofs, const qzmDicomDataElementTag& tag);
ifbstream& operator>>(ifbstream& ifs, qzmDicomDataElementTag& tag);

#endif
