#include "codecs/qzmCodecTable.h"

#include "codecs/qzmJpeg2000Decoder.h"
#include "codecs/qzmJpegBaselineDecoder.h"
#include "codecs/qzmJpegExtended12Decoder.h"
#include "codecs/qzmJpegLosslessDecoder.h"
#include "codecs/qzmJpegLsDecoder.h"
#include "codecs/qzmRleDecoder.h"

#if MEDCONV_HAVE_LIBJPEG
#include <cstdio>  // jpeglib.h needs FILE declared first

#include <jpeglib.h>
#endif
#if MEDCONV_HAVE_CHARLS
#include <charls/charls.h>
#endif
#if MEDCONV_HAVE_OPENJPEG
#include <openjpeg.h>
#endif

namespace {

const qzmRleDecoder Rle;
const qzmJpegLosslessDecoder JpegLossless;
#if MEDCONV_HAVE_LIBJPEG
const qzmJpegBaselineDecoder JpegBaseline;
#else
const qzmJpegExtended12Decoder JpegExtended12;
#endif
#if MEDCONV_HAVE_CHARLS
const qzmJpegLsDecoder JpegLs;
#endif
#if MEDCONV_HAVE_OPENJPEG
const qzmJpeg2000Decoder Jpeg2000;
#endif

}  // namespace

const std::vector<qzmCodecTable::Entry>& qzmCodecTable::Entries() {
  // The rows keep their layout between the build options.
  // clang-format off
  static const std::vector<Entry> entries = {
      {"1.2.840.10008.1.2.5", "RLE Lossless", false, &Rle},
#if MEDCONV_HAVE_LIBJPEG
      {"1.2.840.10008.1.2.4.50", "JPEG Baseline (Process 1)", true, &JpegBaseline},
      {"1.2.840.10008.1.2.4.51", "JPEG Extended (Process 2 & 4)", true, &JpegBaseline},
#else
      // Without libjpeg the 12-bit streams of this syntax still decode.
      {"1.2.840.10008.1.2.4.51", "JPEG Extended (Process 2 & 4)", true, &JpegExtended12},
#endif
      {"1.2.840.10008.1.2.4.57", "JPEG Lossless, Non-Hierarchical (Process 14)", false, &JpegLossless},
      {"1.2.840.10008.1.2.4.70", "JPEG Lossless, First-Order Prediction (Process 14, SV1)", false, &JpegLossless},
#if MEDCONV_HAVE_CHARLS
      {"1.2.840.10008.1.2.4.80", "JPEG-LS Lossless", false, &JpegLs},
      {"1.2.840.10008.1.2.4.81", "JPEG-LS Lossy (Near-Lossless)", true, &JpegLs},
#endif
#if MEDCONV_HAVE_OPENJPEG
      {"1.2.840.10008.1.2.4.90", "JPEG 2000 (Lossless Only)", false, &Jpeg2000},
      {"1.2.840.10008.1.2.4.91", "JPEG 2000", true, &Jpeg2000},
      {"1.2.840.10008.1.2.4.201", "High-Throughput JPEG 2000 (Lossless Only)", false, &Jpeg2000},
      {"1.2.840.10008.1.2.4.202", "High-Throughput JPEG 2000 with RPCL Options (Lossless Only)", false, &Jpeg2000},
      {"1.2.840.10008.1.2.4.203", "High-Throughput JPEG 2000", true, &Jpeg2000},
#endif
  };
  // clang-format on
  return entries;
}

const qzmCodecTable::Entry* qzmCodecTable::Find(const qzcString& syntax) {
  for (const Entry& entry : Entries())
    if (syntax == entry.Syntax)
      return &entry;
  return nullptr;
}

#define MEDCONV_STRINGIFY(x) #x
#define MEDCONV_TOSTRING(x) MEDCONV_STRINGIFY(x)

qzcString qzmCodecTable::LibraryVersions() {
  qzcString versions;
#if MEDCONV_HAVE_LIBJPEG
  versions += "  - libjpeg-turbo " MEDCONV_TOSTRING(LIBJPEG_TURBO_VERSION) "\n";
#endif
#if MEDCONV_HAVE_CHARLS
  versions += qzcString("  - CharLS ") + charls_get_version_string() + "\n";
#endif
#if MEDCONV_HAVE_OPENJPEG
  versions += qzcString("  - OpenJPEG ") + opj_version() + "\n";
#endif
  return versions;
}
