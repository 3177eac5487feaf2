// Option queries over the program's words.
#include "lib/qzcCmdLineParser.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <iostream>

int qzcCmdLineParser::ExpandList(int n) {
  if (n <= 0)
    return 1;
  try {
    words.reserve(words.size() + static_cast<std::size_t>(n));
  } catch (const std::exception&) {  // bad_alloc or length_error
    std::cerr << ">> int qzcCmdLineParser::ExpandList... memory exhausted !" << std::endl;
    return 0;
  }
  return 1;
}

void qzcCmdLineParser::Reset() {
  words.clear();
  words.shrink_to_fit();
}

void qzcCmdLineParser::Append(const std::string& text) {
  Word word;
  word.text = text;
  std::string::size_type prefix = 0;
  if (text.compare(0, 2, "--") == 0) {
    word.kind = LongWord;
    prefix = 2;
  } else if (!text.empty() && text[0] == '-') {
    word.kind = MinusCluster;
    prefix = 1;
  } else if (!text.empty() && text[0] == '+') {
    word.kind = PlusCluster;
    prefix = 1;
  } else {
    word.kind = FileArgument;
  }
  if (word.kind != FileArgument)
    word.option = text.substr(prefix, text.find(' ') - prefix);
  words.push_back(std::move(word));
}

int qzcCmdLineParser::AddParameters(int count, const char* const* argv) {
  if (count <= 0 || argv == nullptr)
    return 1;
  if (!ExpandList(count)) {
    std::cerr << ">> int qzcCmdLineParser::AddParameters... error !" << std::endl;
    return 0;
  }
  for (int i = 0; i < count; ++i)
    Append(argv[i] ? argv[i] : "");
  return 1;
}

int qzcCmdLineParser::AddParameters(const char* text) {
  if (text == nullptr)
    return 1;
  std::vector<std::string> split;
  const std::string whole(text);
  for (std::string::size_type begin = whole.find_first_not_of(' '); begin != std::string::npos;
       begin = whole.find_first_not_of(' ', begin)) {
    const std::string::size_type end = whole.find(' ', begin);
    split.push_back(whole.substr(begin, end - begin));
    begin = end;
  }
  if (!ExpandList(static_cast<int>(split.size()))) {
    std::cerr << ">> int qzcCmdLineParser::AddParameters... error !" << std::endl;
    return 0;
  }
  for (const std::string& word : split)
    Append(word);
  return 1;
}

// A long word names every option that begins with its name part (the text
// before "="), so abbreviations match, and "--" alone matches everything.
bool qzcCmdLineParser::LongNameMatches(const Word& word, const std::string& name) {
  const std::string& option = word.option;
  const std::string::size_type equals = option.find('=');
  const std::string::size_type length = equals == std::string::npos ? option.size() : equals;
  return length <= name.size() && name.compare(0, length, option, 0, length) == 0;
}

// With "=" the value follows it; without, the word must begin with the
// whole name and the value is what follows the name (so --names gives the
// option name the value s, although HasOption does not find name there).
const char* qzcCmdLineParser::LongValue(const Word& word, const std::string& name) {
  const std::string& option = word.option;
  const std::string::size_type equals = option.find('=');
  if (equals != std::string::npos)
    return LongNameMatches(word, name) ? option.c_str() + equals + 1 : nullptr;
  if (option.compare(0, name.size(), name) != 0)
    return nullptr;
  return option.c_str() + name.size();
}

// In a cluster the letters stand before the first "=", if any.
bool qzcCmdLineParser::ShortLetterMatches(const Word& word, char letter) {
  const std::string::size_type equals = word.option.find('=');
  const std::string::size_type found = word.option.find(letter);
  return found != std::string::npos && (equals == std::string::npos || found < equals);
}

// With "=" the value follows it; without, the value is the rest of the
// cluster after the letter (-wp: w has the value p).
const char* qzcCmdLineParser::ShortValue(const Word& word, char letter) {
  if (!ShortLetterMatches(word, letter))
    return nullptr;
  const std::string::size_type equals = word.option.find('=');
  const std::string::size_type valueStart = equals != std::string::npos ? equals + 1 : word.option.find(letter) + 1;
  return word.option.c_str() + valueStart;
}

int qzcCmdLineParser::HasOption(const std::string& name) const {
  const bool shortName = name.size() == 1;
  for (std::size_t i = 1; i < words.size(); ++i) {
    const Word& word = words[i];
    if (shortName && word.kind == MinusCluster && ShortLetterMatches(word, name[0]))
      return ShortOption;
    if (shortName && word.kind == PlusCluster && ShortLetterMatches(word, name[0]))
      return PlusOption;
    if (!shortName && word.kind == LongWord && LongNameMatches(word, name))
      return LongOption;
  }
  return Absent;
}

const char* qzcCmdLineParser::GetOptionValue(const std::string& name) const {
  const bool shortName = name.size() == 1;
  for (std::size_t i = 1; i < words.size(); ++i) {
    const Word& word = words[i];
    const char* value = nullptr;
    if (shortName && (word.kind == MinusCluster || word.kind == PlusCluster))
      value = ShortValue(word, name[0]);
    else if (!shortName && word.kind == LongWord)
      value = LongValue(word, name);
    if (value)
      return value;
  }
  return nullptr;
}

bool qzcCmdLineParser::GetBoolOption(const std::string& name, bool defaultValue) const {
  const char* value = GetOptionValue(name);
  if (value == nullptr)
    return defaultValue;
  switch (value[0]) {
    case '\0':
    case '1':
    case 'Y':
    case 'y':
      return true;
    case '0':
    case 'N':
    case 'n':
      return false;
    default:
      return defaultValue;
  }
}

SLONG qzcCmdLineParser::GetIntOption(const std::string& name, SLONG defaultValue, bool absentIsMinusOne) const {
  const char* value = GetOptionValue(name);
  if (value == nullptr)
    return absentIsMinusOne ? -1 : defaultValue;
  if (value[0] == '\0')
    return defaultValue;
  if (!std::isdigit(static_cast<unsigned char>(value[0])))
    return -1;
  // Numbers too large for 32 bits saturate instead of wrapping around.
  const long number = std::strtol(value, nullptr, 10);
  return number > INT32_MAX ? INT32_MAX : static_cast<SLONG>(number);
}

const char* qzcCmdLineParser::GetFileArgument(int n) const {
  int seen = 0;
  for (std::size_t i = 1; i < words.size(); ++i)
    if (words[i].kind == FileArgument && ++seen == n)
      return words[i].text.c_str();
  return nullptr;
}
