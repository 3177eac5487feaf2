// Debian's pydicom corpus: every file reads and dumps the elements, depths and VRs dcmdump lists; written
// back in every native syntax (set writer, medconv -d) it loses no value for pydicom (tools/roundtrip.py).
#include <gtest/gtest.h>

#include <glob.h>
#include <sys/stat.h>

#include <algorithm>
#include <iostream>
#include <map>

#include "lib/ReportCapture.h"
#include "support/DicomBytes.h"

typedef qzmDicomDataElementSet Set;

namespace {

const std::string Corpus = "/usr/lib/python3/dist-packages/pydicom/data/test_files/";

// The names of the folder's .dcm files, sorted.
std::vector<std::string> Files(const std::string& folder) {
  glob_t found{};
  std::vector<std::string> files;
  for (std::size_t n = glob((folder + "/*.dcm").c_str(), 0, nullptr, &found) ? 0 : found.gl_pathc; n-- > 0;)
    files.insert(files.begin(), std::string(found.gl_pathv[n]).substr(std::string(found.gl_pathv[n]).rfind('/') + 1));
  globfree(&found);
  return files;
}

// A line of either listing as ">>TAG VR", tags in upper case, dcmdump's "??" as "UN"; depth marks of the fragments
// of encapsulated pixel data (one value here) are not added; its VR, OB or OW by guess, is "O?".
void Add(std::vector<std::string>& lines, std::size_t depth, std::string tag, const std::string& vr) {
  std::transform(tag.begin(), tag.end(), tag.begin(), [](unsigned char c) { return char(std::toupper(c)); });
  const auto top = std::find_if(lines.rbegin(), lines.rend(), [](const std::string& l) { return l[0] != '>'; });
  if (depth == 0 || top == lines.rend() || top->compare(0, 9, "7FE0,0010") != 0)
    lines.push_back(std::string(depth, '>') + tag + " " + (tag == "7FE0,0010" ? "O?" : vr == "??" ? "UN" : vr));
}

// dcmdump's listings of many files in one run: per file, its lines and whether it read without an error.
struct Listing {
  std::vector<std::string> lines;
  bool clean = true;
};
std::map<std::string, Listing> Dcmdump(const std::vector<std::string>& names) {
  std::string command = "stdbuf -oL dcmdump -M -Un +L +F";
  for (const std::string& name : names)
    command += " '" + Corpus + name + "'";
  std::istringstream text(testsupport::Run(command + " 2>&1").out);
  std::map<std::string, Listing> listings;
  Listing* file = nullptr;
  for (std::string raw; std::getline(text, raw);) {
    const std::size_t at = raw.find_first_not_of(' ');
    if (raw.rfind("# dcmdump (", 0) == 0)
      file = &listings[raw.substr(raw.rfind('/') + 1)];
    else if (file && raw.rfind("E: ", 0) == 0)
      file->clean = false;
    else if (file && at != std::string::npos && raw.size() > at + 15 && raw[at] == '(' && raw[at + 10] == ')' &&
             (raw.compare(at, 8, "(fffe,e0") != 0 || raw.compare(at, 11, "(fffe,e000)") == 0))  // no delimitations
      Add(file->lines, at / 2, raw.substr(at + 1, 9), raw.substr(at + 12, 2));
  }
  return listings;
}

// The dump: depth marks, name in 30 columns, tag, retired mark and VM in 7 columns, VR, " [", value, "]".
std::vector<std::string> DumpLines(const Set& set) {
  std::istringstream text(dicombytes::Dump(set));
  std::vector<std::string> lines;
  for (std::string raw; std::getline(text, raw);) {
    const std::size_t depth = raw.find_first_not_of('>'), at = depth + 31;
    if (raw.size() >= at + 23 && raw[at] == '(' && raw.back() == ']')  // not a text of many lines
      Add(lines, depth, raw.substr(at + 1, 9), raw.substr(at + 18, 2));
  }
  return lines;
}

// Bare explicit VR sets, which the automatic reading takes for implicit VR, are read with their syntax given.
bool LoadFromCorpus(const std::string& name, Set& set) {
  const iobsManipulator syntax = name == "ExplVR_LitEndNoMeta.dcm"   ? explicit_little_endian
                                 : name == "ExplVR_BigEndNoMeta.dcm" ? explicit_big_endian : nullptr;
  return set.Load(Corpus + name, nullptr, syntax);
}

bool Have(bool withPydicom) {
  return !Files(Corpus).empty() && testsupport::HaveProgram("dcmdump") && testsupport::HaveProgram("stdbuf") &&
         (!withPydicom || testsupport::Run("/usr/bin/python3 -c 'import pydicom'").status == 0);
}

}  // namespace

TEST(Corpus, FilesReadAndDumpAsDcmdumpListsThem) {
  if (!Have(false))
    GTEST_SKIP() << "pydicom's files or dcmdump missing";
  ReportCapture reports;
  const std::vector<std::string> names = Files(Corpus);
  auto listings = Dcmdump(names);
  // Damaged or truncated files, a deflated body ending early, no transfer syntax in an explicit VR meta group.
  const std::string unread =
      " MR_truncated.dcm image_dfl.dcm meta_missing_tsyntax.dcm no_meta.dcm rtplan_truncated.dcm ";
  int files = 0, nested = 0;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    Set set;
    if (!LoadFromCorpus(name, set)) {
      EXPECT_NE(unread.find(" " + name + " "), std::string::npos);
      continue;
    }
    // dcmdump drops the invalid group 0001 that nested_priv_SQ.dcm nests.
    if (!listings[name].clean || name == "nested_priv_SQ.dcm")
      continue;
    ++files;
    const std::vector<std::string> ours = DumpLines(set);
    EXPECT_EQ(ours, listings[name].lines);
    nested += std::count_if(ours.begin(), ours.end(), [](const std::string& l) { return l[0] == '>'; });
  }
  EXPECT_GT(files, 50);
  EXPECT_GT(nested, 500);
}

// Encapsulated syntaxes are kept by the set writer; --frame=whole keeps the source's pixel data.
TEST(Corpus, WrittenBackInEveryNativeSyntaxLosesNothing) {
  if (!Have(true) || std::string(MEDCONV_BINARY).empty())
    GTEST_SKIP() << "pydicom, its files, dcmdump or medconv missing";
  ReportCapture reports;
  testsupport::TempDir dir;
  std::string folders;
  const std::string linked = testsupport::LinkedCorpus(dir);
  for (const char* syntax : {"il", "el", "eb"}) {
    const std::string set = dir.file(std::string("set-") + syntax),
                      program = dir.file(std::string("medconv-") + syntax);
    ASSERT_EQ(mkdir(set.c_str(), 0755) + mkdir(program.c_str(), 0755), 0);
    folders += " " + set + " " + program;
    for (const std::string& name : Files(Corpus)) {
      Set source;
      if (!LoadFromCorpus(name, source))
        continue;
      const auto found = source.find(0x0002, 0x0010), bits = source.find(0x0028, 0x0100);
      // The set writer swaps OW by words: 32-bit samples changing byte order are medconv's to convert.
      const bool wasBig = found != source.end() && found->second.UI() == Set::ExplicitVRBigEndian;
      if (bits != source.end() && bits->second.US() == 32 && wasBig != (syntax[1] == 'b'))
        continue;
      if (found != source.end() && Set::IsNativeSyntax(found->second.UI()))
        found->second.UI() = syntax[0] == 'i'   ? Set::ImplicitVRLittleEndian
                             : syntax[1] == 'l' ? Set::ExplicitVRLittleEndian : Set::ExplicitVRBigEndian;
      EXPECT_TRUE(source.Save(set + "/" + name)) << name;
    }
    testsupport::Run(std::string(MEDCONV_BINARY) + " -d=" + syntax + " --frame=whole --to=" + program + " " + linked +
                     "*.dcm 2>/dev/null");
    // badVR.dcm holds 15 frames of 32-bit samples and announces "1A": refused, not cut to one frame.
    EXPECT_EQ(testsupport::FileExists(program + "/badVR.dcm.dcm"), syntax[1] != 'b');
    EXPECT_GT(Files(set).size(), 55u);
    EXPECT_GT(Files(program).size(), 45u);
  }
  const testsupport::RunResult run = testsupport::Run("/usr/bin/python3 " MEDCONV_SOURCE_DIR "/tools/roundtrip.py " +
                                                      Corpus + folders + " 2>/dev/null");
  std::cout << run.out;
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("elements-compared"), std::string::npos) << run.out;
}
