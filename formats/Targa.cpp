// Frames written as uncompressed TARGA images: colour-mapped for
// MONOCHROME1 and palette frames, grey for MONOCHROME2, true colour for RGB.
#include "formats/ImageWriting.h"
#include "formats/qzgTarga.h"
#include "frame/qzmMedicalFrame.h"

#include "lib/ofbstream.h"
#include "lib/qzcWarning.h"

#include <vector>

namespace {

const char* const saveSignature =
    "bool qzmMedicalFrame::SaveAsTARGA( const qzcFileName&, const qzmMedicalFrame::ConversionContext& )";

const unsigned MaxMapEntries = 256;

void SetKind(qzgTarga& header, bool colorMap, qzgTarga::ImageTypeCode type, UBYTE depth) {
  header.HasColorMap = colorMap;
  header.ImageType = type;
  header.PixelDepth = depth;
}

// Header and colour map (blue, green, red per entry) for the frame's
// interpretation; false when TARGA has none or the palette is unusable.
bool BuildHeader(qzmMedicalFrame& frame, qzgTarga& header, std::vector<UBYTE>& colorMap) {
  const qzcString& interpretation = frame.Structure.PhotometricInterpretation;
  if (interpretation == "MONOCHROME1") {
    SetKind(header, true, qzgTarga::ColorMapped, 8);
    for (unsigned k = 0; k < MaxMapEntries; ++k)
      colorMap.insert(colorMap.end(), 3, UBYTE(255 - k));
  } else if (interpretation == "PALETTE COLOR") {
    SetKind(header, true, qzgTarga::ColorMapped, 8);
    Palette palette;
    if (!LoadPalette(frame, MaxMapEntries, palette, saveSignature))
      return false;
    for (std::size_t k = 0; k < palette.Entries(); ++k)
      colorMap.insert(colorMap.end(), {palette.blue[k], palette.green[k], palette.red[k]});
  } else if (interpretation == "MONOCHROME2") {
    SetKind(header, false, qzgTarga::Grey, 8);
  } else if (interpretation == "RGB") {
    SetKind(header, false, qzgTarga::TrueColor, 24);
  } else {
    qzcWarning(saveSignature, "can not convert Photometric Interpretation %s to TARGA format! (email me)",
               interpretation.c_str())
        .Report();
    return false;
  }
  header.ColorMapLength = UWORD(colorMap.size() / 3);
  header.Width = frame.Structure.Columns;
  header.Height = frame.Structure.Rows;
  return true;
}

}  // namespace

bool qzmMedicalFrame::SaveAsTARGA(const qzcFileName& name, const ConversionContext& context) {
  if (!PixelsFitForWriting(*this, saveSignature) || !PrepareBgrImage(*this, context, saveSignature))
    return false;
  qzgTarga header;
  std::vector<UBYTE> colorMap;
  if (!BuildHeader(*this, header, colorMap))
    return false;
  qzcDatedValue& image = header.PixelDepth == 24 ? ResampledBGR24 : Resampled8;
  const std::uint64_t bytes = std::uint64_t(header.Width) * header.Height * (header.PixelDepth / 8);
  const UBYTE* pixels = ImageBytes(image, bytes, saveSignature);
  if (!pixels)
    return false;
  ofbstream ofs;
  if (!OpenDestination(ofs, name, context.ToStandardOutput, saveSignature))
    return false;
  header.Write(ofs);
  ofs.WriteBlock(colorMap.data(), ULONG(colorMap.size()));
  ofs.WriteBlock(pixels, ULONG(bytes));
  return CloseDestination(ofs, name, context, saveSignature);
}
