// Reads the marker segments of a JPEG stream (start and end of image, frame
// and scan headers, Huffman and quantisation tables, restart interval,
// application segments, comments) and keeps what the decoders need. Every
// length and value is checked against the data before it is used; a fault is
// reported as an error under the signature of the decoder using the parser.
#ifndef QZM_JPEG_MARKER_PARSER_H
#define QZM_JPEG_MARKER_PARSER_H

#include "codecs/qzmJpegHuffmanTable.h"
#include "codecs/qzmPixelLayout.h"
#include "lib/qzcTypes.h"

struct qzmJpegComponent {
  UBYTE Id = 0;
  UBYTE H = 1;  // horizontal sampling factor, 1 to 4
  UBYTE V = 1;  // vertical sampling factor, 1 to 4
  UBYTE QuantTable = 0;
};

struct qzmJpegFrameHeader {
  UBYTE Type = 0;  // the frame marker's low half: 0 baseline, 1 extended, 3 lossless, ...
  UBYTE Precision = 0;
  UWORD Lines = 0;
  UWORD SamplesPerLine = 0;
  UBYTE ComponentCount = 0;
  qzmJpegComponent Components[4];
  UBYTE MaxH = 1;
  UBYTE MaxV = 1;
};

struct qzmJpegScanHeader {
  UBYTE ComponentCount = 0;
  UBYTE Component[4] = {};  // index into the frame's components
  UBYTE DcTable[4] = {};    // DC table (lossless: the only table) of each
  UBYTE AcTable[4] = {};
  UBYTE Ss = 0;  // spectral selection start; lossless: the predictor
  UBYTE Se = 0;
  UBYTE Ah = 0;
  UBYTE Al = 0;  // lossless: the point transform
};

class qzmJpegMarkerParser {
 public:
  enum class Next { Scan, End, Fault };

  // signature: the reporting decoder's, shown in every error.
  qzmJpegMarkerParser(const UBYTE* data, ULONG size, const char* signature)
      : data_(data), size_(size), signature_(signature) {}

  // Reads the segments from the start of the image (or, after a scan, from
  // the position the scan's data ended at) to the next scan header (Scan,
  // Position() then is its first data byte) or the end of the image (End:
  // its marker, or the end of the data after a scan).
  // A scan before a frame header, a second frame header, a malformed or
  // truncated segment gives Fault after an error report.
  Next ReadToScan();
  ULONG Position() const { return position_; }
  void SetPosition(ULONG position) { position_ = position; }

  bool HasFrame() const { return hasFrame_; }
  const qzmJpegFrameHeader& Frame() const { return frame_; }
  const qzmJpegScanHeader& Scan() const { return scan_; }
  // class 0: DC and lossless tables, 1: AC tables; number 0 to 3.
  const qzmJpegHuffmanTable& Huffman(int tableClass, int number) const { return huffman_[tableClass][number]; }
  // Quantisation table in zig-zag order; quantDefined tells whether given.
  const UWORD* Quant(int number) const { return quant_[number]; }
  bool QuantDefined(int number) const { return quantDefined_[number]; }
  UWORD RestartInterval() const { return restartInterval_; }
  // The Adobe segment's colour transform (0 none, 1 YCbCr, 2 YCCK), or -1.
  int AdobeTransform() const { return adobeTransform_; }

  // Whether the frame read so far fits the layout the set announces: same
  // rows, columns and samples per pixel, a precision that the layout's
  // samples of 8 or 16 bits hold. Reports the difference, naming both.
  bool FrameFits(const qzmPixelLayout& layout) const;

  // Reports a fault of the stream under the decoder's signature.
  void Fail(const char* format, ...) const;

 private:
  bool ReadSegment(UBYTE marker, ULONG begin, ULONG length);
  bool ReadFrameHeader(UBYTE marker, const UBYTE* p, ULONG length);
  bool ReadScanHeader(const UBYTE* p, ULONG length);
  bool ReadHuffmanTables(const UBYTE* p, ULONG length);
  bool ReadQuantTables(const UBYTE* p, ULONG length);
  void ReadApplication(UBYTE marker, const UBYTE* p, ULONG length);

  const UBYTE* data_;
  ULONG size_;
  const char* signature_;
  ULONG position_ = 0;
  bool started_ = false;
  bool hasFrame_ = false;
  bool scanRead_ = false;
  qzmJpegFrameHeader frame_;
  qzmJpegScanHeader scan_;
  qzmJpegHuffmanTable huffman_[2][4];
  UWORD quant_[4][64] = {};
  bool quantDefined_[4] = {};
  UWORD restartInterval_ = 0;
  int adobeTransform_ = -1;
};

#endif
