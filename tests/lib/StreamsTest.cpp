// Binary file streams: byte layouts under every policy, string rules, reads
// that stay inside the file, and the signature test on binary input.
#include "lib/qzcIoFunctions.h"
#include "ByteFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <iterator>
#include <sstream>

namespace {

using Streams = ByteFiles;

// One step of a read: it reads (and prints) a value, or changes the policy.
using Step = std::function<void(ifbstream&, std::ostream&)>;

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

template <typename T>
Step Read(T initial = T()) {
  return [initial](ifbstream& in, std::ostream& os) {
    T value = initial;
    in >> value, Put(os, value);
  };
}
template <typename T>
Step Array(ULONG n) {
  return [n](ifbstream& in, std::ostream& os) {
    std::vector<T> values(n, 9);
    in.ReadArray(values.data(), n);
    for (T value : values)
      Put(os, value);
  };
}
Step Text(ULONG n) {
  return [n](ifbstream& in, std::ostream& os) {
    std::string text;
    in.ReadString(text, n), Put(os, text);
  };
}
Step Reversed(ULONG n) {
  return [n](ifbstream& in, std::ostream& os) {
    std::string bytes(n, 0);
    in.ReadReversed(&bytes[0], n), Put(os, bytes);
  };
}
Step Terminated() {
  return [](ifbstream& in, std::ostream& os) {
    ABYTE* text = nullptr;
    in >> text, Put(os, std::string(text ? text : "null"));
    delete[] text;
  };
}
Step Apply(iobsManipulator policy) {
  return [policy](ifbstream& in, std::ostream&) { policy(in); };
}
Step Without(ULONG bits) {
  return [bits](ifbstream& in, std::ostream&) { in.RemoveBFlags(bits); };
}
Step Left() {
  return [](ifbstream& in, std::ostream& os) { Put(os, in.BytesLeft()); };
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
      {[&](ofbstream& o) { o.RemoveBFlags(iobs::byte_order_bits), o << UWORD(1), o.WriteArray(signedWords, 2); }, {}},
      // Strings: length, then the text padded to even length under a padding bit.
      {[&](ofbstream& o) { o << pad_spc << str_size_2 << abc; }, {4, 0, 'A', 'B', 'C', ' '}},
      {[&](ofbstream& o) { o << pad_null << str_size_4 << abc; }, {4, 0, 0, 0, 'A', 'B', 'C', 0}},
      {[&](ofbstream& o) { o << abc; }, {3, 0, 'A', 'B', 'C'}},
      {[&](ofbstream& o) { o << big_endian << pad_null << std::string("AB"); }, {0, 2, 'A', 'B'}},
      {[&](ofbstream& o) { o.AddBFlags(iobs::padding_bits), o << std::string("A"); }, {2, 0, 'A', ' '}},
      {[&](ofbstream& o) { o.RemoveBFlags(iobs::str_size_bits), o << abc; }, {'A', 'B', 'C'}},
      {[&](ofbstream& o) { o.WriteArray(signedWords, 2), o << big_endian, o.WriteArray(signedWords, 0); },
       {0xFE, 0xFF, 3, 0}},
      {[&](ofbstream& o) { o << big_endian, o.WriteArray(longs, 2), o.WriteArray(signedLongs, 1); },
       {1, 2, 3, 4, 0xA1, 0xB2, 0xC3, 0xD4, 0xFF, 0xFF, 0xFF, 0xFE}},
      {[&](ofbstream& o) { o.WriteReversed(block, 4), o.WriteBlock(block, 2), o.WriteArray(block, 1); },
       {4, 3, 2, 1, 1, 2, 1}},
  };
  testing::internal::CaptureStderr();
  for (std::size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i)
    EXPECT_EQ(Written(rows[i].fill), rows[i].bytes) << "row " << i;
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(longs[0], 0x01020304u);  // swapped in a copy, not in place
}

// Missing bytes read as 0xFF and fail the stream; no length read from the
// file takes more than the file holds.
TEST_F(Streams, ReadsFollowThePolicyAndStopAtTheEndOfTheFile) {
  Bytes longText(3000, 'q');
  longText.insert(longText.end(), {0, 'n'});
  const struct {
    Bytes bytes;
    std::vector<Step> steps;
    std::string got;
  } rows[] = {
      {{4, 3, 2, 1, 1, 2, 3, 4, 0xFF, 0xFE, 0xFE, 0xFE, 0xFF, 0xFF, 0xFF, 'A'},
       {Read<ULONG>(), Apply(big_endian), Read<ULONG>(), Read<SWORD>(), Read<SBYTE>(), Apply(little_endian),
        Read<SLONG>(), Read<ABYTE>()},
       "16909060 16909060 -2 -2 -2 65 ok"},
      {{1, 2}, {Read<ULONG>()}, "4294902273 fail"},
      {{}, {Read<UBYTE>()}, "255 fail"},
      {{1, 2}, {Without(iobs::byte_order_bits), Read<UWORD>(7), Array<UWORD>(1)}, "7 9 ok"},
      {{1, 2, 3, 4, 5},
       {Left(), Read<UWORD>(), Left(), Read<UWORD>(), Read<UWORD>(), Left()},
       "5 513 3 1027 65285 0 fail"},
      // One NUL of an even length goes under pad_null; spaces go under the
      // trimming bits unless there is nothing else.
      {{0, 1},
       {Apply(big_endian), Apply(pad_none), Apply(pad_spc), Apply(str_rmv_none), Apply(str_size_4), Read<UWORD>()},
       "1 ok"},
      {{'A', 'B', 0, 0, 'A', 'B', 0, 'A', 0, 'Z'},
       {Apply(pad_null), Text(4), Text(3), Apply(pad_none), Text(2), Text(1)},
       "[AB\\0] [AB\\0] [A\\0] [Z] ok"},
      {{' ', ' ', 'X', ' ', ' ', ' ', ' ', ' ', '\t', 'Y', ' ', ' '},
       {Apply(str_rmv_lts), Text(4), Text(4), Text(4)},
       "[X] [    ] [\tY] ok"},
      {{0, 0, 0, 3, ' ', 'Q', ' ', 2, 0, 'a', 'b'},
       {Apply(big_endian), Apply(str_size_4), Read<std::string>(), Apply(little_endian), Apply(str_size_2),
        Read<std::string>()},
       "[ Q ] [ab] ok"},
      {{0xFF, 0xFF, 0xFF, 0xFF, 'h', 'i'}, {Apply(str_size_4), Read<std::string>()}, "[hi] fail"},
      {{2, 0, 'a', 'b'}, {Without(iobs::str_size_bits), Read<std::string>()}, "[] ok"},
      // Arrays into host order; reversed blocks.
      {{4, 3, 2, 1, 8, 7, 6, 5, 0xFF, 0xFE, 0, 0, 0, 5, 9, 8, 7},
       {Array<ULONG>(2), Apply(big_endian), Array<SWORD>(1), Array<SLONG>(1), Reversed(2), Array<UBYTE>(1)},
       "16909060 84281096 -2 5 [\b\t] 7 ok"},
      {{0xFE, 0xFF, 0xFF, 0xFF}, {Array<SLONG>(1)}, "-2 ok"},
      // NUL-terminated strings need their terminator.
      {longText, {Terminated(), Terminated()}, "[" + std::string(3000, 'q') + "] [null] fail"},
  };
  testing::internal::CaptureStderr();
  for (std::size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
    ifbstream& in = Reading(rows[i].bytes);
    std::ostringstream got;
    for (const Step& step : rows[i].steps)
      step(in, got);
    EXPECT_EQ(got.str() + (in.fail() ? "fail" : "ok"), rows[i].got) << "row " << i;
  }
  testing::internal::GetCapturedStderr();
}

// Words and strings are taken from the stream's buffer when they are there
// whole; a file of several buffers, read from an odd offset, puts some of
// them across a buffer's end.
TEST_F(Streams, WordsAndStringsAcrossBufferEndsReadBack) {
  const Bytes bytes = Written([](ofbstream& o) {
    for (int k = 0; k < 5000; ++k)
      o << UBYTE(k) << ULONG(k * 0x01000193u) << std::string(k % 5 ? "abc" : "");
  });
  ifbstream& in = Reading(bytes);
  int k = 0;
  for (UBYTE byte; k < 5000 && in; ++k) {
    ULONG word = 0;
    std::string text;
    in >> byte >> word >> text;
    if (byte != UBYTE(k) || word != k * 0x01000193u || text != (k % 5 ? "abc" : ""))
      break;
  }
  EXPECT_EQ(k, 5000);
  EXPECT_EQ(in.BytesLeft(), 0u);
}

// Big-endian arrays are swapped in chunks through a scratch buffer, never
// in the caller's array.
TEST_F(Streams, LargeBigEndianArraysRoundTrip) {
  std::vector<UWORD> words(700001), back(700001);
  for (std::size_t i = 0; i < words.size(); ++i)
    words[i] = static_cast<UWORD>(i * 7 + 1);
  const std::vector<UWORD> original = words;
  const Bytes bytes = Written([&](ofbstream& o) { o << big_endian, o.WriteArray(words.data(), 700001); });
  EXPECT_EQ(words, original);
  ASSERT_EQ(bytes.size(), 1400002u);
  EXPECT_EQ(bytes[1200000] << 8 | bytes[1200001], words[600000]);
  EXPECT_TRUE((Reading(bytes) >> big_endian).ReadArray(back.data(), 700001).good());
  EXPECT_EQ(back, words);
}

TEST_F(Streams, StandardStreamNamesAreRefusedAndFilesAreWritableByTheGroup) {
  // Opened from a fresh folder, where a file made by mistake shows whatever
  // an earlier run left in the working folder.
  char saved[4096];
  ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
  ASSERT_EQ(chdir(dir_.path().c_str()), 0);
  testing::internal::CaptureStderr();
  ofbstream out("cout"), err("cerr");
  ifbstream in("cin");
  testing::internal::GetCapturedStderr();
  const bool made = testsupport::FileExists("cout") || testsupport::FileExists("cerr");
  ASSERT_EQ(chdir(saved), 0);
  EXPECT_TRUE(out.fail() && err.fail() && in.fail());
  EXPECT_FALSE(made);

  const mode_t savedMask = umask(0);
  Written([](ofbstream&) {});
  umask(savedMask);
  struct stat status;
  ASSERT_EQ(stat(dir_.file("out.bin").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0664u);
}

// A match is kept or every byte given back in order; so is a file too short;
// an offset too far is not read at all.
TEST_F(Streams, SignatureMatchKeptOrEveryByteGivenBack) {
  std::string whole;
  for (int i = 0; i < 128; ++i)
    whole += static_cast<char>(i + 1);
  whole += "DICMrest";
  const struct {
    std::string bytes;
    ULONG offset;
    const char* signature;
    bool keep, matches;
    std::string left;
  } rows[] = {
      {whole, 128, "DICM", true, true, "rest"},
      {whole, 128, "DICM", false, true, whole},
      {whole, 128, "DICX", true, false, whole},
      {whole, 127, "\200DIC", true, true, "Mrest"},
      {whole.substr(0, 130), 128, "DICM", true, false, whole.substr(0, 130)},  // ends inside the signature
      {whole.substr(0, 100), 128, "DICM", true, false, whole.substr(0, 100)},  // ends before it
      {whole, 1000, "DICM", true, false, whole},
      {whole, 1001, "DICM", true, false, whole},  // too far: not read at all
  };
  testing::internal::CaptureStderr();
  for (const auto& r : rows) {
    std::istream& is = Reading(Bytes(r.bytes.begin(), r.bytes.end()));
    EXPECT_EQ(r.matches, qzcIoFunctions::HasSignature(is, r.offset, r.signature, 4, r.keep)) << r.offset;
    EXPECT_TRUE(is.good()) << r.offset;
    EXPECT_EQ(r.left, std::string(std::istreambuf_iterator<char>(is), {})) << r.offset;
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "[E] int qzcIoFunctions::HasSignature(), offset is too far\n");
}
