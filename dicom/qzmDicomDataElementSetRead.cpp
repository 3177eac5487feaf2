// Reading of data element sets: element by element with an optional tag
// filter, and whole files with their preamble, meta group and transfer
// syntax.
#include "dicom/qzmDicomDataElementSet.h"

#include "dicom/qzmDicomDataElementDictionary.h"
#include "dicom/qzmDeflatedBody.h"
#include "lib/ifbstream.h"
#include "lib/qzcError.h"
#include "lib/qzcFileName.h"
#include "lib/qzcIoFunctions.h"
#include "lib/qzcWarning.h"

#include <sys/stat.h>

#include <cctype>

typedef qzmDicomDataElementDescription Description;

namespace {

const char* const ReadFilteredSignature =
    "ifbstream& qzmDicomDataElementSet::ReadFiltered( ifbstream&, const qzmDicomDataElementTagSet* )";
const char* const ReadAsFileSignature =
    "ifbstream& qzmDicomDataElementSet::ReadAsFile( ifbstream&, const qzmDicomDataElementTagSet*, iobs& (*)(iobs&) )";

const qzmDicomDataElementTag ItemDelimitation(0xFFFE, 0xE00D);
const qzmDicomDataElementTag TransferSyntaxUID(0x0002, 0x0010);
const qzmDicomDataElementTag PixelRepresentation(0x0028, 0x0103);

bool IsGroupLength(const qzmDicomDataElementTag& tag) {
  return tag.element == 0 && tag.group % 2 == 0;
}

bool IsPrivateCreator(const qzmDicomDataElementTag& tag) {
  return tag.group % 2 == 1 && tag.element >= 0x0010 && tag.element <= 0x00FF;
}

// The VR that the dictionary gives an element read in implicit VR, with the
// pseudo-VRs resolved; encapsulated data are bytes.
Description::VR ImplicitVR(Description::VR dictionaryVR, const qzmDicomDataElementSet& set, bool encapsulated) {
  switch (dictionaryVR) {
    case Description::ss:
      return Description::US;
    case Description::os:
    case Description::ox:
      return encapsulated ? Description::OB : Description::OW;
    case Description::xs: {
      const auto representation = set.find(PixelRepresentation);
      const bool isSigned = representation != set.end() && representation->second.US() == 1;
      return isSigned ? Description::SS : Description::US;
    }
    default:
      return dictionaryVR;
  }
}

// Skips an element that the filter does not want: a group length of a group
// below the wanted one takes the whole group with it.
void SkipUnwanted(ifbstream& ifs, const qzmDicomDataElementTag& tag, const qzmDicomDataElementTag& wanted) {
  qzmDicomDataElementValue header;
  const ULONG len = header.ReadButValue(ifs);
  if (ifs.fail())
    return;
  if (tag.group < wanted.group && IsGroupLength(tag) && len == 4) {
    ULONG groupLength = 0;
    if (ifs >> groupLength)
      qzmDicomDataElementValue::SkipValue(ifs, groupLength);
    return;
  }
  qzmDicomDataElementValue::SkipValue(ifs, len);
}

// The body is read from its inflated copy, and the set then says what it
// holds: explicit VR little endian, which is also how a writer encodes it.
ifbstream& ReadDeflatedBody(qzmDicomDataElementSet& set, ifbstream& ifs, const qzmDicomDataElementTagSet* filter) {
  ifbstream inflated;
  if (qzmDeflatedBody::Open(ifs, inflated)) {
    set.ReadFiltered(inflated, filter);
    set[TransferSyntaxUID].UI() = qzmDicomDataElementSet::ExplicitVRLittleEndian;
  }
  if (!inflated.is_open() || inflated.fail()) {
    ifs.setstate(std::ios::failbit);
    qzcError(ReadAsFileSignature, "while reading the deflated instance from binary file stream!").Report();
  }
  return ifs;
}

}  // namespace

const qzmDicomDataElementDictionary* qzmDicomDataElementSet::NeededDictionary() {
  if (currentDictionary == nullptr) {
    qzmDicomDataElementDictionary& processWide = qzmDicomDataElementDictionary::ProcessWide();
    if (processWide.AutoLoad())
      currentDictionary = &processWide;
  }
  return currentDictionary != nullptr && !currentDictionary->empty() ? currentDictionary : nullptr;
}

ifbstream& qzmDicomDataElementSet::ReadFiltered(ifbstream& ifs, const qzmDicomDataElementTagSet* filter) {
  ReadElements(ifs, filter, qzmDicomDataElementValue::NoReadLimit);
  return ifs;
}

bool qzmDicomDataElementSet::ReadItem(ifbstream& ifs, ULONG len) {
  static const char* const signature = "bool qzmDicomDataElementSet::ReadItem( ifbstream&, ULONG )";
  const unsigned long start = qzmDicomDataElementValue::PositionOf(ifs);
  if (len == qzmDicomDataElementValue::UndefinedLength) {
    if (ReadElements(ifs, nullptr, qzmDicomDataElementValue::NoReadLimit) != ReadEnd::ItemDelimitation && !ifs.fail()) {
      ifs.setstate(std::ios::failbit);
      qzcError(signature, "item delimitation missing before the end of the stream! (0x%lx)", start).Report();
    }
  } else if (qzmDicomDataElementValue::CheckLength(ifs, len, signature)) {
    const unsigned long end = start + len;
    const qzmDicomDataElementValue::ReadLimit limit(end);
    ReadElements(ifs, nullptr, end);
    if (!ifs.fail() && qzmDicomDataElementValue::PositionOf(ifs) != end) {
      ifs.setstate(std::ios::failbit);
      qzcError(signature, "elements of the item of %lu bytes run past its end! (0x%lx)", (unsigned long)len, start)
          .Report();
    }
  }
  return !ifs.fail();
}

qzmDicomDataElementSet::ReadEnd qzmDicomDataElementSet::ReadElements(ifbstream& ifs,
                                                                     const qzmDicomDataElementTagSet* filter,
                                                                     unsigned long limit) {
  const qzmDicomDataElementDictionary* dictionary = nullptr;
  if (ifs.HasBFlags(iobs::implicit_hint)) {
    dictionary = NeededDictionary();
    if (dictionary == nullptr) {
      ifs.setstate(std::ios::failbit);
      qzcError(ReadFilteredSignature, "mandatory DICOM dictionary not found or empty ! (even the default one)")
          .Report();
      return ReadEnd::Failure;
    }
  }
  unsigned dropped = 0;
  // A damaged set can give a warning per element: past this many the set is
  // given up, so that no file can fill the warning channel to its limit.
  const unsigned MaximumWarnings = 1000;
  const UWORD warningsBefore = qzcException::warningChannel.count;
  qzmDicomDataElementTagSet::const_iterator wanted;
  qzmDicomDataElementTag previous;
  bool readAny = false;
  ReadEnd end = ReadEnd::StreamEnd;
  if (filter != nullptr)
    wanted = filter->begin();
  while (ifs.good()) {
    if (unsigned(UWORD(qzcException::warningChannel.count - warningsBefore)) > MaximumWarnings) {
      qzcError(ReadFilteredSignature, "more than %u warnings while reading the set: given up as damaged! (0x%lx)",
               MaximumWarnings, qzmDicomDataElementValue::PositionOf(ifs))
          .Report();
      ifs.setstate(std::ios::failbit);
      break;
    }
    if (limit != qzmDicomDataElementValue::NoReadLimit) {
      if (qzmDicomDataElementValue::PositionOf(ifs) >= limit) {
        end = ReadEnd::Limit;
        break;
      }
    } else if (ifs.peek() == std::char_traits<char>::eof()) {
      break;
    }
    qzmDicomDataElementTag tag;
    if (!(ifs >> tag)) {
      qzcError(ReadFilteredSignature, "while getting Data Element Tag from stream! (0x%lx)",
               qzmDicomDataElementValue::PositionOf(ifs))
          .Report();
      break;
    }
    if (tag == ItemDelimitation) {
      ULONG len = 0;
      ifs >> len;
      end = ReadEnd::ItemDelimitation;
      break;
    }
    if (filter != nullptr) {
      while (wanted != filter->end() && *wanted < tag)
        ++wanted;
      // Past the last wanted tag, or back in tag order (the next group has
      // begun): left on the stream for the next reader.
      if (wanted == filter->end() || (readAny && tag < previous)) {
        ifs.seekg(-4, std::ios::cur);
        break;
      }
      readAny = true;
      previous = tag;
      if (tag < *wanted) {
        SkipUnwanted(ifs, tag, *wanted);
        continue;
      }
    }
    const iterator element = emplace(tag, qzmDicomDataElementValue()).first;
    qzmDicomDataElementValue& value = element->second;
    if (dictionary != nullptr) {
      // Elements the dictionary does not know (private ones, mostly) are kept
      // as UN, or read as a sequence when their length is undefined; private
      // creators are LO.
      const auto entry = dictionary->find(tag);
      if (entry != dictionary->end())
        value.SetVR(ImplicitVR(entry->second.vr, *this, ifs.HasBFlags(iobs::encapsulated_hint)));
      else
        value.SetVR(IsPrivateCreator(tag) ? Description::LO : Description::UN);
    }
    value.Read(ifs);
    if (ifs.fail()) {
      erase(element);
      qzcError(ReadFilteredSignature, "while getting value of element (%04hX,%04hX)! (0x%lx)", tag.group, tag.element,
               qzmDicomDataElementValue::PositionOf(ifs))
          .Report();
      break;
    }
    if (value.GetVR() == Description::UNDEFINED) {
      erase(element);
      ++dropped;
    }
  }
  if (ifs.fail() || ifs.bad()) {
    qzcError(ReadFilteredSignature, "while getting instance from binary file stream!").Report();
    end = ReadEnd::Failure;
  }
  if (dropped > 0)
    qzcWarning(ReadFilteredSignature, "Skipped : %u data elements (unknown VR or value that could not be read)",
               dropped)
        .Report();
  return end;
}

void qzmDicomDataElementSet::MatchVREncoding(ifbstream& ifs, const qzcString& declaredSyntax) {
  static const char* const signature = "void qzmDicomDataElementSet::MatchVREncoding( ifbstream&, const qzcString& )";
  // A deflated body shows its encoding only once inflated.
  if (declaredSyntax == "1.2.840.10008.1.2.1.99")
    return;
  const std::streampos start = ifs.tellg();
  UBYTE head[6] = {};
  const bool complete = bool(ifs.ReadBlock(head, sizeof head));
  ifs.clear();
  ifs.seekg(start);
  if (!complete)
    return;
  const bool looksExplicit = std::isupper(head[4]) && std::isupper(head[5]);
  const bool declaredExplicit = ifs.HasBFlags(iobs::explicit_hint);
  if (looksExplicit == declaredExplicit)
    return;
  qzcWarning(signature, "data set declared %s (%s VR) is encoded in %s VR; read as found", declaredSyntax.c_str(),
             declaredExplicit ? "explicit" : "implicit", declaredExplicit ? "implicit" : "explicit")
      .Report();
  ifs.RemoveBFlags(iobs::explicit_hint | iobs::implicit_hint);
  ifs.AddBFlags(declaredExplicit ? iobs::implicit_hint : iobs::explicit_hint);
}

ifbstream& qzmDicomDataElementSet::ReadAsFile(ifbstream& ifs, const qzmDicomDataElementTagSet* filter,
                                              iobsManipulator manipulator) {
  if (!qzcIoFunctions::HasSignature(ifs, PreambleLength, Signature, 4, true)) {
    // A bare data set.
    ApplySyntax(ifs, manipulator, ImplicitVRLittleEndian);
    ReadFiltered(ifs, filter);
    if (ifs.fail())
      qzcError(ReadAsFileSignature, "while reading instance from binary file stream!").Report();
    return ifs;
  }
  ApplySyntax(ifs, manipulator, ExplicitVRLittleEndian);
  const std::streampos metaStart = ifs.tellg();
  for (int attempt = 1;; ++attempt) {
    ReadFiltered(ifs, &qzmDicomDataElementTagSet::FileMetaFilter());
    if (ifs.fail()) {
      qzcError(ReadAsFileSignature, "while reading File Meta Elements on stream! (check syntax)").Report();
      return ifs;
    }
    const const_iterator syntax = find(TransferSyntaxUID);
    if (syntax != end() && syntax->second.UI() == qzmDeflatedBody::SyntaxUID)
      return ReadDeflatedBody(*this, ifs, filter);
    if (syntax != end()) {
      SetSyntaxPolicy(ifs, syntax->second.UI());
      MatchVREncoding(ifs, syntax->second.UI());
      ReadFiltered(ifs, filter);
      if (ifs.fail())
        qzcError(ReadAsFileSignature, "while reading instance from binary file stream!").Report();
      return ifs;
    }
    qzcError(ReadAsFileSignature, "Transfer Syntax UID not found in File Meta Information header on stream!").Report();
    if (manipulator != nullptr || attempt == 2) {
      ifs.setstate(std::ios::failbit);
      return ifs;
    }
    qzcWarning(ReadAsFileSignature, "Trying with Implicit VR Little Endian syntax...").Report();
    ifs.clear();
    ifs.seekg(metaStart);
    SetSyntaxPolicy(ifs, ImplicitVRLittleEndian);
  }
}

bool qzmDicomDataElementSet::Load(const qzcFileName& name, const qzmDicomDataElementTagSet* filter,
                                  iobsManipulator manipulator) {
  static const char* const signature =
      "bool qzmDicomDataElementSet::Load( const qzcFileName&, const qzmDicomDataElementTagSet*, iobs& (*)(iobs&) )";
  // A device or a pipe (/dev/zero, say) could feed the reader forever.
  struct stat status;
  if (stat(name.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
    qzcError(signature, "%s is not a regular file!", name.c_str()).Report();
    return false;
  }
  ifbstream ifs(name.c_str(), std::ios::in | std::ios::binary);
  if (!ifs) {
    qzcError(signature, "while opening file %s!", name.c_str()).Report();
    return false;
  }
  ReadAsFile(ifs, filter, manipulator);
  if (ifs.fail() || ifs.bad()) {
    qzcError(signature, "while reading instance from %s!", name.c_str()).Report();
    return false;
  }
  return true;
}
