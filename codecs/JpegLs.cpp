#include "codecs/qzmJpegLsDecoder.h"

#include <charls/charls.h>

#include <cstring>
#include <memory>
#include <vector>

#include "lib/qzcError.h"

namespace {

const char* const Signature =
    "bool qzmJpegLsDecoder::Decode( const UBYTE*, ULONG, const qzmPixelLayout&, UBYTE*, qzcString& ) const";

struct DecoderRelease {
  void operator()(charls_jpegls_decoder* decoder) const { charls_jpegls_decoder_destroy(decoder); }
};
typedef std::unique_ptr<charls_jpegls_decoder, DecoderRelease> DecoderHandle;

bool Failed(charls_jpegls_errc code) {
  return code != charls::jpegls_errc::success;
}

bool ReportCharls(charls_jpegls_errc code) {
  qzcError(Signature, "CharLS: %s!", charls_get_error_message(code)).Report();
  return false;
}

// The frame header must agree with the set before any sample is decoded.
bool AgreesWithLayout(const charls_frame_info& frame, const qzmPixelLayout& layout) {
  if (frame.width != layout.Columns || frame.height != layout.Rows) {
    qzcError(Signature, "the stream is %u x %u (columns x rows), the set announces %u x %u!", frame.width, frame.height,
             unsigned(layout.Columns), unsigned(layout.Rows))
        .Report();
    return false;
  }
  if (frame.component_count != layout.SamplesPerPixel || frame.component_count > 3) {
    qzcError(Signature, "the stream has %d components, the set announces %u samples per pixel!", frame.component_count,
             unsigned(layout.SamplesPerPixel))
        .Report();
    return false;
  }
  if (frame.bits_per_sample > layout.BitsAllocated || layout.BitsAllocated > 16) {
    qzcError(Signature, "the stream has %d-bit samples, the set announces %u bits allocated!", frame.bits_per_sample,
             unsigned(layout.BitsAllocated))
        .Report();
    return false;
  }
  return true;
}

// CharLS writes 8-bit samples in bytes and deeper ones in 16-bit words, a
// stream without interleave colour-by-plane and the others colour-by-pixel.
unsigned DecodedBytesPerSample(const charls_frame_info& frame) {
  return frame.bits_per_sample <= 8 ? 1 : 2;
}

unsigned SampleAt(const UBYTE* decoded, size_t index, unsigned bytes) {
  if (bytes == 1)
    return decoded[index];
  UWORD word;
  std::memcpy(&word, decoded + 2 * index, 2);
  return word;
}

// Rearranges what CharLS wrote into the frame's units, colour-by-pixel.
void StoreSamples(const std::vector<UBYTE>& decoded, const charls_frame_info& frame, bool planar,
                  const qzmPixelLayout& layout, UBYTE* out) {
  const size_t pixels = size_t(frame.width) * frame.height;
  const unsigned components = unsigned(frame.component_count);
  const unsigned bytes = DecodedBytesPerSample(frame);
  for (size_t pixel = 0; pixel < pixels; ++pixel)
    for (unsigned c = 0; c < components; ++c) {
      const unsigned value = SampleAt(decoded.data(), planar ? c * pixels + pixel : pixel * components + c, bytes);
      const size_t target = pixel * components + c;
      if (layout.BitsAllocated == 8)
        out[target] = UBYTE(value);
      else
        reinterpret_cast<UWORD*>(out)[target] = UWORD(value);
    }
}

// CharLS takes many seconds over a scan that runs out of data without
// meeting a marker, so a stream cut short gets an end-of-image marker added
// (to a copy): it then fails at once. Zero bytes padding the stream to an
// even length may follow its end-of-image marker.
bool EndsWithEndOfImage(const UBYTE* data, ULONG size) {
  while (size > 0 && data[size - 1] == 0)
    --size;
  return size >= 2 && data[size - 2] == 0xFF && data[size - 1] == 0xD9;
}

}  // namespace

bool qzmJpegLsDecoder::Decode(const UBYTE* data, ULONG size, const qzmPixelLayout& layout, UBYTE* out,
                              qzcString&) const {
  DecoderHandle decoder(charls_jpegls_decoder_create());
  if (!decoder) {
    qzcError(Signature, "unable to create a CharLS decoder!").Report();
    return false;
  }
  std::vector<UBYTE> ended;
  if (!EndsWithEndOfImage(data, size)) {
    ended.assign(data, data + size);
    ended.push_back(0xFF);
    ended.push_back(0xD9);
    data = ended.data();
    size = ULONG(ended.size());
  }
  charls_jpegls_errc code = charls_jpegls_decoder_set_source_buffer(decoder.get(), data, size);
  if (!Failed(code))
    code = charls_jpegls_decoder_read_header(decoder.get());
  charls_frame_info frame{};
  if (!Failed(code))
    code = charls_jpegls_decoder_get_frame_info(decoder.get(), &frame);
  charls_interleave_mode interleave = charls::interleave_mode::none;
  if (!Failed(code))
    code = charls_jpegls_decoder_get_interleave_mode(decoder.get(), &interleave);
  if (Failed(code))
    return ReportCharls(code);
  if (!AgreesWithLayout(frame, layout))
    return false;

  const bool planar = frame.component_count > 1 && interleave == charls::interleave_mode::none;
  const bool direct = !planar && DecodedBytesPerSample(frame) == layout.BytesPerSample();
  if (direct)
    code = charls_jpegls_decoder_decode_to_buffer(decoder.get(), out, size_t(layout.FrameBytes()), 0);
  else {
    std::vector<UBYTE> decoded(size_t(layout.NumberOfSamples()) * DecodedBytesPerSample(frame));
    code = charls_jpegls_decoder_decode_to_buffer(decoder.get(), decoded.data(), decoded.size(), 0);
    if (!Failed(code))
      StoreSamples(decoded, frame, planar, layout, out);
  }
  return Failed(code) ? ReportCharls(code) : true;
}
