// Every saved fuzz finding, run again through its target's entry function in
// the ordinary build: a finding that comes back crashes or trips the
// sanitizers of `make sanitize` here.
#include "FuzzSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#define FUZZ_TARGET(name) extern "C" int Replay_##name(const std::uint8_t* data, std::size_t size);
#include "FuzzTargetList.h"
#undef FUZZ_TARGET

namespace {

const struct Target {
  const char* name;
  int (*entry)(const std::uint8_t*, std::size_t);
} Targets[] = {
#define FUZZ_TARGET(name) {#name, Replay_##name},
#include "FuzzTargetList.h"
#undef FUZZ_TARGET
};

TEST(FuzzReplay, SavedFindingsAndTinyInputsRunClean) {
  const std::string root = MEDCONV_SOURCE_DIR "/tests/fuzz/regressions";
  for (const Target& target : Targets)
    for (const std::string& path : fuzzsupport::FilesIn(root + "/" + target.name)) {
      std::ifstream file(path, std::ios::binary);
      const std::vector<std::uint8_t> input{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
      EXPECT_EQ(0, target.entry(input.data(), input.size())) << path;
    }
  // A folder named after no target would never be replayed.
  for (const std::string& folder : fuzzsupport::FilesIn(root))
    EXPECT_TRUE(std::any_of(std::begin(Targets), std::end(Targets),
                            [&](const Target& target) { return folder == root + "/" + target.name; }))
        << folder;
  // Inputs too short for the targets' own headers.
  const std::uint8_t bytes[] = {0x01, 0x02, 0x03};
  for (const Target& target : Targets)
    for (std::size_t size = 0; size <= sizeof bytes; ++size)
      EXPECT_EQ(0, target.entry(bytes, size)) << target.name << " " << size;
}

}  // namespace
