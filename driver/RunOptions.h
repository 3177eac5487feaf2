// The run-wide options of the medconv command, read once by main before the
// file loop, and the file list they order.
#ifndef MEDCONV_RUN_OPTIONS_H
#define MEDCONV_RUN_OPTIONS_H

#include "frame/qzmMedicalFrame.h"
#include "lib/qzcString.h"
#include "lib/qzcTypes.h"

class qzcCmdLineParser;
class qzcFileNameList;

// Signature text of every report made on behalf of main.
extern const char* const MainSignature;

// True when the option is present; value gets its text, empty when the
// word carries none.
bool GetPresentOption(const qzcCmdLineParser& parser, const char* name, qzcString& value);

// Fills settings from --to, --syntax, --anon, --rename, --modality, --size,
// --spacing, --padding and --sample, then loads the --mask image into
// MaskFrame. The first faulty option is reported and ends the reading with
// false.
bool ReadRunOptions(const qzcCmdLineParser& parser, qzmMedicalFrame::ConversionSettings& settings);

// Expands every file argument into files, in order; a word that matches no
// file is reported and counted in unmatched. False when the command line
// has no file argument at all.
bool BuildFileList(const qzcCmdLineParser& parser, qzcFileNameList& files, unsigned& unmatched);

// --sort (by name, or "ext_num" by the numeric extension), then --reverse.
void OrderFileList(const qzcCmdLineParser& parser, qzcFileNameList& files);

// --step (1 when absent). A faulty value is reported and gives false.
bool ReadStep(const qzcCmdLineParser& parser, UWORD& step);

#endif
