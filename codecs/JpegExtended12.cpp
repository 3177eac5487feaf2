#include "codecs/qzmJpegExtended12Decoder.h"

#include "codecs/qzmJpegBitReader.h"
#include "codecs/qzmJpegMarkerParser.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

const char* const Signature =
    "bool qzmJpegExtended12Decoder::Decode(const UBYTE* data, ULONG size, const qzmPixelLayout& layout, UBYTE* out, "
    "qzcString& photometric) const";

// Position in the 8 x 8 block of each coefficient in stream (zig-zag) order.
const UBYTE ZigZag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
                          41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
                          30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// A DC value beyond any real image: the DC prediction of a damaged stream is
// stopped before it can overflow.
const int LargestDc = 1 << 20;

int CeilDiv(int a, int b) {
  return (a + b - 1) / b;
}

// The inverse DCT of one block, in floating point: rows, then columns.
class InverseDct {
 public:
  InverseDct() {
    const double pi = std::acos(-1.0);
    for (int x = 0; x < 8; ++x)
      for (int u = 0; u < 8; ++u)
        basis_[x][u] = float((u == 0 ? std::sqrt(0.5) : 1.0) * std::cos((2 * x + 1) * u * pi / 16) / 2);
  }

  // coefficients in natural order, dequantised; writes 64 samples, level
  // shifted by center and clamped to [0, largest].
  void Apply(const float* coefficients, int center, int largest, UWORD* out, std::size_t stride) const {
    float rows[64];
    for (int v = 0; v < 8; ++v)
      for (int x = 0; x < 8; ++x) {
        float sum = 0;
        for (int u = 0; u < 8; ++u)
          sum += basis_[x][u] * coefficients[v * 8 + u];
        rows[v * 8 + x] = sum;
      }
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) {
        float sum = 0;
        for (int v = 0; v < 8; ++v)
          sum += basis_[y][v] * rows[v * 8 + x];
        // Damaged streams can give any sum; no real sample lies beyond these bounds.
        const int value = int(std::lround(std::min(std::max(sum, -65536.0f), 65536.0f))) + center;
        out[y * stride + x] = UWORD(std::min(std::max(value, 0), largest));
      }
  }

 private:
  float basis_[8][8];
};

// The samples of one component, in whole blocks.
struct Plane {
  int Width = 0, Height = 0;  // samples of the component in the image
  int Stride = 0, Rows = 0;   // samples held: whole blocks of whole MCUs
  std::vector<UWORD> Samples;
};

// Decodes the scans of a sequential DCT frame into one plane per component,
// then turns the planes into the frame's samples.
class DctFrame {
 public:
  explicit DctFrame(const qzmJpegMarkerParser& parser) : parser_(parser), frame_(parser.Frame()) {}

  bool Supported(const qzmPixelLayout& layout) const;
  void Allocate();
  bool DecodeScan(const UBYTE* data, ULONG size, ULONG& end);
  bool AllDecoded() const;
  void Write(const qzmPixelLayout& layout, bool toRgb, UBYTE* out) const;

 private:
  bool CheckScan() const;
  bool DecodeBlock(qzmJpegBitReader& reader, int s, int blockX, int blockY);
  bool BadCode(int s) const;
  // Fills row with the samples of component c for the image's row y,
  // upsampled as the component's sampling factors require.
  void UpsampleRow(int c, int y, std::vector<int>& row) const;

  const qzmJpegMarkerParser& parser_;
  const qzmJpegFrameHeader& frame_;
  InverseDct idct_;
  Plane planes_[4];
  bool decoded_[4] = {};
  int dc_[4] = {};
};

bool DctFrame::Supported(const qzmPixelLayout& layout) const {
  if (frame_.Type != 0 && frame_.Type != 1) {
    parser_.Fail("JPEG frame of process type %u is not sequential DCT with Huffman coding!", unsigned(frame_.Type));
    return false;
  }
  if (frame_.Precision != 8 && frame_.Precision != 12) {
    parser_.Fail("JPEG DCT frame has a precision of %u bits (8 or 12)!", unsigned(frame_.Precision));
    return false;
  }
  for (int c = 0; c < frame_.ComponentCount; ++c)
    if (!parser_.QuantDefined(frame_.Components[c].QuantTable)) {
      parser_.Fail("JPEG frame uses quantisation table %u, which is not defined!",
                   unsigned(frame_.Components[c].QuantTable));
      return false;
    }
  return parser_.FrameFits(layout);
}

void DctFrame::Allocate() {
  const int mcusX = CeilDiv(frame_.SamplesPerLine, 8 * frame_.MaxH), mcusY = CeilDiv(frame_.Lines, 8 * frame_.MaxV);
  for (int c = 0; c < frame_.ComponentCount; ++c) {
    const qzmJpegComponent& component = frame_.Components[c];
    Plane& plane = planes_[c];
    plane.Width = CeilDiv(frame_.SamplesPerLine * component.H, frame_.MaxH);
    plane.Height = CeilDiv(frame_.Lines * component.V, frame_.MaxV);
    plane.Stride = mcusX * component.H * 8;
    plane.Rows = mcusY * component.V * 8;
    plane.Samples.assign(std::size_t(plane.Stride) * plane.Rows, 0);
  }
}

bool DctFrame::CheckScan() const {
  // Spectral selection and approximation mean nothing to a sequential scan;
  // some encoders leave them zero, and the usual decoders read those streams.
  const qzmJpegScanHeader& scan = parser_.Scan();
  int blocks = 0;
  for (int s = 0; s < scan.ComponentCount; ++s) {
    const qzmJpegComponent& component = frame_.Components[scan.Component[s]];
    blocks += component.H * component.V;
    if (!parser_.Huffman(0, scan.DcTable[s]).IsDefined() || !parser_.Huffman(1, scan.AcTable[s]).IsDefined()) {
      parser_.Fail("JPEG scan uses Huffman tables DC %u and AC %u, which are not both defined!",
                   unsigned(scan.DcTable[s]), unsigned(scan.AcTable[s]));
      return false;
    }
    if (decoded_[scan.Component[s]]) {
      parser_.Fail("JPEG stream has two scans of component %u!", unsigned(scan.Component[s] + 1));
      return false;
    }
  }
  if (scan.ComponentCount > 1 && blocks > 10) {
    parser_.Fail("JPEG scan has %d blocks in a unit (10 at most)!", blocks);
    return false;
  }
  return true;
}

bool DctFrame::BadCode(int s) const {
  parser_.Fail("JPEG data has a code that Huffman table %u or %u does not have, or a value too large!",
               unsigned(parser_.Scan().DcTable[s]), unsigned(parser_.Scan().AcTable[s]));
  return false;
}

bool DctFrame::DecodeBlock(qzmJpegBitReader& reader, int s, int blockX, int blockY) {
  const qzmJpegScanHeader& scan = parser_.Scan();
  const int c = scan.Component[s];
  const UWORD* quant = parser_.Quant(frame_.Components[c].QuantTable);
  const qzmJpegHuffmanTable& dcTable = parser_.Huffman(0, scan.DcTable[s]);
  const qzmJpegHuffmanTable& acTable = parser_.Huffman(1, scan.AcTable[s]);
  float coefficients[64] = {};

  reader.Ensure();
  const int dcSize = dcTable.Decode(reader);
  if (dcSize < 0 || dcSize > 15)
    return BadCode(s);
  if (dcSize > 0)
    dc_[c] += reader.TakeSigned(dcSize);
  if (dc_[c] > LargestDc || dc_[c] < -LargestDc)
    return BadCode(s);
  coefficients[0] = float(dc_[c]) * quant[0];

  for (int k = 1; k < 64; ++k) {
    reader.Ensure();
    const int symbol = acTable.Decode(reader);
    if (symbol < 0)
      return BadCode(s);
    const int run = symbol >> 4, size = symbol & 0x0F;
    if (size == 0) {
      if (run != 15)
        break;  // end of block
      k += 15;
      continue;
    }
    k += run;
    if (k > 63)
      return BadCode(s);
    coefficients[ZigZag[k]] = float(reader.TakeSigned(size)) * quant[k];
  }

  Plane& plane = planes_[c];
  idct_.Apply(coefficients, 1 << (frame_.Precision - 1), (1 << frame_.Precision) - 1,
              plane.Samples.data() + std::size_t(blockY) * 8 * plane.Stride + std::size_t(blockX) * 8,
              std::size_t(plane.Stride));
  return true;
}

bool DctFrame::DecodeScan(const UBYTE* data, ULONG size, ULONG& end) {
  if (!CheckScan())
    return false;
  const qzmJpegScanHeader& scan = parser_.Scan();
  qzmJpegBitReader reader(data, size, parser_.Position());
  // A scan of one component codes its blocks alone, over the component's own
  // size; a scan of several codes units of each one's sampling factors.
  const bool single = scan.ComponentCount == 1;
  const Plane& first = planes_[scan.Component[0]];
  const int unitsX = single ? CeilDiv(first.Width, 8) : CeilDiv(frame_.SamplesPerLine, 8 * frame_.MaxH);
  const int unitsY = single ? CeilDiv(first.Height, 8) : CeilDiv(frame_.Lines, 8 * frame_.MaxV);
  const unsigned interval = parser_.RestartInterval();
  unsigned left = interval;
  int nextRestart = 0;
  for (int s = 0; s < 4; ++s)
    dc_[s] = 0;
  for (int unitY = 0; unitY < unitsY; ++unitY) {
    for (int unitX = 0; unitX < unitsX; ++unitX) {
      if (interval != 0 && left == 0) {
        if (!reader.Restart(nextRestart)) {
          parser_.Fail("JPEG data lacks restart marker %d in block row %d!", nextRestart, unitY + 1);
          return false;
        }
        nextRestart = (nextRestart + 1) & 7;
        left = interval;
        for (int s = 0; s < 4; ++s)
          dc_[s] = 0;
      }
      for (int s = 0; s < scan.ComponentCount; ++s) {
        const qzmJpegComponent& component = frame_.Components[scan.Component[s]];
        const int h = single ? 1 : component.H, v = single ? 1 : component.V;
        for (int by = 0; by < v; ++by)
          for (int bx = 0; bx < h; ++bx)
            if (!DecodeBlock(reader, s, unitX * h + bx, unitY * v + by))
              return false;
      }
      --left;
    }
    if (reader.Overrun()) {
      parser_.Fail("JPEG data ends in block row %d of %d!", unitY + 1, unitsY);
      return false;
    }
  }
  for (int s = 0; s < scan.ComponentCount; ++s)
    decoded_[scan.Component[s]] = true;
  end = reader.EndPosition();
  return true;
}

bool DctFrame::AllDecoded() const {
  for (int c = 0; c < frame_.ComponentCount; ++c)
    if (!decoded_[c]) {
      parser_.Fail("JPEG stream ends before component %d was decoded!", c + 1);
      return false;
    }
  return true;
}

// Upsampling as the usual decoders do it, so that results agree with theirs:
// halved components are interpolated (three quarters of the nearer sample,
// one quarter of the farther), other ratios are replicated.
void DctFrame::UpsampleRow(int c, int y, std::vector<int>& row) const {
  const Plane& plane = planes_[c];
  const qzmJpegComponent& component = frame_.Components[c];
  const int scaleX = frame_.MaxH / component.H, scaleY = frame_.MaxV / component.V;
  const bool exact = frame_.MaxH % component.H == 0 && frame_.MaxV % component.V == 0;
  const int columns = frame_.SamplesPerLine;
  auto at = [&](int py, int px) { return int(plane.Samples[std::size_t(py) * plane.Stride + px]); };
  if (exact && scaleX == 1 && scaleY == 1) {
    for (int x = 0; x < columns; ++x)
      row[x] = at(y, x);
    return;
  }
  if (exact && scaleX == 2 && (scaleY == 1 || scaleY == 2)) {
    const int n = plane.Width;
    // Vertical pass: a column sum weighted 3:1 towards the nearer row (h2v2),
    // or the row itself times 4 (h2v1), so that both share one horizontal pass.
    std::vector<int> sums(static_cast<std::size_t>(n));
    if (scaleY == 1) {
      for (int i = 0; i < n; ++i)
        sums[i] = 4 * at(y, i);
    } else {
      const int near = y / 2;
      const int far = std::min(std::max(y % 2 == 0 ? near - 1 : near + 1, 0), plane.Height - 1);
      for (int i = 0; i < n; ++i)
        sums[i] = 3 * at(near, i) + at(far, i);
    }
    // Horizontal pass; the rounding biases alternate so that no direction is favoured.
    const int biasEven = scaleY == 1 ? 4 : 8, biasOdd = 8 - (scaleY == 1 ? 0 : 1);
    for (int i = 0; i < n && 2 * i < columns; ++i) {
      const int left = i > 0 ? sums[i - 1] : sums[i], right = i + 1 < n ? sums[i + 1] : sums[i];
      row[2 * i] = (3 * sums[i] + left + biasEven) >> 4;
      if (2 * i + 1 < columns)
        row[2 * i + 1] = (3 * sums[i] + right + biasOdd) >> 4;
    }
    return;
  }
  for (int x = 0; x < columns; ++x) {
    const int px = std::min(x * component.H / frame_.MaxH, plane.Width - 1);
    const int py = std::min(y * component.V / frame_.MaxV, plane.Height - 1);
    row[x] = at(py, px);
  }
}

void DctFrame::Write(const qzmPixelLayout& layout, bool toRgb, UBYTE* out) const {
  const int columns = frame_.SamplesPerLine, count = frame_.ComponentCount;
  const int largest = (1 << frame_.Precision) - 1, center = 1 << (frame_.Precision - 1);
  std::vector<std::vector<int>> rows(static_cast<std::size_t>(count),
                                     std::vector<int>(static_cast<std::size_t>(columns)));
  std::vector<int> pixel(static_cast<std::size_t>(count));
  for (int y = 0; y < frame_.Lines; ++y) {
    for (int c = 0; c < count; ++c)
      UpsampleRow(c, y, rows[c]);
    for (int x = 0; x < columns; ++x) {
      for (int c = 0; c < count; ++c)
        pixel[c] = rows[c][x];
      if (toRgb) {
        const double luma = pixel[0], cb = pixel[1] - center, cr = pixel[2] - center;
        pixel[0] = int(std::floor(luma + 1.402 * cr + 0.5));
        pixel[1] = int(std::floor(luma - 0.344136 * cb - 0.714136 * cr + 0.5));
        pixel[2] = int(std::floor(luma + 1.772 * cb + 0.5));
        for (int c = 0; c < 3; ++c)
          pixel[c] = std::min(std::max(pixel[c], 0), largest);
      }
      const std::size_t at = (std::size_t(y) * columns + x) * count;
      for (int c = 0; c < count; ++c) {
        if (layout.BitsAllocated == 8)
          out[at + c] = UBYTE(pixel[c]);
        else
          reinterpret_cast<UWORD*>(out)[at + c] = UWORD(pixel[c]);
      }
    }
  }
}

// YBR colour is turned into RGB unless the stream says its components are
// not transformed.
bool ConvertsToRgb(const qzmJpegMarkerParser& parser, const qzcString& photometric) {
  const qzmJpegFrameHeader& frame = parser.Frame();
  if (frame.ComponentCount != 3 || photometric.compare(0, 8, "YBR_FULL") != 0 || parser.AdobeTransform() == 0)
    return false;
  return !(frame.Components[0].Id == 'R' && frame.Components[1].Id == 'G' && frame.Components[2].Id == 'B');
}

}  // namespace

bool qzmJpegExtended12Decoder::Decode(const UBYTE* data, ULONG size, const qzmPixelLayout& layout, UBYTE* out,
                                      qzcString& photometric) const {
  qzmJpegMarkerParser parser(data, size, Signature);
  DctFrame frame(parser);
  bool allocated = false;
  for (;;) {
    const qzmJpegMarkerParser::Next next = parser.ReadToScan();
    if (next == qzmJpegMarkerParser::Next::Fault)
      return false;
    if (next == qzmJpegMarkerParser::Next::End)
      break;
    if (!allocated) {
      if (!frame.Supported(layout))
        return false;
      frame.Allocate();
      allocated = true;
    }
    ULONG end = 0;
    if (!frame.DecodeScan(data, size, end))
      return false;
    parser.SetPosition(end);
  }
  if (!allocated) {
    parser.Fail("JPEG stream has no scan!");
    return false;
  }
  if (!frame.AllDecoded())
    return false;
  const bool toRgb = ConvertsToRgb(parser, photometric);
  frame.Write(layout, toRgb, out);
  if (toRgb)
    photometric = "RGB";
  return true;
}
