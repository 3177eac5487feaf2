// Writing of data element sets: ranges of elements with computed group
// lengths, and whole files with preamble, meta group and body syntax.
#include "dicom/qzmDicomDataElementSet.h"

#include <iterator>

#include "lib/ofbstream.h"
#include "lib/qzcFileName.h"
#include "lib/qzcError.h"

namespace {

const qzmDicomDataElementTag TransferSyntaxUID(0x0002, 0x0010);
const qzmDicomDataElementTag LengthToEnd(0x0008, 0x0001);

// Even-group lengths are computed, and (0008,0001) is never written.
bool IsLeftOut(const qzmDicomDataElementTag& tag) {
  return (tag.element == 0 && tag.group % 2 == 0) || tag == LengthToEnd;
}

// The bytes that the written elements of first's group take, from first to
// the end of the group within the range.
ULONG GroupLength(const iobs& policy, qzmDicomDataElementSet::const_iterator first,
                  qzmDicomDataElementSet::const_iterator last) {
  ULONG length = 0;
  for (auto element = first; element != last && element->first.group == first->first.group; ++element)
    if (!IsLeftOut(element->first))
      length += 4 + element->second.LengthOnStream(policy);
  return length;
}

}  // namespace

ofbstream& qzmDicomDataElementSet::WriteRange(ofbstream& ofs, const_iterator first, const_iterator last) const {
  static const char* const signature =
      "ofbstream& qzmDicomDataElementSet::WriteRange( ofbstream&, qzmDicomDataElementSet::const_iterator, "
      "qzmDicomDataElementSet::const_iterator ) const";
  bool lengthWritten = false;
  UWORD lengthGroup = 0;
  for (const_iterator element = first; element != last && !ofs.fail(); ++element) {
    const qzmDicomDataElementTag& tag = element->first;
    if ((!lengthWritten || tag.group != lengthGroup) && tag.group % 2 == 0) {
      qzmDicomDataElementValue length;
      length.UL() = GroupLength(ofs, element, last);
      ofs << qzmDicomDataElementTag(tag.group, 0);
      length.Write(ofs);
      if (ofs.fail()) {
        qzcError(signature, "while writting Group Length element (%04hX,%04hX)!", tag.group, UWORD(0)).Report();
        break;
      }
      lengthWritten = true;
      lengthGroup = tag.group;
    }
    if (IsLeftOut(tag))
      continue;
    ofs << tag;
    element->second.Write(ofs);
    if (ofs.fail()) {
      qzcError(signature, "while writting element (%04hX,%04hX)!", tag.group, tag.element).Report();
      break;
    }
  }
  if (ofs.fail())
    qzcError(signature, "while sending instance to binary file stream!").Report();
  return ofs;
}

ULONG qzmDicomDataElementSet::ItemLength(const iobs& policy) const {
  ULONG length = 0;
  for (const auto& element : *this)
    if (!IsLeftOut(element.first))
      length += 4 + element.second.LengthOnStream(policy);
  return length;
}

ofbstream& qzmDicomDataElementSet::WriteItem(ofbstream& ofs) const {
  static const char* const signature = "ofbstream& qzmDicomDataElementSet::WriteItem( ofbstream& ) const";
  for (const_iterator element = begin(); element != end() && !ofs.fail(); ++element) {
    if (IsLeftOut(element->first))
      continue;
    ofs << element->first;
    element->second.Write(ofs);
    if (ofs.fail())
      qzcError(signature, "while writting element (%04hX,%04hX) of an item!", element->first.group,
               element->first.element)
          .Report();
  }
  return ofs;
}

ofbstream& qzmDicomDataElementSet::WriteAsFile(ofbstream& ofs, iobsManipulator manipulator) const {
  static const char* const signature =
      "ofbstream& qzmDicomDataElementSet::WriteAsFile( ofbstream&, iobs& (*)(iobs&) ) const";
  const qzmDicomDataElementTagSet& meta = qzmDicomDataElementTagSet::FileMetaFilter();
  if (ContainsAnyOf(meta)) {
    const const_iterator syntax = find(TransferSyntaxUID);
    if (syntax == end()) {
      ofs.setstate(std::ios::failbit);
      qzcError(signature, "Transfer Syntax UID not found in File Meta Information part of the set!").Report();
      return ofs;
    }
    const char preamble[PreambleLength] = {};
    ofs.WriteBlock(preamble, PreambleLength);
    ofs.WriteBlock(Signature, 4);
    ApplySyntax(ofs, manipulator, ExplicitVRLittleEndian);
    // Elements of groups below the meta group (invalid, but found in files)
    // go to the body with the others.
    const const_iterator metaStart = lower_bound(qzmDicomDataElementTag(0x0002, 0x0000));
    const const_iterator bodyStart = std::next(FindLastOf(meta));
    WriteRange(ofs, metaStart, bodyStart);
    SetSyntaxPolicy(ofs, syntax->second.UI());
    WriteRange(ofs, begin(), metaStart);
    WriteRange(ofs, bodyStart, end());
  } else {
    ApplySyntax(ofs, manipulator, ImplicitVRLittleEndian);
    Write(ofs);
  }
  if (ofs.fail())
    qzcError(signature, "while sending instance to binary file stream!").Report();
  return ofs;
}

bool qzmDicomDataElementSet::Save(const qzcFileName& name, iobsManipulator manipulator) const {
  static const char* const signature =
      "bool qzmDicomDataElementSet::Save( const qzcFileName&, iobs& (*)(iobs&) ) const";
  ofbstream ofs(name.c_str(), std::ios::out | std::ios::binary | std::ios::trunc);
  if (!ofs) {
    qzcError(signature, "while opening file %s!", name.c_str()).Report();
    return false;
  }
  WriteAsFile(ofs, manipulator);
  if (ofs.fail()) {
    qzcError(signature, "while writing instance to %s!", name.c_str()).Report();
    return false;
  }
  return true;
}
