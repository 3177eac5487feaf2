// qzcString: field operations, justification, case folding and the two
// token readers.
#include "lib/qzcString.h"

#include <gtest/gtest.h>

#include <sstream>

TEST(StringFields, CountFieldsCountsEverySeparator)
{
    EXPECT_EQ(1u, qzcString("").CountFields(":"));
    EXPECT_EQ(2u, qzcString("40:400").CountFields(":"));
    EXPECT_EQ(2u, qzcString(":").CountFields(":"));
    EXPECT_EQ(3u, qzcString("a::b").CountFields(":"));
    EXPECT_EQ(3u, qzcString("x|y|z").CountFields("|"));
}

TEST(StringFields, GetFieldReturnsEmptyBeyondTheLastField)
{
    EXPECT_EQ("", qzcString("max").GetField(2, ":"));
    EXPECT_EQ("acc.dcm", qzcString("max:acc.dcm").GetField(2, ":"));
    EXPECT_EQ("max", qzcString("max:acc.dcm").GetField(1, ":"));
    EXPECT_EQ("", qzcString("a::b").GetField(2, ":"));
    EXPECT_EQ("b", qzcString("a::b").GetField(3, ":"));
    EXPECT_EQ("", qzcString("a:b").GetField(0, ":"));
    EXPECT_EQ("", qzcString("").GetField(1, ":"));
    EXPECT_EQ("y", qzcString("x|y").GetField(2, "|"));
}

TEST(StringFields, SetFieldReplacesOrAppendsSeparators)
{
    qzcString shortText("a");
    EXPECT_EQ("a::x", shortText.SetField(3, "x", ":"));
    qzcString longText("a:b:c:d");
    EXPECT_EQ("a:b:x:d", longText.SetField(3, "x", ":"));
    qzcString first("old:keep");
    EXPECT_EQ("new:keep", first.SetField(1, "new", ":"));
    qzcString last("a:b");
    EXPECT_EQ("a:longer", last.SetField(2, "longer", ":"));
    qzcString empty;
    EXPECT_EQ("|v", empty.SetField(2, "v", "|"));
}

TEST(StringFields, SetFieldFormatsNumbersAsPercentG)
{
    qzcString window("40:400");
    EXPECT_EQ("40:2.5", window.SetField(2, 2.5, ":"));
    EXPECT_EQ("1e+06:2.5", window.SetField(1, 1e6, ":"));
    EXPECT_EQ("1e+06:2.5:-3", window.SetField(3, -3, ":"));
}

TEST(StringFields, FindFieldNeedsAnExactMatch)
{
    EXPECT_EQ(2u, qzcString("cur_nm:ren_o").FindField("ren_o", ":"));
    EXPECT_EQ(0u, qzcString("cur_nm:ren_ox").FindField("ren_o", ":"));
    EXPECT_EQ(1u, qzcString("cur_nm:ren_o").FindField("cur_nm", ":"));
    EXPECT_EQ(2u, qzcString("a::b").FindField("", ":"));
    EXPECT_EQ(1u, qzcString("").FindField("", ":"));
    EXPECT_EQ(0u, qzcString("ab").FindField("a", ":"));
}

TEST(StringJustified, CutsLongTextWithDots)
{
    const qzcString letters("abcdefgh");
    EXPECT_EQ("abc...", letters.Justified(6, qzcString::Left, ' '));
    EXPECT_EQ("...fgh", letters.Justified(6, qzcString::Right, ' '));
    EXPECT_EQ("ab...h", letters.Justified(6, qzcString::Centre, ' '));
    EXPECT_EQ("abcd", letters.Justified(4, qzcString::Left, ' '));
    EXPECT_EQ("efgh", letters.Justified(4, qzcString::Right, ' '));
    EXPECT_EQ("abgh", letters.Justified(4, qzcString::Centre, ' '));
    EXPECT_EQ("ab...gh", letters.Justified(7, qzcString::Centre, ' '));
    EXPECT_EQ("", letters.Justified(0, qzcString::Centre, ' '));
    EXPECT_EQ("h", letters.Justified(1, qzcString::Centre, ' '));
}

TEST(StringJustified, PadsShortTextWithTheFill)
{
    const qzcString letters("abc");
    EXPECT_EQ("abc---", letters.Justified(6, qzcString::Left, '-'));
    EXPECT_EQ("---abc", letters.Justified(6, qzcString::Right, '-'));
    EXPECT_EQ("-abc--", letters.Justified(6, qzcString::Centre, '-'));
    EXPECT_EQ("abc", letters.Justified(3, qzcString::Centre, '-'));
    EXPECT_EQ(76u, letters.Justified(76, qzcString::Left, ' ').size());
}

TEST(StringJustified, WrongTypeComplainsAndKeepsTheText)
{
    testing::internal::CaptureStderr();
    const qzcString result = qzcString("abcdefgh").Justified(4, 3, ' ');
    EXPECT_EQ("Error qzcString::Justified: wrong justifying type!\n",
              testing::internal::GetCapturedStderr());
    EXPECT_EQ("abcdefgh", result);

    // A text that already has the width is returned without a complaint.
    testing::internal::CaptureStderr();
    EXPECT_EQ("abcd", qzcString("abcd").Justified(4, 3, ' '));
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
}

TEST(StringCase, ToLowerLeavesTheOriginal)
{
    const qzcString name("CT.Image-01.DCM");
    EXPECT_EQ("ct.image-01.dcm", name.ToLower());
    EXPECT_EQ("CT.Image-01.DCM", name);
}

TEST(StringReaders, WordReaderSkipsWhiteSpaceAndFailsAtTheEnd)
{
    std::istringstream in("  (0008,0016)\tUI\n\v 1 \"SOP Class\"");
    qzcString word;
    ASSERT_TRUE(word.ReadWord(in));
    EXPECT_EQ("(0008,0016)", word);
    ASSERT_TRUE(word.ReadWord(in));
    EXPECT_EQ("UI", word);
    ASSERT_TRUE(word.ReadWord(in));
    EXPECT_EQ("1", word);
    ASSERT_TRUE(word.ReadWord(in));
    EXPECT_EQ("\"SOP", word);
    ASSERT_TRUE(word.ReadWord(in));
    EXPECT_EQ("Class\"", word);
    EXPECT_FALSE(word.ReadWord(in));
    EXPECT_EQ("", word);

    std::istringstream blanks(" \t\n ");
    EXPECT_FALSE(word.ReadWord(blanks));
}

TEST(StringReaders, LineReaderDropsEveryCarriageReturn)
{
    std::istringstream in("one\r\ntw\ro\n\n  spaced  \nlast");
    qzcString line;
    ASSERT_TRUE(line.ReadLine(in));
    EXPECT_EQ("one", line);
    ASSERT_TRUE(line.ReadLine(in));
    EXPECT_EQ("two", line);
    ASSERT_TRUE(line.ReadLine(in));
    EXPECT_EQ("", line);
    ASSERT_TRUE(line.ReadLine(in));
    EXPECT_EQ("  spaced  ", line);
    ASSERT_TRUE(line.ReadLine(in));
    EXPECT_EQ("last", line);
    EXPECT_FALSE(line.ReadLine(in));
}

TEST(StringReaders, LineReaderFailsOnAnEmptyOrFailedStream)
{
    qzcString line("stale");
    std::istringstream empty("");
    EXPECT_FALSE(line.ReadLine(empty));
    EXPECT_EQ("", line);

    std::istringstream failed("text\n");
    failed.setstate(std::ios::failbit);
    EXPECT_FALSE(line.ReadLine(failed));
}
