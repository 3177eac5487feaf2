// The text dump against DCMTK's dcmdump over Debian's pydicom corpus: the
// same elements at the same nesting depth with the same VR, and the same
// values for strings, items of sequences included. Skipped when the corpus
// or dcmdump is missing.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace {

const char* const Corpus = "/usr/lib/python3/dist-packages/pydicom/data/test_files";

struct Line {
  int depth;
  std::string tag, vr, value;
  bool operator==(const Line& other) const {
    return depth == other.depth && tag == other.tag && vr == other.vr && value == other.value;
  }
};

std::ostream& operator<<(std::ostream& os, const Line& line) {
  return os << line.depth << ' ' << line.tag << ' ' << line.vr << " [" << line.value << ']';
}

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \\0");
  const std::size_t last = text.find_last_not_of(" \\0");
  return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::toupper(c)); });
  return text;
}

// Strings whose printed forms both programs share.
bool ComparesValue(const std::string& vr) {
  static const std::vector<std::string> vrs = {"AE", "CS", "DS", "IS", "LO", "PN", "SH", "UI"};
  return std::find(vrs.begin(), vrs.end(), vr) != vrs.end();
}

// The encapsulated pixel data are one value for medconv and a list of
// fragments for dcmdump, and their OB or OW is dcmdump's guess or the
// file's: only the element itself is compared, as "O?".
void Normalise(std::vector<Line>& lines) {
  std::vector<Line> kept;
  bool inPixelData = false;
  for (Line line : lines) {
    if (line.depth == 0)
      inPixelData = line.tag == "7FE0,0010";
    if (inPixelData && line.depth > 0)
      continue;
    if (line.tag == "7FE0,0010")
      line.vr = "O?";
    if (!ComparesValue(line.vr))
      line.value.clear();
    kept.push_back(line);
  }
  lines = kept;
}

// The offset of the first "(gggg,eeee)" of a line, or npos. Lines can be
// long (whole values): no regular expression.
std::size_t FindTag(const std::string& line) {
  for (std::size_t at = line.find('('); at != std::string::npos; at = line.find('(', at + 1)) {
    if (at + 11 > line.size() || line[at + 5] != ',' || line[at + 10] != ')')
      continue;
    const std::string digits = line.substr(at + 1, 4) + line.substr(at + 6, 4);
    if (digits.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos)
      return at;
  }
  return std::string::npos;
}

std::string TagAt(const std::string& line, std::size_t at) {
  return Upper(line.substr(at + 1, 9));
}

std::vector<Line> DcmdumpLines(const std::string& file, bool& clean) {
  const testsupport::RunResult run = testsupport::Run("dcmdump -M -Un +L '" + file + "'");
  clean = run.status == 0 && run.err.find("E: ") == std::string::npos;
  std::vector<Line> lines;
  std::istringstream text(run.out);
  std::string raw;
  while (std::getline(text, raw)) {
    const std::size_t at = raw.find_first_not_of(' ');
    if (at == std::string::npos || FindTag(raw) != at || raw.size() < at + 14)
      continue;
    const std::string tag = TagAt(raw, at);
    if (tag == "FFFE,E00D" || tag == "FFFE,E0DD")
      continue;
    const std::string rest = raw.substr(at + 15);
    const std::string value = !rest.empty() && rest[0] == '[' ? rest.substr(1, rest.rfind(']') - 1) : std::string();
    lines.push_back({int(at / 2), tag, raw.substr(at + 12, 2), Trimmed(value)});
  }
  Normalise(lines);
  return lines;
}

std::vector<Line> MedconvLines(const std::string& file) {
  const testsupport::RunResult run = testsupport::Run(std::string(MEDCONV_BINARY) + " -t1 '" + file + "' 2>/dev/null");
  std::vector<Line> lines;
  std::istringstream text(run.out);
  std::string raw;
  while (std::getline(text, raw)) {
    const std::size_t at = FindTag(raw);
    // name, tag, 7 columns of retired mark and VM, VR, " [", value, "]"
    if (at == std::string::npos || raw.size() < at + 22 || raw.back() != ']')
      continue;
    const std::string tag = TagAt(raw, at);
    const std::string vr = tag == "FFFE,E000" ? "na" : raw.substr(at + 18, 2);
    const int depth = int(raw.find_first_not_of('>'));
    lines.push_back({depth, tag, vr, Trimmed(raw.substr(at + 22, raw.size() - at - 23))});
  }
  Normalise(lines);
  return lines;
}

std::vector<std::string> CorpusFiles() {
  std::vector<std::string> files;
  if (DIR* folder = opendir(Corpus)) {
    while (const dirent* entry = readdir(folder)) {
      const std::string name = entry->d_name;
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dcm") == 0)
        files.push_back(std::string(Corpus) + "/" + name);
    }
    closedir(folder);
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

TEST(Dump, NestedElementsMatchDcmdumpsListing) {
  if (CorpusFiles().empty() || !testsupport::HaveProgram("dcmdump") || std::string(MEDCONV_BINARY).empty())
    GTEST_SKIP() << "pydicom's files, dcmdump or medconv missing";
  int files = 0, nested = 0;
  for (const std::string& file : CorpusFiles()) {
    bool clean = false;
    const std::vector<Line> theirs = DcmdumpLines(file, clean);
    const std::vector<Line> ours = MedconvLines(file);
    // Files that either program does not read whole are the reader tests'.
    if (!clean || ours.empty() || file.find("nested_priv_SQ") != std::string::npos)
      continue;  // dcmdump drops the invalid group 0001 that file nests
    ++files;
    ASSERT_EQ(ours.size(), theirs.size()) << file;
    for (std::size_t n = 0; n < ours.size(); ++n) {
      const bool unknownToBoth = theirs[n].vr == "??" && ours[n].vr == "UN";  // a private element
      // A deflated set is read inflated, and says so in its syntax.
      const bool inflated = theirs[n].value == "1.2.840.10008.1.2.1.99" && ours[n].value == "1.2.840.10008.1.2.1";
      if (!unknownToBoth && !inflated) {
        EXPECT_EQ(ours[n], theirs[n]) << file << " line " << n;
      }
      nested += ours[n].depth > 0;
    }
  }
  EXPECT_GT(files, 50);
  EXPECT_GT(nested, 500);
}
