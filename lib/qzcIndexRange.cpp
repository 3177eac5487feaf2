#include "lib/qzcIndexRange.h"

#include "lib/ifbstream.h"
#include "lib/ofbstream.h"
#include "lib/qzcError.h"

#include <ostream>

namespace {

// first, last and step go together when the progression heads toward last.
bool Heads(qzcIndex first, qzcIndex last, qzcIndex step) {
  return (step >= 1 && first <= last) || (step < 0 && first >= last);
}

}  // namespace

qzcIndexRange::qzcIndexRange(const qzcIndex first, const qzcIndex last, const qzcIndex step) {
  if (!Set(first, last, step)) {
    qzcError("qzcIndexRange::qzcIndexRange( const qzcIndex, const qzcIndex, const qzcIndex )", "wrong initializers!")
        .Report();
  }
}

bool qzcIndexRange::Set(const qzcIndex first, const qzcIndex last, const qzcIndex step) {
  if (!Heads(first, last, step)) {
    qzcError("bool qzcIndexRange::Set( const qzcIndex, const qzcIndex, const qzcIndex )",
             "wrong parameters! (first: %d, last: %d, step: %d)", first, last, step)
        .Report();
    return false;
  }
  first_ = first;
  last_ = last;
  step_ = step;
  return true;
}

qzcIndexRange& qzcIndexRange::First(const qzcIndex first) {
  if (Heads(first, last_, step_)) {
    first_ = first;
  } else {
    qzcError("qzcIndexRange& qzcIndexRange::First( const qzcIndex )", "wrong initializer for first index! (=%d)", first)
        .Report();
  }
  return *this;
}

qzcIndexRange& qzcIndexRange::Last(const qzcIndex last) {
  if (Heads(first_, last, step_)) {
    last_ = last;
  } else {
    qzcError("qzcIndexRange& qzcIndexRange::Last( const qzcIndex )", "wrong initializer for last index! (=%d)", last)
        .Report();
  }
  return *this;
}

qzcIndexRange& qzcIndexRange::Step(const qzcIndex step) {
  if (Heads(first_, last_, step)) {
    step_ = step;
  } else {
    qzcError("qzcIndexRange& qzcIndexRange::Step( const qzcIndex )", "wrong initializer for step! (=%d)", step)
        .Report();
  }
  return *this;
}

qzcIndex qzcIndexRange::End() const {
  // A step of 0 can only come from Read, which does not check: such a
  // range holds no index rather than an endless run of first.
  if (step_ == 0) {
    return first_;
  }
  // The remainder is taken toward zero on the true difference: in 16 bits
  // a range wider than 32767 would get an end that no index ever meets.
  // The end itself wraps in 16 bits, so iterate while the index differs
  // from End().
  const int remainder = (last_ - first_) % step_;
  return static_cast<qzcIndex>(last_ - remainder + step_);
}

std::ostream& qzcIndexRange::Print(std::ostream& os) const {
  os << "[qzcIndexRange " << first_ << "..." << last_;
  if (step_ != 1 && step_ != -1) {
    os << " by " << step_;
  }
  os << "]";
  if (os.fail()) {
    qzcError("ostream& qzcIndexRange::Print( ostream& ) const", "while sending instance to ostream!").Report();
  }
  return os;
}

ofbstream& qzcIndexRange::Write(ofbstream& ofs) const {
  ofs << first_ << last_ << step_;
  if (ofs.fail()) {
    qzcError("ofbstream& qzcIndexRange::Write( ofbstream& ) const", "while sending instance to binary file stream!")
        .Report();
  }
  return ofs;
}

ifbstream& qzcIndexRange::Read(ifbstream& ifs) {
  ifs >> first_ >> last_ >> step_;
  if (ifs.fail()) {
    qzcError("ifbstream& qzcIndexRange::Read( ifbstream& )", "while getting instance from binary file stream!")
        .Report();
  }
  return ifs;
}
