// Micro-benchmarks of the data-set code: reading a 512 x 512 16-bit CT slice
// (the pixel data stay in the file), reading and dumping it, and loading the
// binary dictionary. Run from the build folder, which holds dicom.din.
#include "dicom/qzmDicomDataElementDictionary.h"
#include "dicom/qzmDicomDataElementSet.h"
#include "lib/qzcFileName.h"
#include "tools/bench/BenchSupport.h"

#include <benchmark/benchmark.h>

#include <sstream>
#include <string>

namespace {

void BM_ReadSlice(benchmark::State& state) {
  benchsupport::QuietReports();
  const qzcFileName name(benchsupport::SliceFile());
  for (auto _ : state) {
    qzmDicomDataElementSet set;
    if (!set.Load(name))
      state.SkipWithError("the slice did not read");
    benchmark::DoNotOptimize(set.size());
  }
}
BENCHMARK(BM_ReadSlice);

void BM_ReadAndDumpSlice(benchmark::State& state) {
  benchsupport::QuietReports();
  const qzcFileName name(benchsupport::SliceFile());
  for (auto _ : state) {
    qzmDicomDataElementSet set;
    set.Load(name);
    std::ostringstream dump;
    set.Print(dump);
    benchmark::DoNotOptimize(dump.str().size());
  }
}
BENCHMARK(BM_ReadAndDumpSlice);

void BM_LoadBinaryDictionary(benchmark::State& state) {
  benchsupport::QuietReports();
  for (auto _ : state) {
    qzmDicomDataElementDictionary dictionary;
    if (!dictionary.Load(qzcFileName("dicom.din")))
      state.SkipWithError("dicom.din not found");
    benchmark::DoNotOptimize(dictionary.size());
  }
}
BENCHMARK(BM_LoadBinaryDictionary)->Unit(benchmark::kMillisecond);

}  // namespace
