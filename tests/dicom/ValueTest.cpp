// Data element values: read with corrections for damaged or old-style values, written back byte for byte.
#include <gtest/gtest.h>

#include <memory>

#include "lib/ReportCapture.h"
#include "support/DicomBytes.h"

using namespace dicombytes;  // NOLINT
typedef qzmDicomDataElementDescription D;
typedef qzmDicomDataElementValue Value;

namespace {

// Reads one value (what follows the tag), then a US element that must follow in step; gives the value's text.
std::string ReadOne(const Bytes& bytes, Value& value, iobsManipulator syntax = explicit_little_endian,
                    D::VR implicitVR = D::UNDEFINED) {
  testsupport::TempDir dir;
  const bool implicit = syntax == implicit_little_endian;
  Builder file(syntax == explicit_big_endian);
  (implicit ? file.Raw(bytes).U32(2) : file.Raw(bytes).Text("US").U16(2)).U16(77);
  testsupport::WriteBytes(dir.file("v"), file);
  ifbstream ifs(dir.file("v").c_str(), std::ios::in | std::ios::binary);
  syntax(ifs);
  value.SetVR(implicitVR);
  if (value.Read(ifs).fail())
    return "FAILED";
  Value next;
  next.SetVR(implicit ? D::US : D::UNDEFINED);
  std::ostringstream text;
  value.Print(text);
  return next.Read(ifs) && next.US() == 77 ? text.str() : "OUT OF STEP";
}

Bytes Written(const Value& value, iobsManipulator syntax = explicit_little_endian, bool* good = nullptr) {
  testsupport::TempDir dir;
  ofbstream ofs(dir.file("w").c_str(), std::ios::out | std::ios::binary);
  syntax(ofs);
  value.Write(ofs);
  if (good)
    *good = !ofs.fail();
  ofs.close();
  return testsupport::ReadBytes(dir.file("w"));
}

}  // namespace

// Texts read (trimmed, corrected or dropped) and written back as read when valid, in the current form otherwise.
TEST(ValueRead, TextsDatesTimesAndAgesReadAndWrittenBack) {
  const struct {
    const char* vr;
    std::string text;
    const char* printed;
    std::string written;  // "=" when the text read
    const char* warning;  // a part of it
  } cases[] = {
      {"LO", "  AB C  ", "AB C", "AB C", nullptr}, {"PN", " DOE^J  ", " DOE^J", " DOE^J", nullptr},
      {"UI", std::string("1.2\0", 4), "1.2", "=", nullptr},
      {"DA", "20040119\\20050220 ", "2004.01.19", "=", nullptr},  // every value, not just the first held
      {"DA", "1999.12.31", "1999.12.31", "19991231", nullptr},    // the retired form is not written
      {"DA", "19993112", "1999.12.31", "19991231", "month 31 > 12, day 12 <= 12, let's swap!"},
      {"DA", "19991332", "1999.13.32", "=", nullptr}, {"DA", "00000000", "UNDEFINED", "", nullptr},
      {"DA", "199912", "UNDEFINED", "", "DA length = 8 or 10, current = 6"},
      {"TM", "101530.5", "10:15:30.500000", "=", nullptr},  // the source's precision
      {"TM", "10:15:30.25 ", "10:15:30.250000", "101530.250000 ", nullptr},
      {"TM", "10:15:30123 ", "10:15:30.123000", "101530.123000 ", "TM field 10:15:30123 does not respect"},
      {"TM", "1015", "10:15:00", "=", nullptr}, {"TM", "AB1015", "UNDEFINED", "", nullptr},
      {"DT", "20200102030405.25", "2020.01.02 03:04:05.250000", "20200102030405.25 ", nullptr},
      {"DT", "20200102030405.123456+0100 ", "2020.01.02 03:04:05.123456", "20200102030405.123456+0100", nullptr},
      {"DT", "20200102030405+0100", "2020.01.02 03:04:05", "20200102030405+0100 ", nullptr},
      {"DT", "20200102030405.1234567", "UNDEFINED", "", "is longer than a date and time!"},
      {"AS", "045Y", "45 year(s)", "=", nullptr}, {"AS", "045X", "UNDEFINED", "", "X is not D, W, M or Y!"},
      {"AS", "000D", "0 day(s)", "=", nullptr}, {"AS", "45Y ", "UNDEFINED", "", nullptr},
      {"AS", "045YY ", "UNDEFINED", "", "AS length = 4, current = 6, skipped..."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.vr) + " " + c.text);
    ReportCapture reports;
    Value value;
    EXPECT_EQ(ReadOne(Builder().Text(c.vr).U16(c.text.size()).Text(c.text), value), c.printed);
    EXPECT_TRUE(c.warning ? reports.Warning(c.warning) : ::testing::AssertionSuccess());
    const std::string out = c.written == "=" ? c.text : c.written;
    if (value.GetVR() != D::UNDEFINED) {
      EXPECT_EQ(Written(value), Builder().Text(c.vr).U16(out.size()).Text(out).bytes());
    }
  }
  Value date, time, age;
  ReadOne(Builder().Text("DA").U16(8).Text("20040119"), date);
  ReadOne(Builder().Text("TM").U16(8).Text("101530.5"), time);
  ReadOne(Builder().Text("AS").U16(4).Text("045Y"), age);
  date.DA().day = 20, time.TM().second = 31, age.AS().number = 46;
  EXPECT_EQ(Written(age), Builder().Text("AS").U16(4).Text("046Y").bytes());
  EXPECT_EQ(Written(date), Builder().Text("DA").U16(8).Text("20040120").bytes());
  EXPECT_EQ(Written(time, implicit_little_endian), Builder().U32(14).Text("101531.500000 ").bytes());
}

// Surplus or missing bytes, empty values, unknown VRs, runaway lengths: the stream stays in step or fails.
TEST(ValueRead, NumbersEmptiesAndUnknownsKeepTheStreamInStep) {
  const struct {
    Bytes bytes;
    const char *printed, *warning;
    iobsManipulator syntax = explicit_little_endian;
    D::VR implicitVR = D::UNDEFINED;
  } cases[] = {
      {Builder().Text("US").U16(7).U16(1).U16(2).U16(3).Raw({9}), "1, 2, 3", "length = 7, read = 6, skipping"},
      {Builder(true).Text("FL").U16(10).U32(0x3FC00000).U32(1 << 30).U16(0), "1.5", "not a multiple of 4",
       explicit_big_endian},
      {Builder().Text("UL").U16(2).U16(1), "UNDEFINED", "UL length = 4 < current = 2, not enough data"},
      {Builder().Text("AT").U16(2).U16(1), "UNDEFINED", "AT length = 4 < current = 2, not enough data"},
      {Builder().Text("AT").U16(8).Tag(0x10, 0x20).Tag(0x30, 0x40), "(0010,0020)", nullptr},
      {Builder(true).Text("US").U16(4).U16(0x1234).U16(0xABCD), "4660, 43981", nullptr, explicit_big_endian},
      {Builder(true).Text("FD").U16(8).U32(0x3FF80000).U32(0), "1.5", nullptr, explicit_big_endian},
      {Builder().Text("ZZ").U16(3).Text("abc"), "UNDEFINED", "explicit VR of value is unknown!"},
      {Builder().U32(0xFFFFFFFF).Tag(0xFFFE, 0xE000).U32(2).Text("xy").Tag(0xFFFE, 0xE0DD).U32(0), "UNDEFINED", nullptr,
       implicit_little_endian},
      {Builder().Text("OB").U16(0).U32(0xFFFFFFF0).Text("abcd"), "FAILED", "length 4294967280 runs past the end"},
      {Builder().Text("OB").U16(0).U32(0xFFFFFFFF).Tag(0xFFFE, 0xE000).U32(4).Text("JPEG").Tag(0xFFFE, 0xE0DD).U32(0),
       "20 * 1 bytes at offset 8", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.printed);
    ReportCapture reports;
    Value value;
    EXPECT_EQ(ReadOne(c.bytes, value, c.syntax, c.implicitVR).substr(0, std::string(c.printed).size()), c.printed);
    EXPECT_TRUE(!c.warning || (reports.Warnings() + reports.Errors()).find(c.warning) != std::string::npos);
  }
  // Written back in the byte order of the stream written.
  Value floats, many;
  ReadOne(Builder().Text("FL").U16(8).U32(0x3FC00000).U32(1 << 30), floats);
  EXPECT_EQ(Written(floats, explicit_big_endian), Builder(true).Text("FL").U16(8).U32(0x3FC00000).U32(1 << 30).bytes());
  Builder array = Builder().Text("SS").U16(1200);
  for (int i = 0; i < 600; ++i)
    array.U16(UWORD(-i));
  ReadOne(array, many);
  EXPECT_EQ(many.SS(599), -599);
  EXPECT_EQ(Written(many), array.bytes());
  // Empty values of every class are kept silently; long-header VRs outside the program's set are read as UN.
  ReportCapture quiet;
  std::vector<std::pair<Bytes, D::VR>> empties;
  for (const char* vr : {"PN", "UI", "DA", "TM", "DT", "AS", "AT", "FL", "FD", "US", "SL"})
    empties.push_back({Builder().Text(vr).U16(0), D::UNDEFINED});
  for (const char* vr : {"OB", "OW", "UN", "SQ", "UT"})
    empties.push_back({Builder().Text(vr).U16(0).U32(0), D::UNDEFINED});
  for (D::VR vr : {D::DA, D::US, D::OW, D::SQ})
    empties.push_back({Builder().U32(0), vr});
  for (const auto& empty : empties) {
    Value value;
    const std::string text =
        ReadOne(empty.first, value, empty.second ? implicit_little_endian : explicit_little_endian, empty.second);
    EXPECT_EQ(text, value.GetVR() == D::SQ ? "0 items" : "") << D::TokenOf(value.GetVR());
    EXPECT_EQ(value.IsEmpty(), value.GetVR() != D::SQ) << D::TokenOf(value.GetVR());
  }
  for (const char* vr : {"UT", "OF", "UC", "UV"}) {
    Value value;
    EXPECT_EQ(ReadOne(Builder().Text(vr).U16(0).U32(6).Text("abcdef"), value).substr(0, 23), "6 * 1 bytes at offset 8")
        << vr;
    EXPECT_EQ(value.GetVR(), D::UN) << vr;
  }
  EXPECT_TRUE(quiet.None()) << quiet.Errors() << quiet.Warnings();
}

// Values go out byte for byte in the length LengthOnStream announces (group lengths are its sums).
TEST(ValueWrite, ByteExactInTheirAnnouncedLength) {
  Value text, uid, date, time, dateTime, age, numbers, tag, bytes, sequence;
  text.CS() = "ABC", uid.UI() = "1.2.3", date.DA() = {31, 12, 1999}, time.TM() = {10, 15, 30, 500000};
  dateTime.DT() = {{2, 1, 2020}, {3, 4, 5, 0}}, age.AS() = {45, Value::AgeRecord::weeks};
  numbers.SL(1) = 0x01020304, tag.AT() = qzmDicomDataElementTag(0x7FE0, 0x0010);
  bytes.OB().SetSize(3), bytes.OB().AllocateMemory();
  std::copy_n("xyz", 3, bytes.OB().GetMemoryLocation());
  sequence.SQ().push_back(std::make_unique<qzmDicomDataElementSet>());
  sequence.SQ().push_back(std::make_unique<qzmDicomDataElementSet>());
  (*sequence.SQ()[1])[qzmDicomDataElementTag(0x0008, 0x1150)].UI() = "1.2.3";
  (*sequence.SQ()[1])[qzmDicomDataElementTag(0x0040, 0xA731)] = Value(sequence);
  const std::tuple<const Value*, iobsManipulator, Bytes> cases[] = {
      {&text, explicit_little_endian, Builder().Text("CS").U16(4).Text("ABC ")},
      {&text, implicit_little_endian, Builder().U32(4).Text("ABC ")},
      {&uid, explicit_big_endian, Builder(true).Text("UI").U16(6).Text("1.2.3").Raw({0})},
      {&date, explicit_little_endian, Builder().Text("DA").U16(8).Text("19991231")},
      {&time, implicit_little_endian, Builder().U32(14).Text("101530.500000 ")},
      {&dateTime, explicit_little_endian, Builder().Text("DT").U16(14).Text("20200102030405")},
      {&age, explicit_little_endian, Builder().Text("AS").U16(4).Text("045W")},
      {&numbers, explicit_big_endian, Builder(true).Text("SL").U16(8).U32(0).U32(0x01020304)},
      {&tag, explicit_big_endian, Builder(true).Text("AT").U16(4).Tag(0x7FE0, 0x0010)},
      {&bytes, explicit_little_endian, Builder().Text("OB").U16(0).U32(4).Text("xyz").Raw({0})},
      {&sequence, implicit_little_endian, Bytes()},  // its bytes are the set tests'
      {&sequence, explicit_big_endian, Bytes()},
  };
  for (const auto& c : cases) {
    ofbstream policy;
    std::get<1>(c)(policy);
    const Bytes written = Written(*std::get<0>(c), std::get<1>(c));
    EXPECT_TRUE(std::get<2>(c).empty() || written == std::get<2>(c)) << D::TokenOf(std::get<0>(c)->GetVR());
    EXPECT_EQ(std::get<0>(c)->LengthOnStream(policy), written.size()) << D::TokenOf(std::get<0>(c)->GetVR());
  }
  ReportCapture reports;
  const auto fails = [](const Value& value, iobsManipulator syntax) {
    bool good = true;
    Written(value, syntax, &good);
    return !good;
  };
  time.TM() = {10, 15, 60, 0}, age.AS().number = 1000;
  EXPECT_TRUE(fails(time, explicit_little_endian) && fails(age, explicit_little_endian));
  EXPECT_TRUE(reports.Error("invalid TM (time) value: 10:15:60.000000!"));
  date.DA() = {32, 13, 1999};
  EXPECT_FALSE(fails(date, explicit_little_endian));
  EXPECT_TRUE(reports.Warning("invalid DA (date) value: 1999.13.32!"));
  date.DA().day = 200;  // three digits would not match the length written
  text.LT() = std::string(70000, 'x');  // too long for the 16-bit length of the explicit header
  EXPECT_TRUE(fails(date, explicit_little_endian) && fails(text, explicit_little_endian));
  EXPECT_FALSE(fails(text, implicit_little_endian));
  EXPECT_EQ(Written(text, implicit_little_endian).size(), 70004u);
}
