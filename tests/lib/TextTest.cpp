// Text: string fields, justification and token readers; the pieces of a file
// name, the library-directory search and pattern expansion; the matching
// rules of the command-line parser.
#include "lib/qzcCmdLineParser.h"
#include "lib/qzcFileName.h"
#include "lib/qzcFileNameList.h"
#include "ReportCapture.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <sstream>

namespace {

// A parser over the program name and the words given.
qzcCmdLineParser ParserOf(std::initializer_list<const char*> arguments) {
  std::vector<const char*> argv{"medconv"};
  argv.insert(argv.end(), arguments);
  qzcCmdLineParser parser;
  EXPECT_NE(0, parser.AddParameters(static_cast<int>(argv.size()), argv.data()));
  return parser;
}

std::string ValueOf(const qzcCmdLineParser& parser, const std::string& name) {
  const char* value = parser.GetOptionValue(name);
  return value ? value : "<none>";
}

}  // namespace

// Each row: the text, its field count, a field read and the text with that
// field set to "v" (appended, with separators, beyond the last).
TEST(String, FieldsAreCountedFoundAndSet) {
  const struct {
    const char *text, *sep;
    unsigned count, field;
    const char *got, *set;
  } rows[] = {
      {"", ":", 1, 1, "", "v"},         {"40:400", ":", 2, 0, "", "40:400"},  {":", ":", 2, 1, "", "v:"},
      {"a::b", ":", 3, 2, "", "a:v:b"}, {"a::b", "", 3, 3, "b", "a::v"},      {"x|y|z", "|", 3, 2, "y", "x|v|z"},
      {"max", ":", 1, 3, "", "max::v"}, {"a:bc:d", ":", 3, 2, "bc", "a:v:d"}, {"", "|", 1, 2, "", "|v"},
  };
  for (const auto& r : rows) {
    const qzcString text(r.text);
    EXPECT_EQ(std::to_string(text.CountFields(r.sep)) + " " + text.GetField(r.field, r.sep) + " " +
                  qzcString(text).SetField(r.field, "v", r.sep),
              std::to_string(r.count) + " " + r.got + " " + r.set)
        << r.text << " " << r.field;
  }
  EXPECT_EQ(qzcString("cur_nm:ren_o").FindField("ren_o") * 10 + qzcString("cur_nm:ren_ox").FindField("ren_o"), 20u);
  EXPECT_EQ(qzcString("a::b").FindField("") * 10 + qzcString("ab").FindField("a"), 20u);
  qzcString window("40:400");  // numbers are formatted as %g
  EXPECT_EQ(window.SetField(2, 2.5).SetField(1, 1e6).SetField(3, -3), "1e+06:2.5:-3");
}

// Left, centre and right: cut with dots when there is room for them, or
// padded with the fill; a wrong type keeps the text and complains unless the
// text already fits.
TEST(String, JustifiedCutsWithDotsOrPadsWithTheFill) {
  const struct {
    const char* text;
    unsigned width;
    const char* justified;
  } rows[] = {
      {"abcdefgh", 7, "abcd...|ab...gh|...efgh"},
      {"abcdefgh", 6, "abc...|ab...h|...fgh"},
      {"abcdefgh", 5, "ab...|a...h|...gh"},
      {"abcdefgh", 4, "abcd|abgh|efgh"},
      {"abcdefgh", 1, "a|h|h"},
      {"abc", 6, "abc---|-abc--|---abc"},
  };
  for (const auto& r : rows) {
    const qzcString text(r.text);
    EXPECT_EQ(text.Justified(r.width, qzcString::Left, '-') + "|" + text.Justified(r.width, qzcString::Centre, '-') +
                  "|" + text.Justified(r.width, qzcString::Right, '-'),
              r.justified);
  }
  testing::internal::CaptureStderr();
  EXPECT_EQ(
      qzcString("abcd").Justified(4, 3) + qzcString("abcdefgh").Justified(4, 3) + qzcString("abc").Justified(6, -1),
      "abcdabcdefghabc");
  const std::string complaints = testing::internal::GetCapturedStderr();
  EXPECT_EQ(std::count(complaints.begin(), complaints.end(), '\n'), 2);
}

TEST(String, WordsSkipWhiteSpaceAndLinesDropEveryCarriageReturn) {
  EXPECT_EQ(qzcString("CT.Image-01.DCM").ToLower(), "ct.image-01.dcm");
  std::istringstream words("  (0008,0016)\tUI\n\v 1 \"SOP Class\""), lines("one\r\ntw\ro\n\n  spaced  \nlast");
  std::string got;
  for (qzcString word; word.ReadWord(words);)
    got += word + "|";
  for (qzcString line; line.ReadLine(lines);)
    got += line + "|";
  EXPECT_EQ(got, "(0008,0016)|UI|1|\"SOP|Class\"|one|two||  spaced  |last|");
}

TEST(FileName, PiecesAndPatternExpansion) {
  const struct {
    const char *path, *pieces;
  } rows[] = {
      {"dir/sub/name.ext.gz", "dir/sub/|name.ext.gz|gz|name.ext"},
      {"C:\\images\\ct.dcm", "C:\\images\\|ct.dcm|dcm|ct"},
      {"disk:ct", "disk:|ct||ct"},
      {"out/", "out/|||"},
      {".profile", "|.profile|profile|"},
      {"series.1/image", "series.1/|image||image"},  // a directory's dot is no extension
  };
  for (const auto& r : rows) {
    const qzcFileName name(r.path);
    EXPECT_EQ(
        name.GetDirectory() + "|" + name.GetName() + "|" + name.GetExtension() + "|" + name.GetNameWithoutExtension(),
        r.pieces);
  }
  // Matches go before the iterator given; no match and an empty pattern add
  // nothing, silently.
  testsupport::TempDir folder;
  for (const char* name : {"c.dcm", "a.dcm", "b.dcm", "notes.txt"})
    testsupport::WriteText(folder.file(name), name);
  qzcFileNameList list;
  list.push_back(qzcFileName("last"));
  const qzcFileNameList::iterator last = list.begin();
  EXPECT_EQ(last, list.glob(last, qzcFileName(folder.file("*.dcm"))));
  list.glob(last, qzcFileName(folder.file("*.png")));
  list.glob(last, qzcFileName(""));
  std::stringstream out;
  list.Print(out);
  std::vector<std::string> printed;
  for (std::string line; std::getline(out, line);)
    printed.push_back(line);
  std::sort(printed.begin(), printed.end() - 1);
  EXPECT_EQ(printed,
            (std::vector<std::string>{folder.file("a.dcm"), folder.file("b.dcm"), folder.file("c.dcm"), "last"}));
}

// Each row puts the file in some candidate folders ("." is the working
// folder, the others are under HOME) and looks it up from another name's
// folder; the first candidate in order that holds it wins.
TEST(FileName, LibrarySearchTakesTheFirstCandidateInOrder) {
  const std::string name = "medconv-library-search-test.din";  // in no system folder
  const struct {
    std::vector<std::string> holders;
    const char *subdirectory, *found;
  } rows[] = {
      {{".", "/lib"}, "dicom", "./"},
      {{"/lib", "/share/dicom"}, "dicom", "HOME/lib/"},
      {{"/share/dicom"}, "dicom", "HOME/share/dicom/"},
      {{"/share/dicom"}, "", ""},  // the share folders need a subdirectory
      {{}, "dicom", ""},
  };
  char saved[4096];
  ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
  const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  for (const auto& r : rows) {
    testsupport::TempDir home, work;
    for (const char* folder : {"/lib", "/share", "/share/dicom"})
      mkdir((home.path() + folder).c_str(), 0755);
    for (const std::string& holder : r.holders)
      testsupport::WriteText((holder == "." ? work.path() : home.path() + holder) + "/" + name, holder);
    setenv("HOME", home.path().c_str(), 1);
    ASSERT_EQ(chdir(work.path().c_str()), 0);
    std::string found = FindInLibraryDirectories(qzcFileName("/nowhere/" + name), r.subdirectory);
    if (found.rfind(home.path(), 0) == 0)
      found = "HOME" + found.substr(home.path().size());
    EXPECT_EQ(found, *r.found ? r.found + name : "") << r.holders.size() << " " << r.subdirectory;
    ASSERT_EQ(chdir(saved), 0);
  }
  savedHome.empty() ? unsetenv("HOME") : setenv("HOME", savedHome.c_str(), 1);
  // The system's folders, with files every Debian system has.
  if (testsupport::FileExists("/usr/lib/os-release"))
    EXPECT_EQ(FindInLibraryDirectories(qzcFileName("os-release"), "").GetDirectory().substr(0, 1), "/");
  if (testsupport::FileExists("/usr/share/common-licenses/GPL-3"))
    EXPECT_EQ(FindInLibraryDirectories(qzcFileName("GPL-3"), "common-licenses"), "/usr/share/common-licenses/GPL-3");
}

// HasOption and GetOptionValue of one name on one command line; the two
// queries follow different rules and may disagree.
TEST(CmdLineOptions, MatchingRulesOfBothQueries) {
  const struct {
    std::initializer_list<const char*> words;
    const char* name;
    int has;
    const char* value;
  } rows[] = {
      {{"--halve", "--win=40:400"}, "halve", 2, ""},
      {{"--halve", "--win=40:400"}, "win", 2, "40:400"},
      // abbreviations; a longer word is no option, but gives a value
      {{"--wa=n"}, "warn", 2, "n"},
      {{"--wa"}, "warn", 2, "<none>"},
      {{"--warn=n"}, "wa", 0, "<none>"},
      {{"--names"}, "name", 0, "s"},
      // long names are never looked up in clusters, nor letters in long words
      {{"-wp", "+w", "--warn=n"}, "warn", 2, "n"},
      {{"--w", "-wp"}, "w", 1, "p"},
      // a bare double hyphen matches every long name, never a letter
      {{"--"}, "help", 2, "<none>"},
      {{"--"}, "w", 0, "<none>"},
      {{"--=7"}, "frame", 2, "7"},
      // the first matching word wins; name and value stop at a blank
      {{"--name=y", "--name=n"}, "name", 2, "y"},
      {{"--to=/a b", "my file.dcm"}, "to", 2, "/a"},
      // short clusters give the rest of the word as value; "=" ends the letters
      {{"-wp"}, "p", 1, ""},
      {{"-wp"}, "r", 0, "<none>"},
      {{"-p1", "-r2w"}, "r", 1, "2w"},
      {{"-d=el"}, "d", 1, "el"},
      {{"-d=el"}, "e", 0, "<none>"},
      {{"+w", "-5", "a.dcm"}, "w", 3, ""},
      {{"+w", "-5", "a.dcm"}, "5", 1, ""},
  };
  for (const auto& r : rows) {
    const qzcCmdLineParser parser = ParserOf(r.words);
    SCOPED_TRACE(std::string(*r.words.begin()) + " / " + r.name);
    EXPECT_EQ(r.has, parser.HasOption(r.name));
    EXPECT_EQ(r.value, ValueOf(parser, r.name));
  }
}

// Names, with their fallback: what GetBoolOption and GetIntOption (the
// second with absent as -1) give. Numbers too large for 32 bits saturate.
TEST(CmdLineOptions, BooleanAndIntegerValues) {
  const qzcCmdLineParser parser =
      ParserOf({"--out", "--one=1", "--zero=0", "--up=Y", "--down=N", "--yes=yes", "--no=no", "--maybe=maybe",
                "--warning", "--step=12abc", "--empty=", "--minus=-3", "--huge=99999999999", "-r2"});
  std::string got;
  for (const char* name : {"out", "one", "zero", "up", "down", "yes", "no", "maybe", "absent", "warn"})
    got += std::to_string(parser.GetBoolOption(name, false)) + std::to_string(parser.GetBoolOption(name, true)) + " ";
  EXPECT_EQ(got, "11 11 00 11 00 11 00 01 01 01 ");
  got.clear();
  for (const char* name : {"step", "empty", "minus", "absent", "r", "huge"})
    got +=
        std::to_string(parser.GetIntOption(name, 7)) + "/" + std::to_string(parser.GetIntOption(name, 7, true)) + " ";
  EXPECT_EQ(got, "12/12 7/7 -1/-1 7/-1 2/2 2147483647/2147483647 ");
}

// Text (the environment's words) is split at blanks only and comes after
// the command line; file arguments are the words that are not options, the
// first word being the program's name whatever it says.
TEST(CmdLineWords, SplittingFileArgumentsAndReset) {
  qzcCmdLineParser parser = ParserOf({"a.dcm", "--to=/cmd", "-w", "-5", "my file.dcm"});
  EXPECT_NE(0, parser.AddParameters("  --to=/env   --step=2 b\tc.dcm "));
  EXPECT_NE(0, parser.AddParameters("   ") && parser.AddParameters(static_cast<const char*>(nullptr)));
  EXPECT_EQ(9, parser.GetCount());
  EXPECT_EQ("/cmd", ValueOf(parser, "to"));
  EXPECT_EQ(2, parser.GetIntOption("step", 1));
  const char* expected[] = {nullptr, "a.dcm", "my file.dcm", "b\tc.dcm", nullptr};
  for (int n = 0; n < 5; ++n)
    EXPECT_STREQ(expected[n], parser.GetFileArgument(n)) << n;
  const char* argv[] = {"--help", "-w"};
  qzcCmdLineParser named;
  EXPECT_NE(0, named.AddParameters(1, argv) && named.AddParameters(1, nullptr));
  EXPECT_EQ(0, named.HasOption("help"));
  named.AddParameters(2, argv);
  EXPECT_EQ(2, named.HasOption("help"));
  EXPECT_EQ(3, named.GetCount());
  parser.Reset();
  EXPECT_EQ(0, parser.GetCount() + parser.HasOption("to"));
}
