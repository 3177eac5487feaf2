// The program's arguments as one array of words, queried by option name.
// Nothing is validated: every option is looked up when a caller needs it,
// and the first matching word (from word 1 upward) answers.
#ifndef QZC_CMD_LINE_PARSER_H
#define QZC_CMD_LINE_PARSER_H

#include "lib/qzcString.h"
#include "lib/qzcTypes.h"

#include <string>
#include <vector>

class qzcCmdLineParser {
 public:
  qzcCmdLineParser() = default;

  // Appends count words (the whole argument vector, program name
  // included). Nonzero on success.
  int AddParameters(int count, const char* const* words);
  // Appends the words of text, split at blanks (0x20 only). Nonzero on
  // success.
  int AddParameters(const char* text);
  // Makes room for n more words. Nonzero on success.
  int ExpandList(int n);
  // Forgets every word.
  void Reset();

  // Results of HasOption.
  enum { Absent = 0, ShortOption = 1, LongOption = 2, PlusOption = 3 };

  // A one-character name is looked up in short option clusters ("-" or
  // "+" words), a longer one among long options ("--" words).
  int HasOption(const std::string& name) const;
  // The value text of the first matching word, or null when none matches.
  // The text stays valid until words are added or the parser is reset.
  const char* GetOptionValue(const std::string& name) const;
  bool GetBoolOption(const std::string& name, bool defaultValue) const;
  // An absent option gives -1 instead of the default when absentIsMinusOne.
  SLONG GetIntOption(const std::string& name, SLONG defaultValue, bool absentIsMinusOne = false) const;
  // The n-th (from 1) word that is not an option, or null.
  const char* GetFileArgument(int n) const;

  // Number of words held, the program name included.
  int GetCount() const { return static_cast<int>(words.size()); }

 private:
  enum Kind { FileArgument, LongWord, MinusCluster, PlusCluster };

  struct Word {
    qzcString text;
    Kind kind;
    // For options: the text after "--", "-" or "+", up to the first
    // blank; option names and values stop there.
    qzcString option;
  };

  void Append(const std::string& text);
  // The value a word gives the option, or null when it gives none.
  static const char* LongValue(const Word& word, const std::string& name);
  static bool LongNameMatches(const Word& word, const std::string& name);
  static bool ShortLetterMatches(const Word& word, char letter);
  static const char* ShortValue(const Word& word, char letter);

  std::vector<Word> words;
};

#endif
