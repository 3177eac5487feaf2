// Throughput of the in-house JPEG decoders on a 512 x 512 CT slice of 12
// stored bits with scanner-like noise, encoded by DCMTK's dcmcjpeg in the
// benchmark's setup: lossless with first-order prediction (SV1), and 12-bit
// extended DCT. Bytes processed count decoded bytes (MB/s of output).
#include "codecs/qzmJpegExtended12Decoder.h"
#include "codecs/qzmJpegLosslessDecoder.h"
#include "tools/bench/BenchSupport.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const std::uint16_t Side = 512;

// A water disc in air, HU + 1024 in 12 bits, with noise of about 20 HU.
std::string NoisySliceFile() {
  const std::string name = std::string(P_tmpdir) + "/medconv-jpeg-bench.dcm";
  samplewriter::SampleSet slice(samplewriter::ExplicitLittle);
  slice.Text(0x0008, 0x0016, "UI", "1.2.840.10008.5.1.4.1.1.2");
  slice.Text(0x0008, 0x0018, "UI", "1.2.826.0.1.3680043.9.7777.2.99");
  slice.Text(0x0008, 0x0060, "CS", "CT");
  slice.Text(0x0028, 0x0004, "CS", "MONOCHROME2");
  for (std::uint16_t element : {0x0010, 0x0011})
    slice.UnsignedShort(0x0028, element, Side);
  slice.UnsignedShort(0x0028, 0x0002, 1);
  slice.UnsignedShort(0x0028, 0x0100, 16);
  slice.UnsignedShort(0x0028, 0x0101, 12);
  slice.UnsignedShort(0x0028, 0x0102, 11);
  slice.UnsignedShort(0x0028, 0x0103, 0);
  std::vector<std::uint16_t> pixels;
  unsigned noise = 1;
  for (int y = 0; y < Side; ++y)
    for (int x = 0; x < Side; ++x) {
      int sum = 0;  // roughly normal: the sum of four uniform numbers
      for (int k = 0; k < 4; ++k) {
        noise = noise * 1103515245u + 12345u;
        sum += int((noise >> 16) % 21) - 10;
      }
      const bool inside = std::hypot(x - Side / 2, y - Side / 2) < 200;
      pixels.push_back(std::uint16_t((inside ? 1064 : 24) + sum));
    }
  slice.Words(0x7FE0, 0x0010, pixels);
  slice.Save(name);
  return name;
}

// The code stream of a one-frame file that dcmcjpeg encoded with options;
// empty when DCMTK is missing.
std::vector<UBYTE> EncodedStream(const std::string& options) {
  static const std::string source = NoisySliceFile();
  const std::string encoded = std::string(P_tmpdir) + "/medconv-jpeg-bench-encoded.dcm";
  const std::string command = "dcmcjpeg " + options + " '" + source + "' '" + encoded + "' 2>/dev/null";
  if (std::system(command.c_str()) != 0)
    return {};
  std::ifstream in(encoded, std::ios::binary);
  const std::vector<UBYTE> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The stream runs from its start-of-image marker to its end-of-image marker.
  std::size_t begin = 0, end = 0;
  for (std::size_t i = 0; i + 2 < file.size(); ++i)
    if (begin == 0 && file[i] == 0xFF && file[i + 1] == 0xD8 && file[i + 2] == 0xFF)
      begin = i;
    else if (begin != 0 && file[i] == 0xFF && file[i + 1] == 0xD9)
      end = i + 2;
  return begin != 0 && end > begin ? std::vector<UBYTE>(file.begin() + long(begin), file.begin() + long(end))
                                   : std::vector<UBYTE>();
}

void DecodeLoop(benchmark::State& state, const qzmPixelDecoder& decoder, const std::string& options) {
  benchsupport::QuietReports();
  const std::vector<UBYTE> stream = EncodedStream(options);
  if (stream.empty()) {
    state.SkipWithError("dcmcjpeg (DCMTK) is not installed");
    return;
  }
  qzmPixelLayout layout;
  layout.Rows = layout.Columns = Side;
  layout.BitsAllocated = 16;
  layout.BitsStored = 12;
  layout.PhotometricInterpretation = "MONOCHROME2";
  std::vector<UBYTE> out(layout.FrameBytes());
  for (auto _ : state) {
    qzcString photometric = layout.PhotometricInterpretation;
    if (!decoder.Decode(stream.data(), ULONG(stream.size()), layout, out.data(), photometric)) {
      state.SkipWithError("the stream did not decode");
      return;
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(out.size()));
  state.counters["stream_bits_per_pixel"] = 8.0 * double(stream.size()) / (double(Side) * Side);
}

void BM_JpegLosslessSv1Decode(benchmark::State& state) {
  const qzmJpegLosslessDecoder decoder;
  DecodeLoop(state, decoder, "+e1");
}
BENCHMARK(BM_JpegLosslessSv1Decode)->Unit(benchmark::kMillisecond);

void BM_JpegExtended12Decode(benchmark::State& state) {
  const qzmJpegExtended12Decoder decoder;
  DecodeLoop(state, decoder, "+ee");
}
BENCHMARK(BM_JpegExtended12Decode)->Unit(benchmark::kMillisecond);

}  // namespace
