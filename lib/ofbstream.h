// Binary output file stream: numbers, arrays and strings laid out under the
// stream's policy word.
#ifndef QZC_OFBSTREAM_H
#define QZC_OFBSTREAM_H

#include "lib/iobs.h"
#include "lib/qzcFileName.h"
#include "lib/qzcTypes.h"

#include <fstream>
#include <memory>
#include <string>

class ofbstream : public std::ofstream, public iobs {
 public:
  ofbstream() = default;
  // Opens name in binary mode for output (plus the given mode); a created
  // file gets the permissions 0664. "cout" and "cerr" are refused.
  explicit ofbstream(const char* name, std::ios::openmode mode = std::ios::out);
  void open(const char* name, std::ios::openmode mode = std::ios::out);
  // Closes the file while the stream's buffer still exists.
  ~ofbstream() override;
  ofbstream(const ofbstream&) = delete;
  ofbstream& operator=(const ofbstream&) = delete;
  explicit ofbstream(const std::string& name, std::ios::openmode mode = std::ios::out)
      : ofbstream(name.c_str(), mode) {}
  void open(const std::string& name, std::ios::openmode mode = std::ios::out) { open(name.c_str(), mode); }

  // The name the stream was opened with (empty when never opened).
  const qzcFileName& GetFileName() const { return fileName_; }

  ofbstream& operator<<(iobsManipulator manipulator);

  // One byte, as is.
  ofbstream& operator<<(UBYTE value);
  ofbstream& operator<<(SBYTE value);
  ofbstream& operator<<(ABYTE value);
  // 2 or 4 bytes in the stream's byte order.
  ofbstream& operator<<(UWORD value);
  ofbstream& operator<<(SWORD value);
  ofbstream& operator<<(ULONG value);
  ofbstream& operator<<(SLONG value);
  // Length-prefixed string, padded to even length under pad_spc/pad_null.
  ofbstream& operator<<(const std::string& text);

  // n words in the stream's byte order; the caller's array is never changed.
  ofbstream& WriteArray(const UWORD* words, ULONG n);
  ofbstream& WriteArray(const SWORD* words, ULONG n);
  ofbstream& WriteArray(const ULONG* words, ULONG n);
  ofbstream& WriteArray(const SLONG* words, ULONG n);
  // n bytes unchanged (the same as WriteBlock, so templates over the
  // element type can use WriteArray throughout).
  ofbstream& WriteArray(const UBYTE* bytes, ULONG n);
  // n bytes, last byte first.
  ofbstream& WriteReversed(const void* bytes, ULONG n);
  // n bytes unchanged.
  ofbstream& WriteBlock(const void* bytes, ULONG n);

 private:
  bool CheckByteOrder();
  template <typename Word>
  ofbstream& WriteWord(Word value);
  template <typename Word>
  ofbstream& WriteWords(const Word* words, ULONG n, ULONG chunkWords);

  qzcFileName fileName_;
  std::unique_ptr<char[]> buffer_;
};

#endif
