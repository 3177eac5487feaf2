// mkdin: builds the binary dictionary repository from text dictionaries when
// it is missing or older than one of them.
//   mkdin <output.din> <input.dic>...
#include <iostream>

#include "dicom/qzmDicomDataElementDictionary.h"
#include "lib/qzcError.h"
#include "lib/qzcFileName.h"
#include "lib/qzcFileNameList.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: mkdin <output.din> <input.dic>...\n";
    return 1;
  }
  // Show every report of a failure rather than stop at the first.
  qzcException::errorChannel.limit = 65535;
  qzcFileNameList parts;
  for (int n = 2; n < argc; ++n)
    parts.push_back(qzcFileName(argv[n]));
  return qzmDicomDataElementDictionary::MakeDictionary(qzcFileName(argv[1]), parts) ? 0 : 1;
}
