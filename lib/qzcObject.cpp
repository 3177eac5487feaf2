#include "lib/qzcObject.h"
#include "lib/qzcException.h"

#include "lib/ifbstream.h"
#include "lib/ofbstream.h"

#include <iostream>

namespace {

void ComplainNotImplemented(const char* signature) {
  *qzcException::diagnosticChannel.stream << ">> Error " << signature << std::endl;
  *qzcException::diagnosticChannel.stream << "         sorry, function not implemented!" << std::endl;
}

}  // namespace

std::ostream& qzcObject::Print(std::ostream& os) const {
  ComplainNotImplemented("ostream& qzcObject::Print( ostream& ) const");
  return os;
}

std::istream& qzcObject::Parse(std::istream& is) {
  ComplainNotImplemented("istream& qzcObject::Parse( istream& )");
  return is;
}

ofbstream& qzcObject::Write(ofbstream& ofs) const {
  ComplainNotImplemented("ofbstream& qzcObject::Write( ofbstream& ) const");
  return ofs;
}

ifbstream& qzcObject::Read(ifbstream& ifs) {
  ComplainNotImplemented("ifbstream& qzcObject::Read( ifbstream& )");
  return ifs;
}
