// The ordered list of input files: file arguments expanded as shell patterns,
// sorted, reversed and thinned by the run's options.
#include "driver/RunOptions.h"

#include "lib/qzcCmdLineParser.h"
#include "lib/qzcError.h"
#include "lib/qzcFileNameList.h"

#include <cstdlib>

namespace {

// The integer after the last "." of the whole name; 0 without one.
long NumericExtension(const qzcFileName& name) {
  const std::size_t dot = name.rfind('.');
  return dot == qzcString::npos ? 0 : std::strtol(name.c_str() + dot + 1, nullptr, 10);
}

}  // namespace

bool BuildFileList(const qzcCmdLineParser& parser, qzcFileNameList& files, unsigned& unmatched) {
  unmatched = 0;
  int n = 1;
  for (const char* word; (word = parser.GetFileArgument(n)) != nullptr; ++n) {
    const std::size_t before = files.size();
    files.glob(files.end(), qzcFileName(word));
    if (files.size() == before) {
      qzcError(MainSignature, "no file matches %s", word).Report();
      ++unmatched;
    }
  }
  return n > 1;
}

void OrderFileList(const qzcCmdLineParser& parser, qzcFileNameList& files) {
  qzcString sortType;
  if (GetPresentOption(parser, "sort", sortType)) {
    // list::sort is stable: names that compare equal keep their order.
    if (sortType == "ext_num")
      files.sort([](const qzcFileName& a, const qzcFileName& b) { return NumericExtension(a) < NumericExtension(b); });
    else
      files.sort();
  }
  if (parser.GetBoolOption("reverse", false))
    files.reverse();
}

bool ReadStep(const qzcCmdLineParser& parser, UWORD& step) {
  step = 1;
  qzcString value;
  if (!GetPresentOption(parser, "step", value))
    return true;
  if (value.empty()) {
    qzcError(MainSignature, "missing argument to --step!").Report();
    return false;
  }
  step = static_cast<UWORD>(std::strtol(value.c_str(), nullptr, 10));
  if (step == 0) {
    qzcError(MainSignature, "wrong argument to --step (%u)!", 0u).Report();
    return false;
  }
  return true;
}
