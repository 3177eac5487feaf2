// Writing of a data element value to a DICOM stream, its length on the
// stream (for group lengths), and its text form.
#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>

#include "dicom/qzmDicomDataElementValue.h"
#include "lib/ofbstream.h"
#include "lib/qzcError.h"
#include "lib/qzcWarning.h"

typedef qzmDicomDataElementDescription Description;

namespace {

const char* const WriteSignature = "ofbstream& qzmDicomDataElementValue::Write( ofbstream& ) const";
const char* const DottedDate = "%04u.%02u.%02u";
const char* const ColonTime = "%02u:%02u:%02u";
const char* const ColonTimeWithFraction = "%02u:%02u:%02u.%06u";

bool IsValidDate(const qzmDicomDataElementValue::DateRecord& date) {
  return date.month >= 1 && date.month <= 12 && date.day >= 1 && date.day <= 31 && date.year <= 9999;
}

bool IsValidTime(const qzmDicomDataElementValue::TimeRecord& time) {
  return time.hour <= 23 && time.minute <= 59 && time.second <= 59 && time.fraction <= 999999;
}

std::string DateText(const qzmDicomDataElementValue::DateRecord& date, const char* format) {
  char text[32];
  std::snprintf(text, sizeof text, format, unsigned(date.year), unsigned(date.month), unsigned(date.day));
  return text;
}

std::string TimeText(const qzmDicomDataElementValue::TimeRecord& time, const char* format) {
  char text[32];
  std::snprintf(text, sizeof text, format, unsigned(time.hour), unsigned(time.minute), unsigned(time.second),
                unsigned(time.fraction));
  return text;
}

// The stored numbers: inline when there is one, else the array.
template <typename T>
const T* NumbersOf(const qzcDataLocation<T>& array, const T& single, UWORD count) {
  return count > 1 ? const_cast<qzcDataLocation<T>&>(array).GetMemoryLocation() : &single;
}

// The first value, then ", " and the next, up to 10 values.
template <typename Shown, typename T>
void PrintNumbers(std::ostream& os, const T* values, UWORD count) {
  const UWORD shown = count > 10 ? 10 : count;
  for (UWORD i = 0; i < shown; ++i)
    os << (i ? ", " : "") << Shown(values[i]);
  if (count > 10)
    os << "... (and more, total " << count << ")";
}

bool BeginsWithItemTag(const UBYTE* data) {
  static const UBYTE itemTag[] = {0xFE, 0xFF, 0x00, 0xE0};
  return std::memcmp(data, itemTag, 4) == 0;
}

// Words loaded from a little-endian encapsulated stream, in host order.
bool BeginsWithItemTag(const UWORD* data) {
  return data[0] == 0xFFFE && data[1] == 0xE000;
}

// The length and data of a location: items of encapsulated data keep their
// undefined length and go out unchanged; other data get a 32-bit length,
// odd byte data a NUL pad counted in it. The data are loaded once.
template <typename T>
void WriteLocation(ofbstream& ofs, const qzcDataLocation<T>& location, bool mayBeEncapsulated) {
  qzcDataLocation<T> data(location);
  if (mayBeEncapsulated && data.GetSize() * sizeof(T) >= 4) {
    const T* loaded = data.GetMemoryLocation();
    if (loaded == nullptr) {
      ofs.setstate(std::ios::failbit);
      return;
    }
    if (BeginsWithItemTag(loaded)) {
      ofs << ULONG(qzmDicomDataElementValue::UndefinedLength);
      ofs.WriteArray(loaded, data.GetSize());
      return;
    }
  }
  const ULONG saved = ofs.GetBFlags();
  pad_null(ofs);
  data.Write(ofs);
  ofs.SetBFlags(saved);
}

}  // namespace

bool qzmDicomDataElementValue::WriteLength(ofbstream& ofs, ULONG length) const {
  if (!ofs.HasBFlags(iobs::explicit_hint)) {
    ofs << length;
    return true;
  }
  if (length > 0xFFFF) {
    // A 16-bit length field would cut the length and corrupt the file.
    ofs.setstate(std::ios::failbit);
    qzcError(WriteSignature, "%s value of %lu bytes does not fit the 16-bit length of explicit VR!",
             Description::TokenOf(vr), (unsigned long)length)
        .Report();
    return false;
  }
  ofs << UWORD(length);
  return true;
}

void qzmDicomDataElementValue::WriteText(ofbstream& ofs, const std::string& value, char pad) const {
  const bool odd = value.size() % 2 != 0;
  if (!WriteLength(ofs, ULONG(value.size() + odd)))
    return;
  ofs.WriteBlock(value.data(), ULONG(value.size()));
  if (odd)
    ofs << ABYTE(pad);
}

void qzmDicomDataElementValue::WriteAge(ofbstream& ofs) const {
  if (age.number > 999) {
    ofs.setstate(std::ios::failbit);
    qzcError(WriteSignature, "AS value %u > 999... it must fit 3 chars!", unsigned(age.number)).Report();
    return;
  }
  if (age.unit > AgeRecord::years) {
    ofs.setstate(std::ios::failbit);
    qzcError(WriteSignature, "unknown AS unit specification!").Report();
    return;
  }
  char chars[8];
  std::snprintf(chars, sizeof chars, "%03u%c", unsigned(age.number), "DWMY"[age.unit]);
  WriteText(ofs, chars, ' ');
}

void qzmDicomDataElementValue::WriteDate(ofbstream& ofs) const {
  const DateRecord& date = dateTime.date;
  const std::string chars = DateText(date, DottedDate);
  if (!IsValidDate(date))
    qzcWarning(WriteSignature, "invalid DA (date) value: %s!", chars.c_str()).Report();
  if (chars.size() != 10) {
    // Fields wider than their digits would not match the length written.
    ofs.setstate(std::ios::failbit);
    qzcError(WriteSignature, "DA value %s does not fit 10 characters!", chars.c_str()).Report();
    return;
  }
  WriteText(ofs, chars, ' ');
}

void qzmDicomDataElementValue::WriteDateTime(ofbstream& ofs) const {
  const DateRecord& date = dateTime.date;
  const TimeRecord& time = dateTime.time;
  if (!IsValidDate(date) || !IsValidTime(time)) {
    ofs.setstate(std::ios::failbit);
    qzcError(WriteSignature, "invalid DT (date) value: %s %s!", DateText(date, DottedDate).c_str(),
             TimeText(time, ColonTimeWithFraction).c_str())
        .Report();
    return;
  }
  const char* timeFormat = time.fraction ? "%02u%02u%02u.%06u " : "%02u%02u%02u";
  WriteText(ofs, DateText(date, "%04u%02u%02u") + TimeText(time, timeFormat), ' ');
}

void qzmDicomDataElementValue::WriteTime(ofbstream& ofs) const {
  const TimeRecord& time = dateTime.time;
  if (!IsValidTime(time)) {
    ofs.setstate(std::ios::failbit);
    qzcError(WriteSignature, "invalid TM (time) value: %s!", TimeText(time, ColonTimeWithFraction).c_str()).Report();
    return;
  }
  WriteText(ofs, TimeText(time, time.fraction ? "%02u:%02u:%02u.%06u " : "%02u:%02u:%02u"), ' ');
}

template <typename T>
void qzmDicomDataElementValue::WriteNumbers(ofbstream& ofs, const qzcDataLocation<T>& array, const T& single) const {
  if (WriteLength(ofs, ULONG(count) * sizeof(T)))
    ofs.WriteArray(NumbersOf(array, single, count), count);
}

void qzmDicomDataElementValue::WriteLargeData(ofbstream& ofs) const {
  if (ofs.HasBFlags(iobs::explicit_hint))
    ofs << UWORD(0);
  // Encapsulated pixel data may be held as OB or OW.
  const bool mayBeEncapsulated = ofs.HasBFlags(iobs::encapsulated_hint) && vr != Description::UN;
  if (vr == Description::OW)
    WriteLocation(ofs, words, mayBeEncapsulated);
  else
    WriteLocation(ofs, bytes, mayBeEncapsulated);
}

ofbstream& qzmDicomDataElementValue::Write(ofbstream& ofs) const {
  if (vr == Description::SQ) {
    ofs.setstate(std::ios::failbit);
    qzcError(WriteSignature, "SQ is not implemented, sorry! (written as empty)").Report();
    return ofs;
  }
  if (vr == Description::UNDEFINED || !IsStorable(vr)) {
    ofs.setstate(std::ios::failbit);
    qzcError(WriteSignature, "sorry, VR (%d) unknown or not allowed!", int(vr)).Report();
    return ofs;
  }
  if (ofs.HasBFlags(iobs::explicit_hint))
    ofs.WriteBlock(Description::TokenOf(vr), 2);
  switch (vr) {
    case Description::UI:
      WriteText(ofs, text, '\0');
      break;
    case Description::AS:
      WriteAge(ofs);
      break;
    case Description::AT:
      if (WriteLength(ofs, 4))
        ofs << tag;
      break;
    case Description::DA:
      WriteDate(ofs);
      break;
    case Description::DT:
      WriteDateTime(ofs);
      break;
    case Description::TM:
      WriteTime(ofs);
      break;
    case Description::FL:
    case Description::FD: {
      const ULONG size = vr == Description::FL ? 4 : 8;
      if (!WriteLength(ofs, size))
        break;
      if (ofs.IsBigEndian())
        ofs.WriteReversed(&number, size);
      else
        ofs.WriteBlock(&number, size);
      break;
    }
    case Description::SL:
    case Description::UL:
      WriteNumbers(ofs, longs, number.ul);
      break;
    case Description::SS:
    case Description::US:
      WriteNumbers(ofs, shorts, number.us);
      break;
    case Description::OB:
    case Description::UN:
    case Description::OW:
      WriteLargeData(ofs);
      break;
    default:
      WriteText(ofs, text, ' ');  // the other strings
  }
  return ofs;
}

ULONG qzmDicomDataElementValue::LengthOnStream(const iobs& policy) const {
  static const char* const signature = "ULONG qzmDicomDataElementValue::LengthOnStream() const";
  const ULONG largeHeader = policy.HasBFlags(iobs::explicit_hint) ? 8 : 4;
  switch (vr) {
    case Description::FL:
    case Description::AS:
    case Description::AT:
      return 8;
    case Description::FD:
      return 12;
    case Description::SL:
    case Description::UL:
      return ULONG(count) * 4 + 4;
    case Description::SS:
    case Description::US:
      return ULONG(count) * 2 + 4;
    case Description::DA:
      return 14;
    case Description::DT:
      return dateTime.time.fraction ? 26 : 18;
    case Description::TM:
      return dateTime.time.fraction ? 20 : 12;
    case Description::OB:
    case Description::UN:
      return bytes.GetSize() + bytes.GetSize() % 2 + largeHeader;
    case Description::OW:
      return 2 * words.GetSize() + largeHeader;
    case Description::SQ:
      qzcError(signature, "SQ is not implemented, sorry!").Report();
      return 0;
    default:
      if (IsStringVR(vr))
        return ULONG(text.size() + text.size() % 2 + 4);
      qzcError(signature, "sorry, VR (%d) unknown or not allowed!", int(vr)).Report();
      return 0;
  }
}

std::ostream& qzmDicomDataElementValue::Print(std::ostream& os) const {
  static const char* const signature = "ostream& qzmDicomDataElementValue::Print( ostream& ) const";
  static const char* const units[] = {" day(s)", " week(s)", " month(s)", " year(s)"};
  switch (vr) {
    case Description::UNDEFINED:
      os << "UNDEFINED";
      break;
    case Description::FL:
      os << double(number.fl);
      break;
    case Description::FD:
      os << number.fd;
      break;
    case Description::SL:
      PrintNumbers<SLONG>(os, NumbersOf(longs, number.ul, count), count);
      break;
    case Description::UL:
      PrintNumbers<ULONG>(os, NumbersOf(longs, number.ul, count), count);
      break;
    case Description::SS:
      PrintNumbers<SWORD>(os, NumbersOf(shorts, number.us, count), count);
      break;
    case Description::US:
      PrintNumbers<UWORD>(os, NumbersOf(shorts, number.us, count), count);
      break;
    case Description::AS:
      os << age.number << (age.unit <= AgeRecord::years ? units[age.unit] : " UNKNOWN UNIT!");
      break;
    case Description::AT:
      os << tag;
      break;
    case Description::DA:
      os << DateText(dateTime.date, DottedDate);
      break;
    case Description::TM:
      os << TimeText(dateTime.time, dateTime.time.fraction ? ColonTimeWithFraction : ColonTime);
      break;
    case Description::DT:
      os << DateText(dateTime.date, DottedDate) << ' '
         << TimeText(dateTime.time, dateTime.time.fraction ? ColonTimeWithFraction : ColonTime);
      break;
    case Description::OB:
    case Description::UN:
      bytes.Print(os);
      break;
    case Description::OW:
      words.Print(os);
      break;
    case Description::SQ:
      qzcWarning(signature, "SQ is not implemented, sorry!").Report();
      break;
    default:
      if (IsStringVR(vr))
        os << text;
      else
        qzcError(signature, "sorry, VR (%d) unknown or not allowed!", int(vr)).Report();
  }
  return os;
}
