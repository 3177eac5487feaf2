// Data locations: loading from a file at an offset, ownership, offsets,
// text and binary forms.
#include "lib/ofbstream.h"
#include "lib/qzcDataLocation.h"
#include "ReportCapture.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

namespace {

class DataLocationTest : public testing::Test {
 protected:
  // A file of 6 bytes of header followed by the given data bytes.
  std::string FileWith(const Bytes& data) {
    Bytes bytes(6 + data.size(), 0xEE);
    std::copy(data.begin(), data.end(), bytes.begin() + 6);
    const std::string path = dir_.file("data.bin");
    testsupport::WriteBytes(path, bytes);
    return path;
  }

  template <typename T>
  static void InFile(qzcDataLocation<T>& location, ULONG size, const qzcFileName& name, ULONG offset, ULONG bflags) {
    location.SetSize(size);
    location.SwitchToFileMode(name, offset, bflags);
  }

  template <typename T>
  Bytes Written(const qzcDataLocation<T>& location, iobsManipulator policy = little_endian) {
    const std::string path = dir_.file("out.bin");
    {
      ofbstream ofs(path.c_str());
      ofs << policy;
      location.Write(ofs);
      written_ok_ = !ofs.fail();
    }
    return testsupport::ReadBytes(path);
  }

  template <typename T>
  std::string Printed(const qzcDataLocation<T>& location) {
    std::ostringstream os;
    location.Print(os);
    return os.str();
  }

  ReportCapture reports_;
  testsupport::TempDir dir_;
  bool written_ok_ = false;
};

}  // namespace

TEST_F(DataLocationTest, LoadsWordsAtAnOffsetInEitherByteOrder) {
  const std::string path = FileWith({0x01, 0x02, 0x03, 0x04});
  qzcDataLocation<UWORD> little;
  InFile(little, 2, path, 6, 0x0101);
  ASSERT_TRUE(little.LoadData());
  EXPECT_EQ(little.GetMode(), qzcDataLocation<UWORD>::memory);
  EXPECT_TRUE(little.IsOwned());
  EXPECT_EQ(little.GetMemoryLocation()[0], 0x0201);
  EXPECT_EQ(little.GetMemoryLocation()[1], 0x0403);

  qzcDataLocation<ULONG> big;
  InFile(big, 1, path, 6, 0x2802);
  const ULONG* loaded = big.GetMemoryLocation();  // loads on first request
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(*loaded, 0x01020304u);
  EXPECT_EQ(reports_.ErrorCount(), 0u);

  // Once loaded, the file is forgotten.
  EXPECT_EQ(big.GetFileName(), "");
  EXPECT_NE(reports_.Errors().find("data location is not in a file!"), std::string::npos);
}

TEST_F(DataLocationTest, DataPastTheEndOfTheFileFailAndStayInTheFile) {
  const std::string path = FileWith({1, 2, 3, 4});
  qzcDataLocation<UBYTE> beyond;
  InFile(beyond, 4, path, 8, 0x0101);
  EXPECT_FALSE(beyond.LoadData());
  EXPECT_EQ(beyond.GetMode(), qzcDataLocation<UBYTE>::file);
  EXPECT_NE(reports_.Errors().find("while reading 4 objects from file " + path + "!"), std::string::npos);

  // An offset past the end of the file leaves nothing to read, not a
  // negative (so enormous) number of bytes.
  qzcDataLocation<UWORD> past;
  InFile(past, 2, path, 1000, 0x0101);
  EXPECT_FALSE(past.LoadData());
  EXPECT_EQ(past.GetMode(), qzcDataLocation<UWORD>::file);
  EXPECT_EQ(past.GetFileOffset(), 1000u);
  EXPECT_NE(reports_.Errors().find("while reading 2 objects from file " + path + "!"), std::string::npos);

  // An enormous size from a damaged file is refused before any memory is
  // asked for (16 GB here).
  qzcDataLocation<ULONG> enormous;
  InFile(enormous, 0xFFFFFFFF, path, 6, 0x0101);
  EXPECT_FALSE(enormous.LoadData());
  EXPECT_EQ(enormous.GetMode(), qzcDataLocation<ULONG>::file);
  EXPECT_NE(reports_.Errors().find("while reading 4294967295 objects"), std::string::npos);
  EXPECT_EQ(reports_.Errors().find("unable to allocate"), std::string::npos);
}

TEST_F(DataLocationTest, MissingFileOrByteOrderFailsTheLoad) {
  qzcDataLocation<UWORD> missing;
  InFile(missing, 1, dir_.file("none.bin"), 0, 0x0101);
  EXPECT_EQ(missing.GetMemoryLocation(), nullptr);
  const std::string errors = reports_.Errors();
  EXPECT_NE(errors.find("unable to find data in file " + dir_.file("none.bin") + " at offset 0!"), std::string::npos);
  EXPECT_NE(errors.find("unable to automatically load data to memory!"), std::string::npos);
  EXPECT_NE(errors.find("location is not in memory!"), std::string::npos);
  EXPECT_EQ(reports_.ErrorCount(), 3u);

  // Words whose byte order is not known are not handed out as loaded.
  qzcDataLocation<UWORD> unordered;
  InFile(unordered, 1, FileWith({1, 2}), 6, 0x0100);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(unordered.LoadData());
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(unordered.GetMode(), qzcDataLocation<UWORD>::file);
}

TEST_F(DataLocationTest, MisuseIsReportedAndChangesNothing) {
  qzcDataLocation<UBYTE> location;
  EXPECT_EQ(location.GetMode(), qzcDataLocation<UBYTE>::undefined);
  EXPECT_FALSE(location.LoadData());
  location.AddOffset(3);
  EXPECT_EQ(location.GetFileOffset(), 0u);
  EXPECT_EQ(location.GetFileBFlags(), 0);
  EXPECT_EQ(location.GetMemoryLocation(), nullptr);
  EXPECT_EQ(location.GetMode(), qzcDataLocation<UBYTE>::undefined);
  const std::string errors = reports_.Errors();
  EXPECT_NE(errors.find("trying to load data but location mode is not file!"), std::string::npos);
  EXPECT_NE(errors.find("unable to add offset to an undefined type of data location!"), std::string::npos);
  EXPECT_NE(errors.find("qzcDataLocation<T>::GetFileOffset() const"), std::string::npos);
}

TEST_F(DataLocationTest, AddOffsetCountsElements) {
  qzcDataLocation<UWORD> inFile;
  inFile.SwitchToFileMode(qzcFileName("image.dcm"), 100, 0x0101);
  inFile.AddOffset(10);
  EXPECT_EQ(inFile.GetFileOffset(), 120u);

  qzcDataLocation<ULONG> owner;
  owner.SetSize(20);
  ASSERT_TRUE(owner.AllocateMemory());
  ULONG* block = owner.GetMemoryLocation();
  owner.AddOffset(10);
  EXPECT_EQ(owner.GetMemoryLocation(), block + 10);
  EXPECT_FALSE(owner.IsOwned());
  EXPECT_EQ(reports_.WarningCount(), 1u);
  EXPECT_NE(reports_.Warnings().find("adding offset will remove the current memory ownership!"), std::string::npos);
  owner.AddOffset(1);
  EXPECT_EQ(reports_.WarningCount(), 1u);
  owner.Clear();
  delete[] block;  // the location gave up the block, so it is still ours
}

TEST_F(DataLocationTest, CopiesShareMemoryWithoutOwningIt) {
  qzcDataLocation<UWORD> owner;
  owner.SetSize(4);
  ASSERT_TRUE(owner.AllocateMemory());
  {
    qzcDataLocation<UWORD> copy(owner);
    EXPECT_EQ(copy.GetMemoryLocation(), owner.GetMemoryLocation());
    EXPECT_FALSE(copy.IsOwned());
    EXPECT_NE(copy, owner);  // same block, different ownership
    qzcDataLocation<UWORD> copyOfCopy;
    copyOfCopy = copy;
    EXPECT_EQ(copyOfCopy, copy);
  }
  owner.GetMemoryLocation()[3] = 9;  // still alive after the copies went

  qzcDataLocation<UWORD> first;
  InFile(first, 5, qzcFileName("a.dcm"), 12, 0x0102);
  qzcDataLocation<UWORD> second(first);
  EXPECT_EQ(second, first);
  second.AddOffset(1);
  EXPECT_NE(second, first);
  EXPECT_EQ(qzcDataLocation<UWORD>(), qzcDataLocation<UWORD>());
}

TEST_F(DataLocationTest, PrintDescribesEachMode) {
  qzcDataLocation<UWORD> inFile;
  InFile(inFile, 262144, qzcFileName("image.dcm"), 1250, 0x2901);
  EXPECT_EQ(Printed(inFile),
            "262144 * 2 bytes at offset 1250 (0x4e2) in image.dcm using bflags 0x2901 "
            "(has |little endian|str_size_2|explicit_hint|)");

  UBYTE block[3];
  qzcDataLocation<UBYTE> shared;
  shared.SetSize(3);
  shared.SetMemoryLocation(block);
  EXPECT_EQ(Printed(shared).rfind("3 * 1 bytes in memory at 0x", 0), 0u);
  qzcDataLocation<ULONG> owned;
  owned.SetSize(2);
  ASSERT_TRUE(owned.AllocateMemory());
  EXPECT_EQ(Printed(owned).rfind("2 * 4 bytes in allocated memory at 0x", 0), 0u);
  EXPECT_EQ(Printed(qzcDataLocation<UBYTE>()), "UNDEFINED");

  std::ostringstream os;
  os << std::hex;
  inFile.Print(os);
  os << 255;
  EXPECT_EQ(os.str().substr(os.str().size() - 2), "ff");  // format flags restored
}

TEST_F(DataLocationTest, WriteGivesByteLengthThenDataInTheStreamOrder) {
  UWORD words[] = {0x0102, 0x0304};
  qzcDataLocation<UWORD> memory;
  memory.SetSize(2);
  memory.SetMemoryLocation(words);
  EXPECT_EQ(Written(memory, big_endian), (Bytes{0, 0, 0, 4, 1, 2, 3, 4}));
  EXPECT_TRUE(written_ok_);
  EXPECT_EQ(words[0], 0x0102);

  // An odd byte count under pad_null is padded to even length.
  qzcDataLocation<UBYTE> odd;
  InFile(odd, 3, FileWith({7, 8, 9}), 6, 0x0101);
  EXPECT_EQ(Written(odd, pad_null), (Bytes{4, 0, 0, 0, 7, 8, 9, 0}));
  EXPECT_EQ(Written(odd), (Bytes{3, 0, 0, 0, 7, 8, 9}));
  EXPECT_EQ(odd.GetMode(), qzcDataLocation<UBYTE>::file);  // writing leaves it in the file

  EXPECT_EQ(Written(qzcDataLocation<UWORD>()), Bytes{});
  EXPECT_FALSE(written_ok_);
  EXPECT_NE(reports_.Errors().find("can not send UNDEFINED instance to binary file stream!"), std::string::npos);

  // Data that cannot be loaded fail the stream.
  qzcDataLocation<UBYTE> missing;
  InFile(missing, 2, dir_.file("none.bin"), 0, 0x0101);
  Written(missing);
  EXPECT_FALSE(written_ok_);
  EXPECT_NE(reports_.Errors().find("while sending instance to binary file stream!"), std::string::npos);
}
