// A data set read from the input's bytes (as a file, the way the program
// reads one) and printed as a text dump.
#include "FuzzSupport.h"

#include "dicom/qzmDicomDataElementSet.h"
#include "lib/qzcFileName.h"

#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzsupport::BeginInput();
  const std::string path = fuzzsupport::WriteScratchFile("set.dcm", data, size);
  qzmDicomDataElementSet set;
  if (set.Load(qzcFileName(path))) {
    std::ostringstream dump;
    set.Print(dump);
  }
  return 0;
}
