// Bit mappers: packing and unpacking of bit windows of every width,
// stepping and positioning, and the signed instances' all-ones mask.
#include "lib/qzcBitMapper.h"
#include "ReportCapture.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Sample k of width w, assembled bit by bit from the buffer.
template <class T>
unsigned ReferenceSample(const std::vector<T>& units, unsigned w, unsigned k) {
  const unsigned unitBits = 8 * sizeof(T);
  unsigned sample = 0;
  for (unsigned bit = 0, i = k * w; bit < w; ++bit, ++i)
    sample |= ((static_cast<unsigned>(units[i / unitBits]) >> (i % unitBits)) & 1u) << bit;
  return sample;
}

// Writes 37 samples of width w last to first into a buffer of ones, then
// reads them first to last: each agrees with the bit-by-bit reference, no
// write disturbs a neighbour, and jumping or moving to a sample lands where
// stepping does.
template <class T>
void CheckPacking(UWORD w) {
  const unsigned count = 37, unitBits = 8 * sizeof(T);
  const auto sample = [w](unsigned k) { return (k * 2654435761u) & ((1u << w) - 1); };
  std::vector<T> units((count * w + unitBits - 1) / unitBits + 1, static_cast<T>(~T(0)));
  qzcBitMapper<T> writer(w, units.data()), reader(w, units.data());
  for (unsigned k = count; k-- > 0;) {
    writer.MoveTo(k);
    writer.Set(static_cast<T>(sample(k)));
  }
  for (unsigned k = 0; k < count; ++k, reader.Advance()) {
    SCOPED_TRACE(testing::Message() << "w=" << w << " k=" << k);
    ASSERT_EQ(sample(k), ReferenceSample(units, w, k));
    ASSERT_EQ(sample(k), static_cast<unsigned>(reader.Get()));
    qzcBitMapper<T> moved(w, units.data()), jumped(w, units.data());
    moved.MoveTo(k);
    ASSERT_TRUE(moved == reader);
    if (k > 0) {
      jumped.Advance();
      jumped.Advance(k - 1);
      ASSERT_FALSE(jumped != reader);
    }
  }
  EXPECT_EQ(ReferenceSample(units, 1, count * w), 1u);  // the bit after the last sample
}

}  // namespace

TEST(BitMapper, PacksEveryWidthLikeTheBitByBitReference) {
  for (UWORD w = 1; w <= 8; ++w)
    CheckPacking<UBYTE>(w);
  for (UWORD w = 1; w <= 16; ++w)
    CheckPacking<UWORD>(w);

  // Four 12-bit samples in three words.
  UWORD units[3] = {0x6123, 0x8945, 0xABC7};
  qzcBitMapper<UWORD> reader(12, units), end(12, units);
  end.MoveTo(4);
  std::vector<unsigned> read;
  for (; reader != end && read.size() < 5; reader.Advance())
    read.push_back(reader.Get());
  EXPECT_EQ(read, (std::vector<unsigned>{0x123, 0x456, 0x789, 0xABC}));
  EXPECT_EQ(reader.GetCurrent(), units + 3);
}

TEST(BitMapper, TooWideWindowIsReportedAndNarrowed) {
  ReportCapture reports;
  UBYTE bytes[2] = {0xAB, 0xCD};
  qzcBitMapper<UBYTE> mapper(12, bytes);
  EXPECT_EQ(reports.ErrorCount(), 1u);
  EXPECT_EQ(mapper.GetWindow(), 8);
  mapper.Advance();
  EXPECT_EQ(mapper.Get(), 0xCD);
}

// The signed instances sign-extend; a window narrower than the unit returns
// every bit from its first bit to the top of the unit (of the next unit when
// it straddles two).
TEST(BitMapper, SignedSamplesAreSignExtendedAndNarrowWindowsAreNotCut) {
  SBYTE bytes[2] = {static_cast<SBYTE>(0xF5), 0x7F};
  qzcBitMapper<SBYTE> byteMapper(8, bytes), narrow(4, bytes);
  EXPECT_EQ(byteMapper.Get(), static_cast<SBYTE>(0xF5));
  narrow.Advance();
  EXPECT_EQ(narrow.Get(), -1);
  byteMapper.Advance();
  EXPECT_EQ(byteMapper.Get(), 127);

  SWORD words[2] = {-1234, 0x0801}, straddled[2] = {0x0000, 0x0801};
  qzcBitMapper<SWORD> wordMapper(16, words), straddling(12, straddled);
  EXPECT_EQ(wordMapper.Get(), -1234);
  straddling.MoveTo(1);
  EXPECT_EQ(straddling.Get(), static_cast<SWORD>(0x8010));
  wordMapper.Set(-2);
  EXPECT_EQ(words[0], -2);
  EXPECT_EQ(words[1], 0x0801);
}
