// An ordered list of file names, filled by shell-style pattern expansion.
#ifndef QZC_FILE_NAME_LIST_H
#define QZC_FILE_NAME_LIST_H

#include "lib/qzcFileName.h"
#include "lib/qzcObject.h"

#include <list>
#include <ostream>

class qzcFileNameList : public virtual qzcObject, public std::list<qzcFileName> {
 public:
  // Expands pattern (unsorted: the order of the directory) and inserts
  // every match before where. A pattern that matches nothing inserts
  // nothing, silently: the caller knows what it means for it. An expansion
  // that fails is reported. Returns where.
  iterator glob(iterator where, const qzcFileName& pattern);

  // Every name on a line of its own, in list order.
  std::ostream& Print(std::ostream& os) const override;
};

#endif
