// Every saved fuzz finding, run again through its target's entry function in
// the ordinary build: a finding that comes back crashes or trips the
// sanitizers of `make sanitize` here.
#include "FolderListing.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#define FUZZ_TARGET(name) extern "C" int Replay_##name(const std::uint8_t* data, std::size_t size);
#include "FuzzTargetList.h"
#undef FUZZ_TARGET

namespace {

struct Target {
  const char* name;
  int (*entry)(const std::uint8_t*, std::size_t);
};

// How test listings show a target.
void PrintTo(const Target& target, std::ostream* os) {
  *os << target.name;
}

const Target Targets[] = {
#define FUZZ_TARGET(name) {#name, Replay_##name},
#include "FuzzTargetList.h"
#undef FUZZ_TARGET
};

std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

class FuzzReplay : public ::testing::TestWithParam<Target> {};

TEST_P(FuzzReplay, SavedFindingsRunClean) {
  const Target& target = GetParam();
  for (const std::string& path : FilesIn(std::string(MEDCONV_SOURCE_DIR "/tests/fuzz/regressions/") + target.name)) {
    SCOPED_TRACE(path);
    const std::vector<std::uint8_t> input = ReadFile(path);
    EXPECT_EQ(0, target.entry(input.data(), input.size()));
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, ::testing::ValuesIn(Targets),
                         [](const ::testing::TestParamInfo<Target>& info) { return std::string(info.param.name); });

// A folder named after no target would never be replayed.
TEST(FuzzRegressions, EveryFolderNamesATarget) {
  const std::string root = MEDCONV_SOURCE_DIR "/tests/fuzz/regressions";
  for (const std::string& folder : FilesIn(root)) {
    const std::string name = folder.substr(root.size() + 1);
    bool known = false;
    for (const Target& target : Targets)
      known = known || name == target.name;
    EXPECT_TRUE(known) << folder;
  }
}

// The targets run on inputs too short for their own headers.
TEST(FuzzEntries, AcceptEmptyAndTinyInputs) {
  const std::uint8_t bytes[] = {0x01, 0x02, 0x03};
  for (const Target& target : Targets)
    for (std::size_t size = 0; size <= sizeof bytes; ++size)
      EXPECT_EQ(0, target.entry(bytes, size)) << target.name << " " << size;
}

}  // namespace
