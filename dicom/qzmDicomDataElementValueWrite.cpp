// Writing of a data element value to a DICOM stream, its length on the
// stream (for group lengths), and its text form.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>

#include "dicom/qzmDicomDataElementSet.h"
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
const char* const StandardDate = "%04u%02u%02u";
const qzmDicomDataElementTag ItemTag(0xFFFE, 0xE000), ItemDelimitationTag(0xFFFE, 0xE00D),
    SequenceDelimitationTag(0xFFFE, 0xE0DD);

// VRs written with 2 reserved bytes and a 32-bit length under explicit VR.
bool HasLongHeader(Description::VR code) {
  return code >= 150 && code <= 169;
}

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

bool qzmDicomDataElementValue::RecordUnchanged() const {
  if (text.empty())
    return false;
  if (vr == Description::AS)
    return age.number == readAge.number && age.unit == readAge.unit;
  const DateRecord &date = dateTime.date, &readDate = readDateTime.date;
  const TimeRecord &time = dateTime.time, &readTime = readDateTime.time;
  const bool sameDate = date.year == readDate.year && date.month == readDate.month && date.day == readDate.day;
  const bool sameTime = time.hour == readTime.hour && time.minute == readTime.minute &&
                        time.second == readTime.second && time.fraction == readTime.fraction;
  switch (vr) {
    case Description::DA:
      return sameDate && text.find('.') == std::string::npos;  // the retired YYYY.MM.DD is rewritten
    case Description::TM:
      return sameTime && text.find(':') == std::string::npos;  // so is HH:MM:SS
    default:
      return sameDate && sameTime;
  }
}

std::string qzmDicomDataElementValue::RecordText() const {
  if (RecordUnchanged())
    return text;
  const char* timeFormat = dateTime.time.fraction ? "%02u%02u%02u.%06u" : "%02u%02u%02u";
  switch (vr) {
    case Description::AS: {
      char chars[16];
      std::snprintf(chars, sizeof chars, "%03u%c", unsigned(age.number), "DWMY"[age.unit & 3]);
      return chars;
    }
    case Description::DA:
      return DateText(dateTime.date, StandardDate);
    case Description::TM:
      return TimeText(dateTime.time, timeFormat);
    default:
      return DateText(dateTime.date, StandardDate) + TimeText(dateTime.time, timeFormat);
  }
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
  WriteText(ofs, RecordText(), ' ');
}

void qzmDicomDataElementValue::WriteDate(ofbstream& ofs) const {
  const DateRecord& date = dateTime.date;
  if (!IsValidDate(date))
    qzcWarning(WriteSignature, "invalid DA (date) value: %s!", DateText(date, DottedDate).c_str()).Report();
  const std::string chars = RecordText();
  if (!RecordUnchanged() && chars.size() != 8) {
    // Fields wider than their digits would not make a date.
    ofs.setstate(std::ios::failbit);
    qzcError(WriteSignature, "DA value %s does not fit 8 characters!", chars.c_str()).Report();
    return;
  }
  WriteText(ofs, chars, ' ');
}

void qzmDicomDataElementValue::WriteDateTime(ofbstream& ofs) const {
  const DateRecord& date = dateTime.date;
  const TimeRecord& time = dateTime.time;
  if (!RecordUnchanged() && (!IsValidDate(date) || !IsValidTime(time))) {
    ofs.setstate(std::ios::failbit);
    qzcError(WriteSignature, "invalid DT (date) value: %s %s!", DateText(date, DottedDate).c_str(),
             TimeText(time, ColonTimeWithFraction).c_str())
        .Report();
    return;
  }
  WriteText(ofs, RecordText(), ' ');
}

void qzmDicomDataElementValue::WriteTime(ofbstream& ofs) const {
  const TimeRecord& time = dateTime.time;
  if (!RecordUnchanged() && !IsValidTime(time)) {
    ofs.setstate(std::ios::failbit);
    qzcError(WriteSignature, "invalid TM (time) value: %s!", TimeText(time, ColonTimeWithFraction).c_str()).Report();
    return;
  }
  WriteText(ofs, RecordText(), ' ');
}

void qzmDicomDataElementValue::WriteFollowingValues(ofbstream& ofs, ULONG unit) const {
  std::string values = text;
  if (ofs.IsBigEndian())
    for (std::size_t at = 0; at + unit <= values.size(); at += unit)
      std::reverse(values.begin() + at, values.begin() + at + unit);
  ofs.WriteBlock(values.data(), ULONG(values.size()));
}

// Sequences and their items go out with undefined lengths and delimiters:
// under implicit VR, that is how a reader without the element in its
// dictionary knows a sequence.
void qzmDicomDataElementValue::WriteSequence(ofbstream& ofs) const {
  if (ofs.HasBFlags(iobs::explicit_hint))
    ofs << UWORD(0);
  ofs << ULONG(UndefinedLength);
  for (const auto& item : items) {
    ofs << ItemTag << ULONG(UndefinedLength);
    item->WriteItem(ofs);
    ofs << ItemDelimitationTag << ULONG(0);
  }
  ofs << SequenceDelimitationTag << ULONG(0);
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
  if (vr == Description::UNDEFINED || !IsStorable(vr)) {
    ofs.setstate(std::ios::failbit);
    qzcError(WriteSignature, "sorry, VR (%d) unknown or not allowed!", int(vr)).Report();
    return ofs;
  }
  if (ofs.HasBFlags(iobs::explicit_hint))
    ofs.WriteBlock(Token(), 2);
  if (empty) {
    if (ofs.HasBFlags(iobs::explicit_hint) && HasLongHeader(vr))
      ofs << UWORD(0) << ULONG(0);
    else
      WriteLength(ofs, 0);
    return ofs;
  }
  switch (vr) {
    case Description::SQ:
      WriteSequence(ofs);
      break;
    case Description::UI:
      WriteText(ofs, text, '\0');
      break;
    case Description::AS:
      WriteAge(ofs);
      break;
    case Description::AT:
      if (WriteLength(ofs, ULONG(4 + text.size()))) {
        ofs << tag;
        WriteFollowingValues(ofs, 2);
      }
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
      if (!WriteLength(ofs, ULONG(size + text.size())))
        break;
      if (ofs.IsBigEndian())
        ofs.WriteReversed(&number, size);
      else
        ofs.WriteBlock(&number, size);
      WriteFollowingValues(ofs, size);
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
  if (empty)
    return HasLongHeader(vr) ? largeHeader : 4;
  switch (vr) {
    case Description::FL:
    case Description::AT:
      return ULONG(8 + text.size());
    case Description::FD:
      return ULONG(12 + text.size());
    case Description::SL:
    case Description::UL:
      return ULONG(count) * 4 + 4;
    case Description::SS:
    case Description::US:
      return ULONG(count) * 2 + 4;
    case Description::AS:
    case Description::DA:
    case Description::DT:
    case Description::TM: {
      const std::string chars = RecordText();
      return ULONG(chars.size() + chars.size() % 2 + 4);
    }
    case Description::OB:
    case Description::UN:
      return bytes.GetSize() + bytes.GetSize() % 2 + largeHeader;
    case Description::OW:
      return 2 * words.GetSize() + largeHeader;
    case Description::SQ: {
      ULONG length = largeHeader + 8;  // and the sequence delimitation
      for (const auto& item : items)
        length += 8 + item->ItemLength(policy) + 8;
      return length;
    }
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
  if (empty)
    return os;
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
      os << items.size() << (items.size() == 1 ? " item" : " items");
      break;
    default:
      if (IsStringVR(vr))
        os << text;
      else
        qzcError(signature, "sorry, VR (%d) unknown or not allowed!", int(vr)).Report();
  }
  return os;
}
