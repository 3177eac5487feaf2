#include "codecs/qzmJpegLosslessDecoder.h"

#include "codecs/qzmJpegBitReader.h"
#include "codecs/qzmJpegMarkerParser.h"

#include <algorithm>
#include <vector>

namespace {

const char* const Signature =
    "bool qzmJpegLosslessDecoder::Decode(const UBYTE* data, ULONG size, const qzmPixelLayout& layout, UBYTE* out, "
    "qzcString& photometric) const";

// Reconstructed samples are kept modulo 2^16, whatever the precision.
const int SampleMask = 0xFFFF;

// The predictors, by selection value: a is the sample to the left, b the one
// above, c the one above and to the left.
template <int Selection>
inline int Predict(int a, int b, int c) {
  switch (Selection) {
    case 1:
      return a;
    case 2:
      return b;
    case 3:
      return c;
    case 4:
      return a + b - c;
    case 5:
      return a + ((b - c) >> 1);
    case 6:
      return b + ((a - c) >> 1);
    default:
      return (a + b) >> 1;
  }
}

// Decodes one scan: the samples of its components, row by row, into the
// frame's output; each row is predicted from the row above it.
class LosslessScan {
 public:
  LosslessScan(const qzmJpegMarkerParser& parser, const UBYTE* data, ULONG size, UBYTE* out, unsigned outBits)
      : parser_(parser),
        frame_(parser.Frame()),
        scan_(parser.Scan()),
        reader_(data, size, parser.Position()),
        out_(out),
        outBits_(outBits),
        columns_(frame_.SamplesPerLine),
        count_(scan_.ComponentCount) {}

  bool Decode();
  ULONG EndPosition() { return reader_.EndPosition(); }

 private:
  bool CheckHeader();
  bool DecodeRow(int y);
  // Decodes the samples of columns [begin, end) of the current row; the
  // first one starts over from the initial prediction when restart is set.
  template <int Selection>
  bool DecodeRun(int begin, int end, bool restart);
  bool DecodeRunWith(int selection, int begin, int end, bool restart);
  bool Difference(int s, int& difference);
  bool BadCode(int s, int size) const;
  void WriteRow(int y) const;

  const qzmJpegMarkerParser& parser_;
  const qzmJpegFrameHeader& frame_;
  const qzmJpegScanHeader& scan_;
  qzmJpegBitReader reader_;
  UBYTE* out_;
  unsigned outBits_;
  int columns_;
  int count_;  // components in the scan
  const qzmJpegHuffmanTable* tables_[4] = {};
  std::vector<int> previous_, current_;  // rows of count_ interleaved samples
  int initial_ = 0;                      // the prediction at the start of the scan and of each interval
  unsigned left_ = 0;                    // units left in the restart interval
  int nextRestart_ = 0;
};

bool LosslessScan::CheckHeader() {
  if (scan_.Ss < 1 || scan_.Ss > 7 || scan_.Ah != 0 || scan_.Al >= frame_.Precision) {
    parser_.Fail("JPEG lossless scan has predictor %u and point transform %u (1 to 7, below the precision %u)!",
                 unsigned(scan_.Ss), unsigned(scan_.Al), unsigned(frame_.Precision));
    return false;
  }
  for (int s = 0; s < count_; ++s) {
    tables_[s] = &parser_.Huffman(0, scan_.DcTable[s]);
    if (!tables_[s]->IsDefined()) {
      parser_.Fail("JPEG scan uses Huffman table %u, which is not defined!", unsigned(scan_.DcTable[s]));
      return false;
    }
  }
  return true;
}

bool LosslessScan::Decode() {
  if (!CheckHeader())
    return false;
  previous_.assign(std::size_t(columns_) * count_, 0);
  current_.assign(std::size_t(columns_) * count_, 0);
  initial_ = 1 << (frame_.Precision - scan_.Al - 1);
  left_ = parser_.RestartInterval();
  for (int y = 0; y < frame_.Lines; ++y) {
    if (!DecodeRow(y))
      return false;
    if (reader_.Overrun()) {
      parser_.Fail("JPEG lossless data ends in row %d of %u!", y + 1, unsigned(frame_.Lines));
      return false;
    }
    WriteRow(y);
    previous_.swap(current_);
  }
  return true;
}

bool LosslessScan::DecodeRow(int y) {
  const unsigned interval = parser_.RestartInterval();
  bool firstLine = y == 0, restart = y == 0;
  for (int x = 0; x < columns_;) {
    if (interval != 0 && left_ == 0) {
      if (!reader_.Restart(nextRestart_)) {
        parser_.Fail("JPEG lossless data lacks restart marker %d in row %d!", nextRestart_, y + 1);
        return false;
      }
      nextRestart_ = (nextRestart_ + 1) & 7;
      left_ = interval;
      firstLine = restart = true;
    }
    const int end = interval != 0 ? int(std::min<unsigned>(left_, unsigned(columns_ - x))) + x : columns_;
    if (!DecodeRunWith(firstLine ? 1 : scan_.Ss, x, end, restart))
      return false;
    if (interval != 0)
      left_ -= unsigned(end - x);
    x = end;
    restart = false;
  }
  return true;
}

bool LosslessScan::DecodeRunWith(int selection, int begin, int end, bool restart) {
  switch (selection) {
    case 1:
      return DecodeRun<1>(begin, end, restart);
    case 2:
      return DecodeRun<2>(begin, end, restart);
    case 3:
      return DecodeRun<3>(begin, end, restart);
    case 4:
      return DecodeRun<4>(begin, end, restart);
    case 5:
      return DecodeRun<5>(begin, end, restart);
    case 6:
      return DecodeRun<6>(begin, end, restart);
    default:
      return DecodeRun<7>(begin, end, restart);
  }
}

inline bool LosslessScan::Difference(int s, int& difference) {
  reader_.Ensure();
  const int size = tables_[s]->Decode(reader_);
  if (size == 0) {
    difference = 0;
  } else if (size > 0 && size < 16) {
    difference = reader_.TakeSigned(size);
  } else if (size == 16) {
    difference = 32768;
  } else {
    return BadCode(s, size);
  }
  return true;
}

bool LosslessScan::BadCode(int s, int size) const {
  parser_.Fail("JPEG lossless data has a code that Huffman table %u does not have, or a difference of %d bits!",
               unsigned(scan_.DcTable[s]), size);
  return false;
}

template <int Selection>
bool LosslessScan::DecodeRun(int begin, int end, bool restart) {
  int* row = current_.data();
  const int* above = previous_.data();
  int x = begin;
  // The first column has no left neighbour: predicted from above, or from
  // the initial value when the run starts the scan or an interval.
  if (restart || x == 0) {
    for (int s = 0; s < count_; ++s) {
      const int i = x * count_ + s;
      int difference;
      if (!Difference(s, difference))
        return false;
      row[i] = ((restart ? initial_ : above[i]) + difference) & SampleMask;
    }
    ++x;
  }
  if (count_ == 1 && Selection == 1) {  // the common case, kept tight
    const qzmJpegHuffmanTable& table = *tables_[0];
    int left = row[x - 1];
    for (; x < end; ++x) {
      reader_.Ensure();
      const int size = table.Decode(reader_);
      int difference = 0;
      if (size > 0 && size < 16)
        difference = reader_.TakeSigned(size);
      else if (size == 16)
        difference = 32768;
      else if (size != 0)
        return BadCode(0, size);
      left = (left + difference) & SampleMask;
      row[x] = left;
    }
    return true;
  }
  for (; x < end; ++x)
    for (int s = 0; s < count_; ++s) {
      const int i = x * count_ + s;
      int difference;
      if (!Difference(s, difference))
        return false;
      row[i] = (Predict<Selection>(row[i - count_], above[i], above[i - count_]) + difference) & SampleMask;
    }
  return true;
}

void LosslessScan::WriteRow(int y) const {
  const int samples = frame_.ComponentCount, shift = scan_.Al;
  const std::size_t rowStart = std::size_t(y) * columns_ * samples;
  for (int s = 0; s < count_; ++s) {
    const int* in = current_.data() + s;
    const std::size_t first = rowStart + scan_.Component[s];
    if (outBits_ == 8) {
      UBYTE* o = out_ + first;
      for (int x = 0; x < columns_; ++x, in += count_, o += samples)
        *o = UBYTE(*in << shift);
    } else {
      UWORD* o = reinterpret_cast<UWORD*>(out_) + first;
      for (int x = 0; x < columns_; ++x, in += count_, o += samples)
        *o = UWORD(*in << shift);
    }
  }
}

// The frame is one this decoder handles and the layout describes.
bool FrameSupported(const qzmJpegMarkerParser& parser, const qzmPixelLayout& layout) {
  const qzmJpegFrameHeader& frame = parser.Frame();
  if (frame.Type != 3) {
    parser.Fail("JPEG frame of process type %u is not lossless (a lossless syntax needs frame type 3)!",
                unsigned(frame.Type));
    return false;
  }
  if (frame.Precision < 2 || frame.Precision > 16) {
    parser.Fail("JPEG lossless frame has a precision of %u bits (2 to 16)!", unsigned(frame.Precision));
    return false;
  }
  if (frame.ComponentCount > 1 && (frame.MaxH != 1 || frame.MaxV != 1)) {
    parser.Fail("JPEG lossless frame has subsampled components, which are not supported!");
    return false;
  }
  return parser.FrameFits(layout);
}

}  // namespace

bool qzmJpegLosslessDecoder::Decode(const UBYTE* data, ULONG size, const qzmPixelLayout& layout, UBYTE* out,
                                    qzcString&) const {
  qzmJpegMarkerParser parser(data, size, Signature);
  bool decoded[4] = {};
  for (;;) {
    const qzmJpegMarkerParser::Next next = parser.ReadToScan();
    if (next == qzmJpegMarkerParser::Next::Fault)
      return false;
    if (next == qzmJpegMarkerParser::Next::End)
      break;
    if (!FrameSupported(parser, layout))
      return false;
    LosslessScan scan(parser, data, size, out, layout.BitsAllocated);
    for (int s = 0; s < parser.Scan().ComponentCount; ++s) {
      const int component = parser.Scan().Component[s];
      if (decoded[component]) {
        parser.Fail("JPEG lossless stream has two scans of component %u!", unsigned(component + 1));
        return false;
      }
      decoded[component] = true;
    }
    if (!scan.Decode())
      return false;
    parser.SetPosition(scan.EndPosition());
  }
  for (int c = 0; c < (parser.HasFrame() ? parser.Frame().ComponentCount : 1); ++c)
    if (!decoded[c]) {
      parser.Fail("JPEG lossless stream ends before component %d was decoded!", c + 1);
      return false;
    }
  return true;
}
