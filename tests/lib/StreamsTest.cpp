// Binary file streams: byte layouts under every policy, string rules, reads
// that stay inside the file, and the policy word's manipulators and names.
#include "ByteFiles.h"

#include <sys/stat.h>

#include <sstream>

namespace {

using Streams = ByteFiles;

// Values read, then whether the stream failed: "1 -2 [AB] ok".
void Put(std::ostream& os, const std::string& text) {
  os << '[';
  for (char c : text)
    c ? os << c : os << "\\0";
  os << "] ";
}
template <typename Number>
void Put(std::ostream& os, Number number) {
  os << +number << ' ';
}
template <typename... Values>
std::string Got(const ifbstream& in, const Values&... values) {
  std::ostringstream os;
  (Put(os, values), ...);
  os << (in.fail() ? "fail" : "ok");
  return os.str();
}

}  // namespace

TEST_F(Streams, WritesFollowThePolicy) {
  const std::string abc = "ABC";
  const SWORD signedWords[] = {-2, 3};
  const ULONG longs[] = {0x01020304, 0xA1B2C3D4};
  const SLONG signedLongs[] = {-2};
  const UBYTE block[] = {1, 2, 3, 4};
  const struct {
    std::function<void(ofbstream&)> fill;
    Bytes bytes;
  } rows[] = {
      {[](ofbstream& o) { o << ULONG(0x01020304) << SLONG(-2); }, {4, 3, 2, 1, 0xFE, 0xFF, 0xFF, 0xFF}},
      {[](ofbstream& o) { o << big_endian << ULONG(0x01020304) << SWORD(-2) << little_endian << UWORD(0x0102); },
       {1, 2, 3, 4, 0xFF, 0xFE, 2, 1}},
      {[](ofbstream& o) { o << UBYTE(0x80) << SBYTE(-1) << ABYTE('A'); }, {0x80, 0xFF, 'A'}},
      // Words under no byte order are not written at all.
      {[&](ofbstream& o) {
         o.RemoveBFlags(iobs::byte_order_bits);
         o << UWORD(1) << ULONG(2);
         o.WriteArray(signedWords, 2);
       },
       {}},
      // Strings: length, then the text padded to even length under a padding bit.
      {[&](ofbstream& o) { o << pad_spc << str_size_2 << abc; }, {4, 0, 'A', 'B', 'C', ' '}},
      {[&](ofbstream& o) { o << pad_null << str_size_4 << abc; }, {4, 0, 0, 0, 'A', 'B', 'C', 0}},
      {[&](ofbstream& o) { o << abc; }, {3, 0, 'A', 'B', 'C'}},
      {[&](ofbstream& o) { o << big_endian << pad_null << std::string("AB"); }, {0, 2, 'A', 'B'}},
      {[&](ofbstream& o) { o.AddBFlags(iobs::padding_bits), o << std::string("A"); }, {2, 0, 'A', ' '}},
      {[&](ofbstream& o) { o.RemoveBFlags(iobs::str_size_bits), o << abc; }, {'A', 'B', 'C'}},
      // Arrays in the stream's order; reversed and raw blocks as they are.
      {[&](ofbstream& o) { o.WriteArray(signedWords, 2); }, {0xFE, 0xFF, 3, 0}},
      {[&](ofbstream& o) { o << big_endian, o.WriteArray(longs, 2), o.WriteArray(signedLongs, 1); },
       {1, 2, 3, 4, 0xA1, 0xB2, 0xC3, 0xD4, 0xFF, 0xFF, 0xFF, 0xFE}},
      {[&](ofbstream& o) { o.WriteReversed(block, 4), o.WriteBlock(block, 2), o.WriteArray(block, 1); },
       {4, 3, 2, 1, 1, 2, 1}},
  };
  testing::internal::CaptureStderr();
  for (std::size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i)
    EXPECT_EQ(Written(rows[i].fill), rows[i].bytes) << "row " << i;
  EXPECT_NE(testing::internal::GetCapturedStderr().find("string size policy undefined"), std::string::npos);
  EXPECT_EQ(longs[0], 0x01020304u);  // swapped in a copy, not in place
}

TEST_F(Streams, ReadsFollowThePolicyAndStopAtTheEndOfTheFile) {
  const struct {
    Bytes bytes;
    std::function<std::string(ifbstream&)> read;
    const char* got;
  } rows[] = {
      {{4, 3, 2, 1, 1, 2, 3, 4, 0xFF, 0xFE, 0xFE},
       [](ifbstream& in) {
         ULONG little = 0, big = 0;
         SWORD word = 0;
         SBYTE byte = 0;
         in >> little >> big_endian >> big >> word >> byte;
         return Got(in, little, big, word, byte);
       },
       "16909060 16909060 -2 -2 ok"},
      {{0xFE, 0xFF, 0xFF, 0xFF, 'A'},
       [](ifbstream& in) {
         SLONG number = 0;
         ABYTE letter = 0;
         in >> number >> letter;
         return Got(in, number, letter);
       },
       "-2 65 ok"},
      // Missing bytes read as 0xFF and fail the stream.
      {{1, 2}, [](ifbstream& in) { ULONG v = 0; return Got(in >> v, v); }, "4294902273 fail"},
      {{}, [](ifbstream& in) { UBYTE v = 0; return Got(in >> v, v); }, "255 fail"},
      // Words under no byte order are not read.
      {{1, 2}, [](ifbstream& in) { UWORD v = 7; in.RemoveBFlags(iobs::byte_order_bits); return Got(in >> v, v); },
       "7 ok"},
      // What is left is counted from the read position.
      {{1, 2, 3, 4, 5},
       [](ifbstream& in) {
         UWORD w;
         const ULONG before = in.BytesLeft();
         in >> w;
         const ULONG middle = in.BytesLeft();
         in >> w >> w;
         return Got(in, before, middle, in.BytesLeft());
       },
       "5 3 0 fail"},
      // Strings: one NUL of an even length goes under pad_null; spaces go
      // under the trimming bits unless there is nothing else.
      {{'A', 'B', 0, 0, 'A', 'B', 0, 'A', 0},
       [](ifbstream& in) {
         std::string even, odd, unpadded;
         in >> pad_null;
         in.ReadString(even, 4).ReadString(odd, 3);
         in >> pad_none;
         in.ReadString(unpadded, 2);
         return Got(in, even, odd, unpadded);
       },
       "[AB\\0] [AB\\0] [A\\0] ok"},
      {{' ', ' ', 'X', ' ', ' ', ' ', ' ', ' ', '\t', 'Y', ' ', ' '},
       [](ifbstream& in) {
         std::string a, b, c;
         in >> str_rmv_lts;
         in.ReadString(a, 4).ReadString(b, 4).ReadString(c, 4);
         return Got(in, a, b, c);
       },
       "[X] [    ] [\tY] ok"},
      {{0, 0, 0, 3, ' ', 'Q', ' ', 2, 0, 'a', 'b'},
       [](ifbstream& in) {
         std::string four, two;
         in >> big_endian >> str_size_4 >> four >> little_endian >> str_size_2 >> two;
         return Got(in, four, two);
       },
       "[ Q ] [ab] ok"},
      // A claimed length of 4 GB takes only what the file holds.
      {{0xFF, 0xFF, 0xFF, 0xFF, 'h', 'i'},
       [](ifbstream& in) { std::string s; return Got(in >> str_size_4 >> s, s); }, "[hi] fail"},
      {{2, 0, 'a', 'b'},
       [](ifbstream& in) { std::string s = "x"; in.RemoveBFlags(iobs::str_size_bits); return Got(in >> s, s); },
       "[x] ok"},
      // Arrays into host order; reversed and raw blocks.
      {{4, 3, 2, 1, 8, 7, 6, 5, 0xFF, 0xFE, 9, 8, 7},
       [](ifbstream& in) {
         ULONG longs[2] = {};
         SWORD word = 0;
         UBYTE reversed[2] = {}, raw = 0;
         in.ReadArray(longs, 2);
         in >> big_endian;
         in.ReadArray(&word, 1).ReadReversed(reversed, 2).ReadArray(&raw, 1);
         return Got(in, longs[0], longs[1], word, reversed[0], reversed[1], raw);
       },
       "16909060 84281096 -2 8 9 7 ok"},
      {{0xFE, 0xFF, 0xFF, 0xFF, 0, 0, 0, 5},
       [](ifbstream& in) {
         SLONG little = 0, big = 0;
         UWORD none = 9;
         in.ReadArray(&little, 1);
         in >> big_endian;
         in.ReadArray(&big, 1);
         in.RemoveBFlags(iobs::byte_order_bits);
         in.ReadArray(&none, 1);
         return Got(in, little, big, none);
       },
       "-2 5 9 ok"},
  };
  testing::internal::CaptureStderr();
  for (std::size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i)
    EXPECT_EQ(rows[i].read(Reading(rows[i].bytes)), rows[i].got) << "row " << i;
  testing::internal::GetCapturedStderr();
}

// Words and strings are taken from the stream's buffer when they are there
// whole; a file of several buffers, read from an odd offset, puts some of
// them across a buffer's end.
TEST_F(Streams, WordsAndStringsAcrossBufferEndsReadBack) {
  const int count = 5000;
  const auto expected = [](int k) { return 0x01000000u * (k % 200) + k; };
  const Bytes bytes = Written([&](ofbstream& o) {
    o << UBYTE(7);
    for (int k = 0; k < count; ++k)
      o << ULONG(expected(k)) << UWORD(k) << std::string(k % 5 ? "abc" : "");
  });
  ifbstream& in = Reading(bytes);
  UBYTE first = 0;
  in >> first;
  int read = 0;
  for (ULONG value = 0; read < count && in; ++read) {
    UWORD word = 0;
    std::string text;
    in >> value >> word >> text;
    if (value != expected(read) || word != UWORD(read) || text != (read % 5 ? "abc" : ""))
      break;
  }
  EXPECT_EQ(read, count);
  EXPECT_EQ(in.BytesLeft(), 0u);
}

// Big-endian arrays are swapped through a bounded scratch buffer, in several
// chunks for a large array, and never in the caller's array.
TEST_F(Streams, LargeBigEndianArraysRoundTrip) {
  std::vector<UWORD> words(700001);
  for (std::size_t i = 0; i < words.size(); ++i)
    words[i] = static_cast<UWORD>(i * 7 + 1);
  const std::vector<UWORD> original = words;
  const Bytes bytes = Written([&](ofbstream& o) { o << big_endian, o.WriteArray(words.data(), 700001); });
  EXPECT_EQ(words, original);
  ASSERT_EQ(bytes.size(), 1400002u);
  for (std::size_t i : {0, 599999, 600000, 700000})
    EXPECT_EQ(bytes[2 * i] << 8 | bytes[2 * i + 1], words[i]) << i;

  std::vector<UWORD> back(700001);
  ifbstream& in = Reading(bytes);
  in >> big_endian;
  EXPECT_TRUE(in.ReadArray(back.data(), 700001).good());
  EXPECT_EQ(back, words);
}

TEST_F(Streams, NulTerminatedStringsNeedTheirTerminator) {
  Bytes bytes(3000, 'q');
  bytes.push_back(0);
  bytes.push_back('n');
  ifbstream& in = Reading(bytes);
  ABYTE* text = nullptr;
  in >> text;
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text), std::string(3000, 'q'));
  delete[] text;

  testing::internal::CaptureStderr();
  in >> text;
  EXPECT_NE(testing::internal::GetCapturedStderr().find("no null terminator"), std::string::npos);
  EXPECT_EQ(text, nullptr);
  EXPECT_TRUE(in.fail());
}

TEST_F(Streams, StandardStreamNamesAreRefusedAndFilesAreWritableByTheGroup) {
  testing::internal::CaptureStderr();
  ofbstream out("cout"), err("cerr");
  ifbstream in("cin");
  testing::internal::GetCapturedStderr();
  EXPECT_TRUE(out.fail() && err.fail() && in.fail());
  EXPECT_FALSE(testsupport::FileExists("cout") || testsupport::FileExists("cerr"));

  const mode_t savedMask = umask(0);
  Written([](ofbstream&) {});
  umask(savedMask);
  struct stat status;
  ASSERT_EQ(stat(dir_.file("out.bin").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0664u);
}

TEST(Policy, ManipulatorsReplaceTheirGroupAndPrintTheirNames) {
  const struct {
    iobsManipulator manipulator;
    ULONG before, after;
  } rows[] = {
      {little_endian, 0xFFFFFFFF, 0xFFFFFFFD},      {big_endian, 0, 0x0002},
      {pad_none, 0xFFFFFFFF, 0xFFFFFFCF},           {pad_spc, 0x0020, 0x0010},
      {pad_null, 0x0010, 0x0020},                   {str_rmv_none, 0xFFFFFFFF, 0xFFFFFF3F},
      {str_rmv_lts, 0, 0x00C0},                     {str_size_2, 0x0200, 0x0100},
      {str_size_4, 0x0100, 0x0200},                 {implicit_little_endian, 0x1CF3, 0x24F1},
      {implicit_big_endian, 0x1CF3, 0x24F2},        {explicit_little_endian, 0x1CF3, 0x28F1},
      {explicit_big_endian, 0x1CF3, 0x28F2},
  };
  for (const auto& r : rows) {
    iobs policy(r.before);
    EXPECT_EQ(r.manipulator(policy).GetBFlags(), r.after) << std::hex << r.before;
  }
  for (const auto& [bits, text] : {std::pair<ULONG, const char*>{0x00C0, "|str_rmv_ls|str_rmv_ts|str_rmv_lts|"},
                                   {0x0632, "|big endian|pad_spc|pad_null|str_size_4|implicit_hint|"},
                                   {0x3901, "|little endian|str_size_2|explicit_hint|"}}) {
    std::ostringstream os;
    os << iobs(bits);
    EXPECT_EQ(os.str(), text);
  }
}
