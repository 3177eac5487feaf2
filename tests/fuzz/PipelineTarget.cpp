// The whole per-file pipeline of the program on the input (less its first
// byte) written as a DICOM file; the first byte chooses the options, which
// together reach every writer and frame operation.
#include "FuzzSupport.h"

#include "driver/ConvertFile.h"
#include "driver/DriverState.h"
#include "driver/RunOptions.h"
#include "lib/qzcCmdLineParser.h"
#include "lib/qzcFileName.h"

#include <iterator>

const char* const OptionSets[] = {"-t", "-w --win=40:400", "-p", "-a", "-r1", "-d=el", "--frame=whole -d=il", "-j",
                                  "--frame=all -w --halve --crop=1:1:8:8 --fliph",
                                  "--changepr -r0 --get=max:min:mean", "--anon -d=eb"};

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0)
    return 0;
  fuzzsupport::BeginInput();
  const std::string input = fuzzsupport::WriteScratchFile("input.dcm", data + 1, size - 1);
  const std::string options = std::string(OptionSets[data[0] % std::size(OptionSets)]) +
                              " --to=" + fuzzsupport::OutputFolder() + " " + input;
  const char* const programName[] = {"medconv"};
  qzcCmdLineParser parser;
  parser.AddParameters(1, programName);
  parser.AddParameters(options.c_str());

  qzmMedicalFrame::ConversionSettings settings;
  if (ReadRunOptions(parser, settings)) {
    FileRank = FileCount = 1;
    convert_file(qzcFileName(input), parser, settings);
  }
  fuzzsupport::EmptyOutputFolder();
  return 0;
}
