#include "codecs/qzmJpeg2000Decoder.h"

#include <openjpeg.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "lib/qzcError.h"
#include "lib/qzcWarning.h"

namespace {

const char* const Signature =
    "bool qzmJpeg2000Decoder::Decode( const UBYTE*, ULONG, const qzmPixelLayout&, UBYTE*, qzcString& ) const";

// The code stream in memory, read by OpenJPEG through the callbacks below.
struct MemorySource {
  const UBYTE* Data;
  OPJ_SIZE_T Size;
  OPJ_SIZE_T Position;
};

OPJ_SIZE_T ReadFromMemory(void* buffer, OPJ_SIZE_T count, void* user) {
  MemorySource* source = static_cast<MemorySource*>(user);
  const OPJ_SIZE_T left = source->Size - source->Position;
  if (left == 0)
    return OPJ_SIZE_T(-1);
  if (count > left)
    count = left;
  std::memcpy(buffer, source->Data + source->Position, count);
  source->Position += count;
  return count;
}

OPJ_BOOL SeekInMemory(OPJ_OFF_T offset, void* user) {
  MemorySource* source = static_cast<MemorySource*>(user);
  if (offset < 0 || OPJ_SIZE_T(offset) > source->Size)
    return OPJ_FALSE;
  source->Position = OPJ_SIZE_T(offset);
  return OPJ_TRUE;
}

OPJ_OFF_T SkipInMemory(OPJ_OFF_T count, void* user) {
  MemorySource* source = static_cast<MemorySource*>(user);
  const OPJ_OFF_T target = OPJ_OFF_T(source->Position) + count;
  if (target < 0 || OPJ_SIZE_T(target) > source->Size)
    return -1;
  source->Position = OPJ_SIZE_T(target);
  return count;
}

// OpenJPEG's messages end with a newline, which the reports add themselves.
std::string WithoutNewline(const char* message) {
  std::string text(message ? message : "");
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
    text.pop_back();
  return text;
}

// OpenJPEG may warn once per code block of a damaged stream, tens of
// thousands of times for one frame: past this many, a decode's messages are
// counted, not reported, so that one file cannot reach a channel's limit.
constexpr unsigned ShownLibraryMessages = 20;

void ReportLibraryWarning(const char* message, void* shown) {
  if (++*static_cast<unsigned*>(shown) <= ShownLibraryMessages)
    qzcWarning(Signature, "OpenJPEG: %s", WithoutNewline(message).c_str()).Report();
}

void ReportLibraryError(const char* message, void* shown) {
  if (++*static_cast<unsigned*>(shown) <= ShownLibraryMessages)
    qzcError(Signature, "OpenJPEG: %s", WithoutNewline(message).c_str()).Report();
}

struct CodecRelease {
  void operator()(opj_codec_t* codec) const { opj_destroy_codec(codec); }
};
struct StreamRelease {
  void operator()(opj_stream_t* stream) const { opj_stream_destroy(stream); }
};
struct ImageRelease {
  void operator()(opj_image_t* image) const { opj_image_destroy(image); }
};
typedef std::unique_ptr<opj_codec_t, CodecRelease> CodecHandle;
typedef std::unique_ptr<opj_stream_t, StreamRelease> StreamHandle;
typedef std::unique_ptr<opj_image_t, ImageRelease> ImageHandle;

// A JP2 file starts with its signature box; a bare code stream with SOC, SIZ.
bool IsJp2File(const UBYTE* data, ULONG size) {
  static const UBYTE signature[] = {0x00, 0x00, 0x00, 0x0C, 0x6A, 0x50, 0x20, 0x20, 0x0D, 0x0A, 0x87, 0x0A};
  return size >= sizeof signature && std::memcmp(data, signature, sizeof signature) == 0;
}

StreamHandle OpenMemoryStream(MemorySource& source) {
  StreamHandle stream(opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_TRUE));
  if (!stream)
    return stream;
  opj_stream_set_read_function(stream.get(), ReadFromMemory);
  opj_stream_set_seek_function(stream.get(), SeekInMemory);
  opj_stream_set_skip_function(stream.get(), SkipInMemory);
  opj_stream_set_user_data(stream.get(), &source, nullptr);
  opj_stream_set_user_data_length(stream.get(), source.Size);
  return stream;
}

// messages counts what the decoder reports, warnings and errors alike.
CodecHandle OpenDecoder(bool jp2, unsigned& messages) {
  CodecHandle codec(opj_create_decompress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
  if (!codec)
    return codec;
  opj_set_warning_handler(codec.get(), ReportLibraryWarning, &messages);
  opj_set_error_handler(codec.get(), ReportLibraryError, &messages);
  opj_dparameters_t parameters;
  opj_set_default_decoder_parameters(&parameters);
  if (!opj_setup_decoder(codec.get(), &parameters))
    codec.reset();
  return codec;
}

ULONG BigEndian32(const UBYTE* bytes) {
  return ULONG(bytes[0]) << 24 | ULONG(bytes[1]) << 16 | ULONG(bytes[2]) << 8 | bytes[3];
}

// The image size of the code stream's SIZ segment (right after its SOC
// marker, inside the JP2 boxes when wrapped), read before OpenJPEG sees the
// stream: OpenJPEG sets up every tile while reading the header, which takes
// seconds for a damaged size of millions of columns. True when there is no
// SIZ to read (OpenJPEG then reports) or when it agrees with the set.
bool SizeSegmentAgrees(const UBYTE* data, ULONG size, const qzmPixelLayout& layout) {
  static const UBYTE start[] = {0xFF, 0x4F, 0xFF, 0x51};
  const UBYTE* found = std::search(data, data + size, start, start + sizeof start);
  const size_t fields = 4 + 2 + 2 + 8 * 4 + 2;  // SOC, SIZ, Lsiz, Rsiz, 8 sizes and offsets, Csiz
  if (size_t(data + size - found) < fields)
    return true;
  const UBYTE* siz = found + 8;
  const ULONG columns = BigEndian32(siz) - BigEndian32(siz + 8), rows = BigEndian32(siz + 4) - BigEndian32(siz + 12);
  const unsigned components = unsigned(siz[32]) << 8 | siz[33];
  if (columns != layout.Columns || rows != layout.Rows || components != layout.SamplesPerPixel) {
    qzcError(Signature,
             "the stream is %lu x %lu (columns x rows) with %u components, the set announces %u x %u with %u samples "
             "per pixel!",
             (unsigned long)columns, (unsigned long)rows, components, unsigned(layout.Columns), unsigned(layout.Rows),
             unsigned(layout.SamplesPerPixel))
        .Report();
    return false;
  }
  return true;
}

// The image header must agree with the set before any sample is decoded: the
// size, the component count, every component full size and no deeper than
// the set's units.
bool AgreesWithLayout(const opj_image_t& image, const qzmPixelLayout& layout) {
  const OPJ_UINT32 columns = image.x1 - image.x0, rows = image.y1 - image.y0;
  if (image.x1 < image.x0 || image.y1 < image.y0 || columns != layout.Columns || rows != layout.Rows) {
    qzcError(Signature, "the stream is %u x %u (columns x rows), the set announces %u x %u!", columns, rows,
             unsigned(layout.Columns), unsigned(layout.Rows))
        .Report();
    return false;
  }
  if (image.numcomps != layout.SamplesPerPixel || !image.comps) {
    qzcError(Signature, "the stream has %u components, the set announces %u samples per pixel!", image.numcomps,
             unsigned(layout.SamplesPerPixel))
        .Report();
    return false;
  }
  for (OPJ_UINT32 c = 0; c < image.numcomps; ++c) {
    const opj_image_comp_t& component = image.comps[c];
    if (component.dx != 1 || component.dy != 1) {
      qzcError(Signature, "component %u of the stream is subsampled (%u x %u), which a set cannot hold!", c,
               component.dx, component.dy)
          .Report();
      return false;
    }
    if (component.prec == 0 || component.prec > layout.BitsAllocated) {
      qzcError(Signature, "component %u of the stream has %u-bit samples, the set announces %u bits allocated!", c,
               component.prec, unsigned(layout.BitsAllocated))
          .Report();
      return false;
    }
  }
  return true;
}

// After decoding, each component must hold a whole frame of samples.
bool ComponentsComplete(const opj_image_t& image, const qzmPixelLayout& layout) {
  for (OPJ_UINT32 c = 0; c < image.numcomps; ++c) {
    const opj_image_comp_t& component = image.comps[c];
    if (!component.data || component.w != layout.Columns || component.h != layout.Rows) {
      qzcError(Signature, "component %u of the decoded stream is %u x %u, the set announces %u x %u!", c, component.w,
               component.h, unsigned(layout.Columns), unsigned(layout.Rows))
          .Report();
      return false;
    }
  }
  return true;
}

// OpenJPEG gives each component as a plane of 32-bit values, signed ones
// sign-extended; they are interleaved into the set's units, signed ones in
// two's complement.
template <typename Unit>
void Interleave(const opj_image_t& image, size_t pixels, UBYTE* out) {
  Unit* units = reinterpret_cast<Unit*>(out);
  const size_t components = image.numcomps;
  for (size_t c = 0; c < components; ++c) {
    const OPJ_INT32* plane = image.comps[c].data;
    for (size_t pixel = 0; pixel < pixels; ++pixel)
      units[pixel * components + c] = Unit(plane[pixel]);
  }
}

void StoreSamples(const opj_image_t& image, const qzmPixelLayout& layout, UBYTE* out) {
  const size_t pixels = size_t(layout.Rows) * layout.Columns;
  if (layout.BitsAllocated == 8)
    Interleave<UBYTE>(image, pixels, out);
  else if (layout.BitsAllocated == 16)
    Interleave<UWORD>(image, pixels, out);
  else
    Interleave<ULONG>(image, pixels, out);
}

}  // namespace

bool qzmJpeg2000Decoder::Decode(const UBYTE* data, ULONG size, const qzmPixelLayout& layout, UBYTE* out,
                                qzcString& photometric) const {
  if (layout.BitsAllocated != 8 && layout.BitsAllocated != 16 && layout.BitsAllocated != 32) {
    qzcError(Signature, "%u bits allocated cannot hold JPEG 2000 samples!", unsigned(layout.BitsAllocated)).Report();
    return false;
  }
  if (!SizeSegmentAgrees(data, size, layout))
    return false;
  MemorySource source = {data, size, 0};
  StreamHandle stream = OpenMemoryStream(source);
  unsigned messages = 0;
  CodecHandle codec = OpenDecoder(IsJp2File(data, size), messages);
  const struct Unshown {
    const unsigned& messages;
    ~Unshown() {
      if (messages > ShownLibraryMessages)
        qzcWarning(Signature, "OpenJPEG: %u more messages not shown", messages - ShownLibraryMessages).Report();
    }
  } unshown{messages};
  if (!stream || !codec) {
    qzcError(Signature, "unable to set up an OpenJPEG decoder!").Report();
    return false;
  }
  opj_image_t* header = nullptr;
  const bool headerRead = opj_read_header(stream.get(), codec.get(), &header);
  ImageHandle image(header);
  if (!headerRead || !image) {
    qzcError(Signature, "unable to read the header of the JPEG 2000 stream!").Report();
    return false;
  }
  if (!AgreesWithLayout(*image, layout))
    return false;
  if (!opj_decode(codec.get(), stream.get(), image.get()) || !opj_end_decompress(codec.get(), stream.get())) {
    qzcError(Signature, "unable to decode the JPEG 2000 stream!").Report();
    return false;
  }
  if (!ComponentsComplete(*image, layout))
    return false;
  StoreSamples(*image, layout, out);
  // The stream's inverse component transform has already given RGB samples.
  if (photometric == "YBR_RCT" || photometric == "YBR_ICT")
    photometric = "RGB";
  return true;
}
