// Throughput of the RLE decoder, in decoded bytes per second, on a
// 512 x 512 frame of 12-bit CT-like samples (smooth anatomy plus noise),
// encoded once before timing.
#include "codecs/qzmRleDecoder.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

const UWORD Side = 512;

std::vector<UWORD> CtLikeSamples() {
  std::vector<UWORD> samples(std::size_t(Side) * Side);
  std::mt19937 random(11);
  std::normal_distribution<double> noise(0, 12);
  for (UWORD y = 0; y < Side; ++y)
    for (UWORD x = 0; x < Side; ++x) {
      const double r = std::hypot(x - Side / 2.0, y - Side / 2.0);
      const double body = r < 200 ? 1040 + 60 * std::sin(x / 17.0) * std::cos(y / 23.0) : 0;
      samples[std::size_t(y) * Side + x] = UWORD(std::max(0.0, body + (body > 0 ? noise(random) : 0)));
    }
  return samples;
}

// PackBits of one byte plane: replicate runs of 3 or more, literals else.
void AppendPackBits(const std::vector<UBYTE>& plane, std::vector<UBYTE>& out) {
  std::size_t k = 0;
  while (k < plane.size()) {
    std::size_t run = 1;
    while (k + run < plane.size() && run < 128 && plane[k + run] == plane[k])
      ++run;
    if (run >= 3) {
      out.insert(out.end(), {UBYTE(257 - run), plane[k]});
      k += run;
      continue;
    }
    std::size_t literal = 0;
    while (k + literal < plane.size() && literal < 128 &&
           !(k + literal + 2 < plane.size() && plane[k + literal] == plane[k + literal + 1] &&
             plane[k + literal] == plane[k + literal + 2]))
      ++literal;
    out.push_back(UBYTE(literal - 1));
    out.insert(out.end(), plane.begin() + std::ptrdiff_t(k), plane.begin() + std::ptrdiff_t(k + literal));
    k += literal;
  }
  if (out.size() % 2)
    out.push_back(0x80);
}

void Put32(std::vector<UBYTE>& out, std::size_t at, ULONG value) {
  for (int b = 0; b < 4; ++b)
    out[at + b] = UBYTE(value >> (8 * b));
}

std::vector<UBYTE> RleFrame(const std::vector<UWORD>& samples) {
  std::vector<UBYTE> out(64, 0);
  Put32(out, 0, 2);
  for (int significance = 0; significance < 2; ++significance) {
    Put32(out, 4 * (significance + 1), ULONG(out.size()));
    std::vector<UBYTE> plane(samples.size());
    for (std::size_t k = 0; k < samples.size(); ++k)
      plane[k] = UBYTE(significance == 0 ? samples[k] >> 8 : samples[k]);
    AppendPackBits(plane, out);
  }
  return out;
}

void BM_RleDecoder16(benchmark::State& state) {
  const std::vector<UBYTE> stream = RleFrame(CtLikeSamples());
  qzmPixelLayout layout;
  layout.Rows = layout.Columns = Side;
  layout.BitsAllocated = 16;
  layout.BitsStored = 12;
  layout.PhotometricInterpretation = "MONOCHROME2";
  std::vector<UBYTE> out(layout.FrameBytes());
  const qzmRleDecoder decoder;
  for (auto _ : state) {
    std::memset(out.data(), 0, out.size());  // the caller's part of a decoding
    qzcString photometric = layout.PhotometricInterpretation;
    benchmark::DoNotOptimize(decoder.Decode(stream.data(), ULONG(stream.size()), layout, out.data(), photometric));
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(out.size()));
  state.counters["compression"] = double(out.size()) / double(stream.size());
}
BENCHMARK(BM_RleDecoder16)->Unit(benchmark::kMicrosecond);

}  // namespace
