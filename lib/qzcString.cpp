// Field operations, justification, case folding and token readers of
// qzcString.
#include "lib/qzcString.h"
#include "lib/qzcException.h"

#include <cctype>
#include <cstdio>
#include <iostream>

namespace {

// The separator is one character; an empty separator text stands for ":".
char SeparatorOf(const std::string& sep) {
  return sep.empty() ? ':' : sep[0];
}

// Finds where field n (from 1) begins and ends. The separator is searched
// from position 0 and, after each match, from one past the match. False when
// the text has fewer than n fields (or n is 0).
bool FindFieldBounds(const std::string& text, unsigned n, char sep, std::string::size_type& begin,
                     std::string::size_type& end) {
  if (n == 0)
    return false;
  begin = 0;
  for (unsigned field = 1; field < n; ++field) {
    const std::string::size_type match = text.find(sep, begin);
    if (match == std::string::npos)
      return false;
    begin = match + 1;
  }
  end = text.find(sep, begin);
  if (end == std::string::npos)
    end = text.size();
  return true;
}

}  // namespace

unsigned qzcString::CountFields(const std::string& sep) const {
  const char separator = SeparatorOf(sep);
  unsigned count = 1;
  for (size_type match = find(separator); match != npos; match = find(separator, match + 1))
    ++count;
  return count;
}

qzcString qzcString::GetField(unsigned n, const std::string& sep) const {
  size_type begin, end;
  if (!FindFieldBounds(*this, n, SeparatorOf(sep), begin, end))
    return qzcString();
  return qzcString(substr(begin, end - begin));
}

qzcString& qzcString::SetField(unsigned n, const std::string& value, const std::string& sep) {
  if (n == 0)
    return *this;
  size_type begin, end;
  if (FindFieldBounds(*this, n, SeparatorOf(sep), begin, end)) {
    replace(begin, end - begin, value);
  } else {
    append(n - CountFields(sep), SeparatorOf(sep));
    append(value);
  }
  return *this;
}

qzcString& qzcString::SetField(unsigned n, double number, const std::string& sep) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", number);
  return SetField(n, std::string(text), sep);
}

unsigned qzcString::FindField(const std::string& target, const std::string& sep) const {
  const unsigned count = CountFields(sep);
  for (unsigned n = 1; n <= count; ++n)
    if (GetField(n, sep) == target)
      return n;
  return 0;
}

qzcString qzcString::Justified(std::size_t width, int type, char fill) const {
  const std::size_t length = size();
  // A text that already fits is kept whatever the type.
  if (length == width)
    return *this;
  if (type != Left && type != Centre && type != Right) {
    *qzcException::diagnosticChannel.stream << "Error qzcString::Justified: wrong justifying type!" << std::endl;
    return *this;
  }
  if (length < width) {
    const std::size_t padding = width - length;
    const std::size_t before = type == Left ? 0 : type == Right ? padding : padding / 2;
    return qzcString(std::string(before, fill) + *this + std::string(padding - before, fill));
  }
  // Cutting: "..." marks the cut when there is room for it.
  const bool dots = width > 4;
  switch (type) {
    case Left:
      return dots ? qzcString(substr(0, width - 3) + "...") : qzcString(substr(0, width));
    case Right:
      return dots ? qzcString("..." + substr(length - (width - 3))) : qzcString(substr(length - width));
    default: {
      const std::size_t head = dots ? width / 2 - 1 : width / 2;
      const std::size_t tail = dots ? width - width / 2 - 2 : width - width / 2;
      return qzcString(substr(0, head) + (dots ? "..." : "") + substr(length - tail));
    }
  }
}

qzcString qzcString::Escaped(bool keepHighBytes) const {
  static const char digits[] = "0123456789ABCDEF";
  qzcString escaped;
  escaped.reserve(size());
  for (const char c : *this) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if ((byte >= 0x20 && byte < 0x7F) || (keepHighBytes && byte > 0x7F)) {
      escaped += c;
    } else {
      escaped += "\\x";
      escaped += digits[byte >> 4];
      escaped += digits[byte & 0xF];
    }
  }
  return escaped;
}

qzcString qzcString::ToLower() const {
  qzcString lowered(*this);
  for (char& c : lowered)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lowered;
}

// Both readers take characters from the stream's buffer: one check of the
// stream per word or line rather than one per character keeps the parse of
// the built-in dictionary, which every run makes, short.
std::istream& qzcString::ReadWord(std::istream& in) {
  clear();
  std::streambuf* buffer = in.rdbuf();
  if (!in.good() || buffer == nullptr) {
    in.setstate(std::ios::failbit);
    return in;
  }
  int c;
  while ((c = buffer->sgetc()) != EOF && std::isspace(c))
    buffer->sbumpc();
  if (c == EOF) {
    in.setstate(std::ios::eofbit | std::ios::failbit);
    return in;
  }
  while ((c = buffer->sgetc()) != EOF && !std::isspace(c)) {
    push_back(static_cast<char>(c));
    buffer->sbumpc();
  }
  if (c == EOF)
    in.setstate(std::ios::eofbit);
  return in;
}

std::istream& qzcString::ReadLine(std::istream& in) {
  clear();
  std::streambuf* buffer = in.rdbuf();
  if (!in.good() || buffer == nullptr) {
    in.setstate(std::ios::failbit);
    return in;
  }
  bool readAnything = false;
  int c;
  while ((c = buffer->sbumpc()) != EOF) {
    readAnything = true;
    if (c == '\n')
      return in;
    if (c != '\r')
      push_back(static_cast<char>(c));
  }
  // The end of the stream ends the last line; only nothing at all fails.
  in.setstate(readAnything ? std::ios::eofbit : std::ios::eofbit | std::ios::failbit);
  return in;
}
