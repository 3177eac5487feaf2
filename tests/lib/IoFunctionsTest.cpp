// The signature test on binary input: a match kept or given back, a mismatch
// or a file too short that leave the stream where it started, and an offset
// too far.
#include "lib/qzcIoFunctions.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

TEST(Signature, MatchKeptOrEveryByteGivenBackInOrder) {
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
      {whole, 127,
       "\x80"
       "DIC",
       true, true, "Mrest"},
      {whole.substr(0, 130), 128, "DICM", true, false, whole.substr(0, 130)},  // ends inside the signature
      {whole.substr(0, 100), 128, "DICM", true, false, whole.substr(0, 100)},  // ends before it
      {whole, 1000, "DICM", true, false, whole},
      {whole, 1001, "DICM", true, false, whole},  // too far: not read at all
  };
  testsupport::TempDir dir;
  testing::internal::CaptureStderr();
  for (const auto& r : rows) {
    testsupport::WriteText(dir.file("signed.bin"), r.bytes);
    std::ifstream is(dir.file("signed.bin"), std::ios::binary);
    EXPECT_EQ(r.matches, qzcIoFunctions::HasSignature(is, r.offset, r.signature, 4, r.keep)) << r.offset;
    EXPECT_TRUE(is.good()) << r.offset;
    EXPECT_EQ(r.left, std::string(std::istreambuf_iterator<char>(is), {})) << r.offset;
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "[E] int qzcIoFunctions::HasSignature(), offset is too far\n");
}
