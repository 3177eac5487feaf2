#include "lib/qzcIoFunctions.h"
#include "lib/qzcException.h"

#include <iostream>
#include <string>

bool qzcIoFunctions::HasSignature(std::istream& is, ULONG offset, const char* signature, ULONG length, bool keep) {
  static const ULONG MaximumOffset = 1000;
  if (offset > MaximumOffset) {
    *qzcException::diagnosticChannel.stream << "[E] int qzcIoFunctions::HasSignature(), offset is too far" << std::endl;
    return false;
  }
  // Every byte taken, for putting back.
  std::string taken(offset, '\0');
  is.read(&taken[0], offset);
  taken.resize(std::size_t(is.gcount()));
  bool matches = taken.size() == offset;
  for (ULONG i = 0; matches && i < length; ++i) {
    const int c = is.get();
    if (c == std::char_traits<char>::eof()) {
      matches = false;
      break;
    }
    taken += char(c);
    matches = c == UBYTE(signature[i]);
  }
  if (matches && keep)
    return true;
  // A file shorter than the signature's place is no file with a signature,
  // but it may still be a small bare set: give it back whole and readable.
  if (is.eof())
    is.clear();
  for (auto c = taken.rbegin(); c != taken.rend(); ++c)
    is.putback(*c);
  return matches;
}
