// Pieces shared by the image writers: the checks that keep a writer inside
// the buffers it is given, the palette of a frame, and the destination
// stream.
#ifndef QZG_IMAGE_WRITING_H
#define QZG_IMAGE_WRITING_H

#include "frame/qzmMedicalFrame.h"
#include "lib/ofbstream.h"
#include "lib/qzcTypes.h"

#include <cstdint>
#include <functional>
#include <vector>

// Refuses (with an error under signature) a frame whose samples per pixel
// do not fit its photometric interpretation: one sample for grey and
// palette images, three for RGB.
bool SamplesFitInterpretation(const qzmMedicalFrame& frame, const char* signature);

// Prepares the frame's pixels (decoding compressed ones, which may change
// the photometric interpretation) and checks its samples as above. A frame
// that cannot be prepared has been reported by the preparation.
bool PixelsFitForWriting(qzmMedicalFrame& frame, const char* signature);

// The bytes of an image buffer (OB or OW) when it holds at least needed
// bytes; otherwise null, with an error under signature.
const UBYTE* ImageBytes(qzcDatedValue& image, std::uint64_t needed, const char* signature);

// The colour lookup tables of a frame as bytes, at most maxEntries entries;
// each component is the high byte of a 16-bit entry or the byte itself.
struct Palette {
  std::vector<UBYTE> red;
  std::vector<UBYTE> green;
  std::vector<UBYTE> blue;

  std::size_t Entries() const { return red.size(); }
};

// Fills palette from the frame's tables; false (with an error under
// signature) when a table holds fewer entries than the frame announces.
bool LoadPalette(qzmMedicalFrame& frame, std::size_t maxEntries, Palette& palette, const char* signature);

// Prepares the image that BMP and TARGA write: the 8-bit resampled image of a
// one-sample frame (Resampled8), or the BGR image of an RGB frame
// (ResampledBGR24); reports the failure under signature.
bool PrepareBgrImage(qzmMedicalFrame& frame, const qzmMedicalFrame::ConversionContext& context, const char* signature);

// The units (bytes or words) of every frame of set, each built afresh and
// handed to image, which prepares it and returns the buffer to take (null
// after a report when it cannot), one frame after the other in all. False
// after a report when a frame cannot be built or prepared, or the frames'
// buffers differ in size or kind.
bool ConcatenateFrames(const qzmDicomDataElementSet& set, UWORD frames,
                       const std::function<qzcDatedValue*(qzmMedicalFrame&)>& image, qzmDicomDataElementValue& all,
                       const char* signature);

// How reports name a writer's destination.
const char* DestinationName(const qzcFileName& name, bool toStandardOutput);

// Opens the destination of a writer: "cout" (which the binary stream
// refuses) for standard output, else the file; reports the failure.
bool OpenDestination(ofbstream& ofs, const qzcFileName& name, bool toStandardOutput, const char* signature);

// Closes a written destination; reports a failed stream.
bool CloseDestination(ofbstream& ofs, const qzcFileName& name, const qzmMedicalFrame::ConversionContext& context,
                      const char* signature);

#endif
