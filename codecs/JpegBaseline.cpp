#include "codecs/qzmJpegBaselineDecoder.h"

#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE declared first
#include <cstring>

#include <jerror.h>
#include <jpeglib.h>

#include "codecs/qzmJpegExtended12Decoder.h"
#include "lib/qzcError.h"

namespace {

const char* const Signature =
    "bool qzmJpegBaselineDecoder::Decode( const UBYTE*, ULONG, const qzmPixelLayout&, UBYTE*, qzcString& ) const";

// libjpeg reports a fatal error by calling error_exit, which must not return.
// It jumps back to the setjmp of RunDecompression, which has no C++ object
// with a destructor alive between the two, and the message is kept for the
// report made once back in C++.
struct ErrorManager {
  jpeg_error_mgr Base;
  std::jmp_buf Return;
  char Message[JMSG_LENGTH_MAX];
  int Precision;   // of the frame header, when the error came after it
  bool Truncated;  // the data ended before the image did
};

void KeepMessageAndReturn(j_common_ptr info) {
  ErrorManager* manager = reinterpret_cast<ErrorManager*>(info->err);
  info->err->format_message(info, manager->Message);
  manager->Precision = reinterpret_cast<j_decompress_ptr>(info)->data_precision;
  std::longjmp(manager->Return, 1);
}

// Warnings mark damage the library works around (stray bytes between
// markers, common in archived files, are skipped), except a stream that ends
// early: libjpeg would fill the rest of the image with grey, which is refused.
void KeepTruncation(j_common_ptr info, int level) {
  ErrorManager* manager = reinterpret_cast<ErrorManager*>(info->err);
  if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF && !manager->Truncated) {
    manager->Truncated = true;
    info->err->format_message(info, manager->Message);
  }
}

bool IsYbr(const qzcString& photometric) {
  return photometric.compare(0, 4, "YBR_") == 0;
}

// What the header must agree with before any sample is decoded; the text of
// the disagreement goes into problem.
bool AgreesWithLayout(const jpeg_decompress_struct& info, const qzmPixelLayout& layout, char* problem, size_t size) {
  if (info.image_width != layout.Columns || info.image_height != layout.Rows) {
    std::snprintf(problem, size, "the stream is %u x %u (columns x rows), the set announces %u x %u!", info.image_width,
                  info.image_height, unsigned(layout.Columns), unsigned(layout.Rows));
    return false;
  }
  if (info.num_components != layout.SamplesPerPixel || (layout.SamplesPerPixel != 1 && layout.SamplesPerPixel != 3)) {
    std::snprintf(problem, size, "the stream has %d components, the set announces %u samples per pixel!",
                  info.num_components, unsigned(layout.SamplesPerPixel));
    return false;
  }
  if (layout.BitsAllocated != 8 && layout.BitsAllocated != 16) {
    std::snprintf(problem, size, "the stream has 8-bit samples, the set announces %u bits allocated!",
                  unsigned(layout.BitsAllocated));
    return false;
  }
  return true;
}

// A JFIF marker, or an Adobe marker with transform 1, says the components are
// YCbCr whatever their names.
bool StreamDeclaresYCbCr(const jpeg_decompress_struct& info) {
  return info.saw_JFIF_marker || (info.saw_Adobe_marker && info.Adobe_transform == 1);
}

// Colour: data the set calls YBR are converted to RGB whatever the stream's
// markers say; data it calls RGB are not transformed unless the stream
// declares YCbCr (as DCMTK and GDCM read them: components 1, 2, 3 without
// markers, which libjpeg alone would take as YCbCr, are RGB there). Other
// three-component data follow libjpeg's reading of the stream.
void ChooseColourSpaces(jpeg_decompress_struct& info, const qzcString& photometric) {
  if (info.num_components != 3) {
    info.out_color_space = JCS_GRAYSCALE;
    return;
  }
  if (IsYbr(photometric))
    info.jpeg_color_space = JCS_YCbCr;
  else if (photometric == "RGB" && !StreamDeclaresYCbCr(info))
    info.jpeg_color_space = JCS_RGB;
  info.out_color_space = JCS_RGB;
}

// Copies one decoded row of 8-bit samples into the frame's units.
void StoreRow(const JSAMPLE* row, size_t count, unsigned bytesPerSample, UBYTE* out) {
  if (bytesPerSample == 1) {
    std::memcpy(out, row, count);
    return;
  }
  UWORD* words = reinterpret_cast<UWORD*>(out);
  for (size_t k = 0; k < count; ++k)
    words[k] = row[k];
}

enum Outcome { Decoded, Refused, Failed, Precision12 };

// The whole libjpeg session. Only plain C data live in this function, so the
// long jump of an error leaves nothing unreleased but the decompressor, which
// is destroyed on every path.
Outcome RunDecompression(const UBYTE* data, ULONG size, const qzmPixelLayout& layout, UBYTE* out,
                         qzcString& photometric, char* message, size_t messageSize) {
  jpeg_decompress_struct info;
  ErrorManager errors;
  info.err = jpeg_std_error(&errors.Base);
  errors.Base.error_exit = KeepMessageAndReturn;
  errors.Base.emit_message = KeepTruncation;
  errors.Message[0] = '\0';
  errors.Precision = 0;
  errors.Truncated = false;
  // volatile: read after the long jump, changed after the setjmp.
  volatile bool created = false;
  if (setjmp(errors.Return)) {
    const bool precision12 = errors.Base.msg_code == JERR_BAD_PRECISION && errors.Precision == 12;
    std::snprintf(message, messageSize, "libjpeg: %s", errors.Message);
    if (created)
      jpeg_destroy_decompress(&info);
    return precision12 ? Precision12 : Failed;
  }
  jpeg_create_decompress(&info);
  created = true;
  jpeg_mem_src(&info, data, size);
  jpeg_read_header(&info, TRUE);
  if (!AgreesWithLayout(info, layout, message, messageSize)) {
    jpeg_destroy_decompress(&info);
    return Refused;
  }
  ChooseColourSpaces(info, photometric);
  jpeg_start_decompress(&info);
  const size_t rowSamples = size_t(info.output_width) * info.output_components;
  const size_t rowBytes = rowSamples * layout.BytesPerSample();
  JSAMPARRAY row = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE, rowSamples, 1);
  while (info.output_scanline < info.output_height) {
    UBYTE* target = out + size_t(info.output_scanline) * rowBytes;
    if (jpeg_read_scanlines(&info, row, 1) != 1)
      break;
    StoreRow(row[0], rowSamples, layout.BytesPerSample(), target);
  }
  const bool converted = info.num_components == 3 && info.jpeg_color_space == JCS_YCbCr;
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  if (errors.Truncated) {
    std::snprintf(message, messageSize, "libjpeg: %s", errors.Message);
    return Failed;
  }
  if (converted)
    photometric = "RGB";
  return Decoded;
}

}  // namespace

bool qzmJpegBaselineDecoder::Decode(const UBYTE* data, ULONG size, const qzmPixelLayout& layout, UBYTE* out,
                                    qzcString& photometric) const {
  char message[JMSG_LENGTH_MAX + 128];
  switch (RunDecompression(data, size, layout, out, photometric, message, sizeof message)) {
    case Decoded:
      return true;
    case Precision12:
      return qzmJpegExtended12Decoder().Decode(data, size, layout, out, photometric);
    case Refused:
    case Failed:
      break;
  }
  qzcError(Signature, "%s", message).Report();
  return false;
}
