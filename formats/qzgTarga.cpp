#include "formats/qzgTarga.h"

#include "lib/ifbstream.h"
#include "lib/ofbstream.h"
#include "lib/qzcError.h"

#include <ostream>

UBYTE qzgTarga::Descriptor() const {
  return UBYTE((AlphaBits & 0x0F) | (OriginAtTop ? 0x20 : 0) | ((Interleaving & 0x03) << 6));
}

std::ostream& qzgTarga::Print(std::ostream& os) const {
  static const char* const signature = "ostream& qzgTarga::Print( ostream& ) const";
  os << "ID field   : " << unsigned(IdFieldLength) << "\n"
     << "Image Type : " << unsigned(ImageType) << "\n";
  if (HasColorMap)
    os << "CLUT       : " << ColorMapLength << " entries (" << unsigned(ColorMapEntrySize)
       << " bits/entry) in file at offset " << ColorMapOrigin << "\n";
  os << "Image      : " << Width << "x" << Height << ", origin on " << (OriginAtTop ? "top" : "bottom") << " at ["
     << XOrigin << "," << YOrigin << "]\n"
     << "             " << unsigned(PixelDepth) << " bits/pixel ";
  if (AlphaBits)
    os << "+ " << unsigned(AlphaBits) << " alpha-bits";
  os << "\n"
     << "             interleaving type " << unsigned(Interleaving) << "\n";
  if (os.fail())
    qzcError(signature, "while sending instance to ostream!").Report();
  return os;
}

ofbstream& qzgTarga::Write(ofbstream& ofs) const {
  static const char* const signature = "ofbstream& qzgTarga::Write( ofbstream& ) const";
  const ULONG policy = ofs.GetBFlags();
  ofs << little_endian;
  ofs << IdFieldLength << UBYTE(HasColorMap ? 1 : 0) << ImageType;
  if (HasColorMap)
    ofs << ColorMapOrigin << ColorMapLength << ColorMapEntrySize;
  else
    ofs << UWORD(0) << UWORD(0) << UBYTE(0);
  ofs << XOrigin << YOrigin << Width << Height << PixelDepth << Descriptor();
  if (ofs.fail())
    qzcError(signature, "while sending instance to binary file stream!").Report();
  ofs.SetBFlags(policy);
  return ofs;
}

ifbstream& qzgTarga::Read(ifbstream& ifs) {
  static const char* const signature = "ifbstream& qzgTarga::Read( ifbstream& )";
  const ULONG policy = ifs.GetBFlags();
  ifs >> little_endian;
  UBYTE colorMap = 0, descriptor = 0;
  const char* failure = nullptr;
  ifs >> IdFieldLength >> colorMap >> ImageType;
  if (ifs.fail())
    failure = "while getting header from binary file stream!";
  if (!failure && !(ifs >> ColorMapOrigin >> ColorMapLength >> ColorMapEntrySize))
    failure = "while getting CLUT specification from binary file stream!";
  if (!failure && !(ifs >> XOrigin >> YOrigin >> Width >> Height >> PixelDepth))
    failure = "while getting image specification from binary file stream!";
  if (!failure && !(ifs >> descriptor))
    failure = "while getting image attributes from binary file stream!";
  ifs.SetBFlags(policy);
  if (failure) {
    qzcError(signature, failure).Report();
    return ifs;
  }
  HasColorMap = colorMap != 0;
  AlphaBits = descriptor & 0x0F;
  OriginAtTop = (descriptor & 0x20) != 0;
  Interleaving = descriptor >> 6;
  return ifs;
}
