// qzcFileName pieces and the library-directory search.
#include "lib/qzcFileName.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::TempDir;
using testsupport::WriteText;

TEST(FileNamePieces, DirectoryNameAndExtension) {
  const struct {
    const char* path;
    const char* directory;
    const char* name;
    const char* extension;
    const char* stem;
  } rows[] = {
      {"dir/sub/name.ext.gz", "dir/sub/", "name.ext.gz", "gz", "name.ext"},
      {"C:\\images\\ct.dcm", "C:\\images\\", "ct.dcm", "dcm", "ct"},
      {"disk:ct", "disk:", "ct", "", "ct"},
      {"ct", "", "ct", "", "ct"},
      {"out/", "out/", "", "", ""},
      {".profile", "", ".profile", "profile", ""},
      {"series.1/image", "series.1/", "image", "", "image"},  // a directory's dot is no extension
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.path);
    const qzcFileName name(r.path);
    EXPECT_EQ(r.directory, name.GetDirectory());
    EXPECT_EQ(r.name, name.GetName());
    EXPECT_EQ(r.extension, name.GetExtension());
    EXPECT_EQ(r.stem, name.GetNameWithoutExtension());
  }
}

namespace {

// Points HOME at a folder (or unsets it) and changes the working folder for
// the life of the object.
class LibrarySearchScope {
 public:
  LibrarySearchScope(const char* home, const std::string& workingFolder) {
    const char* oldHome = std::getenv("HOME");
    hadHome = oldHome != nullptr;
    if (hadHome)
      savedHome = oldHome;
    if (home)
      setenv("HOME", home, 1);
    else
      unsetenv("HOME");
    char buffer[4096];
    if (getcwd(buffer, sizeof buffer))
      savedFolder = buffer;
    EXPECT_EQ(0, chdir(workingFolder.c_str()));
  }
  ~LibrarySearchScope() {
    if (hadHome)
      setenv("HOME", savedHome.c_str(), 1);
    else
      unsetenv("HOME");
    EXPECT_EQ(0, chdir(savedFolder.c_str()));
  }

 private:
  bool hadHome = false;
  std::string savedHome;
  std::string savedFolder;
};

void MakeFolder(const std::string& path) {
  ASSERT_EQ(0, mkdir(path.c_str(), 0755)) << path;
}

// A name unlikely to exist in any system library directory.
const char* const dictionaryName = "medconv-library-search-test.din";

}  // namespace

// Each row puts copies of the file in some of the candidate folders ("work"
// is the current folder, "lib" and "share/dicom" are under HOME) and looks
// it up; the first candidate in order that holds it wins.
TEST(LibrarySearch, CandidatesInOrder) {
  const std::string name = dictionaryName;
  const struct {
    std::vector<const char*> holders;
    bool home;
    const char* lookedUp;
    const char* subdirectory;
    const char* found;
  } rows[] = {
      // the current folder comes first and the directory given is ignored
      {{"work", "lib"}, true, "/nowhere/at/all/", "dicom", "./"},
      {{"lib", "share/dicom"}, true, "", "dicom", "HOME/lib/"},
      // home's share folder needs a subdirectory of that name
      {{"share/dicom"}, true, "", "dicom", "HOME/share/dicom/"},
      {{"share/dicom"}, true, "", "", nullptr},
      {{"share/dicom"}, true, "", "other", nullptr},
      {{}, true, "", "dicom", nullptr},
      // without HOME the other candidates are still searched
      {{"work"}, false, "", "dicom", "./"},
      {{}, false, "", "dicom", nullptr},
  };
  for (const auto& r : rows) {
    TempDir home, work;
    MakeFolder(home.file("lib"));
    MakeFolder(home.file("share"));
    MakeFolder(home.file("share/dicom"));
    std::string trace;
    for (const std::string holder : r.holders) {
      WriteText((holder == "work" ? work.path() : home.path() + "/" + holder) + "/" + name, holder);
      trace += holder + " ";
    }
    SCOPED_TRACE(trace + (r.home ? "HOME " : "no HOME ") + r.subdirectory);
    LibrarySearchScope scope(r.home ? home.path().c_str() : nullptr, work.path());
    std::string expected = r.found ? r.found + name : "";
    if (expected.rfind("HOME", 0) == 0)
      expected = home.path() + expected.substr(4);
    EXPECT_EQ(expected, FindInLibraryDirectories(qzcFileName(r.lookedUp + name), r.subdirectory));
  }
}
