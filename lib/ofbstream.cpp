#include "lib/ofbstream.h"
#include "lib/qzcException.h"

#include "lib/qzcByteOrder.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>

namespace {

// Big-endian arrays are swapped through a scratch buffer of at most this
// many words (1.2 MB), never in the caller's array.
constexpr ULONG wordChunk = 600000;
constexpr ULONG longChunk = 300000;

// Most outputs (an image of a slice) fit the stream's buffer whole, and so
// reach the file in one write rather than one per 8 KiB.
constexpr std::size_t bufferSize = 1 << 20;

// Creates a missing file with the permissions 0664 (less the umask), which
// the standard file stream cannot ask for.
void CreateWithGroupWrite(const char* name) {
  const int fd = ::open(name, O_WRONLY | O_CREAT, 0664);
  if (fd >= 0) {
    ::close(fd);
  }
}

}  // namespace

ofbstream::ofbstream(const char* name, std::ios::openmode mode) {
  open(name, mode);
}

ofbstream::~ofbstream() {
  if (is_open())
    close();
}

void ofbstream::open(const char* name, std::ios::openmode mode) {
  if (std::strcmp(name, "cout") == 0 || std::strcmp(name, "cerr") == 0) {
    *qzcException::diagnosticChannel.stream << "ofbstream : " << name << " : feature removed for the moment"
                                            << std::endl;
    setstate(std::ios::failbit);
    return;
  }
  fileName_ = name;
  CreateWithGroupWrite(name);
  if (!buffer_) {
    buffer_.reset(new (std::nothrow) char[bufferSize]);
    if (buffer_)
      rdbuf()->pubsetbuf(buffer_.get(), bufferSize);
  }
  std::ofstream::open(name, mode | std::ios::out | std::ios::binary);
}

bool ofbstream::CheckByteOrder() {
  if (IsLittleEndian() || IsBigEndian()) {
    return true;
  }
  *qzcException::diagnosticChannel.stream << "byte ordering policy undefined on output stream" << std::endl;
  return false;
}

ofbstream& ofbstream::operator<<(iobsManipulator manipulator) {
  manipulator(*this);
  return *this;
}

ofbstream& ofbstream::operator<<(UBYTE value) {
  put(static_cast<char>(value));
  return *this;
}

ofbstream& ofbstream::operator<<(SBYTE value) {
  put(static_cast<char>(value));
  return *this;
}

ofbstream& ofbstream::operator<<(ABYTE value) {
  put(value);
  return *this;
}

template <typename Word>
ofbstream& ofbstream::WriteWord(Word value) {
  if (!CheckByteOrder()) {
    return *this;
  }
  if (qzcByteOrder::NeedsSwap(*this)) {
    value = qzcByteOrder::Swapped(value);
  }
  write(reinterpret_cast<const char*>(&value), sizeof value);
  return *this;
}

ofbstream& ofbstream::operator<<(UWORD value) {
  return WriteWord(value);
}
ofbstream& ofbstream::operator<<(SWORD value) {
  return WriteWord(value);
}
ofbstream& ofbstream::operator<<(ULONG value) {
  return WriteWord(value);
}
ofbstream& ofbstream::operator<<(SLONG value) {
  return WriteWord(value);
}

ofbstream& ofbstream::operator<<(const std::string& text) {
  const ULONG length = static_cast<ULONG>(text.size());
  const bool padded = (GetBFlags() & padding_bits) != 0 && length % 2 == 1;
  const ULONG storedLength = padded ? length + 1 : length;
  if (HasBFlags(str_size_2_bit)) {
    *this << static_cast<UWORD>(storedLength & 0xFFFF);
  } else if (HasBFlags(str_size_4_bit)) {
    *this << storedLength;
  } else {
    *qzcException::diagnosticChannel.stream << "string size policy undefined on output stream" << std::endl;
  }
  write(text.data(), length);
  if (padded) {
    put(HasBFlags(pad_spc_bit) ? ' ' : '\0');
  }
  return *this;
}

template <typename Word>
ofbstream& ofbstream::WriteWords(const Word* words, ULONG n, ULONG chunkWords) {
  if (!CheckByteOrder()) {
    return *this;
  }
  if (!qzcByteOrder::NeedsSwap(*this)) {
    write(reinterpret_cast<const char*>(words), static_cast<std::streamsize>(n) * sizeof(Word));
    return *this;
  }
  const ULONG scratchWords = std::min(n, chunkWords);
  std::unique_ptr<Word[]> scratch(new (std::nothrow) Word[scratchWords]);
  if (!scratch) {
    for (ULONG i = 0; i < n; ++i) {
      WriteWord(words[i]);
    }
    return *this;
  }
  for (ULONG done = 0; done < n; done += scratchWords) {
    const ULONG count = std::min(scratchWords, n - done);
    std::copy(words + done, words + done + count, scratch.get());
    qzcByteOrder::SwapInPlace(scratch.get(), count);
    write(reinterpret_cast<const char*>(scratch.get()), static_cast<std::streamsize>(count) * sizeof(Word));
  }
  return *this;
}

ofbstream& ofbstream::WriteArray(const UWORD* words, ULONG n) {
  return WriteWords(words, n, wordChunk);
}
ofbstream& ofbstream::WriteArray(const SWORD* words, ULONG n) {
  return WriteWords(words, n, wordChunk);
}
ofbstream& ofbstream::WriteArray(const ULONG* words, ULONG n) {
  return WriteWords(words, n, longChunk);
}
ofbstream& ofbstream::WriteArray(const SLONG* words, ULONG n) {
  return WriteWords(words, n, longChunk);
}
ofbstream& ofbstream::WriteArray(const UBYTE* bytes, ULONG n) {
  return WriteBlock(bytes, n);
}

ofbstream& ofbstream::WriteReversed(const void* bytes, ULONG n) {
  const char* data = static_cast<const char*>(bytes);
  for (ULONG i = n; i > 0; --i) {
    put(data[i - 1]);
  }
  return *this;
}

ofbstream& ofbstream::WriteBlock(const void* bytes, ULONG n) {
  write(static_cast<const char*>(bytes), static_cast<std::streamsize>(n));
  return *this;
}
