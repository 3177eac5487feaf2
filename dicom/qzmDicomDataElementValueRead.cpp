// Reading of a data element value from a DICOM stream: explicit VR and
// length, nested items, and every VR with the corrections applied to damaged
// or old-style files.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <string>

#include "dicom/qzmDicomDataElementSet.h"
#include "dicom/qzmDicomDataElementValue.h"
#include "lib/ifbstream.h"
#include "lib/qzcError.h"
#include "lib/qzcWarning.h"

typedef qzmDicomDataElementDescription Description;

namespace {

const char* const ReadSignature = "ifbstream& qzmDicomDataElementValue::Read( ifbstream& )";
const char* const SkipNestedSignature = "ULONG qzmDicomDataElementValue::SkipNestedElements( ifbstream& ) const";

// Sequences nested deeper than this are taken as a damaged file.
const int MaximumNesting = 64;
thread_local int nesting = 0;
thread_local unsigned long readLimit = qzmDicomDataElementValue::NoReadLimit;

// Counts one level of nesting for as long as it lives.
struct NestingLevel {
  NestingLevel() { ++nesting; }
  ~NestingLevel() { --nesting; }
  bool TooDeep() const { return nesting > MaximumNesting; }
};

const qzmDicomDataElementTag ItemTag(0xFFFE, 0xE000);
const qzmDicomDataElementTag SequenceDelimitation(0xFFFE, 0xE0DD);

// True when n more bytes can be read. Bytes already buffered answer without
// moving the stream.
bool HasBytesLeft(ifbstream& ifs, ULONG n) {
  const std::streamsize buffered = ifs.rdbuf()->in_avail();
  return (buffered >= 0 && ULONG(buffered) >= n) || ifs.BytesLeft() >= n;
}

// Fails the stream, with an error, when the nesting is too deep.
bool CheckNesting(ifbstream& ifs, const NestingLevel& level, const char* signature) {
  if (!level.TooDeep())
    return true;
  ifs.setstate(std::ios::failbit);
  qzcError(signature, "sequences nested deeper than %d levels! (0x%lx)", MaximumNesting,
           qzmDicomDataElementValue::PositionOf(ifs))
      .Report();
  return false;
}

// Explicit VR tokens outside the program's VR set that use the long header
// (2 reserved bytes and a 32-bit length); their values are kept as UN.
bool IsLongHeaderToken(const char first, const char second) {
  static const char* const tokens[] = {"OD", "OF", "OL", "OV", "SV", "UC", "UR", "UT", "UV"};
  for (const char* token : tokens)
    if (token[0] == first && token[1] == second)
      return true;
  return false;
}

bool HasLongHeader(Description::VR code) {
  return code >= 150 && code <= 169;
}

// The decimal number of at most width digits that starts at offset; 0 when
// the text is shorter or holds no digit there.
ULONG DecimalAt(const std::string& text, std::size_t offset, std::size_t width) {
  ULONG value = 0;
  for (std::size_t i = offset; i < text.size() && i < offset + width && std::isdigit(UBYTE(text[i])); ++i)
    value = value * 10 + ULONG(text[i] - '0');
  return value;
}

// A fraction written as digits at offset, scaled by 10^exponent to
// microseconds and truncated.
ULONG FractionAt(const std::string& text, std::size_t offset, int exponent) {
  double digits = 0;
  for (std::size_t i = offset; i < text.size() && std::isdigit(UBYTE(text[i])); ++i)
    digits = digits * 10 + (text[i] - '0');
  const double scaled = digits * std::pow(10.0, exponent);
  return scaled >= 999999.0 ? 999999 : ULONG(scaled);
}

bool StartsLikeANumber(const std::string& text) {
  return (!text.empty() && std::isdigit(UBYTE(text[0]))) || (text.size() > 1 && std::isdigit(UBYTE(text[1])));
}

// Reads n characters under the given trimming and padding bits, leaving the
// stream's own policy as it was.
void ReadCharacters(ifbstream& ifs, std::string& text, ULONG n, ULONG bits) {
  const ULONG saved = ifs.GetBFlags();
  ifs.RemoveBFlags(iobs::trimming_bits | iobs::padding_bits);
  ifs.AddBFlags(bits);
  ifs.ReadString(text, n);
  ifs.SetBFlags(saved);
}

// Trailing space and NUL padding removed.
std::string Unpadded(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0'))
    text.pop_back();
  return text;
}

// The first of the values of a text, unpadded.
std::string FirstValueOf(const std::string& text) {
  return Unpadded(text.substr(0, text.find('\\')));
}

// The characters of a date or time value, read whole.
std::string ValueText(ifbstream& ifs, ULONG n) {
  std::string text;
  ReadCharacters(ifs, text, n, 0);
  return text;
}

}  // namespace

qzmDicomDataElementValue::ReadLimit::ReadLimit(unsigned long end) : previous(readLimit) {
  if (end < readLimit)
    readLimit = end;
}

qzmDicomDataElementValue::ReadLimit::~ReadLimit() {
  readLimit = previous;
}

void qzmDicomDataElementValue::KeepReadRecord(const std::string& chars) {
  text = Unpadded(chars);
  readDateTime = dateTime;
  readAge = age;
}

bool qzmDicomDataElementValue::CheckLength(ifbstream& ifs, ULONG n, const char* signature) {
  if (readLimit != NoReadLimit) {
    const unsigned long position = PositionOf(ifs);
    if (position > readLimit || n > readLimit - position) {
      ifs.setstate(std::ios::failbit);
      qzcError(signature, "length %lu runs past the end of its item or sequence at 0x%lx! (0x%lx)", (unsigned long)n,
               readLimit, position)
          .Report();
      return false;
    }
  }
  if (HasBytesLeft(ifs, n))
    return true;
  const unsigned long position = PositionOf(ifs);
  ifs.setstate(std::ios::failbit);
  qzcError(signature, "length %lu runs past the end of the stream! (0x%lx)", (unsigned long)n, position).Report();
  return false;
}

unsigned long qzmDicomDataElementValue::PositionOf(ifbstream& ifs) {
  const std::ios::iostate state = ifs.rdstate();
  ifs.clear();
  const std::streamoff position = ifs.tellg();
  ifs.clear(state);
  return position < 0 ? 0 : (unsigned long)position;
}

bool qzmDicomDataElementValue::SkipValue(ifbstream& ifs, ULONG len) {
  static const char* const signature = "bool qzmDicomDataElementValue::SkipValue( ifbstream&, ULONG )";
  if (len == UndefinedLength)
    return qzmDicomDataElementValue().SkipNestedElements(ifs) != 0 && !ifs.fail();
  if (!CheckLength(ifs, len, signature))
    return false;
  ifs.seekg(std::streamoff(len), std::ios::cur);
  return !ifs.fail();
}

ULONG qzmDicomDataElementValue::ReadButValue(ifbstream& ifs) {
  static const char* const signature = "ULONG qzmDicomDataElementValue::ReadButValue( ifbstream& )";
  const bool isExplicit = ifs.HasBFlags(iobs::explicit_hint);
  bool longHeader = false;
  if (isExplicit) {
    ABYTE first = 0, second = 0;
    if (!(ifs >> first >> second)) {
      qzcError(signature, "while reading explicit VR of value! (0x%lx)", PositionOf(ifs)).Report();
      return 0;
    }
    VR code;
    if (IsLongHeaderToken(first, second)) {
      code = Description::UN;
    } else {
      code = Description::TranslateVR(first, second);
      if (code == Description::UNDEFINED)
        qzcWarning(signature, "explicit VR of value is unknown! (0x%lx)", PositionOf(ifs)).Report();
    }
    SetVR(code);
    if (IsLongHeaderToken(first, second))
      text = std::string{first, second};  // written back under its own token
    longHeader = HasLongHeader(code);
  }
  ULONG len = 0;
  if (isExplicit && !longHeader) {
    UWORD shortLength = 0;
    ifs >> shortLength;
    len = shortLength;
  } else {
    if (isExplicit) {
      UWORD reserved = 0;
      ifs >> reserved;
    }
    ifs >> len;
  }
  if (ifs.fail()) {
    qzcError(signature, "while reading length of value! (0x%lx)", PositionOf(ifs)).Report();
    return 0;
  }
  return len;
}

ULONG qzmDicomDataElementValue::SkipNestedElements(ifbstream& ifs) const {
  const NestingLevel level;
  const std::streamoff start = ifs.tellg();
  bool delimited = false;
  CheckNesting(ifs, level, SkipNestedSignature);
  while (!delimited && ifs.good()) {
    qzmDicomDataElementTag itemTag;
    ULONG len = 0;
    if (!CheckLength(ifs, 8, SkipNestedSignature) || !(ifs >> itemTag >> len))
      break;
    if (itemTag == SequenceDelimitation) {
      delimited = true;
    } else if (len != UndefinedLength) {
      if (CheckLength(ifs, len, SkipNestedSignature))
        ifs.seekg(std::streamoff(len), std::ios::cur);
    } else {
      qzmDicomDataElementSet item;
      item.ReadItem(ifs, len);
    }
  }
  if (!delimited || ifs.fail()) {
    ifs.setstate(std::ios::failbit);
    qzcError(SkipNestedSignature, "while skipping nested elements! (0x%lx)", PositionOf(ifs)).Report();
    return 0;
  }
  return ULONG(std::streamoff(ifs.tellg()) - start);
}

void qzmDicomDataElementValue::ReadSequence(ifbstream& ifs, ULONG len) {
  static const char* const signature = "void qzmDicomDataElementValue::ReadSequence( ifbstream&, ULONG )";
  const NestingLevel level;
  SetVR(Description::SQ);
  if (!CheckNesting(ifs, level, signature))
    return;
  const bool defined = len != UndefinedLength;
  const unsigned long end = defined ? PositionOf(ifs) + len : NoReadLimit;
  const ReadLimit limit(end);
  bool delimited = false;
  while (ifs.good() && !delimited && (!defined || PositionOf(ifs) < end)) {
    qzmDicomDataElementTag itemTag;
    ULONG itemLength = 0;
    if (!CheckLength(ifs, 8, signature) || !(ifs >> itemTag >> itemLength))
      break;
    if (itemTag == SequenceDelimitation) {
      delimited = true;
    } else if (itemTag != ItemTag) {
      ifs.setstate(std::ios::failbit);
      qzcError(signature, "item tag expected in sequence, found (%04hX,%04hX)! (0x%lx)", itemTag.group, itemTag.element,
               PositionOf(ifs) - 8)
          .Report();
    } else {
      items.push_back(std::make_unique<qzmDicomDataElementSet>());
      items.back()->ReadItem(ifs, itemLength);
    }
  }
  if (!ifs.fail() && defined && delimited && PositionOf(ifs) < end) {
    // A delimitation within a sequence of defined length: its length holds.
    qzcWarning(signature, "sequence of defined length delimited before its end, %lu bytes skipped! (0x%lx)",
               end - PositionOf(ifs), PositionOf(ifs))
        .Report();
    ifs.seekg(std::streamoff(end));
  }
  if (!ifs.fail() && !defined && !delimited) {
    ifs.setstate(std::ios::failbit);
    qzcError(signature, "sequence delimitation missing before the end of the stream! (0x%lx)", PositionOf(ifs))
        .Report();
  }
  if (ifs.fail())
    qzcError(signature, "while reading the items of a sequence! (0x%lx)", PositionOf(ifs)).Report();
}

ifbstream& qzmDicomDataElementValue::Read(ifbstream& ifs) {
  const ULONG len = ReadButValue(ifs);
  if (ifs.fail()) {
    qzcError(ReadSignature, "while reading (optional) explicit VR and length of value! (0x%lx)", PositionOf(ifs))
        .Report();
    return ifs;
  }
  if (len == 0) {
    SetVR(vr == Description::UNDEFINED ? Description::UN : vr);
    empty = vr != Description::SQ;
    return ifs;
  }
  if (len != UndefinedLength && !CheckLength(ifs, len, ReadSignature))
    return ifs;
  if (vr == Description::UN && len == UndefinedLength) {
    // A sequence of unknown VR: its items are implicit VR little endian
    // whatever the stream's syntax.
    const ULONG bflags = ifs.GetBFlags();
    implicit_little_endian(ifs);
    ReadSequence(ifs, len);
    ifs.SetBFlags(bflags);
    return ifs;
  }
  if (len == UndefinedLength && vr != Description::OB && vr != Description::OW && vr != Description::UNDEFINED) {
    // Only sequences and encapsulated data have no length: whatever the
    // dictionary says, this is a sequence.
    ReadSequence(ifs, len);
    return ifs;
  }
  switch (vr) {
    case Description::UNDEFINED:
      qzcWarning(ReadSignature, "unknow VR element will be skipped! (0x%lx)", PositionOf(ifs)).Report();
      SkipValue(ifs, len);
      break;
    case Description::AE:
    case Description::CS:
    case Description::DS:
    case Description::IS:
    case Description::LO:
    case Description::SH:
      ReadCharacters(ifs, text, len, iobs::trimming_bits);
      break;
    case Description::LT:
    case Description::PN:
    case Description::ST:
      ReadCharacters(ifs, text, len, iobs::str_rmv_ts_bit);
      break;
    case Description::UI:
      ReadCharacters(ifs, text, len, iobs::pad_null_bit);
      break;
    case Description::AS:
      ReadAge(ifs, len);
      break;
    case Description::AT:
      ReadTag(ifs, len);
      break;
    case Description::DA:
      ReadDate(ifs, len);
      break;
    case Description::DT:
      ReadDateTime(ifs, len);
      break;
    case Description::TM:
      ReadTime(ifs, len);
      break;
    case Description::FL:
      ReadFloating(ifs, len, number.fl, "FL");
      break;
    case Description::FD:
      ReadFloating(ifs, len, number.fd, "FD");
      break;
    case Description::SL:
      ReadNumbers(ifs, len, longs, number.ul, "SL");
      break;
    case Description::UL:
      ReadNumbers(ifs, len, longs, number.ul, "UL");
      break;
    case Description::SS:
      ReadNumbers(ifs, len, shorts, number.us, "SS");
      break;
    case Description::US:
      ReadNumbers(ifs, len, shorts, number.us, "US");
      break;
    case Description::OB:
      ReadLargeData(ifs, len, bytes, "OB");
      break;
    case Description::UN:
      ReadLargeData(ifs, len, bytes, "UN");
      break;
    case Description::OW:
      ReadLargeData(ifs, len, words, "OW");
      break;
    case Description::SQ:
      ReadSequence(ifs, len);
      break;
    default:
      ifs.setstate(std::ios::failbit);
      qzcError(ReadSignature, "sorry, that VR (%d) is unknown ! (0x%lx) Is the dictionary up-to-date ?", int(vr),
               PositionOf(ifs))
          .Report();
  }
  return ifs;
}

// Drops the value (the set reader removes it) and skips its bytes so that
// the stream stays in step.
void qzmDicomDataElementValue::DropValue(ifbstream& ifs, ULONG len) {
  SetVR(Description::UNDEFINED);
  SkipValue(ifs, len);
}

bool qzmDicomDataElementValue::ReadExactText(ifbstream& ifs, ULONG len, bool lengthFits, const char* expected,
                                             std::string& chars) {
  if (!lengthFits) {
    qzcWarning(ReadSignature, "%s, current = %lu, skipped... (0x%lx)", expected, (unsigned long)len, PositionOf(ifs))
        .Report();
    DropValue(ifs, len);
    return false;
  }
  ReadCharacters(ifs, chars, len, 0);
  return !ifs.fail();
}

bool qzmDicomDataElementValue::HoldsOneValue(ifbstream& ifs, ULONG len, ULONG size, const char* name) {
  if (len >= size)
    return true;
  qzcWarning(ReadSignature, "%s length = %d < current = %lu, not enough data (0x%lx)", name, int(size),
             (unsigned long)len, PositionOf(ifs))
      .Report();
  DropValue(ifs, len);
  return false;
}

void qzmDicomDataElementValue::ReadFollowingValues(ifbstream& ifs, ULONG len, ULONG size, ULONG unit) {
  const ULONG following = len / size * size - size;
  if (following > 0) {
    std::string values;
    ReadCharacters(ifs, values, following, 0);
    if (ifs.IsBigEndian())
      for (std::size_t at = 0; at + unit <= values.size(); at += unit)
        std::reverse(values.begin() + at, values.begin() + at + unit);
    text = values;
  }
  if (len % size != 0) {
    qzcWarning(ReadSignature, "%s length = %lu is not a multiple of %lu, skipping the rest. (0x%lx)",
               Description::TokenOf(vr), (unsigned long)len, (unsigned long)size, PositionOf(ifs))
        .Report();
    SkipValue(ifs, len % size);
  }
}

void qzmDicomDataElementValue::ReadAge(ifbstream& ifs, ULONG len) {
  std::string chars;
  if (!ReadExactText(ifs, len, len == 4, "AS length = 4", chars))
    return;
  static const char units[] = "DWMY";
  const char* unit = std::strchr(units, chars[3]);
  if (chars[3] == '\0' || unit == nullptr) {
    qzcWarning(ReadSignature, "AS unit specification %c is not D, W, M or Y! (0x%lx)", chars[3], PositionOf(ifs))
        .Report();
    SetVR(Description::UNDEFINED);
    return;
  }
  const std::string digits = chars.substr(0, 3);
  const ULONG years = DecimalAt(digits, 0, 3);
  const bool allDigits = std::all_of(digits.begin(), digits.end(), [](char c) { return std::isdigit(UBYTE(c)); });
  if (!allDigits) {  // 000D is an age
    qzcWarning(ReadSignature, "AS field could not be converted from string %s ! (0x%lx)", digits.c_str(),
               PositionOf(ifs))
        .Report();
    SetVR(Description::UNDEFINED);
    return;
  }
  age.number = UWORD(years);
  age.unit = UBYTE(unit - units);
  KeepReadRecord(chars);
}

void qzmDicomDataElementValue::ReadTag(ifbstream& ifs, ULONG len) {
  if (!HoldsOneValue(ifs, len, 4, "AT"))
    return;
  ifs >> tag;
  ReadFollowingValues(ifs, len, 4, 2);
}

template <typename T>
void qzmDicomDataElementValue::ReadFloating(ifbstream& ifs, ULONG len, T& value, const char* name) {
  const ULONG size = sizeof(T);
  if (!HoldsOneValue(ifs, len, size, name))
    return;
  if (ifs.IsBigEndian())
    ifs.ReadReversed(&value, size);
  else
    ifs.ReadBlock(&value, size);
  ReadFollowingValues(ifs, len, size, size);
}

template <typename T>
void qzmDicomDataElementValue::ReadNumbers(ifbstream& ifs, ULONG len, qzcDataLocation<T>& array, T& single,
                                           const char* name) {
  const ULONG size = sizeof(T);
  if (!HoldsOneValue(ifs, len, size, name))
    return;
  const UWORD n = UWORD(std::min<ULONG>(len / size, 0xFFFF));
  if (!ReserveNumbers(n)) {
    DropValue(ifs, len);
    return;
  }
  T* values = n > 1 ? array.GetMemoryLocation() : &single;
  ifs.ReadArray(values, n);
  if (ifs.fail())
    return;
  const ULONG bytesRead = ULONG(count) * size;
  if (bytesRead < len) {
    qzcWarning(ReadSignature, "%s length = %d, length = %lu, read = %lu, skipping the rest. (0x%lx)", name, int(size),
               (unsigned long)len, (unsigned long)bytesRead, PositionOf(ifs))
        .Report();
    SkipValue(ifs, len - bytesRead);
  }
}

void qzmDicomDataElementValue::ReadDate(ifbstream& ifs, ULONG len) {
  const std::string raw = ValueText(ifs, len);
  if (ifs.fail())
    return;
  // Only the first of several dates is held; all are written back.
  const std::string chars = FirstValueOf(raw);
  if (chars.size() != 8 && chars.size() != 10) {
    qzcWarning(ReadSignature, "DA length = 8 or 10, current = %lu, skipped... (0x%lx)", (unsigned long)chars.size(),
               PositionOf(ifs))
        .Report();
    SetVR(Description::UNDEFINED);
    return;
  }
  if (!StartsLikeANumber(chars)) {
    qzcWarning(ReadSignature, "DA field does not seem to hold a date (=%s)! (0x%lx)", chars.c_str(), PositionOf(ifs))
        .Report();
    SetVR(Description::UNDEFINED);
    return;
  }
  DateRecord& date = dateTime.date;
  const bool oldForm = chars[4] == '.';  // YYYY.MM.DD rather than YYYYMMDD
  date.year = UWORD(DecimalAt(chars, 0, 4));
  date.month = UBYTE(DecimalAt(chars, oldForm ? 5 : 4, 2));
  date.day = UBYTE(DecimalAt(chars, oldForm ? 8 : 6, 2));
  if (date.day == 0 || date.month == 0 || date.year == 0) {
    qzcWarning(ReadSignature, "DA could not be converted correctly (%04u:%02u:%02u)! (0x%lx)", unsigned(date.year),
               unsigned(date.month), unsigned(date.day), PositionOf(ifs))
        .Report();
    SetVR(Description::UNDEFINED);
    return;
  }
  if (date.month > 12 && date.day <= 12) {
    qzcWarning(ReadSignature, "Invalid date, but DA month %u > 12, day %u <= 12, let's swap! (0x%lx)",
               unsigned(date.month), unsigned(date.day), PositionOf(ifs))
        .Report();
    std::swap(date.day, date.month);
    return;  // written back corrected
  }
  KeepReadRecord(raw);
}

void qzmDicomDataElementValue::ReadDateTime(ifbstream& ifs, ULONG len) {
  const std::string raw = ValueText(ifs, len);
  if (ifs.fail())
    return;
  // An offset from UTC (&ZZXX) is not held, but kept in the text written back.
  const std::string first = FirstValueOf(raw);
  const std::string chars = first.substr(0, first.find_first_of("+-", 4));
  const std::size_t length = chars.size();
  if (length > 21) {
    qzcWarning(ReadSignature, "DT field %s is longer than a date and time! skipped... (0x%lx)", chars.c_str(),
               PositionOf(ifs))
        .Report();
    SetVR(Description::UNDEFINED);
    return;
  }
  // YYYYMMDDHHMMSS.FFFFFF, each field present only if the text reaches it.
  DateRecord& date = dateTime.date;
  TimeRecord& time = dateTime.time;
  // The fraction is scaled to microseconds as TM's is: taken as written, a
  // ".5" would be written back as ".000005".
  time.fraction = length > 14 ? FractionAt(chars, 15, 21 - int(length)) : 0;
  time.second = UBYTE(length > 12 ? DecimalAt(chars, 12, 2) : 0);
  time.minute = UBYTE(length > 10 ? DecimalAt(chars, 10, 2) : 0);
  time.hour = UBYTE(length > 8 ? DecimalAt(chars, 8, 2) : 0);
  date.day = UBYTE(length > 6 ? DecimalAt(chars, 6, 2) : 0);
  date.month = UBYTE(length > 4 ? DecimalAt(chars, 4, 2) : 0);
  date.year = UWORD(DecimalAt(chars, 0, 4));
  KeepReadRecord(raw);
}

void qzmDicomDataElementValue::ReadTime(ifbstream& ifs, ULONG len) {
  const std::string raw = ValueText(ifs, len);
  if (ifs.fail())
    return;
  std::string chars = FirstValueOf(raw);
  if (!StartsLikeANumber(chars)) {
    qzcWarning(ReadSignature, "TM field does not seem to hold a time (=%s)! (0x%lx)", chars.c_str(), PositionOf(ifs))
        .Report();
    SetVR(Description::UNDEFINED);
    return;
  }
  const int length = int(chars.size());
  TimeRecord& time = dateTime.time;
  if (length > 2 && chars[2] == ':') {  // HH:MM:SS.FFFFFF
    if (length > 8 && std::isdigit(UBYTE(chars[8]))) {
      // The fraction without its dot: HH:MM:SSFFF.
      qzcWarning(ReadSignature, "TM field %s does not respect the standard. correcting... (0x%lx)", chars.c_str(),
                 PositionOf(ifs))
          .Report();
      time.fraction = FractionAt(chars, 8, 14 - length);
      chars[8] = '.';
    } else {
      time.fraction = length > 8 ? FractionAt(chars, 9, 15 - length) : 0;
    }
    time.second = UBYTE(DecimalAt(chars, 6, 2));
    time.minute = UBYTE(DecimalAt(chars, 3, 2));
  } else {  // HHMMSS.FFFFFF
    time.fraction = length > 6 ? FractionAt(chars, 7, 13 - length) : 0;
    time.second = UBYTE(length > 4 ? DecimalAt(chars, 4, 2) : 0);
    time.minute = UBYTE(length > 2 ? DecimalAt(chars, 2, 2) : 0);
  }
  time.hour = UBYTE(DecimalAt(chars, 0, 2));
  KeepReadRecord(raw);
}

template <typename T>
void qzmDicomDataElementValue::ReadLargeData(ifbstream& ifs, ULONG len, qzcDataLocation<T>& location,
                                             const char* name) {
  const ULONG bflags = ifs.GetBFlags();
  const ULONG offset = ULONG(PositionOf(ifs));
  if (len == UndefinedLength) {
    // Encapsulated data, or an unknown sequence, whose items are implicit VR
    // little endian whatever the stream's syntax.
    if (vr == Description::UN)
      implicit_little_endian(ifs);
    const ULONG consumed = SkipNestedElements(ifs);
    ifs.SetBFlags(bflags);
    if (ifs.fail())
      return;
    location.SwitchToFileMode(ifs.GetFileName(), offset, bflags);
    location.SetSize(consumed / sizeof(T));
    return;
  }
  const ULONG size = len / sizeof(T);
  if (!ifs.GetFileName().empty()) {
    location.SwitchToFileMode(ifs.GetFileName(), offset, bflags);
    location.SetSize(size);
    SkipValue(ifs, len);
    return;
  }
  location.SetSize(size);
  if (!location.AllocateMemory()) {
    qzcWarning(ReadSignature, "%s unable to allocate memory to store %lu * %u bytes (0x%lx)", name, (unsigned long)size,
               unsigned(sizeof(T)), PositionOf(ifs))
        .Report();
    DropValue(ifs, len);
    return;
  }
  ifs.ReadArray(location.GetMemoryLocation(), size);
  if (len > size * sizeof(T))
    SkipValue(ifs, len - size * sizeof(T));
}
