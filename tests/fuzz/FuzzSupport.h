// What the fuzz targets share: quiet report channels that still format every
// report, the data dictionary, a private scratch folder for the files an
// input is written to and the outputs it makes; and the listing of saved inputs.
#ifndef MEDCONV_FUZZ_SUPPORT_H
#define MEDCONV_FUZZ_SUPPORT_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace fuzzsupport {

// Called at the start of every input: reports go to a sink instead of the
// standard streams and their counts start again, so that only one input's
// own reports can reach a channel's limit. Loads the dictionary once.
void BeginInput();
// Writes size bytes to name inside the scratch folder; returns its path.
std::string WriteScratchFile(const std::string& name, const std::uint8_t* data, std::size_t size);
// The scratch folder's folder for outputs, ending with "/", and its emptying.
const std::string& OutputFolder();
void EmptyOutputFolder();

// For the tests over saved inputs: the paths ("folder/name") of the entries
// that do not start with a dot, in name order; none without the folder.
inline std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> files;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ignored))
    if (entry.path().filename().string()[0] != '.')
      files.push_back(folder + "/" + entry.path().filename().string());
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace fuzzsupport

#endif
