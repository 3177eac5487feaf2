// File names: their pieces, the library-directory search, and lists filled
// by pattern expansion.
#include "lib/qzcFileName.h"
#include "lib/qzcFileNameList.h"
#include "ReportCapture.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

using testsupport::TempDir;
using testsupport::WriteText;

TEST(FileName, DirectoryNameAndExtension) {
  const struct {
    const char *path, *directory, *name, *extension, *stem;
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

// Points HOME at a folder (or unsets it) and works in another folder for
// the life of the object.
class SearchScope {
 public:
  SearchScope(const char* home, const std::string& folder) : hadHome_(std::getenv("HOME") != nullptr) {
    savedHome_ = hadHome_ ? std::getenv("HOME") : "";
    home ? setenv("HOME", home, 1) : unsetenv("HOME");
    char buffer[4096];
    savedFolder_ = getcwd(buffer, sizeof buffer) ? buffer : "/";
    EXPECT_EQ(0, chdir(folder.c_str()));
  }
  ~SearchScope() {
    hadHome_ ? setenv("HOME", savedHome_.c_str(), 1) : unsetenv("HOME");
    EXPECT_EQ(0, chdir(savedFolder_.c_str()));
  }

 private:
  bool hadHome_;
  std::string savedHome_, savedFolder_;
};

}  // namespace

// Each row puts copies of the file in some candidate folders ("work" is the
// current folder, "lib" and "share/dicom" are under HOME); the first
// candidate in order that holds it wins.
TEST(FileName, LibrarySearchTakesTheFirstCandidateInOrder) {
  const std::string name = "medconv-library-search-test.din";  // in no system folder
  const struct {
    std::vector<const char*> holders;
    bool home;
    const char *lookedUp, *subdirectory, *found;
  } rows[] = {
      // the current folder comes first and the directory given is ignored
      {{"work", "lib"}, true, "/nowhere/at/all/", "dicom", "./"},
      {{"lib", "share/dicom"}, true, "", "dicom", "HOME/lib/"},
      // home's share folder needs a subdirectory of that name
      {{"share/dicom"}, true, "", "dicom", "HOME/share/dicom/"},
      {{"share/dicom"}, true, "", "", nullptr},
      {{"share/dicom"}, true, "", "other", nullptr},
      // without HOME the other candidates are still searched
      {{"work"}, false, "", "dicom", "./"},
      {{}, false, "", "dicom", nullptr},
  };
  for (const auto& r : rows) {
    TempDir home, work;
    for (const char* folder : {"/lib", "/share", "/share/dicom"})
      ASSERT_EQ(0, mkdir((home.path() + folder).c_str(), 0755));
    std::string trace;
    for (const std::string holder : r.holders) {
      WriteText((holder == "work" ? work.path() : home.path() + "/" + holder) + "/" + name, holder);
      trace += holder + " ";
    }
    SCOPED_TRACE(trace + (r.home ? "HOME " : "no HOME ") + r.subdirectory);
    SearchScope scope(r.home ? home.path().c_str() : nullptr, work.path());
    std::string expected = r.found ? r.found + name : "";
    if (expected.rfind("HOME", 0) == 0)
      expected = home.path() + expected.substr(4);
    EXPECT_EQ(expected, FindInLibraryDirectories(qzcFileName(r.lookedUp + name), r.subdirectory));
  }
}

namespace {

std::vector<std::string> NamesOf(const qzcFileNameList& list) {
  return std::vector<std::string>(list.begin(), list.end());
}

class FileNameList : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"c.dcm", "a.dcm", "e.dcm", "b.dcm", "d.dcm", "notes.txt"})
      WriteText(folder_.file(name), name);
  }
  TempDir folder_;
};

}  // namespace

TEST_F(FileNameList, MatchesComeUnsortedBeforeTheIteratorGiven) {
  std::vector<std::string> directoryOrder;
  DIR* directory = opendir(folder_.path().c_str());
  ASSERT_NE(directory, nullptr);
  while (const dirent* entry = readdir(directory))
    if (std::string(entry->d_name).find(".dcm") != std::string::npos)
      directoryOrder.push_back(folder_.file(entry->d_name));
  closedir(directory);

  qzcFileNameList list;
  list.push_back(qzcFileName("first"));
  list.push_back(qzcFileName("last"));
  const qzcFileNameList::iterator last = std::next(list.begin());
  EXPECT_EQ(last, list.glob(last, qzcFileName(folder_.file("*.dcm"))));
  directoryOrder.insert(directoryOrder.begin(), "first");
  directoryOrder.push_back("last");
  EXPECT_EQ(directoryOrder, NamesOf(list));
}

TEST_F(FileNameList, NoMatchOrEmptyPatternComplainsAndAddsNothing) {
  for (const std::string& pattern : {folder_.file("*.png"), std::string()}) {
    qzcFileNameList list;
    list.push_back(qzcFileName("kept"));
    testing::internal::CaptureStderr();
    list.glob(list.end(), qzcFileName(pattern));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Error while using system glob!"), std::string::npos);
    EXPECT_EQ(std::vector<std::string>{"kept"}, NamesOf(list)) << pattern;
  }
}

TEST(FileNameListPrint, OneNamePerLineAndAFailedStreamIsReported) {
  ReportCapture reports;
  qzcFileNameList list;
  list.push_back(qzcFileName("b.dcm"));
  list.push_back(qzcFileName("dir/a.dcm"));
  std::ostringstream out, failed;
  list.Print(out);
  EXPECT_EQ("b.dcm\ndir/a.dcm\n", out.str());
  EXPECT_EQ(0u, reports.ErrorCount());
  failed.setstate(std::ios::badbit);
  list.Print(failed);
  EXPECT_EQ(1u, reports.ErrorCount());
}
