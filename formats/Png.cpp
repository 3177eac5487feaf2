// Frames written as PNG images through libpng: grey, palette or RGB, 8 or 16
// bits per sample, Adam7-interlaced, with the significant bits, the pixel
// size, a "Software" text and, on request, one text per data element.
#include "formats/ImageWriting.h"
#include "frame/qzmMedicalFrame.h"

#include "dicom/qzmDicomDataElementDictionary.h"
#include "dicom/qzmDicomDataElementSet.h"
#include "lib/qzcError.h"
#include "lib/qzcProgramVersion.h"

#include <png.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char* const saveSignature =
    "bool qzmMedicalFrame::SaveAsPNG( const qzcFileName&, const qzmMedicalFrame::ConversionContext&, const "
    "qzmDicomDataElementSet* )";

const char* const SoftwareKeyword = "Software";
const char* const SoftwareText = QZC_PROGRAM_NAME " " QZC_PROGRAM_VERSION;

// Everything libpng is given, prepared before it is called: libpng leaves
// the writing function by longjmp, past any destructor.
struct PngImage {
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int bitDepth = 8;
  int colorType = PNG_COLOR_TYPE_GRAY;
  std::vector<png_bytep> rows;
  std::vector<png_color> palette;
  bool hasSignificantBits = false;
  png_color_8 significantBits = {};
  bool hasPhysicalSize = false;
  png_uint_32 xPixelsPerMetre = 0;
  png_uint_32 yPixelsPerMetre = 0;
  int compressionLevel = -1;  // -1: the library's default
  bool filtered = true;
  // The element chunks: keyword and text strings, and the records that
  // point at them.
  std::vector<std::string> keywords;
  std::vector<std::string> texts;
  std::vector<png_text> elementChunks;
};

// The 8- or 16-bit image of the frame, inverted for MONOCHROME1; null
// (reported) when it cannot be made.
qzcDatedValue* PrepareImage(qzmMedicalFrame& frame, const qzmMedicalFrame::ConversionContext& context, int bitDepth) {
  const struct qzmMedicalFrame::Structure& structure = frame.Structure;
  const unsigned stored = structure.Sample.BitsStored;
  const bool inverted = structure.PhotometricInterpretation == "MONOCHROME1";
  if (structure.SamplesPerPixel > 1) {
    if (structure.PhotometricInterpretation != "RGB") {
      qzcError(saveSignature, "can not convert Photometric Interpretation %s to PNG format! (email me)",
               structure.PhotometricInterpretation.c_str())
          .Report();
      return nullptr;
    }
    if (bitDepth == 8 ? frame.GetResampledToRGB24(frame.ResampledRGB24)
                      : frame.GetResampledToRGB48(frame.ResampledRGB48))
      return bitDepth == 8 ? &frame.ResampledRGB24 : &frame.ResampledRGB48;
    qzcError(saveSignature, bitDepth == 8 ? "unable to reorganize from RGB to RGB 24 bits!"
                                          : "unable to reorganize from RGB to RGB 48 bits!")
        .Report();
    return nullptr;
  }
  if (bitDepth == 8) {
    if (!frame.GetResampledTo8(frame.Resampled8, context.ApplyWindowing, context.ReSamplingMethod)) {
      qzcError(saveSignature, "unable to reorganize from %u bit to 8 bits!", stored).Report();
      return nullptr;
    }
    if (!inverted)
      return &frame.Resampled8;
    if (frame.GetInverted8(frame.Resampled8, frame.Inverted8))
      return &frame.Inverted8;
    qzcError(saveSignature, "unable to invert 8-bits frame!").Report();
    return nullptr;
  }
  if (!frame.GetResampledTo16(frame.Resampled16, context.ApplyWindowing, context.ReSamplingMethod)) {
    qzcError(saveSignature, "unable to reorganize from %u bit to 16 bits!", stored).Report();
    return nullptr;
  }
  if (!inverted)
    return &frame.Resampled16;
  if (frame.GetInverted16(frame.Resampled16, frame.Inverted16))
    return &frame.Inverted16;
  qzcError(saveSignature, "unable to invert 16-bits frame!").Report();
  return nullptr;
}

bool SetRows(qzmMedicalFrame& frame, qzcDatedValue& buffer, PngImage& image) {
  const std::size_t rowLength = std::size_t(image.width) * frame.Structure.SamplesPerPixel * (image.bitDepth / 8);
  const UBYTE* pixels = ImageBytes(buffer, std::uint64_t(rowLength) * image.height, saveSignature);
  if (!pixels)
    return false;
  image.rows.resize(image.height);
  for (png_uint_32 r = 0; r < image.height; ++r)
    image.rows[r] = const_cast<png_bytep>(pixels + r * rowLength);
  return true;
}

bool SetPalette(qzmMedicalFrame& frame, PngImage& image) {
  if (!frame.HasClut) {
    qzcError(saveSignature, "missing clut data to build png clut!").Report();
    return false;
  }
  Palette palette;
  if (!LoadPalette(frame, PNG_MAX_PALETTE_LENGTH, palette, saveSignature))
    return false;
  for (std::size_t k = 0; k < palette.Entries(); ++k)
    image.palette.push_back(png_color{palette.red[k], palette.green[k], palette.blue[k]});
  return true;
}

// Grey and RGB images say how many of their bits are significant; palette
// images, whose entries are whole bytes, say nothing.
void SetSignificantBits(const qzmMedicalFrame& frame, PngImage& image) {
  const unsigned stored = frame.Structure.Sample.BitsStored;
  if (image.colorType == PNG_COLOR_TYPE_PALETTE || stored == 0 || stored >= unsigned(image.bitDepth))
    return;
  image.hasSignificantBits = true;
  image.significantBits.gray = png_byte(stored);
  image.significantBits.red = image.significantBits.green = image.significantBits.blue = png_byte(stored);
}

// Pixels per metre from a spacing in millimetres; false for spacings that
// give no usable count.
bool PixelsPerMetre(float spacing, png_uint_32& count) {
  const double perMetre = 1000.0 / spacing;
  if (!(spacing > 0.0f) || !(perMetre >= 1.0) || perMetre > double(PNG_UINT_31_MAX))
    return false;
  count = png_uint_32(perMetre);
  return true;
}

void SetPhysicalSize(const qzmMedicalFrame& frame, PngImage& image) {
  image.hasPhysicalSize = frame.HasPixelSpacing && PixelsPerMetre(frame.PixelSpacing[1], image.xPixelsPerMetre) &&
                          PixelsPerMetre(frame.PixelSpacing[0], image.yPixelsPerMetre);
}

bool SetCompression(const qzmMedicalFrame::ConversionContext& context, PngImage& image) {
  switch (context.Compression) {
    case qzmMedicalFrame::CompressionLevel::no:
      image.filtered = false;
      image.compressionLevel = 0;
      return true;
    case qzmMedicalFrame::CompressionLevel::standard:
      return true;
    case qzmMedicalFrame::CompressionLevel::fast:
      image.compressionLevel = 1;
      return true;
    case qzmMedicalFrame::CompressionLevel::best:
      image.compressionLevel = 9;
      return true;
  }
  qzcError(saveSignature, "unknown compression method %u!", unsigned(context.Compression)).Report();
  return false;
}

// The dictionary that names the elements, loaded on first need as for the
// text dump; null when there is none.
const qzmDicomDataElementDictionary* NamingDictionary() {
  if (!qzmDicomDataElementSet::GetDictionary()) {
    qzmDicomDataElementDictionary& dictionary = qzmDicomDataElementDictionary::ProcessWide();
    if (dictionary.AutoLoad())
      qzmDicomDataElementSet::SetDictionary(&dictionary);
  }
  const qzmDicomDataElementDictionary* dictionary = qzmDicomDataElementSet::GetDictionary();
  return dictionary && !dictionary->empty() ? dictionary : nullptr;
}

// One text per element, named by the dictionary or by the tag, its text as
// the value prints.
void SetElementChunks(const qzmDicomDataElementSet& set, PngImage& image) {
  const qzmDicomDataElementDictionary* dictionary = NamingDictionary();
  for (const auto& element : set) {
    const auto entry = dictionary ? dictionary->find(element.first) : qzmDicomDataElementDictionary::const_iterator();
    std::ostringstream keyword, text;
    if (dictionary && entry != dictionary->end())
      keyword << entry->second.name;
    else
      keyword << element.first;
    element.second.Print(text);
    image.keywords.push_back(keyword.str());
    image.texts.push_back(text.str());
  }
  image.elementChunks.resize(image.keywords.size());
  for (std::size_t i = 0; i < image.keywords.size(); ++i) {
    png_text& chunk = image.elementChunks[i];
    chunk.compression = PNG_TEXT_COMPRESSION_NONE;
    chunk.key = &image.keywords[i][0];
    chunk.text = &image.texts[i][0];
    chunk.text_length = image.texts[i].size();
  }
}

// The libpng calls, in the order the file takes them. No object with a
// destructor may live here: a libpng error returns through setjmp.
// The image through libpng, to the destination already given to png.
bool WriteThroughLibpng(png_structp png, png_infop info, PngImage& image) {
  if (setjmp(png_jmpbuf(png)))
    return false;
  if (!image.filtered)  // libpng 1.6 takes an empty filter set (0) for its default set
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  if (image.compressionLevel >= 0)
    png_set_compression_level(png, image.compressionLevel);
  png_set_IHDR(png, info, image.width, image.height, image.bitDepth, image.colorType, PNG_INTERLACE_ADAM7,
               PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
  if (image.colorType == PNG_COLOR_TYPE_PALETTE)
    png_set_PLTE(png, info, image.palette.data(), int(image.palette.size()));
  if (image.hasSignificantBits)
    png_set_sBIT(png, info, &image.significantBits);
  png_text software = {};
  software.compression = PNG_TEXT_COMPRESSION_NONE;
  software.key = const_cast<png_charp>(SoftwareKeyword);
  software.text = const_cast<png_charp>(SoftwareText);
  software.text_length = std::strlen(SoftwareText);
  png_set_text(png, info, &software, 1);
  if (image.hasPhysicalSize)
    png_set_pHYs(png, info, image.xPixelsPerMetre, image.yPixelsPerMetre, PNG_RESOLUTION_METER);
  png_write_info(png, info);
  if (image.bitDepth == 16)
    png_set_swap(png);  // the buffers hold 16-bit samples least significant byte first
  png_write_image(png, image.rows.data());
  if (!image.elementChunks.empty())
    png_set_text(png, info, image.elementChunks.data(), int(image.elementChunks.size()));
  png_write_end(png, info);
  return true;
}

// Opens the file and hands the image to libpng; reports every failure.
// libpng's output into a C++ stream: standard output, or the text a worker
// gathers for it.
void WriteToStream(png_structp png, png_bytep data, png_size_t length) {
  std::ostream& os = *static_cast<std::ostream*>(png_get_io_ptr(png));
  if (!os.write(reinterpret_cast<const char*>(data), std::streamsize(length)))
    png_error(png, "write error");
}

void FlushStream(png_structp png) {
  static_cast<std::ostream*>(png_get_io_ptr(png))->flush();
}

bool WritePng(const qzcFileName& name, PngImage& image, bool toStandardOutput) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) {
    qzcError(saveSignature, "unable to create png_struct!").Report();
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    qzcError(saveSignature, "unable to create png image information data!").Report();
    return false;
  }
  FILE* file = toStandardOutput ? nullptr : std::fopen(name.c_str(), "wb");
  if (!toStandardOutput && !file) {
    png_destroy_write_struct(&png, &info);
    qzcError(saveSignature, "unable to open destination file %s!", name.c_str()).Report();
    return false;
  }
  if (file)
    png_init_io(png, file);
  else
    png_set_write_fn(png, qzcException::dataChannel.stream, WriteToStream, FlushStream);
  const bool written = WriteThroughLibpng(png, info, image);
  const bool closed = file ? std::fclose(file) == 0 : !qzcException::dataChannel.stream->fail();
  png_destroy_write_struct(&png, &info);
  if (!written) {
    qzcError(saveSignature, "unable to set png error handling behaviour!").Report();
    return false;
  }
  if (!closed) {
    qzcError(saveSignature, "unable to write to destination file %s!", DestinationName(name, toStandardOutput))
        .Report();
    return false;
  }
  return true;
}

}  // namespace

bool qzmMedicalFrame::SaveAsPNG(const qzcFileName& name, const ConversionContext& context,
                                const qzmDicomDataElementSet* set) {
  if (!PixelsFitForWriting(*this, saveSignature))
    return false;
  PngImage image;
  image.width = Structure.Columns;
  image.height = Structure.Rows;
  image.bitDepth = Structure.Sample.BitsStored <= 8 ? 8 : 16;
  qzcDatedValue* buffer = PrepareImage(*this, context, image.bitDepth);
  if (!buffer || !SetRows(*this, *buffer, image))
    return false;
  if (Structure.SamplesPerPixel > 1)
    image.colorType = PNG_COLOR_TYPE_RGB;
  else if (Structure.PhotometricInterpretation == "PALETTE COLOR")
    image.colorType = PNG_COLOR_TYPE_PALETTE;
  if (image.colorType == PNG_COLOR_TYPE_PALETTE && !SetPalette(*this, image))
    return false;
  SetSignificantBits(*this, image);
  SetPhysicalSize(*this, image);
  if (!SetCompression(context, image))
    return false;
  if (set)
    SetElementChunks(*set, image);
  return WritePng(name, image, context.ToStandardOutput);
}
