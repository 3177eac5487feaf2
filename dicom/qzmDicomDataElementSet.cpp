// The data element set: the transfer-syntax table, lookups by tag set, the
// current dictionary and the text dump.
#include "dicom/qzmDicomDataElementSet.h"

#include <cstring>
#include <ostream>

#include "dicom/qzmDicomDataElementDictionary.h"
#include "lib/qzcError.h"
#include "lib/qzcWarning.h"

qzmDicomDataElementDictionary* qzmDicomDataElementSet::currentDictionary = nullptr;

const char* const qzmDicomDataElementSet::ImplicitVRLittleEndian = "1.2.840.10008.1.2";
const char* const qzmDicomDataElementSet::ExplicitVRLittleEndian = "1.2.840.10008.1.2.1";
const char* const qzmDicomDataElementSet::ExplicitVRBigEndian = "1.2.840.10008.1.2.2";
const char* const qzmDicomDataElementSet::RLELossless = "1.2.840.10008.1.2.5";
const char* const qzmDicomDataElementSet::JPEGFamilyPrefix = "1.2.840.10008.1.2.4.";
const char* const qzmDicomDataElementSet::Signature = "DICM";

ULONG qzmDicomDataElementSet::SyntaxBFlags(const qzcString& transferSyntaxUID) {
  if (transferSyntaxUID == ImplicitVRLittleEndian)
    return iobs::implicit_hint | iobs::little_endian_bit | iobs::native_hint;
  if (transferSyntaxUID == ExplicitVRLittleEndian)
    return iobs::explicit_hint | iobs::little_endian_bit | iobs::native_hint;
  if (transferSyntaxUID == ExplicitVRBigEndian)
    return iobs::explicit_hint | iobs::big_endian_bit | iobs::native_hint;
  // JPEG, RLE and every other syntax.
  return iobs::explicit_hint | iobs::little_endian_bit | iobs::encapsulated_hint;
}

bool qzmDicomDataElementSet::IsNativeSyntax(const qzcString& transferSyntaxUID) {
  return transferSyntaxUID == ImplicitVRLittleEndian || transferSyntaxUID == ExplicitVRLittleEndian ||
         transferSyntaxUID == ExplicitVRBigEndian;
}

bool qzmDicomDataElementSet::IsJpegSyntax(const qzcString& transferSyntaxUID) {
  return transferSyntaxUID.compare(0, std::strlen(JPEGFamilyPrefix), JPEGFamilyPrefix) == 0;
}

void qzmDicomDataElementSet::SetSyntaxPolicy(iobs& stream, const qzcString& transferSyntaxUID) {
  stream.RemoveBFlags(iobs::syntax_bits);
  stream.AddBFlags(SyntaxBFlags(transferSyntaxUID));
}

void qzmDicomDataElementSet::ApplySyntax(iobs& stream, iobsManipulator manipulator, const char* defaultSyntax) {
  if (manipulator != nullptr)
    manipulator(stream);
  else
    SetSyntaxPolicy(stream, defaultSyntax);
}

UWORD qzmDicomDataElementSet::CountOf(const qzmDicomDataElementTagSet& tags) const {
  UWORD found = 0;
  for (const qzmDicomDataElementTag& tag : tags)
    found += UWORD(count(tag));
  return found;
}

bool qzmDicomDataElementSet::ContainsAnyOf(const qzmDicomDataElementTagSet& tags) const {
  for (const qzmDicomDataElementTag& tag : tags)
    if (count(tag))
      return true;
  return false;
}

qzmDicomDataElementSet::const_iterator qzmDicomDataElementSet::FindLastOf(const qzmDicomDataElementTagSet& tags) const {
  for (auto tag = tags.rbegin(); tag != tags.rend(); ++tag) {
    const const_iterator element = find(*tag);
    if (element != end())
      return element;
  }
  return end();
}

namespace {

const std::size_t NameWidth = 30;

// The first columns of a dump line: nesting marks and the name field.
std::ostream& LineStart(std::ostream& os, int depth, const qzcString& name) {
  const int justification = name.size() <= NameWidth ? qzcString::Right : qzcString::Centre;
  return os << std::string(std::size_t(depth), '>') << name.Justified(NameWidth, justification) << ' ';
}

}  // namespace

std::ostream& qzmDicomDataElementSet::Print(std::ostream& os) const {
  static const char* const signature = "ostream& qzmDicomDataElementSet::Print( ostream& ) const";
  const qzmDicomDataElementDictionary* dictionary = NeededDictionary();
  if (dictionary == nullptr)
    qzcWarning(signature, "dictionary was not found or is empty !").Report();
  PrintElements(os, dictionary, 0);
  if (os.fail())
    qzcError(signature, "while sending instance to ostream!").Report();
  return os;
}

void qzmDicomDataElementSet::PrintElements(std::ostream& os, const qzmDicomDataElementDictionary* dictionary,
                                           int depth) const {
  static const qzmDicomDataElementTag ItemTag(0xFFFE, 0xE000);
  const qzcString unknown(dictionary ? "<UNKNOWN>" : "<NO DICTIONARY>");
  for (const_iterator element = begin(); element != end() && os; ++element) {
    const auto entry = dictionary ? dictionary->find(element->first) : qzmDicomDataElementDictionary::const_iterator();
    if (dictionary && entry != dictionary->end()) {
      const qzmDicomDataElementDescription& description = entry->second;
      LineStart(os, depth, description.name)
          << element->first << ' ' << (description.retired ? '!' : ' ') << description.vm << ' ';
    } else {
      LineStart(os, depth, unknown) << element->first << "       ";
    }
    const qzmDicomDataElementValue& value = element->second;
    os << value.Token() << " [";
    // Text read from the file cannot break the dump's line nor reach the
    // terminal as escape sequences.
    if (qzmDicomDataElementValue::IsStringVR(value.GetVR()))
      os << value.LT().Escaped(true);
    else
      value.Print(os);
    os << "]\n";
    if (value.GetVR() != qzmDicomDataElementDescription::SQ)
      continue;
    std::size_t number = 0;
    for (const auto& item : value.SQ()) {
      LineStart(os, depth + 1, "Item") << ItemTag << "       na [#" << ++number << "]\n";
      item->PrintElements(os, dictionary, depth + 2);
    }
  }
}
