// medconv: converts DICOM files to image files. The run: arguments from the
// command line and then from $MEDCONV, the query options, the run options,
// the ordered file list, one pass of the per-file pipeline over it, and the
// closing progress output.
#include "driver/ConvertFile.h"
#include "driver/FrameLoop.h"
#include "driver/DriverState.h"
#include "driver/Reports.h"
#include "driver/RunOptions.h"
#include "lib/qzcCmdLineParser.h"
#include "lib/qzcError.h"
#include "lib/qzcFileNameList.h"

#include <ctime>
#include <cstdlib>
#include <iostream>

namespace {

// Prints the text of the first query option present; true when one was.
bool AnswerQuery(const qzcCmdLineParser& parser) {
  if (parser.HasOption("help"))
    PrintHelp();
  else if (parser.HasOption("version"))
    PrintVersion();
  else if (parser.HasOption("config"))
    PrintBuildConfiguration(std::cout);
  else
    return false;
  return true;
}

// --warn / --nowarn, and --out, which keeps standard output for data only.
void SetChannels(const qzcCmdLineParser& parser) {
  qzcException::warningChannel.enabled = parser.GetBoolOption("warn", true);
  if (parser.HasOption("nowarn"))
    qzcException::warningChannel.enabled = false;
  if (parser.GetBoolOption("out", false)) {
    qzcException::messageChannel.stream = qzcException::errorChannel.stream;
    qzcException::warningChannel.stream = qzcException::errorChannel.stream;
  }
}

// Hands every step-th file of the list to the pipeline, with progress output.
void ProcessFiles(const qzcCmdLineParser& parser, const qzcFileNameList& files, const UWORD step,
                  const qzmMedicalFrame::ConversionSettings& settings) {
  const bool showRank = parser.GetBoolOption("rank", false);
  const bool showName = parser.GetBoolOption("name", false);
  for (const qzcFileName& file : files) {
    ++FileRank;
    if ((FileRank - 1) % step != 0)
      continue;
    ++FileCount;
    std::ostream* progress = qzcException::messageChannel.Active();
    if (progress && showRank)
      *progress << "[" << FileRank << "] " << std::flush;
    if (progress && showName)
      *progress << file << " " << std::flush;
    if (!convert_file(file, parser, settings))
      qzcError(MainSignature, "while processing file %s!", file.c_str()).Report();
    if (progress && showName)
      *progress << std::endl;
  }
}

// Closes the last progress line and prints the processor time (--timer).
void FinishProgress(const qzcCmdLineParser& parser, const std::clock_t start) {
  std::ostream* progress = qzcException::messageChannel.Active();
  if (!progress)
    return;
  const bool timer = parser.HasOption("timer");
  if ((parser.GetBoolOption("rank", false) || timer) && !parser.GetBoolOption("name", false))
    *progress << std::endl;
  if (timer)
    *progress << "Elapsed time: " << static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC << " s." << std::endl;
}

}  // namespace

int main(const int argc, const char** argv) {
  qzcException::errorChannel.limit = 65535;
  const std::clock_t start = std::clock();

  qzcCmdLineParser parser;
  parser.AddParameters(argc, argv);
  if (const char* environment = std::getenv("MEDCONV"))
    parser.AddParameters(environment);

  if (AnswerQuery(parser))
    return 0;
  SetChannels(parser);

  qzmMedicalFrame::ConversionSettings settings;
  int optionErrorStatus = 0;
  if (!ReadRunOptions(parser, settings, optionErrorStatus))
    return optionErrorStatus;

  qzcFileNameList files;
  if (!BuildFileList(parser, files)) {
    PrintUsage();
    return 1;
  }
  OrderFileList(parser, files);
  UWORD step = 1;
  if (!ReadStep(parser, step))
    return 0;

  std::ostream* progress = qzcException::messageChannel.Active();
  if (progress && parser.GetBoolOption("rank", false))
    *progress << "About to process " << files.size() << " file(s)..." << std::endl;

  ProcessFiles(parser, files, step, settings);
  SaveAccumulatedFrame(parser, settings);

  FinishProgress(parser, start);
  return 0;
}
