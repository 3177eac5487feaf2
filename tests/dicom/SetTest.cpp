// Data element sets: read in every syntax, damaged and hostile input, written back in every native syntax, dumped.
#include <gtest/gtest.h>

#include "lib/ReportCapture.h"
#include "support/DicomBytes.h"
#include "dicom/qzmDicomDataElementDictionary.h"

using namespace dicombytes;  // NOLINT
typedef qzmDicomDataElementSet Set;
typedef qzmDicomDataElementTag Tag;

namespace {

struct Syntax { const char* uid; bool big, implicit; };
const Syntax Syntaxes[] = {{Set::ImplicitVRLittleEndian, false, true}, {Set::ExplicitVRLittleEndian, false, false},
                           {Set::ExplicitVRBigEndian, true, false}};
const Syntax &Implicit = Syntaxes[0], &Explicit = Syntaxes[1];

Bytes Element(const Syntax& s, unsigned g, unsigned e, const std::string& vr, const std::string& text) {
  return El(g, e, s.implicit ? "" : vr, ToBytes(text), s.big);
}
Bytes U16(unsigned value, bool big = false) { return Builder(big).U16(value); }
Bytes Header(unsigned g, unsigned e, unsigned long length, const Syntax& s = Explicit) {
  return s.implicit ? Builder().Tag(g, e).U32(length) : Builder(s.big).Tag(g, e).Text("SQ").U16(0).U32(length);
}
const Bytes Delimiter = Builder().Tag(0xFFFE, 0xE0DD).U32(0);

// A sequence element of the items given, with defined or undefined lengths.
Bytes Sequence(const Syntax& s, unsigned g, unsigned e, const std::vector<Bytes>& items, bool defined) {
  Bytes content;
  for (const Bytes& item : items)
    content = content + Builder(s.big).Tag(0xFFFE, 0xE000).U32(defined ? item.size() : 0xFFFFFFFF).Raw(item) +
              (defined ? Bytes() : Builder(s.big).Tag(0xFFFE, 0xE00D).U32(0));
  content = content + (defined ? Bytes() : Builder(s.big).Tag(0xFFFE, 0xE0DD).U32(0));
  return Header(g, e, defined ? content.size() : 0xFFFFFFFF, s) + content;
}
Bytes Sequence(unsigned long length = 0xFFFFFFFF) { return Header(0x0008, 0x1140, length); }
Bytes Item(unsigned long length) { return Builder().Tag(0xFFFE, 0xE000).U32(length); }

// A name two items deep beside a large value, an empty item, an empty element.
Bytes NestedBody(const Syntax& s, bool defined) {
  const Bytes inner =
      Element(s, 0x0040, 0xA123, "PN", "DEPTH^TWO ") + Element(s, 0x0042, 0x0011, "OB", std::string(300, 'Z'));
  const Bytes outer =
      Element(s, 0x0008, 0x1150, "UI", std::string("1.2.3\0", 6)) + Sequence(s, 0x0040, 0xA730, {inner}, defined);
  return Element(s, 0x0008, 0x0060, "CS", "MR") + Sequence(s, 0x0008, 0x1140, {outer, Bytes()}, defined) +
         Element(s, 0x0010, 0x0010, "PN", "DOE^JOHN") + Element(s, 0x0010, 0x0030, "DA", "");
}
const char* const NestedDump =
    "(0008,0060) CS [MR]\n(0008,1140) SQ [2 items]\n>(FFFE,E000) na [#1]\n>>(0008,1150) UI [1.2.3]\n"
    ">>(0040,A730) SQ [1 item]\n>>>(FFFE,E000) na [#1]\n>>>>(0040,A123) PN [DEPTH^TWO]\n>>>>(0042,0011) OB [300 * 1 bytes\n"
    ">(FFFE,E000) na [#2]\n(0010,0010) PN [DOE^JOHN]\n(0010,0030) DA []\n";

Bytes File(const Syntax& s, const Bytes& body) { return Builder().Preamble().Meta(s.uid).Raw(body); }

// Elements of several VRs, a private one and native pixel data.
Bytes FlatFile() {
  return File(Explicit, El(0x0008, 0x0020, "DA", "19991231") + El(0x0008, 0x0030, "TM", "101530.5") +
                            El(0x0009, 0x0010, "LO", "PRIVATE ") + El(0x0010, 0x0010, "PN", "DOE^JOHN") +
                            El(0x0010, 0x1010, "AS", "045Y") + El(0x0018, 0x0050, "DS", "2.5 ") +
                            El(0x0028, 0x0010, "US", U16(8)) + El(0x7FE0, 0x0010, "OW", Bytes(64, 7)));
}

// The dump without names, VMs and offsets, as ">>(0040,A123) PN [DEPTH^TWO]"; bodyOnly drops group lengths.
std::string Compact(const Set& set, bool bodyOnly = false) {
  Set body = set;
  for (auto element = body.begin(); bodyOnly && element != body.end();)
    element = element->first.group == 2 || element->first.element == 0 ? body.erase(element) : std::next(element);
  std::istringstream lines(Dump(body));
  std::string compact;
  for (std::string line; std::getline(lines, line);) {
    const std::size_t depth = line.find_first_not_of('>'), at = depth + 31;
    compact += line.substr(0, depth) + line.substr(at, 11) + line.substr(at + 17, line.find(" at offset ") - at - 17);
    compact += "\n";
  }
  return compact;
}

}  // namespace

// Each file reads (or is refused) with the reports given, and its dump holds the lines given.
TEST(SetRead, FilesInEverySyntaxDamagedOrNot) {
  struct Case {
    std::string what;
    Bytes file;
    bool reads;
    std::string report, lines;
    iobsManipulator syntax = nullptr;
  };
  const std::string uid = Even(Set::ExplicitVRLittleEndian, '\0'), x140(140, 'x');
  std::vector<Case> cases = {
      {"explicit file", FlatFile(), true, "",  // the values' text is the value tests'
       "(0002,0010) UI [1.2.840.10008.1.2.1]\n(0009,0010) LO [PRIVATE]\n(0010,1010) AS [45 year(s)]\n"
       "(0028,0010) US [8]\n(7FE0,0010) OW [32 * 2 bytes"},
      {"bare implicit set, an unknown element, longer than a preamble",
       El(0x0010, 0x0010, "", "DOE^JOHN") + El(0x0011, 0x1010, "", "private!") + El(0x4008, 0x0300, "", x140), true,
       "", "(0010,0010) PN [DOE^JOHN]\n(0011,1010) UN [8 * 1 bytes\n"},
      {"implicit VR, the first length's second byte a capital letter",  // 0x4100: 00 41 00 00, not "VR"
       File(Implicit, El(0x0009, 0x0010, "", std::string(0x4100, 'x')) + El(0x0010, 0x0010, "", "DOE^JOHN")), true, "",
       "(0010,0010) PN [DOE^JOHN]\n"},
      {"bare set shorter than a preamble", El(0x0010, 0x0010, "", "DOE^JOHN"), true, "", "(0010,0010) PN [DOE^JOHN]\n"},
      {"bare explicit set, syntax given", El(0x0010, 0x0010, "PN", "DOE^JOHN") + El(0x4008, 0x0300, "ST", x140), true,
       "", "(0010,0010) PN [DOE^JOHN]\n", explicit_little_endian},
      {"big endian body", File(Syntaxes[2], El(0x0028, 0x0010, "US", U16(0x0102, true), true)), true, "",
       "(0028,0010) US [258]\n"},
      {"an old meta group in implicit VR is read again as implicit VR",
       Builder().Preamble() + El(2, 0, "", Builder().U32(8 + uid.size())) + El(2, 0x10, "", uid) +
           El(0x0010, 0x0010, "PN", "DOE^JOHN"),
       true, "Trying with Implicit VR Little Endian syntax...", "(0010,0010) PN [DOE^JOHN]\n"},
      {"no transfer syntax in either reading", Builder().Preamble().Meta("") + El(0x0010, 0x0010, "PN", "DOE^JOHN"),
       false, "Transfer Syntax UID not found in File Meta Information header on stream!", ""},
      {"no second reading with a syntax given", Builder().Preamble().Meta(""), false,
       "Transfer Syntax UID not found\n!Trying with", "", explicit_little_endian},
      {"private sequence of undefined length in implicit VR",
       File(Implicit, El(0x0009, 0x0010, "", "GEMS_IDEN_01") + El(0x0009, 0x1001, "", "x ") +
                          Sequence(Implicit, 0x0009, 0x1002, {El(0x0009, 0x1003, "", "in an item")}, false)),
       true, "", "(0009,1001) UN [2 * 1 bytes\n(0009,1002) SQ [1 item]\n>>(0009,1003) UN [10 * 1 bytes"},
      {"undefined length makes a sequence in implicit VR whatever the dictionary says",
       File(Implicit, Sequence(Implicit, 0x0010, 0x0010, {El(0x0008, 0x1150, "", std::string("1.2.3\0", 6))}, false) +
                          El(0x0010, 0x0020, "", "ID")),
       true, "", "(0010,0010) SQ [1 item]\n>(FFFE,E000) na [#1]\n>>(0008,1150) UI [1.2.3]\n(0010,0020) LO [ID]\n"},
      {"a defined sequence delimited early keeps its length",
       File(Explicit, Sequence(14) + Delimiter + Bytes(6, 0) + El(0x0010, 0x0010, "PN", "X")), true,
       "delimited before its end, 6 bytes skipped!", "(0008,1140) SQ [0 items]\n(0010,0010) PN [X]\n"},
  };
  for (const UWORD representation : {0, 1})
    cases.push_back({"pseudo VRs follow the pixel representation",
                     File(Implicit, El(0x0028, 0x0103, "", U16(representation)) + El(0x0028, 0x0106, "", U16(0xFFFB)) +
                                        El(0x7FE0, 0x0010, "", U16(1))), true, "",
                     representation ? "(0028,0106) SS [-5]\n" : "(0028,0106) US [65531]\n(7FE0,0010) OW [1 * 2"});
  for (const Syntax& s : Syntaxes)
    for (const bool defined : {true, false})
      cases.push_back({std::string(s.uid) + (defined ? " defined" : " undefined"), File(s, NestedBody(s, defined)),
                       true, "", NestedDump});
  cases.push_back({"explicit VR declared, implicit VR found", File(Explicit, NestedBody(Implicit, false)), true,
                   "declared 1.2.840.10008.1.2.1 (explicit VR) is encoded in implicit VR", NestedDump});
  cases.push_back({"implicit VR declared, explicit VR found", File(Implicit, NestedBody(Explicit, false)), true,
                   "declared 1.2.840.10008.1.2 (implicit VR) is encoded in explicit VR", NestedDump});
  const Bytes item = El(0x0008, 0x1150, "UI", "1.2.3 ");
  const auto hostile = [&](const std::string& what, const Bytes& body, const std::string& error) {
    cases.push_back({what, File(Explicit, El(0x0008, 0x0060, "CS", "MR") + body), false,
                     error + "\nwhile getting value of element (0008,1140)! (0x", "(0008,0060) CS [MR]\n"});
  };
  hostile("item longer than its sequence", Sequence(22) + Item(100) + item,
          "runs past the end of its item or sequence");
  hostile("item longer than its sequence, more follows",
          Sequence(20) + Item(100) + item + El(0x0010, 0x0010, "PN", std::string(100, 'x')),
          "runs past the end of its item or sequence");
  hostile("element longer than its item", Sequence(22) + Item(6) + item, "runs past the end of its item");
  hostile("item delimitation missing", Sequence() + Item(0xFFFFFFFF) + item, "item delimitation missing");
  hostile("sequence delimitation missing", Sequence() + Item(14) + item, "runs past the end of the stream");
  hostile("not an item", Sequence(8) + Builder().Tag(0x0008, 0x0060).U32(0).bytes(),
          "item tag expected in sequence, found (0008,0060)!");
  const auto nested = [](int depth, bool closed) {
    Bytes b;
    for (int n = 0; n < depth; ++n)
      b = Sequence() + Item(0xFFFFFFFF) + b + (closed ? Builder().Tag(0xFFFE, 0xE00D).U32(0) + Delimiter : Bytes());
    return b;
  };
  hostile("undefined lengths to the end of the file", nested(10, false), "delimitation missing");
  hostile("depth 65", nested(65, true), "sequences nested deeper than 64 levels!");
  cases.push_back({"depth 64", File(Explicit, nested(64, true)), true, "", "(0008,1140) SQ [1 item]\n"});
  testsupport::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ReportCapture reports;
    Set set;
    EXPECT_EQ(LoadBytes(dir, c.file, set, c.syntax), c.reads) << reports.Errors();
    const std::string all = reports.Errors() + reports.Warnings(), dump = Compact(set);
    std::istringstream reported(c.report), lines(c.lines);
    for (std::string line; std::getline(reported, line);)  // "!" marks a report that must not be made
      EXPECT_EQ(all.find(line.substr(line[0] == '!')) == std::string::npos, line[0] == '!') << line << "\n" << all;
    EXPECT_TRUE(!c.report.empty() || all.empty()) << all;
    for (std::string line; std::getline(lines, line);)
      EXPECT_NE(dump.find(line), std::string::npos) << line << "\n" << dump;
    EXPECT_TRUE(c.reads || !set.count(Tag(0x0008, 0x1140)));
  }
}

// A cut file keeps the elements before the cut as read whole, and never reads as whole.
TEST(SetRead, TruncatedFilesKeepWhatWasRead) {
  ReportCapture reports;
  testsupport::TempDir dir;
  const auto text = [](const qzmDicomDataElementValue& value) {
    std::ostringstream out;
    value.Print(out << value.Token() << ' ');
    return out.str();
  };
  for (const Bytes& full : {FlatFile(), File(Explicit, NestedBody(Explicit, true))}) {
    Set whole;
    ASSERT_TRUE(LoadBytes(dir, full, whole));
    std::size_t kept = 0;
    for (std::size_t length = 132; length < full.size(); ++length) {
      Set set;
      EXPECT_FALSE(LoadBytes(dir, Bytes(full.begin(), full.begin() + length), set) && set.size() == whole.size())
          << length;
      EXPECT_GE(set.size(), kept) << length;
      kept = set.size();
      for (const auto& element : set)  // a sequence or pixel data cut short keeps what it read
        EXPECT_TRUE(element.first == Tag(0x0008, 0x1140) || element.first == Tag(0x7FE0, 0x0010) ||
                    text(element.second) == text(whole.find(element.first)->second)) << length;
    }
    EXPECT_EQ(kept, whole.size() - 1);
  }
}

// A filtered reading skips a damaged sequence of defined length unread.
TEST(SetRead, FilteredReadingAndOnlyRegularFiles) {
  ReportCapture reports;
  testsupport::TempDir dir;
  testsupport::WriteBytes(dir.file("in.dcm"),
                          File(Explicit, Sequence(8) + Builder().Tag(0x0008, 0x0060).U32(0).bytes() +
                                             El(0x0010, 0x0010, "PN", "DOE^JOHN") + El(0x0028, 0x0010, "US", U16(2))));
  const qzmDicomDataElementTagSet wanted = {Tag(0x0010, 0x0010), Tag(0x0028, 0x0011)};
  Set filtered, whole;
  ASSERT_TRUE(filtered.Load(dir.file("in.dcm"), &wanted)) << reports.Errors();
  EXPECT_EQ(Compact(filtered, true), "(0010,0010) PN [DOE^JOHN]\n");
  EXPECT_TRUE(reports.None()) << reports.Errors();
  EXPECT_FALSE(whole.Load(dir.file("in.dcm")));
  for (const std::string& name : {std::string("/dev/zero"), dir.path()}) {
    EXPECT_FALSE(whole.Load(qzcFileName(name)));
    EXPECT_TRUE(reports.Error(name + " is not a regular file!"));
  }
}

// Regression: 40,000 unknown VRs reached the warning limit, which ends the run; the set is given up first.
TEST(SetRead, ADamagedSetIsGivenUpBeforeItsWarningsEndTheRun) {
  ReportCapture reports;
  testsupport::TempDir dir;
  Builder file = Builder().Preamble().Meta(Set::ExplicitVRLittleEndian);
  for (int n = 0; n < 40000; ++n)
    file.Tag(0x0009, 0x1000).Text("ZZ").U16(0);
  Set set;
  EXPECT_FALSE(LoadBytes(dir, file, set));
  EXPECT_TRUE(reports.Error("given up as damaged"));
  EXPECT_LT(qzcException::warningChannel.count, 1100);
}

// Sets read back the same (and dcmdump reads them silently); group lengths recomputed, Length to End dropped,
// encapsulated pixel data unchanged.
TEST(SetWrite, EverySyntaxToEverySyntaxReadsBackTheSame) {
  ReportCapture reports;
  testsupport::TempDir dir;
  const Bytes fragments = Item(0) + Item(2) + ToBytes("F1") + Delimiter;
  Set flat, encapsulated;
  ASSERT_TRUE(LoadBytes(dir, FlatFile(), flat, nullptr, "flat.dcm"));
  flat[Tag(0x0008, 0x0001)].UL() = 1234;
  flat[Tag(0x0008, 0x0000)].UL() = 1;
  const Syntax jpeg = {"1.2.840.10008.1.2.4.50", false, false};
  ASSERT_TRUE(LoadBytes(dir, File(jpeg, Builder().Tag(0x7FE0, 0x0010).Text("OB").U16(0).U32(0xFFFFFFFF) + fragments +
                                            El(0xFFFC, 0xFFFC, "OB", Bytes{1, 2})), encapsulated, nullptr, "jpeg.dcm"));
  std::string written;
  for (const Syntax& to : Syntaxes) {
    for (const Syntax& from : Syntaxes) {
      const std::string what = std::string(from.uid) + " to " + to.uid, name = std::to_string(written.size()) + ".dcm";
      Set set, back;
      ASSERT_TRUE(LoadBytes(dir, File(from, NestedBody(from, false)), set)) << what;
      set[Tag(0x0002, 0x0010)].UI() = to.uid;
      const Bytes bytes = SavedBytes(dir, set, nullptr, nullptr, name);
      const Bytes header = Builder().Text("DICM").Tag(2, 0).Text("UL").U16(4);
      EXPECT_EQ(Bytes(bytes.begin() + 128, bytes.begin() + 140), header) << what;
      ASSERT_TRUE(back.Load(dir.file(name))) << what;
      EXPECT_EQ(Compact(back, true), NestedDump) << what;
      written += " " + dir.file(name);
    }
    Set copy = flat, back;
    copy[Tag(0x0002, 0x0010)].UI() = to.uid;
    ASSERT_TRUE(LoadBytes(dir, SavedBytes(dir, copy), back));
    EXPECT_EQ(back.count(Tag(0x0008, 0x0001)), 0u);
    EXPECT_EQ(back[Tag(0x0008, 0x0000)].UL(), 16u + 16) << to.uid;  // DA and TM as read
    EXPECT_EQ(back[Tag(0x7FE0, 0x0000)].UL(), to.implicit ? 72u : 76u) << to.uid;
    copy.erase(Tag(0x0008, 0x0001));
    EXPECT_EQ(Compact(back, true), Compact(copy, true)) << to.uid;
  }
  const Bytes again = SavedBytes(dir, encapsulated);
  EXPECT_NE(std::search(again.begin(), again.end(), fragments.begin(), fragments.end()), again.end());
  EXPECT_NE(Compact(encapsulated).find("(FFFC,FFFC) OB"), std::string::npos);
  if (testsupport::HaveProgram("dcmdump")) {
    const auto run = testsupport::Run("dcmdump -M" + written);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
  }
  Set bare = flat;
  bare.erase(Tag(0x0008, 0x0001));
  bare.erase(bare.lower_bound(Tag(0x0002, 0)), bare.upper_bound(Tag(0x0002, 0xFFFF)));
  for (iobsManipulator syntax : {implicit_little_endian, explicit_big_endian}) {
    Set back;
    ASSERT_TRUE(LoadBytes(dir, SavedBytes(dir, bare, syntax), back, syntax));
    EXPECT_EQ(Compact(back, true), Compact(bare, true));
  }
  EXPECT_TRUE(reports.None()) << reports.Errors() << reports.Warnings();
}

TEST(SetWrite, ByteExactSmallFileAndNoFileWithoutSyntax) {
  testsupport::TempDir dir;
  Set set;
  set[Tag(0x0002, 0x0010)].UI() = Set::ImplicitVRLittleEndian;
  set[Tag(0x0010, 0x0010)].PN() = "DOE";
  set[Tag(0x0011, 0x0000)].UL() = 99;  // odd groups keep what they hold
  EXPECT_EQ(SavedBytes(dir, set), Builder().Preamble() + El(2, 0, "UL", Builder().U32(26)) +
                                     El(2, 0x10, "UI", std::string("1.2.840.10008.1.2\0", 18)) +
                                     El(0x0010, 0, "", Builder().U32(12)) + El(0x0010, 0x0010, "", "DOE ") +
                                     El(0x0011, 0, "", Builder().U32(99)));
  ReportCapture reports;
  set.erase(Tag(0x0002, 0x0010));
  set[Tag(0x0002, 0x0002)].UI() = "1.2";
  bool saved = true;
  SavedBytes(dir, set, nullptr, &saved);
  EXPECT_FALSE(saved);
  EXPECT_TRUE(reports.Error("Transfer Syntax UID not found in File Meta Information part of the set!"));
}

TEST(SetPrint, DumpLinesWithAndWithoutDictionary) {
  testsupport::TempDir dir;
  Set set;
  ASSERT_TRUE(LoadBytes(dir, File(Explicit, NestedBody(Explicit, false)), set));
  set[Tag(0x0009, 0x1001)].US() = 3;
  const std::string dump = Dump(set);
  const auto line = [](int depth, const std::string& name, const std::string& rest) {
    return std::string(std::size_t(depth), '>') + std::string(30 - name.size(), ' ') + name + rest;
  };
  for (const std::string& line : {line(0, "File Meta Info... Group Length", " (0002,0000)  1    UL [76]\n"),
                                  line(0, "<UNKNOWN>", " (0009,1001)       US [3]\n"),
                                  line(1, "Item", " (FFFE,E000)       na [#1]\n"),
                                  line(4, "Person Name", " (0040,A123)  1    PN [DEPTH^TWO]\n")})
    EXPECT_NE(dump.find(line), std::string::npos) << line << dump;
  qzmDicomDataElementDictionary *const saved = Set::GetDictionary(), empty;
  Set::SetDictionary(&empty);
  ReportCapture reports;
  const std::string bare = Dump(set);
  Set::SetDictionary(saved);
  EXPECT_NE(bare.find("               <NO DICTIONARY> (0010,0010)       PN [DOE^JOHN]\n"), std::string::npos) << bare;
  EXPECT_TRUE(reports.Warning("dictionary was not found or is empty !"));
}

TEST(SetRead, ProgramGivesNoOutputForAHostileFile) {
  if (std::string(MEDCONV_BINARY).empty())
    GTEST_SKIP() << "medconv not built";
  testsupport::TempDir dir;
  testsupport::WriteBytes(dir.file("hostile.dcm"),
                          File(Explicit, El(0x0008, 0x0060, "CS", "MR") + Sequence() + Item(0xFFFFFFFF) +
                                             El(0x0028, 0x0010, "US", U16(2))));
  for (const char* option : {"-d=el", "-r", "-p", "-t1"}) {
    const auto run = testsupport::Run(std::string(MEDCONV_BINARY) + " " + option + " --to=" + dir.path() + " " +
                                      dir.file("hostile.dcm"));
    EXPECT_NE(run.err.find("item delimitation missing"), std::string::npos) << option << run.err;
    EXPECT_EQ(testsupport::Run("ls " + dir.path()).out, "hostile.dcm\n") << option;
  }
}
