// JPEG extraction: the JFIF header record and the three ways compressed
// data reach the file.
#include "formats/qzgJfifHeader.h"
#include "frame/TestFrames.h"
#include "lib/ReportCapture.h"
#include "support/TestSupport.h"

#include "lib/ifbstream.h"
#include "lib/ofbstream.h"
#include "lib/qzcFileName.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using testsupport::ReadBytes;
using testsupport::TempDir;

typedef std::vector<UBYTE> Bytes;

const Bytes DefaultHeader = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J',  'F',  'I',  'F',
                             0x00, 0x01, 0x02, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00};

// A frame of a JPEG baseline set whose compressed data are the fragments.
void MakeJpegFrame(qzmMedicalFrame& frame, const std::vector<Bytes>& fragments) {
  testframes::Make(frame, 1, 1, 8, 8, {0});
  frame.TransferSyntax = "1.2.840.10008.1.2.4.50";
  Bytes items;
  for (const Bytes& fragment : fragments) {
    const ULONG length = ULONG(fragment.size());
    items.insert(items.end(),
                 {0xFE, 0xFF, 0x00, 0xE0, UBYTE(length), UBYTE(length >> 8), UBYTE(length >> 16), UBYTE(length >> 24)});
    items.insert(items.end(), fragment.begin(), fragment.end());
  }
  qzcDataLocation<UBYTE>& source = frame.SourcePixels.Value.OB();
  source.SetSize(ULONG(items.size()));
  source.AllocateMemory();
  std::copy(items.begin(), items.end(), source.GetMemoryLocation());
  frame.SourcePixels.Date = frame.Pixels.Date;
}

Bytes SaveJpeg(qzmMedicalFrame& frame, const TempDir& dir) {
  qzmMedicalFrame::ConversionContext context;
  EXPECT_TRUE(frame.SaveAsJPEG(qzcFileName(dir.file("image.jpg")), context));
  return ReadBytes(dir.file("image.jpg"));
}

Bytes Join(const Bytes& a, const Bytes& b) {
  Bytes joined = a;
  joined.insert(joined.end(), b.begin(), b.end());
  return joined;
}

TEST(JfifHeader, DefaultRecordWritesTheTwentyBytesAndReadsThemBack) {
  TempDir dir;
  {
    ofbstream ofs(dir.file("header").c_str());
    qzgJfifHeader().Write(ofs);
    EXPECT_TRUE(ofs.IsLittleEndian());  // the stream's policy is put back
  }
  EXPECT_EQ(DefaultHeader, ReadBytes(dir.file("header")));
  EXPECT_TRUE(qzgJfifHeader::IsJfif(DefaultHeader.data(), ULONG(DefaultHeader.size())));
  EXPECT_FALSE(qzgJfifHeader::IsJfif(DefaultHeader.data(), 10));

  ifbstream ifs(dir.file("header").c_str());
  qzgJfifHeader header;
  header.VersionMinor = 0;
  ASSERT_FALSE(header.Read(ifs).fail());
  std::ostringstream text;
  header.Print(text);
  EXPECT_EQ("   Length : 16\n  Version : 1.2\nDensities : 0/1/1\nThumbnail : 0x0\n", text.str());
}

TEST(JfifHeader, ReadRefusesOtherData) {
  const struct {
    size_t at;
    UBYTE value;
    const char* report;
  } rows[] = {{3, 0xC4, "could not find APP0!"}, {5, 8, "length 8 is < 16!"}, {6, 'E', "JFIF signature not found!"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.report);
    ReportCapture reports;
    TempDir dir;
    Bytes data = DefaultHeader;
    data[row.at] = row.value;
    testsupport::WriteBytes(dir.file("a"), data);
    ifbstream in(dir.file("a").c_str());
    qzgJfifHeader header;
    EXPECT_TRUE(header.Read(in).fail());  // the refusal reaches callers that test the stream
    EXPECT_HAS(reports.Errors(), row.report);
    EXPECT_TRUE(in.IsLittleEndian());  // the stream's policy is put back
  }
}

// JFIF means YCbCr to decoders: RGB data get an Adobe segment saying "no
// colour transform" instead, unless they carry their own JFIF header.
TEST(JpegExtraction, CompressedDataReachTheFile) {
  const Bytes adobeStart = {0xFF, 0xD8, 0xFF, 0xEE, 0x00, 0x0E, 'A',  'd',  'o',
                            'b',  'e',  0x00, 0x64, 0x00, 0x00, 0x00, 0x00, 0x00};
  const Bytes jfif = Join(DefaultHeader, {0xFF, 0xDB});
  const Bytes huffman = {0xFF, 0xD8, 0xFF, 0xC4, 0x00, 0x02, 0xFF, 0xD9};
  const Bytes codeStream = {0xFF, 0x4F, 0xFF, 0x51, 0x00, 0x00};  // a JPEG 2000 code stream
  const struct {
    const char* name;
    std::vector<Bytes> fragments;
    const char* photometric;
    Bytes expected;
    const char* syntax = "1.2.840.10008.1.2.4.50";
  } rows[] = {
      {"JFIF data byte for byte",
       {jfif, {0x01, 0x02, 0xFF, 0xD9}},
       "MONOCHROME2",
       Join(jfif, {0x01, 0x02, 0xFF, 0xD9})},
      {"header added with one start of image",
       {huffman},
       "MONOCHROME2",
       Join(DefaultHeader, {0xFF, 0xC4, 0x00, 0x02, 0xFF, 0xD9})},
      {"JPEG 2000 data follow the header",
       {codeStream},
       "MONOCHROME2",
       Join(DefaultHeader, codeStream),
       "1.2.840.10008.1.2.4.90"},
      {"RGB marked untransformed", {huffman}, "RGB", Join(adobeStart, {0xFF, 0xC4, 0x00, 0x02, 0xFF, 0xD9})},
      {"RGB with its own JFIF header", {jfif}, "RGB", jfif},
      {"RGB without start of image", {codeStream}, "RGB", Join(DefaultHeader, codeStream)},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir dir;
    qzmMedicalFrame frame;
    MakeJpegFrame(frame, row.fragments);
    frame.Structure.PhotometricInterpretation = row.photometric;
    frame.TransferSyntax = row.syntax;
    EXPECT_EQ(row.expected, SaveJpeg(frame, dir));
  }
}

TEST(JpegExtraction, RefusesNativeDataAndStandardOutput) {
  ReportCapture reports;
  TempDir dir;
  qzmMedicalFrame::ConversionContext context;
  qzmMedicalFrame native;
  testframes::Make(native, 1, 1, 8, 8, {0});
  native.TransferSyntax = "1.2.840.10008.1.2.1";
  EXPECT_FALSE(native.SaveAsJPEG(qzcFileName(dir.file("a.jpg")), context));
  EXPECT_HAS(reports.Errors(), "original encapsulated/compressed DICOM data are not in JPEG format!");

  qzmMedicalFrame frame;
  MakeJpegFrame(frame, {{0xFF, 0xD8, 0xFF, 0xD9}});
  context.ToStandardOutput = true;
  EXPECT_FALSE(frame.SaveAsJPEG(qzcFileName(dir.file("b.jpg")), context));
  EXPECT_HAS(reports.Errors(), "unable to open destination file stdout!");
}

}  // namespace
