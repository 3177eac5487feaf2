// Strings, file names and the library-directory search, the command-line
// parser, reports and their channels, and index ranges.
#include "lib/qzcCmdLineParser.h"
#include "lib/qzcError.h"
#include "lib/qzcFileNameList.h"
#include "lib/qzcIndexRange.h"
#include "lib/qzcWarning.h"
#include "ReportCapture.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <regex>

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

std::string Printed(const qzcObject& object) {
  std::ostringstream os;
  object.Print(os);
  return os.str();
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
}

// Cut with dots when there is room for them, or padded with the fill.
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
}

// A word ends at white space; a line ends at a new line or at the end of the
// stream, and drops every carriage return; nothing left is no word nor line.
TEST(String, WordsAndLines) {
  std::istringstream words("  (0008,0016)\tUI\n\v "), lines("one\r\ntw\ro\n\n  spaced  \nlast"), empty("");
  qzcString word, second;
  std::string got = (word.ReadWord(words), second.ReadWord(words), word + "|" + second + "|");
  EXPECT_TRUE(qzcString().ReadWord(words).fail() && qzcString().ReadLine(empty).fail());
  for (qzcString line; line.ReadLine(lines);)
    got += line + "|";
  EXPECT_EQ(got, "(0008,0016)|UI|one|two||  spaced  |last|");
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
  if (testsupport::FileExists("/usr/lib/os-release")) {  // a system folder
    EXPECT_EQ(FindInLibraryDirectories(qzcFileName("os-release"), "").GetDirectory().substr(0, 1), "/");
  }
}

// The queries may disagree: long names match by abbreviation, "--" matches
// all, a longer word gives a value without being the option; clusters never
// hold long names, nor long words letters; the first matching word wins.
TEST(CmdLineOptions, MatchingRulesOfBothQueries) {
  const std::string rows =  // words;name;what HasOption and GetOptionValue give, rows between bars
      "--halve --win=40:400;halve;2 |--halve --win=40:400;win;2 40:400|--wa=n;warn;2 n|--wa;warn;2 -|"
      "--warn=n;wa;0 -|--names;name;0 s|-wp +w --warn=n;warn;2 n|--w -wp;w;1 p|--;help;2 -|--;w;0 -|"
      "--=7;frame;2 7|--name=y --name=n;name;2 y|-wp;p;1 |-wp;r;0 -|-p1 -r2w;r;1 2w|-d=el;d;1 el|-d=el;e;0 -|"
      "+w -5 a.dcm;w;3 |+w -5 a.dcm;5;1 |a.dcm;x;0 -";
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
// the words that are not options; an option's name and value stop at a blank.
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
  EXPECT_NE(0, parser.AddParameters(1, nullptr));  // nothing to add
  for (int n = 0; n < 5; ++n)
    got += std::string(parser.GetFileArgument(n) ? parser.GetFileArgument(n) : "-") + "|";
  EXPECT_EQ(got.substr(got.find("647 ") + 4) + parser.GetOptionValue("to"), "-|a.dcm|my file.dcm|b\tc.dcm|-|/a");
  parser.Reset();
  EXPECT_EQ(0, parser.GetCount() + parser.HasOption("out"));
}

// Kind and time, the signature in 76 columns (cut with dots only beyond them),
// the message if any: whole, with bytes outside printable ASCII escaped.
TEST(Report, TextForm) {
  EXPECT_TRUE(
      std::regex_match(Printed(qzcError("bool f( int )", "value %d of %s", 7, "x")),
                       std::regex(R"(>> \[E\] \[\d\d:\d\d:\d\d\]\n   bool f\( int \) {63}\n   value 7 of x\n)")));
  const std::string exact(76, 's'), longText(5000, 'z');
  const auto body = [](const qzcException& e) { return Printed(e).substr(18); };
  EXPECT_EQ(Printed(qzcWarning("void g()", "%s", "")).substr(0, 7) + body(qzcWarning("void g()", "%s", "")) +
                body(qzcError(exact.c_str())) + body(qzcError((exact + "abcd").c_str())),
            ">> [W]    void g()" + std::string(68, ' ') + "\n   " + exact + "\n   " + std::string(73, 's') + "...\n");
  EXPECT_EQ(qzcError("f", "<%s>", longText.c_str()).GetMessage(), "<" + longText + ">");
  EXPECT_EQ(qzcError("f", "wrong VR %s!", "OK\n\x1b[\x7f\xc3\xa9 ~").GetMessage(),
            "wrong VR OK\\x0A\\x1B[\\x7F\\xC3\\xA9 ~!");
  std::ostringstream failed;  // a failed stream is told on standard error
  failed.setstate(std::ios::badbit);
  testing::internal::CaptureStderr();
  qzcError("f", "m").Print(failed);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("While sending contents"), std::string::npos);
}

TEST(Objects, ReportChannelsShowAndCountTheirOwnReports) {
  ReportCapture reports;
  qzcError("e", "one").Report();
  qzcWarning("w", "two").Report();
  qzcException::warningChannel.enabled = false;  // silent channels still count
  qzcWarning("w", "hidden").Report();
  EXPECT_EQ(std::regex_replace(reports.Errors() + "/" + reports.Warnings(), std::regex(R"(\[..:..:..\]| +(?=\n))"), ""),
            ">> [E] \n   e\n   one\n/>> [W] \n   w\n   two\n");
  EXPECT_EQ(reports.ErrorCount() + 10 * reports.WarningCount(), 21u);
}

// Until the driver raises it, the error limit is 1; the report is shown first.
TEST(ReportDeathTest, ReachingTheChannelLimitEndsTheProcessWithStatusOne) {
  const auto reports = [](int n) {
    qzcException::errorChannel = {{nullptr, true}, 65533, 65535};  // silent
    for (int i = 0; i < n; ++i)
      qzcError("e", "%d", i).Report();
    std::exit(0);
  };
  EXPECT_EXIT(reports(2), testing::ExitedWithCode(1), "");
  EXPECT_EXIT(reports(1), testing::ExitedWithCode(0), "");
  const auto firstError = [] {
    qzcException::errorChannel.stream = &std::cerr, qzcException::errorChannel.count = 0;
    qzcError("e", "first").Report();
    std::exit(0);
  };
  EXPECT_EXIT(firstError(), testing::ExitedWithCode(1), "   first");
}

// Set, the constructor and the single-field changes refuse a range heading
// away from its last index (rows with nothing after ";"), keeping what they
// had. Iteration runs while the index differs from End(), also over ranges
// wider than 16 bits.
TEST(Objects, IndexRangesHeadingAwayAreRefused) {
  ReportCapture reports;
  const auto shown = [](const qzcIndexRange& range) {
    std::string text = Printed(range).substr(15);
    for (qzcIndex i = range.First(); i != range.End() && text.size() < 99; i = qzcIndex(i + range.Step()))
      text += " " + std::to_string(i);
    return text;
  };
  std::istringstream rows(
      "1 10 3;1...10 by 3] 1 4 7 10|5 1 -2;5...1 by -2] 5 3 1|4 4 -1;4...4] 4|1 5 -1;|3 3 0;|5 1 1;|"
      "32760 32767 5;32760...32767 by 5] 32760 32765|-30000 30000 25000;-30000...30000 by 25000] -30000 -5000 20000");
  for (std::string row; std::getline(rows, row, '|');) {
    std::istringstream numbers(row);
    qzcIndex first, last, step;
    numbers >> first >> last >> step;
    qzcIndexRange range(2, 8, 2);
    const std::string want = row.substr(row.find(';') + 1);
    EXPECT_EQ(range.Set(first, last, step), !want.empty());
    EXPECT_EQ(shown(range), want.empty() ? "2...8 by 2] 2 4 6 8" : want);
  }
  EXPECT_EQ(shown(qzcIndexRange(3, 1, 1)), "0...10] 0 1 2 3 4 5 6 7 8 9 10");
  qzcIndexRange range(1, 10, 1);
  EXPECT_EQ(shown(range.First(11).Last(0).Step(0).Step(-1)), "1...10] 1 2 3 4 5 6 7 8 9 10");
  EXPECT_EQ(shown(range.Last(10).First(10).Step(-1).Last(9).First(11)), "11...9] 11 10 9");
  EXPECT_EQ(reports.ErrorCount(), 9u);
}
