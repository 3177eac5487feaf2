// Dictionary entries: VR codes and tokens, VM text forms, and the text and
// binary forms of a description.
#include "dicom/qzmDicomDataElementDescription.h"

#include <cctype>
#include <istream>
#include <limits>
#include <ostream>
#include <string>

#include "lib/ifbstream.h"
#include "lib/ofbstream.h"
#include "lib/qzcError.h"
#include "lib/qzcWarning.h"

typedef qzmDicomDataElementDescription Description;

namespace {

struct VRToken {
  Description::VR code;
  char token[3];
};

const VRToken vrTokens[] = {
    {Description::FL, "FL"}, {Description::FD, "FD"}, {Description::SL, "SL"}, {Description::SS, "SS"},
    {Description::UL, "UL"}, {Description::US, "US"}, {Description::AS, "AS"}, {Description::AT, "AT"},
    {Description::DA, "DA"}, {Description::DT, "DT"}, {Description::TM, "TM"}, {Description::ss, "ss"},
    {Description::AE, "AE"}, {Description::CS, "CS"}, {Description::DS, "DS"}, {Description::IS, "IS"},
    {Description::LO, "LO"}, {Description::LT, "LT"}, {Description::PN, "PN"}, {Description::SH, "SH"},
    {Description::ST, "ST"}, {Description::UI, "UI"}, {Description::OB, "OB"}, {Description::SQ, "SQ"},
    {Description::UN, "UN"}, {Description::OW, "OW"}, {Description::os, "os"}, {Description::ox, "ox"},
    {Description::xs, "xs"},
};

const char* const vmParseSignature = "istream& operator >>( istream&, qzmDicomDataElementDescription::VM& )";

// Fails the stream and reports one VM syntax fault about token.
std::istream& RefuseVMToken(std::istream& is, const char* message, const qzcString& token) {
  is.setstate(std::ios::failbit);
  qzcError(vmParseSignature, message, token.c_str()).Report();
  return is;
}

// The decimal number at position (0 when there is no digit), leaving position
// after its digits. Numbers beyond the 16-bit range stay above VMUnbounded.
long DecimalAt(const qzcString& token, std::string::size_type& position) {
  long value = 0;
  for (; position < token.size() && std::isdigit(static_cast<unsigned char>(token[position])); ++position)
    if (value <= Description::VMUnbounded)
      value = value * 10 + (token[position] - '0');
  return value;
}

// The text padded with spaces on the right to width characters (never cut).
std::string PaddedTo(std::string text, std::string::size_type width) {
  if (text.size() < width)
    text.append(width - text.size(), ' ');
  return text;
}

// Skips white space up to, not including, the end of the line.
void SkipBlanksOfLine(std::istream& is) {
  for (int c = is.peek(); c != '\n' && c != EOF && std::isspace(c); c = is.peek())
    is.get();
}

}  // namespace

Description::VR Description::TranslateVR(const char first, const char second) {
  for (const VRToken& entry : vrTokens)
    if (entry.token[0] == first && entry.token[1] == second)
      return entry.code;
  qzcWarning("qzmDicomDataElementDescription::VR qzmDicomDataElementDescription::TranslateVR( const char, const char )",
             "unknown VR token %c%c!", first, second)
      .Report();
  return UNDEFINED;
}

const char* Description::TokenOf(VR code) {
  if (code == UNDEFINED)
    return "UNDEFINED";
  for (const VRToken& entry : vrTokens)
    if (entry.code == code)
      return entry.token;
  return "UNKNOWN ??";
}

std::ostream& operator<<(std::ostream& os, const Description::VR vr) {
  return os << Description::TokenOf(vr);
}

std::istream& operator>>(std::istream& is, Description::VR& vr) {
  static const char* const signature = "istream& operator >>( istream&, qzmDicomDataElementDescription::VR& )";
  qzcString token;
  token.ReadWord(is);
  if (is.fail()) {
    qzcError(signature, "failed while reading VR token!").Report();
    return is;
  }
  if (token.size() != 2) {
    is.setstate(std::ios::failbit);
    qzcError(signature, "token (%s) length %u != 2!", token.c_str(), static_cast<unsigned>(token.size())).Report();
    return is;
  }
  const Description::VR code = Description::TranslateVR(token[0], token[1]);
  if (code == Description::UNDEFINED) {
    is.setstate(std::ios::failbit);
    qzcError(signature, "unknown VR token %s!", token.c_str()).Report();
    return is;
  }
  vr = code;
  return is;
}

std::ostream& operator<<(std::ostream& os, const Description::VM& vm) {
  const std::string first = std::to_string(vm.First());
  if (vm.First() == vm.Last())
    return os << PaddedTo(first, 4);
  if (vm.Last() == Description::VMUnbounded) {
    const std::string step = vm.Step() == 1 ? "" : std::to_string(vm.Step());
    if (vm.First() == 0)
      return os << step << (step.empty() ? "n   " : "n  ");
    return os << first << '-' << step << (step.empty() ? "n " : "n");
  }
  return os << first << '-' << PaddedTo(std::to_string(vm.Last()), 2);
}

std::istream& operator>>(std::istream& is, Description::VM& vm) {
  qzcString token;
  token.ReadWord(is);
  if (is.fail()) {
    qzcError(vmParseSignature, "failed while reading VM token!").Report();
    return is;
  }
  if (token.empty())
    return RefuseVMToken(is, "no VM token!", token);
  if (token.find_first_not_of("0123456789n-") != std::string::npos)
    return RefuseVMToken(is, "wrong VM syntax (invalid character) in token %s!", token);

  const long n = Description::VMUnbounded;
  long first = 0, last = n, step = 1;
  if (token[0] != 'n') {
    std::string::size_type position = 0;
    const long number = DecimalAt(token, position);
    if (number == 0)
      return RefuseVMToken(is, "wrong VM syntax (no digit or 0) in token %s!", token);
    const std::string::size_type dash = token.find('-');
    const std::string::size_type letterN = token.find('n');
    if (dash == std::string::npos) {
      // "Kn" or a fixed count.
      if (letterN != std::string::npos)
        step = number;
      else
        first = last = number;
    } else {
      if (dash + 1 == token.size())
        return RefuseVMToken(is, "wrong VM syntax (x-?: missing second member)in token %s!", token);
      if (letterN < dash)
        return RefuseVMToken(is, "wrong VM syntax ('n' before '-')in token %s!", token);
      first = number;
      position = dash + 1;
      const long second = DecimalAt(token, position);
      // "N-n", "N-Kn" or "N-M".
      if (position < token.size() && token[position] == 'n')
        step = position == dash + 1 ? 1 : second;
      else
        last = second;
    }
  }
  if (first > n || last > n || step > n)
    return RefuseVMToken(is, "wrong VM syntax (number too large) in token %s!", token);
  if (!vm.Set(static_cast<qzcIndex>(first), static_cast<qzcIndex>(last), static_cast<qzcIndex>(step)))
    return RefuseVMToken(is, "unable to build VM from token %s!", token);
  return is;
}

ofbstream& operator<<(ofbstream& ofs, const Description::VR vr) {
  return ofs << static_cast<UBYTE>(vr & 0xFF);
}

ifbstream& operator>>(ifbstream& ifs, Description::VR& vr) {
  UBYTE code = 0;
  if (ifs >> code)
    vr = static_cast<Description::VR>(code);
  return ifs;
}

std::ostream& Description::Print(std::ostream& os) const {
  os << (retired ? "! " : "  ") << vr << ' ' << vm << ' ' << name;
  if (os.fail())
    qzcError("ostream& qzmDicomDataElementDescription::Print( ostream& ) const", "while sending instance to ostream!")
        .Report();
  return os;
}

std::istream& Description::Parse(std::istream& is) {
  static const char* const signature = "istream& qzmDicomDataElementDescription::Parse( istream& )";
  is >> std::ws;
  bool isRetired = false;
  if (is.peek() == '!') {
    isRetired = true;
    is.get();
    is >> std::ws;
  } else if (is.peek() == 'R') {
    // "RET" marks an entry that an earlier line defined as retired.
    qzcString token;
    if (token.ReadWord(is) && token == "RET") {
      retired = true;
      vr = UNDEFINED;
      name.clear();
      is.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
      return is;
    }
    is.setstate(std::ios::failbit);
    qzcError(signature, "unknown token %s!", token.c_str()).Report();
    qzcError(signature, "while getting instance from stream!").Report();
    return is;
  }

  VR code = UNDEFINED;
  VM multiplicity;
  qzcString text;
  if ((is >> code) && (is >> multiplicity)) {
    SkipBlanksOfLine(is);
    // An entry without a name may end the file without a line feed.
    if (is.peek() != EOF)
      text.ReadLine(is);
  }
  if (is.fail()) {
    qzcError(signature, "while getting instance from stream!").Report();
    return is;
  }
  vr = code;
  vm = multiplicity;
  name = text;
  retired = isRetired;
  return is;
}

ofbstream& Description::Write(ofbstream& ofs) const {
  static const char* const signature = "ofbstream& qzmDicomDataElementDescription::Write( ofbstream& ) const";
  // A 2-byte length cannot hold a longer name: refuse rather than write a
  // repository that reads back out of step.
  if (ofs.HasBFlags(iobs::str_size_2_bit) && name.size() > 0xFFFF) {
    ofs.setstate(std::ios::failbit);
    qzcError(signature, "name of %lu characters too long for a 2-byte length!", static_cast<unsigned long>(name.size()))
        .Report();
  }
  if (ofs) {
    ofs << vr;
    vm.Write(ofs);
    ofs << static_cast<const std::string&>(name) << static_cast<UWORD>(retired ? 1 : 0);
  }
  if (ofs.fail())
    qzcError(signature, "while sending instance to binary file stream!").Report();
  return ofs;
}

ifbstream& Description::Read(ifbstream& ifs) {
  VR code = UNDEFINED;
  VM multiplicity;
  qzcString text;
  UWORD retiredFlag = 0;
  if (ifs >> code)
    multiplicity.Read(ifs);
  // The stream refuses a length longer than what remains of the file.
  if (ifs)
    ifs >> text;
  if (ifs)
    ifs >> retiredFlag;
  if (ifs) {
    vr = code;
    vm = multiplicity;
    name = text;
    retired = retiredFlag != 0;
  } else {
    qzcError("ifbstream& qzmDicomDataElementDescription::Read( ifbstream& )",
             "while getting instance from binary file stream!")
        .Report();
  }
  return ifs;
}
