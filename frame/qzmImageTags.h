// The tags of the image elements that frames are built from and written to.
#ifndef QZM_IMAGE_TAGS_H
#define QZM_IMAGE_TAGS_H

#include "dicom/qzmDicomDataElementTag.h"

namespace qzmImageTags {

typedef qzmDicomDataElementTag Tag;

const Tag TransferSyntaxTag(0x0002, 0x0010), ModalityTag(0x0008, 0x0060), SliceThicknessTag(0x0018, 0x0050),
    SamplesPerPixelTag(0x0028, 0x0002), PhotometricTag(0x0028, 0x0004), PlanarConfigurationTag(0x0028, 0x0006),
    NumberOfFramesTag(0x0028, 0x0008), RowsTag(0x0028, 0x0010), ColumnsTag(0x0028, 0x0011),
    PixelSpacingTag(0x0028, 0x0030), LossyImageCompressionTag(0x0028, 0x2110), BitsAllocatedTag(0x0028, 0x0100),
    BitsStoredTag(0x0028, 0x0101), HighBitTag(0x0028, 0x0102), PixelRepresentationTag(0x0028, 0x0103),
    PixelPaddingTag(0x0028, 0x0120), WindowCenterTag(0x0028, 0x1050), WindowWidthTag(0x0028, 0x1051),
    RescaleInterceptTag(0x0028, 0x1052), RescaleSlopeTag(0x0028, 0x1053), ExtendedOffsetTableTag(0x7FE0, 0x0001),
    PixelDataTag(0x7FE0, 0x0010);
// Samples of 32- and 64-bit floating-point numbers.
const Tag FloatPixelDataTag(0x7FE0, 0x0008), DoubleFloatPixelDataTag(0x7FE0, 0x0009);

}  // namespace qzmImageTags

#endif
