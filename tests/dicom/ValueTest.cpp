// Data element values: storage and VR conversion, reading with the
// corrections for damaged or old-style values, byte-exact writing, lengths
// on the stream and the text form.
#include <gtest/gtest.h>

#include <memory>
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

ReadOutcome ReadOne(const Bytes& bytes, iobsManipulator syntax = explicit_little_endian,
                    D::VR implicitVR = D::UNDEFINED) {
  testsupport::TempDir dir;
  if (syntax == implicit_little_endian)
    testsupport::WriteBytes(dir.file("v"), Builder().Raw(bytes).U32(2).U16(77));
  else
    testsupport::WriteBytes(dir.file("v"), Builder(syntax == explicit_big_endian).Raw(bytes).Text("US").U16(2).U16(77));
  ifbstream ifs(dir.file("v").c_str(), std::ios::in | std::ios::binary);
  syntax(ifs);
  ReadOutcome outcome;
  outcome.value.SetVR(implicitVR);
  outcome.value.Read(ifs);
  outcome.good = !ifs.fail();
  Value next;
  if (syntax == implicit_little_endian)
    next.SetVR(D::US);
  next.Read(ifs);
  outcome.next = next.US();
  return outcome;
}

Bytes Written(const Value& value, iobsManipulator syntax = explicit_little_endian, bool* good = nullptr) {
  testsupport::TempDir dir;
  {
    ofbstream ofs(dir.file("w").c_str(), std::ios::out | std::ios::binary);
    syntax(ofs);
    value.Write(ofs);
    if (good)
      *good = !ofs.fail();
  }
  return testsupport::ReadBytes(dir.file("w"));
}

bool WritesWell(const Value& value, iobsManipulator syntax = explicit_little_endian) {
  bool good = false;
  Written(value, syntax, &good);
  return good;
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
  EXPECT_EQ(Printed(value), "0, 0, 0, 9");
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

  Value pseudo, target;
  pseudo.SetVR(D::xs);
  target.CS() = "KEPT";
  target = pseudo;
  EXPECT_EQ(target.CS(), "KEPT");
  EXPECT_TRUE(reports.Error("sorry, that VR (203) is unknown or not allowed!"));
}

// Text values as they are read (trimmed, corrected, or dropped as UNDEFINED),
// each followed in step by the next element.
TEST(ValueRead, TextsDatesTimesAndAgesWithTheirCorrections) {
  const struct {
    const char* vr;
    std::string text;
    const char* printed;
    const char* warning;
  } cases[] = {
      {"LO", "  AB C  ", "AB C", nullptr},
      {"PN", " DOE^J  ", " DOE^J", nullptr},
      {"UI", std::string("1.2\0", 4), "1.2", nullptr},
      {"DA", "19991231", "1999.12.31", nullptr},
      {"DA", "1999.12.31", "1999.12.31", nullptr},
      {"DA", "19993112", "1999.12.31", "Invalid date, but DA month 31 > 12, day 12 <= 12, let's swap!"},
      {"DA", "19991332", "1999.13.32", nullptr},
      {"DA", "00000000", "UNDEFINED", nullptr},
      {"DA", "199912", "UNDEFINED", "DA length = 8 or 10, current = 6, skipped..."},
      {"TM", "101530.5", "10:15:30.500000", nullptr},
      {"TM", "10:15:30.25 ", "10:15:30.250000", nullptr},
      {"TM", "10:15:30123 ", "10:15:30.123000", "TM field 10:15:30123 does not respect the standard. correcting..."},
      {"TM", "1015", "10:15:00", nullptr},
      {"TM", "AB1015", "UNDEFINED", nullptr},
      {"DT", "20200102030405.5 ", "2020.01.02 03:04:05.500000", nullptr},
      {"DT", "20200102030405.123456+0100 ", "2020.01.02 03:04:05.123456", nullptr},
      {"DT", "20200102030405.1234567", "UNDEFINED", "DT field 20200102030405.1234567 is longer than a date and time!"},
      {"AS", "045Y", "45 year(s)", nullptr},
      {"AS", "045X", "UNDEFINED", "AS unit specification X is not D, W, M or Y!"},
      {"AS", "000D", "0 day(s)", nullptr},
      {"AS", "45Y ", "UNDEFINED", nullptr},
      {"AS", "045YY ", "UNDEFINED", "AS length = 4, current = 6, skipped..."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.vr) + " " + c.text);
    CapturedReports reports;
    const ReadOutcome outcome = ReadOne(Builder().Text(c.vr).U16(c.text.size()).Text(c.text));
    EXPECT_EQ(Printed(outcome.value), c.printed);
    EXPECT_EQ(outcome.next, 77);
    if (c.warning) {
      EXPECT_TRUE(reports.Warning(c.warning));
    }
  }
}

TEST(ValueRead, NumbersWithSurplusOrMissingBytesInBothByteOrders) {
  CapturedReports reports;
  const ReadOutcome odd = ReadOne(Builder().Text("US").U16(7).U16(1).U16(2).U16(3).Raw(Bytes{9}));
  EXPECT_TRUE(odd.good);
  EXPECT_EQ(Printed(odd.value), "1, 2, 3");
  EXPECT_EQ(odd.next, 77);
  EXPECT_TRUE(reports.Warning("US length = 2, length = 7, read = 6, skipping the rest."));

  const ReadOutcome twoFloats = ReadOne(Builder().Text("FL").U16(8).U32(0x3FC00000).U32(0x40000000));
  EXPECT_FLOAT_EQ(twoFloats.value.FL(), 1.5f);
  EXPECT_EQ(twoFloats.next, 77);
  // Every value is written back, in the byte order of the stream written.
  EXPECT_EQ(Written(twoFloats.value, explicit_big_endian),
            Builder(true).Text("FL").U16(8).U32(0x3FC00000).U32(0x40000000).bytes());
  const ReadOutcome bigFloats =
      ReadOne(Builder(true).Text("FL").U16(10).U32(0x3FC00000).U32(0x40000000).U16(0), explicit_big_endian);
  EXPECT_FLOAT_EQ(bigFloats.value.FL(), 1.5f);
  EXPECT_TRUE(reports.Warning("FL length = 10 is not a multiple of 4, skipping the rest."));
  EXPECT_EQ(Written(bigFloats.value, implicit_little_endian), Builder().U32(8).U32(0x3FC00000).U32(0x40000000).bytes());

  EXPECT_EQ(ReadOne(Builder().Text("UL").U16(2).U16(1)).value.GetVR(), D::UNDEFINED);
  EXPECT_TRUE(reports.Warning("UL length = 4 < current = 2, not enough data"));
  const ReadOutcome twoTags = ReadOne(Builder().Text("AT").U16(8).Tag(0x10, 0x20).Tag(0x30, 0x40));
  EXPECT_EQ(Printed(twoTags.value), "(0010,0020)");
  EXPECT_EQ(Written(twoTags.value, explicit_big_endian),
            Builder(true).Text("AT").U16(8).Tag(0x10, 0x20).Tag(0x30, 0x40).bytes());
  EXPECT_EQ(ReadOne(Builder().Text("AT").U16(2).U16(1)).value.GetVR(), D::UNDEFINED);
  EXPECT_TRUE(reports.Warning("AT length = 4 < current = 2, not enough data"));

  Builder many;
  many.Text("SS").U16(1200);
  for (int i = 0; i < 600; ++i)
    many.U16(UWORD(-i));
  const ReadOutcome array = ReadOne(many);
  EXPECT_EQ(array.value.GetCount(), 600);
  EXPECT_EQ(array.value.SS(599), -599);

  const ReadOutcome big = ReadOne(Builder(true).Text("US").U16(4).U16(0x1234).U16(0xABCD), explicit_big_endian);
  EXPECT_EQ(Printed(big.value), "4660, 43981");
  EXPECT_EQ(big.next, 77);
  EXPECT_DOUBLE_EQ(ReadOne(Builder(true).Text("FD").U16(8).U32(0x3FF80000).U32(0), explicit_big_endian).value.FD(),
                   1.5);
}

TEST(ValueRead, EmptyUnknownAndForeignValuesKeepTheStreamInStep) {
  {
    // Zero-length values of every VR class are kept empty without a
    // warning, whichever header carries the length.
    CapturedReports quiet;
    std::vector<std::pair<ReadOutcome, std::string>> empties;
    for (const char* vr : {"PN", "UI", "DA", "TM", "DT", "AS", "AT", "FL", "FD", "US", "SL"})
      empties.emplace_back(ReadOne(Builder().Text(vr).U16(0)), vr);
    for (const char* vr : {"OB", "OW", "UN", "SQ", "UT"})
      empties.emplace_back(ReadOne(Builder().Text(vr).U16(0).U32(0)), vr);
    for (D::VR vr : {D::DA, D::US, D::OW, D::SQ})
      empties.emplace_back(ReadOne(Builder().U32(0), implicit_little_endian, vr),
                           std::string("implicit ") + D::TokenOf(vr));
    for (const auto& empty : empties) {
      const Value& value = empty.first.value;
      EXPECT_NE(value.GetVR(), D::UNDEFINED) << empty.second;
      EXPECT_EQ(value.IsEmpty(), value.GetVR() != D::SQ) << empty.second;
      EXPECT_TRUE(value.SQ().empty()) << empty.second;
      EXPECT_EQ(Printed(value), value.GetVR() == D::SQ ? "0 items" : "") << empty.second;
      EXPECT_EQ(empty.first.next, 77) << empty.second;
    }
    EXPECT_TRUE(quiet.None()) << quiet.Errors() << quiet.Warnings();
  }

  CapturedReports reports;
  const ReadOutcome unknown = ReadOne(Builder().Text("ZZ").U16(3).Text("abc"));
  EXPECT_EQ(unknown.value.GetVR(), D::UNDEFINED);
  EXPECT_EQ(unknown.next, 77);
  EXPECT_TRUE(reports.Warning("explicit VR of value is unknown!"));

  // Long-header tokens outside the program's VR set stay in the file as UN.
  for (const char* vr : {"UT", "OF", "UC", "UV"}) {
    const ReadOutcome foreign = ReadOne(Builder().Text(vr).U16(0).U32(6).Text("abcdef"));
    EXPECT_EQ(foreign.value.GetVR(), D::UN) << vr;
    EXPECT_EQ(foreign.value.UN().GetSize(), 6UL) << vr;
    EXPECT_EQ(foreign.value.UN().GetFileOffset(), 8UL) << vr;
    EXPECT_EQ(foreign.next, 77) << vr;
  }

  // An unknown value of undefined length (implicit VR) is skipped item by item.
  const ReadOutcome skipped =
      ReadOne(Builder().U32(0xFFFFFFFF).Tag(0xFFFE, 0xE000).U32(2).Text("xy").Tag(0xFFFE, 0xE0DD).U32(0),
              implicit_little_endian);
  EXPECT_TRUE(skipped.good);
  EXPECT_EQ(skipped.value.GetVR(), D::UNDEFINED);
}

TEST(ValueRead, LengthsPastTheEndFailTheStream) {
  CapturedReports reports;
  const ReadOutcome outcome = ReadOne(Builder().Text("OB").U16(0).U32(0xFFFFFFF0).Text("abcd"));
  EXPECT_FALSE(outcome.good);
  EXPECT_TRUE(reports.Error("length 4294967280 runs past the end of the stream!"));
}

TEST(ValueRead, EncapsulatedDataBecomeOneFileLocation) {
  const Bytes items =
      Builder().Tag(0xFFFE, 0xE000).U32(0).Tag(0xFFFE, 0xE000).U32(4).Text("JPEG").Tag(0xFFFE, 0xE0DD).U32(0);
  const ReadOutcome outcome = ReadOne(Builder().Text("OB").U16(0).U32(0xFFFFFFFF).Raw(items));
  EXPECT_TRUE(outcome.good);
  EXPECT_EQ(outcome.value.OB().GetMode(), qzcDataLocation<UBYTE>::file);
  EXPECT_EQ(outcome.value.OB().GetFileOffset(), 8UL);
  EXPECT_EQ(outcome.value.OB().GetSize(), ULONG(items.size()));
  EXPECT_EQ(outcome.next, 77);
}

TEST(ValueWrite, ByteExactEncodings) {
  Value text, uid, date, time, dateTime, age, numbers, tag, bytes;
  text.CS() = "ABC";
  uid.UI() = "1.2.3";
  date.DA() = {31, 12, 1999};
  time.TM() = {10, 15, 30, 500000};
  dateTime.DT() = {{2, 1, 2020}, {3, 4, 5, 0}};
  age.AS() = {45, Value::AgeRecord::years};
  numbers.US(1) = 0x0102;
  tag.AT() = qzmDicomDataElementTag(0x7FE0, 0x0010);
  bytes.OB().SetSize(3);
  bytes.OB().AllocateMemory();
  std::copy_n("xyz", 3, bytes.OB().GetMemoryLocation());

  EXPECT_EQ(Written(text, explicit_little_endian), Builder().Text("CS").U16(4).Text("ABC ").bytes());
  EXPECT_EQ(Written(text, implicit_little_endian), Builder().U32(4).Text("ABC ").bytes());
  EXPECT_EQ(Written(uid, explicit_big_endian), Builder(true).Text("UI").U16(6).Raw(ToBytes("1.2.3")).Raw({0}).bytes());
  EXPECT_EQ(Written(date, explicit_little_endian), Builder().Text("DA").U16(8).Text("19991231").bytes());
  EXPECT_EQ(Written(time, implicit_little_endian), Builder().U32(14).Text("101530.500000 ").bytes());
  EXPECT_EQ(Written(dateTime, explicit_little_endian), Builder().Text("DT").U16(14).Text("20200102030405").bytes());
  EXPECT_EQ(Written(age, explicit_little_endian), Builder().Text("AS").U16(4).Text("045Y").bytes());
  EXPECT_EQ(Written(numbers, explicit_big_endian), Builder(true).Text("US").U16(4).U16(0).U16(0x0102).bytes());
  EXPECT_EQ(Written(tag, explicit_big_endian), Builder(true).Text("AT").U16(4).Tag(0x7FE0, 0x0010).bytes());
  EXPECT_EQ(Written(bytes, explicit_little_endian),
            Builder().Text("OB").U16(0).U32(4).Raw(ToBytes("xyz")).Raw({0}).bytes());
}

TEST(ValueWrite, DatesTimesAndAgesGoBackAsReadUnlessChanged) {
  struct Case {
    const char* vr;
    std::string read, written;
  };
  const Case cases[] = {
      {"DA", "20040119", "20040119"},
      {"DA", "20040119\\20050220 ", "20040119\\20050220 "},  // every value, not just the first held
      {"DA", "2004.01.19", "20040119"},                      // the retired form is not written
      {"TM", "101530.5", "101530.5"},                        // the source's precision
      {"TM", "1015", "1015"},
      {"TM", "10:15:30", "101530"},
      {"DT", "20200102030405.25", "20200102030405.25 "},
      {"DT", "20200102030405+0100", "20200102030405+0100 "},
      {"AS", "045Y", "045Y"},
  };
  for (const Case& c : cases) {
    const ReadOutcome outcome = ReadOne(Builder().Text(c.vr).U16(c.read.size()).Text(c.read));
    ASSERT_EQ(D::TokenOf(outcome.value.GetVR()), std::string(c.vr)) << c.read;
    EXPECT_EQ(Written(outcome.value, explicit_little_endian), Builder()
                                                                  .Text(c.vr)
                                                                  .U16(c.written.size() + c.written.size() % 2)
                                                                  .Text(c.written)
                                                                  .Text(c.written.size() % 2 ? " " : "")
                                                                  .bytes())
        << c.read;
  }
  // A value changed after reading is written in standard form.
  Value date = ReadOne(Builder().Text("DA").U16(8).Text("20040119")).value;
  date.DA().day = 20;
  EXPECT_EQ(Written(date, explicit_little_endian), Builder().Text("DA").U16(8).Text("20040120").bytes());
  Value time = ReadOne(Builder().Text("TM").U16(8).Text("101530.5")).value;
  time.TM().second = 31;
  EXPECT_EQ(Written(time, implicit_little_endian), Builder().U32(14).Text("101531.500000 ").bytes());
}

TEST(ValueWrite, InvalidValuesFailOrWarn) {
  CapturedReports reports;
  Value time, age, date, longText;
  time.TM() = {10, 15, 60, 0};
  EXPECT_FALSE(WritesWell(time));
  EXPECT_TRUE(reports.Error("invalid TM (time) value: 10:15:60.000000!"));
  age.AS().number = 1000;
  EXPECT_FALSE(WritesWell(age));

  date.DA() = {32, 13, 1999};
  EXPECT_TRUE(WritesWell(date));
  EXPECT_TRUE(reports.Warning("invalid DA (date) value: 1999.13.32!"));
  date.DA().day = 200;  // three digits would not match the length written
  EXPECT_FALSE(WritesWell(date));

  longText.LT() = std::string(70000, 'x');  // too long for the 16-bit length of the explicit header
  EXPECT_FALSE(WritesWell(longText));
  EXPECT_TRUE(WritesWell(longText, implicit_little_endian));
  EXPECT_EQ(Written(longText, implicit_little_endian).size(), 70004u);
}

TEST(ValueWrite, LengthOnStreamMatchesTheBytesWritten) {
  // Copies share the OW block that the first value owns: no reallocation.
  std::vector<Value> values;
  values.reserve(16);
  values.resize(9);
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
  // Values read: texts as read, every value of an AT, empties, a sequence
  // with an empty item and a nested one.
  values.push_back(ReadOne(Builder().Text("TM").U16(8).Text("101530.5")).value);
  values.push_back(ReadOne(Builder().Text("AT").U16(8).Tag(0x10, 0x20).Tag(0x30, 0x40)).value);
  values.push_back(ReadOne(Builder().Text("OB").U16(0).U32(0)).value);
  values.push_back(ReadOne(Builder().Text("US").U16(0)).value);
  Value sequence;
  sequence.SQ().push_back(std::make_unique<qzmDicomDataElementSet>());
  sequence.SQ().push_back(std::make_unique<qzmDicomDataElementSet>());
  (*sequence.SQ()[1])[qzmDicomDataElementTag(0x0008, 0x1150)].UI() = "1.2.3";
  (*sequence.SQ()[1])[qzmDicomDataElementTag(0x0040, 0xA730)] = values[8];
  (*sequence.SQ()[1])[qzmDicomDataElementTag(0x0040, 0xA731)] = Value(sequence);
  values.push_back(sequence);
  for (iobsManipulator syntax : {explicit_little_endian, implicit_little_endian}) {
    ofbstream policy;
    syntax(policy);
    for (const Value& value : values)
      EXPECT_EQ(value.LengthOnStream(policy), Written(value, syntax).size()) << D::TokenOf(value.GetVR());
  }
}

TEST(ValuePrint, NumbersAndRecords) {
  Value numbers, time;
  for (UWORD i = 0; i < 12; ++i)
    numbers.SS(i) = SWORD(i - 1);
  EXPECT_EQ(Printed(numbers), "-1, 0, 1, 2, 3, 4, 5, 6, 7, 8... (and more, total 12)");
  time.TM() = {1, 2, 3, 40};
  EXPECT_EQ(Printed(time), "01:02:03.000040");
}
