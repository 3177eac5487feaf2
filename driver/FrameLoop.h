// The frame loop of the per-file pipeline: frame selection and every
// per-frame step (building, processing, writing).
#ifndef MEDCONV_FRAME_LOOP_H
#define MEDCONV_FRAME_LOOP_H

#include "frame/qzmMedicalFrame.h"
#include "lib/qzcString.h"

class qzcFileName;
class qzcCmdLineParser;
class qzmDicomDataElementSet;

// Builds and writes the selected frames of one input. outputDirectory ends
// with its separator (or is empty); inputName is the input's base name. The
// set is empty for image-file inputs. False when an option error ends the
// file.
bool convert_frames(const qzcFileName& file, qzmDicomDataElementSet& set, const qzcCmdLineParser& parser,
                    const qzmMedicalFrame::ConversionSettings& settings, const qzcString& outputDirectory,
                    const qzcString& inputName);

// The accumulation buffer of --acc, filled across all frames and files, and
// the mask image of --mask, loaded once by main and only read afterwards.
// Workers of a parallel run accumulate into buffers of their own, merged
// into AccumulatedFrame at the end.
extern qzmMedicalFrame AccumulatedFrame;
extern qzmMedicalFrame MaskFrame;

// After the file loop: saves the accumulation buffer as DICOM when --acc
// asked for it and a frame was accumulated ("acc-mode.dcm" under --to by
// default). Failures are warnings; false when nothing could be saved.
bool SaveAccumulatedFrame(const qzcCmdLineParser& parser, const qzmMedicalFrame::ConversionSettings& settings);

#endif
