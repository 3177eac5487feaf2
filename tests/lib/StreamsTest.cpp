// Binary file streams: layouts under each policy, reads that stay inside the
// file; data locations.
#include "lib/ifbstream.h"
#include "lib/ofbstream.h"
#include "lib/qzcDataLocation.h"
#include "ReportCapture.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace std::string_literals;

namespace {

using Bytes = std::vector<unsigned char>;

class Streams : public testing::Test {
 protected:
  // The bytes fill writes on a new stream; writtenOk_ tells whether it stayed good.
  Bytes Written(const std::function<void(ofbstream&)>& fill) {
    {
      ofbstream out(dir_.file("out.bin"));
      fill(out);
      writtenOk_ = out.good();
    }
    return testsupport::ReadBytes(dir_.file("out.bin"));
  }
  // A stream over the given bytes, valid until the next call.
  ifbstream& Reading(const Bytes& bytes) {
    testsupport::WriteBytes(dir_.file("in.bin"), bytes);
    input_.reset(new ifbstream(dir_.file("in.bin")));
    return *input_;
  }
  // size elements at offset in a file of the given bytes (none: no file).
  template <typename T>
  qzcDataLocation<T>& Located(qzcDataLocation<T>& location, ULONG size, const Bytes& bytes, ULONG offset = 0,
                              ULONG bflags = iobs::default_bflags) {
    testsupport::WriteBytes(dir_.file("data.bin"), bytes);
    location.SetSize(size);
    location.SwitchToFileMode(qzcFileName(dir_.file(bytes.empty() ? "none.bin" : "data.bin")), offset, bflags);
    return location;
  }
  bool Reported(const std::string& text) const { return reports_.Errors().find(text) != std::string::npos; }

  ReportCapture reports_;
  testsupport::TempDir dir_;
  bool writtenOk_ = false;
  std::unique_ptr<ifbstream> input_;
};

}  // namespace

// Words and arrays in either byte order, and strings: a length, then the text
// padded to even length under a padding bit (a space under both). Without a
// byte order or a length size, nothing of them.
TEST_F(Streams, LayoutsFollowThePolicyBothWays) {
  testing::internal::CaptureStderr();
  const UWORD words[] = {0x0102, 0x0304};
  const Bytes bytes = Written([&](ofbstream& o) {
    o << ULONG(0x01020304) << SLONG(-2) << big_endian << ULONG(0x01020304) << SWORD(-2) << little_endian << UWORD(258)
      << UBYTE(0x80) << SBYTE(-1) << ABYTE('A') << std::string("ABC") << pad_spc << std::string("ABC") << pad_null
      << str_size_4 << std::string("ABC") << big_endian << str_size_2 << std::string("AB");
    o.WriteArray(words, 2), o.AddBFlags(iobs::padding_bits), o << std::string("A");
    o.RemoveBFlags(iobs::byte_order_bits | iobs::str_size_bits), o << UWORD(1) << std::string("BC");
  });
  EXPECT_EQ(bytes, (Bytes{4,   3, 2, 1,   0xFE, 0xFF, 0xFF, 0xFF, 1,   2,   3,   4,   0xFF, 0xFE, 2,   1,  0x80, 0xFF,
                          'A', 3, 0, 'A', 'B',  'C',  4,    0,    'A', 'B', 'C', ' ', 4,    0,    0,   0,  'A',  'B',
                          'C', 0, 0, 2,   'A',  'B',  1,    2,    3,   4,   0,   2,   'A',  ' ',  'B', 'C'}));
  ifbstream& in = Reading(bytes);
  UWORD array[2];
  std::ostringstream got;
  const auto number = [&](auto value) { in >> value, got << +value << ' '; };
  const auto text = [&](std::string value = "") { in >> value, got << value << '|'; };
  number(ULONG()), number(SLONG()), in >> big_endian, number(ULONG()), number(SWORD()), in >> little_endian;
  number(UWORD()), number(UBYTE()), number(SBYTE()), number(ABYTE()), text(), in >> pad_spc, text();
  in >> pad_null >> str_size_4, text(), in >> big_endian >> str_size_2, text(), in.ReadArray(array, 2);
  got << array[0] << ' ' << array[1] << ' ', in.AddBFlags(iobs::padding_bits), text();
  in.RemoveBFlags(iobs::byte_order_bits | iobs::str_size_bits), number(UWORD(9)), text();
  EXPECT_EQ(got.str(), "16909060 -2 16909060 -2 258 128 -1 65 ABC|ABC |ABC|AB|258 772 A |9 |");
  EXPECT_TRUE(in.good());
  testing::internal::GetCapturedStderr();
}

// One NUL of an even length goes under pad_null; spaces go under the trimming
// bits unless there is nothing else. No length read from the file takes more
// than the file holds; missing bytes read as 0xFF and fail the stream.
TEST_F(Streams, ReadsTrimByThePolicyAndStopAtTheEndOfTheFile) {
  std::string bytes("\0\1AB\0\0AB\0A\0Z  X     \tY  "s + std::string(3000, 'q') + "\0n"s);
  ifbstream& in = Reading(Bytes(bytes.begin(), bytes.end()));
  UWORD word = 0;
  in >> big_endian >> pad_none >> pad_spc >> str_rmv_none >> str_size_4 >> word;  // the byte order stays
  std::string got = std::to_string(word) + "|", text;
  const std::pair<iobsManipulator, ULONG> reads[] = {{pad_null, 4},    {pad_null, 3},    {pad_none, 2},   {pad_none, 1},
                                                     {str_rmv_lts, 4}, {str_rmv_lts, 4}, {str_rmv_lts, 4}};
  for (const auto& r : reads)
    (in >> r.first).ReadString(text, r.second), got += text + "|";
  EXPECT_EQ(got, "1|AB\0|AB\0|A\0|Z|X|    |\tY|"s);
  ABYTE* terminated = nullptr;
  in >> terminated;
  EXPECT_EQ(std::string(terminated ? terminated : ""), std::string(3000, 'q'));
  delete[] terminated;
  EXPECT_TRUE(in.good());
  testing::internal::CaptureStderr();
  in >> terminated;  // no terminator
  EXPECT_TRUE(terminated == nullptr && in.fail());
  EXPECT_TRUE((Reading({0xFF, 0xFF, 0xFF, 0xFF, 'h', 'i'}) >> str_size_4 >> text).fail());
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(text, "hi");
  UWORD words[2];
  UBYTE byte = 0;
  EXPECT_TRUE((Reading({1, 2, 3}) >> words[0] >> words[1] >> byte).fail() && input_->BytesLeft() == 0);
  EXPECT_EQ(words[1] + byte, 0xFF03 + 255);
}

// Data the file cannot supply fail the load and stay in the file; no memory
// is asked for on the word of a damaged size.
TEST_F(Streams, DataLocationsLoadAtAnOffsetOrFailWithoutAskingForMemory) {
  qzcDataLocation<UWORD> little;
  qzcDataLocation<ULONG> big;
  ASSERT_TRUE(Located(little, 2, {0xEE, 1, 2, 3, 4}, 1).LoadData());
  const ULONG* loaded = Located(big, 1, {1, 2, 3, 4}, 0, 0x2802).GetMemoryLocation();  // loads on first request
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(little.GetMemoryLocation()[1] + *loaded, 0x0403 + 0x01020304u);
  EXPECT_TRUE(little.IsOwned() && big.GetFileName().empty());  // once loaded, the file is forgotten
  const ULONG rows[][3] = {{3, 0, 0x0101}, {2, 2, 0x0101}, {2, 1000, 0x0101}, {0xFFFFFFFF, 0, 0x0101}, {2, 0, 0x0100}};
  testing::internal::CaptureStderr();
  for (const auto& r : rows) {
    EXPECT_FALSE(Located(little, r[0], {1, 2, 3, 4}, r[1], r[2]).LoadData()) << r[1];
    EXPECT_EQ(little.GetFileOffset(), r[1]);
  }
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(Located(little, 1, {}).GetMemoryLocation(), nullptr);
  EXPECT_TRUE(Reported("while reading 4294967295 objects") && !Reported("unable to allocate"));
  EXPECT_TRUE(Reported("unable to find data in file " + dir_.file("none.bin") + " at offset 0!"));
  EXPECT_EQ(reports_.ErrorCount(), 9u);
}

// Copies share a block without owning it; offsets count elements; Print puts
// the stream's format back. Write gives the byte length, then the data in the
// stream's order, odd bytes padded under pad_null only, file data left in the
// file. Misuse is reported and changes nothing.
TEST_F(Streams, DataLocationCopiesOffsetsAndWrites) {
  qzcDataLocation<ULONG> owner;
  owner.SetSize(20);
  ASSERT_TRUE(owner.AllocateMemory());
  ULONG* block = owner.GetMemoryLocation();
  {
    qzcDataLocation<ULONG> copy(owner), copyOfCopy;
    EXPECT_NE(copy, owner);  // the same block, but not owned
    EXPECT_EQ((copyOfCopy = copy).GetMemoryLocation(), block);
  }
  block[19] = 9;  // still alive after the copies went
  std::ostringstream os;
  owner.AddOffset(10).AddOffset(1).Print(os) << ' ' << 255;
  EXPECT_EQ(os.str().substr(0, 28) + os.str().substr(os.str().size() - 4), "20 * 4 bytes in memory at 0x 255");
  EXPECT_EQ(owner.GetMemoryLocation(), block + 11);
  EXPECT_EQ(reports_.WarningCount(), 1u);  // once, when ownership goes
  owner.Clear();
  delete[] block;  // given up by the location, so still ours
  qzcDataLocation<UWORD> inFile, same;
  EXPECT_EQ(Located(inFile, 9, {1}, 1240).AddOffset(5).GetFileOffset(), 1250u);
  EXPECT_TRUE((same = inFile) == inFile && !(Located(same, 9, {1}, 1250, 0x0102) == inFile));

  const auto written = [&](const qzcObject& location, iobsManipulator policy) {
    return Written([&](ofbstream& o) { o << policy, location.Write(o); });
  };
  UWORD words[] = {0x0102, 0x0304};
  same.SetSize(2);
  same.SetMemoryLocation(words);
  EXPECT_EQ(written(same, big_endian), (Bytes{0, 0, 0, 4, 1, 2, 3, 4}));
  qzcDataLocation<UBYTE> odd, empty;
  EXPECT_EQ(written(Located(odd, 3, {7, 8, 9}), pad_null), (Bytes{4, 0, 0, 0, 7, 8, 9, 0}));
  EXPECT_EQ(written(odd, pad_spc), (Bytes{3, 0, 0, 0, 7, 8, 9}));
  EXPECT_EQ(written(Located(empty, 0, {}), pad_null), (Bytes{0, 0, 0, 0}));
  EXPECT_TRUE(writtenOk_ && odd.GetMode() == qzcDataLocation<UBYTE>::file);
  written(Located(odd, 3, {}), pad_null);  // unloadable
  EXPECT_FALSE(writtenOk_);
  empty.Clear();
  written(empty, pad_null);
  EXPECT_FALSE(writtenOk_);
  EXPECT_FALSE(empty.LoadData());
  EXPECT_EQ(empty.AddOffset(3).GetFileOffset() + empty.GetFileBFlags(), 0);
  EXPECT_EQ(empty.GetMemoryLocation(), nullptr);
  EXPECT_TRUE(Reported("can not send UNDEFINED instance to binary file stream!"));
}
