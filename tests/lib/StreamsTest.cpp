// Binary file streams and what travels on them: byte layouts under each
// policy, string rules, reads that stay inside the file, the signature test,
// data locations, and the binary forms of reports and index ranges.
#include "lib/ifbstream.h"
#include "lib/ofbstream.h"
#include "lib/qzcDataLocation.h"
#include "lib/qzcError.h"
#include "lib/qzcIndexRange.h"
#include "lib/qzcIoFunctions.h"
#include "lib/qzcWarning.h"
#include "ReportCapture.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <iterator>
#include <map>
#include <memory>

namespace {

using Bytes = std::vector<unsigned char>;

// One value word of a script, run on a stream that writes (out) or reads (in).
struct Call {
  ofbstream* out;
  ifbstream* in;
  std::string given;  // the value written, or the length of a text read
  std::ostream& printed;
};

template <typename T>
void Number(const Call& c) {
  T value = c.out ? static_cast<T>(std::stoll(c.given)) : T(9);
  c.out ? (void)(*c.out << value) : (void)(*c.in >> value, c.printed << +value << ' ');
}

void Text(const Call& c, const std::function<void(std::string&)>& read) {
  std::string text;
  c.out ? (void)(*c.out << c.given) : read(text);
  for (char ch : text)
    ch ? c.printed << ch : c.printed << "\\0";
  c.printed << (c.in ? "| " : "");
}

// Runs a script on a stream: policy words (le be pad0 padsp padnul pads trim
// notrim len2 len4; noorder and nolen clear a group) and value words (u8 s8
// a8 u16 s16 u32 s32 str, and for reading text=N, nul, left). Written, a
// value word carries its value after "="; read, it prints what it got (a
// text ends with "|"). The result: what was printed, then "ok" or "fail".
std::string RunScript(const std::string& script, ofbstream* out, ifbstream* in) {
  static const std::map<std::string, iobsManipulator> policies = {
      {"le", little_endian},
      {"be", big_endian},
      {"pad0", pad_none},
      {"padsp", pad_spc},
      {"padnul", pad_null},
      {"trim", str_rmv_lts},
      {"notrim", str_rmv_none},
      {"len2", str_size_2},
      {"len4", str_size_4},
      {"pads", [](iobs& s) -> iobs& { return s.AddBFlags(iobs::padding_bits), s; }},
      {"noorder", [](iobs& s) -> iobs& { return s.RemoveBFlags(iobs::byte_order_bits), s; }},
      {"nolen", [](iobs& s) -> iobs& { return s.RemoveBFlags(iobs::str_size_bits), s; }}};
  static const std::map<std::string, void (*)(const Call&)> kinds = {
      {"u8", Number<UBYTE>},
      {"s8", Number<SBYTE>},
      {"a8", Number<ABYTE>},
      {"u16", Number<UWORD>},
      {"s16", Number<SWORD>},
      {"u32", Number<ULONG>},
      {"s32", Number<SLONG>},
      {"left", [](const Call& c) { c.printed << c.in->BytesLeft() << ' '; }},
      {"str", [](const Call& c) { Text(c, [&](std::string& t) { *c.in >> t; }); }},
      {"text", [](const Call& c) { Text(c, [&](std::string& t) { c.in->ReadString(t, std::stoul(c.given)); }); }},
      {"nul", [](const Call& c) {
         Text(c, [&](std::string& t) {
           ABYTE* read = nullptr;
           *c.in >> read, t = read ? read : "null";
           delete[] read;
         });
       }}};
  iobs& policy = out ? static_cast<iobs&>(*out) : *in;
  std::istringstream words(script);
  std::ostringstream printed;
  for (std::string word; words >> word;) {
    const std::size_t equals = std::min(word.find('='), word.size());
    if (policies.count(word))
      policies.at(word)(policy);
    else
      kinds.at(word.substr(0, equals))({out, in, word.substr(std::min(equals + 1, word.size())), printed});
  }
  return printed.str() + ((out ? static_cast<std::ios&>(*out) : *in).fail() ? "fail" : "ok");
}

class Streams : public testing::Test {
 protected:
  // The bytes fill writes on a new stream; writtenOk_ tells whether it stayed good.
  Bytes Written(const std::function<void(ofbstream&)>& fill) {
    {
      ofbstream out(dir_.file("out.bin"));
      fill(out);
      writtenOk_ = out.good();
    }
    return testsupport::ReadBytes(dir_.file("out.bin"));
  }
  // A stream over the given bytes, valid until the next call.
  ifbstream& Reading(const Bytes& bytes) {
    testsupport::WriteBytes(dir_.file("in.bin"), bytes);
    input_.reset(new ifbstream(dir_.file("in.bin")));
    return *input_;
  }
  // A location of size elements at offset in a file of the given bytes (none: no file).
  template <typename T>
  qzcDataLocation<T>& Located(qzcDataLocation<T>& location, ULONG size, const Bytes& bytes, ULONG offset = 0,
                              ULONG bflags = iobs::default_bflags) {
    testsupport::WriteBytes(dir_.file("data.bin"), bytes);
    location.SetSize(size);
    location.SwitchToFileMode(qzcFileName(dir_.file(bytes.empty() ? "none.bin" : "data.bin")), offset, bflags);
    return location;
  }
  bool Reported(const std::string& text) const { return reports_.Errors().find(text) != std::string::npos; }

  ReportCapture reports_;
  testsupport::TempDir dir_;
  bool writtenOk_ = false;
  std::unique_ptr<ifbstream> input_;
};

template <typename T>
std::string Printed(const T& object) {
  std::ostringstream os;
  object.Print(os);
  return os.str();
}

}  // namespace

// Each row's script is written ('w'), read from the bytes ('r'), or both.
// Missing bytes read as 0xFF and fail the stream; no length read from the
// file takes more than the file holds.
TEST_F(Streams, LayoutsFollowThePolicy) {
  Bytes longText(3000, 'q');
  longText.insert(longText.end(), {0, 'n'});
  const struct {
    char direction;
    std::string script;
    Bytes bytes;
    std::string printed;
  } rows[] = {
      {'b', "u32=16909060 s32=-2", {4, 3, 2, 1, 0xFE, 0xFF, 0xFF, 0xFF}, "16909060 -2 ok"},
      {'b', "be u32=16909060 s16=-2 le u16=258", {1, 2, 3, 4, 0xFF, 0xFE, 2, 1}, "16909060 -2 258 ok"},
      {'b', "u8=128 s8=-1 a8=65 noorder u16=1 s32=2", {0x80, 0xFF, 'A'}, "128 -1 65 9 9 ok"},
      // Strings: length, then the text padded to even length under a padding bit.
      {'b', "str=ABC padsp str=ABC", {3, 0, 'A', 'B', 'C', 4, 0, 'A', 'B', 'C', ' '}, "ABC| ABC | ok"},
      {'b', "padnul len4 str=ABC be len2 str=AB", {4, 0, 0, 0, 'A', 'B', 'C', 0, 0, 2, 'A', 'B'}, "ABC| AB| ok"},
      {'b', "pads str=A nolen str=BC", {2, 0, 'A', ' ', 'B', 'C'}, "A | | ok"},
      {'r', "u32", {1, 2}, "4294902273 fail"},
      {'r', "a8", {}, "-1 fail"},
      {'r', "left u16 left u16 u16 left", {1, 2, 3, 4, 5}, "5 513 3 1027 65285 0 fail"},
      {'r', "be pad0 padsp notrim len4 u16", {0, 1}, "1 ok"},  // the byte order stays
      // One NUL of an even length goes under pad_null; spaces go under the
      // trimming bits unless there is nothing else.
      {'r',
       "padnul text=4 text=3 pad0 text=2 text=1",
       {'A', 'B', 0, 0, 'A', 'B', 0, 'A', 0, 'Z'},
       "AB\\0| AB\\0| A\\0| Z| ok"},
      {'r',
       "trim text=4 text=4 text=4",
       {' ', ' ', 'X', ' ', ' ', ' ', ' ', ' ', '\t', 'Y', ' ', ' '},
       "X|     | \tY| ok"},
      {'r', "len4 str", {0xFF, 0xFF, 0xFF, 0xFF, 'h', 'i'}, "hi| fail"},
      {'r', "nul nul", longText, std::string(3000, 'q') + "| null| fail"},
  };
  testing::internal::CaptureStderr();
  for (const auto& r : rows) {
    if (r.direction != 'r')
      EXPECT_EQ(Written([&](ofbstream& o) { RunScript(r.script, &o, nullptr); }), r.bytes) << r.script;
    if (r.direction != 'w')
      EXPECT_EQ(RunScript(r.script, nullptr, &Reading(r.bytes)), r.printed) << r.script;
  }
  testing::internal::GetCapturedStderr();
}

// Words and strings are taken from the stream's buffer when they are there
// whole: over a file of several buffers some fall across a buffer's end.
// Big-endian arrays are swapped in chunks through a scratch buffer, never in
// the caller's array.
TEST_F(Streams, LongFilesRoundTrip) {
  const Bytes bytes = Written([](ofbstream& o) {
    for (int k = 0; k < 5000; ++k)
      o << UBYTE(k) << ULONG(k * 0x01000193u) << std::string(k % 5 ? "abc" : "");
  });
  ifbstream& in = Reading(bytes);
  int k = 0;
  for (UBYTE byte; k < 5000 && in; ++k) {
    ULONG word = 0;
    std::string text;
    if (!(in >> byte >> word >> text) || byte != UBYTE(k) || word != k * 0x01000193u || text != (k % 5 ? "abc" : ""))
      break;
  }
  EXPECT_EQ(k, 5000);
  EXPECT_EQ(in.BytesLeft(), 0u);

  std::vector<UWORD> words(700001), back(700001);
  for (std::size_t i = 0; i < words.size(); ++i)
    words[i] = static_cast<UWORD>(i * 7 + 1);
  const std::vector<UWORD> original = words;
  const Bytes big = Written([&](ofbstream& o) { o << big_endian, o.WriteArray(words.data(), 700001); });
  EXPECT_EQ(words, original);
  ASSERT_EQ(big.size(), 1400002u);
  EXPECT_EQ(big[1200000] << 8 | big[1200001], words[600000]);
  EXPECT_TRUE((Reading(big) >> big_endian).ReadArray(back.data(), 700001).good());
  EXPECT_EQ(back, words);
}

// Opened from a fresh folder, where a file made by mistake shows whatever an
// earlier run left in the working folder.
TEST_F(Streams, StandardStreamNamesAreRefusedAndFilesAreWritableByTheGroup) {
  char saved[4096];
  ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
  ASSERT_EQ(chdir(dir_.path().c_str()), 0);
  testing::internal::CaptureStderr();
  ofbstream out("cout"), err("cerr");
  ifbstream in("cin");
  testing::internal::GetCapturedStderr();
  const bool made = testsupport::FileExists("cout") || testsupport::FileExists("cerr");
  ASSERT_EQ(chdir(saved), 0);
  EXPECT_TRUE(out.fail() && err.fail() && in.fail());
  EXPECT_FALSE(made);
  const mode_t savedMask = umask(0);
  Written([](ofbstream&) {});
  umask(savedMask);
  struct stat status;
  ASSERT_EQ(stat(dir_.file("out.bin").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0664u);
}

// A match is kept or every byte given back in order; so is a file too short;
// an offset too far is not read at all.
TEST_F(Streams, SignatureMatchKeptOrEveryByteGivenBack) {
  std::string whole;
  for (int i = 0; i < 128; ++i)
    whole += static_cast<char>(i + 1);
  whole += "DICMrest";
  const struct {
    std::string bytes;
    ULONG offset;
    const char* signature;
    bool keep, matches;
    std::string left;
  } rows[] = {
      {whole, 128, "DICM", true, true, "rest"},
      {whole, 128, "DICM", false, true, whole},
      {whole, 128, "DICX", true, false, whole},
      {whole, 127, "\200DIC", true, true, "Mrest"},
      {whole.substr(0, 130), 128, "DICM", true, false, whole.substr(0, 130)},  // ends inside the signature
      {whole.substr(0, 100), 128, "DICM", true, false, whole.substr(0, 100)},  // ends before it
      {whole, 1000, "DICM", true, false, whole},
      {whole, 1001, "DICM", true, false, whole},  // too far: not read at all
  };
  testing::internal::CaptureStderr();
  for (const auto& r : rows) {
    std::istream& is = Reading(Bytes(r.bytes.begin(), r.bytes.end()));
    EXPECT_EQ(r.matches, qzcIoFunctions::HasSignature(is, r.offset, r.signature, 4, r.keep)) << r.offset;
    EXPECT_TRUE(is.good()) << r.offset;
    EXPECT_EQ(r.left, std::string(std::istreambuf_iterator<char>(is), {})) << r.offset;
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "[E] int qzcIoFunctions::HasSignature(), offset is too far\n");
}

// Data the file cannot supply fail the load and stay in the file; no memory
// is asked for on the word of a damaged size.
TEST_F(Streams, DataLocationsLoadAtAnOffsetOrFailWithoutAskingForMemory) {
  qzcDataLocation<UWORD> little;
  ASSERT_TRUE(Located(little, 2, {0xEE, 1, 2, 3, 4}, 1).LoadData());
  EXPECT_TRUE(little.IsOwned());
  EXPECT_EQ(little.GetMemoryLocation()[1], 0x0403);
  qzcDataLocation<ULONG> big;
  const ULONG* loaded = Located(big, 1, {1, 2, 3, 4}, 0, 0x2802).GetMemoryLocation();  // loads on first request
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(*loaded, 0x01020304u);
  EXPECT_EQ(big.GetFileName(), "");  // once loaded, the file is forgotten
  const struct {
    ULONG size, offset, bflags;
  } rows[] = {{3, 0, 0x0101}, {2, 2, 0x0101}, {2, 1000, 0x0101}, {0xFFFFFFFF, 0, 0x0101}, {2, 0, 0x0100}};
  testing::internal::CaptureStderr();
  for (const auto& r : rows) {
    qzcDataLocation<UWORD> location;
    EXPECT_FALSE(Located(location, r.size, {1, 2, 3, 4}, r.offset, r.bflags).LoadData()) << r.offset;
    EXPECT_EQ(location.GetFileOffset(), r.offset);
  }
  testing::internal::GetCapturedStderr();
  EXPECT_TRUE(Reported("while reading 4294967295 objects"));
  EXPECT_FALSE(Reported("unable to allocate"));
  EXPECT_EQ(Located(little, 1, {}).GetMemoryLocation(), nullptr);
  EXPECT_TRUE(Reported("unable to find data in file " + dir_.file("none.bin") + " at offset 0!"));
  EXPECT_EQ(reports_.ErrorCount(), 9u);
}

// Misuse is reported and changes nothing; offsets count elements; copies
// share a block without owning it.
TEST_F(Streams, DataLocationOffsetsAndCopies) {
  qzcDataLocation<UBYTE> undefined;
  EXPECT_FALSE(undefined.LoadData());
  EXPECT_EQ(undefined.AddOffset(3).GetFileOffset() + undefined.GetFileBFlags(), 0);
  EXPECT_EQ(undefined.GetMemoryLocation(), nullptr);
  EXPECT_EQ(reports_.ErrorCount(), 5u);
  qzcDataLocation<UWORD> first;
  first.SetSize(5);
  first.SwitchToFileMode(qzcFileName("a.dcm"), 12, 0x0102);
  const auto same = [&](ULONG size, const char* name, ULONG offset, ULONG bflags) {
    qzcDataLocation<UWORD> other;
    other.SetSize(size);
    other.SwitchToFileMode(qzcFileName(name), offset, bflags);
    return other == first && qzcDataLocation<UWORD>(other) == first;
  };
  EXPECT_TRUE(same(5, "a.dcm", 12, 0x0102));
  EXPECT_FALSE(same(5, "b.dcm", 12, 0x0102) || same(5, "a.dcm", 14, 0x0102) || same(5, "a.dcm", 12, 0x0101) ||
               same(4, "a.dcm", 12, 0x0102) || qzcDataLocation<UWORD>() == first);
  EXPECT_EQ(qzcDataLocation<UWORD>(), qzcDataLocation<UWORD>());
  EXPECT_EQ(first.AddOffset(10).GetFileOffset(), 32u);

  qzcDataLocation<ULONG> owner;
  owner.SetSize(20);
  ASSERT_TRUE(owner.AllocateMemory());
  ULONG* block = owner.GetMemoryLocation();
  {
    qzcDataLocation<ULONG> copy(owner), copyOfCopy;
    EXPECT_NE(copy, owner);  // the same block, but not owned
    EXPECT_EQ((copyOfCopy = copy).GetMemoryLocation(), block);
    EXPECT_EQ(copyOfCopy, copy);
  }
  block[19] = 9;  // still alive after the copies went
  EXPECT_EQ(owner.AddOffset(10).AddOffset(1).GetMemoryLocation(), block + 11);
  EXPECT_FALSE(owner.IsOwned());
  EXPECT_EQ(reports_.WarningCount(), 1u);  // once, when ownership goes
  owner.Clear();
  delete[] block;  // the location gave the block up, so it is still ours
}

// Print tells each mode and puts the stream's format back; Write gives the
// byte length and then the data in the stream's order, odd bytes padded to
// even length under pad_null only, and leaves file data in the file.
TEST_F(Streams, DataLocationPrintAndWrite) {
  qzcDataLocation<UWORD> inFile, memory;
  inFile.SetSize(262144);
  inFile.SwitchToFileMode(qzcFileName("image.dcm"), 1250, 0x2901);
  EXPECT_EQ(Printed(inFile),
            "262144 * 2 bytes at offset 1250 (0x4e2) in image.dcm using bflags 0x2901 "
            "(has |little endian|str_size_2|explicit_hint|)");
  qzcDataLocation<ULONG> owned;
  owned.SetSize(2);
  ASSERT_TRUE(owned.AllocateMemory());
  std::ostringstream os;
  owned.Print(os) << ' ' << 255;
  EXPECT_EQ(os.str().rfind("2 * 4 bytes in allocated memory at 0x", 0), 0u);
  EXPECT_EQ(os.str().substr(os.str().size() - 4), " 255");
  ULONG shared[2];
  owned.SetMemoryLocation(shared);  // frees the block it owned, and owns none
  EXPECT_EQ(Printed(owned).rfind("2 * 4 bytes in memory at 0x", 0), 0u);
  EXPECT_EQ(Printed(qzcDataLocation<UBYTE>()), "UNDEFINED");

  const auto written = [&](const qzcObject& location, iobsManipulator policy) {
    return Written([&](ofbstream& o) { o << policy, location.Write(o); });
  };
  UWORD words[] = {0x0102, 0x0304};
  memory.SetSize(2);
  memory.SetMemoryLocation(words);
  EXPECT_EQ(written(memory, big_endian), (Bytes{0, 0, 0, 4, 1, 2, 3, 4}));
  qzcDataLocation<UBYTE> odd, even;
  EXPECT_EQ(written(Located(odd, 3, {7, 8, 9}), pad_null), (Bytes{4, 0, 0, 0, 7, 8, 9, 0}));
  EXPECT_EQ(written(odd, pad_spc), (Bytes{3, 0, 0, 0, 7, 8, 9}));
  EXPECT_EQ(odd.GetMode(), qzcDataLocation<UBYTE>::file);
  EXPECT_EQ(written(Located(even, 2, {7, 8}), pad_null), (Bytes{2, 0, 0, 0, 7, 8}));
  EXPECT_EQ(written(Located(even, 0, {}), pad_null), (Bytes{0, 0, 0, 0}));
  EXPECT_TRUE(writtenOk_);
  // Undefined or unloadable data fail the stream.
  written(Located(odd, 3, {}), pad_null);
  EXPECT_FALSE(writtenOk_);
  even.Clear();
  written(even, pad_null);
  EXPECT_FALSE(writtenOk_);
  EXPECT_TRUE(Reported("can not send UNDEFINED instance to binary file stream!"));
}

// Reports: length-prefixed texts and the time; index ranges: three words.
TEST_F(Streams, BinaryFormsOfReportsAndIndexRanges) {
  const qzcError written("sig", "msg");
  const Bytes bytes = Written([&](ofbstream& o) { written.Write(o); });
  const ULONG time = static_cast<ULONG>(written.GetTime());
  EXPECT_EQ(bytes, (Bytes{3, 0, 's', 'i', 'g', 3, 0, 'm', 's', 'g', UBYTE(time), UBYTE(time >> 8), UBYTE(time >> 16),
                          UBYTE(time >> 24)}));
  qzcWarning read;
  EXPECT_FALSE(read.Read(Reading(bytes)).fail());
  EXPECT_EQ(read.GetSignature() + read.GetMessage(), "sigmsg");
  EXPECT_EQ(read.GetTime(), written.GetTime());
  testing::internal::CaptureStderr();
  EXPECT_TRUE(read.Read(Reading({9, 0, 'x'})).fail());
  EXPECT_NE(testing::internal::GetCapturedStderr().find("While getting instance from ifbstream!"), std::string::npos);

  const Bytes ranges = Written([](ofbstream& o) {
    qzcIndexRange(1, 10, 3).Write(o << big_endian);
    qzcIndexRange(-2, 8, 3).Write(o << little_endian);
  });
  EXPECT_EQ(ranges, (Bytes{0, 1, 0, 10, 0, 3, 0xFE, 0xFF, 8, 0, 3, 0}));
  ifbstream& in = Reading(ranges);
  qzcIndexRange bigRange, littleRange, beyond;
  bigRange.Read(in >> big_endian);
  littleRange.Read(in >> little_endian);
  EXPECT_EQ(Printed(bigRange) + Printed(littleRange), "[qzcIndexRange 1...10 by 3][qzcIndexRange -2...8 by 3]");
  EXPECT_EQ(reports_.ErrorCount(), 0u);
  beyond.Read(in);
  EXPECT_EQ(reports_.ErrorCount(), 1u);
}
