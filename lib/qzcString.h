// A byte string with the program's field operations, justification for
// aligned printing and the two token readers of the dictionary text form.
#ifndef QZC_STRING_H
#define QZC_STRING_H

#include <cstddef>
#include <istream>
#include <string>
#include <utility>

class qzcString : public std::string {
 public:
  // Every std::string constructor and assignment works on a qzcString.
  using std::string::string;
  using std::string::operator=;
  qzcString() = default;
  qzcString(const std::string& text) : std::string(text) {}
  qzcString(std::string&& text) : std::string(std::move(text)) {}

  // Fields are numbered from 1 and separated by the first character of
  // sep (":" when sep is empty); an empty text has one empty field.
  unsigned CountFields(const std::string& sep = ":") const;
  qzcString GetField(unsigned n, const std::string& sep = ":") const;
  qzcString& SetField(unsigned n, const std::string& value, const std::string& sep = ":");
  qzcString& SetField(unsigned n, double number, const std::string& sep = ":");
  unsigned FindField(const std::string& target, const std::string& sep = ":") const;

  // Justification types of Justified.
  enum { Left = 0, Centre = 1, Right = 2 };

  // The text fitted to exactly width characters: padded with fill, or cut
  // with "..." marking the cut.
  qzcString Justified(std::size_t width, int type = Left, char fill = ' ') const;

  // A copy with every character passed through tolower.
  [[nodiscard]] qzcString ToLower() const;
  // The text with its control bytes written as \xNN, and every byte above
  // 0x7E too unless keepHighBytes: text read from a file must not reach a
  // terminal raw. High bytes are the characters of a data set's character set.
  [[nodiscard]] qzcString Escaped(bool keepHighBytes) const;

  // Word reader: skips white space, then takes characters up to the next
  // white space; fails the stream when no word is left.
  std::istream& ReadWord(std::istream& in);
  // Line reader: takes characters up to a newline (consumed, not kept) or
  // the end of the stream, dropping every carriage return; fails the
  // stream when nothing at all is left.
  std::istream& ReadLine(std::istream& in);
};

#endif
