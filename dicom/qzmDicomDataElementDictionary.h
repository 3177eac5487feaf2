// The DICOM data dictionary: the map from tag to description, with a text
// form (editable dictionary files) and a compact binary repository.
#ifndef QZM_DICOM_DATA_ELEMENT_DICTIONARY_H
#define QZM_DICOM_DATA_ELEMENT_DICTIONARY_H

#include <iosfwd>
#include <map>

#include "dicom/qzmDicomDataElementDescription.h"
#include "dicom/qzmDicomDataElementTag.h"
#include "lib/qzcObject.h"
#include "lib/qzcString.h"

class qzcFileName;
class qzcFileNameList;

class qzmDicomDataElementDictionary : public virtual qzcObject,
                                      public std::map<qzmDicomDataElementTag, qzmDicomDataElementDescription> {
 public:
  virtual ~qzmDicomDataElementDictionary() {}

  // Text form: one "(gggg,eeee) [!]VR VM name" line per entry; "#" starts a
  // comment; a "(gggg,eeee) RET" line marks an existing entry retired. Later
  // lines replace earlier ones for the same tag.
  virtual std::ostream& Print(std::ostream& os) const override;
  virtual std::istream& Parse(std::istream& is) override;
  // Binary repository: label, 16-bit count, then the entries in tag order.
  virtual ofbstream& Write(ofbstream& ofs) const override;
  virtual ifbstream& Read(ifbstream& ifs) override;

  // The text form is chosen for the extensions dic, dip and txt (either
  // case), the binary repository for any other name.
  bool Save(const qzcFileName& name) const;
  // Merges one file into this dictionary; a name that does not exist is
  // looked for in the library directories (subdirectory "dicom").
  bool Load(const qzcFileName& name);
  // Merges the files in order, stopping at the first failure.
  bool Load(const qzcFileNameList& names);
  // Loads the first of "dicom.din" and "dicom.dic" that can be found, with
  // the error channel silenced while trying, and else the dictionary built
  // into the program.
  bool AutoLoad();

  // Loads the parts into a fresh dictionary and saves it as the repository.
  static bool BuildDictionary(const qzcFileName& repository, const qzcFileNameList& parts);
  // Rebuilds the repository only if it is missing or older than a part.
  static bool MakeDictionary(const qzcFileName& repository, const qzcFileNameList& parts);

  // The dictionary that lives for the whole run; empty until someone loads it.
  static qzmDicomDataElementDictionary& ProcessWide();

  // Set only when read from a binary repository; written back with it. A
  // repository built from text dictionaries names them.
  qzcString label;
  // Where the last dictionary merged came from: a file's path, or
  // "built-in".
  qzcString source;
};

#endif
