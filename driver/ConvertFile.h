// The per-file conversion pipeline of the medconv command.
#ifndef MEDCONV_CONVERT_FILE_H
#define MEDCONV_CONVERT_FILE_H

#include "frame/qzmMedicalFrame.h"

class qzcFileName;
class qzcCmdLineParser;

// Takes one input file through everything the command line asks for: reading
// the set, anonymisation, the text dump, the frames, and the renaming of the
// input. False when the file had to be given up.
bool convert_file(const qzcFileName& file, const qzcCmdLineParser& parser,
                  const qzmMedicalFrame::ConversionSettings& settings);

#endif
