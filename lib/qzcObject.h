// The root of every class with a text or binary form. The defaults of the
// four operations only complain on standard error.
#ifndef QZC_OBJECT_H
#define QZC_OBJECT_H

#include <istream>
#include <ostream>

class ofbstream;
class ifbstream;

class qzcObject {
 public:
  virtual ~qzcObject() = default;

  virtual std::ostream& Print(std::ostream& os) const;
  virtual std::istream& Parse(std::istream& is);
  virtual ofbstream& Write(ofbstream& ofs) const;
  virtual ifbstream& Read(ifbstream& ifs);
};

#endif
