// The files of a folder, for the tests that run over saved inputs.
#ifndef MEDCONV_FUZZ_FOLDER_LISTING_H
#define MEDCONV_FUZZ_FOLDER_LISTING_H

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

// Paths ("folder/name") of the entries that do not start with a dot, in name
// order; none when the folder does not exist.
inline std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> files;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ignored))
    if (entry.path().filename().string()[0] != '.')
      files.push_back(folder + "/" + entry.path().filename().string());
  std::sort(files.begin(), files.end());
  return files;
}

#endif
