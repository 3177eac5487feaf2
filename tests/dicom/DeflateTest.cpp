// Deflated sets: read as their inflated originals (deflated by dcmconv), refused when damaged or bombs.
#include <gtest/gtest.h>

#include <glob.h>
#include <zlib.h>

#include "lib/ReportCapture.h"
#include "support/DicomBytes.h"
#include "dicom/qzmDeflatedBody.h"

using namespace dicombytes;  // NOLINT
typedef qzmDicomDataElementSet Set;

namespace {

Bytes DeflatedFile(const Bytes& body) { return Builder().Preamble().Meta(qzmDeflatedBody::SyntaxUID).Raw(body); }

// Raw deflate of the bytes, then `chunks` MiB of zeros as one flushed block repeated.
Bytes RawDeflate(const Bytes& bytes, int chunks = 0) {
  z_stream stream{};
  deflateInit2(&stream, 9, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
  const auto pump = [&stream](const Bytes& in, int flush) {
    Bytes out(in.size() + 1024);
    stream.next_in = const_cast<unsigned char*>(in.data()), stream.avail_in = uInt(in.size());
    stream.next_out = out.data(), stream.avail_out = uInt(out.size());
    deflate(&stream, flush);
    out.resize(out.size() - stream.avail_out);
    return out;
  };
  Bytes out = pump(bytes, Z_FULL_FLUSH);
  const Bytes zeros = pump(Bytes(1 << 20, 0), Z_FULL_FLUSH);
  for (int n = 0; n < chunks; ++n)
    out = out + zeros;
  out = out + pump(Bytes(), Z_FINISH);
  deflateEnd(&stream);
  return out;
}

std::size_t InflatedFilesLeft(const std::string& folder) {
  glob_t found{};
  const std::size_t count = glob((folder + "/medconv-inflated-*").c_str(), 0, nullptr, &found) ? 0 : found.gl_pathc;
  globfree(&found);
  return count;
}

}  // namespace

TEST(Deflate, SetsReadAsTheirInflatedOriginals) {
  if (!testsupport::HaveProgram("dcmconv"))
    GTEST_SKIP() << "dcmconv missing";
  testsupport::TempDir dir;
  Builder pixels;  // a whole image, so that the body spans many blocks
  for (unsigned n = 0; n < 256 * 256; ++n)
    pixels.U16((n * 7919) % 4096);
  testsupport::WriteBytes(dir.file("plain.dcm"), Builder().Preamble().Meta(Set::ExplicitVRLittleEndian).Raw(
      El(0x0010, 0x0010, "PN", "DOE^JANE") + El(0x7FE0, 0x0010, "OW", pixels)));
  ASSERT_EQ(testsupport::Run("dcmconv +td plain.dcm dfl.dcm", dir.path()).status, 0);
  ReportCapture reports;
  Set deflated, plain;
  ASSERT_TRUE(deflated.Load(dir.file("dfl.dcm"))) << reports.Errors();
  ASSERT_TRUE(plain.Load(dir.file("plain.dcm")));
  EXPECT_EQ(deflated[qzmDicomDataElementTag(0x0002, 0x0010)].UI(), Set::ExplicitVRLittleEndian);
  for (Set* set : {&deflated, &plain})  // DCMTK writes its own meta group
    set->erase(set->lower_bound({0x0002, 0x0000}), set->upper_bound({0x0002, 0xFFFF}));
  EXPECT_TRUE(SavedBytes(dir, deflated, explicit_little_endian, nullptr, "a") ==
              SavedBytes(dir, plain, explicit_little_endian, nullptr, "b"));
}

// Refused bodies leave no temporary file; a batch keeps only the few latest bodies on disk.
TEST(Deflate, DamageAndBombsRefused) {
  const Bytes body = RawDeflate(El(0x0008, 0x0060, "CS", "OT") + El(0x0010, 0x0010, "PN", "DOE^JANE"));
  const Bytes bomb = RawDeflate(Bytes(), int(qzmDeflatedBody::MinimumCap >> 20) + 1);
  ASSERT_LT(bomb.size() * qzmDeflatedBody::RatioCap, qzmDeflatedBody::MinimumCap);
  const std::pair<Bytes, const char*> cases[] = {
      {Bytes(6, 0xFF), "damaged"}, {Bytes(body.begin(), body.begin() + long(body.size() / 2)), "ends before"},
      {Bytes(), "ends before"}, {bomb, "inflates beyond"}};
  testsupport::TempDir dir;
  const char* const savedTmpdir = std::getenv("TMPDIR");
  const std::string restoredTmpdir = savedTmpdir ? savedTmpdir : "";
  setenv("TMPDIR", dir.path().c_str(), 1);  // a folder no other test fills
  for (const auto& c : cases) {
    SCOPED_TRACE(c.second);
    Set set;
    ReportCapture reports;
    EXPECT_FALSE(LoadBytes(dir, DeflatedFile(c.first), set));
    EXPECT_TRUE(reports.Error(c.second));
    EXPECT_EQ(InflatedFilesLeft(dir.path()), 0u);
  }
  for (int n = 0; n < 10; ++n) {
    Set set;
    ASSERT_TRUE(LoadBytes(dir, DeflatedFile(body), set));
    EXPECT_EQ(set[qzmDicomDataElementTag(0x0010, 0x0010)].PN(), "DOE^JANE");
  }
  EXPECT_LE(InflatedFilesLeft(dir.path()), 4u);
  savedTmpdir ? setenv("TMPDIR", restoredTmpdir.c_str(), 1) : unsetenv("TMPDIR");
  if (std::string(MEDCONV_BINARY).empty())
    return;
  testsupport::WriteBytes(dir.file("bomb.dcm"), DeflatedFile(bomb));
  const testsupport::RunResult run = testsupport::Run(std::string(MEDCONV_BINARY) + " -r1 bomb.dcm", dir.path());
  EXPECT_NE(run.err.find("inflates beyond"), std::string::npos) << run.err;
  EXPECT_FALSE(testsupport::FileExists(dir.file("bomb.dcm.raw")));
}
