// Sequences: items with nested sets read in every syntax with defined and
// undefined lengths, written back in every syntax, bounded against hostile
// nesting; empty elements; sets whose encoding is not the declared one.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "CapturedReports.h"
#include "DicomBytes.h"

using dicombytes::Builder;
using dicombytes::Bytes;
typedef qzmDicomDataElementSet Set;
typedef qzmDicomDataElementTag Tag;
typedef qzmDicomDataElementDescription D;

namespace {

struct Syntax {
  const char* uid;
  bool big, implicit;
};
const Syntax Syntaxes[] = {{Set::ImplicitVRLittleEndian, false, true},
                           {Set::ExplicitVRLittleEndian, false, false},
                           {Set::ExplicitVRBigEndian, true, false}};

Builder& Element(Builder& b, const Syntax& s, unsigned g, unsigned e, const std::string& vr, const Bytes& value) {
  return s.implicit ? b.Implicit(g, e, value) : b.Explicit(g, e, vr, value);
}

Builder& Element(Builder& b, const Syntax& s, unsigned g, unsigned e, const std::string& vr, const std::string& text) {
  return Element(b, s, g, e, vr, dicombytes::ToBytes(text));
}

// A sequence element of the items given, with defined or undefined lengths.
Builder& Sequence(Builder& b, const Syntax& s, unsigned g, unsigned e, const std::vector<Bytes>& items, bool defined) {
  Builder content(s.big);
  for (const Bytes& item : items) {
    content.Tag(0xFFFE, 0xE000).U32(defined ? item.size() : 0xFFFFFFFF).Raw(item);
    if (!defined)
      content.Tag(0xFFFE, 0xE00D).U32(0);
  }
  if (!defined)
    content.Tag(0xFFFE, 0xE0DD).U32(0);
  b.Tag(g, e);
  if (!s.implicit)
    b.Text("SQ").U16(0);
  return b.U32(defined ? content.bytes().size() : 0xFFFFFFFF).Raw(content);
}

const Bytes LargeNestedValue(300, 0x5A);

// A name two items deep beside a large value, an empty item, an empty
// element.
Bytes NestedBody(const Syntax& s, bool defined) {
  Builder inner(s.big), outer(s.big), body(s.big);
  Element(inner, s, 0x0040, 0xA123, "PN", "DEPTH^TWO ");
  Element(inner, s, 0x0042, 0x0011, "OB", LargeNestedValue);
  Element(outer, s, 0x0008, 0x1150, "UI", std::string("1.2.3\0", 6));
  Sequence(outer, s, 0x0040, 0xA730, {inner}, defined);
  Element(body, s, 0x0008, 0x0060, "CS", "MR");
  Sequence(body, s, 0x0008, 0x1140, {outer, Bytes()}, defined);
  Element(body, s, 0x0010, 0x0010, "PN", "DOE^JOHN");
  Element(body, s, 0x0010, 0x0030, "DA", "");
  return body;
}

Bytes NestedFile(const Syntax& s, bool defined) {
  return Builder().Preamble().Meta(s.uid).Raw(NestedBody(s, defined));
}

const Set& ItemOf(const Set& set, unsigned g, unsigned e, std::size_t n = 0) {
  return *set.find(g, e)->second.SQ().at(n);
}

// The dump without the meta group (it names the syntax), group lengths and
// where large values are in their file.
std::string BodyDump(const Set& set) {
  Set body = set;
  for (auto element = body.begin(); element != body.end();) {
    const bool dropped = element->first.group == 2 || element->first.element == 0;
    element = dropped ? body.erase(element) : std::next(element);
  }
  std::istringstream lines(dicombytes::Dump(body));
  std::string dump, line;
  while (std::getline(lines, line))
    dump += line.substr(0, line.find(" at offset ")) + "\n";
  return dump;
}

void ExpectNestedContent(const Set& set, const std::string& what) {
  ASSERT_EQ(set.find(0x0008, 0x1140)->second.SQ().size(), 2u) << what;
  const Set& outer = ItemOf(set, 0x0008, 0x1140);
  EXPECT_EQ(outer.find(0x0008, 0x1150)->second.UI(), "1.2.3") << what;
  EXPECT_TRUE(ItemOf(set, 0x0008, 0x1140, 1).empty()) << what;
  const Set& inner = ItemOf(outer, 0x0040, 0xA730);
  EXPECT_EQ(inner.find(0x0040, 0xA123)->second.PN(), "DEPTH^TWO") << what;
  // A large nested value stays in the file like a top-level one.
  const qzcDataLocation<UBYTE>& large = inner.find(0x0042, 0x0011)->second.OB();
  EXPECT_EQ(large.GetMode(), qzcDataLocation<UBYTE>::file) << what;
  qzcDataLocation<UBYTE> loaded(large);
  ASSERT_NE(loaded.GetMemoryLocation(), nullptr) << what;
  EXPECT_EQ(Bytes(loaded.GetMemoryLocation(), loaded.GetMemoryLocation() + loaded.GetSize()), LargeNestedValue) << what;
  const qzmDicomDataElementValue& empty = set.find(0x0010, 0x0030)->second;
  EXPECT_EQ(empty.GetVR(), D::DA) << what;
  EXPECT_TRUE(empty.IsEmpty()) << what;
  EXPECT_EQ(set.find(0x0010, 0x0010)->second.PN(), "DOE^JOHN") << what;
}

}  // namespace

TEST(Sequences, NestedItemsReadInEverySyntaxWithDefinedAndUndefinedLengths) {
  CapturedReports reports;
  testsupport::TempDir dir;
  for (const Syntax& s : Syntaxes)
    for (const bool defined : {true, false}) {
      const std::string what = std::string(s.uid) + (defined ? " defined" : " undefined");
      Set set;
      ASSERT_TRUE(dicombytes::LoadBytes(dir, NestedFile(s, defined), set)) << what << reports.Errors();
      ExpectNestedContent(set, what);
    }
  EXPECT_TRUE(reports.None()) << reports.Errors() << reports.Warnings();
}

TEST(Sequences, NestedSetsAreWrittenInEverySyntaxAndReadBackUnchanged) {
  CapturedReports reports;
  testsupport::TempDir dir;
  Set source;
  ASSERT_TRUE(dicombytes::LoadBytes(dir, NestedFile(Syntaxes[1], true), source, nullptr, "source.dcm"));
  for (const Syntax& from : Syntaxes)
    for (const Syntax& to : Syntaxes) {
      const std::string what = std::string(from.uid) + " to " + to.uid;
      Set set;
      ASSERT_TRUE(dicombytes::LoadBytes(dir, NestedFile(from, false), set, nullptr, "from.dcm")) << what;
      set[Tag(0x0002, 0x0010)].UI() = to.uid;
      bool saved = false;
      const Bytes written = dicombytes::SavedBytes(dir, set, nullptr, &saved);
      ASSERT_TRUE(saved) << what << reports.Errors();
      Set back;
      ASSERT_TRUE(dicombytes::LoadBytes(dir, written, back, nullptr, "back.dcm")) << what << reports.Errors();
      ExpectNestedContent(back, what);
      EXPECT_EQ(BodyDump(back), BodyDump(source)) << what;
      if (testsupport::HaveProgram("dcmdump")) {
        const auto run = testsupport::Run("dcmdump -M " + dir.file("back.dcm"));
        EXPECT_EQ(run.status, 0) << what << run.err;
        EXPECT_EQ(run.err, "") << what;
      }
    }
  EXPECT_TRUE(reports.None()) << reports.Errors() << reports.Warnings();
}

TEST(Sequences, DumpIndentsItemsAndTheirElements) {
  CapturedReports reports;
  testsupport::TempDir dir;
  Set set;
  ASSERT_TRUE(dicombytes::LoadBytes(dir, NestedFile(Syntaxes[1], false), set));
  const std::string dump = dicombytes::Dump(set);
  // Nesting marks, the name right-justified in 30 columns, the rest.
  const auto line = [](int depth, const std::string& name, const std::string& rest) {
    return std::string(std::size_t(depth), '>') + std::string(30 - name.size(), ' ') + name + rest + "\n";
  };
  for (const std::string& line :
       {line(0, "Referenced Image Sequence", " (0008,1140)  1    SQ [2 items]"),
        line(1, "Item", " (FFFE,E000)       na [#1]"),
        line(2, "Referenced SOP Class UID", " (0008,1150)  1    UI [1.2.3]"),
        line(2, "Content Sequence", " (0040,A730)  1    SQ [1 item]"), line(3, "Item", " (FFFE,E000)       na [#1]"),
        line(4, "Person Name", " (0040,A123)  1    PN [DEPTH^TWO]"), line(1, "Item", " (FFFE,E000)       na [#2]"),
        line(0, "Patient's Birth Date", " (0010,0030)  1    DA []")})
    EXPECT_NE(dump.find(line), std::string::npos) << line << dump;
}

// Each file is refused with an error naming the sequence and its offset; the
// elements before it are kept and nothing runs away.
TEST(Sequences, HostileNestingIsAnErrorNeverACrash) {
  const Syntax& s = Syntaxes[1];
  const auto file = [](const Bytes& body) {
    return Builder().Preamble().Meta(Set::ExplicitVRLittleEndian).Explicit(0x0008, 0x0060, "CS", "MR").Raw(body);
  };
  const auto sequence = [&s](const Bytes& content, unsigned long length) {
    return Builder().Tag(0x0008, 0x1140).Text("SQ").U16(0).U32(length).Raw(content).bytes();
  };
  Builder item;
  Element(item, s, 0x0008, 0x1150, "UI", "1.2.3 ");
  const Bytes itemBytes = item.bytes();
  const Bytes longItem = Builder().Tag(0xFFFE, 0xE000).U32(100).Raw(itemBytes).bytes();
  const Bytes shortItem = Builder().Tag(0xFFFE, 0xE000).U32(6).Raw(itemBytes).bytes();
  const Bytes undelimitedItem = Builder().Tag(0xFFFE, 0xE000).U32(0xFFFFFFFF).Raw(itemBytes).bytes();
  const Bytes definedItem = Builder().Tag(0xFFFE, 0xE000).U32(itemBytes.size()).Raw(itemBytes).bytes();
  Builder cycle;
  for (int depth = 0; depth < 10; ++depth)
    cycle.Tag(0x0008, 0x1140).Text("SQ").U16(0).U32(0xFFFFFFFF).Tag(0xFFFE, 0xE000).U32(0xFFFFFFFF);
  const auto nested = [](int depth) {
    Builder b;
    for (int n = 0; n < depth; ++n)
      b.Tag(0x0008, 0x1140).Text("SQ").U16(0).U32(0xFFFFFFFF).Tag(0xFFFE, 0xE000).U32(0xFFFFFFFF);
    for (int n = 0; n < depth; ++n)
      b.Tag(0xFFFE, 0xE00D).U32(0).Tag(0xFFFE, 0xE0DD).U32(0);
    return b.bytes();
  };
  const struct {
    const char* what;
    Bytes body;
    const char* error;
  } cases[] = {
      {"item longer than its sequence", sequence(longItem, longItem.size()),
       "runs past the end of its item or sequence"},
      {"item longer than its sequence, more follows",
       Builder().Raw(sequence(longItem, 20)).Explicit(0x0010, 0x0010, "PN", std::string(100, 'x')).bytes(),
       "runs past the end of its item or sequence"},
      {"element longer than its item", sequence(shortItem, shortItem.size()), "runs past the end of its item"},
      {"item delimitation missing", sequence(undelimitedItem, 0xFFFFFFFF), "item delimitation missing"},
      {"sequence delimitation missing", sequence(definedItem, 0xFFFFFFFF), "runs past the end of the stream"},
      {"not an item", sequence(Builder().Tag(0x0008, 0x0060).U32(0).bytes(), 8),
       "item tag expected in sequence, found (0008,0060)!"},
      {"undefined lengths to the end of the file", cycle.bytes(), "delimitation missing"},
      {"depth 65", nested(65), "sequences nested deeper than 64 levels!"},
  };
  testsupport::TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CapturedReports reports;
    Set set;
    EXPECT_FALSE(dicombytes::LoadBytes(dir, file(c.body), set));
    EXPECT_TRUE(reports.Error(c.error));
    EXPECT_TRUE(reports.Error("while getting value of element (0008,1140)! (0x"));
    EXPECT_EQ(set.find(0x0008, 0x0060)->second.CS(), "MR");
    EXPECT_EQ(set.count(Tag(0x0008, 0x1140)), 0u);
  }
  CapturedReports reports;
  Set deepest;
  EXPECT_TRUE(dicombytes::LoadBytes(dir, file(nested(64)), deepest)) << reports.Errors();
}

// The program writes nothing for such a file.
TEST(Sequences, HostileFilesGiveNoOutput) {
  if (std::string(MEDCONV_BINARY).empty())
    GTEST_SKIP() << "medconv not built";
  testsupport::TempDir dir;
  const Bytes body = Builder()
                         .Explicit(0x0008, 0x0060, "CS", "MR")
                         .Tag(0x0008, 0x1140)
                         .Text("SQ")
                         .U16(0)
                         .U32(0xFFFFFFFF)
                         .Tag(0xFFFE, 0xE000)
                         .U32(0xFFFFFFFF)
                         .Explicit(0x0028, 0x0010, "US", Builder().U16(2).bytes())
                         .bytes();
  testsupport::WriteBytes(dir.file("hostile.dcm"), Builder().Preamble().Meta(Set::ExplicitVRLittleEndian).Raw(body));
  for (const char* option : {"-d=el", "-d=il", "-r", "-p", "-t1"}) {
    const auto run = testsupport::Run(std::string(MEDCONV_BINARY) + " " + option + " --to=" + dir.path() + " " +
                                      dir.file("hostile.dcm"));
    EXPECT_NE(run.err.find("item delimitation missing"), std::string::npos) << option << run.err;
    EXPECT_EQ(testsupport::Run("ls " + dir.path()).out, "hostile.dcm\n") << option;
  }
}

TEST(Sequences, FilteredReadSkipsASequenceOfDefinedLengthUnread) {
  CapturedReports reports;
  testsupport::TempDir dir;
  // Damaged inside: read whole it fails, skipped it is never looked at.
  const Bytes damaged = Builder().Tag(0x0008, 0x0060).U32(0).bytes();
  const Bytes file = Builder()
                         .Preamble()
                         .Meta(Set::ExplicitVRLittleEndian)
                         .Tag(0x0008, 0x1140)
                         .Text("SQ")
                         .U16(0)
                         .U32(damaged.size())
                         .Raw(damaged)
                         .Explicit(0x0010, 0x0010, "PN", "DOE^JOHN")
                         .bytes();
  const qzmDicomDataElementTagSet wanted = {Tag(0x0010, 0x0010)};
  testsupport::WriteBytes(dir.file("in.dcm"), file);
  Set filtered;
  ASSERT_TRUE(filtered.Load(dir.file("in.dcm"), &wanted)) << reports.Errors();
  EXPECT_EQ(filtered.find(0x0010, 0x0010)->second.PN(), "DOE^JOHN");
  EXPECT_TRUE(reports.None()) << reports.Errors();
  Set whole;
  EXPECT_FALSE(whole.Load(dir.file("in.dcm")));
}

TEST(Sequences, BodiesEncodedOtherwiseThanDeclaredAreReadAsFound) {
  testsupport::TempDir dir;
  const struct {
    const Syntax& declared;
    const Syntax& written;
    const char* warning;
  } cases[] = {
      {Syntaxes[1], Syntaxes[0], "declared 1.2.840.10008.1.2.1 (explicit VR) is encoded in implicit VR"},
      {Syntaxes[0], Syntaxes[1], "declared 1.2.840.10008.1.2 (implicit VR) is encoded in explicit VR"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.warning);
    CapturedReports reports;
    Set set;
    ASSERT_TRUE(
        dicombytes::LoadBytes(dir, Builder().Preamble().Meta(c.declared.uid).Raw(NestedBody(c.written, false)), set))
        << reports.Errors();
    ExpectNestedContent(set, c.warning);
    EXPECT_TRUE(reports.Warning(c.warning));
  }
  const std::string mislabelled = "/usr/lib/python3/dist-packages/pydicom/data/test_files/SC_rgb_jpeg.dcm";
  if (testsupport::FileExists(mislabelled)) {
    CapturedReports reports;
    Set set;
    ASSERT_TRUE(set.Load(mislabelled)) << reports.Errors();
    EXPECT_TRUE(reports.Warning("declared 1.2.840.10008.1.2.4.50 (explicit VR) is encoded in implicit VR"));
    EXPECT_EQ(set.find(0x0028, 0x0010)->second.US(), 256);
  }
}

// Under implicit VR, an element of undefined length is a sequence whatever
// VR the dictionary gives it: never a text read to the end of the file.
TEST(Sequences, UndefinedLengthMakesASequenceUnderImplicitVR) {
  CapturedReports reports;
  testsupport::TempDir dir;
  const Syntax& implicit = Syntaxes[0];
  Builder item;
  Element(item, implicit, 0x0008, 0x1150, "UI", std::string("1.2.3\0", 6));
  Builder body;
  Element(body, implicit, 0x0008, 0x0060, "CS", "MR");
  body.Tag(0x0010, 0x0010).U32(0xFFFFFFFF).Tag(0xFFFE, 0xE000).U32(0xFFFFFFFF).Raw(item);
  body.Tag(0xFFFE, 0xE00D).U32(0).Tag(0xFFFE, 0xE0DD).U32(0);
  Element(body, implicit, 0x0010, 0x0020, "LO", "ID");
  Set set;
  ASSERT_TRUE(dicombytes::LoadBytes(dir, Builder().Preamble().Meta(implicit.uid).Raw(body), set)) << reports.Errors();
  EXPECT_EQ(set.find(0x0010, 0x0010)->second.GetVR(), D::SQ);
  EXPECT_EQ(ItemOf(set, 0x0010, 0x0010).find(0x0008, 0x1150)->second.UI(), "1.2.3");
  EXPECT_EQ(set.find(0x0010, 0x0020)->second.LO(), "ID");
}

// A sequence of defined length that a delimitation ends early keeps its
// length: the elements after it are read in step.
TEST(Sequences, EarlyDelimitationOfADefinedSequenceKeepsItsLength) {
  CapturedReports reports;
  testsupport::TempDir dir;
  const Bytes content = Builder().Tag(0xFFFE, 0xE0DD).U32(0).Raw(Bytes(6, 0)).bytes();
  const Bytes body = Builder()
                         .Tag(0x0008, 0x1140)
                         .Text("SQ")
                         .U16(0)
                         .U32(content.size())
                         .Raw(content)
                         .Explicit(0x0010, 0x0010, "PN", "DOE^JOHN")
                         .bytes();
  Set set;
  ASSERT_TRUE(dicombytes::LoadBytes(dir, Builder().Preamble().Meta(Set::ExplicitVRLittleEndian).Raw(body), set))
      << reports.Errors();
  EXPECT_TRUE(set.find(0x0008, 0x1140)->second.SQ().empty());
  EXPECT_EQ(set.find(0x0010, 0x0010)->second.PN(), "DOE^JOHN");
  EXPECT_TRUE(reports.Warning("sequence of defined length delimited before its end, 6 bytes skipped!"));
}
