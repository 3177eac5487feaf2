#include "formats/qzgJfifHeader.h"

#include "lib/ifbstream.h"
#include "lib/ofbstream.h"
#include "lib/qzcError.h"

#include <cstring>
#include <ostream>

namespace {

const UWORD StartOfImage = 0xFFD8;
const UWORD App0 = 0xFFE0;
const UWORD MinimumLength = 16;
// "JFIF" and its terminating NUL.
const char Signature[5] = {'J', 'F', 'I', 'F', '\0'};

}  // namespace

bool qzgJfifHeader::StartsWithSoi(const UBYTE* block, ULONG size) {
  return size >= 2 && block[0] == 0xFF && block[1] == 0xD8;
}

bool qzgJfifHeader::IsJfif(const UBYTE* block, ULONG size) {
  return size >= 11 && StartsWithSoi(block, size) && block[2] == 0xFF && block[3] == 0xE0 &&
         ((block[4] << 8) | block[5]) >= MinimumLength && std::memcmp(block + 6, Signature, 5) == 0;
}

std::ostream& qzgJfifHeader::Print(std::ostream& os) const {
  static const char* const signature = "ostream& qzgJfifHeader::Print( ostream& ) const";
  os << "   Length : " << Length << "\n"
     << "  Version : " << unsigned(VersionMajor) << "." << unsigned(VersionMinor) << "\n"
     << "Densities : " << unsigned(DensityUnits) << "/" << XDensity << "/" << YDensity << "\n"
     << "Thumbnail : " << unsigned(ThumbnailWidth) << "x" << unsigned(ThumbnailHeight) << "\n";
  if (os.fail())
    qzcError(signature, "while sending instance to ostream!").Report();
  return os;
}

ofbstream& qzgJfifHeader::Write(ofbstream& ofs) const {
  static const char* const signature = "ofbstream& qzgJfifHeader::Write( ofbstream& ) const";
  const ULONG policy = ofs.GetBFlags();
  ofs << big_endian;
  ofs << StartOfImage << App0 << Length;
  ofs.WriteBlock(Signature, sizeof Signature);
  ofs << VersionMajor << VersionMinor << DensityUnits << XDensity << YDensity << ThumbnailWidth << ThumbnailHeight;
  if (ofs.fail())
    qzcError(signature, "while sending instance to binary file stream!").Report();
  ofs.SetBFlags(policy);
  return ofs;
}

ifbstream& qzgJfifHeader::Read(ifbstream& ifs) {
  static const char* const signature = "ifbstream& qzgJfifHeader::Read( ifbstream& )";
  const ULONG policy = ifs.GetBFlags();
  ifs >> big_endian;
  UWORD marker = 0, length = 0;
  char name[5] = {1, 1, 1, 1, 1};
  if (!(ifs >> marker) || marker != StartOfImage)
    qzcError(signature, "could not find SOI!").Report();
  else if (!(ifs >> marker) || marker != App0)
    qzcError(signature, "could not find APP0!").Report();
  else if (!(ifs >> length))
    qzcError(signature, "while getting header from binary file stream!").Report();
  else if (length < MinimumLength)
    qzcError(signature, "length %u is < 16!", unsigned(length)).Report();
  else if (!ifs.ReadBlock(name, sizeof name) || std::memcmp(name, Signature, sizeof name) != 0)
    qzcError(signature, "JFIF signature not found!").Report();
  else {
    Length = length;
    ifs >> VersionMajor >> VersionMinor >> DensityUnits >> XDensity >> YDensity >> ThumbnailWidth >> ThumbnailHeight;
    if (ifs.fail())
      qzcError(signature, "while getting header from binary file stream!").Report();
    ifs.SetBFlags(policy);
    return ifs;
  }
  // Data that are not a JFIF header leave the stream failed, as a short
  // file does, so that callers see the refusal.
  ifs.setstate(std::ios::failbit);
  ifs.SetBFlags(policy);
  return ifs;
}
