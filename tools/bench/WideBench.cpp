// Micro-benchmarks of 32-bit dose grids and floating-point maps of 512 x 512
// samples held in memory: the linear 8-bit image over the frame's own range
// and the statistics it needs.
#include "frame/qzmMedicalFrame.h"

#include <benchmark/benchmark.h>

#include <cstring>

namespace {

const UWORD Side = 512;

// A frame of prepared wide samples: 32-bit integers, or floats.
void MakeWideFrame(qzmMedicalFrame& frame, bool floating) {
  frame.Structure.Rows = frame.Structure.Columns = Side;
  frame.Structure.PhotometricInterpretation = "MONOCHROME2";
  frame.Structure.SamplesPerPixel = 1;
  frame.Structure.NumberOfPixels = frame.Structure.NumberOfSamples = ULONG(Side) * Side;
  frame.Structure.Sample.SetBitsAllocatedStoredHigh(32, 32, 31);
  frame.Structure.Sample.FloatingPoint = floating;
  qzcDataLocation<UBYTE>& bytes = frame.Pixels.Value.OB();
  bytes.SetSize(4 * frame.Structure.NumberOfPixels);
  bytes.AllocateMemory();
  for (ULONG k = 0; k < frame.Structure.NumberOfPixels; ++k) {
    const ULONG dose = (k * 7) % 300000;
    const float value = float(dose) * 1.5e-5f;
    std::memcpy(bytes.GetMemoryLocation() + 4 * k, floating ? static_cast<const void*>(&value) : &dose, 4);
  }
  frame.Pixels.Date = frame.SourcePixels.Date + 1;
}

void BM_WideLinearTo8(benchmark::State& state) {
  qzmMedicalFrame frame;
  MakeWideFrame(frame, state.range(0) != 0);
  for (auto _ : state) {
    frame.Pixels.Date += 1;  // the statistics and the image are computed again
    frame.GetResampledTo8(frame.Resampled8, false, qzmMedicalFrame::ReSamplingMethod::linear);
  }
}
BENCHMARK(BM_WideLinearTo8)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
