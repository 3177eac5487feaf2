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
bool convert_frames( const qzcFileName& file, qzmDicomDataElementSet& set,
                     const qzcCmdLineParser& parser,
                     const qzmMedicalFrame::ConversionSettings& settings,
                     const qzcString& outputDirectory, const qzcString& inputName );

#endif
