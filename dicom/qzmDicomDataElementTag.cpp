// Text and binary forms of DICOM tags, and the File Meta filter.
#include "dicom/qzmDicomDataElementTag.h"
#include "dicom/qzmDicomDataElementTagSet.h"

#include <cstdlib>
#include <iomanip>
#include <istream>
#include <ostream>

#include "lib/ifbstream.h"
#include "lib/ofbstream.h"
#include "lib/qzcError.h"
#include "lib/qzcString.h"

std::ostream& operator<<(std::ostream& os, const qzmDicomDataElementTag& tag) {
  static const char* const signature = "ostream& operator <<( ostream&, const qzmDicomDataElementTag& )";
  const std::ios::fmtflags flags = os.flags();
  const char fill = os.fill();
  os << '(' << std::hex << std::uppercase << std::setfill('0') << std::setw(4) << tag.group << ',' << std::setw(4)
     << tag.element << ')';
  os.flags(flags);
  os.fill(fill);
  if (os.fail())
    qzcError(signature, "while sending instance to ostream!").Report();
  return os;
}

namespace {

const char* const tagParseSignature = "istream& operator >>( istream&, qzmDicomDataElementTag& )";

// The fault of a "(group,elem)" token, or null when the token is well formed.
const char* TagTokenFault(const qzcString& token) {
  const std::string::size_type open = token.find('(');
  const std::string::size_type comma = token.find(',');
  const std::string::size_type close = token.find(')');
  if (open == std::string::npos)
    return "syntax (group,elem): open parenthesis not found in token %s!";
  if (comma == std::string::npos)
    return "syntax (group,elem): comma not found in token %s!";
  if (close == std::string::npos)
    return "syntax (group,elem): closing parenthesis not found in token %s!";
  // At least one character between "(" and "," and between "," and ")".
  if (!(open + 1 < comma && comma + 1 < close))
    return "syntax (group,elem) is not respected in token %s!";
  if (token.find('-') != std::string::npos)
    return "sorry, range group1-group2 or elem1-elem2 not implemented %s!";
  if (token.find_first_not_of("(,)0123456789ABCDEFabcdef") != std::string::npos)
    return "sorry, jokers not implemented in group or element numbers %s!";
  return nullptr;
}

// The hexadecimal number starting at position, stored in 16 bits.
UWORD HexNumberAt(const qzcString& token, std::string::size_type position) {
  return static_cast<UWORD>(std::strtoul(token.c_str() + position, nullptr, 16));
}

}  // namespace

std::istream& operator>>(std::istream& is, qzmDicomDataElementTag& tag) {
  qzcString token;
  token.ReadWord(is);
  if (is.fail()) {
    qzcError(tagParseSignature, "failed while reading token!").Report();
    return is;
  }
  if (token.empty()) {
    is.setstate(std::ios::failbit);
    qzcError(tagParseSignature, "token is empty! no tag on the stream ?").Report();
    return is;
  }
  if (const char* fault = TagTokenFault(token)) {
    is.setstate(std::ios::failbit);
    qzcError(tagParseSignature, fault, token.c_str()).Report();
    return is;
  }
  tag.group = HexNumberAt(token, token.find('(') + 1);
  tag.element = HexNumberAt(token, token.find(',') + 1);
  return is;
}

ofbstream& operator<<(ofbstream& ofs, const qzmDicomDataElementTag& tag) {
  return ofs << tag.group << tag.element;
}

ifbstream& operator>>(ifbstream& ifs, qzmDicomDataElementTag& tag) {
  UWORD group = 0, element = 0;
  // A tag cut by the end of the file is not half-taken.
  if (ifs >> group >> element)
    tag = qzmDicomDataElementTag(group, element);
  return ifs;
}

const qzmDicomDataElementTagSet& qzmDicomDataElementTagSet::FileMetaFilter() {
  static const qzmDicomDataElementTagSet filter = {
      {0x0002, 0x0000},  // group length
      {0x0002, 0x0001},  // file meta information version
      {0x0002, 0x0002},  // media storage SOP class UID
      {0x0002, 0x0003},  // media storage SOP instance UID
      {0x0002, 0x0010},  // transfer syntax UID
      {0x0002, 0x0012},  // implementation class UID
      {0x0002, 0x0013},  // implementation version name
      {0x0002, 0x0016},  // source application entity title
      {0x0002, 0x0100},  // private information creator UID
      {0x0002, 0x0102},  // private information
  };
  return filter;
}
