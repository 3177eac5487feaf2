// Data element values: storage and VR conversion, reading with the
// corrections for damaged or old-style values, byte-exact writing, lengths
// on the stream and the text form.
#include <gtest/gtest.h>

#include <sstream>

#include "CapturedReports.h"
#include "DicomBytes.h"
#include "dicom/qzmDicomDataElementValue.h"

using dicombytes::Builder;
using dicombytes::Bytes;
using dicombytes::ToBytes;
typedef qzmDicomDataElementDescription D;
typedef qzmDicomDataElementValue Value;

namespace {

// Reads one value (what follows the tag) from the bytes, then a US element
// that must follow in step; the stream's syntax is given by a manipulator.
struct ReadOutcome {
  Value value;
  bool good = false;
  UWORD next = 0;  // the value of the US element written after it
};

ReadOutcome ReadOne(const Bytes& bytes, iobsManipulator syntax = explicit_little_endian, D::VR implicitVR = D::UNDEFINED) {
  testsupport::TempDir dir;
  const bool big = syntax == explicit_big_endian;
  Bytes all = bytes;
  if (syntax == implicit_little_endian)
    all = Builder().Raw(bytes).U32(2).U16(77).bytes();
  else
    all = Builder(big).Raw(bytes).Text("US").U16(2).U16(77).bytes();
  testsupport::WriteBytes(dir.file("v"), all);
  ifbstream ifs(dir.file("v").c_str(), std::ios::in | std::ios::binary);
  syntax(ifs);
  ReadOutcome outcome;
  outcome.value.SetVR(implicitVR);
  outcome.value.Read(ifs);
  outcome.good = !ifs.fail();
  Value next;
  if (syntax == implicit_little_endian) next.SetVR(D::US);
  next.Read(ifs);
  outcome.next = next.US();
  return outcome;
}

ReadOutcome ReadExplicit(const std::string& vr, const std::string& text) {
  return ReadOne(Builder().Text(vr).U16(text.size()).Text(text));
}

Bytes Written(const Value& value, iobsManipulator syntax, bool* good = nullptr) {
  testsupport::TempDir dir;
  {
    ofbstream ofs(dir.file("w").c_str(), std::ios::out | std::ios::binary);
    syntax(ofs);
    value.Write(ofs);
    if (good) *good = !ofs.fail();
  }
  return testsupport::ReadBytes(dir.file("w"));
}

std::string Printed(const Value& value) {
  std::ostringstream text;
  value.Print(text);
  return text.str();
}

}  // namespace

TEST(ValueStorage, ConversionsKeepOrReleaseStorageByClass) {
  Value value;
  value.LO() = "ABC";
  EXPECT_EQ(value.SH(), "ABC");  // within the string class
  value.US() = 7;
  EXPECT_EQ(value.GetVR(), D::US);
  EXPECT_EQ(value.LO(), "");  // the text was released
  value.US(3) = 9;            // an index past the count grows the value
  EXPECT_EQ(value.GetCount(), 4);
  EXPECT_EQ(value.US(0), 0);  // the conversion above emptied it
  EXPECT_EQ(value.US(3), 9);
  value.SetCount(1);
  EXPECT_EQ(value.GetCount(), 1);

  const Value constant = value;
  EXPECT_EQ(constant.SS(), 0);  // read-only forms never convert
  EXPECT_EQ(constant.GetVR(), D::US);
}

TEST(ValueStorage, CopiesAreDeepForArraysAndRefuseUnknownCodes) {
  CapturedReports reports;
  Value source;
  source.UL(599) = 5;
  Value copy = source;
  source.UL(599) = 6;
  EXPECT_EQ(copy.GetCount(), 600);
  EXPECT_EQ(copy.UL(599), 5UL);

  Value pseudo;
  pseudo.SetVR(D::xs);
  Value target;
  target.CS() = "KEPT";
  target = pseudo;
  EXPECT_EQ(target.CS(), "KEPT");
  EXPECT_NE(reports.Errors().find("sorry, that VR (203) is unknown or not allowed!"), std::string::npos);
}

TEST(ValueRead, StringsAreTrimmedByTheirVR) {
  EXPECT_EQ(ReadExplicit("LO", "  AB C  ").value.LO(), "AB C");
  EXPECT_EQ(ReadExplicit("PN", " DOE^J  ").value.PN(), " DOE^J");
  EXPECT_EQ(ReadOne(Builder().Text("UI").U16(4).Raw(Bytes{'1', '.', '2', 0})).value.UI(), "1.2");
}

TEST(ValueRead, DatesInBothFormsWithTheMonthDaySwap) {
  CapturedReports reports;
  EXPECT_EQ(Printed(ReadExplicit("DA", "19991231").value), "1999.12.31");
  EXPECT_EQ(Printed(ReadExplicit("DA", "1999.12.31").value), "1999.12.31");
  EXPECT_EQ(Printed(ReadExplicit("DA", "19993112").value), "1999.12.31");
  EXPECT_NE(reports.Warnings().find("Invalid date, but DA month 31 > 12, day 12 <= 12, let's swap!"), std::string::npos);
  EXPECT_EQ(Printed(ReadExplicit("DA", "19991332").value), "1999.13.32");

  const ReadOutcome zero = ReadExplicit("DA", "00000000");
  const ReadOutcome shortDate = ReadExplicit("DA", "199912");
  EXPECT_EQ(zero.value.GetVR(), D::UNDEFINED);
  EXPECT_EQ(shortDate.value.GetVR(), D::UNDEFINED);
  EXPECT_EQ(shortDate.next, 77);  // skipped in step
  EXPECT_NE(reports.Warnings().find("DA length = 8 or 10, current = 6, skipped..."), std::string::npos);
}

TEST(ValueRead, TimesInBothFormsWithTheFractionScaled) {
  CapturedReports reports;
  const Value standard = ReadExplicit("TM", "101530.5").value;
  EXPECT_EQ(standard.TM().hour, 10);
  EXPECT_EQ(standard.TM().minute, 15);
  EXPECT_EQ(standard.TM().second, 30);
  EXPECT_EQ(standard.TM().fraction, 500000UL);
  EXPECT_EQ(ReadExplicit("TM", "10:15:30.25 ").value.TM().fraction, 250000UL);  // padded to even length
  EXPECT_EQ(ReadExplicit("TM", "10:15:30123 ").value.TM().fraction, 123000UL);
  EXPECT_NE(reports.Warnings().find("TM field 10:15:30123 does not respect the standard. correcting..."),
            std::string::npos);
  EXPECT_EQ(ReadExplicit("TM", "1015").value.TM().minute, 15);
  EXPECT_EQ(ReadExplicit("TM", "AB1015").value.GetVR(), D::UNDEFINED);

  const Value dateTime = ReadExplicit("DT", "20200102030405.5 ").value;
  EXPECT_EQ(Printed(dateTime), "2020.01.02 03:04:05.500000");
  EXPECT_EQ(ReadExplicit("DT", "20200102030405.123456+0100 ").value.GetVR(), D::UNDEFINED);
}

TEST(ValueRead, AgesAndTheirRejections) {
  CapturedReports reports;
  const Value age = ReadExplicit("AS", "045Y").value;
  EXPECT_EQ(age.AS().number, 45);
  EXPECT_EQ(Printed(age), "45 year(s)");
  EXPECT_EQ(ReadExplicit("AS", "045X").value.GetVR(), D::UNDEFINED);
  EXPECT_NE(reports.Warnings().find("AS unit specification X is not D, W, M or Y!"), std::string::npos);
  EXPECT_EQ(ReadExplicit("AS", "000D").value.GetVR(), D::UNDEFINED);
  const ReadOutcome wrongLength = ReadExplicit("AS", "45Y ");
  EXPECT_EQ(ReadExplicit("AS", "045YY ").next, 77);
  EXPECT_EQ(wrongLength.value.GetVR(), D::UNDEFINED);
}

TEST(ValueRead, NumbersWithSurplusOrMissingBytes) {
  CapturedReports reports;
  const ReadOutcome odd = ReadOne(Builder().Text("US").U16(7).U16(1).U16(2).U16(3).Raw(Bytes{9}));
  EXPECT_TRUE(odd.good);
  EXPECT_EQ(odd.value.GetCount(), 3);
  EXPECT_EQ(odd.value.US(2), 3);
  EXPECT_EQ(odd.next, 77);
  EXPECT_NE(reports.Warnings().find("US length = 2, length = 7, read = 6, skipping the rest."), std::string::npos);

  const ReadOutcome twoFloats = ReadOne(Builder().Text("FL").U16(8).U32(0x3FC00000).U32(0x40000000));
  EXPECT_FLOAT_EQ(twoFloats.value.FL(), 1.5f);
  EXPECT_EQ(twoFloats.next, 77);
  EXPECT_NE(reports.Warnings().find("FL length = 4 > current = 8, multiple values not implemented"), std::string::npos);

  EXPECT_EQ(ReadOne(Builder().Text("UL").U16(2).U16(1)).value.GetVR(), D::UNDEFINED);
  EXPECT_EQ(ReadOne(Builder().Text("AT").U16(8).Tag(0x10, 0x20).Tag(0x30, 0x40)).value.AT(),
            qzmDicomDataElementTag(0x10, 0x20));

  Builder many;
  many.Text("SS").U16(1200);
  for (int i = 0; i < 600; ++i) many.U16(UWORD(-i));
  const ReadOutcome array = ReadOne(many);
  EXPECT_EQ(array.value.GetCount(), 600);
  EXPECT_EQ(array.value.SS(599), -599);
}

TEST(ValueRead, BigEndianNumbers) {
  const ReadOutcome outcome = ReadOne(Builder(true).Text("US").U16(4).U16(0x1234).U16(0xABCD), explicit_big_endian);
  EXPECT_EQ(outcome.value.US(0), 0x1234);
  EXPECT_EQ(outcome.value.US(1), 0xABCD);
  EXPECT_EQ(outcome.next, 77);
  EXPECT_DOUBLE_EQ(ReadOne(Builder(true).Text("FD").U16(8).U32(0x3FF80000).U32(0), explicit_big_endian).value.FD(),
                   1.5);
}

TEST(ValueRead, EmptyUnknownAndForeignValuesKeepTheStreamInStep) {
  {
    // Zero-length values of every VR class are dropped without a warning,
    // whichever header carries the length.
    CapturedReports quiet;
    for (const char* vr : {"PN", "UI", "DA", "TM", "DT", "AS", "AT", "FL", "FD", "US", "SL"}) {
      const ReadOutcome empty = ReadOne(Builder().Text(vr).U16(0));
      EXPECT_EQ(empty.value.GetVR(), D::UNDEFINED) << vr;
      EXPECT_EQ(empty.next, 77) << vr;
    }
    for (const char* vr : {"OB", "OW", "UN", "SQ", "UT"}) {
      const ReadOutcome empty = ReadOne(Builder().Text(vr).U16(0).U32(0));
      EXPECT_EQ(empty.value.GetVR(), D::UNDEFINED) << vr;
      EXPECT_EQ(empty.next, 77) << vr;
    }
    for (D::VR vr : {D::DA, D::US, D::OW, D::SQ}) {
      const ReadOutcome empty = ReadOne(Builder().U32(0), implicit_little_endian, vr);
      EXPECT_EQ(empty.value.GetVR(), D::UNDEFINED) << D::TokenOf(vr);
      EXPECT_EQ(empty.next, 77) << D::TokenOf(vr);
    }
    EXPECT_TRUE(quiet.None()) << quiet.Errors() << quiet.Warnings();
  }

  CapturedReports reports;

  const ReadOutcome unknown = ReadOne(Builder().Text("ZZ").U16(3).Text("abc"));
  EXPECT_EQ(unknown.value.GetVR(), D::UNDEFINED);
  EXPECT_EQ(unknown.next, 77);
  EXPECT_NE(reports.Warnings().find("explicit VR of value is unknown!"), std::string::npos);

  // Long-header tokens outside the program's VR set stay in the file as UN.
  for (const char* vr : {"UT", "OF", "UC", "UV"}) {
    const ReadOutcome foreign = ReadOne(Builder().Text(vr).U16(0).U32(6).Text("abcdef"));
    EXPECT_EQ(foreign.value.GetVR(), D::UN) << vr;
    EXPECT_EQ(foreign.value.UN().GetSize(), 6UL) << vr;
    EXPECT_EQ(foreign.value.UN().GetFileOffset(), 8UL) << vr;
    EXPECT_EQ(foreign.next, 77) << vr;
  }

  // An unknown value of undefined length (implicit VR) is skipped item by item.
  const Bytes sequence = Builder().U32(0xFFFFFFFF).Tag(0xFFFE, 0xE000).U32(2).Text("xy")
                             .Tag(0xFFFE, 0xE0DD).U32(0).bytes();
  const ReadOutcome skipped = ReadOne(sequence, implicit_little_endian);
  EXPECT_TRUE(skipped.good);
  EXPECT_EQ(skipped.value.GetVR(), D::UNDEFINED);
}

TEST(ValueRead, LengthsPastTheEndFailTheStream) {
  CapturedReports reports;
  testsupport::TempDir dir;
  testsupport::WriteBytes(dir.file("v"), Builder().Text("OB").U16(0).U32(0xFFFFFFF0).Text("abcd"));
  ifbstream ifs(dir.file("v").c_str(), std::ios::in | std::ios::binary);
  explicit_little_endian(ifs);
  Value value;
  value.Read(ifs);
  EXPECT_TRUE(ifs.fail());
  EXPECT_NE(reports.Errors().find("length 4294967280 runs past the end of the stream!"), std::string::npos);
}

TEST(ValueRead, EncapsulatedDataBecomeOneFileLocation) {
  const Bytes items = Builder().Tag(0xFFFE, 0xE000).U32(0).Tag(0xFFFE, 0xE000).U32(4).Text("JPEG")
                          .Tag(0xFFFE, 0xE0DD).U32(0).bytes();
  const ReadOutcome outcome = ReadOne(Builder().Text("OB").U16(0).U32(0xFFFFFFFF).Raw(items));
  EXPECT_TRUE(outcome.good);
  EXPECT_EQ(outcome.value.OB().GetMode(), qzcDataLocation<UBYTE>::file);
  EXPECT_EQ(outcome.value.OB().GetFileOffset(), 8UL);
  EXPECT_EQ(outcome.value.OB().GetSize(), ULONG(items.size()));
  EXPECT_EQ(outcome.next, 77);
}

TEST(ValueWrite, ByteExactEncodings) {
  Value text;
  text.CS() = "ABC";
  EXPECT_EQ(Written(text, explicit_little_endian), Builder().Text("CS").U16(4).Text("ABC ").bytes());
  EXPECT_EQ(Written(text, implicit_little_endian), Builder().U32(4).Text("ABC ").bytes());
  Value uid;
  uid.UI() = "1.2.3";
  EXPECT_EQ(Written(uid, explicit_big_endian), Builder(true).Text("UI").U16(6).Raw(ToBytes("1.2.3")).Raw({0}).bytes());

  Value date;
  date.DA() = {31, 12, 1999};
  EXPECT_EQ(Written(date, explicit_little_endian), Builder().Text("DA").U16(10).Text("1999.12.31").bytes());
  Value time;
  time.TM() = {10, 15, 30, 500000};
  EXPECT_EQ(Written(time, implicit_little_endian), Builder().U32(16).Text("10:15:30.500000 ").bytes());
  Value dateTime;
  dateTime.DT() = {{2, 1, 2020}, {3, 4, 5, 0}};
  EXPECT_EQ(Written(dateTime, explicit_little_endian), Builder().Text("DT").U16(14).Text("20200102030405").bytes());
  Value age;
  age.AS() = {45, Value::AgeRecord::years};
  EXPECT_EQ(Written(age, explicit_little_endian), Builder().Text("AS").U16(4).Text("045Y").bytes());

  Value numbers;
  numbers.US(1) = 0x0102;
  EXPECT_EQ(Written(numbers, explicit_big_endian), Builder(true).Text("US").U16(4).U16(0).U16(0x0102).bytes());
  Value tag;
  tag.AT() = qzmDicomDataElementTag(0x7FE0, 0x0010);
  EXPECT_EQ(Written(tag, explicit_big_endian), Builder(true).Text("AT").U16(4).Tag(0x7FE0, 0x0010).bytes());

  Value bytes;
  bytes.OB().SetSize(3);
  bytes.OB().AllocateMemory();
  std::copy_n("xyz", 3, bytes.OB().GetMemoryLocation());
  EXPECT_EQ(Written(bytes, explicit_little_endian), Builder().Text("OB").U16(0).U32(4).Raw(ToBytes("xyz")).Raw({0}).bytes());
}

TEST(ValueWrite, InvalidValuesFailOrWarn) {
  CapturedReports reports;
  bool good = true;
  Value time;
  time.TM() = {10, 15, 60, 0};
  Written(time, explicit_little_endian, &good);
  EXPECT_FALSE(good);
  EXPECT_NE(reports.Errors().find("invalid TM (time) value: 10:15:60.000000!"), std::string::npos);

  Value age;
  age.AS().number = 1000;
  Written(age, explicit_little_endian, &good);
  EXPECT_FALSE(good);

  Value date;
  date.DA() = {32, 13, 1999};
  Written(date, explicit_little_endian, &good);
  EXPECT_TRUE(good);
  EXPECT_NE(reports.Warnings().find("invalid DA (date) value: 1999.13.32!"), std::string::npos);
  date.DA().day = 200;  // three digits would not match the length written
  Written(date, explicit_little_endian, &good);
  EXPECT_FALSE(good);

  Value longText;
  longText.LT() = std::string(70000, 'x');
  Written(longText, explicit_little_endian, &good);
  EXPECT_FALSE(good);
  EXPECT_EQ(Written(longText, implicit_little_endian, &good).size(), 70004u);
  EXPECT_TRUE(good);
}

TEST(ValueWrite, LengthOnStreamMatchesTheBytesWritten) {
  std::vector<Value> values(9);
  values[0].PN() = "ODD";
  values[1].UI() = "1.2";
  values[2].FD() = 2.5;
  values[3].SL(4) = -1;
  values[4].DT() = {{2, 1, 2020}, {3, 4, 5, 7}};
  values[5].TM() = {1, 2, 3, 0};
  values[6].AS() = {3, Value::AgeRecord::weeks};
  values[7].OW().SetSize(3);
  values[7].OW().AllocateMemory();
  std::fill_n(values[7].OW().GetMemoryLocation(), 3, UWORD(0));
  values[8].DA() = {1, 2, 2003};
  for (iobsManipulator syntax : {explicit_little_endian, implicit_little_endian}) {
    ofbstream policy;
    syntax(policy);
    for (const Value& value : values)
      EXPECT_EQ(value.LengthOnStream(policy), Written(value, syntax).size()) << D::TokenOf(value.GetVR());
  }
}

TEST(ValuePrint, NumbersAndRecords) {
  Value numbers;
  for (UWORD i = 0; i < 12; ++i) numbers.SS(i) = SWORD(i - 1);
  EXPECT_EQ(Printed(numbers), "-1, 0, 1, 2, 3, 4, 5, 6, 7, 8... (and more, total 12)");
  Value time;
  time.TM() = {1, 2, 3, 40};
  EXPECT_EQ(Printed(time), "01:02:03.000040");
  Value tag;
  tag.AT() = qzmDicomDataElementTag(0x0028, 0x0010);
  EXPECT_EQ(Printed(tag), "(0028,0010)");
  EXPECT_EQ(Printed(Value()), "UNDEFINED");
}
