#include "driver/TagKeyword.h"

#include <cctype>
#include <cstdlib>

namespace {

bool AreHexDigits(const std::string& text, std::size_t first, std::size_t count) {
  for (std::size_t i = first; i < first + count; ++i)
    if (!std::isxdigit(static_cast<unsigned char>(text[i])))
      return false;
  return true;
}

UWORD HexNumber(const std::string& text, std::size_t first) {
  return static_cast<UWORD>(std::strtoul(text.substr(first, 4).c_str(), nullptr, 16));
}

}  // namespace

bool HasTagKeywordShape(const std::string& text) {
  return text.size() == 11 && text[0] == '(' && text[5] == ',' && text[10] == ')';
}

bool ParseTagKeyword(const std::string& text, qzmDicomDataElementTag& tag) {
  if (!HasTagKeywordShape(text) || !AreHexDigits(text, 1, 4) || !AreHexDigits(text, 6, 4))
    return false;
  tag = qzmDicomDataElementTag(HexNumber(text, 1), HexNumber(text, 6));
  return true;
}
