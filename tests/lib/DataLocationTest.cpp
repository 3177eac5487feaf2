// Data locations: loading from a file at an offset, ownership, offsets,
// text and binary forms.
#include "lib/qzcDataLocation.h"
#include "ByteFiles.h"

#include <sstream>

namespace {

class DataLocation : public ByteFiles {
 protected:
  // Elements at an offset of a file of six bytes of header and then data.
  template <typename T>
  qzcDataLocation<T>& InFile(qzcDataLocation<T>& location, ULONG size, Bytes data, ULONG offset = 6,
                             ULONG bflags = iobs::default_bflags) {
    data.insert(data.begin(), {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE});
    return Named(location, size, FileOf(data, "data.bin"), offset, bflags);
  }
  template <typename T>
  static qzcDataLocation<T>& Named(qzcDataLocation<T>& location, ULONG size, const std::string& name, ULONG offset,
                                   ULONG bflags = iobs::default_bflags) {
    location.SetSize(size);
    location.SwitchToFileMode(qzcFileName(name), offset, bflags);
    return location;
  }
  template <typename T>
  Bytes WrittenWith(const qzcDataLocation<T>& location, iobsManipulator policy) {
    return Written([&](ofbstream& o) { o << policy, location.Write(o); });
  }
  bool Reported(const std::string& text) const { return reports_.Errors().find(text) != std::string::npos; }
};

template <typename T>
std::string Printed(const qzcDataLocation<T>& location) {
  std::ostringstream os;
  location.Print(os);
  return os.str();
}

}  // namespace

TEST_F(DataLocation, LoadsElementsAtAnOffsetInEitherByteOrder) {
  qzcDataLocation<UWORD> little;
  ASSERT_TRUE(InFile(little, 2, {1, 2, 3, 4}).LoadData());
  EXPECT_TRUE(little.IsOwned());
  EXPECT_EQ(little.GetMemoryLocation()[1], 0x0403);
  qzcDataLocation<ULONG> big;
  const ULONG* loaded = InFile(big, 1, {1, 2, 3, 4}, 6, 0x2802).GetMemoryLocation();  // loads on first request
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(*loaded, 0x01020304u);
  EXPECT_EQ(reports_.ErrorCount(), 0u);
  EXPECT_EQ(big.GetFileName(), "");  // once loaded, the file is forgotten
  EXPECT_EQ(reports_.ErrorCount(), 1u);
}

// Data the file cannot supply fail the load and stay in the file; no memory
// is asked for on the word of a damaged size.
TEST_F(DataLocation, DataTheFileCannotSupplyFailTheLoad) {
  const struct {
    ULONG size, offset, bflags;
  } rows[] = {{3, 6, 0x0101}, {2, 8, 0x0101}, {2, 1000, 0x0101}, {0xFFFFFFFF, 6, 0x0101}, {2, 6, 0x0100}};
  testing::internal::CaptureStderr();
  for (const auto& r : rows) {
    qzcDataLocation<UWORD> location;
    EXPECT_FALSE(InFile(location, r.size, {1, 2, 3, 4}, r.offset, r.bflags).LoadData()) << r.offset;
    EXPECT_EQ(location.GetFileOffset(), r.offset);
  }
  testing::internal::GetCapturedStderr();
  EXPECT_TRUE(Reported("while reading 4294967295 objects"));
  EXPECT_FALSE(Reported("unable to allocate"));
  EXPECT_EQ(reports_.ErrorCount(), 5u);

  qzcDataLocation<UWORD> missing;
  EXPECT_EQ(Named(missing, 1, dir_.file("none.bin"), 0).GetMemoryLocation(), nullptr);
  EXPECT_TRUE(Reported("unable to find data in file " + dir_.file("none.bin") + " at offset 0!"));
  EXPECT_EQ(reports_.ErrorCount(), 8u);
}

TEST_F(DataLocation, MisuseIsReportedAndChangesNothing) {
  qzcDataLocation<UBYTE> location;
  EXPECT_FALSE(location.LoadData());
  location.AddOffset(3);
  EXPECT_EQ(location.GetFileOffset() + location.GetFileBFlags(), 0);
  EXPECT_EQ(location.GetMemoryLocation(), nullptr);
  EXPECT_EQ(location.GetMode(), qzcDataLocation<UBYTE>::undefined);
  EXPECT_EQ(reports_.ErrorCount(), 5u);
}

TEST_F(DataLocation, OffsetsCountElementsAndCopiesShareWithoutOwning) {
  qzcDataLocation<UWORD> first, inFile;
  EXPECT_EQ(Named(inFile, 1, "image.dcm", 100).AddOffset(10).GetFileOffset(), 120u);
  qzcDataLocation<UWORD> second(Named(first, 5, "a.dcm", 12, 0x0102));
  EXPECT_EQ(second, first);
  EXPECT_NE(second.AddOffset(1), first);
  EXPECT_NE(Named(second, 5, "b.dcm", 12, 0x0102), first);
  EXPECT_NE(Named(second, 5, "a.dcm", 12, 0x0101), first);
  EXPECT_NE(Named(second, 4, "a.dcm", 12, 0x0102), first);
  EXPECT_NE(qzcDataLocation<UWORD>(), first);
  EXPECT_EQ(qzcDataLocation<UWORD>(), qzcDataLocation<UWORD>());

  qzcDataLocation<ULONG> owner;
  owner.SetSize(20);
  ASSERT_TRUE(owner.AllocateMemory());
  ULONG* block = owner.GetMemoryLocation();
  {
    qzcDataLocation<ULONG> copy(owner), copyOfCopy;
    EXPECT_NE(copy, owner);  // same block, different ownership
    EXPECT_EQ(copyOfCopy = copy, copy);
  }
  block[19] = 9;  // still alive after the copies went
  EXPECT_EQ(owner.AddOffset(10).AddOffset(1).GetMemoryLocation(), block + 11);
  EXPECT_FALSE(owner.IsOwned());
  EXPECT_EQ(reports_.WarningCount(), 1u);  // once, when ownership goes
  owner.Clear();
  delete[] block;  // the location gave up the block, so it is still ours
}

TEST_F(DataLocation, PrintDescribesEachModeAndRestoresTheStreamFormat) {
  qzcDataLocation<UWORD> inFile;
  EXPECT_EQ(Printed(Named(inFile, 262144, "image.dcm", 1250, 0x2901)),
            "262144 * 2 bytes at offset 1250 (0x4e2) in image.dcm using bflags 0x2901 "
            "(has |little endian|str_size_2|explicit_hint|)");
  qzcDataLocation<ULONG> owned;
  owned.SetSize(2);
  ASSERT_TRUE(owned.AllocateMemory());
  EXPECT_EQ(Printed(owned).rfind("2 * 4 bytes in allocated memory at 0x", 0), 0u);
  EXPECT_EQ(Printed(qzcDataLocation<UBYTE>()), "UNDEFINED");
  ULONG shared[2];
  owned.SetMemoryLocation(shared);  // frees the block it owned, and owns none
  EXPECT_FALSE(owned.IsOwned());
  std::ostringstream os;
  owned.Print(os);
  os << 255;
  EXPECT_EQ(os.str().substr(os.str().size() - 3), "255");
}

TEST_F(DataLocation, WriteGivesByteLengthThenDataInTheStreamOrder) {
  UWORD words[] = {0x0102, 0x0304};
  qzcDataLocation<UWORD> memory;
  memory.SetSize(2);
  memory.SetMemoryLocation(words);
  EXPECT_EQ(WrittenWith(memory, big_endian), (Bytes{0, 0, 0, 4, 1, 2, 3, 4}));
  EXPECT_TRUE(writtenOk_);
  // Odd byte data are padded to even length under pad_null only; writing
  // leaves the data in the file.
  qzcDataLocation<UBYTE> odd, even, empty;
  EXPECT_EQ(WrittenWith(InFile(odd, 3, {7, 8, 9}), pad_null), (Bytes{4, 0, 0, 0, 7, 8, 9, 0}));
  EXPECT_EQ(WrittenWith(odd, pad_spc), (Bytes{3, 0, 0, 0, 7, 8, 9}));
  EXPECT_EQ(odd.GetMode(), qzcDataLocation<UBYTE>::file);
  EXPECT_EQ(WrittenWith(InFile(even, 2, {7, 8}), pad_null), (Bytes{2, 0, 0, 0, 7, 8}));
  EXPECT_EQ(WrittenWith(Named(empty, 0, "none.bin", 0), pad_null), (Bytes{0, 0, 0, 0}));
  EXPECT_TRUE(writtenOk_);
  // Undefined or unloadable data fail the stream.
  WrittenWith(Named(odd, 3, "none.bin", 0), pad_null);
  EXPECT_FALSE(writtenOk_);
  empty.Clear();
  WrittenWith(empty, pad_null);
  EXPECT_FALSE(writtenOk_);
  EXPECT_TRUE(Reported("can not send UNDEFINED instance to binary file stream!"));
  EXPECT_EQ(reports_.ErrorCount(), 5u);
}
