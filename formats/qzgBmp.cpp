#include "formats/qzgBmp.h"

#include "lib/ifbstream.h"
#include "lib/ofbstream.h"
#include "lib/qzcError.h"

#include <ostream>
#include <vector>

const char* qzgBmp::CompressionName() const {
  switch (Compression) {
    case qzgBmp::RGB:
      return "RGB";
    case qzgBmp::RLE8:
      return "RLE8";
    case qzgBmp::RLE4:
      return "RLE4";
    default:
      return "UNKNOWN!";
  }
}

namespace {

// Only uncompressed rows of whole bytes per pixel are written and read; each
// other layout is reported. False when there was a report.
bool ReportUnsupportedLayout(const char* signature, const qzgBmp& bmp) {
  bool supported = true;
  if (bmp.Compression != qzgBmp::RGB) {
    qzcError(signature, "compression is not supported!").Report();
    supported = false;
  }
  if (bmp.BitsPerPixel % 8 != 0) {
    qzcError(signature, "bits/pixels %u is not supported!", unsigned(bmp.BitsPerPixel)).Report();
    supported = false;
  }
  return supported;
}

}  // namespace

ULONG qzgBmp::RowLength() const {
  return ULONG((std::uint64_t(BitsPerPixel) * Width + 7) / 8);
}

ULONG qzgBmp::PaddedRowLength() const {
  return (RowLength() + 3) & ~ULONG(3);
}

ULONG qzgBmp::ImageSize() const {
  return PaddedRowLength() * Height;
}

std::ostream& qzgBmp::Print(std::ostream& os) const {
  static const char* const signature = "ostream& qzgBmp::Print( ostream& ) const";
  os << "Offset to data     : " << OffsetToData << "\n"
     << "Length of bi header : " << InfoHeaderLength << "\n"
     << "Image               : " << Width << "x" << Height << ", " << BitsPerPixel << " bits/pixel, compression "
     << CompressionName() << "\n"
     << "                      resolution is " << XResolution << "x" << YResolution << " pixels/meter\n"
     << "                      " << ColorsUsed << " color used, " << ColorsImportant << " important\n";
  if (os.fail())
    qzcError(signature, "while sending instance to ostream!").Report();
  return os;
}

ofbstream& qzgBmp::Write(ofbstream& ofs) const {
  static const char* const signature = "ofbstream& qzgBmp::Write( ofbstream& ) const";
  const ULONG policy = ofs.GetBFlags();
  ofs << little_endian;
  ofs << ABYTE('B') << ABYTE('M') << ULONG(OffsetToData + ImageSize()) << ULONG(0) << OffsetToData;
  ofs << InfoHeaderLength << Width << Height << UWORD(1) << BitsPerPixel << Compression << ImageSize() << XResolution
      << YResolution << ColorsUsed << ColorsImportant;
  if (ofs.fail())
    qzcError(signature, "while sending instance to binary file stream!").Report();
  ofs.SetBFlags(policy);
  return ofs;
}

ifbstream& qzgBmp::Read(ifbstream& ifs) {
  static const char* const signature = "ifbstream& qzgBmp::Read( ifbstream& )";
  const ULONG policy = ifs.GetBFlags();
  ifs >> little_endian;
  ABYTE id[2] = {0, 0};
  ULONG fileSize = 0, reserved = 0;
  ifs >> id[0] >> id[1] >> fileSize >> reserved >> OffsetToData;
  if (id[0] != 'B' || id[1] != 'M') {
    ifs.setstate(std::ios::failbit);
    ifs.SetBFlags(policy);
    qzcError(signature, "file ID (%c%c) on the binary stream does not correspond to a BMP picture!", id[0], id[1])
        .Report();
    return ifs;
  }
  if (ifs.fail()) {
    ifs.SetBFlags(policy);
    qzcError(signature, "while getting bitmap file header from binary file stream!").Report();
    return ifs;
  }
  UWORD planes = 0;
  ULONG imageSize = 0, compression = 0;
  ifs >> InfoHeaderLength >> Width >> Height >> planes >> BitsPerPixel >> compression >> imageSize >> XResolution >>
      YResolution >> ColorsUsed >> ColorsImportant;
  ifs.SetBFlags(policy);
  if (ifs.fail()) {
    qzcError(signature, "while getting bitmap info header from binary file stream!").Report();
    return ifs;
  }
  if (compression > RLE4) {
    ifs.setstate(std::ios::failbit);
    qzcError(signature, "wrong compression type!").Report();
    return ifs;
  }
  Compression = compression;
  return ifs;
}

ofbstream& qzgBmp::WriteData(ofbstream& ofs, const UBYTE* pixels) const {
  static const char* const signature = "ofbstream& qzgBmp::WriteData( ofbstream&, const UBYTE* ) const";
  ReportUnsupportedLayout(signature, *this);
  const ULONG rowLength = RowLength();
  const std::vector<UBYTE> padding(PaddedRowLength() - rowLength, 0);
  for (ULONG row = Height; row-- > 0;) {
    ofs.WriteBlock(pixels + std::size_t(row) * rowLength, rowLength);
    ofs.WriteBlock(padding.data(), ULONG(padding.size()));
  }
  if (ofs.fail())
    qzcError(signature, "while sending data to binary file stream!").Report();
  return ofs;
}

ifbstream& qzgBmp::ReadData(ifbstream& ifs, UBYTE* pixels) {
  static const char* const signature = "ifbstream& qzgBmp::ReadData( ifbstream&, UBYTE* )";
  // Reading compressed runs as rows would make pixels of run codes.
  if (!ReportUnsupportedLayout(signature, *this)) {
    ifs.setstate(std::ios::failbit);
    return ifs;
  }
  const ULONG rowLength = RowLength();
  const ULONG padding = PaddedRowLength() - rowLength;
  for (ULONG row = Height; row-- > 0 && !ifs.fail();) {
    ifs.ReadBlock(pixels + std::size_t(row) * rowLength, rowLength);
    ifs.ignore(padding);
  }
  if (ifs.fail())
    qzcError(signature, "while reading data from binary file stream!").Report();
  return ifs;
}
