// File names: their pieces, the library-directory search, and lists filled
// by pattern expansion.
#include "lib/qzcFileName.h"
#include "lib/qzcFileNameList.h"
#include "ReportCapture.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <vector>

using testsupport::TempDir;

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
    const qzcFileName name(r.path);
    EXPECT_EQ(
        name.GetDirectory() + "|" + name.GetName() + "|" + name.GetExtension() + "|" + name.GetNameWithoutExtension(),
        std::string(r.directory) + "|" + r.name + "|" + r.extension + "|" + r.stem);
  }
}

// Each row puts the file in some candidate folders ("." is the working
// folder, the others are under HOME) and looks it up from another name's
// folder; the first candidate in order that holds it wins.
TEST(FileName, LibrarySearchTakesTheFirstCandidateInOrder) {
  const std::string name = "medconv-library-search-test.din";  // in no system folder
  const struct {
    std::vector<std::string> holders;
    bool home;
    const char *subdirectory, *found;
  } rows[] = {
      {{".", "/lib"}, true, "dicom", "./"},
      {{"/lib", "/share/dicom"}, true, "dicom", "HOME/lib/"},
      {{"/share/dicom"}, true, "dicom", "HOME/share/dicom/"},
      {{"/share/dicom"}, true, "", ""},  // the share folders need a subdirectory
      {{"/share/dicom"}, true, "other", ""},
      {{"."}, false, "dicom", "./"},
      {{}, false, "dicom", ""},
  };
  char saved[4096];
  ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
  const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  for (const auto& r : rows) {
    TempDir home, work;
    for (const char* folder : {"/lib", "/share", "/share/dicom"})
      mkdir((home.path() + folder).c_str(), 0755);
    for (const std::string& holder : r.holders)
      testsupport::WriteText((holder == "." ? work.path() : home.path() + holder) + "/" + name, holder);
    r.home ? setenv("HOME", home.path().c_str(), 1) : unsetenv("HOME");
    ASSERT_EQ(chdir(work.path().c_str()), 0);
    std::string found = FindInLibraryDirectories(qzcFileName("/nowhere/" + name), r.subdirectory);
    if (found.rfind(home.path(), 0) == 0)
      found = "HOME" + found.substr(home.path().size());
    EXPECT_EQ(found, *r.found ? r.found + name : "") << r.holders.size() << " " << r.subdirectory;
    ASSERT_EQ(chdir(saved), 0);
  }
  savedHome.empty() ? unsetenv("HOME") : setenv("HOME", savedHome.c_str(), 1);
}

TEST(FileNameList, GlobInsertsMatchesBeforeTheIteratorOrComplains) {
  TempDir folder;
  for (const char* name : {"c.dcm", "a.dcm", "b.dcm", "notes.txt"})
    testsupport::WriteText(folder.file(name), name);
  qzcFileNameList list;
  list.push_back(qzcFileName("first"));
  list.push_back(qzcFileName("last"));
  const qzcFileNameList::iterator last = std::next(list.begin());
  EXPECT_EQ(last, list.glob(last, qzcFileName(folder.file("*.dcm"))));
  testing::internal::CaptureStderr();
  list.glob(last, qzcFileName(folder.file("*.png")));
  list.glob(last, qzcFileName(""));
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Error while using system glob!"), std::string::npos);
  ASSERT_EQ(list.size(), 5u);
  EXPECT_EQ(list.front() + list.back(), "firstlast");
  std::vector<std::string> matches(std::next(list.begin()), last);
  std::sort(matches.begin(), matches.end());
  EXPECT_EQ(matches, (std::vector<std::string>{folder.file("a.dcm"), folder.file("b.dcm"), folder.file("c.dcm")}));

  ReportCapture reports;
  std::ostringstream out, failed;
  list.Print(out);
  const std::string printed = out.str();
  EXPECT_EQ(printed.substr(0, 6) + printed.substr(printed.size() - 5), "first\nlast\n");
  EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 5);
  failed.setstate(std::ios::badbit);
  list.Print(failed);
  EXPECT_EQ(reports.ErrorCount(), 1u);
}
