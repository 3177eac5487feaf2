// Micro-benchmarks of the viewable images on a 512 x 512 12-bit CT-like
// frame held in memory: the window and linear mappings, and the BMP and PNG
// writers (the PNG interlaced, as written).
#include "frame/qzmMedicalFrame.h"
#include "lib/qzcException.h"
#include "lib/qzcFileName.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace {

const UWORD Side = 512;

// A ramp of CT values with the soft-tissue window (stored 864/400).
void MakeFrame(qzmMedicalFrame& frame) {
  frame.Structure.Rows = frame.Structure.Columns = Side;
  frame.Structure.PhotometricInterpretation = "MONOCHROME2";
  frame.Structure.SamplesPerPixel = 1;
  frame.Structure.NumberOfPixels = frame.Structure.NumberOfSamples = ULONG(Side) * Side;
  frame.Structure.Sample.SetBitsAllocatedStoredHigh(16, 12, 11);
  qzcDataLocation<UWORD>& words = frame.Pixels.Value.OW();
  words.SetSize(frame.Structure.NumberOfPixels);
  words.AllocateMemory();
  for (ULONG k = 0; k < frame.Structure.NumberOfPixels; ++k)
    words.GetMemoryLocation()[k] = UWORD((k * 7) % 4096);
  frame.Pixels.Date = frame.SourcePixels.Date + 1;
  frame.Windowing.HasWindowing = true;
  frame.Windowing.StoredWindowWidth = 400;
  frame.Windowing.StoredWindowMin = 664;
  frame.Windowing.StoredWindowMax = 1063;
}

void BM_WindowTo8(benchmark::State& state) {
  qzmMedicalFrame frame;
  MakeFrame(frame);
  for (auto _ : state) {
    frame.Pixels.Date += 1;  // forces the image to be computed again
    frame.GetResampledTo8(frame.Resampled8, true, qzmMedicalFrame::ReSamplingMethod::linear);
  }
}
BENCHMARK(BM_WindowTo8);

void BM_LinearTo16(benchmark::State& state) {
  qzmMedicalFrame frame;
  MakeFrame(frame);
  for (auto _ : state) {
    frame.Pixels.Date += 1;
    frame.GetResampledTo16(frame.Resampled16, false, qzmMedicalFrame::ReSamplingMethod::linear);
  }
}
BENCHMARK(BM_LinearTo16);

void BM_SaveWindowedBmp(benchmark::State& state) {
  qzmMedicalFrame frame;
  MakeFrame(frame);
  qzmMedicalFrame::ConversionContext context;
  context.ApplyWindowing = true;
  const qzcFileName name(std::string(P_tmpdir) + "/medconv-bench.bmp");
  for (auto _ : state) {
    frame.Pixels.Date += 1;
    frame.SaveAsBMP(name, context);
  }
  std::remove(name.c_str());
}
BENCHMARK(BM_SaveWindowedBmp);

void BM_SavePng(benchmark::State& state) {
  qzmMedicalFrame frame;
  MakeFrame(frame);
  qzmMedicalFrame::ConversionContext context;
  const qzcFileName name(std::string(P_tmpdir) + "/medconv-bench.png");
  for (auto _ : state) {
    frame.Pixels.Date += 1;
    frame.SaveAsPNG(name, context, nullptr);
  }
  std::remove(name.c_str());
}
BENCHMARK(BM_SavePng);

}  // namespace
