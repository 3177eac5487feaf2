// qzcBitMapper: packing and unpacking of bit windows, straddling samples,
// stepping and positioning, and the signed instances' all-ones mask.
#include "lib/qzcBitMapper.h"

#include "lib/qzcError.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

namespace {

// Bit i of a buffer of units, counted from bit 0 of the first unit.
template <class T>
unsigned BitAt(const std::vector<T>& units, unsigned i)
{
    const unsigned unitBits = 8 * sizeof(T);
    return (static_cast<unsigned>(units[i / unitBits]) >> (i % unitBits)) & 1u;
}

// Sample k of width w, assembled bit by bit from the buffer.
template <class T>
unsigned ReferenceSample(const std::vector<T>& units, unsigned w, unsigned k)
{
    unsigned sample = 0;
    for (unsigned bit = 0; bit < w; ++bit)
        sample |= BitAt(units, k * w + bit) << bit;
    return sample;
}

// Reports of the error channel collected for the life of the object.
class CollectedErrors
{
public:
    CollectedErrors() : saved(qzcException::errorChannel)
    {
        qzcException::errorChannel.stream = &text;
        qzcException::errorChannel.enabled = true;
        qzcException::errorChannel.limit = 65535;
    }
    ~CollectedErrors() { qzcException::errorChannel = saved; }
    std::string str() const { return text.str(); }

private:
    qzcReportChannel saved;
    std::ostringstream text;
};

} // namespace

TEST(BitMapper12Bit, ReadsFourSamplesFromThreeWords)
{
    UWORD units[3] = {0x6123, 0x8945, 0xABC7};
    qzcBitMapper<UWORD> mapper(12, units);
    for (UWORD expected : {0x123, 0x456, 0x789, 0xABC}) {
        EXPECT_EQ(expected, mapper.Get());
        mapper.Advance();
    }
    EXPECT_EQ(units + 3, mapper.GetCurrent());
    EXPECT_EQ(0, mapper.GetOffset());
}

TEST(BitMapper12Bit, WritesFourSamplesIntoZeroedWords)
{
    UWORD units[3] = {0, 0, 0};
    qzcBitMapper<UWORD> mapper(12, units);
    for (UWORD sample : {0x123, 0x456, 0x789, 0xABC}) {
        mapper.Set(sample);
        mapper.Advance();
    }
    EXPECT_EQ(0x6123, units[0]);
    EXPECT_EQ(0x8945, units[1]);
    EXPECT_EQ(0xABC7, units[2]);
}

TEST(BitMapper12Bit, SetKeepsTheNeighbouringSamples)
{
    UWORD units[3] = {0x6123, 0x8945, 0xABC7};
    qzcBitMapper<UWORD> mapper(12, units);
    mapper.MoveTo(1);
    mapper.Set(0xFED);
    EXPECT_EQ(0xD123, units[0]);
    EXPECT_EQ(0x89FE, units[1]);
    EXPECT_EQ(0xABC7, units[2]);
}

// Writes 37 samples of width w through a mapper, then checks every one
// against the bit-by-bit reference and reads it back through a mapper.
template <class T>
void CheckPacking(UWORD w)
{
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

TEST(BitMapperWidths, EveryWidthAgreesWithBitByBitPacking)
{
    for (UWORD w = 1; w <= 8; ++w)
        CheckPacking<UBYTE>(w);
    for (UWORD w = 1; w <= 16; ++w)
        CheckPacking<UWORD>(w);
}

TEST(BitMapperWidths, FullWidthWindowsStepUnitByUnit)
{
    UBYTE bytes[3] = {0x01, 0xFE, 0x80};
    qzcBitMapper<UBYTE> byteMapper(8, bytes);
    for (unsigned i = 0; i < 3; ++i) {
        EXPECT_EQ(bytes + i, byteMapper.GetCurrent());
        EXPECT_EQ(bytes[i], byteMapper.Get());
        byteMapper.Advance();
    }
    UWORD words[2] = {0x1234, 0xFFFF};
    qzcBitMapper<UWORD> wordMapper(16, words);
    EXPECT_EQ(0x1234, wordMapper.Get());
    wordMapper.Advance();
    EXPECT_EQ(words + 1, wordMapper.GetCurrent());
    EXPECT_EQ(0xFFFF, wordMapper.Get());
}

TEST(BitMapperSteps, AdvanceByCountEqualsRepeatedAdvance)
{
    UWORD units[16] = {};
    for (UWORD w : {1, 3, 7, 12, 13, 16}) {
        for (ULONG n = 0; n < 20; ++n) {
            qzcBitMapper<UWORD> stepped(w, units);
            qzcBitMapper<UWORD> jumped(w, units);
            stepped.Advance();
            jumped.Advance();
            for (ULONG i = 0; i < n; ++i)
                stepped.Advance();
            jumped.Advance(n);
            EXPECT_TRUE(stepped == jumped) << "w=" << w << " n=" << n;
            qzcBitMapper<UWORD> moved(w, units);
            moved.MoveTo(n + 1);
            EXPECT_TRUE(moved == jumped) << "w=" << w << " n=" << n;
        }
    }
}

TEST(BitMapperSteps, EqualityMarksTheEndOfARun)
{
    UWORD units[3] = {0x6123, 0x8945, 0xABC7};
    qzcBitMapper<UWORD> sample(12, units);
    qzcBitMapper<UWORD> end(12, units);
    end.MoveTo(4);
    unsigned visited = 0;
    for (; sample != end; sample.Advance())
        ++visited;
    EXPECT_EQ(4u, visited);
}

TEST(BitMapperWindow, TooWideWindowIsReportedAndNarrowed)
{
    CollectedErrors errors;
    UBYTE bytes[2] = {0xAB, 0xCD};
    qzcBitMapper<UBYTE> mapper(12, bytes);
    EXPECT_NE(std::string::npos,
              errors.str().find("qzcBitMapper<T>::qzcBitMapper( const UWORD, T* )"));
    EXPECT_NE(std::string::npos,
              errors.str().find(
                  "size of bit window 12 can not be > than size of data 8! Assuming equality."));
    EXPECT_EQ(8, mapper.GetWindow());
    EXPECT_EQ(0xAB, mapper.Get());
    mapper.Advance();
    EXPECT_EQ(0xCD, mapper.Get());
}

TEST(BitMapperSigned, FullWidthSamplesAreSignExtended)
{
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
}

TEST(BitMapperSigned, NarrowWindowsAreNotCut)
{
    // The all-ones mask: a 4-bit window returns every bit from its first bit
    // to the top of the unit, sign extended.
    SBYTE bytes[2] = {static_cast<SBYTE>(0xF5), 0x00};
    qzcBitMapper<SBYTE> mapper(4, bytes);
    EXPECT_EQ(static_cast<SBYTE>(0xF5), mapper.Get());
    mapper.Advance();
    EXPECT_EQ(-1, mapper.Get());

    // A straddling window takes the top of the second unit too.
    SWORD words[2] = {0x0000, 0x0801};
    qzcBitMapper<SWORD> straddling(12, words);
    straddling.MoveTo(1);
    EXPECT_EQ(static_cast<SWORD>(0x8010), straddling.Get());
}
