// qzcCmdLineParser: word splitting and the matching rules of long and short
// options, abbreviations and the disagreements between the queries included.
#include "lib/qzcCmdLineParser.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace {

// A parser over the program name and the words given.
qzcCmdLineParser ParserOf(std::initializer_list<const char*> arguments)
{
    std::vector<const char*> argv{"medconv"};
    argv.insert(argv.end(), arguments);
    qzcCmdLineParser parser;
    EXPECT_NE(0, parser.AddParameters(static_cast<int>(argv.size()), argv.data()));
    return parser;
}

// The value as a string, or "<none>".
std::string ValueOf(const qzcCmdLineParser& parser, const std::string& name)
{
    const char* value = parser.GetOptionValue(name);
    return value ? value : "<none>";
}

} // namespace

TEST(CmdLineLongOptions, ValueFollowsTheEqualsSign)
{
    const qzcCmdLineParser parser = ParserOf({"--halve", "--win=40:400"});
    EXPECT_EQ(2, parser.HasOption("halve"));
    EXPECT_EQ("", ValueOf(parser, "halve"));
    EXPECT_EQ(2, parser.HasOption("win"));
    EXPECT_EQ("40:400", ValueOf(parser, "win"));
    EXPECT_EQ(0, parser.HasOption("rename"));
    EXPECT_EQ("<none>", ValueOf(parser, "rename"));

    const qzcCmdLineParser withValue = ParserOf({"--halve=3"});
    EXPECT_EQ(2, withValue.HasOption("halve"));
    EXPECT_EQ("3", ValueOf(withValue, "halve"));
}

TEST(CmdLineLongOptions, AbbreviationsMatch)
{
    for (const char* word : {"--warn=n", "--wa=n"}) {
        const qzcCmdLineParser parser = ParserOf({word});
        EXPECT_EQ(2, parser.HasOption("warn")) << word;
        EXPECT_EQ("n", ValueOf(parser, "warn")) << word;
        EXPECT_FALSE(parser.GetBoolOption("warn", true)) << word;
    }
    const qzcCmdLineParser bare = ParserOf({"--wa"});
    EXPECT_EQ(2, bare.HasOption("warn"));
}

TEST(CmdLineLongOptions, BareDoubleHyphenMatchesEveryLongName)
{
    const qzcCmdLineParser parser = ParserOf({"--"});
    EXPECT_EQ(2, parser.HasOption("help"));
    EXPECT_EQ(2, parser.HasOption("version"));
    EXPECT_EQ("<none>", ValueOf(parser, "help"));
    EXPECT_EQ(0, parser.HasOption("w"));

    const qzcCmdLineParser emptyName = ParserOf({"--=7"});
    EXPECT_EQ(2, emptyName.HasOption("frame"));
    EXPECT_EQ("7", ValueOf(emptyName, "frame"));
}

TEST(CmdLineLongOptions, HasOptionAndValueMayDisagree)
{
    const qzcCmdLineParser abbreviated = ParserOf({"--nam"});
    EXPECT_EQ(2, abbreviated.HasOption("name"));
    EXPECT_EQ("<none>", ValueOf(abbreviated, "name"));

    const qzcCmdLineParser longer = ParserOf({"--names"});
    EXPECT_EQ(0, longer.HasOption("name"));
    EXPECT_EQ("s", ValueOf(longer, "name"));

    const qzcCmdLineParser warning = ParserOf({"--warning"});
    EXPECT_EQ(0, warning.HasOption("warn"));
    EXPECT_EQ("ing", ValueOf(warning, "warn"));
    EXPECT_TRUE(warning.GetBoolOption("warn", true));
    EXPECT_FALSE(warning.GetBoolOption("warn", false));
}

TEST(CmdLineLongOptions, FirstMatchingWordWins)
{
    const qzcCmdLineParser parser = ParserOf({"--name=y", "--name=n"});
    EXPECT_EQ("y", ValueOf(parser, "name"));
    EXPECT_TRUE(parser.GetBoolOption("name", false));

    // The command line comes before the environment words.
    qzcCmdLineParser withEnvironment = ParserOf({"--to=/cmd"});
    withEnvironment.AddParameters("--to=/env --step=2");
    EXPECT_EQ("/cmd", ValueOf(withEnvironment, "to"));
    EXPECT_EQ(2, withEnvironment.GetIntOption("step", 1));
}

TEST(CmdLineLongOptions, NameAndValueStopAtABlank)
{
    const qzcCmdLineParser parser = ParserOf({"--to=/a b", "my file.dcm"});
    EXPECT_EQ("/a", ValueOf(parser, "to"));
    EXPECT_STREQ("my file.dcm", parser.GetFileArgument(1));
}

TEST(CmdLineShortOptions, ClustersGiveTheRestAsValue)
{
    const qzcCmdLineParser cluster = ParserOf({"-wp"});
    EXPECT_EQ(1, cluster.HasOption("w"));
    EXPECT_EQ(1, cluster.HasOption("p"));
    EXPECT_EQ("p", ValueOf(cluster, "w"));
    EXPECT_EQ("", ValueOf(cluster, "p"));
    EXPECT_EQ(0, cluster.HasOption("r"));

    const qzcCmdLineParser digits = ParserOf({"-p1", "-r2"});
    EXPECT_EQ("1", ValueOf(digits, "p"));
    EXPECT_EQ(2, digits.GetIntOption("r", 0));

    const qzcCmdLineParser text = ParserOf({"-t1w"});
    EXPECT_EQ("1w", ValueOf(text, "t"));
    EXPECT_EQ(1, text.GetIntOption("t", 0));
    EXPECT_EQ("", ValueOf(text, "w"));
}

TEST(CmdLineShortOptions, EqualsSignEndsTheLetters)
{
    const qzcCmdLineParser parser = ParserOf({"-d=el"});
    EXPECT_EQ(1, parser.HasOption("d"));
    EXPECT_EQ("el", ValueOf(parser, "d"));
    EXPECT_EQ(0, parser.HasOption("e"));
    EXPECT_EQ(0, parser.HasOption("l"));
    EXPECT_EQ("<none>", ValueOf(parser, "e"));
}

TEST(CmdLineShortOptions, PlusClustersAndDigitWords)
{
    const qzcCmdLineParser parser = ParserOf({"+w", "-5", "a.dcm"});
    EXPECT_EQ(3, parser.HasOption("w"));
    EXPECT_EQ(1, parser.HasOption("5"));
    EXPECT_STREQ("a.dcm", parser.GetFileArgument(1));
    EXPECT_EQ(nullptr, parser.GetFileArgument(2));
}

TEST(CmdLineValues, BooleanValues)
{
    const qzcCmdLineParser yes = ParserOf({"--out=yes"});
    EXPECT_TRUE(yes.GetBoolOption("out", false));
    const qzcCmdLineParser no = ParserOf({"--out=no"});
    EXPECT_FALSE(no.GetBoolOption("out", true));
    const qzcCmdLineParser maybe = ParserOf({"--out=maybe"});
    EXPECT_TRUE(maybe.GetBoolOption("out", true));
    EXPECT_FALSE(maybe.GetBoolOption("out", false));
    const qzcCmdLineParser bare = ParserOf({"--out", "--one=1", "--zero=0", "--up=Y", "--down=N"});
    EXPECT_TRUE(bare.GetBoolOption("out", false));
    EXPECT_TRUE(bare.GetBoolOption("one", false));
    EXPECT_FALSE(bare.GetBoolOption("zero", true));
    EXPECT_TRUE(bare.GetBoolOption("up", false));
    EXPECT_FALSE(bare.GetBoolOption("down", true));
    EXPECT_TRUE(bare.GetBoolOption("absent", true));
}

TEST(CmdLineValues, IntegerValues)
{
    const qzcCmdLineParser parser =
        ParserOf({"--step=12abc", "--empty=", "--minus=-3", "--plus=+3", "--huge=99999999999"});
    EXPECT_EQ(12, parser.GetIntOption("step", 1));
    EXPECT_EQ(7, parser.GetIntOption("empty", 7));
    EXPECT_EQ(7, parser.GetIntOption("empty", 7, true));
    EXPECT_EQ(-1, parser.GetIntOption("minus", 7));
    EXPECT_EQ(-1, parser.GetIntOption("plus", 7));
    EXPECT_EQ(7, parser.GetIntOption("absent", 7));
    EXPECT_EQ(-1, parser.GetIntOption("absent", 7, true));
    // Too large for 32 bits: saturates rather than wrapping to a small number.
    EXPECT_EQ(2147483647, parser.GetIntOption("huge", 0));
}

TEST(CmdLineWords, TextIsSplitAtBlanksOnly)
{
    qzcCmdLineParser parser = ParserOf({});
    EXPECT_NE(0, parser.AddParameters("  -w   --name  a.dcm "));
    EXPECT_EQ(4, parser.GetCount());
    EXPECT_EQ("", ValueOf(parser, "name"));
    EXPECT_EQ("", ValueOf(parser, "w"));
    EXPECT_STREQ("a.dcm", parser.GetFileArgument(1));

    qzcCmdLineParser tabs = ParserOf({});
    tabs.AddParameters("a\tb c");
    EXPECT_EQ(3, tabs.GetCount());
    EXPECT_STREQ("a\tb", tabs.GetFileArgument(1));

    qzcCmdLineParser blank = ParserOf({});
    EXPECT_NE(0, blank.AddParameters("   "));
    EXPECT_NE(0, blank.AddParameters(""));
    EXPECT_EQ(1, blank.GetCount());
}

TEST(CmdLineWords, FileArgumentsSkipOptionsAndTheProgramName)
{
    const qzcCmdLineParser parser = ParserOf({"-w", "a.dcm", "--to=/tmp", "b.dcm"});
    EXPECT_STREQ("a.dcm", parser.GetFileArgument(1));
    EXPECT_STREQ("b.dcm", parser.GetFileArgument(2));
    EXPECT_EQ(nullptr, parser.GetFileArgument(3));
    EXPECT_EQ(nullptr, parser.GetFileArgument(0));
}

TEST(CmdLineWords, ProgramNameIsNeverAnOption)
{
    const char* argv[] = {"--help", "-w"};
    qzcCmdLineParser parser;
    parser.AddParameters(1, argv);
    EXPECT_EQ(0, parser.HasOption("help"));
    EXPECT_EQ(nullptr, parser.GetFileArgument(1));
    parser.AddParameters(2, argv);
    EXPECT_EQ(2, parser.HasOption("help"));
    EXPECT_EQ(1, parser.HasOption("w"));
}

TEST(CmdLineWords, ResetForgetsEverything)
{
    qzcCmdLineParser parser = ParserOf({"--win=1:2", "a.dcm"});
    EXPECT_NE(0, parser.ExpandList(10));
    EXPECT_EQ(3, parser.GetCount());
    parser.Reset();
    EXPECT_EQ(0, parser.GetCount());
    EXPECT_EQ(0, parser.HasOption("win"));
    EXPECT_EQ(nullptr, parser.GetFileArgument(1));
}
