// An ordered set of tags; the set reader uses one as a filter of the elements
// it keeps.
#ifndef QZM_DICOM_DATA_ELEMENT_TAG_SET_H
#define QZM_DICOM_DATA_ELEMENT_TAG_SET_H

#include <set>

#include "dicom/qzmDicomDataElementTag.h"

class qzmDicomDataElementTagSet : public std::set<qzmDicomDataElementTag> {
 public:
  using std::set<qzmDicomDataElementTag>::set;

  // The ten tags of the File Meta Information group that the set reader
  // keeps when it reads a file's meta group.
  static const qzmDicomDataElementTagSet& FileMetaFilter();
};

#endif
