// Output file naming: turns a --rename pattern into the base name of an
// output (or the new name of the input file).
#ifndef MEDCONV_OUTPUT_NAME_H
#define MEDCONV_OUTPUT_NAME_H

#include "lib/qzcString.h"
#include "lib/qzcTypes.h"

class qzmDicomDataElementSet;

// Value of (0028,0008) Number of Frames as a decimal integer, 1 without it.
UWORD NumberOfFrames(const qzmDicomDataElementSet& set);

// The base name built from pattern (fields separated by ":"); frame is the
// frame number written, or 0 for the text dump, whole-set outputs and the
// renaming of the input. Never fails: missing information adds nothing.
// Pieces taken from the data set have every "/" replaced by "_", so that no
// file content can place an output outside its directory.
qzcString BuildOutputName(const qzcString& pattern, const qzmDicomDataElementSet& set, const UWORD rank,
                          const UWORD count, const qzcString& inputName, const UWORD frame);

#endif
