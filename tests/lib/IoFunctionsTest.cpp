// The signature test on binary input files: a match kept or given back, a
// mismatch that leaves the stream where it started, a file too short and an
// offset too far.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "lib/qzcIoFunctions.h"
#include "support/TestSupport.h"

namespace {

// 128 bytes of 1, 2, ..., "DICM", then "rest".
std::vector<unsigned char> PreambleFile() {
  std::vector<unsigned char> bytes;
  for (int i = 0; i < 128; ++i)
    bytes.push_back(static_cast<unsigned char>(i + 1));
  for (char c : std::string("DICMrest"))
    bytes.push_back(static_cast<unsigned char>(c));
  return bytes;
}

std::string Remaining(std::istream& is) {
  return std::string(std::istreambuf_iterator<char>(is), std::istreambuf_iterator<char>());
}

class SignatureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::WriteBytes(path_, PreambleFile());
    stream_.open(path_, std::ios::in | std::ios::binary);
    ASSERT_TRUE(stream_.is_open());
  }
  testsupport::TempDir dir_;
  const std::string path_ = dir_.file("signed.bin");
  std::ifstream stream_;
};

TEST_F(SignatureTest, AMatchKeptLeavesTheStreamAfterTheSignature) {
  EXPECT_TRUE(qzcIoFunctions::HasSignature(stream_, 128, "DICM", 4, true));
  EXPECT_EQ("rest", Remaining(stream_));
}

TEST_F(SignatureTest, AMatchNotKeptAndAMismatchGiveEveryByteBackInOrder) {
  const std::vector<unsigned char> bytes = PreambleFile();
  const std::string whole(bytes.begin(), bytes.end());

  EXPECT_TRUE(qzcIoFunctions::HasSignature(stream_, 128, "DICM", 4, false));
  EXPECT_TRUE(stream_.good());
  EXPECT_EQ(whole, Remaining(stream_));

  stream_.clear();
  stream_.seekg(0);
  EXPECT_FALSE(qzcIoFunctions::HasSignature(stream_, 128, "DICX", 4, true));
  EXPECT_TRUE(stream_.good());
  EXPECT_EQ(whole, Remaining(stream_));
}

TEST_F(SignatureTest, AnOffsetBeyondAThousandIsRefusedWithoutReading) {
  testing::internal::CaptureStderr();
  EXPECT_FALSE(qzcIoFunctions::HasSignature(stream_, 1001, "DICM", 4, true));
  EXPECT_EQ("[E] int qzcIoFunctions::HasSignature(), offset is too far\n", testing::internal::GetCapturedStderr());
  EXPECT_EQ(0, stream_.tellg());
}

TEST(Signature, AFileEndingBeforeTheSignatureIsGivenBackWhole) {
  testsupport::TempDir dir;
  std::vector<unsigned char> bytes = PreambleFile();
  bytes.resize(130);
  testsupport::WriteBytes(dir.file("short.bin"), bytes);
  std::ifstream stream(dir.file("short.bin"), std::ios::in | std::ios::binary);
  EXPECT_FALSE(qzcIoFunctions::HasSignature(stream, 128, "DICM", 4, true));
  EXPECT_FALSE(stream.fail());
  EXPECT_EQ(0, stream.tellg());
  std::vector<unsigned char> again(bytes.size());
  EXPECT_TRUE(stream.read(reinterpret_cast<char*>(again.data()), std::streamsize(again.size())));
  EXPECT_EQ(bytes, again);
}

}  // namespace
