// The data dictionary: tokens, text and binary files, the repository, the automatic search, the shipped data.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <iomanip>

#include "lib/ReportCapture.h"
#include "dicom/qzmDicomDataElementDictionary.h"
#include "lib/qzcFileNameList.h"
#include "support/TestSupport.h"

namespace {

typedef qzmDicomDataElementDescription Description;
typedef qzmDicomDataElementDictionary Dictionary;
typedef qzmDicomDataElementTag Tag;
typedef std::vector<unsigned char> Bytes;

template <typename T>
std::string Text(const T& value) {
  std::ostringstream out;
  out << value;
  return out.str();
}
std::string Printed(const qzcObject& object) {
  std::ostringstream out;
  object.Print(out);
  return out.str();
}
Dictionary Parsed(const std::string& text, bool expectSuccess = true) {
  Dictionary dictionary;
  std::istringstream in(text);
  EXPECT_EQ(expectSuccess, !dictionary.Parse(in).fail());
  return dictionary;
}
qzcFileNameList ListOf(std::initializer_list<std::string> names) {
  qzcFileNameList list;
  list.assign(names.begin(), names.end());
  return list;
}
// The number of entries a dictionary file loads, or -1 when it does not load.
int LoadedSize(const std::string& path) {
  Dictionary dictionary;
  return dictionary.Load(qzcFileName(path)) ? int(dictionary.size()) : -1;
}
void Touch(const std::string& path, int offset) {
  struct timespec times[2];
  clock_gettime(CLOCK_REALTIME, &times[0]);
  times[0].tv_sec += offset, times[1] = times[0];
  ASSERT_EQ(0, utimensat(AT_FDCWD, path.c_str(), times, 0));
}

const char* const SmallDictionary =
    "# a comment line\n(0010,0010) PN 1 Patient's Name\n  (0028,0010) ! US 1 Rows  \r\n"
    "(0028,0106) xs 1 Smallest Image Pixel Value\n(0018,1620) IS 2-2n Vertices of the Polygonal Shutter\n";

// Each token reads as printed, or fails the stream with its report (third column) and leaves the object as it was.
TEST(Tokens, TagsVRsAndVMsReadPrintedOrRefused) {
  const struct { char kind; std::string token, printed; } cases[] = {
      {'t', "  (7fe0,0010)", "(7FE0,0010)"}, {'t', "(10008,0016),", "(0008,0016)"},
      {'t', "0008,0016)", "open parenthesis not found in token 0008,0016)!"},
      {'t', "(00080016)", "comma not found in token (00080016)!"},
      {'t', "(0008,0016", "closing parenthesis not found in token (0008,0016!"},
      {'t', "(0008,)", "is not respected in token (0008,)!"}, {'t', "(,0016)", "is not respected in token (,0016)!"},
      {'t', "(0008-0010,0016)", "range group1-group2 or elem1-elem2 not implemented (0008-0010,0016)!"},
      {'t', "(00x8,0016)", "jokers not implemented in group or element numbers (00x8,0016)!"},
      {'t', "x(0008,0016)", "jokers not implemented in group or element numbers x(0008,0016)!"},
      {'t', "   \n", "failed while reading token!"}, {'r', "OBX", "token (OBX) length 3 != 2!"},
      {'r', "QQ", "unknown VR token QQ!"}, {'m', "1-n", "1-n "}, {'m', "2n", "2n  "}, {'m', "n", "n   "},
      {'m', "2-2n", "2-2n"}, {'m', "16", "16  "}, {'m', "n-2", "n   "},
      {'m', "0", "(no digit or 0) in token 0!"}, {'m', "-3", "(no digit or 0) in token -3!"},
      {'m', "1-", "(x-?: missing second member)in token 1-!"}, {'m', "2a", "(invalid character) in token 2a!"},
      {'m', "2n-3", "('n' before '-')in token 2n-3!"}, {'m', "99999", "(number too large) in token 99999!"},
      {'m', "3-2", "unable to build VM from token 3-2!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.token);
    ReportCapture reports;
    std::istringstream in(c.token);
    Tag tag(0x1234, 0x5678);
    Description::VR vr = Description::PN;
    Description::VM vm(1, 3, 1);
    const bool read = c.kind == 't' ? bool(in >> tag) : c.kind == 'r' ? bool(in >> vr) : bool(in >> vm);
    const std::string text = c.kind == 't' ? Text(tag) : c.kind == 'r' ? Text(vr) : Text(vm);
    EXPECT_EQ(read, reports.None()) << reports.Errors();
    EXPECT_TRUE(read ? ::testing::AssertionResult(text == c.printed) << text : reports.Error(c.printed));
    if (!read) {
      EXPECT_EQ(text, c.kind == 't' ? "(1234,5678)" : c.kind == 'r' ? "PN" : "1-3 ");
    }
  }
  std::ostringstream out;
  out << std::setfill('*') << Tag(1, 2) << ' ' << std::setw(3) << 42;  // the stream's settings come back
  EXPECT_EQ("(0001,0002) *42", out.str());
}

// Later lines win, RET lines retire, an empty name stays on its line; the print reads back unchanged.
TEST(DictionaryText, ParsedPrintedAndFaultsReported) {
  ReportCapture reports;
  const Dictionary dictionary = Parsed(std::string(SmallDictionary) +
                                       "(0010,0020) LO 1 Old\n(0010,0020) LO 1-n\n(0008,0016) UI 1 SOP Class UID\n"
                                       "(0008,0016) RET whatever follows\n(0008,0018) ! DS 3 Image  Position \r\n");
  const std::string printed =
      "  (0008,0016) ! UI 1    SOP Class UID\n  (0008,0018) ! DS 3    Image  Position \n"
      "  (0010,0010)   PN 1    Patient's Name\n  (0010,0020)   LO 1-n  \n"
      "  (0018,1620)   IS 2-2n Vertices of the Polygonal Shutter\n  (0028,0010) ! US 1    Rows  \n"
      "  (0028,0106)   xs 1    Smallest Image Pixel Value\n";
  EXPECT_EQ(printed, Printed(dictionary));
  EXPECT_EQ(printed, Printed(Parsed(printed)));
  EXPECT_TRUE(reports.None());
  const std::pair<const char*, const char*> faults[] = {
      {"(0008,0016) RET\n", "trying to put an undefined element (0008,0016) in the dictionary!"},
      {"(0010,0010) ROT 1 x\n", "unknown token ROT!"},
      {"(0008,0016) QQ 1 x\n", "while parsing description of element (0008,0016) from stream!"},
      {"0008,0016 UI 1 x\n", "while parsing data element tag from stream!"},
  };
  for (const auto& fault : faults) {
    ReportCapture faulty;
    Parsed(std::string("(0010,0010) PN 1 Patient's Name\n") + fault.first, false);
    EXPECT_TRUE(faulty.Error(fault.second));
    EXPECT_TRUE(faulty.Error("while parsing instance from stream!"));
  }
}

// Every cut or lying length fails before reading past the file.
TEST(DictionaryBinary, LayoutRoundTripAndDamage) {
  testsupport::TempDir dir;
  ReportCapture reports;
  ASSERT_TRUE(Dictionary().Save(qzcFileName(dir.file("empty.din"))));
  EXPECT_EQ((Bytes{0, 0, 0, 0}), testsupport::ReadBytes(dir.file("empty.din")));
  Dictionary retired = Parsed("(0028,0010) ! US 1 Rows\n");
  ASSERT_TRUE(retired.Save(qzcFileName(dir.file("one.din"))));
  const Bytes one = testsupport::ReadBytes(dir.file("one.din"));  // an entry ends with its name and retired flag
  EXPECT_EQ((Bytes{'R', 'o', 'w', 's', 1, 0}), Bytes(one.end() - std::min<std::ptrdiff_t>(6, one.size()), one.end()));
  Dictionary dictionary = Parsed(SmallDictionary), loaded;
  dictionary.label = "test label";
  ASSERT_TRUE(dictionary.Save(qzcFileName(dir.file("small.din"))));
  ASSERT_TRUE(loaded.Load(qzcFileName(dir.file("small.din"))));
  EXPECT_EQ("test label", loaded.label);
  EXPECT_EQ(Printed(dictionary), Printed(loaded));
  EXPECT_TRUE(reports.None());
  const Bytes bytes = testsupport::ReadBytes(dir.file("small.din"));
  for (std::size_t length = 0; length < bytes.size(); ++length) {
    testsupport::WriteBytes(dir.file("cut.din"), Bytes(bytes.begin(), bytes.begin() + length));
    Dictionary cut;
    EXPECT_FALSE(cut.Load(qzcFileName(dir.file("cut.din")))) << length;
    EXPECT_LT(cut.size(), dictionary.size()) << length;
  }
  EXPECT_TRUE(reports.Error("while reading instance from"));
  // A name that claims 65535 bytes, a label that claims as many.
  testsupport::WriteBytes(dir.file("lying.din"),
                          {0, 0, 1, 0, 0x10, 0, 0x10, 0, 106, 1, 0, 1, 0, 1, 0, 0xFF, 0xFF, 'A', 'B'});
  Dictionary lying;
  EXPECT_FALSE(lying.Load(qzcFileName(dir.file("lying.din"))));
  EXPECT_TRUE(lying.empty());
  EXPECT_TRUE(reports.Error("while reading description of element (0010,0010)!"));
  const Dictionary longest = Parsed("(0010,0010) PN 1 " + std::string(0xFFFF, 'n') + "\n");  // the most 2 bytes hold
  EXPECT_TRUE(longest.Save(qzcFileName(dir.file("longest.din"))));
  testsupport::WriteBytes(dir.file("label.din"), {0xFF, 0xFF, 'x'});
  EXPECT_FALSE(lying.Load(qzcFileName(dir.file("label.din"))));
  EXPECT_EQ("", lying.label);
}

// Lists merge in order up to the first failure; the repository is rebuilt only when older than a part.
TEST(DictionaryFiles, SaveLoadAndRebuild) {
  testsupport::TempDir dir;
  ReportCapture reports;
  const Dictionary dictionary = Parsed(SmallDictionary);
  for (const char* name : {"d.TXT", "d.din", "d.DICX"})
    ASSERT_TRUE(dictionary.Save(qzcFileName(dir.file(name))));
  EXPECT_EQ(Printed(dictionary), testsupport::ReadText(dir.file("d.TXT")));
  EXPECT_EQ(testsupport::ReadBytes(dir.file("d.din")), testsupport::ReadBytes(dir.file("d.DICX")));
  EXPECT_FALSE(dictionary.Save(qzcFileName(dir.file("missing/d.dic"))));
  EXPECT_TRUE(reports.Error("while opening file"));

  const std::string a = dir.file("a.dic"), b = dir.file("b.dic"), repository = dir.file("repo.din");
  testsupport::WriteText(a, "(0010,0010) PN 1 First\n(0010,0020) LO 1 Patient ID\n");
  testsupport::WriteText(b, "(0010,0010) PN 1 Second\n");
  Dictionary merged, partial;
  EXPECT_TRUE(merged.Load(ListOf({a, b})));
  EXPECT_EQ("  (0010,0010)   PN 1    Second\n  (0010,0020)   LO 1    Patient ID\n", Printed(merged));
  EXPECT_FALSE(partial.Load(ListOf({a, dir.file("nowhere.dic"), b})));
  EXPECT_EQ("First", partial.at(Tag(0x0010, 0x0010)).name);
  EXPECT_TRUE(reports.Error("while loading instance from one of 3 files!"));
  EXPECT_FALSE(partial.Load(qzcFileNameList()));
  EXPECT_TRUE(reports.Error("list of files to load is empty!"));

  ASSERT_TRUE(Dictionary::MakeDictionary(qzcFileName(repository), ListOf({b})));
  EXPECT_EQ(1, LoadedSize(repository));
  testsupport::WriteText(b, "(0010,0010) PN 1 Patient's Name\n(0010,0020) LO 1 Patient ID\n");
  Touch(b, -100);  // an edited part older than the repository is not taken, a newer one is
  ASSERT_TRUE(Dictionary::MakeDictionary(qzcFileName(repository), ListOf({b})));
  EXPECT_EQ(1, LoadedSize(repository));
  Touch(b, +100);
  ASSERT_TRUE(Dictionary::MakeDictionary(qzcFileName(repository), ListOf({b})));
  EXPECT_EQ(2, LoadedSize(repository));
  Touch(repository, +200);  // a missing part fails even when the repository is up to date
  EXPECT_FALSE(Dictionary::MakeDictionary(qzcFileName(repository), ListOf({b, dir.file("gone.dic")})));
  EXPECT_TRUE(reports.Error("one of the file to check (" + dir.file("gone.dic") + ") does not exist!"));
  EXPECT_FALSE(Dictionary::MakeDictionary(qzcFileName(repository), qzcFileNameList()));
  EXPECT_TRUE(reports.Error("list of files to check is empty!"));
  testsupport::WriteText(a, "(0010,0010) RET\n");
  EXPECT_FALSE(Dictionary::MakeDictionary(qzcFileName(dir.file("new.din")), ListOf({a})));
  EXPECT_FALSE(testsupport::FileExists(dir.file("new.din")));
  EXPECT_TRUE(reports.Error("while building initial repository"));
}

// Without dictionary files the built-in one is taken silently; a named one is looked for in HOME/share/dicom.
TEST(DictionaryFiles, AutomaticSearch) {
  for (const std::string path : {"/usr/share/dicom/dicom.di", "/usr/local/share/dicom/dicom.di"})
    if (testsupport::FileExists(path + "n") || testsupport::FileExists(path + "c"))
      GTEST_SKIP() << "a default dictionary is installed in " << path;
  testsupport::TempDir dir;
  char folder[PATH_MAX];
  ASSERT_NE(nullptr, getcwd(folder, sizeof folder));
  const char* home = std::getenv("HOME");
  const std::string savedHome = home ? home : "";
  ASSERT_EQ(0, chdir(dir.path().c_str()));
  setenv("HOME", dir.path().c_str(), 1);
  ReportCapture reports;
  Dictionary dictionary;
  EXPECT_TRUE(dictionary.AutoLoad());
  EXPECT_EQ("built-in", dictionary.source);
  EXPECT_EQ(LoadedSize(MEDCONV_SOURCE_DIR "/data/dicom.dic"), int(dictionary.size()));
  EXPECT_TRUE(reports.None()) << reports.Errors() << reports.Warnings();
  testsupport::WriteText(dir.file("dicom.dic"), "(0010,0010) PN 1 Patient's Name\n");  // the last file looked for
  Dictionary found;
  EXPECT_TRUE(found.AutoLoad() && found.size() == 1);
  ASSERT_EQ(0, mkdir(dir.file("share").c_str(), 0755) + mkdir(dir.file("share/dicom").c_str(), 0755));
  testsupport::WriteText(dir.file("share/dicom/mine.dic"), "(0010,0010) PN 1 Patient's Name\n");
  EXPECT_EQ(1, LoadedSize("somewhere/else/mine.dic"));
  EXPECT_EQ(0, chdir(folder));
  home ? setenv("HOME", savedHome.c_str(), 1) : unsetenv("HOME");
}

// The shipped text loads silently and is exactly what Print writes; the build folder's repository holds the same.
TEST(DictionaryData, ShippedTextAndRepositoryAgree) {
  ReportCapture reports;
  const std::string path = MEDCONV_SOURCE_DIR "/data/dicom.dic";
  Dictionary dictionary, repository;
  ASSERT_TRUE(dictionary.Load(qzcFileName(path)));
  EXPECT_TRUE(reports.None()) << reports.Errors() << reports.Warnings();
  std::string lines;
  std::istringstream file(testsupport::ReadText(path));
  for (std::string line; std::getline(file, line);)
    lines += line.empty() || line[0] == '#' ? "" : line + "\n";
  EXPECT_EQ(lines, Printed(dictionary));
  if (testsupport::FileExists("dicom.din")) {
    ASSERT_TRUE(repository.AutoLoad());
    EXPECT_EQ(Printed(dictionary), Printed(repository));
  }
}

}  // namespace
