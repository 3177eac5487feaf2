// Sets stored in Deflated Explicit VR Little Endian: read as their inflated
// originals (files deflated by DCMTK's dcmconv +td from the project's
// samples), and refused when damaged or when they inflate beyond any real set.
#include <gtest/gtest.h>

#include <zlib.h>

#include <glob.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "CapturedReports.h"
#include "DicomBytes.h"
#include "dicom/qzmDeflatedBody.h"
#include "support/TestSupport.h"

namespace {

using dicombytes::Builder;
using dicombytes::Bytes;
typedef qzmDicomDataElementSet Set;
typedef qzmDicomDataElementTag Tag;

const char* const Deflated = "1.2.840.10008.1.2.1.99";

// Raw deflate (no zlib header) of `zeros` zero bytes followed by `tail`.
Bytes RawDeflate(unsigned long long zeros, const Bytes& tail = Bytes()) {
  z_stream stream{};
  EXPECT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY), Z_OK);
  const Bytes chunk(1 << 20, 0);
  Bytes out, buffer(1 << 16);
  auto pump = [&](const unsigned char* data, size_t size, int flush) {
    stream.next_in = const_cast<unsigned char*>(data);
    stream.avail_in = uInt(size);
    do {
      stream.next_out = buffer.data();
      stream.avail_out = uInt(buffer.size());
      deflate(&stream, flush);
      out.insert(out.end(), buffer.begin(), buffer.end() - stream.avail_out);
    } while (stream.avail_out == 0);
  };
  for (unsigned long long done = 0; done < zeros; done += chunk.size())
    pump(chunk.data(), size_t(std::min<unsigned long long>(chunk.size(), zeros - done)), Z_NO_FLUSH);
  pump(tail.data(), tail.size(), Z_FINISH);
  deflateEnd(&stream);
  return out;
}

Bytes DeflatedFile(const Bytes& body) {
  return Builder().Preamble().Meta(Deflated).Raw(body);
}

// A body of two ordinary elements, for the damaged-stream cases.
Bytes SmallBody() {
  return Builder().Explicit(0x0008, 0x0060, "CS", "OT").Explicit(0x0010, 0x0010, "PN", "DOE^JANE");
}

size_t InflatedFilesLeft(const std::string& folder) {
  glob_t found;
  const std::string pattern = folder + "/medconv-inflated-*";
  const size_t count = glob(pattern.c_str(), 0, nullptr, &found) == 0 ? found.gl_pathc : 0;
  globfree(&found);
  return count;
}

// The samples deflated by DCMTK read exactly as DCMTK's explicit VR little
// endian copies of them (both written back give the same bytes, Pixel Data
// included), and the set then says explicit VR little endian, the syntax its body is now
// in, so that a plain save writes a valid file.
TEST(Deflate, SetsReadAsTheirInflatedOriginals) {
  if (!testsupport::HaveProgram("dcmconv"))
    GTEST_SKIP() << "dcmconv missing";
  testsupport::TempDir dir;
  ASSERT_EQ(testsupport::Run(std::string(MEDCONV_BUILD_DIR) + "/tools/mksamples " + dir.path()).status, 0);
  for (const char* sample : {"ct.dcm", "rgb.dcm", "multiframe.dcm", "bigendian.dcm"}) {
    SCOPED_TRACE(sample);
    const std::string name = sample;
    ASSERT_EQ(
        testsupport::Run("dcmconv +td " + name + " dfl." + name + " && dcmconv +te " + name + " el." + name, dir.path())
            .status,
        0);
    Set deflated, plain;
    CapturedReports reports;
    ASSERT_TRUE(deflated.Load(dir.file("dfl." + name))) << reports.Errors();
    ASSERT_TRUE(plain.Load(dir.file("el." + name)));
    EXPECT_EQ(deflated[Tag(0x0002, 0x0010)].UI(), Set::ExplicitVRLittleEndian);
    EXPECT_TRUE(dicombytes::SavedBytes(dir, deflated) == dicombytes::SavedBytes(dir, plain));
  }
}

// The bodies of the deflated files of pydicom's corpus read as DCMTK's
// inflated copies of them.
TEST(Deflate, CorpusFilesReadAsDcmtkInflatesThem) {
  const testsupport::RunResult listed = testsupport::Run("dpkg -L python3-pydicom 2>/dev/null | grep '\\.dcm$'");
  if (listed.out.empty() || !testsupport::HaveProgram("dcmconv"))
    GTEST_SKIP() << "pydicom's corpus or dcmconv missing";
  testsupport::TempDir dir;
  unsigned compared = 0;
  std::istringstream paths(listed.out);
  for (std::string path; std::getline(paths, path);) {
    const Bytes head = testsupport::ReadBytes(path);
    const std::string text(head.begin(), head.begin() + long(std::min<size_t>(head.size(), 1024)));
    if (text.find(Deflated) == std::string::npos)
      continue;
    SCOPED_TRACE(path);
    ASSERT_EQ(testsupport::Run("dcmconv +te '" + path + "' " + dir.file("el.dcm")).status, 0);
    Set deflated, plain;
    CapturedReports reports;
    ASSERT_TRUE(deflated.Load(path)) << reports.Errors();
    ASSERT_TRUE(plain.Load(dir.file("el.dcm")));
    // The meta groups differ (DCMTK writes its own); the bodies must not.
    for (Set* set : {&deflated, &plain})
      set->erase(set->lower_bound(Tag(0x0002, 0x0000)), set->upper_bound(Tag(0x0002, 0xFFFF)));
    EXPECT_TRUE(dicombytes::SavedBytes(dir, deflated) == dicombytes::SavedBytes(dir, plain));
    ++compared;
  }
  EXPECT_GT(compared, 0u);
}

// Damaged deflate data, data that end early, and a bomb (a few hundred
// kilobytes inflating to more than the cap) are each refused with an error,
// and the temporary file of a refused body does not stay behind.
TEST(Deflate, DamageAndBombsRefused) {
  const Bytes body = RawDeflate(0, SmallBody());
  const Bytes bomb = RawDeflate(qzmDeflatedBody::MinimumCap + (1 << 20));
  ASSERT_LT(bomb.size() * qzmDeflatedBody::RatioCap, qzmDeflatedBody::MinimumCap);
  struct Case {
    const char* What;
    Bytes Data;
    const char* Reported;
  };
  const Case cases[] = {
      {"not deflate data", Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "damaged"},
      {"cut short", Bytes(body.begin(), body.begin() + long(body.size() / 2)), "ends before"},
      {"nothing after the meta group", Bytes(), "ends before"},
      {"a deflate bomb", bomb, "inflates beyond"},
  };
  testsupport::TempDir dir;
  // Temporary files go to the test's own folder, which no other test fills.
  const char* const savedTmpdir = std::getenv("TMPDIR");
  const std::string restoredTmpdir = savedTmpdir ? savedTmpdir : "";
  setenv("TMPDIR", dir.path().c_str(), 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    Set set;
    CapturedReports reports;
    EXPECT_FALSE(dicombytes::LoadBytes(dir, DeflatedFile(c.Data), set));
    EXPECT_TRUE(reports.Error(c.Reported));
    EXPECT_EQ(InflatedFilesLeft(dir.path()), 0u);
  }
  // A batch of deflated files keeps only the few latest bodies on disk.
  for (int n = 0; n < 10; ++n) {
    Set set;
    ASSERT_TRUE(dicombytes::LoadBytes(dir, DeflatedFile(body), set));
  }
  EXPECT_LE(InflatedFilesLeft(dir.path()), 4u);
  if (savedTmpdir)
    setenv("TMPDIR", restoredTmpdir.c_str(), 1);
  else
    unsetenv("TMPDIR");
  Set set;
  CapturedReports reports;
  ASSERT_TRUE(dicombytes::LoadBytes(dir, DeflatedFile(body), set)) << reports.Errors();
  EXPECT_EQ(set[Tag(0x0010, 0x0010)].PN(), "DOE^JANE");
}

// Through the program: the frames of a deflated set are those of the plain
// one, and a bomb gives an error and no output file.
TEST(Deflate, ProgramConvertsDeflatedSetsAndRefusesBombs) {
  if (std::string(MEDCONV_BINARY).empty() || !testsupport::HaveProgram("dcmconv"))
    GTEST_SKIP() << "medconv or dcmconv missing";
  testsupport::TempDir dir;
  ASSERT_EQ(testsupport::Run(std::string(MEDCONV_BUILD_DIR) + "/tools/mksamples " + dir.path()).status, 0);
  ASSERT_EQ(testsupport::Run("dcmconv +td ct.dcm dfl.dcm", dir.path()).status, 0);
  ASSERT_EQ(testsupport::Run(std::string(MEDCONV_BINARY) + " -r1 ct.dcm dfl.dcm", dir.path()).status, 0);
  EXPECT_TRUE(testsupport::ReadBytes(dir.file("dfl.dcm.raw")) == testsupport::ReadBytes(dir.file("ct.dcm.raw")));
  testsupport::WriteBytes(dir.file("bomb.dcm"), DeflatedFile(RawDeflate(qzmDeflatedBody::MinimumCap + (1 << 20))));
  const testsupport::RunResult run = testsupport::Run(std::string(MEDCONV_BINARY) + " -r1 bomb.dcm", dir.path());
  EXPECT_NE(run.err.find("inflates beyond"), std::string::npos) << run.err;
  EXPECT_FALSE(testsupport::FileExists(dir.file("bomb.dcm.raw")));
}

}  // namespace
