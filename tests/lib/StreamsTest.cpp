// Binary file streams: byte layouts under every policy, string rules, and
// reads that stay inside the file.
#include "lib/ifbstream.h"
#include "lib/ofbstream.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

namespace {

class StreamsTest : public testing::Test {
 protected:
  std::string Path(const char* name) const { return dir_.file(name); }

  // The bytes written by fill on a new stream.
  Bytes Written(const std::function<void(ofbstream&)>& fill) {
    const std::string path = Path("out.bin");
    {
      ofbstream ofs(path.c_str());
      fill(ofs);
      EXPECT_TRUE(ofs.good());
    }
    return testsupport::ReadBytes(path);
  }

  // A stream with the default policy reading the given bytes.
  ifbstream& Reading(const Bytes& bytes) {
    const std::string path = Path("in.bin");
    testsupport::WriteBytes(path, bytes);
    input_.close();
    input_.clear();
    input_.open(path.c_str());
    input_.SetBFlags(iobs::default_bflags);
    return input_;
  }

 private:
  testsupport::TempDir dir_;
  ifbstream input_;
};

std::string PolicyText(ULONG bflags) {
  std::ostringstream os;
  os << iobs(bflags);
  return os.str();
}

}  // namespace

TEST_F(StreamsTest, NumbersFollowTheByteOrder) {
  EXPECT_EQ(Written([](ofbstream& o) { o << ULONG(0x01020304); }), (Bytes{4, 3, 2, 1}));
  EXPECT_EQ(Written([](ofbstream& o) { o << big_endian << ULONG(0x01020304); }), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(Written([](ofbstream& o) { o << big_endian << SWORD(-2) << little_endian << UWORD(0x0102); }),
            (Bytes{0xFF, 0xFE, 2, 1}));
  EXPECT_EQ(Written([](ofbstream& o) { o << UBYTE(0x80) << SBYTE(-1) << ABYTE('A'); }), (Bytes{0x80, 0xFF, 'A'}));

  ULONG little = 0, big = 0;
  SWORD negative = 0;
  Reading({4, 3, 2, 1, 1, 2, 3, 4, 0xFF, 0xFE}) >> little >> big_endian >> big >> negative;
  EXPECT_EQ(little, 0x01020304u);
  EXPECT_EQ(big, 0x01020304u);
  EXPECT_EQ(negative, -2);
}

TEST_F(StreamsTest, UndefinedByteOrderWritesAndReadsNothing) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(Written([](ofbstream& o) {
              o.RemoveBFlags(iobs::byte_order_bits);
              o << UWORD(1) << ULONG(2);
            }),
            Bytes{});
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "byte ordering policy undefined on output stream\n"
            "byte ordering policy undefined on output stream\n");

  UWORD value = 7;
  ifbstream& in = Reading({1, 2});
  in.RemoveBFlags(iobs::byte_order_bits);
  testing::internal::CaptureStderr();
  in >> value;
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "byte ordering policy undefined on input stream\n");
  EXPECT_EQ(value, 7);
  EXPECT_TRUE(in.good());
}

TEST_F(StreamsTest, LengthPrefixedStringsArePaddedToEvenLength) {
  const std::string abc = "ABC";
  EXPECT_EQ(Written([&](ofbstream& o) { o << pad_spc << str_size_2 << abc; }), (Bytes{4, 0, 'A', 'B', 'C', ' '}));
  EXPECT_EQ(Written([&](ofbstream& o) { o << pad_null << str_size_4 << abc; }), (Bytes{4, 0, 0, 0, 'A', 'B', 'C', 0}));
  EXPECT_EQ(Written([&](ofbstream& o) { o << abc; }), (Bytes{3, 0, 'A', 'B', 'C'}));
  EXPECT_EQ(Written([&](ofbstream& o) { o << big_endian << pad_null << std::string("AB"); }), (Bytes{0, 2, 'A', 'B'}));
  // Both padding bits: the space wins.
  EXPECT_EQ(Written([&](ofbstream& o) {
              o.AddBFlags(iobs::padding_bits);
              o << std::string("A");
            }),
            (Bytes{2, 0, 'A', ' '}));

  testing::internal::CaptureStderr();
  EXPECT_EQ(Written([&](ofbstream& o) {
              o.RemoveBFlags(iobs::str_size_bits);
              o << abc;
            }),
            (Bytes{'A', 'B', 'C'}));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "string size policy undefined on output stream\n");
}

TEST_F(StreamsTest, StringsReadRemoveOneEvenNulAndTrimOnlySpaces) {
  std::string text;
  ifbstream& even = Reading({'A', 'B', 0, 0});
  even >> pad_null;
  even.ReadString(text, 4);
  EXPECT_EQ(text, std::string("AB\0", 3));

  ifbstream& odd = Reading({'A', 'B', 0});
  odd >> pad_null;
  odd.ReadString(text, 3);
  EXPECT_EQ(text, std::string("AB\0", 3));

  ifbstream& spaced = Reading({' ', ' ', 'X', ' ', ' ', ' ', ' ', ' ', '\t', 'Y', ' ', ' '});
  spaced >> pad_none >> str_rmv_lts;
  spaced.ReadString(text, 4);
  EXPECT_EQ(text, "X");
  spaced.ReadString(text, 4);
  EXPECT_EQ(text, "    ");
  spaced.ReadString(text, 4);
  EXPECT_EQ(text, "\tY");
  EXPECT_TRUE(spaced.good());

  ifbstream& prefixed = Reading({0, 0, 0, 3, ' ', 'Q', ' '});
  prefixed >> str_rmv_none >> big_endian >> str_size_4 >> text;
  EXPECT_EQ(text, " Q ");
}

TEST_F(StreamsTest, ShortFileFailsTheStreamWithoutReadingPastIt) {
  ULONG value = 0;
  ifbstream& in = Reading({1, 2});
  in >> value;
  EXPECT_TRUE(in.fail());
  EXPECT_TRUE(in.eof());
  EXPECT_EQ(value, 0xFFFF0201u);  // the missing bytes read as 0xFF

  // A claimed length of 4 GB on a file of 6 bytes: only what is there is
  // taken, no 4 GB string is made, and the stream fails.
  std::string text;
  ifbstream& huge = Reading({0xFF, 0xFF, 0xFF, 0xFF, 'h', 'i'});
  huge >> str_size_4 >> text;
  EXPECT_TRUE(huge.fail());
  EXPECT_EQ(text, "hi");

  UBYTE byte = 0;
  ifbstream& empty = Reading({});
  empty >> byte;
  EXPECT_TRUE(empty.fail());
  EXPECT_EQ(byte, 0xFF);

  // What is left is counted from the read position.
  ifbstream& counted = Reading({1, 2, 3, 4, 5});
  EXPECT_EQ(counted.BytesLeft(), 5u);
  UWORD word;
  counted >> word;
  EXPECT_EQ(counted.BytesLeft(), 3u);
  counted >> word >> word;
  EXPECT_EQ(counted.BytesLeft(), 0u);
}

// Words and strings are taken from the stream's buffer when they are there
// whole; a file of several buffers, read from an odd offset, puts some of
// them across a buffer's end.
TEST_F(StreamsTest, WordsAndStringsAcrossBufferEndsReadBack) {
  const int count = 5000;
  const Bytes bytes = Written([](ofbstream& ofs) {
    ofs << UBYTE(7);
    for (int k = 0; k < count; ++k)
      ofs << ULONG(0x01000000u * (k % 200) + k) << UWORD(k) << std::string(k % 5 ? "abc" : "");
  });
  ASSERT_GT(bytes.size(), 3u * 8192u);

  ifbstream& in = Reading(bytes);
  UBYTE first = 0;
  in >> first;
  int read = 0;
  for (; read < count && in; ++read) {
    ULONG value = 0;
    UWORD word = 0;
    std::string text;
    in >> value >> word >> text;
    if (value != 0x01000000u * (read % 200) + read || word != UWORD(read) || text != (read % 5 ? "abc" : ""))
      break;
  }
  EXPECT_EQ(read, count);
  EXPECT_EQ(in.BytesLeft(), 0u);
  ULONG past = 0;
  in >> past;
  EXPECT_TRUE(in.fail());
}

TEST_F(StreamsTest, NulTerminatedStringsNeedTheirTerminator) {
  std::string longText(3000, 'q');
  Bytes bytes(longText.begin(), longText.end());
  bytes.push_back(0);
  bytes.push_back('n');
  ifbstream& in = Reading(bytes);
  ABYTE* text = nullptr;
  in >> text;
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text), longText);
  delete[] text;

  testing::internal::CaptureStderr();
  in >> text;
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            ">> Error ifbstream::operator >>( ABYTE*& )\n"
            "   no string on stream (no null terminator)!\n");
  EXPECT_EQ(text, nullptr);
  EXPECT_TRUE(in.fail());
}

TEST_F(StreamsTest, BigEndianWordArraysGoInChunksAndLeaveTheSourceAlone) {
  std::vector<UWORD> words(700000);
  for (std::size_t i = 0; i < words.size(); ++i) {
    words[i] = static_cast<UWORD>(i * 7 + 1);
  }
  const std::vector<UWORD> original = words;
  const Bytes bytes = Written([&](ofbstream& o) {
    o << big_endian;
    o.WriteArray(words.data(), 700000);
  });
  EXPECT_EQ(words, original);
  ASSERT_EQ(bytes.size(), 1400000u);
  for (std::size_t i : {std::size_t(0), std::size_t(599999), std::size_t(600000), std::size_t(699999)}) {
    EXPECT_EQ(bytes[2 * i], words[i] >> 8) << i;
    EXPECT_EQ(bytes[2 * i + 1], words[i] & 0xFF) << i;
  }

  // And they read back into host order.
  std::vector<UWORD> back(700000);
  ifbstream& in = Reading(bytes);
  in >> big_endian;
  in.ReadArray(back.data(), 700000);
  EXPECT_TRUE(in.good());
  EXPECT_EQ(back, words);
}

TEST_F(StreamsTest, ArraysInBothOrdersAndReversedBlocks) {
  std::vector<ULONG> longs(300001, 0x01020304);
  longs.back() = 0xA1B2C3D4;
  const Bytes big = Written([&](ofbstream& o) {
    o << big_endian;
    o.WriteArray(longs.data(), 300001);
  });
  EXPECT_EQ(longs[0], 0x01020304u);
  ASSERT_EQ(big.size(), 4u * 300001);
  EXPECT_EQ(Bytes(big.begin(), big.begin() + 4), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(Bytes(big.end() - 4, big.end()), (Bytes{0xA1, 0xB2, 0xC3, 0xD4}));

  const SWORD signedWords[] = {-2, 3};
  EXPECT_EQ(Written([&](ofbstream& o) { o.WriteArray(signedWords, 2); }), (Bytes{0xFE, 0xFF, 3, 0}));

  ULONG back[2] = {0, 0};
  ifbstream& in = Reading({4, 3, 2, 1, 8, 7, 6, 5});
  in.ReadArray(back, 2);
  EXPECT_EQ(back[0], 0x01020304u);
  EXPECT_EQ(back[1], 0x05060708u);

  // Reversed and raw blocks.
  const UBYTE block[] = {1, 2, 3, 4};
  EXPECT_EQ(Written([&](ofbstream& o) {
              o.WriteReversed(block, 4);
              o.WriteBlock(block, 2);
            }),
            (Bytes{4, 3, 2, 1, 1, 2}));
  UBYTE reversed[4] = {};
  Reading({9, 8, 7, 6}).ReadReversed(reversed, 4);
  EXPECT_EQ(Bytes(reversed, reversed + 4), (Bytes{6, 7, 8, 9}));
}

TEST_F(StreamsTest, StandardStreamNamesAreRefusedAndFilesAreWritableByTheGroup) {
  testing::internal::CaptureStderr();
  ofbstream out("cout");
  ofbstream err("cerr");
  ifbstream in("cin");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ofbstream : cout : feature removed for the moment\n"
            "ofbstream : cerr : feature removed for the moment\n"
            "ifbstream : cin : feature removed for the moment\n");
  EXPECT_TRUE(out.fail() && err.fail() && in.fail());
  EXPECT_FALSE(testsupport::FileExists("cout"));

  const std::string path = Path("made.bin");
  const mode_t savedMask = umask(0);
  ofbstream(path.c_str()).close();
  umask(savedMask);
  struct stat status;
  ASSERT_EQ(stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0664u);
}

TEST(Policy, ManipulatorsReplaceTheirGroupOnly) {
  iobs policy(0xFFFFFFFF);
  little_endian(policy);
  EXPECT_EQ(policy.GetBFlags(), 0xFFFFFFFDu);
  pad_none(str_rmv_none(policy));
  EXPECT_EQ(policy.GetBFlags(), 0xFFFFFF0Du);
  str_size_4(pad_spc(policy));
  EXPECT_EQ(policy.GetBFlags(), 0xFFFFFE1Du);
  str_rmv_lts(pad_null(big_endian(str_size_2(policy))));
  EXPECT_EQ(policy.GetBFlags(), 0xFFFFFDEEu);
  EXPECT_EQ(policy.SetBFlags(0x0101), 0xFFFFFDEEu);
}

TEST(Policy, SyntaxManipulatorsSetOrderHintAndNativeMark) {
  const struct {
    iobsManipulator manipulator;
    ULONG bits;
  } cases[] = {
      {implicit_little_endian, 0x2401},
      {implicit_big_endian, 0x2402},
      {explicit_little_endian, 0x2801},
      {explicit_big_endian, 0x2802},
  };
  for (const auto& c : cases) {
    iobs policy(0x1CF3);  // encapsulated, both hints, both orders, padding and trimming
    c.manipulator(policy);
    EXPECT_EQ(policy.GetBFlags(), 0x00F0u | c.bits);
  }
}

TEST(Policy, PrinterNamesTheBitsInTableOrder) {
  EXPECT_EQ(PolicyText(0x0101), "|little endian|str_size_2|");
  EXPECT_EQ(PolicyText(0x2901), "|little endian|str_size_2|explicit_hint|");
  EXPECT_EQ(PolicyText(0x00C0), "|str_rmv_ls|str_rmv_ts|str_rmv_lts|");
  EXPECT_EQ(PolicyText(0x0632), "|big endian|pad_spc|pad_null|str_size_4|implicit_hint|");
  EXPECT_EQ(PolicyText(0x3000), "|");
}
