// One entry of the DICOM data dictionary: value representation, value
// multiplicity, name and retired mark.
#ifndef QZM_DICOM_DATA_ELEMENT_DESCRIPTION_H
#define QZM_DICOM_DATA_ELEMENT_DESCRIPTION_H

#include <iosfwd>

#include "lib/qzcIndexRange.h"
#include "lib/qzcObject.h"
#include "lib/qzcString.h"

class qzmDicomDataElementDescription : public virtual qzcObject {
 public:
  // Value representation codes. The numbers are stored in the binary
  // dictionary, and their ranges classify values: 1-6 binary numbers, 50-55
  // structured texts, 100-109 plain strings, 150-159 large byte data, 160-169
  // large word data. The lower-case codes are dictionary-only pseudo-VRs whose
  // real VR depends on the context in which an element is read.
  enum VR : int {
    UNDEFINED = 0,
    FL = 1,
    FD = 2,
    SL = 3,
    SS = 4,
    UL = 5,
    US = 6,
    AS = 50,
    AT = 51,
    DA = 52,
    DT = 53,
    TM = 54,
    ss = 55,
    AE = 100,
    CS = 101,
    DS = 102,
    IS = 103,
    LO = 104,
    LT = 105,
    PN = 106,
    SH = 107,
    ST = 108,
    UI = 109,
    OB = 150,
    SQ = 151,
    UN = 152,
    OW = 160,
    os = 201,
    ox = 202,
    xs = 203
  };

  // Value multiplicity; last == VMUnbounded stands for "n".
  class VM : public qzcIndexRange {
   public:
    VM() : qzcIndexRange(1, 1, 1) {}
    VM(const qzcIndex first, const qzcIndex last, const qzcIndex step) : qzcIndexRange(first, last, step) {}
  };
  static constexpr qzcIndex VMUnbounded = 32767;

  qzmDicomDataElementDescription() = default;
  qzmDicomDataElementDescription(VR vr_, const VM& vm_, const qzcString& name_, bool retired_ = false)
      : vr(vr_), vm(vm_), name(name_), retired(retired_) {}
  virtual ~qzmDicomDataElementDescription() {}

  virtual std::ostream& Print(std::ostream& os) const override;
  virtual std::istream& Parse(std::istream& is) override;
  virtual ofbstream& Write(ofbstream& ofs) const override;
  virtual ifbstream& Read(ifbstream& ifs) override;

  // The two characters of a VR token to its code; an unknown pair is warned
  // about and gives UNDEFINED.
  static VR TranslateVR(const char first, const char second);
  // The token of a code: "UNDEFINED" for 0, "UNKNOWN ??" for codes outside the table.
  static const char* TokenOf(VR code);

  VR vr = UNDEFINED;
  VM vm;
  qzcString name;
  bool retired = false;
};

std::ostream& operator<<(std::ostream& os, const qzmDicomDataElementDescription::VR vr);
std::istream& operator>>(std::istream& is, qzmDicomDataElementDescription::VR& vr);
// The VM in its text form: a 4-character field for one-digit values
// ("1   ", "1-3 ", "1-n ", "2n  ", "n   ").
std::ostream& operator<<(std::ostream& os, const qzmDicomDataElementDescription::VM& vm);
std::istream& operator>>(std::istream& is, qzmDicomDataElementDescription::VM& vm);
// Binary form of a VR: one byte, the low byte of the code.
ofbstream& operator<<(ofbstream& ofs, const qzmDicomDataElementDescription::VR vr);
ifbstream& operator>>(ifbstream& ifs, qzmDicomDataElementDescription::VR& vr);

#endif
