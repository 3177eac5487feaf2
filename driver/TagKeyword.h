// The "(gggg,eeee)" keyword that names a data element in --anon and
// --rename arguments.
#ifndef MEDCONV_TAG_KEYWORD_H
#define MEDCONV_TAG_KEYWORD_H

#include "dicom/qzmDicomDataElementTag.h"

#include <string>

// True when text has the keyword's shape: 11 characters, "(" first, ","
// sixth and ")" last.
bool HasTagKeywordShape(const std::string& text);

// Reads a keyword whose group and element are four hexadecimal digits each.
// False (tag unchanged) for anything else, digits that are not hexadecimal
// included.
bool ParseTagKeyword(const std::string& text, qzmDicomDataElementTag& tag);

#endif
