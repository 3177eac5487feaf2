// Strings and file names: field operations, justification, case folding,
// the token readers, the pieces of a file name, the library-directory
// search, and lists filled by pattern expansion.
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

TEST(String, FieldsAreCountedFoundAndSet) {
  const struct {
    const char *text, *sep;
    unsigned count, field;
    const char *got, *set;  // field read, and the text with the field set to "v"
  } rows[] = {
      {"", ":", 1, 1, "", "v"},         {"40:400", ":", 2, 0, "", "40:400"},  {":", ":", 2, 1, "", "v:"},
      {"a::b", ":", 3, 2, "", "a:v:b"}, {"a::b", "", 3, 3, "b", "a::v"},      {"x|y|z", "|", 3, 2, "y", "x|v|z"},
      {"max", ":", 1, 3, "", "max::v"}, {"a:bc:d", ":", 3, 2, "bc", "a:v:d"}, {"", "|", 1, 2, "", "|v"},
  };
  for (const auto& r : rows) {
    qzcString text(r.text);
    EXPECT_EQ(text.CountFields(r.sep), r.count) << r.text;
    EXPECT_EQ(text.GetField(r.field, r.sep), r.got) << r.text << " " << r.field;
    EXPECT_EQ(text.SetField(r.field, "v", r.sep), r.set) << r.text << " " << r.field;
  }
  const struct {
    const char *text, *field;
    unsigned index;
  } finds[] = {{"cur_nm:ren_o", "ren_o", 2},
               {"cur_nm:ren_ox", "ren_o", 0},
               {"cur_nm:ren_o", "cur_nm", 1},
               {"a::b", "", 2},
               {"", "", 1},
               {"ab", "a", 0}};
  for (const auto& f : finds)
    EXPECT_EQ(qzcString(f.text).FindField(f.field), f.index) << f.text << " / " << f.field;
  qzcString window("40:400");  // numbers are formatted as %g
  EXPECT_EQ(window.SetField(2, 2.5).SetField(1, 1e6).SetField(3, -3), "1e+06:2.5:-3");
}

TEST(String, JustifiedCutsWithDotsOrPadsWithTheFill) {
  const struct {
    const char* text;
    unsigned width;
    char fill;
    const char *left, *centre, *right;
  } rows[] = {
      {"abcdefgh", 7, ' ', "abcd...", "ab...gh", "...efgh"},
      {"abcdefgh", 6, ' ', "abc...", "ab...h", "...fgh"},
      {"abcdefgh", 5, ' ', "ab...", "a...h", "...gh"},
      {"abcdefgh", 4, ' ', "abcd", "abgh", "efgh"},
      {"abcdefgh", 1, ' ', "a", "h", "h"},
      {"abcdefgh", 0, ' ', "", "", ""},
      {"abc", 6, '-', "abc---", "-abc--", "---abc"},
      {"abc", 3, '-', "abc", "abc", "abc"},
  };
  for (const auto& r : rows) {
    const qzcString text(r.text);
    EXPECT_EQ(text.Justified(r.width, qzcString::Left, r.fill) + "|" +
                  text.Justified(r.width, qzcString::Centre, r.fill) + "|" +
                  text.Justified(r.width, qzcString::Right, r.fill),
              std::string(r.left) + "|" + r.centre + "|" + r.right);
  }
  // A wrong type keeps the text, and complains unless the text already fits.
  testing::internal::CaptureStderr();
  EXPECT_EQ(
      qzcString("abcd").Justified(4, 3) + qzcString("abcdefgh").Justified(4, 3) + qzcString("abc").Justified(6, -1),
      "abcdabcdefghabc");
  const std::string complaints = testing::internal::GetCapturedStderr();
  EXPECT_EQ(std::count(complaints.begin(), complaints.end(), '\n'), 2);
}

TEST(String, WordsSkipWhiteSpaceAndLinesDropEveryCarriageReturn) {
  EXPECT_EQ(qzcString("CT.Image-01.DCM").ToLower(), "ct.image-01.dcm");
  std::istringstream words("  (0008,0016)\tUI\n\v 1 \"SOP Class\""), lines("one\r\ntw\ro\n\n  spaced  \nlast");
  std::string got;
  for (qzcString word; word.ReadWord(words);)
    got += word + "|";
  for (qzcString line; line.ReadLine(lines);)
    got += line + "|";
  EXPECT_EQ(got, "(0008,0016)|UI|1|\"SOP|Class\"|one|two||  spaced  |last|");
  qzcString line = std::string("stale");
  std::istringstream empty("");
  EXPECT_FALSE(line.ReadLine(empty));
  EXPECT_EQ(line, "");
}

TEST(FileName, DirectoryNameAndExtension) {
  const struct {
    const char *path, *pieces;
  } rows[] = {
      {"dir/sub/name.ext.gz", "dir/sub/|name.ext.gz|gz|name.ext"},
      {"C:\\images\\ct.dcm", "C:\\images\\|ct.dcm|dcm|ct"},
      {"disk:ct", "disk:|ct||ct"},
      {"ct", "|ct||ct"},
      {"out/", "out/|||"},
      {".profile", "|.profile|profile|"},
      {"series.1/image", "series.1/|image||image"},  // a directory's dot is no extension
  };
  for (const auto& r : rows) {
    const qzcFileName name(r.path);
    EXPECT_EQ(
        name.GetDirectory() + "|" + name.GetName() + "|" + name.GetExtension() + "|" + name.GetNameWithoutExtension(),
        r.pieces);
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
  // The system's folders, with files every Debian system has.
  if (testsupport::FileExists("/usr/lib/os-release")) {
    EXPECT_EQ(FindInLibraryDirectories(qzcFileName("os-release"), "").GetDirectory().substr(0, 1), "/");
  }
  if (testsupport::FileExists("/usr/share/common-licenses/GPL-3")) {
    EXPECT_EQ(FindInLibraryDirectories(qzcFileName("GPL-3"), "common-licenses"), "/usr/share/common-licenses/GPL-3");
  }
}

TEST(FileNameList, GlobInsertsMatchesBeforeTheIteratorOrNothingSilently) {
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
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  const std::vector<std::string> inserted(std::next(list.begin()), last);
  std::vector<std::string> sorted = inserted;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (std::vector<std::string>{folder.file("a.dcm"), folder.file("b.dcm"), folder.file("c.dcm")}));

  ReportCapture reports;
  std::ostringstream out, failed;
  list.Print(out);
  EXPECT_EQ(out.str(), "first\n" + inserted[0] + "\n" + inserted[1] + "\n" + inserted[2] + "\nlast\n");
  EXPECT_EQ(reports.ErrorCount(), 0u);
  failed.setstate(std::ios::badbit);
  list.Print(failed);
  EXPECT_EQ(reports.ErrorCount(), 1u);
}
