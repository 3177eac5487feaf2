// The driver's walk over the ordered file list: which files --step keeps,
// one file's progress output and pipeline call, and the walk itself, on
// the calling thread or on worker threads (--jobs).
#ifndef MEDCONV_FILE_RUN_H
#define MEDCONV_FILE_RUN_H

#include "frame/qzmMedicalFrame.h"
#include "lib/qzcFileName.h"
#include "lib/qzcTypes.h"

#include <vector>

class qzcCmdLineParser;
class qzcFileNameList;

// One file handed to the pipeline, with the counters its names may use.
struct FileJob {
  qzcFileName name;
  UWORD rank;   // position in the ordered list, skipped files included
  UWORD count;  // position among the files handed to the pipeline
};

// The files that --step keeps: positions 1, 1 + step, 1 + 2 step...
std::vector<FileJob> SelectFiles(const qzcFileNameList& files, UWORD step);

// The number of workers --jobs asks for: 0 when absent (the walk stays on
// the calling thread), the online processors for an empty value or 0.
// False, with an error, for a value that is not a number of workers.
bool ReadJobs(const qzcCmdLineParser& parser, unsigned& workers);

// Converts the files in order; false when any of them failed or missed an
// output. With more than one worker, the files are converted concurrently
// but every file's output reaches the standard streams whole and in list
// order, and --acc merges the workers' buffers: the run reads and writes
// as the sequential one.
bool RunFiles(const std::vector<FileJob>& jobs, const qzcCmdLineParser& parser,
              const qzmMedicalFrame::ConversionSettings& settings, unsigned workers);

#endif
