// Throughput of the library-backed decoders (bytes of decoded samples per
// second) on one 512 x 512 CT slice of the generated series, compressed once
// by DCMTK or GDCM: JPEG baseline (after an 8-bit window), JPEG-LS lossless
// and near-lossless, JPEG 2000 lossless and lossy. Run from the build folder;
// a benchmark whose encoder or decoder is missing says so and is skipped.
#include "codecs/qzmCodecTable.h"
#include "lib/qzcException.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

struct Encoding {
  const char* Encoder;  // run as <Encoder> <slice> <result>
  const char* Syntax;
  UWORD BitsAllocated;  // of the result
  UWORD BitsStored;
};

// The compressed stream of the slice: the encoder's output with its Pixel
// Data fragments taken out by GDCM's gdcmraw (one frame, so one stream).
const std::vector<UBYTE>& Stream(const Encoding& encoding) {
  static std::map<std::string, std::vector<UBYTE>> streams;
  std::vector<UBYTE>& stream = streams[encoding.Encoder];
  if (!stream.empty())
    return stream;
  const std::string folder = std::string(P_tmpdir) + "/medconv-codec-bench";
  const std::string command = "mkdir -p " + folder + " && tools/mksamples --series 1 " + folder + " && cd " + folder +
                              " && " + encoding.Encoder + " slice001.dcm coded.dcm >/dev/null 2>&1" +
                              " && gdcmraw -i coded.dcm -o coded.raw -t 7fe0,0010 >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0)
    return stream;
  std::ifstream raw(folder + "/coded.raw", std::ios::binary);
  stream.assign(std::istreambuf_iterator<char>(raw), std::istreambuf_iterator<char>());
  return stream;
}

void BM_Decode(benchmark::State& state, Encoding encoding) {
  qzcException::errorChannel.limit = 65535;
  const qzmPixelDecoder* decoder = qzmCodecTable::DecoderFor(encoding.Syntax);
  const std::vector<UBYTE>& stream = Stream(encoding);
  if (!decoder || stream.empty()) {
    state.SkipWithError("no decoder in this build, or the encoder (DCMTK, GDCM) is missing");
    return;
  }
  qzmPixelLayout layout;
  layout.Rows = layout.Columns = 512;
  layout.BitsAllocated = encoding.BitsAllocated;
  layout.BitsStored = encoding.BitsStored;
  layout.PhotometricInterpretation = "MONOCHROME2";
  std::vector<UBYTE> out(std::size_t(layout.FrameBytes()));
  for (auto _ : state) {
    qzcString photometric = layout.PhotometricInterpretation;
    if (!decoder->Decode(stream.data(), ULONG(stream.size()), layout, out.data(), photometric)) {
      state.SkipWithError("the stream does not decode");
      return;
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(out.size()));
  state.counters["ratio"] = double(out.size()) / double(stream.size());
}

BENCHMARK_CAPTURE(BM_Decode, JpegBaseline8, Encoding{"dcmcjpeg +eb +Wm", "1.2.840.10008.1.2.4.50", 8, 8});
BENCHMARK_CAPTURE(BM_Decode, JpegLsLossless, Encoding{"dcmcjpls", "1.2.840.10008.1.2.4.80", 16, 12});
BENCHMARK_CAPTURE(BM_Decode, JpegLsNearLossless, Encoding{"dcmcjpls +en", "1.2.840.10008.1.2.4.81", 16, 12});
BENCHMARK_CAPTURE(BM_Decode, Jpeg2000Lossless, Encoding{"gdcmconv --j2k", "1.2.840.10008.1.2.4.90", 16, 12});
BENCHMARK_CAPTURE(BM_Decode, Jpeg2000Lossy, Encoding{"gdcmconv --j2k --lossy -q 40", "1.2.840.10008.1.2.4.91", 16, 12});

}  // namespace
