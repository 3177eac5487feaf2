// Binary input file stream: numbers, arrays and strings read under the
// stream's policy word. No read goes past the end of the file: a short file
// leaves the stream failed.
#ifndef QZC_IFBSTREAM_H
#define QZC_IFBSTREAM_H

#include "lib/iobs.h"
#include "lib/qzcFileName.h"
#include "lib/qzcTypes.h"

#include <fstream>
#include <string>

class ifbstream : public std::ifstream, public iobs {
 public:
  ifbstream() = default;
  // Opens name in binary mode for input (plus the given mode); "cin" is
  // refused.
  explicit ifbstream(const char* name, std::ios::openmode mode = std::ios::in);
  void open(const char* name, std::ios::openmode mode = std::ios::in);
  explicit ifbstream(const std::string& name, std::ios::openmode mode = std::ios::in) : ifbstream(name.c_str(), mode) {}
  void open(const std::string& name, std::ios::openmode mode = std::ios::in) { open(name.c_str(), mode); }

  // The name the stream was opened with (empty when never opened).
  const qzcFileName& GetFileName() const { return fileName_; }

  // Bytes between the read position and the end of the file; 0 when the
  // stream has failed. Lengths read from the file are checked against it
  // before they are used.
  ULONG BytesLeft();

  ifbstream& operator>>(iobsManipulator manipulator);

  // One byte. At the end of the file the stream fails and the value
  // becomes 0xFF (each missing byte of a number reads as 0xFF).
  ifbstream& operator>>(UBYTE& value);
  ifbstream& operator>>(SBYTE& value);
  ifbstream& operator>>(ABYTE& value);
  // 2 or 4 bytes assembled in the stream's byte order.
  ifbstream& operator>>(UWORD& value);
  ifbstream& operator>>(SWORD& value);
  ifbstream& operator>>(ULONG& value);
  ifbstream& operator>>(SLONG& value);
  // Length-prefixed string, then trimmed as ReadString does.
  ifbstream& operator>>(std::string& text);
  // NUL-terminated string into a new block (delete[] by the caller); on
  // failure the block is null and the stream failed.
  ifbstream& operator>>(ABYTE*& text);

  // n words into the caller's array, converted to host order.
  ifbstream& ReadArray(UWORD* words, ULONG n);
  ifbstream& ReadArray(SWORD* words, ULONG n);
  ifbstream& ReadArray(ULONG* words, ULONG n);
  ifbstream& ReadArray(SLONG* words, ULONG n);
  // n bytes unchanged.
  ifbstream& ReadArray(UBYTE* bytes, ULONG n);
  // n bytes stored last byte first.
  ifbstream& ReadReversed(void* bytes, ULONG n);
  // n bytes unchanged.
  ifbstream& ReadBlock(void* bytes, ULONG n);
  // A string of n characters: a trailing NUL of an even length removed
  // under pad_null, leading/trailing spaces under the trimming bits.
  ifbstream& ReadString(std::string& text, ULONG n);

 private:
  bool CheckByteOrder();
  template <typename Word>
  ifbstream& ReadWord(Word& value);
  template <typename Word>
  ifbstream& ReadWords(Word* words, ULONG n);
  void TrimString(std::string& text) const;

  qzcFileName fileName_;
  std::streamoff fileSize_ = 0;
};

#endif
