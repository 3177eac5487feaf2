// Process-wide state of the medconv command shared by the driver and the
// per-file pipeline: the file counters read by the output naming, the
// built-in renaming patterns and the file-name extensions the program knows.
#ifndef MEDCONV_DRIVER_STATE_H
#define MEDCONV_DRIVER_STATE_H

#include "lib/qzcString.h"
#include "lib/qzcTypes.h"

// 1-based position of the current file in the ordered list, counting the
// files skipped by --step.
extern UWORD FileRank;
// Number of files handed to the pipeline so far.
extern UWORD FileCount;

// The --rename aliases, selected by their index digit.
enum { RenameAliasCount = 6 };
extern const char* const RenameAliases[RenameAliasCount];

// Extensions, in this order: bmp, dcm, gif, jpg, raw, tga, txt, tif, png.
enum ExtensionIndex { ExtBmp, ExtDcm, ExtGif, ExtJpg, ExtRaw, ExtTga, ExtTxt, ExtTif, ExtPng, ExtensionCount };
extern const qzcString ExtensionNames[ExtensionCount];

#endif
