// qzcBitMapper: packing and unpacking of bit windows, straddling samples,
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

}  // namespace

TEST(BitMapper12Bit, PacksFourSamplesIntoThreeWords) {
  UWORD units[3] = {0x6123, 0x8945, 0xABC7};
  qzcBitMapper<UWORD> reader(12, units), end(12, units);
  end.MoveTo(4);
  std::vector<unsigned> read;
  for (; reader != end && read.size() < 5; reader.Advance())
    read.push_back(reader.Get());
  EXPECT_EQ((std::vector<unsigned>{0x123, 0x456, 0x789, 0xABC}), read);
  EXPECT_EQ(units + 3, reader.GetCurrent());
  EXPECT_EQ(0, reader.GetOffset());

  UWORD written[3] = {0, 0, 0};
  qzcBitMapper<UWORD> writer(12, written);
  for (UWORD sample : {0x123, 0x456, 0x789, 0xABC}) {
    writer.Set(sample);
    writer.Advance();
  }
  EXPECT_EQ((std::vector<UWORD>{0x6123, 0x8945, 0xABC7}), std::vector<UWORD>(written, written + 3));

  // Set keeps the neighbouring samples.
  qzcBitMapper<UWORD> second(12, units);
  second.MoveTo(1);
  second.Set(0xFED);
  EXPECT_EQ((std::vector<UWORD>{0xD123, 0x89FE, 0xABC7}), std::vector<UWORD>(units, units + 3));
}

// Writes 37 samples of width w through a mapper, then checks every one
// against the bit-by-bit reference and reads it back through a mapper.
template <class T>
void CheckPacking(UWORD w) {
  const unsigned count = 37, unitBits = 8 * sizeof(T);
  const unsigned windowMask = (1u << w) - 1;
  std::vector<T> units((count * w + unitBits - 1) / unitBits, 0);
  qzcBitMapper<T> writer(w, units.data());
  for (unsigned k = 0; k < count; ++k, writer.Advance())
    writer.Set(static_cast<T>((k * 2654435761u) & windowMask));
  for (unsigned k = 0; k < count; ++k) {
    const unsigned expected = (k * 2654435761u) & windowMask;
    ASSERT_EQ(expected, ReferenceSample(units, w, k)) << "w=" << w << " k=" << k;
    qzcBitMapper<T> reader(w, units.data());
    reader.MoveTo(k);
    ASSERT_EQ(expected, reader.Get()) << "w=" << w << " k=" << k;
  }
}

TEST(BitMapperWidths, EveryWidthAgreesWithBitByBitPacking) {
  for (UWORD w = 1; w <= 8; ++w)
    CheckPacking<UBYTE>(w);
  for (UWORD w = 1; w <= 16; ++w)
    CheckPacking<UWORD>(w);
}

TEST(BitMapperSteps, AdvanceByCountEqualsRepeatedAdvance) {
  UWORD units[16] = {};
  for (UWORD w : {1, 3, 7, 12, 13, 16}) {
    for (ULONG n = 0; n < 20; ++n) {
      qzcBitMapper<UWORD> stepped(w, units), jumped(w, units), moved(w, units);
      for (ULONG i = 0; i <= n; ++i)
        stepped.Advance();
      jumped.Advance();
      jumped.Advance(n);
      EXPECT_TRUE(stepped == jumped) << "w=" << w << " n=" << n;
      moved.MoveTo(n + 1);
      EXPECT_TRUE(moved == jumped) << "w=" << w << " n=" << n;
    }
  }
}

TEST(BitMapperWindow, TooWideWindowIsReportedAndNarrowed) {
  ReportCapture reports;
  UBYTE bytes[2] = {0xAB, 0xCD};
  qzcBitMapper<UBYTE> mapper(12, bytes);
  EXPECT_NE(std::string::npos, reports.Errors().find("qzcBitMapper<T>::qzcBitMapper( const UWORD, T* )"));
  EXPECT_NE(std::string::npos,
            reports.Errors().find("size of bit window 12 can not be > than size of data 8! Assuming equality."));
  EXPECT_EQ(8, mapper.GetWindow());
  EXPECT_EQ(0xAB, mapper.Get());
  mapper.Advance();
  EXPECT_EQ(0xCD, mapper.Get());
}

TEST(BitMapperSigned, SamplesAreSignExtendedAndNarrowWindowsAreNotCut) {
  SBYTE bytes[2] = {static_cast<SBYTE>(0xFF), 0x7F};
  qzcBitMapper<SBYTE> byteMapper(8, bytes);
  EXPECT_EQ(-1, byteMapper.Get());
  byteMapper.Advance();
  EXPECT_EQ(127, byteMapper.Get());

  SWORD words[2] = {-1234, 32767};
  qzcBitMapper<SWORD> wordMapper(16, words);
  EXPECT_EQ(-1234, wordMapper.Get());
  wordMapper.Set(-2);
  EXPECT_EQ(-2, words[0]);
  EXPECT_EQ(32767, words[1]);

  // The all-ones mask: a 4-bit window returns every bit from its first bit
  // to the top of the unit, sign extended; a straddling window takes the
  // top of the second unit too.
  SBYTE narrow[2] = {static_cast<SBYTE>(0xF5), 0x00};
  qzcBitMapper<SBYTE> mapper(4, narrow);
  EXPECT_EQ(static_cast<SBYTE>(0xF5), mapper.Get());
  mapper.Advance();
  EXPECT_EQ(-1, mapper.Get());
  SWORD straddled[2] = {0x0000, 0x0801};
  qzcBitMapper<SWORD> straddling(12, straddled);
  straddling.MoveTo(1);
  EXPECT_EQ(static_cast<SWORD>(0x8010), straddling.Get());
}
