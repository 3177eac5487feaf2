// Micro-benchmarks of the whole per-file pipeline on a 512 x 512 CT slice,
// one per destination format: what medconv spends on each file of a series
// once the process has started (reading, frame, conversion, writing). Run
// from the build folder, which holds the dictionary.
#include "driver/ConvertFile.h"
#include "driver/RunOptions.h"
#include "lib/qzcCmdLineParser.h"
#include "lib/qzcFileName.h"
#include "tools/bench/BenchSupport.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace {

// The slice converted with the options given, as "medconv <options> --to=...
// <slice>" would, into the temporary folder; the output, named after the
// slice with the extension given, is removed at the end.
void BM_ConvertSlice(benchmark::State& state, const char* options, const char* extension) {
  benchsupport::QuietReports();
  const std::string slice = benchsupport::SliceFile();
  const std::string command = std::string("medconv --nowarn ") + options + " --to=" + P_tmpdir + "/ " + slice;
  qzcCmdLineParser parser;
  parser.AddParameters(command.c_str());
  qzmMedicalFrame::ConversionSettings settings;
  if (!ReadRunOptions(parser, settings)) {
    state.SkipWithError("the options were refused");
    return;
  }
  for (auto _ : state)
    if (!convert_file(qzcFileName(slice), parser, settings)) {
      state.SkipWithError("the slice did not convert");
      break;
    }
  std::remove((slice + "." + extension).c_str());
}
BENCHMARK_CAPTURE(BM_ConvertSlice, dump_to_text_file, "-t", "txt")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ConvertSlice, raw, "-r0", "raw")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ConvertSlice, implicit_little, "-d=il", "dcm")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ConvertSlice, windowed_bmp, "-w --win=40:400", "bmp")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ConvertSlice, png, "-p1", "png")->Unit(benchmark::kMicrosecond);

}  // namespace
