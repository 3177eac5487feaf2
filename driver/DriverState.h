// State of the medconv command shared by the driver and the per-file
// pipeline: the counters of the file in hand, read by the output naming, and
// whether it missed an output (one set per worker thread); the built-in
// renaming patterns and the file-name extensions the program knows.
#ifndef MEDCONV_DRIVER_STATE_H
#define MEDCONV_DRIVER_STATE_H

#include "frame/qzmMedicalFrame.h"
#include "lib/qzcString.h"
#include "lib/qzcTypes.h"

// 1-based position of the current file in the ordered list, counting the
// files skipped by --step.
extern thread_local UWORD FileRank;
// Number of files handed to the pipeline so far, the current one included.
extern thread_local UWORD FileCount;
// Set by the pipeline when an output the command line asks for could not be
// written; cleared by the driver before each file.
extern thread_local bool OutputMissing;

// What a file's steps that depend on the order of the list ask of a
// parallel run (--jobs): their effects on shared names come out as in a
// sequential run. Null on the sequential path, where the order is given.
class FileOrder {
 public:
  virtual ~FileOrder() {}
  // Called before an output is written under name: false when a later file
  // of the list writes that name too (its file is the one that stays);
  // when an earlier file does, waits until that file is done.
  virtual bool ClaimOutput(const qzcString& name) = 0;
  // Waits until every earlier file of the list is done.
  virtual void WaitForEarlierFiles() = 0;
  // --acc: accumulates the frame into the worker's buffer, which starts as
  // the buffer of the first file of the list that accumulated, so that a
  // frame is refused exactly when a sequential run refuses it.
  virtual bool Accumulate(const qzmMedicalFrame& frame, const qzcString& mode) = 0;
};
extern thread_local FileOrder* CurrentFileOrder;

// The --rename aliases, selected by their index digit.
enum { RenameAliasCount = 6 };
extern const char* const RenameAliases[RenameAliasCount];

// Extensions, in this order: bmp, dcm, gif, jpg, raw, tga, txt, tif, png.
enum ExtensionIndex { ExtBmp, ExtDcm, ExtGif, ExtJpg, ExtRaw, ExtTga, ExtTxt, ExtTif, ExtPng, ExtensionCount };
extern const qzcString ExtensionNames[ExtensionCount];

#endif
