// Command-line parser: word splitting and the matching rules of long and
// short options, abbreviations and the disagreements between the queries.
#include "lib/qzcCmdLineParser.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

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
      {{"--halve=3"}, "halve", 2, "3"},
      // abbreviations
      {{"--warn=n"}, "warn", 2, "n"},
      {{"--wa=n"}, "warn", 2, "n"},
      {{"--wa"}, "warn", 2, "<none>"},
      {{"--warn=n"}, "wa", 0, "<none>"},
      // a longer word: no option, but a value
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
      // short clusters give the rest of the word as value
      {{"-wp"}, "w", 1, "p"},
      {{"-wp"}, "p", 1, ""},
      {{"-wp"}, "r", 0, "<none>"},
      {{"-p1", "-r2w"}, "r", 1, "2w"},
      // an equals sign ends the letters
      {{"-d=el"}, "d", 1, "el"},
      {{"-d=el"}, "e", 0, "<none>"},
      // plus clusters and digit words
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

TEST(CmdLineOptions, BooleanAndIntegerValues) {
  const qzcCmdLineParser parser =
      ParserOf({"--out", "--one=1", "--zero=0", "--up=Y", "--down=N", "--yes=yes", "--no=no", "--maybe=maybe",
                "--warning", "--step=12abc", "--empty=", "--minus=-3", "--huge=99999999999", "-r2"});
  const struct {
    const char* name;
    bool fallback, value;
  } bools[] = {
      {"out", false, true},    {"one", false, true},   {"zero", true, false}, {"up", false, true},
      {"down", true, false},   {"yes", false, true},   {"no", true, false},   {"maybe", true, true},
      {"maybe", false, false}, {"absent", true, true}, {"warn", true, true},  {"warn", false, false},
  };
  for (const auto& b : bools)
    EXPECT_EQ(b.value, parser.GetBoolOption(b.name, b.fallback)) << b.name << " " << b.fallback;

  const struct {
    const char* name;
    int fallback;
    bool flag;
    int value;
  } ints[] = {
      {"step", 1, false, 12},
      {"empty", 7, false, 7},
      {"empty", 7, true, 7},
      {"minus", 7, false, -1},
      {"absent", 7, false, 7},
      {"absent", 7, true, -1},
      {"r", 0, false, 2},
      // too large for 32 bits: saturates rather than wrapping to a small number
      {"huge", 0, false, 2147483647},
  };
  for (const auto& i : ints)
    EXPECT_EQ(i.value, parser.GetIntOption(i.name, i.fallback, i.flag)) << i.name << " " << i.flag;
}

// Text (the environment's words) is split at blanks only and comes after
// the command line; file arguments are the words that are not options.
TEST(CmdLineWords, SplittingFileArgumentsAndReset) {
  qzcCmdLineParser parser = ParserOf({"--to=/cmd", "-w", "a.dcm", "-5", "my file.dcm"});
  EXPECT_NE(0, parser.AddParameters("  --to=/env   --step=2 b\tc.dcm "));
  EXPECT_NE(0, parser.AddParameters("   "));
  EXPECT_NE(0, parser.AddParameters(static_cast<const char*>(nullptr)));
  EXPECT_EQ(9, parser.GetCount());
  EXPECT_EQ("/cmd", ValueOf(parser, "to"));
  EXPECT_EQ(2, parser.GetIntOption("step", 1));
  const char* expected[] = {nullptr, "a.dcm", "my file.dcm", "b\tc.dcm", nullptr};
  for (int n = 0; n < 5; ++n)
    EXPECT_STREQ(expected[n], parser.GetFileArgument(n)) << n;

  // The first word is the program's name, whatever it says.
  const char* argv[] = {"--help", "-w"};
  qzcCmdLineParser named;
  named.AddParameters(1, argv);
  EXPECT_NE(0, named.AddParameters(1, nullptr));
  EXPECT_EQ(1, named.GetCount());
  EXPECT_EQ(0, named.HasOption("help"));
  named.AddParameters(2, argv);
  EXPECT_EQ(2, named.HasOption("help"));

  EXPECT_NE(0, parser.ExpandList(10));
  parser.Reset();
  EXPECT_EQ(0, parser.GetCount());
  EXPECT_EQ(0, parser.HasOption("to"));
}
