// Storage of a data element value: VR conversions, typed accessors, copying.
#include "dicom/qzmDicomDataElementValue.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "dicom/qzmDicomDataElementSet.h"
#include "lib/qzcError.h"

typedef qzmDicomDataElementDescription Description;

namespace {

// The VR classes that share their storage.
enum StorageClass { NoStorage, Float, Double, Long, Word, Age, Tag, Date, DateTime, Time, Text, Bytes, Words };

StorageClass StorageOf(Description::VR code) {
  switch (code) {
    case Description::FL:
      return Float;
    case Description::FD:
      return Double;
    case Description::SL:
    case Description::UL:
      return Long;
    case Description::SS:
    case Description::US:
      return Word;
    case Description::AS:
      return Age;
    case Description::AT:
      return Tag;
    case Description::DA:
      return Date;
    case Description::DT:
      return DateTime;
    case Description::TM:
      return Time;
    case Description::OB:
    case Description::UN:
      return Bytes;
    case Description::OW:
      return Words;
    default:
      return qzmDicomDataElementValue::IsStringVR(code) ? Text : NoStorage;
  }
}

// Storage is kept when the VR changes within the string class, within
// 150-159 (but for SQ) and within 160-169.
bool SharesStorage(Description::VR a, Description::VR b) {
  if (a == Description::SQ || b == Description::SQ)
    return false;
  const auto within = [a, b](int low, int high) { return a >= low && a <= high && b >= low && b <= high; };
  return within(100, 149) || within(150, 159) || within(160, 169);
}

// The elements of a memory location; the location is in memory mode, so
// nothing is loaded and the const_cast changes nothing.
template <typename T>
const T* ArrayOf(const qzcDataLocation<T>& location) {
  return location.GetMode() == qzcDataLocation<T>::memory
             ? const_cast<qzcDataLocation<T>&>(location).GetMemoryLocation()
             : nullptr;
}

// An undefined location of size 0, its owned block released.
template <typename T>
void Empty(qzcDataLocation<T>& location) {
  location.Clear();
  location.SetSize(0);
}

// Copies an array location deeply: a new block of the same number of slots.
template <typename T>
bool CopyArray(const qzcDataLocation<T>& from, qzcDataLocation<T>& to) {
  to.Clear();
  to.SetSize(from.GetSize());
  if (!to.AllocateMemory())
    return false;
  std::memcpy(to.GetMemoryLocation(), ArrayOf(from), from.GetSize() * sizeof(T));
  return true;
}

// Gives a number VR n values (at least 1), keeping the first ones; new values
// are 0. One value lives inline (single); more live in an array of
// max(n, MinimumArraySlots) slots, reused while it is large enough.
template <typename T>
bool ResizeNumbers(qzcDataLocation<T>& array, T& single, UWORD& count, UWORD n) {
  n = std::max<UWORD>(n, 1);
  const T* old = count > 1 ? ArrayOf(array) : &single;
  const std::vector<T> kept(old, old + std::min(count, n));
  if (n == 1) {
    single = kept[0];
    array.Clear();
    array.SetSize(0);
  } else if (count <= 1 || n > array.GetSize()) {
    const ULONG previousSize = array.GetSize();
    array.SetSize(std::max<ULONG>(n, qzmDicomDataElementValue::MinimumArraySlots));
    if (!array.AllocateMemory()) {
      array.SetSize(previousSize);
      return false;
    }
  }
  if (n > 1) {
    T* values = array.GetMemoryLocation();
    std::fill(values, values + n, T(0));
    std::copy(kept.begin(), kept.end(), values);
  }
  count = n;
  return true;
}

}  // namespace

const char* qzmDicomDataElementValue::Token() const {
  return vr == Description::UN && text.size() == 2 ? text.c_str() : Description::TokenOf(vr);
}

bool qzmDicomDataElementValue::IsStorable(VR code) {
  return code == Description::UNDEFINED || code == Description::SQ || StorageOf(code) != NoStorage;
}

qzmDicomDataElementValue::qzmDicomDataElementValue(const qzmDicomDataElementValue& other) : qzcObject() {
  *this = other;
}

qzmDicomDataElementValue::qzmDicomDataElementValue() = default;

qzmDicomDataElementValue::~qzmDicomDataElementValue() {}

qzmDicomDataElementValue& qzmDicomDataElementValue::operator=(const qzmDicomDataElementValue& other) {
  static const char* const signature =
      "qzmDicomDataElementValue& qzmDicomDataElementValue::operator =( const qzmDicomDataElementValue& )";
  if (this == &other)
    return *this;
  if (!IsStorable(other.vr)) {
    qzcError(signature, "sorry, that VR (%d) is unknown or not allowed!", int(other.vr)).Report();
    return *this;
  }
  ReleaseStorage();
  vr = other.vr;
  count = other.count;
  text = other.text;
  number = other.number;
  age = other.age;
  tag = other.tag;
  dateTime = other.dateTime;
  readDateTime = other.readDateTime;
  readAge = other.readAge;
  empty = other.empty;
  for (const auto& item : other.items)
    items.push_back(std::make_unique<qzmDicomDataElementSet>(*item));
  bytes = other.bytes;
  words = other.words;
  if (other.IsMultiValued()) {
    const bool copied = StorageOf(vr) == Long ? CopyArray(other.longs, longs) : CopyArray(other.shorts, shorts);
    if (!copied)
      count = 1;
  }
  return *this;
}

void qzmDicomDataElementValue::ReleaseStorage() {
  text.clear();
  number = {};
  age = AgeRecord();
  tag = qzmDicomDataElementTag();
  dateTime = DateTimeRecord();
  readDateTime = DateTimeRecord();
  readAge = AgeRecord();
  items.clear();
  empty = false;
  Empty(bytes);
  Empty(words);
  Empty(shorts);
  Empty(longs);
  count = 1;
}

void qzmDicomDataElementValue::SetVR(VR newVR) {
  if (newVR == vr)
    return;
  if (!SharesStorage(vr, newVR))
    ReleaseStorage();
  vr = newVR;
}

bool qzmDicomDataElementValue::ReserveNumbers(UWORD n) {
  switch (StorageOf(vr)) {
    case Long:
      return ResizeNumbers(longs, number.ul, count, n);
    case Word:
      return ResizeNumbers(shorts, number.us, count, n);
    default:
      return false;
  }
}

void qzmDicomDataElementValue::SetCount(UWORD n) {
  ReserveNumbers(n);
}

template <typename T>
T& qzmDicomDataElementValue::NumberAs(VR code, UWORD index) {
  static const char* const signature = "T& qzmDicomDataElementValue::NumberAs( VR, UWORD )";
  SetVR(code);
  empty = false;
  if (index >= count && (index == 0xFFFF || !ReserveNumbers(index + 1))) {
    qzcError(signature, "unable to hold %lu values, using the first!", (unsigned long)index + 1).Report();
    index = 0;
  }
  void* slot;
  if (!IsMultiValued())
    slot = &number;
  else if (sizeof(T) == 4)
    slot = longs.GetMemoryLocation() + index;
  else
    slot = shorts.GetMemoryLocation() + index;
  return *static_cast<T*>(slot);
}

qzcString& qzmDicomDataElementValue::TextAs(VR code) {
  SetVR(code);
  empty = false;
  return text;
}

qzmDicomDataElementValue::AgeRecord& qzmDicomDataElementValue::AS() {
  SetVR(Description::AS);
  empty = false;
  return age;
}

qzmDicomDataElementTag& qzmDicomDataElementValue::AT() {
  SetVR(Description::AT);
  empty = false;
  return tag;
}

qzmDicomDataElementValue::DateRecord& qzmDicomDataElementValue::DA() {
  SetVR(Description::DA);
  empty = false;
  return dateTime.date;
}

qzmDicomDataElementValue::DateTimeRecord& qzmDicomDataElementValue::DT() {
  SetVR(Description::DT);
  empty = false;
  return dateTime;
}

qzmDicomDataElementValue::TimeRecord& qzmDicomDataElementValue::TM() {
  SetVR(Description::TM);
  empty = false;
  return dateTime.time;
}

float& qzmDicomDataElementValue::FL() {
  SetVR(Description::FL);
  empty = false;
  return number.fl;
}

double& qzmDicomDataElementValue::FD() {
  SetVR(Description::FD);
  empty = false;
  return number.fd;
}

SLONG& qzmDicomDataElementValue::SL(UWORD index) {
  return NumberAs<SLONG>(Description::SL, index);
}
ULONG& qzmDicomDataElementValue::UL(UWORD index) {
  return NumberAs<ULONG>(Description::UL, index);
}
SWORD& qzmDicomDataElementValue::SS(UWORD index) {
  return NumberAs<SWORD>(Description::SS, index);
}
UWORD& qzmDicomDataElementValue::US(UWORD index) {
  return NumberAs<UWORD>(Description::US, index);
}

qzcDataLocation<UBYTE>& qzmDicomDataElementValue::OB() {
  SetVR(Description::OB);
  empty = false;
  return bytes;
}

qzcDataLocation<UBYTE>& qzmDicomDataElementValue::UN() {
  SetVR(Description::UN);
  empty = false;
  return bytes;
}

qzcDataLocation<UWORD>& qzmDicomDataElementValue::OW() {
  SetVR(Description::OW);
  empty = false;
  return words;
}

qzmDicomDataElementValue::ItemList& qzmDicomDataElementValue::SQ() {
  SetVR(Description::SQ);
  empty = false;
  return items;
}

float qzmDicomDataElementValue::FL() const {
  return vr == Description::FL ? number.fl : 0.0f;
}
double qzmDicomDataElementValue::FD() const {
  return vr == Description::FD ? number.fd : 0.0;
}

SLONG qzmDicomDataElementValue::SL(UWORD index) const {
  return SLONG(vr == Description::SL ? LongAt(index) : 0);
}
ULONG qzmDicomDataElementValue::UL(UWORD index) const {
  return vr == Description::UL ? LongAt(index) : 0;
}
SWORD qzmDicomDataElementValue::SS(UWORD index) const {
  return SWORD(vr == Description::SS ? WordAt(index) : 0);
}
UWORD qzmDicomDataElementValue::US(UWORD index) const {
  return vr == Description::US ? WordAt(index) : 0;
}

ULONG qzmDicomDataElementValue::LongAt(UWORD index) const {
  if (index >= count)
    return 0;
  return IsMultiValued() ? ArrayOf(longs)[index] : number.ul;
}

UWORD qzmDicomDataElementValue::WordAt(UWORD index) const {
  if (index >= count)
    return 0;
  return IsMultiValued() ? ArrayOf(shorts)[index] : number.us;
}
