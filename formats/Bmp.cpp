// Frames written as Windows bitmaps (8 bits per pixel with a colour table,
// or 24 bits for RGB) and 8-bit bitmaps read as grey frames.
#include "formats/ImageWriting.h"
#include "formats/qzgBmp.h"
#include "frame/qzmMedicalFrame.h"

#include "lib/ifbstream.h"
#include "lib/ofbstream.h"
#include "lib/qzcError.h"
#include "lib/qzcWarning.h"

#include <algorithm>
#include <vector>

namespace {

const char* const saveSignature =
    "bool qzmMedicalFrame::SaveAsBMP( const qzcFileName&, const qzmMedicalFrame::ConversionContext& )";
const char* const loadSignature = "bool qzmMedicalFrame::LoadAsBMP(const qzcFileName&)";

const unsigned TableEntries = 256;

// Entries of blue, green, red and a zero byte.
std::vector<UBYTE> GreyRamp(bool descending) {
  std::vector<UBYTE> table(4 * TableEntries, 0);
  for (unsigned k = 0; k < TableEntries; ++k) {
    const UBYTE level = UBYTE(descending ? 255 - k : k);
    std::fill_n(table.begin() + 4 * k, 3, level);
  }
  return table;
}

// The palette as table entries; entries past the palette stay zero.
std::vector<UBYTE> PaletteTable(const Palette& palette) {
  std::vector<UBYTE> table(4 * TableEntries, 0);
  for (std::size_t k = 0; k < palette.Entries(); ++k) {
    table[4 * k] = palette.blue[k];
    table[4 * k + 1] = palette.green[k];
    table[4 * k + 2] = palette.red[k];
  }
  return table;
}

// The colour table of an 8-bit file, empty for RGB; false when the palette
// is missing or short.
bool ColorTable(qzmMedicalFrame& frame, std::vector<UBYTE>& table) {
  const qzcString& interpretation = frame.Structure.PhotometricInterpretation;
  if (interpretation == "MONOCHROME1" || interpretation == "MONOCHROME2") {
    table = GreyRamp(interpretation == "MONOCHROME1");
  } else if (interpretation == "PALETTE COLOR") {
    if (!frame.HasClut) {
      qzcError(saveSignature, "missing clut data to build BMP clut!").Report();
      return false;
    }
    Palette palette;
    if (!LoadPalette(frame, TableEntries, palette, saveSignature))
      return false;
    table = PaletteTable(palette);
  }
  return true;
}

// The header for the frame's interpretation; false when BMP has none.
bool BuildHeader(const qzmMedicalFrame& frame, qzgBmp& header) {
  const qzcString& interpretation = frame.Structure.PhotometricInterpretation;
  if (interpretation == "MONOCHROME2" || interpretation == "MONOCHROME1" || interpretation == "PALETTE COLOR") {
    header.BitsPerPixel = 8;
    header.OffsetToData = qzgBmp::HeaderSize + qzgBmp::ColorTableSize;
  } else if (interpretation == "RGB") {
    // No colour table follows: a count would announce one, and readers
    // would take the first pixels for it.
    header.BitsPerPixel = 24;
    header.ColorsUsed = header.ColorsImportant = 0;
  } else {
    qzcWarning(saveSignature, "can not convert Photometric Interpretation %s to BMP format! (email me)",
               interpretation.c_str())
        .Report();
    return false;
  }
  header.Width = frame.Structure.Columns;
  header.Height = frame.Structure.Rows;
  return true;
}

// The bitmap's rows fit the frame's geometry and the file that holds them.
bool GeometryIsReadable(const qzgBmp& header, ifbstream& ifs) {
  if (header.Width == 0 || header.Height == 0 || header.Width > 0xFFFF || header.Height > 0xFFFF) {
    qzcError(loadSignature, "can not handle a bitmap of %lu x %lu pixels!", (unsigned long)header.Width,
             (unsigned long)header.Height)
        .Report();
    return false;
  }
  const std::uint64_t skip = header.OffsetToData >= qzgBmp::HeaderSize ? header.OffsetToData - qzgBmp::HeaderSize : 0;
  const std::uint64_t rows = std::uint64_t(header.PaddedRowLength()) * (header.Height - 1) + header.RowLength();
  if (header.OffsetToData < qzgBmp::HeaderSize || skip + rows > ifs.BytesLeft()) {
    qzcError(loadSignature, "bitmap data (%llu bytes at offset %lu) lie outside the file!", (unsigned long long)rows,
             (unsigned long)header.OffsetToData)
        .Report();
    return false;
  }
  return true;
}

}  // namespace

bool qzmMedicalFrame::SaveAsBMP(const qzcFileName& name, const ConversionContext& context) {
  if (!PixelsFitForWriting(*this, saveSignature) || !PrepareBgrImage(*this, context, saveSignature))
    return false;
  qzgBmp header;
  std::vector<UBYTE> table;
  if (!BuildHeader(*this, header) || !ColorTable(*this, table))
    return false;
  qzcDatedValue& image = header.BitsPerPixel == 24 ? ResampledBGR24 : Resampled8;
  const UBYTE* pixels = ImageBytes(image, std::uint64_t(header.RowLength()) * header.Height, saveSignature);
  if (!pixels)
    return false;
  ofbstream ofs;
  if (!OpenDestination(ofs, name, context.ToStandardOutput, saveSignature))
    return false;
  header.Write(ofs);
  ofs.WriteBlock(table.data(), ULONG(table.size()));
  header.WriteData(ofs, pixels);
  return CloseDestination(ofs, name, context, saveSignature);
}

bool qzmMedicalFrame::LoadAsBMP(const qzcFileName& name) {
  Reset();
  ifbstream ifs(name.c_str(), std::ios::in | std::ios::binary);
  if (ifs.fail()) {
    qzcError(loadSignature, "unable to open BMP file %s!", name.c_str()).Report();
    return false;
  }
  qzgBmp header;
  if (header.Read(ifs).fail()) {
    qzcError(loadSignature, "while reading BMP header of file %s!", name.c_str()).Report();
    return false;
  }
  if (header.BitsPerPixel != 8) {
    qzcError(loadSignature, "can not handle format %u <> 8 bits/pixel!", unsigned(header.BitsPerPixel)).Report();
    return false;
  }
  // Runs of a compressed file are no rows: reading them as such would make
  // an image (or a mask) of codes.
  if (header.Compression != qzgBmp::RGB) {
    qzcError(loadSignature, "can not handle compression %s of BMP file %s!", header.CompressionName(), name.c_str())
        .Report();
    return false;
  }
  if (!GeometryIsReadable(header, ifs))
    return false;
  ifs.ignore(header.OffsetToData - qzgBmp::HeaderSize);  // the colour table: indices are grey levels

  HasClut = false;
  HasPixelSpacing = false;
  Windowing.HasWindowing = false;
  Structure.PhotometricInterpretation = "MONOCHROME2";
  Structure.Rows = UWORD(header.Height);
  Structure.Columns = UWORD(header.Width);
  Structure.NumberOfPixels = Structure.NumberOfSamples = header.Width * header.Height;
  Structure.SamplesPerPixel = 1;
  Structure.PlanarConfiguration = 0;
  Structure.Sample.PixelRepresentation = 0;
  Structure.Sample.SetBitsAllocatedStoredHigh(8, 8, 7);

  qzcDataLocation<UBYTE>& location = Pixels.Value.OB();
  if (location.GetMode() != qzcDataLocation<UBYTE>::memory || !location.IsOwned() ||
      location.GetSize() != Structure.NumberOfPixels) {
    location.SetSize(Structure.NumberOfPixels);
    if (!location.AllocateMemory()) {
      qzcError(loadSignature, "unable to allocate memory for BMP data!").Report();
      return false;
    }
  }
  if (header.ReadData(ifs, location.GetMemoryLocation()).fail()) {
    qzcError(loadSignature, "unable to load BMP data!").Report();
    return false;
  }
  // Newer than every image derived from the pixels, and than the view of a
  // set's pixel data the frame may have held before.
  Pixels.Date = std::max(Pixels.Date, SourcePixels.Date) + 1;
  return true;
}
