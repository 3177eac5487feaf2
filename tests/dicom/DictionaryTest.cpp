// The data dictionary: VR and VM tokens, descriptions, the text form with
// comments and RET lines, the binary repository, saving and loading by
// extension, the automatic search, the rebuilding of the repository, and the
// dictionary data shipped with the program.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <sstream>
#include <tuple>

#include "CapturedReports.h"
#include "dicom/qzmDicomDataElementDictionary.h"
#include "lib/qzcFileName.h"
#include "lib/qzcFileNameList.h"
#include "support/TestSupport.h"

namespace {

typedef qzmDicomDataElementDescription Description;
typedef qzmDicomDataElementDictionary Dictionary;
typedef qzmDicomDataElementTag Tag;
typedef std::vector<unsigned char> Bytes;

const qzcIndex n = Description::VMUnbounded;

std::tuple<int, int, int> Triple(const Description::VM& vm) {
  return {vm.First(), vm.Last(), vm.Step()};
}

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

Dictionary Parsed(const std::string& text, CapturedReports& reports, bool expectSuccess = true) {
  Dictionary dictionary;
  std::istringstream in(text);
  dictionary.Parse(in);
  EXPECT_EQ(expectSuccess, !in.fail()) << reports.Errors();
  return dictionary;
}

qzcFileNameList ListOf(std::initializer_list<std::string> names) {
  qzcFileNameList list;
  for (const std::string& name : names)
    list.push_back(qzcFileName(name));
  return list;
}

// The number of entries a dictionary file loads, or -1 when it does not load.
int LoadedSize(const std::string& path) {
  Dictionary dictionary;
  return dictionary.Load(qzcFileName(path)) ? int(dictionary.size()) : -1;
}

// Sets a file's modification time to now plus offset seconds.
void Touch(const std::string& path, int offset) {
  struct timespec times[2];
  clock_gettime(CLOCK_REALTIME, &times[0]);
  times[0].tv_sec += offset;
  times[1] = times[0];
  ASSERT_EQ(0, utimensat(AT_FDCWD, path.c_str(), times, 0));
}

const char* const smallDictionary =
    "# a comment line\n"
    "(0010,0010) PN 1 Patient's Name\n"
    "  (0028,0010) ! US 1 Rows  \r\n"
    "(0028,0106) xs 1 Smallest Image Pixel Value\n"
    "(0020,0032) DS 3 Image Position (Patient)\n"
    "(0018,1620) IS 2-2n Vertices of the Polygonal Shutter\n";

TEST(VRToken, EveryCodeTranslatesFromItsTokenAndBackAndOthersAreRefused) {
  CapturedReports reports;
  for (const char* token : {"FL", "FD", "SL", "SS", "UL", "US", "AS", "AT", "DA", "DT", "TM", "ss", "AE", "CS", "DS",
                            "IS", "LO", "LT", "PN", "SH", "ST", "UI", "OB", "SQ", "UN", "OW", "os", "ox", "xs"})
    EXPECT_EQ(token, Text(Description::TranslateVR(token[0], token[1])));
  EXPECT_EQ(150, Description::OB);
  EXPECT_EQ(203, Description::xs);
  EXPECT_EQ("UNDEFINED", Text(Description::UNDEFINED));
  EXPECT_EQ("UNKNOWN ??", Text(static_cast<Description::VR>(7)));
  EXPECT_TRUE(reports.None());

  EXPECT_EQ(Description::UNDEFINED, Description::TranslateVR('o', 'b'));
  EXPECT_TRUE(reports.Warning("unknown VR token ob!"));
  Description::VR vr = Description::PN;
  std::istringstream tooLong("OBX"), unknown("QQ");
  EXPECT_FALSE(tooLong >> vr);
  EXPECT_TRUE(reports.Error("token (OBX) length 3 != 2!"));
  EXPECT_FALSE(unknown >> vr);
  EXPECT_TRUE(reports.Error("unknown VR token QQ!"));
  EXPECT_EQ(Description::PN, vr);
}

TEST(VMToken, ParsesEveryFormAndPrintsItInFourCharacters) {
  CapturedReports reports;
  const struct {
    const char* token;
    std::tuple<int, int, int> range;
    const char* printed;
  } cases[] = {
      {"1", {1, 1, 1}, "1   "},    {"1-3", {1, 3, 1}, "1-3 "},   {"1-n", {1, n, 1}, "1-n "},
      {"2n", {0, n, 2}, "2n  "},   {"n", {0, n, 1}, "n   "},     {"1-2n", {1, n, 2}, "1-2n"},
      {"2-2n", {2, n, 2}, "2-2n"}, {"1-99", {1, 99, 1}, "1-99"}, {"16", {16, 16, 1}, "16  "},
      {"n-2", {0, n, 1}, "n   "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.token);
    Description::VM vm;
    std::istringstream in(c.token);
    EXPECT_TRUE(in >> vm);
    EXPECT_EQ(c.range, Triple(vm));
    EXPECT_EQ(c.printed, Text(vm));
  }
  EXPECT_TRUE(reports.None());
}

TEST(VMToken, FaultsFailTheStreamWithTheirMessage) {
  const struct {
    const char* token;
    const char* message;
  } faults[] = {
      {"0", "wrong VM syntax (no digit or 0) in token 0!"},
      {"1-", "wrong VM syntax (x-?: missing second member)in token 1-!"},
      {"2a", "wrong VM syntax (invalid character) in token 2a!"},
      {"2n-3", "wrong VM syntax ('n' before '-')in token 2n-3!"},
      {"-3", "wrong VM syntax (no digit or 0) in token -3!"},
      {"99999", "wrong VM syntax (number too large) in token 99999!"},
      {"3-2", "unable to build VM from token 3-2!"},
  };
  for (const auto& fault : faults) {
    SCOPED_TRACE(fault.token);
    CapturedReports reports;
    Description::VM vm(1, 3, 1);
    std::istringstream in(fault.token);
    EXPECT_FALSE(in >> vm);
    EXPECT_EQ(std::make_tuple(1, 3, 1), Triple(vm));
    EXPECT_TRUE(reports.Error(fault.message));
  }
}

TEST(DescriptionText, NameRunsToTheEndOfTheLineAndAnEmptyNameStaysOnItsLine) {
  CapturedReports reports;
  std::istringstream in(" ! DS 3 Image  Position \r\n  DS 1 \nLO 1 Next\n");
  Description first, second, third;
  first.Parse(in);
  second.Parse(in);
  third.Parse(in);
  EXPECT_TRUE(first.retired);
  EXPECT_EQ(Description::DS, first.vr);
  EXPECT_EQ(std::make_tuple(3, 3, 1), Triple(first.vm));
  EXPECT_EQ("Image  Position ", first.name);
  EXPECT_FALSE(second.retired);
  EXPECT_EQ("", second.name);
  EXPECT_EQ("Next", third.name);
  EXPECT_TRUE(reports.None());
}

TEST(DictionaryText, ParsesEntriesSkipsCommentsAndPrintsInTagOrder) {
  CapturedReports reports;
  const Dictionary dictionary = Parsed(smallDictionary, reports);
  ASSERT_EQ(5u, dictionary.size());
  EXPECT_EQ(
      "  (0010,0010)   PN 1    Patient's Name\n"
      "  (0018,1620)   IS 2-2n Vertices of the Polygonal Shutter\n"
      "  (0020,0032)   DS 3    Image Position (Patient)\n"
      "  (0028,0010) ! US 1    Rows  \n"
      "  (0028,0106)   xs 1    Smallest Image Pixel Value\n",
      Printed(dictionary));
  EXPECT_TRUE(reports.None());
  // What Print writes, Parse reads back unchanged.
  EXPECT_EQ(Printed(dictionary), Printed(Parsed(Printed(dictionary), reports)));
}

TEST(DictionaryText, LaterLinesWinAndRetLinesRetireWithoutChangingTheEntry) {
  CapturedReports reports;
  const Dictionary dictionary = Parsed(
      "(0010,0010) PN 1 Old Name\n(0010,0010) LO 1-n New Name\n"
      "(0008,0016) UI 1 SOP Class UID\n(0008,0016) RET whatever follows\n",
      reports);
  EXPECT_EQ("  (0008,0016) ! UI 1    SOP Class UID\n  (0010,0010)   LO 1-n  New Name\n", Printed(dictionary));
}

TEST(DictionaryText, FaultsStopTheParseWithAColumnOfReports) {
  const struct {
    const char* text;
    const char* message;
  } faults[] = {
      {"(0008,0016) RET\n", "trying to put an undefined element (0008,0016) in the dictionary!"},
      {"(0008,0016) ROT 1 x\n", "unknown token ROT!"},
      {"(0008,0016) QQ 1 x\n", "while parsing description of element (0008,0016) from stream!"},
      {"0008,0016 UI 1 x\n", "while parsing data element tag from stream!"},
  };
  for (const auto& fault : faults) {
    SCOPED_TRACE(fault.text);
    CapturedReports reports;
    Parsed(std::string("(0010,0010) PN 1 Patient's Name\n") + fault.text, reports, false);
    EXPECT_TRUE(reports.Error(fault.message));
    EXPECT_TRUE(reports.Error("while parsing instance from stream!"));
  }
}

TEST(DictionaryBinary, LayoutIsLittleEndianWithTwoByteLengthsAndAnEmptyRepositoryIsFourZeroBytes) {
  testsupport::TempDir dir;
  CapturedReports reports;
  ASSERT_TRUE(Dictionary().Save(qzcFileName(dir.file("empty.din"))));
  EXPECT_EQ((Bytes{0, 0, 0, 0}), testsupport::ReadBytes(dir.file("empty.din")));

  Dictionary dictionary;
  dictionary.label = "L";
  dictionary[Tag(0x0010, 0x0020)] = Description(Description::LO, {1, n, 2}, "ID", true);
  ASSERT_TRUE(dictionary.Save(qzcFileName(dir.file("one.din"))));
  EXPECT_EQ((Bytes{0x01, 0x00, 'L',  0x01, 0x00,          // label, count
                   0x10, 0x00, 0x20, 0x00, 104,           // tag, vr
                   0x01, 0x00, 0xFF, 0x7F, 0x02, 0x00,    // vm
                   0x02, 0x00, 'I',  'D',  0x01, 0x00}),  // name, retired
            testsupport::ReadBytes(dir.file("one.din")));
}

TEST(DictionaryBinary, RoundTripKeepsEntriesAndLabelAndEveryTruncationFailsCleanly) {
  testsupport::TempDir dir;
  CapturedReports reports;
  Dictionary dictionary = Parsed(smallDictionary, reports);
  dictionary.label = "test label";
  ASSERT_TRUE(dictionary.Save(qzcFileName(dir.file("small.din"))));
  Dictionary loaded;
  ASSERT_TRUE(loaded.Load(qzcFileName(dir.file("small.din"))));
  EXPECT_EQ("test label", loaded.label);
  EXPECT_EQ(Printed(dictionary), Printed(loaded));
  EXPECT_TRUE(reports.None());

  const Bytes bytes = testsupport::ReadBytes(dir.file("small.din"));
  for (std::size_t length = 0; length < bytes.size(); ++length) {
    SCOPED_TRACE(length);
    testsupport::WriteBytes(dir.file("cut.din"), Bytes(bytes.begin(), bytes.begin() + length));
    Dictionary cut;
    EXPECT_FALSE(cut.Load(qzcFileName(dir.file("cut.din"))));
    EXPECT_LT(cut.size(), dictionary.size());
  }
  EXPECT_TRUE(reports.Error("while reading instance from"));
}

TEST(DictionaryBinary, LengthsBeyondTheFileAreRefusedBeforeReading) {
  testsupport::TempDir dir;
  CapturedReports reports;
  // A label, then an entry whose name claims 65535 bytes that are not there.
  testsupport::WriteBytes(dir.file("lying.din"), {0x00, 0x00, 0x01, 0x00, 0x10, 0x00, 0x10, 0x00, 106, 0x01, 0x00, 0x01,
                                                  0x00, 0x01, 0x00, 0xFF, 0xFF, 'A', 'B'});
  Dictionary loaded;
  EXPECT_FALSE(loaded.Load(qzcFileName(dir.file("lying.din"))));
  EXPECT_TRUE(loaded.empty());
  EXPECT_TRUE(reports.Error("while reading description of element (0010,0010)!"));

  testsupport::WriteBytes(dir.file("label.din"), {0xFF, 0xFF, 'x'});
  EXPECT_FALSE(loaded.Load(qzcFileName(dir.file("label.din"))));
  EXPECT_EQ("", loaded.label);
}

TEST(DictionaryFiles, SaveChoosesTheFormByExtension) {
  testsupport::TempDir dir;
  CapturedReports reports;
  const Dictionary dictionary = Parsed(smallDictionary, reports);
  for (const char* name : {"d.TXT", "d.dic", "d.dip"}) {
    ASSERT_TRUE(dictionary.Save(qzcFileName(dir.file(name))));
    EXPECT_EQ(Printed(dictionary), testsupport::ReadText(dir.file(name))) << name;
  }
  for (const char* name : {"d.din", "nodot", "d.DICX"}) {
    ASSERT_TRUE(dictionary.Save(qzcFileName(dir.file(name))));
    EXPECT_EQ(testsupport::ReadBytes(dir.file("d.din")), testsupport::ReadBytes(dir.file(name))) << name;
  }
  struct stat status;
  ASSERT_EQ(0, stat(dir.file("d.dic").c_str(), &status));
  EXPECT_EQ(
      0664 &
          ~[] {
            mode_t mask = umask(0);
            umask(mask);
            return mask;
          }(),
      status.st_mode & 0777);

  EXPECT_FALSE(dictionary.Save(qzcFileName(dir.file("missing/d.dic"))));
  EXPECT_TRUE(reports.Error("while opening file"));
}

TEST(DictionaryFiles, LoadingAListMergesInOrderAndStopsAtTheFirstFailure) {
  testsupport::TempDir dir;
  CapturedReports reports;
  testsupport::WriteText(dir.file("a.dic"), "(0010,0010) PN 1 First\n(0010,0020) LO 1 Patient ID\n");
  testsupport::WriteText(dir.file("b.dic"), "(0010,0010) PN 1 Second\n");
  Dictionary dictionary, partial;
  EXPECT_TRUE(dictionary.Load(ListOf({dir.file("a.dic"), dir.file("b.dic")})));
  EXPECT_EQ(2u, dictionary.size());
  EXPECT_EQ("Second", dictionary.at(Tag(0x0010, 0x0010)).name);
  EXPECT_TRUE(reports.None());

  EXPECT_FALSE(partial.Load(ListOf({dir.file("a.dic"), dir.file("nowhere-to-be-found.dic"), dir.file("b.dic")})));
  EXPECT_EQ("First", partial.at(Tag(0x0010, 0x0010)).name);
  EXPECT_TRUE(reports.Error("file to load was not found in any default library directories"));
  EXPECT_TRUE(reports.Error("while loading instance from one of 3 files!"));
  EXPECT_FALSE(partial.Load(qzcFileNameList()));
  EXPECT_TRUE(reports.Error("list of files to load is empty!"));
}

TEST(DictionaryFiles, MakeDictionaryRebuildsOnlyWhenMissingOrOlderThanAPart) {
  testsupport::TempDir dir;
  CapturedReports reports;
  const std::string part = dir.file("part.dic"), repository = dir.file("repo.din");
  testsupport::WriteText(part, "(0010,0010) PN 1 Patient's Name\n");
  ASSERT_TRUE(Dictionary::MakeDictionary(qzcFileName(repository), ListOf({part})));
  EXPECT_EQ(1, LoadedSize(repository));

  // An edited part that is older than the repository is not taken; a newer one is.
  testsupport::WriteText(part, "(0010,0010) PN 1 Patient's Name\n(0010,0020) LO 1 Patient ID\n");
  Touch(part, -100);
  ASSERT_TRUE(Dictionary::MakeDictionary(qzcFileName(repository), ListOf({part})));
  EXPECT_EQ(1, LoadedSize(repository));
  Touch(part, +100);
  ASSERT_TRUE(Dictionary::MakeDictionary(qzcFileName(repository), ListOf({part})));
  EXPECT_EQ(2, LoadedSize(repository));
  EXPECT_TRUE(reports.None());

  // A missing part fails even when the repository is up to date.
  Touch(repository, +200);
  EXPECT_FALSE(Dictionary::MakeDictionary(qzcFileName(repository), ListOf({part, dir.file("gone.dic")})));
  EXPECT_TRUE(reports.Error("one of the file to check (" + dir.file("gone.dic") + ") does not exist!"));
  EXPECT_FALSE(Dictionary::MakeDictionary(qzcFileName(repository), qzcFileNameList()));
  EXPECT_TRUE(reports.Error("list of files to check is empty!"));
}

TEST(DictionaryFiles, BuildDictionaryReportsAFaultyPartAndWritesNothing) {
  testsupport::TempDir dir;
  CapturedReports reports;
  testsupport::WriteText(dir.file("bad.dic"), "(0010,0010) RET\n");
  EXPECT_FALSE(Dictionary::BuildDictionary(qzcFileName(dir.file("repo.din")), ListOf({dir.file("bad.dic")})));
  EXPECT_FALSE(testsupport::FileExists(dir.file("repo.din")));
  EXPECT_TRUE(reports.Error("while loading 1 partial dictionaries!"));
  EXPECT_FALSE(Dictionary::MakeDictionary(qzcFileName(dir.file("repo.din")), ListOf({dir.file("bad.dic")})));
  EXPECT_TRUE(reports.Error("while building initial repository"));
}

// Runs the body in another working folder with HOME pointing there too, so
// that no default dictionary can be found.
class ElsewhereTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char buffer[PATH_MAX];
    ASSERT_NE(nullptr, getcwd(buffer, sizeof buffer));
    savedFolder_ = buffer;
    const char* home = std::getenv("HOME");
    hadHome_ = home != nullptr;
    if (hadHome_)
      savedHome_ = home;
    ASSERT_EQ(0, chdir(dir_.path().c_str()));
    setenv("HOME", dir_.path().c_str(), 1);
  }
  void TearDown() override {
    EXPECT_EQ(0, chdir(savedFolder_.c_str()));
    if (hadHome_)
      setenv("HOME", savedHome_.c_str(), 1);
    else
      unsetenv("HOME");
  }
  testsupport::TempDir dir_;
  std::string savedFolder_, savedHome_;
  bool hadHome_ = false;
};

TEST_F(ElsewhereTest, AutoLoadWithoutDictionaryFilesTakesTheBuiltInOneSilently) {
  for (const char* path : {"/usr/share/dicom/dicom.din", "/usr/share/dicom/dicom.dic",
                           "/usr/local/share/dicom/dicom.din", "/usr/local/share/dicom/dicom.dic"})
    if (testsupport::FileExists(path))
      GTEST_SKIP() << "a default dictionary is installed: " << path;
  CapturedReports reports;
  Dictionary dictionary;
  EXPECT_TRUE(dictionary.AutoLoad());
  EXPECT_EQ("built-in", dictionary.source);
  Dictionary shipped;
  ASSERT_TRUE(shipped.Load(qzcFileName(std::string(MEDCONV_SOURCE_DIR) + "/data/dicom.dic")));
  EXPECT_EQ(shipped.size(), dictionary.size());
  EXPECT_TRUE(qzcException::errorChannel.enabled);
  EXPECT_EQ("", reports.Errors());
  EXPECT_EQ("", reports.Warnings());
}

TEST_F(ElsewhereTest, LoadSearchesHomeShareDicom) {
  CapturedReports reports;
  ASSERT_EQ(0, mkdir(dir_.file("share").c_str(), 0755));
  ASSERT_EQ(0, mkdir(dir_.file("share/dicom").c_str(), 0755));
  testsupport::WriteText(dir_.file("share/dicom/mine.dic"), "(0010,0010) PN 1 Patient's Name\n");
  EXPECT_EQ(1, LoadedSize("somewhere/else/mine.dic"));
}

TEST(DictionaryData, TheShippedTextDictionaryLoadsWithoutAReportAndIsWhatPrintWrites) {
  CapturedReports reports;
  const std::string path = std::string(MEDCONV_SOURCE_DIR) + "/data/dicom.dic";
  Dictionary dictionary;
  ASSERT_TRUE(dictionary.Load(qzcFileName(path)));
  EXPECT_TRUE(reports.None()) << reports.Errors() << reports.Warnings();
  EXPECT_GT(dictionary.size(), 5000u);
  EXPECT_EQ("Patient's Name", dictionary.at(Tag(0x0010, 0x0010)).name);
  // The registry's VRs mapped to the program's set, repeating groups expanded
  // to their even groups, group lengths added.
  const std::pair<Tag, Description::VR> entries[] = {
      {{0x0010, 0x0010}, Description::PN}, {{0x0028, 0x0106}, Description::xs}, {{0x7FE0, 0x0010}, Description::ox},
      {{0x601E, 0x3000}, Description::ox}, {{0x0008, 0x0120}, Description::LT}, {{0x0028, 0x0000}, Description::UL}};
  for (const auto& entry : entries)
    EXPECT_EQ(entry.second, dictionary.at(entry.first).vr) << entry.first;
  EXPECT_EQ(0u, dictionary.count(Tag(0x6020, 0x3000)) + dictionary.count(Tag(0xFFFE, 0xE000)));
  EXPECT_TRUE(dictionary.at(Tag(0x0000, 0x0001)).retired);

  // The generated file is exactly the dictionary's own text form.
  std::string lines;
  std::istringstream file(testsupport::ReadText(path));
  for (std::string line; std::getline(file, line);)
    if (line.empty() || line[0] != '#')
      lines += line + "\n";
  EXPECT_EQ(lines, Printed(dictionary));
}

TEST(DictionaryData, TheBuildFolderRepositoryAutoLoadsAndMatchesTheText) {
  if (!testsupport::FileExists("dicom.din"))
    GTEST_SKIP() << "no dicom.din in the working folder";
  CapturedReports reports;
  Dictionary repository, text;
  ASSERT_TRUE(repository.AutoLoad());
  ASSERT_TRUE(text.Load(qzcFileName(std::string(MEDCONV_SOURCE_DIR) + "/data/dicom.dic")));
  EXPECT_EQ(Printed(text), Printed(repository));
  EXPECT_TRUE(reports.None());
}

}  // namespace
