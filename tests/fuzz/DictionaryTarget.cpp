// The text form of the data dictionary, parsed and printed again.
#include "FuzzSupport.h"

#include "dicom/qzmDicomDataElementDictionary.h"

#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzsupport::BeginInput();
  std::istringstream text(std::string(reinterpret_cast<const char*>(data), size));
  qzmDicomDataElementDictionary dictionary;
  dictionary.Parse(text);
  std::ostringstream printed;
  dictionary.Print(printed);
  return 0;
}
