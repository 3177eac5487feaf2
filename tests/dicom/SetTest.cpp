// Data element sets: reading files and bare sets in every syntax, writing
// them back with computed group lengths, the text dump, and damaged input.
#include <gtest/gtest.h>

#include <algorithm>

#include "CapturedReports.h"
#include "DicomBytes.h"
#include "dicom/qzmDicomDataElementDictionary.h"
#include "dicom/qzmDicomDataElementSet.h"

using dicombytes::Builder;
using dicombytes::Bytes;
using dicombytes::ToBytes;
typedef qzmDicomDataElementDescription D;
typedef qzmDicomDataElementSet Set;
typedef qzmDicomDataElementTag Tag;

namespace {

const char* const PatientName = "DOE^JOHN";

Bytes U16Bytes(unsigned value) {
  return Builder().U16(value).bytes();
}

// The value of an element of the set; an UNDEFINED value when it is missing.
const qzmDicomDataElementValue& At(const Set& set, UWORD group, UWORD element) {
  static const qzmDicomDataElementValue missing;
  const auto found = set.find(group, element);
  return found == set.end() ? missing : found->second;
}

std::string PatientOf(const Set& set) {
  return At(set, 0x0010, 0x0010).PN();
}

// A small explicit VR little endian file: meta group, a few common elements
// of several VRs, a private element and native pixel data.
Bytes ExplicitFile(const std::string& syntax = Set::ExplicitVRLittleEndian, const Bytes& pixels = Bytes(64, 7)) {
  return Builder()
      .Preamble()
      .Meta(syntax)
      .Explicit(0x0008, 0x0020, "DA", "19991231")
      .Explicit(0x0008, 0x0030, "TM", "101530.5")
      .Explicit(0x0008, 0x0060, "CS", "MR")
      .Explicit(0x0009, 0x0010, "LO", "PRIVATE ")
      .Explicit(0x0010, 0x0010, "PN", PatientName)
      .Explicit(0x0010, 0x1010, "AS", "045Y")
      .Explicit(0x0018, 0x0050, "DS", "2.5 ")
      .Explicit(0x0028, 0x0010, "US", U16Bytes(8))
      .Explicit(0x0028, 0x0011, "US", U16Bytes(4))
      .Explicit(0x0028, 0x1050, "DS", "40")
      .Explicit(0x7FE0, 0x0010, "OW", pixels);
}

std::string Printed(const qzmDicomDataElementValue& value) {
  std::ostringstream text;
  value.Print(text);
  return text.str();
}

// Every value of the set by its text form; data locations by their bytes.
std::map<Tag, std::string> Contents(const Set& set) {
  std::map<Tag, std::string> contents;
  for (const auto& element : set) {
    const qzmDicomDataElementValue& value = element.second;
    std::ostringstream text;
    text << D::TokenOf(value.GetVR()) << ' ';
    if (value.GetVR() == D::OW || value.GetVR() == D::OB) {
      qzcDataLocation<UBYTE> bytes = value.OB();
      qzcDataLocation<UWORD> words = value.OW();
      const UBYTE* data = value.GetVR() == D::OB ? bytes.GetMemoryLocation()
                                                 : reinterpret_cast<const UBYTE*>(words.GetMemoryLocation());
      const ULONG size = value.GetVR() == D::OB ? bytes.GetSize() : 2 * words.GetSize();
      text << std::string(reinterpret_cast<const char*>(data), size);
    } else {
      value.Print(text);
    }
    contents[element.first] = text.str();
  }
  return contents;
}

}  // namespace

TEST(SetRead, ExplicitFileWithMetaGroupWholeOrFiltered) {
  CapturedReports reports;
  testsupport::TempDir dir;
  Set set, filtered;
  ASSERT_TRUE(dicombytes::LoadBytes(dir, ExplicitFile(), set));
  EXPECT_TRUE(reports.None()) << reports.Errors() << reports.Warnings();
  EXPECT_EQ(PatientOf(set), PatientName);
  EXPECT_EQ(At(set, 0x0028, 0x0010).US(), 8);
  const qzcDataLocation<UWORD>& pixels = At(set, 0x7FE0, 0x0010).OW();
  EXPECT_EQ(pixels.GetMode(), qzcDataLocation<UWORD>::file);  // left in the file
  EXPECT_EQ(pixels.GetSize(), 32UL);
  EXPECT_EQ(set.CountOf(qzmDicomDataElementTagSet::FileMetaFilter()), 4);
  EXPECT_EQ(set.FindLastOf(qzmDicomDataElementTagSet::FileMetaFilter())->first, Tag(0x0002, 0x0010));

  const qzmDicomDataElementTagSet wanted = {Tag(0x0010, 0x0010), Tag(0x0028, 0x0011)};
  ASSERT_TRUE(filtered.Load(dir.file("in.dcm"), &wanted));
  EXPECT_EQ(filtered.CountOf(wanted), 2);
  EXPECT_EQ(filtered.count(Tag(0x0028, 0x0010)), 0u);
  EXPECT_TRUE(filtered.ContainsAnyOf(wanted));
}

TEST(SetRead, BareSetsAreImplicitLittleEndianUnlessToldOtherwise) {
  CapturedReports reports;
  testsupport::TempDir dir;
  const Bytes implicitSet =
      Builder()
          .Implicit(0x0008, 0x0060, "CT")
          .Implicit(0x0010, 0x0010, PatientName)
          .Implicit(0x0011, 0x1010, "private!")  // not in the dictionary
          .Implicit(0x0028, 0x0010, U16Bytes(512))
          .Implicit(0x0028, 0x1052, "-1024 ")
          .Implicit(0x4008, 0x0300, std::string(140, 'x'));  // longer than a preamble and signature
  Set set, told;
  ASSERT_TRUE(dicombytes::LoadBytes(dir, implicitSet, set));
  EXPECT_EQ(At(set, 0x0028, 0x0010).US(), 512);
  EXPECT_EQ(PatientOf(set), PatientName);
  EXPECT_EQ(At(set, 0x0011, 0x1010).GetVR(), qzmDicomDataElementDescription::UN);  // kept, unknown
  EXPECT_EQ(At(set, 0x0011, 0x1010).UN().GetSize(), 8u);
  EXPECT_TRUE(reports.None()) << reports.Errors() << reports.Warnings();

  const Bytes explicitSet =
      Builder().Explicit(0x0010, 0x0010, "PN", PatientName).Explicit(0x4008, 0x0300, "ST", std::string(140, 'x'));
  ASSERT_TRUE(dicombytes::LoadBytes(dir, explicitSet, told, explicit_little_endian));
  EXPECT_EQ(PatientOf(told), PatientName);

  Set small;  // shorter than a preamble and signature
  ASSERT_TRUE(dicombytes::LoadBytes(dir, Builder().Implicit(0x0010, 0x0010, PatientName), small));
  EXPECT_EQ(PatientOf(small), PatientName);
}

TEST(SetRead, ImplicitPseudoVRsFollowThePixelRepresentation) {
  testsupport::TempDir dir;
  for (const UWORD representation : {0, 1}) {
    Set set;
    ASSERT_TRUE(dicombytes::LoadBytes(dir,
                                      Builder()
                                          .Preamble()
                                          .Meta(Set::ImplicitVRLittleEndian)
                                          .Implicit(0x0028, 0x0103, U16Bytes(representation))
                                          .Implicit(0x0028, 0x0106, U16Bytes(0xFFFB))
                                          .Implicit(0x7FE0, 0x0010, Builder().U16(1).U16(2).bytes()),
                                      set));
    const qzmDicomDataElementValue& smallest = At(set, 0x0028, 0x0106);
    EXPECT_EQ(smallest.GetVR(), representation ? D::SS : D::US);
    EXPECT_EQ(Printed(smallest), representation ? "-5" : "65531");
    EXPECT_EQ(At(set, 0x7FE0, 0x0010).GetVR(), D::OW);
  }
}

TEST(SetRead, PrivateTagsInImplicitVRAreKeptAsUNAndTheirSequencesRead) {
  CapturedReports reports;
  testsupport::TempDir dir;
  const Bytes file = Builder()
                         .Preamble()
                         .Meta(Set::ImplicitVRLittleEndian)
                         .Implicit(0x0009, 0x0010, "GEMS_IDEN_01")
                         .Implicit(0x0009, 0x1001, "x ")
                         .Tag(0x0009, 0x1002)
                         .U32(0xFFFFFFFF)
                         .Tag(0xFFFE, 0xE000)
                         .U32(0xFFFFFFFF)  // private sequence
                         .Implicit(0x0009, 0x1003, "in an item")
                         .Tag(0xFFFE, 0xE00D)
                         .U32(0)
                         .Tag(0xFFFE, 0xE0DD)
                         .U32(0)
                         .Implicit(0x0010, 0x0010, PatientName);
  Set set;
  ASSERT_TRUE(dicombytes::LoadBytes(dir, file, set));
  EXPECT_EQ(PatientOf(set), PatientName);
  EXPECT_EQ(At(set, 0x0009, 0x1001).GetVR(), qzmDicomDataElementDescription::UN);
  const auto& items = At(set, 0x0009, 0x1002).SQ();
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0]->size(), 1u);
  EXPECT_EQ(items[0]->count(Tag(0x0009, 0x1003)), 1u);
  EXPECT_TRUE(reports.None()) << reports.Errors() << reports.Warnings();
}

TEST(SetRead, MetaGroupWithoutTransferSyntaxIsRetriedInImplicitVR) {
  testsupport::TempDir dir;
  Set old, none, told;
  CapturedReports reports;
  // An old file whose meta group is in implicit VR.
  const std::string uid = Builder::Even(Set::ExplicitVRLittleEndian, '\0');
  EXPECT_TRUE(dicombytes::LoadBytes(dir,
                                    Builder()
                                        .Preamble()
                                        .Implicit(0x0002, 0x0000, Builder().U32(8 + uid.size()))
                                        .Implicit(0x0002, 0x0010, uid)
                                        .Explicit(0x0010, 0x0010, "PN", PatientName),
                                    old));
  EXPECT_EQ(PatientOf(old), PatientName);
  EXPECT_TRUE(reports.Error("Transfer Syntax UID not found in File Meta Information header on stream!"));
  EXPECT_TRUE(reports.Warning("Trying with Implicit VR Little Endian syntax..."));
  // No UID in either reading: the stream is left failed.
  EXPECT_FALSE(
      dicombytes::LoadBytes(dir, Builder().Preamble().Meta("").Explicit(0x0010, 0x0010, "PN", PatientName), none));
  EXPECT_EQ(PatientOf(none), "");
  // With a manipulator there is no second attempt.
  CapturedReports again;
  EXPECT_FALSE(dicombytes::LoadBytes(dir, Builder().Preamble().Meta(""), told, explicit_little_endian));
  EXPECT_FALSE(again.Warning("Trying with"));
}

TEST(SetRead, BigEndianBodyAfterLittleEndianMeta) {
  testsupport::TempDir dir;
  Set set;
  ASSERT_TRUE(dicombytes::LoadBytes(dir,
                                    Builder()
                                        .Preamble()
                                        .Meta(Set::ExplicitVRBigEndian)
                                        .Raw(Builder(true)
                                                 .Explicit(0x0028, 0x0010, "US", Builder(true).U16(0x0102))
                                                 .Explicit(0x0028, 0x1053, "FL", Builder(true).U32(0x3FC00000))),
                                    set));
  EXPECT_EQ(At(set, 0x0028, 0x0010).US(), 0x0102);
  EXPECT_FLOAT_EQ(At(set, 0x0028, 0x1053).FL(), 1.5f);
}

TEST(SetRead, EncapsulatedPixelDataAndTheElementsAfterThem) {
  testsupport::TempDir dir;
  const Bytes items = Builder()
                          .Tag(0xFFFE, 0xE000)
                          .U32(4)
                          .U32(0)
                          .Tag(0xFFFE, 0xE000)
                          .U32(6)
                          .Text("FRAG-1")
                          .Tag(0xFFFE, 0xE000)
                          .U32(2)
                          .Text("F2")
                          .Tag(0xFFFE, 0xE0DD)
                          .U32(0)
                          .bytes();
  const Bytes head = Builder()
                         .Preamble()
                         .Meta("1.2.840.10008.1.2.4.50")
                         .Explicit(0x0028, 0x0010, "US", U16Bytes(2))
                         .Tag(0x7FE0, 0x0010)
                         .Text("OB")
                         .U16(0)
                         .U32(0xFFFFFFFF)
                         .bytes();
  const Bytes file = Builder().Raw(head).Raw(items).Explicit(0xFFFC, 0xFFFC, "OB", Bytes{1, 2});
  Set set;
  ASSERT_TRUE(dicombytes::LoadBytes(dir, file, set));
  const qzcDataLocation<UBYTE>& pixels = At(set, 0x7FE0, 0x0010).OB();
  EXPECT_EQ(pixels.GetFileOffset(), ULONG(head.size()));
  EXPECT_EQ(pixels.GetSize(), ULONG(items.size()));
  EXPECT_EQ(set.count(Tag(0xFFFC, 0xFFFC)), 1u);
  EXPECT_TRUE(Set::IsJpegSyntax("1.2.840.10008.1.2.4.50"));
  EXPECT_FALSE(Set::IsNativeSyntax("1.2.840.10008.1.2.4.50"));
  EXPECT_TRUE(Set::IsNativeSyntax(Set::ExplicitVRBigEndian));

  // Written back under the same syntax, the items go out unchanged.
  bool saved = false;
  const Bytes written = dicombytes::SavedBytes(dir, set, nullptr, &saved);
  EXPECT_TRUE(saved);
  EXPECT_NE(std::search(written.begin(), written.end(), items.begin(), items.end()), written.end());
  Set again;
  ASSERT_TRUE(dicombytes::LoadBytes(dir, written, again));
  EXPECT_EQ(At(again, 0x7FE0, 0x0010).OB().GetSize(), ULONG(items.size()));
}

TEST(SetRead, DeeplyNestedSequencesAreRefused) {
  CapturedReports reports;
  testsupport::TempDir dir;
  Builder file = Builder().Preamble().Meta(Set::ExplicitVRLittleEndian).Explicit(0x0008, 0x0060, "CS", "MR");
  for (int depth = 0; depth < 200; ++depth)
    file.Tag(0x0008, 0x1115).Text("SQ").U16(0).U32(0xFFFFFFFF).Tag(0xFFFE, 0xE000).U32(0xFFFFFFFF);
  Set set;
  EXPECT_FALSE(dicombytes::LoadBytes(dir, file, set));
  EXPECT_EQ(At(set, 0x0008, 0x0060).CS(), "MR");
  EXPECT_TRUE(reports.Error("sequences nested deeper than 64 levels!"));
}

// 40,000 elements of an unknown VR would give two warnings each and reach the
// warning channel's limit, which ends the whole run: the set is given up first.
TEST(SetRead, ADamagedSetIsGivenUpBeforeItsWarningsEndTheRun) {
  CapturedReports reports;
  testsupport::TempDir dir;
  Builder file = Builder().Preamble().Meta(Set::ExplicitVRLittleEndian);
  for (int n = 0; n < 40000; ++n)
    file.Tag(0x0009, 0x1000).Text("ZZ").U16(0);
  Set set;
  EXPECT_FALSE(dicombytes::LoadBytes(dir, file, set));
  EXPECT_TRUE(reports.Error("given up as damaged"));
  EXPECT_LT(qzcException::warningChannel.count, 1100);
}

TEST(SetRead, OnlyRegularFilesAreRead) {
  CapturedReports reports;
  testsupport::TempDir dir;
  for (const std::string& name : {std::string("/dev/zero"), dir.path()}) {
    SCOPED_TRACE(name);
    Set set;
    EXPECT_FALSE(set.Load(qzcFileName(name)));
    EXPECT_TRUE(reports.Error(name + " is not a regular file!"));
  }
}

TEST(SetRead, TruncatedFilesKeepWhatWasRead) {
  CapturedReports reports;
  testsupport::TempDir dir;
  const Bytes full = ExplicitFile(Set::ExplicitVRLittleEndian, Bytes(1500, 9));
  Set whole;
  ASSERT_TRUE(dicombytes::LoadBytes(dir, full, whole, nullptr, "full.dcm"));
  const auto expected = Contents(whole);
  std::size_t kept = 0;
  for (std::size_t length = 0; length < full.size(); ++length) {
    Set set;
    const bool read = dicombytes::LoadBytes(dir, Bytes(full.begin(), full.begin() + length), set);
    EXPECT_FALSE(read && set.size() == whole.size()) << length;
    if (length < 132)
      continue;  // short of the signature, the zeros read as a bare set of empty elements
    EXPECT_GE(set.size(), kept) << length;
    kept = set.size();
    for (const auto& element : Contents(set)) {
      if (element.first == Tag(0x7FE0, 0x0010))
        continue;
      EXPECT_EQ(element.second, expected.at(element.first)) << length;
    }
  }
  EXPECT_EQ(kept, whole.size() - 1);  // all but the cut pixel data
}

TEST(SetWrite, RoundTripsInEveryNativeSyntax) {
  CapturedReports reports;
  testsupport::TempDir dir;
  Set original;
  ASSERT_TRUE(dicombytes::LoadBytes(dir, ExplicitFile(), original, nullptr, "original.dcm"));
  original[Tag(0x0008, 0x0001)].UL() = 1234;  // never written
  original[Tag(0x0008, 0x0000)].UL() = 1;     // recomputed
  auto expected = Contents(original);
  expected.erase(Tag(0x0008, 0x0001));
  expected.erase(Tag(0x0008, 0x0000));
  expected.erase(Tag(0x0002, 0x0000));

  for (const char* syntax : {Set::ImplicitVRLittleEndian, Set::ExplicitVRLittleEndian, Set::ExplicitVRBigEndian}) {
    Set copy = original;
    copy[Tag(0x0002, 0x0010)].UI() = syntax;
    expected[Tag(0x0002, 0x0010)] = std::string("UI ") + syntax;
    bool saved = false;
    const Bytes written = dicombytes::SavedBytes(dir, copy, nullptr, &saved);
    ASSERT_TRUE(saved) << syntax;
    // The meta group is always explicit VR little endian.
    EXPECT_EQ(Bytes(written.begin() + 128, written.begin() + 140),
              Builder().Text("DICM").Tag(2, 0).Text("UL").U16(4).bytes());
    Set back;
    ASSERT_TRUE(dicombytes::LoadBytes(dir, written, back)) << syntax;
    auto contents = Contents(back);
    for (const Tag& length :
         {Tag(0x0002, 0), Tag(0x0008, 0), Tag(0x0010, 0), Tag(0x0018, 0), Tag(0x0028, 0), Tag(0x7FE0, 0)})
      EXPECT_EQ(contents.erase(length), 1u) << syntax << " " << length;
    // Private creators come back as LO from implicit VR too.
    EXPECT_EQ(contents, expected) << syntax;
    EXPECT_EQ(At(back, 0x0008, 0).UL(), 16u + 16 + 10) << syntax;  // DA and TM as read, CS
  }

  // Without meta information: a bare set in the manipulator's syntax.
  Set bare = original;
  for (auto element = bare.begin(); element != bare.end();)
    element = element->first.group == 2 ? bare.erase(element) : std::next(element);
  for (iobsManipulator syntax : {implicit_little_endian, explicit_big_endian}) {
    const Bytes written = dicombytes::SavedBytes(dir, bare, syntax);
    Set back;
    ASSERT_TRUE(dicombytes::LoadBytes(dir, written, back, syntax));
    EXPECT_EQ(PatientOf(back), PatientName);
    EXPECT_EQ(back.count(Tag(0x0008, 0x0001)), 0u);
    EXPECT_EQ(Contents(back)[Tag(0x7FE0, 0x0010)], expected[Tag(0x7FE0, 0x0010)]);
  }
}

TEST(SetWrite, ByteExactSmallFile) {
  testsupport::TempDir dir;
  Set set;
  set[Tag(0x0002, 0x0010)].UI() = Set::ImplicitVRLittleEndian;
  set[Tag(0x0010, 0x0010)].PN() = "DOE";
  set[Tag(0x0011, 0x0000)].UL() = 99;  // odd groups keep what they hold
  const Bytes expected = Builder()
                             .Preamble()
                             .Explicit(0x0002, 0x0000, "UL", Builder().U32(26))
                             .Explicit(0x0002, 0x0010, "UI", Builder::Even(Set::ImplicitVRLittleEndian, '\0'))
                             .Implicit(0x0010, 0x0000, Builder().U32(12))
                             .Implicit(0x0010, 0x0010, "DOE ")
                             .Implicit(0x0011, 0x0000, Builder().U32(99));
  EXPECT_EQ(dicombytes::SavedBytes(dir, set), expected);

  CapturedReports reports;
  set.erase(Tag(0x0002, 0x0010));
  set[Tag(0x0002, 0x0002)].UI() = "1.2";
  bool saved = true;
  dicombytes::SavedBytes(dir, set, nullptr, &saved);
  EXPECT_FALSE(saved);
  EXPECT_TRUE(reports.Error("Transfer Syntax UID not found in File Meta Information part of the set!"));
}

TEST(SetPrint, DumpLinesWithAndWithoutDictionary) {
  Set set;
  set[Tag(0x0010, 0x0010)].PN() = PatientName;
  set[Tag(0x0009, 0x1001)].US() = 3;
  set[Tag(0x0002, 0x0000)].UL() = 10;
  EXPECT_EQ(dicombytes::Dump(set),
            "File Meta Info... Group Length (0002,0000)  1    UL [10]\n"
            "                     <UNKNOWN> (0009,1001)       US [3]\n"
            "                Patient's Name (0010,0010)  1    PN [DOE^JOHN]\n");

  qzmDicomDataElementDictionary* const saved = Set::GetDictionary();
  qzmDicomDataElementDictionary empty;
  Set::SetDictionary(&empty);
  CapturedReports reports;
  const std::string dump = dicombytes::Dump(set);
  Set::SetDictionary(saved);
  EXPECT_NE(dump.find("               <NO DICTIONARY> (0010,0010)       PN [DOE^JOHN]\n"), std::string::npos) << dump;
  EXPECT_TRUE(reports.Warning("dictionary was not found or is empty !"));
}
