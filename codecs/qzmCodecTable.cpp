#include "codecs/qzmCodecTable.h"

#include "codecs/qzmJpeg2000Decoder.h"
#include "codecs/qzmJpegBaselineDecoder.h"
#include "codecs/qzmJpegLosslessDecoder.h"
#include "codecs/qzmJpegLsDecoder.h"
#include "codecs/qzmRleDecoder.h"

namespace {

const qzmRleDecoder Rle;
const qzmJpegBaselineDecoder JpegBaseline;
const qzmJpegLosslessDecoder JpegLossless;
const qzmJpegLsDecoder JpegLs;
const qzmJpeg2000Decoder Jpeg2000;

}  // namespace

const std::vector<qzmCodecTable::Entry>& qzmCodecTable::Entries() {
  static const std::vector<Entry> entries = {
      {"1.2.840.10008.1.2.5", "RLE Lossless", false, &Rle},
      {"1.2.840.10008.1.2.4.50", "JPEG Baseline (Process 1)", true, &JpegBaseline},
      {"1.2.840.10008.1.2.4.51", "JPEG Extended (Process 2 & 4)", true, &JpegBaseline},
      {"1.2.840.10008.1.2.4.57", "JPEG Lossless, Non-Hierarchical (Process 14)", false, &JpegLossless},
      {"1.2.840.10008.1.2.4.70", "JPEG Lossless, First-Order Prediction (Process 14, SV1)", false, &JpegLossless},
      {"1.2.840.10008.1.2.4.80", "JPEG-LS Lossless", false, &JpegLs},
      {"1.2.840.10008.1.2.4.81", "JPEG-LS Lossy (Near-Lossless)", true, &JpegLs},
      {"1.2.840.10008.1.2.4.90", "JPEG 2000 (Lossless Only)", false, &Jpeg2000},
      {"1.2.840.10008.1.2.4.91", "JPEG 2000", true, &Jpeg2000},
      {"1.2.840.10008.1.2.4.201", "High-Throughput JPEG 2000 (Lossless Only)", false, &Jpeg2000},
      {"1.2.840.10008.1.2.4.202", "High-Throughput JPEG 2000 with RPCL Options (Lossless Only)", false, &Jpeg2000},
      {"1.2.840.10008.1.2.4.203", "High-Throughput JPEG 2000", true, &Jpeg2000},
  };
  return entries;
}

const qzmCodecTable::Entry* qzmCodecTable::Find(const qzcString& syntax) {
  for (const Entry& entry : Entries())
    if (syntax == entry.Syntax)
      return &entry;
  return nullptr;
}

qzcString qzmCodecTable::LibraryVersions() { return qzcString(); }
