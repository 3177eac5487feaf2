// Text: string fields, justification and token readers; the pieces of a file
// name and the library-directory search; the command-line parser's rules.
#include "lib/qzcCmdLineParser.h"
#include "lib/qzcFileName.h"
#include "lib/qzcFileNameList.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

namespace {

// The pieces of a table row, between the separators.
std::vector<std::string> Split(const std::string& row, char separator = ';') {
  std::vector<std::string> pieces(1);
  for (char c : row)
    c == separator ? pieces.push_back("") : pieces.back().push_back(c);
  return pieces;
}

// A parser over the program name and the words given.
qzcCmdLineParser ParserOf(std::vector<const char*> argv) {
  argv.insert(argv.begin(), "medconv");
  qzcCmdLineParser parser;
  EXPECT_NE(0, parser.AddParameters(static_cast<int>(argv.size()), argv.data()));
  return parser;
}

}  // namespace

// The text, its field count, a field read and the text with that field set
// to "v" (appended, with separators, beyond the last).
TEST(String, FieldsAreCountedFoundAndSet) {
  const char* rows[] = {";:;1;1  v",           ":;:;1;2  v:",       "a::b;:;2;3  a:v:b",    "a::b;;3;3 b a::v",
                        "x|y|z;|;2;3 y x|v|z", "max;:;3;1  max::v", "40:400;:;0;2  40:400", ";|;2;1  |v"};
  for (const char* row : rows) {
    const std::vector<std::string> r = Split(row);
    const qzcString text(r[0]);
    const unsigned field = std::stoul(r[2]);
    EXPECT_EQ(std::to_string(text.CountFields(r[1])) + " " + text.GetField(field, r[1]) + " " +
                  qzcString(text).SetField(field, "v", r[1]),
              r[3]);
  }
  EXPECT_EQ(qzcString("cur_nm:ren_o").FindField("ren_o") * 10 + qzcString("cur_nm:ren_ox").FindField("ren_o"), 20u);
  qzcString window("40:400");  // numbers are formatted as %g
  EXPECT_EQ(window.SetField(2, 2.5).SetField(1, 1e6).SetField(3, -3), "1e+06:2.5:-3");
}

// Cut with dots when there is room for them, or padded with the fill; a wrong
// type keeps the text, and complains unless the text already fits.
TEST(String, JustifiedCutsWithDotsOrPadsWithTheFill) {
  const std::string rows =  // text;width;left|centre|right, rows between slashes
      "abcdefgh;7;abcd...|ab...gh|...efgh/abcdefgh;6;abc...|ab...h|...fgh/abcdefgh;5;ab...|a...h|...gh/"
      "abcdefgh;4;abcd|abgh|efgh/abcdefgh;1;a|h|h/abc;6;abc---|-abc--|---abc";
  for (const std::string& row : Split(rows, '/')) {
    const std::vector<std::string> r = Split(row);
    const qzcString text(r[0]);
    const unsigned width = std::stoul(r[1]);
    EXPECT_EQ(text.Justified(width, qzcString::Left, '-') + "|" + text.Justified(width, qzcString::Centre, '-') + "|" +
                  text.Justified(width, qzcString::Right, '-'),
              r[2]);
  }
  testing::internal::CaptureStderr();
  EXPECT_EQ(qzcString("abcd").Justified(4, 3) + qzcString("abc").Justified(6, -1), "abcdabc");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error qzcString::Justified: wrong justifying type!\n");
}

TEST(String, WordsSkipWhiteSpaceAndLinesDropEveryCarriageReturn) {
  std::istringstream words("  (0008,0016)\tUI\n\v 1 \"SOP Class\""), lines("one\r\ntw\ro\n\n  spaced  \nlast");
  std::string got;
  for (qzcString word; word.ReadWord(words);)
    got += word + "|";
  for (qzcString line; line.ReadLine(lines);)
    got += line + "|";
  EXPECT_EQ(got, "(0008,0016)|UI|1|\"SOP|Class\"|one|two||  spaced  |last|");
}

TEST(FileName, PiecesAndLists) {
  for (const char* pieces : {"dir/sub/|name.ext.gz|gz|name.ext", "C:\\images\\|ct.dcm|dcm|ct", "disk:|ct||ct",
                             "out/|||", "|.profile|profile|", "series.1/|image||image"}) {
    const qzcFileName name(qzcString(pieces).GetField(1, "|") + qzcString(pieces).GetField(2, "|"));
    EXPECT_EQ(
        name.GetDirectory() + "|" + name.GetName() + "|" + name.GetExtension() + "|" + name.GetNameWithoutExtension(),
        pieces);
  }
  qzcFileNameList list;
  list.assign(2, qzcFileName("a.dcm"));
  std::ostringstream out;
  list.Print(out);
  EXPECT_EQ(out.str(), "a.dcm\na.dcm\n");
}

// The file goes into more and more candidate folders; the first candidate in
// order that holds it wins, and the share folders need a subdirectory.
TEST(FileName, LibrarySearchTakesTheFirstCandidateInOrder) {
  const std::string name = "/medconv-library-search-test.din";  // in no system folder
  const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  char saved[4096];
  ASSERT_TRUE(getcwd(saved, sizeof saved) != nullptr);
  testsupport::TempDir home, work;
  for (const char* folder : {"/lib", "/share", "/share/dicom"})
    mkdir((home.path() + folder).c_str(), 0755);
  setenv("HOME", home.path().c_str(), 1);
  ASSERT_EQ(chdir(work.path().c_str()), 0);
  std::string found;
  for (const std::string& holder : {home.path() + "/share/dicom", home.path() + "/lib", std::string(".")}) {
    testsupport::WriteText(holder + name, holder);
    for (const char* subdirectory : {"dicom", ""})
      found += FindInLibraryDirectories(qzcFileName("/nowhere" + name), subdirectory).GetDirectory() + "|";
  }
  ASSERT_EQ(chdir(saved), 0);
  savedHome.empty() ? unsetenv("HOME") : setenv("HOME", savedHome.c_str(), 1);
  EXPECT_EQ(found, home.path() + "/share/dicom/||" + home.path() + "/lib/|" + home.path() + "/lib/|./|./|");
  // The system's folders, with files every Debian system has.
  if (testsupport::FileExists("/usr/lib/os-release"))
    EXPECT_EQ(FindInLibraryDirectories(qzcFileName("os-release"), "").GetDirectory().substr(0, 1), "/");
  if (testsupport::FileExists("/usr/share/common-licenses/GPL-3"))
    EXPECT_EQ(FindInLibraryDirectories(qzcFileName("GPL-3"), "common-licenses"), "/usr/share/common-licenses/GPL-3");
}

// The two queries follow different rules and may disagree: long names match
// by abbreviation, "--" alone matches them all, a longer word gives a value
// without being the option; clusters never hold long names, nor long words
// letters; the first matching word wins.
TEST(CmdLineOptions, MatchingRulesOfBothQueries) {
  const std::string rows =  // words;name;what HasOption and GetOptionValue give, rows between bars
      "--halve --win=40:400;halve;2 |--halve --win=40:400;win;2 40:400|--wa=n;warn;2 n|--wa;warn;2 -|"
      "--warn=n;wa;0 -|--names;name;0 s|-wp +w --warn=n;warn;2 n|--w -wp;w;1 p|--;help;2 -|--;w;0 -|"
      "--=7;frame;2 7|--name=y --name=n;name;2 y|-wp;p;1 |-wp;r;0 -|-p1 -r2w;r;1 2w|-d=el;d;1 el|-d=el;e;0 -|"
      "+w -5 a.dcm;w;3 |+w -5 a.dcm;5;1 ";
  for (const std::string& row : Split(rows, '|')) {
    const std::vector<std::string> r = Split(row);
    qzcCmdLineParser parser = ParserOf({});
    parser.AddParameters(r[0].c_str());
    const char* value = parser.GetOptionValue(r[1]);
    EXPECT_EQ(std::to_string(parser.HasOption(r[1])) + " " + (value ? value : "-"), r[2]) << row;
  }
}

// GetBoolOption and GetIntOption (the second with absent as -1), each with
// two fallbacks; numbers too large for 32 bits saturate. File arguments are
// the words that are not options, the first word being the program's name
// whatever it says; an option's name and value stop at a blank.
TEST(CmdLineOptions, ValuesAndFileArguments) {
  qzcCmdLineParser parser = ParserOf({"a.dcm", "--out", "--one=1", "--zero=0", "--up=Y", "--down=N", "--yes=yes",
                                      "--no=no", "--maybe=maybe", "--warning", "--step=12abc", "--empty=", "--minus=-3",
                                      "--huge=99999999999", "-r2", "--to=/a b", "my file.dcm"});
  std::string got;
  for (const char* name : {"out", "one", "zero", "up", "down", "yes", "no", "maybe", "absent", "warn"})
    got += std::to_string(parser.GetBoolOption(name, false)) + std::to_string(parser.GetBoolOption(name, true)) + " ";
  for (const char* name : {"step", "empty", "minus", "absent", "r", "huge"})
    got +=
        std::to_string(parser.GetIntOption(name, 7)) + "/" + std::to_string(parser.GetIntOption(name, 7, true)) + " ";
  EXPECT_EQ(got, "11 11 00 11 00 11 00 01 01 01 12/12 7/7 -1/-1 7/-1 2/2 2147483647/2147483647 ");
  EXPECT_NE(0, parser.AddParameters("  --to=/env   b\tc.dcm ") && parser.AddParameters(nullptr));
  for (int n = 0; n < 5; ++n)
    got += std::string(parser.GetFileArgument(n) ? parser.GetFileArgument(n) : "-") + "|";
  EXPECT_EQ(got.substr(got.find("647 ") + 4) + parser.GetOptionValue("to"), "-|a.dcm|my file.dcm|b\tc.dcm|-|/a");
  const char* argv[] = {"--help", "-w"};
  qzcCmdLineParser named;
  EXPECT_NE(0, named.AddParameters(1, argv) && named.AddParameters(1, nullptr));
  EXPECT_EQ(0, named.HasOption("help"));
  named.AddParameters(2, argv);
  EXPECT_EQ(std::to_string(named.HasOption("help")) + std::to_string(named.GetCount()), "23");
  named.Reset();
  EXPECT_EQ(0, named.GetCount() + named.HasOption("help"));
}
