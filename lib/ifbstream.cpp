#include "lib/ifbstream.h"
#include "lib/qzcException.h"

#include "lib/qzcByteOrder.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <limits>
#include <new>

ifbstream::ifbstream(const char* name, std::ios::openmode mode) {
  open(name, mode);
}

void ifbstream::open(const char* name, std::ios::openmode mode) {
  if (std::strcmp(name, "cin") == 0) {
    *qzcException::diagnosticChannel.stream << "ifbstream : cin : feature removed for the moment" << std::endl;
    setstate(std::ios::failbit);
    return;
  }
  fileName_ = name;
  std::ifstream::open(name, mode | std::ios::in | std::ios::binary);
  // The file stays unchanged while it is read, so its size is taken once.
  const std::streampos start = tellg();
  seekg(0, std::ios::end);
  fileSize_ = tellg();
  seekg(start);
}

ULONG ifbstream::BytesLeft() {
  // At the end of the file tellg would fail the stream: nothing is left.
  if (fail() || eof()) {
    return 0;
  }
  const std::streamoff here = tellg();
  if (here < 0 || fileSize_ < here) {
    return 0;
  }
  const std::streamoff left = fileSize_ - here;
  return static_cast<ULONG>(std::min<std::streamoff>(left, std::numeric_limits<ULONG>::max()));
}

bool ifbstream::CheckByteOrder() {
  if (IsLittleEndian() || IsBigEndian()) {
    return true;
  }
  *qzcException::diagnosticChannel.stream << "byte ordering policy undefined on input stream" << std::endl;
  return false;
}

ifbstream& ifbstream::operator>>(iobsManipulator manipulator) {
  manipulator(*this);
  return *this;
}

ifbstream& ifbstream::operator>>(UBYTE& value) {
  ABYTE byte;
  *this >> byte;
  value = static_cast<UBYTE>(byte);
  return *this;
}

ifbstream& ifbstream::operator>>(SBYTE& value) {
  ABYTE byte;
  *this >> byte;
  value = static_cast<SBYTE>(byte);
  return *this;
}

ifbstream& ifbstream::operator>>(ABYTE& value) {
  const int byte = get();
  value = static_cast<ABYTE>(byte == std::char_traits<char>::eof() ? 0xFF : byte);
  return *this;
}

template <typename Word>
ifbstream& ifbstream::ReadWord(Word& value) {
  if (!CheckByteOrder()) {
    return *this;
  }
  // Bytes missing at the end of the file read as 0xFF.
  std::memset(&value, 0xFF, sizeof value);
  // A buffered word is taken from the buffer directly: the stream's sentry
  // would cost more than the copy, and a data set is mostly small words.
  char* bytes = reinterpret_cast<char*>(&value);
  if (good() && rdbuf()->in_avail() >= static_cast<std::streamsize>(sizeof value)) {
    rdbuf()->sgetn(bytes, sizeof value);
  } else {
    read(bytes, sizeof value);
  }
  if (qzcByteOrder::NeedsSwap(*this)) {
    value = qzcByteOrder::Swapped(value);
  }
  return *this;
}

ifbstream& ifbstream::operator>>(UWORD& value) {
  return ReadWord(value);
}
ifbstream& ifbstream::operator>>(SWORD& value) {
  return ReadWord(value);
}
ifbstream& ifbstream::operator>>(ULONG& value) {
  return ReadWord(value);
}
ifbstream& ifbstream::operator>>(SLONG& value) {
  return ReadWord(value);
}

ifbstream& ifbstream::operator>>(std::string& text) {
  ULONG length = 0;
  if (HasBFlags(str_size_2_bit)) {
    UWORD shortLength = 0;
    *this >> shortLength;
    length = shortLength;
  } else if (HasBFlags(str_size_4_bit)) {
    *this >> length;
  } else {
    *qzcException::diagnosticChannel.stream << "string size policy undefined on input stream" << std::endl;
    return *this;
  }
  if (fail()) {
    return *this;
  }
  return ReadString(text, length);
}

ifbstream& ifbstream::operator>>(ABYTE*& text) {
  static const char* const signature = "ifbstream::operator >>( ABYTE*& )";
  text = nullptr;
  std::string collected;
  std::getline(*this, collected, '\0');
  if (eof() || fail()) {
    setstate(std::ios::failbit);
    *qzcException::diagnosticChannel.stream << ">> Error " << signature << std::endl
                                            << "   no string on stream (no null terminator)!" << std::endl;
    return *this;
  }
  text = new (std::nothrow) ABYTE[collected.size() + 1];
  if (text == nullptr) {
    setstate(std::ios::failbit);
    *qzcException::diagnosticChannel.stream << ">> Error " << signature << std::endl
                                            << "   unable to allocate or expand string's buffer!" << std::endl;
    return *this;
  }
  std::memcpy(text, collected.c_str(), collected.size() + 1);
  return *this;
}

template <typename Word>
ifbstream& ifbstream::ReadWords(Word* words, ULONG n) {
  if (!CheckByteOrder()) {
    return *this;
  }
  read(reinterpret_cast<char*>(words), static_cast<std::streamsize>(n) * sizeof(Word));
  if (qzcByteOrder::NeedsSwap(*this)) {
    qzcByteOrder::SwapInPlace(words, static_cast<ULONG>(gcount() / sizeof(Word)));
  }
  return *this;
}

ifbstream& ifbstream::ReadArray(UWORD* words, ULONG n) {
  return ReadWords(words, n);
}
ifbstream& ifbstream::ReadArray(SWORD* words, ULONG n) {
  return ReadWords(words, n);
}
ifbstream& ifbstream::ReadArray(ULONG* words, ULONG n) {
  return ReadWords(words, n);
}
ifbstream& ifbstream::ReadArray(SLONG* words, ULONG n) {
  return ReadWords(words, n);
}
ifbstream& ifbstream::ReadArray(UBYTE* bytes, ULONG n) {
  return ReadBlock(bytes, n);
}

ifbstream& ifbstream::ReadReversed(void* bytes, ULONG n) {
  char* data = static_cast<char*>(bytes);
  read(data, n);
  std::reverse(data, data + gcount());
  return *this;
}

ifbstream& ifbstream::ReadBlock(void* bytes, ULONG n) {
  read(static_cast<char*>(bytes), n);
  return *this;
}

ifbstream& ifbstream::ReadString(std::string& text, ULONG n) {
  // Never more than the file holds, whatever length the file claims. Bytes
  // already buffered are there for sure; asking the file's position costs
  // a system call, too much for the many short strings of a dictionary.
  const bool buffered = rdbuf()->in_avail() >= static_cast<std::streamsize>(n);
  const ULONG available = buffered ? n : std::min(n, BytesLeft());
  text.resize(available);
  if (available > 0) {
    read(&text[0], available);
    text.resize(static_cast<std::size_t>(gcount()));
  }
  if (text.size() < n) {
    setstate(std::ios::eofbit | std::ios::failbit);
    return *this;
  }
  TrimString(text);
  return *this;
}

void ifbstream::TrimString(std::string& text) const {
  if (HasBFlags(pad_null_bit) && !text.empty() && text.size() % 2 == 0 && text.back() == '\0') {
    text.pop_back();
  }
  // A text of nothing but spaces keeps them all.
  const std::size_t firstKept = text.find_first_not_of(' ');
  if (firstKept == std::string::npos) {
    return;
  }
  if (HasBFlags(str_rmv_ts_bit)) {
    text.erase(text.find_last_not_of(' ') + 1);
  }
  if (HasBFlags(str_rmv_ls_bit)) {
    text.erase(0, firstKept);
  }
}
