// medconv: converts DICOM files to image files. The run: arguments from the
// command line and then from $MEDCONV, the query options, the run options,
// the ordered file list, one pass of the per-file pipeline over it, and the
// closing progress output. The exit status is 1 when an option is refused
// or anything asked for was not done: a file that failed or matched no
// name, an output not written.
#include "driver/FileRun.h"
#include "driver/FrameLoop.h"
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
  unsigned workers = 0;
  if (!ReadRunOptions(parser, settings) || !ReadJobs(parser, workers))
    return 1;

  qzcFileNameList files;
  unsigned unmatched = 0;
  if (!BuildFileList(parser, files, unmatched)) {
    PrintUsage();
    return 1;
  }
  OrderFileList(parser, files);
  UWORD step = 1;
  if (!ReadStep(parser, step))
    return 1;

  std::ostream* progress = qzcException::messageChannel.Active();
  if (progress && parser.GetBoolOption("rank", false))
    *progress << "About to process " << files.size() << " file(s)..." << std::endl;

  const bool filesDone = RunFiles(SelectFiles(files, step), parser, settings, workers);
  const bool accumulationSaved = SaveAccumulatedFrame(parser, settings);

  FinishProgress(parser, start);
  return filesDone && accumulationSaved && unmatched == 0 ? 0 : 1;
}
