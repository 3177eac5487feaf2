// What the fuzz targets share: quiet report channels that still format every
// report, the data dictionary, and a private scratch folder for the files an
// input is written to and the outputs it makes.
#ifndef MEDCONV_FUZZ_SUPPORT_H
#define MEDCONV_FUZZ_SUPPORT_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzzsupport {

// Called at the start of every input: reports go to a sink instead of the
// standard streams and their counts start again, so that only one input's
// own reports can reach a channel's limit. Loads the dictionary once.
void BeginInput();
// Writes size bytes to name inside the scratch folder; returns its path.
std::string WriteScratchFile(const std::string& name, const std::uint8_t* data, std::size_t size);
// The scratch folder's folder for outputs, ending with "/", and its emptying.
const std::string& OutputFolder();
void EmptyOutputFolder();

}  // namespace fuzzsupport

#endif
