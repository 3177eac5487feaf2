// Every saved fuzz finding, run again through its target's entry function in
// the ordinary build: a finding that comes back crashes or trips the
// sanitizers of `make sanitize` here.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <dirent.h>
#include <fstream>
#include <iterator>
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

const Target Targets[] = {
#define FUZZ_TARGET(name) {#name, Replay_##name},
#include "FuzzTargetList.h"
#undef FUZZ_TARGET
};

// The files of a folder, by path; none when it does not exist.
std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> files;
  if (DIR* directory = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(directory))
      if (entry->d_name[0] != '.')
        files.push_back(folder + "/" + entry->d_name);
    ::closedir(directory);
  }
  return files;
}

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

// The targets run on inputs too short for their own headers.
TEST(FuzzEntries, AcceptEmptyAndTinyInputs) {
  const std::uint8_t bytes[] = {0x01, 0x02, 0x03};
  for (const Target& target : Targets)
    for (std::size_t size = 0; size <= sizeof bytes; ++size)
      EXPECT_EQ(0, target.entry(bytes, size)) << target.name << " " << size;
}

}  // namespace
