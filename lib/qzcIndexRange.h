// An arithmetic progression of indices: first, last and step. Users iterate
// first, first + step, ... until End(); last is reached only when
// (last - first) is a multiple of step.
#ifndef QZC_INDEX_RANGE_H
#define QZC_INDEX_RANGE_H

#include "lib/qzcObject.h"
#include "lib/qzcTypes.h"

typedef SWORD qzcIndex;

class qzcIndexRange : public virtual qzcObject {
 public:
  // 0 to 10 by 1.
  qzcIndexRange() = default;
  // Checked as Set; a refused range keeps the default values.
  qzcIndexRange(const qzcIndex first, const qzcIndex last, const qzcIndex step = 1);

  // The checked operations keep step >= 1 with first <= last, or step < 0
  // with first >= last; a refused value is reported and changes nothing.
  bool Set(const qzcIndex first, const qzcIndex last, const qzcIndex step = 1);
  qzcIndexRange& First(const qzcIndex first);
  qzcIndexRange& Last(const qzcIndex last);
  qzcIndexRange& Step(const qzcIndex step);

  qzcIndex First() const { return first_; }
  qzcIndex Last() const { return last_; }
  qzcIndex Step() const { return step_; }

  // The index that ends an iteration, last - ((last - first) % step) + step
  // in 16 bits: iterate while the index differs from it. A range read with
  // step 0 ends at first, holding no index.
  qzcIndex End() const;

  // "[qzcIndexRange 1...10 by 3]"; the step is shown unless it is 1 or -1.
  std::ostream& Print(std::ostream& os) const override;
  // first, last, step: two bytes each in the stream's byte order. Read
  // stores what it reads without checking.
  ofbstream& Write(ofbstream& ofs) const override;
  ifbstream& Read(ifbstream& ifs) override;

 private:
  qzcIndex first_ = 0;
  qzcIndex last_ = 10;
  qzcIndex step_ = 1;
};

#endif
