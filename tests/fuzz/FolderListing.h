// The files of a folder, for the tests that run over saved inputs.
#ifndef MEDCONV_FUZZ_FOLDER_LISTING_H
#define MEDCONV_FUZZ_FOLDER_LISTING_H

#include <dirent.h>

#include <algorithm>
#include <string>
#include <vector>

// Paths ("folder/name") of the entries that do not start with a dot, in name
// order; none when the folder does not exist.
inline std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> files;
  if (DIR* directory = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(directory))
      if (entry->d_name[0] != '.')
        files.push_back(folder + "/" + entry->d_name);
    ::closedir(directory);
  }
  std::sort(files.begin(), files.end());
  return files;
}

#endif
