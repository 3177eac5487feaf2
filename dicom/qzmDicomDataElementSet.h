// The content of one DICOM file: an ordered map from tag to value, read from
// and written to Part-10 files and bare data sets in every supported transfer
// syntax, and printed as a text dump.
#ifndef QZM_DICOM_DATA_ELEMENT_SET_H
#define QZM_DICOM_DATA_ELEMENT_SET_H

#include <iosfwd>
#include <map>

#include "dicom/qzmDicomDataElementTag.h"
#include "dicom/qzmDicomDataElementTagSet.h"
#include "dicom/qzmDicomDataElementValue.h"
#include "lib/iobs.h"
#include "lib/qzcObject.h"
#include "lib/qzcString.h"
#include "lib/qzcTypes.h"

class ifbstream;
class ofbstream;
class qzcFileName;
class qzmDicomDataElementDictionary;

class qzmDicomDataElementSet : public virtual qzcObject,
                               public std::map<qzmDicomDataElementTag, qzmDicomDataElementValue> {
 public:
  typedef std::map<qzmDicomDataElementTag, qzmDicomDataElementValue> ElementMap;

  virtual ~qzmDicomDataElementSet() {}

  // Lookup by tag (the map's own) or by group and element.
  using ElementMap::find;
  iterator find(UWORD group, UWORD element) { return ElementMap::find(qzmDicomDataElementTag(group, element)); }
  const_iterator find(UWORD group, UWORD element) const {
    return ElementMap::find(qzmDicomDataElementTag(group, element));
  }

  // Number of the tags of tags present in this set.
  UWORD CountOf(const qzmDicomDataElementTagSet& tags) const;
  bool ContainsAnyOf(const qzmDicomDataElementTagSet& tags) const;
  // The element whose tag is the greatest of tags present here, or end().
  const_iterator FindLastOf(const qzmDicomDataElementTagSet& tags) const;

  // Reads elements with the stream's policy until the end of the stream or
  // an item delimitation, keeping only the tags of filter when one is given.
  // Elements read are added to what the set holds.
  ifbstream& ReadFiltered(ifbstream& ifs, const qzmDicomDataElementTagSet* filter);
  virtual ifbstream& Read(ifbstream& ifs) override { return ReadFiltered(ifs, nullptr); }
  // One item of a sequence, the stream placed after the item's length: len
  // bytes of elements, or elements up to the item delimitation when len is
  // undefined. False, with the stream failed and an error reported, when the
  // item is damaged.
  bool ReadItem(ifbstream& ifs, ULONG len);
  // A whole file: preamble and "DICM" when present, the meta group, then
  // the body in the transfer syntax the meta group names. The manipulator
  // decides how a file without "DICM" and the meta group are read.
  ifbstream& ReadAsFile(ifbstream& ifs, const qzmDicomDataElementTagSet* filter = nullptr,
                        iobsManipulator manipulator = nullptr);
  bool Load(const qzcFileName& name, const qzmDicomDataElementTagSet* filter = nullptr,
            iobsManipulator manipulator = nullptr);

  // Writes the elements of [first, last) with a computed group length before
  // every even group; stored even group lengths and (0008,0001) are left out.
  ofbstream& WriteRange(ofbstream& ofs, const_iterator first, const_iterator last) const;
  virtual ofbstream& Write(ofbstream& ofs) const override { return WriteRange(ofs, begin(), end()); }
  // The elements of an item, and their bytes on a stream of that policy;
  // items carry no group lengths.
  ofbstream& WriteItem(ofbstream& ofs) const;
  ULONG ItemLength(const iobs& policy) const;
  // A whole file: with File Meta elements, preamble, "DICM", the meta group in
  // explicit VR little endian (or the manipulator's syntax) and the body in
  // the syntax of (0002,0010); without them, the bare set in implicit VR
  // little endian (or the manipulator's syntax).
  ofbstream& WriteAsFile(ofbstream& ofs, iobsManipulator manipulator = nullptr) const;
  bool Save(const qzcFileName& name, iobsManipulator manipulator = nullptr) const;

  // The text dump: one line per element with its dictionary name, tag,
  // retired mark, VM, VR and value. The items of a sequence follow it, each
  // an item line and its elements, their lines marked with one '>' per
  // level of nesting.
  virtual std::ostream& Print(std::ostream& os) const override;

  // The dictionary used to read implicit VR and to name elements; empty
  // until first needed, then the process-wide dictionary once it loads.
  static qzmDicomDataElementDictionary* GetDictionary() { return currentDictionary; }
  static void SetDictionary(qzmDicomDataElementDictionary* dictionary) { currentDictionary = dictionary; }

  // Transfer syntaxes known to the program.
  static const char* const ImplicitVRLittleEndian;  // "1.2.840.10008.1.2"
  static const char* const ExplicitVRLittleEndian;  // "1.2.840.10008.1.2.1"
  static const char* const ExplicitVRBigEndian;     // "1.2.840.10008.1.2.2"
  static const char* const RLELossless;             // "1.2.840.10008.1.2.5"
  static const char* const JPEGFamilyPrefix;        // "1.2.840.10008.1.2.4."
  // The stream policy bits (mask iobs::syntax_bits) for a data set body in
  // that syntax: every syntax but the three native ones is explicit VR
  // little endian, encapsulated.
  static ULONG SyntaxBFlags(const qzcString& transferSyntaxUID);
  // One of the three native (uncompressed) syntaxes.
  static bool IsNativeSyntax(const qzcString& transferSyntaxUID);
  // A UID of the JPEG family.
  static bool IsJpegSyntax(const qzcString& transferSyntaxUID);

  // The 128-byte preamble and the signature that follows it.
  static const ULONG PreambleLength = 128;
  static const char* const Signature;  // "DICM"

 private:
  // How reading a run of elements ended.
  enum class ReadEnd { StreamEnd, Limit, ItemDelimitation, Failure };
  // Reads elements until the end of the stream, the byte offset limit or an
  // item delimitation.
  ReadEnd ReadElements(ifbstream& ifs, const qzmDicomDataElementTagSet* filter, unsigned long limit);
  // A body whose first element shows the other VR encoding than the declared
  // syntax's is read in the encoding found, with a warning.
  static void MatchVREncoding(ifbstream& ifs, const qzcString& declaredSyntax);
  void PrintElements(std::ostream& os, const qzmDicomDataElementDictionary* dictionary, int depth) const;

  // The current dictionary, loaded automatically on first need; null when
  // none can be found or it is empty.
  static const qzmDicomDataElementDictionary* NeededDictionary();
  // Gives a stream the policy of a transfer syntax (the bits of
  // iobs::syntax_bits), or applies the manipulator when there is one.
  static void SetSyntaxPolicy(iobs& stream, const qzcString& transferSyntaxUID);
  static void ApplySyntax(iobs& stream, iobsManipulator manipulator, const char* defaultSyntax);

  static qzmDicomDataElementDictionary* currentDictionary;
};

#endif
