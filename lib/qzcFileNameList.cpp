// Pattern expansion into, and printing of, file-name lists.
#include "lib/qzcFileNameList.h"

#include "lib/qzcError.h"

#include <glob.h>
#include <ostream>

qzcFileNameList::iterator qzcFileNameList::glob(iterator where, const qzcFileName& pattern) {
  static const char* const signature = "iterator qzcFileNameList::glob( iterator, const qzcFileName& )";
  glob_t matches;
  const int status = ::glob(pattern.c_str(), GLOB_NOSORT, nullptr, &matches);
  if (status == 0) {
    for (size_t i = 0; i < matches.gl_pathc; ++i)
      insert(where, qzcFileName(matches.gl_pathv[i]));
  } else if (status != GLOB_NOMATCH) {
    qzcError(signature, status == GLOB_NOSPACE ? "running out of memory!" : "Error while using system glob on %s!",
             pattern.c_str())
        .Report();
  }
  globfree(&matches);
  return where;
}

std::ostream& qzcFileNameList::Print(std::ostream& os) const {
  for (const_iterator name = begin(); name != end() && os; ++name)
    os << *name << '\n';
  if (!os)
    qzcError("ostream& qzcFileNameList::Print( ostream& ) const", "while sending instance to ostream!").Report();
  return os;
}
