// Strings: field operations, justification, case folding and the two token
// readers.
#include "lib/qzcString.h"

#include <gtest/gtest.h>

#include <sstream>

TEST(StringFields, CountGetFindAndSet) {
  const struct {
    const char *text, *sep;
    unsigned count, field;
    const char* got;
  } rows[] = {
      {"", ":", 1, 1, ""},
      {"40:400", ":", 2, 0, ""},
      {":", ":", 2, 1, ""},
      {"a::b", ":", 3, 2, ""},
      {"a::b", ":", 3, 3, "b"},
      {"x|y|z", "|", 3, 2, "y"},
      {"max", ":", 1, 2, ""},
      {"max:acc.dcm", "", 2, 2, "acc.dcm"},
      {"max:acc.dcm", ":", 2, 1, "max"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.text) + " field " + std::to_string(r.field));
    EXPECT_EQ(r.count, qzcString(r.text).CountFields(r.sep));
    EXPECT_EQ(r.got, qzcString(r.text).GetField(r.field, r.sep));
  }
  const struct {
    const char *text, *field;
    unsigned index;
  } finds[] = {
      {"cur_nm:ren_o", "ren_o", 2},
      {"cur_nm:ren_ox", "ren_o", 0},
      {"cur_nm:ren_o", "cur_nm", 1},
      {"a::b", "", 2},
      {"", "", 1},
      {"ab", "a", 0},
  };
  for (const auto& f : finds)
    EXPECT_EQ(f.index, qzcString(f.text).FindField(f.field, ":")) << f.text << " / " << f.field;

  const struct {
    const char* text;
    unsigned field;
    const char *value, *sep, *result;
  } sets[] = {
      {"a", 3, "x", ":", "a::x"},
      {"a:b:c:d", 3, "x", ":", "a:b:x:d"},
      {"old:keep", 1, "new", ":", "new:keep"},
      {"a:b", 2, "longer", ":", "a:longer"},
      {"", 2, "v", "|", "|v"},
      {"a:b", 0, "x", ":", "a:b"},
  };
  for (const auto& r : sets) {
    qzcString text(r.text);
    EXPECT_EQ(r.result, text.SetField(r.field, r.value, r.sep)) << r.text;
  }
  // Numbers are formatted as %g.
  qzcString window("40:400");
  EXPECT_EQ("1e+06:2.5:-3", window.SetField(2, 2.5, ":").SetField(1, 1e6, ":").SetField(3, -3, ":"));
}

TEST(StringJustified, CutsWithDotsOrPadsWithTheFill) {
  const auto L = qzcString::Left, R = qzcString::Right, C = qzcString::Centre;
  const struct {
    const char* text;
    unsigned width;
    int type;
    char fill;
    const char* result;
  } rows[] = {
      {"abcdefgh", 6, L, ' ', "abc..."},
      {"abcdefgh", 6, R, ' ', "...fgh"},
      {"abcdefgh", 6, C, ' ', "ab...h"},
      {"abcdefgh", 5, L, ' ', "ab..."},
      {"abcdefgh", 5, R, ' ', "...gh"},
      {"abcdefgh", 5, C, ' ', "a...h"},
      {"abcdefgh", 4, L, ' ', "abcd"},
      {"abcdefgh", 4, R, ' ', "efgh"},
      {"abcdefgh", 4, C, ' ', "abgh"},
      {"abcdefgh", 7, C, ' ', "ab...gh"},
      {"abcdefgh", 0, C, ' ', ""},
      {"abcdefgh", 1, C, ' ', "h"},
      {"abc", 6, L, '-', "abc---"},
      {"abc", 6, R, '-', "---abc"},
      {"abc", 6, C, '-', "-abc--"},
      // a wrong type keeps the text, and complains unless it already fits
      {"abcd", 4, 3, ' ', "abcd"},
      {"abcdefgh", 4, 3, ' ', "abcdefgh"},
      {"abc", 6, -1, ' ', "abc"},
  };
  testing::internal::CaptureStderr();
  for (const auto& r : rows)
    EXPECT_EQ(r.result, qzcString(r.text).Justified(r.width, r.type, r.fill))
        << r.text << " width " << r.width << " type " << r.type;
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Error qzcString::Justified: wrong justifying type!\n"
            "Error qzcString::Justified: wrong justifying type!\n");
}

TEST(StringReaders, WordsSkipWhiteSpaceAndLinesDropEveryCarriageReturn) {
  const qzcString name("CT.Image-01.DCM");
  EXPECT_EQ("ct.image-01.dcm", name.ToLower());

  std::istringstream words("  (0008,0016)\tUI\n\v 1 \"SOP Class\"");
  qzcString word;
  for (const char* expected : {"(0008,0016)", "UI", "1", "\"SOP", "Class\""}) {
    ASSERT_TRUE(word.ReadWord(words));
    EXPECT_EQ(expected, word);
  }
  EXPECT_FALSE(word.ReadWord(words));
  EXPECT_EQ("", word);

  std::istringstream lines("one\r\ntw\ro\n\n  spaced  \nlast");
  qzcString line;
  for (const char* expected : {"one", "two", "", "  spaced  ", "last"}) {
    ASSERT_TRUE(line.ReadLine(lines));
    EXPECT_EQ(expected, line);
  }
  EXPECT_FALSE(line.ReadLine(lines));
  EXPECT_EQ("", line);
  std::istringstream failed("text\n");
  failed.setstate(std::ios::failbit);
  EXPECT_FALSE(line.ReadLine(failed));
}
