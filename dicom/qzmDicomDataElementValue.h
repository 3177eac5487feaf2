// The value of one DICOM data element: a VR code and storage of the matching
// kind (text, numbers, a date, time or age record, a tag, the items of a
// sequence, or a data location for large values that stay in their file
// until used). A value read with length 0 is kept as an empty value.
#ifndef QZM_DICOM_DATA_ELEMENT_VALUE_H
#define QZM_DICOM_DATA_ELEMENT_VALUE_H

#include <iosfwd>
#include <string>
#include <memory>
#include <vector>

#include "dicom/qzmDicomDataElementDescription.h"
#include "dicom/qzmDicomDataElementTag.h"
#include "lib/iobs.h"
#include "lib/qzcDataLocation.h"
#include "lib/qzcObject.h"
#include "lib/qzcString.h"
#include "lib/qzcTypes.h"

class ifbstream;
class ofbstream;
class qzmDicomDataElementSet;

class qzmDicomDataElementValue : public virtual qzcObject {
 public:
  typedef qzmDicomDataElementDescription::VR VR;

  // AS: an age of 0-999 units.
  struct AgeRecord {
    enum Unit { days = 0, weeks = 1, months = 2, years = 3 };
    UWORD number = 0;
    UBYTE unit = days;
  };
  // DA.
  struct DateRecord {
    UBYTE day = 0;
    UBYTE month = 0;
    UWORD year = 0;
  };
  // TM; the fraction is in microseconds.
  struct TimeRecord {
    UBYTE hour = 0;
    UBYTE minute = 0;
    UBYTE second = 0;
    ULONG fraction = 0;
  };
  // DT.
  struct DateTimeRecord {
    DateRecord date;
    TimeRecord time;
  };

  // SQ: the items, each a nested set.
  typedef std::vector<std::unique_ptr<qzmDicomDataElementSet>> ItemList;

  // Multi-valued numbers are kept in an array of at least this many slots.
  static const UWORD MinimumArraySlots = 500;

  qzmDicomDataElementValue();
  qzmDicomDataElementValue(const qzmDicomDataElementValue& other);
  qzmDicomDataElementValue& operator=(const qzmDicomDataElementValue& other);
  virtual ~qzmDicomDataElementValue();

  VR GetVR() const { return vr; }
  // The VR token written for the value: that of the VR, or for a UN value
  // the token it was read under (UT, OF and the other tokens it stands for).
  const char* Token() const;
  // Converts the storage to the new VR: kept within the string class,
  // within 150-159 and within 160-169, otherwise released and replaced by
  // empty storage of the new class.
  void SetVR(VR newVR);
  // Number of values held (SL, SS, UL, US); 1 otherwise.
  UWORD GetCount() const { return count; }
  // Sizes a multi-valued number (SL, SS, UL, US) to n values, keeping the
  // first ones; new values are 0. Does nothing for other VRs.
  void SetCount(UWORD n);
  // A value read with length 0 (any VR). The typed accessors that give write
  // access make it a value again.
  bool IsEmpty() const { return empty; }

  // Typed accessors: each converts the value to its own VR first (SetVR),
  // then gives access to the storage. Reading through the wrong accessor
  // therefore empties the value. An index at or past the count grows the
  // value to index + 1 values.
  qzcString& AE() { return TextAs(qzmDicomDataElementDescription::AE); }
  qzcString& CS() { return TextAs(qzmDicomDataElementDescription::CS); }
  qzcString& DS() { return TextAs(qzmDicomDataElementDescription::DS); }
  qzcString& IS() { return TextAs(qzmDicomDataElementDescription::IS); }
  qzcString& LO() { return TextAs(qzmDicomDataElementDescription::LO); }
  qzcString& LT() { return TextAs(qzmDicomDataElementDescription::LT); }
  qzcString& PN() { return TextAs(qzmDicomDataElementDescription::PN); }
  qzcString& SH() { return TextAs(qzmDicomDataElementDescription::SH); }
  qzcString& ST() { return TextAs(qzmDicomDataElementDescription::ST); }
  qzcString& UI() { return TextAs(qzmDicomDataElementDescription::UI); }
  AgeRecord& AS();
  qzmDicomDataElementTag& AT();
  DateRecord& DA();
  DateTimeRecord& DT();
  TimeRecord& TM();
  float& FL();
  double& FD();
  SLONG& SL(UWORD index = 0);
  ULONG& UL(UWORD index = 0);
  SWORD& SS(UWORD index = 0);
  UWORD& US(UWORD index = 0);
  qzcDataLocation<UBYTE>& OB();
  qzcDataLocation<UBYTE>& UN();
  qzcDataLocation<UWORD>& OW();
  ItemList& SQ();

  // Read-only forms of the accessors, for constant sets: they never convert.
  // A value of another VR gives an empty text, a zero number or record, or
  // an undefined location.
  const qzcString& AE() const { return text; }
  const qzcString& CS() const { return text; }
  const qzcString& DS() const { return text; }
  const qzcString& IS() const { return text; }
  const qzcString& LO() const { return text; }
  const qzcString& LT() const { return text; }
  const qzcString& PN() const { return text; }
  const qzcString& SH() const { return text; }
  const qzcString& ST() const { return text; }
  const qzcString& UI() const { return text; }
  const AgeRecord& AS() const { return age; }
  const qzmDicomDataElementTag& AT() const { return tag; }
  const DateRecord& DA() const { return dateTime.date; }
  const DateTimeRecord& DT() const { return dateTime; }
  const TimeRecord& TM() const { return dateTime.time; }
  float FL() const;
  double FD() const;
  SLONG SL(UWORD index = 0) const;
  ULONG UL(UWORD index = 0) const;
  SWORD SS(UWORD index = 0) const;
  UWORD US(UWORD index = 0) const;
  const qzcDataLocation<UBYTE>& OB() const { return bytes; }
  const qzcDataLocation<UBYTE>& UN() const { return bytes; }
  const qzcDataLocation<UWORD>& OW() const { return words; }
  const ItemList& SQ() const { return items; }

  // What follows the tag on a stream: the explicit VR (under explicit_hint),
  // the length and the value.
  virtual ifbstream& Read(ifbstream& ifs) override;
  virtual ofbstream& Write(ofbstream& ofs) const override;
  virtual std::ostream& Print(std::ostream& os) const override;

  // Reads the explicit VR (when the stream carries one) and the length.
  ULONG ReadButValue(ifbstream& ifs);
  // Skips the items of a sequence or of encapsulated data, stream placed
  // after an undefined length; returns the bytes consumed (0 on failure).
  ULONG SkipNestedElements(ifbstream& ifs) const;
  // Fails the stream, with an error, unless n more bytes can be read both in
  // the stream and in the item or sequence being read.
  static bool CheckLength(ifbstream& ifs, ULONG n, const char* signature);
  // Bytes after the tag (VR/length header and value) when written under the
  // policy of a stream (an ofbstream is one).
  ULONG LengthOnStream(const iobs& policy) const;

  // While it lives, reading stays before the byte offset end (the end of an
  // item or sequence of defined length, or of an enclosing one that ends
  // first): CheckLength fails a length that runs past it.
  class ReadLimit {
   public:
    explicit ReadLimit(unsigned long end);
    ~ReadLimit();
    ReadLimit(const ReadLimit&) = delete;
    ReadLimit& operator=(const ReadLimit&) = delete;

   private:
    unsigned long previous;
  };
  static const unsigned long NoReadLimit = ~0ul;

  // The length that marks a sequence or encapsulated data of undefined size.
  static const ULONG UndefinedLength = 0xFFFFFFFF;
  // Skips a value of len bytes, or its nested items when len is undefined;
  // false, with the stream failed and an error reported, when the stream
  // ends first.
  static bool SkipValue(ifbstream& ifs, ULONG len);
  // The read position for reports, also on a failed stream.
  static unsigned long PositionOf(ifbstream& ifs);

  // True for the codes a value can hold: 0, the binary numbers, the
  // structured texts, the strings, OB, SQ, UN and OW (not the pseudo-VRs).
  static bool IsStorable(VR code);
  static bool IsStringVR(VR code) { return code >= 100 && code <= 149; }

 private:
  qzcString& TextAs(VR code);
  // The index-th number of a number VR, growing the value to reach it.
  template <typename T>
  T& NumberAs(VR code, UWORD index);
  void ReleaseStorage();
  bool IsMultiValued() const { return count > 1; }
  // The i-th of the 32-bit or 16-bit numbers held, 0 past the count.
  ULONG LongAt(UWORD index) const;
  UWORD WordAt(UWORD index) const;
  // Makes room for n numbers of the current VR, keeping the first ones.
  bool ReserveNumbers(UWORD n);

  // Reading of the VR classes (ifs after the length, len > 0).
  void DropValue(ifbstream& ifs, ULONG len);
  // Reads the characters of a value whose length must fit (expected names
  // the lengths for the warning); drops it otherwise. False when there is
  // nothing to convert.
  bool ReadExactText(ifbstream& ifs, ULONG len, bool lengthFits, const char* expected, std::string& chars);
  // Drops, with a warning, a value shorter than one number of size bytes.
  bool HoldsOneValue(ifbstream& ifs, ULONG len, ULONG size, const char* name);
  // The values of size bytes after the first one of AT, FL and FD, kept as
  // little-endian units of unit bytes; a partial value is skipped.
  void ReadFollowingValues(ifbstream& ifs, ULONG len, ULONG size, ULONG unit);
  void ReadAge(ifbstream& ifs, ULONG len);
  void ReadTag(ifbstream& ifs, ULONG len);
  void ReadDate(ifbstream& ifs, ULONG len);
  void ReadDateTime(ifbstream& ifs, ULONG len);
  void ReadTime(ifbstream& ifs, ULONG len);
  // The items of a sequence, of len bytes or up to the sequence delimitation.
  void ReadSequence(ifbstream& ifs, ULONG len);
  template <typename T>
  void ReadFloating(ifbstream& ifs, ULONG len, T& number, const char* name);
  template <typename T>
  void ReadNumbers(ifbstream& ifs, ULONG len, qzcDataLocation<T>& array, T& single, const char* name);
  template <typename T>
  void ReadLargeData(ifbstream& ifs, ULONG len, qzcDataLocation<T>& location, const char* name);

  // Writing: the length field (2 bytes under explicit VR, 4 under
  // implicit) and the values of the VR classes.
  bool WriteLength(ofbstream& ofs, ULONG length) const;
  void WriteText(ofbstream& ofs, const std::string& value, char pad) const;
  void WriteAge(ofbstream& ofs) const;
  void WriteDate(ofbstream& ofs) const;
  void WriteDateTime(ofbstream& ofs) const;
  void WriteTime(ofbstream& ofs) const;
  template <typename T>
  void WriteNumbers(ofbstream& ofs, const qzcDataLocation<T>& array, const T& single) const;
  void WriteLargeData(ofbstream& ofs) const;
  void WriteSequence(ofbstream& ofs) const;
  // The values that ReadFollowingValues kept, in the stream's byte order.
  void WriteFollowingValues(ofbstream& ofs, ULONG unit) const;
  // The text written for AS, DA, DT and TM: the text read when the record
  // still holds what was read from it, else the record in standard form.
  std::string RecordText() const;
  bool RecordUnchanged() const;
  void KeepReadRecord(const std::string& chars);

  VR vr = qzmDicomDataElementDescription::UNDEFINED;
  UWORD count = 1;
  bool empty = false;
  // Strings; for AS, DA, DT and TM the text read; for AT, FL and FD the
  // values after the first (see ReadFollowingValues); for UN the token read.
  qzcString text;
  union {
    float fl;
    double fd;
    ULONG ul;
    UWORD us;
  } number = {};
  AgeRecord age;
  qzmDicomDataElementTag tag;
  DateTimeRecord dateTime;        // DA uses the date, TM the time
  DateTimeRecord readDateTime;    // the records as read, to tell a changed
  AgeRecord readAge;              // value from one to write back as read
  ItemList items;                 // SQ
  qzcDataLocation<UBYTE> bytes;   // OB, UN
  qzcDataLocation<UWORD> words;   // OW
  qzcDataLocation<UWORD> shorts;  // the array of SS/US values when count > 1
  qzcDataLocation<ULONG> longs;   // the array of SL/UL values when count > 1
};

#endif
