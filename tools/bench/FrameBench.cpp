// Micro-benchmarks of the frame code on 512 x 512 16-bit CT-like frames:
// building a frame of a 200-frame file (a view, no pixel copy), preparing
// and unpacking that one frame, the statistics, halving, RLE decoding.
#include "dicom/qzmDicomDataElementSet.h"
#include "frame/qzmMedicalFrame.h"
#include "lib/qzcException.h"
#include "lib/qzcFileName.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

typedef qzmDicomDataElementTag Tag;

const UWORD Side = 512;
const UWORD FrameCount = 200;

void SetImageTags(qzmDicomDataElementSet& set, UWORD allocated, UWORD stored, UWORD frames) {
  set[Tag(0x0002, 0x0010)].UI() = "1.2.840.10008.1.2.1";
  set[Tag(0x0008, 0x0060)].CS() = "CT";
  set[Tag(0x0028, 0x0002)].US() = 1;
  set[Tag(0x0028, 0x0004)].CS() = "MONOCHROME2";
  set[Tag(0x0028, 0x0008)].IS() = std::to_string(frames);
  set[Tag(0x0028, 0x0010)].US() = Side;
  set[Tag(0x0028, 0x0011)].US() = Side;
  set[Tag(0x0028, 0x0100)].US() = allocated;
  set[Tag(0x0028, 0x0101)].US() = stored;
  set[Tag(0x0028, 0x0102)].US() = UWORD(stored - 1);
  set[Tag(0x0028, 0x0103)].US() = 0;
}

// A 200-frame 12-bit file (100 MB) in the temporary folder, written once.
const std::string& MultiFrameFile() {
  static std::string name;
  if (name.empty()) {
    qzcException::errorChannel.limit = 65535;
    name = std::string(P_tmpdir) + "/medconv-bench-multiframe.dcm";
    qzmDicomDataElementSet set;
    SetImageTags(set, 16, 12, FrameCount);
    qzcDataLocation<UWORD>& words = set[Tag(0x7FE0, 0x0010)].OW();
    words.SetSize(ULONG(Side) * Side * FrameCount);
    words.AllocateMemory();
    for (ULONG k = 0; k < words.GetSize(); ++k)
      words.GetMemoryLocation()[k] = UWORD(k % 4096);
    set.Save(qzcFileName(name));
  }
  return name;
}

// Frame 7 of the file: the set is read once, the frame rebuilt each time.
void BM_BuildFrameOfLargeFile(benchmark::State& state) {
  qzmDicomDataElementSet set;
  set.Load(qzcFileName(MultiFrameFile()));
  qzmMedicalFrame frame;
  for (auto _ : state)
    benchmark::DoNotOptimize(frame.UpdateFrom(set, 7));
}
BENCHMARK(BM_BuildFrameOfLargeFile);

// Reading the file, building frame 7 and unpacking its 12-bit samples for
// -r0: only that frame's 512 KiB are read.
void BM_RawOfOneFrame(benchmark::State& state) {
  for (auto _ : state) {
    qzmDicomDataElementSet set;
    set.Load(qzcFileName(MultiFrameFile()));
    qzmMedicalFrame frame;
    frame.UpdateFrom(set, 7);
    benchmark::DoNotOptimize(frame.GetOrganizedToRaw(frame.OrganizedRaw));
  }
}
BENCHMARK(BM_RawOfOneFrame)->Unit(benchmark::kMillisecond);

// A prepared in-memory frame of 512 x 512 12-bit samples.
void MakeFrame(qzmDicomDataElementSet& set, qzmMedicalFrame& frame) {
  SetImageTags(set, 16, 12, 1);
  qzcDataLocation<UWORD>& words = set[Tag(0x7FE0, 0x0010)].OW();
  words.SetSize(ULONG(Side) * Side);
  words.AllocateMemory();
  for (ULONG k = 0; k < words.GetSize(); ++k)
    words.GetMemoryLocation()[k] = UWORD((k * 7) % 4096);
  frame.UpdateFrom(set, 1);
  frame.ArePixelsReady();
}

void BM_Statistics(benchmark::State& state) {
  qzmDicomDataElementSet set;
  qzmMedicalFrame frame;
  MakeFrame(set, frame);
  for (auto _ : state) {
    ++frame.Pixels.Date;  // defeats the cache: every pass scans
    benchmark::DoNotOptimize(frame.GetMean());
  }
}
BENCHMARK(BM_Statistics)->Unit(benchmark::kMicrosecond);

void BM_Halve(benchmark::State& state) {
  qzmDicomDataElementSet set;
  qzmMedicalFrame frame;
  for (auto _ : state) {
    state.PauseTiming();
    MakeFrame(set, frame);
    state.ResumeTiming();
    benchmark::DoNotOptimize(frame.Halve());
  }
}
BENCHMARK(BM_Halve)->Unit(benchmark::kMicrosecond);

// An 8-bit RLE frame of 512 x 512 made of short literal and replicate runs.
void BM_RleDecode(benchmark::State& state) {
  qzmDicomDataElementSet set;
  SetImageTags(set, 8, 8, 1);
  set[Tag(0x0002, 0x0010)].UI() = "1.2.840.10008.1.2.5";
  std::vector<UBYTE> segment;
  for (ULONG written = 0; written < ULONG(Side) * Side; written += 8) {
    segment.insert(segment.end(), {0x03, 1, 2, 3, 4, 0xFD, 9});
  }
  std::vector<UBYTE> rle(64, 0);
  rle[0] = 1;
  rle[4] = 64;
  rle.insert(rle.end(), segment.begin(), segment.end());
  if (rle.size() % 2)
    rle.push_back(0);
  std::vector<UBYTE> data{0xFE, 0xFF, 0x00, 0xE0, 0, 0, 0, 0, 0xFE, 0xFF, 0x00, 0xE0};
  for (int k = 0; k < 4; ++k)
    data.push_back(UBYTE(rle.size() >> (8 * k)));
  data.insert(data.end(), rle.begin(), rle.end());
  data.insert(data.end(), {0xFE, 0xFF, 0xDD, 0xE0, 0, 0, 0, 0});
  qzcDataLocation<UBYTE>& bytes = set[Tag(0x7FE0, 0x0010)].OB();
  bytes.SetSize(ULONG(data.size()));
  bytes.AllocateMemory();
  std::copy(data.begin(), data.end(), bytes.GetMemoryLocation());
  qzmMedicalFrame frame;
  for (auto _ : state) {
    frame.UpdateFrom(set, 1);
    benchmark::DoNotOptimize(frame.ArePixelsReady());
  }
}
BENCHMARK(BM_RleDecode)->Unit(benchmark::kMicrosecond);

}  // namespace
