// Interoperability with files nobody here wrote: Debian's pydicom test
// corpus is read without a crash, the values of common elements agree with
// DCMTK's dcmdump, and sets written back are read by dcmdump with the same
// values. Skipped when pydicom's files or dcmdump are not installed.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "CapturedReports.h"
#include "dicom/qzmDicomDataElementSet.h"
#include "support/TestSupport.h"

typedef qzmDicomDataElementDescription D;
typedef qzmDicomDataElementSet Set;
typedef qzmDicomDataElementTag Tag;

namespace {

const char* const CorpusFolder = "/usr/lib/python3/dist-packages/pydicom/data/test_files";

std::vector<std::string> CorpusFiles() {
  std::vector<std::string> files;
  if (DIR* folder = opendir(CorpusFolder)) {
    while (const dirent* entry = readdir(folder)) {
      const std::string name = entry->d_name;
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dcm") == 0)
        files.push_back(name);
    }
    closedir(folder);
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Patient, study, series, image geometry, pixel description and window.
const Tag CommonTags[] = {{0x0008, 0x0016}, {0x0008, 0x0018}, {0x0008, 0x0020}, {0x0008, 0x0030}, {0x0008, 0x0060},
                          {0x0010, 0x0010}, {0x0010, 0x0020}, {0x0010, 0x0030}, {0x0010, 0x0040}, {0x0018, 0x0050},
                          {0x0020, 0x000D}, {0x0020, 0x000E}, {0x0020, 0x0011}, {0x0020, 0x0013}, {0x0028, 0x0002},
                          {0x0028, 0x0004}, {0x0028, 0x0008}, {0x0028, 0x0010}, {0x0028, 0x0011}, {0x0028, 0x0030},
                          {0x0028, 0x0100}, {0x0028, 0x0101}, {0x0028, 0x0102}, {0x0028, 0x0103}, {0x0028, 0x1050},
                          {0x0028, 0x1051}, {0x0028, 0x1052}, {0x0028, 0x1053}};

std::string Trimmed(std::string text) {
  const auto notSpace = [](char c) { return c != ' ' && c != '\0'; };
  text.erase(text.begin(), std::find_if(text.begin(), text.end(), notSpace));
  text.erase(std::find_if(text.rbegin(), text.rend(), notSpace).base(), text.end());
  return text;
}

std::string Without(std::string text, char removed) {
  text.erase(std::remove(text.begin(), text.end(), removed), text.end());
  return text;
}

// A value as both sides can spell it: dates as YYYYMMDD, times as HHMMSS,
// numbers separated by backslashes, texts trimmed.
std::string Normalised(const qzmDicomDataElementValue& value) {
  char text[32];
  switch (value.GetVR()) {
    case D::DA:
      std::snprintf(text, sizeof text, "%04u%02u%02u", unsigned(value.DA().year), unsigned(value.DA().month),
                    unsigned(value.DA().day));
      return text;
    case D::TM:
      std::snprintf(text, sizeof text, "%02u%02u%02u", unsigned(value.TM().hour), unsigned(value.TM().minute),
                    unsigned(value.TM().second));
      return text;
    case D::US:
    case D::SS: {
      std::string numbers;
      for (UWORD i = 0; i < value.GetCount(); ++i)
        numbers += (i ? "\\" : "") + std::to_string(value.GetVR() == D::US ? int(value.US(i)) : int(value.SS(i)));
      return numbers;
    }
    default:
      return Trimmed(value.LO());
  }
}

// The common elements of the top level of dcmdump's listing of a file.
std::map<Tag, std::string> DcmdumpValues(const std::string& file, testsupport::RunResult* run = nullptr) {
  const testsupport::RunResult result = testsupport::Run("dcmdump -M -Un +L '" + file + "'");
  if (run)
    *run = result;
  std::map<Tag, std::string> values;
  std::istringstream lines(result.out);
  std::string line;
  while (std::getline(lines, line)) {
    unsigned group = 0, element = 0;
    if (line.size() < 16 || line[0] != '(' || std::sscanf(line.c_str(), "(%4x,%4x)", &group, &element) != 2)
      continue;
    const Tag tag{UWORD(group), UWORD(element)};
    if (std::find(std::begin(CommonTags), std::end(CommonTags), tag) == std::end(CommonTags))
      continue;
    std::string value = Trimmed(line.substr(15, line.rfind(" #") - 15));
    const std::string vr = line.substr(12, 2);
    if (value == "(no value available)" || vr == "UN")
      continue;
    if (!value.empty() && value.front() == '[')
      value = value.substr(1, value.rfind(']') - 1);
    values[tag] = vr == "DA" ? Without(value, '.') : vr == "TM" ? Without(value, ':').substr(0, 6) : Trimmed(value);
  }
  return values;
}

// Every common element of the set agrees with dcmdump's listing; gives the
// number of elements compared.
int ExpectAgreement(const Set& set, const std::map<Tag, std::string>& dcmdump, const std::string& what) {
  int compared = 0;
  for (const Tag& tag : CommonTags) {
    const auto ours = set.find(tag);
    const auto theirs = dcmdump.find(tag);
    if (ours == set.end() || theirs == dcmdump.end() || ours->second.GetVR() == D::UN)
      continue;
    EXPECT_EQ(Normalised(ours->second), theirs->second) << what << " " << tag;
    ++compared;
  }
  return compared;
}

bool HaveCorpus() {
  return !CorpusFiles().empty();
}

}  // namespace

TEST(Corpus, EveryFileReadsWithoutACrash) {
  if (!HaveCorpus())
    GTEST_SKIP() << "python3-pydicom's test files are not installed";
  CapturedReports reports;
  std::vector<std::string> unread;
  for (const std::string& name : CorpusFiles()) {
    Set set;
    if (!set.Load(std::string(CorpusFolder) + "/" + name))
      unread.push_back(name);
  }
  // Known not to read: bare explicit VR sets (read as implicit VR), damaged
  // or truncated files, a deflated body, and a meta group in explicit VR
  // without transfer syntax whose retry is implicit VR.
  const std::vector<std::string> expectedUnread = {"ExplVR_BigEndNoMeta.dcm",  "ExplVR_LitEndNoMeta.dcm",
                                                   "MR_truncated.dcm",         "image_dfl.dcm",
                                                   "meta_missing_tsyntax.dcm", "no_meta.dcm",
                                                   "rtplan_truncated.dcm"};
  for (const std::string& name : unread)
    EXPECT_NE(std::find(expectedUnread.begin(), expectedUnread.end(), name), expectedUnread.end()) << name;
  EXPECT_LE(unread.size(), expectedUnread.size());
}

// Common values agree with dcmdump's, and the sets written back are read by
// dcmdump without an error and show the same values.
TEST(Corpus, CommonValuesAgreeWithDcmdumpAndSetsWrittenBackToo) {
  if (!HaveCorpus() || !testsupport::HaveProgram("dcmdump"))
    GTEST_SKIP() << "pydicom's files or dcmdump missing";
  CapturedReports reports;
  testsupport::TempDir dir;
  int written = 0, compared = 0, comparedBack = 0;
  for (const std::string& name : CorpusFiles()) {
    const std::string file = std::string(CorpusFolder) + "/" + name, copy = dir.file(name);
    Set set;
    if (!set.Load(file))
      continue;
    compared += ExpectAgreement(set, DcmdumpValues(file), name);
    ASSERT_TRUE(set.Save(copy)) << name;
    testsupport::RunResult run;
    const auto values = DcmdumpValues(copy, &run);
    EXPECT_EQ(run.status, 0) << name << "\n" << run.err;
    EXPECT_EQ(run.err.find("E: "), std::string::npos) << name << "\n" << run.err;
    comparedBack += ExpectAgreement(set, values, name + " written back");
    ++written;
  }
  EXPECT_GT(written, 50);
  EXPECT_GT(compared, 600);
  EXPECT_GT(comparedBack, 600);
}

// The bare explicit VR sets that the automatic reading takes for implicit VR
// read in full once their syntax is given, in either byte order.
TEST(Corpus, BareExplicitSetsReadWithTheirSyntaxGiven) {
  if (!HaveCorpus() || !testsupport::HaveProgram("dcmdump"))
    GTEST_SKIP() << "pydicom's files or dcmdump missing";
  CapturedReports reports;
  const std::pair<const char*, iobsManipulator> files[] = {{"ExplVR_LitEndNoMeta.dcm", explicit_little_endian},
                                                           {"ExplVR_BigEndNoMeta.dcm", explicit_big_endian}};
  for (const auto& file : files) {
    const std::string path = std::string(CorpusFolder) + "/" + file.first;
    if (!testsupport::FileExists(path))
      continue;
    Set set;
    ASSERT_TRUE(set.Load(path, nullptr, file.second)) << file.first << reports.Errors();
    EXPECT_EQ(set.find(0x0008, 0x0060)->second.CS(), "RTPLAN") << file.first;
    EXPECT_GT(ExpectAgreement(set, DcmdumpValues(path), file.first), 8) << file.first;
  }
}
