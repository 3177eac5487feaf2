// File names and their pieces, and the search of a data file in the usual
// library directories. "/", ":" and the backslash all separate directories.
#ifndef QZC_FILE_NAME_H
#define QZC_FILE_NAME_H

#include "lib/qzcString.h"

#include <utility>

class qzcFileName : public qzcString {
 public:
  using qzcString::qzcString;
  using qzcString::operator=;
  qzcFileName() = default;
  qzcFileName(const qzcString& text) : qzcString(text) {}
  qzcFileName(qzcString&& text) : qzcString(std::move(text)) {}

  // For dir/sub/name.ext.gz: "dir/sub/", "name.ext.gz", "gz", "name.ext".
  qzcString GetDirectory() const;
  qzcString GetName() const;
  qzcString GetExtension() const;
  qzcString GetNameWithoutExtension() const;
};

// The first existing file named like name (its directory part ignored) in
// the current directory, $HOME/lib, $HOME/share/<subdir>, share/<subdir>
// beside the running program's folder and the system library and share
// directories; an empty name when there is none. An empty subdir leaves out
// the share directories.
qzcFileName FindInLibraryDirectories(const qzcFileName& name, const qzcString& subdir);

#endif
