// qzcFileNameList: pattern expansion, its complaints and printing.
#include "lib/qzcFileNameList.h"

#include "ReportCapture.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sstream>
#include <string>
#include <vector>

using testsupport::TempDir;
using testsupport::WriteText;

namespace {

std::vector<std::string> NamesOf(const qzcFileNameList& list) {
  return std::vector<std::string>(list.begin(), list.end());
}

// The entries of a folder ending in suffix, in the order the folder lists them.
std::vector<std::string> DirectoryOrder(const std::string& folder, const std::string& suffix) {
  std::vector<std::string> names;
  DIR* directory = opendir(folder.c_str());
  if (!directory)
    return names;
  while (const dirent* entry = readdir(directory)) {
    const std::string name = entry->d_name;
    if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
      names.push_back(folder + "/" + name);
  }
  closedir(directory);
  return names;
}

}  // namespace

class FileNameListGlob : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"c.dcm", "a.dcm", "e.dcm", "b.dcm", "d.dcm", "notes.txt"})
      WriteText(folder.file(name), name);
  }

  TempDir folder;
};

TEST_F(FileNameListGlob, MatchesComeUnsortedInDirectoryOrder) {
  qzcFileNameList list;
  list.glob(list.end(), qzcFileName(folder.file("*.dcm")));
  EXPECT_EQ(DirectoryOrder(folder.path(), ".dcm"), NamesOf(list));
  EXPECT_EQ(5u, list.size());
}

TEST_F(FileNameListGlob, MatchesGoBeforeTheIteratorGiven) {
  qzcFileNameList list;
  list.push_back(qzcFileName("first"));
  list.push_back(qzcFileName("last"));
  const qzcFileNameList::iterator last = std::next(list.begin());
  const qzcFileNameList::iterator returned = list.glob(last, qzcFileName(folder.file("*.txt")));
  EXPECT_EQ(last, returned);
  EXPECT_EQ((std::vector<std::string>{"first", folder.file("notes.txt"), "last"}), NamesOf(list));

  list.glob(list.end(), qzcFileName(folder.file("a.dcm")));
  EXPECT_EQ(folder.file("a.dcm"), list.back());
}

TEST_F(FileNameListGlob, NoMatchOrEmptyPatternAddsNothingSilently) {
  for (const std::string& pattern : {folder.file("*.png"), std::string()}) {
    qzcFileNameList list;
    list.push_back(qzcFileName("kept"));
    ReportCapture reports;
    testing::internal::CaptureStderr();
    list.glob(list.end(), qzcFileName(pattern));
    EXPECT_EQ("", testing::internal::GetCapturedStderr()) << pattern;
    EXPECT_EQ(0u, reports.ErrorCount()) << pattern;
    EXPECT_EQ(std::vector<std::string>{"kept"}, NamesOf(list)) << pattern;
  }
}

TEST(FileNameListPrint, OneNamePerLineAndAFailedStreamIsReported) {
  ReportCapture reports;
  qzcFileNameList list;
  list.push_back(qzcFileName("b.dcm"));
  list.push_back(qzcFileName("dir/a.dcm"));
  std::ostringstream out;
  list.Print(out);
  EXPECT_EQ("b.dcm\ndir/a.dcm\n", out.str());
  EXPECT_EQ(0u, reports.ErrorCount());

  std::ostringstream failed;
  failed.setstate(std::ios::badbit);
  list.Print(failed);
  EXPECT_EQ(1u, reports.ErrorCount());
  EXPECT_NE(std::string::npos, reports.Errors().find("ostream& qzcFileNameList::Print( ostream& ) const"));
  EXPECT_NE(std::string::npos, reports.Errors().find("   while sending instance to ostream!\n"));
}
